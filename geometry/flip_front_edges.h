// The front surface's triangles made fit for its heights: a triangulation
// chosen in the plane is turned to suit the surface it lifts to.
#pragma once

#include "geometry/mend_front_mesh.h"

// Inputs:
//   mesh     the mended front surface (mend_front_mesh)
//   heights  per point, model units (solve_body_heights)
// Outputs:
//   mesh's triangles, with inner edges flipped until the lifted surface
//   (each point at its height) is Delaunay: for every inner edge the two
//   angles facing it add up to at most 180 degrees on the surface, or the
//   flip would fold a triangle in the plane or join two rim points. Points,
//   rim and heights are unchanged.
// Why: the plane's Delaunay triangulation joins points close in the plane
// however far apart their heights are; where the surface is steep (by the
// rim, and most at notches and tips) that makes slivers standing on edge
// between faces that turn by up to 180 degrees. On the lifted points the
// same rule makes well-shaped triangles and no such fold.
// Afterwards: every triangle still turns positively in the plane, every
// edge has one or two triangles, and no inner edge joins two rim points;
// the same input gives the same triangles on every build (exact orientation
// tests, cotangents from products and square roots in a fixed order).
void flip_front_edges(FrontMesh* mesh, const std::vector<double>& heights);
