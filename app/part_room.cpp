// The room a new part needs, and the message naming what is short of it.
#include "app/part_room.h"

#include "base/messages.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "raster/packet.h"

namespace {

// The buffer an object of that size overflows beside `taken`, or null.
const char* overflow_beside(const RenderList& list, int64_t triangles, int64_t vertices,
                            RoomTaken taken) {
    // The object's header packet, its triangles and the area's end word.
    if (taken.packet_bytes + SHORT_PACKET_BYTES + TRIANGLE_PACKET_BYTES * triangles + 4 >
        list.packet_capacity)
        return TEXT_PACKET_AREA_FULL;
    if (taken.vertices + vertices > list.vertex_capacity) return TEXT_VERTEX_POOL_FULL;
    if (taken.vertices + vertices > list.normal_capacity) return TEXT_NORMAL_POOL_FULL;
    return nullptr;
}

}  // namespace

RoomTaken room_taken_now() {
    const RenderList* list = current_render_list();
    if (list == nullptr) return {0, 0};
    return {list->write_position - reinterpret_cast<const uint8_t*>(list->first_packet),
            list->vertex_count};
}

const char* part_room_text(int64_t triangles, int64_t vertices, RoomTaken taken, bool needs_slot) {
    if (needs_slot && free_object_slots() == 0) return TEXT_OBJECT_TABLE_FULL;
    const RenderList* list = current_render_list();
    if (list == nullptr) return TEXT_PACKET_AREA_FULL;
    const char* full = overflow_beside(*list, triangles, vertices, taken);
    if (full == nullptr) return nullptr;
    // Alone in the list it would fit: the other parts are what leaves no room.
    const bool fits_alone = taken.packet_bytes + taken.vertices > 0 &&
                            overflow_beside(*list, triangles, vertices, RoomTaken{0, 0}) == nullptr;
    return fits_alone ? TEXT_TOO_MANY_PARTS : full;
}
