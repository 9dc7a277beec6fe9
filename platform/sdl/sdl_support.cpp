// Key latches and picture placement for the SDL backend.
#include "platform/sdl/sdl_support.h"

#include <algorithm>

namespace {

constexpr uint16_t KEY_DOWN_BIT = 0x8000;
constexpr uint16_t KEY_PRESSED_BIT = 0x0001;

bool valid_key(int virtual_key) {
    return virtual_key >= 0 && virtual_key < VIRTUAL_KEY_COUNT;
}

// Division rounding towards minus infinity; `divisor` is positive.
int64_t floor_divide(int64_t value, int64_t divisor) {
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
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

PictureView fit_picture(int32_t output_width, int32_t output_height, int32_t picture_width,
                        int32_t picture_height) {
    int32_t factor = 1;
    if (picture_width > 0 && picture_height > 0)
        factor =
            std::max(1, std::min(output_width / picture_width, output_height / picture_height));
    // Halves of the room left (negative when there is none), rounded down: the odd pixel
    // goes to the right and bottom bars.
    int32_t left =
        int32_t(floor_divide(int64_t(output_width) - int64_t(picture_width) * factor, 2));
    int32_t top =
        int32_t(floor_divide(int64_t(output_height) - int64_t(picture_height) * factor, 2));
    return {factor, left, top};
}

int32_t starting_scale(int32_t usable_width, int32_t usable_height, int32_t picture_width,
                       int32_t picture_height) {
    if (picture_width <= 0 || picture_height <= 0) return 1;
    return std::max(1,
                    std::min(usable_width / 2 / picture_width, usable_height / 2 / picture_height));
}

int32_t fitting_scale(int32_t usable_width, int32_t usable_height, int32_t picture_width,
                      int32_t picture_height) {
    if (picture_width <= 0 || picture_height <= 0) return 1;
    return std::max(1, std::min(usable_width / picture_width, usable_height / picture_height));
}

int32_t window_to_picture(int32_t position, int32_t window_size, int32_t output_size,
                          const PictureView& view, bool vertical, int32_t picture_size) {
    // A window without a size (minimised) shows nothing: positions pass as they are.
    if (window_size <= 0 || output_size <= 0) return position;
    const int64_t factor = std::max(1, view.factor);
    const int64_t offset = vertical ? view.top : view.left;
    // Output pixels of the distance beyond an edge, in whole picture pixels.
    auto beyond = [&](int64_t units) {
        return floor_divide(units * output_size, int64_t(window_size) * factor);
    };
    int64_t result;
    if (position < 0) {
        result = beyond(position);
    } else if (position >= window_size) {
        result = int64_t(picture_size) + beyond(int64_t(position) - window_size);
    } else {
        // The output pixel at the window unit's top-left corner.
        const int64_t output = int64_t(position) * output_size / window_size;
        result = std::clamp<int64_t>(floor_divide(output - offset, factor), 0,
                                     std::max(0, picture_size - 1));
    }
    return int32_t(std::clamp<int64_t>(result, INT32_MIN, INT32_MAX));
}
