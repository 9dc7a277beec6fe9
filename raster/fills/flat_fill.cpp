// Flat fill: one colour blended 50 % over the page, with its own clipper and walk.
//
// The flat fill keeps its walk here instead of running as a span of the shared
// pipeline (polygon_pipeline.h), because it covers other edge pixels, and the
// pixels of every flat polygon drawn so far must stay as they are. Side by side:
//
//   step                      shared pipeline                 flat fill
//   x-pass crossing divisor   x difference +- 1               x difference itself
//   y-pass crossing divisor   y difference +- 1               the same
//   tie between the chains    the forward chain ends          the backward chain ends
//   edge without height       its side jumps to the end       the same, and the other
//                             vertex's column; only its       chain moves on too when its
//                             chain moves on                  end lies on that row
//   moving on after an edge   the side restarts at the        the side stays where the
//                             vertex's column (no half        last step left it
//                             pixel)
//   span end clamp            to the row, as a last guard     to the row, needed: sides
//                                                             may run past the raster on
//                                                             self-crossing outlines
//
// What the two share in form (unsigned outside test, both crossings of an edge
// that spans the raster, the shoelace choice of the left chain, the right side
// starting at the pixel's far edge, a convex polygon whose sides would cross
// drawn by the exact walk instead) is written to read the same in both files.
// The randomized comparison in tests/raster/flat_fill_test.cpp pins the walk.
#include "raster/fills/flat_fill.h"

#include <cstddef>

#include "raster/fills/exact_walk.h"
#include "raster/raster_target.h"
#include "raster/render_stats.h"

namespace {

bool same_point(const FlatPoint& p, const FlatPoint& q) {
    return p.x == q.x && p.y == q.y;
}

// The crossings of the edge from the outside entry a towards b with the raster
// border on a's side. The left or top border is stored as 0; the right or
// bottom one as the last column or row, but the distance to it is taken to the
// width or height itself.
//
// The arithmetic is 64-bit, which gives the 32-bit result whenever that does
// not overflow; in 32 bits, coordinate differences of 2^23 or more wrap the
// products and throw the crossing anywhere. In 64 bits the distance to the
// border is at most the edge's own extent, so |distance * slope| stays below
// |b - a| * 256 < 2^40 and the crossing lies between a and b.
FlatPoint cross_x(const FlatPoint& a, const FlatPoint& b) {
    // One end is outside and the other inside, or they lie beyond opposite
    // borders: the x values differ and the divisor is never 0.
    const int64_t slope = ((int64_t(b.y) - a.y) * 256) / (int64_t(b.x) - a.x);
    if (a.x < 0) return {0, int32_t(a.y + ((-(int64_t(a.x) * slope)) >> 8))};  // floor
    return {raster_target.max_x,
            int32_t(a.y + (((int64_t(raster_target.width) - a.x) * slope) >> 8))};
}

FlatPoint cross_y(const FlatPoint& a, const FlatPoint& b) {
    // The y pass counts both end rows: d = difference + 1 towards b, never 0.
    const int64_t d = (int64_t(b.y) - a.y) + (b.y < a.y ? -1 : 1);
    const int64_t slope = ((int64_t(b.x) - a.x) * 256) / d;
    if (a.y < 0) return {int32_t(a.x + ((-(int64_t(a.y) * slope)) >> 8)), 0};
    return {int32_t(a.x + (((int64_t(raster_target.height) - a.y) * slope) >> 8)),
            raster_target.max_y};
}

// One clip pass over the closed loop of n entries; returns the output count,
// at most 2n. An entry is outside when its coordinate, read unsigned, is above
// the last column or row, so every negative one is outside too.
template <bool ON_X>
int32_t clip_pass(const FlatPoint* in, int32_t n, FlatPoint* out) {
    const uint32_t last = uint32_t(ON_X ? raster_target.max_x : raster_target.max_y);
    auto coordinate = [](const FlatPoint& p) { return ON_X ? p.x : p.y; };
    auto outside = [&](const FlatPoint& p) { return uint32_t(coordinate(p)) > last; };
    auto cross = [](const FlatPoint& a, const FlatPoint& b) {
        return ON_X ? cross_x(a, b) : cross_y(a, b);
    };
    int32_t count = 0;
    for (int32_t i = 0; i < n; ++i) {
        const FlatPoint& from = in[i];
        const FlatPoint& to = in[i + 1 < n ? i + 1 : 0];
        const bool from_out = outside(from);
        const bool to_out = outside(to);
        if (!from_out && !to_out) {
            out[count++] = to;
        } else if (from_out && !to_out) {
            const FlatPoint crossing = cross(from, to);
            out[count++] = crossing;
            if constexpr (ON_X) {
                // A crossing in the column of `to` stands for it: kept when it
                // is the same point, otherwise `to` takes its place.
                if (crossing.x != to.x) {
                    out[count++] = to;
                } else if (crossing.y != to.y) {
                    out[count - 1] = to;
                }
            } else {
                if (!same_point(crossing, to)) out[count++] = to;
            }
        } else if (!from_out && to_out) {
            const FlatPoint crossing = cross(to, from);
            const bool repeats = ON_X ? crossing.x == from.x : same_point(crossing, from);
            if (!repeats) out[count++] = crossing;
        } else if ((coordinate(from) < 0) != (coordinate(to) < 0)) {
            // The edge spans the raster from one border to the other: both
            // crossings, in walk order, or the band of the polygon along this
            // edge would be cut away.
            out[count++] = cross(from, to);
            out[count++] = cross(to, from);
        }
    }
    return count;
}

struct FlatChain {
    int32_t end;        // list index of the vertex the chain walks towards
    int32_t direction;  // +1 forward, -1 backward
    int32_t dx;         // x step per row, 8 fraction bits
};

// x step of the edge from a to b over its rows, both ends counted. Entries lie
// inside the raster, so the product cannot wrap and d is never 0.
int32_t x_step(const FlatPoint& a, const FlatPoint& b) {
    const int32_t d = (b.y - a.y) + (b.y < a.y ? -1 : 1);
    return ((b.x - a.x) * 256) / d;
}

// The x step of every edge of the list, each divided out once: the walk and
// the question whether its sides cross both read them. An edge walked
// backward has the same step (its difference and its divisor both change
// sign, and the division truncates toward zero either way), a level edge the
// opposite one (its divisor is 1 both ways).
struct EdgeSteps {
    int32_t forward[FLAT_CLIP_CAPACITY];  // edge from entry i to entry i + 1 (0 after the last)

    EdgeSteps(const FlatPoint* list, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            forward[i] = x_step(list[i], list[i + 1 < n ? i + 1 : 0]);
    }
    // The step from entry `from` to its neighbour `to` in `direction`.
    int32_t of(const FlatPoint* list, int32_t from, int32_t to, int32_t direction) const {
        if (direction > 0) return forward[from];
        return list[to].y == list[from].y ? -forward[to] : forward[to];
    }
};

void advance(FlatChain& chain, const FlatPoint* list, int32_t last, const EdgeSteps& steps) {
    const int32_t from = chain.end;
    int32_t to = from + chain.direction;
    if (to < 0) to = last;
    if (to > last) to = 0;
    chain.end = to;
    chain.dx = steps.of(list, from, to, chain.direction);
}

// True when the backward chain is the left boundary. An outline that runs
// clockwise on the screen (y down: a positive shoelace sum) has its backward
// chain on the left. Comparing the x steps of the two edges that leave the top
// vertex gets this wrong when one of them is a short level edge, whose step
// counts its whole length as one row, and a broad polygon then draws nothing;
// the steps only decide an outline without area. Entries lie inside the
// raster, so the 64-bit sum cannot overflow.
bool backward_is_left(const FlatPoint* list, int32_t n, const FlatChain& forward,
                      const FlatChain& backward) {
    int64_t twice_area = 0;
    for (int32_t i = 0; i < n; ++i) {
        const FlatPoint& p = list[i];
        const FlatPoint& q = list[i + 1 < n ? i + 1 : 0];
        twice_area += int64_t(p.x) * q.y - int64_t(q.x) * p.y;
    }
    if (twice_area != 0) return twice_area > 0;
    return backward.dx < forward.dx;
}

// Columns left >> 8 up to, not including, right >> 8 of one row. A convex
// outline never needs the clamps. Sides are not reset at the corners, so on
// an outline that crosses itself a side can run past the raster's edge; the
// clamps keep every write inside the page whatever the walk computes.
void draw_span(int32_t row, int32_t left, int32_t right, uint16_t colour) {
    int32_t start = left >> 8;  // arithmetic shift: a floor
    int32_t end = right >> 8;
    if (start < 0) start = 0;
    if (end > raster_target.width) end = raster_target.width;
    if (end - start <= 0 || uint32_t(row) >= uint32_t(raster_target.height)) return;
    render_stats.pixels_written += end - start;  // statistics: once per span
    blend_flat_span(
        raster_target.pixels + size_t(row) * size_t(raster_target.width) + size_t(start),
        end - start, colour);
}

// True when the walk below would find its sides crossed (the left side's x
// beyond the right side's) on a row above the polygon's last: it would draw
// that row empty, and a convex polygon is then drawn by the exact walk
// instead. The sides are never reset at the corners, and an edge's step
// counts both its end rows, so on a broad, flat polygon they lag behind the
// edges and can cross, which in exact arithmetic a convex polygon's sides
// never do. It follows the walk edge by edge without the rows: within an edge
// the distance between the sides changes evenly, so the first and the last
// row an edge draws above the last row tell. Products wrap as the walk's sums
// do; entries lie inside the raster, so neither wraps.
bool sides_cross(const FlatPoint* list, int32_t n, int32_t top, FlatChain forward,
                 FlatChain backward, bool backward_left, const EdgeSteps& edge_steps) {
    const int32_t last = n - 1;
    int32_t last_row = list[0].y;
    for (int32_t i = 1; i < n; ++i) {
        if (list[i].y > last_row) last_row = list[i].y;
    }
    int32_t left = list[top].x * 256;
    int32_t right = left + 255;
    int32_t row = list[top].y;
    for (int32_t iteration = 0; iteration < last; ++iteration) {
        const bool forward_ends = list[forward.end].y < list[backward.end].y;
        FlatChain& ending = forward_ends ? forward : backward;
        FlatChain& other = forward_ends ? backward : forward;
        const int32_t y_end = list[ending.end].y;
        if (row == y_end) {
            if (row < last_row && left > right) return true;
            (forward_ends != backward_left ? left : right) = list[ending.end].x * 256;
        } else if (row < y_end) {
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
        if (iteration == last - 1) break;
        if (list[other.end].y == y_end) advance(other, list, last, edge_steps);
        advance(ending, list, last, edge_steps);
    }
    return false;
}

// A triangle as its walk goes down it: the top corner, the middle corner
// where the chain that ends first ends (the backward chain on a tie), the
// bottom corner, whether that chain feeds the left side, and the steps of
// the edges from the top corner to the left and right sides and from the
// middle corner down.
struct FlatTriangle {
    FlatPoint top, middle, bottom;
    bool ending_left;
    int32_t left_dx, right_dx, middle_dx;
};

// The walk's set-up for the three entries, as walk_flat_polygon makes it: the
// first of the highest entries, the chains to its neighbours, the left chain
// by the outline's turn (one cross product, the shoelace sum of three
// entries).
[[gnu::always_inline]] inline FlatTriangle flat_triangle(const FlatPoint* list) {
    int32_t top = list[1].y < list[0].y ? 1 : 0;
    top = list[2].y < list[top].y ? 2 : top;
    const FlatPoint& t = list[top];
    const FlatPoint& f = list[top == 2 ? 0 : top + 1];  // the forward chain's end
    const FlatPoint& b = list[top == 0 ? 2 : top - 1];  // the backward chain's end
    const int32_t forward_dx = x_step(t, f), backward_dx = x_step(t, b);
    const int64_t twice_area = int64_t(list[1].x - list[0].x) * (list[2].y - list[0].y) -
                               int64_t(list[2].x - list[0].x) * (list[1].y - list[0].y);
    const bool backward_left = twice_area != 0 ? twice_area > 0 : backward_dx < forward_dx;
    const bool forward_ends = f.y < b.y;
    const FlatPoint& middle = forward_ends ? f : b;
    const FlatPoint& bottom = forward_ends ? b : f;
    return {t,
            middle,
            bottom,
            forward_ends != backward_left,
            backward_left ? backward_dx : forward_dx,
            backward_left ? forward_dx : backward_dx,
            x_step(middle, bottom)};
}

// sides_cross for a triangle, its two edges written out: a pointed top has a
// first edge down to the middle corner (ending on the last row when the
// bottom is level), then the side that ended goes on from where it stands
// with the step of the edge from the middle corner; a level top has only the
// second edge, the side that ended standing at the middle corner's column. At
// the top corner's row the sides stand half a pixel apart, never crossed.
// Asked only of the triangles triangle_sides_stay_apart does not pass.
[[gnu::noinline]] bool triangle_sides_meet(const FlatTriangle& t) {
    const int32_t last_row = t.bottom.y;
    uint32_t left = uint32_t(t.top.x * 256), right = left + 255;
    uint32_t left_dx = uint32_t(t.left_dx), right_dx = uint32_t(t.right_dx);
    int32_t row = t.top.y;
    if (row < t.middle.y) {
        const int32_t last_drawn = t.middle.y < last_row ? t.middle.y : last_row - 1;
        const uint32_t steps = uint32_t(last_drawn - row);
        if (int32_t(left + steps * left_dx) > int32_t(right + steps * right_dx)) return true;
        if (t.middle.y == last_row) return false;
        const uint32_t rows = uint32_t(t.middle.y - row + 1);
        left += rows * left_dx;
        right += rows * right_dx;
        row = t.middle.y + 1;
        if (row == last_row) return false;  // only the last row is left
    } else {
        (t.ending_left ? left : right) = uint32_t(t.middle.x * 256);
    }
    (t.ending_left ? left_dx : right_dx) = uint32_t(t.middle_dx);
    const uint32_t steps = uint32_t(last_row - 1 - row);
    return int32_t(left) > int32_t(right) ||
           int32_t(left + steps * left_dx) > int32_t(right + steps * right_dx);
}

// True when the sides of a triangle's walk cannot cross, shown from the steps
// alone; most triangles pass, and the full question is asked only of the
// others (broad, flat triangles and slivers whose sides nearly meet). With T,
// M, B the top, middle and bottom corners, D = right side's x - left side's x
// (8 fraction bits), and a step s of the edge from P down to Q satisfying
// 256 (Q.x - P.x) = s (Q.y - P.y + 1) + r with |r| <= Q.y - P.y (the
// division truncates):
// - A pointed top: down to the row after M's, D = 255 + k (right_dx -
//   left_dx) after k rows, positive when left_dx <= right_dx. A level top has
//   the side that ended at M's column, and M lies on that side's side of T
//   (the sides follow the outline's turn; a level top with B below has
//   area, or M is T): D >= 0.
// - From there to the row before B's, D changes evenly, and on that last row
//   it is 255 + m c - 2 s + (remainders) when the left side ended at M, and
//   255 + 2 s - m c + (remainders) when the right one did (without the 255
//   after a level top, where the right side stands on M's column itself),
//   where c is middle_dx, s the step of the other side's edge from T to B,
//   m = 3 after a pointed top and 2 after a level top. The remainders, of
//   the edges T to M (a pointed top's side goes on from where that edge left
//   it), M to B and T to B, add up to at most 2 (B.y - T.y).
// In 64 bits, so that no step of any raster's width can wrap the sums.
[[gnu::always_inline]] inline bool triangle_sides_stay_apart(const FlatTriangle& t) {
    const bool pointed = t.top.y < t.middle.y;
    bool apart = !pointed || t.left_dx <= t.right_dx;
    if (t.middle.y < t.bottom.y) {
        const int64_t mc = int64_t(pointed ? 3 : 2) * t.middle_dx;
        const int64_t last = t.ending_left ? 255 + mc - 2 * int64_t(t.right_dx)
                                           : (pointed ? 255 : 0) + 2 * int64_t(t.left_dx) - mc;
        apart &= last >= 2 * int64_t(t.bottom.y - t.top.y);
    }
    return apart;
}

// The polygon as given, before clipping: the corners walk_flat_exactly draws
// when the walk's sides would cross.
struct FlatCorners {
    const ScreenVertex* const* vertices;
    int32_t n;
};

// Blends every pixel whose point (x + 1/2, y) lies inside or on the polygon
// of `corners` (the exact walk's CLOSED rule), when that polygon is convex:
// its own corners, not the clip list, whose rounded crossings move the
// outline onto pixels the polygon does not cover. False, drawing nothing,
// when the polygon is not convex.
[[gnu::noinline]] bool walk_flat_exactly(const FlatCorners& corners, uint16_t colour) {
    FlatPoint list[4];
    for (int32_t i = 0; i < corners.n; ++i)
        list[i] = {corners.vertices[i]->x, corners.vertices[i]->y};
    if (!convex_outline(list, corners.n)) return false;
    ExactRows<FlatPoint> rows;
    if (!rows.start(list, corners.n, CoverageRule::CLOSED, raster_target.height)) return true;
    for (; rows.row <= rows.last_row; rows.step()) {
        int32_t start, end;
        rows.columns(raster_target.width, start, end);
        if (end <= start) continue;
        render_stats.pixels_written += end - start;
        blend_flat_span(
            raster_target.pixels + size_t(rows.row) * size_t(raster_target.width) + size_t(start),
            end - start, colour);
    }
    return true;
}

// walk_flat_polygon for three entries, its two edges written out, row for row
// the loop below: a pointed top draws the rows down to the middle corner
// (and stops there when the bottom is level); a level top draws nothing on
// its own row before its side moves to the middle corner's column (its span
// is the half pixel at the top corner), which that loop does first. Then the
// side that ended takes the middle corner's edge, from where it stands, down
// to the bottom row.
void walk_flat_triangle(const FlatPoint* list, const FlatCorners& corners, uint16_t colour) {
    const FlatTriangle t = flat_triangle(list);
    if (!triangle_sides_stay_apart(t) && triangle_sides_meet(t) &&
        walk_flat_exactly(corners, colour))
        return;
    int32_t left = t.top.x * 256;  // 8 fraction bits
    int32_t right = left + 255;    // the right side starts at the pixel's far edge
    int32_t left_dx = t.left_dx, right_dx = t.right_dx;
    int32_t row = t.top.y;
    if (row < t.middle.y) {
        for (; row <= t.middle.y; ++row) {
            draw_span(row, left, right, colour);
            left += left_dx;
            right += right_dx;
        }
        if (t.middle.y == t.bottom.y) return;
    } else {
        (t.ending_left ? left : right) = t.middle.x * 256;
    }
    (t.ending_left ? left_dx : right_dx) = t.middle_dx;
    for (; row <= t.bottom.y; ++row) {
        draw_span(row, left, right, colour);
        left += left_dx;
        right += right_dx;
    }
}

void walk_flat_polygon(const FlatPoint* list, int32_t n, const FlatCorners& corners,
                       uint16_t colour) {
    if (n < 2) return;
    if (n == 3) {
        walk_flat_triangle(list, corners, colour);
        return;
    }
    const int32_t top = find_top_vertex(list, n);
    const int32_t last = n - 1;
    const EdgeSteps edge_steps(list, n);
    FlatChain forward{top + 1 > last ? 0 : top + 1, +1, 0};
    FlatChain backward{top - 1 < 0 ? last : top - 1, -1, 0};
    forward.dx = edge_steps.of(list, top, forward.end, +1);
    backward.dx = edge_steps.of(list, top, backward.end, -1);

    const bool backward_left = backward_is_left(list, n, forward, backward);
    if (sides_cross(list, n, top, forward, backward, backward_left, edge_steps) &&
        walk_flat_exactly(corners, colour))
        return;
    const FlatChain& left_chain = backward_left ? backward : forward;
    const FlatChain& right_chain = backward_left ? forward : backward;
    int32_t left = list[top].x * 256;  // 8 fraction bits
    int32_t right = left + 255;        // the right side starts at the pixel's far edge
    int32_t row = list[top].y;

    for (int32_t iteration = 0; iteration < last; ++iteration) {
        // The chain whose end vertex comes first ends now; backward on a tie.
        const bool forward_ends = list[forward.end].y < list[backward.end].y;
        FlatChain& ending = forward_ends ? forward : backward;
        FlatChain& other = forward_ends ? backward : forward;
        const bool ending_feeds_left = forward_ends != backward_left;
        const int32_t y_end = list[ending.end].y;

        if (row == y_end) {
            // An edge without height: draw the row, then its side jumps to the
            // end vertex's column (no half pixel on the right); the row stays.
            draw_span(row, left, right, colour);
            (ending_feeds_left ? left : right) = list[ending.end].x * 256;
        } else if (row < y_end) {
            // Entries lie inside the raster, so y_end < INT32_MAX and this ends.
            for (; row <= y_end; ++row) {
                draw_span(row, left, right, colour);
                left += left_chain.dx;
                right += right_chain.dx;
            }
        }
        // Moving on keeps both sides where they are.
        if (list[other.end].y == y_end) advance(other, list, last, edge_steps);
        advance(ending, list, last, edge_steps);
    }
}

}  // namespace

FlatSidesAnswer flat_triangle_sides(const FlatPoint* list) {
    const FlatTriangle t = flat_triangle(list);
    return {triangle_sides_stay_apart(t), triangle_sides_meet(t)};
}

void blend_flat_span(uint16_t* pixels, int32_t count, uint16_t colour) {
    for (int32_t i = 0; i < count; ++i) {
        pixels[i] = average_pixel(colour, pixels[i]);
    }
}

int32_t find_top_vertex(const FlatPoint* list, int32_t count) {
    int32_t top = 0;
    for (int32_t i = 1; i < count; ++i) {
        if (list[i].y < list[top].y) top = i;
    }
    return top;
}

int32_t clip_flat_polygon(const ScreenVertex* const* vertices, int32_t n, FlatPoint* out) {
    if (n < 1 || n > 4 || raster_target.width < 1 || raster_target.height < 1) return 0;
    FlatPoint input[4];
    bool inside = true;
    for (int32_t i = 0; i < n; ++i) {
        input[i] = {vertices[i]->x, vertices[i]->y};
        inside &= (uint32_t(input[i].x) <= uint32_t(raster_target.max_x)) &
                  (uint32_t(input[i].y) <= uint32_t(raster_target.max_y));
    }
    int32_t count = n;
    if (inside) {
        // Each pass appends the end of every edge, which turns the loop by
        // one entry: the two passes give entry (i + 2) modulo n at i.
        static constexpr int8_t TURNED[5][4] = {{}, {0}, {0, 1}, {2, 0, 1}, {2, 3, 0, 1}};
        for (int32_t i = 0; i < n; ++i)
            out[i] = input[TURNED[n][i]];
    } else {
        FlatPoint x_clipped[FLAT_CLIP_CAPACITY];  // 4 vertices, at most 8 after the x pass
        const int32_t x_count = clip_pass<true>(input, n, x_clipped);
        count = clip_pass<false>(x_clipped, x_count, out);  // at most 16
    }
    if (count >= 2) {
        if (same_point(out[count - 1], out[count - 2])) --count;
        if (same_point(out[count - 1], out[0])) --count;
    }
    return count;
}

void fill_flat_polygon(const ScreenVertex* const* vertices, int32_t n, uint16_t colour) {
    if (raster_target.pixels == nullptr) return;
    FlatPoint list[FLAT_CLIP_CAPACITY];
    const int32_t count = clip_flat_polygon(vertices, n, list);
    walk_flat_polygon(list, count, {vertices, n}, colour);
}

void draw_flat_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                        const ScreenVertex* vert2, uint16_t colour) {
    if (vert1->y == vert0->y && vert2->y == vert0->y) return;
    const ScreenVertex* vertices[] = {vert0, vert1, vert2};
    fill_flat_polygon(vertices, 3, colour);
}

void draw_flat_quad(const ScreenVertex* vert0, const ScreenVertex* vert1, const ScreenVertex* vert2,
                    const ScreenVertex* vert3, uint16_t colour) {
    if (vert1->y == vert0->y && vert2->y == vert0->y && vert3->y == vert0->y) return;
    const ScreenVertex* vertices[] = {vert0, vert1, vert2, vert3};
    fill_flat_polygon(vertices, 4, colour);
}
