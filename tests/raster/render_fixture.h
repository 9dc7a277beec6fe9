// Test fixture shared by the ordering-table and dispatcher tests: render buffers with
// small pools, marker and shade tables, and helpers that write packets by hand.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "base/memory.h"
#include "geometry/model_library.h"
#include "geometry/render_list.h"
#include "raster/ordering_table.h"
#include "raster/render_frame.h"
#include "raster/shade_tables.h"

class RenderFixture : public ::testing::Test {
protected:
    void SetUp() override {
        live_blocks = live_block_count();
        ASSERT_EQ(init_render_buffers(4096), 0);
        alloc_vertex_pool(32);
        alloc_colour_pool(32);
        alloc_normal_pool(32);
        ASSERT_EQ(init_model_tables(), 0);
        ASSERT_EQ(init_shading(), 0);
        list = current_render_list();
        heads = ordering_table_heads();
    }
    void TearDown() override {
        shutdown_shading();
        free_model_tables();
        free_render_buffers();
        EXPECT_EQ(live_block_count(), live_blocks);
    }

    void vertex(int k, int32_t x, int32_t y, int32_t z, int32_t w = 0) {
        list->screen_vertices[k] = ScreenVertex{x, y, z, w};
    }
    // A quad-sized packet whose vertex, colour and normal indices are `v` (the first is
    // also the anchor), with depth_key 777 so that a packet left un-keyed shows.
    PrimitivePacket* packet(uint32_t header, std::vector<int16_t> v, int16_t bias = 0) {
        auto* p = static_cast<PrimitivePacket*>(alloc_packet(QUAD_PACKET_BYTES));
        *p = PrimitivePacket{
            header, QUAD_PACKET_BYTES, 0, 777, bias, 0, -1, int16_t(v.empty() ? 0 : v[0])};
        for (size_t k = 0; k < v.size(); ++k)
            packet_vertices(p)[k] = packet_colours(p)[k] = packet_normals(p)[k] = v[k];
        return p;
    }
    // Vertices first .. first + 3: the rectangle left .. left + 8 by rows 2 .. 8 at depth
    // z, clockwise on screen.
    void rectangle(int first, int32_t left, int32_t z) {
        for (int k = 0; k < 4; ++k)
            vertex(first + k, k == 1 || k == 2 ? left + 8 : left, k < 2 ? 2 : 8, z);
    }
    int32_t filled_buckets() const {
        return int32_t(std::count_if(heads + 1, heads + ORDERING_TABLE_SIZE,
                                     [](uint32_t head) { return head != NO_PACKET; }));
    }

    int live_blocks = 0;
    RenderList* list = nullptr;
    uint32_t* heads = nullptr;
};
