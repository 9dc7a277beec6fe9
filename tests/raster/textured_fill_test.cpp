// Textured fills: texel addressing and wrap-around, the three ways a texel meets
// the page, and what an unusable slot or extreme input does.
#include "raster/fills/textured_fill.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "base/memory.h"
#include "geometry/render_list.h"
#include "raster/fills/flat_fill.h"
#include "raster/raster_target.h"
#include "raster/texture_loader.h"
#include "support/test_support.h"

namespace {

constexpr uint16_t BACKGROUND = 0x5AD6;

ScreenVertex at(int32_t x, int32_t y) {
    return {x, y, 0, 0};
}
TexCoord uv(int32_t u, int32_t v) {
    return {u, v, 0, 0};
}

enum Family { COPY, ADD, HALF };

// The square (0, 0), (8, 0), (8, 8), (0, 8) mapped once over the texture,
// moved by (du, dv) in texture units.
void square(Family family, int32_t slot, int32_t du = 0, int32_t dv = 0) {
    const ScreenVertex v[] = {at(0, 0), at(8, 0), at(8, 8), at(0, 8)};
    const TexCoord t[] = {uv(du, dv), uv(256 + du, dv), uv(256 + du, 256 + dv), uv(du, 256 + dv)};
    auto draw = family == COPY  ? draw_textured_quad
                : family == ADD ? draw_additive_textured_quad
                                : draw_half_textured_quad;
    draw(&v[0], &v[1], &v[2], &v[3], &t[0], &t[1], &t[2], &t[3], slot);
}

class TexturedFill : public ::testing::Test {
protected:
    void SetUp() override {
        live_blocks = live_block_count();
        ASSERT_EQ(init_texture_slots(), 0);
    }
    void TearDown() override {
        free_texture_slots();
        EXPECT_EQ(live_block_count(), live_blocks);
    }
    // A texture whose texel (i, j) is j * 16 + i + 1: never 0, and telling
    // every texel apart.
    int32_t numbered_texture(int32_t width, int32_t height) {
        std::vector<uint16_t> texels(size_t(width * height));
        for (int32_t j = 0; j < height; ++j)
            for (int32_t i = 0; i < width; ++i)
                texels[size_t(j * width + i)] = uint16_t(j * 16 + i + 1);
        return load_texture(-1, width, height, texels.data());
    }
    int live_blocks = 0;
};

}  // namespace

TEST_F(TexturedFill, FourByFourExampleAndWrapAround) {
    const int32_t slot = numbered_texture(4, 4);
    ASSERT_GE(slot, 0);
    // Texel row 0 on screen rows 0..2, row 1 on 3..4, row 2 on 5..6, row 3 on 7..8.
    const int texel_row[] = {0, 0, 0, 1, 1, 2, 2, 3, 3};
    std::vector<uint16_t> expected(16 * 12, BACKGROUND);
    for (int y = 0; y <= 8; ++y)
        for (int x = 0; x <= 7; ++x)
            expected[size_t(y * 16 + x)] = uint16_t(texel_row[y] * 16 + x / 2 + 1);

    // u and v of 256 read as 0, and -1 as 255: the square moved by a whole
    // texture, either way, maps the same texels.
    for (int32_t shift : {0, 256, -256, 256 * 5}) {
        ScratchRaster raster(16, 12, BACKGROUND);
        square(COPY, slot, shift, shift);
        EXPECT_EQ(raster.pixels, expected) << shift;
    }

    // One texel wide (w = 0): column 0 across; one texel high (h = 0): v ignored.
    const int32_t column = numbered_texture(1, 4);
    const int32_t row = numbered_texture(4, 1);
    ScratchRaster raster(16, 12, BACKGROUND);
    square(COPY, column, 37, 0);
    EXPECT_EQ(raster.at(7, 4), 1 * 16 + 1);
    EXPECT_EQ(raster.at(0, 8), 3 * 16 + 1);
    square(COPY, row, 0, 99);
    for (int y = 0; y <= 8; ++y)
        EXPECT_EQ(raster.at(5, y), 3) << y;
}

TEST_F(TexturedFill, FamiliesAddAndBlendTexelsOverThePage) {
    static_assert(add_saturate_pixel(0x294A, 0x14A5) == 0x39CE);  // 10 + 5 gives 14
    static_assert(add_saturate_pixel(0x0010, 0x0010) == 0x003F);  // blue 31, green's bit set
    static_assert(add_saturate_pixel(0x7FFF, 0x7FFF) == 0xFFFF);  // bit 15 holds red's carry
    static_assert(average_pixel(0x7FFF, 0x0000) == 0x3DEF);

    const uint16_t black = 0, grey = 0x294A;
    const int32_t zero = load_texture(-1, 1, 1, &black);
    const int32_t tinted = load_texture(-1, 1, 1, &grey);
    ScratchRaster raster(16, 12, BACKGROUND);
    auto drawn = [&](Family family, int32_t slot) {
        std::fill(raster.pixels.begin(), raster.pixels.end(), BACKGROUND);
        square(family, slot);
        EXPECT_EQ(raster.at(8, 4), BACKGROUND);  // the right column is not covered
        return raster.at(3, 4);
    };
    // Texel 0: black by copy, the page less its lowest bits by add, halved by blend.
    EXPECT_EQ(drawn(COPY, zero), 0);
    EXPECT_EQ(drawn(ADD, zero), BACKGROUND & 0x7BDE);
    EXPECT_EQ(drawn(HALF, zero), (BACKGROUND >> 1) & 0x3DEF);
    EXPECT_EQ(drawn(ADD, tinted), add_saturate_pixel(grey, BACKGROUND));
    EXPECT_EQ(drawn(HALF, tinted), average_pixel(grey, BACKGROUND));
}

TEST_F(TexturedFill, UnusableSlotsDrawNothingAndNoInputReadsOutsideTheTexels) {
    ScratchRaster raster(16, 12, BACKGROUND);
    const int32_t slot = numbered_texture(2, 2);
    for (int32_t bad : {-1, 5, 127, 128, INT32_MIN}) {
        square(COPY, bad);
        square(ADD, bad);
        square(HALF, bad);
    }
    // A record whose shifts no loader would store is refused as well.
    texture_slots()[slot]->width_shift = 9;
    square(COPY, slot);
    EXPECT_EQ(raster.pixels, std::vector<uint16_t>(16 * 12, BACKGROUND));
    texture_slots()[slot]->width_shift = 1;

    // Any positions and coordinates: texels are read through masks only, and
    // the address sanitizer sees a read outside the 2 x 2 block.
    std::mt19937 random(3);
    auto any = [&](int32_t near) {
        return random() % 2 ? int32_t(random()) : int32_t(random() % uint32_t(near + 20)) - 10;
    };
    for (int round = 0; round < 5000; ++round) {
        ScreenVertex v[4];
        TexCoord t[4];
        for (int i = 0; i < 4; ++i) {
            v[i] = at(any(16), any(12));
            t[i] = uv(any(512), any(512));
        }
        const Family family = Family(round % 3);
        auto draw = family == COPY  ? draw_textured_quad
                    : family == ADD ? draw_additive_textured_quad
                                    : draw_half_textured_quad;
        draw(&v[0], &v[1], &v[2], &v[3], &t[0], &t[1], &t[2], &t[3], slot);
    }
    EXPECT_NE(raster.pixels, std::vector<uint16_t>(16 * 12, BACKGROUND));
}
