// The traced edge resampled at a spacing that follows the region's width.
#pragma once

#include <cstddef>

#include "geometry/body_mesh.h"

// The spacing of a body's points where the region is 2R wide: a sixth of R,
// so that a step along the rounded surface turns it by some 10 degrees,
// within [BODY_SPACING_MIN, BODY_SPACING_MAX] model units (the floor falls to
// 0.6 R where R is smaller than that would allow).
inline constexpr double BODY_SPACING_MIN = 4.0;
inline constexpr double BODY_SPACING_MAX = 16.0;
double body_spacing(double radius);

// Inputs:
//   loops  traced edges (trace_outline), fine units
//   field  the region's distance field (region_distance_field)
// Outputs:
//   the same loops with points spaced evenly by body_spacing of the inscribed
//   radius along each loop's inward normal (read every few points and held
//   between), at least 3 points a loop
// Afterwards: the loops keep their direction, no two segments of any loops
// cross or touch (where they would, the loops involved are sampled twice as
// densely, down to the traced points themselves), and no two consecutive
// points are equal.
std::vector<OutlineLoop> resample_outline(const std::vector<OutlineLoop>& loops,
                                          const DistanceField& field);

// The unit normal of a loop at point i, pointing into the region: the
// chord from point i - 1 to point i + 1 turned by a quarter.
void inward_normal(const OutlineLoop& loop, size_t i, double* nx, double* ny);
