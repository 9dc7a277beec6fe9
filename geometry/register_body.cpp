// The body set on the rays through its drawing, round in the cone they make.
#include "geometry/register_body.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>

#include "geometry/part_mesh.h"

namespace {

// A matrix of 9 fraction bits as doubles (v' = v * m, rows 0..2 the linear
// part, row 3 the translation), in model units.
struct View {
    double m[16];
};

View view_of(const Matrix& matrix) {
    View v;
    for (int i = 0; i < 16; ++i)
        v.m[i] = double(matrix.m[i]) / double(FIXED_ONE);
    return v;
}

// Where model point (x, y, z) lands, in pixels from the screen centre
// (transform_and_project's focal length of 256, without its rounding);
// false at or behind the eye.
bool project(const View& v, double x, double y, double z, double* sx, double* sy) {
    const double* m = v.m;
    const double depth = x * m[2] + y * m[6] + z * m[10] + m[14];
    if (!(depth > 0)) return false;
    *sx = 256 * (x * m[0] + y * m[4] + z * m[8] + m[12]) / depth;
    *sy = 256 * (x * m[1] + y * m[5] + z * m[9] + m[13]) / depth;
    return true;
}

// The model point of depth z (model units) that lands on screen point
// (sx, sy): two linear equations in x and y. False when there is none in
// front of the eye.
bool unproject(const View& v, double sx, double sy, double z, double* x, double* y) {
    const double* m = v.m;
    const double a = 256 * m[0] - sx * m[2], b = 256 * m[4] - sx * m[6];
    const double c = 256 * m[1] - sy * m[2], d = 256 * m[5] - sy * m[6];
    const double e = sx * (z * m[10] + m[14]) - 256 * (z * m[8] + m[12]);
    const double f = sy * (z * m[10] + m[14]) - 256 * (z * m[9] + m[13]);
    const double det = a * d - b * c;
    if (!(std::fabs(det) > 1e-9)) return false;
    *x = (e * d - b * f) / det;
    *y = (a * f - e * c) / det;
    return *x * m[2] + *y * m[6] + z * m[10] + m[14] > 0;
}

// The eye in model coordinates: the point the view takes to its origin
// (Cramer's rule on p * A = -t). False when the linear part is singular.
bool eye_of(const View& v, double eye[3]) {
    const double* m = v.m;
    const double a[3][3] = {{m[0], m[4], m[8]}, {m[1], m[5], m[9]}, {m[2], m[6], m[10]}};
    const double t[3] = {-m[12], -m[13], -m[14]};
    auto det3 = [](const double k[3][3]) {
        return k[0][0] * (k[1][1] * k[2][2] - k[1][2] * k[2][1]) -
               k[0][1] * (k[1][0] * k[2][2] - k[1][2] * k[2][0]) +
               k[0][2] * (k[1][0] * k[2][1] - k[1][1] * k[2][0]);
    };
    const double whole = det3(a);
    if (!(std::fabs(whole) > 1e-12)) return false;
    for (int col = 0; col < 3; ++col) {
        double k[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                k[r][c] = c == col ? t[r] : a[r][c];
        eye[col] = det3(k) / whole;
    }
    return true;
}

// Where transform_and_project puts whole-unit model point (x, y, z) under m,
// in pixels from the screen centre; false at or behind the eye.
bool pipeline_point(const Matrix& m, int32_t x, int32_t y, int32_t z, int32_t* sx, int32_t* sy) {
    const int32_t* e = m.m;
    const int32_t depth = (x * e[2] + y * e[6] + z * e[10] + e[14]) >> FIXED_SHIFT;
    if (depth <= 0) return false;
    *sx = ((x * e[0] + y * e[4] + z * e[8] + e[12]) >> 1) / depth;
    *sy = ((x * e[1] + y * e[5] + z * e[9] + e[13]) >> 1) / depth;
    return true;
}

// A ball's section seen from `eye` (model units), the ball of radius `radius`
// whose centre the eye sees `line` away, the point `off` from the ray through
// the centre: the depth of the middle of the chord the point's ray cuts from
// the round body inscribed in the rays that graze the drawn section (centred
// on the section's plane), relative to that plane (negative: nearer the
// eye), and half the chord in depth.
//
// The drawn section spans -radius .. radius on a line `line` from the eye;
// the circle that touches the two rays through its ends, centred on the line,
// has radius line * radius / sqrt(line² + radius²). A ball drawn on the
// middle of the picture becomes exactly the sphere whose outline is the
// drawn circle: its rim, where the rays graze it, lies nearer the eye than
// its middle.
void round_section(double off, double radius, double line, double eye, double* middle,
                   double* half) {
    const double r = line * radius / std::sqrt(line * line + radius * radius);
    const double lq2 = off * off + line * line;
    *middle = eye * line * line / lq2 - eye;
    const double d2 = line * line * off * off / lq2;
    *half = std::sqrt(std::max(0.0, r * r - d2)) * eye / std::sqrt(lq2);
}

// The same for a section seen obliquely: the point lies at q (from the foot
// of the eye on the plane, model units), U its offset from the ball's centre
// across the part towards the nearest edge. In the plane through the eye and
// the line through the centre along U, the drawn section runs from C - R to
// C + R, and its round body is the circle centred on that line that touches
// the two rays through those ends: a part far from the middle of the picture
// turns to face the eye. Near the centre of a ball (U = 0) no direction is
// across, and within a third of R of it the section's place is blended
// towards the mean over all directions.
void tilted_section(double qx, double qy, double ux, double uy, double radius, double eye,
                    double* middle, double* half) {
    const double u = std::sqrt(ux * ux + uy * uy);
    double nx = 1, ny = 0;
    if (u > 0) nx = ux / u, ny = uy / u;
    const double cx = qx - ux, cy = qy - uy;
    const double cn = cx * nx + cy * ny, ct = cy * nx - cx * ny;
    const double w = radius > 0 ? std::min(1.0, 3 * u / radius) : 1;
    const double spread = (cn * cn + ct * ct) / 2;
    const double across = std::sqrt(w * cn * cn + (1 - w) * spread);
    const double centre = cn < 0 ? -across : across;
    const double line = std::sqrt(eye * eye + w * ct * ct + (1 - w) * spread);
    const double q = centre + u, q1 = centre - radius, q2 = centre + radius;
    const double l1 = std::sqrt(q1 * q1 + line * line), l2 = std::sqrt(q2 * q2 + line * line);
    // The circle's centre on the line, as far from one ray as from the other,
    // and its radius; then the foot of that centre on the ray through q and
    // half the chord there, their depths along the view by eye / line.
    const double c = (q1 * l2 + q2 * l1) / (l1 + l2);
    const double r = line * (c - q1) / l1;
    const double lq2 = q * q + line * line;
    *middle = eye * (c * q + line * line) / lq2 - eye;
    const double off2 = line * line * (c - q) * (c - q) / lq2;
    *half = std::sqrt(std::max(0.0, r * r - off2)) * eye / std::sqrt(lq2);
}

// The edge distance at model point (x, y), bilinear between pixel centres:
// a pixel's distance between centres less half a pixel, -1/2 outside, so
// that 0 lies on the region's edge.
double edge_at(const DistanceField& field, double x, double y) {
    const double fx = x - field.origin_x, fy = y - field.origin_y;
    const double c0 = std::floor(fx), r0 = std::floor(fy);
    const double tx = fx - c0, ty = fy - r0;
    auto value = [&](double c, double r) {
        if (c < 0 || r < 0 || c >= field.width || r >= field.height) return -0.5;
        const int32_t squared = field.squared[size_t(r) * size_t(field.width) + size_t(c)];
        return squared > 0 ? std::sqrt(double(squared)) - 0.5 : -0.5;
    };
    const double top = value(c0, r0) * (1 - tx) + value(c0 + 1, r0) * tx;
    const double bottom = value(c0, r0 + 1) * (1 - tx) + value(c0 + 1, r0 + 1) * tx;
    return top * (1 - ty) + bottom * ty;
}

// Each vertex's neighbours along the front's triangles' edges, without
// repeats: vertex i's are at[first[i]] .. at[first[i + 1] - 1].
struct Ring {
    std::vector<int32_t> first, at;
};

Ring neighbours(size_t n, const std::vector<MeshTriangle>& triangles, size_t front_triangles) {
    Ring ring;
    ring.first.assign(n + 1, 0);
    for (size_t t = 0; t < front_triangles; ++t)
        for (int32_t v : triangles[t].v)
            if (size_t(v) < n) ring.first[size_t(v) + 1] += 2;
    for (size_t i = 0; i < n; ++i)
        ring.first[i + 1] += ring.first[i];
    ring.at.assign(size_t(ring.first[n]), 0);
    std::vector<int32_t> fill(ring.first.begin(), ring.first.end() - 1);
    for (size_t t = 0; t < front_triangles; ++t)
        for (int k = 0; k < 3; ++k) {
            const int32_t a = triangles[t].v[k];
            if (size_t(a) >= n) continue;
            ring.at[size_t(fill[size_t(a)]++)] = triangles[t].v[(k + 1) % 3];
            ring.at[size_t(fill[size_t(a)]++)] = triangles[t].v[(k + 2) % 3];
        }
    // Each neighbour once, in order; a corner outside the front counts for none.
    size_t kept = 0;
    for (size_t i = 0; i < n; ++i) {
        const auto from = size_t(ring.first[i]), to = size_t(ring.first[i + 1]);
        std::sort(ring.at.begin() + std::ptrdiff_t(from), ring.at.begin() + std::ptrdiff_t(to));
        ring.first[i] = int32_t(kept);
        for (size_t k = from; k < to; ++k)
            if (size_t(ring.at[k]) < n && (k == from || ring.at[k] != ring.at[k - 1]))
                ring.at[kept++] = ring.at[k];
    }
    ring.first[n] = int32_t(kept);
    ring.at.resize(kept);
    return ring;
}

// Passes of neighbour averaging over the fields below: enough to even out
// the distance field's pixel steps, few enough to keep their shape.
constexpr int SMOOTHING_PASSES = 4;

void smooth(std::vector<double>* field, const Ring& ring) {
    std::vector<double> next(field->size());
    for (int pass = 0; pass < SMOOTHING_PASSES; ++pass) {
        for (size_t i = 0; i < field->size(); ++i) {
            double sum = (*field)[i];
            for (int32_t k = ring.first[i]; k < ring.first[i + 1]; ++k)
                sum += (*field)[size_t(ring.at[size_t(k)])];
            next[i] = sum / double(ring.first[i + 1] - ring.first[i] + 1);
        }
        field->swap(next);
    }
}

// Makes `field` change by at most `slope` per model unit along the front's
// edges, lowering values rather than raising them: each becomes the smallest
// of the others plus `slope` times their distance along the edges (a
// shortest-path walk from the smallest values up, ties in vertex order).
void limit_slope(std::vector<double>* field, const std::vector<double>& x,
                 const std::vector<double>& y, const Ring& ring, double slope) {
    using Entry = std::pair<double, int32_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
    for (size_t i = 0; i < field->size(); ++i)
        open.push({(*field)[i], int32_t(i)});
    while (!open.empty()) {
        const auto [value, at] = open.top();
        open.pop();
        const auto i = size_t(at);
        if (value != (*field)[i]) continue;
        for (int32_t k = ring.first[i]; k < ring.first[i + 1]; ++k) {
            const auto j = size_t(ring.at[size_t(k)]);
            const double dx = x[j] - x[i], dy = y[j] - y[i];
            const double reach = (*field)[i] + slope * std::sqrt(dx * dx + dy * dy);
            if (reach < (*field)[j]) {
                (*field)[j] = reach;
                open.push({reach, int32_t(j)});
            }
        }
    }
}

// Per vertex (model units), the unit direction inward across the distance
// field's slope, evened out over the neighbours (on the rim the field's pixel
// steps turn it).
void inward_directions(const DistanceField& field, const std::vector<double>& x,
                       const std::vector<double>& y, const Ring& ring, std::vector<double>* nx,
                       std::vector<double>* ny) {
    const size_t n = x.size();
    nx->assign(n, 0);
    ny->assign(n, 0);
    for (size_t i = 0; i < n; ++i) {
        (*nx)[i] = edge_at(field, x[i] + 1, y[i]) - edge_at(field, x[i] - 1, y[i]);
        (*ny)[i] = edge_at(field, x[i], y[i] + 1) - edge_at(field, x[i], y[i] - 1);
    }
    smooth(nx, ring);
    smooth(ny, ring);
    for (size_t i = 0; i < n; ++i) {
        const double g = std::sqrt((*nx)[i] * (*nx)[i] + (*ny)[i] * (*ny)[i]);
        (*nx)[i] = g > 1e-9 ? (*nx)[i] / g : 1;
        (*ny)[i] = g > 1e-9 ? (*ny)[i] / g : 0;
    }
}

// Per vertex (model units): its distance to the region's edge, the unit
// direction inward (inward_directions) and the radius of the round section
// through it that touches the edge there, (h² + e²) / 2e for height h at distance e. Next to the
// rim, where e is a fraction of a pixel, the neighbours' radii are taken instead; the radius, which
// changes slowly along the rim and not at all across a ball, is then evened out.
constexpr double NEAR_RIM = 1.5;
constexpr double RADIUS_SLOPE = 0.5;

void region_balls(const DistanceField& field, const std::vector<double>& x,
                  const std::vector<double>& y, const std::vector<double>& height, const Ring& ring,
                  std::vector<double>* edge, std::vector<double>* nx, std::vector<double>* ny,
                  std::vector<double>* radius) {
    const size_t n = x.size();
    edge->assign(n, 0);
    radius->assign(n, 0);
    std::vector<uint8_t> known(n, 0);
    for (size_t i = 0; i < n; ++i) {
        const double e = std::max(0.0, edge_at(field, x[i], y[i]));
        (*edge)[i] = e;
        if (e >= NEAR_RIM) {
            (*radius)[i] = (height[i] * height[i] + e * e) / (2 * e);
            known[i] = 1;
        }
    }
    inward_directions(field, x, y, ring, nx, ny);
    // Ring by ring outward from the known radii.
    for (bool any = true; any;) {
        any = false;
        std::vector<uint8_t> now = known;
        for (size_t i = 0; i < n; ++i) {
            if (known[i] != 0) continue;
            double sum = 0, count = 0;
            for (int32_t k = ring.first[i]; k < ring.first[i + 1]; ++k) {
                const auto j = size_t(ring.at[size_t(k)]);
                if (known[j] != 0) sum += (*radius)[j], count += 1;
            }
            if (count == 0) continue;
            (*radius)[i] = sum / count;
            now[i] = 1;
            any = true;
        }
        known.swap(now);
    }
    for (size_t i = 0; i < n; ++i)
        if (known[i] == 0) (*radius)[i] = std::max({height[i], (*edge)[i], 0.5});
    // By a concave notch the body stands tall close to the edge, which reads
    // as the rim of a ball far larger than the parts on either side; such a
    // ball would swing the section's depth sharply between neighbours and
    // fold the surface. The radius grows by at most half a unit per unit.
    limit_slope(radius, x, y, ring, RADIUS_SLOPE);
    smooth(radius, ring);
}

// Replaces two fields over the vertices (x, y) by the quadrics in x and y
// that fit them best by least squares (both alike: one system, two right
// sides); by zero where the quadric is not determined (a handful of
// vertices, or all on a line).
void fit_quadric(const std::vector<double>& x, const std::vector<double>& y, std::vector<double>* f,
                 std::vector<double>* g) {
    const size_t n = x.size();
    double mx = 0, my = 0, extent = 0;
    for (size_t i = 0; i < n; ++i)
        mx += x[i], my += y[i];
    mx /= double(std::max<size_t>(n, 1)), my /= double(std::max<size_t>(n, 1));
    for (size_t i = 0; i < n; ++i)
        extent = std::max({extent, std::fabs(x[i] - mx), std::fabs(y[i] - my)});
    // Terms of x and y scaled into -1 .. 1, for a well-conditioned system.
    auto terms = [&](size_t i, double t[6]) {
        const double u = (x[i] - mx) / extent, v = (y[i] - my) / extent;
        t[0] = 1, t[1] = u, t[2] = v, t[3] = u * u, t[4] = u * v, t[5] = v * v;
    };
    double a[6][6] = {}, b[6] = {}, c[6] = {};
    bool solved = extent > 0;
    for (size_t i = 0; i < n && solved; ++i) {
        double t[6];
        terms(i, t);
        for (int r = 0; r < 6; ++r) {
            for (int k = 0; k < 6; ++k)
                a[r][k] += t[r] * t[k];
            b[r] += t[r] * (*f)[i];
            c[r] += t[r] * (*g)[i];
        }
    }
    // Gaussian elimination with partial pivoting.
    for (int col = 0; col < 6 && solved; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 6; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        solved = std::fabs(a[pivot][col]) > 1e-9 * double(n);
        if (!solved) break;
        std::swap(a[col], a[pivot]);
        std::swap(b[col], b[pivot]);
        std::swap(c[col], c[pivot]);
        for (int r = col + 1; r < 6; ++r) {
            const double m = a[r][col] / a[col][col];
            for (int k = col; k < 6; ++k)
                a[r][k] -= m * a[col][k];
            b[r] -= m * b[col];
            c[r] -= m * c[col];
        }
    }
    for (int r = 5; r >= 0 && solved; --r) {
        for (int k = r + 1; k < 6; ++k)
            b[r] -= a[r][k] * b[k], c[r] -= a[r][k] * c[k];
        b[r] /= a[r][r];
        c[r] /= a[r][r];
    }
    for (size_t i = 0; i < n; ++i) {
        double t[6], fi = 0, gi = 0;
        terms(i, t);
        for (int k = 0; k < 6 && solved; ++k)
            fi += t[k] * b[k], gi += t[k] * c[k];
        (*f)[i] = fi;
        (*g)[i] = gi;
    }
}

// The views a body is set on its rays with (register_body's drawing and
// view), and per front vertex the unit direction into the region.
struct Rays {
    View sheet, seen;
    const Matrix& view;
    const std::vector<double>& nx;
    const std::vector<double>& ny;
};

// Vertex `vertex` of a body, drawn at model point (at_x, at_y), set at depth
// z on the ray through that point: its fine position (w kept) and the whole
// one to draw it at; `near_rim` is the rim vertex next to it (itself on the
// rim, -1 for none). The renderer draws whole units and samples pixel
// (column, row) at (column + 1/2, row): a region's pixel is covered when the
// outline, drawn half a pixel outside it, is moved right by half a pixel and
// its corners rounded to the nearest whole pixels, halves up. Every vertex is
// drawn on the pixel nearest its exact place moved so: the rim draws the
// outline, and a vertex inside it stays inside. (The whole unit nearest the
// vertex itself would not do: it lies half a pixel left of the rim's
// convention, and the projection truncates towards the screen centre, so a
// vertex up to a pixel inside the rim would show outside it along rims facing
// left or the centre: a part right of the centre would gain a column of
// pixels on one side.) Of the whole units around the one nearest the point
// the projection puts on that pixel (for a rim vertex, also a unit nearer or
// farther), one that lands there is drawn; where none does, the nearest miss,
// for the rim and the vertices next to it outward from the region rather than
// inward, then the least moved.
void place_on_ray(const Rays& r, int32_t vertex, double at_x, double at_y, double z,
                  int32_t near_rim, Vec4* fine, Vec4* whole) {
    double sx = 0, sy = 0, px = 0, py = 0, hx = 0, hy = 0;
    if (!project(r.sheet, at_x, at_y, 0, &sx, &sy) || !unproject(r.seen, sx, sy, z, &px, &py))
        return;
    const int64_t fine_z = std::lround(z * FINE_ONE);
    *fine = {int32_t(std::lround(px * FINE_ONE)), int32_t(std::lround(py * FINE_ONE)),
             int32_t(fine_z), fine->w};
    const auto whole_z = int32_t((fine_z + FINE_ONE / 2) >> FINE_SHIFT);
    const auto want_x = int32_t(std::floor(sx + 1)), want_y = int32_t(std::floor(sy + 0.5));
    // The projection truncates towards zero: a point shows on pixel p when
    // it lies within a pixel of p on the side away from zero.
    auto aim = [](int32_t p) { return p > 0 ? p + 0.5 : p < 0 ? p - 0.5 : 0.0; };
    if (!unproject(r.seen, aim(want_x), aim(want_y), z, &hx, &hy)) hx = px, hy = py;
    const auto near_x = int32_t(std::floor(hx + 0.5)), near_y = int32_t(std::floor(hy + 0.5));
    *whole = {near_x, near_y, whole_z, 0};
    int32_t at_sx = 0, at_sy = 0;
    if (pipeline_point(r.view, near_x, near_y, whole_z, &at_sx, &at_sy) && at_sx == want_x &&
        at_sy == want_y)
        return;
    const double out_x = near_rim < 0 ? 0 : -r.nx[size_t(near_rim)];
    const double out_y = near_rim < 0 ? 0 : -r.ny[size_t(near_rim)];
    const int32_t depths = near_rim == vertex ? 1 : 0;
    double best = 1e300;
    for (int32_t dz = -depths; dz <= depths; ++dz)
        for (int32_t dy = -1; dy <= 1; ++dy)
            for (int32_t dx = -1; dx <= 1; ++dx) {
                if (!pipeline_point(r.view, near_x + dx, near_y + dy, whole_z + dz, &at_sx, &at_sy))
                    continue;
                const double ex = at_sx - want_x, ey = at_sy - want_y;
                const double score = (std::fabs(ex) + std::fabs(ey)) * 16 -
                                     (ex * out_x + ey * out_y) * 2 + std::abs(dx) + std::abs(dy) +
                                     std::abs(dz);
                if (score < best) {
                    best = score;
                    *whole = {near_x + dx, near_y + dy, whole_z + dz, 0};
                }
            }
}

// The rim vertex next to front vertex i (the last in the ring's order), i
// itself on the rim, -1 for none.
int32_t rim_next_to(size_t i, const Ring& ring, const std::vector<int32_t>& back_of) {
    if (back_of[i] == int32_t(i)) return int32_t(i);
    int32_t near_rim = -1;
    for (int32_t k = ring.first[i]; k < ring.first[i + 1]; ++k) {
        const int32_t j = ring.at[size_t(k)];
        if (back_of[size_t(j)] == j) near_rim = j;
    }
    return near_rim;
}

}  // namespace

RegisteredBody register_body(BodyShell body, const DistanceField& field, const Matrix& drawing,
                             const Matrix& view) {
    RegisteredBody out;
    out.whole.reserve(body.vertices.size());
    for (const Vec4& f : body.vertices)
        out.whole.push_back(round_fine_position(f));
    const View seen = view_of(view), sheet = view_of(drawing);
    double eye[3];
    const auto front = size_t(body.front_count);
    if (!eye_of(seen, eye) || !(eye[2] < -1) || front > body.vertices.size() ||
        body.back_of.size() != front || field.width == 0) {
        out.body = std::move(body);
        return out;
    }
    const double distance = -eye[2];
    constexpr double UNIT = FINE_ONE;

    // Per front vertex: where it was drawn (from the foot of the eye), the
    // relief its section is centred on and its height above it.
    std::vector<double> x(front), y(front), relief(front), height(front);
    for (size_t i = 0; i < front; ++i) {
        const double zf = body.vertices[i].z / UNIT;
        const double zb = body.vertices[size_t(body.back_of[i])].z / UNIT;
        x[i] = body.vertices[i].x / UNIT;
        y[i] = body.vertices[i].y / UNIT;
        relief[i] = (zf + zb) / 2;
        height[i] = std::max(0.0, (zb - zf) / 2);
    }
    const size_t front_triangles = body.triangles.size() / 2;
    const Ring ring = neighbours(front, body.triangles, front_triangles);
    std::vector<double> edge, nx, ny, radius;
    region_balls(field, x, y, height, ring, &edge, &nx, &ny, &radius);

    // Per vertex: the middle of its chord relative to the relief, and the
    // half chord per unit of the ball's height (taken a little inside the
    // rim, where both vanish), which scales the vertex's own height; first
    // for its ball seen head on, then how the ball seen obliquely, across the
    // part, turns and thins. That turn swings with the direction across the
    // part at corners and notches: only its smooth part, the quadric that
    // fits it best over the front, is added.
    std::vector<double> middle(front, 0), scale(front, 1), turn(front, 0), thin(front, 0);
    for (size_t i = 0; i < front; ++i) {
        const double qx = x[i] - eye[0], qy = y[i] - eye[1];
        // Its offset from the ball's centre, from the region; the ball's
        // radius from that and the vertex's height, so that across the middle
        // of a part, where the offset is small and the walks' directions are
        // least sure, the radius is the body's own thickness.
        const double off = std::max(0.0, radius[i] - edge[i]);
        const double ball = std::sqrt(height[i] * height[i] + off * off);
        const double inside = std::min(off, 0.9 * ball);
        const double thick = std::sqrt(std::max(0.0, ball * ball - inside * inside));
        // The ball's centre, seen `line` away.
        const double cx = qx + off * nx[i], cy = qy + off * ny[i];
        const double line = std::sqrt(distance * distance + cx * cx + cy * cy);
        double half = 0, unused = 0, tilted = 0;
        round_section(off, ball, line, distance, &middle[i], &half);
        tilted_section(qx, qy, -off * nx[i], -off * ny[i], ball, distance, &tilted, &half);
        turn[i] = tilted - middle[i];
        if (thick <= 1e-6) continue;
        round_section(inside, ball, line, distance, &unused, &half);
        scale[i] = half / thick;
        tilted_section(qx, qy, -inside * nx[i], -inside * ny[i], ball, distance, &unused, &half);
        thin[i] = half / thick - scale[i];
    }
    fit_quadric(x, y, &turn, &thin);
    for (size_t i = 0; i < front; ++i) {
        middle[i] += turn[i];
        scale[i] += thin[i];
    }

    const Rays rays{sheet, seen, view, nx, ny};
    auto place = [&](size_t vertex, double at_x, double at_y, double z, int32_t near_rim) {
        place_on_ray(rays, int32_t(vertex), at_x, at_y, z, near_rim, &body.vertices[vertex],
                     &out.whole[vertex]);
    };
    // No vertex nearer the eye than a quarter of its distance.
    const double nearest = -distance * 3 / 4;
    for (size_t i = 0; i < front; ++i) {
        const auto twin = size_t(body.back_of[i]);
        const double centre = relief[i] + middle[i];
        if (twin == i) {
            place(i, x[i], y[i], std::max(centre, nearest), int32_t(i));
            continue;
        }
        const int32_t near_rim = rim_next_to(i, ring, body.back_of);
        // A front vertex stays a fine unit at least before its twin.
        const double half = std::max(scale[i] * height[i], 0.5 / UNIT);
        place(i, x[i], y[i], std::max(centre - half, nearest), near_rim);
        place(twin, x[i], y[i], std::max(centre + half, nearest + 1.0 / UNIT), near_rim);
    }
    out.body = std::move(body);
    return out;
}

RegisteredBody mirror_registered_body(const BodyShell& body, const DistanceField& field,
                                      const Matrix& drawing, const Matrix& view,
                                      const Matrix& mirrored_drawing, const Matrix& mirrored_view) {
    RegisteredBody out;
    out.body = body;
    // Reflected in x, a face's corners run the other way round: swapping two
    // keeps every face turned outward.
    for (MeshTriangle& t : out.body.triangles)
        std::swap(t.v[1], t.v[2]);
    for (Vec4& v : out.body.vertices)
        v.x = -v.x;
    out.whole.reserve(body.vertices.size());
    for (const Vec4& f : out.body.vertices)
        out.whole.push_back(round_fine_position(f));
    const View seen = view_of(view), sheet = view_of(drawing);
    const View mirrored_seen = view_of(mirrored_view), mirrored_sheet = view_of(mirrored_drawing);
    double eye[3];
    const auto front = size_t(body.front_count);
    if (!eye_of(mirrored_seen, eye) || !(eye[2] < -1) || front > body.vertices.size() ||
        body.back_of.size() != front || field.width == 0)
        return out;
    constexpr double UNIT = FINE_ONE;

    // Per vertex: the model point it shows on (under the source's drawing,
    // where the source's view shows it), reflected, and its depth.
    const size_t count = body.vertices.size();
    std::vector<double> x(count), y(count);
    std::vector<uint8_t> shown(count, 0);
    for (size_t i = 0; i < count; ++i) {
        const Vec4& v = body.vertices[i];
        double sx = 0, sy = 0;
        if (project(seen, v.x / UNIT, v.y / UNIT, v.z / UNIT, &sx, &sy) &&
            unproject(sheet, sx, sy, 0, &x[i], &y[i])) {
            x[i] = -x[i];
            shown[i] = 1;
        }
    }
    const Ring ring = neighbours(front, out.body.triangles, out.body.triangles.size() / 2);
    std::vector<double> nx, ny;
    inward_directions(field, std::vector<double>(x.begin(), x.begin() + std::ptrdiff_t(front)),
                      std::vector<double>(y.begin(), y.begin() + std::ptrdiff_t(front)), ring, &nx,
                      &ny);
    const Rays rays{mirrored_sheet, mirrored_seen, mirrored_view, nx, ny};
    auto place = [&](size_t v, int32_t near_rim) {
        if (shown[v] != 0)
            place_on_ray(rays, int32_t(v), x[v], y[v], body.vertices[v].z / UNIT, near_rim,
                         &out.body.vertices[v], &out.whole[v]);
    };
    for (size_t i = 0; i < front; ++i) {
        const int32_t near_rim = rim_next_to(i, ring, body.back_of);
        place(i, near_rim);
        if (size_t(body.back_of[i]) != i) place(size_t(body.back_of[i]), near_rim);
    }
    return out;
}
