// The union of closed shells: the inside sampled along the grid's lines in x,
// y and z, the boundary extracted by marching tetrahedra, then smoothed with
// each vertex held on its grid edge.
//
// Why this way: a union computed on the shells' own triangles (cutting them
// along every crossing curve) needs exact predicates and constructions to
// stay closed and free of slivers, and fails on shells that already touch or
// cross themselves. Sampling asks only whether a point is inside, which
// integer tests answer exactly, and marching tetrahedra make a closed
// 2-manifold out of any inside/outside labelling; the price is that the
// surface is as fine as the grid and rounds edges sharper than a cell.
#include "geometry/shell_union.h"

#include <algorithm>
#include <unordered_map>

namespace {

using Wide = __int128;  // exact products of two 41-bit differences

// Grid point (i, j, k) lies at origin + (i, j, k) * cell.
struct Grid {
    std::array<int64_t, 3> origin = {};
    int64_t cell = 1;
    std::array<int32_t, 3> n = {};

    int64_t index(int32_t i, int32_t j, int32_t k) const {
        return (int64_t(k) * n[1] + j) * n[0] + i;
    }
    size_t size() const { return size_t(n[0]) * size_t(n[1]) * size_t(n[2]); }
};

// Division rounding toward minus and plus infinity (b > 0); plain division
// truncates toward zero.
int64_t floor_div(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
int64_t ceil_div(int64_t a, int64_t b) {
    return -floor_div(-a, b);
}

// The common box padded by a cell on every side, so that the grid's outer
// points all lie outside every shell.
Grid make_grid(const std::vector<ClosedShell>& shells, int32_t cells_across) {
    std::array<int64_t, 3> low = {}, high = {};
    bool first = true;
    for (const ClosedShell& shell : shells) {
        for (const auto& p : shell.positions) {
            for (int a = 0; a < 3; ++a) {
                low[a] = first || p[a] < low[a] ? p[a] : low[a];
                high[a] = first || p[a] > high[a] ? p[a] : high[a];
            }
            first = false;
        }
    }
    const int64_t longest = std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]});
    Grid grid;
    grid.cell = std::max<int64_t>(1, ceil_div(longest, std::max(1, cells_across)));
    for (int a = 0; a < 3; ++a) {
        grid.origin[a] = low[a] - grid.cell;
        grid.n[a] = int32_t(ceil_div(high[a] - low[a], grid.cell) + 3);
    }
    return grid;
}

// Where a grid line along axis w meets a triangle: the line's number, the
// depth (w) of the meeting point, and +1 where the line enters the shell
// (the triangle faces against w), -1 where it leaves.
struct Crossing {
    int64_t line;
    double depth;
    int32_t delta;
};

bool operator<(const Crossing& a, const Crossing& b) {
    if (a.line != b.line) return a.line < b.line;
    if (a.depth != b.depth) return a.depth < b.depth;
    return a.delta < b.delta;
}

// The side of the edge a -> b (in the u, v plane) that the point (pu, pv)
// lies on: +1 left, -1 right. A point on the edge's line is taken as moved
// by (e, e^2) for a vanishing e, so that it is never on it: a line through a
// shared edge or corner meets exactly one of the triangles there, and the
// two triangles of an edge (which run it in opposite directions) always put
// the point on opposite sides.
int side_of_edge(const std::array<int64_t, 3>& a, const std::array<int64_t, 3>& b, int u, int v,
                 int64_t pu, int64_t pv, Wide* value) {
    const int64_t du = b[u] - a[u], dv = b[v] - a[v];
    *value = Wide(du) * (pv - a[v]) - Wide(dv) * (pu - a[u]);
    if (*value != 0) return *value > 0 ? 1 : -1;
    if (dv != 0) return dv < 0 ? 1 : -1;
    return du > 0 ? 1 : -1;
}

// Every meeting of the grid's lines along axis w with the shells' triangles.
// The lines are numbered iv * n[u] + iu, with (u, v, w) a cyclic order of
// the axes so that a triangle's turn in (u, v) tells which way it faces.
std::vector<Crossing> cast_lines(const std::vector<ClosedShell>& shells, const Grid& grid, int w) {
    const int u = (w + 1) % 3, v = (w + 2) % 3;
    std::vector<Crossing> crossings;
    for (const ClosedShell& shell : shells) {
        for (const auto& t : shell.triangles) {
            const auto& p0 = shell.positions[size_t(t[0])];
            const auto& p1 = shell.positions[size_t(t[1])];
            const auto& p2 = shell.positions[size_t(t[2])];
            const Wide area =
                Wide(p1[u] - p0[u]) * (p2[v] - p0[v]) - Wide(p1[v] - p0[v]) * (p2[u] - p0[u]);
            if (area == 0) continue;  // seen edge-on: the lines pass beside it
            const int turn = area > 0 ? 1 : -1;
            const int64_t low_u = std::min({p0[u], p1[u], p2[u]});
            const int64_t high_u = std::max({p0[u], p1[u], p2[u]});
            const int64_t low_v = std::min({p0[v], p1[v], p2[v]});
            const int64_t high_v = std::max({p0[v], p1[v], p2[v]});
            const int64_t iu0 = std::max<int64_t>(0, ceil_div(low_u - grid.origin[u], grid.cell));
            const int64_t iu1 =
                std::min<int64_t>(grid.n[u] - 1, floor_div(high_u - grid.origin[u], grid.cell));
            const int64_t iv0 = std::max<int64_t>(0, ceil_div(low_v - grid.origin[v], grid.cell));
            const int64_t iv1 =
                std::min<int64_t>(grid.n[v] - 1, floor_div(high_v - grid.origin[v], grid.cell));
            for (int64_t iv = iv0; iv <= iv1; ++iv) {
                const int64_t pv = grid.origin[v] + iv * grid.cell;
                for (int64_t iu = iu0; iu <= iu1; ++iu) {
                    const int64_t pu = grid.origin[u] + iu * grid.cell;
                    Wide e0 = 0, e1 = 0, e2 = 0;
                    if (side_of_edge(p1, p2, u, v, pu, pv, &e0) != turn ||
                        side_of_edge(p2, p0, u, v, pu, pv, &e1) != turn ||
                        side_of_edge(p0, p1, u, v, pu, pv, &e2) != turn)
                        continue;
                    // e1 and e2 are twice the areas opposite p1 and p2: their
                    // shares of the depth, taken from p0 to keep it exact
                    // near the triangle.
                    const double depth = double(p0[w]) + (double(e1) * double(p1[w] - p0[w]) +
                                                          double(e2) * double(p2[w] - p0[w])) /
                                                             double(area);
                    crossings.push_back({iv * grid.n[u] + iu, depth, turn > 0 ? -1 : 1});
                }
            }
        }
    }
    std::sort(crossings.begin(), crossings.end());
    return crossings;
}

// The inside of the union at the grid points, from the lines along z, and
// the distance (in cells, at most 1) from each point to the union's boundary
// along the nearest of its three lines.
struct Samples {
    std::vector<uint8_t> inside;
    std::vector<float> distance;
};

void sample_lines(const std::vector<ClosedShell>& shells, const Grid& grid, int w,
                  Samples* samples) {
    const int u = (w + 1) % 3, v = (w + 2) % 3;
    const std::vector<Crossing> crossings = cast_lines(shells, grid, w);
    std::vector<double> boundary;
    for (size_t begin = 0; begin < crossings.size();) {
        const int64_t line = crossings[begin].line;
        // Where the winding number about the line turns positive or back to
        // zero; crossings at one depth are taken together.
        boundary.clear();
        int32_t winding = 0;
        size_t at = begin;
        for (; at < crossings.size() && crossings[at].line == line;) {
            const double depth = crossings[at].depth;
            const bool was_inside = winding > 0;
            for (; at < crossings.size() && crossings[at].line == line &&
                   crossings[at].depth == depth;
                 ++at)
                winding += crossings[at].delta;
            if ((winding > 0) != was_inside) boundary.push_back(depth);
        }
        begin = at;
        std::array<int32_t, 3> c = {};
        c[u] = int32_t(line % grid.n[u]);
        c[v] = int32_t(line / grid.n[u]);
        // A point on a boundary counts as just past it.
        size_t passed = 0;
        for (c[w] = 0; c[w] < grid.n[w]; ++c[w]) {
            const double position = double(grid.origin[w] + c[w] * grid.cell);
            while (passed < boundary.size() && boundary[passed] <= position)
                ++passed;
            double nearest = double(grid.cell);
            if (passed > 0) nearest = std::min(nearest, position - boundary[passed - 1]);
            if (passed < boundary.size()) nearest = std::min(nearest, boundary[passed] - position);
            const size_t index = size_t(grid.index(c[0], c[1], c[2]));
            const float cells = float(nearest / double(grid.cell));
            samples->distance[index] = std::min(samples->distance[index], cells);
            if (w == 2) samples->inside[index] = passed % 2;
        }
    }
}

// The field the surface is extracted from: positive inside, its magnitude the
// sampled distance, never below 1/32 of a cell so that no vertex comes
// nearer than 1/33 of its edge to a grid point. The outer points are outside
// whatever the lines said (a shell that is not closed cannot open the
// result).
std::vector<float> sample_field(const std::vector<ClosedShell>& shells, const Grid& grid) {
    Samples samples;
    samples.inside.assign(grid.size(), 0);
    samples.distance.assign(grid.size(), 1.0f);
    for (int w = 0; w < 3; ++w)
        sample_lines(shells, grid, w, &samples);
    std::vector<float> field(grid.size());
    for (int32_t k = 0; k < grid.n[2]; ++k) {
        for (int32_t j = 0; j < grid.n[1]; ++j) {
            for (int32_t i = 0; i < grid.n[0]; ++i) {
                const size_t at = size_t(grid.index(i, j, k));
                const float magnitude = std::max(samples.distance[at], 1.0f / 32);
                const bool outer = i == 0 || j == 0 || k == 0 || i == grid.n[0] - 1 ||
                                   j == grid.n[1] - 1 || k == grid.n[2] - 1;
                field[at] = samples.inside[at] != 0 && !outer ? magnitude : -magnitude;
            }
        }
    }
    return field;
}

// A cube's corners as bits (1 x, 2 y, 4 z) and its six tetrahedra about the
// diagonal from corner 0 to corner 7, one for each order of the axes, their
// corners listed so that each has positive volume (for an odd order of the
// axes the second and third are swapped). Every cube is cut the same way, so
// that neighbouring cubes cut their shared face along the same diagonal.
constexpr int TETRAHEDRA[6][4] = {{0, 1, 3, 7}, {0, 2, 6, 7}, {0, 4, 5, 7},
                                  {0, 5, 1, 7}, {0, 3, 2, 7}, {0, 6, 4, 7}};

// A vertex of the surface: on the grid edge from `base` along `step` (a
// corner-to-corner vector of a cube, in the shells' unit) at fraction `t`.
struct EdgeVertex {
    std::array<double, 3> base;
    std::array<double, 3> step;
    double t;
};

constexpr double T_LOW = 1.0 / 33, T_HIGH = 32.0 / 33;

struct Extraction {
    const Grid& grid;
    const std::vector<float>& field;
    std::unordered_map<int64_t, int32_t> vertex_of_edge;
    std::vector<EdgeVertex> vertices;
    std::vector<std::array<int32_t, 3>> triangles;

    // The vertex on the edge between corners a and b of cube (i, j, k), made
    // on first use. Along a tetrahedron's edge one corner's bits hold the
    // other's: the smaller is the edge's base.
    int32_t vertex(int32_t i, int32_t j, int32_t k, int a, int b) {
        if ((a & b) != a) std::swap(a, b);
        const int32_t bi = i + (a & 1), bj = j + ((a >> 1) & 1), bk = k + ((a >> 2) & 1);
        const int direction = a ^ b;
        const int64_t base = grid.index(bi, bj, bk);
        const int64_t key = base * 7 + (direction - 1);
        const auto found = vertex_of_edge.find(key);
        if (found != vertex_of_edge.end()) return found->second;
        const int32_t ti = bi + (direction & 1), tj = bj + ((direction >> 1) & 1),
                      tk = bk + ((direction >> 2) & 1);
        const double from = field[size_t(base)];
        const double to = field[size_t(grid.index(ti, tj, tk))];
        EdgeVertex vertex;
        const int32_t corner[3] = {bi, bj, bk};
        for (int c = 0; c < 3; ++c) {
            vertex.base[c] = double(grid.origin[c] + corner[c] * grid.cell);
            vertex.step[c] = ((direction >> c) & 1) != 0 ? double(grid.cell) : 0.0;
        }
        vertex.t = std::clamp(from / (from - to), T_LOW, T_HIGH);
        vertices.push_back(vertex);
        const int32_t number = int32_t(vertices.size()) - 1;
        vertex_of_edge.emplace(key, number);
        return number;
    }

    // The faces of one tetrahedron (corners as cube bits, positive volume):
    // a triangle about a corner that differs from the other three, or a quad
    // between two and two, cut along a diagonal. They face from the inside
    // corners to the outside ones: for the corners listed in an even order of
    // the positive one, the triangle about lone inside corner i is (i-j, i-k,
    // i-l), and the quad of inside a, b and outside c, d is (a-c, a-d, b-d,
    // b-c); an odd order turns them.
    void tetrahedron(int32_t i, int32_t j, int32_t k, const int corners[4], const float values[8]) {
        int in[4], out[4], inside = 0, outside = 0;
        for (int q = 0; q < 4; ++q) {
            if (values[corners[q]] > 0) {
                in[inside++] = q;
            } else {
                out[outside++] = q;
            }
        }
        if (inside == 0 || outside == 0) return;
        auto odd = [](int a, int b, int c, int d) {
            const int order[4] = {a, b, c, d};
            int inversions = 0;
            for (int x = 0; x < 4; ++x)
                for (int y = x + 1; y < 4; ++y)
                    inversions += order[x] > order[y];
            return inversions % 2 != 0;
        };
        auto on = [&](int a, int b) { return vertex(i, j, k, corners[a], corners[b]); };
        if (inside == 1 || outside == 1) {
            // The lone corner and the others; a lone outside corner takes
            // the triangle the other way round.
            const int lone = inside == 1 ? in[0] : out[0];
            const int* others = inside == 1 ? out : in;
            std::array<int32_t, 3> face = {on(lone, others[0]), on(lone, others[1]),
                                           on(lone, others[2])};
            if (odd(lone, others[0], others[1], others[2]) != (outside == 1))
                std::swap(face[1], face[2]);
            triangles.push_back(face);
            return;
        }
        std::array<int32_t, 4> quad = {on(in[0], out[0]), on(in[0], out[1]), on(in[1], out[1]),
                                       on(in[1], out[0])};
        if (odd(in[0], in[1], out[0], out[1])) std::swap(quad[1], quad[3]);
        triangles.push_back({quad[0], quad[1], quad[2]});
        triangles.push_back({quad[0], quad[2], quad[3]});
    }

    void run() {
        for (int32_t k = 0; k + 1 < grid.n[2]; ++k) {
            for (int32_t j = 0; j + 1 < grid.n[1]; ++j) {
                for (int32_t i = 0; i + 1 < grid.n[0]; ++i) {
                    float values[8];
                    int inside = 0;
                    for (int c = 0; c < 8; ++c) {
                        values[c] = field[size_t(
                            grid.index(i + (c & 1), j + ((c >> 1) & 1), k + ((c >> 2) & 1)))];
                        inside += values[c] > 0;
                    }
                    if (inside == 0 || inside == 8) continue;
                    for (const auto& corners : TETRAHEDRA)
                        tetrahedron(i, j, k, corners, values);
                }
            }
        }
    }
};

std::array<double, 3> position_of(const EdgeVertex& v) {
    return {v.base[0] + v.t * v.step[0], v.base[1] + v.t * v.step[1], v.base[2] + v.t * v.step[2]};
}

// Taubin's smoothing (a shrinking step toward the neighbours' mean, then a
// growing one away from it), each step taken only along the vertex's own
// grid edge and never past T_LOW .. T_HIGH of it: a vertex stays on its edge,
// so every face stays inside its tetrahedron and none can fold over or pass
// through another. Every vertex moves from the previous positions, in the
// vertices' order.
void smooth_along_edges(const std::vector<std::array<int32_t, 3>>& triangles,
                        std::vector<EdgeVertex>* vertices) {
    constexpr int32_t PASSES = 3;
    constexpr double SHRINK = 0.5, GROW = -0.53;
    const size_t count = vertices->size();
    // Neighbours from the directed edges: on a closed 2-manifold each edge
    // a -> b is met once, so b is listed once among a's neighbours.
    std::vector<int32_t> first(count + 1, 0);
    for (const auto& t : triangles)
        for (int32_t a : t)
            ++first[size_t(a) + 1];
    for (size_t i = 0; i < count; ++i)
        first[i + 1] += first[i];
    std::vector<int32_t> neighbours(static_cast<size_t>(first[count]));
    std::vector<int32_t> filled(first.begin(), first.end() - 1);
    for (const auto& t : triangles)
        for (int c = 0; c < 3; ++c)
            neighbours[size_t(filled[size_t(t[c])]++)] = t[(c + 1) % 3];

    std::vector<std::array<double, 3>> positions(count);
    for (int32_t pass = 0; pass < 2 * PASSES; ++pass) {
        const double factor = pass % 2 == 0 ? SHRINK : GROW;
        for (size_t i = 0; i < count; ++i)
            positions[i] = position_of((*vertices)[i]);
        for (size_t i = 0; i < count; ++i) {
            EdgeVertex& v = (*vertices)[i];
            std::array<double, 3> mean = {0, 0, 0};
            for (int32_t n = first[i]; n < first[i + 1]; ++n)
                for (int c = 0; c < 3; ++c)
                    mean[c] += positions[size_t(neighbours[size_t(n)])][c];
            const double degree = double(first[i + 1] - first[i]);
            double along = 0, length = 0;
            for (int c = 0; c < 3; ++c) {
                along += (mean[c] / degree - positions[i][c]) * v.step[c];
                length += v.step[c] * v.step[c];
            }
            v.t = std::clamp(v.t + factor * along / length, T_LOW, T_HIGH);
        }
    }
}

}  // namespace

ShellUnion union_of_shells(const std::vector<ClosedShell>& shells, int32_t cells_across) {
    ShellUnion result;
    bool any = false;
    for (const ClosedShell& shell : shells)
        any = any || !shell.triangles.empty();
    if (!any) return result;
    const Grid grid = make_grid(shells, cells_across);
    const std::vector<float> field = sample_field(shells, grid);
    Extraction extraction{grid, field, {}, {}, {}};
    extraction.run();
    smooth_along_edges(extraction.triangles, &extraction.vertices);
    result.positions.reserve(extraction.vertices.size());
    for (const EdgeVertex& v : extraction.vertices)
        result.positions.push_back(position_of(v));
    result.triangles = std::move(extraction.triangles);
    result.cell = grid.cell;
    result.points = grid.n;
    return result;
}
