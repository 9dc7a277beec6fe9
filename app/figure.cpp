// The figure's placement, picking, mirror and room.
#include "app/figure.h"

#include <limits>
#include <vector>

#include "app/part_room.h"
#include "app/screen.h"
#include "base/memory.h"
#include "base/messages.h"
#include "geometry/body_object.h"
#include "geometry/camera.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/render_list.h"

namespace {

// The eye's distance when the camera stands at or behind the sheet plane.
constexpr int32_t DEFAULT_EYE_DISTANCE = 256;

// A part's model, gathered from its object: its vertices (and a body's fine
// positions), its triangles counted from its first vertex, its colour and
// shading.
struct PartModel {
    std::vector<Vec4> vertices;
    std::vector<Vec4> fine;  // empty for a sheet
    std::vector<MeshTriangle> triangles;
    ColourRecord colour = {255, 0, 0, 0};
    int32_t shading = 0;
};

bool gather_part(const EditedObject& record, PartModel* model) {
    const SceneObject* object = get_object(record.index);
    const RenderList* list = current_render_list();
    if (object == nullptr || list == nullptr || list->model_vertices == nullptr ||
        record.first_vertex < 0 ||
        int64_t(record.first_vertex) + record.vertex_count > list->vertex_capacity)
        return false;
    const int32_t first = record.first_vertex, count = record.vertex_count;
    model->vertices.assign(list->model_vertices + first, list->model_vertices + first + count);
    const Vec4* fine = fine_vertex_base();
    if (object->part_count > 0 && (object->parts[0].flags & PART_FINE_POSITIONS) != 0 &&
        fine != nullptr)
        model->fine.assign(fine + first, fine + first + count);
    for (PrimitivePacket* p = next_object_polygon(object, nullptr); p != nullptr;
         p = next_object_polygon(object, p)) {
        if (packet_vertex_count(p) != 3) continue;
        const int16_t* v = packet_vertices(p);
        MeshTriangle t = {{v[0] - first, v[1] - first, v[2] - first}};
        bool inside = true;
        for (int32_t corner : t.v)
            inside = inside && corner >= 0 && corner < count;
        if (!inside) return false;
        if (model->triangles.empty()) {
            const int16_t c = packet_colours(p)[0];
            if (list->colour_records != nullptr && c >= 0 && c < list->colour_capacity)
                model->colour = list->colour_records[c];
        }
        model->triangles.push_back(t);
    }
    const int32_t shading = object_shading(record.index);
    model->shading = shading >= 0 ? shading : 0;
    return true;
}

// The bounds of a part's vertices in the figure, in 1/FIXED_ONE units:
// v * scale + (offset_x, 0, depth) * FIXED_ONE.
struct FigureBounds {
    int64_t low[3] = {};
    int64_t high[3] = {};
    bool any = false;
};

FigureBounds bounds_of(const FigurePart& part) {
    FigureBounds bounds;
    const RenderList* list = current_render_list();
    const EditedObject& record = part.object;
    if (list == nullptr || list->model_vertices == nullptr || record.first_vertex < 0)
        return bounds;
    const int64_t end = std::min<int64_t>(int64_t(record.first_vertex) + record.vertex_count,
                                          list->vertex_capacity);
    const PartPlacement& p = part.placement;
    const int64_t shift[3] = {int64_t(p.offset_x) * FIXED_ONE, 0, int64_t(p.depth) * FIXED_ONE};
    for (int64_t i = record.first_vertex; i < end; ++i) {
        const Vec4& v = list->model_vertices[i];
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

// The point every part turns about: the first part's centre once the figure
// has two parts, else the screen centre (the model origin).
Vec4 figure_pivot() {
    const Figure& f = figure();
    if (f.part_count < 2) return Vec4{0, 0, 0, 0};
    const FigureBounds bounds = bounds_of(f.parts[0]);
    return Vec4{centre_x2(bounds, 0) >> 1, centre_x2(bounds, 1) >> 1, centre_x2(bounds, 2) >> 1, 0};
}

bool is_unplaced(const PartPlacement& p) {
    return p.depth == 0 && p.offset_x == 0 && p.scale == FIXED_ONE;
}

}  // namespace

int32_t eye_distance() {
    const int32_t z = camera_state()->position.z;
    return z > MIN_EYE_GAP ? z : DEFAULT_EYE_DISTANCE;
}

PartPlacement placement_at_depth(int32_t depth) {
    const int32_t eye = eye_distance();
    if (depth < MIN_EYE_GAP - eye) depth = MIN_EYE_GAP - eye;
    if (depth > MAX_PART_DEPTH) depth = MAX_PART_DEPTH;
    // Exact for the demonstration's eye at 256: 2 * (256 + depth).
    const int64_t scale = int64_t(FIXED_ONE) * (int64_t(eye) + depth) / eye;
    return PartPlacement{depth, 0, int32_t(scale)};
}

int32_t part_under_point(int32_t x, int32_t y, int32_t* depth) {
    *depth = 0;
    const Figure& f = figure();
    const RenderList* list = current_render_list();
    if (list == nullptr || list->model_vertices == nullptr) return NO_PART;
    const Matrix* camera = build_camera_matrix();
    int32_t best = NO_PART;
    double best_z = std::numeric_limits<double>::infinity();
    std::vector<ScreenVertex> screen;
    for (int32_t i = 0; i < f.part_count; ++i) {
        const FigurePart& part = f.parts[i];
        const SceneObject* object = get_object(part.object.index);
        const int32_t first = part.object.first_vertex;
        const int32_t count = part.object.vertex_count;
        if (object == nullptr || first < 0 || int64_t(first) + count > list->vertex_capacity)
            continue;
        // The part as drawn facing the viewer: placed, then seen by the camera.
        const PartPlacement& p = part.placement;
        const Vec4 shift = {p.offset_x, 0, p.depth, 0};
        const Vec4 angles = {0, 0, 0, 0};
        const Vec4 scale = {p.scale, p.scale, p.scale, 0};
        Matrix placed, view;
        make_object_matrix(&placed, &shift, &angles, &scale);
        matrix_multiply(&view, &placed, camera);
        screen.resize(size_t(count));
        transform_and_project(count, screen.data(), list->model_vertices + first, &view);
        for (PrimitivePacket* packet = next_object_polygon(object, nullptr); packet != nullptr;
             packet = next_object_polygon(object, packet)) {
            if (packet_vertex_count(packet) != 3) continue;
            const int16_t* v = packet_vertices(packet);
            const ScreenVertex* c[3];
            double z[3];
            bool usable = true;
            for (int k = 0; k < 3 && usable; ++k) {
                const int32_t at = v[k] - first;
                usable = at >= 0 && at < count && screen[size_t(at)].w >= 0;
                if (!usable) break;
                c[k] = &screen[size_t(at)];
                z[k] = double(list->model_vertices[v[k]].z) * p.scale / FIXED_ONE + p.depth;
            }
            if (!usable) continue;
            // Twice the signed areas, as the renderer's back-face test takes
            // them: a face it draws has a positive one.
            auto area = [](int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t cx, int64_t cy) {
                return (bx - ax) * (cy - by) - (by - ay) * (cx - bx);
            };
            const int64_t whole = area(c[0]->x, c[0]->y, c[1]->x, c[1]->y, c[2]->x, c[2]->y);
            if (whole <= 0) continue;
            const int64_t a0 = area(x, y, c[1]->x, c[1]->y, c[2]->x, c[2]->y);
            const int64_t a1 = area(c[0]->x, c[0]->y, x, y, c[2]->x, c[2]->y);
            const int64_t a2 = area(c[0]->x, c[0]->y, c[1]->x, c[1]->y, x, y);
            if (a0 < 0 || a1 < 0 || a2 < 0) continue;
            const double at =
                (double(a0) * z[0] + double(a1) * z[1] + double(a2) * z[2]) / double(whole);
            if (at < best_z) {
                best_z = at;
                best = i;
            }
        }
    }
    if (best != NO_PART) *depth = int32_t(best_z < 0 ? best_z - 0.5 : best_z + 0.5);
    return best;
}

void cursor_in_part(const PartPlacement& placement, int32_t x, int32_t y, int64_t* model_x,
                    int64_t* model_y) {
    const int64_t eye = eye_distance();
    const int64_t sx = int64_t(x) - (screen_width() >> 1);
    const int64_t sy = int64_t(y) - (screen_height() >> 1);
    const int64_t scale = placement.scale > 0 ? placement.scale : FIXED_ONE;
    // On the rim plane the pixel's offset grows by (eye + depth) / eye into
    // figure units; the placement's shift and scale are then taken off.
    *model_x = ((sx * (eye + placement.depth) / eye - placement.offset_x) * FIXED_ONE) / scale;
    *model_y = ((sy * (eye + placement.depth) / eye) * FIXED_ONE) / scale;
}

int32_t figure_centre_x2() {
    const Figure& f = figure();
    return f.part_count > 0 ? centre_x2(bounds_of(f.parts[0]), 0) : 0;
}

int move_figure_into_body_buffers() {
    if (fine_vertex_base() != nullptr) return 0;
    if (prepare_body_buffers() != 0) return -1;
    const void* old_area = current_render_list()->first_packet;
    if (adopt_body_buffers_keeping_contents() != 0) {
        show_error("%s", TEXT_PACKET_AREA_FULL);
        return -1;
    }
    rebind_objects(old_area);
    return 0;
}

int32_t mirror_part(int32_t part) {
    const Figure& f = figure();
    if (part < 0 || part >= f.part_count) return -1;
    const EditedObject& source = f.parts[part].object;
    PartModel model;
    if (!gather_part(source, &model)) return -1;
    if (const char* full = part_room_text(int64_t(model.triangles.size()),
                                          int64_t(model.vertices.size()), room_taken_now(), true);
        full != nullptr) {
        show_error("%s", full);
        return MIRROR_REFUSED;
    }
    // Reflected in x, a face's corners run the other way round: swapping two
    // keeps every face turned outward, as the renderer draws it.
    std::vector<MeshTriangle> turned = model.triangles;
    for (MeshTriangle& t : turned)
        std::swap(t.v[1], t.v[2]);
    int32_t mirrored = -1;
    if (source.kind == EDITED_BODY && model.fine.size() == model.vertices.size()) {
        BodyShell shell;
        shell.vertices = model.fine;
        for (Vec4& v : shell.vertices)
            v.x = -v.x;
        shell.triangles = turned;
        shell.front_count = source.front_vertices;
        // Closed bodies are drawn watertight, as inflation emits them.
        mirrored = emit_body_object(shell, model.colour, POLY_CULL | POLY_WATERTIGHT);
    } else {
        std::vector<Vec4> vertices = model.vertices;
        for (Vec4& v : vertices)
            v.x = -v.x;
        std::vector<int32_t> corners;
        for (const MeshTriangle& t : turned)
            corners.insert(corners.end(), t.v, t.v + 3);
        mirrored = create_object(2);
        if (mirrored < 0) return -1;
        const int32_t first =
            add_indexed_triangles(vertices.data(), int32_t(vertices.size()), corners.data(),
                                  int32_t(turned.size()), &model.colour, POLY_CULL, false);
        if (first < 0) {
            finish_object();
            remove_object(mirrored);
            return -1;
        }
        finish_lit_object(mirrored, first + int32_t(vertices.size()));
    }
    if (mirrored < 0) return -1;
    set_object_shading(mirrored, model.shading);
    pack_colours();
    return mirrored;
}

PartPlacement mirrored_placement(int32_t part) {
    const Figure& f = figure();
    if (part < 0 || part >= f.part_count) return UNPLACED;
    PartPlacement placement = f.parts[part].placement;
    placement.offset_x = figure_centre_x2() - placement.offset_x;
    return placement;
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
    const int32_t holder = f.edited != NO_PART ? f.edited : 0;
    const Vec4* held = get_object_rotation(f.parts[holder].object.index);
    const Vec4 rotation = held != nullptr ? *held : Vec4{0, 0, 0, 0};
    const Vec4 pivot = figure_pivot();
    for (int32_t i = 0; i < f.part_count; ++i) {
        SceneObject* object = get_object(f.parts[i].object.index);
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
    const Figure& f = figure();
    for (int32_t i = 0; i < f.part_count; ++i)
        if (Vec4* rotation = get_object_rotation(f.parts[i].object.index); rotation != nullptr)
            rotation->x = rotation->y = rotation->z = 0;
}
