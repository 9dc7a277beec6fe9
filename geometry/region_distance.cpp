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
    // Pass 1, per column: g, the distance to the nearest outside pixel in the
    // column (at most w + h, "no outside pixel" included), kept in the field
    // itself. It runs row by row, so that memory is read in order: down the
    // columns each pixel extends the run of the pixel above, then up them it
    // takes the smaller of that and one more than the pixel below (which
    // already holds the nearer of its own two runs, and so the run from
    // below wherever that one is the smaller).
    const int32_t far = w + h;
    int32_t* g = field.squared.data();
    const uint8_t* inside = mask.inside.data();
    for (int32_t x = 0; x < w; ++x)
        g[x] = inside[x] != 0 ? far : 0;
    for (int32_t y = 1; y < h; ++y) {
        const uint8_t* in = inside + size_t(y) * size_t(w);
        const int32_t* above = g + size_t(y - 1) * size_t(w);
        int32_t* row = g + size_t(y) * size_t(w);
        for (int32_t x = 0; x < w; ++x)
            row[x] = in[x] != 0 ? std::min(above[x] + 1, far) : 0;
    }
    for (int32_t y = h - 2; y >= 0; --y) {
        const int32_t* below = g + size_t(y + 1) * size_t(w);
        int32_t* row = g + size_t(y) * size_t(w);
        for (int32_t x = 0; x < w; ++x)
            row[x] = std::min(row[x], below[x] + 1);
    }
    // Pass 2, per row: the lower envelope of the parabolas (x - i)^2 + g(i)^2
    // (Felzenszwalb and Huttenlocher), from a copy of the row's g squared,
    // written over the row. Where two parabolas i < u cross is the fraction
    // (u^2 - i^2 + g(u)^2 - g(i)^2) / (2 (u - i)); the envelope keeps each
    // parabola's crossing with the one before it as numerator and (positive)
    // denominator and compares them multiplied out, in 64 bits, so that no
    // division is needed.
    std::vector<int32_t> g2(static_cast<size_t>(w)), v(static_cast<size_t>(w)),
        z_num(static_cast<size_t>(w)), z_den(static_cast<size_t>(w));
    for (int32_t y = 0; y < h; ++y) {
        int32_t* row = g + size_t(y) * size_t(w);
        for (int32_t x = 0; x < w; ++x)
            g2[size_t(x)] = row[x] * row[x];
        auto f = [&](int32_t x, int32_t i) { return (x - i) * (x - i) + g2[size_t(i)]; };
        int32_t k = 0;  // the envelope's last parabola: v[0 .. k]
        v[0] = 0;
        for (int32_t u = 1; u < w; ++u) {
            int32_t num = 0, den = 1;
            for (;;) {
                int32_t i = v[size_t(k)];
                num = u * u - i * i + g2[size_t(u)] - g2[size_t(i)];
                den = 2 * (u - i);
                // Parabola i lies below the others nowhere once u crosses it
                // no later than i crosses the one before it.
                if (k == 0 || int64_t(num) * z_den[size_t(k)] > int64_t(z_num[size_t(k)]) * den)
                    break;
                --k;
            }
            ++k;
            v[size_t(k)] = u;
            z_num[size_t(k)] = num;
            z_den[size_t(k)] = den;
        }
        int32_t top = k;
        k = 0;
        for (int32_t x = 0; x < w; ++x) {
            while (k < top && z_num[size_t(k) + 1] <= int64_t(x) * z_den[size_t(k) + 1])
                ++k;
            row[x] = f(x, v[size_t(k)]);
        }
    }
    return field;
}

namespace {

// One walk of inscribed_radius: where it stands and the greatest distance met.
struct RadiusWalk {
    double x, y, dx, dy;
    double step = 0.5, best = 0.5;
};

// Takes the walk's next step; false once it has ended. Steps of half a
// pixel, or a 32nd of the greatest distance so far when that is longer (the
// radius then comes within about 3 %); the walk ends once the distance has
// fallen a step and a pixel below the greatest, or a pixel and a sixteenth
// below the way walked, or leaves the region, or has gone twice as far as
// the greatest distance (it cannot rise again after the middle).
bool take_step(const DistanceField& field, RadiusWalk* walk) {
    if (walk->step >= 4096) return false;
    double d = edge_distance(field, walk->x + walk->dx * walk->step * FINE_ONE,
                             walk->y + walk->dy * walk->step * FINE_ONE);
    if (d <= 0 && walk->step > 1.5) return false;
    if (d > walk->best) walk->best = d;
    if (d < walk->best - 1.0 - walk->best / 32 || walk->step > 2 * walk->best + 3) return false;
    // A disc centred here would no longer reach the start: the region
    // narrows ahead (a tip seen from its end), and the disc that fits there
    // is the one already found.
    if (d < walk->step - 1.0 - walk->step / 16) return false;
    walk->step += std::max(0.5, walk->best / 32);
    return true;
}

}  // namespace

double inscribed_radius(const DistanceField& field, const Point2& point, double dx, double dy) {
    RadiusWalk walk = {double(point.x), double(point.y), dx, dy};
    while (take_step(field, &walk)) {
    }
    return walk.best;
}

std::vector<double> inscribed_radii(const DistanceField& field,
                                    const std::vector<InwardRay>& rays) {
    std::vector<RadiusWalk> walks(rays.size());
    std::vector<int32_t> going(rays.size());
    for (size_t i = 0; i < rays.size(); ++i) {
        walks[i] = {double(rays[i].point.x), double(rays[i].point.y), rays[i].dx, rays[i].dy};
        going[i] = int32_t(i);
    }
    // Each round takes one step of every walk still going: the steps of one
    // walk follow each other, those of different walks do not wait for each
    // other's reads of the field.
    while (!going.empty()) {
        size_t kept = 0;
        for (int32_t i : going)
            if (take_step(field, &walks[size_t(i)])) going[kept++] = i;
        going.resize(kept);
    }
    std::vector<double> radii(rays.size());
    for (size_t i = 0; i < rays.size(); ++i)
        radii[i] = walks[i].best;
    return radii;
}
