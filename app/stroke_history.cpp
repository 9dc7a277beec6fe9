// The strokes of drawing mode, remembered so that they can be taken back.
#include "app/stroke_history.h"

#include <cstring>

#include "app/platform.h"
#include "app/screen.h"
#include "base/memory.h"

namespace {

static_assert(sizeof(StrokeSegment) == STROKE_SEGMENT_BYTES);

constexpr int32_t FIRST_SEGMENT_CAPACITY = 256;

struct StrokeHistory {
    StrokeSegment* segments = nullptr;  // from alloc_zeroed
    int32_t segment_count = 0;
    int32_t segment_capacity = 0;
    int32_t stroke_count = 0;
    // The page before the first remembered segment: every row of it, the last
    // one included (strokes and fills reach it, clears do not).
    uint16_t* page_copy = nullptr;  // from alloc_zeroed
    int64_t page_copy_pixels = 0;
    bool refused = false;  // out of memory or room; nothing is remembered until forget_strokes
};

StrokeHistory history;

// Pixels of the drawing page: its full height is one row more than the screen's.
int64_t page_pixel_count() {
    return int64_t(screen_width()) * (int64_t(screen_height()) + 1);
}

// Room for one more segment, doubling the block; false at the limit or when
// the allocator refused.
bool make_room() {
    if (history.segment_count < history.segment_capacity) return true;
    int32_t capacity =
        history.segment_capacity > 0 ? history.segment_capacity * 2 : FIRST_SEGMENT_CAPACITY;
    if (capacity > MAX_STROKE_SEGMENTS) return false;
    auto* grown =
        static_cast<StrokeSegment*>(alloc_zeroed(int32_t(capacity * sizeof(StrokeSegment))));
    if (grown == nullptr) return false;
    if (history.segment_count > 0)
        std::memcpy(grown, history.segments, size_t(history.segment_count) * sizeof(StrokeSegment));
    free_block(history.segments);
    history.segments = grown;
    history.segment_capacity = capacity;
    return true;
}

// Copies the drawing page before the first segment is drawn on it (there is
// no copy then); false without a page or when the allocator refused.
bool copy_page() {
    const uint16_t* pixels = page_pixels(drawing_page_index());
    int64_t count = page_pixel_count();
    if (pixels == nullptr || count <= 0 || count * 2 > INT32_MAX) return false;
    history.page_copy = static_cast<uint16_t*>(alloc_zeroed(int32_t(count * 2)));
    if (history.page_copy == nullptr) return false;
    history.page_copy_pixels = count;
    std::memcpy(history.page_copy, pixels, size_t(count) * 2);
    return true;
}

// The page as it was before the first stroke, with the remaining black strokes
// drawn again in their order through the same line as before.
void redraw_page() {
    uint16_t* pixels = page_pixels(drawing_page_index());
    if (pixels == nullptr || history.page_copy == nullptr ||
        history.page_copy_pixels != page_pixel_count())
        return;
    std::memcpy(pixels, history.page_copy, size_t(history.page_copy_pixels) * 2);
    for (int32_t i = 0; i < history.segment_count; ++i) {
        const StrokeSegment& s = history.segments[i];
        if (s.pen == BLACK_PEN) platform_draw_line(drawing_page_index(), s.x0, s.y0, s.x1, s.y1);
    }
}

// Memory goes back whenever no stroke is left to take back.
void release_memory() {
    free_block(history.segments);
    free_block(history.page_copy);
    history.segments = nullptr;
    history.page_copy = nullptr;
    history.segment_count = history.segment_capacity = history.stroke_count = 0;
    history.page_copy_pixels = 0;
}

// Redraws after strokes were dropped; without strokes the copy is the page.
void strokes_dropped() {
    redraw_page();
    if (history.stroke_count == 0) release_memory();
}

}  // namespace

void remember_stroke_segment(uint32_t press, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                             int32_t pen) {
    if (history.refused) return;
    // Equal end points draw nothing, so there is nothing to take back.
    if (x0 == x1 && y0 == y1) return;
    bool stored = (history.page_copy != nullptr || copy_page()) && make_room();
    if (!stored) {
        // What was drawn stays; strokes drawn from now on could not be taken
        // back exactly, so none are until the page starts afresh.
        release_memory();
        history.refused = true;
        return;
    }
    if (history.segment_count == 0 || history.segments[history.segment_count - 1].press != press)
        ++history.stroke_count;
    history.segments[history.segment_count++] = {press, x0, y0, x1, y1, pen};
}

void forget_strokes() {
    release_memory();
    history.refused = false;
}

int32_t stroke_count() {
    return history.stroke_count;
}

const StrokeSegment* stroke_segments(int32_t* count) {
    *count = history.segment_count;
    return history.segments;
}

void take_back_last_stroke() {
    if (history.stroke_count == 0) return;
    uint32_t press = history.segments[history.segment_count - 1].press;
    while (history.segment_count > 0 && history.segments[history.segment_count - 1].press == press)
        --history.segment_count;
    --history.stroke_count;
    strokes_dropped();
}

void take_back_all_strokes() {
    if (history.stroke_count == 0) return;
    history.segment_count = 0;
    history.stroke_count = 0;
    strokes_dropped();
}

StrokeHistoryMemory stroke_history_memory() {
    StrokeHistoryMemory memory = {0, 0};
    if (history.segments != nullptr) {
        ++memory.blocks;
        memory.bytes += int64_t(history.segment_capacity) * int64_t(sizeof(StrokeSegment));
    }
    if (history.page_copy != nullptr) {
        ++memory.blocks;
        memory.bytes += history.page_copy_pixels * 2;
    }
    return memory;
}

KeptStrokes keep_strokes() {
    KeptStrokes kept;
    kept.segments.assign(history.segments, history.segments + history.segment_count);
    kept.stroke_count = history.stroke_count;
    kept.segment_capacity = history.segment_capacity;
    kept.page_copy = pack_pixels(history.page_copy, history.page_copy_pixels);
    kept.refused = history.refused;
    return kept;
}

bool strokes_as_kept(const KeptStrokes& kept) {
    if (history.refused != kept.refused || history.stroke_count != kept.stroke_count ||
        history.segment_count != int32_t(kept.segments.size()))
        return false;
    if (history.segment_count > 0 &&
        std::memcmp(history.segments, kept.segments.data(),
                    size_t(history.segment_count) * sizeof(StrokeSegment)) != 0)
        return false;
    return same_pixels(kept.page_copy, history.page_copy, history.page_copy_pixels);
}

void restore_strokes(const KeptStrokes& kept) {
    forget_strokes();
    history.refused = kept.refused;
    const auto count = int32_t(kept.segments.size());
    if (count == 0) return;
    const int64_t pixels = kept.page_copy.pixels;
    int32_t capacity = kept.segment_capacity;
    if (capacity < count) capacity = count;
    if (pixels != page_pixel_count() || capacity > MAX_STROKE_SEGMENTS) {
        history.refused = true;
        return;
    }
    history.page_copy = static_cast<uint16_t*>(alloc_zeroed(int32_t(pixels * 2)));
    if (history.page_copy != nullptr)
        history.segments =
            static_cast<StrokeSegment*>(alloc_zeroed(int32_t(capacity * sizeof(StrokeSegment))));
    if (history.segments == nullptr) {
        release_memory();
        history.refused = true;
        return;
    }
    history.page_copy_pixels = pixels;
    unpack_pixels(kept.page_copy, history.page_copy, pixels);
    std::memcpy(history.segments, kept.segments.data(), size_t(count) * sizeof(StrokeSegment));
    history.segment_count = count;
    history.segment_capacity = capacity;
    history.stroke_count = kept.stroke_count;
}
