// Closed-mesh checks for tests.
#include "support/mesh_checks.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <unordered_map>

namespace {

using P = std::array<double, 3>;

double orient(const P& a, const P& b, const P& c, const P& d) {
    const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    const double w[3] = {d[0] - a[0], d[1] - a[1], d[2] - a[2]};
    return u[0] * (v[1] * w[2] - v[2] * w[1]) - u[1] * (v[0] * w[2] - v[2] * w[0]) +
           u[2] * (v[0] * w[1] - v[1] * w[0]);
}

// Whether segment p-q passes through the inside of triangle a, b, c.
bool segment_through(const P& p, const P& q, const P& a, const P& b, const P& c) {
    const double sp = orient(a, b, c, p), sq = orient(a, b, c, q);
    if (!((sp > 0 && sq < 0) || (sp < 0 && sq > 0))) return false;
    const double s1 = orient(p, q, a, b), s2 = orient(p, q, b, c), s3 = orient(p, q, c, a);
    return (s1 > 0 && s2 > 0 && s3 > 0) || (s1 < 0 && s2 < 0 && s3 < 0);
}

int32_t find(std::vector<int32_t>& parent, int32_t i) {
    while (parent[size_t(i)] != i)
        i = parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
    return i;
}

}  // namespace

ShellCheck check_shells(const std::vector<std::array<double, 3>>& positions,
                        const std::vector<std::array<int32_t, 3>>& triangles) {
    ShellCheck check;
    std::map<std::pair<int32_t, int32_t>, int32_t> edges;  // directed edge -> its face
    bool repeated = false;
    for (size_t t = 0; t < triangles.size(); ++t)
        for (int k = 0; k < 3; ++k)
            repeated |=
                !edges.insert({{triangles[t][k], triangles[t][(k + 1) % 3]}, int32_t(t)}).second;
    std::vector<int32_t> parent(triangles.size());
    std::iota(parent.begin(), parent.end(), 0);
    bool paired = true;
    for (const auto& [edge, face] : edges) {
        const auto reverse = edges.find({edge.second, edge.first});
        if (reverse == edges.end()) {
            paired = false;
            continue;
        }
        parent[size_t(find(parent, face))] = find(parent, reverse->second);
    }
    check.closed = paired && !repeated && !triangles.empty();
    std::map<int32_t, double> volumes;
    for (size_t t = 0; t < triangles.size(); ++t) {
        const P& a = positions[size_t(triangles[t][0])];
        const P& b = positions[size_t(triangles[t][1])];
        const P& c = positions[size_t(triangles[t][2])];
        volumes[find(parent, int32_t(t))] += orient({0, 0, 0}, a, b, c) / 6;
    }
    check.components = int32_t(volumes.size());
    for (const auto& [root, volume] : volumes) {
        check.volume += volume;
        check.smallest_volume =
            root == volumes.begin()->first ? volume : std::min(check.smallest_volume, volume);
    }
    return check;
}

int32_t crossing_face_pairs(const std::vector<std::array<double, 3>>& positions,
                            const std::vector<std::array<int32_t, 3>>& triangles, double bucket) {
    using Key = std::array<int64_t, 3>;
    struct KeyHash {
        size_t operator()(const Key& k) const {
            return size_t(k[0] * 73856093 ^ k[1] * 19349663 ^ k[2] * 83492791);
        }
    };
    std::vector<P> low(triangles.size()), high(triangles.size());
    std::unordered_map<Key, std::vector<int32_t>, KeyHash> buckets;
    auto key_of = [&](const P& p) {
        return Key{int64_t(std::floor(p[0] / bucket)), int64_t(std::floor(p[1] / bucket)),
                   int64_t(std::floor(p[2] / bucket))};
    };
    for (size_t t = 0; t < triangles.size(); ++t) {
        low[t] = high[t] = positions[size_t(triangles[t][0])];
        for (int k = 1; k < 3; ++k) {
            for (int a = 0; a < 3; ++a) {
                low[t][a] = std::min(low[t][a], positions[size_t(triangles[t][k])][a]);
                high[t][a] = std::max(high[t][a], positions[size_t(triangles[t][k])][a]);
            }
        }
        const Key from = key_of(low[t]), to = key_of(high[t]);
        for (int64_t x = from[0]; x <= to[0]; ++x)
            for (int64_t y = from[1]; y <= to[1]; ++y)
                for (int64_t z = from[2]; z <= to[2]; ++z)
                    buckets[{x, y, z}].push_back(int32_t(t));
    }
    int32_t crossing = 0;
    for (const auto& [key, faces] : buckets) {
        for (size_t i = 0; i < faces.size(); ++i) {
            for (size_t j = i + 1; j < faces.size(); ++j) {
                const size_t a = size_t(faces[i]), b = size_t(faces[j]);
                // Boxes that meet, each pair tested in the one bucket that
                // holds the low corner of the boxes' common part.
                P corner;
                bool apart = false;
                for (int c = 0; c < 3; ++c) {
                    corner[c] = std::max(low[a][c], low[b][c]);
                    apart |= corner[c] > std::min(high[a][c], high[b][c]);
                }
                if (apart || key_of(corner) != key) continue;
                const auto& s = triangles[a];
                const auto& t = triangles[b];
                bool shared = false;
                for (int32_t u : s)
                    for (int32_t v : t)
                        shared |= u == v;
                if (shared) continue;
                auto at = [&](int32_t v) { return positions[size_t(v)]; };
                bool through = false;
                for (int k = 0; k < 3 && !through; ++k)
                    through =
                        segment_through(at(s[k]), at(s[(k + 1) % 3]), at(t[0]), at(t[1]),
                                        at(t[2])) ||
                        segment_through(at(t[k]), at(t[(k + 1) % 3]), at(s[0]), at(s[1]), at(s[2]));
                crossing += through;
            }
        }
    }
    return crossing;
}
