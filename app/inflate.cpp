// Inflation of the edited sheet into a closed body: the plan (the geometry
// stages on the region the sheet was built from) and its emission in place of
// the sheet.
#include "app/inflate.h"

#include <vector>

#include "app/edited_object.h"
#include "app/figure.h"
#include "app/part_room.h"
#include "base/memory.h"
#include "base/messages.h"
#include "geometry/body_object.h"
#include "geometry/inflate_region.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"

namespace {

// The sheet's vertices and triangles, renumbered from its first vertex, and
// its colour.
bool gather_sheet(const SceneObject* object, std::vector<Vec4>* vertices,
                  std::vector<MeshTriangle>* triangles, ColourRecord* colour) {
    const RenderList* list = current_render_list();
    if (object == nullptr || list == nullptr || list->model_vertices == nullptr ||
        object->part_count < 1)
        return false;
    int32_t first = object->parts[0].first_vertex;
    int32_t count = object->parts[0].vertex_count;
    if (first < 0 || count < 0 || int64_t(first) + count > list->vertex_capacity) return false;
    vertices->assign(list->model_vertices + first, list->model_vertices + first + count);
    for (PrimitivePacket* p = next_object_polygon(object, nullptr); p != nullptr;
         p = next_object_polygon(object, p)) {
        if (packet_vertex_count(p) != 3) continue;
        MeshTriangle t = {{packet_vertices(p)[0] - first, packet_vertices(p)[1] - first,
                           packet_vertices(p)[2] - first}};
        bool inside = true;
        for (int32_t v : t.v)
            inside = inside && v >= 0 && v < count;
        if (!inside) continue;
        if (triangles->empty()) {
            int16_t c = packet_colours(p)[0];
            if (list->colour_records != nullptr && c >= 0 && c < list->colour_capacity)
                *colour = list->colour_records[c];
        }
        triangles->push_back(t);
    }
    return !triangles->empty();
}

}  // namespace

bool plan_body(int32_t index, const RegionMask& region, BodyPlan* plan) {
    *plan = BodyPlan{};
    std::vector<Vec4> sheet_vertices;
    std::vector<MeshTriangle> sheet_triangles;
    if (!gather_sheet(get_object(index), &sheet_vertices, &sheet_triangles, &plan->colour))
        return false;
    plan->shell = inflate_region(region, sheet_vertices, sheet_triangles);
    plan->front_vertices = plan->shell.front_count;
    return !plan->shell.triangles.empty();
}

namespace {

// Closed bodies are drawn watertight: their faces must not let the background
// through between them.
constexpr uint32_t BODY_PACKET_FLAGS = POLY_CULL | POLY_WATERTIGHT;

// The figure's way: the other parts keep their storage.
int32_t replace_part_with_body(int32_t sheet_index, const BodyPlan& plan) {
    SceneObject* sheet = get_object(sheet_index);
    if (move_figure_into_body_buffers() != 0) return INFLATE_REFUSED;
    // The body takes the sheet's place: the sheet's packets, vertices and slot are freed.
    RoomTaken taken = room_taken_now();
    taken.packet_bytes -= sheet->header_packet->extra;
    taken.vertices -= object_vertex_range(sheet).count;
    if (const char* full = part_room_text(int64_t(plan.shell.triangles.size()),
                                          int64_t(plan.shell.vertices.size()), taken, false);
        full != nullptr) {
        show_error("%s", full);
        return INFLATE_REFUSED;
    }
    const Vec4 rotation = sheet->rotation;
    const int32_t shading = object_shading(sheet_index);
    remove_object(sheet_index);
    const int32_t body = emit_body_object(plan.shell, plan.colour, BODY_PACKET_FLAGS);
    if (body < 0) return -1;
    get_object(body)->rotation = rotation;
    set_object_shading(body, shading >= 0 ? shading : 0);
    pack_colours();
    return body;
}

}  // namespace

int32_t replace_sheet_with_body(int32_t sheet_index, const BodyPlan& plan) {
    SceneObject* sheet = get_object(sheet_index);
    if (sheet == nullptr) return -1;
    if (figure().part_count > 1) return replace_part_with_body(sheet_index, plan);
    int fit =
        body_buffers_fit(int32_t(plan.shell.vertices.size()), int32_t(plan.shell.triangles.size()));
    if (fit != POOL_KINDS) {
        show_error("%s", fit == POOL_VERTEX ? TEXT_VERTEX_POOL_FULL : TEXT_PACKET_AREA_FULL);
        return INFLATE_REFUSED;
    }
    if (prepare_body_buffers() != 0) return INFLATE_REFUSED;

    // The body replaces the sheet and keeps its placement and shading.
    Vec4 translation = sheet->translation;
    Vec4 rotation = sheet->rotation;
    Vec4 scale = sheet->scale;
    int32_t shading = object_shading(sheet_index);
    delete_object(sheet_index);
    adopt_body_buffers();
    // The capacities were checked, so only a failed allocation of the
    // object's record makes the emission fail.
    int32_t body = emit_body_object(plan.shell, plan.colour, BODY_PACKET_FLAGS);
    if (body < 0) return -1;
    SceneObject* object = get_object(body);
    object->translation = translation;
    object->rotation = rotation;
    object->scale = scale;
    set_object_shading(body, shading >= 0 ? shading : 0);
    pack_colours();
    return body;
}
