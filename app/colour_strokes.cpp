// Colour strokes shown over the picture and kept as a part's painting.
#include "app/colour_strokes.h"

#include <climits>
#include <cstring>

#include "app/line_walk.h"
#include "app/part_colours.h"
#include "app/screen.h"
#include "app/trace_image.h"

namespace {

// The current page's shown rows while colour strokes are drawn over them.
struct ShownPicture {
    std::vector<uint16_t> saved;
    int32_t page = -1;  // the page they were drawn over; -1: nothing to put back
};
ShownPicture shown;

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
    if ((!any && trace_picture() == nullptr) || pixels == nullptr || width <= 0 || height <= 0)
        return;
    const size_t shown_pixels = size_t(width) * size_t(height);
    shown.saved.assign(pixels, pixels + shown_pixels);
    shown.page = current_page_index();
    show_trace_picture(pixels, width, height, uint16_t(clear_colour_pair()));
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

namespace {

// Whether a pixel of the region lies on the picture (both in model points).
bool region_on_picture(const RegionMask& region, const TracePicture& picture) {
    for (int32_t r = 0; r < region.height; ++r) {
        const int64_t y = int64_t(region.origin_y) + r - picture.y;
        if (y < 0 || y >= picture.height) continue;
        for (int32_t c = 0; c < region.width; ++c) {
            const int64_t x = int64_t(region.origin_x) + c - picture.x;
            if (x >= 0 && x < picture.width &&
                region.inside[size_t(r) * size_t(region.width) + size_t(c)] != 0)
                return true;
        }
    }
    return false;
}

}  // namespace

std::shared_ptr<const PartPainting> painting_in_region(
    const std::vector<StrokeSegment>& segments, const RegionMask& region,
    const std::shared_ptr<const TracePicture>& picture) {
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
    if (picture != nullptr && region_on_picture(region, *picture)) painting.picture = picture;
    if (painting.segments.empty() && painting.picture == nullptr) return nullptr;
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
    mirror.picture_mirrored = !mirror.picture_mirrored;
    return std::make_shared<const PartPainting>(std::move(mirror));
}
