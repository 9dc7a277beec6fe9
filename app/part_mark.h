// The mark of the edited part: while a figure has two or more parts, the
// silhouette of the part that Tab, Backspace, I, M and Z act on, drawn over
// each frame in a highlight colour, so that the user sees which part it is.
#pragma once

#include <cstdint>

// Bright yellow (5:5:5: red and green full, no blue): it reads on the red
// parts, lit or in shadow, and on the blue background alike.
inline constexpr uint16_t PART_MARK_PIXEL = 0x7FE0;

// Once per frame, after render_frame: a ring of PART_MARK_PIXEL one pixel
// wide just outside the pixels the edited part covers (each pixel beside one
// of them, left, right, above or below), into the raster target. The part's
// pixels are found from the screen vertices the frame projected, as the
// renderer walks a body's triangles: those of a body's triangles that face
// the viewer, and of all a sheet's, so that a sheet turned away, which the
// renderer does not draw, still shows where it is. The ring is drawn over
// whatever lies around the part, in front of it or behind; the part's own
// pixels stay as the renderer drew them.
//
// Nothing is drawn for a figure of fewer than two parts, in drawing mode and
// while a part is being added (no part edited): those frames stay exactly as
// the renderer drew them. Allocates nothing: its working storage is fixed
// (about 700 KiB), and a mesh larger than the body buffers hold or a page
// larger than 4096 pixels a side is not marked. The edges between the
// mesh's triangles are found again only when another mesh is edited.
void mark_edited_part();
