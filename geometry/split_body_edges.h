// The refinement of a body's mesh: its front edges split at their
// midpoints where a rule says, each with its twin behind, keeping the layout
// of a body (the push brush refines under itself; the blend of two parts
// along the curve where they meet).
#pragma once

#include <cstdint>
#include <functional>

#include "geometry/part_mesh.h"

// Where a body's vertices and triangles lie: the rim (0 .. rim - 1), the rest
// of the front (.. front - 1), their twins behind in the same order (.. count
// - 1); the front's triangles, then their twins.
struct BodyLayout {
    int32_t rim = 0;
    int32_t front = 0;
    int32_t count = 0;
    int32_t front_triangles = 0;
    int32_t twin(int32_t v) const { return v < rim ? v : front + (v - rim); }
};

// The layout of a body's mesh; false for a mesh without it (a sheet).
bool read_layout(const PartMesh& body, BodyLayout* layout);

// Whether the edge between front vertices a and b of the mesh is split.
using EdgeSplitRule = std::function<bool(int32_t a, int32_t b)>;

// One pass: every front edge the rule picks split once at its midpoint (fine
// units, arithmetic shifts), each front triangle cut into two, three or four
// along its split edges, turning as it did, and its twin behind alike.
// Inputs: a body's mesh and its layout (read_layout). Outputs: the refined
// mesh in the same layout (old rim, new rim, old inner, new inner, old back,
// new back), the old vertices at their whole positions, the new ones
// rounded; no normals. False, *out untouched, when the rule picks none (or
// a front triangle names a vertex beyond the front).
bool split_body_edges(const PartMesh& in, const BodyLayout& layout, const EdgeSplitRule& rule,
                      PartMesh* out);
