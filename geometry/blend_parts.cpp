// The fillet between two parts, in ray space: depth fields of a part's
// surfaces, and the smooth minimum that moves the vertices along their rays.
#include "geometry/blend_parts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <type_traits>

namespace {

// The square root of two, the diagonal step of the continuation.
constexpr double DIAGONAL = 1.4142135623730951;
// How many times an edge that crosses another part's surface is halved to
// find where: to 1/256 of its length.
constexpr int32_t CROSSING_STEPS = 8;
// A part within a few thousand pixels of the middle: a field's box stays
// small whatever the placement (a part beyond is clipped to it).
constexpr double LIMIT = 4096;

// A model position (in 1/unit of a model unit) as a figure point.
void figure_point(const Vec4& p, double unit, const RayPlacement& at, double out[3]) {
    const double s = double(at.scale) / FIXED_ONE;
    out[0] = double(p.x) / unit * s + at.offset_x;
    out[1] = double(p.y) / unit * s;
    out[2] = double(p.z) / unit * s + at.depth;
}

RayPoint ray_point(const Vec4& p, double unit, const RayPlacement& at) {
    double f[3];
    figure_point(p, unit, at, f);
    const double d = double(at.eye) + f[2];
    if (d <= 0) return {0, 0, d};
    return {f[0] * RAY_FOCAL / d, f[1] * RAY_FOCAL / d, d};
}

// A mesh's working positions: its fine ones when it has them.
const std::vector<Vec4>& positions(const PartMesh& mesh, double* unit) {
    const bool fine = mesh.fine.size() == mesh.vertices.size() && !mesh.fine.empty();
    *unit = fine ? FINE_ONE : 1;
    return fine ? mesh.fine : mesh.vertices;
}

// The figure point back in the model, in 1/unit of a model unit, rounded to
// the nearest (halves up).
int32_t model_coordinate(double figure, double offset, double unit, const RayPlacement& at) {
    const double model = (figure - offset) * FIXED_ONE / double(at.scale) * unit;
    return int32_t(std::floor(model + 0.5));
}

// The point moved along its ray so that its distance from the eye becomes t
// times what it was, back in the model (1/unit of a model unit).
Vec4 moved_point(const Vec4& p, double unit, const RayPlacement& at, double t) {
    double f[3];
    figure_point(p, unit, at, f);
    const double d = (double(at.eye) + f[2]) * t;
    return {model_coordinate(f[0] * t, at.offset_x, unit, at),
            model_coordinate(f[1] * t, 0, unit, at),
            model_coordinate(d - double(at.eye), at.depth, unit, at), 0};
}

// Per point, the sides of box [x0, x1] x [y0, y1] it lies beyond (1 left, 2
// right, 4 above, 8 below), and 16 for a point not in front of the eye.
void box_sides(const std::vector<RayPoint>& points, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
               std::vector<uint8_t>* sides) {
    sides->resize(points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        const RayPoint& p = points[i];
        (*sides)[i] =
            !(p.d > 0) ? 16
                       : uint8_t((p.u < x0) | (p.u > x1) << 1 | (p.v < y0) << 2 | (p.v > y1) << 3);
    }
}

// The first triangle from `at` on that rasterise_triangles may visit over
// the box whose sides are `sides` (it and some it then finds holding no
// pixel centre of the box): corners all in front of the eye and not all
// beyond one side of the box; triangles.size() when none is.
size_t next_near_box(const std::vector<uint8_t>& sides, const std::vector<MeshTriangle>& triangles,
                     size_t at) {
    const auto count = int32_t(sides.size());
    for (; at < triangles.size(); ++at) {
        const MeshTriangle& t = triangles[at];
        if (t.v[0] < 0 || t.v[0] >= count || t.v[1] < 0 || t.v[1] >= count || t.v[2] < 0 ||
            t.v[2] >= count)
            continue;
        const uint8_t a = sides[size_t(t.v[0])], b = sides[size_t(t.v[1])],
                      c = sides[size_t(t.v[2])];
        if (((a | b | c) & 16) == 0 && (a & b & c) == 0) return at;
    }
    return at;
}

// Working room for rasterise_triangles, kept between calls.
std::vector<uint8_t> beyond_scratch;

// Every triangle at the pixel centres of box [x0, x1] x [y0, y1] in or on
// it, 1/d interpolated across it (a plane's 1/d is affine in u and v):
// visit(x, y, d) for each.
template <typename Visit>
void rasterise_triangles(const std::vector<RayPoint>& points,
                         const std::vector<MeshTriangle>& triangles, int32_t x0, int32_t y0,
                         int32_t x1, int32_t y1, Visit visit) {
    // A triangle whose corners all lie beyond one side of the box holds no
    // pixel centre of it, found without its bounds; one with a corner not in
    // front of the eye (side 16) is not drawn.
    box_sides(points, x0, y0, x1, y1, &beyond_scratch);
    const std::vector<uint8_t>& beyond = beyond_scratch;
    for (size_t i = next_near_box(beyond, triangles, 0); i < triangles.size();
         i = next_near_box(beyond, triangles, i + 1)) {
        const MeshTriangle& t = triangles[i];
        const RayPoint& a = points[size_t(t.v[0])];
        const RayPoint& b = points[size_t(t.v[1])];
        const RayPoint& c = points[size_t(t.v[2])];
        const int32_t cx0 = std::max(x0, int32_t(std::ceil(std::min({a.u, b.u, c.u}))));
        const int32_t cx1 = std::min(x1, int32_t(std::floor(std::max({a.u, b.u, c.u}))));
        const int32_t cy0 = std::max(y0, int32_t(std::ceil(std::min({a.v, b.v, c.v}))));
        const int32_t cy1 = std::min(y1, int32_t(std::floor(std::max({a.v, b.v, c.v}))));
        if (cx0 > cx1 || cy0 > cy1) continue;  // no pixel centre of the box in it
        auto edge = [](const RayPoint& p, const RayPoint& q, double u, double v) {
            return (q.u - p.u) * (v - p.v) - (q.v - p.v) * (u - p.u);
        };
        const double whole = edge(a, b, c.u, c.v);
        if (whole == 0) continue;
        // A pixel is in the triangle when its three weights are not negative:
        // each edge value has the sign of `whole` or is zero (a quotient of
        // pixel-sized values never underflows to zero), so the sign is read
        // before dividing, a sign fixed for the whole triangle when compiled.
        auto rows = [&](auto turn) {
            constexpr bool positive = decltype(turn)::value;
            auto outside = [](double e) { return positive ? e < 0 : e > 0; };
            // The edges from b, c and a, each value computed as `edge` does, its
            // first product once a row. Each value, rounded, is monotone along a
            // row, so the pixels on an edge's inner side are a run reaching one
            // end of the row: the left end for an edge whose value grows toward
            // its inner side ("opening" it), the right end for the others. A
            // row's pixels in the triangle are then one run, from the first pixel
            // inside every opening edge to the last inside all three.
            const RayPoint* from[3] = {&b, &c, &a};
            const RayPoint* to[3] = {&c, &a, &b};
            double across[3], down[3], row[3];
            bool opening[3];
            for (int k = 0; k < 3; ++k) {
                across[k] = to[k]->u - from[k]->u;
                down[k] = to[k]->v - from[k]->v;
                opening[k] = positive ? down[k] < 0 : down[k] > 0;
            }
            auto value = [&](int k, int32_t x) {
                return row[k] - down[k] * (double(x) - from[k]->u);
            };
            auto opened = [&](int32_t x) {
                for (int k = 0; k < 3; ++k)
                    if (opening[k] && outside(value(k, x))) return false;
                return true;
            };
            // Where the run began on the row before: the search starts there.
            int32_t start = cx0;
            for (int32_t y = cy0; y <= cy1; ++y) {
                for (int k = 0; k < 3; ++k)
                    row[k] = across[k] * (double(y) - from[k]->v);
                int32_t x = std::min(start, cx1);
                if (opened(x)) {
                    while (x > cx0 && opened(x - 1))
                        --x;
                } else {
                    do
                        ++x;
                    while (x <= cx1 && !opened(x));
                }
                start = x;
                for (; x <= cx1; ++x) {
                    const double ea = value(0, x), eb = value(1, x), ec = value(2, x);
                    if (outside(ea) || outside(eb) || outside(ec)) break;
                    const double wa = ea / whole, wb = eb / whole, wc = ec / whole;
                    const double d = 1 / (wa / a.d + wb / b.d + wc / c.d);
                    visit(x, y, d);
                }
            }
        };
        if (whole > 0)
            rows(std::true_type{});
        else
            rows(std::false_type{});
    }
}

}  // namespace

double blend_shift(double gap, double width) {
    if (gap <= 0) {
        // Shown: the polynomial smooth minimum, min(a, b) - k/4 * h^2 with
        // h = 1 - |a - b| / k.
        if (!(gap > -width)) return 0;
        const double h = 1 + gap / width;
        return width / 4 * h * h;
    }
    // Hidden: from k/4, growing by half the gap at first (so that the surface
    // leaves the curve tangent to the smooth minimum, halfway between its own
    // slope and the other's), to nothing at twice the width (a cubic whose
    // slope is 0 there).
    const double reach = 2 * width;
    if (!(gap < reach)) return 0;
    const double t = gap / reach, rest = 1 - t;
    return width / 4 * (1 + 2 * t) * rest * rest + reach / 2 * t * rest * rest;
}

RayDepthField part_depth_field(const PartMesh& mesh, const RayPlacement& placement, bool back,
                               int32_t margin, double slope) {
    RayDepthField field;
    double unit = 1;
    const std::vector<Vec4>& at = positions(mesh, &unit);
    std::vector<RayPoint> points(at.size());
    double low_u = 0, low_v = 0, high_u = 0, high_v = 0;
    bool any = false;
    for (size_t i = 0; i < at.size(); ++i) {
        points[i] = ray_point(at[i], unit, placement);
        if (points[i].d <= 0) continue;
        low_u = any ? std::min(low_u, points[i].u) : points[i].u;
        low_v = any ? std::min(low_v, points[i].v) : points[i].v;
        high_u = any ? std::max(high_u, points[i].u) : points[i].u;
        high_v = any ? std::max(high_v, points[i].v) : points[i].v;
        any = true;
    }
    if (!any || placement.scale <= 0) return field;
    margin = std::clamp(margin, 0, MAX_FIELD_MARGIN);
    field.x0 = int32_t(std::floor(std::max(low_u, -LIMIT))) - margin;
    field.y0 = int32_t(std::floor(std::max(low_v, -LIMIT))) - margin;
    const int32_t x1 = int32_t(std::ceil(std::min(high_u, LIMIT))) + margin;
    const int32_t y1 = int32_t(std::ceil(std::min(high_v, LIMIT))) + margin;
    if (x1 < field.x0 || y1 < field.y0) return field;
    field.width = x1 - field.x0 + 1;
    field.height = y1 - field.y0 + 1;
    const double none = back ? -NO_DEPTH : NO_DEPTH;
    field.depth.assign(size_t(field.width) * size_t(field.height), none);

    // Every triangle at the pixel centres in or on it.
    rasterise_triangles(
        points, mesh.triangles, field.x0, field.y0, x1, y1, [&](int32_t x, int32_t y, double d) {
            double& held =
                field.depth[size_t(y - field.y0) * size_t(field.width) + size_t(x - field.x0)];
            held = back ? std::max(held, d) : std::min(held, d);
        });

    // The surface continued beyond the outline: two sweeps, each pixel the
    // part does not cover taking the best of its neighbours stepped by the
    // slope (a step of one pixel at distance d is d / RAY_FOCAL across).
    // In front, `none` is NO_DEPTH already.
    if (!(slope > 0)) {
        if (back)
            for (double& d : field.depth)
                if (d == none) d = NO_DEPTH;
        return field;
    }
    std::vector<uint8_t> covered(field.depth.size());
    size_t first_covered = covered.size();
    for (size_t i = 0; i < covered.size(); ++i) {
        covered[i] = field.depth[i] != none;
        if (covered[i] && first_covered == covered.size()) first_covered = i;
    }
    const double sign = back ? -1 : 1;
    const double straight = 1 + sign * slope / RAY_FOCAL;
    const double diagonal = 1 + sign * slope * DIAGONAL / RAY_FOCAL;
    const int32_t w = field.width, h = field.height;
    // Every depth a part covers, and so every one stepped from it, is above
    // zero. In front, `none` stepped (at most 1e300 * 1.02) stays above every
    // depth and leaves the smaller one as it was, so it needs no test; behind,
    // stepped toward zero, it would pass for a depth.
    auto relax = [&](double& to, double from, double step) {
        if (!back) {
            to = std::min(to, from * step);
        } else if (from != none) {
            to = std::max(to, from * step);
        }
    };
    // The first sweep takes from the row above and the pixel before; rows
    // above the first covered pixel have nothing to take and are passed over.
    const auto first_row = int32_t(first_covered / size_t(w));
    for (int32_t y = first_row; y < h; ++y) {
        double* row = field.depth.data() + size_t(y) * size_t(w);
        const double* above = y > 0 ? row - w : nullptr;
        const uint8_t* kept = covered.data() + size_t(y) * size_t(w);
        for (int32_t x = 0; x < w; ++x) {
            if (kept[x]) continue;
            double& to = row[x];
            if (above != nullptr) {
                if (x > 0) relax(to, above[x - 1], diagonal);
                relax(to, above[x], straight);
                if (x + 1 < w) relax(to, above[x + 1], diagonal);
            }
            if (x > 0) relax(to, row[x - 1], straight);
        }
    }
    for (int32_t y = h - 1; y >= 0; --y) {
        double* row = field.depth.data() + size_t(y) * size_t(w);
        const double* below = y + 1 < h ? row + w : nullptr;
        const uint8_t* kept = covered.data() + size_t(y) * size_t(w);
        for (int32_t x = w - 1; x >= 0; --x) {
            if (kept[x]) continue;
            double& to = row[x];
            if (below != nullptr) {
                if (x + 1 < w) relax(to, below[x + 1], diagonal);
                relax(to, below[x], straight);
                if (x > 0) relax(to, below[x - 1], diagonal);
            }
            if (x + 1 < w) relax(to, row[x + 1], straight);
        }
    }
    if (back)
        for (double& d : field.depth)
            if (d == none) d = NO_DEPTH;
    return field;
}

bool narrower_depth_field(const RayDepthField& wide, int32_t wide_margin, int32_t margin,
                          RayDepthField* out) {
    wide_margin = std::clamp(wide_margin, 0, MAX_FIELD_MARGIN);
    margin = std::clamp(margin, 0, MAX_FIELD_MARGIN);
    if (margin > wide_margin) return false;
    if (wide.width <= 0 || wide.height <= 0) {
        *out = RayDepthField{};
        return true;
    }
    // The projected vertices' box; where it may have been clipped, the
    // triangles beyond it reach the wider margin and the two fields differ.
    const int32_t low_x = wide.x0 + wide_margin, low_y = wide.y0 + wide_margin;
    const int32_t high_x = wide.x0 + wide.width - 1 - wide_margin;
    const int32_t high_y = wide.y0 + wide.height - 1 - wide_margin;
    if (low_x <= -LIMIT || low_y <= -LIMIT || high_x >= LIMIT || high_y >= LIMIT ||
        high_x < low_x || high_y < low_y)
        return false;
    // Every pixel of the narrower box keeps its depth: the part's own pixels
    // are the same, and its continuation reaches none of them nearer by way
    // of a pixel beyond that box, a path out and back being longer by at
    // least a step than one along the box's edge, far more than rounding.
    const int32_t cut = wide_margin - margin;
    out->x0 = wide.x0 + cut;
    out->y0 = wide.y0 + cut;
    out->width = wide.width - 2 * cut;
    out->height = wide.height - 2 * cut;
    out->depth.resize(size_t(out->width) * size_t(out->height));
    for (int32_t y = 0; y < out->height; ++y) {
        const double* from = wide.depth.data() + size_t(y + cut) * size_t(wide.width) + size_t(cut);
        std::copy(from, from + out->width, out->depth.data() + size_t(y) * size_t(out->width));
    }
    return true;
}

bool sample_depth_field(const RayDepthField& field, double u, double v, double* depth) {
    if (field.width <= 0 || field.height <= 0) return false;
    const double fx = std::floor(u), fy = std::floor(v);
    if (fx < field.x0 - 1 || fy < field.y0 - 1 || fx > double(field.x0) + field.width ||
        fy > double(field.y0) + field.height)
        return false;
    const auto cx = int32_t(fx) - field.x0, cy = int32_t(fy) - field.y0;
    const double ax = u - fx, ay = v - fy;
    double corner[4];
    bool all = true;
    for (int32_t k = 0; k < 4; ++k) {
        const int32_t x = cx + (k & 1), y = cy + (k >> 1);
        corner[k] = x >= 0 && y >= 0 && x < field.width && y < field.height
                        ? field.depth[size_t(y) * size_t(field.width) + size_t(x)]
                        : NO_DEPTH;
        all = all && corner[k] != NO_DEPTH;
    }
    if (!all) {
        int32_t nearest = -1;
        double nearest_gap = 0;
        for (int32_t k = 0; k < 4; ++k) {
            if (corner[k] == NO_DEPTH) continue;
            const double gx = (k & 1) ? 1 - ax : ax, gy = (k >> 1) ? 1 - ay : ay;
            const double gap = gx * gx + gy * gy;
            if (nearest < 0 || gap < nearest_gap) {
                nearest = k;
                nearest_gap = gap;
            }
        }
        if (nearest < 0) return false;
        *depth = corner[nearest];
        return true;
    }
    const double top = corner[0] + (corner[1] - corner[0]) * ax;
    const double bottom = corner[2] + (corner[3] - corner[2]) * ax;
    *depth = top + (bottom - top) * ay;
    return true;
}

void ray_gaps(const PartMesh& mesh, const RayPlacement& placement, const RayDepthField& field,
              std::vector<double>* gaps) {
    double unit = 1;
    const std::vector<Vec4>& at = positions(mesh, &unit);
    gaps->assign(at.size(), NO_DEPTH);
    for (size_t i = 0; i < at.size(); ++i) {
        const RayPoint p = ray_point(at[i], unit, placement);
        double b = 0;
        if (p.d > 0 && sample_depth_field(field, p.u, p.v, &b)) (*gaps)[i] = p.d - b;
    }
}

double part_half_thickness(const PartMesh& mesh, const RayPlacement& placement) {
    double unit = 1;
    const std::vector<Vec4>& at = positions(mesh, &unit);
    if (at.empty()) return 0;
    int32_t low = at[0].z, high = at[0].z;
    for (const Vec4& p : at) {
        low = std::min(low, p.z);
        high = std::max(high, p.z);
    }
    return (double(high) - double(low)) / unit * (double(placement.scale) / FIXED_ONE) / 2;
}

namespace {

// Every vertex of the mesh moved along its ray by what `shift` gives for its
// gap to the other's surface (toward the side the surface is seen from; a
// negative shift away from it), a body's front vertex and its twin behind
// together.
template <typename Shift>
int32_t move_along_rays(PartMesh* mesh, const RayPlacement& placement, const RayDepthField& other,
                        bool behind, Shift shift_of) {
    if (other.width <= 0 || placement.scale <= 0) return 0;
    double unit = 1;
    const bool fine = mesh->fine.size() == mesh->vertices.size() && !mesh->fine.empty();
    std::vector<Vec4>& at = fine ? mesh->fine : mesh->vertices;
    unit = fine ? FINE_ONE : 1;
    const auto count = int32_t(at.size());
    // Per vertex, its distance from the eye and how far it moves.
    std::vector<double> d(at.size(), 0), shift(at.size(), 0);
    for (size_t i = 0; i < at.size(); ++i) {
        const RayPoint p = ray_point(at[i], unit, placement);
        d[i] = p.d;
        double b = 0;
        if (p.d <= 0 || !sample_depth_field(other, p.u, p.v, &b)) continue;
        shift[i] = shift_of(behind ? b - p.d : p.d - b);
    }
    // A body moves as a whole along each ray: a front vertex and its twin
    // behind (on the same ray) by what the blended side asks, so that its
    // thickness there stays and the two never pass each other.
    const int32_t front = mesh->front_count, rim = 2 * front - count;
    if (fine && rim >= 0 && front <= count)
        for (int32_t i = rim; i < front; ++i) {
            const auto f = size_t(i), b = size_t(front + (i - rim));
            shift[f] = shift[b] = behind ? shift[b] : shift[f];
        }
    int32_t moved = 0;
    for (size_t i = 0; i < at.size(); ++i) {
        if (shift[i] == 0 || d[i] <= 0) continue;
        const double to = behind ? d[i] + shift[i] : d[i] - shift[i];
        // Never nearer the eye than a quarter of the way.
        const double t = std::max(to / d[i], 0.25);
        at[i] = moved_point(at[i], unit, placement, t);
        if (fine) mesh->vertices[i] = moved_point(mesh->vertices[i], 1, placement, t);
        ++moved;
    }
    return moved;
}

}  // namespace

int32_t blend_part_against(PartMesh* mesh, const RayPlacement& placement,
                           const RayDepthField& other, bool behind, double width) {
    if (!(width > 0)) return 0;
    return move_along_rays(mesh, placement, other, behind,
                           [width](double gap) { return blend_shift(gap, width); });
}

double sink_depth(double gap, double depth, double reach) {
    const double t = 1 - std::fabs(gap) / reach;
    return t > 0 ? depth * t * t * (3 - 2 * t) : 0;
}

int32_t sink_part_into(PartMesh* mesh, const RayPlacement& placement, const RayDepthField& other,
                       bool behind, double depth, double reach) {
    if (!(depth > 0) || !(reach > 0)) return 0;
    return move_along_rays(mesh, placement, other, behind,
                           [depth, reach](double gap) { return -sink_depth(gap, depth, reach); });
}

namespace {

// The field at (u, v) interpolated between the four pixels around it, the
// first of them pixel (fx, fy) = (floor(u), floor(v)), all four in the field;
// false unless all four hold a depth (near the part's outline the field says
// nothing for certain).
bool sample_cell(const RayDepthField& field, double fx, double fy, double u, double v,
                 double* depth) {
    const size_t at =
        size_t(int32_t(fy) - field.y0) * size_t(field.width) + size_t(int32_t(fx) - field.x0);
    const double* row = field.depth.data() + at;
    const double c0 = row[0], c1 = row[1], c2 = row[field.width], c3 = row[field.width + 1];
    if (c0 == NO_DEPTH || c1 == NO_DEPTH || c2 == NO_DEPTH || c3 == NO_DEPTH) return false;
    const double ax = u - fx, ay = v - fy;
    const double top = c0 + (c1 - c0) * ax, bottom = c2 + (c3 - c2) * ax;
    *depth = top + (bottom - top) * ay;
    return true;
}

// The field's depth at pixel (x, y) of the field's box, or NO_DEPTH.
double field_at(const RayDepthField& field, int32_t x, int32_t y) {
    const int32_t c = x - field.x0, r = y - field.y0;
    if (c < 0 || r < 0 || c >= field.width || r >= field.height) return NO_DEPTH;
    return field.depth[size_t(r) * size_t(field.width) + size_t(c)];
}

// The unit normal of the field's surface at the pixel nearest (u, v), from
// its four neighbours' depths, pointing out of the part whose front (or,
// `back`, back) surface it is, in the sense the meshes' normals take (a
// surface facing the eye has z > 0); false where a neighbour has no depth.
// The surface point of pixel (x, y) at distance d is the figure point
// (x d, y d) / RAY_FOCAL at depth d - eye, whose two tangents across the
// pixels give the normal.
bool field_normal(const RayDepthField& field, double u, double v, bool back, double n[3]) {
    const auto x = int32_t(std::floor(u + 0.5)), y = int32_t(std::floor(v + 0.5));
    const double d = field_at(field, x, y), l = field_at(field, x - 1, y),
                 r = field_at(field, x + 1, y), t = field_at(field, x, y - 1),
                 b = field_at(field, x, y + 1);
    if (d == NO_DEPTH || l == NO_DEPTH || r == NO_DEPTH || t == NO_DEPTH || b == NO_DEPTH)
        return false;
    const double du = (r - l) / 2, dv = (b - t) / 2;
    const double pu[3] = {d / RAY_FOCAL + double(x) * du / RAY_FOCAL, double(y) * du / RAY_FOCAL,
                          du};
    const double pv[3] = {double(x) * dv / RAY_FOCAL, d / RAY_FOCAL + double(y) * dv / RAY_FOCAL,
                          dv};
    double c[3] = {pu[1] * pv[2] - pu[2] * pv[1], pu[2] * pv[0] - pu[0] * pv[2],
                   pu[0] * pv[1] - pu[1] * pv[0]};
    const double length = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    if (!(length > 0)) return false;
    for (int k = 0; k < 3; ++k)
        n[k] = (back ? -c[k] : c[k]) / length;
    return true;
}

// Direction (x, y, z) at a mesh normal's length, each coordinate rounded
// to the nearest (halves up); *normal untouched for no direction. A square
// root is rounded correctly on every build.
void set_unit_normal(double x, double y, double z, Vec4* normal) {
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0)) return;
    const double s = double(UNIT_LENGTH) / length;
    *normal = {int32_t(std::floor(x * s + 0.5)), int32_t(std::floor(y * s + 0.5)),
               int32_t(std::floor(z * s + 0.5)), 0};
}

// The normal turned toward the other's surface normal n (unit length) by
// the share of a vertex `gap` from it in a band of width `band`: half at
// the surface, falling by the square of the way to nothing at the band's
// edge; at its own length.
void turn_normal(Vec4* own, const double n[3], double gap, double band) {
    const double h = 1 - gap / band, w = h * h / 2, keep = (1 - w) / UNIT_LENGTH;
    set_unit_normal(own->x * keep + n[0] * w, own->y * keep + n[1] * w, own->z * keep + n[2] * w,
                    own);
}

}  // namespace

bool cut_inside_part(const PartMesh& mesh, const RayPlacement& placement,
                     const RayDepthField& front, const RayDepthField& back, double overlap,
                     PartMesh* out, std::vector<RayPoint>* rays, double band) {
    const bool fine = mesh.fine.size() == mesh.vertices.size() && !mesh.fine.empty();
    if (!fine || mesh.normals.size() != mesh.vertices.size() || front.width <= 0 || back.width <= 0)
        return false;
    // Where both fields hold the four pixels around a point (u, v): floor(u)
    // at least the later x0 and floor(u) + 1 within the earlier last column,
    // that is u below it (and likewise v); anywhere else it samples nothing.
    const double low_u = std::max(double(front.x0), double(back.x0));
    const double low_v = std::max(double(front.y0), double(back.y0));
    const double high_u =
        std::min(double(front.x0) + front.width, double(back.x0) + back.width) - 1;
    const double high_v =
        std::min(double(front.y0) + front.height, double(back.y0) + back.height) - 1;
    const double scale = double(placement.scale) / FIXED_ONE;
    // A point (fine units) on its ray: the pixel (u, v) it passes through and
    // its distance d, u and v left 0 behind the eye.
    auto ray_of = [&](double x, double y, double z) {
        const double fx = x / FINE_ONE * scale + placement.offset_x;
        const double fy = y / FINE_ONE * scale;
        const double d = double(placement.eye) + (z / FINE_ONE * scale + placement.depth);
        if (d <= 0) return RayPoint{0, 0, d};
        return RayPoint{fx * RAY_FOCAL / d, fy * RAY_FOCAL / d, d};
    };
    // With the other's front and back depths on the ray.
    auto inside_between = [&](const RayPoint& r, double* f, double* b) {
        const double u = r.u, v = r.v, d = r.d;
        if (d <= 0 || !(u >= low_u && u < high_u && v >= low_v && v < high_v)) return -NO_DEPTH;
        const double fu = std::floor(u), fv = std::floor(v);
        if (!sample_cell(front, fu, fv, u, v, f) || !sample_cell(back, fu, fv, u, v, b) ||
            !(*f < *b))
            return -NO_DEPTH;
        return std::min(d - *f, *b - d) - overlap * d / RAY_FOCAL;
    };
    auto inside_at = [&](const RayPoint& r) {
        double f = 0, b = 0;
        return inside_between(r, &f, &b);
    };
    // How deep inside the other a point lies along its ray less the overlap
    // (one depth step of `overlap` pixels at its distance): above zero it is
    // cut away. Where either field has nothing it is outside.
    auto depth_inside = [&](double x, double y, double z) { return inside_at(ray_of(x, y, z)); };
    const size_t count = mesh.fine.size();
    // The vertices' rays: those kept from an earlier cut (the mesh's first
    // vertices, which a cut keeps in order), the rest found here.
    std::vector<RayPoint> own_rays;
    std::vector<RayPoint>& ray = rays != nullptr ? *rays : own_rays;
    if (ray.size() > count) ray.clear();
    for (size_t i = ray.size(); i < count; ++i) {
        const Vec4& p = mesh.fine[i];
        ray.push_back(ray_of(p.x, p.y, p.z));
    }
    std::vector<double> inside(count);
    // The vertices within `band` of the other's nearer surface: which, how
    // far, and whether it is the back.
    struct Near {
        size_t vertex;
        double gap;
        bool back;
    };
    std::vector<Near> near;
    bool any = false;
    for (size_t i = 0; i < count; ++i) {
        double f = 0, b = 0;
        inside[i] = inside_between(ray[i], &f, &b);
        any = any || inside[i] > 0;
        if (!(band > 0) || inside[i] == -NO_DEPTH) continue;
        const double gf = std::fabs(ray[i].d - f), gb = std::fabs(ray[i].d - b);
        if (std::min(gf, gb) < band) near.push_back({i, std::min(gf, gb), gb < gf});
    }
    if (!any) return false;
    auto cut = [&](int32_t k) { return inside[size_t(k)] > 0; };
    auto whole = [&](const MeshTriangle& t) {
        return !cut(t.v[0]) && !cut(t.v[1]) && !cut(t.v[2]);
    };
    const std::vector<MeshTriangle>& triangles = mesh.triangles;
    const auto first =
        size_t(std::find_if_not(triangles.begin(), triangles.end(), whole) - triangles.begin());
    if (first == triangles.size()) return false;

    // Cut in place (out is the mesh): the vertices taken over, the
    // triangles read from the mesh until the cut ones replace them.
    PartMesh made;
    if (out == &mesh) {
        made.vertices = std::move(out->vertices);
        made.fine = std::move(out->fine);
        made.normals = std::move(out->normals);
    } else {
        made.vertices = mesh.vertices;
        made.fine = mesh.fine;
        made.normals = mesh.normals;
    }
    made.front_count = mesh.front_count;
    made.entered_by_triangle = mesh.entered_by_triangle;
    // Lit as one with the other where the two meet, before the crossings
    // take their normals from the ends of their edges.
    for (const Near& v : near) {
        double n[3];
        if (field_normal(v.back ? back : front, ray[v.vertex].u, ray[v.vertex].v, v.back, n))
            turn_normal(&made.normals[v.vertex], n, v.gap, band);
    }
    made.triangles.reserve(triangles.size() + 16);
    // The vertex where edge (a, b) crosses, one per edge whichever way it is
    // walked; the map is only looked up, so its order matters nowhere.
    std::map<uint64_t, int32_t> crossing;
    auto cross = [&](int32_t a, int32_t b) {
        const int32_t low = std::min(a, b), high = std::max(a, b);
        const uint64_t key = uint64_t(uint32_t(low)) << 32 | uint32_t(high);
        const auto [at, fresh] = crossing.emplace(key, int32_t(made.fine.size()));
        if (!fresh) return at->second;
        // Along the edge from its lower index, so both walks give one point:
        // the crossing bracketed by halving the edge, then placed linearly
        // within the last bracket (the other's surface is curved, and a
        // blend runs nearly tangent to it). The mesh's own vertices lead
        // made's, copied here before made grows.
        const Vec4 p = made.fine[size_t(low)], q = made.fine[size_t(high)];
        auto along = [&p, &q](double t, double out[3]) {
            out[0] = double(p.x) + (double(q.x) - double(p.x)) * t;
            out[1] = double(p.y) + (double(q.y) - double(p.y)) * t;
            out[2] = double(p.z) + (double(q.z) - double(p.z)) * t;
        };
        double t0 = 0, t1 = 1, g0 = inside[size_t(low)], g1 = inside[size_t(high)];
        for (int32_t step = 0; step < CROSSING_STEPS; ++step) {
            const double t = (t0 + t1) / 2;
            double at_t[3];
            along(t, at_t);
            const double g = depth_inside(at_t[0], at_t[1], at_t[2]);
            if ((g > 0) == (g0 > 0)) {
                t0 = t;
                g0 = g;
            } else {
                t1 = t;
                g1 = g;
            }
        }
        // An end outside both fields stands for "far outside": the middle.
        const double share = g0 == -NO_DEPTH || g1 == -NO_DEPTH ? 0.5 : g0 / (g0 - g1);
        double crossing_at[3];
        along(t0 + (t1 - t0) * share, crossing_at);
        auto nearest = [](double v) { return int32_t(std::floor(v + 0.5)); };
        const Vec4 point = {nearest(crossing_at[0]), nearest(crossing_at[1]),
                            nearest(crossing_at[2]), 0};
        const double t = t0 + (t1 - t0) * share;
        made.fine.push_back(point);
        made.vertices.push_back(round_fine_position(point));
        const Vec4 m = made.normals[size_t(low)], n = made.normals[size_t(high)];
        const double x = double(m.x) + (double(n.x) - m.x) * t;
        const double y = double(m.y) + (double(n.y) - m.y) * t;
        const double z = double(m.z) + (double(n.z) - m.z) * t;
        Vec4 normal = m;
        set_unit_normal(x, y, z, &normal);
        made.normals.push_back(normal);
        return at->second;
    };
    // Runs of triangles wholly outside kept as they are; each other one cut.
    size_t at = 0;
    for (size_t i = first; i < triangles.size(); ++i) {
        const MeshTriangle& t = triangles[i];
        if (whole(t)) continue;
        made.triangles.insert(made.triangles.end(), triangles.begin() + ptrdiff_t(at),
                              triangles.begin() + ptrdiff_t(i));
        at = i + 1;
        // The polygon left outside, walked in the triangle's turn.
        int32_t kept[4];
        int32_t n = 0;
        for (int k = 0; k < 3; ++k) {
            const int32_t a = t.v[k], b = t.v[(k + 1) % 3];
            if (!cut(a)) kept[n++] = a;
            if (cut(a) != cut(b)) kept[n++] = cross(a, b);
        }
        for (int32_t k = 1; k + 1 < n; ++k) {
            MeshTriangle piece = t;
            piece.v[0] = kept[0];
            piece.v[1] = kept[k];
            piece.v[2] = kept[k + 1];
            made.triangles.push_back(piece);
        }
    }
    made.triangles.insert(made.triangles.end(), triangles.begin() + ptrdiff_t(at), triangles.end());
    *out = std::move(made);
    return true;
}

namespace {

bool same_point(const RayPoint& a, const RayPoint& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

void mesh_ray_points(const PartMesh& mesh, const RayPlacement& placement,
                     std::vector<RayPoint>* out) {
    double unit = 1;
    const std::vector<Vec4>& at = positions(mesh, &unit);
    out->resize(at.size());
    for (size_t i = 0; i < at.size(); ++i)
        (*out)[i] = ray_point(at[i], unit, placement);
}

bool reads_as_before(const std::vector<RayPoint>& points, const PartMesh& mesh,
                     const RayPlacement& placement, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                     const DepthRead& was) {
    if (x1 < x0 || y1 < y0 || placement.scale <= 0 || points.size() != mesh.vertices.size())
        return false;
    std::vector<uint8_t> sides;
    box_sides(points, x0, y0, x1, y1, &sides);
    const std::vector<RayPoint>& were = was.corners;
    size_t k = 0;
    for (size_t i = next_near_box(sides, mesh.triangles, 0); i < mesh.triangles.size();
         i = next_near_box(sides, mesh.triangles, i + 1)) {
        if (were.size() - k < 3) return false;
        const MeshTriangle& t = mesh.triangles[i];
        for (int c = 0; c < 3; ++c)
            if (!same_point(points[size_t(t.v[c])], were[k + size_t(c)])) return false;
        k += 3;
    }
    return k == were.size();
}

void part_depth_interval(const PartMesh& mesh, const RayPlacement& placement, int32_t x0,
                         int32_t y0, int32_t x1, int32_t y1, RayDepthField* front,
                         RayDepthField* back, DepthRead* read) {
    *front = *back = RayDepthField{};
    if (read != nullptr) *read = DepthRead{};
    if (x1 < x0 || y1 < y0 || placement.scale <= 0) return;
    std::vector<RayPoint> points;
    mesh_ray_points(mesh, placement, &points);
    front->x0 = back->x0 = x0;
    front->y0 = back->y0 = y0;
    front->width = back->width = x1 - x0 + 1;
    front->height = back->height = y1 - y0 + 1;
    const size_t size = size_t(front->width) * size_t(front->height);
    front->depth.assign(size, NO_DEPTH);
    back->depth.assign(size, -NO_DEPTH);
    rasterise_triangles(points, mesh.triangles, x0, y0, x1, y1,
                        [&](int32_t x, int32_t y, double d) {
                            const size_t i = size_t(y - y0) * size_t(front->width) + size_t(x - x0);
                            front->depth[i] = std::min(front->depth[i], d);
                            back->depth[i] = std::max(back->depth[i], d);
                        });
    for (double& d : back->depth)
        if (d == -NO_DEPTH) d = NO_DEPTH;
    if (read != nullptr) {
        std::vector<uint8_t> sides;
        box_sides(points, x0, y0, x1, y1, &sides);
        for (size_t i = next_near_box(sides, mesh.triangles, 0); i < mesh.triangles.size();
             i = next_near_box(sides, mesh.triangles, i + 1))
            for (int32_t k : mesh.triangles[i].v)
                read->corners.push_back(points[size_t(k)]);
    }
}

bool part_ray_box(const PartMesh& mesh, const RayPlacement& placement, int32_t margin,
                  int32_t box[4]) {
    double unit = 1;
    const std::vector<Vec4>& at = positions(mesh, &unit);
    bool any = false;
    double low_u = 0, low_v = 0, high_u = 0, high_v = 0;
    for (const Vec4& p : at) {
        const RayPoint r = ray_point(p, unit, placement);
        if (r.d <= 0) continue;
        low_u = any ? std::min(low_u, r.u) : r.u;
        low_v = any ? std::min(low_v, r.v) : r.v;
        high_u = any ? std::max(high_u, r.u) : r.u;
        high_v = any ? std::max(high_v, r.v) : r.v;
        any = true;
    }
    if (!any) return false;
    box[0] = int32_t(std::floor(std::max(low_u, -LIMIT))) - margin;
    box[1] = int32_t(std::floor(std::max(low_v, -LIMIT))) - margin;
    box[2] = int32_t(std::ceil(std::min(high_u, LIMIT))) + margin;
    box[3] = int32_t(std::ceil(std::min(high_v, LIMIT))) + margin;
    return true;
}
