// The traced edge resampled at a spacing that follows the region's width.
#pragma once

#include <cstddef>

#include "geometry/body_mesh.h"

// The spacing of a body's points where the region is 2R wide: a sixth of R,
// so that a step along the rounded surface turns it by some 10 degrees,
// within [BODY_SPACING_MIN, BODY_SPACING_MAX] model units (the floor falls to
// 0.6 R where R is smaller than that would allow). Along a thin part the
// floor is what the rim keeps; across it, the rows of place_body_points turn
// by their own steps.
inline constexpr double BODY_SPACING_MIN = 5.0;
inline constexpr double BODY_SPACING_MAX = 16.0;
double body_spacing(double radius);

// Inputs:
//   loops  traced edges (trace_outline), fine units
//   field  the region's distance field (region_distance_field)
// Outputs:
//   the same loops with points spaced evenly by body_spacing of the inscribed
//   radius along each loop's inward normal (read every few points and held
//   between), at least 3 points a loop; where the loop turns sharply (a tip,
//   a corner, a notch: more than about 30 degrees within 6 units each way)
//   the spacing is a fifth of the turn's radius, at least half a unit, and
//   grows away from the turn by at most a third of the distance along the
//   loop
// Afterwards: the loops keep their direction, no two segments of any loops
// cross or touch (where they would, the loops involved are sampled twice as
// densely, down to the traced points themselves), and no two consecutive
// points are equal.
std::vector<OutlineLoop> resample_outline(const std::vector<OutlineLoop>& loops,
                                          const DistanceField& field);

// The unit normal of a loop at point i, pointing into the region: the
// chord from point i - 1 to point i + 1 turned by a quarter.
void inward_normal(const OutlineLoop& loop, size_t i, double* nx, double* ny);
