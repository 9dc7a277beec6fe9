// The filled region's edge as closed loops at pixel precision.
#pragma once

#include "geometry/body_mesh.h"

// Inputs:
//   mask   a region whose border row and column are outside (clean_region)
// Outputs:
//   loops  every closed edge of the region (outer edges and holes), one point
//          where the edge crosses each segment between an inside and an
//          outside pixel centre (marching squares; where two inside pixels
//          touch only at a corner the corner separates them), smoothed by
//          six passes of the weights 1/4, 1/2, 1/4 (corners round
//          off over a pixel or two), in fine units
// Afterwards: each loop runs with the region on its (-ty, tx) side, no two
// loops cross or touch, and a loop has at least 4 points.
std::vector<OutlineLoop> trace_outline(const RegionMask& mask);
