// Strokes that can be taken back: in drawing mode every segment drawn into the
// drawing page (app/screen.h), and every colour segment shown over it, is remembered with the press
// of the left button that drew it, together with a copy of the page as it was before the first of
// them. Taking strokes back puts that copy back and draws the remaining segments again, so the page
// is exactly what it would be had the removed strokes never been drawn.
//
// The remembered strokes stay valid only while nothing but strokes changes the
// page: whatever else writes it (a fill, a clear) calls forget_strokes first.
#pragma once

#include <cstdint>
#include <vector>

#include "app/packed_pixels.h"

// The black outline pen, whose segments are drawn into the drawing page; pens
// 1..7 are the palette's colours (PALETTE_COLOURS[pen - 1], app/part_colours.h),
// whose segments live here only: they are shown over the picture and never
// reach the page the outline's fill reads.
inline constexpr int32_t BLACK_PEN = 0;

// A segment from (x0, y0) to (x1, y1), client pixels, drawn by left-button
// press number `press` with pen `pen`; a stroke is a run of segments of one
// press.
struct StrokeSegment {
    uint32_t press;
    int32_t x0, y0, x1, y1;
    int32_t pen;
};

// About an hour and a half of drawing at 50 segments a second.
inline constexpr int32_t MAX_STROKE_SEGMENTS = 1 << 18;
inline constexpr int32_t STROKE_SEGMENT_BYTES = 24;  // press, two end points and pen

// A segment from (x0, y0) to (x1, y1), client pixels, is about to be drawn
// into the drawing page by left-button press number `press` (with the black
// pen; a colour pen's segment is only remembered). A segment of a
// press other than the last remembered stroke's starts a new stroke. When the
// history is full (MAX_STROKE_SEGMENTS) or memory runs out (the allocator has
// shown its message), nothing is remembered until the next forget_strokes:
// the strokes drawn so far then simply stay.
void remember_stroke_segment(uint32_t press, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                             int32_t pen = BLACK_PEN);

// Something other than a stroke is about to change the page: the strokes
// drawn so far become part of it and can no longer be taken back. Also the
// end of the history at start-up and shut-down.
void forget_strokes();

// Strokes that can be taken back.
int32_t stroke_count();
// Their segments in the order they were drawn, *count of them (none without
// strokes); valid until the history next changes.
const StrokeSegment* stroke_segments(int32_t* count);

// Removes the last stroke (or every stroke), whatever its pen, and redraws the
// drawing page from the copy and the black strokes that remain. Nothing happens without strokes.
void take_back_last_stroke();
void take_back_all_strokes();

// Memory the history holds: a copy of the page and the segments, both from
// alloc_zeroed, from the first stroke until no stroke is left (none without
// strokes). At most two blocks, a page and MAX_STROKE_SEGMENTS segments.
struct StrokeHistoryMemory {
    int32_t blocks;
    int64_t bytes;
};
StrokeHistoryMemory stroke_history_memory();

// The history as a value, for undo (app/undo_history.h): its segments, the page copy as runs,
// the room its segments' block had, and whether it refused.
struct KeptStrokes {
    std::vector<StrokeSegment> segments;
    int32_t stroke_count = 0;
    int32_t segment_capacity = 0;
    PackedPixels page_copy;  // empty without strokes
    bool refused = false;
};
KeptStrokes keep_strokes();
// Whether the history is the kept one.
bool strokes_as_kept(const KeptStrokes& kept);
// The kept history in place of the one there, its blocks allocated again (alloc_zeroed); the
// page is the caller's to put back. When the allocator refuses (its message shown), no stroke
// can be taken back until the next forget_strokes, as when the history runs out of room.
void restore_strokes(const KeptStrokes& kept);
