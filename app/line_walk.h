// The one-pixel line walk shared by the pages' pen, the colour strokes shown
// over the picture and the paintings drawn into their parts' textures.
#pragma once

#include <cstdint>

namespace line_detail {

// Offset along the shorter axis of pixel i of a line that moves `minor` pixels
// on it over `steps` pixels on the longer one: i * minor / steps rounded to
// nearest. A half-way point goes to the pixel with the smaller page
// coordinate, as GDI's one-pixel lines do (their pixels are those whose
// diamond the line leaves, and a line through the point between two pixels
// takes the upper one, or the left one for a steep line): back towards the
// start while the minor coordinate grows, onwards while it falls.
// i < steps <= 2^32 and minor <= steps, so the product stays below 2^64 and
// 2 * remainder below 2^33.
inline uint64_t minor_offset(uint64_t i, uint64_t minor, uint64_t steps, bool minor_falls) {
    const uint64_t product = i * minor;
    uint64_t offset = product / steps;
    const uint64_t twice_remainder = 2 * (product % steps);
    if (twice_remainder > steps || (twice_remainder == steps && minor_falls)) ++offset;
    return offset;
}

}  // namespace line_detail

// Calls visit(x, y) for each pixel of the one-pixel line from (x0, y0) to
// (x1, y1), the end point excluded, that lies in 0..width-1 x 0..height-1.
// Only the steps whose longer-axis coordinate lies inside are walked, so the
// work is bounded by the rectangle whatever the end points (differences of two
// int32 need 33 bits, hence the 64-bit arithmetic).
template <typename Visit>
void walk_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t width, int32_t height,
               Visit visit) {
    if (width <= 0 || height <= 0) return;
    const int64_t dx = int64_t(x1) - x0;
    const int64_t dy = int64_t(y1) - y0;
    const uint64_t adx = uint64_t(dx < 0 ? -dx : dx);
    const uint64_t ady = uint64_t(dy < 0 ? -dy : dy);
    const bool x_major = adx >= ady;
    const uint64_t steps = x_major ? adx : ady;
    if (steps == 0) return;
    const uint64_t minor = x_major ? ady : adx;
    const int64_t major_start = x_major ? x0 : y0;
    const int64_t minor_start = x_major ? y0 : x0;
    const int64_t major_sign = (x_major ? dx : dy) < 0 ? -1 : 1;
    const int64_t minor_sign = (x_major ? dy : dx) < 0 ? -1 : 1;
    const int64_t major_size = x_major ? width : height;
    const int64_t minor_size = x_major ? height : width;
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
        const int64_t major = major_start + major_sign * i;
        const int64_t minor_at =
            minor_start + minor_sign * int64_t(line_detail::minor_offset(uint64_t(i), minor, steps,
                                                                         minor_sign < 0));
        if (minor_at < 0 || minor_at >= minor_size) continue;
        visit(int32_t(x_major ? major : minor_at), int32_t(x_major ? minor_at : major));
    }
}
