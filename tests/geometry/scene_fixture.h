// Fixture for the scene-object, animation and geometry-pipeline tests: trig
// tables, render buffers with small pools and the object and animation
// tables, freed again with a check that no block leaks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "base/memory.h"
#include "geometry/animation.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"

class SceneTest : public ::testing::Test {
public:
    static constexpr int32_t POOL_SIZE = 64;

    void SetUp() override { start(PACKET_AREA_BYTES); }
    void TearDown() override { stop(); }

    void start(int32_t packet_area_bytes) {
        live_at_start = live_block_count();
        ASSERT_EQ(init_trig_tables(), 0);
        ASSERT_EQ(init_render_buffers(packet_area_bytes), 0);
        for (int32_t kind = POOL_VERTEX; kind <= POOL_NORMAL; ++kind)
            alloc_geometry_pool(POOL_SIZE, kind);
        ASSERT_EQ(init_object_table(), 0);
        ASSERT_EQ(init_animation_table(), 0);
    }
    void stop() {
        free_animation_table();
        free_object_table();
        free_render_buffers();
        free_trig_tables();
        EXPECT_EQ(live_block_count(), live_at_start);
    }
    void restart(int32_t packet_area_bytes) {
        stop();
        start(packet_area_bytes);
    }

    static RenderList* list() { return current_render_list(); }
    static uint8_t* area() { return reinterpret_cast<uint8_t*>(list()->first_packet); }
    template <typename Packet = PrimitivePacket>
    static Packet* packet_at(int32_t offset) {
        return reinterpret_cast<Packet*>(area() + offset);
    }
    static uint32_t word_at(int32_t offset) {
        uint32_t word;
        std::memcpy(&word, area() + offset, 4);
        return word;
    }

    // A flat triangle with one red colour record, as the outline builder emits it.
    static int32_t triangle(const Vec4& a, const Vec4& b, const Vec4& c,
                            uint32_t flags = POLY_CULL) {
        static const ColourRecord red = {255, 0, 0, 0};
        const Vec4* vertices[3] = {&a, &b, &c};
        const ColourRecord* colours[3] = {&red, nullptr, nullptr};
        return add_triangle(vertices, colours, nullptr, nullptr, -1, flags, 0);
    }

    // An object of the given triangles with one part over its vertices, finished.
    static int32_t build_object(const Vec4 (*triangles)[3], int count) {
        int32_t index = create_object(1);
        int32_t first = list()->vertex_count;
        int32_t highest = first - 1;
        for (int i = 0; i < count; ++i)
            highest =
                std::max(highest, triangle(triangles[i][0], triangles[i][1], triangles[i][2]));
        add_object_part(index, first, highest + 1 - first, 0);
        finish_object();
        return index;
    }

private:
    int live_at_start = 0;
};
