// Which parts blend with which, and how wide their fillets are.
#include "app/part_blend.h"

#include <algorithm>
#include <cmath>

#include "app/figure.h"
#include "geometry/blend_parts.h"

namespace {

// The fillet's width, as a share of the thinner part's half thickness.
constexpr double BLEND_SHARE = 0.6;
// How steeply a surface is continued beyond its outline to meet the other
// (model units in depth per unit across).
constexpr double CONTINUATION_SLOPE = 2;

RayPlacement ray_placement(const FigurePart& part) {
    return {part.placement.depth, part.placement.offset_x, part.placement.scale, eye_distance()};
}

bool blends(const FigurePart& part) {
    return part.kind == EDITED_BODY && part.mesh != nullptr && !part.mesh->fine.empty();
}

// Part `drawn` blends with the part it was drawn over.
bool joined(const Figure& f, int32_t drawn) {
    const int32_t parent = f.parts[drawn].parent;
    return parent >= 0 && parent < drawn && blends(f.parts[drawn]) && blends(f.parts[parent]);
}

// Moves `mesh` (part `part`'s) against the surface of part `other` that the
// join of `drawn` (one of the two) with its parent blends.
void blend_with(const Figure& f, int32_t part, int32_t other, int32_t drawn, PartMesh* mesh) {
    const FigurePart& a = f.parts[part];
    const FigurePart& b = f.parts[other];
    const bool behind = f.parts[drawn].behind;
    const RayPlacement at = ray_placement(a), other_at = ray_placement(b);
    const double width = BLEND_SHARE * std::min(part_half_thickness(*a.mesh, at),
                                                part_half_thickness(*b.mesh, other_at));
    if (!(width > 0)) return;
    // The continuation must climb the fillet's width: that many pixels at the
    // other's rim distance, and two more for the interpolation.
    const double rim = std::max(double(other_at.eye) + other_at.depth, 1.0);
    const double reach = width * RAY_FOCAL / (CONTINUATION_SLOPE * rim);
    const auto margin = int32_t(std::min(std::ceil(reach), 60.0)) + 2;
    const RayDepthField field =
        part_depth_field(*b.mesh, other_at, behind, margin, CONTINUATION_SLOPE);
    blend_part_against(mesh, at, field, behind, width);
}

}  // namespace

bool blended_part_mesh(const Figure& f, int32_t part, PartMesh* out) {
    if (part < 0 || part >= f.part_count || !blends(f.parts[part])) return false;
    PartMesh mesh;
    bool any = false;
    auto start = [&]() {
        if (!any) mesh = *f.parts[part].mesh;
        any = true;
    };
    // Against the part it was drawn over, then the parts drawn over it in
    // the figure's order: a fixed order, each blend taking the last's result.
    if (joined(f, part)) {
        start();
        blend_with(f, part, f.parts[part].parent, part, &mesh);
    }
    for (int32_t i = part + 1; i < f.part_count; ++i) {
        if (f.parts[i].parent != part || !joined(f, i)) continue;
        start();
        blend_with(f, part, i, i, &mesh);
    }
    if (!any) return false;
    refresh_part_normals(&mesh);
    *out = std::move(mesh);
    return true;
}
