// The exact walk: polygons drawn watertight share their edges' pixels out,
// and the shared walk hands a polygon whose sides cross to the exact walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "geometry/render_list.h"
#include "raster/fills/polygon_pipeline.h"
#include "raster/fills/shaded_fills.h"
#include "raster/shade_tables.h"
#include "raster/texture_loader.h"
#include "support/seeded_random.h"
#include "support/test_support.h"

namespace {

constexpr uint16_t UNTOUCHED = 0x8000;  // bit 15: no lit pixel has it

struct Point {
    int32_t x, y;
};

// Twice the signed area of a, b, c, and the side of the point (2x + 1, 2y),
// pixel (x, y)'s point in doubled coordinates, from the edge a b.
int64_t cross(Point a, Point b, Point c) {
    return int64_t(b.x - a.x) * (c.y - a.y) - int64_t(b.y - a.y) * (c.x - a.x);
}
int64_t side_of(Point a, Point b, int32_t x, int32_t y) {
    return int64_t(2 * (b.x - a.x)) * (2 * y - 2 * a.y) -
           int64_t(2 * (b.y - a.y)) * (2 * x + 1 - 2 * a.x);
}

// Where the point of pixel (x, y) lies for a triangle: 2 inside, 1 on edge
// `*edge` (0..2, from corner edge to edge + 1), 0 outside.
int place(const Point* t, int32_t x, int32_t y, int* edge) {
    const int64_t turn = cross(t[0], t[1], t[2]);
    int on = -1;
    for (int i = 0; i < 3; ++i) {
        const int64_t s = side_of(t[i], t[(i + 1) % 3], x, y);
        if (s == 0) {
            on = i;
        } else if ((s > 0) != (turn > 0)) {
            return 0;
        }
    }
    *edge = on;
    return on < 0 ? 2 : 1;
}

// Draws each triangle alone, as the dispatcher draws a POLY_WATERTIGHT
// packet, and checks the union: no pixel drawn twice, no pixel drawn outside
// every triangle, and every pixel whose point lies inside a triangle or on an
// edge two triangles share drawn once. Adds the pixels checked that way.
// TEXTURED: drawn as PRIM_LIT_TEX_TRI packets are, from a texture of random
// texels in slot 0 at random coordinates.
void expect_shared_out(int32_t width, int32_t height, const std::vector<Point>& points,
                       const std::vector<std::array<int, 3>>& triangles, std::mt19937& random,
                       const char* what, int64_t* checked, bool textured = false) {
    const int light_kind = int(random() % 3);  // one light, grey lights, coloured lights
    std::vector<ColourRecord> lights;
    for (size_t i = 0; i < points.size(); ++i) {
        const int32_t r = int32_t(random() % 256);
        lights.push_back(light_kind == 0   ? ColourRecord{200, 180, 160, 0}
                         : light_kind == 1 ? ColourRecord{r, r, r, 0}
                                           : ColourRecord{r, int32_t(random() % 256),
                                                          int32_t(random() % 256), 0});
    }
    const ColourRecord surface{int32_t(random() % 256), int32_t(random() % 256),
                               int32_t(random() % 256), 0};
    const int32_t mode = int32_t(random() % 4);
    std::vector<TexCoord> uvs;
    for (size_t i = 0; i < points.size(); ++i)
        uvs.push_back({int32_t(random() % 1024) - 512, int32_t(random() % 1024) - 512, 0, 0});
    if (textured) {
        std::vector<uint16_t> texels(64);
        for (uint16_t& texel : texels)
            texel = uint16_t(random() & 0x7FFF);
        ASSERT_EQ(load_texture(0, 8, 8, texels.data()), 0);
    }
    std::vector<int> count(size_t(width) * size_t(height), 0);
    ScratchRaster raster(width, height, UNTOUCHED);
    for (const auto& t : triangles) {
        std::fill(raster.pixels.begin(), raster.pixels.end(), UNTOUCHED);
        ScreenVertex v[3];
        for (int k = 0; k < 3; ++k)
            v[k] = {points[size_t(t[size_t(k)])].x, points[size_t(t[size_t(k)])].y, 0, 0};
        if (textured) {
            draw_watertight_lit_textured_triangle(&v[0], &v[1], &v[2], &lights[size_t(t[0])],
                                                  &lights[size_t(t[1])], &lights[size_t(t[2])],
                                                  &uvs[size_t(t[0])], &uvs[size_t(t[1])],
                                                  &uvs[size_t(t[2])], 0, mode);
        } else {
            draw_watertight_lit_triangle(&v[0], &v[1], &v[2], &lights[size_t(t[0])],
                                         &lights[size_t(t[1])], &lights[size_t(t[2])], &surface,
                                         mode);
        }
        for (size_t i = 0; i < count.size(); ++i)
            count[i] += raster.pixels[i] != UNTOUCHED;
    }
    std::map<std::pair<int, int>, int> edge_uses;
    for (const auto& t : triangles)
        for (int i = 0; i < 3; ++i)
            ++edge_uses[std::minmax(t[size_t(i)], t[size_t((i + 1) % 3)])];
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            bool must = false, may = false;
            for (const auto& t : triangles) {
                const Point corners[3] = {points[size_t(t[0])], points[size_t(t[1])],
                                          points[size_t(t[2])]};
                int edge;
                const int where = place(corners, x, y, &edge);
                may |= where > 0;
                must |= where == 2 ||
                        (where == 1 &&
                         edge_uses[std::minmax(t[size_t(edge)], t[size_t((edge + 1) % 3)])] == 2);
            }
            const int drawn = count[size_t(y) * size_t(width) + size_t(x)];
            ASSERT_LE(drawn, 1) << what << ": pixel " << x << ", " << y << " drawn twice";
            if (!may) {
                ASSERT_EQ(drawn, 0) << what << ": pixel " << x << ", " << y << " outside";
            }
            if (must) {
                ASSERT_EQ(drawn, 1) << what << ": pixel " << x << ", " << y << " missed";
            }
            *checked += must;
        }
    }
}

struct LitTables : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(init_shading(), 0);
        ASSERT_EQ(init_texture_slots(), 0);
    }
    void TearDown() override {
        free_texture_slots();
        shutdown_shading();
    }
};

// Random fans (a corner and a ring of corners around it, in order) and strips
// (triangles between two rows of corners), all turning one way as the faces
// of a body facing the viewer do, inside and across the raster's borders, in
// a raster narrower and one wider than the reciprocal table, every light and
// shading mode; every third round textured.
TEST_F(LitTables, WatertightFansAndStripsShareTheirEdgesOut) {
    std::mt19937 random(20261209);
    auto between = [&](int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    };
    int64_t checked = 0;
    for (int round = 0; round < 60; ++round) {
        const bool wide = round % 4 == 3;
        const int32_t width = wide ? 1100 : 160, height = wide ? 40 : 120;
        std::vector<Point> points;
        std::vector<std::array<int, 3>> triangles;
        if (round % 2 == 0) {
            // A fan around (cx, cy), its ring at random angles and radii.
            const Point centre{between(-20, width + 20), between(-20, height + 20)};
            points.push_back(centre);
            const int corners = between(3, 14);
            std::vector<double> angles;
            for (int i = 0; i < corners; ++i)
                angles.push_back(std::uniform_real_distribution<double>(0, 2 * M_PI)(random));
            std::sort(angles.begin(), angles.end());
            for (double angle : angles) {
                const double radius = between(3, wide ? 500 : 150);
                points.push_back({centre.x + int32_t(std::lround(radius * std::cos(angle))),
                                  centre.y + int32_t(std::lround(radius * std::sin(angle) *
                                                                 (wide ? 0.1 : 1.0)))});
            }
            for (int i = 1; i <= corners; ++i) {
                const int next = i % corners + 1;
                // A gap of half a turn or more is left open.
                if (cross(points[0], points[size_t(i)], points[size_t(next)]) > 0)
                    triangles.push_back({0, i, next});
            }
        } else {
            // A strip between an upper and a lower row of corners.
            // Corners of both rows share their columns, so that every pair of
            // triangles fills a convex four-sided cell.
            const int corners = between(3, 12);
            int32_t x = between(-30, width / 3);
            for (int i = 0; i < corners; ++i) {
                points.push_back({x, between(-10, height / 2)});
                points.push_back({x, between(height / 2 + 1, height + 10)});
                x += between(1, wide ? 200 : 40);
            }
            for (int i = 0; i + 1 < corners; ++i) {
                const int a = 2 * i, b = 2 * i + 1, c = 2 * i + 2, d = 2 * i + 3;
                for (std::array<int, 3> t : {std::array<int, 3>{a, c, b}, {c, d, b}}) {
                    if (cross(points[size_t(t[0])], points[size_t(t[1])], points[size_t(t[2])]) > 0)
                        triangles.push_back(t);
                }
            }
        }
        expect_shared_out(width, height, points, triangles, random,
                          round % 2 == 0 ? "fan" : "strip", &checked, round % 3 == 2);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(checked, 100000);
}

// Triangles and quadrilaterals anywhere in the int32 plane, drawn watertight:
// nothing written outside the raster (the guard zones, and the address
// sanitizer beyond them), nor outside a convex polygon's bounding box.
TEST_F(LitTables, WatertightPolygonsAnywhereStayInsideTheRasterAndTheirBounds) {
    constexpr int32_t W = 37, H = 23;
    const int32_t extremes[] = {INT32_MIN,  INT32_MIN + 1, INT32_MAX, -(1 << 28) - 1, 1 << 28,
                                -(1 << 23), 1 << 23,       -65536,    65536};
    std::mt19937 random(31);
    auto coordinate = [&](int32_t size) {
        switch (random() % 3) {
            case 0:
                return int32_t(random());
            case 1:
                return extremes[random() % std::size(extremes)];
            default:
                return int32_t(random() % uint32_t(size + 40)) - 20;
        }
    };
    int drawn = 0;
    for (int round = 0; round < 20000; ++round) {
        const int n = 3 + int(random() % 2);
        ScreenVertex v[4];
        ColourRecord lights[4];
        int64_t min_x = INT64_MAX, max_x = INT64_MIN, min_y = INT64_MAX, max_y = INT64_MIN;
        for (int i = 0; i < n; ++i) {
            v[i] = {coordinate(W), coordinate(H), 0, 0};
            lights[i] = {int32_t(random() % 256), int32_t(random() % 256), int32_t(random() % 256),
                         0};
            min_x = std::min<int64_t>(min_x, v[i].x);
            max_x = std::max<int64_t>(max_x, v[i].x);
            min_y = std::min<int64_t>(min_y, v[i].y);
            max_y = std::max<int64_t>(max_y, v[i].y);
        }
        // An outline that turns both ways is walked down its two chains all
        // the same, which may reach past its corners, though not the page's.
        bool left_turn = false, right_turn = false;
        for (int i = 0; i < n; ++i) {
            const ScreenVertex &a = v[i], &b = v[(i + 1) % n], &c = v[(i + 2) % n];
            const __int128 turn = __int128(int64_t(b.x) - a.x) * (int64_t(c.y) - b.y) -
                                  __int128(int64_t(b.y) - a.y) * (int64_t(c.x) - b.x);
            left_turn |= turn > 0;
            right_turn |= turn < 0;
        }
        const bool convex = !(left_turn && right_turn);
        const ColourRecord surface{255, 255, 255, 0};
        GuardedRaster raster(W, H, UNTOUCHED);
        if (n == 3) {
            draw_watertight_lit_triangle(&v[0], &v[1], &v[2], &lights[0], &lights[1], &lights[2],
                                         &surface, 0);
        } else {
            draw_watertight_lit_quad(&v[0], &v[1], &v[2], &v[3], &lights[0], &lights[1], &lights[2],
                                     &lights[3], &surface, 0);
        }
        ASSERT_TRUE(raster.guards_intact()) << "round " << round;
        bool any = false;
        for (int32_t y = 0; y < H; ++y) {
            for (int32_t x = 0; x < W; ++x) {
                if (raster.pixels()[y * W + x] == UNTOUCHED) continue;
                any = true;
                if (!convex) continue;
                ASSERT_TRUE(x >= min_x && x <= max_x && y >= min_y && y <= max_y)
                    << "round " << round << " pixel " << x << ", " << y;
            }
        }
        drawn += any;
    }
    EXPECT_GT(drawn, 2000);
}

// The rows of the shared walk for a polygon inside the raster, as its rules
// have them: the sides each row is drawn with (8 fraction bits), and whether
// they cross (left beyond right) on a row above the last.
struct WalkRow {
    int32_t row, left, right;
};
std::vector<WalkRow> literal_walk(const std::vector<Point>& corners, bool* crossed) {
    const int32_t n = int32_t(corners.size()), last = n - 1;
    // The clip passes turn a loop that lies inside by one entry each.
    std::vector<Point> list;
    for (int32_t i = 0; i < n; ++i)
        list.push_back(corners[size_t((i + 2) % n)]);
    int32_t top = 0, last_row = list[0].y;
    for (int32_t i = 1; i < n; ++i) {
        if (list[size_t(i)].y < list[size_t(top)].y) top = i;
        last_row = std::max(last_row, list[size_t(i)].y);
    }
    auto step = [&](int32_t a, int32_t b) {
        const Point p = list[size_t(a)], q = list[size_t(b)];
        return ((q.x - p.x) * 256) / ((q.y - p.y) + (q.y < p.y ? -1 : 1));
    };
    int32_t f_end = top == last ? 0 : top + 1, b_end = top == 0 ? last : top - 1;
    int32_t f_dx = step(top, f_end), b_dx = step(top, b_end);
    int64_t twice_area = 0;
    for (int32_t i = 0; i < n; ++i)
        twice_area += cross({0, 0}, list[size_t(i)], list[size_t((i + 1) % n)]);
    const bool backward_left = twice_area != 0 ? twice_area > 0 : b_dx < f_dx;
    int32_t left = list[size_t(top)].x * 256, right = left + 255, row = list[size_t(top)].y;
    std::vector<WalkRow> rows;
    *crossed = false;
    auto draw = [&]() {
        rows.push_back({row, left, right});
        *crossed |= row < last_row && left > right;
    };
    auto advance = [&](bool forward) {
        int32_t& end = forward ? f_end : b_end;
        int32_t& dx = forward ? f_dx : b_dx;
        (forward != backward_left ? left : right) = list[size_t(end)].x * 256;
        const int32_t next = forward ? (end == last ? 0 : end + 1) : (end == 0 ? last : end - 1);
        dx = step(end, next);
        end = next;
    };
    for (int32_t iteration = 0; iteration < last; ++iteration) {
        const bool backward_ends = list[size_t(f_end)].y > list[size_t(b_end)].y;
        const int32_t y_end = list[size_t(backward_ends ? b_end : f_end)].y;
        if (row == y_end) {
            draw();
            advance(!backward_ends);
            continue;
        }
        for (; row <= y_end; ++row) {
            draw();
            left += backward_left ? b_dx : f_dx;
            right += backward_left ? f_dx : b_dx;
        }
        if (list[size_t(backward_ends ? f_end : b_end)].y == y_end) advance(backward_ends);
        advance(!backward_ends);
    }
    return rows;
}

// A triangle whose walk lets its sides cross is drawn by the exact walk:
// exactly the pixels whose point (x + 1/2, y) lies inside or on it. Others
// keep the walk's pixels. Wide, flat triangles in rasters 600 to 2048 wide,
// and the triangle that drew nothing at all.
TEST(ExactWalk, TrianglesWhoseSidesCrossKeepTheirPixels) {
    std::mt19937 random(23);
    int redrawn = 0;
    for (int round = 0; round < 1500; ++round) {
        int32_t width = 600 + int32_t(random() % 1449), height = 32;
        std::vector<Point> t(3);
        const int32_t rows = 2 + int32_t(random() % 30);
        for (Point& p : t)
            p = {int32_t(random() % uint32_t(width)), int32_t(random() % uint32_t(rows + 1))};
        if (round == 0) {
            width = 1023, height = 32;
            t = {{309, 12}, {926, 17}, {85, 11}};
        }
        if (cross(t[0], t[1], t[2]) == 0) continue;
        bool crossed;
        const std::vector<WalkRow> walk = literal_walk(t, &crossed);
        std::vector<uint8_t> expected(size_t(width) * size_t(height), 0);
        int ideal = 0;
        const auto [low, high] = std::minmax({t[0].x, t[1].x, t[2].x});
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = low; x <= high; ++x) {
                int edge;
                const bool inside = place(t.data(), x, y, &edge) > 0;
                ideal += inside;
                if (crossed) expected[size_t(y) * size_t(width) + size_t(x)] = inside;
            }
        }
        if (!crossed) {
            for (const WalkRow& r : walk)
                for (int32_t x = r.left >> 8; x < r.right >> 8; ++x)
                    expected[size_t(r.row) * size_t(width) + size_t(x)] = 1;
        }
        const ScreenVertex v[3] = {
            {t[0].x, t[0].y, 0, 0}, {t[1].x, t[1].y, 0, 0}, {t[2].x, t[2].y, 0, 0}};
        const ColourRecord grey{128, 128, 128, 0};
        ScratchRaster raster(width, height, UNTOUCHED);
        draw_gouraud_triangle(&v[0], &v[1], &v[2], &grey, &grey, &grey);
        int drawn = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(raster.pixels[i] != UNTOUCHED, expected[i] != 0)
                << "round " << round << ": pixel " << i % size_t(width) << ", " << i / size_t(width)
                << (crossed ? " (sides crossed)" : "");
            drawn += expected[i];
        }
        if (round == 0) {
            EXPECT_TRUE(crossed);
            EXPECT_EQ(drawn, 252);
        }
        if (crossed) {
            EXPECT_EQ(drawn, ideal) << "round " << round;
        }
        redrawn += crossed;
    }
    EXPECT_GT(redrawn, 40);
}

// Every pixel a triangle draws watertight carries, in each channel, a light
// level within the levels of its corners' lights: no value is carried on past
// the triangle, slivers above all (a corner a pixel or less off the line
// through the other two, as along a body's silhouette). Plain shading of a
// white surface turns level l into the component (31 l) >> 5, one level
// apart from the next from 1 on.
TEST_F(LitTables, WatertightPixelsKeepTheirCornersLevels) {
    std::mt19937 random(2512);
    auto between = [&](int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    };
    auto component = [](int32_t level) { return (level * 31) >> 5; };
    const ColourRecord white{255, 255, 255, 0};
    int64_t checked = 0;
    for (int round = 0; round < 6000; ++round) {
        const bool wide = round % 3 == 2;  // the walk's general form
        const int32_t W = wide ? 1100 : 120, H = wide ? 40 : 90;
        ScreenVertex v[3];
        for (ScreenVertex& p : v)
            p = {between(-10, W + 10), between(-10, H + 10), 0, 0};
        if (round % 2 == 0) {  // a sliver
            const int32_t t = between(0, 16);
            v[2] = {v[0].x + (v[1].x - v[0].x) * t / 16 + between(-1, 1),
                    v[0].y + (v[1].y - v[0].y) * t / 16 + between(-1, 1), 0, 0};
        }
        ColourRecord lights[3];
        for (ColourRecord& l : lights) {
            l = {between(0, 255), between(0, 255), between(0, 255), 0};
            if (round % 4 < 2) l.g = l.b = l.r;  // grey, carried as one attribute
        }
        ScratchRaster raster(W, H, UNTOUCHED);
        draw_watertight_lit_triangle(&v[0], &v[1], &v[2], &lights[0], &lights[1], &lights[2],
                                     &white, SHADE_MODE_PLAIN);
        for (int channel = 0; channel < 3; ++channel) {
            auto level = [&](const ColourRecord& l) {
                return (channel == 0 ? l.r : channel == 1 ? l.g : l.b) >> 3;
            };
            const auto [low, high] =
                std::minmax({level(lights[0]), level(lights[1]), level(lights[2])});
            for (size_t i = 0; i < raster.pixels.size(); ++i) {
                if (raster.pixels[i] == UNTOUCHED) continue;
                const int32_t c = (raster.pixels[i] >> (10 - 5 * channel)) & 31;
                ASSERT_TRUE(c >= component(low) && c <= component(high))
                    << "round " << round << ", pixel " << i % size_t(W) << ", " << i / size_t(W)
                    << ", channel " << channel << ": " << c << " outside levels " << low << ".."
                    << high;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 300000);
}

// Where the lit fill and its watertight form both draw a pixel, they give it
// the same value: only pixels along edges change. Triangles inside the
// raster, whose sides do not cross, under random lights, which keep the lit
// fill within its corners' levels (it can slip below a corner's light that
// lies on a level's lowest value, where the watertight form holds it).
TEST_F(LitTables, WatertightPixelsKeepTheLitFillsValues) {
    std::mt19937 random(77);
    int64_t compared = 0;
    for (int round = 0; round < 4000; ++round) {
        // A raster wider than the reciprocal table, every other round, takes
        // the watertight walk's general form.
        const int32_t W = round % 2 == 0 ? 90 : 1100, H = round % 2 == 0 ? 70 : 40;
        std::vector<Point> t(3);
        for (Point& p : t)
            p = {int32_t(random() % uint32_t(W)), int32_t(random() % uint32_t(H))};
        bool crossed;
        literal_walk(t, &crossed);
        if (crossed || cross(t[0], t[1], t[2]) == 0) continue;  // drawn by the exact walk
        const ScreenVertex v[3] = {
            {t[0].x, t[0].y, 0, 0}, {t[1].x, t[1].y, 0, 0}, {t[2].x, t[2].y, 0, 0}};
        ColourRecord lights[3];
        const bool grey = round % 4 < 2;
        for (ColourRecord& l : lights) {
            l = {int32_t(random() % 256), int32_t(random() % 256), int32_t(random() % 256), 0};
            if (grey) l.g = l.b = l.r;
        }
        const ColourRecord surface{255, 200, 120, 0};
        const int32_t mode = int32_t(random() % 4);
        ScratchRaster lit(W, H, UNTOUCHED);
        draw_lit_triangle(&v[0], &v[1], &v[2], &lights[0], &lights[1], &lights[2], &surface, mode);
        ScratchRaster watertight(W, H, UNTOUCHED);
        draw_watertight_lit_triangle(&v[0], &v[1], &v[2], &lights[0], &lights[1], &lights[2],
                                     &surface, mode);
        for (size_t i = 0; i < lit.pixels.size(); ++i) {
            if (lit.pixels[i] == UNTOUCHED || watertight.pixels[i] == UNTOUCHED) continue;
            ASSERT_EQ(watertight.pixels[i], lit.pixels[i]) << "round " << round << ", pixel " << i;
            ++compared;
        }
    }
    EXPECT_GT(compared, 200000);
}

// The pixels of a convex polygon at any corners whose point (x + 1/2, y) lies
// inside or on it, within the raster: 1 where covered. Repeated corners are
// passed over.
std::vector<uint8_t> closed_coverage(const std::vector<Point>& corners, int32_t width,
                                     int32_t height) {
    const size_t n = corners.size();
    __int128 turn = 0;
    for (size_t i = 0; i < n; ++i)
        turn += __int128(corners[i].x) * corners[(i + 1) % n].y -
                __int128(corners[(i + 1) % n].x) * corners[i].y;
    std::vector<uint8_t> covered(size_t(width) * size_t(height), 0);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            bool in = turn != 0;
            for (size_t i = 0; i < n && in; ++i) {
                const Point a = corners[i], b = corners[(i + 1) % n];
                const __int128 side =
                    __int128(2 * (int64_t(b.x) - a.x)) * (2 * int64_t(y) - 2 * int64_t(a.y)) -
                    __int128(2 * (int64_t(b.y) - a.y)) * (2 * int64_t(x) + 1 - 2 * int64_t(a.x));
                in = side == 0 || (side > 0) == (turn > 0);
            }
            covered[size_t(y) * size_t(width) + size_t(x)] = in;
        }
    }
    return covered;
}

// True when the loop turns one way at every corner where it turns and runs
// down once and up once; a repeated corner is no corner.
bool convex(const std::vector<Point>& points) {
    std::vector<Point> loop;
    for (size_t i = 0; i < points.size(); ++i) {
        const Point p = points[i], q = points[(i + 1) % points.size()];
        if (p.x != q.x || p.y != q.y) loop.push_back(p);
    }
    const size_t n = loop.size();
    int sign = 0, vertical_turns = 0, first_dy = 0, last_dy = 0;
    for (size_t i = 0; i < n; ++i) {
        const Point a = loop[i], b = loop[(i + 1) % n], c = loop[(i + 2) % n];
        const __int128 turn = __int128(int64_t(b.x) - a.x) * (int64_t(c.y) - b.y) -
                              __int128(int64_t(b.y) - a.y) * (int64_t(c.x) - b.x);
        if (turn != 0) {
            if (sign != 0 && (turn > 0) != (sign > 0)) return false;
            sign = turn > 0 ? 1 : -1;
        }
        const int dy = (b.y > a.y) - (b.y < a.y);
        if (dy == 0) continue;
        if (first_dy == 0) first_dy = dy;
        vertical_turns += last_dy != 0 && dy != last_dy;
        last_dy = dy;
    }
    return sign != 0 && vertical_turns + (first_dy != last_dy) == 2;
}

// True when the shared walk of the polygon's clip list, in the raster bound,
// would find its sides crossed: the fills then draw a convex polygon by the
// exact walk.
bool walk_sides_cross(const std::vector<Point>& corners) {
    ClipEntry<0> entries[4];
    for (size_t i = 0; i < corners.size(); ++i)
        entries[i] = {corners[i].x, corners[i].y, {0}};
    ClipEntry<0> clipped[CLIP_LIST_CAPACITY];
    bool inside;
    const int32_t count =
        clip_polygon<0, PlainArithmetic>(entries, int32_t(corners.size()), clipped, inside);
    polygon_detail::WalkStart<0> walk;
    return polygon_detail::start_walk<PlainArithmetic>(clipped, count, walk) &&
           polygon_detail::sides_cross<PlainArithmetic>(clipped, walk.n, walk);
}

// Draws a triangle or quadrilateral through the Gouraud fill, or watertight
// through the lit fill, the colours as lights (plain shading, white surface).
void draw_case(const std::vector<Point>& corners, const std::vector<ColourRecord>& colours,
               bool watertight) {
    ScreenVertex v[4];
    for (size_t i = 0; i < corners.size(); ++i)
        v[i] = {corners[i].x, corners[i].y, 0, 0};
    const ColourRecord* c = colours.data();
    const ColourRecord white{255, 255, 255, 0};
    if (corners.size() == 3) {
        if (watertight) {
            draw_watertight_lit_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2], &white,
                                         SHADE_MODE_PLAIN);
        } else {
            draw_gouraud_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2]);
        }
    } else if (watertight) {
        draw_watertight_lit_quad(&v[0], &v[1], &v[2], &v[3], &c[0], &c[1], &c[2], &c[3], &white,
                                 SHADE_MODE_PLAIN);
    } else {
        draw_gouraud_quad(&v[0], &v[1], &v[2], &v[3], &c[0], &c[1], &c[2], &c[3]);
    }
}

// The first pixel of `raster` whose component in some channel lies outside
// those of its corners' colours, or -1. A colour component c is c >> 3 in a
// pixel; lit, a light's level is l >> 3, and plain shading of a white
// surface makes the component (31 level) >> 5.
int64_t pixel_beyond_corners(const ScratchRaster& raster, const std::vector<ColourRecord>& colours,
                             bool lit) {
    for (int channel = 0; channel < 3; ++channel) {
        auto level = [channel](const ColourRecord& l) {
            return (channel == 0 ? l.r : channel == 1 ? l.g : l.b) >> 3;
        };
        int32_t low = 31, high = 0;
        for (const ColourRecord& l : colours) {
            low = std::min(low, level(l));
            high = std::max(high, level(l));
        }
        if (lit) {
            low = (low * 31) >> 5;
            high = (high * 31) >> 5;
        }
        for (size_t i = 0; i < raster.pixels.size(); ++i) {
            if (raster.pixels[i] == UNTOUCHED) continue;
            const int32_t c = (raster.pixels[i] >> (10 - 5 * channel)) & 31;
            if (c < low || c > high) return int64_t(i);
        }
    }
    return -1;
}

std::string describe(const std::vector<Point>& corners) {
    std::string text;
    for (const Point& p : corners)
        text += " (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")";
    return text;
}

// Polygons that lost their shape or their light at the raster's border:
// - a clipped triangle whose walk's sides cross covers one pixel, which the
//   exact walk of its own corners draws (that of the clipped outline, moved
//   by the crossings' rounding, drew another);
// - a clipped quadrilateral that is not convex keeps the walk: the turn
//   across the clip list's repeated entries once went unseen, and the exact
//   walk of that list drew nothing;
// - a sliver drawn watertight under lights 64, 64 and 255 (levels 8, 8 and
//   31): the pixel right of the walk's span on row 5 took the run one step on,
//   one unit below 64, level 7 (plain shading shows it; banded shading gives
//   levels 7 and 8 one value).
TEST_F(LitTables, BorderCasesKeepTheirPixelsAndLevels) {
    struct Case {
        const char* what;
        int32_t width, height;
        std::vector<Point> corners;
        std::vector<int32_t> grey_lights;  // drawn watertight; none: Gouraud
        std::vector<Point> drawn;
    };
    const Case cases[] = {
        {"crossing triangle", 4, 9, {{8, 7}, {1, 1}, {-1, 0}}, {}, {{0, 1}}},
        {"concave quadrilateral",
         9,
         2,
         {{3, 1}, {-14, -1}, {15, 1}, {-15, 0}},
         {},
         {{4, 0}, {5, 0}, {6, 0}, {7, 0}}},
        {"watertight sliver",
         3,
         10,
         {{1, 8}, {2, 3}, {0, 2}},
         {64, 64, 255},
         {{0, 3}, {1, 3}, {0, 4}, {1, 4}, {0, 5}, {1, 5}}},
    };
    for (const Case& c : cases) {
        std::vector<ColourRecord> colours;
        const ColourRecord gouraud[] = {
            {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {90, 90, 90, 0}};
        for (size_t i = 0; i < c.corners.size(); ++i) {
            const int32_t l = c.grey_lights.empty() ? 0 : c.grey_lights[i];
            colours.push_back(c.grey_lights.empty() ? gouraud[i] : ColourRecord{l, l, l, 0});
        }
        ScratchRaster raster(c.width, c.height, UNTOUCHED);
        draw_case(c.corners, colours, !c.grey_lights.empty());
        std::vector<Point> drawn;
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.width; ++x)
                if (raster.at(x, y) != UNTOUCHED) drawn.push_back({x, y});
        EXPECT_EQ(describe(drawn), describe(c.drawn)) << c.what;
        EXPECT_EQ(pixel_beyond_corners(raster, colours, !c.grey_lights.empty()), -1) << c.what;
    }
}

// Random triangles and quadrilaterals across the borders of small rasters,
// some with corners far beyond them: a convex one whose walk's sides cross
// is drawn exactly as it covers the raster, with colours between its
// corners'; drawn watertight, every pixel keeps its light level within its
// corners' levels. Broad, flat polygons make the sides cross; tall ones
// whose lights lie on a level's lowest value let the walk's light slip below
// it.
TEST_F(LitTables, ClippedPolygonsKeepTheirCoverageAndTheirCornersLevels) {
    SeededRandom random{2026};
    int redrawn = 0;
    for (int round = 0; round < 4000; ++round) {
        const bool broad = round % 4 != 3;
        const int32_t width = broad ? random.between(200, 900) : random.between(2, 30);
        const int32_t height = broad ? random.between(2, 16) : random.between(20, 120);
        std::vector<Point> corners(size_t(3 + random.below(2)));
        for (Point& p : corners) {
            p = {random.between(-width / 4, width + width / 4),
                 random.between(broad ? -2 : -height / 2, height + (broad ? 2 : height / 2))};
            if (random.chance(50)) p.x = random.chance(500) ? -1000000 : 1000000;
        }
        std::vector<ColourRecord> colours;
        for (size_t i = 0; i < corners.size(); ++i) {
            const int32_t l =
                8 * random.between(0, 31) + (random.chance(700) ? 0 : random.below(8));
            colours.push_back(random.chance(500)
                                  ? ColourRecord{l, l, l, 0}
                                  : ColourRecord{random.below(256), l, random.below(256), 0});
        }
        const std::string what =
            describe(corners) + " in " + std::to_string(width) + " x " + std::to_string(height);
        {
            ScratchRaster raster(width, height, UNTOUCHED);
            draw_case(corners, colours, true);
            const int64_t beyond = pixel_beyond_corners(raster, colours, true);
            ASSERT_EQ(beyond, -1) << what << ": pixel " << beyond % width << ", " << beyond / width;
        }
        ScratchRaster raster(width, height, UNTOUCHED);
        if (!convex(corners) || !walk_sides_cross(corners)) continue;
        ++redrawn;
        draw_case(corners, colours, false);
        const std::vector<uint8_t> covered = closed_coverage(corners, width, height);
        for (size_t i = 0; i < covered.size(); ++i) {
            ASSERT_EQ(raster.pixels[i] != UNTOUCHED, covered[i] != 0)
                << what << ": pixel " << i % size_t(width) << ", " << i / size_t(width);
        }
        EXPECT_EQ(pixel_beyond_corners(raster, colours, false), -1) << what;
    }
    EXPECT_GT(redrawn, 30);
}

}  // namespace
