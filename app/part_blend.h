// The blend of a figure's parts where they meet: a part drawn over another
// grows into it through a fillet (geometry/blend_parts.h), in front of it or,
// when it was built behind it, behind it. The blend is derived data: each
// part keeps its own mesh, and the meshes the render list is emitted from
// are made from the parts whenever the figure is emitted
// (app/edited_object.cpp), so that a part removed or changed takes its blend
// with it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/blend_parts.h"
#include "geometry/scene_objects.h"

// A part as the blend reads it: its own mesh, where it sits (the eye's
// present distance in it), the part it was drawn over (an earlier one, or
// negative for none) and whether it was built behind that part, and whether
// it is a closed body (only bodies blend).
struct BlendingPart {
    const PartMesh* mesh;
    RayPlacement placement;
    int32_t parent;
    bool behind;
    bool body;
};

// At most as many partners as a figure has parts.
inline constexpr int32_t MAX_BLEND_PARTNERS = MAX_OBJECTS;

// The parts part `part` of the `count` parts blends with, in the order its
// blend takes them: the part it was drawn over, then the parts drawn over it
// in the figure's order (bodies all). Writes them to partners (room for
// MAX_BLEND_PARTNERS) and returns how many; 0 when it meets none.
int32_t blend_partners(const BlendingPart* parts, int32_t count, int32_t part, int32_t* partners);

// One join of part `part`: *mesh (the part's mesh, or what its earlier joins
// made of it) moved along the eye's rays where it meets `partner`'s own
// surface, with `refine` its edges near the join split first. The normals
// are left to the caller. Joins taken one after another in
// blend_partners' order give blended_part_mesh's mesh, so a blend kept from
// a figure goes on with the joins of parts added since.
void blend_join(const BlendingPart* parts, int32_t part, int32_t partner, bool refine,
                PartMesh* mesh);

// Part `part` of the `count` parts as it is drawn: its mesh moved along the
// eye's rays where it meets the part it was drawn over and the parts drawn
// over it (bodies both), with its normals computed again; with `refine`, its
// edges near the joins split first so that the fillet is resolved (more
// vertices and triangles, the layout of a body kept). False, *out
// untouched, when it meets none of them: the part is drawn from its own mesh.
bool blended_part_mesh(const BlendingPart* parts, int32_t count, int32_t part, bool refine,
                       PartMesh* out);

// Part `part` of the `count` parts as it is drawn over its partners: its
// blended mesh `drawn[part]` with what lies inside a partner's blended mesh
// (drawn[partner], or the partner's own mesh where that is null) cut away
// (cut_inside_part), so that where two surfaces meet nearly tangent the
// hidden one is not there to be drawn in front, and lit as one with each
// partner near the curve where they meet (its normals turned toward the
// partner's surface within the fillet's width), so that no seam of light and
// dark shows there. Every other part's blend is left whole (exports and
// posing read the whole blends). False, *out untouched, when nothing of it
// lies inside a partner.
bool cut_part_mesh(const BlendingPart* parts, int32_t count, int32_t part,
                   const PartMesh* const* drawn, PartMesh* out);

// cut_part_mesh in steps, for a caller that keeps what it read. A partner as
// a cut reads it: its front and back depth intervals over the box of pixels
// (x0, y0, x1, y1) where it and the part cut can both lie; nothing read
// when it lies nowhere in front of the eye.
struct CutField {
    bool read = false;
    int32_t box[4] = {};
    RayDepthField front, back;
    // How far from the partner's surface the part's lighting turns toward
    // the partner's (cut_inside_part's band): a share of their fillet's width.
    double band = 0;
    // What the intervals were read from (reads_as_before): a partner whose
    // blend was made again reads as it did over the box, or is read again.
    std::shared_ptr<const DepthRead> reached;
};
// The box where part `part`'s blend drawn[part] lies (false: it is not cut).
bool cut_own_box(const BlendingPart* parts, const PartMesh* const* drawn, int32_t part,
                 int32_t own[4]);
// Whether, and over which box, partner `other` is read against part `part`,
// whose own box is `own` (field->read, field->box, field->band; its
// intervals untouched).
void cut_field_box(const BlendingPart* parts, const PartMesh* const* drawn, int32_t part,
                   int32_t other, const int32_t own[4], CutField* field);
// The partner's intervals read over field->box.
void read_cut_field(const BlendingPart* parts, const PartMesh* const* drawn, int32_t other,
                    CutField* field);
// The intervals `read` read of partner `other` taken for *field (its box
// from cut_field_box) when over that box the partner, at the same placement,
// reaches the same triangles to the bit (its blend made again elsewhere):
// true, the same intervals a read would give; false, *field's intervals
// unset (read_cut_field reads them).
// `points` holds the partner's corners (mesh_ray_points) or is empty, and
// then is filled: kept by the caller for the next part cut against it.
bool reaches_as_read(const BlendingPart* parts, const PartMesh* const* drawn, int32_t other,
                     const CutField& read, std::vector<RayPoint>* points, CutField* field);
// The blend at `placement` cut by the n partners' fields in order (in
// blend_partners' order): cut_part_mesh's answer.
bool cut_part_with(const PartMesh& blend, const RayPlacement& placement, const CutField* fields,
                   int32_t n, PartMesh* out);
