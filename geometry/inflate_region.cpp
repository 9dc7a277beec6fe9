// The body's stages run one after the other.
#include "geometry/inflate_region.h"

#include "geometry/clean_region.h"
#include "geometry/constrained_delaunay.h"
#include "geometry/flip_front_edges.h"
#include "geometry/place_body_points.h"
#include "geometry/region_distance.h"
#include "geometry/resample_outline.h"
#include "geometry/sample_relief.h"
#include "geometry/solve_body_heights.h"
#include "geometry/trace_outline.h"

BodyShell inflate_region(const RegionMask& mask, const std::vector<Vec4>& sheet_vertices,
                         const std::vector<MeshTriangle>& sheet_triangles) {
    DistanceField field;
    return inflate_region(mask, sheet_vertices, sheet_triangles, &field);
}

BodyShell inflate_region(const RegionMask& mask, const std::vector<Vec4>& sheet_vertices,
                         const std::vector<MeshTriangle>& sheet_triangles, DistanceField* out) {
    *out = DistanceField{};
    RegionMask region = clean_region(mask);
    if (region.width == 0) return {};
    DistanceField& field = *out;
    field = region_distance_field(region);
    std::vector<OutlineLoop> rim = resample_outline(trace_outline(region), field);
    BodyPoints placed = place_body_points(rim, region, field);
    std::vector<MeshTriangle> triangles;
    if (!triangulate_constrained(placed.points, placed.segments, &triangles)) return {};
    FrontMesh front = mend_front_mesh(placed, triangles);
    if (front.triangles.empty()) return {};
    std::vector<double> heights = solve_body_heights(front);
    flip_front_edges(&front, heights);
    std::vector<int32_t> relief = sample_relief(sheet_vertices, sheet_triangles, front.points);
    return assemble_body_shell(front, heights, relief);
}
