// Which parts blend with which, how wide their fillets are, and the
// refinement that resolves them.
#include "app/part_blend.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/blend_parts.h"
#include "geometry/split_body_edges.h"

namespace {

// The fillet's width, as a share of the thinner part's half thickness.
constexpr double BLEND_SHARE = 1.0;
// How steeply a surface is continued beyond its outline to meet the other
// (model units in depth per unit across).
constexpr double CONTINUATION_SLOPE = 3;
// Edges near the join are split until they are no longer than this share of
// the fillet's width (and never below MIN_JOIN_EDGE figure units): each pass
// halves them, a body's edges of some 20 units taking three or four.
constexpr double JOIN_EDGE_SHARE = 0.2;
constexpr double MIN_JOIN_EDGE = 1.5;
constexpr int32_t MAX_JOIN_PASSES = 4;

bool blends(const BlendingPart& part) {
    return part.body && part.mesh != nullptr && !part.mesh->fine.empty();
}

// Part `drawn` blends with the part it was drawn over.
bool joined(const BlendingPart* parts, int32_t drawn) {
    const int32_t parent = parts[drawn].parent;
    return parent >= 0 && parent < drawn && blends(parts[drawn]) && blends(parts[parent]);
}

// One of a part's joins: the other part's surface it blends with, and how.
struct Join {
    RayDepthField field;
    bool behind;
    double width;
};

Join join_with(const BlendingPart* parts, int32_t part, int32_t other, int32_t drawn) {
    const BlendingPart& a = parts[part];
    const BlendingPart& b = parts[other];
    Join join;
    join.behind = parts[drawn].behind;
    const RayPlacement &at = a.placement, &other_at = b.placement;
    join.width = BLEND_SHARE *
                 std::min(part_half_thickness(*a.mesh, at), part_half_thickness(*b.mesh, other_at));
    if (!(join.width > 0)) return join;
    // The continuation must climb the fillet's width: that many pixels at the
    // other's rim distance, and two more for the interpolation.
    const double rim = std::max(double(other_at.eye) + other_at.depth, 1.0);
    const double reach = join.width * RAY_FOCAL / (CONTINUATION_SLOPE * rim);
    const auto margin = int32_t(std::min(std::ceil(reach), 60.0)) + 2;
    join.field = part_depth_field(*b.mesh, other_at, join.behind, margin, CONTINUATION_SLOPE);
    return join;
}

// Per vertex of the mesh, whether it lies within a join's fillet, or the
// other's surface crosses its ray on the other side of it than at a
// neighbour: -1 in front of every join's surface within reach, +1 behind
// one, 0 within a fillet.
void sides(const PartMesh& mesh, const RayPlacement& at, const std::vector<Join>& joins,
           std::vector<int8_t>* side) {
    side->assign(mesh.fine.size(), -1);
    for (const Join& join : joins) {
        std::vector<double> gaps;
        ray_gaps(mesh, at, join.field, &gaps);
        for (size_t i = 0; i < gaps.size(); ++i) {
            const double g = gaps[i];
            if (g == NO_DEPTH) continue;
            if (std::fabs(g) < join.width)
                (*side)[i] = 0;
            else if (g > 0 && (*side)[i] != 0)
                (*side)[i] = 1;
        }
    }
}

}  // namespace

bool blended_part_mesh(const BlendingPart* parts, int32_t count, int32_t part, bool refine,
                       PartMesh* out) {
    if (part < 0 || part >= count || !blends(parts[part])) return false;
    // Against the part it was drawn over, then the parts drawn over it in
    // the figure's order: a fixed order, each blend taking the last's result.
    std::vector<Join> joins;
    if (joined(parts, part)) joins.push_back(join_with(parts, part, parts[part].parent, part));
    for (int32_t i = part + 1; i < count; ++i)
        if (parts[i].parent == part && joined(parts, i))
            joins.push_back(join_with(parts, part, i, i));
    if (joins.empty()) return false;
    const RayPlacement& at = parts[part].placement;
    PartMesh mesh = *parts[part].mesh;
    double width = joins[0].width;
    for (const Join& join : joins)
        width = std::min(width, join.width);
    BodyLayout layout;
    if (refine && width > 0 && read_layout(mesh, &layout)) {
        // Split the edges, longer than the fillet resolves, that touch it or
        // cross the other's surface (their ends on either side of it).
        const double longest = std::max(JOIN_EDGE_SHARE * width, MIN_JOIN_EDGE);
        const double fine_to_figure = double(at.scale) / FIXED_ONE / FINE_ONE;
        const double limit = longest / fine_to_figure;
        const double limit2 = limit * limit;
        std::vector<int8_t> side;
        PartMesh passes[2];
        for (int32_t pass = 0; pass < MAX_JOIN_PASSES; ++pass) {
            sides(mesh, at, joins, &side);
            auto touches = [&](int32_t a, int32_t b) {
                return side[size_t(a)] == 0 || side[size_t(b)] == 0 ||
                       side[size_t(a)] != side[size_t(b)];
            };
            auto splits = [&](int32_t a, int32_t b) {
                const Vec4& p = mesh.fine[size_t(a)];
                const Vec4& q = mesh.fine[size_t(b)];
                const double dx = double(p.x) - q.x, dy = double(p.y) - q.y, dz = double(p.z) - q.z;
                if (dx * dx + dy * dy + dz * dz <= limit2) return false;
                return touches(a, b) || touches(layout.twin(a), layout.twin(b));
            };
            PartMesh& next = passes[pass % 2];
            if (!split_body_edges(mesh, layout, splits, &next)) break;
            mesh = std::move(next);
            if (!read_layout(mesh, &layout)) return false;
        }
    }
    for (const Join& join : joins)
        if (join.width > 0) blend_part_against(&mesh, at, join.field, join.behind, join.width);
    refresh_part_normals(&mesh);
    *out = std::move(mesh);
    return true;
}
