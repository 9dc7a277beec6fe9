// The blend of a figure's parts where they meet: a part drawn over another
// grows into it through a fillet (geometry/blend_parts.h), in front of it or,
// when it was built behind it, behind it. The blend is derived data: each
// part keeps its own mesh, and the meshes the render list is emitted from
// are made from the figure whenever it is emitted, so that a part removed or
// changed takes its blend with it.
#pragma once

#include <cstdint>

#include "app/edited_object.h"

// Part `part` of f as it is drawn: its mesh moved along the eye's rays where
// it meets the part it was drawn over and the parts drawn over it (bodies
// both, facing the viewer at the eye's present distance), with its normals
// computed again; with `refine`, its edges near the joins split first so
// that the fillet is resolved (more vertices and triangles, the layout of a
// body kept). False, *out untouched, when it meets none of them: the part is
// drawn from its own mesh.
bool blended_part_mesh(const Figure& f, int32_t part, bool refine, PartMesh* out);
