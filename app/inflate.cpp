// Inflation of the edited sheet into a closed body: the plan (the geometry
// stages on the region the sheet was built from), its adoption in place of
// the sheet, and pushing the body's front.
#include "app/inflate.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "app/outline.h"
#include "base/memory.h"
#include "base/messages.h"
#include "geometry/body_object.h"
#include "geometry/inflate_region.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"

namespace {

struct InflateState {
    int32_t object = -1;  // the body's index; -1 while the object is a sheet
    int32_t front_vertices =
        -1;  // its vertices first .. first + front_vertices - 1 face the viewer
    std::vector<int32_t>
        back_of;  // per front vertex (from the first): its twin behind, itself on the rim
};
InflateState inflation;

// The sheet's vertices and triangles, renumbered from its first vertex.
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

bool plan_body(int32_t index, BodyPlan* plan) {
    *plan = BodyPlan{};
    std::vector<Vec4> sheet_vertices;
    std::vector<MeshTriangle> sheet_triangles;
    if (!gather_sheet(get_object(index), &sheet_vertices, &sheet_triangles, &plan->colour))
        return false;
    plan->shell = inflate_region(built_region(), sheet_vertices, sheet_triangles);
    return !plan->shell.triangles.empty();
}

int32_t inflate_object(int32_t index) {
    SceneObject* sheet = get_object(index);
    if (sheet == nullptr) return -1;
    if (inflation.object == index) return index;
    BodyPlan plan;
    if (!plan_body(index, &plan)) return index;
    int fit =
        body_buffers_fit(int32_t(plan.shell.vertices.size()), int32_t(plan.shell.triangles.size()));
    if (fit != POOL_KINDS) {
        show_error("%s", fit == POOL_VERTEX ? TEXT_VERTEX_POOL_FULL : TEXT_PACKET_AREA_FULL);
        return index;
    }
    if (prepare_body_buffers() != 0) return index;

    // The body replaces the sheet and keeps its placement and shading.
    Vec4 translation = sheet->translation;
    Vec4 rotation = sheet->rotation;
    Vec4 scale = sheet->scale;
    int32_t shading = object_shading(index);
    delete_object(index);
    adopt_body_buffers();
    int32_t body = emit_body_object(plan.shell, plan.colour, POLY_CULL);
    if (body < 0) {
        // Only a failed allocation of the object leads here: the sheet is
        // gone, so drawing starts over as after a failed build.
        discard_object(-1);
        adopt_outline_object(-1);
        return -1;
    }
    SceneObject* object = get_object(body);
    object->translation = translation;
    object->rotation = rotation;
    object->scale = scale;
    set_object_shading(body, shading >= 0 ? shading : 0);
    pack_colours();
    adopt_outline_object(body);
    inflation = {body, plan.shell.front_count, plan.shell.back_of};
    return body;
}

int32_t inflated_front_vertices() {
    return inflation.front_vertices;
}

bool push_body_vertices(int64_t cx, int64_t cy, int32_t delta) {
    const SceneObject* object = get_object(inflation.object);
    RenderList* list = current_render_list();
    Vec4* fine = fine_vertex_base();
    if (object == nullptr || object->part_count < 1 || list == nullptr || fine == nullptr)
        return false;
    int32_t first = object->parts[0].first_vertex;
    // A body's mesh is coarser than the sheet's grid where it is wide: when no
    // front vertex lies within GRID_STEP of the cursor, the nearest within
    // twice that moves alone, so that a push always takes hold.
    auto reach = [&](const Vec4& v) {
        return std::max(std::abs(int64_t(v.x) - cx), std::abs(int64_t(v.y) - cy));
    };
    int32_t nearest = -1;
    bool any = false;
    for (int32_t i = 0; i < inflation.front_vertices && !any; ++i) {
        int64_t r = reach(list->model_vertices[first + i]);
        any = r <= GRID_STEP;
        if (r <= 2 * GRID_STEP && (nearest < 0 || r < reach(list->model_vertices[first + nearest])))
            nearest = i;
    }
    for (int32_t i = 0; i < inflation.front_vertices; ++i) {
        Vec4& vertex = list->model_vertices[first + i];
        if (any ? reach(vertex) > GRID_STEP : i != nearest) continue;
        Vec4& position = fine[first + i];
        int32_t z = position.z + delta * FINE_ONE;
        // Depth grows away from the viewer: a front vertex keeps a unit
        // before its twin on the back (the rim is its own twin and moves both
        // surfaces alike).
        int32_t twin = inflation.back_of[size_t(i)];
        if (twin != i && z > fine[first + twin].z - FINE_ONE) continue;
        position.z = z;
        vertex.z = round_fine_position(position).z;
    }
    refresh_body_normals(inflation.object, inflation.front_vertices);
    return true;
}

void forget_inflation() {
    inflation = InflateState{};
}
