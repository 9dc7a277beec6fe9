// Shade tables: the standard entries, the directory and the start-up and
// shut-down of the tables and render defaults.
#include <gtest/gtest.h>

#include <string>

#include "base/memory.h"
#include "raster/shade_tables.h"
#include "support/test_support.h"

namespace {

int entry(int32_t mode, int level, int component) {
    return shade_tables[mode]->entry[(level << 5) + component];
}

// Starts the tables for one test and frees them afterwards.
struct ShadeTables : ::testing::Test {
    void SetUp() override {
        live_blocks = live_block_count();
        ASSERT_EQ(init_shading(), 0);
    }
    void TearDown() override {
        shutdown_shading();
        EXPECT_EQ(live_block_count(), live_blocks);  // nothing leaks
    }
    int live_blocks = 0;
};

}  // namespace

TEST_F(ShadeTables, StandardTablesHoldTheirEntries) {
    // Plain: modulation only, never reaching 31.
    EXPECT_EQ(entry(SHADE_MODE_PLAIN, 31, 0), 0);
    EXPECT_EQ(entry(SHADE_MODE_PLAIN, 31, 1), 0);
    EXPECT_EQ(entry(SHADE_MODE_PLAIN, 31, 2), 1);
    EXPECT_EQ(entry(SHADE_MODE_PLAIN, 31, 3), 2);
    EXPECT_EQ(entry(SHADE_MODE_PLAIN, 31, 31), 30);
    EXPECT_EQ(entry(SHADE_MODE_PLAIN, 16, 16), 8);
    // Soft: the ambient half without light, the highlight without colour.
    EXPECT_EQ(entry(SHADE_MODE_SOFT, 0, 31), 15);
    EXPECT_EQ(entry(SHADE_MODE_SOFT, 31, 0), 10);
    EXPECT_EQ(entry(SHADE_MODE_SOFT, 31, 31), 31);
    EXPECT_EQ(entry(SHADE_MODE_SOFT, 18, 0), 0);  // the highlight starts at level 19
    EXPECT_EQ(entry(SHADE_MODE_SOFT, 19, 0), 1);
    // Glossy: saturated on the top row.
    for (int j = 0; j < 32; ++j) {
        EXPECT_EQ(entry(SHADE_MODE_GLOSSY, 31, j), 31) << j;
    }
    EXPECT_EQ(entry(SHADE_MODE_GLOSSY, 27, 10), 28);
    EXPECT_EQ(entry(SHADE_MODE_GLOSSY, 15, 0), 0);  // the highlight starts at level 16
    EXPECT_EQ(entry(SHADE_MODE_GLOSSY, 16, 0), 1);
    // Banded: modulation rounded up to a multiple of 8.
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(entry(SHADE_MODE_BANDED, i, 0), 0) << i;
    }
    EXPECT_EQ(entry(SHADE_MODE_BANDED, 4, 31), 23);
    EXPECT_EQ(entry(SHADE_MODE_BANDED, 31, 31), 31);  // 32 + 15, clamped

    for (int32_t mode = 0; mode < SHADE_MODE_COUNT; ++mode) {
        EXPECT_EQ(shade_tables[mode], shade_table(mode)) << mode;
    }
    EXPECT_EQ(current_shade_table, shade_tables[SHADE_MODE_SOFT]);
}

TEST_F(ShadeTables, DirectoryHasSixteenSlots) {
    EXPECT_EQ(shade_table(-1), nullptr);
    EXPECT_EQ(shade_table(16), nullptr);
    EXPECT_EQ(shade_table(4), nullptr);  // empty slot
    for (int slot = 4; slot < SHADE_TABLE_SLOTS; ++slot) {
        EXPECT_EQ(alloc_shade_table(), slot);
    }
    EXPECT_EQ(alloc_shade_table(), -1);  // the 17th
    ShadeTable* fresh = shade_table(15);
    ASSERT_NE(fresh, nullptr);
    for (int i = 0; i < SHADE_TABLE_BYTES; ++i) {
        ASSERT_EQ(fresh->entry[i], 0) << i;
    }

    {
        MessageCapture messages;
        shutdown_shading();
        EXPECT_EQ(alloc_shade_table(), -1);  // no directory
        ASSERT_EQ(init_shading(), 0);
        fail_allocation_after(1);
        EXPECT_EQ(alloc_shade_table(), -2);  // reported by the allocator; slot stays empty
        EXPECT_EQ(shade_table(4), nullptr);
        EXPECT_EQ(messages.texts().size(), 1u);
    }
}

TEST_F(ShadeTables, ShutdownForgetsTheTables) {
    shutdown_shading();
    for (const ShadeTable* table : shade_tables) {
        EXPECT_EQ(table, nullptr);
    }
    EXPECT_EQ(current_shade_table, nullptr);
    EXPECT_EQ(shade_table(0), nullptr);
    shutdown_shading();  // twice is harmless
    ASSERT_EQ(init_shading(), 0);
    ASSERT_EQ(init_shading(), 0);  // starting again replaces the tables
}

TEST(Shading, FailedStartupReportsAndLeavesNothingAllocated) {
    const int live = live_block_count();
    // The directory, then each of the four tables in turn.
    for (int failing = 1; failing <= 5; ++failing) {
        MessageCapture messages;
        fail_allocation_after(failing);
        EXPECT_EQ(init_shading(), -1) << failing;
        fail_allocation_after(0);
        ASSERT_EQ(messages.texts().size(), 1u) << failing;
        const int size = failing == 1 ? int(SHADE_TABLE_SLOTS * sizeof(ShadeTable*)) : 1024;
        EXPECT_EQ(cp932_to_utf8(messages.texts()[0]),
                  std::to_string(size) + "byteの領域の確保に失敗しました。");
        EXPECT_EQ(live_block_count(), live) << failing;
        EXPECT_EQ(current_shade_table, nullptr);
        EXPECT_EQ(shade_tables[0], nullptr);
    }
    // The next start-up succeeds from scratch.
    ASSERT_EQ(init_shading(), 0);
    EXPECT_EQ(shade_table(0), shade_tables[0]);
    shutdown_shading();
    EXPECT_EQ(live_block_count(), live);
}
