// Line, flood fill and RGBA conversion for 16-bit 5:5:5 pages.
#include "platform/common/page_drawing.h"

#include "app/line_walk.h"

#include <cstdlib>

void draw_page_line(uint16_t* pixels, int32_t width, int32_t height, int32_t x0, int32_t y0,
                    int32_t x1, int32_t y1, uint16_t colour) {
    if (pixels == nullptr) return;
    walk_line(x0, y0, x1, y1, width, height,
              [&](int32_t x, int32_t y) { pixels[int64_t(y) * width + x] = colour; });
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
