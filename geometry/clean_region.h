// The first stage of a body: the filled region's pixels made fit to inflate.
#pragma once

#include "geometry/body_mesh.h"

// Inputs:
//   mask  the filled region's pixels
// Outputs:
//   the region cropped to its bounding box with three pixels of outside
//   around it (origin moved to match), closed by the 3 x 3 cross twice and
//   then opened by the cross; what the diamond of radius 2 would also have
//   opened away (parts three or four pixels wide) is thickened by the cross
//   where it lies a pixel or more from the wider parts
// Afterwards: holes and gaps at most two pixels wide that the region
// surrounds (a stray stroke pixel inside it) are filled; every part or neck
// of the region at most two pixels wide is gone, so that two parts touching
// through a pixel or two become two regions; a neck or tip three or four
// pixels wide is five or six wide, so that it inflates into a tube or a
// cap; gaps of three pixels or more stay open (the thickening narrows a gap
// only beside such a neck). The border row and column of the result are
// outside. An empty region gives an empty mask (width and height 0).
RegionMask clean_region(const RegionMask& mask);
