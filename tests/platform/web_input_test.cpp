// Browser input rules: presses reach a frame, touches sample their position first.
#include "platform/web/web_input.h"

#include <gtest/gtest.h>

#include "app/input.h"
#include "app/platform.h"
#include "platform/headless/headless.h"

namespace {

int32_t shell_buttons() {
    return mouse_state().buttons;
}

struct WebInput : testing::Test {
    void SetUp() override {
        reset_mouse();
        web_input_reset();
    }
};

}  // namespace

TEST_F(WebInput, MouseButtonsReachTheShellAndEveryPressReachesAFrame) {
    // A held button goes down and up at once once a frame has seen it.
    web_input_pointer(10, 20, BUTTON_LEFT, false);
    EXPECT_EQ(shell_buttons(), BUTTON_LEFT);
    EXPECT_TRUE(headless_mouse_captured());
    web_input_frame_done();
    web_input_pointer(30, 40, BUTTON_LEFT | BUTTON_RIGHT, false);  // chord: right joins
    EXPECT_EQ(shell_buttons(), BUTTON_LEFT | BUTTON_RIGHT);
    web_input_frame_done();
    web_input_pointer(30, 40, BUTTON_RIGHT, false);
    EXPECT_EQ(shell_buttons(), BUTTON_RIGHT);
    int32_t x = 0;
    int32_t y = 0;
    web_input_position(&x, &y);
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, 40);

    // A click between two frames stays down until a frame has run, then goes up.
    web_input_pointer(30, 40, 0, false);
    web_input_frame_done();
    web_input_pointer(5, 5, BUTTON_RIGHT, false);
    web_input_pointer(5, 5, 0, false);
    EXPECT_EQ(shell_buttons(), BUTTON_RIGHT);
    web_input_frame_done();
    EXPECT_EQ(shell_buttons(), 0);
    EXPECT_FALSE(headless_mouse_captured());
    // Bits the shell does not know are ignored.
    web_input_pointer(5, 5, 4, false);
    EXPECT_EQ(shell_buttons(), 0);
}

TEST_F(WebInput, TouchWaitsOneFrameToSampleWhereItCameDown) {
    web_input_pointer(100, 100, BUTTON_LEFT, true);
    EXPECT_EQ(shell_buttons(), 0);
    web_input_frame_done();  // this frame sampled (100, 100) with no button
    EXPECT_EQ(shell_buttons(), BUTTON_LEFT);
    web_input_pointer(120, 100, BUTTON_LEFT, true);  // dragging: nothing waits
    web_input_frame_done();
    web_input_pointer(120, 100, 0, true);
    EXPECT_EQ(shell_buttons(), 0);

    // A tap shorter than a frame: sampled, pressed for one frame, released.
    web_input_pointer(50, 60, BUTTON_RIGHT, true);
    web_input_pointer(50, 60, 0, true);
    EXPECT_EQ(shell_buttons(), 0);
    web_input_frame_done();
    EXPECT_EQ(shell_buttons(), BUTTON_RIGHT);
    web_input_frame_done();
    EXPECT_EQ(shell_buttons(), 0);
}

TEST_F(WebInput, KeysAnswerTheAsynchronousQuery) {
    // Held across frames: down, pressed bit once.
    web_input_key(KEY_Z, true);
    EXPECT_EQ(web_input_key_state(KEY_Z), 0x8001);
    web_input_key(KEY_Z, true);  // auto-repeat
    web_input_frame_done();
    EXPECT_EQ(web_input_key_state(KEY_Z), 0x8000);
    web_input_key(KEY_Z, false);
    EXPECT_EQ(web_input_key_state(KEY_Z), 0);

    // Tapped between two frames: down for the next frame, then up.
    web_input_key(KEY_F12, true);
    web_input_key(KEY_F12, false);
    EXPECT_EQ(web_input_key_state(KEY_F12), 0x8001);
    EXPECT_EQ(web_input_key_state(KEY_F12), 0x8000);
    web_input_frame_done();
    EXPECT_EQ(web_input_key_state(KEY_F12), 0);

    // Ctrl held over a frame, then Z tapped and Ctrl let go before the next frame: that frame
    // sees Ctrl+Z.
    web_input_key(KEY_CONTROL, true);
    web_input_frame_done();
    web_input_key(KEY_Z, true);
    web_input_key(KEY_Z, false);
    web_input_key(KEY_CONTROL, false);
    EXPECT_EQ(web_input_peek_key_state(KEY_CONTROL) & 0x8000, 0x8000);
    EXPECT_EQ(web_input_peek_key_state(KEY_Z), 0x8001);
    web_input_frame_done();
    EXPECT_EQ(web_input_peek_key_state(KEY_CONTROL) & 0x8000, 0);

    web_input_key(-1, true);
    web_input_key(256, true);
    EXPECT_EQ(web_input_key_state(-1), 0);
    EXPECT_EQ(web_input_key_state(256), 0);
}
