// Frame pacing, the frame-rate title and the mouse sampling of the frame cycle.
#include <gtest/gtest.h>

#include <vector>

#include "app/input.h"
#include "session/session_fixture.h"

TEST(FramePacing, FramesStartExactlyTheIntervalApart) {
    HeadlessConfig config;
    config.start_tick = 1000;
    Session session(config);
    session.frames(1);
    EXPECT_EQ(frame_state().last_frame_tick, 1000u);  // 1000 ticks since tick 0 already
    EXPECT_EQ(frame_state().last_frame_interval, 1000u);
    for (uint32_t frame = 1; frame <= 5; ++frame) {
        session.frames(1);
        EXPECT_EQ(frame_state().last_frame_interval, 20u);
        EXPECT_EQ(frame_state().last_frame_tick, 1000u + 20u * frame);
    }
    EXPECT_FALSE(headless_window_context_held());  // released at every presentation
}

TEST(FramePacing, TheTickWrapIsMeasuredModulo32Bits) {
    HeadlessConfig config;
    config.start_tick = 0xFFFFFFD0u;
    config.tick_step = 3;
    Session session(config);
    std::vector<uint32_t> starts;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(session.frames(1), 1);
        starts.push_back(frame_state().last_frame_tick);
    }
    // Readings 3 ticks apart: each frame starts at the first reading at least
    // 20 ticks after the previous start, right across the wrap.
    const std::vector<uint32_t> expected = {0xFFFFFFD0u, 0xFFFFFFE5u, 0xFFFFFFFAu, 0x0000000Fu,
                                            0x00000024u};
    EXPECT_EQ(starts, expected);
    EXPECT_EQ(frame_state().last_frame_interval, 21u);
}

TEST(FrameRate, TitleShowsTheHalvedRunningAverage) {
    {
        HeadlessConfig config;
        config.start_tick = 0xFFFFFFF0u;  // the first interval is nearly 2^32 ticks
        Session session(config);
        session.frames(1);
        // 20 + 0xFFFFFFF0 does not fit 32 bits; the wide average keeps it, so
        // the rate is 0 instead of a wrapped, wildly high value.
        EXPECT_EQ(frame_state().frame_time_average, (20ull + 0xFFFFFFF0ull) >> 1);
        EXPECT_EQ(headless_title(), "fps = 0");
        session.frames(40);
        EXPECT_EQ(headless_title(), "fps = 50");
        EXPECT_EQ(frame_state().frame_time_average, 20u);
    }
    {
        HeadlessConfig config;
        config.start_tick = 60;
        Session session(config);
        session.frames(1);
        EXPECT_EQ(headless_title(), "fps = 25");  // (20 + 60) / 2 = 40 ms
    }
}

TEST(FrameInput, MouseIsSampledOncePerFrameFromTheLastMessage) {
    Session session;
    session.hover(50, 60);
    session.frames(1);  // no message in between: no movement
    int32_t dx = -1;
    int32_t dy = -1;
    mouse_delta(&dx, &dy);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);

    headless_queue_move(70, 65);
    headless_queue_move(90, 40);  // only the last position counts
    session.frames(1);
    mouse_delta(&dx, &dy);
    EXPECT_EQ(dx, 40);
    EXPECT_EQ(dy, -20);
    int32_t x = 0;
    int32_t y = 0;
    previous_mouse_position(&x, &y);
    // Screen positions: the client origin lies at (3, 22) on the screen.
    EXPECT_EQ(x, 53);
    EXPECT_EQ(y, 82);
    EXPECT_EQ(mouse_position(&x, &y), 0);
    EXPECT_EQ(x, 93);
    EXPECT_EQ(y, 62);
}

TEST(FrameInput, ButtonBitsAndCapture) {
    Session session;
    headless_queue_button_down(BUTTON_RIGHT);
    headless_queue_button_down(BUTTON_LEFT);
    headless_drain_events();
    EXPECT_EQ(mouse_state().buttons, 3);
    EXPECT_TRUE(headless_mouse_captured());
    headless_queue_button_up(BUTTON_LEFT);
    headless_drain_events();
    EXPECT_EQ(mouse_state().buttons, BUTTON_RIGHT);
    EXPECT_FALSE(headless_mouse_captured());  // gone although the right is still held
    headless_queue_button_up(BUTTON_RIGHT);
    headless_drain_events();
    EXPECT_EQ(mouse_state().buttons, 0);
}

TEST(FrameInput, CursorSlots) {
    Session session;
    EXPECT_EQ(destroy_cursor_slot(8), -3);
    EXPECT_EQ(destroy_cursor_slot(-1), -3);
    EXPECT_EQ(destroy_cursor_slot(1), -1);  // empty
    headless_queue_close();
    session.frames(1);
    // Shut-down gave the class its start-up cursor back and freed the slots.
    EXPECT_EQ(headless_class_cursor(), platform_current_cursor());
    EXPECT_EQ(destroy_cursor_slot(0), -1);
}

TEST(FrameInput, IdleDrawingFrameChangesNothing) {
    Session session;
    session.square(20, 20, 60, 60);
    std::vector<uint16_t> before(headless_page(0), headless_page(0) + 514 * 483);
    session.hover(300, 300);  // moving without a button draws nothing
    session.frames(3);
    std::vector<uint16_t> after(headless_page(0), headless_page(0) + 514 * 483);
    EXPECT_TRUE(before == after);
    EXPECT_EQ(selected_object(), -1);
}

// A button pressed and released between two frames acts as if held for the one frame after:
// the right button builds, the left draws that frame's segment; the frame after sees nothing.
TEST(FrameInput, APressAndReleaseBetweenTwoFramesActsForOneFrame) {
    Session session;
    session.square(100, 100, 200, 200);
    session.hover(150, 150);
    headless_queue_button_down(BUTTON_RIGHT);
    headless_queue_button_up(BUTTON_RIGHT);
    session.frames(1);
    EXPECT_EQ(selected_object(), 0);
    headless_queue_key_down(KEY_F12);
    session.frames(1);
    headless_queue_key_up(KEY_F12);
    EXPECT_EQ(selected_object(), -1);

    session.hover(20, 300);
    headless_queue_move(60, 300);
    headless_queue_button_down(BUTTON_LEFT);
    headless_queue_button_up(BUTTON_LEFT);
    session.frames(1);
    EXPECT_EQ(Session::pixel(20, 300), 0);  // the segment from the previous sample
    EXPECT_EQ(Session::pixel(59, 300), 0);
    int32_t x = 0;
    int32_t y = 0;
    EXPECT_EQ(mouse_position(&x, &y), 0);
    session.hover(90, 300);  // nothing held: no segment
    EXPECT_EQ(Session::pixel(75, 300), BLUE);
}
