// Whether a new part of a figure (a sheet built from an outline, a body inflated from a part's
// sheet, a mirrored part) fits what the render list has left, and the message that says why not.
#pragma once

#include <cstdint>

// What the render list holds besides the new part: the bytes of the packet area and the
// vertices of the pools taken by everything that stays.
struct RoomTaken {
    int64_t packet_bytes;
    int64_t vertices;
};

// What the list holds now, all of it staying.
RoomTaken room_taken_now();

// The capacity message for a new object of `triangles` triangles and `vertices` vertices
// beside `taken`, or null when it fits. `needs_slot` asks for a free slot of the object table
// too (false when the part replaces an object whose slot it takes over). The message names
// the cause a user can act on: the object table when no slot is free; TEXT_TOO_MANY_PARTS
// when the part would fit the buffers alone and the parts already there leave no room; the
// buffer the part alone overflows otherwise (an outline too large).
const char* part_room_text(int64_t triangles, int64_t vertices, RoomTaken taken, bool needs_slot);
