// The portable page drawing: line, flood fill and RGBA conversion.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "platform/common/page_drawing.h"

namespace {

constexpr uint16_t BACK = 0x001F;
constexpr uint16_t INK = 0x0000;
constexpr uint16_t GREEN = 0x03E0;

struct Page {
    Page(int32_t w, int32_t h) : width(w), height(h), pixels(size_t(w) * size_t(h), BACK) {}
    uint16_t& at(int32_t x, int32_t y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    int count(uint16_t value) const {
        int n = 0;
        for (uint16_t p : pixels)
            n += p == value;
        return n;
    }
    void line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        draw_page_line(pixels.data(), width, height, x0, y0, x1, y1, INK);
    }
    int32_t fill(int32_t x, int32_t y, uint16_t colour = GREEN) {
        return flood_fill_page(pixels.data(), width, height, x, y, colour, INK);
    }
    int32_t width, height;
    std::vector<uint16_t> pixels;
};

}  // namespace

TEST(PageLine, DrawsFromTheStartAndStopsBeforeTheEnd) {
    Page page(16, 16);
    page.line(2, 3, 9, 3);
    for (int x = 2; x < 9; ++x)
        EXPECT_EQ(page.at(x, 3), INK) << x;
    EXPECT_EQ(page.at(9, 3), BACK);
    EXPECT_EQ(page.count(INK), 7);

    Page reverse(16, 16);
    reverse.line(9, 3, 2, 3);
    EXPECT_EQ(reverse.at(9, 3), INK);
    EXPECT_EQ(reverse.at(2, 3), BACK);

    Page point(16, 16);
    point.line(5, 5, 5, 5);  // nothing: the only point is the excluded end
    EXPECT_EQ(point.count(INK), 0);
}

TEST(PageLine, SlopedLinesTakeOnePixelPerStepOfTheLongerAxis) {
    Page page(32, 32);
    page.line(1, 1, 11, 5);  // 10 steps in x, 4 in y: y = 1 + round(i * 4 / 10)
    const int expected_y[10] = {1, 1, 2, 2, 3, 3, 3, 4, 4, 5};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(page.at(1 + i, expected_y[i]), INK) << i;
    EXPECT_EQ(page.count(INK), 10);

    Page steep(32, 32);
    steep.line(20, 2, 17, 14);  // y-major, x falling
    EXPECT_EQ(steep.count(INK), 12);
    EXPECT_EQ(steep.at(20, 2), INK);
    EXPECT_EQ(steep.at(17, 13), INK);
    EXPECT_EQ(steep.at(17, 14), BACK);
}

TEST(PageLine, HalfWayPointsTakeTheUpperOrLeftPixelInEveryDirection) {
    // The pixels GDI draws for these lines: at every half-way point the smaller coordinate,
    // so a line and its reverse share their inner pixels.
    struct Case {
        int32_t x0, y0, x1, y1;
        int32_t pixels[4][2];
    };
    const Case cases[] = {
        {0, 0, 4, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {4, 2, 0, 0, {{4, 2}, {3, 1}, {2, 1}, {1, 0}}},
        {0, 2, 4, 0, {{0, 2}, {1, 1}, {2, 1}, {3, 0}}},
        {0, 0, 2, 4, {{0, 0}, {0, 1}, {1, 2}, {1, 3}}},
        {2, 4, 0, 0, {{2, 4}, {1, 3}, {1, 2}, {0, 1}}},
        {2, 0, 0, 4, {{2, 0}, {1, 1}, {1, 2}, {0, 3}}},
    };
    for (const Case& c : cases) {
        Page page(8, 8);
        page.line(c.x0, c.y0, c.x1, c.y1);
        EXPECT_EQ(page.count(INK), 4) << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
        for (const auto& pixel : c.pixels)
            EXPECT_EQ(page.at(pixel[0], pixel[1]), INK)
                << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1 << " at " << pixel[0] << ","
                << pixel[1];
    }
}

TEST(PageLine, ClipsToThePageAndKeepsTheUnclippedPixels) {
    // The part of a long line that crosses the page is the same as the same
    // line drawn on a page large enough to hold it whole.
    Page big(200, 200);
    big.line(-50 + 100, 30 + 100, 150 + 100, -20 + 100);
    Page small(100, 100);
    small.line(-50, 30, 150, -20);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(small.at(x, y), big.at(x + 100, y + 100)) << x << "," << y;
    EXPECT_GT(small.count(INK), 0);

    // Far-away end points cost no more than the page and never write outside it.
    Page page(64, 48);
    page.line(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    page.line(INT_MAX, 10, INT_MIN, 10);
    page.line(-5, -5, -1, 60);  // entirely left of the page
    // The diagonal x = y (48 pixels) and row 10 (64 pixels) share (10, 10).
    EXPECT_EQ(page.count(INK), 48 + 64 - 1);
    EXPECT_EQ(page.at(0, 0), INK);
    EXPECT_EQ(page.at(47, 47), INK);
    EXPECT_EQ(page.at(63, 10), INK);
    EXPECT_EQ(page.at(0, 10), INK);
}

TEST(PageFill, FillsTheEnclosedRegionUpToTheBlackBorder) {
    Page page(20, 20);
    // A closed 8-connected outline: the diagonal corners do not let a
    // 4-connected fill out.
    page.line(5, 2, 10, 7);
    page.line(10, 7, 5, 12);
    page.line(5, 12, 0, 7);
    page.line(0, 7, 5, 2);
    int32_t painted = page.fill(5, 7);
    EXPECT_GT(painted, 0);
    EXPECT_EQ(page.count(GREEN), painted);
    EXPECT_EQ(page.at(5, 7), GREEN);
    EXPECT_EQ(page.at(15, 15), BACK);  // outside stays
    EXPECT_EQ(page.at(5, 2), INK);     // the border is not painted

    // On a border pixel or outside the page nothing is painted.
    EXPECT_EQ(page.fill(5, 2), 0);
    EXPECT_EQ(page.fill(-1, 3), 0);
    EXPECT_EQ(page.fill(3, 20), 0);
    EXPECT_EQ(page.fill(INT_MAX, INT_MIN), 0);
}

TEST(PageFill, PassesThroughPixelsThatAlreadyHoldTheFillColour) {
    Page page(12, 4);
    page.at(4, 0) = GREEN;
    page.at(4, 1) = GREEN;
    page.at(4, 2) = GREEN;
    page.at(4, 3) = GREEN;  // a full green column splits nothing
    EXPECT_EQ(page.fill(0, 0, 0x7C00), 48);
    EXPECT_EQ(page.count(0x7C00), 48);
}

TEST(PageFill, FillsALargeOpenPageWithoutRecursion) {
    Page page(1024, 768);
    EXPECT_EQ(page.fill(511, 383), 1024 * 768);
    EXPECT_EQ(page.count(GREEN), 1024 * 768);
}

TEST(PageColour, FiveBitsWidenByReplication) {
    Rgba8 blue = pixel_to_rgba(0x001F);
    EXPECT_EQ(blue.r, 0);
    EXPECT_EQ(blue.g, 0);
    EXPECT_EQ(blue.b, 255);
    EXPECT_EQ(blue.a, 255);
    Rgba8 mixed = pixel_to_rgba(0x6000 | (16 << 5) | 1);  // red 24, green 16, blue 1
    EXPECT_EQ(mixed.r, 198);                              // (24 << 3) | (24 >> 2)
    EXPECT_EQ(mixed.g, 132);
    EXPECT_EQ(mixed.b, 8);
    Rgba8 top_bit = pixel_to_rgba(0xFFFF);  // bit 15 carries nothing
    EXPECT_EQ(top_bit.r, 255);

    const uint16_t pixels[2] = {0x7C00, 0x03E0};
    uint8_t rgba[8] = {};
    page_to_rgba(pixels, 2, rgba);
    const uint8_t expected[8] = {255, 0, 0, 255, 0, 255, 0, 255};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(rgba[i], expected[i]) << i;
}
