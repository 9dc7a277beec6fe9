// The render list: start-up and release, packet allocation, pools, colour packing, reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/memory.h"
#include "base/messages.h"
#include "geometry/render_list.h"
#include "support/test_support.h"

namespace {

uint32_t word_at(const void* address) {
    uint32_t word;
    std::memcpy(&word, address, 4);
    return word;
}

uint8_t* area_start() {
    return reinterpret_cast<uint8_t*>(current_render_list()->first_packet);
}

// Every test starts from fresh buffers and checks that nothing leaks.
class RenderBuffers : public ::testing::Test {
protected:
    void SetUp() override {
        live_at_start = live_block_count();
        ASSERT_EQ(init_render_buffers(PACKET_AREA_BYTES), 0);
    }
    void TearDown() override {
        free_render_buffers();
        EXPECT_EQ(current_render_list(), nullptr);
        EXPECT_EQ(live_block_count(), live_at_start);
    }
    int live_at_start = 0;
};

}  // namespace

TEST_F(RenderBuffers, InitCreatesAnEmptyEndedAreaAndClearedSideTables) {
    RenderList* list = current_render_list();
    EXPECT_EQ(area_start(), reinterpret_cast<uint8_t*>(list) + sizeof(RenderList));
    EXPECT_EQ(list->write_position, area_start());
    EXPECT_EQ(word_at(area_start()), PACKET_END);
    EXPECT_EQ(list->packet_capacity, PACKET_AREA_BYTES);
    for (int i = 0; i < ORDERING_TABLE_SIZE; ++i)
        ASSERT_EQ(ordering_table_heads()[i], 0u);
    for (int i = 0; i < CALLBACK_SLOTS; ++i)
        ASSERT_EQ(callback_slots()[i].extra, 0u);
}

TEST(RenderListStartUp, EachFailedAllocationGivesItsResultAndFreesTheRest) {
    MessageCapture messages;
    int live = live_block_count();
    const int expected[] = {-4, -1, -2, -3};  // descriptors, ordering table, list, callbacks
    for (int k = 1; k <= 4; ++k) {
        fail_allocation_after(k);
        EXPECT_EQ(init_render_buffers(1000), expected[k - 1]) << k;
        EXPECT_EQ(live_block_count(), live) << k;
        EXPECT_EQ(current_render_list(), nullptr) << k;
    }
    EXPECT_EQ(messages.texts().size(), 4u);  // the allocator's own message each time

    // Without buffers every operation refuses safely.
    Vec4 record = {};
    EXPECT_EQ(alloc_packet(48), nullptr);
    EXPECT_EQ(add_object_header(), -1);
    EXPECT_EQ(pool_find_or_add(&record, POOL_VERTEX), -2);
    EXPECT_EQ(pool_count(POOL_COLOUR), -2);
    EXPECT_EQ(pack_colours(), nullptr);
    reset_frame_pools();
    alloc_vertex_pool(10);
    EXPECT_EQ(live_block_count(), live);
}

TEST_F(RenderBuffers, PacketsAreBumpAllocatedBeforeTheEndWordUntilTheAreaIsFull) {
    RenderList* list = current_render_list();
    EXPECT_EQ(alloc_packet(48), area_start());
    EXPECT_EQ(word_at(area_start() + 48), PACKET_END);
    ASSERT_EQ(add_object_header(), 0);
    auto* header = reinterpret_cast<PrimitivePacket*>(area_start() + 48);
    EXPECT_TRUE(header->header == 5 && header->size == 20 && header->depth_key == -1);
    EXPECT_EQ(word_at(area_start() + 68), PACKET_END);

    // 68 + (600000 - 68) ends exactly at the area end: no room for the end word.
    MessageCapture messages;
    EXPECT_EQ(alloc_packet(PACKET_AREA_BYTES - 68), nullptr);
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_EQ(messages.texts()[0], TEXT_PACKET_AREA_FULL);
    EXPECT_EQ(list->packet_count, 3);
    EXPECT_EQ(list->write_position, area_start() + PACKET_AREA_BYTES);  // never past the area
    EXPECT_EQ(word_at(area_start() + 68), PACKET_END);
    EXPECT_EQ(alloc_packet(0), nullptr);  // stays full until the reset

    reset_frame_pools();
    EXPECT_EQ(alloc_packet(PACKET_AREA_BYTES - 4), area_start());  // leaves exactly 4 bytes
    reset_frame_pools();
    messages.clear();
    EXPECT_EQ(alloc_packet(-4), nullptr);
    reset_frame_pools();
    EXPECT_EQ(alloc_packet(6), nullptr);
    EXPECT_EQ(messages.texts().size(), 2u);
}

TEST_F(RenderBuffers, PoolBlocksFollowTheirLayoutAndReallocationFreesTheOldBlock) {
    RenderList* list = current_render_list();
    alloc_vertex_pool(10);
    alloc_colour_pool(6);
    alloc_normal_pool(10);
    auto at = [](const void* p) { return static_cast<const uint8_t*>(p); };
    EXPECT_EQ(at(list->screen_vertices), at(list->model_vertices) + 160);
    EXPECT_EQ(at(list->packed_colours), at(list->colour_records) + 96);
    EXPECT_EQ(at(list->view_normals), at(list->model_normals) + 160);
    EXPECT_EQ(at(list->intensities), at(list->model_normals) + 320);
    EXPECT_EQ(geometry_pool(POOL_COLOUR)->records, list->colour_records);

    int live = live_block_count();
    alloc_vertex_pool(20);
    EXPECT_EQ(live_block_count(), live);
    EXPECT_EQ(list->vertex_capacity, 20);

    // No pool outgrows what a packet's 16-bit index can name: the record
    // after index 32,767 is turned away like any full pool's, not stored at
    // an index that reads back negative.
    alloc_vertex_pool(100000);
    EXPECT_EQ(list->vertex_capacity, POOL_CAPACITY_LIMIT);
    for (int32_t i = 0; i <= POOL_CAPACITY_LIMIT; ++i) {
        Vec4 record = {i, 0, 0, 0};
        ASSERT_EQ(pool_append(&record, POOL_VERTEX), std::min(i, POOL_CAPACITY_LIMIT - 1));
    }
    EXPECT_EQ(pool_rejected(POOL_VERTEX), 1);
    alloc_vertex_pool(20);

    // A failed reallocation leaves the kind unbound rather than dangling.
    MessageCapture messages;
    fail_allocation_after(1);
    alloc_vertex_pool(20);
    EXPECT_TRUE(list->model_vertices == nullptr && list->screen_vertices == nullptr);
    Vec4 record = {};
    EXPECT_EQ(pool_find_or_add(&record, POOL_VERTEX), -2);
}

TEST_F(RenderBuffers, FindOrAddSharesEqualRecordsFromTheMarkOn) {
    alloc_vertex_pool(10);
    Vec4 a = {1, 2, 3, 0}, a_w = {1, 2, 3, 1}, b = {4, 5, 6, 0};
    EXPECT_EQ(pool_find_or_add(&a, POOL_VERTEX), 0);
    EXPECT_EQ(pool_find_or_add(&a_w, POOL_VERTEX), 1);  // differs only in w
    EXPECT_EQ(pool_find_or_add(&a, POOL_VERTEX), 0);
    EXPECT_EQ(pool_append(&a, POOL_VERTEX), 2);
    EXPECT_EQ(pool_set_mark(POOL_VERTEX), 3);
    EXPECT_EQ(pool_find_or_add(&a, POOL_VERTEX), 3);  // stored before the mark: a new copy
    EXPECT_EQ(pool_find_or_add(&b, POOL_VERTEX), 4);
    EXPECT_EQ(pool_find_or_add(&a, POOL_VERTEX), 3);  // after the mark: shared
    EXPECT_EQ(current_render_list()->model_vertices[4].z, 6);
    EXPECT_EQ(pool_find_or_add(&a, 6), -1);
    EXPECT_EQ(pool_find_or_add(&a, 4), -2);  // never bound
}

// The search goes through an index of the records by value; it must answer
// exactly as a scan from the mark would, through appended duplicates, mark
// moves, resets and a full pool.
TEST_F(RenderBuffers, FindOrAddAnswersAsAScanFromTheMarkWould) {
    constexpr int32_t CAPACITY = 300;
    alloc_normal_pool(CAPACITY);
    std::vector<Vec4> stored;  // what the pool holds, for the reference scan
    int32_t mark = 0;
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return int32_t((seed >> 16) % range);
    };
    for (int step = 0; step < 20000; ++step) {
        // Few distinct values, so that equal records are common.
        Vec4 r = {next(4), next(3) - 1, next(2), next(2)};
        int32_t action = next(100);
        if (action < 80) {
            int32_t expected = -1;
            for (int32_t i = mark; i < int32_t(stored.size()) && expected < 0; ++i)
                if (std::memcmp(&stored[size_t(i)], &r, sizeof r) == 0) expected = i;
            if (expected < 0) {
                expected =
                    int32_t(stored.size()) < CAPACITY ? int32_t(stored.size()) : CAPACITY - 1;
                if (int32_t(stored.size()) < CAPACITY) stored.push_back(r);
            }
            ASSERT_EQ(pool_find_or_add(&r, POOL_NORMAL), expected) << step;
        } else if (action < 95) {
            int32_t expected =
                int32_t(stored.size()) < CAPACITY ? int32_t(stored.size()) : CAPACITY - 1;
            if (int32_t(stored.size()) < CAPACITY) stored.push_back(r);
            ASSERT_EQ(pool_append(&r, POOL_NORMAL), expected) << step;
        } else if (action < 99) {
            mark = int32_t(stored.size());
            ASSERT_EQ(pool_set_mark(POOL_NORMAL), mark);
        } else {
            stored.clear();
            mark = 0;
            ASSERT_EQ(pool_reset(POOL_NORMAL), 0);
        }
    }
}

TEST_F(RenderBuffers, AFullPoolStoresNothingMoreAndHandsOutItsLastIndex) {
    RenderList* list = current_render_list();
    alloc_vertex_pool(2);
    Vec4 a = {1, 0, 0, 0}, b = {2, 0, 0, 0}, c = {3, 0, 0, 0};
    EXPECT_EQ(pool_find_or_add(&a, POOL_VERTEX), 0);
    EXPECT_EQ(pool_find_or_add(&b, POOL_VERTEX), 1);
    EXPECT_EQ(pool_find_or_add(&c, POOL_VERTEX), 1);
    EXPECT_EQ(pool_append(&a, POOL_VERTEX), 1);
    EXPECT_EQ(pool_find_or_add(&a, POOL_VERTEX), 0);  // still found, not rejected
    EXPECT_EQ(pool_count(POOL_VERTEX), 2);
    EXPECT_EQ(pool_rejected(POOL_VERTEX), 2);
    EXPECT_EQ(list->model_vertices[1].x, 2);
    EXPECT_EQ(list->screen_vertices[0].x, 0);  // the array after the records is untouched
    pool_reset(POOL_VERTEX);
    EXPECT_EQ(pool_rejected(POOL_VERTEX), 0);

    alloc_colour_pool(0);  // raised to one record
    ColourRecord red = {255, 0, 0, 0}, blue = {0, 0, 255, 0};
    EXPECT_EQ(pool_find_or_add(&red, POOL_COLOUR), 0);
    EXPECT_EQ(pool_find_or_add(&blue, POOL_COLOUR), 0);
}

TEST_F(RenderBuffers, PackColoursKeepsTheTopFiveBitsOfEachChannel) {
    alloc_colour_pool(4);
    ColourRecord colours[] = {{255, 255, 255, 0}, {255, 0, 0, 0}, {7, 8, 15, 0}};
    for (const ColourRecord& c : colours)
        pool_append(&c, POOL_COLOUR);
    uint16_t* packed = pack_colours();
    ASSERT_EQ(packed, current_render_list()->packed_colours);
    EXPECT_EQ(packed[0], 0x7FFF);
    EXPECT_EQ(packed[1], 0x7C00);
    EXPECT_EQ(packed[2], 0x0021);
    EXPECT_EQ(packed[3], 0);  // past the count
}

TEST_F(RenderBuffers, ResetEmptiesEverythingAndTwiceIsTheSameAsOnce) {
    RenderList* list = current_render_list();
    alloc_vertex_pool(8);
    Vec4 v = {1, 1, 1, 1};
    pool_find_or_add(&v, POOL_VERTEX);
    pool_set_mark(POOL_VERTEX);
    alloc_packet(48);
    list->vertex_count = 1;

    reset_frame_pools();
    unsigned char once[sizeof(RenderList)], pools_once[sizeof(GeometryPool)];
    std::memcpy(once, list, sizeof once);
    std::memcpy(pools_once, geometry_pool(POOL_VERTEX), sizeof pools_once);
    reset_frame_pools();
    EXPECT_EQ(std::memcmp(once, list, sizeof once), 0);
    EXPECT_EQ(std::memcmp(pools_once, geometry_pool(POOL_VERTEX), sizeof pools_once), 0);

    EXPECT_TRUE(list->packet_count == 0 && list->vertex_count == 0);
    EXPECT_EQ(list->write_position, area_start());
    EXPECT_EQ(word_at(area_start()), PACKET_END);
    EXPECT_TRUE(pool_count(POOL_VERTEX) == 0 && geometry_pool(POOL_VERTEX)->mark == 0);
    EXPECT_EQ(list->model_vertices[0].x, 1);  // storage is not cleared
}

TEST(TextureSlots, StartEmptyAndReleaseTheirTexturesWithTheTable) {
    int live = live_block_count();
    ASSERT_EQ(init_texture_slots(), 0);
    for (int i = 0; i < TEXTURE_SLOTS; ++i)
        ASSERT_EQ(texture_slots()[i], nullptr);
    auto* texture = static_cast<Texture*>(alloc_zeroed(sizeof(Texture)));
    texture->block = alloc_zeroed(64);
    texture_slots()[5] = texture;
    free_texture_slots();
    EXPECT_EQ(texture_slots(), nullptr);
    EXPECT_EQ(live_block_count(), live);

    MessageCapture messages;
    fail_allocation_after(1);
    EXPECT_EQ(init_texture_slots(), -1);
}
