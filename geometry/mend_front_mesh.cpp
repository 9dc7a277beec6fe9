// Mending of the front surface: chords split, pieces without volume dropped.
#include "geometry/mend_front_mesh.h"

#include <algorithm>
#include <numeric>

#include "geometry/constrained_delaunay.h"

namespace {

struct EdgeUse {
    int32_t a, b;  // a < b
    int32_t triangle;
};

// Undirected edges with the triangles that use them, sorted: counted out by
// their lower end, then each vertex's few sorted by the other end.
std::vector<EdgeUse> edge_uses(const std::vector<MeshTriangle>& triangles) {
    int32_t most = -1;
    for (const MeshTriangle& t : triangles)
        for (int32_t v : t.v)
            most = std::max(most, v);
    std::vector<int32_t> first(size_t(most) + 2, 0);
    for (const MeshTriangle& t : triangles)
        for (int k = 0; k < 3; ++k)
            ++first[size_t(std::min(t.v[k], t.v[(k + 1) % 3])) + 1];
    for (size_t i = 1; i < first.size(); ++i)
        first[i] += first[i - 1];
    std::vector<EdgeUse> uses(triangles.size() * 3);
    std::vector<int32_t> fill(first.begin(), first.end() - 1);
    for (size_t t = 0; t < triangles.size(); ++t)
        for (int k = 0; k < 3; ++k) {
            int32_t a = triangles[t].v[k], b = triangles[t].v[(k + 1) % 3];
            uses[size_t(fill[size_t(std::min(a, b))]++)] = {std::min(a, b), std::max(a, b),
                                                            int32_t(t)};
        }
    // A vertex's few uses came in the triangles' order; insertion sort by
    // the other end keeps that order among equal ends.
    for (size_t v = 0; v + 1 < first.size(); ++v) {
        auto begin = uses.begin() + first[v], end = uses.begin() + first[v + 1];
        for (auto e = begin; e != end; ++e)
            for (auto f = e; f != begin && (f - 1)->b > f->b; --f)
                std::swap(*(f - 1), *f);
    }
    return uses;
}

void find_rim(FrontMesh* mesh, const std::vector<EdgeUse>& uses) {
    mesh->rim.assign(mesh->points.size(), 0);
    for (size_t i = 0; i < uses.size();) {
        size_t j = i + 1;
        while (j < uses.size() && uses[j].a == uses[i].a && uses[j].b == uses[i].b)
            ++j;
        if (j - i == 1) mesh->rim[size_t(uses[i].a)] = mesh->rim[size_t(uses[i].b)] = 1;
        i = j;
    }
}

int32_t find_root(std::vector<int32_t>& parent, int32_t x) {
    while (parent[size_t(x)] != x) {
        parent[size_t(x)] = parent[size_t(parent[size_t(x)])];
        x = parent[size_t(x)];
    }
    return x;
}

// Splits every chord whose two triangles no other chord of this pass touches;
// false when none was split (none is left, or none can be). `uses` becomes
// the edge uses of the triangles as they were, so, when none was split, as
// they are.
bool split_chords(FrontMesh* mesh, std::vector<uint8_t>* unsplittable,
                  std::vector<EdgeUse>* edge_uses_before) {
    *edge_uses_before = edge_uses(mesh->triangles);
    const std::vector<EdgeUse>& uses = *edge_uses_before;
    find_rim(mesh, uses);
    std::vector<uint8_t> touched(mesh->triangles.size(), 0);
    bool any = false;
    for (size_t i = 0; i + 1 < uses.size(); ++i) {
        const EdgeUse& e = uses[i];
        const EdgeUse& f = uses[i + 1];
        if (f.a != e.a || f.b != e.b) continue;
        if (mesh->rim[size_t(e.a)] == 0 || mesh->rim[size_t(e.b)] == 0) continue;
        if ((*unsplittable)[size_t(e.triangle)] != 0 || touched[size_t(e.triangle)] != 0 ||
            touched[size_t(f.triangle)] != 0)
            continue;
        const Point2& pa = mesh->points[size_t(e.a)];
        const Point2& pb = mesh->points[size_t(e.b)];
        // Arithmetic shifts: both halves round down alike.
        Point2 m = {int32_t((int64_t(pa.x) + pb.x) >> 1), int32_t((int64_t(pa.y) + pb.y) >> 1)};
        auto index = int32_t(mesh->points.size());
        MeshTriangle replaced[4];
        bool sound = true;
        int n = 0;
        for (int32_t t : {e.triangle, f.triangle}) {
            const MeshTriangle& tri = mesh->triangles[size_t(t)];
            // The corner after which the chord runs.
            int k = 0;
            while (!((tri.v[k] == e.a && tri.v[(k + 1) % 3] == e.b) ||
                     (tri.v[k] == e.b && tri.v[(k + 1) % 3] == e.a)))
                ++k;
            int32_t u = tri.v[k], w = tri.v[(k + 1) % 3], c = tri.v[(k + 2) % 3];
            const Point2& pu = mesh->points[size_t(u)];
            const Point2& pw = mesh->points[size_t(w)];
            const Point2& pc = mesh->points[size_t(c)];
            sound = sound && orient2(pu, m, pc) > 0 && orient2(m, pw, pc) > 0;
            replaced[n++] = {{u, index, c}};
            replaced[n++] = {{index, w, c}};
        }
        if (!sound) {
            (*unsplittable)[size_t(e.triangle)] = 1;
            continue;
        }
        touched[size_t(e.triangle)] = touched[size_t(f.triangle)] = 1;
        mesh->points.push_back(m);
        mesh->edge.push_back(0);
        mesh->radius.push_back(0.5 * (mesh->radius[size_t(e.a)] + mesh->radius[size_t(e.b)]));
        mesh->triangles[size_t(e.triangle)] = replaced[0];
        mesh->triangles[size_t(f.triangle)] = replaced[2];
        mesh->triangles.push_back(replaced[1]);
        mesh->triangles.push_back(replaced[3]);
        any = true;
    }
    unsplittable->resize(mesh->triangles.size(), 0);
    return any;
}

}  // namespace

FrontMesh mend_front_mesh(const BodyPoints& placed, const std::vector<MeshTriangle>& triangles) {
    FrontMesh mesh;
    mesh.points = placed.points;
    mesh.edge = placed.edge;
    mesh.radius = placed.radius;
    mesh.triangles = triangles;
    std::vector<uint8_t> unsplittable(mesh.triangles.size(), 0);
    std::vector<EdgeUse> uses;
    bool split = true;
    for (int pass = 0; pass < 16 && split; ++pass)
        split = split_chords(&mesh, &unsplittable, &uses);
    if (split) {
        uses = edge_uses(mesh.triangles);
        find_rim(&mesh, uses);
    }

    // Pieces: triangles joined through shared edges.
    std::vector<int32_t> parent(mesh.triangles.size());
    std::iota(parent.begin(), parent.end(), 0);
    for (size_t i = 0; i + 1 < uses.size(); ++i)
        if (uses[i + 1].a == uses[i].a && uses[i + 1].b == uses[i].b)
            parent[size_t(find_root(parent, uses[i].triangle))] =
                find_root(parent, uses[i + 1].triangle);
    std::vector<uint8_t> has_inner(mesh.triangles.size(), 0);
    for (size_t t = 0; t < mesh.triangles.size(); ++t)
        for (int32_t v : mesh.triangles[t].v)
            if (mesh.rim[size_t(v)] == 0) has_inner[size_t(find_root(parent, int32_t(t)))] = 1;
    std::vector<MeshTriangle> kept;
    for (size_t t = 0; t < mesh.triangles.size(); ++t)
        if (has_inner[size_t(find_root(parent, int32_t(t)))] != 0)
            kept.push_back(mesh.triangles[t]);

    // Points in use, renumbered in order.
    std::vector<int32_t> number(mesh.points.size(), -1);
    for (const MeshTriangle& t : kept)
        for (int32_t v : t.v)
            number[size_t(v)] = 0;
    FrontMesh out;
    for (size_t i = 0; i < mesh.points.size(); ++i) {
        if (number[i] < 0) continue;
        number[i] = int32_t(out.points.size());
        out.points.push_back(mesh.points[i]);
        out.edge.push_back(mesh.edge[i]);
        out.radius.push_back(mesh.radius[i]);
    }
    for (MeshTriangle t : kept) {
        for (int32_t& v : t.v)
            v = number[size_t(v)];
        out.triangles.push_back(t);
    }
    if (kept.size() < mesh.triangles.size()) {
        find_rim(&out, edge_uses(out.triangles));
    } else {
        // Every triangle kept: the same edges, renumbered.
        out.rim.assign(out.points.size(), 0);
        for (size_t i = 0; i < mesh.points.size(); ++i)
            if (number[i] >= 0) out.rim[size_t(number[i])] = mesh.rim[i];
    }
    return out;
}
