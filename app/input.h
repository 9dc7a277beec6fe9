// Mouse state sampled once per frame, button bits from the button messages,
// and the cursor slots whose only job is to give the window class its
// start-up cursor back at shut-down.
//
// Positions are the platform's screen coordinates; the outline tools convert
// them to client pixels themselves. press_button, release_button and
// update_mouse are declared in app/shell.h (the backend calls them).
#pragma once

#include <cstdint>

#include "app/shell.h"

inline constexpr int32_t CURSOR_SLOT_COUNT = 8;
inline constexpr intptr_t EMPTY_CURSOR_SLOT = -1;

struct MouseState {
    int32_t x, y;                    // latest sample
    int32_t previous_x, previous_y;  // the sample before it
    int32_t buttons;                 // BUTTON_RIGHT | BUTTON_LEFT, held now
    int32_t pressed_since_frame;     // buttons pressed since the last frame's input, held or not
};

// All zero: no buttons, both samples at (0, 0). Called at the start of
// start-up.
void reset_mouse();
const MouseState& mouse_state();

// The button bits the frame acts on: those held, and those pressed since the
// previous frame's input and already let go, so that a click made between two
// frames acts as if held for one frame. Stores the latest sample.
int32_t mouse_position(int32_t* x, int32_t* y);
// The frame has handled its input: presses made before it count no longer.
void end_frame_clicks();
void previous_mouse_position(int32_t* x, int32_t* y);
// Latest sample minus the one before it.
void mouse_delta(int32_t* dx, int32_t* dy);
// The shell's key query: the platform's (platform_key_state), noted by the
// session recorder, whose script must report the same.
uint16_t key_state(int virtual_key);

// Presses of the left button so far (wrapping): tells one stroke from the next
// even when a release and a press fall between the same two frames.
uint32_t left_button_presses();

// Start-up: eight empty slots, slot 0 then holds the current cursor. 0, or -1
// after the allocator's message.
int init_cursor_slots();
// Destroys the cursor of slot `index` and empties it. Returns index; -1 for an
// empty slot (or no slots); -3 for an index outside 0..7.
int32_t destroy_cursor_slot(int32_t index);
// Shut-down: the class cursor becomes slot 0's, slots 1..7 are destroyed and
// the slot array is freed.
void restore_cursor();
