// Inflation of a sheet into a closed body: the geometry stages on the region
// the sheet was built from, with the sheet's relief, and the body set on the
// rays through its drawing.
#include "app/inflate.h"

#include "app/figure.h"

#include "geometry/inflate_region.h"
#include "geometry/register_body.h"

bool plan_body(int32_t part, FigurePart* body) {
    const Figure& f = figure();
    if (part < 0 || part >= f.part_count || f.parts[part].kind != EDITED_SHEET) return false;
    const FigurePart& sheet = f.parts[part];
    if (sheet.mesh->triangles.empty()) return false;
    DistanceField field;
    BodyShell shell =
        inflate_region(part_region(part), sheet.mesh->vertices, sheet.mesh->triangles, &field);
    if (shell.triangles.empty()) return false;
    Matrix drawn, view;
    registration_views(sheet.placement, &drawn, &view);
    RegisteredBody registered = register_body(std::move(shell), field, drawn, view);
    *body = sheet;
    body->kind = EDITED_BODY;
    body->mesh = share_part_mesh(body_part_mesh(registered.body, std::move(registered.whole)));
    return true;
}
