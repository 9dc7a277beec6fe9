// Barycentric sampling of a sheet's relief, through buckets of 16 pixels.
#include "geometry/sample_relief.h"

#include <algorithm>
#include <cmath>

std::vector<int32_t> sample_relief(const std::vector<Vec4>& sheet_vertices,
                                   const std::vector<MeshTriangle>& sheet_triangles,
                                   const std::vector<Point2>& points) {
    std::vector<int32_t> relief(points.size(), 0);
    bool flat = true;
    for (const Vec4& v : sheet_vertices)
        flat = flat && v.z == 0;
    if (flat || sheet_vertices.empty()) return relief;

    constexpr int64_t BUCKET = 16;  // model units
    int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    for (const Vec4& v : sheet_vertices) {
        x0 = std::min<int64_t>(x0, v.x), x1 = std::max<int64_t>(x1, v.x);
        y0 = std::min<int64_t>(y0, v.y), y1 = std::max<int64_t>(y1, v.y);
    }
    auto columns = int32_t((x1 - x0) / BUCKET + 1), rows = int32_t((y1 - y0) / BUCKET + 1);
    auto column = [&](double x) {
        return int32_t(std::clamp<double>(std::floor((x - double(x0)) / BUCKET), 0, columns - 1));
    };
    auto row = [&](double y) {
        return int32_t(std::clamp<double>(std::floor((y - double(y0)) / BUCKET), 0, rows - 1));
    };
    std::vector<std::vector<int32_t>> triangles_in(size_t(columns) * size_t(rows));
    std::vector<std::vector<int32_t>> vertices_in(size_t(columns) * size_t(rows));
    for (size_t t = 0; t < sheet_triangles.size(); ++t) {
        int64_t tx0 = INT64_MAX, ty0 = INT64_MAX, tx1 = INT64_MIN, ty1 = INT64_MIN;
        for (int32_t v : sheet_triangles[t].v) {
            const Vec4& p = sheet_vertices[size_t(v)];
            tx0 = std::min<int64_t>(tx0, p.x), tx1 = std::max<int64_t>(tx1, p.x);
            ty0 = std::min<int64_t>(ty0, p.y), ty1 = std::max<int64_t>(ty1, p.y);
        }
        for (int32_t r = row(double(ty0)); r <= row(double(ty1)); ++r)
            for (int32_t k = column(double(tx0)); k <= column(double(tx1)); ++k)
                triangles_in[size_t(r) * size_t(columns) + size_t(k)].push_back(int32_t(t));
    }
    for (size_t v = 0; v < sheet_vertices.size(); ++v)
        vertices_in[size_t(row(sheet_vertices[v].y)) * size_t(columns) +
                    size_t(column(sheet_vertices[v].x))]
            .push_back(int32_t(v));

    for (size_t i = 0; i < points.size(); ++i) {
        double px = double(points[i].x) / FINE_ONE, py = double(points[i].y) / FINE_ONE;
        int32_t r = row(py), k = column(px);
        bool found = false;
        for (int32_t t : triangles_in[size_t(r) * size_t(columns) + size_t(k)]) {
            const Vec4& a = sheet_vertices[size_t(sheet_triangles[size_t(t)].v[0])];
            const Vec4& b = sheet_vertices[size_t(sheet_triangles[size_t(t)].v[1])];
            const Vec4& c = sheet_vertices[size_t(sheet_triangles[size_t(t)].v[2])];
            double area =
                double(b.x - a.x) * double(c.y - a.y) - double(b.y - a.y) * double(c.x - a.x);
            if (area == 0) continue;
            double wb = ((px - a.x) * double(c.y - a.y) - (py - a.y) * double(c.x - a.x)) / area;
            double wc = (double(b.x - a.x) * (py - a.y) - double(b.y - a.y) * (px - a.x)) / area;
            double wa = 1 - wb - wc;
            if (wa < 0 || wb < 0 || wc < 0) continue;
            relief[i] = int32_t(std::lround((wa * a.z + wb * b.z + wc * c.z) * FINE_ONE));
            found = true;
            break;
        }
        if (found) continue;
        // The nearest vertex, searched in growing rings of buckets.
        double best = 1e300;
        int32_t best_vertex = -1;
        for (int32_t ring = 0; ring <= std::max(columns, rows); ++ring) {
            double reach = double(ring - 1) * BUCKET;
            if (best_vertex >= 0 && ring > 1 && best <= reach * reach) break;
            for (int32_t rr = r - ring; rr <= r + ring; ++rr) {
                if (rr < 0 || rr >= rows) continue;
                for (int32_t kk = k - ring; kk <= k + ring; ++kk) {
                    if (kk < 0 || kk >= columns) continue;
                    if (std::max(std::abs(rr - r), std::abs(kk - k)) != ring) continue;
                    for (int32_t v : vertices_in[size_t(rr) * size_t(columns) + size_t(kk)]) {
                        double dx = sheet_vertices[size_t(v)].x - px,
                               dy = sheet_vertices[size_t(v)].y - py;
                        double d = dx * dx + dy * dy;
                        if (d < best) {
                            best = d;
                            best_vertex = v;
                        }
                    }
                }
            }
        }
        if (best_vertex >= 0) relief[i] = sheet_vertices[size_t(best_vertex)].z * FINE_ONE;
    }
    return relief;
}
