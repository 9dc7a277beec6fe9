// The one parser of integers given on a command line or in a script.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Whether `text` is, as a whole, a decimal integer (an optional '-' and digits, nothing
// before or after) within low..high; the value in *value when it is. Anything else (blanks,
// '+', exponents, trailing letters, a value out of range or beyond 64 bits) is refused and
// leaves *value as it was.
bool parse_integer(std::string_view text, int64_t low, int64_t high, int64_t* value);

// "LOW..HIGH", for the message that names the accepted range.
std::string integer_range(int64_t low, int64_t high);
