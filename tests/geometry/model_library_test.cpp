// Model tables, the model builder and the sequence lists.
#include "geometry/model_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/memory.h"
#include "support/test_support.h"

namespace {

// Fresh tables and areas handed to the builder, released and checked for
// leaks afterwards.
class ModelBuilder : public ::testing::Test {
protected:
    void SetUp() override {
        live = live_block_count();
        ASSERT_EQ(init_model_tables(), 0);
        records = static_cast<Vec4*>(alloc_zeroed(MODEL_VERTEX_AREA_BYTES));
        polygons = static_cast<uint8_t*>(alloc_zeroed(MODEL_POLYGON_AREA_BYTES));
        attach_model_areas(records, polygons);
    }
    void TearDown() override {
        attach_model_areas(nullptr, nullptr);
        free_block(polygons);
        free_block(records);
        free_model_tables();
        EXPECT_EQ(live_block_count(), live);
    }
    int live = 0;
    Vec4* records = nullptr;
    uint8_t* polygons = nullptr;
};

TrianglePacket busy_triangle(uint32_t header) {
    TrianglePacket t = {
        {header, 99, 7, 8, -5, 9, 3, 10}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {11, 12, 13}};
    return t;
}

}  // namespace

TEST(ModelTables, InitMarksEverySlotAndFailuresLeaveNothingAllocated) {
    int live = live_block_count();
    ASSERT_EQ(init_model_tables(), 0);
    ASSERT_EQ(init_model_tables(), 0);  // a second call replaces the first tables
    EXPECT_EQ(live_block_count(), live + 3);
    MarkerSlot* slots = marker_slots();
    ASSERT_NE(slots, nullptr);
    for (int s = 0; s < MARKER_SLOTS; ++s) {
        EXPECT_EQ(slots[s].words[0], -1) << s;
        for (int w = 1; w < MARKER_SLOT_BYTES / 4; ++w)
            ASSERT_EQ(slots[s].words[w], 0) << s;
    }
    EXPECT_EQ(model_entry_count(), 0);
    EXPECT_EQ(sequence_list_count(), 0);
    EXPECT_EQ(sequence_entry_count(), 0);
    free_model_tables();
    EXPECT_EQ(marker_slots(), nullptr);
    EXPECT_EQ(live_block_count(), live);

    // Sequence entries, marker table, directory: whichever fails, the rest goes.
    const int sizes[3] = {10240, 4608, MODEL_DIRECTORY_BYTES};
    for (int k = 1; k <= 3; ++k) {
        MessageCapture messages;
        fail_allocation_after(k);
        EXPECT_EQ(init_model_tables(), -1) << k;
        EXPECT_EQ(live_block_count(), live) << k;
        EXPECT_EQ(marker_slots(), nullptr) << k;
        EXPECT_EQ(begin_sequence(), -1) << k;
        EXPECT_EQ(finish_model(), -1) << k;
        ASSERT_EQ(messages.texts().size(), 1u);
        EXPECT_EQ(cp932_to_utf8(messages.texts()[0]),
                  std::to_string(sizes[k - 1]) + "byteの領域の確保に失敗しました。");
    }
}

TEST_F(ModelBuilder, RecordsCountOnlyInsideASection) {
    Vec4 loose = {1, 2, 3, 4};
    EXPECT_EQ(add_model_record(&loose), 0);  // written, not counted
    EXPECT_EQ(records[0].w, 4);
    EXPECT_EQ(model_record_count(), 0);

    begin_vertex_section();
    EXPECT_EQ(add_model_point(5, 6, 7), 1);  // overwrites the loose record
    EXPECT_EQ(add_model_point(8, 9, 10), 2);
    EXPECT_EQ(records[0].x, 5);
    EXPECT_EQ(records[0].w, 0);
    begin_colour_section();
    EXPECT_EQ(add_model_point(255, 0, 0), 3);
    begin_polygon_section();
    ASSERT_EQ(finish_model(), 0);

    const ModelEntry* e = model_entry(0);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->vertex_count == 2 && e->vertices == records);
    EXPECT_TRUE(e->colour_count == 1 && e->colours == records + 2);
    EXPECT_TRUE(e->third_count == 0 && e->third_records == nullptr);
    EXPECT_TRUE(e->polygon_count == 0 && e->polygon_bytes == 0);
    EXPECT_EQ(model_entry(1), nullptr);
    EXPECT_EQ(model_entry(-1), nullptr);
}

TEST_F(ModelBuilder, TemplatesTakeTheirOwnVertexCountAndDropTheFrameFields) {
    // Link, depth key, extra word, anchor and normal indices are frame data:
    // set in the sources, absent from the stored templates.
    TrianglePacket t84 = busy_triangle(PRIM_GOURAUD_ADD_QUAD | POLY_CULL | (7u << 16));
    QuadPacket q83 = {{83, 1, 2, 3, 4, 5, 6, 7}, {1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13}};
    begin_polygon_section();
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(add_model_triangle(&t84), 0);
    ASSERT_EQ(finish_model(), 0);
    begin_polygon_section();
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(add_model_quad(&q83), 0);
    ASSERT_EQ(finish_model(), 1);
    TrianglePacket t83 = busy_triangle(PRIM_GOURAUD_ADD_TRI);
    ASSERT_EQ(add_model_triangle(&t83), 0);

    const TrianglePacket tri = {{83u | POLY_CULL | (7u << 16), 48, 0, 0, -5, 0, 3, 0},
                                {1, 2, 3},
                                {4, 5, 6},
                                {7, 8, 9},
                                {0, 0, 0}};
    const QuadPacket quad = {
        {84, 56, 0, 0, 4, 0, 6, 0}, {1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {0, 0, 0, 0}};
    EXPECT_EQ(std::memcmp(polygons, &tri, 48), 0);
    EXPECT_EQ(std::memcmp(polygons + 15 * 48, &tri, 48), 0);
    EXPECT_EQ(std::memcmp(polygons + 768, &quad, 56), 0);
    EXPECT_EQ(reinterpret_cast<PrimitivePacket*>(polygons + 768 + 896)->header, 83u);

    EXPECT_EQ(model_entry(0)->polygon_count, 16);
    EXPECT_EQ(model_entry(0)->polygon_bytes, 768);
    EXPECT_EQ(model_entry(1)->polygon_count, 16);
    EXPECT_EQ(model_entry(1)->polygon_bytes, 896);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(model_entry(1)->polygons), polygons + 768);
}

TEST_F(ModelBuilder, FullAreasAndDirectoryRefuseMore) {
    begin_vertex_section();
    for (int i = 0; i < MODEL_RECORD_CAPACITY; ++i)
        ASSERT_EQ(add_model_point(i, 0, 0), i + 1);
    EXPECT_EQ(add_model_point(1, 1, 1), -1);
    begin_vertex_section();
    EXPECT_EQ(add_model_point(1, 1, 1), -1);
    EXPECT_EQ(model_record_count(), MODEL_RECORD_CAPACITY);

    TrianglePacket t = busy_triangle(PRIM_GOURAUD_ADD_TRI);
    QuadPacket q = {};
    begin_polygon_section();
    for (int i = 0; i < 104; ++i)
        ASSERT_EQ(add_model_triangle(&t), 0);  // 4992 bytes
    EXPECT_EQ(add_model_triangle(&t), -1);
    EXPECT_EQ(add_model_quad(&q), -1);
    EXPECT_EQ(model_polygon_bytes_used(), 4992);

    for (int i = 0; i < MAX_MODELS; ++i)
        ASSERT_EQ(finish_model(), i);
    EXPECT_EQ(finish_model(), -1);
    EXPECT_EQ(model_entry_count(), MAX_MODELS);
    EXPECT_EQ(model_entry(0)->polygon_count, 104);

    attach_model_areas(nullptr, nullptr);  // no areas: nothing to write into
    EXPECT_EQ(add_model_point(1, 1, 1), -1);
    EXPECT_EQ(add_model_triangle(&t), -1);
    attach_model_areas(records, polygons);
}

TEST_F(ModelBuilder, SequenceEntriesKeepTheLastArgumentInWordOne) {
    ASSERT_EQ(begin_sequence(), 0);
    EXPECT_EQ(sequence_list_count(), 0);  // counted when closed
    ASSERT_EQ(add_sequence_entry(10, 11, 12, 13, 14, 15, 16, 17), 0);
    ASSERT_EQ(add_sequence_entry(20, 21, 22, 23, 24, 25, 26, 27), 0);
    ASSERT_EQ(end_sequence(), 0);
    ASSERT_EQ(begin_sequence(), 1);
    ASSERT_EQ(add_sequence_entry(30, 31, 32, 33, 34, 35, 36, 37), 0);
    ASSERT_EQ(end_sequence(), 0);

    EXPECT_EQ(sequence_list_count(), 2);
    EXPECT_EQ(sequence_entry_count(), 3);
    const SequenceEntry* first = sequence_list_head(0);
    ASSERT_NE(first, nullptr);
    const int32_t expected[10] = {10, 17, 11, 12, 13, 14, 15, 16, 0, 0};
    for (int w = 0; w < 10; ++w)
        EXPECT_EQ(first->words[w], expected[w]) << w;
    EXPECT_EQ(first[1].words[1], 27);
    EXPECT_EQ(sequence_list_head(1), first + 2);
    EXPECT_EQ(sequence_list_head(2), nullptr);
}

TEST_F(ModelBuilder, SequenceListsStayWithinTheirTables) {
    // Nothing open: nothing written, nothing counted.
    EXPECT_EQ(add_sequence_entry(1, 2, 3, 4, 5, 6, 7, 8), -1);
    EXPECT_EQ(end_sequence(), -1);
    EXPECT_EQ(sequence_entry_count(), 0);
    EXPECT_EQ(sequence_list_count(), 0);

    // A list closed empty gets no head, so it cannot alias the next list.
    ASSERT_EQ(begin_sequence(), 0);
    ASSERT_EQ(end_sequence(), 0);
    EXPECT_EQ(sequence_list_head(0), nullptr);
    EXPECT_EQ(end_sequence(), -1);  // already closed
    EXPECT_EQ(sequence_list_count(), 1);

    ASSERT_EQ(begin_sequence(), 1);
    for (int i = 0; i < SEQUENCE_ENTRY_CAPACITY; ++i)
        ASSERT_EQ(add_sequence_entry(i, 0, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(add_sequence_entry(1, 2, 3, 4, 5, 6, 7, 8), -1);
    EXPECT_EQ(sequence_entry_count(), SEQUENCE_ENTRY_CAPACITY);
    ASSERT_EQ(end_sequence(), 0);
    EXPECT_EQ(sequence_list_head(1)[SEQUENCE_ENTRY_CAPACITY - 1].words[0], 255);
    EXPECT_EQ(begin_sequence(), -1);  // no entry left

    // 64 lists at most, counted from a fresh table.
    ASSERT_EQ(init_model_tables(), 0);
    for (int i = 0; i < SEQUENCE_LIST_CAPACITY; ++i) {
        ASSERT_EQ(begin_sequence(), i);
        ASSERT_EQ(end_sequence(), 0);
    }
    EXPECT_EQ(begin_sequence(), -1);
}
