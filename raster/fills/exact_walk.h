// The exact walk: the pixels a polygon with whole-pixel corners covers when a
// pixel counts as covered exactly when its point (x + 1/2, y) lies inside,
// found row by row with integer steps that never round.
//
// Two rules say what happens to the points on the outline itself:
// - WATERTIGHT: rows from the top corner's down to the row before the bottom
//   corner's, and on a row the points from the left edge (included) up to the
//   right edge (left out). A point on an edge thus goes to the polygon on the
//   edge's right, and a point on a level edge to the polygon below it: it is
//   the rule for each point moved right by a hair and down by a far smaller
//   hair. Polygons that share an edge share out its pixels, none missed and
//   none drawn twice, and the faces of a closed surface that turn towards the
//   viewer cover every pixel of its outline: wherever the point lies, as many
//   faces around it turn one way as the other, so at least one turns forward.
// - CLOSED: the outline belongs to the polygon (rows top to bottom, points on
//   an edge covered). The shared walk redraws with it the polygons it would
//   otherwise lose.
//
// Arithmetic. On row y the edge from a down to b lies at
// X = a.x + (y - a.y) dx / dy, and x + 1/2 >= X exactly when
// x >= ceil(X - 1/2) = ceil(N / D), with D = 2 dy and
// N = 2 (y - a.y) dx + (2 a.x - 1) dy. An edge keeps that column and the
// remainder column * D - N (0 <= remainder < D) and moves a row by adding
// 2 dx = whole * D + part: the column gains whole, the remainder loses part,
// and a remainder that falls below 0 borrows one more column. A right edge
// of the CLOSED rule adds 1 to N, which makes the column floor(N / D) + 1:
// the first point beyond a point on the edge. Values are 64-bit, and 128-bit
// where a product of two 32-bit differences could need it, so any int32
// corners walk exactly. Columns and rows are clamped to the raster.
#pragma once

#include <cstdint>

#include "raster/raster_target.h"

enum class CoverageRule { WATERTIGHT, CLOSED };

namespace exact_detail {

// Largest corner coordinate for which the 64-bit sum below cannot overflow:
// products of two coordinates stay below 2^56, sixteen differences of them
// below 2^61.
inline constexpr int64_t PLAIN_RANGE = int64_t(1) << 28;

template <typename Entry>
bool within_plain_range(const Entry* list, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        if (list[i].x < -PLAIN_RANGE || list[i].x > PLAIN_RANGE || list[i].y < -PLAIN_RANGE ||
            list[i].y > PLAIN_RANGE)
            return false;
    }
    return true;
}

// The sign of twice the outline's area (the shoelace sum): positive when it
// runs clockwise on the screen (y down).
template <typename Entry>
int32_t winding_sign(const Entry* list, int32_t n) {
    if (within_plain_range(list, n)) {
        int64_t sum = 0;
        for (int32_t i = 0; i < n; ++i) {
            const Entry& p = list[i];
            const Entry& q = list[i + 1 < n ? i + 1 : 0];
            sum += int64_t(p.x) * q.y - int64_t(q.x) * p.y;
        }
        return sum > 0 ? 1 : sum < 0 ? -1 : 0;
    }
    __int128 sum = 0;  // 16 terms below 2^64 each
    for (int32_t i = 0; i < n; ++i) {
        const Entry& p = list[i];
        const Entry& q = list[i + 1 < n ? i + 1 : 0];
        sum += __int128(p.x) * q.y - __int128(q.x) * p.y;
    }
    return sum > 0 ? 1 : sum < 0 ? -1 : 0;
}

}  // namespace exact_detail

// True for an outline that turns one way at every corner where it turns,
// has area, and runs down once and up once: convex. A repeated entry is no
// corner: each turn is taken between an edge and the next edge that has
// length, or the turn across an edge of length 0 would go unseen. Any int32
// entries: the cross products are 128-bit.
template <typename Entry>
bool convex_outline(const Entry* list, int32_t n) {
    auto next = [n](int32_t i) { return i + 1 < n ? i + 1 : 0; };
    auto has_length = [&](int32_t i) {
        return list[i].x != list[next(i)].x || list[i].y != list[next(i)].y;
    };
    // The last edge with length: the first turn is taken from it.
    int32_t previous = n - 1;
    while (previous >= 0 && !has_length(previous))
        --previous;
    if (previous < 0) return false;
    int32_t turn = 0, vertical_turns = 0, first_dy = 0, last_dy = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (!has_length(i)) continue;
        const Entry& p = list[previous];
        const Entry& q = list[i];  // where the edge from p ends
        const Entry& r = list[next(i)];
        const __int128 cross = __int128(int64_t(q.x) - p.x) * (int64_t(r.y) - q.y) -
                               __int128(int64_t(q.y) - p.y) * (int64_t(r.x) - q.x);
        const int32_t sign = cross > 0 ? 1 : cross < 0 ? -1 : 0;
        if (sign != 0) {
            if (turn != 0 && sign != turn) return false;
            turn = sign;
        }
        previous = i;
        const int32_t dy = r.y > q.y ? 1 : r.y < q.y ? -1 : 0;
        if (dy != 0) {
            if (first_dy == 0) first_dy = dy;
            vertical_turns += last_dy != 0 && dy != last_dy;
            last_dy = dy;
        }
    }
    vertical_turns += first_dy != last_dy;  // between the last edge and the first
    return turn != 0 && vertical_turns == 2;
}

// One edge as the exact walk steps it: the first column right of (or, with
// the bias, beyond) the edge on the current row.
struct ExactEdge {
    int32_t upper, lower;  // list indices of its ends, upper.y < lower.y
    int64_t column;        // ceil(N / D)
    int64_t remainder;     // column * D - N, 0 <= remainder < D
    int64_t whole, part;   // 2 dx = whole * D + part, 0 <= part < D
    int64_t denominator;   // D = 2 dy
};

// Points `edge` along the edge from a down to b, standing on `row`
// (a.y <= row <= b.y). bias 1 is the CLOSED rule's right edge.
inline void set_exact_edge(ExactEdge& edge, int64_t ax, int64_t ay, int64_t bx, int64_t by,
                           int64_t row, int64_t bias) {
    const int64_t dy = by - ay;  // 1 .. 2^32 - 1
    const int64_t dx = bx - ax;  // |dx| < 2^32
    // floor(dx / dy): the division truncates, so a negative remainder means
    // one less.
    int64_t whole = dx / dy;
    int64_t rest = dx - whole * dy;
    if (rest < 0) {
        --whole;
        rest += dy;
    }
    edge.whole = whole;
    edge.part = 2 * rest;
    edge.denominator = 2 * dy;
    // On the upper end's row: ceil(a.x - 1/2 + bias / D) = a.x, since
    // -1/2 < -1/2 + bias / D <= 0.
    edge.column = ax;
    edge.remainder = dy - bias;
    const int64_t rows = row - ay;
    if (rows > 0) {
        // `rows` steps at once: the column gains rows * whole, plus one for
        // every borrow, t = ceil((rows * part - remainder) / D) when that is
        // positive. |rows * whole| <= |dx| + dy, so the column stays 64-bit.
        const int64_t denominator = edge.denominator;
        if (rows < (int64_t(1) << 31) && edge.part < (int64_t(1) << 32)) {
            const int64_t over = rows * edge.part - edge.remainder;  // below 2^63
            const int64_t borrows = over > 0 ? (over + denominator - 1) / denominator : 0;
            edge.column += rows * whole + borrows;
            edge.remainder = borrows * denominator - over;
        } else {
            const __int128 over = __int128(rows) * edge.part - edge.remainder;
            const __int128 borrows = over > 0 ? (over + denominator - 1) / denominator : 0;
            edge.column += rows * whole + int64_t(borrows);
            edge.remainder = int64_t(borrows * denominator - over);
        }
    }
}

// One row down.
inline void step_exact_edge(ExactEdge& edge) {
    edge.column += edge.whole;
    edge.remainder -= edge.part;
    const int64_t borrow = edge.remainder >> 63;  // all ones when it fell below 0
    edge.column -= borrow;
    edge.remainder += edge.denominator & borrow;
}

// From entry `from`, the next edge along the outline in `direction` (+1 or
// -1) that runs down, past level edges; false when the outline turns up, or
// comes round, first: the chain has reached the bottom.
template <typename Entry>
bool next_edge_down(const Entry* list, int32_t n, int32_t from, int32_t direction, int32_t& upper,
                    int32_t& lower) {
    int32_t a = from;
    for (int32_t i = 0; i < n; ++i) {
        int32_t b = a + direction;
        if (b < 0) b = n - 1;
        if (b > n - 1) b = 0;
        if (list[b].y > list[a].y) {
            upper = a;
            lower = b;
            return true;
        }
        if (list[b].y < list[a].y) return false;
        a = b;
    }
    return false;
}

// One side of the exact walk: its chain's current edge and, for N
// attributes, their values along it with 8 fraction bits (the corners'
// values at the corners, in between by a step per row that the division
// rounds toward zero).
template <int N>
struct ExactSide {
    ExactEdge edge;
    int32_t lower_y;    // the row of the edge's lower end
    int32_t direction;  // along the outline: +1 forward, -1 backward
    int32_t q[N > 0 ? N : 1];
    int32_t dq[N > 0 ? N : 1];
};

// The rows of a polygon by the exact walk, for a convex outline of n entries
// (3..16) at any int32 positions, taken as a closed loop. Entry has x and y,
// and with N > 0 attributes q[0 .. N - 1]. After start, `row` is the first
// row to draw and the sides stand on it; columns gives a row's columns,
// step moves to the next row. Outlines that are not convex are walked down
// their two chains from the top all the same, which stays inside the raster.
template <typename Entry, int N = 0>
struct ExactRows {
    const Entry* list;
    int32_t n;
    int32_t row;       // the row the sides stand on
    int32_t last_row;  // the last row to draw, inside the raster
    int64_t right_bias;
    ExactSide<N> left, right;

    // False when there is nothing to draw: no area, or no row of it inside
    // rows 0 .. height - 1.
    bool start(const Entry* entries, int32_t count, CoverageRule rule, int32_t height) {
        list = entries;
        n = count;
        if (n < 3 || n > 16 || height < 1) return false;
        const int32_t sign = exact_detail::winding_sign(list, n);
        if (sign == 0) return false;
        int32_t top = 0;
        int32_t bottom_y = list[0].y;
        for (int32_t i = 1; i < n; ++i) {
            if (list[i].y < list[top].y) top = i;
            if (list[i].y > bottom_y) bottom_y = list[i].y;
        }
        right_bias = rule == CoverageRule::CLOSED ? 1 : 0;
        const int64_t first = list[top].y > 0 ? list[top].y : 0;
        int64_t last = rule == CoverageRule::CLOSED ? int64_t(bottom_y) : int64_t(bottom_y) - 1;
        if (last > height - 1) last = height - 1;
        if (first > last) return false;
        row = int32_t(first);
        last_row = int32_t(last);
        // A clockwise outline (y down) has its backward chain on the left.
        left.direction = sign > 0 ? -1 : +1;
        right.direction = -left.direction;
        return enter(left, top, 0) && enter(right, top, right_bias);
    }

    // Columns of the current row, within 0 .. width: start included, end not.
    void columns(int32_t width, int32_t& start, int32_t& end) const {
        const int64_t s = left.edge.column, e = right.edge.column;
        start = int32_t(s < 0 ? 0 : s > width ? width : s);
        end = int32_t(e < 0 ? 0 : e > width ? width : e);
    }

    void step() {
        ++row;
        if (row >= left.lower_y) [[unlikely]] {
            move_on(left, 0);
        } else {
            step_side(left);
        }
        if (row >= right.lower_y) [[unlikely]] {
            move_on(right, right_bias);
        } else {
            step_side(right);
        }
    }

private:
    // Points a side at the edge of its chain that holds the current row,
    // starting from the top corner: an edge holds the rows from its upper end
    // down to the row before its lower end, the last edge also that row.
    bool enter(ExactSide<N>& side, int32_t top, int64_t bias) {
        int32_t upper, lower;
        if (!next_edge_down(list, n, top, side.direction, upper, lower)) return false;
        for (int32_t next_upper, next_lower;
             list[lower].y <= row &&
             next_edge_down(list, n, lower, side.direction, next_upper, next_lower);) {
            upper = next_upper;
            lower = next_lower;
        }
        set_edge(side, upper, lower, bias);
        return true;
    }

    void set_edge(ExactSide<N>& side, int32_t upper, int32_t lower, int64_t bias) {
        const Entry& a = list[upper];
        const Entry& b = list[lower];
        side.edge.upper = upper;
        side.edge.lower = lower;
        side.lower_y = b.y;
        set_exact_edge(side.edge, a.x, a.y, b.x, b.y, row, bias);
        if constexpr (N > 0) {
            // The difference wraps as the shared walk's does: attributes far
            // outside their range give wrong colours, never a wrong position.
            // An edge entered below its upper end (a corner above the raster)
            // starts at its value on that row, worked out at once: `rows`
            // steps of the truncated step could lag by up to `rows` units.
            const int64_t dy = int64_t(b.y) - a.y;
            const int64_t rows = int64_t(row) - a.y;  // 0 .. dy
            for (int k = 0; k < N; ++k) {
                const int32_t difference = int32_t((uint32_t(b.q[k]) - uint32_t(a.q[k])) * 256u);
                side.dq[k] = int32_t(difference / dy);
                const int64_t moved =
                    int64_t((__int128(rows) * difference) / dy);  // |moved| < 2^31
                side.q[k] = int32_t(uint32_t(a.q[k]) * 256u + uint32_t(moved));
            }
        }
    }

    static void step_side(ExactSide<N>& side) {
        step_exact_edge(side.edge);
        if constexpr (N > 0) {
            for (int k = 0; k < N; ++k)
                side.q[k] = int32_t(uint32_t(side.q[k]) + uint32_t(side.dq[k]));
        }
    }

    // The side on a row at or below its edge's lower end: on to the chain's
    // next edge, or, at the bottom, one step further down this one.
    [[gnu::noinline]] void move_on(ExactSide<N>& side, int64_t bias) {
        int32_t upper, lower;
        if (next_edge_down(list, n, side.edge.lower, side.direction, upper, lower)) {
            set_edge(side, upper, lower, bias);
            return;
        }
        step_side(side);
    }
};
