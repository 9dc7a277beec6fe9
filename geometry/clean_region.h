// The first stage of a body: the filled region's pixels made fit to inflate.
#pragma once

#include "geometry/body_mesh.h"

// Inputs:
//   mask  the filled region's pixels
// Outputs:
//   the region cropped to its bounding box with one pixel of outside around
//   it (origin moved to match), closed by the 3 x 3 cross and then opened by
//   the diamond of radius 2 (the cross twice)
// Afterwards: holes and gaps at most two pixels wide that the region
// surrounds (a stray stroke pixel inside it) are filled; every part or neck
// of the region at most four pixels wide is gone, so that two parts touching
// through a few pixels become two regions, and sharp tips are blunted; gaps
// of three pixels or more stay open. The border row and column of the result are outside. An empty
// region gives an empty mask (width and height 0).
RegionMask clean_region(const RegionMask& mask);
