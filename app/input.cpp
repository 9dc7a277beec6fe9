// Mouse sampling, button bits with capture, and the cursor slots.
#include "app/input.h"

#include "app/platform.h"
#include "app/session_recorder.h"
#include "app/view_zoom.h"
#include "base/memory.h"

namespace {

struct InputState {
    MouseState mouse = {};
    uint32_t left_presses = 0;
    intptr_t* cursor_slots = nullptr;  // CURSOR_SLOT_COUNT handles, from alloc_zeroed
};

InputState input;

}  // namespace

void reset_mouse() {
    input.mouse = MouseState{};
    input.left_presses = 0;
}
const MouseState& mouse_state() {
    return input.mouse;
}

void update_mouse(int32_t x, int32_t y) {
    input.mouse.previous_x = input.mouse.x;
    input.mouse.previous_y = input.mouse.y;
    input.mouse.x = x;
    input.mouse.y = y;
}

int32_t mouse_position(int32_t* x, int32_t* y) {
    *x = input.mouse.x;
    *y = input.mouse.y;
    return input.mouse.buttons | input.mouse.pressed_since_frame;
}

void end_frame_clicks() {
    input.mouse.pressed_since_frame = 0;
}

void previous_mouse_position(int32_t* x, int32_t* y) {
    *x = input.mouse.previous_x;
    *y = input.mouse.previous_y;
}

void mouse_delta(int32_t* dx, int32_t* dy) {
    *dx = input.mouse.x - input.mouse.previous_x;
    *dy = input.mouse.y - input.mouse.previous_y;
}

uint16_t key_state(int virtual_key) {
    const uint16_t state = platform_key_state(virtual_key);
    record_key_query(virtual_key);
    return state;
}

uint32_t left_button_presses() {
    return input.left_presses;
}

// Capture is taken at every button-down and released at every button-up, even
// while the other button is still held.
void press_button(int32_t bit) {
    record_button(bit, true);
    platform_capture_mouse();
    input.mouse.buttons |= bit;
    input.mouse.pressed_since_frame |= bit;
    if ((bit & BUTTON_LEFT) != 0) ++input.left_presses;
}

void release_button(int32_t bit) {
    record_button(bit, false);
    platform_release_mouse();
    input.mouse.buttons &= ~bit;
}

void turn_wheel(int32_t notches) {
    if (notches == 0) return;
    // The recorder writes what the frame will use, within what a script may say.
    notches = notches < -MAX_WHEEL_NOTCHES  ? -MAX_WHEEL_NOTCHES
              : notches > MAX_WHEEL_NOTCHES ? MAX_WHEEL_NOTCHES
                                            : notches;
    record_wheel(notches);
    add_wheel_notches(notches);
}

int init_cursor_slots() {
    // A second start-up in the same process replaces the slots of the first.
    free_block(input.cursor_slots);
    input.cursor_slots =
        static_cast<intptr_t*>(alloc_zeroed(int32_t(CURSOR_SLOT_COUNT * sizeof(intptr_t))));
    if (input.cursor_slots == nullptr) return -1;
    for (int32_t i = 0; i < CURSOR_SLOT_COUNT; ++i)
        input.cursor_slots[i] = EMPTY_CURSOR_SLOT;
    input.cursor_slots[0] = platform_current_cursor();
    return 0;
}

int32_t destroy_cursor_slot(int32_t index) {
    if (index < 0 || index >= CURSOR_SLOT_COUNT) return -3;
    if (input.cursor_slots == nullptr || input.cursor_slots[index] == EMPTY_CURSOR_SLOT) return -1;
    platform_destroy_cursor(input.cursor_slots[index]);
    input.cursor_slots[index] = EMPTY_CURSOR_SLOT;
    return index;
}

void restore_cursor() {
    if (input.cursor_slots != nullptr) {
        platform_set_class_cursor(input.cursor_slots[0]);
        for (int32_t i = 1; i < CURSOR_SLOT_COUNT; ++i)
            destroy_cursor_slot(i);
    }
    free_block(input.cursor_slots);
    input.cursor_slots = nullptr;
}
