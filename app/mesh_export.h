// Export of a scene object's mesh as text for other tools: Wavefront OBJ (the
// positions as modelled, relief included, the polygons as emitted but for
// those that repeat a vertex or have no area, vertex normals) and PLY (the
// same mesh with the colour the last frame showed at each vertex).
//
// Nothing here touches files: the text goes into a string for the caller to
// write or hand on. Coordinates are model units. The model's y grows down the
// screen, so it is negated to point up as other tools expect; that mirror
// would turn the faces, so their corners are listed in reverse, which keeps
// them facing the viewer (anticlockwise seen from the front, normals towards
// +z at rotation 0).
#pragma once

#include <cstdint>
#include <string>

inline constexpr int32_t EXPORT_OK = 0;
inline constexpr int32_t EXPORT_NO_OBJECT = -1;  // no object in that slot, or no render list
inline constexpr int32_t EXPORT_BAD_MESH = -2;   // a polygon names a vertex outside the object

// The object of slot `index` (its parts' vertex ranges and the polygons of its
// packet run) as OBJ or PLY text in *out. Call between frames; the PLY colours
// are those of the frame rendered last. EXPORT_OK, or an error with *out empty.
int32_t export_obj(int32_t index, std::string* out);
int32_t export_ply(int32_t index, std::string* out);

// A sentence for an export error.
const char* export_error_text(int32_t result);
