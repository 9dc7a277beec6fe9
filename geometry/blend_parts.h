// Two parts that grow into each other: where a part drawn over another meets
// it, both surfaces are moved along the eye's rays so that the crease between
// them fills with a fillet (a smooth minimum of their depths along each ray,
// or a smooth maximum for a part built behind the other).
//
// The stages work in ray space: a point of the figure is named by the pixel
// its ray passes through, (u, v) = (x, y) * RAY_FOCAL / d, and its distance
// d = eye + z from the eye along the view axis. A vertex moved only in d
// stays on its pixel, so every silhouette stays on the pixels it was drawn
// on. All arithmetic is in doubles in a fixed order, without fused
// multiply-adds, and square roots only where IEEE arithmetic rounds them
// exactly, so that every build gives the same bits.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/part_mesh.h"

// Where a part's model sits in the figure: model point p is the figure's
// point p * scale / FIXED_ONE + (offset_x, 0, depth); the eye lies at figure
// (0, 0, -eye) and looks along +z.
struct RayPlacement {
    int32_t depth;
    int32_t offset_x;
    int32_t scale;  // FIXED_ONE = 1.0
    int32_t eye;    // > 0
};

// The pixels per model unit at distance 1: the grid of a depth field.
inline constexpr double RAY_FOCAL = 256;

// Per pixel of a box in ray space (pixel (c, r) at u = x0 + c, v = y0 + r),
// a part's nearest (front) or farthest (back) distance d from the eye; where
// the part shows nothing, the surface continued beyond its outline,
// receding (front) or approaching (back) by `slope` model units per model
// unit across; NO_DEPTH beyond that continuation.
struct RayDepthField {
    int32_t x0 = 0, y0 = 0, width = 0, height = 0;
    std::vector<double> depth;
};
inline constexpr double NO_DEPTH = 1e300;

// The widest margin a depth field reaches.
inline constexpr int32_t MAX_FIELD_MARGIN = 64;

// The field of a part's front (back = false) or back surface.
// Inputs:
//   mesh       a part's mesh: its fine positions when it has them, else its
//              whole ones; every triangle taken, turned either way
//   placement  where it sits
//   margin     how many pixels around its projected vertices the field
//              reaches (the continuation's width), at most MAX_FIELD_MARGIN
//   slope      the continuation's steepness; none for slope <= 0
// Outputs: the field; empty (width 0) when no vertex lies in front of the eye.
RayDepthField part_depth_field(const PartMesh& mesh, const RayPlacement& placement, bool back,
                               int32_t margin, double slope);

// The field part_depth_field gives with `margin`, cut from `wide`, the one it
// gave the same mesh, placement, side and slope with `wide_margin` (not
// narrower): the same bits, without rasterising the part again. False, *out
// untouched, when the two may differ (a wider margin asked for, or a part so
// far out that its box was clipped).
bool narrower_depth_field(const RayDepthField& wide, int32_t wide_margin, int32_t margin,
                          RayDepthField* out);

// What part_depth_interval read: the corners in ray space (pixels across
// and down, distance from the eye) of the mesh's triangles that may hold a
// pixel centre of its box (all but those behind the eye or wholly beyond one
// side of it), three a triangle, in the mesh's order.
struct RayPoint {
    double u, v, d;
};
struct DepthRead {
    std::vector<RayPoint> corners;
};

// A part's front and back fields without continuation (as part_depth_field
// gives them with slope 0, pixel for pixel), over the box of pixels [x0, x1]
// x [y0, y1] only, in one pass: what a cut against it reads where another
// part lies. With `read`, also what it read (reads_as_before).
void part_depth_interval(const PartMesh& mesh, const RayPlacement& placement, int32_t x0,
                         int32_t y0, int32_t x1, int32_t y1, RayDepthField* front,
                         RayDepthField* back, DepthRead* read = nullptr);

// Whether the mesh at `placement` reads over box [x0, x1] x [y0, y1] as the
// mesh `was` read over the same box gave: the triangles that may hold a
// pixel centre of the box (all but those behind the eye or wholly beyond one
// side of it), in order, are the same in both, their corners the same bits. The intervals
// are then the same bits however else the two meshes differ (vertices moved
// or added elsewhere, triangles split elsewhere), found without rasterising.
// `points`: the mesh's corners at `placement` (mesh_ray_points).
bool reads_as_before(const std::vector<RayPoint>& points, const PartMesh& mesh,
                     const RayPlacement& placement, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                     const DepthRead& was);
// The mesh's corners in ray space at `placement` (its fine positions when it
// has them), one per vertex.
void mesh_ray_points(const PartMesh& mesh, const RayPlacement& placement,
                     std::vector<RayPoint>* points);

// The box of pixels (x0, y0, x1, y1) the mesh's vertices in front of the eye
// project into, `margin` wider on every side; false when none is.
bool part_ray_box(const PartMesh& mesh, const RayPlacement& placement, int32_t margin,
                  int32_t box[4]);

// The field at (u, v): interpolated between the four pixels around it when
// all four hold a depth, else the nearest of them that does; false when none
// does.
bool sample_depth_field(const RayDepthField& field, double u, double v, double* depth);

// Per vertex of the mesh (its fine positions when it has them), its distance
// from the eye less the field's on its ray; NO_DEPTH where the field has none.
void ray_gaps(const PartMesh& mesh, const RayPlacement& placement, const RayDepthField& field,
              std::vector<double>* gaps);

// Half the part's greatest thickness along z, in figure units: about the
// radius of the largest ball inside a body inflated round.
double part_half_thickness(const PartMesh& mesh, const RayPlacement& placement);

// How far a surface moves along its ray (toward the side it is seen from)
// where it lies `gap` behind the other's (negative: in front of it, shown)
// in a blend of width k > 0. Shown, the polynomial smooth minimum's k/4 * (1
// - |gap| / k)^2; hidden, a cubic from k/4 to 0 at 2k that leaves the curve
// where the two meet with the same slope, so that both surfaces pass that
// curve tangent to the smooth minimum (no crease along it) and the hidden
// one stays at least gap^2 / 4k behind the shown one.
double blend_shift(double gap, double width);

// The blend of a part against another part's surface.
// Inputs:
//   mesh       the part's mesh (fine positions for a body), changed in place
//   placement  where it sits
//   other      the other part's front field (behind = false) or back field
//   width      the blend's width k in figure units (> 0)
// Outputs: every vertex whose distance a lies near the other's b on its ray
// moved along the ray by blend_shift, toward the eye (behind = false) or away
// from it: the nearer of the two surfaces becomes the polynomial smooth
// minimum of both (smooth maximum of the farther, for behind), and the
// other stays behind it, so that the order of the two along every ray stays. A body's front vertex
// and its twin behind move together, by what the blended side (the front, or the back for behind)
// asks, so that the body keeps its thickness on every ray and never turns
// inside out. Fine and whole positions move together (whole positions along
// their own rays); the normals are left to the caller.
// Returns how many vertices moved.
int32_t blend_part_against(PartMesh* mesh, const RayPlacement& placement,
                           const RayDepthField& other, bool behind, double width);

// How far a part sinks into the other along its ray where its surface lies
// `gap` from the other's (either side): `depth` where the two meet, falling
// smoothly (a smoothstep) to nothing at `reach` on either side. With depth
// under half the reach the order of points along a ray never changes.
double sink_depth(double gap, double depth, double reach);

// A part drawn over another sunk into it before the two blend: where the
// part's own outline lies over the other, its surface there rises almost
// along the rays, which a blend along them cannot round off; sunk by
// sink_depth (away from the side it was built on, behind = false: from the
// eye), the curve where the two meet moves in to where the part's surface
// faces the eye, and the blend resolves it. A body's front vertex and its
// twin move together. Returns how many vertices moved.
int32_t sink_part_into(PartMesh* mesh, const RayPlacement& placement, const RayDepthField& other,
                       bool behind, double depth, double reach);

// A part's triangles that lie inside another part dropped, and those that
// cross its surface cut where they cross, for drawing: where two blended
// surfaces meet nearly tangent, the one hidden inside the other is then
// (almost) gone, and no single depth per triangle can show it in front.
// Inputs:
//   mesh       a body's mesh (fine positions), normals made
//   placement  where it sits
//   front,
//   back       the other part's front and back fields (no continuation)
//   overlap    in pixels: the cut lies this far inside the other's surface
//              (its depth step at that distance), so that the two overlap
//              a little rather than leave a crack
// Outputs: *out, the mesh's vertices all kept in their order (its layout
// stays), a vertex added at the end on each edge that crosses, its fine and
// normal interpolated along the edge and its whole position rounded from its
// fine one; the triangles outside kept in their order, each that crosses
// cut to the part outside (one or two triangles turned as it was). False,
// *out untouched, when no triangle lies even partly inside. *out may be the
// mesh itself, then cut in place.
// `rays`, when given, keeps the vertices' rays from one cut to the next of
// the same mesh at the same placement (a cut keeps its vertices in order and
// adds after them): the rays it holds are taken for the mesh's first
// vertices, the rest found and added. Empty for a mesh not cut before.
// `band` > 0 lights the part as one with the other where they meet: each
// surface lit by its own normals alone shows a seam of light and dark along
// the curve where they cross, jagged where their triangles take turns in
// front. Every vertex whose distance lies within `band` (figure units along
// its ray) of the other's nearer surface, front or back, has its normal
// turned toward that surface's: halfway where they meet, less by the square
// of the way across the band, its own alone at `band`; a vertex where the
// other's surface has no normal (at its outline) keeps its own. The normals
// of the vertices added where edges cross are interpolated from the turned
// ones.
bool cut_inside_part(const PartMesh& mesh, const RayPlacement& placement,
                     const RayDepthField& front, const RayDepthField& back, double overlap,
                     PartMesh* out, std::vector<RayPoint>* rays = nullptr, double band = 0);
