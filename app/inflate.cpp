// Inflation of a sheet into a closed body: the geometry stages on the region
// the sheet was built from, with the sheet's relief.
#include "app/inflate.h"

#include "geometry/inflate_region.h"

bool plan_body(int32_t part, FigurePart* body) {
    const Figure& f = figure();
    if (part < 0 || part >= f.part_count || f.parts[part].kind != EDITED_SHEET) return false;
    const FigurePart& sheet = f.parts[part];
    if (sheet.mesh->triangles.empty()) return false;
    const BodyShell shell =
        inflate_region(part_region(part), sheet.mesh->vertices, sheet.mesh->triangles);
    if (shell.triangles.empty()) return false;
    *body = sheet;
    body->kind = EDITED_BODY;
    body->mesh = share_part_mesh(body_part_mesh(shell));
    return true;
}
