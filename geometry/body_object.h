// A body in the scene: its emission as an object with fine positions and
// smooth normals, and its normals again after its vertices moved.
#pragma once

#include "geometry/assemble_body_shell.h"
#include "raster/packet.h"

// Emits the body as a new object, one lit part over its vertices (in order,
// each its own pool record even where two rounded positions are equal): the
// model vertices are its fine positions rounded to whole units, the fine
// positions go beside them (PART_FINE_POSITIONS) and the normals are
// body_normals of the fine positions. Every triangle gets colour and the
// packet flags `flags`. Needs room for the whole body in the packet area and
// the pools (add_indexed_triangles checks and reports it). Returns the object,
// or -1 when the object cannot be created (its allocation failed) or the body
// does not fit; the object is gone again then.
int32_t emit_body_object(const BodyShell& body, const ColourRecord& colour, uint32_t flags);

// Recomputes the normals of a body object from its fine positions after they
// moved; vertices below front_count (counted from the object's first) face the
// viewer at rotation 0. 0, or a negative result of set_object_normals.
int32_t refresh_body_normals(int32_t index, int32_t front_count);

// A fine position rounded to whole model units (halves up).
Vec4 round_fine_position(const Vec4& fine);
