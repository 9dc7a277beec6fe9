// The posing core's test figure and its drag.
#include "support/posed_figure.h"

#include <cmath>

#include "geometry/inflate_region.h"
#include "support/body_quality.h"

namespace {

struct Ellipse {
    double cx, cy, rx, ry;
};

PartMesh ellipse_mesh(const Ellipse& e) {
    const BodyOutline outline = {"ellipse", [=](double x, double y) {
                                     return (x - e.cx) * (x - e.cx) / (e.rx * e.rx) +
                                                (y - e.cy) * (y - e.cy) / (e.ry * e.ry) <=
                                            1;
                                 }};
    return body_part_mesh(inflate_region(outline_mask(outline), {}, {}));
}

}  // namespace

const PoseTestFigure& pose_test_figure() {
    static const PoseTestFigure f = [] {
        PoseTestFigure made;
        const Ellipse shapes[5] = {{0, -20, 45, 90},
                                   {85, -70, 65, 13},
                                   {-85, -70, 65, 13},
                                   {22, 115, 15, 65},
                                   {-22 + 40, 115, 15, 65}};
        for (int32_t p = 0; p < 5; ++p) {
            made.meshes[p] = ellipse_mesh(shapes[p]);
            made.parts[p] = {&made.meshes[p], 0, 0, FIXED_ONE, p == 0 ? POSE_NO_PART : 0};
        }
        made.parts[4].offset_x = -40;
        made.parts[4].depth = 6;
        return made;
    }();
    return f;
}

PoseHandle tip_handle(const PartMesh& mesh, int32_t part, double dx, double dy) {
    PoseHandle handle = {part, 0, {1.0 / 3, 1.0 / 3, 1.0 / 3}};
    double best = -1e30;
    for (size_t t = 0; t < mesh.triangles.size(); ++t) {
        double along = 0;
        for (int32_t v : mesh.triangles[t].v)
            along += mesh.fine[size_t(v)].x * dx + mesh.fine[size_t(v)].y * dy;
        if (along > best) {
            best = along;
            handle.triangle = int32_t(t);
        }
    }
    return handle;
}

PoseHandle tip_handle(const PoseTestFigure& f, int32_t part, double dx, double dy) {
    return tip_handle(f.meshes[part], part, dx, dy);
}

bool pose_test_figure_swung(PosedTestFigure* out) {
    const PoseTestFigure& f = pose_test_figure();
    const PoseHandle handles[4] = {tip_handle(f, 1, 1, 0), tip_handle(f, 2, -1, 0),
                                   tip_handle(f, 3, 0, 1), tip_handle(f, 4, 0, 1)};
    if (!build_pose_rig(f.parts, 5, handles, 4, &out->rig)) return false;
    reset_pose(out->rig, &out->state);
    for (int32_t h = 0; h < 4; ++h)
        rest_handle_position(out->rig, h, out->target[h]);
    const double shoulder[2] = {40, -70};
    const double from[2] = {out->target[0][0] - shoulder[0], out->target[0][1] - shoulder[1]};
    const double radius = std::sqrt(from[0] * from[0] + from[1] * from[1]);
    // 40 degrees anticlockwise on the screen (y down): (cos, -sin).
    const double to[2] = {from[0] * 0.766044443118978 + from[1] * 0.6427876096865394,
                          -from[0] * 0.6427876096865394 + from[1] * 0.766044443118978};
    for (int32_t frame = 1; frame <= 12; ++frame) {
        const double t = frame / 12.0;
        double d[2] = {from[0] + (to[0] - from[0]) * t, from[1] + (to[1] - from[1]) * t};
        const double scale = radius / std::sqrt(d[0] * d[0] + d[1] * d[1]);
        out->target[0][0] = shoulder[0] + d[0] * scale;
        out->target[0][1] = shoulder[1] + d[1] * scale;
        solve_pose(out->rig, out->target, &out->state);
    }
    auto add = [&](const void* data, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i) {
            out->digest ^= static_cast<const uint8_t*>(data)[i];
            out->digest *= 1099511628211ull;
        }
    };
    add(out->state.position.data(), out->state.position.size() * sizeof(double));
    add(out->state.rotation.data(), out->state.rotation.size() * sizeof(double));
    for (int32_t p = 0; p < 5; ++p) {
        posed_part_positions(out->rig, out->state, p, &out->fine[p]);
        add(out->fine[p].data(), out->fine[p].size() * sizeof(Vec4));
    }
    return true;
}
