// Scene objects: the object table, the draw list, construction of an object's
// packet run and parts, per-vertex normals and the shading selector.
#include "geometry/scene_objects.h"

#include "base/memory.h"
#include "geometry/normals.h"
#include "geometry/render_list.h"
#include "raster/shade_tables.h"

namespace {

struct ObjectState {
    SceneObject** table = nullptr;  // MAX_OBJECTS slots
    SceneObject* draw_list = nullptr;
    SceneObject* current = nullptr;
};

ObjectState state;

constexpr Vec4 UNIT_SCALE = {FIXED_ONE, FIXED_ONE, FIXED_ONE, 0};

// Bounds of a walk over an object's run: the header and the bytes its run
// length covers, never past the end of the packet area. An unfinished
// object (run length 0) covers nothing.
struct RunBounds {
    uint8_t* begin;
    uint8_t* end;
};

RunBounds object_run(const SceneObject* object) {
    RunBounds run = {nullptr, nullptr};
    const RenderList* list = current_render_list();
    if (list == nullptr || object->header_packet == nullptr) return run;
    auto area = reinterpret_cast<uintptr_t>(list->first_packet);
    auto header = reinterpret_cast<uintptr_t>(object->header_packet);
    // A header outside the area belongs to another render list: no run.
    if (header < area || header - area > uintptr_t(list->packet_capacity)) return run;
    int64_t room = list->packet_capacity - int64_t(header - area);
    int64_t length = object->header_packet->extra;
    run.begin = reinterpret_cast<uint8_t*>(object->header_packet);
    run.end = run.begin + (length < room ? length : room);
    return run;
}

// The packet at p if a whole packet of the run stands there: not the end
// word, and a size that is a multiple of 4, at least 20 bytes (and the full
// polygon for triangle and quad modes), and within the run. After a
// packet-area overflow the run length reaches to the area end, past the last
// real packet, so the end word is what stops a walk there.
PrimitivePacket* packet_at(uint8_t* p, const RunBounds& run) {
    if (run.end - p < SHORT_PACKET_BYTES) return nullptr;
    auto* packet = reinterpret_cast<PrimitivePacket*>(p);
    if (packet_depth_mode(packet) == PACKET_END) return nullptr;
    uint32_t size = packet->size;
    uint32_t mode = packet_depth_mode(packet);
    uint32_t least = mode == 3   ? TRIANGLE_PACKET_BYTES
                     : mode == 4 ? QUAD_PACKET_BYTES
                                 : SHORT_PACKET_BYTES;
    if (size < least || size % 4 != 0 || int64_t(size) > run.end - p) return nullptr;
    return packet;
}

// Calls visit(packet) for every polygon (depth mode 3 or 4) of the object's
// finished run, in order: the walk of next_object_polygon with the run's
// bounds found once.
template <typename Visit>
void for_each_polygon(const SceneObject* object, Visit visit) {
    const RunBounds run = object_run(object);
    if (run.begin == nullptr) return;
    for (uint8_t* p = run.begin; PrimitivePacket* packet = packet_at(p, run); p += packet->size) {
        const uint32_t mode = packet_depth_mode(packet);
        if (mode == 3 || mode == 4) visit(packet);
    }
}

bool on_draw_list(const SceneObject* object) {
    for (const SceneObject* o = state.draw_list; o != nullptr; o = o->next)
        if (o == object) return true;
    return false;
}

void append_to_draw_list(SceneObject* object) {
    object->next = nullptr;
    if (state.draw_list == nullptr) {
        state.draw_list = object;
        return;
    }
    SceneObject* last = state.draw_list;
    while (last->next != nullptr)
        last = last->next;
    last->next = object;
}

void unlink_from_draw_list(SceneObject* object) {
    if (state.draw_list == object) {
        state.draw_list = object->next;
        object->next = nullptr;
        return;
    }
    for (SceneObject* o = state.draw_list; o != nullptr; o = o->next) {
        if (o->next == object) {
            o->next = object->next;
            object->next = nullptr;
            return;
        }
    }
}

// base + index when index lies within 0..capacity, else null.
Vec4* pool_pointer(Vec4* base, int32_t capacity, int32_t index) {
    if (base == nullptr || index < 0 || index > capacity) return nullptr;
    return base + index;
}

}  // namespace

int init_object_table() {
    if (state.table != nullptr) free_object_table();
    state.table =
        static_cast<SceneObject**>(alloc_zeroed(int32_t(MAX_OBJECTS * sizeof(SceneObject*))));
    state.draw_list = nullptr;
    state.current = nullptr;
    return state.table != nullptr ? 0 : -1;
}

void free_object_table() {
    if (state.table == nullptr) return;
    for (int32_t i = 0; i < MAX_OBJECTS; ++i)
        delete_object(i);
    free_block(state.table);
    state.table = nullptr;
    state.draw_list = nullptr;
    state.current = nullptr;
}

SceneObject* draw_list() {
    return state.draw_list;
}
SceneObject* current_object() {
    return state.current;
}

int32_t create_object(int32_t max_parts) {
    // A failed creation leaves no current object, so that a finish_object
    // meant for the failed object cannot rewrite the counts of an older one.
    state.current = nullptr;
    if (state.table == nullptr || max_parts < 0) return OBJECT_TABLE_FULL;
    int64_t bytes = int64_t(sizeof(SceneObject)) + int64_t(max_parts) * int64_t(sizeof(ObjectPart));
    if (bytes > INT32_MAX) return OBJECT_TABLE_FULL;

    int32_t index = 0;
    while (index < MAX_OBJECTS && state.table[index] != nullptr)
        ++index;
    if (index == MAX_OBJECTS) return OBJECT_TABLE_FULL;

    RenderList* list = current_render_list();
    if (list == nullptr) return OBJECT_HEADER_FAILED;

    auto* object = static_cast<SceneObject*>(alloc_zeroed(int32_t(bytes)));
    if (object == nullptr) return OBJECT_ALLOC_FAILED;

    object->index = index;
    object->packet_count = list->packet_count;
    object->header_packet = reinterpret_cast<PrimitivePacket*>(list->write_position);
    object->parts = reinterpret_cast<ObjectPart*>(object + 1);
    object->part_capacity = max_parts;
    object->vertex_count = list->vertex_count;
    object->vertex_base = list->model_vertices;
    object->scale = UNIT_SCALE;

    // Without its header the object has no run to finish: finish_object
    // would write the run length past the end of a full packet area.
    if (add_object_header() != 0) {
        free_block(object);
        return OBJECT_HEADER_FAILED;
    }
    state.table[index] = object;
    state.current = object;
    append_to_draw_list(object);
    return index;
}

int32_t add_object_part(int32_t index, int32_t first_vertex, int32_t vertex_count,
                        int32_t pop_count) {
    SceneObject* object = get_object(index);
    if (object == nullptr) return -1;
    // The records were allocated for part_capacity parts; one more would be
    // written past the object's block.
    if (object->part_count >= object->part_capacity) return -1;
    if (first_vertex < 0 || vertex_count < 0 || pop_count < 0) return -1;

    const RenderList* list = current_render_list();
    int32_t number = object->part_count;
    ObjectPart* part = &object->parts[number];
    *part = ObjectPart{};
    part->vertex_count = vertex_count;
    part->first_vertex = first_vertex;
    part->pop_count = pop_count;
    if (list != nullptr)
        part->vertices = pool_pointer(list->model_vertices, list->vertex_capacity, first_vertex);
    matrix_identity(&part->local);
    part->scale = UNIT_SCALE;
    object->part_count = number + 1;
    return number;
}

void finish_object() {
    SceneObject* object = state.current;
    RenderList* list = current_render_list();
    if (object == nullptr || list == nullptr) return;
    object->packet_count = list->packet_count - object->packet_count;
    object->vertex_count = list->vertex_count - object->vertex_count;
    // The write position never passes the area end (a failed allocation
    // parks it there), so the run stays within the area.
    object->header_packet->extra =
        uint32_t(list->write_position - reinterpret_cast<uint8_t*>(object->header_packet));
    pool_set_mark(POOL_VERTEX);
    pool_set_mark(POOL_NORMAL);
}

int32_t set_part_flags(int32_t index, int32_t flags) {
    SceneObject* object = get_object(index);
    if (object == nullptr) return -1;
    for (int32_t i = 0; i < object->part_count; ++i)
        object->parts[i].flags |= flags;
    return 0;
}

int32_t show_object(int32_t index) {
    SceneObject* object = get_object(index);
    if (object == nullptr) return -1;
    object->header_packet->size = SHORT_PACKET_BYTES;
    if (!on_draw_list(object)) append_to_draw_list(object);
    return 0;
}

int32_t compute_object_normals(int32_t index) {
    SceneObject* object = get_object(index);
    RenderList* list = current_render_list();
    if (object == nullptr) return -1;
    if (list == nullptr || list->model_normals == nullptr || list->model_vertices == nullptr)
        return NORMALS_OUT_OF_RANGE;

    // The polygons index the vertex array and, through the same indices, the
    // normal array: every vertex index must lie within both pools. Only
    // whole packets before the end word count, never more than the object
    // has.
    int32_t limit = list->vertex_capacity < list->normal_capacity ? list->vertex_capacity
                                                                  : list->normal_capacity;
    RunBounds run = object_run(object);
    int32_t walked = 0;
    for (uint8_t* p = run.begin; p != nullptr && walked < object->packet_count; ++walked) {
        PrimitivePacket* packet = packet_at(p, run);
        if (packet == nullptr) break;
        uint32_t mode = packet_depth_mode(packet);
        if (mode == 3 || mode == 4) {
            const int16_t* v = packet_vertices(packet);
            for (int j = 0; j < packet_vertex_count(packet); ++j)
                if (v[j] < 0 || v[j] >= limit) return NORMALS_OUT_OF_RANGE;
        }
        p += packet->size;
    }

    // Fresh marks start at the list's normal count and stop at the pool's
    // capacity; so does the count afterwards.
    int32_t capacity = list->normal_capacity;
    int32_t first = list->normal_count;
    if (first < 0) first = 0;
    if (first > capacity) first = capacity;
    int32_t n = object->vertex_count > 0 ? object->vertex_count : 0;
    int32_t marked = n < capacity - first ? n : capacity - first;

    accumulate_vertex_normals(walked, object->header_packet, marked, list->model_vertices, first,
                              list->model_normals);

    for (int32_t i = 0; i < object->part_count; ++i) {
        ObjectPart* part = &object->parts[i];
        part->first_normal = part->first_vertex;
        part->normal_count = part->vertex_count;
        part->normals = pool_pointer(list->model_normals, capacity, part->first_vertex);
    }
    list->normal_count = first + marked;
    return 0;
}

int32_t recompute_object_normals(int32_t index) {
    SceneObject* object = get_object(index);
    RenderList* list = current_render_list();
    if (object == nullptr) return -1;
    if (list != nullptr) list->normal_count = object_vertex_range(object).first;
    return compute_object_normals(index);
}

int32_t finish_lit_object(int32_t index, int32_t end_vertex) {
    // Before finish_object the object's vertex count is the first vertex it
    // entered.
    const SceneObject* object = get_object(index);
    int32_t first = object != nullptr && object == state.current ? object->vertex_count : 0;
    add_object_part(index, first, end_vertex > first ? end_vertex - first : 0, 0);
    finish_object();
    set_part_flags(index, PART_LIT);
    show_object(index);
    return recompute_object_normals(index);
}

int32_t set_object_shading(int32_t index, int32_t selector) {
    SceneObject* object = get_object(index);
    if (object == nullptr) return -1;
    // The lit fills index their shade tables with this word.
    if (selector < 0 || selector >= SHADE_MODE_COUNT) return -1;
    RunBounds run = object_run(object);
    if (run.begin == nullptr) return 0;
    uint8_t* p = run.begin + SHORT_PACKET_BYTES;  // the polygons follow the header
    while (PrimitivePacket* packet = packet_at(p, run)) {
        packet->extra = uint32_t(selector);
        p += packet->size;
    }
    return 0;
}

int32_t object_shading(int32_t index) {
    const PrimitivePacket* first = next_object_polygon(get_object(index), nullptr);
    return first != nullptr ? int32_t(first->extra & SHADE_MODE_MASK) : -1;
}

int32_t set_object_normals(int32_t index, const Vec4* normals, int32_t count) {
    SceneObject* object = get_object(index);
    RenderList* list = current_render_list();
    if (object == nullptr) return -1;
    if (list == nullptr || list->model_normals == nullptr || normals == nullptr || count < 0 ||
        object->part_count < 1)
        return NORMALS_OUT_OF_RANGE;
    int32_t first = object->parts[0].first_vertex;
    if (int64_t(first) + count > list->normal_capacity) return NORMALS_OUT_OF_RANGE;
    bool inside = true;
    for_each_polygon(object, [&](PrimitivePacket* p) {
        const int16_t* v = packet_vertices(p);
        const int n = packet_vertex_count(p);
        // Unsigned: one comparison finds an index below first or past the end.
        for (int k = 0; k < n; ++k)
            inside &= uint32_t(v[k] - first) < uint32_t(count);
    });
    if (!inside) return NORMALS_OUT_OF_RANGE;
    for (int32_t i = 0; i < count; ++i)
        list->model_normals[first + i] = normals[i];
    for_each_polygon(object, [](PrimitivePacket* p) {
        p->header |= POLY_LIT;
        const int n = packet_vertex_count(p);
        const int16_t* v = packet_vertices(p);
        int16_t* normal = packet_normals(p);
        for (int k = 0; k < n; ++k)
            normal[k] = v[k];
    });
    for (int32_t i = 0; i < object->part_count; ++i) {
        ObjectPart* part = &object->parts[i];
        part->first_normal = part->first_vertex;
        part->normal_count = part->vertex_count;
        part->normals =
            pool_pointer(list->model_normals, list->normal_capacity, part->first_vertex);
    }
    if (list->normal_count < first + count) list->normal_count = first + count;
    return 0;
}

PrimitivePacket* next_object_polygon(const SceneObject* object, const PrimitivePacket* after) {
    if (object == nullptr) return nullptr;
    RunBounds run = object_run(object);
    if (run.begin == nullptr) return nullptr;
    auto* p = after == nullptr
                  ? run.begin
                  : const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(after)) + after->size;
    while (PrimitivePacket* packet = packet_at(p, run)) {
        uint32_t mode = packet_depth_mode(packet);
        if (mode == 3 || mode == 4) return packet;
        p += packet->size;
    }
    return nullptr;
}

VertexRange object_vertex_range(const SceneObject* object) {
    // Parts take only non-negative first vertices and counts (add_object_part);
    // the ends are summed in 64 bits all the same.
    int64_t first = 0;
    int64_t end = 0;
    for (int32_t p = 0; object != nullptr && p < object->part_count; ++p) {
        const ObjectPart& part = object->parts[p];
        if (part.vertex_count <= 0) continue;
        int64_t part_end = int64_t(part.first_vertex) + part.vertex_count;
        if (end == first) {
            first = part.first_vertex;
            end = part_end;
        } else {
            first = part.first_vertex < first ? part.first_vertex : first;
            end = part_end > end ? part_end : end;
        }
    }
    if (first < 0) first = 0;
    if (end - first > INT32_MAX) end = first + INT32_MAX;
    return VertexRange{int32_t(first), end > first ? int32_t(end - first) : 0};
}

int32_t free_object_slots() {
    int32_t free = 0;
    for (int32_t i = 0; state.table != nullptr && i < MAX_OBJECTS; ++i)
        free += state.table[i] == nullptr;
    return free;
}

SceneObject* get_object(int32_t index) {
    if (state.table == nullptr || index < 0 || index >= MAX_OBJECTS) return nullptr;
    return state.table[index];
}

Vec4* get_object_rotation(int32_t index) {
    SceneObject* object = get_object(index);
    return object != nullptr ? &object->rotation : nullptr;
}

ObjectPart* get_part(int32_t index, int32_t part) {
    SceneObject* object = get_object(index);
    if (object == nullptr || part < 0 || part >= object->part_count) return nullptr;
    return &object->parts[part];
}

Vec4* get_part_rotation(int32_t index, int32_t part) {
    ObjectPart* p = get_part(index, part);
    return p != nullptr ? &p->rotation : nullptr;
}

SceneObject* set_delete_callback(int32_t index, ObjectDeleteCallback callback) {
    SceneObject* object = get_object(index);
    if (object != nullptr) object->on_delete = callback;
    return object;
}

int32_t delete_object(int32_t index) {
    SceneObject* object = get_object(index);
    if (object == nullptr) return -1;
    unlink_from_draw_list(object);
    if (state.current == object) state.current = nullptr;
    // Taken off the object first, so a callback that deletes the object
    // itself does not run twice.
    ObjectDeleteCallback callback = object->on_delete;
    object->on_delete = nullptr;
    if (callback != nullptr) callback(index);
    // The callback may already have deleted the object.
    if (state.table != nullptr && state.table[index] == object) {
        state.table[index] = nullptr;
        free_block(object);
    }
    return index;
}
