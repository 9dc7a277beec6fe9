// The polygon pipeline every shaded and textured fill runs: two clip passes
// against the raster target, duplicate trimming, a walk from the top vertex
// down two edge chains, and one span per row handed to the fill.
//
// A fill is its attributes plus its span: it turns its packet data into clip
// entries carrying N int32 attributes (colour components, texture
// coordinates, ...) and calls fill_polygon with a span functor. The pipeline
// interpolates every attribute the same way and knows nothing of their
// meaning. Everything lives on the stack of one call; nothing is allocated.
//
// Fixed point: sides and edge steps carry 8 fraction bits (value x 256); >> is
// an arithmetic shift (a floor); divisions truncate toward zero.
//
// Safety: clipped entries always lie inside the raster, whatever the input
// coordinates, and the walk never leaves the rows and columns of the clipped
// entries, so no write can leave the page. Spans are clamped to the row once
// more as a last guard.
//
// Arithmetic: the pipeline and the spans take a policy type
// (pipeline_arithmetic.h). The fills draw with FastArithmetic; PlainArithmetic
// is the reference that gives the same pixels with `/` and full clipping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "raster/fills/exact_walk.h"
#include "raster/fills/pipeline_arithmetic.h"
#include "raster/packet.h"
#include "raster/raster_target.h"
#include "raster/render_stats.h"

inline constexpr int32_t MAX_POLYGON_VERTICES = 4;
// Each pass appends at most two entries per edge: 4 vertices, 8, then 16.
inline constexpr int32_t CLIP_LIST_CAPACITY = 16;

// N attributes; with none (a fill of one pixel value) the arrays keep one
// slot that nothing reads, since an array may not be empty.
template <int N>
struct ClipEntry {
    static constexpr int ATTRIBUTES = N;
    int32_t x, y;              // whole pixels, y down
    int32_t q[N > 0 ? N : 1];  // attributes in the fill's own units
};

// One side of the walk: x and every attribute with 8 fraction bits.
template <int N>
struct Side {
    int32_t x;
    int32_t q[N > 0 ? N : 1];
};

// A span functor is called as
//   span(row_pixels, start, count, left, right)
// for one row: row_pixels is the start of the row in raster_target.pixels, and the
// span writes row_pixels[start] .. row_pixels[start + count - 1], which are
// inside the row, count >= 1. start is left.x >> 8; the fill derives its own
// per-pixel steps from left, right and count.

// True when some vertex lies on another row than the first: a polygon without
// height draws nothing, and the fills' entries return before any set-up.
inline bool polygon_has_height(const ScreenVertex* const* vertices, int32_t n) {
    for (int32_t i = 1; i < n; ++i) {
        if (vertices[i]->y != vertices[0]->y) return true;
    }
    return false;
}

// Clip entries for fills whose attributes are the r, g, b of a colour record.
inline void load_colour_entries(ClipEntry<3>* entries, const ScreenVertex* const* vertices,
                                const ColourRecord* const* colours, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        entries[i] = {
            vertices[i]->x, vertices[i]->y, {colours[i]->r, colours[i]->g, colours[i]->b}};
    }
}

// The colour of a span interpolated from its left to its right side, with 7
// fraction bits: the sides' 8, halved, so that a component c of 0..255 is
// c * 128 and its top five bits sit in bits 10..14, red's place in a pixel.
struct ColourRun {
    int32_t value[3];
    int32_t step[3];
};

// count >= 1
template <typename Arithmetic = FastArithmetic>
[[gnu::always_inline]] inline ColourRun start_colour_run(const Side<3>& left, const Side<3>& right,
                                                         int32_t count) {
    ColourRun run;
    const typename Arithmetic::CountDivisor per_pixel(count);
#pragma GCC unroll 3
    for (int k = 0; k < 3; ++k) {
        run.value[k] = left.q[k] >> 1;
        run.step[k] = per_pixel((right.q[k] - left.q[k]) >> 1);
    }
    return run;
}

// How a row drawn watertight (see fill_polygon_watertight) lays the run that
// the walk draws the row with, from walk_start over walk_count >= 1 pixels,
// over its own columns start .. start + count - 1. The run starts at the left
// side's value and, stepped on one pixel past its last (to column
// walk_start + walk_count), reaches the right side's, up to the rounding of
// its step: columns left of the run hold its first value, columns from
// walk_start to that one take the run's values, and columns beyond hold the
// value it reached there. Stepping the run on further would take the values
// far past the sides', since a short run (a sliver's) can have a step far
// steeper than the polygon's.
//
// The rounding can take that last value one unit past the right side's:
// halving a falling difference rounds it down, so the run's steps can add up
// to one unit more than the halved sides are apart. The sides themselves can
// leave the range of the polygon's corners as well (CornerRange). A span
// drawing LIMITED keeps its values to that range where they would leave it,
// and only there.
struct HeldRun {
    int32_t before, within, after;  // pixels, adding up to count
    int32_t offset;                 // the run's pixel at the first of `within`
};

inline HeldRun hold_run(int32_t start, int32_t count, int32_t walk_start, int32_t walk_count) {
    const int32_t end = start + count, reach = walk_start + walk_count + 1;
    const int32_t first = walk_start < start ? start : walk_start > end ? end : walk_start;
    int32_t last = reach < end ? reach : end;
    if (last < first) last = first;  // the run ends left of the row's columns
    return {first - start, last - first, end - last, first - walk_start};
}

// True when columns start .. start + count - 1 lie within the run's reach
// above: the row is drawn with the run alone.
inline bool within_run(int32_t start, int32_t count, int32_t walk_start, int32_t walk_count) {
    const int32_t offset = start - walk_start;
    return offset >= 0 && offset + count <= walk_count + 1;
}

// The range of each attribute over a polygon's corners, at a run's scale (the
// sides' 8 fraction bits halved, wrapping as theirs do), for a row drawn
// watertight to keep its values to: a span makes its Limits of it.
//
// The walk's sides leave the range by their rounding: each step of a side is
// the edge's difference divided by its rows, truncated, so it errs by less
// than one unit (of 8 fraction bits), and a side carries its errors on from
// edge to edge. In a triangle's walk a side takes a step a row and one more
// on a level top edge, so it strays less than its rows + 1 units, half that
// at the run's scale; the run's last value one pixel past its span can stray
// one unit further (halving a falling difference rounds it down). That is
// triangle_walk_drift. Other walks stray further: a side that comes to a
// corner short of its value (an edge after the first takes one step fewer
// than its divisor) and goes on along the next edge can pass the corners'
// range by much of a step.
template <int N>
struct CornerRange {
    int32_t low[N > 0 ? N : 1], high[N > 0 ? N : 1];
};

template <int N>
CornerRange<N> corner_range(const ClipEntry<N>* corners, int32_t n) {
    CornerRange<N> range{};
    for (int k = 0; k < N; ++k) {
        range.low[k] = range.high[k] = int32_t(uint32_t(corners[0].q[k]) * 256u) >> 1;
        for (int32_t i = 1; i < n; ++i) {
            const int32_t value = int32_t(uint32_t(corners[i].q[k]) * 256u) >> 1;
            range.low[k] = value < range.low[k] ? value : range.low[k];
            range.high[k] = value > range.high[k] ? value : range.high[k];
        }
    }
    return range;
}

// How far past its corners' range, at a run's scale, a value of the walk of
// a triangle over `rows` rows can lie (see CornerRange).
constexpr int32_t triangle_walk_drift(int32_t rows) {
    return int32_t((uint32_t(rows) + 2) / 2 + 1);  // rows >= 1
}

// A run's value `pixels` pixels on, its sums wrapping as the run's own do;
// with `moving` false held there (step 0).
inline ColourRun colour_run_at(const ColourRun& run, int32_t pixels, bool moving) {
    ColourRun at;
    for (int k = 0; k < 3; ++k) {
        at.value[k] = value_after(run.value[k], run.step[k], pixels);
        at.step[k] = moving ? run.step[k] : 0;
    }
    return at;
}

inline void advance_colour_run(ColourRun& run) {
#pragma GCC unroll 3
    for (int k = 0; k < 3; ++k) {
        run.value[k] += run.step[k];
    }
}

// count >= 1 pixels from `pixels` set to the pixel that `four` holds four
// times, four to a store. A span of 4 to 8 pixels takes two stores that meet
// or overlap in the middle, and one of 1 to 3 pixels three single stores (the
// first, the middle and the last), so that its length decides few branches.
[[gnu::always_inline]] inline void fill_four_pixels(uint16_t* pixels, int32_t count,
                                                    uint64_t four) {
    if (count >= 4) {
        for (; count > 8; count -= 4, pixels += 4)
            std::memcpy(pixels, &four, 8);
        std::memcpy(pixels, &four, 8);
        std::memcpy(pixels + count - 4, &four, 8);
    } else {
        const uint16_t pixel = uint16_t(four);
        pixels[0] = pixel;
        pixels[count >> 1] = pixel;
        pixels[count - 1] = pixel;
    }
}

// True when the n colour records hold one r, g, b.
inline bool same_colours(const ColourRecord* const* colours, int32_t n) {
    for (int32_t i = 1; i < n; ++i) {
        if (colours[i]->r != colours[0]->r || colours[i]->g != colours[0]->g ||
            colours[i]->b != colours[0]->b)
            return false;
    }
    return true;
}

// True when every light has r = g = b. The pipeline treats each attribute
// alike, so grey lights give the three components the same values everywhere,
// and a fill may carry one of them for all three.
inline bool grey_lights(const ColourRecord* const* lights, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        if (lights[i]->g != lights[i]->r || lights[i]->b != lights[i]->r) return false;
    }
    return true;
}

// A polygon whose vertices carry one colour draws one pixel value: every
// crossing, edge step and span step is then 0, so every side and span starts
// and stays at the top vertex's component * 256, which a span halves. This is
// each component's running value in every pixel (the product wraps as the
// sides' does).
inline ColourRun constant_colour_run(const ColourRecord& colour) {
    return ColourRun{{(colour.r * 256) >> 1, (colour.g * 256) >> 1, (colour.b * 256) >> 1},
                     {0, 0, 0}};
}

// The entries and span of a one-colour polygon: its positions alone go
// through the pipeline, without attributes, and every span is filled with the
// polygon's pixel. The walk's positions never depend on the attributes, so
// the same pixels are covered.
inline void load_position_entries(ClipEntry<0>* entries, const ScreenVertex* const* vertices,
                                  int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        entries[i] = {vertices[i]->x, vertices[i]->y, {0}};
    }
}

struct ConstantSpan {
    static constexpr bool READS_SIDES = false;  // see fill_polygon_watertight
    uint64_t four;                              // the pixel four times: make with constant_span

    [[gnu::always_inline]] void operator()(uint16_t* row, int32_t start, int32_t count,
                                           const Side<0>&, const Side<0>&) const {
        fill_four_pixels(row + start, count, four);
    }
    // One value goes on as it is (see fill_polygon_watertight).
    struct Limits {};
    Limits limits(const CornerRange<0>&) const { return {}; }
    bool keeps_within(const ClipEntry<0>*, int32_t) const { return true; }
    template <bool LIMITED, typename AnyLimits>
    [[gnu::always_inline]] void draw_continued(uint16_t* row, int32_t start, int32_t count, int32_t,
                                               int32_t, const Side<0>&, const Side<0>&,
                                               const AnyLimits&) const {
        fill_four_pixels(row + start, count, four);
    }
};

inline ConstantSpan constant_span(uint16_t pixel) {
    return ConstantSpan{pixel * uint64_t(0x0001000100010001)};
}

namespace polygon_detail {

template <bool ON_X, int N>
int32_t position(const ClipEntry<N>& entry) {
    return ON_X ? entry.x : entry.y;
}

template <int N>
bool same_point(const ClipEntry<N>& p, const ClipEntry<N>& q) {
    return p.x == q.x && p.y == q.y;
}

// The crossing of the edge from the outside entry a towards b with the raster
// border on a's side: the left/top border (stored 0) when a lies before it,
// else the right/bottom border, whose stored coordinate is the last column or
// row but whose distance is taken to the width or height itself.
//
// Every other value q moves by ((dist * step_q) >> 8), with
// step_q = ((b.q - a.q) * 256) / d and d = (b - a) +- 1. The arithmetic is
// 64-bit, which gives the 32-bit result whenever that does not overflow. In
// 32 bits, coordinate differences of 2^23 or more wrap the products and move
// the crossing to a wrong place, and an edge spanning the raster from near
// -2^31 to near 2^31 wraps d to 0. In 64 bits nothing wraps: dist < |d|
// bounds |dist * step_q| by |b.q - a.q| * 256 < 2^40, and the moved value
// stays between a.q and b.q, so a crossing computed between two entries
// inside the raster is inside it too.
template <bool ON_X, int N>
ClipEntry<N> clip_intersect(const ClipEntry<N>& a, const ClipEntry<N>& b) {
    const int64_t extent = ON_X ? raster_target.width : raster_target.height;
    const int64_t a_pos = position<ON_X>(a);
    const int64_t b_pos = position<ON_X>(b);
    const int64_t d = (b_pos - a_pos) + (b_pos < a_pos ? -1 : 1);  // never 0
    const bool before = a_pos < 0;
    const int64_t dist = before ? -a_pos : extent - a_pos;
    auto carry = [&](int32_t a_q, int32_t b_q) {
        const int64_t step = ((int64_t(b_q) - a_q) * 256) / d;  // 8 fraction bits
        return int32_t(a_q + ((dist * step) >> 8));             // arithmetic shift: a floor
    };
    ClipEntry<N> out;
    const int32_t border = before ? 0 : int32_t(extent - 1);
    if constexpr (ON_X) {
        out.x = border;
        out.y = carry(a.y, b.y);
    } else {
        out.x = carry(a.x, b.x);
        out.y = border;
    }
#pragma GCC unroll 8
    for (int k = 0; k < N; ++k) {
        out.q[k] = carry(a.q[k], b.q[k]);
    }
    return out;
}

// One clip pass over a closed loop of n entries; returns the output count
// (at most 2n). An entry is outside when its coordinate, read unsigned, is
// above the last column or row, so every negative one is outside too.
template <bool ON_X, int N>
int32_t clip_pass(const ClipEntry<N>* in, int32_t n, ClipEntry<N>* out) {
    const uint32_t last = uint32_t((ON_X ? raster_target.width : raster_target.height) - 1);
    auto outside = [last](const ClipEntry<N>& entry) {
        return uint32_t(position<ON_X>(entry)) > last;
    };
    int32_t count = 0;
    for (int32_t i = 0; i < n; ++i) {
        const ClipEntry<N>& from = in[i];
        const ClipEntry<N>& to = in[i + 1 < n ? i + 1 : 0];
        const bool from_out = outside(from);
        const bool to_out = outside(to);
        if (!from_out && !to_out) {
            out[count++] = to;
        } else if (from_out && !to_out) {
            const ClipEntry<N> cross = clip_intersect<ON_X>(from, to);
            out[count++] = cross;
            if constexpr (ON_X) {
                // A crossing in the column of `to` stands for it: it is kept
                // when it is the same point, else `to` takes its place.
                if (cross.x != to.x) {
                    out[count++] = to;
                } else if (cross.y != to.y) {
                    out[count - 1] = to;
                }
            } else {
                if (!same_point(cross, to)) out[count++] = to;
            }
        } else if (!from_out && to_out) {
            const ClipEntry<N> cross = clip_intersect<ON_X>(to, from);
            const bool repeats = ON_X ? cross.x == from.x : same_point(cross, from);
            if (!repeats) out[count++] = cross;
        } else if ((position<ON_X>(from) < 0) != (position<ON_X>(to) < 0)) {
            // The edge spans the raster from one border to the other: keep
            // both crossings, in walk order, or the band of the polygon along
            // this edge would be cut away.
            out[count++] = clip_intersect<ON_X>(from, to);
            out[count++] = clip_intersect<ON_X>(to, from);
        }
    }
    return count;
}

template <int N>
struct EdgeChain {
    int32_t end;                // list index of the vertex the chain walks towards
    int32_t direction;          // +1 forward, -1 backward
    int32_t dx;                 // x step per row, 8 fraction bits
    int32_t dq[N > 0 ? N : 1];  // attribute steps per row, 8 fraction bits
};

// The divisor of the edge from a to b: for an edge walked downward, the rows
// it covers, both ends included. Never 0, nor -1, so no division by it can
// overflow.
template <int N>
int32_t edge_rows(const ClipEntry<N>& a, const ClipEntry<N>& b) {
    return (b.y - a.y) + (b.y < a.y ? -1 : 1);
}

// Points a chain along the edge from a to b: x and attribute steps per row,
// 8 fraction bits. Entries lie inside the raster, so the x product cannot
// wrap; attribute products wrap only for attributes far outside their range,
// which spoils colours, not positions.
template <typename Arithmetic, int N>
[[gnu::always_inline]] inline void set_edge(EdgeChain<N>& chain, const ClipEntry<N>& a,
                                            const ClipEntry<N>& b) {
    const typename Arithmetic::Divisor per_row(edge_rows(a, b));
    chain.dx = per_row((b.x - a.x) * 256);
#pragma GCC unroll 8
    for (int k = 0; k < N; ++k) {
        chain.dq[k] = per_row((b.q[k] - a.q[k]) * 256);
    }
}

// set_edge for an edge walked down from a to b (b.y >= a.y): its divisor,
// the rows it covers, is at least 1, so the quotients need no sign restored.
template <typename Arithmetic, int N>
[[gnu::always_inline]] inline void set_down_edge(EdgeChain<N>& chain, const ClipEntry<N>& a,
                                                 const ClipEntry<N>& b) {
    const typename Arithmetic::CountDivisor per_row(b.y - a.y + 1);
    chain.dx = per_row((b.x - a.x) * 256);
#pragma GCC unroll 8
    for (int k = 0; k < N; ++k) {
        chain.dq[k] = per_row((b.q[k] - a.q[k]) * 256);
    }
}

// True when the backward chain is the left boundary, decided once per polygon.
// An outline that runs clockwise on the screen (y down, a positive shoelace
// sum) has its backward chain on the left, an anticlockwise one its forward
// chain. Comparing the two chains' first x steps, the rule of thumb, fails
// when a chain leaves the top vertex along a short level edge (its x step
// counts the whole length as one row) or along the zero-length or doubled
// back edges that rounding in the clip passes leaves next to a border
// crossing; the swapped sides then draw nothing of a broad polygon. The x
// steps still decide an outline without area. Entries lie inside the raster,
// so the 64-bit products cannot overflow.
template <typename Arithmetic, int N>
[[gnu::always_inline]] inline bool backward_is_left(const EdgeChain<N>& forward,
                                                    const EdgeChain<N>& backward,
                                                    const ClipEntry<N>* list, int32_t n) {
    int64_t twice_area = 0;
    if (Arithmetic::FAST_PATHS && n == 3) {
        // The same sum for a triangle, as one cross product of two edges.
        const int64_t x0 = list[0].x, y0 = list[0].y;
        twice_area = (list[1].x - x0) * (list[2].y - y0) - (list[2].x - x0) * (list[1].y - y0);
    } else {
        for (int32_t i = 0; i < n; ++i) {
            const ClipEntry<N>& p = list[i];
            const ClipEntry<N>& q = list[i + 1 < n ? i + 1 : 0];
            twice_area += int64_t(p.x) * q.y - int64_t(q.x) * p.y;
        }
    }
    if (twice_area != 0) return twice_area > 0;
    return backward.dx < forward.dx;
}

template <int N>
[[gnu::always_inline]] inline void step_side(Side<N>& side, const EdgeChain<N>& chain) {
    side.x += chain.dx;
#pragma GCC unroll 8
    for (int k = 0; k < N; ++k) {
        side.q[k] += chain.dq[k];
    }
}

// Moves a chain on to its next edge. The side it feeds restarts at the
// vertex's column (no half pixel, on either side); its attributes carry on
// from where they are.
template <typename Arithmetic, int N>
[[gnu::always_inline]] inline void advance_chain(EdgeChain<N>& chain, Side<N>& side,
                                                 const ClipEntry<N>* list, int32_t n) {
    const int32_t from = chain.end;
    int32_t to = from + chain.direction;
    if (to < 0) to = n - 1;
    if (to > n - 1) to = 0;
    chain.end = to;
    side.x = list[from].x * 256;
    set_edge<Arithmetic>(chain, list[from], list[to]);
}

// The raster target as one polygon's walk sees it, read once: pixel stores
// may alias the globals, which would otherwise be read again for every row.
struct WalkTarget {
    uint16_t* pixels;
    int32_t width, height;
    int64_t pixels_written;  // statistics, added to render_stats once per polygon
};

// Always inlined: the sides then stay in registers, and the span's set-up and
// loop join the walk's row loop.
//
// SMALL_INSIDE: every entry lies inside a raster narrower than
// RECIPROCAL_TABLE_LIMIT, and the clip passes were skipped. Every row then
// lies between the entries' rows and every side between the columns of its
// edge's two entries: a side restarts at an entry's column (the right side at
// most 255 past it), each step moves it by at most the edge's width divided
// by the edge's rows, and it takes fewer steps than the edge has rows before
// it restarts again or the walk ends. So the row and the span need no guard but
// the test for an empty span, and a span's count, at most the width, is known
// to be below the limit, so that the span divides by it through the table
// without testing its size.
template <bool SMALL_INSIDE = false, int N, typename Span>
[[gnu::always_inline]] inline void draw_row(WalkTarget& target, int32_t row, uint16_t* row_pixels,
                                            const Side<N>& left, const Side<N>& right, Span& span) {
    int32_t start = left.x >> 8;
    int32_t end = right.x >> 8;  // exclusive
    if constexpr (SMALL_INSIDE) {
        if (end - start <= 0) return;
        if (end - start >= RECIPROCAL_TABLE_LIMIT) __builtin_unreachable();
        target.pixels_written += end - start;
        span(row_pixels, start, end - start, left, right);
        return;
    }
    // Never taken for entries inside the raster; guards against a raster so
    // wide that x * 256 no longer fits.
    if (start < 0) start = 0;
    if (end > target.width) end = target.width;
    if (end - start <= 0 || uint32_t(row) >= uint32_t(target.height)) return;
    target.pixels_written += end - start;  // statistics: once per span, not per pixel
    span(row_pixels, start, end - start, left, right);
}

// The start of a walk: the entry count left after trimming, the top vertex,
// both chains pointed along the edges that leave it, and the sides there.
template <int N>
struct WalkStart {
    int32_t n;
    int32_t top;
    EdgeChain<N> forward, backward;
    bool backward_left;  // the backward chain feeds the left side
    Side<N> left, right;
};

// Both sides of a walk at its top vertex.
template <int N>
[[gnu::always_inline]] inline void start_sides(WalkStart<N>& walk, const ClipEntry<N>& top) {
    walk.left.x = top.x * 256;
    walk.right.x = top.x * 256 + 255;  // the right side starts at the pixel's far edge
#pragma GCC unroll 8
    for (int k = 0; k < N; ++k) {
        walk.left.q[k] = walk.right.q[k] = top.q[k] * 256;
    }
    if constexpr (N == 0) walk.left.q[0] = walk.right.q[0] = 0;  // the unread slot
}

// Trims closing duplicates, finds the top vertex and sets up the chains and
// sides; false when fewer than two entries are left, which draws nothing.
// With trim false the caller has found nothing to trim.
template <typename Arithmetic, int N>
[[gnu::always_inline]] inline bool start_walk(const ClipEntry<N>* list, int32_t n,
                                              WalkStart<N>& walk, bool trim = true) {
    if (trim) {
        if (n < 2) return false;
        if (same_point(list[n - 1], list[n - 2])) --n;
        if (same_point(list[n - 1], list[0])) --n;
        if (n < 2) return false;
    }

    // The first of the highest entries.
    int32_t top = 0;
    if (Arithmetic::FAST_PATHS && n == 3) {
        // Selections rather than branches: which vertex is on top varies
        // from one triangle to the next.
        top = list[1].y < list[0].y ? 1 : 0;
        top = list[2].y < list[top].y ? 2 : top;
    } else {
        for (int32_t i = 1; i < n; ++i) {
            if (list[i].y < list[top].y) top = i;
        }
    }
    walk.n = n;
    walk.top = top;
    walk.forward = {top + 1 < n ? top + 1 : 0, +1, 0, {}};
    walk.backward = {top > 0 ? top - 1 : n - 1, -1, 0, {}};
    set_edge<Arithmetic>(walk.forward, list[top], list[walk.forward.end]);
    set_edge<Arithmetic>(walk.backward, list[top], list[walk.backward.end]);
    walk.backward_left = backward_is_left<Arithmetic>(walk.forward, walk.backward, list, n);

    start_sides(walk, list[top]);
    return true;
}

// start_walk for three entries that trimming leaves as they are: the edges
// that leave the top corner go down or along its row.
// twice_area, when not 0: the triangle's sum as backward_is_left takes it,
// known to the caller, which then decides the sides alone.
template <typename Arithmetic, int N>
[[gnu::always_inline]] inline void start_triangle_walk(const ClipEntry<N>* list, WalkStart<N>& walk,
                                                       int64_t twice_area = 0) {
    // The first of the highest entries, by selections rather than branches:
    // which vertex is on top varies from one triangle to the next.
    int32_t top = list[1].y < list[0].y ? 1 : 0;
    top = list[2].y < list[top].y ? 2 : top;
    walk.n = 3;
    walk.top = top;
    walk.forward = {top == 2 ? 0 : top + 1, +1, 0, {}};
    walk.backward = {top == 0 ? 2 : top - 1, -1, 0, {}};
    set_down_edge<Arithmetic>(walk.forward, list[top], list[walk.forward.end]);
    set_down_edge<Arithmetic>(walk.backward, list[top], list[walk.backward.end]);
    walk.backward_left = twice_area != 0
                             ? twice_area > 0
                             : backward_is_left<Arithmetic>(walk.forward, walk.backward, list, 3);
    start_sides(walk, list[top]);
}

// True when the walk below, started as `walk`, would find its sides crossed
// (the left side's x beyond the right side's) on a row above the polygon's
// last: what it would draw there is empty or reversed, and a convex polygon
// is then drawn by the exact walk instead. The shared walk counts both end
// rows of an edge in its step, restarts a side at a corner's column one row
// late and without the right side's half pixel; on a broad, flat polygon
// the sides then fall behind the edges by up to a row's worth of their
// slope, and when the two lag unevenly they cross and the polygon loses its
// pixels, in the worst case all of them. In exact arithmetic a convex
// polygon's sides never cross.
//
// It follows the walk edge by edge without the rows: within an edge the
// distance between the sides changes evenly, so the first and the last row
// that an edge draws above the last row tell. Products wrap as the walk's
// sums do (a multiple of a step is that many steps added); entries lie
// inside the raster, so neither wraps.
template <typename Arithmetic, int N>
bool sides_cross(const ClipEntry<N>* list, int32_t n, const WalkStart<N>& walk) {
    int32_t last_row = list[0].y;
    for (int32_t i = 1; i < n; ++i) {
        if (list[i].y > last_row) last_row = list[i].y;
    }
    struct Chain {
        int32_t end, direction, dx;
    };
    Chain forward{walk.forward.end, +1, walk.forward.dx};
    Chain backward{walk.backward.end, -1, walk.backward.dx};
    const bool backward_left = walk.backward_left;
    int32_t left = walk.left.x, right = walk.right.x;
    int32_t row = list[walk.top].y;
    // Moves a chain on at its end vertex: its side restarts at that column.
    auto advance = [&](Chain& chain, int32_t& side) {
        const int32_t from = chain.end;
        int32_t to = from + chain.direction;
        if (to < 0) to = n - 1;
        if (to > n - 1) to = 0;
        chain.end = to;
        side = list[from].x * 256;
        const typename Arithmetic::Divisor per_row(edge_rows(list[from], list[to]));
        chain.dx = per_row((list[to].x - list[from].x) * 256);
    };
    for (int32_t iteration = 0; iteration < n - 1; ++iteration) {
        const bool backward_ends = list[forward.end].y > list[backward.end].y;
        Chain& ending = backward_ends ? backward : forward;
        Chain& other = backward_ends ? forward : backward;
        int32_t& ending_side = backward_ends == backward_left ? left : right;
        int32_t& other_side = backward_ends == backward_left ? right : left;
        const int32_t y_end = list[ending.end].y;
        const bool last = iteration == n - 2;
        if (row == y_end) {
            if (row < last_row && left > right) return true;
            if (last) break;
            advance(ending, ending_side);  // the step it takes first is overwritten
            continue;
        }
        if (row < y_end) {
            const uint32_t left_dx = uint32_t(backward_left ? backward.dx : forward.dx);
            const uint32_t right_dx = uint32_t(backward_left ? forward.dx : backward.dx);
            const int32_t last_drawn = y_end < last_row ? y_end : last_row - 1;
            if (row <= last_drawn) {
                const uint32_t steps = uint32_t(last_drawn - row);
                if (left > right || int32_t(uint32_t(left) + steps * left_dx) >
                                        int32_t(uint32_t(right) + steps * right_dx))
                    return true;
            }
            const uint32_t rows = uint32_t(y_end - row + 1);
            left = int32_t(uint32_t(left) + rows * left_dx);
            right = int32_t(uint32_t(right) + rows * right_dx);
            row = y_end + 1;
        }
        if (last) break;
        if (list[other.end].y == y_end) advance(other, other_side);
        advance(ending, ending_side);
    }
    return false;
}

// The shape of a triangle's walk, for three distinct entries: the middle
// corner, where the chain that ends first ends (the forward chain on a tie),
// the bottom corner, the side that restarts at the middle corner, and the
// edge it takes there down to the bottom, set up when the middle corner lies
// above the bottom one.
template <int N>
struct TriangleShape {
    const ClipEntry<N>* middle;
    const ClipEntry<N>* bottom;
    bool left_restarts;
    EdgeChain<N> middle_edge;
};

template <typename Arithmetic, int N>
[[gnu::always_inline]] inline TriangleShape<N> triangle_shape(const ClipEntry<N>* list,
                                                              const WalkStart<N>& walk) {
    const bool backward_ends = list[walk.forward.end].y > list[walk.backward.end].y;
    const int32_t middle = backward_ends ? walk.backward.end : walk.forward.end;
    const int32_t bottom = backward_ends ? walk.forward.end : walk.backward.end;
    TriangleShape<N> shape{&list[middle],
                           &list[bottom],
                           backward_ends == walk.backward_left,
                           {bottom, backward_ends ? -1 : +1, 0, {}}};
    if (shape.middle->y < shape.bottom->y)
        set_down_edge<Arithmetic>(shape.middle_edge, *shape.middle, *shape.bottom);
    return shape;
}

// sides_cross for a triangle, its two edges written out: a pointed top has a
// first edge down to the middle corner (ending on the last row when the
// bottom is level), then the side that ended restarts at the middle corner's
// column for the edge down to the bottom; a level top has only the second
// edge. At the top corner's row the sides stand half a pixel apart, never
// crossed. left_dx and right_dx are the steps of the edges that leave the top
// corner.
template <int N>
[[gnu::noinline]] bool triangle_sides_meet(const ClipEntry<N>& top, const TriangleShape<N>& shape,
                                           uint32_t left_dx, uint32_t right_dx) {
    const ClipEntry<N>& middle = *shape.middle;
    const int32_t last_row = shape.bottom->y;
    uint32_t left = uint32_t(top.x * 256), right = left + 255;
    int32_t row = top.y;
    if (row < middle.y) {
        const int32_t last_drawn = middle.y < last_row ? middle.y : last_row - 1;
        const uint32_t steps = uint32_t(last_drawn - row);
        if (int32_t(left + steps * left_dx) > int32_t(right + steps * right_dx)) return true;
        if (middle.y == last_row) return false;
        const uint32_t rows = uint32_t(middle.y - row + 1);
        left += rows * left_dx;
        right += rows * right_dx;
        row = middle.y + 1;
        if (row == last_row) return false;  // only the last row is left
    }
    if (shape.left_restarts) {
        left = uint32_t(middle.x * 256);
        left_dx = uint32_t(shape.middle_edge.dx);
    } else {
        right = uint32_t(middle.x * 256);
        right_dx = uint32_t(shape.middle_edge.dx);
    }
    const uint32_t steps = uint32_t(last_row - 1 - row);
    return int32_t(left) > int32_t(right) ||
           int32_t(left + steps * left_dx) > int32_t(right + steps * right_dx);
}

// True when the sides of a triangle's walk cannot cross, shown from the steps
// alone, without the products triangle_sides_meet takes. Most triangles pass;
// for the others (broad, flat ones and slivers whose sides nearly meet) the
// question is asked in full. Notation: T, M, B the top, middle and bottom
// corners; D = right side's x - left side's x (8 fraction bits), which must
// stay >= 0 on every row the question asks about; a step s of the edge from
// P down to Q satisfies 256 (Q.x - P.x) = s (Q.y - P.y + 1) + r with
// |r| <= Q.y - P.y (the division truncates).
// - A pointed top (T.y < M.y): down to M's row, D = 255 + k (right_dx -
//   left_dx) after k rows, and on the row after M's, once the side that ends
//   has restarted at M's column, D = 255 + (M.y - T.y + 1)(right_dx -
//   left_dx) - r (the left side restarts) or (M.y - T.y + 1)(right_dx -
//   left_dx) + r (the right side does); with left_dx < right_dx every one of
//   these is positive, as |r| <= M.y - T.y. A level top (T.y = M.y) has the
//   row of T with the side that ends at M's column, and M lies on that
//   side's side of T (the sides follow the outline's turn, backward_is_left,
//   and a triangle with a level top has area): D > 0.
// - From there to the row before B's, D changes evenly, and on that last row
//   it is 255 + m c - 2 s + r_c - r_s (the left side restarted) or 2 s - m c
//   + r_s - r_c (the right one), where c is the step from M down, s the step
//   of the other side's edge from T to B, and m = 3 after a pointed top (the
//   restarted side stands on M's column one row below M and takes c from the
//   row after), 2 after a level top. |r_c| + |r_s| <= 2 B.y - M.y - T.y.
template <int N>
[[gnu::always_inline]] inline bool triangle_sides_stay_apart(const ClipEntry<N>& top,
                                                             const TriangleShape<N>& shape,
                                                             int32_t left_dx, int32_t right_dx) {
    const ClipEntry<N>& middle = *shape.middle;
    const ClipEntry<N>& bottom = *shape.bottom;
    const bool pointed = top.y < middle.y;
    bool apart = !pointed || left_dx < right_dx;
    if (middle.y < bottom.y) {
        const int32_t c = shape.middle_edge.dx;
        const int32_t mc = pointed ? 3 * c : 2 * c;
        const int32_t last = shape.left_restarts ? 255 + mc - 2 * right_dx : 2 * left_dx - mc;
        apart &= last >= 2 * bottom.y - middle.y - top.y;
    }
    return apart;
}

template <int N>
[[gnu::always_inline]] inline bool triangle_sides_cross(const ClipEntry<N>* list,
                                                        const WalkStart<N>& walk,
                                                        const TriangleShape<N>& shape) {
    const int32_t left_dx = walk.backward_left ? walk.backward.dx : walk.forward.dx;
    const int32_t right_dx = walk.backward_left ? walk.forward.dx : walk.backward.dx;
    if (triangle_sides_stay_apart(list[walk.top], shape, left_dx, right_dx)) [[likely]]
        return false;
    return triangle_sides_meet(list[walk.top], shape, uint32_t(left_dx), uint32_t(right_dx));
}

// Draws a convex polygon by the exact walk's CLOSED rule: every pixel whose
// point (x + 1/2, y) lies inside or on the outline, with the attributes
// carried down each edge from corner to corner. For polygons whose walk
// would lose their pixels; never inlined into the walks, which rarely need
// it.
//
// It takes the polygon's own corners, not the clip list: the clip passes
// round their crossings to whole pixels, which moves the outline, and an
// outline so moved can cover pixels the polygon does not. The exact walk
// takes any int32 corners and keeps to the raster's rows and columns. A row
// cut at the raster's left or right border starts or ends with the value the
// attributes take there, interpolated between the row's two edges.
template <int N, typename Span>
[[gnu::noinline]] void walk_exact(const ClipEntry<N>* corners, int32_t n, Span& span) {
    ExactRows<ClipEntry<N>, N> rows;
    if (!rows.start(corners, n, CoverageRule::CLOSED, raster_target.height)) return;
    WalkTarget target{raster_target.pixels, raster_target.width, raster_target.height, 0};
    for (; rows.row <= rows.last_row; rows.step()) {
        int32_t start, end;
        rows.columns(target.width, start, end);
        if (end <= start) continue;
        Side<N> left, right;
        left.x = start * 256;
        right.x = end * 256;
        for (int k = 0; k < (N > 0 ? N : 1); ++k) {
            left.q[k] = N > 0 ? rows.left.q[k] : 0;
            right.q[k] = N > 0 ? rows.right.q[k] : 0;
        }
        if constexpr (N > 0) {
            const int64_t edge_start = rows.left.edge.column, edge_end = rows.right.edge.column;
            if (edge_start < start || edge_end > end) [[unlikely]] {
                // Columns lie in int64, values wrap in int32 as the sides'
                // do; edge_end - edge_start > end - start >= 1.
                const __int128 width = edge_end - edge_start;
                for (int k = 0; k < N; ++k) {
                    const __int128 difference = int64_t(rows.right.q[k]) - int64_t(rows.left.q[k]);
                    left.q[k] =
                        int32_t(uint32_t(rows.left.q[k]) +
                                uint32_t(int64_t(difference * (start - edge_start) / width)));
                    right.q[k] =
                        int32_t(uint32_t(rows.left.q[k]) +
                                uint32_t(int64_t(difference * (end - edge_start) / width)));
                }
            }
        }
        target.pixels_written += end - start;
        span(target.pixels + size_t(rows.row) * size_t(target.width), start, end - start, left,
             right);
    }
    render_stats.pixels_written += target.pixels_written;
}

// The polygon as given, before clipping: the corners walk_exact draws when
// the walk's sides would cross.
template <int N>
struct Corners {
    const ClipEntry<N>* list;
    int32_t n;
};

// True when the walk of the clip list, started as `walk`, would lose pixels
// of a convex polygon: the exact walk then draws the polygon's corners.
// Outlines that are not convex keep the walk, whatever it draws.
template <typename Arithmetic, int N>
[[gnu::always_inline]] inline bool redraw_exactly(const ClipEntry<N>* list, int32_t n,
                                                  const WalkStart<N>& walk,
                                                  const Corners<N>& corners) {
    return sides_cross<Arithmetic>(list, n, walk) && convex_outline(corners.list, corners.n);
}

// Walks the two chains down the polygon from the top vertex, drawing the rows
// between them. The reference form: PlainArithmetic draws with it, and the
// fast walk below must hand the spans the same rows, columns and sides.
template <typename Arithmetic, int N, typename Span>
void walk_polygon(const ClipEntry<N>* list, int32_t n, const Corners<N>& corners, Span& span) {
    WalkStart<N> walk;
    if (!start_walk<Arithmetic>(list, n, walk)) return;
    n = walk.n;
    if (redraw_exactly<Arithmetic>(list, n, walk, corners)) {
        walk_exact(corners.list, corners.n, span);
        return;
    }
    EdgeChain<N>& forward = walk.forward;
    EdgeChain<N>& backward = walk.backward;
    const bool backward_left = walk.backward_left;
    EdgeChain<N>& left_chain = backward_left ? backward : forward;
    EdgeChain<N>& right_chain = backward_left ? forward : backward;
    Side<N>& left = walk.left;
    Side<N>& right = walk.right;

    WalkTarget target{raster_target.pixels, raster_target.width, raster_target.height, 0};
    int32_t row = list[walk.top].y;
    for (int32_t iteration = 0; iteration < n - 1; ++iteration) {
        // The chain whose end vertex comes first ends now; forward on a tie.
        const bool backward_ends = list[forward.end].y > list[backward.end].y;
        EdgeChain<N>& ending = backward_ends ? backward : forward;
        EdgeChain<N>& other = backward_ends ? forward : backward;
        Side<N>& ending_side = backward_ends == backward_left ? left : right;
        Side<N>& other_side = backward_ends == backward_left ? right : left;
        const int32_t y_end = list[ending.end].y;

        if (row == y_end) {
            // An edge without height: draw the row, jump its side once, and
            // stay on the row for the next edge.
            draw_row(target, row, target.pixels + size_t(row) * size_t(target.width), left, right,
                     span);
            step_side(ending_side, ending);
            advance_chain<Arithmetic>(ending, ending_side, list, n);
            continue;
        }
        // Entries lie inside the raster, so y_end < INT32_MAX and the loop ends.
        for (; row <= y_end; ++row) {
            draw_row(target, row, target.pixels + size_t(row) * size_t(target.width), left, right,
                     span);
            step_side(left, left_chain);
            step_side(right, right_chain);
        }
        if (list[other.end].y == y_end) advance_chain<Arithmetic>(other, other_side, list, n);
        advance_chain<Arithmetic>(ending, ending_side, list, n);
    }
    render_stats.pixels_written += target.pixels_written;
}

// The rows of the walk of the fast fills from `walk` on, row for row the
// walk above: rows(row, row_pixels, left, right) for each row it draws, in
// order. The chains are named by the side they feed and every chain, side and
// step is a local reached by name, never through a reference chosen at run
// time, so that the compiler keeps them in registers; the row is inlined into
// the row loop. After the last edge's rows nothing reads the chains or sides
// again.
//
// Rows::REDRAWS false: a row that the walk draws for an edge without height
// and then again for the next edge is handed over once, the second time.
template <typename Arithmetic, int N, typename Rows>
[[gnu::always_inline]] inline void walk_rows(const ClipEntry<N>* list, int32_t n,
                                             const WalkStart<N>& walk, Rows& rows) {
    const bool backward_left = walk.backward_left;
    EdgeChain<N> left_chain = backward_left ? walk.backward : walk.forward;
    EdgeChain<N> right_chain = backward_left ? walk.forward : walk.backward;
    Side<N> left = walk.left;
    Side<N> right = walk.right;

    const int32_t width = raster_target.width;
    int32_t row = list[walk.top].y;
    // The top row lies inside the raster, and the walk stays within the
    // entries' rows.
    uint16_t* row_pixels = raster_target.pixels + size_t(row) * size_t(width);
    for (int32_t iteration = 0; iteration < n - 1; ++iteration) {
        const int32_t left_y = list[left_chain.end].y;
        const int32_t right_y = list[right_chain.end].y;
        // The forward chain ends on a tie.
        const bool left_ends = left_y < right_y || (left_y == right_y && !backward_left);
        const int32_t y_end = left_ends ? left_y : right_y;
        const bool last = iteration == n - 2;

        if (row == y_end) {
            if (Rows::REDRAWS || last) rows(row, row_pixels, left, right);
            if (last) break;
            if (left_ends) {
                step_side(left, left_chain);
                advance_chain<Arithmetic>(left_chain, left, list, n);
            } else {
                step_side(right, right_chain);
                advance_chain<Arithmetic>(right_chain, right, list, n);
            }
            continue;
        }
        for (; row <= y_end; ++row, row_pixels += width) {
            rows(row, row_pixels, left, right);
            step_side(left, left_chain);
            step_side(right, right_chain);
        }
        if (last) break;
        if (left_ends) {
            if (right_y == y_end) advance_chain<Arithmetic>(right_chain, right, list, n);
            advance_chain<Arithmetic>(left_chain, left, list, n);
        } else {
            if (left_y == y_end) advance_chain<Arithmetic>(left_chain, left, list, n);
            advance_chain<Arithmetic>(right_chain, right, list, n);
        }
    }
}

// walk_rows for a triangle of three distinct entries, its two edges written
// out (see TriangleShape): the rows down to the middle corner with the edges
// that leave the top, then, when the bottom is not level, the side that
// ended restarts at the middle corner's column with the middle edge's step
// (its attributes go on from where they are) and the rows go down to the
// bottom. A level top edge ends at once: its row is handed over, and again
// with the next edge when REDRAWS, and the side that ends takes its step once.
//
// Rows::ENDS_ABOVE_BOTTOM: the rows take neither the bottom corner's row nor,
// when the bottom is level, the middle corner's, and a pointed top's middle
// corner row as rows.middle_row(...), so that the rows need not ask on every
// row whether an edge ended.
template <typename Rows>
constexpr bool rows_end_above_bottom() {
    if constexpr (requires { Rows::ENDS_ABOVE_BOTTOM; })
        return Rows::ENDS_ABOVE_BOTTOM;
    else
        return false;
}

template <typename Arithmetic, int N, typename Rows>
[[gnu::always_inline]] inline void walk_triangle_rows(const ClipEntry<N>* list,
                                                      const WalkStart<N>& walk,
                                                      const TriangleShape<N>& shape, Rows& rows) {
    const bool backward_left = walk.backward_left;
    EdgeChain<N> left_chain = backward_left ? walk.backward : walk.forward;
    EdgeChain<N> right_chain = backward_left ? walk.forward : walk.backward;
    Side<N> left = walk.left;
    Side<N> right = walk.right;
    const int32_t width = raster_target.width;
    const int32_t middle_y = shape.middle->y, bottom_y = shape.bottom->y;
    int32_t row = list[walk.top].y;
    uint16_t* row_pixels = raster_target.pixels + size_t(row) * size_t(width);
    if (row < middle_y) {
        if constexpr (Rows::SKIPS_EMPTY) {
            // The top corner's own row is empty: the sides stand within its
            // pixel, at its column and 255 past it.
            step_side(left, left_chain);
            step_side(right, right_chain);
            ++row;
            row_pixels += width;
        }
        constexpr bool ABOVE_BOTTOM = rows_end_above_bottom<Rows>();
        for (; ABOVE_BOTTOM ? row < middle_y : row <= middle_y; ++row, row_pixels += width) {
            rows(row, row_pixels, left, right);
            step_side(left, left_chain);
            step_side(right, right_chain);
        }
        if (middle_y == bottom_y) return;  // a level bottom: that was the last row
        if constexpr (ABOVE_BOTTOM) {
            rows.middle_row(row, row_pixels, left, right);
            step_side(left, left_chain);
            step_side(right, right_chain);
            ++row;
            row_pixels += width;
        }
    } else {
        if (Rows::REDRAWS) rows(row, row_pixels, left, right);
        if (shape.left_restarts) {
            step_side(left, left_chain);
        } else {
            step_side(right, right_chain);
        }
    }
    if (shape.left_restarts) {
        left.x = shape.middle->x * 256;
        left_chain = shape.middle_edge;
    } else {
        right.x = shape.middle->x * 256;
        right_chain = shape.middle_edge;
    }
    for (; rows_end_above_bottom<Rows>() ? row < bottom_y : row <= bottom_y;
         ++row, row_pixels += width) {
        rows(row, row_pixels, left, right);
        step_side(left, left_chain);
        step_side(right, right_chain);
    }
}

// The rows of the fast walk drawn as they come; a row without pixels draws
// nothing and need not be handed over (SKIPS_EMPTY).
template <bool SMALL_INSIDE, typename Span>
struct SpanRows {
    static constexpr bool REDRAWS = true;
    static constexpr bool SKIPS_EMPTY = true;
    WalkTarget target;
    Span& span;

    template <int N>
    [[gnu::always_inline]] void operator()(int32_t row, uint16_t* row_pixels, const Side<N>& left,
                                           const Side<N>& right) {
        draw_row<SMALL_INSIDE>(target, row, row_pixels, left, right, span);
    }
};

template <typename Arithmetic, bool SMALL_INSIDE, bool TRIANGLE, int N, typename Span>
[[gnu::always_inline]] inline void walk_polygon_fast_rows(const ClipEntry<N>* list, int32_t n,
                                                          const Corners<N>& corners, Span& span) {
    WalkStart<N> walk;
    SpanRows<SMALL_INSIDE, Span> rows{
        {raster_target.pixels, raster_target.width, raster_target.height, 0}, span};
    if constexpr (TRIANGLE) {
        start_triangle_walk<Arithmetic>(list, walk);
        const TriangleShape<N> shape = triangle_shape<Arithmetic>(list, walk);
        if (triangle_sides_cross(list, walk, shape) && convex_outline(corners.list, corners.n)) {
            walk_exact(corners.list, corners.n, span);
            return;
        }
        walk_triangle_rows<Arithmetic>(list, walk, shape, rows);
    } else {
        if (!start_walk<Arithmetic>(list, n, walk)) return;
        n = walk.n;
        if (redraw_exactly<Arithmetic>(list, n, walk, corners)) {
            walk_exact(corners.list, corners.n, span);
            return;
        }
        walk_rows<Arithmetic>(list, n, walk, rows);
    }
    render_stats.pixels_written += rows.target.pixels_written;
}

template <typename Arithmetic, bool SMALL_INSIDE, int N, typename Span>
void walk_polygon_fast(const ClipEntry<N>* list, int32_t n, const Corners<N>& corners, Span& span) {
    // Triangles inside a small raster, the common polygon, have a walk of
    // their own.
    if (SMALL_INSIDE && n == 3 && !same_point(list[2], list[1]) && !same_point(list[2], list[0])) {
        walk_polygon_fast_rows<Arithmetic, SMALL_INSIDE, SMALL_INSIDE>(list, n, corners, span);
    } else {
        walk_polygon_fast_rows<Arithmetic, SMALL_INSIDE, false>(list, n, corners, span);
    }
}

// The walk the arithmetic calls for, of the clip list of the polygon with
// `corners`; SMALL_INSIDE as for draw_row.
template <typename Arithmetic, bool SMALL_INSIDE = false, int N, typename Span>
inline void walk(const ClipEntry<N>* list, int32_t n, const Corners<N>& corners, Span& span) {
    if constexpr (Arithmetic::FAST_PATHS) {
        walk_polygon_fast<Arithmetic, SMALL_INSIDE>(list, n, corners, span);
    } else {
        walk_polygon<Arithmetic>(list, n, corners, span);
    }
}

}  // namespace polygon_detail

// The crossings of the edge from the outside entry a to b with the left or
// right border (x) and the top or bottom border (y), every attribute carried.
template <int N>
ClipEntry<N> clip_intersect_x(const ClipEntry<N>& a, const ClipEntry<N>& b) {
    return polygon_detail::clip_intersect<true>(a, b);
}
template <int N>
ClipEntry<N> clip_intersect_y(const ClipEntry<N>& a, const ClipEntry<N>& b) {
    return polygon_detail::clip_intersect<false>(a, b);
}

// The clip list of a polygon: entries inside the raster are only turned by
// two, as the clip passes would turn them (the fast arithmetic skips the
// passes then), others go through both passes. Returns the count.
template <int N, typename Arithmetic>
[[gnu::always_inline]] inline int32_t clip_polygon(const ClipEntry<N>* vertices, int32_t n,
                                                   ClipEntry<N>* clipped, bool& inside) {
    inside = false;
    if constexpr (Arithmetic::FAST_PATHS) {
        // With every entry inside, each pass appends the end of every edge,
        // which turns the loop by one entry: two passes give entry i + 2 at i.
        const uint32_t last_column = uint32_t(raster_target.width - 1);
        const uint32_t last_row = uint32_t(raster_target.height - 1);
        inside = true;
        for (int32_t i = 0; i < n; ++i) {
            inside &=
                (uint32_t(vertices[i].x) <= last_column) & (uint32_t(vertices[i].y) <= last_row);
        }
        if (inside) {
            if (n == 3) {  // the common case, spelled out
                clipped[0] = vertices[2];
                clipped[1] = vertices[0];
                clipped[2] = vertices[1];
            } else {
                // (i + 2) modulo n, for n of 1..4
                static constexpr int8_t TURNED[MAX_POLYGON_VERTICES + 1][MAX_POLYGON_VERTICES] = {
                    {}, {0}, {0, 1}, {2, 0, 1}, {2, 3, 0, 1}};
                for (int32_t i = 0; i < n; ++i) {
                    clipped[i] = vertices[TURNED[n][i]];
                }
            }
            return n;
        }
    }
    ClipEntry<N> x_clipped[CLIP_LIST_CAPACITY];
    const int32_t x_count = polygon_detail::clip_pass<true>(vertices, n, x_clipped);
    return polygon_detail::clip_pass<false>(x_clipped, x_count, clipped);
}

// Draws the convex polygon of n entries (3 or 4; others draw nothing), taken
// as a closed loop in the given order, through the raster target. Draws
// nothing when the target has no pixels or no area.
template <int N, typename Arithmetic = FastArithmetic, typename Span>
void fill_polygon(const ClipEntry<N>* vertices, int32_t n, Span&& span) {
    if (raster_target.pixels == nullptr || raster_target.width < 1 || raster_target.height < 1)
        return;
    if (n < 1 || n > MAX_POLYGON_VERTICES) return;
    ClipEntry<N> clipped[CLIP_LIST_CAPACITY];
    bool inside;
    const int32_t count = clip_polygon<N, Arithmetic>(vertices, n, clipped, inside);
    const polygon_detail::Corners<N> corners{vertices, n};
    if (inside && raster_target.width < RECIPROCAL_TABLE_LIMIT)
        polygon_detail::walk<Arithmetic, true>(clipped, count, corners, span);
    else
        polygon_detail::walk<Arithmetic>(clipped, count, corners, span);
}

// fill_polygon for the triangle a, b, c, with the same pixels: one inside a
// raster narrower than RECIPROCAL_TABLE_LIMIT goes to the triangle's walk at
// once, its entries turned by two as the clip passes would turn them.
template <int N, typename Arithmetic = FastArithmetic, typename Span>
[[gnu::always_inline]] inline void fill_triangle(const ClipEntry<N>& a, const ClipEntry<N>& b,
                                                 const ClipEntry<N>& c, Span&& span) {
    if constexpr (Arithmetic::FAST_PATHS) {
        const int32_t width = raster_target.width, height = raster_target.height;
        // The largest coordinates, read unsigned: a negative one is outside.
        auto largest = [](int32_t p, int32_t q, int32_t r) {
            const uint32_t pq = uint32_t(p) > uint32_t(q) ? uint32_t(p) : uint32_t(q);
            return pq > uint32_t(r) ? pq : uint32_t(r);
        };
        if (raster_target.pixels != nullptr && width >= 1 && width < RECIPROCAL_TABLE_LIMIT &&
            height >= 1 && largest(a.x, b.x, c.x) < uint32_t(width) &&
            largest(a.y, b.y, c.y) < uint32_t(height) && !polygon_detail::same_point(b, a) &&
            !polygon_detail::same_point(b, c)) {
            // The turned list is the same loop of corners, inside the raster.
            const ClipEntry<N> list[3] = {c, a, b};
            polygon_detail::walk_polygon_fast_rows<Arithmetic, true, true>(list, 3, {list, 3},
                                                                           span);
            return;
        }
    }
    const ClipEntry<N> vertices[3] = {a, b, c};
    fill_polygon<N, Arithmetic>(vertices, 3, span);
}
