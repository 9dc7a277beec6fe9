// Inflation of a sheet into a closed body: the geometry stages on the region
// the sheet was built from, with the sheet's relief, and the body set on the
// rays through its drawing.
#include "app/inflate.h"

#include "app/figure.h"

#include "geometry/camera.h"
#include "geometry/inflate_region.h"
#include "geometry/register_body.h"

namespace {

// The matrices a part's body is registered with: its placement times the
// camera as the program sets it up at the eye's present distance (`view`,
// with the small turn set_camera derives for it), and times that camera
// unturned (`drawn`, under which the part's plane lies on the pixels it shows
// on now, facing the viewer).
void registration_views(const PartPlacement& p, Matrix* drawn, Matrix* view) {
    const CameraState saved = *camera_state();
    const int32_t eye_z = eye_distance();
    set_camera(0, 0, eye_z, 0, 0, 0);
    const Matrix turned = camera_state()->matrix;
    *camera_state() = saved;
    Matrix straight;
    const Vec4 eye = {0, 0, eye_z, 1};
    const Vec4 none = {0, 0, 0, 1};
    const Vec4 unit = {FIXED_ONE, FIXED_ONE, FIXED_ONE, 1};
    make_view_matrix(&straight, &eye, &none, &unit);
    Matrix placed;
    const Vec4 shift = {p.offset_x, 0, p.depth, 0};
    const Vec4 scale = {p.scale, p.scale, p.scale, 0};
    make_object_matrix(&placed, &shift, &none, &scale);
    matrix_multiply(drawn, &placed, &straight);
    matrix_multiply(view, &placed, &turned);
}

}  // namespace

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
