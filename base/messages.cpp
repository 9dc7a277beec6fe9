// The English line of a shown error text: found by matching the text against the Japanese
// formats, the one number of the allocation text read back from it.
#include "base/messages.h"

#include <cstdio>
#include <cstring>

namespace {

// Whether `shown` is `format` with its one "%d" (if it has one) replaced by a decimal integer,
// which goes to `number`.
bool matches(const char* format, const char* shown, int32_t* number) {
    const char* field = std::strstr(format, "%d");
    if (field == nullptr) return std::strcmp(format, shown) == 0;
    const size_t prefix = size_t(field - format);
    if (std::strncmp(format, shown, prefix) != 0) return false;
    const char* digits = shown + prefix;
    const char* p = digits + (*digits == '-');
    const char* first_digit = p;
    // The number was printed from an int32_t: more digits, or a larger value, is another text.
    int64_t value = 0;
    while (*p >= '0' && *p <= '9' && p - first_digit < 10)
        value = value * 10 + (*p++ - '0');
    if (p == first_digit || (*p >= '0' && *p <= '9')) return false;
    if (*digits == '-') value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return false;
    if (std::strcmp(p, field + 2) != 0) return false;
    *number = int32_t(value);
    return true;
}

}  // namespace

int32_t english_line(const char* shown, char* out, int32_t out_size) {
    if (out == nullptr || out_size <= 0) return 0;
    out[0] = '\0';
    if (shown == nullptr) return 0;
    for (const MessageText& message : MESSAGE_TEXTS) {
        int32_t number = 0;
        if (!matches(message.japanese, shown, &number)) continue;
        // Only the English formats above are used here, each with at most the one "%d".
        const int written = std::strstr(message.english, "%d") != nullptr
                                ? std::snprintf(out, size_t(out_size), message.english, int(number))
                                : std::snprintf(out, size_t(out_size), "%s", message.english);
        if (written < 0) return 0;
        return written < out_size ? written : out_size - 1;
    }
    return 0;
}
