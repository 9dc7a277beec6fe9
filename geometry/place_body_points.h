// The points of a body's front surface: the rim, rows along it, and points
// filling the rest at a spacing that follows the region's width.
#pragma once

#include "geometry/body_mesh.h"

struct BodyPoints {
    std::vector<Point2> points;  // fine units; the rim's first
    std::vector<std::pair<int32_t, int32_t>>
        segments;                // the rim's edges, region on the (-ty, tx) side
    std::vector<double> edge;    // per point: distance to the rim (model units), 0 on it
    std::vector<double> radius;  // per point: the region's half-width there (model units)
    int32_t rim_count = 0;
};

// Inputs:
//   rim    resampled loops (resample_outline)
//   mask   the region (clean_region), field its distances
// Outputs:
//   the rim's points and edges, then for each rim point a row of points
//   along its inward normal on a circle of the local half-width R through
//   the rim, up to the region's middle: the first a few degrees from the rim
//   (at most 6.3, so that the rim meets its mirror image at that small an
//   angle, thin parts as wide ones), each next step at most half as large
//   again as the one before, up to the spacing at that point. The spacing
//   starts at the rim point's and grows with the distance walked, no wider
//   than a sixth of R (or the rim's own, along a thin part) and, near a
//   sharp turn of the rim (a rim point much closer to its neighbours than
//   its half-width asks), no wider than the turn's spacing plus 0.7 of the
//   distance from it. Then points on a 4-pixel lattice fill what the rows
//   leave empty. A point is kept only at least 0.7 of its spacing from those
//   kept before (its own row aside), measured on the rounded surface the
//   circles describe (two points' heights from different circles count no
//   more than the flatter slope allows over their distance), so that the
//   rows thin out where they converge.
// Afterwards: every point but the rim's lies inside the region, no two points
// are equal, and edge and radius hold what the height solve needs to scale
// its heights to circles.
BodyPoints place_body_points(const std::vector<OutlineLoop>& rim, const RegionMask& mask,
                             const DistanceField& field);
