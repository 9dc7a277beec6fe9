// Lit textured fill: texels through the shade table under interpolated light.
#include <gtest/gtest.h>

#include <vector>

#include "base/memory.h"
#include "geometry/render_list.h"
#include "raster/fills/shaded_fills.h"
#include "raster/shade_tables.h"
#include "raster/texture_loader.h"
#include "support/test_support.h"

namespace {

constexpr uint16_t BACKGROUND = 0xFFFF;  // bit 15: never written by the fill

ScreenVertex at(int32_t x, int32_t y) {
    return {x, y, 0, 0};
}
ColourRecord rgb(int32_t r, int32_t g, int32_t b) {
    return {r, g, b, 0};
}

// Each 5-bit component c of a pixel replaced by (c * 31) >> 5: the plain
// table's row 31.
uint16_t under_full_plain_light(uint16_t pixel) {
    auto c = [&](int shift) { return uint16_t((((pixel >> shift) & 31) * 31) >> 5); };
    return uint16_t((c(10) << 10) | (c(5) << 5) | c(0));
}

class LitTexturedFill : public ::testing::Test {
protected:
    void SetUp() override {
        live_blocks = live_block_count();
        ASSERT_EQ(init_shading(), 0);
        ASSERT_EQ(init_texture_slots(), 0);
    }
    void TearDown() override {
        free_texture_slots();
        shutdown_shading();
        EXPECT_EQ(live_block_count(), live_blocks);
    }
    int live_blocks = 0;
};

}  // namespace

TEST_F(LitTexturedFill, FullPlainLightShowsTheTexelsOverTheGouraudPixels) {
    // The 4 x 4 texture example through this fill: the same texels, each
    // component taken through the plain table's top row.
    std::vector<uint16_t> numbered(16);
    for (int i = 0; i < 16; ++i)
        numbered[size_t(i)] = uint16_t(0x7C00 | ((i / 4) * 16 + i % 4 + 1));
    const int32_t slot = load_texture(-1, 4, 4, numbered.data());
    ASSERT_GE(slot, 0);
    const ScreenVertex v[] = {at(0, 0), at(8, 0), at(8, 8), at(0, 8)};
    const ColourRecord white = rgb(255, 255, 255);
    const TexCoord t[] = {{-256, 0, 0, 0}, {0, 0, 0, 0}, {0, 256, 0, 0}, {-256, 256, 0, 0}};
    ScratchRaster raster(16, 12, BACKGROUND);
    draw_lit_textured_quad(&v[0], &v[1], &v[2], &v[3], &white, &white, &white, &white, &t[0], &t[1],
                           &t[2], &t[3], slot, SHADE_MODE_PLAIN);
    EXPECT_EQ(current_shade_table, shade_tables[SHADE_MODE_PLAIN]);
    const int texel_row[] = {0, 0, 0, 1, 1, 2, 2, 3, 3};
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) {
            const uint16_t expected =
                y <= 8 && x <= 7
                    ? under_full_plain_light(numbered[size_t(texel_row[y] * 4 + x / 2)])
                    : BACKGROUND;
            ASSERT_EQ(raster.at(x, y), expected) << x << ", " << y;
        }
    }

    // With white texels the light itself shows: the Gouraud pixels of the
    // same triangle with the lights as colours, through the same table row.
    const uint16_t texel_white = 0x7FFF;
    const int32_t white_slot = load_texture(-1, 1, 1, &texel_white);
    const ScreenVertex w[] = {at(2, 1), at(12, 6), at(4, 10)};
    const ColourRecord lights[] = {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255)};
    const TexCoord none{0, 0, 0, 0};
    std::fill(raster.pixels.begin(), raster.pixels.end(), BACKGROUND);
    draw_lit_textured_triangle(&w[0], &w[1], &w[2], &lights[0], &lights[1], &lights[2], &none,
                               &none, &none, white_slot, SHADE_MODE_PLAIN);
    ScratchRaster gouraud(16, 12, BACKGROUND);
    draw_gouraud_triangle(&w[0], &w[1], &w[2], &lights[0], &lights[1], &lights[2]);
    for (size_t i = 0; i < gouraud.pixels.size(); ++i) {
        const uint16_t g = gouraud.pixels[i];
        EXPECT_EQ(raster.pixels[i], g == BACKGROUND ? g : under_full_plain_light(g)) << i;
    }
}

TEST_F(LitTexturedFill, DimLightDarkensAndUnusableInputsDrawNothing) {
    const uint16_t texel = (31 << 10) | (16 << 5) | 31;
    const int32_t slot = load_texture(7, 1, 1, &texel);
    ASSERT_EQ(slot, 7);
    const ScreenVertex v[] = {at(0, 0), at(6, 0), at(6, 4), at(0, 4)};
    const TexCoord t{0, 0, 0, 0};
    ScratchRaster raster(8, 6, BACKGROUND);
    auto lit = [&](ColourRecord light, int32_t texture, int32_t mode = SHADE_MODE_PLAIN) {
        std::fill(raster.pixels.begin(), raster.pixels.end(), BACKGROUND);
        draw_lit_textured_quad(&v[0], &v[1], &v[2], &v[3], &light, &light, &light, &light, &t, &t,
                               &t, &t, texture, mode);
        return raster.at(2, 2);
    };
    EXPECT_EQ(lit(rgb(255, 255, 255), slot), (30 << 10) | (15 << 5) | 30);
    EXPECT_EQ(lit(rgb(0, 0, 0), slot), 0);
    EXPECT_EQ(lit(rgb(7, 255, 7), slot), 15 << 5);  // below 8 the level is 0
    // The soft table lifts the same texel: half the component as ambient.
    EXPECT_EQ(lit(rgb(0, 0, 0), slot, SHADE_MODE_SOFT), (15 << 10) | (8 << 5) | 15);
    // An empty or impossible slot draws nothing.
    for (int32_t bad : {-1, 6, 128})
        EXPECT_EQ(lit(rgb(255, 255, 255), bad), BACKGROUND) << bad;
    shutdown_shading();  // no shade tables: nothing either
    EXPECT_EQ(lit(rgb(255, 255, 255), slot), BACKGROUND);
    ASSERT_EQ(init_shading(), 0);
}
