// Gouraud fill and the shared polygon pipeline: coverage, colours, clipping.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "raster/fills/polygon_pipeline.h"
#include "raster/fills/shaded_fills.h"
#include "raster/raster_target.h"
#include "support/test_support.h"

namespace {

// Never produced by the fill: its pixels have bit 15 clear.
constexpr uint16_t UNTOUCHED = 0xFFFF;

ScreenVertex at(int32_t x, int32_t y) {
    return {x, y, 0, 0};
}
ColourRecord rgb(int32_t r, int32_t g, int32_t b) {
    return {r, g, b, 0};
}

void triangle(ScreenVertex a, ScreenVertex b, ScreenVertex c, ColourRecord ca, ColourRecord cb,
              ColourRecord cc) {
    draw_gouraud_triangle(&a, &b, &c, &ca, &cb, &cc);
}
void flat_triangle(ScreenVertex a, ScreenVertex b, ScreenVertex c, ColourRecord colour) {
    triangle(a, b, c, colour, colour, colour);
}
void flat_quad(ScreenVertex a, ScreenVertex b, ScreenVertex c, ScreenVertex d,
               ColourRecord colour) {
    draw_gouraud_quad(&a, &b, &c, &d, &colour, &colour, &colour, &colour);
}

// First and last written column of a row, or {-1, -1} when none; checks that
// the written columns are contiguous.
std::pair<int, int> covered(const ScratchRaster& raster, int y) {
    int first = -1, last = -1;
    for (int x = 0; x < raster.width; ++x) {
        if (raster.at(x, y) == UNTOUCHED) continue;
        if (first < 0) first = x;
        EXPECT_EQ(last < 0 || last == x - 1, true) << "gap in row " << y;
        last = x;
    }
    return {first, last};
}

int written_count(const ScratchRaster& raster) {
    return int(std::count_if(raster.pixels.begin(), raster.pixels.end(),
                             [](uint16_t p) { return p != UNTOUCHED; }));
}

using Span = std::pair<int, int>;

}  // namespace

TEST(GouraudFill, WorkedTriangleMatchesPixelForPixel) {
    ScratchRaster raster(16, 12, UNTOUCHED);
    triangle(at(2, 1), at(12, 6), at(4, 10), rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255));

    EXPECT_EQ(covered(raster, 0), Span(-1, -1));
    EXPECT_EQ(covered(raster, 1), Span(-1, -1));  // the pointed top's own row is empty
    EXPECT_EQ(covered(raster, 2), Span(2, 3));
    EXPECT_EQ(raster.at(2, 2), 0x7003);
    EXPECT_EQ(raster.at(3, 2), 0x6C41);
    EXPECT_EQ(covered(raster, 3), Span(2, 5));
    const uint16_t row3[] = {0x6406, 0x6044, 0x5CA3, 0x58E1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(raster.at(2 + i, 3), row3[i]) << i;
    }
    const Span rows4to10[] = {{2, 6}, {2, 8}, {2, 10}, {3, 11}, {3, 9}, {3, 7}, {3, 6}};
    for (int y = 4; y <= 10; ++y) {
        EXPECT_EQ(covered(raster, y), rows4to10[y - 4]) << y;
    }
    const uint16_t row10[] = {0x0C1C, 0x087A, 0x04D7, 0x0135};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(raster.at(3 + i, 10), row10[i]) << i;
    }
    EXPECT_EQ(covered(raster, 11), Span(-1, -1));
}

TEST(GouraudFill, RectangleCoversBottomRowButNotRightColumnInEitherOrder) {
    for (bool reversed : {false, true}) {
        ScratchRaster raster(16, 12, UNTOUCHED);
        if (reversed) {
            flat_quad(at(2, 2), at(2, 8), at(10, 8), at(10, 2), rgb(255, 7, 8));
        } else {
            flat_quad(at(2, 2), at(10, 2), at(10, 8), at(2, 8), rgb(255, 7, 8));
        }
        EXPECT_EQ(written_count(raster), 8 * 7) << reversed;
        for (int y = 2; y <= 8; ++y) {
            EXPECT_EQ(covered(raster, y), Span(2, 9)) << reversed << " row " << y;
            // Equal colours give one value: 255 packs to 31, 7 to 0, 8 to 1.
            for (int x = 2; x <= 9; ++x) {
                EXPECT_EQ(raster.at(x, y), (31 << 10) | 1);
            }
        }
    }
}

TEST(GouraudFill, TopsAndPolygonsThatDrawNothing) {
    const ColourRecord grey = rgb(100, 100, 100);
    {
        // Pointed top: nothing on the top vertex's row, two pixels below it.
        ScratchRaster raster(16, 12, UNTOUCHED);
        flat_triangle(at(6, 2), at(10, 8), at(2, 8), grey);
        EXPECT_EQ(covered(raster, 2), Span(-1, -1));
        EXPECT_EQ(covered(raster, 3), Span(5, 6));
        EXPECT_EQ(covered(raster, 8), Span(2, 9));
    }
    {
        // Flat top: the top row is drawn across the whole top edge.
        ScratchRaster raster(16, 12, UNTOUCHED);
        flat_triangle(at(2, 2), at(10, 2), at(6, 8), grey);
        EXPECT_EQ(covered(raster, 1), Span(-1, -1));
        EXPECT_EQ(covered(raster, 2), Span(2, 9));
        EXPECT_EQ(covered(raster, 8), Span(5, 5));
        EXPECT_EQ(covered(raster, 9), Span(-1, -1));
    }
    {
        // All vertices on one row, even across the whole raster; polygons
        // wholly beyond each border.
        ScratchRaster raster(16, 12, UNTOUCHED);
        flat_triangle(at(-50, 5), at(80, 5), at(3, 5), grey);
        flat_quad(at(0, 4), at(15, 4), at(9, 4), at(2, 4), grey);
        flat_triangle(at(-9, 1), at(-1, 6), at(-5, 11), grey);
        flat_triangle(at(16, 1), at(30, 6), at(20, 11), grey);
        flat_triangle(at(1, -9), at(14, -1), at(5, -4), grey);
        flat_triangle(at(1, 12), at(14, 20), at(5, 30), grey);
        EXPECT_EQ(written_count(raster), 0);
    }
}

TEST(GouraudFill, FarBorderCrossingsKeepLastColumnAndRowWithValuesAtTheSize) {
    ScratchRaster raster(16, 12);  // the crossings read the bound size
    // x: from (20, 0) to (0, 21): d = -21, so y moves by exactly one row per
    // column. At x = 16 the edge is 4 rows down; that is stored at x = 15.
    ClipEntry<1> right = clip_intersect_x(ClipEntry<1>{20, 0, {0}}, ClipEntry<1>{0, 21, {210}});
    EXPECT_EQ(right.x, 15);
    EXPECT_EQ(right.y, 4);
    EXPECT_EQ(right.q[0], 40);
    ClipEntry<1> bottom = clip_intersect_y(ClipEntry<1>{0, 20, {0}}, ClipEntry<1>{21, 0, {210}});
    EXPECT_EQ(bottom.x, 8);
    EXPECT_EQ(bottom.y, 11);
    EXPECT_EQ(bottom.q[0], 80);

    // Through the fill: a rectangle reaching past the right and bottom
    // borders covers every row down to the last one, and every column but
    // the last (right ends are exclusive).
    ScratchRaster clipped(16, 12, UNTOUCHED);
    flat_quad(at(4, 3), at(40, 3), at(40, 30), at(4, 30), rgb(200, 200, 200));
    for (int y = 3; y < 12; ++y) {
        EXPECT_EQ(covered(clipped, y), Span(4, 14)) << y;
    }
    EXPECT_EQ(written_count(clipped), 11 * 9);
}

TEST(GouraudFill, EdgesSpanningTheRasterKeepTheirBand) {
    const ColourRecord grey = rgb(100, 100, 100);
    {
        // The top edge runs from beyond the left border to beyond the right:
        // the rows between it and the other edges' crossings stay filled.
        for (int rotation = 0; rotation < 3; ++rotation) {
            ScratchRaster raster(16, 12, UNTOUCHED);
            ScreenVertex v[] = {at(-10, 2), at(30, 2), at(8, 11)};
            std::rotate(v, v + rotation, v + 3);
            flat_triangle(v[0], v[1], v[2], grey);
            for (int y = 2; y <= 7; ++y) {
                EXPECT_EQ(covered(raster, y), Span(0, 14)) << y;
            }
            EXPECT_EQ(covered(raster, 11), Span(5, 8));
            EXPECT_EQ(covered(raster, 1), Span(-1, -1));
        }
    }
    {
        // The same across the top and bottom borders.
        ScratchRaster raster(16, 12, UNTOUCHED);
        flat_triangle(at(2, -10), at(2, 30), at(12, 6), grey);
        for (int y = 0; y < 12; ++y) {
            EXPECT_EQ(covered(raster, y).first, 2) << y;
        }
        EXPECT_EQ(covered(raster, 0), Span(2, 6));
        EXPECT_EQ(covered(raster, 6), Span(2, 11));
    }
    {
        // A triangle enclosing the whole raster through both kinds of band.
        ScratchRaster raster(16, 12, UNTOUCHED);
        flat_triangle(at(-1000, -1000), at(3000, -1000), at(8, 30000), grey);
        for (int y = 0; y < 12; ++y) {
            EXPECT_EQ(covered(raster, y), Span(0, 14)) << y;
        }
    }
}

TEST(GouraudFill, SidesFollowTheOutlineEvenWhenItLeavesTheTopLevel) {
    // Each of these lost every pixel when the sides were chosen by comparing
    // the x steps of the two edges leaving the top vertex.
    const ColourRecord grey = rgb(100, 100, 100);
    {
        // A short level top edge heading left, the other edge slanting left
        // faster per row (anticlockwise on screen).
        ScratchRaster raster(37, 23, UNTOUCHED);
        flat_quad(at(15, 2), at(14, 2), at(0, 4), at(5, 10), grey);
        EXPECT_EQ(covered(raster, 5), Span(0, 11));
        EXPECT_EQ(covered(raster, 8), Span(2, 8));
    }
    {
        // The same heading right (clockwise).
        ScratchRaster raster(37, 23, UNTOUCHED);
        flat_quad(at(0, 2), at(1, 2), at(30, 10), at(20, 10), grey);
        EXPECT_EQ(covered(raster, 6), Span(8, 12));
        EXPECT_EQ(covered(raster, 9), Span(15, 22));
    }
    {
        // A vertex just beyond the right border: both of its edges cross the
        // border in the same pixel, leaving a zero-length edge at the top.
        ScratchRaster raster(37, 23, UNTOUCHED);
        flat_triangle(at(0, 4), at(0, 21), at(39, 2), grey);
        EXPECT_EQ(covered(raster, 5), Span(0, 30));
        EXPECT_EQ(covered(raster, 10), Span(0, 21));
        EXPECT_EQ(covered(raster, 21), Span(0, 1));
    }
    {
        // Rounding in the crossings leaves a one-pixel edge doubling back
        // along the top border. The walk's sides cross further down, so the
        // triangle is drawn as it covers the pixels: the last column too.
        ScratchRaster raster(37, 23, UNTOUCHED);
        flat_triangle(at(77, 19), at(11, 0), at(-85, -67), grey);
        EXPECT_EQ(covered(raster, 0), Span(11, 36));
        EXPECT_EQ(covered(raster, 6), Span(32, 36));
    }
}

namespace {

int32_t extreme_coordinate(std::mt19937& random, int32_t limit) {
    static const int32_t extremes[] = {INT32_MIN,  INT32_MIN + 1, INT32_MAX,  INT32_MAX - 1,
                                       -(1 << 23), 1 << 23,       -(1 << 30), 1 << 30,
                                       -65536,     65536,         -1,         0};
    switch (random() % 4) {
        case 0:
            return int32_t(random());  // anywhere in the int32 range
        case 1:
            return extremes[random() % std::size(extremes)];
        default:  // in and around the raster
            return int32_t(random() % uint32_t(limit + 40)) - 20;
    }
}

struct RandomPolygon {
    int n;
    ScreenVertex vertices[4];
    ColourRecord colours[4];
    const ScreenVertex* vertex_pointers[4];
    const ColourRecord* colour_pointers[4];
};

template <typename Coordinate>
RandomPolygon random_polygon(std::mt19937& random, Coordinate coordinate) {
    RandomPolygon p;
    p.n = 3 + int(random() % 2);
    for (int i = 0; i < p.n; ++i) {
        p.vertices[i] = at(coordinate(0), coordinate(1));
        // Mostly in-range colours; now and then any int32 at all.
        p.colours[i] = random() % 8 == 0
                           ? rgb(int32_t(random()), int32_t(random()), int32_t(random()))
                           : rgb(random() % 256, random() % 256, random() % 256);
        p.vertex_pointers[i] = &p.vertices[i];
        p.colour_pointers[i] = &p.colours[i];
    }
    return p;
}

// Where a pixel centre lies relative to a convex polygon, from exact
// geometry: its least distance inside the edges (negative when outside).
// Returns false when the loop is not strictly convex.
bool convex_depth(const ScreenVertex* v, int n, double px, double py, double* depth) {
    double turn_sign = 0;
    *depth = INFINITY;
    for (int i = 0; i < n; ++i) {
        const ScreenVertex& a = v[i];
        const ScreenVertex& b = v[(i + 1) % n];
        const ScreenVertex& c = v[(i + 2) % n];
        const double turn =
            (double(b.x) - a.x) * (double(c.y) - b.y) - (double(b.y) - a.y) * (double(c.x) - b.x);
        if (turn == 0 || (turn_sign != 0 && (turn > 0) != (turn_sign > 0))) return false;
        turn_sign = turn;
    }
    for (int i = 0; i < n; ++i) {
        const ScreenVertex& a = v[i];
        const ScreenVertex& b = v[(i + 1) % n];
        const double ex = double(b.x) - a.x, ey = double(b.y) - a.y;
        double side = (ex * (py - a.y) - ey * (px - a.x)) / std::sqrt(ex * ex + ey * ey);
        *depth = std::min(*depth, turn_sign < 0 ? -side : side);
    }
    return true;
}

constexpr int32_t RANDOM_WIDTH = 37, RANDOM_HEIGHT = 23;

}  // namespace

TEST(GouraudFill, ExtremeCoordinatesNeverWriteOutsideTheRasterNorTheirBounds) {
    std::mt19937 random(20240611);
    int drawn = 0;
    for (int round = 0; round < 20000; ++round) {
        RandomPolygon p = random_polygon(random, [&](int axis) {
            return extreme_coordinate(random, axis == 0 ? RANDOM_WIDTH : RANDOM_HEIGHT);
        });
        int64_t min_x = INT64_MAX, max_x = INT64_MIN, min_y = INT64_MAX, max_y = INT64_MIN;
        for (int i = 0; i < p.n; ++i) {
            min_x = std::min<int64_t>(min_x, p.vertices[i].x);
            max_x = std::max<int64_t>(max_x, p.vertices[i].x);
            min_y = std::min<int64_t>(min_y, p.vertices[i].y);
            max_y = std::max<int64_t>(max_y, p.vertices[i].y);
        }
        // The guard zones catch stray writes near the page in any build, the
        // address sanitizer those farther away.
        GuardedRaster raster(RANDOM_WIDTH, RANDOM_HEIGHT, UNTOUCHED);
        fill_gouraud_polygon(p.vertex_pointers, p.colour_pointers, p.n);
        ASSERT_TRUE(raster.guards_intact()) << "round " << round;
        // Crossings never wrap into a wrong place: nothing lands outside the
        // polygon's bounds.
        bool any = false;
        for (int32_t y = 0; y < RANDOM_HEIGHT; ++y) {
            for (int32_t x = 0; x < RANDOM_WIDTH; ++x) {
                if (raster.pixels()[y * RANDOM_WIDTH + x] == UNTOUCHED) continue;
                any = true;
                ASSERT_TRUE(x >= min_x && x <= max_x && y >= min_y && y <= max_y)
                    << "round " << round << " pixel " << x << ", " << y;
            }
        }
        drawn += any;
    }
    EXPECT_GT(drawn, 2000);  // the rounds are not all trivially empty
}

TEST(GouraudFill, ClippedConvexPolygonsKeepTheirShape) {
    std::mt19937 random(7);
    // Pixel centres this deep inside a convex polygon must be drawn, this far
    // outside must not. The walk counts both end rows of an edge and starts a
    // new edge one row late, which moves edges by up to about three pixels.
    constexpr double MARGIN = 3.5;
    int checked = 0;
    for (int round = 0; round < 20000; ++round) {
        RandomPolygon p = random_polygon(random, [&](int axis) {
            const int32_t size = axis == 0 ? RANDOM_WIDTH : RANDOM_HEIGHT;
            return int32_t(random() % uint32_t(size + 200)) - 100;
        });
        ScratchRaster raster(RANDOM_WIDTH, RANDOM_HEIGHT, UNTOUCHED);
        fill_gouraud_polygon(p.vertex_pointers, p.colour_pointers, p.n);
        double depth;
        if (!convex_depth(p.vertices, p.n, 0, 0, &depth)) continue;
        ++checked;
        for (int32_t y = 0; y < RANDOM_HEIGHT; ++y) {
            for (int32_t x = 0; x < RANDOM_WIDTH; ++x) {
                convex_depth(p.vertices, p.n, x + 0.5, y + 0.5, &depth);
                const bool written = raster.at(x, y) != UNTOUCHED;
                if (depth <= -MARGIN) {
                    ASSERT_FALSE(written) << round << " at " << x << ", " << y;
                }
                // The last column is never drawn: right ends are exclusive.
                if (depth >= MARGIN && x < RANDOM_WIDTH - 1) {
                    ASSERT_TRUE(written) << round << " at " << x << ", " << y;
                }
            }
        }
    }
    EXPECT_GT(checked, 10000);
}

TEST(GouraudFill, NoPixelsOrNoAreaDrawsNothing) {
    std::vector<uint16_t> page(64, UNTOUCHED);
    const ColourRecord grey = rgb(100, 100, 100);
    set_screen_geometry(8, 8, nullptr);
    bind_raster_target();
    flat_triangle(at(0, 0), at(7, 3), at(2, 7), grey);  // must not crash
    for (auto [w, h] : {std::pair{0, 8}, std::pair{8, 0}, std::pair{-3, 8}}) {
        set_screen_geometry(w, h, page.data());
        bind_raster_target();
        flat_triangle(at(0, 0), at(7, 3), at(2, 7), grey);
    }
    set_screen_geometry(0, 0, nullptr);
    bind_raster_target();
    EXPECT_TRUE(std::all_of(page.begin(), page.end(), [](uint16_t p) { return p == UNTOUCHED; }));
}
