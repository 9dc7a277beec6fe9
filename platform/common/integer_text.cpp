// Whole-string integer parsing with a range check.
#include "platform/common/integer_text.h"

#include <charconv>

bool parse_integer(std::string_view text, int64_t low, int64_t high, int64_t* value) {
    if (text.empty()) return false;
    int64_t parsed = 0;
    const char* end = text.data() + text.size();
    // from_chars takes no blanks, no '+' and no base prefix, and refuses values beyond 64
    // bits instead of clamping them.
    const auto [stop, error] = std::from_chars(text.data(), end, parsed, 10);
    if (error != std::errc() || stop != end || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

std::string integer_range(int64_t low, int64_t high) {
    return std::to_string(low) + ".." + std::to_string(high);
}
