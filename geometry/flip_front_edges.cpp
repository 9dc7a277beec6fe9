// Edge flips that make the lifted front surface Delaunay.
#include "geometry/flip_front_edges.h"

#include <algorithm>
#include <cmath>

#include "geometry/constrained_delaunay.h"

namespace {

// No edge is flipped for less than this (the cotangents' sum), so that
// rounding does not flip an edge back and forth.
constexpr double FLIP_MARGIN = 1e-9;
// Flips allowed per triangle: on a surface that is not flat, flips need not
// end by themselves.
constexpr size_t FLIPS_PER_TRIANGLE = 4;

struct Lifted {
    double x, y, z;
};

// The cotangent of the angle at c facing the edge a-b, on the surface.
double cotangent(const Lifted& a, const Lifted& b, const Lifted& c) {
    double ux = a.x - c.x, uy = a.y - c.y, uz = a.z - c.z;
    double vx = b.x - c.x, vy = b.y - c.y, vz = b.z - c.z;
    double dot = ux * vx + uy * vy + uz * vz;
    double cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
    double sine = std::sqrt(cx * cx + cy * cy + cz * cz);
    if (sine == 0) return dot < 0 ? -1e300 : 1e300;
    return dot / sine;
}

}  // namespace

void flip_front_edges(FrontMesh* mesh, const std::vector<double>& heights) {
    std::vector<MeshTriangle>& triangles = mesh->triangles;
    size_t count = triangles.size();
    if (count < 2) return;
    std::vector<Lifted> lifted(mesh->points.size());
    for (size_t i = 0; i < lifted.size(); ++i)
        lifted[i] = {double(mesh->points[i].x) / FINE_ONE, double(mesh->points[i].y) / FINE_ONE,
                     heights[i]};

    // Per triangle and edge k (from corner k to corner k + 1), the triangle
    // across it, or -1: the edges counted out by their lower end, then each
    // end's few searched for the same higher end.
    std::vector<int32_t> across(count * 3, -1);
    {
        size_t points = mesh->points.size();
        std::vector<int32_t> first(points + 1, 0);
        for (const MeshTriangle& t : triangles)
            for (int k = 0; k < 3; ++k)
                ++first[size_t(std::min(t.v[k], t.v[(k + 1) % 3])) + 1];
        for (size_t i = 1; i <= points; ++i)
            first[i] += first[i - 1];
        std::vector<int32_t> slots(count * 3), fill(first.begin(), first.end() - 1);
        for (size_t t = 0; t < count; ++t)
            for (int k = 0; k < 3; ++k)
                slots[size_t(
                    fill[size_t(std::min(triangles[t].v[k], triangles[t].v[(k + 1) % 3]))]++)] =
                    int32_t(t * 3) + k;
        auto high = [&](int32_t slot) {
            const MeshTriangle& t = triangles[size_t(slot / 3)];
            return std::max(t.v[slot % 3], t.v[(slot % 3 + 1) % 3]);
        };
        for (size_t v = 0; v < points; ++v)
            for (int32_t i = first[v]; i < first[v + 1]; ++i)
                for (int32_t j = i + 1; j < first[v + 1]; ++j)
                    if (high(slots[size_t(i)]) == high(slots[size_t(j)])) {
                        across[size_t(slots[size_t(i)])] = slots[size_t(j)] / 3;
                        across[size_t(slots[size_t(j)])] = slots[size_t(i)] / 3;
                    }
    }
    // Points the triangle across an edge names it by: it keeps its own
    // corners' order, so the edge runs the other way there.
    auto side_of = [&](int32_t t, int32_t a, int32_t b) {
        const MeshTriangle& tri = triangles[size_t(t)];
        for (int k = 0; k < 3; ++k)
            if (tri.v[k] == a && tri.v[(k + 1) % 3] == b) return k;
        return -1;
    };

    // Edges to look at, first in, first out; an edge is named by a
    // triangle and a side, and looked at as it is when its turn comes.
    std::vector<int32_t> queue;
    queue.reserve(count * 3);
    for (size_t slot = 0; slot < count * 3; ++slot)
        if (across[slot] > int32_t(slot / 3)) queue.push_back(int32_t(slot));
    size_t flips_left = count * FLIPS_PER_TRIANGLE;
    for (size_t head = 0; head < queue.size() && flips_left > 0; ++head) {
        auto t = int32_t(queue[head] / 3);
        int k = queue[head] % 3;
        int32_t u = across[size_t(t) * 3 + size_t(k)];
        if (u < 0) continue;
        MeshTriangle& first = triangles[size_t(t)];
        int32_t a = first.v[k], b = first.v[(k + 1) % 3], c = first.v[(k + 2) % 3];
        int j = side_of(u, b, a);
        if (j < 0) continue;
        MeshTriangle& second = triangles[size_t(u)];
        int32_t d = second.v[(j + 2) % 3];
        if (c == d) continue;
        if (cotangent(lifted[size_t(a)], lifted[size_t(b)], lifted[size_t(c)]) +
                cotangent(lifted[size_t(a)], lifted[size_t(b)], lifted[size_t(d)]) >=
            -FLIP_MARGIN)
            continue;
        // The new edge c-d: it must not join two rim points (the back would
        // share it), and both new triangles must turn positively.
        if (mesh->rim[size_t(c)] != 0 && mesh->rim[size_t(d)] != 0) continue;
        const Point2& pa = mesh->points[size_t(a)];
        const Point2& pb = mesh->points[size_t(b)];
        const Point2& pc = mesh->points[size_t(c)];
        const Point2& pd = mesh->points[size_t(d)];
        if (orient2(pa, pd, pc) <= 0 || orient2(pd, pb, pc) <= 0) continue;
        int32_t bc = across[size_t(t) * 3 + size_t((k + 1) % 3)];
        int32_t ca = across[size_t(t) * 3 + size_t((k + 2) % 3)];
        int32_t ad = across[size_t(u) * 3 + size_t((j + 1) % 3)];
        int32_t db = across[size_t(u) * 3 + size_t((j + 2) % 3)];
        // t becomes (a, d, c), u becomes (d, b, c).
        first = {{a, d, c}};
        second = {{d, b, c}};
        across[size_t(t) * 3 + 0] = ad;
        across[size_t(t) * 3 + 1] = u;
        across[size_t(t) * 3 + 2] = ca;
        across[size_t(u) * 3 + 0] = db;
        across[size_t(u) * 3 + 1] = bc;
        across[size_t(u) * 3 + 2] = t;
        // The triangles across a-d and b-c now face t and u.
        if (ad >= 0) across[size_t(ad) * 3 + size_t(side_of(ad, d, a))] = t;
        if (bc >= 0) across[size_t(bc) * 3 + size_t(side_of(bc, c, b))] = u;
        --flips_left;
        // The quad's four outer edges may now want flipping.
        queue.push_back(t * 3 + 0);
        queue.push_back(t * 3 + 2);
        queue.push_back(u * 3 + 0);
        queue.push_back(u * 3 + 1);
    }
}
