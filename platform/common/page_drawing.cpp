// Line, flood fill and RGBA conversion for 16-bit 5:5:5 pages.
#include "platform/common/page_drawing.h"

#include <cstdlib>

namespace {

// Offset along the shorter axis of pixel i of a line that moves `minor`
// pixels on that axis over `steps` pixels on the longer one: i * minor /
// steps rounded to nearest. A half-way point goes to the pixel with the
// smaller page coordinate, as GDI's one-pixel lines do (their pixels are
// those whose diamond the line leaves, and a line through the point between
// two pixels takes the upper one, or the left one for a steep line): back
// towards the start while the minor coordinate grows, onwards while it
// falls. i < steps <= 2^32 and minor <= steps, so the product stays below
// 2^64 and 2 * remainder below 2^33.
uint64_t minor_offset(uint64_t i, uint64_t minor, uint64_t steps, bool minor_falls) {
    uint64_t product = i * minor;
    uint64_t offset = product / steps;
    uint64_t twice_remainder = 2 * (product % steps);
    if (twice_remainder > steps || (twice_remainder == steps && minor_falls)) ++offset;
    return offset;
}

}  // namespace

void draw_page_line(uint16_t* pixels, int32_t width, int32_t height, int32_t x0, int32_t y0,
                    int32_t x1, int32_t y1, uint16_t colour) {
    if (pixels == nullptr || width <= 0 || height <= 0) return;
    // Differences of two int32 need 33 bits.
    int64_t dx = int64_t(x1) - x0;
    int64_t dy = int64_t(y1) - y0;
    uint64_t adx = uint64_t(dx < 0 ? -dx : dx);
    uint64_t ady = uint64_t(dy < 0 ? -dy : dy);
    bool x_major = adx >= ady;
    uint64_t steps = x_major ? adx : ady;  // pixels drawn, the end point excluded
    if (steps == 0) return;
    uint64_t minor = x_major ? ady : adx;

    int64_t major_start = x_major ? x0 : y0;
    int64_t minor_start = x_major ? y0 : x0;
    int64_t major_sign = (x_major ? dx : dy) < 0 ? -1 : 1;
    int64_t minor_sign = (x_major ? dy : dx) < 0 ? -1 : 1;
    int64_t major_size = x_major ? width : height;
    int64_t minor_size = x_major ? height : width;

    // Only the steps whose major coordinate lies on the page are walked, so
    // the work is bounded by the page size whatever the end points.
    int64_t first = 0;
    int64_t last = int64_t(steps) - 1;
    if (major_sign > 0) {
        if (-major_start > first) first = -major_start;
        if (major_size - 1 - major_start < last) last = major_size - 1 - major_start;
    } else {
        if (major_start - (major_size - 1) > first) first = major_start - (major_size - 1);
        if (major_start < last) last = major_start;
    }
    for (int64_t i = first; i <= last; ++i) {
        int64_t major = major_start + major_sign * i;
        int64_t offset = int64_t(minor_offset(uint64_t(i), minor, steps, minor_sign < 0));
        int64_t minor_position = minor_start + minor_sign * offset;
        if (minor_position < 0 || minor_position >= minor_size) continue;
        int64_t x = x_major ? major : minor_position;
        int64_t y = x_major ? minor_position : major;
        pixels[y * width + x] = colour;
    }
}

int32_t flood_fill_page(uint16_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y,
                        uint16_t fill, uint16_t border) {
    if (pixels == nullptr || width <= 0 || height <= 0) return 0;
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    int64_t start = int64_t(y) * width + x;
    if (pixels[start] == border) return 0;

    // Every pixel is pushed at most once (it is marked when pushed), so the
    // explicit stack never needs more than one entry per pixel and the walk
    // never recurses. Marks, not colours, say what was reached: pixels that
    // already hold the fill colour are passed through like any other.
    size_t count = size_t(width) * size_t(height);
    auto* reached = static_cast<uint8_t*>(std::calloc(count, 1));
    auto* stack = static_cast<int64_t*>(std::malloc(count * sizeof(int64_t)));
    if (reached == nullptr || stack == nullptr) {
        std::free(reached);
        std::free(stack);
        return -1;
    }

    size_t depth = 0;
    int32_t painted = 0;
    stack[depth++] = start;
    reached[start] = 1;
    while (depth > 0) {
        int64_t at = stack[--depth];
        pixels[at] = fill;
        ++painted;
        int64_t column = at % width;
        int64_t neighbours[4] = {column > 0 ? at - 1 : -1, column + 1 < width ? at + 1 : -1,
                                 at >= width ? at - width : -1,
                                 at + width < int64_t(count) ? at + width : -1};
        for (int64_t next : neighbours) {
            if (next < 0 || reached[next] != 0 || pixels[next] == border) continue;
            reached[next] = 1;
            stack[depth++] = next;
        }
    }
    std::free(reached);
    std::free(stack);
    return painted;
}

Rgba8 pixel_to_rgba(uint16_t pixel) {
    // Five bits to eight: the top three bits repeated below, so 31 -> 255.
    auto widen = [](uint32_t five) { return uint8_t((five << 3) | (five >> 2)); };
    return {widen((pixel >> 10) & 31u), widen((pixel >> 5) & 31u), widen(pixel & 31u), 255};
}

void page_to_rgba(const uint16_t* pixels, int32_t count, uint8_t* rgba) {
    if (pixels == nullptr || rgba == nullptr) return;
    for (int32_t i = 0; i < count; ++i) {
        Rgba8 c = pixel_to_rgba(pixels[i]);
        rgba[4 * i + 0] = c.r;
        rgba[4 * i + 1] = c.g;
        rgba[4 * i + 2] = c.b;
        rgba[4 * i + 3] = c.a;
    }
}
