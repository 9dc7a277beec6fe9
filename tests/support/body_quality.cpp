// Outline masks and body figures for tests and benchmarks.
#include "support/body_quality.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

#include "geometry/region_distance.h"

namespace {

struct V3 {
    double x, y, z;
};
V3 sub(V3 a, V3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V3 cross(V3 a, V3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(V3 a, V3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double norm(V3 a) {
    return std::sqrt(dot(a, a));
}
double angle_between(V3 a, V3 b) {
    double c = dot(a, b) / (norm(a) * norm(b));
    return std::acos(std::clamp(c, -1.0, 1.0)) * 180 / M_PI;
}
double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = size_t(std::floor(p * double(v.size() - 1) + 0.5));
    return v[std::min(i, v.size() - 1)];
}

bool in_capsule(double x, double y, double ax, double ay, double bx, double by, double r) {
    double ex = bx - ax, ey = by - ay;
    double t = std::clamp(((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey), 0.0, 1.0);
    double dx = x - ax - t * ex, dy = y - ay - t * ey;
    return dx * dx + dy * dy <= r * r;
}

bool in_polygon(double x, double y, const std::vector<std::pair<double, double>>& p) {
    bool in = false;
    for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
        if ((p[i].second > y) != (p[j].second > y) &&
            x < (p[j].first - p[i].first) * (y - p[i].second) / (p[j].second - p[i].second) +
                    p[i].first)
            in = !in;
    }
    return in;
}

// The rim's edges as the front runs them: a to b, c the third corner of the
// front triangle, and the crease between it and the back triangle.
struct RimEdge {
    int32_t a, b, c;
    double crease;
};

// The points of the rim where it turns by more than 40 degrees between the
// points 6 px behind and ahead along it.
std::vector<V3> sharp_turns(const std::vector<V3>& p, const std::vector<RimEdge>& edges) {
    std::map<int32_t, int32_t> next;
    for (const RimEdge& e : edges)
        next[e.a] = e.b;
    std::vector<V3> sharp;
    std::map<int32_t, bool> seen;
    for (const auto& [start, unused] : next) {
        if (seen[start]) continue;
        std::vector<int32_t> loop;
        for (int32_t v = start; !seen[v] && next.count(v) != 0; v = next[v]) {
            seen[v] = true;
            loop.push_back(v);
        }
        size_t n = loop.size();
        if (n < 3) continue;
        auto plane = [&](size_t i, size_t j) {
            return std::hypot(p[size_t(loop[i])].x - p[size_t(loop[j])].x,
                              p[size_t(loop[i])].y - p[size_t(loop[j])].y);
        };
        for (size_t i = 0; i < n; ++i) {
            size_t back = i, ahead = i;
            double behind = 0, before = 0;
            for (size_t k = 0; k < n && behind < 6; ++k, back = (back + n - 1) % n)
                behind += plane(back, (back + n - 1) % n);
            for (size_t k = 0; k < n && before < 6; ++k, ahead = (ahead + 1) % n)
                before += plane(ahead, (ahead + 1) % n);
            const V3& a = p[size_t(loop[back])];
            const V3& b = p[size_t(loop[i])];
            const V3& c = p[size_t(loop[ahead])];
            double turn = std::atan2((b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x),
                                     (b.x - a.x) * (c.x - b.x) + (b.y - a.y) * (c.y - b.y));
            if (std::fabs(turn) > 40 * M_PI / 180) sharp.push_back(b);
        }
    }
    return sharp;
}

// The half-width of the drawn region at a rim edge: walking inward from its
// middle, the largest distance to the outside met while a disc centred
// there still reaches back to the start.
double half_width(const DistanceField& field, const std::vector<V3>& p, const RimEdge& e) {
    const V3& a = p[size_t(e.a)];
    const V3& b = p[size_t(e.b)];
    const V3& c = p[size_t(e.c)];
    double mx = 0.5 * (a.x + b.x), my = 0.5 * (a.y + b.y);
    double nx = a.y - b.y, ny = b.x - a.x, length = std::hypot(nx, ny);
    if (length == 0) return 0;
    nx /= length, ny /= length;
    if ((c.x - mx) * nx + (c.y - my) * ny < 0) nx = -nx, ny = -ny;
    double best = 0;
    for (double t = 0.25; t < 2000; t += 0.25) {
        double d = edge_distance(field, (mx + nx * t) * FINE_ONE, (my + ny * t) * FINE_ONE);
        if (d <= 0) {
            if (t > 1.5) break;
            continue;  // the rim's own pixel may lie outside
        }
        best = std::max(best, d);
        if (d < t - 1.5) break;
    }
    return best;
}

}  // namespace

std::vector<BodyOutline> body_outlines() {
    std::vector<BodyOutline> out;
    out.push_back({"disc", [](double x, double y) { return x * x + y * y <= 110.0 * 110.0; }});
    out.push_back({"small disc", [](double x, double y) { return x * x + y * y <= 45.0 * 45.0; }});
    out.push_back({"ellipse", [](double x, double y) {
                       return (x / 160) * (x / 160) + (y / 90) * (y / 90) <= 1;
                   }});
    std::vector<std::pair<double, double>> star;
    for (int i = 0; i < 10; ++i) {
        double a = M_PI * i / 5 - M_PI / 2, r = i % 2 == 0 ? 150 : 60;
        star.push_back({r * std::cos(a), r * std::sin(a)});
    }
    out.push_back({"star", [star](double x, double y) { return in_polygon(x, y, star); }});
    std::vector<std::pair<double, double>> heart;
    for (int i = 0; i < 200; ++i) {
        double t = 2 * M_PI * i / 200, s = std::sin(t);
        heart.push_back({9 * 16 * s * s * s, -9 * (13 * std::cos(t) - 5 * std::cos(2 * t) -
                                                   2 * std::cos(3 * t) - std::cos(4 * t)) -
                                                 20});
    }
    out.push_back({"heart", [heart](double x, double y) { return in_polygon(x, y, heart); }});
    out.push_back({"hand", [](double x, double y) {
                       if ((x / 75) * (x / 75) + ((y - 60) / 85) * ((y - 60) / 85) <= 1)
                           return true;
                       // Fingers 22 px wide whose gaps open from 6 px at the palm.
                       const double fingers[5][4] = {{-62, 40, -150, -30},
                                                     {-33, -10, -60, -170},
                                                     {0, -10, 0, -190},
                                                     {33, -10, 60, -170},
                                                     {62, 20, 130, -100}};
                       for (const auto& f : fingers)
                           if (in_capsule(x, y, f[0], f[1], f[2], f[3], 11)) return true;
                       return false;
                   }});
    out.push_back({"letter S", [](double x, double y) {
                       double r1 = std::hypot(x, y + 60), r2 = std::hypot(x, y - 60);
                       bool upper = r1 >= 38 && r1 <= 82 && !(x > 0 && y > -60 && y < -10);
                       bool lower = r2 >= 38 && r2 <= 82 && !(x < 0 && y < 60 && y > 10);
                       return (upper && y <= -60 + 82 && !(y > -60 && x > 0)) ||
                              (lower && !(y < 60 && x < 0)) || (upper && y <= -60) ||
                              (upper && x <= 0 && y < -20) || (lower && y >= 60) ||
                              (lower && x >= 0 && y > 20);
                   }});
    out.push_back(
        {"band", [](double x, double y) { return std::fabs(x) <= 160 && std::fabs(y) < 22; }});
    out.push_back({"L", [](double x, double y) {
                       return (x >= -100 && x <= -40 && y >= -150 && y <= 150) ||
                              (x >= -100 && x <= 150 && y >= 90 && y <= 150);
                   }});
    BodyOutline ring = {"ring", [](double x, double y) {
                            double r = x * x + y * y;
                            return r <= 150.0 * 150.0 && r >= 60.0 * 60.0;
                        }};
    ring.holes = 1;
    out.push_back(ring);
    return out;
}

std::vector<BodyOutline> drawing_outlines() {
    auto disc = [](double x, double y, double cx, double cy, double r) {
        return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    };
    auto oval = [](double x, double y, double cx, double cy, double rx, double ry) {
        return ((x - cx) / rx) * ((x - cx) / rx) + ((y - cy) / ry) * ((y - cy) / ry) <= 1;
    };
    std::vector<BodyOutline> out;
    out.push_back({"rabbit", [=](double x, double y) {
                       return oval(x, y, 0, 70, 80, 95) || disc(x, y, 0, -55, 50) ||
                              in_capsule(x, y, -20, -95, -38, -215, 11) ||
                              in_capsule(x, y, 20, -95, 38, -215, 11);
                   }});
    std::vector<std::pair<double, double>> left_ear = {{-105, -30}, {-90, -90}, {-65, -45}};
    std::vector<std::pair<double, double>> right_ear = {{-75, -50}, {-40, -85}, {-35, -30}};
    out.push_back({"cat", [=](double x, double y) {
                       return oval(x, y, 30, 60, 100, 65) || disc(x, y, -70, 0, 50) ||
                              in_polygon(x, y, left_ear) || in_polygon(x, y, right_ear) ||
                              in_capsule(x, y, 120, 60, 205, -90, 4);
                   }});
    std::vector<std::pair<double, double>> tail = {{105, 0}, {190, -65}, {175, 0}, {190, 65}};
    std::vector<std::pair<double, double>> top_fin = {{-20, -50}, {25, -52}, {70, -115}};
    std::vector<std::pair<double, double>> low_fin = {{-10, 50}, {15, 50}, {45, 100}};
    out.push_back({"fish", [=](double x, double y) {
                       return oval(x, y, 0, 0, 125, 58) || in_polygon(x, y, tail) ||
                              in_polygon(x, y, top_fin) || in_polygon(x, y, low_fin);
                   }});
    out.push_back({"stick person", [=](double x, double y) {
                       return disc(x, y, 0, -140, 30) || in_capsule(x, y, 0, -115, 0, 40, 6) ||
                              in_capsule(x, y, 0, -70, -85, -15, 6) ||
                              in_capsule(x, y, 0, -70, 85, -15, 6) ||
                              in_capsule(x, y, 0, 40, -60, 165, 6) ||
                              in_capsule(x, y, 0, 40, 60, 165, 6);
                   }});
    out.push_back({"mushroom", [=](double x, double y) {
                       return (y <= -10 && oval(x, y, 0, -10, 140, 95)) ||
                              in_capsule(x, y, 0, -10, 0, 120, 38);
                   }});
    out.push_back({"wobbly circle", [](double x, double y) {
                       double a = std::atan2(y, x);
                       double r = 100 + 8 * std::sin(5 * a) + 5 * std::sin(3 * a + 1);
                       return x * x + y * y <= r * r;
                   }});
    out.push_back({"20-px blob", [](double x, double y) {
                       double a = std::atan2(y, x);
                       double r = 10 + 0.8 * std::sin(3 * a);
                       return x * x + y * y <= r * r;
                   }});
    out.push_back(
        {"near-full-screen", [=](double x, double y) { return oval(x, y, 0, 0, 246, 229); }});
    BodyOutline neck3 = {"3-px neck", [=](double x, double y) {
                             return disc(x, y, -90, 0, 70) || disc(x, y, 90, 0, 70) ||
                                    (std::fabs(x) <= 25 && std::fabs(y) <= 1.5);
                         }};
    out.push_back(neck3);
    out.push_back({"5-px neck", [=](double x, double y) {
                       return disc(x, y, -90, 0, 70) || disc(x, y, 90, 0, 70) ||
                              (std::fabs(x) <= 25 && std::fabs(y) <= 2.5);
                   }});
    out.push_back({"cloud", [=](double x, double y) {
                       return disc(x, y, -95, 20, 55) || disc(x, y, -30, -30, 70) ||
                              disc(x, y, 50, -20, 65) || disc(x, y, 115, 30, 50) ||
                              disc(x, y, 0, 40, 60);
                   }});
    std::vector<std::pair<double, double>> star;
    for (int i = 0; i < 10; ++i) {
        double a = M_PI * i / 5 - M_PI / 2, r = i % 2 == 0 ? 165 : 55;
        star.push_back({r * std::cos(a), r * std::sin(a)});
    }
    out.push_back({"sharp star", [star](double x, double y) { return in_polygon(x, y, star); }});
    return out;
}

RegionMask outline_mask(const BodyOutline& outline) {
    RegionMask mask;
    mask.width = SCREEN_W;
    mask.height = SCREEN_H;
    mask.origin_x = -(SCREEN_W >> 1);
    mask.origin_y = -(SCREEN_H >> 1);
    mask.inside.assign(size_t(SCREEN_W) * SCREEN_H, 0);
    for (int32_t r = 0; r < SCREEN_H; ++r)
        for (int32_t c = 0; c < SCREEN_W; ++c)
            mask.inside[size_t(r) * SCREEN_W + size_t(c)] =
                outline.inside(mask.origin_x + c, mask.origin_y + r) ? 1 : 0;
    return mask;
}

BodyQuality measure_body(const BodyShell& body, const RegionMask* drawn) {
    BodyQuality q;
    q.triangles = int32_t(body.triangles.size());
    q.vertices = int32_t(body.vertices.size());
    std::vector<V3> p;
    for (const Vec4& v : body.vertices)
        p.push_back({double(v.x) / FINE_ONE, double(v.y) / FINE_ONE, double(v.z) / FINE_ONE});
    std::vector<uint8_t> rim(p.size(), 0);
    for (int32_t i = 0; i < body.front_count; ++i)
        if (body.back_of[size_t(i)] == i) rim[size_t(i)] = 1;
    std::vector<V3> normal;
    std::vector<double> min_angles;
    for (const MeshTriangle& t : body.triangles) {
        V3 a = p[size_t(t.v[0])], b = p[size_t(t.v[1])], c = p[size_t(t.v[2])];
        normal.push_back(cross(sub(b, a), sub(c, a)));
        double A = angle_between(sub(b, a), sub(c, a)), B = angle_between(sub(a, b), sub(c, b));
        min_angles.push_back(std::min({A, B, 180 - A - B}));
    }
    q.min_angle_p5 = percentile(min_angles, 0.05);
    std::map<std::pair<int32_t, int32_t>, int32_t> directed;
    q.closed = true;
    for (size_t t = 0; t < body.triangles.size(); ++t)
        for (int k = 0; k < 3; ++k) {
            auto key = std::make_pair(body.triangles[t].v[k], body.triangles[t].v[(k + 1) % 3]);
            if (!directed.emplace(key, int32_t(t)).second) q.closed = false;
        }
    std::vector<double> all, inner, crease;
    struct Edge {
        int32_t a, b;
        double angle;
    };
    std::vector<Edge> edges;
    std::vector<RimEdge> rim_edges;
    std::vector<int32_t> parent(body.triangles.size());
    std::iota(parent.begin(), parent.end(), 0);
    std::function<int32_t(int32_t)> root = [&](int32_t x) {
        return parent[size_t(x)] == x ? x : parent[size_t(x)] = root(parent[size_t(x)]);
    };
    for (const auto& [key, t] : directed) {
        auto other = directed.find({key.second, key.first});
        if (other == directed.end()) {
            q.closed = false;
            continue;
        }
        parent[size_t(root(t))] = root(other->second);
        if (key.first > key.second) continue;
        double angle = angle_between(normal[size_t(t)], normal[size_t(other->second)]);
        all.push_back(angle);
        edges.push_back({key.first, key.second, angle});
        bool front_t = t < int32_t(body.triangles.size() / 2);
        bool front_o = other->second < int32_t(body.triangles.size() / 2);
        if (front_t != front_o) {
            crease.push_back(angle);
            // As the front triangle runs the edge.
            int32_t f = front_t ? t : other->second;
            const MeshTriangle& tri = body.triangles[size_t(f)];
            int32_t c = tri.v[0] + tri.v[1] + tri.v[2] - key.first - key.second;
            bool forward = directed.at(key) == f;
            rim_edges.push_back(
                {forward ? key.first : key.second, forward ? key.second : key.first, c, angle});
        }
        if (rim[size_t(key.first)] == 0 && rim[size_t(key.second)] == 0) inner.push_back(angle);
    }
    q.dihedral_p95 = percentile(all, 0.95);
    q.dihedral_max = all.empty() ? 0 : *std::max_element(all.begin(), all.end());
    q.inner_dihedral_p95 = percentile(inner, 0.95);
    q.rim_crease_median = percentile(crease, 0.5);
    if (drawn != nullptr) {
        std::vector<V3> sharp = sharp_turns(p, rim_edges);
        for (const Edge& e : edges) {
            if (e.angle <= q.turn_dihedral_max) continue;
            double mx = 0.5 * (p[size_t(e.a)].x + p[size_t(e.b)].x);
            double my = 0.5 * (p[size_t(e.a)].y + p[size_t(e.b)].y);
            for (const V3& s : sharp)
                if (std::hypot(mx - s.x, my - s.y) <= 8) {
                    q.turn_dihedral_max = e.angle;
                    break;
                }
        }
        DistanceField field = region_distance_field(*drawn);
        std::vector<double> thin;
        for (const RimEdge& e : rim_edges)
            if (half_width(field, p, e) < 12) thin.push_back(e.crease);
        // A few such edges by a notch are no thin part.
        if (thin.size() >= 16) {
            q.thin_crease_median = percentile(thin, 0.5);
            q.thin_rim_edges = int32_t(thin.size());
        }
    }
    // Pieces: Euler characteristic and volume of each.
    std::map<int32_t, std::vector<int32_t>> pieces;
    for (size_t t = 0; t < body.triangles.size(); ++t)
        pieces[root(int32_t(t))].push_back(int32_t(t));
    q.components = int32_t(pieces.size());
    q.every_piece_has_volume = true;
    for (const auto& [r, list] : pieces) {
        std::vector<int32_t> used;
        double volume = 0;
        for (int32_t t : list) {
            const MeshTriangle& tri = body.triangles[size_t(t)];
            used.insert(used.end(), tri.v, tri.v + 3);
            volume += dot(p[size_t(tri.v[0])], cross(p[size_t(tri.v[1])], p[size_t(tri.v[2])]));
        }
        std::sort(used.begin(), used.end());
        used.erase(std::unique(used.begin(), used.end()), used.end());
        int32_t euler = int32_t(used.size()) - int32_t(list.size() * 3 / 2) + int32_t(list.size());
        q.genus_total += (2 - euler) / 2;
        // Outward faces give a negative sum (see inflate_test.cpp).
        if (!(volume < -1e-6)) q.every_piece_has_volume = false;
    }
    // Heights of the front vertices next to the rim.
    std::vector<double> ring1;
    std::vector<uint8_t> near(p.size(), 0);
    for (size_t t = 0; t < body.triangles.size() / 2; ++t) {
        const MeshTriangle& tri = body.triangles[t];
        for (int k = 0; k < 3; ++k)
            if (rim[size_t(tri.v[k])] != 0)
                for (int j = 0; j < 3; ++j)
                    if (rim[size_t(tri.v[j])] == 0) near[size_t(tri.v[j])] = 1;
    }
    for (size_t i = 0; i < p.size(); ++i)
        if (near[i] != 0) ring1.push_back(-p[i].z);
    if (!ring1.empty()) {
        double mean = std::accumulate(ring1.begin(), ring1.end(), 0.0) / double(ring1.size());
        double var = 0;
        for (double h : ring1)
            var += (h - mean) * (h - mean);
        q.ring1_cv = std::sqrt(var / double(ring1.size())) / mean;
    }
    // Sphere: centred on the rim's centroid at depth 0, radius its mean.
    double cx = 0, cy = 0, n = 0;
    for (size_t i = 0; i < p.size(); ++i)
        if (rim[i] != 0) cx += p[i].x, cy += p[i].y, n += 1;
    if (n > 0) {
        cx /= n, cy /= n;
        double r = 0;
        for (size_t i = 0; i < p.size(); ++i)
            if (rim[i] != 0) r += std::hypot(p[i].x - cx, p[i].y - cy);
        r /= n;
        double sum = 0;
        for (const V3& v : p) {
            double d = std::sqrt((v.x - cx) * (v.x - cx) + (v.y - cy) * (v.y - cy) + v.z * v.z) - r;
            sum += d * d;
        }
        q.sphere_rms = std::sqrt(sum / double(p.size())) / r;
        // Band: the section of the middle third about the line y = cy.
        double half = 0;
        double sumb = 0, nb = 0;
        for (size_t i = 0; i < p.size(); ++i)
            if (rim[i] != 0) half = std::max(half, std::fabs(p[i].y - cy));
        double xmin = 1e300, xmax = -1e300;
        for (size_t i = 0; i < p.size(); ++i)
            if (rim[i] != 0) xmin = std::min(xmin, p[i].x), xmax = std::max(xmax, p[i].x);
        for (const V3& v : p) {
            if (std::fabs(v.x - cx) > (xmax - xmin) / 6) continue;
            double d = std::hypot(v.y - cy, v.z) - half;
            sumb += d * d;
            nb += 1;
        }
        if (nb > 0 && half > 0) q.section_rms = std::sqrt(sumb / nb) / half;
    }
    return q;
}
