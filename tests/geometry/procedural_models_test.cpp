// The start-up model set, its point helpers and the random generator.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/memory.h"
#include "geometry/matrix.h"
#include "geometry/model_library.h"
#include "support/test_support.h"

namespace {

// Trig tables and model tables, then the library built from the initial
// generator state.
class StartUpModels : public ::testing::Test {
protected:
    void SetUp() override {
        live = live_block_count();
        ASSERT_EQ(init_trig_tables(), 0);
        ASSERT_EQ(init_model_tables(), 0);
        set_random_state(1);
        ASSERT_EQ(build_model_library(), 0);
    }
    void TearDown() override {
        free_model_library();
        free_model_tables();
        free_trig_tables();
        EXPECT_EQ(live_block_count(), live);
    }
    int live = 0;
};

void expect_vertex(const ModelEntry* e, int i, int32_t x, int32_t y, int32_t z) {
    const Vec4& v = e->vertices[i];
    EXPECT_TRUE(v.x == x && v.y == y && v.z == z && v.w == 0)
        << "vertex " << i << " is (" << v.x << ", " << v.y << ", " << v.z << ", " << v.w << ")";
}

// Template i of a model, reached by walking the sizes from the first.
PrimitivePacket* polygon(const ModelEntry* e, int i) {
    PrimitivePacket* p = e->polygons;
    while (i-- > 0)
        p = next_packet(p);
    return p;
}

std::vector<int> indices(const int16_t* a, int n) {
    return std::vector<int>(a, a + n);
}

}  // namespace

TEST(ModelPoints, GeneratorAndPointHelpers) {
    set_random_state(1);
    EXPECT_EQ(next_random(), 41);
    EXPECT_EQ(next_random(), 18467);
    EXPECT_EQ(next_random(), 6334);

    int32_t x = 0, y = 0;
    Vec4 p = {7, 7, 7, 7};
    EXPECT_EQ(polar_point(64, 1, &x, &y), -1);  // no tables yet
    EXPECT_EQ(sphere_point(&p, 16, 1, 3, 2), -1);
    ASSERT_EQ(init_trig_tables(), 0);

    ASSERT_EQ(polar_point(64 + 1024, 2, &x, &y), 0);  // angles wrap
    EXPECT_EQ(x, 473);
    EXPECT_EQ(y, 195);
    ASSERT_EQ(sphere_point(&p, 16, 17, 3, 2), 0);  // step 17 is step 1
    EXPECT_TRUE(p.x == 872 && p.y == 780 && p.z == 360 && p.w == 0);
    ASSERT_EQ(sphere_point(&p, 16, -15, 16, 0), 0);  // ring 16 is a full turn
    EXPECT_TRUE(p.x == 0 && p.y == 512 && p.z == 0);
    p = {7, 7, 7, 7};
    EXPECT_EQ(sphere_point(&p, 0, 1, 3, 2), -1);
    EXPECT_EQ(sphere_point(&p, 16, 1, 3, 32), -1);
    EXPECT_EQ(p.x, 7);
    free_trig_tables();
}

TEST_F(StartUpModels, DirectoryAndAreasHoldTheSixModelsAndOneSequence) {
    EXPECT_EQ(model_record_count(), 175);
    EXPECT_EQ(model_polygon_bytes_used(), 4864);
    ASSERT_EQ(model_entry_count(), 6);
    struct Range {
        int first_vertex, vertex_count, first_colour, first_byte, bytes;
    };
    const Range expected[6] = {{0, 17, 17, 0, 768},       {19, 32, 51, 768, 896},
                               {53, 32, 85, 1664, 896},   {87, 32, 119, 2560, 768},
                               {121, 17, 138, 3328, 768}, {140, 33, 173, 4096, 768}};
    const Vec4* records = model_record_area();
    const uint8_t* area = model_polygon_area();
    for (int m = 0; m < 6; ++m) {
        const ModelEntry* e = model_entry(m);
        const Range& r = expected[m];
        SCOPED_TRACE(m);
        EXPECT_TRUE(e->vertices - records == r.first_vertex && e->vertex_count == r.vertex_count);
        EXPECT_TRUE(e->colours - records == r.first_colour && e->colour_count == 2);
        EXPECT_TRUE(e->third_count == 0 && e->third_records == nullptr);
        EXPECT_EQ(reinterpret_cast<const uint8_t*>(e->polygons) - area, r.first_byte);
        EXPECT_TRUE(e->polygon_bytes == r.bytes && e->polygon_count == 16);
        const Vec4& black = e->colours[0];
        const Vec4& white = e->colours[1];
        EXPECT_TRUE(black.x == 0 && black.y == 0 && black.z == 0 && black.w == 0);
        EXPECT_TRUE(white.x == 255 && white.y == 255 && white.z == 255 && white.w == 0);
    }

    ASSERT_EQ(sequence_list_count(), 1);
    EXPECT_EQ(sequence_entry_count(), 1);
    const SequenceEntry* s = sequence_list_head(0);
    ASSERT_NE(s, nullptr);
    const int32_t words[10] = {5, 2, 0, 1, 1, 2, 0, 64, 0, 0};
    for (int w = 0; w < 10; ++w)
        EXPECT_EQ(s->words[w], words[w]) << w;
}

TEST_F(StartUpModels, ReferenceVertices) {
    struct Reference {
        int model, vertex;
        int32_t x, y, z;
    };
    // Disc, ring, band and sawtooth (same vertices), cone, and the first spike
    // of the burst, from angles (190, 35, 41): the first three draws.
    const Reference references[] = {
        {0, 0, 0, 0, 0},        {0, 1, 256, 0, 0},     {0, 2, 236, 97, 0},    {0, 3, 181, 181, 0},
        {0, 4, 97, 236, 0},     {1, 0, 256, 0, 0},     {1, 1, 512, 0, 0},     {1, 2, 236, 97, 0},
        {1, 3, 473, 195, 0},    {2, 0, 256, 50, 0},    {2, 1, 256, 0, 0},     {2, 2, 236, 50, 97},
        {2, 3, 236, 0, 97},     {3, 0, 256, 50, 0},    {3, 3, 236, 0, 97},    {4, 0, 0, 0, 0},
        {4, 1, 944, 780, 0},    {4, 2, 872, 780, 360}, {4, 3, 668, 780, 668}, {5, 0, 0, 0, 0},
        {5, 1, 432, 283, -902}, {5, 2, 63, 396, -959}};
    for (const Reference& r : references) {
        SCOPED_TRACE(r.model);
        expect_vertex(model_entry(r.model), r.vertex, r.x, r.y, r.z);
    }
    for (int i = 1; i <= 16; ++i)
        EXPECT_EQ(model_entry(4)->vertices[i].y, 780) << i;
}

TEST_F(StartUpModels, FansAndStripsCloseOntoTheirFirstVertices) {
    for (int m = 0; m < 6; ++m) {
        const bool quads = m == 1 || m == 2;
        for (int i = 0; i < 16; ++i) {
            PrimitivePacket* p = polygon(model_entry(m), i);
            ASSERT_EQ(p->header, quads ? PRIM_GOURAUD_ADD_QUAD : PRIM_GOURAUD_ADD_TRI) << m;
            ASSERT_EQ(p->depth_bias, 0);
            ASSERT_EQ(p->texture, 0);
        }
    }
    using V = std::vector<int>;
    for (int m : {0, 4}) {
        PrimitivePacket* last = polygon(model_entry(m), 15);
        EXPECT_EQ(indices(packet_vertices(last), 3), V({0, 16, 1})) << m;
        EXPECT_EQ(indices(packet_colours(last), 3), V({1, 0, 0})) << m;
    }
    for (int m : {1, 2}) {
        EXPECT_EQ(indices(packet_vertices(polygon(model_entry(m), 0)), 4), V({2, 0, 1, 3})) << m;
        PrimitivePacket* last = polygon(model_entry(m), 15);
        EXPECT_EQ(indices(packet_vertices(last), 4), V({0, 30, 31, 1})) << m;
        EXPECT_EQ(indices(packet_colours(last), 4), V({1, 1, 0, 0})) << m;
        EXPECT_EQ(indices(packet_tex_coords(last), 4), V({0, 0, 0, 0})) << m;
    }
    PrimitivePacket* saw = polygon(model_entry(3), 15);
    EXPECT_EQ(indices(packet_vertices(saw), 3), V({0, 30, 31}));
    EXPECT_EQ(indices(packet_colours(saw), 3), V({1, 1, 0}));
    PrimitivePacket* spike = polygon(model_entry(5), 15);
    EXPECT_EQ(indices(packet_vertices(spike), 3), V({0, 31, 32}));
    EXPECT_EQ(indices(packet_colours(spike), 3), V({1, 0, 0}));
}

TEST_F(StartUpModels, StarburstDependsOnlyOnTheGeneratorState) {
    const ModelEntry* burst = model_entry(5);
    std::vector<Vec4> first(burst->vertices, burst->vertices + 33);
    expect_vertex(burst, 31, -120, 977, 334);
    expect_vertex(burst, 32, -37, 1038, -43);
    uint32_t after_build = random_state();
    set_random_state(1);
    for (int i = 0; i < 48; ++i)
        next_random();  // three draws per spike
    EXPECT_EQ(random_state(), after_build);

    // Rebuilt from state 1: the same burst.
    free_model_library();
    ASSERT_EQ(init_model_tables(), 0);
    set_random_state(1);
    ASSERT_EQ(build_model_library(), 0);
    burst = model_entry(5);
    for (int i = 0; i < 33; ++i)
        expect_vertex(burst, i, first[i].x, first[i].y, first[i].z);

    // The build does not reseed: carrying on from the state gives other spikes.
    free_model_library();
    ASSERT_EQ(init_model_tables(), 0);
    ASSERT_EQ(build_model_library(), 0);
    EXPECT_NE(model_entry(5)->vertices[1].x, first[1].x);
}

TEST(ModelLibraryBuild, FailuresLeaveNothingAllocated) {
    int live = live_block_count();
    ASSERT_EQ(init_trig_tables(), 0);
    ASSERT_EQ(init_model_tables(), 0);
    int prepared = live_block_count();
    for (int k : {1, 2}) {  // record area, then polygon area
        MessageCapture messages;
        fail_allocation_after(k);
        EXPECT_EQ(build_model_library(), -1) << k;
        EXPECT_EQ(live_block_count(), prepared) << k;
        EXPECT_EQ(model_record_area(), nullptr) << k;
        EXPECT_EQ(model_entry_count(), 0) << k;
        ASSERT_EQ(messages.texts().size(), 1u);
        EXPECT_EQ(cp932_to_utf8(messages.texts()[0]),
                  std::string(k == 1 ? "80000" : "5000") + "byteの領域の確保に失敗しました。");
    }

    ASSERT_EQ(build_model_library(), 0);
    EXPECT_EQ(build_model_library(), -1);  // built already: nothing replaced or leaked
    EXPECT_EQ(model_entry_count(), 6);
    EXPECT_EQ(live_block_count(), prepared + 2);
    free_model_library();

    // Without a directory the models cannot be registered.
    free_model_tables();
    EXPECT_EQ(build_model_library(), -1);
    free_model_library();
    // Without trig tables nothing is allocated.
    free_trig_tables();
    int before = allocation_count();
    EXPECT_EQ(build_model_library(), -1);
    EXPECT_EQ(allocation_count(), before);
    EXPECT_EQ(live_block_count(), live);
}
