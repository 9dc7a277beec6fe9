// The sine and cosine tables, their lookups and their allocation.
#include <gtest/gtest.h>

#include "base/memory.h"
#include "geometry/fixed_math.h"
#include "geometry/matrix.h"
#include "support/test_support.h"

TEST(TrigTables, ReferenceEntriesAndWrappedLookups) {
    int live = live_block_count();
    ASSERT_EQ(init_trig_tables(), 0);
    EXPECT_EQ(live_block_count(), live + 3);  // sine, cosine, matrix stack
    const int32_t angles[] = {0, 1, 64, 128, 192, 256, 512, 768, 1023};
    const int32_t sines[] = {0, 3, 195, 362, 473, 512, 0, -512, -3};
    // cosine[768] is a tiny negative value truncated toward zero: 0, not -1.
    const int32_t cosines[] = {512, 511, 473, 362, 195, 0, -512, 0, 511};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(sine_table()[angles[i]], sines[i]) << angles[i];
        EXPECT_EQ(cosine_table()[angles[i]], cosines[i]) << angles[i];
        EXPECT_EQ(fixed_sin(angles[i] + 3 * ANGLE_STEPS), sines[i]) << angles[i];
    }
    EXPECT_EQ(fixed_sin(1024), 0);
    EXPECT_EQ(fixed_cos(-1), 511);
    EXPECT_EQ(fixed_cos(-1024 - 256), 0);
    free_trig_tables();
    EXPECT_EQ(live_block_count(), live);
}

TEST(TrigTables, LookupsBeforeInitAreHarmless) {
    free_trig_tables();
    EXPECT_EQ(sine_table(), nullptr);
    EXPECT_EQ(cosine_table(), nullptr);
    EXPECT_EQ(fixed_sin(256), 0);
    EXPECT_EQ(fixed_cos(0), 0);
    Matrix m, identity;
    matrix_identity(&identity);
    Vec4 angles = {128, 576, 0, 0};
    EXPECT_EQ(matrix_rotation(&m, &angles), -1);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m.m[i], identity.m[i]) << i;
    EXPECT_EQ(push_matrix(&m), -1);
    EXPECT_EQ(pop_matrices(&m, 1), -1);
}

TEST(TrigTables, EachFailedAllocationReturnsMinusOneAndLeaksNothing) {
    for (int k = 1; k <= 3; ++k) {
        MessageCapture messages;
        int live = live_block_count();
        fail_allocation_after(k);
        EXPECT_EQ(init_trig_tables(), -1) << k;
        fail_allocation_after(0);
        EXPECT_EQ(live_block_count(), live) << k;
        EXPECT_EQ(messages.texts().size(), 1u) << k;
        EXPECT_EQ(sine_table(), nullptr) << k;
        Matrix m = {};
        EXPECT_EQ(push_matrix(&m), -1) << k;
    }
}
