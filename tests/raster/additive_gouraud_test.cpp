// Additive Gouraud fill: the worked triangle over grey, saturation, and the pixel-pair
// span against a plain pixel-by-pixel one.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "raster/fills/shaded_fills.h"
#include "raster/fills/textured_fill.h"
#include "support/test_support.h"

namespace {

ScreenVertex at(int32_t x, int32_t y) {
    return {x, y, 0, 0};
}
ColourRecord rgb(int32_t r, int32_t g, int32_t b) {
    return {r, g, b, 0};
}

// The span one pixel at a time, straight from its definition.
void per_pixel_span(uint16_t* pixels, int32_t count, AdditiveRun run) {
    for (int32_t i = 0; i < count; ++i) {
        const uint16_t source =
            uint16_t(((run.value[0] >> 16) & 0x7800) | ((run.value[1] >> 16) & 0x03C0) |
                     ((run.value[2] >> 16) & 0x001E));
        pixels[i] = add_saturate_pixel(source, pixels[i]);
        for (int k = 0; k < 3; ++k)
            run.value[k] += run.step[k];
    }
}

}  // namespace

TEST(AdditiveGouraud, WorkedTriangleOverGreyCoversTheGouraudPixels) {
    const ScreenVertex v[] = {at(2, 1), at(12, 6), at(4, 10)};
    const ColourRecord c[] = {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255)};
    ScratchRaster raster(16, 12, 0x4210);
    draw_additive_gouraud_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2]);
    EXPECT_EQ(raster.at(2, 2), 0xFE12);
    EXPECT_EQ(raster.at(3, 2), 0xFE50);
    const uint16_t row3[] = {0xFE16, 0xFE54, 0xFE92, 0xFED0};
    const uint16_t row10[] = {0x4A3F, 0x4A7F, 0x42FF, 0x433F};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(raster.at(2 + i, 3), row3[i]) << i;
        EXPECT_EQ(raster.at(3 + i, 10), row10[i]) << i;
    }
    const std::vector<uint16_t> added = raster.pixels;

    ScratchRaster plain(16, 12, 0x4210);
    draw_gouraud_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2]);
    for (size_t i = 0; i < added.size(); ++i)
        EXPECT_EQ(added[i] != 0x4210, plain.pixels[i] != 0x4210) << i;
}

TEST(AdditiveGouraud, ComponentsSaturateAndDrawingTwiceBrightens) {
    const ScreenVertex v[] = {at(0, 0), at(6, 0), at(6, 4), at(0, 4)};
    auto quad = [&](ColourRecord colour) {
        draw_additive_gouraud_quad(&v[0], &v[1], &v[2], &v[3], &colour, &colour, &colour, &colour);
    };
    ScratchRaster raster(8, 6, 0x0000);
    quad(rgb(255, 255, 255));
    EXPECT_EQ(raster.at(2, 2), 0x7BDE);  // 30 each: the lowest bit is dropped
    quad(rgb(255, 255, 255));
    EXPECT_EQ(raster.at(2, 2), 0xFFFF);  // saturated, with red's carry in bit 15
    EXPECT_EQ(raster.at(6, 2), 0x0000);  // the right column is not covered

    for (uint16_t p : {0x4210, 0x7FFF, 0x1234}) {
        std::fill(raster.pixels.begin(), raster.pixels.end(), p);
        quad(rgb(0, 0, 0));
        EXPECT_EQ(raster.at(3, 1), p & 0x7BDE);
    }
    // 16 + 16 saturates to 31; 14 + 16 gives 30; a blue overflow over a green
    // sum of 30 gives green 31 through the carry.
    std::fill(raster.pixels.begin(), raster.pixels.end(), (16 << 10) | (14 << 5) | 16);
    quad(rgb(128, 128, 128));
    EXPECT_EQ(raster.at(3, 1), (31 << 10) | (31 << 5) | 31 | 0x8000);
    std::fill(raster.pixels.begin(), raster.pixels.end(), (14 << 5) | 16);
    quad(rgb(0, 128, 128));
    EXPECT_EQ(raster.at(3, 1), (31 << 5) | 31);
}

TEST(AdditiveGouraud, PixelPairsGiveThePerPixelResultForOddAndEvenSpans) {
    std::mt19937 random(17);
    for (int round = 0; round < 2000; ++round) {
        const int32_t count = int32_t(round % 12) - 2;  // -2 .. 9
        AdditiveRun run;
        for (int k = 0; k < 3; ++k) {
            run.value[k] = int32_t(random());
            run.step[k] = int32_t(random()) >> (random() % 24);
        }
        std::vector<uint16_t> pairs(12), single(12);
        for (size_t i = 0; i < pairs.size(); ++i)
            pairs[i] = single[i] = uint16_t(random());
        // From an odd column too: pairs need not be word-aligned.
        const int32_t start = round % 2;
        blend_additive_span(pairs.data() + start, count, run);
        per_pixel_span(single.data() + start, count, run);
        ASSERT_EQ(pairs, single) << "count " << count;  // nothing outside the span either
    }
}
