// The figure's placement, picking and mirror.
#include "app/figure.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "app/colour_strokes.h"
#include "app/screen.h"
#include "app/view_zoom.h"
#include "geometry/camera.h"
#include "geometry/clean_region.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/region_distance.h"
#include "geometry/register_body.h"
#include "geometry/render_list.h"

namespace {

// The bounds of a part's vertices in the figure, in 1/FIXED_ONE units:
// v * scale + (offset_x, 0, depth) * FIXED_ONE.
struct FigureBounds {
    int64_t low[3] = {};
    int64_t high[3] = {};
    bool any = false;
};

FigureBounds bounds_of(const FigurePart& part) {
    FigureBounds bounds;
    const PartPlacement& p = part.placement;
    const int64_t shift[3] = {int64_t(p.offset_x) * FIXED_ONE, 0, int64_t(p.depth) * FIXED_ONE};
    for (const Vec4& v : part.mesh->vertices) {
        const int64_t at[3] = {int64_t(v.x) * p.scale + shift[0], int64_t(v.y) * p.scale + shift[1],
                               int64_t(v.z) * p.scale + shift[2]};
        for (int a = 0; a < 3; ++a) {
            bounds.low[a] = bounds.any ? std::min(bounds.low[a], at[a]) : at[a];
            bounds.high[a] = bounds.any ? std::max(bounds.high[a], at[a]) : at[a];
        }
        bounds.any = true;
    }
    return bounds;
}

// Twice the centre of the first part along axis a, in whole model units,
// rounded half up (arithmetic shifts: a floor on both sides of zero).
int32_t centre_x2(const FigureBounds& bounds, int a) {
    if (!bounds.any) return 0;
    return int32_t((bounds.low[a] + bounds.high[a] + FIXED_ONE / 2) >> FIXED_SHIFT);
}

bool is_unplaced(const PartPlacement& p) {
    return p.depth == 0 && p.offset_x == 0 && p.scale == FIXED_ONE;
}

}  // namespace

Vec4 figure_pivot() {
    const Figure& f = figure();
    if (f.part_count < 2) return Vec4{0, 0, 0, 0};
    const FigureBounds bounds = bounds_of(f.parts[0]);
    return Vec4{centre_x2(bounds, 0) >> 1, centre_x2(bounds, 1) >> 1, centre_x2(bounds, 2) >> 1, 0};
}

PartPlacement placement_at_depth(int32_t depth) {
    const int32_t eye = eye_distance();
    if (depth < MIN_EYE_GAP - eye) depth = MIN_EYE_GAP - eye;
    if (depth > MAX_PART_DEPTH) depth = MAX_PART_DEPTH;
    // A model unit shows as a pixel at view depth FOCAL_LENGTH: at depth
    // (eye + depth) it must be that much larger. Exact: 2 * (eye + depth).
    const int64_t scale = int64_t(FIXED_ONE) * (int64_t(eye) + depth) / FOCAL_LENGTH;
    return PartPlacement{depth, 0, int32_t(scale)};
}

void registration_views(const PartPlacement& placement, Matrix* drawn, Matrix* view) {
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
    const Matrix placed = placement_matrix(placement);
    matrix_multiply(drawn, &placed, &straight);
    matrix_multiply(view, &placed, &turned);
}

Matrix placement_matrix(const PartPlacement& placement) {
    const Vec4 shift = {placement.offset_x, 0, placement.depth, 0};
    const Vec4 angles = {0, 0, 0, 0};
    const Vec4 scale = {placement.scale, placement.scale, placement.scale, 0};
    Matrix placed;
    make_object_matrix(&placed, &shift, &angles, &scale);
    return placed;
}

namespace {

// Twice the signed area of a triangle on the screen, as the renderer's
// back-face test takes it: a face it draws has a positive one.
int64_t twice_area(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t cx, int64_t cy) {
    return (bx - ax) * (cy - by) - (by - ay) * (cx - bx);
}

// Part `part`'s faces the renderer draws at pixel (x, y), given its vertices
// on the screen (`screen`, `count` of them) and each vertex's depth
// (depth_of(k)): the nearest so far is kept in `best`.
template <typename DepthOf>
void hit_part_faces(int32_t part, const PartMesh& mesh, const ScreenVertex* screen, int32_t count,
                    int32_t x, int32_t y, DepthOf depth_of, SurfaceHit* best) {
    for (size_t f = 0; f < mesh.triangles.size(); ++f) {
        const MeshTriangle& t = mesh.triangles[f];
        const ScreenVertex* c[3];
        double z[3];
        bool usable = true;
        for (int k = 0; k < 3 && usable; ++k) {
            const int32_t at = t.v[k];
            usable = at >= 0 && at < count && screen[at].w >= 0;
            if (!usable) break;
            c[k] = &screen[at];
            z[k] = depth_of(at);
        }
        if (!usable) continue;
        const int64_t whole = twice_area(c[0]->x, c[0]->y, c[1]->x, c[1]->y, c[2]->x, c[2]->y);
        if (whole <= 0) continue;
        const int64_t a[3] = {twice_area(x, y, c[1]->x, c[1]->y, c[2]->x, c[2]->y),
                              twice_area(c[0]->x, c[0]->y, x, y, c[2]->x, c[2]->y),
                              twice_area(c[0]->x, c[0]->y, c[1]->x, c[1]->y, x, y)};
        if (a[0] < 0 || a[1] < 0 || a[2] < 0) continue;
        const double at =
            (double(a[0]) * z[0] + double(a[1]) * z[1] + double(a[2]) * z[2]) / double(whole);
        if (at < best->depth) {
            best->part = part;
            best->triangle = int32_t(f);
            for (int k = 0; k < 3; ++k)
                best->b[k] = double(a[k]) / double(whole);
            best->depth = at;
        }
    }
}

}  // namespace

int32_t part_under_point(int32_t x, int32_t y, int32_t* depth) {
    *depth = 0;
    const Figure& f = figure();
    const Matrix* camera = build_camera_matrix();
    SurfaceHit best;
    // Kept between calls: a push asks every frame, and a frame allocates
    // nothing once this has grown to the largest part.
    static std::vector<ScreenVertex> screen;
    for (int32_t i = 0; i < f.part_count; ++i) {
        const FigurePart& part = f.parts[i];
        const PartMesh& mesh = *part.mesh;
        const auto count = int32_t(mesh.vertices.size());
        // The part as drawn facing the viewer: placed, then seen by the camera.
        const PartPlacement& p = part.placement;
        const Matrix placed = placement_matrix(p);
        Matrix view;
        matrix_multiply(&view, &placed, camera);
        if (screen.size() < size_t(count)) screen.resize(size_t(count));
        transform_and_project(count, screen.data(), mesh.vertices.data(), &view);
        hit_part_faces(
            i, mesh, screen.data(), count, x, y,
            [&](int32_t k) {
                return double(mesh.vertices[size_t(k)].z) * p.scale / FIXED_ONE + p.depth;
            },
            &best);
    }
    if (best.part != NO_PART)
        *depth = int32_t(best.depth < 0 ? best.depth - 0.5 : best.depth + 0.5);
    return best.part;
}

SurfaceHit surface_as_drawn(int32_t x, int32_t y) {
    const Figure& f = figure();
    SurfaceHit best;
    static std::vector<ScreenVertex> screen;
    for (int32_t i = 0; i < f.part_count; ++i) {
        const EditedObject& drawn = part_object(i);
        const std::shared_ptr<const PartMesh> mesh = drawn_mesh(i);
        if (mesh == nullptr) continue;
        const auto count = int32_t(mesh->vertices.size());
        // A part drawn cut has more vertices after the blend's own.
        if (drawn.index == NO_OBJECT || drawn.vertex_count < count) continue;
        if (screen.size() < size_t(count)) screen.resize(size_t(count));
        bool whole = true;
        for (int32_t k = 0; k < count && whole; ++k) {
            const ScreenVertex* v = screen_vertex_at(drawn.first_vertex + k);
            whole = v != nullptr;
            if (whole) screen[size_t(k)] = *v;
        }
        if (!whole) continue;
        hit_part_faces(
            i, *mesh, screen.data(), count, x, y,
            [&](int32_t k) { return double(screen[size_t(k)].z); }, &best);
    }
    return best;
}

void cursor_in_part(const PartPlacement& placement, int32_t x, int32_t y, int64_t* model_x,
                    int64_t* model_y) {
    const int64_t eye = eye_distance();
    const int64_t sx = int64_t(x) - (screen_width() >> 1);
    const int64_t sy = int64_t(y) - (screen_height() >> 1);
    const int64_t scale = placement.scale > 0 ? placement.scale : FIXED_ONE;
    // On the rim plane the pixel's offset grows by (eye + depth) / FOCAL_LENGTH
    // into figure units; the placement's shift and scale are then taken off.
    *model_x =
        ((sx * (eye + placement.depth) / FOCAL_LENGTH - placement.offset_x) * FIXED_ONE) / scale;
    *model_y = ((sy * (eye + placement.depth) / FOCAL_LENGTH) * FIXED_ONE) / scale;
}

int32_t figure_centre_x2() {
    const Figure& f = figure();
    return f.part_count > 0 ? centre_x2(bounds_of(f.parts[0]), 0) : 0;
}

bool mirrored_part(int32_t part, FigurePart* mirror) {
    const Figure& f = figure();
    if (part < 0 || part >= f.part_count) return false;
    const FigurePart& source = f.parts[part];
    PartPlacement placement = source.placement;
    placement.offset_x = figure_centre_x2() - source.placement.offset_x;
    auto region = std::make_shared<const RegionMask>(mirrored_region(*source.region));
    PartMesh mesh;
    const BodyShell shell = part_body_shell(*source.mesh);
    if (!shell.vertices.empty()) {
        Matrix drawn, view, mirrored_drawn, mirrored_view;
        registration_views(source.placement, &drawn, &view);
        registration_views(placement, &mirrored_drawn, &mirrored_view);
        RegisteredBody body =
            mirror_registered_body(shell, region_distance_field(clean_region(*region)), drawn, view,
                                   mirrored_drawn, mirrored_view);
        mesh = body_part_mesh(body.body, std::move(body.whole));
    } else {
        mesh = *source.mesh;
        // Reflected in x, a face's corners run the other way round: swapping
        // two keeps every face turned outward, as the renderer draws it.
        for (MeshTriangle& t : mesh.triangles)
            std::swap(t.v[1], t.v[2]);
        for (Vec4& v : mesh.vertices)
            v.x = -v.x;
        mesh.entered_by_triangle = false;
        refresh_part_normals(&mesh);
    }
    *mirror = source;
    mirror->mesh = share_part_mesh(std::move(mesh));
    mirror->placement = placement;
    mirror->region = std::move(region);
    mirror->painting = mirrored_painting(source.painting);
    return true;
}

RegionMask mirrored_region(const RegionMask& region) {
    // Pixel c lies at model x = c + origin_x; its mirror at -(c + origin_x)
    // is pixel width - 1 - c of a mask whose origin is -(width - 1 + origin_x).
    RegionMask mirror = region;
    mirror.origin_x = -(region.width - 1 + region.origin_x);
    for (int32_t r = 0; r < region.height; ++r)
        for (int32_t c = 0; c < region.width; ++c)
            mirror.inside[size_t(r) * size_t(region.width) + size_t(c)] =
                region.inside[size_t(r) * size_t(region.width) + size_t(region.width - 1 - c)];
    return mirror;
}

void place_figure() {
    const Figure& f = figure();
    if (f.part_count == 0) return;
    const Vec4 rotation = figure_rotation();
    const Vec4 pivot = figure_pivot();
    for (int32_t i = 0; i < f.part_count; ++i) {
        SceneObject* object = get_object(part_object(i).index);
        if (object == nullptr || object->part_count < 1) continue;
        const PartPlacement& p = f.parts[i].placement;
        object->rotation = rotation;
        // (v * scale + shift - pivot) turned, then + pivot: the figure turns
        // about its centre.
        object->translation = pivot;
        ObjectPart& part = object->parts[0];
        part.translation = {p.offset_x - pivot.x, -pivot.y, p.depth - pivot.z, 0};
        part.scale = {p.scale, p.scale, p.scale, 0};
        if (f.part_count > 1 || !is_unplaced(p))
            part.flags |= PART_PLACED;
        else
            part.flags &= ~PART_PLACED;
    }
}

void face_figure_to_viewer() {
    set_figure_rotation(Vec4{0, 0, 0, 0});
}
