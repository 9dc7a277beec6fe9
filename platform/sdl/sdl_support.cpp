// Key latches for the SDL backend.
#include "platform/sdl/sdl_support.h"

namespace {

constexpr uint16_t KEY_DOWN_BIT = 0x8000;
constexpr uint16_t KEY_PRESSED_BIT = 0x0001;

bool valid_key(int virtual_key) {
    return virtual_key >= 0 && virtual_key < VIRTUAL_KEY_COUNT;
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
