// The far-to-near walk, callbacks, per-vertex colours, box outlines and markers, and
// the choice of fill by primitive code.
#include "raster/dispatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "geometry/camera.h"
#include "raster/raster_target.h"
#include "raster/render_fixture.h"
#include "support/test_support.h"

namespace {

constexpr uint16_t BACKGROUND = 0x1234;
using Pixels = std::vector<std::pair<int, int>>;

std::vector<int32_t> calls;
void record(int32_t depth_key) {
    calls.push_back(depth_key);
}
void record_slot(int32_t depth_key) {
    calls.push_back(10000 + depth_key);
}

Pixels painted(const ScratchRaster& raster) {
    Pixels out;
    for (int y = 0; y < raster.height; ++y)
        for (int x = 0; x < raster.width; ++x)
            if (raster.at(x, y) != BACKGROUND) out.emplace_back(x, y);
    return out;
}

// The pixels of a box outline that fall inside an 80 x 80 raster, in row order.
Pixels outline(int x, int y, int w, int h) {
    Pixels out;
    for (int row = 0; row < 80; ++row)
        for (int col = 0; col < 80; ++col)
            if (((row == y || row == y + h) && col >= x && col < x + w) ||
                ((col == x || col == x + w) && row >= y && row < y + h))
                out.emplace_back(col, row);
    return out;
}

class Dispatcher : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        calls.clear();
    }
    PrimitivePacket* callback(int16_t key, uint32_t number, int16_t bias = 0) {
        PrimitivePacket* p = packet(PRIM_CALLBACK, {}, bias);
        p->depth_key = key;
        p->extra = number;
        return p;
    }
    // Colour record and intensity of vertices first .. first + 3.
    void shade(int first, ColourRecord colour, int32_t intensity) {
        for (int k = first; k < first + 4; ++k) {
            list->colour_records[k] = colour;
            list->intensities[k] = intensity;
        }
    }
    void render() {
        bucket_packets(list);
        draw_ordering_table(list);
    }
};

TEST_F(Dispatcher, BucketsArePaintedFarToNearOnceAndEmptied) {
    int32_t number = register_render_callback(record);
    int32_t slot_number = register_render_callback(record_slot);
    int32_t gone = register_render_callback(record);
    ASSERT_EQ(unregister_render_callback(gone), 0);
    draw_ordering_table(list);  // empty table
    EXPECT_TRUE(calls.empty());

    callback(1, number);
    callback(4095, number)->header |= POLY_NO_SHARING | (5u << 16);
    callback(2000, number);
    callback(0, number);        // bucket 0
    callback(-5, number, 100);  // bucket 95, called with its key
    callback(300, 0);           // no callback
    callback(301, RENDER_CALLBACKS + 1);
    callback(302, gone);
    ASSERT_EQ(set_callback_slot(2, 2000, slot_number), 0);
    bucket_packets(list);
    std::vector<uint8_t> area(4096);
    std::memcpy(area.data(), list->first_packet, area.size());
    draw_ordering_table(list);
    EXPECT_EQ(calls, (std::vector<int32_t>{4095, 12000, 2000, -5, 1}));
    EXPECT_EQ(std::memcmp(area.data(), list->first_packet, area.size()), 0);
    EXPECT_EQ(filled_buckets(), 0);
    unregister_render_callback(number);
    unregister_render_callback(slot_number);
}

TEST_F(Dispatcher, PolygonsReachTheirFillByCodeAlone) {
    ScratchRaster raster(80, 12, BACKGROUND);
    set_light_colour(255, 255, 255);
    for (int k = 0; k < 4; ++k)
        rectangle(4 * k, 20 * k + 2, 100);
    shade(0, ColourRecord{255, 0, 0, 0}, 0);
    shade(4, ColourRecord{255, 0, 0, 0}, 0);
    shade(8, ColourRecord{255, 255, 255, 0}, 256);
    shade(12, ColourRecord{255, 255, 255, 0}, -20);
    packet(PRIM_GOURAUD_QUAD | POLY_CULL | (9u << 16), {0, 1, 2, 3});
    packet(PRIM_GOURAUD_TRI | POLY_NO_SHARING, {4, 5, 6});
    packet(PRIM_LIT_QUAD, {8, 9, 10, 11})->extra = SHADE_MODE_PLAIN;
    packet(PRIM_LIT_TRI, {12, 13, 14})->extra = SHADE_MODE_PLAIN;
    render();

    auto count = [&](int left, uint16_t value) {
        int n = 0;
        for (auto [x, y] : painted(raster))
            n += x >= left && x < left + 20 && raster.at(x, y) == value;
        return n;
    };
    EXPECT_EQ(count(0, 0x7C00), 56);  // columns 2..9 of rows 2..8
    EXPECT_EQ(raster.at(29, 3), 0x7C00);
    EXPECT_EQ(raster.at(23, 7), BACKGROUND);  // outside the triangle
    // Plain shading of white under light 255: each component (31 * 31) >> 5 = 30.
    EXPECT_EQ(count(40, 0x7BDE), 56);
    EXPECT_EQ(raster.at(68, 3), 0x0000);  // intensity below 0 gives no light

    set_light_colour(255, 0, 0);  // read again at every lit packet
    render();
    EXPECT_EQ(count(40, 0x7800), 56);
    set_light_colour(255, 255, 255);

    // Object header, unlisted codes and a Gouraud code turned lit draw nothing.
    std::fill(raster.pixels.begin(), raster.pixels.end(), BACKGROUND);
    reset_frame_pools();
    int32_t number = register_render_callback(record);
    for (uint32_t header : {0u, 1u, 2u, 5u, 7u, 0x143u, 0x105u, 0x7E0u, 0xFFFu})
        packet(header, {8, 9, 10, 11})->extra = uint32_t(number);
    render();
    EXPECT_TRUE(painted(raster).empty());
    EXPECT_TRUE(calls.empty());
    unregister_render_callback(number);
}

// The walk reads the light once and again after each callback: a callback that
// changes it, grey or not, is seen by the packets painted after it.
LightState callback_light;
void change_light(int32_t) {
    set_light_colour(callback_light.r, callback_light.g, callback_light.b);
}

TEST_F(Dispatcher, ALightChangedByACallbackIsSeenByTheNearerPackets) {
    ScratchRaster raster(40, 12, BACKGROUND);
    rectangle(0, 2, 200);   // far, columns 2..9
    rectangle(4, 22, 100);  // near, columns 22..29
    shade(0, ColourRecord{255, 255, 255, 0}, 200);
    shade(4, ColourRecord{255, 255, 255, 0}, 200);
    packet(PRIM_LIT_TRI, {0, 1, 2})->extra = SHADE_MODE_PLAIN;
    packet(PRIM_LIT_TRI | POLY_WATERTIGHT, {4, 5, 6})->extra = SHADE_MODE_PLAIN;
    const int32_t number = register_render_callback(change_light);
    // The near pixel under each light, with no callback in the frame.
    auto near_under = [&](LightState light) {
        set_light_colour(light.r, light.g, light.b);
        render();
        return raster.at(27, 3);
    };
    const LightState white{{}, 255, 255, 255}, red{{}, 255, 0, 0}, grey{{}, 128, 128, 128};
    const std::pair<LightState, LightState> changes[] = {{white, red}, {red, white}, {white, grey}};
    for (auto [before, after] : changes) {
        const uint16_t near_before = near_under(before);
        const uint16_t far = raster.at(7, 3);
        const uint16_t near = near_under(after);
        ASSERT_NE(near, near_before);
        callback_light = after;
        PrimitivePacket* p = callback(150, uint32_t(number));
        set_light_colour(before.r, before.g, before.b);
        render();
        EXPECT_EQ(raster.at(7, 3), far);
        EXPECT_EQ(raster.at(27, 3), near) << after.r << " " << after.g << " " << after.b;
        p->extra = 0;  // the callback number 0 calls nothing
    }
    unregister_render_callback(number);
    set_light_colour(255, 255, 255);
}

TEST_F(Dispatcher, MarkersDrawTheirBoxWhileTheirSlotIsOpen) {
    ScratchRaster raster(80, 80, BACKGROUND);
    marker_slots()[7].words[0] = 0;
    vertex(0, 10, 10, 100);
    vertex(1, 0, 0, 100);
    packet(PRIM_MARKER | (7u << 16), {0});
    packet(PRIM_MARKER | (0xFFFFu << 16), {1});  // slot -1
    packet(PRIM_MARKER | (32u << 16), {1});
    packet(PRIM_MARKER | (8u << 16), {1});  // closed: first word -1
    render();
    EXPECT_EQ(painted(raster), outline(10, 10, 50, 50));
    EXPECT_EQ(raster.at(10, 10), MARKER_COLOUR);

    free_model_tables();  // no marker table: nothing, no crash
    draw_marker(7, &list->screen_vertices[1]);
    EXPECT_EQ(raster.at(0, 0), BACKGROUND);
}

TEST(DispatcherColours, LightDepthCueAndEnvironmentValues) {
    LightState white{}, orange{};
    white.r = white.g = white.b = orange.r = 255;
    orange.g = 128;
    auto rgb = [](ColourRecord c) { return std::vector<int32_t>{c.r, c.g, c.b}; };
    EXPECT_EQ(rgb(lit_vertex_colour(-20, &white)), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_EQ(rgb(lit_vertex_colour(128, &white)), (std::vector<int32_t>{127, 127, 127}));
    EXPECT_EQ(rgb(lit_vertex_colour(255, &white)), (std::vector<int32_t>{254, 254, 254}));
    EXPECT_EQ(rgb(lit_vertex_colour(256, &white)), (std::vector<int32_t>{255, 255, 255}));
    EXPECT_EQ(rgb(lit_vertex_colour(200, &orange)), (std::vector<int32_t>{199, 100, 0}));

    std::vector<int32_t> levels;
    for (int32_t z : {INT32_MIN, 800, 801, 1150, 1499, 1500, INT32_MAX})
        levels.push_back(depth_cue_level(z));
    EXPECT_EQ(levels, (std::vector<int32_t>{255, 255, 254, 127, 0, 0, 0}));

    auto uv = [](Vec4 n) {
        TexCoord t = environment_coords(&n);
        return std::make_pair(t.u, t.v);
    };
    EXPECT_EQ(uv(Vec4{0, 0, -1024, 0}), std::make_pair(128, 128));
    EXPECT_EQ(uv(Vec4{1024, 0, 0, 0}), std::make_pair(256, 128));
    EXPECT_EQ(uv(Vec4{-1, -1024, 0, 0}), std::make_pair(127, 0));  // arithmetic shifts
}

TEST(DispatcherOutline, BoxesAreClippedToTheRasterWhateverTheirSize) {
    ScratchRaster raster(80, 80, BACKGROUND);
    // Top and bottom from column 0, 30 long; no left edge; the right edge at column 30.
    draw_rect_outline(-20, 10, 50, 50, MARKER_COLOUR);
    EXPECT_EQ(painted(raster), outline(-20, 10, 50, 50));
    EXPECT_EQ(raster.at(29, 60), MARKER_COLOUR);
    EXPECT_EQ(raster.at(30, 60), BACKGROUND);  // the far corner is not drawn

    // x + w and y + h overflow 32 bits: the edges stop at the raster's border.
    std::fill(raster.pixels.begin(), raster.pixels.end(), BACKGROUND);
    draw_rect_outline(10, 5, INT32_MAX, INT32_MAX, MARKER_COLOUR);
    EXPECT_EQ(painted(raster).size(), size_t(70 + 75 - 1));

    // Extreme boxes into a raster with two guard rows on either side.
    constexpr int32_t W = 24, H = 16;
    std::vector<uint16_t> memory(size_t(W) * (H + 4), BACKGROUND);
    set_screen_geometry(W, H, memory.data() + 2 * W);
    bind_raster_target();
    const int32_t values[] = {INT32_MIN, -100000, -50, -1, 0, 1, 15, 16, 23, 24, 100000, INT32_MAX};
    for (int32_t x : values)
        for (int32_t y : values)
            for (int32_t w : values)
                for (int32_t h : values)
                    draw_rect_outline(x, y, w, h, 0x7FFF);
    for (int32_t i = 0; i < 2 * W; ++i) {
        EXPECT_EQ(memory[size_t(i)], BACKGROUND) << i;
        EXPECT_EQ(memory[size_t((H + 2) * W + i)], BACKGROUND) << i;
    }
    EXPECT_EQ(memory[size_t(2 * W)], 0x7FFF);
}

TEST(DispatcherCallbacks, NumbersComeFromAFixedTable) {
    EXPECT_EQ(register_render_callback(nullptr), -1);
    for (int32_t i = 1; i <= RENDER_CALLBACKS; ++i)
        EXPECT_EQ(register_render_callback(record), i);
    EXPECT_EQ(register_render_callback(record), -1);  // full
    EXPECT_EQ(unregister_render_callback(5), 0);
    EXPECT_EQ(unregister_render_callback(5), -1);
    EXPECT_EQ(register_render_callback(record_slot), 5);  // the freed entry is reused
    EXPECT_EQ(unregister_render_callback(0), -1);
    for (int32_t i = 1; i <= RENDER_CALLBACKS; ++i)
        EXPECT_EQ(unregister_render_callback(i), 0);
}

}  // namespace
