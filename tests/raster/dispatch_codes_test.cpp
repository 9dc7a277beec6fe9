// Every flat, textured, additive and lit textured code reaches its fill through the
// ordering table with the arguments its packet names; unusable texture slots skip it.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "geometry/camera.h"
#include "raster/dispatcher.h"
#include "raster/fills/flat_fill.h"
#include "raster/fills/shaded_fills.h"
#include "raster/fills/textured_fill.h"
#include "raster/render_fixture.h"
#include "raster/texture_loader.h"
#include "support/test_support.h"

namespace {

constexpr uint16_t BACKGROUND = 0x1234;
constexpr int32_t SLOT = 3;

class DispatchCodes : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        alloc_uv_pool(32);
        ASSERT_EQ(init_texture_slots(), 0);
        std::vector<uint16_t> texels(16);
        for (int i = 0; i < 16; ++i)
            texels[size_t(i)] = uint16_t(0x1111 * (i % 7) + i);
        ASSERT_EQ(load_texture(SLOT, 4, 4, texels.data()), SLOT);
        set_light_colour(255, 200, 100);
        // Vertices 4..7, in packet order: a clockwise quad whose corners all
        // differ in depth, colour, texture coordinates, normal and light. The
        // colours, coordinates and normals lie at other indices (+16, +20, +8)
        // so that an array read through the wrong index list shows.
        const int32_t corner[4][2] = {{3, 1}, {17, 2}, {15, 10}, {2, 9}};
        for (int k = 0; k < 4; ++k) {
            vertex(4 + k, corner[k][0], corner[k][1], 900 + 150 * k);
            list->colour_records[20 + k] = ColourRecord{60 * k, 255 - 50 * k, 90 + 30 * k, 0};
            list->packed_colours[20 + k] = uint16_t(0x2000 + 0x0421 * k);
            list->tex_coords[24 + k] =
                TexCoord{k == 1 || k == 2 ? 256 : -30, k < 2 ? 10 : 300, 0, 0};
            list->view_normals[12 + k] = Vec4{-900 + 600 * k, 400 - 250 * k, -500, 0};
            list->intensities[12 + k] = 250 - 70 * k;
        }
    }
    void TearDown() override {
        free_texture_slots();
        RenderFixture::TearDown();
    }

    // Paints one packet of `code` through the ordering table and returns the page.
    std::vector<uint16_t> dispatched(uint32_t code, int16_t texture = SLOT) {
        ScratchRaster raster(20, 12, BACKGROUND);
        reset_frame_pools();
        std::vector<int16_t> v{4, 5, 6, 7};
        if ((code & 7) == 3) v.pop_back();
        PrimitivePacket* p = packet(code, v);
        for (size_t k = 0; k < v.size(); ++k) {
            packet_colours(p)[k] = int16_t(v[k] + 16);
            packet_tex_coords(p)[k] = int16_t(v[k] + 20);
            packet_normals(p)[k] = int16_t(v[k] + 8);
        }
        p->texture = texture;
        p->extra = SHADE_MODE_GLOSSY;
        bucket_packets(list);
        draw_ordering_table(list);
        return raster.pixels;
    }
    // The same page from a direct call.
    std::vector<uint16_t> direct(const std::function<void()>& draw) {
        ScratchRaster raster(20, 12, BACKGROUND);
        draw();
        return raster.pixels;
    }

    const ScreenVertex* V(int k) { return &list->screen_vertices[4 + k]; }
    const ColourRecord* CR(int k) { return &list->colour_records[20 + k]; }
    const TexCoord* TC(int k) { return &list->tex_coords[24 + k]; }
};

}  // namespace

TEST_F(DispatchCodes, EveryCodeReachesItsFillWithThePacketsArguments) {
    ColourRecord L[4], F[4];
    TexCoord E[4];
    for (int k = 0; k < 4; ++k) {
        L[k] = lit_vertex_colour(list->intensities[12 + k], light_colour());
        const int32_t level = depth_cue_level(V(k)->z);
        F[k] = ColourRecord{level, level, level, 0};
        E[k] = environment_coords(&list->view_normals[12 + k]);
    }
    const uint16_t PC = list->packed_colours[20];
    const int32_t mode = SHADE_MODE_GLOSSY;
    const std::vector<std::pair<uint32_t, std::function<void()>>> cases = {
        {PRIM_FLAT_TRI, [&] { draw_flat_triangle(V(0), V(1), V(2), PC); }},
        {PRIM_FLAT_QUAD, [&] { draw_flat_quad(V(0), V(1), V(2), V(3), PC); }},
        {PRIM_TEX_TRI,
         [&] { draw_textured_triangle(V(0), V(1), V(2), TC(0), TC(1), TC(2), SLOT); }},
        {PRIM_TEX_QUAD,
         [&] { draw_textured_quad(V(0), V(1), V(2), V(3), TC(0), TC(1), TC(2), TC(3), SLOT); }},
        {PRIM_TEX_ADD_TRI,
         [&] { draw_additive_textured_triangle(V(0), V(1), V(2), TC(0), TC(1), TC(2), SLOT); }},
        {PRIM_TEX_ADD_QUAD,
         [&] {
             draw_additive_textured_quad(V(0), V(1), V(2), V(3), TC(0), TC(1), TC(2), TC(3), SLOT);
         }},
        {PRIM_TEX_HALF_TRI,
         [&] { draw_half_textured_triangle(V(0), V(1), V(2), TC(0), TC(1), TC(2), SLOT); }},
        {PRIM_TEX_HALF_QUAD,
         [&] {
             draw_half_textured_quad(V(0), V(1), V(2), V(3), TC(0), TC(1), TC(2), TC(3), SLOT);
         }},
        {PRIM_GOURAUD_TEX_QUAD,
         [&] {
             draw_lit_textured_quad(V(0), V(1), V(2), V(3), CR(0), CR(1), CR(2), CR(3), TC(0),
                                    TC(1), TC(2), TC(3), SLOT, mode);
         }},
        {PRIM_GOURAUD_ADD_TRI,
         [&] { draw_additive_gouraud_triangle(V(0), V(1), V(2), CR(0), CR(1), CR(2)); }},
        {PRIM_GOURAUD_ADD_QUAD,
         [&] { draw_additive_gouraud_quad(V(0), V(1), V(2), V(3), CR(0), CR(1), CR(2), CR(3)); }},
        {PRIM_LIT_TEX_TRI,
         [&] {
             draw_lit_textured_triangle(V(0), V(1), V(2), &L[0], &L[1], &L[2], TC(0), TC(1), TC(2),
                                        SLOT, mode);
         }},
        {PRIM_LIT_ENV_QUAD,
         [&] {
             draw_lit_textured_quad(V(0), V(1), V(2), V(3), &L[0], &L[1], &L[2], &L[3], &E[0],
                                    &E[1], &E[2], &E[3], SLOT, mode);
         }},
        {PRIM_FOG_TEX_TRI,
         [&] {
             draw_lit_textured_triangle(V(0), V(1), V(2), &F[0], &F[1], &F[2], TC(0), TC(1), TC(2),
                                        SLOT, mode);
         }},
        {PRIM_FOG_TEX_QUAD,
         [&] {
             draw_lit_textured_quad(V(0), V(1), V(2), V(3), &F[0], &F[1], &F[2], &F[3], TC(0),
                                    TC(1), TC(2), TC(3), SLOT, mode);
         }},
    };
    const std::vector<uint16_t> blank(20 * 12, BACKGROUND);
    for (const auto& [code, draw] : cases) {
        const std::vector<uint16_t> expected = direct(draw);
        EXPECT_NE(expected, blank) << code;
        EXPECT_EQ(dispatched(code | POLY_NO_SHARING), expected) << code;
    }
    // The fog levels differ per vertex (900 .. 1350), so they are not all one.
    EXPECT_NE(F[0].r, F[3].r);

    // A textured packet whose slot is -1, empty or beyond the table is skipped.
    for (const auto& [code, draw] : cases) {
        if (!(code & POLY_TEXTURED)) continue;
        for (int16_t slot : {-1, 0, 127, 128, 4000})
            EXPECT_EQ(dispatched(code, slot), blank) << code << " slot " << slot;
    }
}

namespace {

// A callback that loads or frees the fixture's texture slot.
bool callback_loads = false;
const std::vector<uint16_t> magenta(16, 0x7C1F);
void change_texture(int32_t) {
    if (callback_loads) {
        load_texture(SLOT, 4, 4, magenta.data());
    } else {
        unload_texture(SLOT);
    }
}

}  // namespace

// A textured packet painted after a callback that loads or frees its texture
// draws as the slot then stands, under a coloured and under a grey light.
TEST_F(DispatchCodes, ATextureChangedByACallbackIsSeenByTheNearerPackets) {
    const int32_t number = register_render_callback(change_texture);
    ASSERT_GT(number, 0);
    std::vector<uint16_t> loaded(16);
    for (int i = 0; i < 16; ++i)
        loaded[size_t(i)] = uint16_t(0x0421 * i);
    // The quad's two halves: the far one painted before the callback, the
    // near one after it.
    auto textured = [&](std::vector<int16_t> v, int16_t bias) {
        PrimitivePacket* p = packet(PRIM_LIT_TEX_TRI | POLY_WATERTIGHT, v, bias);
        for (size_t k = 0; k < v.size(); ++k) {
            packet_tex_coords(p)[k] = int16_t(v[k] + 20);
            packet_normals(p)[k] = int16_t(v[k] + 8);
        }
        p->texture = SLOT;
        p->extra = SHADE_MODE_GLOSSY;
    };
    for (const LightState light : {LightState{{}, 255, 200, 100}, LightState{{}, 200, 200, 200}}) {
        set_light_colour(light.r, light.g, light.b);
        ColourRecord L[4];
        for (int k = 0; k < 4; ++k)
            L[k] = lit_vertex_colour(list->intensities[12 + k], light_colour());
        for (bool loads : {false, true}) {
            callback_loads = loads;
            // The far half alone while the slot holds its first texture, the
            // near half alone with the texture the callback loads.
            unload_texture(SLOT);
            ASSERT_EQ(load_texture(SLOT, 4, 4, (loads ? magenta : loaded).data()), SLOT);
            const int a = 0, b = loads ? 2 : 1, c = loads ? 3 : 2;  // the half drawn
            const std::vector<uint16_t> expected = direct([&] {
                draw_watertight_lit_textured_triangle(V(a), V(b), V(c), &L[a], &L[b], &L[c], TC(a),
                                                      TC(b), TC(c), SLOT, SHADE_MODE_GLOSSY);
            });
            if (loads) unload_texture(SLOT);
            ScratchRaster raster(20, 12, BACKGROUND);
            reset_frame_pools();
            textured({4, 5, 6}, 1000);
            PrimitivePacket* call = packet(PRIM_CALLBACK, {});
            call->depth_key = 1500;
            call->extra = uint32_t(number);
            textured({4, 6, 7}, 0);
            bucket_packets(list);
            draw_ordering_table(list);
            EXPECT_EQ(raster.pixels, expected) << light.g << (loads ? " loads" : " frees");
        }
    }
    unregister_render_callback(number);
}
