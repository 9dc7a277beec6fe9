// A body's front edges split at their midpoints, its back alike.
#include "geometry/split_body_edges.h"

#include <algorithm>
#include <vector>

namespace {

int64_t squared(int64_t dx, int64_t dy) {
    return dx * dx + dy * dy;
}

Vec4 midpoint(const Vec4& a, const Vec4& b) {
    // Arithmetic shifts: the same rounding on both sides of zero, on every build.
    return {(a.x + b.x) >> 1, (a.y + b.y) >> 1, (a.z + b.z) >> 1, 0};
}

}  // namespace

bool read_layout(const PartMesh& body, BodyLayout* layout) {
    BodyLayout l;
    l.count = int32_t(body.fine.size());
    l.front = body.front_count;
    l.rim = 2 * l.front - l.count;
    l.front_triangles = int32_t(body.triangles.size() / 2);
    if (l.rim < 0 || l.front > l.count || int32_t(body.vertices.size()) != l.count ||
        body.triangles.size() % 2 != 0)
        return false;
    for (int32_t i = 0; i < l.front_triangles; ++i) {
        const MeshTriangle& t = body.triangles[size_t(i)];
        const MeshTriangle& back = body.triangles[size_t(l.front_triangles + i)];
        for (int k = 0; k < 3; ++k)
            if (t.v[k] < 0 || t.v[k] >= l.front) return false;
        if (back.v[0] != l.twin(t.v[0]) || back.v[1] != l.twin(t.v[2]) ||
            back.v[2] != l.twin(t.v[1]))
            return false;
    }
    *layout = l;
    return true;
}

bool split_body_edges(const PartMesh& in, const BodyLayout& l, const EdgeSplitRule& rule,
                      PartMesh* out) {
    const auto* triangles = in.triangles.data();
    // The edges, each named by the first of its uses (triangle i's edge k is
    // use 3i + k): every use listed under its lower vertex, in order, so that
    // an edge's first use is the first in that list with the same upper one.
    // An edge of the outline has one use, an inner edge two.
    const auto uses = size_t(l.front_triangles) * 3;
    std::vector<int32_t> first_of_vertex(size_t(l.front) + 1, 0);
    for (size_t i = 0; i < size_t(l.front_triangles); ++i)
        for (int k = 0; k < 3; ++k) {
            const int32_t a = triangles[i].v[k], b = triangles[i].v[(k + 1) % 3];
            if (a < 0 || b < 0 || a >= l.front || b >= l.front) return false;
            ++first_of_vertex[size_t(std::min(a, b)) + 1];
        }
    for (size_t v = 0; v < size_t(l.front); ++v)
        first_of_vertex[v + 1] += first_of_vertex[v];
    // Beside each listed use its upper vertex, so that a list reads in order.
    std::vector<int32_t> listed(uses), listed_high(uses);
    std::vector<int32_t> fill(first_of_vertex.begin(), first_of_vertex.end() - 1);
    for (size_t i = 0, use = 0; i < size_t(l.front_triangles); ++i)
        for (int k = 0; k < 3; ++k, ++use) {
            const int32_t a = triangles[i].v[k], b = triangles[i].v[(k + 1) % 3];
            const auto at = size_t(fill[size_t(std::min(a, b))]++);
            listed[at] = int32_t(use);
            listed_high[at] = std::max(a, b);
        }
    // Per use, its edge's first use; per first use, how many uses its edge has.
    std::vector<int32_t> first_use(uses), use_count(uses, 0);
    for (size_t v = 0; v < size_t(l.front); ++v)
        for (int32_t k = first_of_vertex[v]; k < first_of_vertex[v + 1]; ++k) {
            int32_t j = first_of_vertex[v];
            while (listed_high[size_t(j)] != listed_high[size_t(k)])
                ++j;
            first_use[size_t(listed[size_t(k)])] = listed[size_t(j)];
            ++use_count[size_t(listed[size_t(j)])];
        }
    // The new vertices in the order their edges first come, each on the rim or
    // inside: slot >= 0 the k-th new rim vertex, < 0 the (-slot - 1)-th inner.
    struct Split {
        int32_t a, b, slot;
    };
    std::vector<Split> splits;
    std::vector<int32_t> split_of(uses, -1);  // per first use, its index in splits; -1 none
    int32_t new_rim = 0, new_inner = 0;
    for (size_t i = 0, use = 0; i < size_t(l.front_triangles); ++i)
        for (int k = 0; k < 3; ++k, ++use) {
            const int32_t a = triangles[i].v[k], b = triangles[i].v[(k + 1) % 3];
            if (first_use[use] != int32_t(use) || !rule(a, b)) continue;
            const bool on_rim = use_count[use] == 1;
            split_of[use] = int32_t(splits.size());
            splits.push_back({a, b, on_rim ? new_rim++ : -(++new_inner)});
        }
    if (splits.empty()) return false;
    // The new layout: old rim, new rim, old inner, new inner, old back, new back.
    const int32_t rim = l.rim + new_rim;
    const int32_t front = l.front + new_rim + new_inner;
    const int32_t count = l.count + new_rim + 2 * new_inner;
    auto moved = [&](int32_t v) {
        return v < l.rim ? v : v < l.front ? v + new_rim : v + new_rim + new_inner;
    };
    auto placed = [&](const Split& s) {
        return s.slot >= 0 ? l.rim + s.slot : l.front + new_rim + (-s.slot - 1);
    };
    auto twin = [&](int32_t v) { return v < rim ? v : front + (v - rim); };
    out->fine.assign(size_t(count), Vec4{0, 0, 0, 0});
    for (int32_t v = 0; v < l.count; ++v)
        out->fine[size_t(moved(v))] = in.fine[size_t(v)];
    for (const Split& s : splits) {
        const int32_t at = placed(s);
        out->fine[size_t(at)] = midpoint(in.fine[size_t(s.a)], in.fine[size_t(s.b)]);
        if (at >= rim)
            out->fine[size_t(twin(at))] =
                midpoint(in.fine[size_t(l.twin(s.a))], in.fine[size_t(l.twin(s.b))]);
    }
    // A front triangle (a, b, c) cut along its split edges, turning as it did.
    std::vector<MeshTriangle> front_triangles;
    front_triangles.reserve(size_t(l.front_triangles) * 2);
    auto cut = [&](size_t use) {
        const int32_t s = split_of[size_t(first_use[use])];
        return s < 0 ? -1 : placed(splits[size_t(s)]);
    };
    for (int32_t i = 0; i < l.front_triangles; ++i) {
        int32_t v[3], m[3];  // corners, and the new vertex on edge k (v[k], v[k + 1]) or -1
        for (int k = 0; k < 3; ++k)
            m[k] = cut(size_t(i) * 3 + size_t(k));
        for (int k = 0; k < 3; ++k)
            v[k] = moved(triangles[i].v[k]);
        const int count_split = (m[0] >= 0) + (m[1] >= 0) + (m[2] >= 0);
        // Turned so that a lone split edge is edge 0, or a lone whole one edge 2.
        int turn = 0;
        if (count_split == 1) turn = m[0] >= 0 ? 0 : m[1] >= 0 ? 1 : 2;
        if (count_split == 2) turn = m[2] < 0 ? 0 : m[0] < 0 ? 1 : 2;
        const int32_t a = v[turn], b = v[(turn + 1) % 3], c = v[(turn + 2) % 3];
        const int32_t ab = m[turn], bc = m[(turn + 1) % 3], ca = m[(turn + 2) % 3];
        auto add = [&](int32_t p, int32_t q, int32_t r) { front_triangles.push_back({{p, q, r}}); };
        if (count_split == 0) {
            add(a, b, c);
        } else if (count_split == 1) {
            add(a, ab, c);
            add(ab, b, c);
        } else if (count_split == 2) {
            // The corner beyond the two cuts, then the rest cut along its shorter
            // diagonal, so that no needle is left where a wide triangle will do.
            add(ab, b, bc);
            auto across = [&](int32_t p, int32_t q) {
                const Vec4& u = out->fine[size_t(p)];
                const Vec4& w = out->fine[size_t(q)];
                return squared(int64_t(u.x) - w.x, int64_t(u.y) - w.y);
            };
            if (across(a, bc) <= across(ab, c)) {
                add(a, ab, bc);
                add(a, bc, c);
            } else {
                add(a, ab, c);
                add(ab, bc, c);
            }
        } else {
            add(a, ab, ca);
            add(ab, b, bc);
            add(ca, bc, c);
            add(ab, bc, ca);
        }
    }
    out->triangles.clear();
    out->triangles.reserve(front_triangles.size() * 2);
    out->triangles.insert(out->triangles.end(), front_triangles.begin(), front_triangles.end());
    for (const MeshTriangle& t : front_triangles)
        out->triangles.push_back({{twin(t.v[0]), twin(t.v[2]), twin(t.v[1])}});
    // The old vertices keep the whole positions they were drawn at (a body's
    // rim is drawn on the pixels of its outline); the new ones are rounded.
    out->vertices.resize(size_t(count));
    for (int32_t v = 0; v < count; ++v)
        out->vertices[size_t(v)] = round_fine_position(out->fine[size_t(v)]);
    for (int32_t v = 0; v < l.count; ++v)
        out->vertices[size_t(moved(v))] = in.vertices[size_t(v)];
    out->front_count = front;
    out->entered_by_triangle = false;
    out->normals.clear();
    return true;
}
