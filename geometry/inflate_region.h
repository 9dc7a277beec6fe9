// The stages that turn a filled region into a closed, rounded body, in order.
#pragma once

#include "geometry/assemble_body_shell.h"

// Inputs:
//   mask             the filled region's pixels (the build's flood fill)
//   sheet_vertices   the sheet built from it (model vertices, z its relief)
//   sheet_triangles  the sheet's triangles
// Outputs:
//   the body: clean_region, region_distance_field, trace_outline,
//   resample_outline, place_body_points, triangulate_constrained,
//   mend_front_mesh, solve_body_heights, flip_front_edges, sample_relief (at
//   the front's points), assemble_body_shell
// Afterwards: as assemble_body_shell; empty (no vertex) when nothing of the
// region can be inflated.
BodyShell inflate_region(const RegionMask& mask, const std::vector<Vec4>& sheet_vertices,
                         const std::vector<MeshTriangle>& sheet_triangles);
// The same, handing out the region's distance field (empty when nothing of
// the region is left) for the stages that follow (register_body).
BodyShell inflate_region(const RegionMask& mask, const std::vector<Vec4>& sheet_vertices,
                         const std::vector<MeshTriangle>& sheet_triangles, DistanceField* field);
