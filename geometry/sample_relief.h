// Relief of a sheet carried over to points of a new surface.
#pragma once

#include "geometry/body_mesh.h"

// Inputs:
//   sheet_vertices   #V model vertices of a flat sheet (z its relief)
//   sheet_triangles  #F triangles over them
//   points           #P points (fine units) where the relief is wanted
// Outputs:
//   per point the sheet's depth there in fine units: interpolated in the
//   triangle that holds the point (the first in order), or, outside every
//   triangle, the depth of the nearest sheet vertex
// Afterwards: all zero when the sheet has no relief (the common case costs
// one pass over its vertices).
std::vector<int32_t> sample_relief(const std::vector<Vec4>& sheet_vertices,
                                   const std::vector<MeshTriangle>& sheet_triangles,
                                   const std::vector<Point2>& points);
