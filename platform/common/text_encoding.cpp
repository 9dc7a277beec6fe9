// Code page 932 to UTF-8 through iconv, one character at a time.
#include "platform/common/text_encoding.h"

#include <iconv.h>

#include <cstdio>
#include <cstring>

namespace {

iconv_t open_converter() {
    iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == iconv_t(-1)) converter = iconv_open("UTF-8", "SHIFT_JIS");
    return converter;
}

// Converts the character of `length` bytes at `text` and appends it; false when those bytes
// are not one whole character.
bool append_character(iconv_t converter, const char* text, size_t length, std::string* out) {
    char in[2] = {text[0], length == 2 ? text[1] : '\0'};
    char converted[16];
    char* in_pointer = in;
    char* out_pointer = converted;
    size_t in_left = length;
    size_t out_left = sizeof converted;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);  // no shift state carried over
    if (iconv(converter, &in_pointer, &in_left, &out_pointer, &out_left) == size_t(-1) ||
        in_left != 0) {
        return false;
    }
    out->append(converted, size_t(out_pointer - converted));
    return true;
}

void append_invalid(uint8_t byte, InvalidByte invalid, std::string* out) {
    if (invalid == InvalidByte::Question) {
        *out += '?';
        return;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", unsigned(byte));
    *out += hex;
}

// The start of the UTF-8 character holding byte `at`, for cutting between characters.
size_t character_start(const std::string& text, size_t at) {
    while (at > 0 && (uint8_t(text[at]) & 0xC0) == 0x80)
        --at;
    return at;
}

}  // namespace

std::string cp932_to_utf8(std::string_view text, InvalidByte invalid) {
    std::string result;
    const iconv_t converter = open_converter();
    size_t at = 0;
    while (at < text.size()) {
        const uint8_t byte = uint8_t(text[at]);
        size_t length = 0;
        if (converter == iconv_t(-1)) {
            length = byte < 0x80 ? 1 : 0;
            if (length == 1) result += char(byte);
        } else {
            // A lead byte alone or, where the converter wants it, with one trail byte.
            for (size_t n = 1; n <= 2 && at + n <= text.size() && length == 0; ++n) {
                if (append_character(converter, text.data() + at, n, &result)) length = n;
            }
        }
        if (length == 0) {
            append_invalid(byte, invalid, &result);
            length = 1;
        }
        at += length;
    }
    if (converter != iconv_t(-1)) iconv_close(converter);
    return result;
}

int32_t cp932_to_utf8_text(const char* text, char* out, int32_t out_size) {
    if (out == nullptr || out_size <= 0) return 0;
    const std::string converted =
        text != nullptr ? cp932_to_utf8(text, InvalidByte::Question) : std::string();
    size_t length = converted.size();
    const size_t room = size_t(out_size) - 1;  // one byte stays for the terminator
    if (length > room) length = character_start(converted, room);
    std::memcpy(out, converted.data(), length);
    out[length] = '\0';
    return int32_t(length);
}
