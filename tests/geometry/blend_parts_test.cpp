// Depth fields of a part's surface cut from a wider one, a part's
// triangles cut where they enter another, and its lighting turned toward it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "geometry/blend_parts.h"
#include "support/seeded_random.h"

namespace {

bool same_field(const RayDepthField& a, const RayDepthField& b) {
    return a.x0 == b.x0 && a.y0 == b.y0 && a.width == b.width && a.height == b.height &&
           a.depth.size() == b.depth.size() &&
           std::memcmp(a.depth.data(), b.depth.data(), a.depth.size() * sizeof(double)) == 0;
}

// A field cut from one made with a wider margin holds the very bits of one
// made with the narrower margin, front and back, over random overlapping
// triangles (covered pixels the continuation must go around, tilted faces
// nearer and farther than their neighbours); one that may differ is refused.
TEST(BlendParts, NarrowerFieldsAreTheFieldsMadeNarrower) {
    SeededRandom random{34};
    auto next = [&](int32_t range) { return random.between(-range, range); };
    constexpr int32_t WIDE = 62;
    int32_t compared = 0;
    for (int32_t trial = 0; trial < 12; ++trial) {
        PartMesh mesh;
        const int32_t spread = 20 + 10 * trial;
        for (int32_t i = 0; i < 30; ++i)
            mesh.vertices.push_back({next(spread), next(spread), next(40 + spread), 0});
        for (int32_t i = 0; i < 24; ++i)
            mesh.triangles.push_back({{(i * 7) % 30, (i * 11 + 3) % 30, (i * 13 + 5) % 30}});
        const RayPlacement at = {next(50), next(30), FIXED_ONE + 64 * (trial % 3), 900};
        for (bool back : {false, true}) {
            const RayDepthField wide = part_depth_field(mesh, at, back, WIDE, 3);
            ASSERT_GT(wide.width, 2 * WIDE) << trial;
            for (int32_t margin : {0, 1, 2, 9, 33, 61, 62}) {
                RayDepthField cut;
                ASSERT_TRUE(narrower_depth_field(wide, WIDE, margin, &cut)) << trial;
                EXPECT_TRUE(same_field(cut, part_depth_field(mesh, at, back, margin, 3)))
                    << trial << " " << back << " " << margin;
                ++compared;
            }
            RayDepthField cut;
            EXPECT_FALSE(narrower_depth_field(wide, 20, 30, &cut));
        }
    }
    EXPECT_EQ(compared, 12 * 2 * 7);
    // A part beyond the clipped box: refused, its triangles reaching the margin.
    PartMesh far;
    far.vertices = {{-40000, 0, 0, 0}, {100, 50, 0, 0}, {100, -50, 0, 0}};
    far.triangles = {{{0, 1, 2}}};
    const RayDepthField wide = part_depth_field(far, {0, 0, FIXED_ONE, 900}, false, WIDE, 3);
    RayDepthField cut;
    EXPECT_FALSE(narrower_depth_field(wide, WIDE, 10, &cut));
}

// A mesh changed after its depths were read over a box reads as before
// exactly when its triangles there are the same: a vertex no triangle
// names, or a triangle added wholly beyond the box, leaves the read as it
// was; a corner moved anywhere is found by the compare, and whenever the
// compare says "as before" a fresh read gives the same bits.
TEST(BlendParts, AMeshReadsAsBeforeOnlyWhereItsTrianglesAreTheSame) {
    SeededRandom random{57};
    auto next = [&](int32_t range) { return random.between(-range, range); };
    int32_t kept = 0, read_again = 0;
    for (int32_t trial = 0; trial < 48; ++trial) {
        PartMesh mesh;
        for (int32_t i = 0; i < 30; ++i)
            mesh.vertices.push_back({next(60), next(60), next(60), 0});
        for (int32_t i = 0; i < 24; ++i)
            mesh.triangles.push_back({{(i * 7) % 30, (i * 11 + 3) % 30, (i * 13 + 5) % 30}});
        mesh.vertices.push_back({0, 0, 0, 0});  // named by no triangle
        const RayPlacement at = {next(20), next(20), FIXED_ONE, 900};
        const int32_t x0 = next(30), y0 = next(30), x1 = x0 + 25, y1 = y0 + 20;
        RayDepthField front, back, front_now, back_now;
        DepthRead read;
        part_depth_interval(mesh, at, x0, y0, x1, y1, &front, &back, &read);
        PartMesh now = mesh;
        const int32_t kind = trial % 3;
        if (kind == 0) {
            now.vertices.back() = {next(60), next(60), next(60), 0};
        } else if (kind == 1) {
            const auto n = int32_t(now.vertices.size());
            for (int32_t k = 0; k < 3; ++k)
                now.vertices.push_back({-4000 + 10 * k, 5 * k, 0, 0});
            now.triangles.insert(now.triangles.begin() + trial % 24, {{n, n + 1, n + 2}});
        } else {
            now.vertices[size_t(trial % 30)].x += 1 + trial % 4;
        }
        std::vector<RayPoint> points;
        mesh_ray_points(now, at, &points);
        const bool same = reads_as_before(points, now, at, x0, y0, x1, y1, read);
        if (kind < 2) {
            EXPECT_TRUE(same) << trial;
        }
        part_depth_interval(now, at, x0, y0, x1, y1, &front_now, &back_now);
        if (same) {
            EXPECT_TRUE(same_field(front, front_now) && same_field(back, back_now)) << trial;
            ++kept;
        } else {
            ++read_again;
        }
    }
    EXPECT_GT(kept, 32);
    EXPECT_GT(read_again, 0);
}

// A part's depths over a box are, bit for bit, those of every pixel of each
// triangle's bounds tested on its own: random triangles of both turns, wide,
// thin and with level edges, some reaching beyond the box.
TEST(BlendParts, DepthsAreThoseOfEveryPixelTestedOnItsOwn) {
    SeededRandom random{91};
    auto next = [&](int32_t range) { return random.between(-range, range); };
    for (int32_t trial = 0; trial < 16; ++trial) {
        PartMesh mesh;
        for (int32_t i = 0; i < 15; ++i) {
            const int32_t y = next(250), z = next(300);
            mesh.vertices.push_back({next(250), y, z, 0});
            mesh.vertices.push_back({next(250), i % 2 == 0 ? y : next(250), z, 0});
        }
        for (int32_t i = 0; i < 24; ++i)
            mesh.triangles.push_back({{(i * 7) % 30, (i * 11 + 3) % 30, (i * 13 + 5) % 30}});
        const RayPlacement at = {next(40), next(30), FIXED_ONE, 900};
        const int32_t x0 = next(40) - 40, y0 = next(40) - 40, x1 = x0 + 70, y1 = y0 + 60;
        RayDepthField front, back;
        part_depth_interval(mesh, at, x0, y0, x1, y1, &front, &back);
        std::vector<RayPoint> p;
        mesh_ray_points(mesh, at, &p);
        std::vector<double> near(front.depth.size(), NO_DEPTH), far(near.size(), -NO_DEPTH);
        auto edge = [](const RayPoint& s, const RayPoint& q, double u, double v) {
            return (q.u - s.u) * (v - s.v) - (q.v - s.v) * (u - s.u);
        };
        for (const MeshTriangle& t : mesh.triangles) {
            const RayPoint &a = p[size_t(t.v[0])], &b = p[size_t(t.v[1])], &c = p[size_t(t.v[2])];
            const double whole = edge(a, b, c.u, c.v);
            ASSERT_TRUE(a.d > 0 && b.d > 0 && c.d > 0);
            if (whole == 0) continue;  // no area: nothing drawn
            const int32_t lx = std::max(x0, int32_t(std::ceil(std::min({a.u, b.u, c.u}))));
            const int32_t hx = std::min(x1, int32_t(std::floor(std::max({a.u, b.u, c.u}))));
            const int32_t ly = std::max(y0, int32_t(std::ceil(std::min({a.v, b.v, c.v}))));
            const int32_t hy = std::min(y1, int32_t(std::floor(std::max({a.v, b.v, c.v}))));
            for (int32_t y = ly; y <= hy; ++y)
                for (int32_t x = lx; x <= hx; ++x) {
                    const double ea = edge(b, c, x, y), eb = edge(c, a, x, y),
                                 ec = edge(a, b, x, y);
                    if (whole > 0 ? (ea < 0 || eb < 0 || ec < 0) : (ea > 0 || eb > 0 || ec > 0))
                        continue;
                    const double d = 1 / (ea / whole / a.d + eb / whole / b.d + ec / whole / c.d);
                    const size_t i = size_t(y - y0) * size_t(x1 - x0 + 1) + size_t(x - x0);
                    near[i] = std::min(near[i], d);
                    far[i] = std::max(far[i], d);
                }
        }
        for (double& d : far)
            if (d == -NO_DEPTH) d = NO_DEPTH;
        ASSERT_EQ(front.depth.size(), near.size());
        EXPECT_EQ(std::memcmp(front.depth.data(), near.data(), near.size() * sizeof(double)), 0)
            << trial;
        EXPECT_EQ(std::memcmp(back.depth.data(), far.data(), far.size() * sizeof(double)), 0)
            << trial;
        EXPECT_NE(std::count(near.begin(), near.end(), NO_DEPTH), ptrdiff_t(near.size()));
    }
}

// A square tilted through a slab another part fills (its front 1000 from
// the eye, its back 1100), and a triangle wholly inside it: the inside one
// goes, the square keeps its vertices in order and is cut where it enters,
// each piece turned as its triangle was and never deeper inside than the
// overlap; a mesh wholly outside is left alone.
TEST(BlendParts, TrianglesInsideAnotherPartAreCutAway) {
    constexpr double OVERLAP = 0.5;
    RayDepthField front{-64, -64, 129, 129, {}}, back = front;
    front.depth.assign(129 * 129, 1000.0);
    back.depth.assign(129 * 129, 1100.0);
    const RayPlacement at = {0, 0, FIXED_ONE, 1000};
    auto fine = [](int32_t x, int32_t y, int32_t z) {
        return Vec4{x * FINE_ONE, y * FINE_ONE, z * FINE_ONE, 0};
    };
    PartMesh mesh;
    // z = x / 2: from 50 in front of the slab to 50 inside it.
    mesh.fine = {fine(-100, -40, -50), fine(100, -40, 50), fine(100, 40, 50), fine(-100, 40, -50),
                 fine(0, 0, 40),       fine(10, 0, 40),    fine(0, 10, 40)};
    mesh.triangles = {{{0, 1, 2}}, {{0, 2, 3}}, {{4, 5, 6}}};
    for (const Vec4& p : mesh.fine) {
        mesh.vertices.push_back(round_fine_position(p));
        mesh.normals.push_back({0, 0, -UNIT_LENGTH, 0});
    }
    mesh.front_count = 7;
    auto inside = [&](const Vec4& p) {
        const double d = 1000 + double(p.z) / FINE_ONE;
        return std::min(d - 1000, 1100 - d) - OVERLAP * d / RAY_FOCAL;
    };
    auto turn = [](const PartMesh& m, const MeshTriangle& t) {
        const Vec4 &a = m.fine[size_t(t.v[0])], &b = m.fine[size_t(t.v[1])],
                   &c = m.fine[size_t(t.v[2])];
        return (double(b.x) - a.x) * (double(c.y) - a.y) -
               (double(b.y) - a.y) * (double(c.x) - a.x);
    };
    PartMesh cut;
    ASSERT_TRUE(cut_inside_part(mesh, at, front, back, OVERLAP, &cut));
    ASSERT_GT(cut.fine.size(), mesh.fine.size());
    EXPECT_TRUE(std::equal(
        mesh.fine.begin(), mesh.fine.end(), cut.fine.begin(),
        [](const Vec4& a, const Vec4& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }));
    EXPECT_EQ(cut.vertices.size(), cut.fine.size());
    EXPECT_EQ(cut.normals.size(), cut.fine.size());
    EXPECT_EQ(cut.front_count, 7);
    for (size_t v = mesh.fine.size(); v < cut.fine.size(); ++v) {
        EXPECT_NEAR(inside(cut.fine[v]), 0, 0.01) << v;  // on the crossing
        EXPECT_EQ(cut.normals[v].z, -UNIT_LENGTH) << v;
    }
    ASSERT_GE(cut.triangles.size(), 2u);
    for (const MeshTriangle& t : cut.triangles)
        for (int32_t k : t.v) {
            EXPECT_LE(inside(cut.fine[size_t(k)]), 0.01) << k;
            EXPECT_NE(k, 4);  // the triangle inside is gone
            EXPECT_GT(turn(cut, t), 0);
        }
    // Cut in place, its rays kept for a later cut: the same records.
    PartMesh in_place = mesh;
    std::vector<RayPoint> rays;
    ASSERT_TRUE(cut_inside_part(in_place, at, front, back, OVERLAP, &in_place, &rays));
    EXPECT_TRUE(same_part_mesh(in_place, cut));
    EXPECT_EQ(rays.size(), mesh.fine.size());
    PartMesh outside = mesh;
    outside.triangles.resize(1);
    for (Vec4& p : outside.fine)
        p.z = std::min(p.z, -10 * FINE_ONE);
    EXPECT_FALSE(cut_inside_part(outside, at, front, back, OVERLAP, &cut));
}

// Cut with a band, a part is lit as one with the other where they meet: its
// normals turn toward the other's surface, halfway where the two meet, less
// by the square of the way across the band, not at all beyond it nor beyond
// the other's outline. The other's normal is that of its nearer surface on
// the ray, its front or its back, tilted as it is in the figure, not as the
// pixels show it.
TEST(BlendParts, NormalsTurnTowardTheOtherPartsSurfaceWhereTheyMeet) {
    constexpr double EYE = 1000, BAND = 8, SLOPE = 0.5, THICK = 100;
    // The other part: a slab between z = x / 2 and z = 100 + x / 2.
    RayDepthField front{-64, -64, 129, 129, {}}, back = front;
    for (int32_t y = -64; y <= 64; ++y)
        for (int32_t x = -64; x <= 64; ++x) {
            const double shrink = 1 - SLOPE * x / RAY_FOCAL;
            front.depth.push_back(EYE / shrink);
            back.depth.push_back((EYE + THICK) / shrink);
        }
    const double length = std::sqrt(1 + SLOPE * SLOPE);
    const double front_normal[3] = {-SLOPE / length, 0, 1 / length};
    const double back_normal[3] = {SLOPE / length, 0, -1 / length};
    struct Case {
        int32_t x, y;
        bool near_back;
        double gap;    // from that surface along the ray
        double share;  // of the other's normal
    };
    const Case cases[] = {
        {0, 0, false, 0, 0.5}, {10, 5, false, 4, 0.125},   {-20, 30, false, -4, 0.125},
        {5, -5, false, 9, 0},  {30, 0, true, -2, 0.28125}, {64, 0, false, 0, 0},
    };
    PartMesh mesh;
    for (const Case& c : cases) {
        const double shrink = 1 - SLOPE * c.x / RAY_FOCAL;
        const double d = (c.near_back ? EYE + THICK : EYE) / shrink + c.gap;
        auto fine = [](double v) { return int32_t(std::lround(v * FINE_ONE)); };
        mesh.fine.push_back(
            {fine(c.x * d / RAY_FOCAL), fine(c.y * d / RAY_FOCAL), fine(d - EYE), 0});
        mesh.vertices.push_back(round_fine_position(mesh.fine.back()));
        mesh.normals.push_back({0, 0, UNIT_LENGTH, 0});
    }
    mesh.front_count = int32_t(mesh.fine.size());
    mesh.triangles = {{{0, 1, 2}}};  // its second corner inside: cut
    const RayPlacement at = {0, 0, FIXED_ONE, int32_t(EYE)};
    ASSERT_TRUE(cut_inside_part(mesh, at, front, back, 0.5, &mesh, nullptr, BAND));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const double* n = c.near_back ? back_normal : front_normal;
        double m[3] = {n[0] * c.share, n[1] * c.share, n[2] * c.share + (1 - c.share)};
        const double l = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
        const Vec4 got = mesh.normals[i];
        EXPECT_NEAR(got.x, m[0] / l * UNIT_LENGTH, 3) << i;
        EXPECT_NEAR(got.y, m[1] / l * UNIT_LENGTH, 3) << i;
        EXPECT_NEAR(got.z, m[2] / l * UNIT_LENGTH, 3) << i;
    }
}

}  // namespace
