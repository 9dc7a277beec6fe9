// Distances inside a region: the exact Euclidean distance transform of its
// pixels, and the radius of the largest disc that fits the region along a
// direction.
#pragma once

#include "geometry/body_mesh.h"

// Inputs:
//   mask   a region whose border row and column are outside (clean_region)
// Outputs:
//   per pixel, the squared distance between its centre and the nearest
//   outside pixel's centre, exact in integers (two passes, Meijster et al.)
DistanceField region_distance_field(const RegionMask& mask);

// The radius (model units) of the largest disc inside the region that touches
// its edge near `point` (fine units) and lies along the inward unit direction
// (dx, dy): the greatest edge distance met walking from the point along the
// direction before the distances fall again (the walk crosses the region's
// middle there) or fall well short of the distance walked (a disc centred
// there would no longer reach the point: the region narrows ahead, as a tip
// does seen from its end). At least half a pixel.
double inscribed_radius(const DistanceField& field, const Point2& point, double dx, double dy);

// A ray for inscribed_radii: its start (fine units) and inward unit direction.
struct InwardRay {
    Point2 point;
    double dx, dy;
};

// inscribed_radius of each ray, the same values, walked side by side (much
// faster for many rays than one after the other).
std::vector<double> inscribed_radii(const DistanceField& field, const std::vector<InwardRay>& rays);
