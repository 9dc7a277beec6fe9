// The heights of a body's front surface above the plane of its rim.
#pragma once

#include "geometry/mend_front_mesh.h"

// Inputs:
//   mesh  the mended front surface (mend_front_mesh)
// Outputs:
//   per point its height (model units, 0 on the rim)
// How: u solves Poisson's equation -lap u = 4 on the surface with u = 0 on
// the rim (linear finite elements, conjugate gradients in double precision
// in a fixed order), which is smooth everywhere inside, so that no crease
// follows the region's middle. For a disc of radius r, u = r^2 - rho^2 and
// sqrt(u) is a hemisphere; for a long band of half-width a, u = 2 (a^2 -
// x^2), twice a circle's. The circle through the rim of the local half-width
// R, c = e (2R - e) (e the distance to the rim), tells the two apart: the
// height is sqrt(u / k) with k the ratio of u to c, both divided by R and
// averaged over the point's neighbourhood of two dozen steps of the mesh (so
// k varies slowly): a disc becomes a sphere, a band a round tube, and every
// other outline something smooth between.
// Afterwards: every inner point has a height of at least 1/256; the same
// mesh gives the same heights, bit for bit, on every build (no fused
// multiply-add, no library function but the square root).
std::vector<double> solve_body_heights(const FrontMesh& mesh);
