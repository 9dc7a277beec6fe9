// Constrained Delaunay triangulation of the inside of closed loops.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/body_mesh.h"

// Inputs:
//   points    #P points (fine units, |x|, |y| < 2^20), no two equal
//   segments  #S pairs of point indices: the edges of closed loops that do
//             not cross one another (they may share end points only)
// Outputs:
//   triangles the triangles inside the loops (an odd number of loops around
//             them), each turning with a positive cross product
//             (b - a) x (c - a) in the model's frame
// Afterwards: every segment is an edge of the triangulation (split where a
// point lies exactly on it), the other edges are Delaunay (exact integer
// predicates; ties broken by insertion order, so the same input always gives
// the same triangles), and no triangle has zero area. Returns false (and no
// triangles) for coordinates out of range or a segment naming a missing point.
bool triangulate_constrained(const std::vector<Point2>& points,
                             const std::vector<std::pair<int32_t, int32_t>>& segments,
                             std::vector<MeshTriangle>* triangles);

// Twice the signed area of (a, b, c): positive when c lies on the side
// (-ty, tx) of the direction a -> b.
int64_t orient2(const Point2& a, const Point2& b, const Point2& c);
