// Posing a figure by control points: the deformation graph, its factorised
// positions' system, and the local/global solve that bends it.
#include "geometry/pose_figure.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <queue>
#include <tuple>
#include <utility>

namespace {

// About this many nodes over the whole figure, shared among the parts by
// their surface area, and never fewer than this many for a part.
constexpr int32_t TARGET_NODES = 400;
constexpr int32_t MIN_PART_NODES = 6;
// A node of a part and a node of the part it was drawn over are linked when
// they lie within this many node spacings of each other, beyond the two
// parts' nearest approach (so that parts which do not quite touch still join
// at their nearest nodes). Kept narrow, so that a limb turns about its join
// instead of being held along all of its overlap with the body: with a
// spacing and a half, a limb swung 40 degrees shortened by 3 %, with half a
// spacing by 1 %.
constexpr double JOIN_SPACINGS = 0.5;
// The control points' springs, against graph links of weight 1. Stiff enough
// that a point lands within a small fraction of a unit of its target, soft
// enough that the factorisation keeps its precision.
constexpr double HANDLE_STIFFNESS = 1.0e5;
// Every node is tied to its rest place this weakly, so that a piece of the
// figure that no control point reaches stays where it is and the system is
// never singular; against links of weight 1 it moves nothing else measurably.
constexpr double REST_TIE = 1.0e-6;
// A node's best rotation leans toward its previous one by this share of its
// links' spread, so that a rotation the links leave open (nodes in a line)
// stays as it was instead of spinning.
constexpr double ROTATION_INERTIA = 1.0e-3;
constexpr int32_t POLAR_ITERATIONS = 24;

// Targets are held within this many units of the figure's origin, far
// beyond any screen, so that the solve's sums stay finite.
constexpr double POSE_REACH = 1.0e6;

constexpr double IDENTITY[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

bool is_finite(double v) {
    return v - v == 0;
}

// A mesh's positions in fine units: its own fine positions, else its whole
// ones scaled up.
Vec4 fine_position(const PartMesh& mesh, size_t i) {
    if (!mesh.fine.empty()) return mesh.fine[i];
    const Vec4& v = mesh.vertices[i];
    return {int32_t(uint32_t(v.x) << FINE_SHIFT), int32_t(uint32_t(v.y) << FINE_SHIFT),
            int32_t(uint32_t(v.z) << FINE_SHIFT), v.w};
}

double distance(const double* a, const double* b) {
    const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// One part's surface as a graph of its welded vertices (vertices at the same
// fine position are one), as compressed rows.
struct SurfaceGraph {
    std::vector<int32_t> canonical;  // per vertex, the first vertex at its position
    std::vector<char> on_surface;    // per vertex: a corner of a triangle
    std::vector<int32_t> first;      // vertex count + 1
    std::vector<int32_t> next;
    std::vector<double> length;
};

SurfaceGraph surface_graph(const PartMesh& mesh, const double* rest) {
    SurfaceGraph g;
    const auto count = int32_t(mesh.vertices.size());
    std::vector<int32_t> sorted(size_t(count), 0);
    for (int32_t i = 0; i < count; ++i)
        sorted[size_t(i)] = i;
    auto key = [&](int32_t i) {
        const Vec4 p = fine_position(mesh, size_t(i));
        return std::make_tuple(p.x, p.y, p.z, i);
    };
    std::sort(sorted.begin(), sorted.end(), [&](int32_t a, int32_t b) { return key(a) < key(b); });
    g.canonical.assign(size_t(count), 0);
    for (int32_t k = 0; k < count; ++k) {
        const int32_t i = sorted[size_t(k)];
        g.canonical[size_t(i)] = i;
        if (k > 0) {
            const int32_t before = sorted[size_t(k) - 1];
            const Vec4 a = fine_position(mesh, size_t(before)), b = fine_position(mesh, size_t(i));
            if (a.x == b.x && a.y == b.y && a.z == b.z)
                g.canonical[size_t(i)] = g.canonical[size_t(before)];
        }
    }
    g.on_surface.assign(size_t(count), 0);
    for (const MeshTriangle& t : mesh.triangles)
        for (int32_t v : t.v)
            g.on_surface[size_t(v)] = g.on_surface[size_t(g.canonical[size_t(v)])] = 1;
    std::vector<std::pair<int32_t, int32_t>> edges;
    edges.reserve(mesh.triangles.size() * 6);
    for (const MeshTriangle& t : mesh.triangles) {
        for (int32_t c = 0; c < 3; ++c) {
            const int32_t a = g.canonical[size_t(t.v[c])];
            const int32_t b = g.canonical[size_t(t.v[(c + 1) % 3])];
            if (a != b) {
                edges.emplace_back(a, b);
                edges.emplace_back(b, a);
            }
        }
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    g.first.assign(size_t(count) + 1, 0);
    for (const auto& e : edges)
        ++g.first[size_t(e.first) + 1];
    for (int32_t i = 0; i < count; ++i)
        g.first[size_t(i) + 1] += g.first[size_t(i)];
    g.next.resize(edges.size());
    g.length.resize(edges.size());
    for (size_t k = 0; k < edges.size(); ++k) {
        g.next[k] = edges[k].second;
        g.length[k] =
            distance(rest + 3 * size_t(edges[k].first), rest + 3 * size_t(edges[k].second));
    }
    return g;
}

double triangle_area(const double* a, const double* b, const double* c) {
    const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                         u[0] * v[1] - u[1] * v[0]};
    return 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
}

// Spreads `budget` nodes over a part's surface by farthest-point sampling
// along its surface (more where a piece of the surface has none yet), and
// gives every vertex the node nearest along the surface. Appends the nodes
// (their seed vertices, part-local) to `seeds`; `owner` gets, per vertex, the
// node's index among all the figure's nodes.
void sample_part(const SurfaceGraph& g, const double* rest, int32_t budget, int32_t node_base,
                 std::vector<int32_t>* seeds, std::vector<int32_t>* owner) {
    const auto count = int32_t(g.canonical.size());
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> dist(size_t(count), inf);
    owner->assign(size_t(count), -1);
    // The first seed: the welded vertex farthest from the part's centre.
    double centre[3] = {0, 0, 0};
    for (int32_t i = 0; i < count; ++i)
        for (int32_t c = 0; c < 3; ++c)
            centre[c] += rest[3 * size_t(i) + size_t(c)];
    for (double& c : centre)
        c /= double(count);
    int32_t seed = -1;
    double far = -1;
    for (int32_t i = 0; i < count; ++i) {
        const double d = distance(rest + 3 * size_t(i), centre);
        if (g.canonical[size_t(i)] == i && g.on_surface[size_t(i)] && d > far) {
            far = d;
            seed = i;
        }
    }
    using Entry = std::pair<double, int32_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
    int32_t made = 0;
    while (seed >= 0) {
        const int32_t node = node_base + made;
        seeds->push_back(seed);
        ++made;
        dist[size_t(seed)] = 0;
        (*owner)[size_t(seed)] = node;
        queue.emplace(0.0, seed);
        while (!queue.empty()) {
            const auto [d, u] = queue.top();
            queue.pop();
            if (d > dist[size_t(u)]) continue;
            for (int32_t k = g.first[size_t(u)]; k < g.first[size_t(u) + 1]; ++k) {
                const int32_t v = g.next[size_t(k)];
                const double nd = d + g.length[size_t(k)];
                if (nd < dist[size_t(v)]) {
                    dist[size_t(v)] = nd;
                    (*owner)[size_t(v)] = node;
                    queue.emplace(nd, v);
                }
            }
        }
        // The next seed: the welded vertex farthest from every node, while
        // the budget lasts, and always while a piece of the surface has none.
        seed = -1;
        far = 0;
        bool unreached = false;
        for (int32_t i = 0; i < count; ++i) {
            if (g.canonical[size_t(i)] != i || !g.on_surface[size_t(i)]) continue;
            const double d = dist[size_t(i)];
            if (d == inf) {
                seed = i;
                unreached = true;
                break;
            }
            if (d > far) {
                far = d;
                seed = i;
            }
        }
        if (!unreached && made >= budget) seed = -1;
    }
    // A vertex no triangle uses follows the node nearest to it in space.
    for (int32_t i = 0; i < count; ++i) {
        const int32_t c = g.canonical[size_t(i)];
        if (g.on_surface[size_t(c)]) {
            (*owner)[size_t(i)] = (*owner)[size_t(c)];
            continue;
        }
        double best = inf;
        for (int32_t k = 0; k < made; ++k) {
            const auto s = size_t((*seeds)[seeds->size() - size_t(made) + size_t(k)]);
            const double d = distance(rest + 3 * size_t(i), rest + 3 * s);
            if (d < best) {
                best = d;
                (*owner)[size_t(i)] = node_base + k;
            }
        }
    }
}

// Orders the nodes so that the factor's envelope stays narrow: reverse
// Cuthill-McKee over the matrix's pattern, each piece from a node far from
// its least-linked node, neighbours taken by fewest links, then index.
void envelope_order(int32_t n, const std::vector<std::vector<int32_t>>& pattern,
                    std::vector<int32_t>* order) {
    order->clear();
    std::vector<char> seen(size_t(n), 0);
    std::vector<int32_t> sorted;
    auto degree = [&](int32_t i) { return int32_t(pattern[size_t(i)].size()); };
    auto bfs = [&](int32_t start, std::vector<int32_t>* out, std::vector<char>* mark) {
        size_t head = out->size();
        out->push_back(start);
        (*mark)[size_t(start)] = 1;
        while (head < out->size()) {
            const int32_t u = (*out)[head++];
            sorted = pattern[size_t(u)];
            std::sort(sorted.begin(), sorted.end(), [&](int32_t a, int32_t b) {
                return std::make_pair(degree(a), a) < std::make_pair(degree(b), b);
            });
            for (int32_t v : sorted) {
                if (!(*mark)[size_t(v)]) {
                    (*mark)[size_t(v)] = 1;
                    out->push_back(v);
                }
            }
        }
    };
    for (;;) {
        int32_t start = -1;
        for (int32_t i = 0; i < n; ++i)
            if (!seen[size_t(i)] && (start < 0 || degree(i) < degree(start))) start = i;
        if (start < 0) break;
        std::vector<int32_t> probe;
        std::vector<char> mark = seen;
        bfs(start, &probe, &mark);
        bfs(probe.back(), order, &seen);
    }
    std::reverse(order->begin(), order->end());
}

// M's orthogonal polar factor, by Newton's iteration with Frobenius scaling
// (Higham): x starts as M and takes at most POLAR_ITERATIONS steps, until a
// step moves it by less than 1e-13 (Frobenius); `ok` is false when M is
// singular or turns space inside out.
struct PolarRun {
    double x[9];
    bool live = true;  // still stepping
    bool ok = true;
};

inline void polar_step(PolarRun* run) {
    double* x = run->x;
    const double c[9] = {
        x[4] * x[8] - x[5] * x[7], x[5] * x[6] - x[3] * x[8], x[3] * x[7] - x[4] * x[6],
        x[2] * x[7] - x[1] * x[8], x[0] * x[8] - x[2] * x[6], x[1] * x[6] - x[0] * x[7],
        x[1] * x[5] - x[2] * x[4], x[2] * x[3] - x[0] * x[5], x[0] * x[4] - x[1] * x[3]};
    const double det = x[0] * c[0] + x[1] * c[1] + x[2] * c[2];
    double xx = 0, cc = 0;
    for (int32_t k = 0; k < 9; ++k) {
        xx += x[k] * x[k];
        cc += c[k] * c[k];
    }
    if (!(det > 1.0e-12 * xx * std::sqrt(xx))) {
        run->live = run->ok = false;
        return;
    }
    // X^-T is the cofactor matrix over the determinant; the scale factor
    // is sqrt(|X^-1| / |X|) in the Frobenius norm.
    const double inv_norm2 = cc / (det * det);
    const double gamma = std::sqrt(std::sqrt(inv_norm2 / xx));
    double change = 0;
    for (int32_t k = 0; k < 9; ++k) {
        const double next = 0.5 * (gamma * x[k] + c[k] / (gamma * det));
        change += (next - x[k]) * (next - x[k]);
        x[k] = next;
    }
    if (change < 1.0e-26) run->live = false;
}

// Runs stepped side by side (two in a solve): each takes the steps it would
// take alone, and the processor overlaps their chains of divisions and
// square roots, which a single run waits on.
void polar_rotations(PolarRun* runs, int32_t count) {
    for (int32_t it = 0; it < POLAR_ITERATIONS; ++it) {
        bool any = false;
        for (int32_t t = 0; t < count; ++t)
            if (runs[t].live) {
                polar_step(&runs[t]);
                any = true;
            }
        if (!any) break;
    }
}

// The rest position of a vertex (figure coordinates) from its fine position.
void place_rest(const PosePart& part, const Vec4& fine, double* out) {
    const double s = double(part.scale) / double(FIXED_ONE * FINE_ONE);
    out[0] = double(fine.x) * s + double(part.offset_x);
    out[1] = double(fine.y) * s;
    out[2] = double(fine.z) * s + double(part.depth);
}

// Vertex v as the pose carries it. Inline: it is the per-vertex work of
// drawing a pose.
inline void posed_vertex(const PoseRig& rig, const PoseState& state, int32_t v, double* out) {
    const PoseBinding& b = rig.bindings[size_t(v)];
    const double* offsets = &rig.binding_offset[3 * POSE_BIND_NODES * size_t(v)];
    double o0 = 0, o1 = 0, o2 = 0;
    for (int32_t k = 0; k < POSE_BIND_NODES; ++k) {
        const double w = b.weight[k];
        if (w == 0) continue;
        const auto n = size_t(b.node[k]);
        const double* r = &state.rotation[9 * n];
        const double* q = &state.position[3 * n];
        const double* d = offsets + 3 * k;
        o0 += w * (r[0] * d[0] + r[1] * d[1] + r[2] * d[2] + q[0]);
        o1 += w * (r[3] * d[0] + r[4] * d[1] + r[5] * d[2] + q[1]);
        o2 += w * (r[6] * d[0] + r[7] * d[1] + r[8] * d[2] + q[2]);
    }
    out[0] = o0;
    out[1] = o1;
    out[2] = o2;
}

int32_t handle_vertex(const PoseRig& rig, int32_t h, int32_t corner) {
    const PoseHandle& handle = rig.handles[size_t(h)];
    const PartMesh& mesh = *rig.parts[size_t(handle.part)].mesh;
    return rig.part_first_vertex[size_t(handle.part)] +
           mesh.triangles[size_t(handle.triangle)].v[corner];
}

// The factor's solve in place: L D L^T x = b, three right-hand sides
// interleaved. Forward, L y = b row by row; then x = D^-1 y - L^T x column by
// column from the last, each x_k's products subtracted in falling row order.
// The zero entries of L, not stored, would only subtract zeros.
void factor_solve(const PoseRig& rig, double* x) {
    const int32_t n = rig.node_count;
    const PoseRig::FactorEntry* rows = rig.row_entries.data();
    for (int32_t i = 0; i < n; ++i) {
        double* xi = x + 3 * size_t(i);
        double s0 = xi[0], s1 = xi[1], s2 = xi[2];
        for (int32_t e = rig.row_first[size_t(i)]; e < rig.row_first[size_t(i) + 1]; ++e) {
            const double l = rows[e].value;
            const double* xk = x + 3 * size_t(rows[e].at);
            s0 -= l * xk[0];
            s1 -= l * xk[1];
            s2 -= l * xk[2];
        }
        xi[0] = s0;
        xi[1] = s1;
        xi[2] = s2;
    }
    const PoseRig::FactorEntry* columns = rig.column_entries.data();
    for (int32_t k = n - 1; k >= 0; --k) {
        double* xk = x + 3 * size_t(k);
        const double d = rig.diagonal[size_t(k)];
        double s0 = xk[0] / d, s1 = xk[1] / d, s2 = xk[2] / d;
        for (int32_t e = rig.column_first[size_t(k)]; e < rig.column_first[size_t(k) + 1]; ++e) {
            const double l = columns[e].value;
            const double* xi = x + 3 * size_t(columns[e].at);
            s0 -= l * xi[0];
            s1 -= l * xi[1];
            s2 -= l * xi[2];
        }
        xk[0] = s0;
        xk[1] = s1;
        xk[2] = s2;
    }
}

bool valid_input(const PosePart* parts, int32_t part_count, const PoseHandle* handles,
                 int32_t handle_count) {
    if (parts == nullptr || part_count <= 0 || handles == nullptr || handle_count <= 0 ||
        handle_count > MAX_POSE_HANDLES)
        return false;
    for (int32_t p = 0; p < part_count; ++p) {
        const PosePart& part = parts[p];
        if (part.mesh == nullptr || part.mesh->triangles.empty() || part.scale <= 0 ||
            part.parent < POSE_NO_PART || part.parent >= p)
            return false;
        const auto count = int64_t(part.mesh->vertices.size());
        if (!part.mesh->fine.empty() && int64_t(part.mesh->fine.size()) != count) return false;
        for (const MeshTriangle& t : part.mesh->triangles)
            for (int32_t v : t.v)
                if (v < 0 || v >= count) return false;
    }
    for (int32_t h = 0; h < handle_count; ++h) {
        const PoseHandle& handle = handles[h];
        if (handle.part < 0 || handle.part >= part_count || handle.triangle < 0 ||
            handle.triangle >= int64_t(parts[handle.part].mesh->triangles.size()))
            return false;
        for (double b : handle.b)
            if (!is_finite(b)) return false;
    }
    return true;
}

}  // namespace

bool build_pose_rig(const PosePart* parts, int32_t part_count, const PoseHandle* handles,
                    int32_t handle_count, PoseRig* rig) {
    *rig = PoseRig{};
    if (!valid_input(parts, part_count, handles, handle_count)) return false;
    rig->parts.assign(parts, parts + part_count);
    rig->handles.assign(handles, handles + handle_count);

    // Rest positions, every part's vertices in order.
    rig->part_first_vertex.assign(size_t(part_count) + 1, 0);
    for (int32_t p = 0; p < part_count; ++p)
        rig->part_first_vertex[size_t(p) + 1] =
            rig->part_first_vertex[size_t(p)] + int32_t(parts[p].mesh->vertices.size());
    const int32_t vertex_count = rig->part_first_vertex[size_t(part_count)];
    rig->rest.resize(3 * size_t(vertex_count));
    std::vector<double> area(size_t(part_count), 0.0);
    double total_area = 0;
    for (int32_t p = 0; p < part_count; ++p) {
        const PartMesh& mesh = *parts[p].mesh;
        double* rest = &rig->rest[3 * size_t(rig->part_first_vertex[size_t(p)])];
        for (size_t i = 0; i < mesh.vertices.size(); ++i)
            place_rest(parts[p], fine_position(mesh, i), rest + 3 * i);
        for (const MeshTriangle& t : mesh.triangles)
            area[size_t(p)] += triangle_area(rest + 3 * size_t(t.v[0]), rest + 3 * size_t(t.v[1]),
                                             rest + 3 * size_t(t.v[2]));
        total_area += area[size_t(p)];
    }

    // Nodes, part by part, and each vertex's nearest node along the surface.
    std::vector<int32_t> owner(size_t(vertex_count), -1);
    std::vector<std::pair<int32_t, int32_t>> links;  // both ways
    std::vector<int32_t> part_first_node(size_t(part_count) + 1, 0);
    for (int32_t p = 0; p < part_count; ++p) {
        const PartMesh& mesh = *parts[p].mesh;
        const int32_t first = rig->part_first_vertex[size_t(p)];
        const double* rest = &rig->rest[3 * size_t(first)];
        const SurfaceGraph g = surface_graph(mesh, rest);
        int32_t budget = MIN_PART_NODES;
        if (total_area > 0) {
            const double share = double(TARGET_NODES) * area[size_t(p)] / total_area;
            budget = std::max(budget, int32_t(std::min(share, double(TARGET_NODES)) + 0.5));
        }
        std::vector<int32_t> seeds, part_owner;
        sample_part(g, rest, budget, rig->node_count, &seeds, &part_owner);
        for (int32_t s : seeds) {
            for (int32_t c = 0; c < 3; ++c)
                rig->node_rest.push_back(rest[3 * size_t(s) + size_t(c)]);
            rig->node_part.push_back(p);
        }
        rig->node_count += int32_t(seeds.size());
        part_first_node[size_t(p) + 1] = rig->node_count;
        std::copy(part_owner.begin(), part_owner.end(), owner.begin() + first);
        // Nodes whose vertices meet across a surface edge are linked.
        for (int32_t u = 0; u < int32_t(part_owner.size()); ++u)
            for (int32_t k = g.first[size_t(u)]; k < g.first[size_t(u) + 1]; ++k) {
                const int32_t a = part_owner[size_t(u)], b = part_owner[size_t(g.next[size_t(k)])];
                if (a != b) links.emplace_back(a, b);
            }
    }
    const int32_t n = rig->node_count;
    const double spacing = std::sqrt(total_area / double(std::max(n, 1)));

    // Joins: a part's nodes near the nodes of the part it was drawn over.
    for (int32_t p = 0; p < part_count; ++p) {
        const int32_t q = parts[p].parent;
        if (q == POSE_NO_PART) continue;
        double nearest = std::numeric_limits<double>::infinity();
        for (int32_t i = part_first_node[size_t(p)]; i < part_first_node[size_t(p) + 1]; ++i)
            for (int32_t j = part_first_node[size_t(q)]; j < part_first_node[size_t(q) + 1]; ++j)
                nearest = std::min(nearest, distance(&rig->node_rest[3 * size_t(i)],
                                                     &rig->node_rest[3 * size_t(j)]));
        const double reach = nearest + JOIN_SPACINGS * spacing;
        for (int32_t i = part_first_node[size_t(p)]; i < part_first_node[size_t(p) + 1]; ++i)
            for (int32_t j = part_first_node[size_t(q)]; j < part_first_node[size_t(q) + 1]; ++j)
                if (distance(&rig->node_rest[3 * size_t(i)], &rig->node_rest[3 * size_t(j)]) <=
                    reach) {
                    links.emplace_back(i, j);
                    links.emplace_back(j, i);
                }
    }
    std::sort(links.begin(), links.end());
    links.erase(std::unique(links.begin(), links.end()), links.end());
    rig->link_first.assign(size_t(n) + 1, 0);
    for (const auto& l : links)
        ++rig->link_first[size_t(l.first) + 1];
    for (int32_t i = 0; i < n; ++i)
        rig->link_first[size_t(i) + 1] += rig->link_first[size_t(i)];
    for (const auto& l : links) {
        rig->link_node.push_back(l.second);
        rig->link_weight.push_back(1.0);
        for (int32_t c = 0; c < 3; ++c)
            rig->link_offset.push_back(rig->node_rest[3 * size_t(l.first) + size_t(c)] -
                                       rig->node_rest[3 * size_t(l.second) + size_t(c)]);
    }
    rig->node_spread.assign(size_t(n), 0.0);
    for (int32_t i = 0; i < n; ++i)
        for (int32_t k = rig->link_first[size_t(i)]; k < rig->link_first[size_t(i) + 1]; ++k) {
            const double* e = &rig->link_offset[3 * size_t(k)];
            rig->node_spread[size_t(i)] +=
                rig->link_weight[size_t(k)] * (e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
        }

    // Bindings: each vertex to the nearest few of its own node and that
    // node's links within the part, weighted (1 - d / d_max)^2 with d_max the
    // distance of the next nearest candidate beyond them (embedded
    // deformation, Sumner et al. 2007).
    rig->bindings.resize(size_t(vertex_count));
    std::vector<std::pair<double, int32_t>> near;
    for (int32_t v = 0; v < vertex_count; ++v) {
        const int32_t home = owner[size_t(v)];
        const double* p = &rig->rest[3 * size_t(v)];
        near.clear();
        near.emplace_back(distance(p, &rig->node_rest[3 * size_t(home)]), home);
        for (int32_t k = rig->link_first[size_t(home)]; k < rig->link_first[size_t(home) + 1];
             ++k) {
            const int32_t j = rig->link_node[size_t(k)];
            if (rig->node_part[size_t(j)] == rig->node_part[size_t(home)])
                near.emplace_back(distance(p, &rig->node_rest[3 * size_t(j)]), j);
        }
        std::sort(near.begin(), near.end());
        const auto used = std::min<size_t>(near.size(), POSE_BIND_NODES);
        const double d_max =
            near.size() > used ? near[used].first : near[used - 1].first * 1.5 + 1.0e-9;
        PoseBinding& b = rig->bindings[size_t(v)];
        double sum = 0;
        for (int32_t k = 0; k < POSE_BIND_NODES; ++k) {
            b.node[k] = home;
            b.weight[k] = 0;
            if (size_t(k) < used) {
                const double t = d_max > 0 ? 1.0 - near[size_t(k)].first / d_max : 1.0;
                b.node[k] = near[size_t(k)].second;
                b.weight[k] = t * t;
                sum += b.weight[k];
            }
        }
        if (sum > 0) {
            for (double& w : b.weight)
                w /= sum;
        } else {
            b.weight[0] = 1;
        }
    }
    rig->binding_offset.resize(3 * POSE_BIND_NODES * size_t(vertex_count));
    for (int32_t v = 0; v < vertex_count; ++v)
        for (int32_t k = 0; k < POSE_BIND_NODES; ++k)
            for (int32_t c = 0; c < 3; ++c)
                rig->binding_offset[3 * (POSE_BIND_NODES * size_t(v) + size_t(k)) + size_t(c)] =
                    rig->rest[3 * size_t(v) + size_t(c)] -
                    rig->node_rest[3 * size_t(rig->bindings[size_t(v)].node[k]) + size_t(c)];

    // Control points: their rest places and their weights on the nodes.
    rig->handle_first.assign(1, 0);
    for (int32_t h = 0; h < handle_count; ++h) {
        double rest[3] = {0, 0, 0};
        std::vector<std::pair<int32_t, double>> weights;
        for (int32_t corner = 0; corner < 3; ++corner) {
            const int32_t v = handle_vertex(*rig, h, corner);
            const double bc = handles[h].b[corner];
            for (int32_t c = 0; c < 3; ++c)
                rest[c] += bc * rig->rest[3 * size_t(v) + size_t(c)];
            const PoseBinding& b = rig->bindings[size_t(v)];
            for (int32_t k = 0; k < POSE_BIND_NODES; ++k)
                if (b.weight[k] != 0) weights.emplace_back(b.node[k], bc * b.weight[k]);
        }
        std::sort(weights.begin(), weights.end());
        for (size_t k = 0; k < weights.size(); ++k) {
            if (k > 0 && weights[k].first == weights[k - 1].first) {
                rig->handle_weight.back() += weights[k].second;
                continue;
            }
            rig->handle_node.push_back(weights[k].first);
            rig->handle_weight.push_back(weights[k].second);
        }
        rig->handle_first.push_back(int32_t(rig->handle_node.size()));
        for (double c : rest)
            rig->handle_rest.push_back(c);
    }

    // The positions' system: the links' Laplacian, the control points'
    // springs and the rest tie; its pattern, ordered for a narrow envelope.
    std::vector<std::vector<int32_t>> pattern(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i)
        for (int32_t k = rig->link_first[size_t(i)]; k < rig->link_first[size_t(i) + 1]; ++k)
            pattern[size_t(i)].push_back(rig->link_node[size_t(k)]);
    for (int32_t h = 0; h < handle_count; ++h)
        for (int32_t a = rig->handle_first[size_t(h)]; a < rig->handle_first[size_t(h) + 1]; ++a)
            for (int32_t b = rig->handle_first[size_t(h)]; b < rig->handle_first[size_t(h) + 1];
                 ++b)
                if (a != b)
                    pattern[size_t(rig->handle_node[size_t(a)])].push_back(
                        rig->handle_node[size_t(b)]);
    for (auto& row : pattern) {
        std::sort(row.begin(), row.end());
        row.erase(std::unique(row.begin(), row.end()), row.end());
    }
    envelope_order(n, pattern, &rig->order);
    rig->rank.assign(size_t(n), 0);
    for (int32_t i = 0; i < n; ++i)
        rig->rank[size_t(rig->order[size_t(i)])] = i;
    // Within the envelope: row i from column row_first[i], its entries from
    // lower[row_start[i]].
    std::vector<int32_t> row_first(size_t(n), 0);
    std::vector<int64_t> row_start(size_t(n) + 1, 0);
    for (int32_t i = 0; i < n; ++i) {
        int32_t f = i;
        for (int32_t j : pattern[size_t(rig->order[size_t(i)])])
            f = std::min(f, rig->rank[size_t(j)]);
        row_first[size_t(i)] = f;
        row_start[size_t(i) + 1] = row_start[size_t(i)] + (i - f);
    }
    std::vector<double> lower(size_t(row_start[size_t(n)]), 0.0);
    rig->diagonal.assign(size_t(n), REST_TIE);
    auto add = [&](int32_t a, int32_t b, double value) {  // old numbering
        const int32_t i = rig->rank[size_t(a)], j = rig->rank[size_t(b)];
        if (i == j)
            rig->diagonal[size_t(i)] += value;
        else if (j < i)
            lower[size_t(row_start[size_t(i)] + (j - row_first[size_t(i)]))] += value;
    };
    for (int32_t i = 0; i < n; ++i)
        for (int32_t k = rig->link_first[size_t(i)]; k < rig->link_first[size_t(i) + 1]; ++k) {
            const double w = rig->link_weight[size_t(k)];
            add(i, i, w);
            add(i, rig->link_node[size_t(k)], -w);
        }
    for (int32_t h = 0; h < handle_count; ++h)
        for (int32_t a = rig->handle_first[size_t(h)]; a < rig->handle_first[size_t(h) + 1]; ++a)
            for (int32_t b = rig->handle_first[size_t(h)]; b < rig->handle_first[size_t(h) + 1];
                 ++b)
                add(rig->handle_node[size_t(a)], rig->handle_node[size_t(b)],
                    HANDLE_STIFFNESS * rig->handle_weight[size_t(a)] *
                        rig->handle_weight[size_t(b)]);

    // L D L^T within the envelope (no fill falls outside it). While row i is
    // worked on, its entries left of column j hold L_ik * D_k.
    for (int32_t i = 0; i < n; ++i) {
        double* row = &lower[size_t(row_start[size_t(i)])];
        const int32_t fi = row_first[size_t(i)];
        for (int32_t j = fi; j < i; ++j) {
            const double* other = &lower[size_t(row_start[size_t(j)])];
            const int32_t fj = row_first[size_t(j)];
            double s = row[j - fi];
            for (int32_t k = std::max(fi, fj); k < j; ++k)
                s -= row[k - fi] * other[k - fj];
            row[j - fi] = s;
        }
        double d = rig->diagonal[size_t(i)];
        for (int32_t j = fi; j < i; ++j) {
            const double l = row[j - fi] / rig->diagonal[size_t(j)];
            d -= l * row[j - fi];
            row[j - fi] = l;
        }
        if (!(d > 0) || !is_finite(d)) {
            *rig = PoseRig{};
            return false;
        }
        rig->diagonal[size_t(i)] = d;
    }

    // The factor's nonzero entries by row, and by column in falling row order.
    rig->row_first.assign(size_t(n) + 1, 0);
    rig->column_first.assign(size_t(n) + 1, 0);
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = row_first[size_t(i)]; j < i; ++j) {
            const double l = lower[size_t(row_start[size_t(i)] + (j - row_first[size_t(i)]))];
            if (l == 0) continue;
            rig->row_entries.push_back({l, j});
            ++rig->column_first[size_t(j) + 1];
        }
        rig->row_first[size_t(i) + 1] = int32_t(rig->row_entries.size());
    }
    for (int32_t j = 0; j < n; ++j)
        rig->column_first[size_t(j) + 1] += rig->column_first[size_t(j)];
    rig->column_entries.resize(rig->row_entries.size());
    std::vector<int32_t> filled(rig->column_first.begin(), rig->column_first.end() - 1);
    for (int32_t i = n - 1; i >= 0; --i)
        for (int32_t e = rig->row_first[size_t(i)]; e < rig->row_first[size_t(i) + 1]; ++e) {
            const PoseRig::FactorEntry& entry = rig->row_entries[size_t(e)];
            rig->column_entries[size_t(filled[size_t(entry.at)]++)] = {entry.value, i};
        }
    rig->valid = true;
    return true;
}

void rest_handle_position(const PoseRig& rig, int32_t handle, double out[3]) {
    out[0] = out[1] = out[2] = 0;
    if (handle < 0 || handle >= int32_t(rig.handles.size())) return;
    for (int32_t c = 0; c < 3; ++c)
        out[c] = rig.handle_rest[3 * size_t(handle) + size_t(c)];
}

void reset_pose(const PoseRig& rig, PoseState* state) {
    const auto n = size_t(rig.node_count);
    state->rotation.resize(9 * n);
    for (size_t i = 0; i < n; ++i)
        std::copy(IDENTITY, IDENTITY + 9, &state->rotation[9 * i]);
    state->position = rig.node_rest;
    state->rhs.assign(3 * n, 0.0);
}

void solve_pose(const PoseRig& rig, const double (*targets)[3], PoseState* state) {
    if (!rig.valid) return;
    const int32_t n = rig.node_count;
    if (state->rotation.size() != 9 * size_t(n) || state->position.size() != 3 * size_t(n))
        reset_pose(rig, state);
    state->rhs.resize(3 * size_t(n));
    const auto handle_count = int32_t(rig.handles.size());
    for (int32_t iteration = 0; iteration < POSE_ITERATIONS; ++iteration) {
        // Local: each node's rotation that best turns its rest links into
        // their present directions, the orthogonal factor of
        // sum w (p_i - p_j)(g_i - g_j)^T, leaning toward the last rotation.
        // Nodes two at a time: a node's rotation reads only the positions and
        // its own last rotation, so their order does not matter.
        for (int32_t first = 0; first < n; first += 2) {
            PolarRun runs[2];
            const int32_t count = std::min(2, n - first);
            for (int32_t t = 0; t < count; ++t) {
                const int32_t i = first + t;
                const double* pi = &state->position[3 * size_t(i)];
                // The sums in locals, not an array, so that they stay in registers.
                double m0 = 0, m1 = 0, m2 = 0, m3 = 0, m4 = 0, m5 = 0, m6 = 0, m7 = 0, m8 = 0;
                for (int32_t k = rig.link_first[size_t(i)]; k < rig.link_first[size_t(i) + 1];
                     ++k) {
                    const double* pj = &state->position[3 * size_t(rig.link_node[size_t(k)])];
                    const double w = rig.link_weight[size_t(k)];
                    const double* e = &rig.link_offset[3 * size_t(k)];
                    const double q0 = w * (pi[0] - pj[0]), q1 = w * (pi[1] - pj[1]),
                                 q2 = w * (pi[2] - pj[2]);
                    m0 += q0 * e[0];
                    m1 += q0 * e[1];
                    m2 += q0 * e[2];
                    m3 += q1 * e[0];
                    m4 += q1 * e[1];
                    m5 += q1 * e[2];
                    m6 += q2 * e[0];
                    m7 += q2 * e[1];
                    m8 += q2 * e[2];
                }
                const double m[9] = {m0, m1, m2, m3, m4, m5, m6, m7, m8};
                const double* rotation = &state->rotation[9 * size_t(i)];
                const double lean = ROTATION_INERTIA * rig.node_spread[size_t(i)];
                for (int32_t k = 0; k < 9; ++k)
                    runs[t].x[k] = m[k] + lean * rotation[k];
            }
            polar_rotations(runs, count);
            for (int32_t t = 0; t < count; ++t)
                if (runs[t].ok)
                    std::copy(runs[t].x, runs[t].x + 9, &state->rotation[9 * size_t(first + t)]);
        }

        // Global: the positions for these rotations. Right-hand side (in the
        // factor's numbering) sum_j w/2 (R_i + R_j)(g_i - g_j), the rest tie,
        // and each control point's spring toward its target less what the
        // rotations already carry it by.
        double* rhs = state->rhs.data();
        for (int32_t i = 0; i < n; ++i) {
            const double* gi = &rig.node_rest[3 * size_t(i)];
            const double* ri = &state->rotation[9 * size_t(i)];
            double s0 = REST_TIE * gi[0], s1 = REST_TIE * gi[1], s2 = REST_TIE * gi[2];
            for (int32_t k = rig.link_first[size_t(i)]; k < rig.link_first[size_t(i) + 1]; ++k) {
                const double* rj = &state->rotation[9 * size_t(rig.link_node[size_t(k)])];
                const double hw = 0.5 * rig.link_weight[size_t(k)];
                const double* e = &rig.link_offset[3 * size_t(k)];
                s0 +=
                    hw * ((ri[0] + rj[0]) * e[0] + (ri[1] + rj[1]) * e[1] + (ri[2] + rj[2]) * e[2]);
                s1 +=
                    hw * ((ri[3] + rj[3]) * e[0] + (ri[4] + rj[4]) * e[1] + (ri[5] + rj[5]) * e[2]);
                s2 +=
                    hw * ((ri[6] + rj[6]) * e[0] + (ri[7] + rj[7]) * e[1] + (ri[8] + rj[8]) * e[2]);
            }
            double* at = rhs + 3 * size_t(rig.rank[size_t(i)]);
            at[0] = s0;
            at[1] = s1;
            at[2] = s2;
        }
        for (int32_t h = 0; h < handle_count; ++h) {
            double target[3];
            for (int32_t c = 0; c < 3; ++c) {
                target[c] = targets[h][c];
                if (!is_finite(target[c])) target[c] = rig.handle_rest[3 * size_t(h) + size_t(c)];
                target[c] = std::clamp(target[c], -POSE_REACH, POSE_REACH);
            }
            // What the rotations alone give the point: its corners' bound
            // offsets turned, without the nodes' positions.
            double carried[3] = {0, 0, 0};
            for (int32_t corner = 0; corner < 3; ++corner) {
                const int32_t v = handle_vertex(rig, h, corner);
                const PoseBinding& b = rig.bindings[size_t(v)];
                const double bc = rig.handles[size_t(h)].b[corner];
                for (int32_t k = 0; k < POSE_BIND_NODES; ++k) {
                    const auto node = size_t(b.node[k]);
                    const double w = bc * b.weight[k];
                    const double* r = &state->rotation[9 * node];
                    const double* d =
                        &rig.binding_offset[3 * (POSE_BIND_NODES * size_t(v) + size_t(k))];
                    for (int32_t c = 0; c < 3; ++c)
                        carried[c] +=
                            w * (r[3 * c] * d[0] + r[3 * c + 1] * d[1] + r[3 * c + 2] * d[2]);
                }
            }
            for (int32_t a = rig.handle_first[size_t(h)]; a < rig.handle_first[size_t(h) + 1];
                 ++a) {
                const auto at = 3 * size_t(rig.rank[size_t(rig.handle_node[size_t(a)])]);
                const double w = HANDLE_STIFFNESS * rig.handle_weight[size_t(a)];
                for (int32_t c = 0; c < 3; ++c)
                    rhs[at + size_t(c)] += w * (target[c] - carried[c]);
            }
        }
        factor_solve(rig, rhs);
        for (int32_t i = 0; i < n; ++i) {
            const auto at = 3 * size_t(rig.rank[size_t(i)]);
            for (int32_t c = 0; c < 3; ++c)
                state->position[3 * size_t(i) + size_t(c)] = rhs[at + size_t(c)];
        }
    }
}

void posed_handle_position(const PoseRig& rig, const PoseState& state, int32_t handle,
                           double out[3]) {
    out[0] = out[1] = out[2] = 0;
    if (!rig.valid || handle < 0 || handle >= int32_t(rig.handles.size()) ||
        state.position.size() != 3 * size_t(rig.node_count) ||
        state.rotation.size() != 9 * size_t(rig.node_count))
        return;
    for (int32_t corner = 0; corner < 3; ++corner) {
        double p[3];
        posed_vertex(rig, state, handle_vertex(rig, handle, corner), p);
        const double bc = rig.handles[size_t(handle)].b[corner];
        for (int32_t c = 0; c < 3; ++c)
            out[c] += bc * p[c];
    }
}

void posed_part_positions(const PoseRig& rig, const PoseState& state, int32_t part,
                          std::vector<Vec4>* fine_model) {
    if (!rig.valid || part < 0 || part >= int32_t(rig.parts.size()) ||
        state.position.size() != 3 * size_t(rig.node_count) ||
        state.rotation.size() != 9 * size_t(rig.node_count))
        return;
    const PosePart& placed = rig.parts[size_t(part)];
    const PartMesh& mesh = *placed.mesh;
    const int32_t first = rig.part_first_vertex[size_t(part)];
    const auto count = mesh.vertices.size();
    fine_model->resize(count);
    // Back to the part's model, in fine units, rounded halves up and kept
    // within int32 (a wild pose must not make the conversion undefined).
    const double inverse = double(FIXED_ONE * FINE_ONE) / double(placed.scale);
    const double offset[3] = {double(placed.offset_x), 0, double(placed.depth)};
    for (size_t i = 0; i < count; ++i) {
        const Vec4 rest = fine_position(mesh, i);
        double p[3];
        posed_vertex(rig, state, first + int32_t(i), p);
        int32_t out[3] = {rest.x, rest.y, rest.z};
        for (int32_t c = 0; c < 3; ++c) {
            // floor, as a truncation stepped down below zero, once the value
            // is within int32 (floor and the clamp to whole bounds commute).
            const double v = (p[c] - offset[c]) * inverse + 0.5;
            if (!is_finite(v)) continue;
            const double held = std::clamp(v, -2147483648.0, 2147483647.0);
            out[c] = int32_t(held);
            if (double(out[c]) > held) --out[c];
        }
        (*fine_model)[i] = {out[0], out[1], out[2], rest.w};
    }
}
