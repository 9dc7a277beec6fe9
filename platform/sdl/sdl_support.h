// The parts of the SDL backend that need no SDL: the Windows-style key latch behind the
// asynchronous key query, and the conversion of code page 932 message texts to UTF-8.
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

// Converts the terminated code page 932 `text` to UTF-8 in `out`, which holds `out_size`
// bytes terminator included, and returns the length written. Bytes that are not valid code
// page 932 become '?'; text that does not fit is cut at a character boundary. With no
// converter on the system, ASCII passes through and every other byte becomes '?'. A null
// text converts to the empty string; with no room at all nothing is written and 0 returned.
int32_t cp932_to_utf8_text(const char* text, char* out, int32_t out_size);
