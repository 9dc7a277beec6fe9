// Exact Euclidean distance transform and the inscribed radius along a ray.
#include "geometry/region_distance.h"

#include <algorithm>

DistanceField region_distance_field(const RegionMask& mask) {
    DistanceField field;
    field.width = mask.width;
    field.height = mask.height;
    field.origin_x = mask.origin_x;
    field.origin_y = mask.origin_y;
    int32_t w = mask.width, h = mask.height;
    field.squared.assign(size_t(w) * size_t(h), 0);
    if (w == 0 || h == 0) return field;
    // Pass 1, per column: the distance to the nearest outside pixel in the
    // column (at most w + h, "no outside pixel" included).
    const int32_t far = w + h;
    std::vector<int32_t> g(size_t(w) * size_t(h), far);
    for (int32_t x = 0; x < w; ++x) {
        int32_t run = far;
        for (int32_t y = 0; y < h; ++y) {
            size_t i = size_t(y) * size_t(w) + size_t(x);
            run = mask.inside[i] != 0 ? std::min(run + 1, far) : 0;
            g[i] = run;
        }
        run = far;
        for (int32_t y = h - 1; y >= 0; --y) {
            size_t i = size_t(y) * size_t(w) + size_t(x);
            run = mask.inside[i] != 0 ? std::min(run + 1, far) : 0;
            g[i] = std::min(g[i], run);
        }
    }
    // Pass 2, per row: the lower envelope of the parabolas (x - i)^2 + g(i)^2.
    std::vector<int32_t> s(static_cast<size_t>(w)), t(static_cast<size_t>(w));
    for (int32_t y = 0; y < h; ++y) {
        const int32_t* gy = &g[size_t(y) * size_t(w)];
        auto f = [&](int32_t x, int32_t i) { return (x - i) * (x - i) + gy[i] * gy[i]; };
        // First column where the parabola of u lies below that of i (i < u);
        // floor division, since the numerator may be negative.
        auto sep = [&](int32_t i, int32_t u) {
            int32_t num = u * u - i * i + gy[u] * gy[u] - gy[i] * gy[i];
            int32_t den = 2 * (u - i);
            int32_t q = num / den;
            if ((num % den != 0) && ((num < 0) != (den < 0))) --q;
            return q;
        };
        int32_t q = 0;
        s[0] = 0;
        t[0] = 0;
        for (int32_t u = 1; u < w; ++u) {
            while (q >= 0 && f(t[size_t(q)], s[size_t(q)]) > f(t[size_t(q)], u))
                --q;
            if (q < 0) {
                q = 0;
                s[0] = u;
            } else {
                int32_t wq = 1 + sep(s[size_t(q)], u);
                if (wq < w) {
                    ++q;
                    s[size_t(q)] = u;
                    t[size_t(q)] = wq;
                }
            }
        }
        for (int32_t u = w - 1; u >= 0; --u) {
            field.squared[size_t(y) * size_t(w) + size_t(u)] = f(u, s[size_t(q)]);
            if (u == t[size_t(q)]) --q;
        }
    }
    return field;
}

double inscribed_radius(const DistanceField& field, const Point2& point, double dx, double dy) {
    double best = 0.5;
    double x = point.x, y = point.y;
    // Steps of half a pixel, or a 32nd of the greatest distance so far when
    // that is longer (the radius then comes within about 3 %); the walk ends
    // once the distance has fallen a step and a pixel below the greatest, or
    // leaves the region, or has gone twice as far as the greatest distance
    // (it cannot rise again after the middle).
    for (double step = 0.5; step < 4096; step += std::max(0.5, best / 32)) {
        double d = edge_distance(field, x + dx * step * FINE_ONE, y + dy * step * FINE_ONE);
        if (d <= 0 && step > 1.5) break;
        if (d > best) best = d;
        if (d < best - 1.0 - best / 32 || step > 2 * best + 3) break;
    }
    return best;
}
