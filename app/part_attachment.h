// Parts attached to the part they were drawn over: a part drawn over another
// is placed in depth where it meets that part, so that it enters it rather
// than float in front of it (or behind it, when it was built behind).
//
// Where the two parts show facing the viewer, along the rays from the eye
// through those pixels, a part in front has its middle (halfway between its
// front and back surfaces) at the other's front surface, and a part behind
// has its middle at the other's back surface. The middle meets that surface
// on each ray at a different distance from the eye; the part takes the median
// of them, so that its middle crosses the surface within the overlap. A sheet
// is its own middle; a body's middle lies about on its rim plane, so that a
// sheet keeps its place, about, when it is inflated.
//
// A part is moved by scaling it about the eye: its placement's depth, scale
// and offset grow by the same factor as its distance from the eye, so that it
// shows facing the viewer on exactly the pixels it did (a registered body
// stays registered). The shell places a part when it is built, when it is
// inflated and when the part it is attached to is inflated; a push moves no
// part, and a mirror takes its source's place reflected.
#pragma once

#include <cstdint>

#include "app/edited_object.h"

// Where `part` goes attached to part part.parent of `f` (in front, or behind
// for part.behind), facing the viewer at the eye's present distance; its
// present placement when it is attached to nothing (or to no part of f), or
// when the two show on no common pixel. The depth stays within the limits of
// placement_at_depth (app/figure.h).
PartPlacement attached_placement(const Figure& f, const FigurePart& part);

// After part `changed` of *f changed (its mesh, when inflated): that part,
// when it is attached, and every part attached to it, directly or through
// others, placed again, in the figure's order (a part comes after the part it
// is attached to, so that each is placed against where that one is now).
void place_attached_parts(Figure* f, int32_t changed);
