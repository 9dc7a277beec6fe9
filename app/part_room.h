// Whether a part of a figure (a sheet built from an outline, a body inflated from a part's
// sheet, a mirrored part) fits the buffers the figure is emitted into, and the message that
// says why not: the one room check of every change of the figure's parts.
#pragma once

#include "geometry/part_mesh.h"
#include "geometry/render_list.h"

// The capacity message for a part taking `part` beside parts taking `others` (everything that
// stays; zeros for none) in buffers of `capacity`, or null when it fits. `needs_slot` asks for
// a free slot of the object table too (false when the part takes the place of one). The
// message names the cause a user can act on: the object table when no slot is free;
// TEXT_TOO_MANY_PARTS when the part would fit the buffers alone and the parts already there
// leave no room; the buffer the part alone overflows otherwise (an outline too large).
const char* part_room_text(const PartRoom& part, const PartRoom& others,
                           const BufferCapacity& capacity, bool needs_slot);
