// The body's stages on hand-made inputs and on a table of outlines: the
// triangulation keeps segments and area, mending leaves no chord and no flat
// piece, and every outline gives closed, manifold, rounded bodies within
// their quality figures, the same bits every time.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "geometry/body_normals.h"
#include "geometry/constrained_delaunay.h"
#include "geometry/flip_front_edges.h"
#include "geometry/inflate_region.h"
#include "geometry/mend_front_mesh.h"
#include "geometry/region_bits.h"
#include "geometry/region_distance.h"
#include "support/body_quality.h"

namespace {

constexpr int32_t U = FINE_ONE;  // one model unit

int64_t twice_area(const std::vector<Point2>& p, const std::vector<MeshTriangle>& triangles) {
    int64_t sum = 0;
    for (const MeshTriangle& t : triangles) {
        int64_t a = orient2(p[size_t(t.v[0])], p[size_t(t.v[1])], p[size_t(t.v[2])]);
        EXPECT_GT(a, 0);
        sum += a;
    }
    return sum;
}

std::set<std::pair<int32_t, int32_t>> edges_of(const std::vector<MeshTriangle>& triangles) {
    std::set<std::pair<int32_t, int32_t>> edges;
    for (const MeshTriangle& t : triangles)
        for (int k = 0; k < 3; ++k)
            edges.insert({std::min(t.v[k], t.v[(k + 1) % 3]), std::max(t.v[k], t.v[(k + 1) % 3])});
    return edges;
}

// Pixels of a w x h mask from a fixed pattern: a disc, bars, and a sprinkle
// of single pixels that `seed` selects, the border row and column outside.
RegionMask pattern_mask(int32_t w, int32_t h, uint32_t seed) {
    RegionMask m;
    m.width = w;
    m.height = h;
    m.inside.assign(size_t(w) * size_t(h), 0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            int32_t dx = x - w / 3, dy = y - h / 2;
            uint32_t hash = (uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u) ^ seed;
            bool in =
                dx * dx + dy * dy <= (w * w) / 9 || (y % 7 < 3 && x > w / 2) || hash % 11 == 0;
            in = in && x > 0 && y > 0 && x + 1 < w && y + 1 < h;
            m.inside[size_t(y) * size_t(w) + size_t(x)] = in ? uint8_t(1 + hash % 255) : 0;
        }
    return m;
}

}  // namespace

TEST(BodyStages, RowsOfPixelsPackIntoBitsAndBackAsOnePixelAtATime) {
    // Lengths on both sides of a word and of eight, at every bit offset in a
    // word; bytes with only their high or low bits set count as inside.
    const uint8_t values[] = {0, 1, 0x80, 0x7F, 0xFF, 0x40, 0, 0, 0x01, 0};
    for (int32_t count : {0, 1, 7, 8, 9, 63, 64, 65, 130})
        for (int32_t first = 0; first < 64; first += 3) {
            std::vector<uint8_t> bytes(static_cast<size_t>(count));
            for (int32_t i = 0; i < count; ++i)
                bytes[size_t(i)] = values[size_t(i * 7 + first) % 10];
            std::vector<uint64_t> packed(4, 0), plain(4, 0);
            pack_row_bits(bytes.data(), count, packed.data(), first);
            for (int32_t i = 0; i < count; ++i)
                if (bytes[size_t(i)] != 0)
                    plain[size_t(first + i) / 64] |= uint64_t(1) << ((first + i) % 64);
            EXPECT_EQ(packed, plain) << count << " at " << first;
            std::vector<uint8_t> back(size_t(count) + 1, 9);
            unpack_row_bits(packed.data(), count, back.data());
            for (int32_t i = 0; i < count; ++i)
                EXPECT_EQ(back[size_t(i)], ((plain[size_t(i) / 64] >> (i % 64)) & 1))
                    << count << " at " << first << ", byte " << i;
            EXPECT_EQ(back[size_t(count)], 9) << "written past the row";
        }
}

TEST(BodyStages, NormalsRoundHalvesAwayFromZeroAsLroundDoes) {
    // Halves, the doubles just either side of them, and the normals' range.
    const double below_half = std::nextafter(0.5, 0.0);
    for (double v : {0.0, -0.0, 0.5, -0.5, below_half, -below_half, 1.5, -2.5,
                     std::nextafter(2.5, 0.0), std::nextafter(-2.5, 0.0), 1023.5, -1023.5,
                     1024.4999999999998, -1024.0000000000002, 0.1 * 3, 1e9 + 0.5})
        EXPECT_EQ(round_half_away(v), std::lround(v)) << v;
}

TEST(BodyStages, TheDistanceFieldIsExact) {
    // Against every pair of pixels, on masks one pixel wide or high inside
    // their border, and wider than a word.
    for (auto [w, h] : {std::pair{3, 9}, {9, 3}, {17, 13}, {64, 5}, {70, 41}}) {
        RegionMask mask = pattern_mask(w, h, uint32_t(w * h));
        DistanceField field = region_distance_field(mask);
        ASSERT_EQ(field.squared.size(), mask.inside.size());
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                int32_t best = w * w + h * h;
                for (int32_t v = 0; v < h; ++v)
                    for (int32_t u = 0; u < w; ++u)
                        if (mask.inside[size_t(v) * size_t(w) + size_t(u)] == 0)
                            best = std::min(best, (x - u) * (x - u) + (y - v) * (y - v));
                EXPECT_EQ(field.squared[size_t(y) * size_t(w) + size_t(x)], best)
                    << w << " x " << h << " at " << x << ", " << y;
            }
    }
}

TEST(BodyStages, RaysWalkedSideBySideGiveEachRaysOwnRadius) {
    // Rays of every length, from a thin bar's edge to the disc's middle,
    // some leaving the mask at once; each must get its own walk's radius.
    RegionMask mask = pattern_mask(70, 41, 7);
    mask.origin_x = -30;
    mask.origin_y = -20;
    DistanceField field = region_distance_field(mask);
    std::vector<InwardRay> rays;
    for (int32_t i = 0; i < 40; ++i) {
        double angle = 0.7 * i;
        rays.push_back({{(-30 + 2 + (i * 13) % 66) * U, (-20 + 1 + (i * 7) % 39) * U},
                        std::cos(angle),
                        std::sin(angle)});
    }
    std::vector<double> radii = inscribed_radii(field, rays);
    ASSERT_EQ(radii.size(), rays.size());
    std::set<double> distinct;
    for (size_t i = 0; i < rays.size(); ++i) {
        EXPECT_EQ(radii[i], inscribed_radius(field, rays[i].point, rays[i].dx, rays[i].dy)) << i;
        distinct.insert(radii[i]);
    }
    EXPECT_GT(distinct.size(), 10u);
}

TEST(BodyStages, TriangulationKeepsEverySegmentAndExactlyTheInside) {
    struct Case {
        const char* name;
        std::vector<Point2> points;
        std::vector<std::pair<int32_t, int32_t>> segments;
        int64_t twice_area;
    };
    // Loops run with the inside on their (-ty, tx) side (clockwise on the
    // screen); the hole the other way.
    const Case cases[] = {
        {"square",
         {{0, 0}, {10 * U, 0}, {10 * U, 10 * U}, {0, 10 * U}},
         {{0, 1}, {1, 2}, {2, 3}, {3, 0}},
         2 * 100LL * U * U},
        {"L, its reflex corner's diagonal outside",
         {{0, 0}, {4 * U, 0}, {4 * U, 6 * U}, {10 * U, 6 * U}, {10 * U, 10 * U}, {0, 10 * U}},
         {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 0}},
         2 * 64LL * U * U},
        {"square with a hole and a point inside",
         {{0, 0},
          {12 * U, 0},
          {12 * U, 12 * U},
          {0, 12 * U},
          {4 * U, 4 * U},
          {4 * U, 8 * U},
          {8 * U, 8 * U},
          {8 * U, 4 * U},
          {2 * U, 10 * U}},
         {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 4}},
         2 * 128LL * U * U},
        {"a point exactly on a segment splits it",
         {{0, 0}, {10 * U, 0}, {10 * U, 10 * U}, {0, 10 * U}, {5 * U, 0}, {5 * U, 5 * U}},
         {{0, 1}, {1, 2}, {2, 3}, {3, 0}},
         2 * 100LL * U * U},
        {"long thin strip, rows a sixteenth apart",
         {{0, 0}, {40 * U, 0}, {40 * U, U / 16}, {0, U / 16}, {20 * U, U / 32}},
         {{0, 1}, {1, 2}, {2, 3}, {3, 0}},
         2 * 40LL * U * (U / 16)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<MeshTriangle> triangles;
        ASSERT_TRUE(triangulate_constrained(c.points, c.segments, &triangles));
        EXPECT_EQ(twice_area(c.points, triangles), c.twice_area);
        std::set<std::pair<int32_t, int32_t>> edges = edges_of(triangles);
        for (auto [a, b] : c.segments) {
            bool whole = edges.count({std::min(a, b), std::max(a, b)}) != 0;
            // Split at a point lying on it: both halves are edges instead.
            bool split = false;
            for (int32_t p = 0; p < int32_t(c.points.size()); ++p)
                if (p != a && p != b &&
                    orient2(c.points[size_t(a)], c.points[size_t(b)], c.points[size_t(p)]) == 0 &&
                    edges.count({std::min(a, p), std::max(a, p)}) &&
                    edges.count({std::min(p, b), std::max(p, b)}))
                    split = true;
            EXPECT_TRUE(whole || split) << a << "-" << b;
        }
    }
}

TEST(BodyStages, MendingSplitsChordsAndLeavesOutPiecesWithoutVolume) {
    // A quad cut by the chord 0-2 between rim points, and a lone triangle
    // whose points all lie on its rim.
    BodyPoints placed;
    placed.points = {{0, 0},      {8 * U, 0},  {8 * U, 8 * U}, {0, 8 * U},
                     {20 * U, 0}, {24 * U, 0}, {20 * U, 4 * U}};
    placed.edge.assign(placed.points.size(), 0);
    placed.radius.assign(placed.points.size(), 4);
    std::vector<MeshTriangle> triangles = {{{0, 1, 2}}, {{0, 2, 3}}, {{4, 5, 6}}};
    FrontMesh mesh = mend_front_mesh(placed, triangles);
    ASSERT_EQ(mesh.points.size(), 5u);  // the lone triangle's points gone, a midpoint added
    EXPECT_EQ(mesh.triangles.size(), 4u);
    EXPECT_EQ(mesh.rim[4], 0);
    EXPECT_EQ(mesh.points[4].x, 4 * U);
    EXPECT_EQ(mesh.points[4].y, 4 * U);
    for (auto [a, b] : edges_of(mesh.triangles)) {
        int uses = 0;
        for (const MeshTriangle& t : mesh.triangles)
            for (int k = 0; k < 3; ++k)
                uses += std::min(t.v[k], t.v[(k + 1) % 3]) == a &&
                        std::max(t.v[k], t.v[(k + 1) % 3]) == b;
        EXPECT_FALSE(uses == 2 && mesh.rim[size_t(a)] && mesh.rim[size_t(b)])
            << "chord " << a << "-" << b;
    }
}

TEST(BodyStages, EdgesFlipToSuitTheSurfaceButNeverFoldOrJoinTwoRimPoints) {
    // Two triangles sharing a-b, the plane's Delaunay diagonal; lifted, a
    // stands high and b low, so that on the surface c-d is the better one.
    struct Case {
        const char* name;
        Point2 d;
        uint8_t rim;  // on c and d
        bool flips;
    };
    const Case cases[] = {
        {"flipped", {16 * U, 10 * U}, 0, true},
        {"c-d would join two rim points", {16 * U, 10 * U}, 1, false},
        {"c-d would fold a triangle", {16 * U, 3 * U}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrontMesh mesh;
        mesh.points = {{10 * U, 7 * U}, {10 * U, 13 * U}, {4 * U, 10 * U}, c.d};
        mesh.rim = {0, 0, c.rim, c.rim};
        mesh.triangles = {{{0, 1, 2}}, {{1, 0, 3}}};
        flip_front_edges(&mesh, {30, 0, 15, 15});
        std::set<std::pair<int32_t, int32_t>> edges = edges_of(mesh.triangles);
        EXPECT_EQ(edges.count({2, 3}), c.flips ? 1u : 0u);
        EXPECT_EQ(edges.count({0, 1}), c.flips ? 0u : 1u);
        EXPECT_EQ(twice_area(mesh.points, mesh.triangles),
                  twice_area(mesh.points, {{{0, 1, 2}}, {{1, 0, 3}}}));
    }
}

TEST(BodyStages, EveryOutlineGivesClosedRoundedBodiesWithinTheirFigures) {
    // The quality table's shapes, then drawings as users make them.
    std::vector<BodyOutline> outlines = body_outlines();
    const size_t shapes = outlines.size();
    for (const BodyOutline& outline : drawing_outlines())
        outlines.push_back(outline);
    for (size_t i = 0; i < outlines.size(); ++i) {
        const BodyOutline& outline = outlines[i];
        SCOPED_TRACE(outline.name);
        RegionMask mask = outline_mask(outline);
        BodyShell body = inflate_region(mask, {}, {});
        BodyQuality q = measure_body(body, &mask);
        // One closed shell per region, with the genus of its holes: necks
        // down to 3 px hold their parts together.
        EXPECT_TRUE(q.closed);
        EXPECT_TRUE(q.every_piece_has_volume);
        EXPECT_EQ(q.components, outline.regions);
        EXPECT_EQ(q.genus_total, outline.holes);
        // Round at notches and tips, a small blob round too, and the front
        // meeting the back as gently along thin parts as along wide ones.
        EXPECT_LE(q.dihedral_max, outline.name == "20-px blob" ? 30 : 60);
        EXPECT_LE(q.turn_dihedral_max, q.dihedral_max);
        EXPECT_LE(q.rim_crease_median, 8);
        if (q.thin_rim_edges > 0) {
            EXPECT_LE(q.thin_crease_median, 8);
        }
        if (i >= shapes) continue;
        // The quality table's own figures. The first row stands a few
        // degrees from the rim (the crease), so the triangles along thin
        // rims are long and narrow.
        EXPECT_GE(q.min_angle_p5, 12);
        EXPECT_LE(q.inner_dihedral_p95, 25);
        if (outline.name == "disc") {
            EXPECT_LE(q.dihedral_p95, 12);
            EXPECT_LE(q.dihedral_max, 30);
            EXPECT_LE(q.rim_crease_median, 6);
            EXPECT_LE(q.ring1_cv, 0.15);
            EXPECT_LE(q.sphere_rms, 0.008);
        }
        if (outline.name == "band") {
            EXPECT_LE(q.section_rms, 0.015);
        }
        // Fronts at most 3,000 triangles a side for every outline but the
        // thin ones, whose spacing has its floor.
        EXPECT_LE(q.triangles, 12000);
    }
}

TEST(BodyStages, TouchingPartsSeparateAndNarrowGapsStayOpen) {
    // Two discs joined by a neck one pixel wide, and a U whose arms stand 6
    // pixels apart.
    BodyOutline pinch = {"pinch", [](double x, double y) {
                             return (x + 60) * (x + 60) + y * y <= 40 * 40 ||
                                    (x - 60) * (x - 60) + y * y <= 40 * 40 ||
                                    (y == 0 && x > -30 && x < 30);
                         }};
    BodyShell body = inflate_region(outline_mask(pinch), {}, {});
    BodyQuality q = measure_body(body);
    EXPECT_TRUE(q.closed);
    EXPECT_TRUE(q.every_piece_has_volume);
    EXPECT_EQ(q.components, 2);

    // Pixel columns -2 .. 3 are the gap: its edges at -2.5 and 3.5.
    BodyOutline u = {
        "U", [](double x, double y) {
            return (y >= -100 && y <= 60 && ((x >= -40 && x <= -3) || (x >= 4 && x <= 40))) ||
                   (y > 60 && y <= 100 && x >= -40 && x <= 40);
        }};
    RegionMask mask = outline_mask(u);
    body = inflate_region(mask, {}, {});
    EXPECT_TRUE(measure_body(body).closed);
    // No front triangle bridges the gap: none has its centroid more than a
    // pixel inside it, but for the rounded corners at its closed end.
    for (int32_t t = 0; t < int32_t(body.triangles.size()) / 2; ++t) {
        double cx = 0, cy = 0;
        for (int32_t v : body.triangles[size_t(t)].v) {
            cx += double(body.vertices[size_t(v)].x) / (3 * U);
            cy += double(body.vertices[size_t(v)].y) / (3 * U);
        }
        EXPECT_FALSE(cx > -1.5 && cx < 2.5 && cy < 58) << cx << ", " << cy;
    }
}

TEST(BodyStages, TheSameRegionGivesTheSameBodyBitForBit) {
    // A disc drawn with integers only, so that the region itself is the same on
    // every build; the digest is FNV-1a over the vertices and triangles.
    BodyOutline disc = {"disc", [](double x, double y) { return x * x + y * y <= 90 * 90; }};
    auto digest = [](const BodyShell& body) {
        uint64_t h = 1469598103934665603ull;
        auto add = [&](int32_t value) {
            for (int i = 0; i < 4; ++i) {
                h ^= uint8_t(uint32_t(value) >> (8 * i));
                h *= 1099511628211ull;
            }
        };
        for (const Vec4& v : body.vertices) {
            add(v.x);
            add(v.y);
            add(v.z);
        }
        for (const MeshTriangle& t : body.triangles)
            for (int32_t v : t.v)
                add(v);
        return h;
    };
    BodyShell first = inflate_region(outline_mask(disc), {}, {});
    BodyShell second = inflate_region(outline_mask(disc), {}, {});
    EXPECT_EQ(digest(first), digest(second));
    EXPECT_EQ(digest(first), 14189851102932875053ull);
}
