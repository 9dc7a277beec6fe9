// Resampling of the traced edge: even steps of a spacing that follows the
// inscribed radius, refined until no two segments cross.
#include "geometry/resample_outline.h"

#include <algorithm>
#include <cmath>

#include "geometry/constrained_delaunay.h"
#include "geometry/region_distance.h"

namespace {

// The inscribed radius is read at every RADIUS_STRIDE-th traced point.
constexpr size_t RADIUS_STRIDE = 8;
// How a sharp turn of the outline limits the spacing (limit_spacing_by_turn).
constexpr double TURN_REACH = 6.0;
// Turns by less than about 30 degrees over that reach are the pixels' own.
constexpr double SMALLEST_TURN = 0.5;
constexpr double TURN_SPACING = 0.2;
constexpr double SMALLEST_TURN_SPACING = 0.5;
constexpr double SPACING_GROWTH = 0.35;

// A loop resampled to `count` points, spread evenly over the integral of
// 1 / spacing along the traced loop.
OutlineLoop sample_loop(const OutlineLoop& dense, const std::vector<double>& spacing,
                        size_t count) {
    size_t n = dense.size();
    std::vector<double> at(n + 1, 0);  // the integral up to traced point i
    for (size_t i = 0; i < n; ++i) {
        const Point2& a = dense[i];
        const Point2& b = dense[(i + 1) % n];
        double length = std::sqrt(double(int64_t(b.x) - a.x) * double(int64_t(b.x) - a.x) +
                                  double(int64_t(b.y) - a.y) * double(int64_t(b.y) - a.y)) /
                        FINE_ONE;
        at[i + 1] = at[i] + length * 0.5 * (1 / spacing[i] + 1 / spacing[(i + 1) % n]);
    }
    OutlineLoop out;
    double total = at[n];
    size_t segment = 0;
    for (size_t k = 0; k < count; ++k) {
        double target = total * double(k) / double(count);
        while (segment + 1 < n && at[segment + 1] < target)
            ++segment;
        const Point2& a = dense[segment];
        const Point2& b = dense[(segment + 1) % n];
        double span = at[segment + 1] - at[segment];
        double f = span > 0 ? (target - at[segment]) / span : 0;
        Point2 p = {int32_t(std::lround(a.x + f * (double(b.x) - a.x))),
                    int32_t(std::lround(a.y + f * (double(b.y) - a.y)))};
        if (!out.empty() && out.back().x == p.x && out.back().y == p.y) continue;
        out.push_back(p);
    }
    while (out.size() > 1 && out.back().x == out.front().x && out.back().y == out.front().y)
        out.pop_back();
    return out;
}

bool segments_meet(const Point2& a, const Point2& b, const Point2& c, const Point2& d) {
    auto side = [](int64_t o) { return o > 0 ? 1 : o < 0 ? -1 : 0; };
    int s1 = side(orient2(a, b, c)), s2 = side(orient2(a, b, d));
    int s3 = side(orient2(c, d, a)), s4 = side(orient2(c, d, b));
    if (s1 * s2 > 0 || s3 * s4 > 0) return false;
    if (s1 == 0 && s2 == 0) {
        // On one line: they meet when their extents overlap.
        auto overlap = [](int64_t p, int64_t q, int64_t r, int64_t s) {
            return std::max(std::min(p, q), std::min(r, s)) <=
                   std::min(std::max(p, q), std::max(r, s));
        };
        return overlap(a.x, b.x, c.x, d.x) && overlap(a.y, b.y, c.y, d.y);
    }
    return true;
}

// Marks the loops that have a segment meeting another segment (other than
// its neighbours in the same loop), through buckets of 16 pixels.
std::vector<uint8_t> loops_in_conflict(const std::vector<OutlineLoop>& loops) {
    struct Segment {
        int32_t loop, index;
    };
    std::vector<Segment> segments;
    int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    for (size_t l = 0; l < loops.size(); ++l) {
        for (size_t i = 0; i < loops[l].size(); ++i) {
            segments.push_back({int32_t(l), int32_t(i)});
            x0 = std::min<int64_t>(x0, loops[l][i].x), x1 = std::max<int64_t>(x1, loops[l][i].x);
            y0 = std::min<int64_t>(y0, loops[l][i].y), y1 = std::max<int64_t>(y1, loops[l][i].y);
        }
    }
    std::vector<uint8_t> conflict(loops.size(), 0);
    if (segments.empty()) return conflict;
    constexpr int64_t BUCKET = 16 * FINE_ONE;
    auto columns = int32_t((x1 - x0) / BUCKET + 1), rows = int32_t((y1 - y0) / BUCKET + 1);
    std::vector<std::vector<int32_t>> buckets(size_t(columns) * size_t(rows));
    auto ends = [&](const Segment& s, Point2* a, Point2* b) {
        const OutlineLoop& loop = loops[size_t(s.loop)];
        *a = loop[size_t(s.index)];
        *b = loop[(size_t(s.index) + 1) % loop.size()];
    };
    for (size_t k = 0; k < segments.size(); ++k) {
        Point2 a, b;
        ends(segments[k], &a, &b);
        for (int64_t r = (std::min(a.y, b.y) - y0) / BUCKET;
             r <= (std::max(a.y, b.y) - y0) / BUCKET; ++r)
            for (int64_t c = (std::min(a.x, b.x) - x0) / BUCKET;
                 c <= (std::max(a.x, b.x) - x0) / BUCKET; ++c)
                buckets[size_t(r) * size_t(columns) + size_t(c)].push_back(int32_t(k));
    }
    for (const std::vector<int32_t>& bucket : buckets) {
        for (size_t i = 0; i < bucket.size(); ++i) {
            for (size_t j = i + 1; j < bucket.size(); ++j) {
                const Segment& s = segments[size_t(bucket[i])];
                const Segment& t = segments[size_t(bucket[j])];
                if (s.loop == t.loop) {
                    auto n = int32_t(loops[size_t(s.loop)].size());
                    int32_t gap = std::abs(s.index - t.index);
                    if (gap == 1 || gap == n - 1) {
                        // Neighbours share one end; they only conflict when
                        // they fold back onto each other.
                        if (n > 3) continue;
                    }
                }
                Point2 a, b, c, d;
                ends(s, &a, &b);
                ends(t, &c, &d);
                if (segments_meet(a, b, c, d))
                    conflict[size_t(s.loop)] = conflict[size_t(t.loop)] = 1;
            }
        }
    }
    return conflict;
}

double distance(const Point2& a, const Point2& b) {
    double dx = double(int64_t(b.x) - a.x), dy = double(int64_t(b.y) - a.y);
    return std::sqrt(dx * dx + dy * dy) / FINE_ONE;
}

// Where the loop turns sharply (a tip, a corner, a notch) the surface bends
// along the rim as much as across it: the spacing there is at most
// TURN_SPACING times the radius of the turn, read between the points
// TURN_REACH units along the loop each way (far enough that the pixels'
// steps do not count as turns), and grows from it by at most SPACING_GROWTH
// of the distance along the loop. The turn is measured as the chord of its
// angle on the unit circle, 2 sin(angle / 2), which needs no trigonometry.
void limit_spacing_by_turn(const OutlineLoop& dense, std::vector<double>* spacing) {
    size_t n = dense.size();
    if (n < 8) return;
    std::vector<double>& s = *spacing;
    std::vector<double> step(n);  // from point i to point i + 1
    double total = 0;
    for (size_t i = 0; i < n; ++i)
        total += step[i] = distance(dense[i], dense[(i + 1) % n]);
    if (total < 4 * TURN_REACH) return;
    for (size_t i = 0; i < n; ++i) {
        size_t back = i, ahead = i;
        double behind_length = 0, ahead_length = 0;
        while (behind_length < TURN_REACH) {
            back = (back + n - 1) % n;
            behind_length += step[back];
        }
        while (ahead_length < TURN_REACH) {
            ahead_length += step[ahead];
            ahead = (ahead + 1) % n;
        }
        const Point2& a = dense[back];
        const Point2& b = dense[i];
        const Point2& c = dense[ahead];
        double ux = double(int64_t(b.x) - a.x), uy = double(int64_t(b.y) - a.y);
        double vx = double(int64_t(c.x) - b.x), vy = double(int64_t(c.y) - b.y);
        double lu = std::sqrt(ux * ux + uy * uy), lv = std::sqrt(vx * vx + vy * vy);
        if (lu == 0 || lv == 0) continue;
        double cosine = (ux * vx + uy * vy) / (lu * lv);
        double chord = std::sqrt(std::max(0.0, 2 * (1 - cosine)));
        if (chord < SMALLEST_TURN) continue;
        double radius = 0.5 * (behind_length + ahead_length) / chord;
        s[i] = std::min(s[i], std::max(SMALLEST_TURN_SPACING, TURN_SPACING * radius));
    }
    // Twice round each way, so that the growth limit wraps past the start.
    for (int pass = 0; pass < 2; ++pass)
        for (size_t k = 1; k <= n; ++k) {
            size_t i = k % n, j = k - 1;
            s[i] = std::min(s[i], s[j] + SPACING_GROWTH * distance(dense[j], dense[i]));
        }
    for (int pass = 0; pass < 2; ++pass)
        for (size_t k = n; k >= 1; --k) {
            size_t i = k - 1, j = k % n;
            s[i] = std::min(s[i], s[j] + SPACING_GROWTH * distance(dense[j], dense[i]));
        }
}

}  // namespace

double body_spacing(double radius) {
    // Below the floor where the region is very narrow (blunted tips), so
    // that a few steps still go round it.
    return std::clamp(radius / 6, std::min(BODY_SPACING_MIN, 0.6 * radius), BODY_SPACING_MAX);
}

void inward_normal(const OutlineLoop& loop, size_t i, double* nx, double* ny) {
    size_t n = loop.size();
    const Point2& a = loop[(i + n - 1) % n];
    const Point2& b = loop[(i + 1) % n];
    double tx = double(int64_t(b.x) - a.x), ty = double(int64_t(b.y) - a.y);
    double length = std::sqrt(tx * tx + ty * ty);
    if (length == 0) {
        *nx = 0, *ny = 0;
        return;
    }
    *nx = -ty / length;
    *ny = tx / length;
}

std::vector<OutlineLoop> resample_outline(const std::vector<OutlineLoop>& loops,
                                          const DistanceField& field) {
    // The inscribed radius at every RADIUS_STRIDE-th traced point, along the
    // normal over a wider chord (four traced points each way) so that the
    // pixel steps do not turn it; 0.5 where that chord has no length.
    std::vector<InwardRay> rays;
    std::vector<int32_t> ray_of;  // per reading, its ray, or -1
    for (const OutlineLoop& dense : loops) {
        size_t n = dense.size();
        for (size_t i = 0; i < n; i += RADIUS_STRIDE) {
            const Point2& a = dense[(i + n - 4) % n];
            const Point2& b = dense[(i + 4) % n];
            double tx = double(int64_t(b.x) - a.x), ty = double(int64_t(b.y) - a.y);
            double length = std::sqrt(tx * tx + ty * ty);
            ray_of.push_back(length > 0 ? int32_t(rays.size()) : -1);
            if (length > 0) rays.push_back({dense[i], -ty / length, tx / length});
        }
    }
    std::vector<double> radii = inscribed_radii(field, rays);
    size_t reading = 0;
    std::vector<std::vector<double>> spacing(loops.size());
    std::vector<size_t> counts(loops.size());
    for (size_t l = 0; l < loops.size(); ++l) {
        const OutlineLoop& dense = loops[l];
        size_t n = dense.size();
        std::vector<double>& s = spacing[l];
        s.assign(n, BODY_SPACING_MIN);
        for (size_t i = 0; i < n; i += RADIUS_STRIDE, ++reading) {
            int32_t ray = ray_of[reading];
            s[i] = body_spacing(ray >= 0 ? radii[size_t(ray)] : 0.5);
        }
        // Between two readings the smaller spacing holds (a narrow tip may
        // lie between them), and the same on the way round to the first.
        for (size_t i = 0; i < n; i += RADIUS_STRIDE) {
            size_t next = i + RADIUS_STRIDE < n ? i + RADIUS_STRIDE : 0;
            double value = std::min(s[i], s[next]);
            for (size_t k = i + 1; k < std::min(n, i + RADIUS_STRIDE); ++k)
                s[k] = value;
        }
        limit_spacing_by_turn(dense, &s);
        double total = 0;
        for (size_t i = 0; i < n; ++i) {
            const Point2& a = dense[i];
            const Point2& b = dense[(i + 1) % n];
            total += std::sqrt(double(int64_t(b.x) - a.x) * double(int64_t(b.x) - a.x) +
                               double(int64_t(b.y) - a.y) * double(int64_t(b.y) - a.y)) /
                     FINE_ONE / s[i];
        }
        counts[l] = std::max<size_t>(3, size_t(std::lround(total)));
    }
    std::vector<OutlineLoop> out(loops.size());
    std::vector<uint8_t> redo(loops.size(), 1);
    for (int round = 0; round < 24; ++round) {
        for (size_t l = 0; l < loops.size(); ++l) {
            if (redo[l] == 0) continue;
            out[l] = counts[l] >= loops[l].size() ? loops[l]
                                                  : sample_loop(loops[l], spacing[l], counts[l]);
        }
        redo = loops_in_conflict(out);
        bool any = false;
        for (size_t l = 0; l < loops.size(); ++l) {
            if (redo[l] == 0) continue;
            any = true;
            if (counts[l] >= loops[l].size()) {
                // The traced loops themselves never meet; a conflict left
                // here is another loop's, which refines on its own.
                redo[l] = 0;
                continue;
            }
            counts[l] = std::min(loops[l].size(), counts[l] * 2);
        }
        if (!any) break;
    }
    return out;
}
