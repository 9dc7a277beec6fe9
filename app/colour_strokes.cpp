// Colour strokes shown over the picture and kept as a part's painting.
#include "app/colour_strokes.h"

#include <climits>
#include <cstring>

#include "app/part_colours.h"
#include "app/screen.h"

namespace {

// The current page's shown rows while colour strokes are drawn over them.
struct ShownPicture {
    std::vector<uint16_t> saved;
    int32_t page = -1;  // the page they were drawn over; -1: nothing to put back
};
ShownPicture shown;

// Offset along the shorter axis of pixel i of a line that moves `minor` pixels
// on it over `steps` pixels on the longer one, rounded to nearest (a half-way
// point towards the smaller page coordinate, as the black pen's line does).
// i < steps <= 2^32 and minor <= steps, so the product stays below 2^64.
uint64_t minor_offset(uint64_t i, uint64_t minor, uint64_t steps, bool minor_falls) {
    const uint64_t product = i * minor;
    uint64_t offset = product / steps;
    const uint64_t twice_remainder = 2 * (product % steps);
    if (twice_remainder > steps || (twice_remainder == steps && minor_falls)) ++offset;
    return offset;
}

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
            minor_start +
            minor_sign * int64_t(minor_offset(uint64_t(i), minor, steps, minor_sign < 0));
        if (minor_at < 0 || minor_at >= minor_size) continue;
        visit(int32_t(x_major ? major : minor_at), int32_t(x_major ? minor_at : major));
    }
}

uint16_t pixel_of(const ColourRecord& c) {
    return uint16_t(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
}

}  // namespace

uint16_t pen_pixel(int32_t pen) {
    if (pen < 1 || pen >= COLOUR_KEY_COUNT) return 0;
    return pixel_of(PALETTE_COLOURS[pen - 1]);
}

std::vector<StrokeSegment> colour_segments() {
    int32_t count = 0;
    const StrokeSegment* segments = stroke_segments(&count);
    std::vector<StrokeSegment> colour;
    for (int32_t i = 0; i < count; ++i)
        if (segments[i].pen != BLACK_PEN) colour.push_back(segments[i]);
    return colour;
}

void show_colour_strokes() {
    shown.page = -1;
    int32_t count = 0;
    const StrokeSegment* segments = stroke_segments(&count);
    bool any = false;
    for (int32_t i = 0; i < count && !any; ++i)
        any = segments[i].pen != BLACK_PEN;
    uint16_t* pixels = current_page_pixels();
    const int32_t width = screen_width();
    const int32_t height = screen_height();
    if (!any || pixels == nullptr || width <= 0 || height <= 0) return;
    const size_t shown_pixels = size_t(width) * size_t(height);
    shown.saved.assign(pixels, pixels + shown_pixels);
    shown.page = current_page_index();
    for (int32_t i = 0; i < count; ++i) {
        const StrokeSegment& s = segments[i];
        if (s.pen == BLACK_PEN) continue;
        const uint16_t colour = pen_pixel(s.pen);
        walk_line(s.x0, s.y0, s.x1, s.y1, width, height,
                  [&](int32_t x, int32_t y) { pixels[int64_t(y) * width + x] = colour; });
    }
}

void hide_colour_strokes() {
    if (shown.page < 0) return;
    uint16_t* pixels = page_pixels(shown.page);
    // The page is the size it was shown at unless the window was resized since.
    if (pixels != nullptr && shown.saved.size() == size_t(screen_width()) * size_t(screen_height()))
        std::memcpy(pixels, shown.saved.data(), shown.saved.size() * sizeof(uint16_t));
    shown.page = -1;
}

std::shared_ptr<const PartPainting> painting_in_region(const std::vector<StrokeSegment>& segments,
                                                       const RegionMask& region) {
    // A client pixel's model point is its offset from the screen centre (halved
    // by an arithmetic shift, as the build does); pixel (c, r) of the mask is
    // model point (c + origin_x, r + origin_y). 64-bit first: the end points
    // may lie anywhere, and a segment whose model points leave 32 bits is
    // outside every region.
    const int64_t cx = screen_width() >> 1;
    const int64_t cy = screen_height() >> 1;
    auto fits = [](int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
    PartPainting painting;
    for (const StrokeSegment& s : segments) {
        if (s.pen < 1 || s.pen >= COLOUR_KEY_COUNT) continue;
        const int64_t x0 = s.x0 - cx, y0 = s.y0 - cy, x1 = s.x1 - cx, y1 = s.y1 - cy;
        if (!fits(x0) || !fits(y0) || !fits(x1) || !fits(y1) || !fits(x0 - region.origin_x) ||
            !fits(y0 - region.origin_y) || !fits(x1 - region.origin_x) ||
            !fits(y1 - region.origin_y))
            continue;
        bool inside = false;
        walk_line(int32_t(x0 - region.origin_x), int32_t(y0 - region.origin_y),
                  int32_t(x1 - region.origin_x), int32_t(y1 - region.origin_y), region.width,
                  region.height, [&](int32_t c, int32_t r) {
                      inside = inside ||
                               region.inside[size_t(r) * size_t(region.width) + size_t(c)] != 0;
                  });
        if (inside)
            painting.segments.push_back(
                {int32_t(x0), int32_t(y0), int32_t(x1), int32_t(y1), PALETTE_COLOURS[s.pen - 1]});
    }
    if (painting.segments.empty()) return nullptr;
    return std::make_shared<const PartPainting>(std::move(painting));
}

std::shared_ptr<const PartPainting> mirrored_painting(
    const std::shared_ptr<const PartPainting>& painting) {
    if (painting == nullptr) return nullptr;
    PartPainting mirror = *painting;
    // Model x to -x, as the region's pixels go (32-bit wrap keeps INT32_MIN).
    for (PaintSegment& s : mirror.segments) {
        s.x0 = -s.x0;
        s.x1 = -s.x1;
    }
    return std::make_shared<const PartPainting>(std::move(mirror));
}
