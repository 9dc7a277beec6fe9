// Pointer buttons and keys of the browser backend, turned into the shell's button calls and the
// Windows-style key query.
//
// A browser delivers events whenever it likes and runs frames only from its animation-frame
// callback, which it may slow down at will. So that no input is lost between two frames, every
// press reaches at least one frame: a button or key let go before a frame has run since its
// press stays down until that frame has run. A touch has no hover, so its first contact waits
// one frame before the button goes down: that frame samples where the finger came down, and
// the stroke starts there rather than where the previous touch ended.
//
// The page's event handlers call web_input_pointer and web_input_key;
// the frame loop reads web_input_position before each frame and calls web_input_frame_done
// after it. Everything runs on the page's one thread.
#pragma once

#include <cstdint>

// Every button and key up, position (0, 0); the shell is not told anything.
void web_input_reset();

// A pointer event at canvas pixel (x, y) (outside the canvas while the pointer is captured)
// with the shell's button bits (BUTTON_LEFT, BUTTON_RIGHT) that the pointer now holds; other
// bits are ignored. `hover_less`: the pointer cannot hover (touch).
void web_input_pointer(int32_t x, int32_t y, int32_t held_buttons, bool hover_less);
// Position of the latest pointer event.
void web_input_position(int32_t* x, int32_t* y);

// A key went down or up (Windows virtual key 0..255; others are ignored). Auto-repeated
// key-downs of a held key change nothing.
void web_input_key(int virtual_key, bool down);
// The asynchronous key query: bit 15 while the key counts as down, bit 0 when it was pressed
// since the previous query of that key.
uint16_t web_input_key_state(int virtual_key);
// The same without clearing the pressed bit, for the session recorder.
uint16_t web_input_peek_key_state(int virtual_key);

// After every frame: presses and releases that were waiting for it take effect.
void web_input_frame_done();
