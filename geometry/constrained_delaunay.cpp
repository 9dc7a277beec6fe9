// Constrained Delaunay triangulation: incremental insertion with Lawson flips
// inside a large enclosing triangle, then each segment recovered by flipping
// the edges that cross it, then the inside told from the outside by the
// parity of segments crossed.
#include "geometry/constrained_delaunay.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace {

constexpr int32_t COORDINATE_LIMIT = 1 << 20;
// The enclosing triangle's corners lie far beyond every point; the exact
// predicates below stay within 128 bits for them (differences below 2^23).
constexpr int32_t FAR = 1 << 21;

struct Triangulation {
    std::vector<Point2> p;
    std::vector<int32_t> v;           // 3 per triangle, turning positively
    std::vector<int32_t> n;           // 3 per triangle: neighbour across the edge opposite v[i]
    std::vector<uint8_t> fixed;       // 3 per triangle: that edge is a segment
    std::vector<int32_t> vertex_tri;  // a triangle holding each point
    int32_t last = 0;                 // where the next walk starts
};

int32_t next3(int32_t i) {
    return i == 2 ? 0 : i + 1;
}
int32_t prev3(int32_t i) {
    return i == 0 ? 2 : i - 1;
}

// Positive when d lies inside the circle through a, b, c (turning positively).
// Differences stay below 2^23, so each product of the 3 x 3 determinant
// stays below 2^95 and 128 bits hold it exactly. The determinant is first
// taken in doubles: when it is farther from zero than the rounding of its
// terms can move it (a bound well above Shewchuk's), its sign is the exact
// one; only near-circular cases take the exact sum. Either way the answer is
// the exact sign, the same on every build.
int incircle(const Point2& a, const Point2& b, const Point2& c, const Point2& d) {
    double fax = double(a.x) - d.x, fay = double(a.y) - d.y;
    double fbx = double(b.x) - d.x, fby = double(b.y) - d.y;
    double fcx = double(c.x) - d.x, fcy = double(c.y) - d.y;
    double fa2 = fax * fax + fay * fay, fb2 = fbx * fbx + fby * fby, fc2 = fcx * fcx + fcy * fcy;
    double t1 = fby * fc2, t2 = fb2 * fcy, t3 = fbx * fc2, t4 = fb2 * fcx, t5 = fbx * fcy,
           t6 = fby * fcx;
    double det = fax * (t1 - t2) - fay * (t3 - t4) + fa2 * (t5 - t6);
    double permanent = std::fabs(fax) * (std::fabs(t1) + std::fabs(t2)) +
                       std::fabs(fay) * (std::fabs(t3) + std::fabs(t4)) +
                       fa2 * (std::fabs(t5) + std::fabs(t6));
    if (det > 1e-12 * permanent) return 1;
    if (det < -1e-12 * permanent) return -1;
    __int128 ax = int64_t(a.x) - d.x, ay = int64_t(a.y) - d.y;
    __int128 bx = int64_t(b.x) - d.x, by = int64_t(b.y) - d.y;
    __int128 cx = int64_t(c.x) - d.x, cy = int64_t(c.y) - d.y;
    __int128 a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    __int128 exact = ax * (by * c2 - b2 * cy) - ay * (bx * c2 - b2 * cx) + a2 * (bx * cy - by * cx);
    return exact > 0 ? 1 : exact < 0 ? -1 : 0;
}

int32_t add_triangle_record(Triangulation& t, int32_t a, int32_t b, int32_t c) {
    auto index = int32_t(t.v.size() / 3);
    t.v.insert(t.v.end(), {a, b, c});
    t.n.insert(t.n.end(), {-1, -1, -1});
    t.fixed.insert(t.fixed.end(), {0, 0, 0});
    return index;
}

const Point2& corner(const Triangulation& t, int32_t tri, int32_t i) {
    return t.p[size_t(t.v[size_t(3 * tri + i)])];
}

int32_t local_index(const Triangulation& t, int32_t tri, int32_t vertex) {
    for (int32_t i = 0; i < 3; ++i)
        if (t.v[size_t(3 * tri + i)] == vertex) return i;
    return -1;
}

// Points the neighbour of `tri` that was linked to `old` at `now`.
void relink(Triangulation& t, int32_t tri, int32_t old, int32_t now) {
    if (tri < 0) return;
    for (int32_t i = 0; i < 3; ++i)
        if (t.n[size_t(3 * tri + i)] == old) t.n[size_t(3 * tri + i)] = now;
}

void set_triangle(Triangulation& t, int32_t tri, int32_t a, int32_t b, int32_t c) {
    t.v[size_t(3 * tri)] = a;
    t.v[size_t(3 * tri + 1)] = b;
    t.v[size_t(3 * tri + 2)] = c;
    t.vertex_tri[size_t(a)] = t.vertex_tri[size_t(b)] = t.vertex_tri[size_t(c)] = tri;
}

// Flips the edge opposite corner i1 of t1: the quad a, b, d, c (a = corner
// i1, d across the edge b-c) gets the diagonal a-d instead. Returns t2.
int32_t flip(Triangulation& t, int32_t t1, int32_t i1) {
    int32_t t2 = t.n[size_t(3 * t1 + i1)];
    int32_t a = t.v[size_t(3 * t1 + i1)];
    int32_t b = t.v[size_t(3 * t1 + next3(i1))];
    int32_t c = t.v[size_t(3 * t1 + prev3(i1))];
    int32_t i2 = 0;
    while (t.n[size_t(3 * t2 + i2)] != t1)
        ++i2;
    int32_t d = t.v[size_t(3 * t2 + i2)];
    // Outer neighbours and whether their edges are segments.
    int32_t across_ca = t.n[size_t(3 * t1 + next3(i1))];
    int32_t across_ab = t.n[size_t(3 * t1 + prev3(i1))];
    uint8_t fixed_ca = t.fixed[size_t(3 * t1 + next3(i1))];
    uint8_t fixed_ab = t.fixed[size_t(3 * t1 + prev3(i1))];
    // In t2 = (d, c, b): opposite c is edge b-d, opposite b is edge d-c.
    int32_t ic = next3(i2), ib = prev3(i2);
    int32_t across_bd = t.n[size_t(3 * t2 + ic)];
    int32_t across_dc = t.n[size_t(3 * t2 + ib)];
    uint8_t fixed_bd = t.fixed[size_t(3 * t2 + ic)];
    uint8_t fixed_dc = t.fixed[size_t(3 * t2 + ib)];

    set_triangle(t, t1, a, b, d);  // opposite a: b-d, opposite b: d-a, opposite d: a-b
    set_triangle(t, t2, a, d, c);  // opposite a: d-c, opposite d: c-a, opposite c: a-d
    int32_t* n1 = &t.n[size_t(3 * t1)];
    int32_t* n2 = &t.n[size_t(3 * t2)];
    uint8_t* f1 = &t.fixed[size_t(3 * t1)];
    uint8_t* f2 = &t.fixed[size_t(3 * t2)];
    n1[0] = across_bd, n1[1] = t2, n1[2] = across_ab;
    f1[0] = fixed_bd, f1[1] = 0, f1[2] = fixed_ab;
    n2[0] = across_dc, n2[1] = across_ca, n2[2] = t1;
    f2[0] = fixed_dc, f2[1] = fixed_ca, f2[2] = 0;
    relink(t, across_bd, t2, t1);
    relink(t, across_ca, t1, t2);
    return t2;
}

// Restores the Delaunay property around a new point: each edge opposite it
// whose far corner lies inside its circle is flipped, and the two new edges
// opposite the point are checked in turn.
void legalize(Triangulation& t, int32_t point, std::vector<int32_t>* stack) {
    while (!stack->empty()) {
        int32_t tri = stack->back();
        stack->pop_back();
        int32_t i = local_index(t, tri, point);
        if (i < 0) continue;
        int32_t other = t.n[size_t(3 * tri + i)];
        if (other < 0 || t.fixed[size_t(3 * tri + i)] != 0) continue;
        int32_t j = 0;
        while (t.n[size_t(3 * other + j)] != tri)
            ++j;
        if (incircle(corner(t, tri, 0), corner(t, tri, 1), corner(t, tri, 2),
                     corner(t, other, j)) <= 0)
            continue;
        int32_t t2 = flip(t, tri, i);
        stack->push_back(tri);
        stack->push_back(t2);
    }
}

// The triangle holding p (inside or on an edge), by a visibility walk.
int32_t locate(const Triangulation& t, const Point2& p) {
    int32_t tri = t.last;
    for (int32_t steps = 0; steps < int32_t(t.v.size()); ++steps) {
        bool moved = false;
        for (int32_t i = 0; i < 3 && !moved; ++i) {
            const Point2& a = corner(t, tri, next3(i));
            const Point2& b = corner(t, tri, prev3(i));
            if (orient2(a, b, p) < 0) {
                tri = t.n[size_t(3 * tri + i)];
                moved = true;
            }
        }
        if (!moved) return tri;
    }
    return -1;
}

// Splits the edge opposite corner i of tri (p lies on it) and its neighbour.
void insert_on_edge(Triangulation& t, int32_t tri, int32_t i, int32_t point,
                    std::vector<int32_t>* stack) {
    int32_t other = t.n[size_t(3 * tri + i)];
    int32_t a = t.v[size_t(3 * tri + i)];
    int32_t b = t.v[size_t(3 * tri + next3(i))];
    int32_t c = t.v[size_t(3 * tri + prev3(i))];
    int32_t across_ca = t.n[size_t(3 * tri + next3(i))];
    int32_t across_ab = t.n[size_t(3 * tri + prev3(i))];
    uint8_t f_ca = t.fixed[size_t(3 * tri + next3(i))], f_ab = t.fixed[size_t(3 * tri + prev3(i))];
    uint8_t f_bc = t.fixed[size_t(3 * tri + i)];
    // tri = (a, b, p), t1 = (a, p, c)
    int32_t t1 = add_triangle_record(t, a, point, c);
    set_triangle(t, tri, a, b, point);
    set_triangle(t, t1, a, point, c);
    t.vertex_tri[size_t(a)] = tri;
    if (other < 0) {
        int32_t* n0 = &t.n[size_t(3 * tri)];
        n0[0] = -1, n0[1] = t1, n0[2] = across_ab;
        int32_t* n1 = &t.n[size_t(3 * t1)];
        n1[0] = -1, n1[1] = across_ca, n1[2] = tri;
        t.fixed[size_t(3 * tri)] = f_bc, t.fixed[size_t(3 * tri + 1)] = 0,
                           t.fixed[size_t(3 * tri + 2)] = f_ab;
        t.fixed[size_t(3 * t1)] = f_bc, t.fixed[size_t(3 * t1 + 1)] = f_ca,
                           t.fixed[size_t(3 * t1 + 2)] = 0;
        relink(t, across_ca, tri, t1);
        stack->insert(stack->end(), {tri, t1});
        return;
    }
    int32_t j = 0;
    while (t.n[size_t(3 * other + j)] != tri)
        ++j;
    // other = (d, c, b): opposite c edge b-d, opposite b edge d-c.
    int32_t d = t.v[size_t(3 * other + j)];
    int32_t across_bd = t.n[size_t(3 * other + next3(j))];
    int32_t across_dc = t.n[size_t(3 * other + prev3(j))];
    uint8_t f_bd = t.fixed[size_t(3 * other + next3(j))],
            f_dc = t.fixed[size_t(3 * other + prev3(j))];
    // other = (d, p, b), t3 = (d, c, p)
    int32_t t3 = add_triangle_record(t, d, c, point);
    set_triangle(t, other, d, point, b);
    set_triangle(t, t3, d, c, point);
    auto link = [&](int32_t tr, int32_t n0, int32_t n1, int32_t n2, uint8_t g0, uint8_t g1,
                    uint8_t g2) {
        int32_t* n = &t.n[size_t(3 * tr)];
        uint8_t* f = &t.fixed[size_t(3 * tr)];
        n[0] = n0, n[1] = n1, n[2] = n2;
        f[0] = g0, f[1] = g1, f[2] = g2;
    };
    // tri (a, b, p): opp a = b-p (other), opp b = p-a (t1), opp p = a-b
    link(tri, other, t1, across_ab, f_bc, 0, f_ab);
    // t1 (a, p, c): opp a = p-c (t3), opp p = c-a, opp c = a-p (tri)
    link(t1, t3, across_ca, tri, f_bc, f_ca, 0);
    // other (d, p, b): opp d = p-b (tri), opp p = b-d, opp b = d-p (t3)
    link(other, tri, across_bd, t3, f_bc, f_bd, 0);
    // t3 (d, c, p): opp d = c-p (t1), opp c = p-d (other), opp p = d-c
    link(t3, t1, other, across_dc, f_bc, 0, f_dc);
    relink(t, across_ca, tri, t1);
    relink(t, across_dc, other, t3);
    stack->insert(stack->end(), {tri, t1, other, t3});
}

void insert_point(Triangulation& t, int32_t point, std::vector<int32_t>* stack) {
    const Point2& p = t.p[size_t(point)];
    int32_t tri = locate(t, p);
    if (tri < 0) return;
    t.last = tri;
    for (int32_t i = 0; i < 3; ++i) {
        if (orient2(corner(t, tri, next3(i)), corner(t, tri, prev3(i)), p) == 0) {
            insert_on_edge(t, tri, i, point, stack);
            legalize(t, point, stack);
            return;
        }
    }
    int32_t a = t.v[size_t(3 * tri)], b = t.v[size_t(3 * tri + 1)], c = t.v[size_t(3 * tri + 2)];
    int32_t na = t.n[size_t(3 * tri)], nb = t.n[size_t(3 * tri + 1)], nc = t.n[size_t(3 * tri + 2)];
    int32_t t1 = add_triangle_record(t, point, b, c);  // opposite p: b-c (na)
    int32_t t2 = add_triangle_record(t, a, point, c);  // opposite p: c-a (nb)
    set_triangle(t, tri, a, b, point);                 // opposite p: a-b (nc)
    t.vertex_tri[size_t(point)] = t.vertex_tri[size_t(b)] = t1;
    t.vertex_tri[size_t(c)] = t2;
    int32_t* n0 = &t.n[size_t(3 * tri)];
    n0[0] = t1, n0[1] = t2, n0[2] = nc;
    int32_t* n1 = &t.n[size_t(3 * t1)];
    n1[0] = na, n1[1] = t2, n1[2] = tri;
    int32_t* n2 = &t.n[size_t(3 * t2)];
    n2[0] = t1, n2[1] = nb, n2[2] = tri;
    relink(t, na, tri, t1);
    relink(t, nb, tri, t2);
    stack->insert(stack->end(), {tri, t1, t2});
    legalize(t, point, stack);
}

// The triangle with the edge a -> b, and the corner opposite it; false when
// a and b are not joined.
bool find_edge(const Triangulation& t, int32_t a, int32_t b, int32_t* tri, int32_t* opposite) {
    int32_t start = t.vertex_tri[size_t(a)];
    // Turn around a one way, then (at the enclosing triangle's rim) the other.
    for (int32_t direction = 0; direction < 2; ++direction) {
        int32_t cur = start;
        for (int32_t guard = 0; cur >= 0 && guard < int32_t(t.v.size()); ++guard) {
            int32_t i = local_index(t, cur, a);
            if (t.v[size_t(3 * cur + next3(i))] == b) {
                *tri = cur;
                *opposite = prev3(i);
                return true;
            }
            // Across the edge a -> next (opposite prev) or prev -> a (opposite next).
            cur = t.n[size_t(3 * cur + (direction == 0 ? prev3(i) : next3(i)))];
            if (cur == start) break;
        }
    }
    return false;
}

bool opposite_sides(int64_t o1, int64_t o2) {
    return (o1 > 0 && o2 < 0) || (o1 < 0 && o2 > 0);
}

// Whether the open segments p-q and a-b cross at one point inside both.
bool crosses(const Point2& p, const Point2& q, const Point2& a, const Point2& b) {
    int64_t o1 = orient2(a, b, p), o2 = orient2(a, b, q);
    int64_t o3 = orient2(p, q, a), o4 = orient2(p, q, b);
    return opposite_sides(o1, o2) && opposite_sides(o3, o4);
}

// Makes a -> b an edge marked as a segment. A point exactly on the segment
// splits it; the returned value is that point, or -1 when the edge is done.
int32_t recover_segment(Triangulation& t, int32_t a, int32_t b) {
    int32_t tri = 0, opp = 0;
    auto mark = [&](int32_t u, int32_t w) {
        int32_t tr = 0, o = 0;
        if (find_edge(t, u, w, &tr, &o)) {
            t.fixed[size_t(3 * tr + o)] = 1;
            int32_t other = t.n[size_t(3 * tr + o)];
            if (other >= 0)
                for (int32_t j = 0; j < 3; ++j)
                    if (t.n[size_t(3 * other + j)] == tr) t.fixed[size_t(3 * other + j)] = 1;
        }
    };
    if (find_edge(t, a, b, &tri, &opp) || find_edge(t, b, a, &tri, &opp)) {
        mark(a, b);
        return -1;
    }
    const Point2& pa = t.p[size_t(a)];
    const Point2& pb = t.p[size_t(b)];
    // The triangle around a whose corner at a opens toward b.
    int32_t start = t.vertex_tri[size_t(a)];
    int32_t cur = start;
    std::vector<std::pair<int32_t, int32_t>> crossing;
    for (int32_t guard = 0; guard < int32_t(t.v.size()); ++guard) {
        int32_t i = local_index(t, cur, a);
        int32_t u = t.v[size_t(3 * cur + next3(i))], w = t.v[size_t(3 * cur + prev3(i))];
        int64_t ou = orient2(pa, pb, t.p[size_t(u)]), ow = orient2(pa, pb, t.p[size_t(w)]);
        // A corner on the segment's line, on b's side of a, is on the segment.
        auto ahead = [&](int32_t x) {
            const Point2& px = t.p[size_t(x)];
            return (int64_t(px.x) - pa.x) * (int64_t(pb.x) - pa.x) +
                       (int64_t(px.y) - pa.y) * (int64_t(pb.y) - pa.y) >
                   0;
        };
        if (ou == 0 && ahead(u)) return u;
        if (ow == 0 && ahead(w)) return w;
        if (ou < 0 && ow > 0) {
            crossing.push_back({u, w});
            // Walk on across u-w toward b: u stays right of the line a -> b,
            // w left of it.
            int32_t from = cur;
            int32_t next = t.n[size_t(3 * cur + i)];
            for (int32_t g2 = 0; next >= 0 && g2 < int32_t(t.v.size()); ++g2) {
                int32_t j = 0;
                while (t.n[size_t(3 * next + j)] != from)
                    ++j;
                int32_t r = t.v[size_t(3 * next + j)];
                if (r == b) break;
                int64_t orr = orient2(pa, pb, t.p[size_t(r)]);
                if (orr == 0) return r;
                from = next;
                if (orr < 0) {
                    next = t.n[size_t(3 * from + local_index(t, from, u))];
                    u = r;
                } else {
                    next = t.n[size_t(3 * from + local_index(t, from, w))];
                    w = r;
                }
                crossing.push_back({u, w});
            }
            break;
        }
        // Turn around a: across the edge a - w.
        cur = t.n[size_t(3 * cur + next3(i))];
        if (cur < 0 || cur == start) return -2;
    }
    // Flip the crossing edges away (Sloan): a flip that leaves a crossing
    // edge goes back into the queue; a quad that is not convex waits.
    std::deque<std::pair<int32_t, int32_t>> queue(crossing.begin(), crossing.end());
    std::vector<std::pair<int32_t, int32_t>> fresh;
    for (int64_t guard = 0; !queue.empty() && guard < 64 * int64_t(t.v.size()) + 1000; ++guard) {
        auto [u, w] = queue.front();
        queue.pop_front();
        int32_t tr = 0, o = 0;
        if (!find_edge(t, u, w, &tr, &o)) continue;
        int32_t other = t.n[size_t(3 * tr + o)];
        int32_t j = 0;
        while (t.n[size_t(3 * other + j)] != tr)
            ++j;
        int32_t x = t.v[size_t(3 * tr + o)], y = t.v[size_t(3 * other + j)];
        const Point2 &px = t.p[size_t(x)], &py = t.p[size_t(y)];
        // Convex when x and y lie on opposite sides of u-w and u, w on
        // opposite sides of x-y.
        bool convex =
            opposite_sides(orient2(px, py, t.p[size_t(u)]), orient2(px, py, t.p[size_t(w)]));
        if (!convex) {
            queue.push_back({u, w});
            continue;
        }
        flip(t, tr, o);
        if (x != a && x != b && y != a && y != b && crosses(px, py, pa, pb))
            queue.push_back({x, y});
        else
            fresh.push_back({x, y});
    }
    mark(a, b);
    // The new edges become Delaunay again where they may.
    for (bool changed = true; changed;) {
        changed = false;
        for (auto& [x, y] : fresh) {
            int32_t tr = 0, o = 0;
            if (!find_edge(t, x, y, &tr, &o)) continue;
            if (t.fixed[size_t(3 * tr + o)] != 0) continue;
            int32_t other = t.n[size_t(3 * tr + o)];
            if (other < 0) continue;
            int32_t j = 0;
            while (t.n[size_t(3 * other + j)] != tr)
                ++j;
            if (incircle(corner(t, tr, 0), corner(t, tr, 1), corner(t, tr, 2),
                         corner(t, other, j)) > 0) {
                int32_t nx = t.v[size_t(3 * tr + o)], ny = t.v[size_t(3 * other + j)];
                const Point2 &qx = t.p[size_t(nx)], &qy = t.p[size_t(ny)];
                if (!opposite_sides(orient2(qx, qy, t.p[size_t(x)]),
                                    orient2(qx, qy, t.p[size_t(y)])))
                    continue;
                flip(t, tr, o);
                x = nx, y = ny;
                changed = true;
            }
        }
    }
    return -1;
}

}  // namespace

int64_t orient2(const Point2& a, const Point2& b, const Point2& c) {
    return (int64_t(b.x) - a.x) * (int64_t(c.y) - a.y) -
           (int64_t(b.y) - a.y) * (int64_t(c.x) - a.x);
}

bool triangulate_constrained(const std::vector<Point2>& points,
                             const std::vector<std::pair<int32_t, int32_t>>& segments,
                             std::vector<MeshTriangle>* triangles) {
    triangles->clear();
    auto count = int32_t(points.size());
    for (const Point2& p : points)
        if (p.x <= -COORDINATE_LIMIT || p.x >= COORDINATE_LIMIT || p.y <= -COORDINATE_LIMIT ||
            p.y >= COORDINATE_LIMIT)
            return false;
    for (auto [a, b] : segments)
        if (a < 0 || b < 0 || a >= count || b >= count || a == b) return false;
    if (count < 3) return true;

    Triangulation t;
    t.p = points;
    // The enclosing triangle: points count .. count + 2, turning positively.
    t.p.push_back({-FAR, -FAR});
    t.p.push_back({FAR, -FAR});
    t.p.push_back({0, FAR});
    if (orient2(t.p[size_t(count)], t.p[size_t(count + 1)], t.p[size_t(count + 2)]) < 0)
        std::swap(t.p[size_t(count + 1)], t.p[size_t(count + 2)]);
    t.vertex_tri.assign(t.p.size(), 0);
    add_triangle_record(t, count, count + 1, count + 2);

    // Inserted in bands of 64 pixels, alternately left to right and back, so
    // that each walk starts near its point.
    std::vector<int32_t> order(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        order[size_t(i)] = i;
    auto band = [&](int32_t i) { return points[size_t(i)].y >> (FINE_SHIFT + 6); };
    std::stable_sort(order.begin(), order.end(), [&](int32_t i, int32_t j) {
        int32_t bi = band(i), bj = band(j);
        if (bi != bj) return bi < bj;
        return (bi & 1) == 0 ? points[size_t(i)].x < points[size_t(j)].x
                             : points[size_t(i)].x > points[size_t(j)].x;
    });
    std::vector<int32_t> stack;
    for (int32_t i : order)
        insert_point(t, i, &stack);

    // Segments, split at points that lie on them.
    std::vector<std::pair<int32_t, int32_t>> pending(segments.rbegin(), segments.rend());
    for (int64_t guard = 0; !pending.empty() && guard < 4 * int64_t(count) + 16; ++guard) {
        auto [a, b] = pending.back();
        pending.pop_back();
        int32_t on = recover_segment(t, a, b);
        if (on >= 0) {
            pending.push_back({on, b});
            pending.push_back({a, on});
        }
    }

    // Inside: an odd number of segments crossed from the enclosing corners.
    auto tri_count = int32_t(t.v.size() / 3);
    std::vector<int32_t> depth(size_t(tri_count), -1);
    std::deque<int32_t> queue;
    for (int32_t tr = 0; tr < tri_count; ++tr) {
        for (int32_t i = 0; i < 3; ++i)
            if (t.v[size_t(3 * tr + i)] >= count) {
                depth[size_t(tr)] = 0;
                queue.push_back(tr);
                break;
            }
    }
    while (!queue.empty()) {
        int32_t tr = queue.front();
        queue.pop_front();
        for (int32_t i = 0; i < 3; ++i) {
            int32_t other = t.n[size_t(3 * tr + i)];
            if (other < 0) continue;
            int32_t d = depth[size_t(tr)] + (t.fixed[size_t(3 * tr + i)] != 0 ? 1 : 0);
            if (depth[size_t(other)] >= 0 && depth[size_t(other)] <= d) continue;
            depth[size_t(other)] = d;
            if (d == depth[size_t(tr)])
                queue.push_front(other);
            else
                queue.push_back(other);
        }
    }
    for (int32_t tr = 0; tr < tri_count; ++tr) {
        if (depth[size_t(tr)] < 0 || depth[size_t(tr)] % 2 == 0) continue;
        MeshTriangle m = {{t.v[size_t(3 * tr)], t.v[size_t(3 * tr + 1)], t.v[size_t(3 * tr + 2)]}};
        if (m.v[0] >= count || m.v[1] >= count || m.v[2] >= count) continue;
        triangles->push_back(m);
    }
    return true;
}
