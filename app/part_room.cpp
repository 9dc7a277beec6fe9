// The room a part needs, and the message naming what is short of it.
#include "app/part_room.h"

#include "base/messages.h"
#include "geometry/scene_objects.h"

namespace {

// The buffer a part of that size overflows beside `others`, or null.
const char* overflow_beside(const PartRoom& part, const PartRoom& others,
                            const BufferCapacity& capacity) {
    // The packets of both and the area's end word.
    if (others.packet_bytes + part.packet_bytes + 4 > capacity.packet_bytes)
        return TEXT_PACKET_AREA_FULL;
    // Every vertex has a record of its own and a normal at its index.
    if (others.vertices + part.vertices > capacity.vertices) return TEXT_VERTEX_POOL_FULL;
    if (others.vertices + part.vertices > capacity.normals) return TEXT_NORMAL_POOL_FULL;
    return nullptr;
}

}  // namespace

const char* part_room_text(const PartRoom& part, const PartRoom& others,
                           const BufferCapacity& capacity, bool needs_slot) {
    if (needs_slot && free_object_slots() == 0) return TEXT_OBJECT_TABLE_FULL;
    const char* full = overflow_beside(part, others, capacity);
    if (full == nullptr) return nullptr;
    // Alone in the buffers it would fit: the other parts are what leaves no room.
    const bool fits_alone = others.packet_bytes + others.vertices > 0 &&
                            overflow_beside(part, PartRoom{0, 0}, capacity) == nullptr;
    return fits_alone ? TEXT_TOO_MANY_PARTS : full;
}
