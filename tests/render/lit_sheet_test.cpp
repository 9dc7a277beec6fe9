// The whole road from emitted triangles to pixels, without a window: a flat
// sheet built through the object interface exactly as the outline builder
// builds one, transformed, bucketed and painted with the start-up camera,
// light and shade table.
#include <gtest/gtest.h>

#include <vector>

#include "base/memory.h"
#include "geometry/camera.h"
#include "geometry/fixed_math.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/model_library.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "raster/render_frame.h"
#include "raster/shade_tables.h"
#include "support/test_support.h"

namespace {

constexpr int32_t WIDTH = 514;   // the demonstration's client area: 514 x 483,
constexpr int32_t HEIGHT = 482;  // of which the last row is never drawn
constexpr uint16_t BLUE = 0x001F;

class LitSheet : public ::testing::Test {
protected:
    void SetUp() override {
        live_blocks = live_block_count();
        ASSERT_EQ(init_shading(), 0);
        ASSERT_EQ(init_trig_tables(), 0);
        ASSERT_EQ(init_render_buffers(PACKET_AREA_BYTES), 0);
        ASSERT_EQ(init_object_table(), 0);
        ASSERT_EQ(init_model_tables(), 0);
        alloc_vertex_pool(VERTEX_POOL_CAPACITY);
        alloc_colour_pool(COLOUR_POOL_CAPACITY);
        alloc_uv_pool(UV_POOL_CAPACITY);
        alloc_normal_pool(NORMAL_POOL_CAPACITY);
        set_screen_centre(WIDTH >> 1, HEIGHT >> 1);
        set_camera(0, 0, 256, 0, 0, 0);
        set_light_direction(128, 576, 0);
        set_light_colour(255, 255, 255);
    }
    void TearDown() override {
        free_model_tables();
        free_object_table();
        free_render_buffers();
        free_trig_tables();
        shutdown_shading();
        EXPECT_EQ(live_block_count(), live_blocks);
    }

    // A square sheet of grid cells from -half to +half in x and y (screen
    // offsets from the centre, depth 0), two red triangles per cell in the
    // builder's order and winding: (TL, TR, BL), then (BR, BL, TR).
    int32_t build_sheet(int32_t half) {
        const ColourRecord red{255, 0, 0, 0};
        const ColourRecord* colours[3] = {&red, nullptr, nullptr};
        int32_t index = create_object(2);
        int32_t max_vertex = -1;
        for (int32_t y = -half; y < half; y += 8) {
            for (int32_t x = -half; x < half; x += 8) {
                Vec4 tl{x, y, 0, 0}, tr{x + 8, y, 0, 0}, bl{x, y + 8, 0, 0}, br{x + 8, y + 8, 0, 0};
                const Vec4* first[3] = {&tl, &tr, &bl};
                const Vec4* second[3] = {&br, &bl, &tr};
                for (const Vec4* const* triangle : {first, second}) {
                    int32_t highest =
                        add_triangle(triangle, colours, nullptr, nullptr, -1, POLY_CULL, 0);
                    EXPECT_GE(highest, 0);
                    if (highest > max_vertex) max_vertex = highest;
                }
            }
        }
        add_object_part(index, 0, max_vertex + 1, 0);
        finish_object();
        set_part_flags(index, PART_LIT);
        show_object(index);
        compute_object_normals(index);
        set_object_shading(index, 0);
        pack_colours();
        return index;
    }

    int live_blocks = 0;
};

// Where the sheet lands and what colour it gets, worked out by hand.
//
// Camera: eye (0, 0, 256) looking at the origin gives the matrix rows
// (511, 0, 3), (0, 512, 0), (-3, 0, 511), (-768, 0, 130816). The object and
// part matrices are the identity, so a vertex (x, y, 0) has
//   X = (511x - 768) >> 1, Y = 512y >> 1 = 256y, Zraw = 3x + 130816,
// and for |x| <= 40 the depth Zraw >> 9 is 255. Screen x = X / 255 + 257,
// screen y = 256y / 255 + 241: x = -40 lands on column 216, x = 40 on 295,
// y = -40 on row 201 and y = 40 on row 281.
//
// Light: every face normal of the flat sheet is (0, 0, 1024). The normal goes
// through the same matrix, translation row included: ((1024 * -3 - 768) >> 9,
// 0, (1024 * 511 + 130816) >> 9) = (-8, 0, 1277). Against the light vector
// (-946, 274, 274): (1277 * 274) >> 10 = 341, plus (-8 * -946) >> 10 = 7,
// gives 348, and 348 >> 2 = 87. White light makes the vertex light
// (87 * 255) >> 8 = 86 in each component, level 86 >> 3 = 10.
//
// Shade table 0 at level 10: red column 31 gives 0 + ((10 * 31) >> 5) + (31 >> 1)
// = 9 + 15 = 24; green and blue column 0 give 0. Every pixel is 24 << 10 = 0x6000.
TEST_F(LitSheet, PaintsTheHandDerivedColourInsideAndNothingOutside) {
    ScratchRaster raster(WIDTH, HEIGHT, BLUE);
    build_sheet(40);
    EXPECT_EQ(current_render_list()->packet_count, 1 + 2 * 10 * 10);

    transform_scene();
    render_frame();

    int32_t covered = 0;
    for (int32_t y = 0; y < HEIGHT; ++y) {
        for (int32_t x = 0; x < WIDTH; ++x) {
            uint16_t pixel = raster.at(x, y);
            bool inside_box = x >= 216 && x <= 295 && y >= 201 && y <= 281;
            if (!inside_box) {
                ASSERT_EQ(pixel, BLUE) << x << "," << y;
            } else if (pixel != BLUE) {
                ASSERT_EQ(pixel, 0x6000) << x << "," << y;
                ++covered;
            }
        }
    }
    // The interior, a few pixels in from every projected edge, is covered
    // without a gap between neighbouring triangles.
    for (int32_t y = 204; y <= 278; ++y)
        for (int32_t x = 219; x <= 292; ++x)
            ASSERT_EQ(raster.at(x, y), 0x6000) << x << "," << y;
    EXPECT_GT(covered, 75 * 76);
}

TEST_F(LitSheet, ShadingModeSelectsTheShadeTable) {
    ScratchRaster raster(WIDTH, HEIGHT, BLUE);
    int32_t index = build_sheet(16);
    // Table 2 (banded) at level 10: m = 9 rounds up to 16, plus 15: 31 -> 0x7C00.
    set_object_shading(index, 2);
    transform_scene();
    render_frame();
    EXPECT_EQ(raster.at(257, 241), 0x7C00);
    // Table 3 (plain) at level 10: 9 -> 0x2400.
    set_object_shading(index, 3);
    transform_scene();
    render_frame();
    EXPECT_EQ(raster.at(257, 241), 0x2400);
}

TEST_F(LitSheet, TurnedHalfATurnItShowsItsBackAndDrawsNothing) {
    ScratchRaster raster(WIDTH, HEIGHT, BLUE);
    int32_t index = build_sheet(40);
    for (Vec4 angles : {Vec4{512, 0, 0, 0}, Vec4{0, 512, 0, 0}}) {
        *get_object_rotation(index) = angles;
        transform_scene();
        render_frame();
        for (uint16_t pixel : raster.pixels)
            ASSERT_EQ(pixel, BLUE);
    }
    // Back at rotation 0 it draws again.
    *get_object_rotation(index) = Vec4{0, 0, 0, 0};
    transform_scene();
    render_frame();
    EXPECT_EQ(raster.at(257, 241), 0x6000);
}

}  // namespace
