// The part of the SDL backend that needs no SDL: the Windows-style key latch behind the
// asynchronous key query. (Message texts are converted by platform/common/text_encoding.h.)
#pragma once

#include <cstdint>

// Virtual key codes 0..255, each with the "pressed since the last query" bit that the
// Windows key query keeps. One record for the whole keyboard, owned by the backend.
inline constexpr int VIRTUAL_KEY_COUNT = 256;

struct KeyLatches {
    bool pressed_since_query[VIRTUAL_KEY_COUNT];
};

// Called for every key-down event (not for auto-repeats). Keys outside 0..255 are ignored.
void latch_key_press(KeyLatches* latches, int virtual_key);

// The key query: bit 15 set when `down_now`, bit 0 set when the key was pressed since the
// previous query of that key, which clears the latch. Keys outside 0..255 read as 0.
uint16_t query_key_latch(KeyLatches* latches, int virtual_key, bool down_now);
