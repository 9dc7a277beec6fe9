// The screen buffer, start-up and shut-down on the headless backend.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/messages.h"
#include "geometry/render_list.h"
#include "raster/raster_target.h"
#include "raster/shade_tables.h"
#include "session/session_fixture.h"

TEST(Screen, StartUpBuildsTwoClientSizedPagesAndClearsPageZeroBlue) {
    Session session;
    ASSERT_EQ(session.start_up_result, 0);
    EXPECT_EQ(screen_width(), 514);
    EXPECT_EQ(screen_height(), 482);  // the client height minus its last row
    EXPECT_EQ(raster_target.max_x, 513);
    EXPECT_EQ(raster_target.max_y, 481);
    EXPECT_EQ(raster_target.pixels, headless_page(0));
    ASSERT_NE(headless_page(1), nullptr);
    EXPECT_EQ(headless_page(2), nullptr);
    EXPECT_EQ(clear_colour_pair(), 0x001F001Fu);

    for (int32_t y = 0; y < 482; ++y)
        for (int32_t x = 0; x < 514; ++x)
            ASSERT_EQ(Session::pixel(x, y), BLUE) << x << "," << y;
    for (int32_t x = 0; x < 514; ++x)
        ASSERT_EQ(Session::pixel(x, 482), 0) << x;
    EXPECT_EQ(headless_title(), "TEST");
    EXPECT_TRUE(headless_messages().empty());

    // The first frame shows the page; the window's last row keeps its white.
    session.frames(1);
    const std::vector<uint16_t>& window = headless_window_pixels();
    EXPECT_EQ(window[0], BLUE);
    EXPECT_EQ(window[size_t(481) * 514 + 513], BLUE);
    EXPECT_EQ(window[size_t(482) * 514], 0x7FFF);
}

TEST(Screen, PageSlotsAndDepth) {
    Session session;
    uint16_t* page0 = page_pixels(0);
    page0[0] = 0x1234;
    EXPECT_EQ(set_screen_depth(16), 0);  // same depth: the pages stay as they are
    EXPECT_EQ(page_pixels(0), page0);
    EXPECT_EQ(page0[0], 0x1234);

    EXPECT_EQ(release_screen_page(8), -2);
    EXPECT_EQ(release_screen_page(-1), -2);
    EXPECT_EQ(release_screen_page(5), 0);  // empty slot
    EXPECT_EQ(page_pixels(8), nullptr);
    // Rows are a whole number of 32-bit words only with an even width.
    EXPECT_EQ(create_screen_page(3, 11, 10, 16), -1);
    EXPECT_EQ(create_screen_page(3, 10, 10, 16), 0);
    EXPECT_EQ(release_screen_page(3), 0);
    EXPECT_EQ(headless_page(3), nullptr);

    set_clear_colour(64, 64, 255);
    EXPECT_EQ(clear_colour_pair(), 0x001F001Fu);
    set_clear_colour(31, 32, 1);  // masked to five bits: (31, 0, 1)
    EXPECT_EQ(clear_colour_pair(), 0x7C017C01u);
}

// The clear fills in rounds of 32 words and then word by word: counts on either
// side of a round fill exactly their words.
TEST(Screen, PixelPairsFillExactlyTheirWords) {
    for (int64_t words : {0, 1, 15, 31, 32, 33, 64, 95, 100}) {
        std::vector<uint16_t> pixels(2 * 110, 0x1234);
        fill_pixel_pairs(pixels.data() + 2, words, 0x7C017C01u);
        for (size_t i = 0; i < pixels.size(); ++i) {
            const bool filled = i >= 2 && i < size_t(2 + 2 * words);
            ASSERT_EQ(pixels[i], filled ? 0x7C01 : 0x1234) << words << " words, pixel " << i;
        }
    }
}

TEST(StartUp, ScreenFailureStopsStartUpWithItsMessageAndNoFrameRuns) {
    for (int32_t failing_page : {1, 2}) {
        HeadlessConfig config;
        config.fail_page_after = failing_page;
        Session session(config);
        EXPECT_EQ(session.start_up_result, -1);
        ASSERT_EQ(headless_messages().size(), 1u) << failing_page;
        EXPECT_EQ(headless_messages()[0].text, TEXT_SCREEN_FAILED);
        EXPECT_EQ(headless_messages()[0].caption, "Error");
        // None of the later steps ran.
        EXPECT_EQ(shade_tables[0], nullptr);
        EXPECT_EQ(current_render_list(), nullptr);
        // A page made before the failure stays until shut-down.
        EXPECT_EQ(headless_page(0) != nullptr, failing_page == 2);
        EXPECT_EQ(session.frames(5), 0);
        EXPECT_FALSE(headless_running());
        EXPECT_EQ(headless_exit_code(), EXIT_STARTUP_FAILED);
        EXPECT_EQ(headless_title(), "TEST");
    }
}

TEST(StartUp, EveryFailedAllocationStopsStartUpWithOneMessageAndNoFrame) {
    // Every allocation of start-up belongs to a step whose failure ends it:
    // the k-th failing allocation for every k up to the number a successful
    // start-up makes.
    int32_t failures = 0;
    int32_t successful_allocations = -1;
    for (int k = 1; k < 200 && successful_allocations < 0; ++k) {
        int live_before = live_block_count();
        int allocations_before = allocation_count();
        {
            fail_allocation_after(k);
            Session session;
            fail_allocation_after(0);
            if (session.start_up_result == 0) {
                successful_allocations = allocation_count() - allocations_before;
                continue;
            }
            ++failures;
            EXPECT_EQ(session.start_up_result, -1) << k;
            ASSERT_EQ(headless_messages().size(), 1u) << k;
            std::string text = headless_messages()[0].text;
            EXPECT_NE(text.find("byte"), std::string::npos) << k;
            EXPECT_EQ(session.frames(3), 0) << k;
            EXPECT_FALSE(headless_running()) << k;
            EXPECT_EQ(headless_exit_code(), EXIT_STARTUP_FAILED) << k;
        }
        // What start-up had built is all reclaimed by a shut-down.
        EXPECT_EQ(live_block_count(), live_before) << k;
    }
    EXPECT_EQ(failures, successful_allocations);
    // At least one allocation per status step and pool.
    EXPECT_GE(failures, 15);
}

TEST(ShutDown, ClosingTheWindowRunsShutDownOnceAndFreesEveryBlock) {
    int live = live_block_count();
    {
        Session session;
        session.square(100, 100, 200, 200);
        session.right_click(150, 150);
        session.frames(2);
        ASSERT_NE(selected_object(), -1);
        EXPECT_GT(live_block_count(), live);
        headless_queue_close();
        headless_queue_move(10, 10);  // nothing reaches a destroyed window
        EXPECT_EQ(session.frames(5), 0);
        EXPECT_FALSE(headless_running());
        EXPECT_EQ(headless_exit_code(), 0);
        EXPECT_EQ(headless_shut_down_count(), 1);
        EXPECT_EQ(live_block_count(), live);
        EXPECT_EQ(headless_page(0), nullptr);
        EXPECT_EQ(headless_class_cursor(), platform_current_cursor());
    }
}

TEST(ShutDown, EscapeQuitsWithExitCodeZeroWithoutShutDown) {
    Session session;
    session.frames(2);
    headless_queue_char('a');  // other characters do nothing
    EXPECT_EQ(session.frames(1), 1);
    headless_queue_char(CHAR_ESCAPE);
    headless_queue_move(5, 5);  // still handled: the quit is retrieved after it
    EXPECT_EQ(session.frames(10), 0);
    EXPECT_FALSE(headless_running());
    EXPECT_EQ(headless_exit_code(), 0);
    EXPECT_EQ(headless_shut_down_count(), 0);
    EXPECT_NE(headless_page(0), nullptr);  // nothing was released
    EXPECT_EQ(headless_frame_count(), 3);
}
