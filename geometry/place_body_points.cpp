// Point placement for a body's front surface: rows from the rim, then a
// lattice for the gaps, thinned on the rounded surface.
#include "geometry/place_body_points.h"

#include <algorithm>
#include <cmath>

#include "geometry/region_distance.h"
#include "geometry/resample_outline.h"

namespace {

constexpr double HALF_PI = 1.5707963267948966;
// A kept point lies at least this share of the local spacing from the others.
constexpr double THINNING = 0.7;
// Lattice points fill in only this share of the half-width or deeper.
constexpr double FILL_DEPTH = 0.25;
// The arc step of a row never exceeds about 34 degrees.
constexpr double LARGEST_STEP = 0.6;
// A row's first point lies half a step of at most FIRST_STEP (12.6 degrees)
// from the rim, which is the angle at which the front meets the back there;
// each later step turns at most STEP_GROWTH times as far as the one before,
// so that neighbouring faces turn evenly.
constexpr double FIRST_STEP = 0.22;
constexpr double STEP_GROWTH = 1.5;
// How fast a row's spacing grows from its rim point's, per unit walked.
constexpr double ROW_GROWTH = 0.7;
// A rim point spaced below this share of what its half-width asks (a sharp
// turn) is a seed: the spacing about it grows by SEED_GROWTH per unit.
constexpr double SEED_SHARE = 0.75;
constexpr double SEED_GROWTH = 0.7;
// The slope of the surface at the rim, where it stands upright.
constexpr double STEEP = 1e9;

// cos and sin of angles in [0, pi/2] from their Taylor series (to x^12 and
// x^13: error below 2e-9), so that every build computes the same bits.
void cos_sin(double a, double* c, double* s) {
    double a2 = a * a;
    double cc = 1, ss = 1, term_c = 1, term_s = 1;
    for (int k = 1; k <= 6; ++k) {
        term_c *= -a2 / double((2 * k - 1) * (2 * k));
        term_s *= -a2 / double((2 * k) * (2 * k + 1));
        cc += term_c;
        ss += term_s;
    }
    *c = cc;
    *s = a * ss;
}

double plane_distance(const Point2& a, const Point2& b) {
    double dx = double(int64_t(b.x) - a.x), dy = double(int64_t(b.y) - a.y);
    return std::sqrt(dx * dx + dy * dy) / FINE_ONE;
}

struct Candidate {
    Point2 p;
    double height;   // on the rounded surface, model units
    double slope;    // of that surface there, along the inward normal
    double spacing;  // model units
    double edge, radius;
};

// Kept points in buckets of 8 pixels, for the distance test on the surface.
// Each bucket is a list through `next` in the order the points were added,
// in flat arrays that stay in the cache while the buckets are searched.
struct PointGrid {
    int64_t x0, y0;
    int32_t columns, rows;
    std::vector<int32_t> first, last;  // per bucket: its first and last point, or -1
    std::vector<int32_t> next;         // per point: the next in its bucket, or -1
    static constexpr int64_t CELL = 8 * FINE_ONE;
    int32_t column(int64_t x) const {
        return int32_t(std::clamp<int64_t>((x - x0) / CELL, 0, columns - 1));
    }
    int32_t row(int64_t y) const {
        return int32_t(std::clamp<int64_t>((y - y0) / CELL, 0, rows - 1));
    }
    int32_t bucket(int32_t column, int32_t row) const { return row * columns + column; }
    void add(int32_t bucket, int32_t point) {
        if (next.size() <= size_t(point)) next.resize(size_t(point) + 1, -1);
        if (last[size_t(bucket)] < 0)
            first[size_t(bucket)] = point;
        else
            next[size_t(last[size_t(bucket)])] = point;
        last[size_t(bucket)] = point;
    }
};

}  // namespace

BodyPoints place_body_points(const std::vector<OutlineLoop>& rim, const RegionMask& mask,
                             const DistanceField& field) {
    BodyPoints out;
    std::vector<double> heights;
    std::vector<double> slopes;
    std::vector<int32_t> row_of;  // per point: the rim point its row starts from, or -1
    std::vector<double> spacings;
    for (const OutlineLoop& loop : rim) {
        if (loop.size() < 3) continue;
        auto first = int32_t(out.points.size());
        for (size_t i = 0; i < loop.size(); ++i) {
            out.points.push_back(loop[i]);
            out.segments.push_back({first + int32_t(i), first + int32_t((i + 1) % loop.size())});
        }
    }
    out.rim_count = int32_t(out.points.size());
    out.edge.assign(out.points.size(), 0);
    out.radius.assign(out.points.size(), 0);
    heights.assign(out.points.size(), 0);
    slopes.assign(out.points.size(), STEEP);
    row_of.resize(out.points.size());
    for (size_t i = 0; i < row_of.size(); ++i)
        row_of[i] = int32_t(i);
    spacings.assign(out.points.size(), BODY_SPACING_MIN);

    PointGrid grid;
    grid.x0 = int64_t(mask.origin_x) * FINE_ONE;
    grid.y0 = int64_t(mask.origin_y) * FINE_ONE;
    grid.columns = int32_t(int64_t(mask.width) * FINE_ONE / PointGrid::CELL + 1);
    grid.rows = int32_t(int64_t(mask.height) * FINE_ONE / PointGrid::CELL + 1);
    grid.first.assign(size_t(grid.columns) * size_t(grid.rows), -1);
    grid.last.assign(grid.first.size(), -1);
    auto bucket_of = [&](const Point2& p) { return grid.bucket(grid.column(p.x), grid.row(p.y)); };
    for (int32_t i = 0; i < out.rim_count; ++i)
        grid.add(bucket_of(out.points[size_t(i)]), i);

    // Whether kept point i lies too near a candidate on the surface (within
    // `reach`, model units), or on it in the plane. A row's own points are
    // spaced along it already: only where they fall on the same spot do they
    // count.
    auto too_near = [&](const Candidate& c, double reach, int32_t own_rim, int32_t i) {
        const Point2& q = out.points[size_t(i)];
        double dx = double(int64_t(q.x) - c.p.x) / FINE_ONE;
        double dy = double(int64_t(q.y) - c.p.y) / FINE_ONE;
        double plane = dx * dx + dy * dy;
        if (plane == 0) return true;
        if (own_rim >= 0 && row_of[size_t(i)] == own_rim) return false;
        // The heights of two points come from different circles, which may
        // disagree; the surface between them rises no faster than the
        // flatter of the two slopes allows.
        double dz = std::min(std::fabs(heights[size_t(i)] - c.height),
                             std::sqrt(plane) * std::min(slopes[size_t(i)], c.slope));
        return plane + dz * dz < reach * reach;
    };
    // Whether a candidate keeps its distance on the surface from every kept
    // point (but those of its own row). `likely` (or -1) is a kept point to try
    // first: one too near lies within the buckets searched anyway, so trying
    // it first changes no answer, and where the points lie close it saves the
    // search.
    auto fits = [&](const Candidate& c, int32_t own_rim, int32_t likely) {
        double reach = THINNING * c.spacing;
        if (likely >= 0 && too_near(c, reach, own_rim, likely)) return false;
        double reach_fine = reach * FINE_ONE;
        int32_t c0 = grid.column(int64_t(c.p.x - reach_fine)),
                c1 = grid.column(int64_t(c.p.x + reach_fine));
        int32_t r0 = grid.row(int64_t(c.p.y - reach_fine)),
                r1 = grid.row(int64_t(c.p.y + reach_fine));
        for (int32_t r = r0; r <= r1; ++r)
            for (int32_t k = c0; k <= c1; ++k)
                for (int32_t i = grid.first[size_t(grid.bucket(k, r))]; i >= 0;
                     i = grid.next[size_t(i)])
                    if (too_near(c, reach, own_rim, i)) return false;
        return true;
    };
    // A kept point near p: the nearest in the first ring of cells around p's
    // that holds any (-1 when none does).
    auto nearby = [&](const Point2& p) {
        int32_t pk = grid.column(p.x), pr = grid.row(p.y);
        for (int32_t ring = 0; ring <= std::max(grid.columns, grid.rows); ++ring) {
            int32_t found = -1;
            double best = 1e300;
            for (int32_t r = pr - ring; r <= pr + ring; ++r) {
                if (r < 0 || r >= grid.rows) continue;
                // The ring's first and last rows whole, of the others their
                // two ends.
                int32_t k_step = r == pr - ring || r == pr + ring ? 1 : std::max(1, 2 * ring);
                for (int32_t k = pk - ring; k <= pk + ring; k += k_step) {
                    if (k < 0 || k >= grid.columns) continue;
                    for (int32_t i = grid.first[size_t(grid.bucket(k, r))]; i >= 0;
                         i = grid.next[size_t(i)]) {
                        double dx = double(int64_t(out.points[size_t(i)].x) - p.x);
                        double dy = double(int64_t(out.points[size_t(i)].y) - p.y);
                        if (dx * dx + dy * dy < best) {
                            best = dx * dx + dy * dy;
                            found = i;
                        }
                    }
                }
            }
            if (found >= 0) return found;
        }
        return int32_t(-1);
    };
    auto keep = [&](const Candidate& c, int32_t row) {
        auto index = int32_t(out.points.size());
        out.points.push_back(c.p);
        out.edge.push_back(c.edge);
        out.radius.push_back(c.radius);
        heights.push_back(c.height);
        slopes.push_back(c.slope);
        row_of.push_back(row);
        spacings.push_back(c.spacing);
        grid.add(bucket_of(c.p), index);
    };
    auto inside = [&](double x_fine, double y_fine) {
        return edge_distance(field, x_fine, y_fine) > 0;
    };

    // The rows' rim points: each with its inward normal and half-width.
    std::vector<InwardRay> rays;
    for (const OutlineLoop& loop : rim) {
        if (loop.size() < 3) continue;
        for (size_t i = 0; i < loop.size(); ++i) {
            InwardRay ray = {loop[i], 0, 0};
            inward_normal(loop, i, &ray.dx, &ray.dy);
            if (ray.dx != 0 || ray.dy != 0) rays.push_back(ray);
        }
    }
    std::vector<double> radii = inscribed_radii(field, rays);
    struct Column {
        Point2 base;
        double nx, ny, radius;
        double widest;  // the spacing of its half-width
        double angle;   // of its next point on the circle, radians
        double step;    // the largest its next step may turn
        int32_t rim;    // the rim point it starts from
    };
    std::vector<Column> columns;
    {
        size_t ray_index = 0;
        int32_t rim_index = 0;
        for (const OutlineLoop& loop : rim) {
            if (loop.size() < 3) continue;
            size_t n = loop.size();
            for (size_t i = 0; i < n; ++i, ++rim_index) {
                // The rim's own spacing here: half the way to both neighbours.
                double rim_spacing = 0.5 * (plane_distance(loop[(i + n - 1) % n], loop[i]) +
                                            plane_distance(loop[i], loop[(i + 1) % n]));
                Column col;
                col.base = loop[i];
                col.rim = rim_index;
                inward_normal(loop, i, &col.nx, &col.ny);
                if (col.nx == 0 && col.ny == 0) continue;
                col.radius = radii[ray_index++];
                out.radius[size_t(rim_index)] = col.radius;  // for the height solve's scaling
                double widest = body_spacing(col.radius);
                spacings[size_t(rim_index)] = std::min(rim_spacing, widest);
                // A row grows no wider than a sixth of its half-width, or its
                // rim point's spacing where that is wider (along a thin
                // part, whose rim keeps the spacing's floor).
                col.widest =
                    std::max(std::min(col.radius / 6, widest), spacings[size_t(rim_index)]);
                col.step = std::min(spacings[size_t(rim_index)] / col.radius, FIRST_STEP);
                col.angle = 0.5 * col.step;
                columns.push_back(col);
            }
        }
    }
    // Where the rim was refined at a sharp turn, the points inside follow:
    // the spacing at p is at most a seed's (a rim point whose spacing is a
    // local least, well below its half-width's) plus SEED_GROWTH of the
    // distance from it. Along the rim itself the rows' own spacing already
    // follows the rim's.
    struct Seed {
        double x, y, spacing;  // model units
    };
    std::vector<Seed> seeds;
    {
        size_t first = 0;
        for (const OutlineLoop& loop : rim) {
            if (loop.size() < 3) continue;
            size_t n = loop.size();
            for (size_t i = 0; i < n; ++i) {
                size_t at = first + i;
                double own = spacings[at];
                if (out.radius[at] <= 0 || own >= SEED_SHARE * body_spacing(out.radius[at]))
                    continue;
                // A least, or the first of a run of equal ones.
                if (own >= spacings[first + (i + n - 1) % n] || own > spacings[first + (i + 1) % n])
                    continue;
                seeds.push_back({double(loop[i].x) / FINE_ONE, double(loop[i].y) / FINE_ONE, own});
            }
            first += n;
        }
    }
    auto sizing = [&](const Point2& p) {
        double x = double(p.x) / FINE_ONE, y = double(p.y) / FINE_ONE;
        double best = 1e300;
        for (const Seed& seed : seeds) {
            double dx = x - seed.x, dy = y - seed.y;
            best = std::min(best, seed.spacing + SEED_GROWTH * std::sqrt(dx * dx + dy * dy));
        }
        return best;
    };

    // Rows, all first steps before any second step, so that the rows near
    // the rim are complete and thinning takes from the rows near the middle.
    // A row's spacing starts at its rim point's and grows along the surface
    // by ROW_GROWTH of the distance walked, up to its widest, and no more
    // than the seeds allow where it stands; each step turns the circle by
    // that spacing over its radius, at most STEP_GROWTH times the step
    // before and LARGEST_STEP.
    for (size_t going = columns.size(); going > 0;) {
        going = 0;
        for (Column& col : columns) {
            if (col.angle >= HALF_PI) continue;
            ++going;
            double angle = col.angle;
            double c = 0, s = 0;
            cos_sin(angle, &c, &s);
            double d = col.radius * (1 - c);
            double x = col.base.x + col.nx * d * FINE_ONE;
            double y = col.base.y + col.ny * d * FINE_ONE;
            Candidate cand = {
                {int32_t(std::lround(x)), int32_t(std::lround(y))},
                col.radius * s,
                c / s,
                std::min(col.widest, spacings[size_t(col.rim)] + ROW_GROWTH * angle * col.radius),
                d,
                col.radius};
            if (!seeds.empty()) cand.spacing = std::min(cand.spacing, sizing(cand.p));
            col.step =
                std::min(cand.spacing / col.radius, std::min(col.step * STEP_GROWTH, LARGEST_STEP));
            // The last point half a step short of the middle, where the row
            // from the other side meets it.
            double last = HALF_PI - 0.5 * col.step;
            col.angle = angle + col.step > last ? (last - angle > 0.5 * col.step ? last : HALF_PI)
                                                : angle + col.step;
            if (d >= 1 && !inside(x, y)) continue;
            if (fits(cand, col.rim, -1)) keep(cand, col.rim);
        }
    }
    // A lattice of every fourth pixel (rows shifted by two) fills the gaps:
    // its points take the spacing and half-width of a kept point nearby.
    for (int32_t row = 1; row + 1 < mask.height; row += 4) {
        for (int32_t col = 1 + 2 * ((row / 4) % 2); col + 1 < mask.width; col += 4) {
            if (mask.inside[size_t(row) * size_t(mask.width) + size_t(col)] == 0) continue;
            Point2 p = {(mask.origin_x + col) * FINE_ONE, (mask.origin_y + row) * FINE_ONE};
            double d = edge_distance(field, p.x, p.y);
            if (d < 1) continue;
            int32_t near = nearby(p);
            if (near < 0) continue;
            double radius = std::max(out.radius[size_t(near)], d);
            // Near the rim the surface is steep and a pixel's distance too
            // coarse to place a point on it: the rows cover that part.
            if (d < FILL_DEPTH * radius) continue;
            double height = std::sqrt(std::max(0.0, d * (2 * radius - d)));
            Candidate cand = {
                p, height, height > 0 ? (radius - d) / height : STEEP, spacings[size_t(near)],
                d, radius};
            if (fits(cand, -1, near)) keep(cand, -1);
        }
    }
    return out;
}
