// Key latches and message text conversion for the SDL backend.
#include "platform/sdl/sdl_support.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace {

constexpr uint16_t KEY_DOWN_BIT = 0x8000;
constexpr uint16_t KEY_PRESSED_BIT = 0x0001;

bool valid_key(int virtual_key) {
    return virtual_key >= 0 && virtual_key < VIRTUAL_KEY_COUNT;
}

// Without a converter: ASCII as it is, every other byte as '?'.
int32_t copy_ascii(const char* text, char* out, int32_t out_size) {
    int32_t length = 0;
    for (; text[length] != '\0' && length < out_size - 1; ++length) {
        const unsigned char byte = static_cast<unsigned char>(text[length]);
        out[length] = byte < 0x80 ? char(byte) : '?';
    }
    out[length] = '\0';
    return length;
}

}  // namespace

void latch_key_press(KeyLatches* latches, int virtual_key) {
    if (valid_key(virtual_key)) latches->pressed_since_query[virtual_key] = true;
}

uint16_t query_key_latch(KeyLatches* latches, int virtual_key, bool down_now) {
    if (!valid_key(virtual_key)) return 0;
    uint16_t result = down_now ? KEY_DOWN_BIT : 0;
    if (latches->pressed_since_query[virtual_key]) result |= KEY_PRESSED_BIT;
    latches->pressed_since_query[virtual_key] = false;
    return result;
}

int32_t cp932_to_utf8_text(const char* text, char* out, int32_t out_size) {
    if (out == nullptr || out_size <= 0) return 0;
    if (text == nullptr) {
        out[0] = '\0';
        return 0;
    }
    iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == iconv_t(-1)) return copy_ascii(text, out, out_size);

    char* in = const_cast<char*>(text);  // iconv's interface is not const-correct
    size_t in_left = std::strlen(text);
    char* written = out;
    size_t out_left = size_t(out_size) - 1;  // one byte stays for the terminator
    while (in_left > 0) {
        if (iconv(converter, &in, &in_left, &written, &out_left) != size_t(-1)) break;
        // Out of room: iconv stopped after the last whole character that fitted.
        if (errno == E2BIG || out_left == 0) break;
        // An invalid or cut-off sequence: one '?' for its first byte, then go on.
        *written++ = '?';
        --out_left;
        ++in;
        --in_left;
    }
    iconv_close(converter);
    *written = '\0';
    return int32_t(written - out);
}
