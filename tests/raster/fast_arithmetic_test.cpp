// The fast arithmetic of the polygon pipeline against its plain reference:
// the reciprocal division against `/`, the walk's spans and the fills' pixels
// for many random polygons, inside, across and far beyond the raster.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <iterator>
#include <random>
#include <vector>

#include "geometry/render_list.h"
#include "raster/fills/lit_spans.h"
#include "raster/fills/pipeline_arithmetic.h"
#include "raster/fills/polygon_pipeline.h"
#include "raster/fills/reference_fills.h"
#include "raster/fills/shaded_fills.h"
#include "raster/fills/textured_fill.h"
#include "raster/fills/watertight_walk.h"
#include "raster/shade_tables.h"
#include "raster/texture_loader.h"
#include "support/test_support.h"

namespace {

void expect_divides_like_plain(int32_t n, int32_t d) {
    ASSERT_EQ(exact_divide(n, d), n / d) << n << " / " << d;
    if (d >= 1) {
        ASSERT_EQ(ExactCountDivisor(d)(n), n / d) << n << " / " << d << " as a count";
    }
}

TEST(ExactDivide, MatchesPlainDivision) {
    // Every small numerator by every table divisor, both signs of each.
    for (int32_t d = 1; d <= RECIPROCAL_TABLE_LIMIT; ++d) {
        for (int32_t n = -4096; n <= 4096; ++n) {
            expect_divides_like_plain(n, d);
            expect_divides_like_plain(n, -d);
        }
    }
    // The boundaries where a quotient steps, near 0 and near the ends of the
    // int32 range, for divisors inside and just beyond the table.
    for (int32_t d = 1; d <= 3 * RECIPROCAL_TABLE_LIMIT; ++d) {
        const int32_t top = INT32_MAX / d;
        for (int32_t q : {1, 2, 3, 1000, top / 2, top - 1, top}) {
            for (int32_t r : {-1, 0, 1}) {
                const int64_t n = int64_t(q) * d + r;
                if (n > INT32_MAX) continue;
                for (int32_t sign_n : {1, -1}) {
                    expect_divides_like_plain(int32_t(sign_n * n), d);
                    if (d > 1) expect_divides_like_plain(int32_t(sign_n * n), -d);
                }
            }
        }
        for (int32_t n : {INT32_MIN, INT32_MIN + 1, INT32_MAX})
            expect_divides_like_plain(n, d);
    }
    // Any numerator by any divisor.
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    for (int i = 0; i < 1000000; ++i) {
        const int32_t d = any(random);
        if (d == 0 || d == -1) continue;
        expect_divides_like_plain(any(random), d);
    }
}

// The pixels a light level lasts, for every step the runs take and every
// position within a level, against the plain division.
TEST(ExactDivide, LevelRunsMatchPlainDivision) {
    const int32_t count = 700;
    for (int32_t d = -int32_t(LEVEL_RUN_STEP_LIMIT); d <= int32_t(LEVEL_RUN_STEP_LIMIT); ++d) {
        const LevelRun run(d, count);
        for (uint32_t low = 0; low < 1024; ++low) {
            const int32_t plain = d > 0   ? int32_t(1023 - low) / d + 1
                                  : d < 0 ? int32_t(low) / -d + 1
                                          : count;
            ASSERT_EQ(run.pixels(low + 0xABCD0000u), uint32_t(plain)) << low << " by " << d;
        }
    }
}

// Random polygons: most inside or across a small raster, some far beyond it,
// with ordinary or wild attributes.
struct PolygonMaker {
    std::mt19937 random{20240601};

    int32_t between(int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    }
    int32_t coordinate(int32_t size) {
        switch (between(0, 9)) {
            case 0:
                return between(INT32_MIN, INT32_MAX);
            case 1:
                return between(-(1 << 22), 1 << 22);
            case 2:
            case 3:
                return between(-2 * size, 3 * size);
            default:
                return between(0, size - 1);
        }
    }
    int32_t attribute(bool wild) { return wild ? between(INT32_MIN, INT32_MAX) : between(0, 255); }
    int32_t vertex_count() { return between(3, 4); }
};

struct SpanCall {
    int64_t row;  // offset of the row in the raster
    int32_t start, count;
    Side<3> left, right;
};

// Records every span instead of drawing it.
struct RecordingSpan {
    std::vector<SpanCall>* calls;
    void operator()(uint16_t* row, int32_t start, int32_t count, const Side<3>& left,
                    const Side<3>& right) const {
        calls->push_back({row - raster_target.pixels, start, count, left, right});
    }
};

bool same_side(const Side<3>& a, const Side<3>& b) {
    return a.x == b.x && a.q[0] == b.q[0] && a.q[1] == b.q[1] && a.q[2] == b.q[2];
}

// The walk hands the spans the same rows, columns and sides either way, so
// every fill on the pipeline draws the same pixels either way. The fast walk
// has a form of its own for rasters narrower than the reciprocal table, which
// the wide raster avoids.
TEST(FastArithmetic, WalksTheSameSpansAsPlain) {
    struct Case {
        int32_t width, height, polygons;
        int64_t least_spans;
    };
    // The broad, flat raster gives triangles whose sides cross, which both
    // walks hand to the exact walk.
    for (const Case& c :
         {Case{97, 61, 40000, 100000}, Case{RECIPROCAL_TABLE_LIMIT + 7, 23, 8000, 20000},
          Case{1000, 24, 8000, 20000}}) {
        ScratchRaster raster(c.width, c.height);
        PolygonMaker maker;
        int64_t spans = 0;
        for (int polygon = 0; polygon < c.polygons; ++polygon) {
            const int32_t n = maker.vertex_count();
            const bool wild = maker.between(0, 3) == 0;
            ClipEntry<3> entries[4];
            for (int32_t i = 0; i < n; ++i) {
                entries[i] = {
                    maker.coordinate(raster.width),
                    maker.coordinate(raster.height),
                    {maker.attribute(wild), maker.attribute(wild), maker.attribute(wild)}};
            }
            std::vector<SpanCall> fast, plain;
            fill_polygon<3, FastArithmetic>(entries, n, RecordingSpan{&fast});
            fill_polygon<3, PlainArithmetic>(entries, n, RecordingSpan{&plain});
            ASSERT_EQ(fast.size(), plain.size()) << "polygon " << polygon;
            for (size_t k = 0; k < fast.size(); ++k) {
                ASSERT_EQ(fast[k].row, plain[k].row) << "polygon " << polygon;
                ASSERT_EQ(fast[k].start, plain[k].start) << "polygon " << polygon;
                ASSERT_EQ(fast[k].count, plain[k].count) << "polygon " << polygon;
                ASSERT_TRUE(same_side(fast[k].left, plain[k].left)) << "polygon " << polygon;
                ASSERT_TRUE(same_side(fast[k].right, plain[k].right)) << "polygon " << polygon;
            }
            spans += int64_t(fast.size());
        }
        EXPECT_GT(spans, c.least_spans) << c.width << " wide";  // the polygons did draw
    }
}

// The triangle walk's quick test that its sides cannot cross never passes a
// triangle whose sides the full question finds crossed: triangles of every
// shape in rasters up to the reciprocal table's width, broad and flat ones
// and slivers among them, level tops and bottoms by the rows' small range.
TEST(FastArithmetic, TriangleSidesStayApartOnlyWhenTheyDo) {
    std::mt19937 random(57);
    auto between = [&](int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    };
    int passed = 0, asked = 0, crossed = 0;
    for (int round = 0; round < 400000; ++round) {
        const int32_t width = between(2, RECIPROCAL_TABLE_LIMIT - 1);
        const int32_t height = round % 2 == 0 ? between(2, 12) : between(2, 1000);
        ClipEntry<0> list[3];
        for (ClipEntry<0>& p : list)
            p = {between(0, width - 1), between(0, height - 1), {0}};
        if (round % 3 == 0) {  // a sliver: a corner about a pixel off the line through the others
            const int32_t t = between(0, 64);
            list[2] = {list[0].x + (list[1].x - list[0].x) * t / 64 + between(-1, 1),
                       list[0].y + (list[1].y - list[0].y) * t / 64 + between(-1, 1),
                       {0}};
            if (uint32_t(list[2].x) >= uint32_t(width) || uint32_t(list[2].y) >= uint32_t(height))
                continue;
        }
        using polygon_detail::same_point;
        if (same_point(list[0], list[1]) || same_point(list[1], list[2]) ||
            same_point(list[2], list[0]) || (list[0].y == list[1].y && list[1].y == list[2].y))
            continue;
        polygon_detail::WalkStart<0> walk;
        polygon_detail::start_walk<FastArithmetic>(list, 3, walk, false);
        const auto shape = polygon_detail::triangle_shape<FastArithmetic>(list, walk);
        const int32_t left_dx = walk.backward_left ? walk.backward.dx : walk.forward.dx;
        const int32_t right_dx = walk.backward_left ? walk.forward.dx : walk.backward.dx;
        const bool meet = polygon_detail::triangle_sides_meet(
            list[walk.top], shape, uint32_t(left_dx), uint32_t(right_dx));
        const bool apart =
            polygon_detail::triangle_sides_stay_apart(list[walk.top], shape, left_dx, right_dx);
        ASSERT_FALSE(apart && meet)
            << "round " << round << ": (" << list[0].x << ", " << list[0].y << "), (" << list[1].x
            << ", " << list[1].y << "), (" << list[2].x << ", " << list[2].y << ")";
        passed += apart;
        asked += !apart;
        crossed += meet;
    }
    EXPECT_GT(passed, 100000);
    EXPECT_GT(asked, 10000);  // the full question still has work
    EXPECT_GT(crossed, 1000);
}

// The fast triangle walk's edges, one addition a row, find the exact walk's
// columns on every row of every edge height the fast walk takes (up to the
// reciprocal table's limit), for slopes of both signs, steep and flat, and
// slopes a column off a whole number of columns a row.
TEST(FastArithmetic, SteppedEdgesFindTheExactColumns) {
    std::mt19937 random(41);
    constexpr int32_t LIMIT = RECIPROCAL_TABLE_LIMIT;
    auto column = [&] { return std::uniform_int_distribution<int32_t>(0, LIMIT - 1)(random); };
    int64_t rows = 0;
    for (int32_t dy = 1; dy <= LIMIT; ++dy) {
        const int32_t top_x = column();
        const int32_t k = 1 + (LIMIT - 1) / (dy + 1) / 2;  // whole columns a row
        const int32_t bottom_xs[] = {0,
                                     LIMIT - 1,
                                     top_x,
                                     top_x + 1,
                                     top_x - 1,
                                     top_x + k * dy + 1,
                                     top_x - k * dy - 1,
                                     column(),
                                     column(),
                                     column()};
        for (const int32_t bottom_x : bottom_xs) {
            if (bottom_x < 0 || bottom_x >= LIMIT) continue;
            ExactEdge exact;
            set_exact_edge(exact, top_x, 0, bottom_x, dy, 0, 0);
            auto stepped =
                polygon_detail::SteppedExactEdge::from<FastArithmetic>(top_x, 0, bottom_x, dy);
            for (int32_t row = 0; row < dy; ++row, ++rows) {
                ASSERT_EQ(stepped.current_column(), exact.column)
                    << "(" << top_x << ", 0) to (" << bottom_x << ", " << dy << "), row " << row;
                stepped.step();
                step_exact_edge(exact);
            }
        }
    }
    EXPECT_GT(rows, 3000000);
}

// The fills with their own fast paths, pixel for pixel against their plain
// forms, over a background of noise.
// LIT_GREY: a triangle of grey lights as the dispatcher draws it in a walk
// under a grey light colour, against the plain lit fill; LIT_GREY_WATERTIGHT
// the same for a watertight packet.
enum class Fill {
    LIT,
    LIT_IN_WALK,
    LIT_GREY,
    LIT_GREY_WATERTIGHT,
    LIT_WATERTIGHT,
    GOURAUD,
    COPY,
    ADD,
    HALF,
    LIT_TEXTURED,
    LIT_TEXTURED_WATERTIGHT,
    COUNT
};
const char* const FILL_NAMES[] = {"lit",
                                  "lit in a walk",
                                  "lit grey triangle",
                                  "lit grey watertight triangle",
                                  "lit watertight",
                                  "gouraud",
                                  "copy",
                                  "add",
                                  "half",
                                  "lit textured",
                                  "lit textured watertight"};

struct Polygon {
    int32_t n;
    const ScreenVertex* vertices[4];
    const ColourRecord* colours[4];
    const TexCoord* uvs[4];
    ColourRecord surface;
    int32_t texture;
    int32_t shade_mode;
};

void draw(Fill fill, bool fast, const Polygon& p) {
    const TexturedFamily families[] = {TexturedFamily::COPY, TexturedFamily::ADD,
                                       TexturedFamily::HALF};
    switch (fill) {
        case Fill::LIT:
        case Fill::LIT_IN_WALK:
            (fast ? fill_lit_polygon : fill_lit_polygon_plain)(p.vertices, p.colours, &p.surface,
                                                               p.n);
            break;
        case Fill::LIT_GREY:
            if (fast) {
                draw_grey_lit_triangle(p.vertices[0], p.vertices[1], p.vertices[2], p.colours[0]->r,
                                       p.colours[1]->r, p.colours[2]->r, &p.surface, p.shade_mode);
            } else if (polygon_has_height(p.vertices, 3)) {
                fill_lit_polygon_plain(p.vertices, p.colours, &p.surface, 3);
            }
            break;
        case Fill::LIT_GREY_WATERTIGHT:
            if (fast) {
                draw_watertight_grey_lit_triangle(p.vertices[0], p.vertices[1], p.vertices[2],
                                                  p.colours[0]->r, p.colours[1]->r, p.colours[2]->r,
                                                  &p.surface, p.shade_mode);
            } else if (polygon_has_height(p.vertices, 3)) {
                fill_watertight_lit_polygon_plain(p.vertices, p.colours, &p.surface, 3);
            }
            break;
        case Fill::LIT_WATERTIGHT:
            (fast ? fill_watertight_lit_polygon : fill_watertight_lit_polygon_plain)(
                p.vertices, p.colours, &p.surface, p.n);
            break;
        case Fill::GOURAUD:
            (fast ? fill_gouraud_polygon : fill_gouraud_polygon_plain)(p.vertices, p.colours, p.n);
            break;
        case Fill::COPY:
        case Fill::ADD:
        case Fill::HALF: {
            const int family = int(fill) - int(Fill::COPY);
            const auto fast_fill = fill == Fill::COPY  ? fill_textured_polygon
                                   : fill == Fill::ADD ? fill_additive_textured_polygon
                                                       : fill_half_textured_polygon;
            if (fast)
                fast_fill(p.vertices, p.uvs, p.texture, p.n);
            else
                fill_textured_polygon_plain(families[family], p.vertices, p.uvs, p.texture, p.n);
            break;
        }
        case Fill::LIT_TEXTURED:
            (fast ? fill_lit_textured_polygon : fill_lit_textured_polygon_plain)(
                p.vertices, p.colours, p.uvs, p.texture, p.n);
            break;
        case Fill::LIT_TEXTURED_WATERTIGHT:
            (fast ? fill_watertight_lit_textured_polygon
                  : fill_watertight_lit_textured_polygon_plain)(p.vertices, p.colours, p.uvs,
                                                                p.texture, p.n);
            break;
        default:
            break;
    }
}

TEST(FastArithmetic, FillsWriteThePlainPixels) {
    ASSERT_EQ(init_shading(), 0);
    ASSERT_EQ(init_texture_slots(), 0);
    PolygonMaker maker;
    // Textures of several shapes, 1 to 256 texels a side, of random texels.
    const int32_t sizes[][2] = {{1, 1}, {8, 4}, {256, 2}, {1, 64}, {32, 32}};
    for (const auto& size : sizes) {
        std::vector<uint16_t> texels(size_t(size[0] * size[1]));
        for (uint16_t& texel : texels)
            texel = uint16_t(maker.between(0, 0x7FFF));
        ASSERT_GE(load_texture(-1, size[0], size[1], texels.data()), 0);
    }
    constexpr int32_t W = 131, H = 77;
    ScratchRaster fast(W, H), plain(W, H);
    for (size_t i = 0; i < fast.pixels.size(); ++i)
        fast.pixels[i] = plain.pixels[i] = uint16_t(maker.between(0, 0x7FFF));
    int64_t changed[int(Fill::COUNT)] = {};
    for (int polygon = 0; polygon < 70000; ++polygon) {
        // Runs of 16 polygons of one fill, so that a walk keeps its levels'
        // pixels from one polygon to the next.
        const Fill fill = Fill((polygon / 16) % int(Fill::COUNT));
        // As the dispatcher draws: the pixels of the light levels kept from
        // polygon to polygon while the table and surface stay.
        const bool grey = fill == Fill::LIT_GREY || fill == Fill::LIT_GREY_WATERTIGHT;
        const bool in_walk = fill == Fill::LIT_IN_WALK || grey;
        if (polygon % 16 == 0) (in_walk ? open_lit_level_cache : close_lit_level_cache)();
        Polygon p{};
        p.n = grey ? 3 : maker.vertex_count();
        const bool wild = maker.between(0, 3) == 0;
        ScreenVertex vertices[4];
        ColourRecord colours[4];
        TexCoord uvs[4];
        // A third of them with one colour at every vertex, which the fast
        // fills draw as one pixel value, and a sixth with grey colours (r = g
        // = b), which the fast lit fills carry as one attribute, and one in
        // six with colours close to the first vertex's, whose light levels
        // hold for runs of pixels; grey triangles among those left have
        // lights of one level (bits 3..7 alike) one time in six.
        const int32_t kind = in_walk && maker.between(0, 3) != 0 ? 2 : maker.between(0, 5);
        const bool one_colour = kind < 2;
        const bool close_colours = kind == 3;
        const bool one_level = grey && kind == 4;
        for (int32_t i = 0; i < p.n; ++i) {
            vertices[i] = {maker.coordinate(W), maker.coordinate(H), 0, 0};
            colours[i] = {maker.attribute(wild), maker.attribute(wild), maker.attribute(wild), 0};
            if (one_colour && i > 0) colours[i] = colours[0];
            if (kind == 2) colours[i].g = colours[i].b = colours[i].r;
            if (close_colours && i > 0) {
                colours[i] = {colours[0].r + maker.between(-24, 24),
                              colours[0].g + maker.between(-24, 24),
                              colours[0].b + maker.between(-24, 24), 0};
            }
            if (one_level && i > 0) colours[i].r = (colours[0].r & ~7) | maker.between(0, 7);
            if (grey) colours[i].g = colours[i].b = colours[i].r;
            uvs[i] = {wild ? maker.attribute(true) : maker.between(-600, 600),
                      wild ? maker.attribute(true) : maker.between(-600, 600), 0, 0};
            p.vertices[i] = &vertices[i];
            p.colours[i] = &colours[i];
            p.uvs[i] = &uvs[i];
        }
        p.surface = {maker.between(0, 255), maker.between(0, 255), maker.between(0, 255), 0};
        // In a walk, surfaces and tables that repeat or differ in one column.
        if (in_walk) p.surface = {255, 255 * maker.between(0, 1), 64 * maker.between(0, 1), 0};
        p.texture = maker.between(0, int32_t(std::size(sizes)) - 1);
        p.shade_mode = maker.between(0, in_walk ? 1 : SHADE_MODE_COUNT - 1);
        select_shade_table(p.shade_mode);
        const std::vector<uint16_t> before = fast.pixels;
        for (ScratchRaster* raster : {&fast, &plain}) {
            set_screen_geometry(W, H, raster->pixels.data());
            bind_raster_target();
            draw(fill, raster == &fast, p);
        }
        ASSERT_EQ(fast.pixels, plain.pixels)
            << "polygon " << polygon << ", " << FILL_NAMES[int(fill)];
        changed[int(fill)] += fast.pixels != before;
    }
    close_lit_level_cache();
    for (int fill = 0; fill < int(Fill::COUNT); ++fill)
        EXPECT_GT(changed[fill], 2500) << FILL_NAMES[fill];
    free_texture_slots();
    shutdown_shading();
}

}  // namespace
