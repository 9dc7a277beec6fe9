// Which parts blend with which, how wide their fillets are, and the
// refinement that resolves them.
#include "app/part_blend.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/blend_parts.h"
#include "geometry/split_body_edges.h"

namespace {

// The fillet's width, as a share of the thinner part's half thickness: its
// whole thickness.
constexpr double BLEND_SHARE = 2.0;
// How steeply a surface is continued beyond its outline to meet the other
// (model units in depth per unit across).
constexpr double CONTINUATION_SLOPE = 3;
// How deep a part drawn over another sinks into it where their surfaces
// meet, and how far from there (in depth along the rays) the sinking fades,
// as shares of the fillet's width.
constexpr double SINK_SHARE = 0.25;
constexpr double SINK_REACH_SHARE = 2.0;
// Edges near the join are split until they are no longer than this share of
// the fillet's width (and never below MIN_JOIN_EDGE figure units): each pass
// halves them, a body's edges of some 20 units taking three or four.
constexpr double JOIN_EDGE_SHARE = 0.2;
constexpr double MIN_JOIN_EDGE = 1.5;
// The band refined about the curve where two parts meet, as a share of the
// fillet's width on either side of the other's surface.
constexpr double BAND_SHARE = 0.5;
constexpr int32_t MAX_JOIN_PASSES = 4;
// No join refines a part by more triangles than this: a pass that would
// leave more is not taken (the fillet is then resolved more coarsely).
constexpr size_t JOIN_TRIANGLE_BUDGET = 4096;
// Where a part is cut for drawing, how far inside a partner's surface (in
// pixels of depth step): a little overlap, never a crack.
constexpr double CUT_OVERLAP = 0.5;
// How far from a partner's surface (along the rays, as a share of the
// fillet's width) a drawn part's lighting turns toward the partner's.
constexpr double SHADE_SHARE = 1.0;

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

// How many pixels a join's field reaches beyond the part: far enough for the
// surface to climb a fillet of the given width at its rim distance, and two
// more for the interpolation; at most WIDEST_JOIN_MARGIN.
constexpr int32_t WIDEST_JOIN_MARGIN = 62;
static_assert(WIDEST_JOIN_MARGIN <= MAX_FIELD_MARGIN);
int32_t join_margin(const RayPlacement& at, double width) {
    const double rim = std::max(double(at.eye) + at.depth, 1.0);
    const double reach = 2 * width * RAY_FOCAL / (CONTINUATION_SLOPE * rim);
    return int32_t(std::min(std::ceil(reach), double(WIDEST_JOIN_MARGIN - 2))) + 2;
}

// A part's surface seen from the join's side, continued beyond its outline
// far enough to climb a fillet of the given width.
RayDepthField join_field(const PartMesh& mesh, const RayPlacement& at, bool behind, double width) {
    return part_depth_field(mesh, at, behind, join_margin(at, width), CONTINUATION_SLOPE);
}

// The fields of the parts' own surfaces that joins read (a part drawn over
// another reads the other's, and so does the other's join with it), kept
// from one emission to the next with the widest margin, each cut to a join's
// own margin as it is read: adding a part reads again the surface the part
// was drawn over, unchanged since that part's earlier joins. A field is kept
// with a copy of what it was made from (the positions and triangles), which
// the mesh asked about must equal; the least recently read goes first.
struct KeptField {
    std::vector<Vec4> positions;
    bool fine;  // the positions are fine ones (a body's)
    std::vector<MeshTriangle> triangles;
    RayPlacement at;
    bool behind;
    uint64_t read;  // when it was last read
    RayDepthField field;
};
constexpr size_t KEPT_FIELDS = 4;
std::vector<KeptField> kept_fields;
uint64_t blend_clock = 0;

// The positions a field is made from (blend_parts.h): a body's fine ones.
bool reads_fine(const PartMesh& mesh) {
    return mesh.fine.size() == mesh.vertices.size() && !mesh.fine.empty();
}

template <typename T>
bool same_records(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

bool kept_for(const KeptField& kept, const PartMesh& mesh, const RayPlacement& at, bool behind) {
    const bool fine = reads_fine(mesh);
    return kept.behind == behind && kept.at.depth == at.depth && kept.at.offset_x == at.offset_x &&
           kept.at.scale == at.scale && kept.at.eye == at.eye && kept.fine == fine &&
           same_records(kept.triangles, mesh.triangles) &&
           same_records(kept.positions, fine ? mesh.fine : mesh.vertices);
}

RayDepthField own_field(const PartMesh& mesh, const RayPlacement& at, bool behind, double width) {
    const int32_t margin = join_margin(at, width);
    RayDepthField field;
    for (KeptField& kept : kept_fields)
        if (kept_for(kept, mesh, at, behind) &&
            narrower_depth_field(kept.field, WIDEST_JOIN_MARGIN, margin, &field)) {
            kept.read = ++blend_clock;
            return field;
        }
    const bool fine = reads_fine(mesh);
    KeptField made{fine ? mesh.fine : mesh.vertices,
                   fine,
                   mesh.triangles,
                   at,
                   behind,
                   ++blend_clock,
                   part_depth_field(mesh, at, behind, WIDEST_JOIN_MARGIN, CONTINUATION_SLOPE)};
    // A part so far out that its field is clipped: made with the join's own margin.
    if (!narrower_depth_field(made.field, WIDEST_JOIN_MARGIN, margin, &field))
        return join_field(mesh, at, behind, width);
    if (kept_fields.size() < KEPT_FIELDS) {
        kept_fields.push_back(std::move(made));
    } else {
        *std::min_element(kept_fields.begin(), kept_fields.end(),
                          [](const KeptField& a, const KeptField& b) { return a.read < b.read; }) =
            std::move(made);
    }
    return field;
}

// The part drawn over the other sunk into it (sink_part_into).
void sink_drawn_part(PartMesh* mesh, const RayPlacement& at, const RayDepthField& other,
                     bool behind, double width) {
    sink_part_into(mesh, at, other, behind, SINK_SHARE * width, SINK_REACH_SHARE * width);
}

// The fillet's width between two parts (figure units): from the thinner.
double join_width(const BlendingPart& a, const BlendingPart& b) {
    return BLEND_SHARE * std::min(part_half_thickness(*a.mesh, a.placement),
                                  part_half_thickness(*b.mesh, b.placement));
}

Join join_with(const BlendingPart* parts, int32_t part, int32_t other, int32_t drawn) {
    const BlendingPart& a = parts[part];
    const BlendingPart& b = parts[other];
    Join join;
    join.behind = parts[drawn].behind;
    const RayPlacement &at = a.placement, &other_at = b.placement;
    join.width = join_width(a, b);
    if (!(join.width > 0)) return join;
    if (other != drawn) {
        join.field = own_field(*b.mesh, other_at, join.behind, join.width);
        return join;
    }
    // The part drawn over this one blends as it is sunk into this one's own
    // surface.
    PartMesh sunk = *b.mesh;
    sink_drawn_part(&sunk, other_at, own_field(*a.mesh, at, join.behind, join.width), join.behind,
                    join.width);
    join.field = join_field(sunk, other_at, join.behind, join.width);
    return join;
}

// Per vertex of the mesh, where it lies against a join's surface on its
// ray: 0 within the refined band (BAND_SHARE of the fillet's width), -1 in
// front of it, +1 behind it, -1 too where the join's field has nothing.
void sides(const PartMesh& mesh, const RayPlacement& at, const Join& join,
           std::vector<int8_t>* side) {
    static std::vector<double> gaps;
    ray_gaps(mesh, at, join.field, &gaps);
    side->assign(gaps.size(), -1);
    for (size_t i = 0; i < gaps.size(); ++i) {
        const double g = gaps[i];
        if (g == NO_DEPTH) continue;
        (*side)[i] = std::fabs(g) < BAND_SHARE * join.width ? 0 : g > 0 ? 1 : -1;
    }
}

}  // namespace

int32_t blend_partners(const BlendingPart* parts, int32_t count, int32_t part, int32_t* partners) {
    if (part < 0 || part >= count || !blends(parts[part])) return 0;
    int32_t n = 0;
    if (joined(parts, part)) partners[n++] = parts[part].parent;
    for (int32_t i = part + 1; i < count; ++i)
        if (parts[i].parent == part && joined(parts, i)) partners[n++] = i;
    return n;
}

void blend_join(const BlendingPart* parts, int32_t part, int32_t partner, bool refine,
                PartMesh* mesh) {
    const Join join = join_with(parts, part, partner, std::max(part, partner));
    if (!(join.width > 0)) return;
    const RayPlacement& at = parts[part].placement;
    if (part > partner) sink_drawn_part(mesh, at, join.field, join.behind, join.width);
    BodyLayout layout;
    if (refine && read_layout(*mesh, &layout)) {
        // Split the edges, longer than the fillet resolves, that touch its
        // band or cross the other's surface (their ends on either side of it).
        const double fine_to_figure = double(at.scale) / FIXED_ONE / FINE_ONE;
        const double limit = std::max(JOIN_EDGE_SHARE * join.width, MIN_JOIN_EDGE) / fine_to_figure;
        const double limit2 = limit * limit;
        std::vector<int8_t> side;
        PartMesh next;
        const size_t before = mesh->triangles.size();
        for (int32_t pass = 0; pass < MAX_JOIN_PASSES; ++pass) {
            sides(*mesh, at, join, &side);
            auto touches = [&](int32_t u, int32_t v) {
                return side[size_t(u)] == 0 || side[size_t(v)] == 0 ||
                       side[size_t(u)] != side[size_t(v)];
            };
            auto splits = [&](int32_t a, int32_t b) {
                const Vec4& p = mesh->fine[size_t(a)];
                const Vec4& q = mesh->fine[size_t(b)];
                const double dx = double(p.x) - q.x, dy = double(p.y) - q.y, dz = double(p.z) - q.z;
                if (dx * dx + dy * dy + dz * dz <= limit2) return false;
                return touches(a, b) || touches(layout.twin(a), layout.twin(b));
            };
            if (!split_body_edges(*mesh, layout, splits, &next) ||
                next.triangles.size() > before + JOIN_TRIANGLE_BUDGET)
                break;
            std::swap(*mesh, next);
            if (!read_layout(*mesh, &layout)) break;
        }
    }
    blend_part_against(mesh, at, join.field, join.behind, join.width);
}

bool blended_part_mesh(const BlendingPart* parts, int32_t count, int32_t part, bool refine,
                       PartMesh* out) {
    int32_t partners[MAX_BLEND_PARTNERS];
    const int32_t n = blend_partners(parts, count, part, partners);
    if (n == 0) return false;
    PartMesh mesh = *parts[part].mesh;
    for (int32_t j = 0; j < n; ++j)
        blend_join(parts, part, partners[j], refine, &mesh);
    refresh_part_normals(&mesh);
    *out = std::move(mesh);
    return true;
}

bool cut_own_box(const BlendingPart* parts, const PartMesh* const* drawn, int32_t part,
                 int32_t own[4]) {
    return drawn[part] != nullptr && part_ray_box(*drawn[part], parts[part].placement, 2, own);
}

void cut_field_box(const BlendingPart* parts, const PartMesh* const* drawn, int32_t part,
                   int32_t other, const int32_t own[4], CutField* field) {
    const PartMesh& mesh = drawn[other] != nullptr ? *drawn[other] : *parts[other].mesh;
    field->band = SHADE_SHARE * join_width(parts[part], parts[other]);
    int32_t* box = field->box;
    field->read = part_ray_box(mesh, parts[other].placement, 1, box);
    if (!field->read) return;
    box[0] = std::max(box[0], own[0]);
    box[1] = std::max(box[1], own[1]);
    box[2] = std::min(box[2], own[2]);
    box[3] = std::min(box[3], own[3]);
}

void read_cut_field(const BlendingPart* parts, const PartMesh* const* drawn, int32_t other,
                    CutField* field) {
    field->front = field->back = RayDepthField{};
    field->reached = nullptr;
    if (!field->read) return;
    const PartMesh& mesh = drawn[other] != nullptr ? *drawn[other] : *parts[other].mesh;
    const int32_t* box = field->box;
    auto read = std::make_shared<DepthRead>();
    part_depth_interval(mesh, parts[other].placement, box[0], box[1], box[2], box[3], &field->front,
                        &field->back, read.get());
    field->reached = std::move(read);
}

bool reaches_as_read(const BlendingPart* parts, const PartMesh* const* drawn, int32_t other,
                     const CutField& read, std::vector<RayPoint>* points, CutField* field) {
    if (read.read != field->read || !std::equal(read.box, read.box + 4, field->box)) return false;
    if (field->read) {
        // Read over an empty box or at no scale: nothing kept to compare.
        if (read.front.depth.empty() || read.reached == nullptr) return false;
        const PartMesh& mesh = drawn[other] != nullptr ? *drawn[other] : *parts[other].mesh;
        const int32_t* box = field->box;
        if (points->empty()) mesh_ray_points(mesh, parts[other].placement, points);
        if (!reads_as_before(*points, mesh, parts[other].placement, box[0], box[1], box[2], box[3],
                             *read.reached))
            return false;
    }
    field->reached = read.reached;
    field->front = read.front;
    field->back = read.back;
    return true;
}

bool cut_part_with(const PartMesh& blend, const RayPlacement& placement, const CutField* fields,
                   int32_t n, PartMesh* out) {
    PartMesh made;
    bool any = false;
    // The blend's vertices' rays, found once for every partner.
    std::vector<RayPoint> rays;
    for (int32_t j = 0; j < n; ++j) {
        if (!fields[j].read) continue;
        // The blend copied by the first partner that cuts it, then cut in place.
        const PartMesh& from = any ? made : blend;
        any = cut_inside_part(from, placement, fields[j].front, fields[j].back, CUT_OVERLAP, &made,
                              &rays, fields[j].band) ||
              any;
    }
    if (any) *out = std::move(made);
    return any;
}

bool cut_part_mesh(const BlendingPart* parts, int32_t count, int32_t part,
                   const PartMesh* const* drawn, PartMesh* out) {
    int32_t partners[MAX_BLEND_PARTNERS];
    const int32_t n = blend_partners(parts, count, part, partners);
    int32_t own[4];
    if (n == 0 || !cut_own_box(parts, drawn, part, own)) return false;
    CutField fields[MAX_BLEND_PARTNERS];
    for (int32_t j = 0; j < n; ++j) {
        // The partner's surfaces only where this part lies.
        cut_field_box(parts, drawn, part, partners[j], own, &fields[j]);
        read_cut_field(parts, drawn, partners[j], &fields[j]);
    }
    return cut_part_with(*drawn[part], parts[part].placement, fields, n, out);
}
