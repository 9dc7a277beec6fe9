// Allocation failures during a build, in turn for every allocation a build
// makes: each ends with its message and leaves a program that builds again.
#include <gtest/gtest.h>

#include <string>

#include "app/outline.h"
#include "app/stroke_history.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "session/session_fixture.h"

namespace {

constexpr uint16_t LIT_RED = 24 << 10;  // the sheet at rest under the start-up light

bool screen_is_blue() {
    for (int32_t y = 0; y < screen_height(); ++y)
        for (int32_t x = 0; x < screen_width(); ++x)
            if (Session::pixel(x, y) != BLUE) return false;
    return true;
}

}  // namespace

TEST(FaultInjection, EveryFailedAllocationOfABuildLeavesAUsableProgram) {
    int32_t failures = 0;
    int32_t build_allocations = -1;
    for (int k = 1; k < 50 && build_allocations < 0; ++k) {
        Session session;
        session.square(100, 100, 200, 200);
        session.hover(150, 150);
        // The build makes the strokes part of the page: their history goes.
        const StrokeHistoryMemory strokes = stroke_history_memory();
        const int blocks = live_block_count() - strokes.blocks;
        const int64_t bytes = live_byte_count() - strokes.bytes;
        const int allocations = allocation_count();
        fail_allocation_after(k);
        headless_queue_button_down(BUTTON_RIGHT);
        session.frames(1);
        fail_allocation_after(0);
        headless_queue_button_up(BUTTON_RIGHT);
        if (selected_object() != NO_OBJECT) {
            build_allocations = allocation_count() - allocations;
            EXPECT_TRUE(headless_messages().empty());
            continue;
        }
        ++failures;
        ASSERT_EQ(headless_messages().size(), 1u) << k;
        EXPECT_NE(headless_messages()[0].text.find("byte"), std::string::npos) << k;
        // Nothing of the build is left: no object, no packets, no pooled
        // records, no block, and a blue page to draw on.
        EXPECT_EQ(draw_list(), nullptr) << k;
        EXPECT_EQ(current_render_list()->packet_count, 0) << k;
        EXPECT_EQ(pool_count(POOL_VERTEX), 0) << k;
        EXPECT_EQ(live_block_count(), blocks) << k;
        EXPECT_EQ(live_byte_count(), bytes) << k;
        EXPECT_TRUE(screen_is_blue()) << k;

        // The program goes on: an outline drawn again builds its sheet.
        session.square(100, 100, 200, 200);
        session.right_click(150, 150);
        session.frames(1);
        ASSERT_NE(selected_object(), NO_OBJECT) << k;
        EXPECT_EQ(Session::pixel(150, 150), LIT_RED) << k;
        EXPECT_EQ(headless_messages().size(), 1u) << k;

        // And a window closed after it all frees every block it held.
        headless_queue_close();
        session.frames(1);
        EXPECT_EQ(live_block_count(), session.live_blocks_at_start) << k;
    }
    EXPECT_GE(failures, 1);
    EXPECT_EQ(failures, build_allocations);
}
