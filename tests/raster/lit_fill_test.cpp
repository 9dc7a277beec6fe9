// Lit material fill: light through the shade tables over the shared pipeline.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "base/memory.h"
#include "raster/fills/shaded_fills.h"
#include "raster/shade_tables.h"
#include "support/test_support.h"

namespace {

constexpr uint16_t UNTOUCHED = 0xFFFF;  // bit 15: never written by a fill

ScreenVertex at(int32_t x, int32_t y) {
    return {x, y, 0, 0};
}
ColourRecord rgb(int32_t r, int32_t g, int32_t b) {
    return {r, g, b, 0};
}

const ColourRecord WHITE = rgb(255, 255, 255);

// The worked Gouraud triangle, lit instead.
void lit_triangle(ColourRecord l0, ColourRecord l1, ColourRecord l2, ColourRecord surface,
                  int32_t mode) {
    ScreenVertex a = at(2, 1), b = at(12, 6), c = at(4, 10);
    draw_lit_triangle(&a, &b, &c, &l0, &l1, &l2, &surface, mode);
}

// Every written pixel equals `value`; returns how many there are.
int count_equal_to(const ScratchRaster& raster, uint16_t value) {
    int written = 0;
    for (uint16_t p : raster.pixels) {
        if (p == UNTOUCHED) continue;
        EXPECT_EQ(p, value);
        ++written;
    }
    return written;
}

struct LitFill : ::testing::Test {
    void SetUp() override { ASSERT_EQ(init_shading(), 0); }
    void TearDown() override { shutdown_shading(); }
};

}  // namespace

TEST_F(LitFill, PlainModeWhiteAndDarkLight) {
    {
        ScratchRaster raster(16, 12, UNTOUCHED);
        lit_triangle(WHITE, WHITE, WHITE, WHITE, SHADE_MODE_PLAIN);
        EXPECT_GT(count_equal_to(raster, 0x7BDE), 30);  // (31 * 31) >> 5 = 30 everywhere
    }
    {
        // A light component below 8 is level 0; a surface component below 8
        // column 0; either gives 0 in the plain table.
        ScratchRaster raster(16, 12, UNTOUCHED);
        const ColourRecord light = rgb(7, 255, 255);
        lit_triangle(light, light, light, rgb(255, 255, 7), SHADE_MODE_PLAIN);
        EXPECT_GT(count_equal_to(raster, 30 << 5), 30);
    }
    {
        ScratchRaster raster(16, 12, UNTOUCHED);
        const ColourRecord dark = rgb(0, 0, 0);
        lit_triangle(dark, dark, dark, WHITE, SHADE_MODE_PLAIN);
        EXPECT_GT(count_equal_to(raster, 0), 30);
    }
}

TEST_F(LitFill, EqualLightGivesOneValueThroughTheSelectedTable) {
    // Light 128, 64, 200 is levels 16, 8, 25; surface 200, 100, 50 columns 25, 12, 6.
    const ColourRecord light = rgb(128, 64, 200);
    const ColourRecord surface = rgb(200, 100, 50);
    struct Case {
        int32_t mode;
        uint16_t pixel;
    };
    // soft:   (16*25>>5)+12 = 24, (8*12>>5)+6 = 9,  (25*6>>5)+3+4 = 11
    // glossy: 1+12+12 = 25,       3+6 = 9,          4+3+7 = 14
    // banded: 16+12 = 28,         8+6 = 14,         8+3 = 11
    // plain:  12,                 3,                4
    const Case cases[] = {{SHADE_MODE_SOFT, (24 << 10) | (9 << 5) | 11},
                          {SHADE_MODE_GLOSSY, (25 << 10) | (9 << 5) | 14},
                          {SHADE_MODE_BANDED, (28 << 10) | (14 << 5) | 11},
                          {SHADE_MODE_PLAIN, (12 << 10) | (3 << 5) | 4}};
    for (const Case& c : cases) {
        ScratchRaster raster(16, 12, UNTOUCHED);
        lit_triangle(light, light, light, surface, c.mode);
        EXPECT_GT(count_equal_to(raster, c.pixel), 30) << c.mode;
        EXPECT_EQ(current_shade_table, shade_tables[c.mode]);  // kept after the call
    }
}

TEST_F(LitFill, PlainWhiteMatchesTheGouraudFillScaled) {
    const ColourRecord l0 = rgb(255, 0, 0), l1 = rgb(0, 255, 0), l2 = rgb(0, 0, 255);
    ScratchRaster gouraud(16, 12, UNTOUCHED);
    ScreenVertex a = at(2, 1), b = at(12, 6), c = at(4, 10);
    draw_gouraud_triangle(&a, &b, &c, &l0, &l1, &l2);
    const std::vector<uint16_t> expected = gouraud.pixels;
    ScratchRaster lit(16, 12, UNTOUCHED);
    lit_triangle(l0, l1, l2, WHITE, SHADE_MODE_PLAIN);
    auto scale = [](int component) { return (component * 31) >> 5; };
    for (size_t i = 0; i < expected.size(); ++i) {
        const uint16_t g = expected[i];
        if (g == UNTOUCHED) {
            EXPECT_EQ(lit.pixels[i], UNTOUCHED) << i;
            continue;
        }
        const int want = (scale(g >> 10 & 31) << 10) | (scale(g >> 5 & 31) << 5) | scale(g & 31);
        EXPECT_EQ(lit.pixels[i], want) << i;
    }
}

TEST_F(LitFill, QuadAndPolygonsWithoutHeight) {
    ScratchRaster raster(16, 12, UNTOUCHED);
    ScreenVertex v[] = {at(2, 2), at(10, 2), at(10, 8), at(2, 8)};
    draw_lit_quad(&v[0], &v[1], &v[2], &v[3], &WHITE, &WHITE, &WHITE, &WHITE, &WHITE,
                  SHADE_MODE_PLAIN);
    EXPECT_EQ(count_equal_to(raster, 0x7BDE), 8 * 7);

    // A flat polygon returns before choosing a table.
    ASSERT_EQ(current_shade_table, shade_tables[SHADE_MODE_PLAIN]);
    ScreenVertex flat[] = {at(0, 5), at(15, 5), at(7, 5), at(3, 5)};
    draw_lit_triangle(&flat[0], &flat[1], &flat[2], &WHITE, &WHITE, &WHITE, &WHITE,
                      SHADE_MODE_SOFT);
    draw_lit_quad(&flat[0], &flat[1], &flat[2], &flat[3], &WHITE, &WHITE, &WHITE, &WHITE, &WHITE,
                  SHADE_MODE_SOFT);
    EXPECT_EQ(current_shade_table, shade_tables[SHADE_MODE_PLAIN]);
    EXPECT_EQ(count_equal_to(raster, 0x7BDE), 8 * 7);
}

TEST_F(LitFill, BadModesAndColoursStayInsideTheTables) {
    // Modes are taken modulo 4.
    for (int32_t mode : {4, 7, -1, INT32_MIN}) {
        ScratchRaster raster(16, 12, UNTOUCHED);
        lit_triangle(WHITE, WHITE, WHITE, WHITE, mode);
        EXPECT_EQ(current_shade_table, shade_tables[mode & 3]) << mode;
    }
    // Surface components keep their five bits above bit 3: 300 is column 5.
    {
        ScratchRaster raster(16, 12, UNTOUCHED);
        lit_triangle(WHITE, WHITE, WHITE, rgb(300, -8, 255), SHADE_MODE_PLAIN);
        EXPECT_GT(count_equal_to(raster, (4 << 10) | (30 << 5) | 30), 30);
    }
    // Any light, surface and mode at all: table reads stay inside the
    // 1024-byte blocks (watched by the address sanitizer) and pixels keep
    // bit 15 clear.
    std::mt19937 random(99);
    ScratchRaster raster(16, 12, UNTOUCHED);
    for (int round = 0; round < 2000; ++round) {
        ColourRecord lights[3];
        for (ColourRecord& l : lights) {
            l = rgb(int32_t(random()), int32_t(random()), int32_t(random()));
        }
        const ColourRecord surface = rgb(int32_t(random()), int32_t(random()), int32_t(random()));
        lit_triangle(lights[0], lights[1], lights[2], surface, int32_t(random()));
    }
    for (uint16_t p : raster.pixels) {
        EXPECT_TRUE(p == UNTOUCHED || p < 0x8000);
    }
}

TEST(LitFillWithoutTables, DrawsNothing) {
    shutdown_shading();
    ASSERT_EQ(shade_tables[0], nullptr);
    ScratchRaster raster(16, 12, UNTOUCHED);
    lit_triangle(WHITE, WHITE, WHITE, WHITE, SHADE_MODE_SOFT);
    ScreenVertex v[] = {at(2, 2), at(10, 2), at(10, 8), at(2, 8)};
    draw_lit_quad(&v[0], &v[1], &v[2], &v[3], &WHITE, &WHITE, &WHITE, &WHITE, &WHITE, 2);
    EXPECT_TRUE(std::all_of(raster.pixels.begin(), raster.pixels.end(),
                            [](uint16_t p) { return p == UNTOUCHED; }));
}
