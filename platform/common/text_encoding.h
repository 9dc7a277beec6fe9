// Code page 932, the encoding of the program's error texts, to UTF-8 for systems that show
// or print UTF-8: one converter for the SDL message box, the replay tool's log and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What a byte that starts no valid character becomes.
enum class InvalidByte { Question, Hex };  // '?', or "\xNN" with the byte in hex

// Converts character by character through iconv (CP932, or SHIFT_JIS where the system has no
// CP932), so a bad byte costs only itself. With no converter on the system, ASCII passes
// through and every other byte is replaced.
std::string cp932_to_utf8(std::string_view text, InvalidByte invalid = InvalidByte::Hex);

// The same, with '?' for bad bytes, into `out`, which holds `out_size` bytes terminator
// included; returns the length written. Text that does not fit is cut at a character
// boundary. A null text converts to the empty string; with no room at all nothing is written
// and 0 returned.
int32_t cp932_to_utf8_text(const char* text, char* out, int32_t out_size);
