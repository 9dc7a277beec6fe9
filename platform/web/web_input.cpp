// Browser input: button and key phases so that every press reaches a frame.
#include "platform/web/web_input.h"

#include "app/shell.h"

namespace {

constexpr int KEY_COUNT = 256;
constexpr uint16_t KEY_DOWN_BIT = 0x8000;
constexpr uint16_t KEY_PRESSED_BIT = 0x0001;
constexpr int32_t BUTTON_BITS[] = {BUTTON_LEFT, BUTTON_RIGHT};
constexpr int BUTTON_COUNT = 2;

// What the shell has been told. Held is what the device holds now; the two can differ while a
// press or release waits for a frame.
enum class Phase : uint8_t {
    Up,
    WaitingForSample,  // pressed, told to the shell after the next frame (touch)
    Fresh,             // down for the shell, no frame has run since
    Down,              // down for the shell and seen by a frame
};

struct Control {
    Phase phase;
    bool held;
    bool pressed_since_query;  // keys only
};

struct WebInputState {
    int32_t x, y;
    Control buttons[BUTTON_COUNT];
    Control keys[KEY_COUNT];
};

WebInputState input;

bool valid_key(int virtual_key) {
    return virtual_key >= 0 && virtual_key < KEY_COUNT;
}

bool a_key_press_waits() {
    for (const Control& key : input.keys)
        if (key.phase == Phase::Fresh) return true;
    return false;
}

}  // namespace

void web_input_reset() {
    input = WebInputState{};
}

void web_input_pointer(int32_t x, int32_t y, int32_t held_buttons, bool hover_less) {
    input.x = x;
    input.y = y;
    bool new_contact = true;
    for (const Control& button : input.buttons)
        if (button.phase != Phase::Up) new_contact = false;
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        Control& button = input.buttons[i];
        const bool held = (held_buttons & BUTTON_BITS[i]) != 0;
        if (held == button.held) continue;
        button.held = held;
        if (held && button.phase == Phase::Up) {
            if (hover_less && new_contact) {
                button.phase = Phase::WaitingForSample;
            } else {
                press_button(BUTTON_BITS[i]);
                button.phase = Phase::Fresh;
            }
        } else if (!held && button.phase == Phase::Down) {
            release_button(BUTTON_BITS[i]);
            button.phase = Phase::Up;
        }
        // A release while the press still waits for a frame is done by web_input_frame_done.
    }
}

void web_input_position(int32_t* x, int32_t* y) {
    *x = input.x;
    *y = input.y;
}

void web_input_key(int virtual_key, bool down) {
    if (!valid_key(virtual_key)) return;
    Control& key = input.keys[virtual_key];
    if (down == key.held) return;
    key.held = down;
    if (down) {
        key.pressed_since_query = true;
        if (key.phase == Phase::Up) key.phase = Phase::Fresh;
    } else if (key.phase == Phase::Down) {
        // Let go while another key's press still waits for a frame, it was held when that key
        // went down (Ctrl of a quick Ctrl+Z): the frame sees the two together.
        key.phase = a_key_press_waits() ? Phase::Fresh : Phase::Up;
    }
}

uint16_t web_input_peek_key_state(int virtual_key) {
    if (!valid_key(virtual_key)) return 0;
    const Control& key = input.keys[virtual_key];
    uint16_t state = key.phase != Phase::Up ? KEY_DOWN_BIT : 0;
    if (key.pressed_since_query) state |= KEY_PRESSED_BIT;
    return state;
}

uint16_t web_input_key_state(int virtual_key) {
    const uint16_t state = web_input_peek_key_state(virtual_key);
    if (valid_key(virtual_key)) input.keys[virtual_key].pressed_since_query = false;
    return state;
}

void web_input_frame_done() {
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        Control& button = input.buttons[i];
        if (button.phase == Phase::Fresh) {
            button.phase = Phase::Down;
            if (!button.held) {
                release_button(BUTTON_BITS[i]);
                button.phase = Phase::Up;
            }
        } else if (button.phase == Phase::WaitingForSample) {
            // Down from now on; if the touch has already ended, it goes up after the next frame.
            press_button(BUTTON_BITS[i]);
            button.phase = Phase::Fresh;
        }
    }
    for (Control& key : input.keys) {
        if (key.phase != Phase::Fresh) continue;
        key.phase = key.held ? Phase::Down : Phase::Up;
    }
}
