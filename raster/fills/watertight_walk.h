// The walk of polygons drawn watertight (packets with POLY_WATERTIGHT): the
// pixels of the exact walk's WATERTIGHT rule (exact_walk.h) on the polygon's
// own corners, so that polygons sharing an edge share its pixels out exactly,
// along the raster's borders too, with the values the shared walk
// (polygon_pipeline.h) gives the row.
//
// The values: the shared walk draws every row with its two sides, and its
// span runs from the left side's column over as many pixels as lie between
// the sides. Here the shared walk runs as ever, and each row it draws is
// handed to the span as
//   span.draw_continued<LIMITED>(row, start, count, walk_start, walk_count,
//                                left, right, limits),
// to be drawn over the exact walk's columns start .. start + count - 1 with
// the run of the walk's span (from walk_start over walk_count pixels), as
// hold_run (polygon_pipeline.h) lays it: a pixel the walk draws keeps its
// value, one left of the walk's span takes the run's first value, one right
// of it the value the run reaches one pixel past its last, never the run
// stepped on further. A walk_count below 1, a row the walk leaves empty or
// does not reach, gives a run over the exact columns themselves from one
// side's values to the other's. LIMITED, values that leave what the range
// of the polygon's corners allows (CornerRange, the span's Limits of it) are
// kept to it; a triangle whose walk cannot stray that far
// (span.keeps_within) is drawn without the test. So only pixels along edges
// change, and those that would leave the corners' range.
//
// Rows the walk draws twice, for an edge without height and again for the
// next edge, are handed over once, the second time (REDRAWS false), or, when
// the walk does not reach them again, with the nearest sides it had.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <type_traits>

#include "raster/fills/exact_walk.h"
#include "raster/fills/polygon_pipeline.h"

namespace polygon_detail {

// False for a span whose draw_continued draws the same pixels whatever the
// walk's sides and run (READS_SIDES false), such as one value's span.
template <typename Span>
constexpr bool span_reads_sides() {
    if constexpr (requires { std::remove_cvref_t<Span>::READS_SIDES; })
        return std::remove_cvref_t<Span>::READS_SIDES;
    else
        return true;
}

// An edge of the exact walk in a triangle inside a raster narrower than
// RECIPROCAL_TABLE_LIMIT: every value fits 32 bits, and edges start on their
// upper corner's row. The plain arithmetic's edge, stepped as exact_walk.h
// steps its edges.
struct SmallExactEdge {
    int32_t column;       // first column at or right of the edge, see exact_walk.h
    int32_t remainder;    // column * D - N, 0 <= remainder < D
    int32_t whole, part;  // 2 dx = whole * D + part, 0 <= part < D
    int32_t denominator;  // D = 2 dy
    int32_t lower_x, lower_y;

    template <typename Arithmetic>
    [[gnu::always_inline]] static SmallExactEdge from(int32_t ax, int32_t ay, int32_t bx,
                                                      int32_t by) {
        const int32_t dy = by - ay;  // at least 1
        const int32_t dx = bx - ax;
        const typename Arithmetic::CountDivisor per_row(dy);
        int32_t whole = per_row(dx);  // truncated, then made the floor
        int32_t rest = dx - whole * dy;
        if (rest < 0) {
            --whole;
            rest += dy;
        }
        return {ax, dy, whole, 2 * rest, 2 * dy, bx, by};
    }
    int32_t current_column() const { return column; }
    [[gnu::always_inline]] void step() {
        column += whole;
        remainder -= part;
        const int32_t borrow = remainder >> 31;  // all ones when it fell below 0
        column -= borrow;
        remainder += denominator & borrow;
    }
};

// The same edge for the fast arithmetic, as one fixed-point value with
// SHIFT fraction bits that a row moves by one addition, for edges of at
// most RECIPROCAL_TABLE_LIMIT rows whose ends lie inside such a raster.
//
// Why it gives the exact walk's columns: on row y the column is
// ceil(N / D) (exact_walk.h), and N / D is a multiple of 1 / D, so the
// column is floor(N / D + t) for any t with 1 - 1/D <= t < 1. The value
// starts at a.x + 1/2 - G on the upper corner's row (N / D = a.x - 1/2
// there) with G <= 1/D: t starts at 1 - G, at least 1 - 1/D. It steps by
// at least dx / dy, so t never falls, and it must not reach 1: t stays
// below 1 while its growth, k rows' excess steps, stays below G.
// With the reciprocal of dy (multiplier m = floor(2^s / dy) + 1, s = 31 +
// l, dy > 2^(l - 1), pipeline_arithmetic.h), scaled to SHIFT bits:
// - 2^SHIFT / dy lies between (m - 1) 2^(SHIFT - s) and m 2^(SHIFT - s),
//   which are 2^(SHIFT - s) apart. The step is dx times the upper one when
//   dx >= 0 and times the lower one when dx < 0: at least dx / dy, and in
//   excess by less than |dx| 2^(SHIFT - s) units of 2^-SHIFT, so that k <
//   dy <= 2^l rows exceed by less than |dx| 2^(SHIFT - 31) < 2^20 units;
// - G is half the lower one, floored: at most 2^(SHIFT - 1) / dy units =
//   1/D, short of it by less than 2^(SHIFT - s - 1) + 1 <= 2^9 + 1 units,
//   so above 2^40 / 1024 - 2^10 > 2^20 units.
// Values stay below 2^52: columns below 2^10, steps below 2^11 columns.
//
// The two bounds on 2^SHIFT / dy depend on dy alone and come from a table:
// with them the step is dx times the lower one when dx < 0, else dx times
// the upper one, which is dx times the lower plus dx 2^(SHIFT - s).
inline constexpr int STEPPED_EDGE_SHIFT = 41;  // s is at most 41 for dy up to 1024

struct SteppedEdgeBounds {
    int64_t lower, upper;  // (m - 1) 2^(SHIFT - s) and m 2^(SHIFT - s)
};

inline constexpr auto STEPPED_EDGE_BOUNDS = [] {
    std::array<SteppedEdgeBounds, RECIPROCAL_TABLE_LIMIT + 1> bounds{};
    for (int32_t dy = 1; dy <= RECIPROCAL_TABLE_LIMIT; ++dy) {
        const Reciprocal reciprocal = RECIPROCAL_TABLE[dy];
        const uint32_t up = uint32_t(STEPPED_EDGE_SHIFT) - reciprocal.shift;
        const int64_t lower = int64_t(reciprocal.multiplier - 1) << up;
        bounds[dy] = {lower, lower + (int64_t(1) << up)};
    }
    return bounds;
}();

struct SteppedExactEdge {
    static constexpr int SHIFT = STEPPED_EDGE_SHIFT;
    int64_t position;  // (N / D + t) 2^SHIFT
    int64_t per_row;   // the step, at least (dx / dy) 2^SHIFT
    int32_t lower_x, lower_y;

    template <typename Arithmetic>
    [[gnu::always_inline]] static SteppedExactEdge from(int32_t ax, int32_t ay, int32_t bx,
                                                        int32_t by) {
        const int32_t dx = bx - ax;
        const SteppedEdgeBounds& bounds = STEPPED_EDGE_BOUNDS[by - ay];  // 1 .. the table's limit
        // The upper bound unless dx < 0, without a branch: the sign of an
        // edge's slope varies from one edge to the next.
        const int64_t bound = bounds.lower + ((bounds.upper - bounds.lower) & ~(int64_t(dx) >> 63));
        const int64_t per_row = int64_t(dx) * bound;
        return {(int64_t(ax) << SHIFT) + (int64_t(1) << (SHIFT - 1)) - (bounds.lower >> 1), per_row,
                bx, by};
    }
    int32_t current_column() const { return int32_t(position >> SHIFT); }
    [[gnu::always_inline]] void step() { position += per_row; }
};

// The edge the arithmetic steps with.
template <typename Arithmetic>
using TriangleEdge = std::conditional_t<Arithmetic::FAST_PATHS, SteppedExactEdge, SmallExactEdge>;

// What a row drawn without LIMITED hands the span for its limits.
struct NoLimits {};

// The rows of a triangle inside a small raster: its exact edges run with the
// shared walk's rows, which start on the same top row. The exact walk's
// columns lie between the corners' columns, so no clamp is needed. LIMITED:
// the span keeps its values to the corners' range.
template <typename Arithmetic, int N, typename Span, bool LIMITED>
struct WatertightTriangleRows {
    static constexpr bool REDRAWS = false;
    // The top corner's own row, when the corner is pointed, has no pixel:
    // the exact edges start a row lower (see walk_watertight_triangle).
    static constexpr bool SKIPS_EMPTY = true;
    // The bottom row belongs to what lies below; the edge that ends at a
    // pointed top's middle corner goes on from its row (middle_row).
    static constexpr bool ENDS_ABOVE_BOTTOM = true;
    Span& span;
    [[no_unique_address]] std::conditional_t<LIMITED, typename Span::Limits, NoLimits> limits;
    TriangleEdge<Arithmetic> left, right;
    int32_t bottom_x, bottom_y;
    int32_t next_corner_y;  // the first row where an edge ends: the lower of the two
    int64_t pixels_written;

    // The middle corner's row, above the bottom corner's: the edge that ends
    // there goes on to the bottom corner.
    [[gnu::always_inline]] void middle_row(int32_t row, uint16_t* row_pixels,
                                           const Side<N>& walk_left, const Side<N>& walk_right) {
        if (row == left.lower_y) on_to_bottom(left, row);
        if (row == right.lower_y) on_to_bottom(right, row);
        draw(row_pixels, walk_left, walk_right);
    }

    // middle_row when the caller knows the side whose edge ends there (the
    // left one when LEFT).
    template <bool LEFT>
    [[gnu::always_inline]] void turning_row(int32_t row, uint16_t* row_pixels,
                                            const Side<N>& walk_left, const Side<N>& walk_right) {
        on_to_bottom(LEFT ? left : right, row);
        draw(row_pixels, walk_left, walk_right);
    }

    // An edge that ends on `row` goes on from its lower corner to the
    // bottom corner.
    [[gnu::always_inline]] void on_to_bottom(TriangleEdge<Arithmetic>& edge, int32_t row) {
        edge = TriangleEdge<Arithmetic>::template from<Arithmetic>(edge.lower_x, row, bottom_x,
                                                                   bottom_y);
    }

    // Any other row above the bottom corner's.
    [[gnu::always_inline]] void operator()(int32_t /*row*/, uint16_t* row_pixels,
                                           const Side<N>& walk_left, const Side<N>& walk_right) {
        draw(row_pixels, walk_left, walk_right);
    }

    [[gnu::always_inline]] void draw(uint16_t* row_pixels, const Side<N>& walk_left,
                                     const Side<N>& walk_right) {
        const int32_t left_column = left.current_column();
        const int32_t count = right.current_column() - left_column;
        if (count > 0) {
            const int32_t walk_start = walk_left.x >> 8;
            const int32_t walk_count = (walk_right.x >> 8) - walk_start;
            // Both lie within the corners' columns, inside the raster (the
            // walk's sides as draw_row says), so a span divides through the
            // reciprocal table without testing the count's size.
            if (count >= RECIPROCAL_TABLE_LIMIT || walk_count >= RECIPROCAL_TABLE_LIMIT)
                __builtin_unreachable();
            pixels_written += count;
            span.template draw_continued<LIMITED>(row_pixels, left_column, count, walk_start,
                                                  walk_count, walk_left, walk_right, limits);
        }
        left.step();
        right.step();
    }
};

// The shared walk's rows of a triangle with area, handed to `rows`
// (WatertightTriangleRows) as walk_triangle_rows hands them, from the top
// corner t, the first of the highest, and the corners l and r where its
// left and right chains end: the sides and their steps are the same, but
// only the edges walked are set up, once the shape is known, and each side
// restarts where the shape says without asking on every row. A level top
// edge's side starts at its other corner (its one step along that edge
// reaches that corner's column and value); a pointed top's empty row is
// passed over; the middle corner's row turns the exact edge that ends there
// (turning_row) before the walk's side restarts at that corner's column.
template <typename Arithmetic, int N, typename Rows>
[[gnu::always_inline]] inline void walk_sorted_triangle(const ClipEntry<N>& t,
                                                        const ClipEntry<N>& l,
                                                        const ClipEntry<N>& r, Rows& rows) {
    const int32_t width = raster_target.width;
    uint16_t* row_pixels = raster_target.pixels + size_t(t.y) * size_t(width);
    EdgeChain<N> left_chain, right_chain;  // only the steps are read
    Side<N> left, right;
    // An edge's rows, one more than its height, are at most the table's
    // limit (the triangle is less tall than that): its divisor is the
    // table's, without the test for a larger one.
    auto down_edge = [](EdgeChain<N>& chain, const ClipEntry<N>& a, const ClipEntry<N>& b) {
        if (uint32_t(b.y - a.y) >= uint32_t(RECIPROCAL_TABLE_LIMIT)) __builtin_unreachable();
        set_down_edge<Arithmetic>(chain, a, b);
    };
    auto start_side = [](Side<N>& side, const ClipEntry<N>& corner, int32_t x) {
        side.x = x;
#pragma GCC unroll 8
        for (int k = 0; k < N; ++k)
            side.q[k] = corner.q[k] * 256;
        if constexpr (N == 0) side.q[0] = 0;  // the unread slot
    };
    // The rows run in at most two stretches: down to the middle corner's row,
    // which turns one side (turn: 1 the left, 2 the right, 0 none), and on
    // to the bottom corner's. One loop serves both, so that the span's row
    // is laid out once.
    int32_t turn = 0;
    const ClipEntry<N>* bottom;
    if (l.y == t.y) {
        // A level top, the left chain along it: the left side starts at l.
        start_side(left, l, l.x * 256);
        start_side(right, t, t.x * 256 + 255);
        down_edge(left_chain, l, r);
        down_edge(right_chain, t, r);
        bottom = &r;
    } else if (r.y == t.y) {
        start_side(left, t, t.x * 256);
        start_side(right, r, r.x * 256);
        down_edge(left_chain, t, l);
        down_edge(right_chain, r, l);
        bottom = &l;
    } else {
        // A pointed top: both sides start within its pixel, and its row is
        // empty.
        start_side(left, t, t.x * 256);
        start_side(right, t, t.x * 256 + 255);
        down_edge(left_chain, t, l);
        down_edge(right_chain, t, r);
        step_side(left, left_chain);
        step_side(right, right_chain);
        row_pixels += width;
        turn = l.y < r.y ? 1 : r.y < l.y ? 2 : 0;
        bottom = l.y < r.y ? &l : &r;  // where the first stretch ends
    }
    for (;;) {
        uint16_t* const end = raster_target.pixels + size_t(bottom->y) * size_t(width);
        for (; row_pixels != end; row_pixels += width) {
            rows.draw(row_pixels, left, right);
            step_side(left, left_chain);
            step_side(right, right_chain);
        }
        if (turn == 0) return;
        // The middle corner's row; then the side that ended there steps its
        // value on once more and restarts at the corner's column, its edge
        // running on to the other chain's end.
        auto turn_side = [&](auto left_turns) __attribute__((always_inline)) {
            constexpr bool LEFT = decltype(left_turns)::value;
            const ClipEntry<N>& corner = LEFT ? l : r;
            rows.template turning_row<LEFT>(corner.y, row_pixels, left, right);
            step_side(left, left_chain);
            step_side(right, right_chain);
            (LEFT ? left : right).x = corner.x * 256;
            down_edge(LEFT ? left_chain : right_chain, corner, LEFT ? r : l);
            bottom = LEFT ? &r : &l;
        };
        if (turn == 1)
            turn_side(std::true_type{});
        else
            turn_side(std::false_type{});
        row_pixels += width;
        turn = 0;
    }
}

// A triangle of three distinct entries inside a raster narrower than
// RECIPROCAL_TABLE_LIMIT, less tall than that (its corners' rows differ by
// less). Its exact chains from the top corner: a
// level top edge is passed over, and each side runs down to the bottom corner, the one with the
// middle corner in two edges.
template <typename Arithmetic, int N, typename Span>
[[gnu::always_inline]] inline void walk_watertight_triangle(const ClipEntry<N>* list, Span& span) {
    const int64_t twice_area = int64_t(list[1].x - list[0].x) * (list[2].y - list[0].y) -
                               int64_t(list[2].x - list[0].x) * (list[1].y - list[0].y);
    if (twice_area == 0) return;  // no point lies inside
    // The first of the highest corners and the corners after and before it,
    // as start_triangle_walk finds them.
    int32_t top = list[1].y < list[0].y ? 1 : 0;
    top = list[2].y < list[top].y ? 2 : top;
    const int32_t forward_end = top == 2 ? 0 : top + 1;
    const int32_t backward_end = top == 0 ? 2 : top - 1;
    // A clockwise outline (y down: positive area) has its backward chain on
    // the left, as start_walk found from the same sum.
    const int32_t left_corner = twice_area > 0 ? backward_end : forward_end;
    const int32_t right_corner = twice_area > 0 ? forward_end : backward_end;
    const ClipEntry<N>& t = list[top];
    const ClipEntry<N>& l = list[left_corner];
    const ClipEntry<N>& r = list[right_corner];
    WatertightTriangleRows<Arithmetic, N, Span, false> rows{span, {}, {}, {}, 0, 0, 0, 0};
    int32_t first_row = t.y;
    if (l.y == t.y) {
        rows.left = TriangleEdge<Arithmetic>::template from<Arithmetic>(l.x, l.y, r.x, r.y);
        rows.right = TriangleEdge<Arithmetic>::template from<Arithmetic>(t.x, t.y, r.x, r.y);
        rows.bottom_x = r.x;
        rows.bottom_y = r.y;
    } else if (r.y == t.y) {
        rows.left = TriangleEdge<Arithmetic>::template from<Arithmetic>(t.x, t.y, l.x, l.y);
        rows.right = TriangleEdge<Arithmetic>::template from<Arithmetic>(r.x, r.y, l.x, l.y);
        rows.bottom_x = l.x;
        rows.bottom_y = l.y;
    } else {
        rows.left = TriangleEdge<Arithmetic>::template from<Arithmetic>(t.x, t.y, l.x, l.y);
        rows.right = TriangleEdge<Arithmetic>::template from<Arithmetic>(t.x, t.y, r.x, r.y);
        const bool left_lower = l.y > r.y;
        rows.bottom_x = left_lower ? l.x : r.x;
        rows.bottom_y = left_lower ? l.y : r.y;
        // A pointed top: both edges start at its column, so its row is
        // empty, and the walk passes it over (SKIPS_EMPTY).
        rows.left.step();
        rows.right.step();
        first_row = t.y + 1;
    }
    rows.next_corner_y =
        rows.left.lower_y < rows.right.lower_y ? rows.left.lower_y : rows.right.lower_y;
    if constexpr (span_reads_sides<Span>()) {
        // Each form sets up its own walk, which then stays in registers.
        // One light's span takes the walk set up from the sorted corners;
        // spans of more values keep the shared walk, whose rows then spill less.
        auto walk_with = [&](auto& walked) __attribute__((always_inline)) {
            if constexpr (N <= 1) {
                walk_sorted_triangle<Arithmetic>(t, l, r, walked);
            } else {
                WalkStart<N> walk;
                start_triangle_walk<Arithmetic>(list, walk, twice_area);
                walk_triangle_rows<Arithmetic>(list, walk, triangle_shape<Arithmetic>(list, walk),
                                               walked);
            }
        };
        // Most triangles' corners lie far enough inside what the span draws
        // alike that the walk's straying cannot take a value out of it.
        if (span.keeps_within(list, rows.bottom_y - t.y + 1)) [[likely]] {
            walk_with(rows);
        } else {
            WatertightTriangleRows<Arithmetic, N, Span, true> limited{
                span,
                span.limits(corner_range(list, 3)),
                rows.left,
                rows.right,
                rows.bottom_x,
                rows.bottom_y,
                rows.next_corner_y,
                0};
            walk_with(limited);
            rows.pixels_written = limited.pixels_written;
        }
    } else {
        // The shared walk hands over every row from first_row to the bottom
        // corner's, whose own row draws nothing; a span that does not
        // read the sides needs only the rows.
        const Side<N> none{};
        const int32_t width = raster_target.width;
        uint16_t* row_pixels = raster_target.pixels + size_t(first_row) * size_t(width);
        int32_t row = first_row;
        for (; row < rows.next_corner_y; ++row, row_pixels += width)
            rows(row, row_pixels, none, none);
        if (row < rows.bottom_y) {
            rows.middle_row(row, row_pixels, none, none);
            for (++row, row_pixels += width; row < rows.bottom_y; ++row, row_pixels += width)
                rows(row, row_pixels, none, none);
        }
    }
    render_stats.pixels_written += rows.pixels_written;
}

// The rows of any other polygon: the exact walk on the unclipped corners,
// whose rows may begin above or end below the clipped outline's; those are
// drawn with the nearest sides the walk had. Its walk can stray far from its
// corners' range (CornerRange), so the span always keeps its values to it
// (its Limits).
template <typename Span, int N>
struct WatertightRows {
    static constexpr bool REDRAWS = false;
    Span& span;
    typename Span::Limits limits;
    ExactRows<ClipEntry<N>> exact;
    Side<N> last_left, last_right;
    int64_t pixels_written;

    // The exact walk's current row, with the walk's sides; walked: the walk
    // draws this row with them.
    [[gnu::always_inline]] void draw(const Side<N>& left, const Side<N>& right, bool walked) {
        const int32_t width = raster_target.width;
        int32_t start, end;
        exact.columns(width, start, end);
        if (end > start) {
            const int32_t walk_start = left.x >> 8;
            const int32_t walk_count = walked ? (right.x >> 8) - walk_start : 0;
            pixels_written += end - start;
            span.template draw_continued<true>(
                raster_target.pixels + size_t(exact.row) * size_t(width), start, end - start,
                walk_start, walk_count, left, right, limits);
        }
        exact.step();
    }

    [[gnu::always_inline]] void operator()(int32_t row, uint16_t*, const Side<N>& left,
                                           const Side<N>& right) {
        if (exact.row != row) [[unlikely]] {
            catch_up(row, left, right);
            if (exact.row != row) return;
        }
        if (row <= exact.last_row) draw(left, right, true);
        last_left = left;
        last_right = right;
    }

    // Rows of the exact walk above the walk's `row` (the walk, on the
    // clipped outline, may start a row or so lower) with its sides there.
    [[gnu::noinline]] void catch_up(int32_t row, const Side<N>& left, const Side<N>& right) {
        while (exact.row < row && exact.row <= exact.last_row)
            draw(left, right, false);
        last_left = left;
        last_right = right;
    }

    void finish() {
        while (exact.row <= exact.last_row)
            draw(last_left, last_right, false);
    }
};

template <typename Arithmetic, int N, typename Span>
void walk_watertight(const ClipEntry<N>* list, int32_t n, const ClipEntry<N>* corners,
                     int32_t corner_count, Span& span) {
    WatertightRows<Span, N> rows{span, {}, {}, {}, {}, 0};
    if (!rows.exact.start(corners, corner_count, CoverageRule::WATERTIGHT, raster_target.height))
        return;
    if constexpr (span_reads_sides<Span>())
        rows.limits = span.limits(corner_range(corners, corner_count));
    // Until the walk hands over a row: the first corner's values.
    rows.last_left.x = rows.last_right.x = 0;
    for (int k = 0; k < (N > 0 ? N : 1); ++k)
        rows.last_left.q[k] = rows.last_right.q[k] = N > 0 ? corners[0].q[k] * 256 : 0;
    WalkStart<N> walk;
    if (start_walk<Arithmetic>(list, n, walk)) walk_rows<Arithmetic>(list, walk.n, walk, rows);
    rows.finish();
    render_stats.pixels_written += rows.pixels_written;
}

// fill_triangle_watertight below for a triangle with a corner outside the
// raster: apart from the walk of the triangles inside, which it would only
// crowd (few triangles cross the raster's border).
template <typename Arithmetic, int N, typename Span>
[[gnu::noinline]] void fill_crossing_triangle_watertight(const ClipEntry<N>& a,
                                                         const ClipEntry<N>& b,
                                                         const ClipEntry<N>& c, Span& span) {
    const int32_t width = raster_target.width, height = raster_target.height;
    const int32_t max_x = std::max(a.x, std::max(b.x, c.x));
    const int32_t max_y = std::max(a.y, std::max(b.y, c.y));
    if (max_x <= 0 || std::min(a.x, std::min(b.x, c.x)) >= width || max_y <= 0 ||
        std::min(a.y, std::min(b.y, c.y)) >= height)
        return;
    const ClipEntry<N> vertices[3] = {a, b, c};
    ClipEntry<N> clipped[CLIP_LIST_CAPACITY];
    bool inside;
    const int32_t count = clip_polygon<N, Arithmetic>(vertices, 3, clipped, inside);
    walk_watertight<Arithmetic>(clipped, count, vertices, 3, span);
}

// fill_polygon_watertight for the triangle a, b, c, the common case spelled
// out: a triangle with every corner inside goes to its walk at once (the
// tests for a polygon beside the raster and for one inside it come after).
template <typename Arithmetic, int N, typename Span>
[[gnu::always_inline]] inline void fill_triangle_watertight(const ClipEntry<N>& a,
                                                            const ClipEntry<N>& b,
                                                            const ClipEntry<N>& c, Span& span) {
    const uint32_t width = uint32_t(raster_target.width), height = uint32_t(raster_target.height);
    if ((uint32_t(a.x) < width) & (uint32_t(b.x) < width) & (uint32_t(c.x) < width) &
        (uint32_t(a.y) < height) & (uint32_t(b.y) < height) & (uint32_t(c.y) < height)) {
        // Every corner inside: the clip passes would turn the entries by two.
        // A triangle with two corners at one point has no area, which both
        // walks find and draw nothing.
        const ClipEntry<N> turned[3] = {c, a, b};
        if (width < uint32_t(RECIPROCAL_TABLE_LIMIT) &&
            (height <= uint32_t(RECIPROCAL_TABLE_LIMIT) ||
             std::max(a.y, std::max(b.y, c.y)) - std::min(a.y, std::min(b.y, c.y)) <
                 RECIPROCAL_TABLE_LIMIT)) {
            walk_watertight_triangle<Arithmetic>(turned, span);
            return;
        }
        const ClipEntry<N> vertices[3] = {a, b, c};
        walk_watertight<Arithmetic>(turned, 3, vertices, 3, span);
        return;
    }
    fill_crossing_triangle_watertight<Arithmetic>(a, b, c, span);
}

}  // namespace polygon_detail

// fill_polygon for a polygon drawn watertight: every pixel whose point
// (x + 1/2, y) lies inside, a point on an edge going to the polygon on its
// right, one on a level edge to the polygon below, each with the value the
// row's run gives it as described above. The span must offer draw_continued.
template <int N, typename Arithmetic = FastArithmetic, typename Span>
void fill_polygon_watertight(const ClipEntry<N>* vertices, int32_t n, Span&& span) {
    if (raster_target.pixels == nullptr || raster_target.width < 1 || raster_target.height < 1)
        return;
    if (n < 1 || n > MAX_POLYGON_VERTICES) return;
    if constexpr (Arithmetic::FAST_PATHS) {
        if (n == 3) {
            polygon_detail::fill_triangle_watertight<Arithmetic>(vertices[0], vertices[1],
                                                                 vertices[2], span);
            return;
        }
    }
    // A polygon wholly beside the raster covers none of its pixel points: the
    // points of a column x lie at x + 1/2, right of every corner at 0 or
    // left, left of every corner at the width or beyond; rows run from the
    // top corner's to the one before the bottom corner's.
    int32_t min_x = vertices[0].x, max_x = vertices[0].x;
    int32_t min_y = vertices[0].y, max_y = vertices[0].y;
    for (int32_t i = 1; i < n; ++i) {
        min_x = vertices[i].x < min_x ? vertices[i].x : min_x;
        max_x = vertices[i].x > max_x ? vertices[i].x : max_x;
        min_y = vertices[i].y < min_y ? vertices[i].y : min_y;
        max_y = vertices[i].y > max_y ? vertices[i].y : max_y;
    }
    if (max_x <= 0 || min_x >= raster_target.width || max_y <= 0 || min_y >= raster_target.height)
        return;
    ClipEntry<N> clipped[CLIP_LIST_CAPACITY];
    bool inside;
    const int32_t count = clip_polygon<N, Arithmetic>(vertices, n, clipped, inside);
    if (inside && count == 3 && raster_target.width < RECIPROCAL_TABLE_LIMIT &&
        max_y - min_y < RECIPROCAL_TABLE_LIMIT) {
        polygon_detail::walk_watertight_triangle<Arithmetic>(clipped, span);
        return;
    }
    polygon_detail::walk_watertight<Arithmetic>(clipped, count, vertices, n, span);
}

// fill_polygon_watertight for the triangle a, b, c, its entries made where
// they are drawn.
template <int N, typename Arithmetic = FastArithmetic, typename Span>
[[gnu::always_inline]] inline void fill_triangle_watertight(const ClipEntry<N>& a,
                                                            const ClipEntry<N>& b,
                                                            const ClipEntry<N>& c, Span&& span) {
    if constexpr (Arithmetic::FAST_PATHS) {
        if (raster_target.pixels != nullptr && raster_target.width >= 1 &&
            raster_target.height >= 1)
            polygon_detail::fill_triangle_watertight<Arithmetic>(a, b, c, span);
    } else {
        const ClipEntry<N> vertices[3] = {a, b, c};
        fill_polygon_watertight<N, Arithmetic>(vertices, 3, span);
    }
}
