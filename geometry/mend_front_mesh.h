// The triangulated front surface made fit to become one side of a closed body.
#pragma once

#include "geometry/body_mesh.h"
#include "geometry/place_body_points.h"

struct FrontMesh {
    std::vector<Point2> points;  // fine units
    std::vector<MeshTriangle> triangles;
    std::vector<uint8_t> rim;  // per point: on the surface's border
    std::vector<double> edge;  // per point, as BodyPoints
    std::vector<double> radius;
};

// Inputs:
//   placed     the points (place_body_points)
//   triangles  their triangulation inside the rim (triangulate_constrained)
// Outputs:
//   the surface with points no triangle uses left out and the rest renumbered
//   in order, the rim found as the ends of border edges (edges of one
//   triangle)
// Afterwards: no inner edge joins two rim points (such an edge, which the
// mirrored back would share, is split at its middle, a new inner point), and
// every connected piece has an inner point: a piece whose points all lie on
// the rim (it would make a body of no volume) is left out. The triangles
// keep their turn; every edge has one or two triangles.
FrontMesh mend_front_mesh(const BodyPoints& placed, const std::vector<MeshTriangle>& triangles);
