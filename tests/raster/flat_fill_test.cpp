// Flat fill: its coverage rules, the 50 % blend, clipping at every border and
// safety for any coordinates.
#include "raster/fills/flat_fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <vector>

#include "raster/raster_target.h"
#include "support/test_support.h"

namespace {

constexpr uint16_t WHITE = 0x7FFF;

ScreenVertex at(int32_t x, int32_t y) {
    return {x, y, 0, 0};
}

void triangle(ScreenVertex a, ScreenVertex b, ScreenVertex c, uint16_t colour = WHITE) {
    draw_flat_triangle(&a, &b, &c, colour);
}
void quad(ScreenVertex a, ScreenVertex b, ScreenVertex c, ScreenVertex d, uint16_t colour = WHITE) {
    draw_flat_quad(&a, &b, &c, &d, colour);
}

using Span = std::pair<int, int>;

// First and last blended column of a row over a black raster, {-1, -1} for
// none; checks that the blended columns are contiguous.
Span covered(const ScratchRaster& raster, int y) {
    int first = -1, last = -1;
    for (int x = 0; x < raster.width; ++x) {
        if (raster.at(x, y) == 0) continue;
        EXPECT_TRUE(last < 0 || last == x - 1) << "gap in row " << y;
        if (first < 0) first = x;
        last = x;
    }
    return {first, last};
}

int blended_count(const ScratchRaster& raster) {
    return int(std::count_if(raster.pixels.begin(), raster.pixels.end(),
                             [](uint16_t p) { return p != 0; }));
}

}  // namespace

TEST(FlatFill, WorkedRectangleTriangleAndBlends) {
    static_assert(average_pixel(WHITE, 0) == 0x3DEF);       // (15, 15, 15)
    static_assert(average_pixel(WHITE, WHITE) == 0x7BDE);   // never full white
    static_assert(average_pixel(WHITE, 0x3DEF) == 0x5AD6);  // 15 then 22
    for (bool reversed : {false, true}) {
        ScratchRaster raster(16, 12);
        if (reversed) {
            quad(at(2, 2), at(2, 8), at(10, 8), at(10, 2));
        } else {
            quad(at(2, 2), at(10, 2), at(10, 8), at(2, 8));
        }
        for (int y = 2; y <= 8; ++y) {
            EXPECT_EQ(covered(raster, y), Span(2, 9)) << reversed << " row " << y;
        }
        EXPECT_EQ(blended_count(raster), 8 * 7);
        EXPECT_EQ(raster.at(5, 5), 0x3DEF);
    }
    {
        ScratchRaster raster(24, 16);
        triangle(at(10, 2), at(20, 12), at(0, 12));
        EXPECT_EQ(covered(raster, 2), Span(-1, -1));
        EXPECT_EQ(covered(raster, 3), Span(9, 10));
        EXPECT_EQ(covered(raster, 12), Span(0, 19));
        EXPECT_EQ(covered(raster, 13), Span(-1, -1));
        // The same packet twice: each pass halves the distance to white.
        triangle(at(10, 2), at(20, 12), at(0, 12));
        EXPECT_EQ(raster.at(10, 8), 0x5AD6);
    }
    {
        // Nothing at all for polygons without height, even across the raster.
        ScratchRaster raster(16, 12);
        triangle(at(-50, 5), at(80, 5), at(3, 5));
        quad(at(0, 4), at(15, 4), at(9, 4), at(2, 4));
        EXPECT_EQ(blended_count(raster), 0);
    }
}

TEST(FlatFill, ClipsAtEveryBorderAndKeepsBandsOfSpanningEdges) {
    ScratchRaster raster(16, 12);
    auto clipped = [](std::vector<ScreenVertex> v) {
        const ScreenVertex* pointers[4];
        for (size_t i = 0; i < v.size(); ++i)
            pointers[i] = &v[i];
        FlatPoint out[FLAT_CLIP_CAPACITY];
        const int32_t n = clip_flat_polygon(pointers, int32_t(v.size()), out);
        std::vector<std::pair<int, int>> list;
        for (int32_t i = 0; i < n; ++i)
            list.emplace_back(out[i].x, out[i].y);
        return list;
    };
    using List = std::vector<std::pair<int, int>>;
    // x = -5 is cut at column 0. x = W + 5 = 21 is cut at column 15 with the y
    // of the crossing at x = 16: 2 + ((-5 * (4 * 256 / -11)) >> 8) = 3. The y
    // pass, with everything inside, starts the list at the second entry.
    EXPECT_EQ(clipped({at(-5, 2), at(10, 2), at(10, 8)}), (List{{10, 2}, {10, 8}, {0, 3}, {0, 2}}));
    EXPECT_EQ(clipped({at(21, 2), at(10, 6), at(10, 0)}),
              (List{{10, 6}, {10, 0}, {15, 1}, {15, 3}}));
    // Wholly beyond one border: nothing.
    EXPECT_TRUE(clipped({at(-9, 1), at(-1, 6), at(-5, 11)}).empty());
    EXPECT_TRUE(clipped({at(1, 12), at(14, 20), at(5, 30)}).empty());

    // The top edge runs from beyond the left border to beyond the right one:
    // the band between it and the other edges' crossings stays, whichever
    // vertex comes first.
    for (int rotation = 0; rotation < 3; ++rotation) {
        std::fill(raster.pixels.begin(), raster.pixels.end(), 0);
        ScreenVertex v[] = {at(-10, 2), at(30, 2), at(8, 11)};
        std::rotate(v, v + rotation, v + 3);
        triangle(v[0], v[1], v[2]);
        EXPECT_EQ(covered(raster, 1), Span(-1, -1));
        for (int y = 2; y <= 6; ++y) {
            EXPECT_EQ(covered(raster, y), Span(0, 14)) << rotation << " row " << y;
        }
    }
    // Across the top and bottom borders, and around the whole raster.
    std::fill(raster.pixels.begin(), raster.pixels.end(), 0);
    triangle(at(2, -10), at(2, 30), at(12, 6));
    for (int y = 0; y < 12; ++y) {
        EXPECT_EQ(covered(raster, y).first, 2) << y;
    }
    std::fill(raster.pixels.begin(), raster.pixels.end(), 0);
    triangle(at(-1000, -1000), at(3000, -1000), at(8, 30000));
    EXPECT_EQ(blended_count(raster), 15 * 12);  // the last column is never reached
}

TEST(FlatFill, SidesFollowTheOutlineWhenItLeavesTheTopLevel) {
    // A short level top edge with the far edge slanting the same way faster:
    // comparing the first x steps would swap the sides and draw nothing.
    ScratchRaster raster(37, 23);
    quad(at(0, 2), at(1, 2), at(30, 10), at(20, 10));
    EXPECT_EQ(blended_count(raster), 45);
    EXPECT_EQ(covered(raster, 2), Span(0, 0));
    EXPECT_EQ(covered(raster, 6), Span(8, 12));
    EXPECT_EQ(covered(raster, 10), Span(17, 25));
    std::fill(raster.pixels.begin(), raster.pixels.end(), 0);
    quad(at(15, 2), at(14, 2), at(0, 4), at(5, 10));  // anticlockwise
    EXPECT_EQ(covered(raster, 5), Span(0, 11));
    EXPECT_EQ(covered(raster, 10), Span(3, 6));
}

namespace {

struct Point {
    int32_t x, y;
    bool operator==(const Point&) const = default;
};

// True when the closed loop turns one way wherever it turns, has area and
// runs down once and up once; its turn in *turn. A repeated point is no
// corner.
bool convex_loop(const std::vector<Point>& points, int32_t* turn) {
    std::vector<Point> list;
    for (size_t i = 0; i < points.size(); ++i)
        if (!(points[i] == points[(i + 1) % points.size()])) list.push_back(points[i]);
    const int32_t n = int32_t(list.size());
    int32_t sign = 0, changes = 0, first_dy = 0, last_dy = 0;
    for (int32_t i = 0; i < n; ++i) {
        const Point p = list[size_t(i)], q = list[size_t((i + 1) % n)],
                    r = list[size_t((i + 2) % n)];
        const int64_t cross = int64_t(q.x - p.x) * (r.y - q.y) - int64_t(q.y - p.y) * (r.x - q.x);
        if (cross != 0) {
            if (sign != 0 && (cross > 0) != (sign > 0)) return false;
            sign = cross > 0 ? 1 : -1;
        }
        const int32_t dy = (q.y > p.y) - (q.y < p.y);
        if (dy == 0) continue;
        if (first_dy == 0) first_dy = dy;
        changes += last_dy != 0 && dy != last_dy;
        last_dy = dy;
    }
    changes += first_dy != last_dy;
    *turn = sign;
    return sign != 0 && changes == 2;
}

// A plain model of the flat fill: the straightforward clip and walk in 32-bit
// arithmetic, with sides chosen by the first x steps, nothing kept of an edge
// spanning the raster and no clamp on spans. Where the walk's sides cross on
// a row above the last and the polygon as given is convex, it blends instead
// every pixel whose point (x + 1/2, y) lies inside or on the polygon as
// given, not the clipped outline. Returns false where
// the fill deliberately differs: such an edge, sides that disagree with the
// outline's turn, or a span leaving its row (which only outlines that cross
// themselves produce).
bool literal_flat_fill(std::vector<uint16_t>& pixels, int32_t W, int32_t H, std::vector<Point> list,
                       uint16_t colour, bool* exact = nullptr) {
    const std::vector<uint16_t> before = pixels;
    const std::vector<Point> corners = list;
    for (bool on_x : {true, false}) {
        std::vector<Point> out;
        const uint32_t last = uint32_t(on_x ? W - 1 : H - 1);
        auto pos = [&](Point p) { return on_x ? p.x : p.y; };
        auto cross = [&](Point a, Point b) {
            if (on_x) {
                const int32_t slope = ((b.y - a.y) * 256) / (b.x - a.x);
                return a.x < 0 ? Point{0, a.y + ((-(a.x * slope)) >> 8)}
                               : Point{W - 1, a.y + (((W - a.x) * slope) >> 8)};
            }
            const int32_t slope = ((b.x - a.x) * 256) / ((b.y - a.y) + (b.y < a.y ? -1 : 1));
            return a.y < 0 ? Point{a.x + ((-(a.y * slope)) >> 8), 0}
                           : Point{a.x + (((H - a.y) * slope) >> 8), H - 1};
        };
        for (size_t i = 0; i < list.size(); ++i) {
            const Point a = list[i], b = list[(i + 1) % list.size()];
            const bool a_out = uint32_t(pos(a)) > last, b_out = uint32_t(pos(b)) > last;
            if (!a_out && !b_out) {
                out.push_back(b);
            } else if (a_out && !b_out) {
                const Point crossing = cross(a, b);
                out.push_back(crossing);
                if (on_x && crossing.x == b.x) {
                    if (crossing.y != b.y) out.back() = b;
                } else if (!(crossing == b)) {
                    out.push_back(b);
                }
            } else if (!a_out && b_out) {
                const Point crossing = cross(b, a);
                if (on_x ? crossing.x != a.x : !(crossing == a)) out.push_back(crossing);
            } else if ((pos(a) < 0) != (pos(b) < 0)) {
                return false;
            }
        }
        list = out;
    }
    int32_t n = int32_t(list.size());
    if (n >= 2 && list[n - 1] == list[n - 2]) --n;
    if (n >= 2 && list[n - 1] == list[0]) --n;
    if (n < 2) return true;

    int32_t top = 0;
    for (int32_t i = 1; i < n; ++i)
        if (list[i].y < list[top].y) top = i;
    const int32_t LAST = n - 1;
    auto step = [&](int32_t a, int32_t b) {
        return ((list[b].x - list[a].x) * 256) /
               ((list[b].y - list[a].y) + (list[b].y < list[a].y ? -1 : 1));
    };
    int32_t f_end = top + 1 > LAST ? 0 : top + 1, b_end = top - 1 < 0 ? LAST : top - 1;
    int32_t f_dx = step(top, f_end), b_dx = step(top, b_end);
    const bool backward_left = b_dx < f_dx;
    int64_t twice_area = 0;
    for (int32_t i = 0; i < n; ++i)
        twice_area +=
            int64_t(list[i].x) * list[(i + 1) % n].y - int64_t(list[(i + 1) % n].x) * list[i].y;
    if (twice_area != 0 && (twice_area > 0) != backward_left) return false;

    int32_t left = list[top].x * 256, right = left + 255, row = list[top].y;
    int32_t last_row = list[0].y;
    for (int32_t i = 1; i < n; ++i)
        last_row = std::max(last_row, list[size_t(i)].y);
    bool inside = true, crossed = false;
    auto span = [&]() {
        crossed |= row < last_row && left > right;
        const int32_t s = left >> 8, count = (right >> 8) - s;
        if (count > 0 && (s < 0 || s + count > W)) inside = false;
        for (int32_t k = 0; k < count && inside; ++k) {
            uint16_t& p = pixels[size_t(row * W + s + k)];
            p = average_pixel(colour, p);
        }
    };
    auto advance = [&](int32_t& end, int32_t& dx, int32_t direction) {
        int32_t next = end + direction;
        next = next < 0 ? LAST : next > LAST ? 0 : next;
        dx = step(end, next);
        end = next;
    };
    for (int32_t iteration = 0; iteration < LAST; ++iteration) {
        const bool forward_ends = list[f_end].y < list[b_end].y;
        const int32_t y_end = list[forward_ends ? f_end : b_end].y;
        if (row == y_end) {
            span();
            (forward_ends != backward_left ? left : right) =
                list[forward_ends ? f_end : b_end].x * 256;
        } else if (row < y_end) {
            for (; row <= y_end; ++row) {
                span();
                left += backward_left ? b_dx : f_dx;
                right += backward_left ? f_dx : b_dx;
            }
        }
        if (forward_ends) {
            if (list[b_end].y == y_end) advance(b_end, b_dx, -1);
            advance(f_end, f_dx, +1);
        } else {
            if (list[f_end].y == y_end) advance(f_end, f_dx, +1);
            advance(b_end, b_dx, -1);
        }
    }
    int32_t turn;
    if (crossed && convex_loop(corners, &turn)) {
        // Doubled coordinates: the point (x + 1/2, y) is (2x + 1, 2y).
        pixels = before;
        for (int32_t y = 0; y < H; ++y) {
            for (int32_t x = 0; x < W; ++x) {
                bool in = true;
                for (size_t i = 0; i < corners.size() && in; ++i) {
                    const Point a = corners[i], b = corners[(i + 1) % corners.size()];
                    const int64_t side = int64_t(2 * (b.x - a.x)) * (2 * y - 2 * a.y) -
                                         int64_t(2 * (b.y - a.y)) * (2 * x + 1 - 2 * a.x);
                    in = side == 0 || (side > 0) == (turn > 0);
                }
                if (in)
                    pixels[size_t(y * W + x)] = average_pixel(colour, before[size_t(y * W + x)]);
            }
        }
        if (exact != nullptr) *exact = true;
        return true;
    }
    return inside;
}

std::string describe(const ScreenVertex* vertices, int n) {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += " (" + std::to_string(vertices[i].x) + ", " + std::to_string(vertices[i].y) + ")";
    return text;
}

}  // namespace

TEST(FlatFill, OrdinaryPolygonsFollowTheRulesBitForBit) {
    constexpr int32_t W = 37, H = 23;
    std::mt19937 random(11);
    int compared = 0, redrawn = 0;
    for (int round = 0; round < 20000; ++round) {
        const int n = 3 + int(random() % 2);
        std::vector<Point> points;
        ScreenVertex vertices[4];
        const ScreenVertex* pointers[4];
        for (int i = 0; i < n; ++i) {
            vertices[i] = at(int32_t(random() % (W + 16)) - 8, int32_t(random() % (H + 16)) - 8);
            pointers[i] = &vertices[i];
            points.push_back({vertices[i].x, vertices[i].y});
        }
        std::vector<uint16_t> expected(size_t(W * H), 0x1234);
        bool exact_walk = false;
        if (!literal_flat_fill(expected, W, H, points, WHITE, &exact_walk)) continue;
        ScratchRaster raster(W, H, 0x1234);
        fill_flat_polygon(pointers, n, WHITE);
        ASSERT_EQ(raster.pixels, expected) << describe(vertices, n);
        ++compared;
        redrawn += exact_walk;
    }
    EXPECT_GT(compared, 10000);
    EXPECT_GT(redrawn, 10);  // some sides did cross
}

// Wide, flat triangles in rasters 600 to 2048 wide, where the sides of the
// walk often fall far behind the edges and now and then cross.
TEST(FlatFill, WideFlatTrianglesFollowTheRulesBitForBit) {
    std::mt19937 random(29);
    int compared = 0, redrawn = 0;
    for (int round = 0; round < 1500; ++round) {
        const int32_t W = 600 + int32_t(random() % 1449), H = 32;
        const int32_t rows = 2 + int32_t(random() % 30);
        ScreenVertex vertices[3];
        const ScreenVertex* pointers[3];
        std::vector<Point> points;
        for (int i = 0; i < 3; ++i) {
            vertices[i] = at(int32_t(random() % uint32_t(W)), int32_t(random() % uint32_t(rows)));
            pointers[i] = &vertices[i];
            points.push_back({vertices[i].x, vertices[i].y});
        }
        std::vector<uint16_t> expected(size_t(W * H), 0x1234);
        bool exact_walk = false;
        if (!literal_flat_fill(expected, W, H, points, WHITE, &exact_walk)) continue;
        ScratchRaster raster(W, H, 0x1234);
        fill_flat_polygon(pointers, 3, WHITE);
        ASSERT_EQ(raster.pixels, expected) << describe(vertices, 3);
        ++compared;
        redrawn += exact_walk;
    }
    EXPECT_GT(compared, 1000);
    EXPECT_GT(redrawn, 15);
}

TEST(FlatFill, ExtremeCoordinatesNeverWriteOutsideTheRasterNorTheirBounds) {
    constexpr int32_t W = 37, H = 23;
    const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, INT32_MAX, INT32_MAX - 1, -(1 << 23),
                                1 << 23,   -(1 << 30),    1 << 30,   -65536,        65536};
    std::mt19937 random(5);
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
        ScreenVertex vertices[4];
        const ScreenVertex* pointers[4];
        int64_t min_x = INT64_MAX, max_x = INT64_MIN, min_y = INT64_MAX, max_y = INT64_MIN;
        for (int i = 0; i < n; ++i) {
            vertices[i] = at(coordinate(W), coordinate(H));
            pointers[i] = &vertices[i];
            min_x = std::min<int64_t>(min_x, vertices[i].x);
            max_x = std::max<int64_t>(max_x, vertices[i].x);
            min_y = std::min<int64_t>(min_y, vertices[i].y);
            max_y = std::max<int64_t>(max_y, vertices[i].y);
        }
        GuardedRaster raster(W, H);
        fill_flat_polygon(pointers, n, WHITE);
        ASSERT_TRUE(raster.guards_intact()) << describe(vertices, n);
        // Sides of a quadrilateral that crosses itself carry on past its
        // corners, as the walk's rules say, though clamped to the page.
        if (n == 4) continue;
        bool any = false;
        for (int32_t y = 0; y < H; ++y) {
            for (int32_t x = 0; x < W; ++x) {
                if (raster.pixels()[y * W + x] == 0) continue;
                any = true;
                ASSERT_TRUE(x >= min_x && x <= max_x && y >= min_y && y <= max_y)
                    << describe(vertices, n) << ": pixel " << x << ", " << y;
            }
        }
        drawn += any;
    }
    EXPECT_GT(drawn, 2000);
}

// The walk's quick test that a triangle's sides cannot cross never passes
// one that the full question finds crossed: triangles of every shape in
// rasters up to 2048 wide, broad and flat ones and slivers (a corner a pixel
// or so off the line through the other two) among them.
TEST(FlatFill, QuickSidesTestPassesOnlyTrianglesWhoseSidesStayApart) {
    std::mt19937 random(41);
    auto between = [&](int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    };
    int passed = 0, asked = 0, crossed = 0;
    for (int round = 0; round < 400000; ++round) {
        const int32_t W = between(2, 2048), H = round % 2 == 0 ? between(2, 12) : between(2, 1000);
        FlatPoint t[3];
        for (FlatPoint& p : t)
            p = {between(0, W - 1), between(0, H - 1)};
        if (round % 3 == 0) {
            const int32_t k = between(0, 64);
            t[2] = {t[0].x + (t[1].x - t[0].x) * k / 64 + between(-1, 1),
                    t[0].y + (t[1].y - t[0].y) * k / 64 + between(-1, 1)};
            if (uint32_t(t[2].x) >= uint32_t(W) || uint32_t(t[2].y) >= uint32_t(H)) continue;
        }
        auto same = [](FlatPoint p, FlatPoint q) { return p.x == q.x && p.y == q.y; };
        if (same(t[0], t[1]) || same(t[1], t[2]) || same(t[2], t[0]) ||
            (t[0].y == t[1].y && t[1].y == t[2].y))
            continue;
        const FlatSidesAnswer answer = flat_triangle_sides(t);
        ASSERT_FALSE(answer.apart && answer.crossed)
            << "(" << t[0].x << ", " << t[0].y << "), (" << t[1].x << ", " << t[1].y << "), ("
            << t[2].x << ", " << t[2].y << ")";
        passed += answer.apart;
        asked += !answer.apart;
        crossed += answer.crossed;
    }
    EXPECT_GT(passed, 100000);
    EXPECT_GT(asked, 10000);  // the full question still has work
    EXPECT_GT(crossed, 1000);
}
