// Area-weighted vertex normals, normalised once.
#include "geometry/body_normals.h"

#include <cmath>

namespace {

struct Sum {
    double x = 0, y = 0, z = 0;
};

// (b - a) x (c - a) in doubles; fine differences stay below 2^22, so each
// product below 2^44 and every value is exact.
Sum face_cross(const Vec4& a, const Vec4& b, const Vec4& c) {
    double ux = double(b.x) - a.x, uy = double(b.y) - a.y, uz = double(b.z) - a.z;
    double vx = double(c.x) - a.x, vy = double(c.y) - a.y, vz = double(c.z) - a.z;
    return {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
}

bool to_unit(const Sum& s, Vec4* out) {
    double length = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
    if (!(length > 0)) return false;
    double scale = UNIT_LENGTH / length;
    // Each coordinate is within UNIT_LENGTH (and a rounding) of 0.
    Vec4 n = {round_half_away(s.x * scale), round_half_away(s.y * scale),
              round_half_away(s.z * scale), 0};
    if (n.x == 0 && n.y == 0 && n.z == 0) return false;
    *out = n;
    return true;
}

// The sums of the faces around each vertex and its largest face, kept
// between calls (one thread draws and edits).
struct NormalSums {
    std::vector<Sum> sums;
    std::vector<Sum> largest;
    std::vector<double> largest_area;
};
NormalSums scratch;

}  // namespace

void body_normals_in_place(const std::vector<Vec4>& vertices,
                           const std::vector<MeshTriangle>& triangles, int32_t front_count,
                           std::vector<Vec4>* normals) {
    size_t n = vertices.size();
    // assign keeps the storage when it is large enough.
    scratch.sums.assign(n, Sum{});
    scratch.largest.assign(n, Sum{});
    scratch.largest_area.assign(n, 0);
    std::vector<Sum>& sums = scratch.sums;
    std::vector<Sum>& largest = scratch.largest;
    std::vector<double>& largest_area = scratch.largest_area;
    for (const MeshTriangle& t : triangles) {
        Sum f = face_cross(vertices[size_t(t.v[0])], vertices[size_t(t.v[1])],
                           vertices[size_t(t.v[2])]);
        double area = f.x * f.x + f.y * f.y + f.z * f.z;
        for (int32_t v : t.v) {
            sums[size_t(v)].x += f.x;
            sums[size_t(v)].y += f.y;
            sums[size_t(v)].z += f.z;
            if (area > largest_area[size_t(v)]) {
                largest_area[size_t(v)] = area;
                largest[size_t(v)] = f;
            }
        }
    }
    normals->resize(n);
    for (size_t i = 0; i < n; ++i) {
        if (to_unit(sums[i], &(*normals)[i])) continue;
        if (to_unit(largest[i], &(*normals)[i])) continue;
        (*normals)[i] = {0, 0, int32_t(i) < front_count ? UNIT_LENGTH : -UNIT_LENGTH, 0};
    }
}

std::vector<Vec4> body_normals(const std::vector<Vec4>& vertices,
                               const std::vector<MeshTriangle>& triangles, int32_t front_count) {
    std::vector<Vec4> normals;
    body_normals_in_place(vertices, triangles, front_count, &normals);
    return normals;
}
