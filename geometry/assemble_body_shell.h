// A closed body from its front surface: the front lifted toward the viewer,
// its mirror image behind, the rim shared.
#pragma once

#include "geometry/mend_front_mesh.h"

struct BodyShell {
    std::vector<Vec4> vertices;           // fine units (w 0): the rim, the front, then the back
    std::vector<MeshTriangle> triangles;  // the front's, then the back's
    int32_t front_count = 0;       // vertices 0 .. front_count - 1 face the viewer at rotation 0
    std::vector<int32_t> back_of;  // per front vertex: its twin behind, itself on the rim
};

// Inputs:
//   mesh     the mended front surface (mend_front_mesh)
//   heights  per point, model units (solve_body_heights)
//   relief   per point, the depth (fine units) the body is built around
// Outputs:
//   the body: the rim's points at relief, then the inner points at relief -
//   height (the front; the viewer looks along +z), then the inner points again
//   at relief + height in the same order (the back), so that front vertex i
//   past the rim has its twin at front_count + i - (rim points); the front
//   triangles as given and the back's turned the other way
// Afterwards: the body is closed and consistently oriented (every directed
// edge once, with its reverse), each piece has the genus of its holes, and
// seen from the viewer the front's triangles turn as the renderer draws them
// (a positive cross product in the model's frame).
BodyShell assemble_body_shell(const FrontMesh& mesh, const std::vector<double>& heights,
                              const std::vector<int32_t>& relief);
