// The lit material fill's spans, and how the fill matches a polygon with one:
// shared by the fill (lit_fill.cpp) and by the benchmark that replays the
// spans of a frame to time them apart from the rest of the render.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>

#include "raster/fills/polygon_pipeline.h"
#include "raster/packet.h"
#include "raster/shade_tables.h"

// Level runs. A light value v (7 fraction bits) has its level in bits
// 10..14, and stepping by d it keeps that level for
//   floor((1023 - (v & 1023)) / d) + 1 pixels when d > 0,
//   floor((v & 1023) / -d) + 1 pixels when d < 0, and to the span's end at 0
// (the sum's bits 10 and up change exactly when its low ten bits carry or
// borrow). For d of 1..1023 the division is (n * LEVEL_RUN_MULTIPLIERS[d])
// >> LEVEL_RUN_SHIFT, exact for every n of 0..1023: the multiplier
// ceil(2^20 / d) times d is 2^20 + e with 0 <= e < d, so the product exceeds
// n / d by n * e / (d * 2^20), less than 1 / d since n * e <= 1023 * 1022 <
// 2^20, while n / d's fraction is at most (d - 1) / d. Products stay below
// 2^30.
inline constexpr uint32_t LEVEL_RUN_SHIFT = 20;
inline constexpr uint32_t LEVEL_RUN_STEP_LIMIT = 1023;
inline constexpr auto LEVEL_RUN_MULTIPLIERS = [] {
    std::array<uint32_t, LEVEL_RUN_STEP_LIMIT + 1> multipliers{};
    for (uint32_t d = 1; d <= LEVEL_RUN_STEP_LIMIT; ++d)
        multipliers[d] = ((uint32_t(1) << LEVEL_RUN_SHIFT) + d - 1) / d;
    return multipliers;
}();

// How long one light component keeps its level along a span, for a step
// whose magnitude is at most LEVEL_RUN_STEP_LIMIT.
struct LevelRun {
    uint32_t multiplier, flip, base;

    LevelRun(int32_t step, int32_t count)
        : multiplier(LEVEL_RUN_MULTIPLIERS[step < 0 ? -step : step]),
          flip(step > 0 ? 1023 : 0),
          base(step == 0 ? uint32_t(count) : 1) {}
    // The pixels from the one at v to the last of its level, v's own counted.
    uint32_t pixels(uint32_t v) const {
        return ((((v & 1023) ^ flip) * multiplier) >> LEVEL_RUN_SHIFT) + base;
    }
};

// Spans at least this long whose components' steps add up to at most
// LEVEL_RUN_SPREAD (an average run of four pixels or more) are filled a run
// of one pixel value at a time.
inline constexpr int32_t LEVEL_RUN_MIN_COUNT = 16;
inline constexpr uint32_t LEVEL_RUN_SPREAD = 256;

// Fills a span a run of one light level at a time (see LevelRun): lights r,
// g and b with 7 fraction bits and their steps, each of a magnitude of at
// most LEVEL_RUN_STEP_LIMIT; red, green and blue are the table at each
// component's column. Apart from the walk, which it would only crowd: it runs
// for long spans alone.
[[gnu::noinline]] inline void fill_level_runs(uint16_t* pixel, int32_t count, const uint8_t* red,
                                              const uint8_t* green, const uint8_t* blue, uint32_t r,
                                              uint32_t g, uint32_t b, uint32_t dr, uint32_t dg,
                                              uint32_t db) {
    const LevelRun red_run(int32_t(dr), count), green_run(int32_t(dg), count),
        blue_run(int32_t(db), count);
    uint16_t* const end = pixel + count;
    while (pixel < end) {
        const uint32_t left = uint32_t(end - pixel);
        const uint32_t n = std::min(std::min(red_run.pixels(r), green_run.pixels(g)),
                                    std::min(blue_run.pixels(b), left));
        const uint16_t value = uint16_t((red[(r >> 5) & 0x3E0] << 10) |
                                        (green[(g >> 5) & 0x3E0] << 5) | blue[(b >> 5) & 0x3E0]);
        if (n <= 16 && left >= 16) {
            // Sixteen pixels at once; the runs that follow write over those
            // beyond this one.
            const EightLanes eight = EightLanes{} + value;
            std::memcpy(pixel, &eight, sizeof eight);
            std::memcpy(pixel + 8, &eight, sizeof eight);
        } else {
            fill_four_pixels(pixel, int32_t(n), value * uint64_t(0x0001000100010001));
        }
        pixel += n;
        r += n * dr;
        g += n * dg;
        b += n * db;
    }
}

// The lights (7 fraction bits) whose levels lie between the levels of the
// lowest and the highest of a range of lights: a row drawn watertight keeps
// every pixel's light level to its corners' (CornerRange). A run whose first
// and last values lie inside is drawn as it comes, its values between those
// two; another one light at a time, each held at the nearest level inside.
// Lights outside 0..255 at a corner, whose sums may wrap, are not limited:
// they give wrong colours whatever is done.
struct LevelLimits {
    static constexpr int32_t LAST_LIGHT = 255 * 128;
    int32_t low, high;  // the first light of the lowest level, the last of the highest

    static bool applies(int32_t lowest, int32_t highest) {
        return lowest >= 0 && highest <= LAST_LIGHT;
    }
    LevelLimits() : low(INT32_MIN), high(INT32_MAX) {}  // none
    LevelLimits(int32_t lowest, int32_t highest)
        : low(applies(lowest, highest) ? lowest & ~1023 : INT32_MIN),
          high(applies(lowest, highest) ? highest | 1023 : INT32_MAX) {}
    // True when the lights of a triangle's walk over `rows` rows, strayed
    // past their corners' (triangle_walk_drift), keep their corners' levels,
    // for a lowest corner light `lowest` (0..255): a light's level is its
    // bits 3..7, so a lowest light above its level's first has at least one
    // light (128 at the run's scale) to spare, and a highest light 127.
    static bool hold(int32_t lowest, int32_t rows) {
        return (lowest & 7) != 0 && triangle_walk_drift(rows) <= 127;
    }
    bool keep(int32_t first, int32_t last) const {
        const uint32_t width = uint32_t(high) - uint32_t(low);
        return (uint32_t(first) - uint32_t(low) <= width) &
               (uint32_t(last) - uint32_t(low) <= width);
    }
    int32_t limit(int32_t light) const { return light < low ? low : light > high ? high : light; }
};

template <typename Arithmetic>
struct LitSpan {
    const uint8_t* table;  // 32 rows (light level) of 32 columns (component)
    int32_t column[3];     // the surface's 5-bit r, g, b

    // The pixel of light values with 7 fraction bits.
    uint16_t pixel(const ColourRun& run) const {
        return shaded_pixel(table, run.value, column[0], column[1], column[2]);
    }

    [[gnu::always_inline]] void operator()(uint16_t* row, int32_t start, int32_t count,
                                           const Side<3>& left, const Side<3>& right) const {
        fill(row + start, count, start_colour_run<Arithmetic>(left, right, count));
    }

    // The levels a watertight row keeps each light component to.
    struct Limits {
        LevelLimits component[3];
    };
    Limits limits(const CornerRange<3>& range) const {
        return {{LevelLimits(range.low[0], range.high[0]), LevelLimits(range.low[1], range.high[1]),
                 LevelLimits(range.low[2], range.high[2])}};
    }

    // True when no light of the watertight rows of the triangle of `corners`
    // over `rows` rows can leave its corners' levels: they need no LIMITED
    // drawing. Lights outside 0..255 are not limited anyway.
    bool keeps_within(const ClipEntry<3>* corners, int32_t rows) const {
        bool keeps = true;
        for (int k = 0; k < 3; ++k)
            keeps &= LevelLimits::hold(
                std::min(corners[0].q[k], std::min(corners[1].q[k], corners[2].q[k])), rows);
        return keeps;
    }

    // The row's run over other columns (see fill_polygon_watertight and
    // hold_run), LIMITED: kept to the corners' light levels; with walk_count
    // below 1 a run over the columns themselves.
    template <bool LIMITED, typename AnyLimits>
    [[gnu::always_inline]] void draw_continued(uint16_t* row, int32_t start, int32_t count,
                                               int32_t walk_start, int32_t walk_count,
                                               const Side<3>& left, const Side<3>& right,
                                               const AnyLimits& limits) const {
        if (walk_count < 1) {
            const ColourRun run = start_colour_run<Arithmetic>(left, right, count);
            if constexpr (LIMITED) {
                fill_limited(row + start, count, run, limits);
            } else {
                fill(row + start, count, run);
            }
            return;
        }
        const ColourRun run = start_colour_run<Arithmetic>(left, right, walk_count);
        bool kept = true;
        if constexpr (LIMITED) {
            // The run's values lie between its first and the one it reaches.
            for (int k = 0; k < 3; ++k)
                kept &= limits.component[k].keep(
                    run.value[k], value_after(run.value[k], run.step[k], walk_count));
        }
        if (kept && within_run(start, count, walk_start, walk_count)) [[likely]] {
            fill(row + start, count, colour_run_at(run, start - walk_start, true));
            return;
        }
        if constexpr (LIMITED) {
            draw_held<true>(row, start, count, walk_start, walk_count, run, &limits);
        } else {
            draw_held<false>(row, start, count, walk_start, walk_count, run, nullptr);
        }
    }

    // The rows whose columns reach beside the walk's run, or, LIMITED, whose
    // lights may leave their corners' levels (`limits`, else null).
    template <bool LIMITED>
    [[gnu::noinline]] void draw_held(uint16_t* row, int32_t start, int32_t count,
                                     int32_t walk_start, int32_t walk_count, const ColourRun& run,
                                     const Limits* limits) const {
        const HeldRun held = hold_run(start, count, walk_start, walk_count);
        uint16_t* pixel = row + start;
        auto hold = [&](int32_t pixels, int32_t at) {
            const ColourRun value = colour_run_at(run, at, false);
            if (pixels > 0)
                fill_four_pixels(pixel, pixels,
                                 (LIMITED ? limited_pixel(value, *limits) : this->pixel(value)) *
                                     uint64_t(0x0001000100010001));
            pixel += pixels;
        };
        hold(held.before, 0);
        if (held.within > 0) {
            if constexpr (LIMITED) {
                fill_limited(pixel, held.within, colour_run_at(run, held.offset, true), *limits);
            } else {
                fill(pixel, held.within, colour_run_at(run, held.offset, true));
            }
        }
        pixel += held.within;
        hold(held.after, walk_count);
    }

    // The pixel of the run's lights, each held at the nearest level `limits`
    // allows.
    uint16_t limited_pixel(const ColourRun& run, const Limits& limits) const {
        ColourRun kept = run;
        for (int k = 0; k < 3; ++k)
            kept.value[k] = limits.component[k].limit(run.value[k]);
        return pixel(kept);
    }

    // fill, each light held at the nearest level `limits` allows.
    [[gnu::noinline]] void fill_limited(uint16_t* pixel, int32_t count, ColourRun run,
                                        const Limits& limits) const {
        bool kept = true;
        for (int k = 0; k < 3; ++k)
            kept &= limits.component[k].keep(run.value[k],
                                             value_after(run.value[k], run.step[k], count - 1));
        if (kept) {
            fill(pixel, count, run);
            return;
        }
        for (int32_t i = 0; i < count; ++i, advance_colour_run(run))
            pixel[i] = limited_pixel(run, limits);
    }

    // count >= 1 pixels from `pixel`, the run's values at the first.
    [[gnu::always_inline]] void fill(uint16_t* pixel, int32_t count, ColourRun run) const {
        if constexpr (Arithmetic::FAST_PATHS) {
            // The same reads with fewer operations: a level's row offset
            // ((v >> 10) & 31) << 5 is (v >> 5) & 0x3E0, and each component's
            // column is added to the table once, not per pixel. The running
            // values live in registers, unsigned so that the offsets need no
            // sign extension (the mask keeps bits both shifts agree on).
            const uint8_t* red = table + column[0];
            const uint8_t* green = table + column[1];
            const uint8_t* blue = table + column[2];
            uint32_t r = uint32_t(run.value[0]), g = uint32_t(run.value[1]),
                     b = uint32_t(run.value[2]);
            const uint32_t dr = uint32_t(run.step[0]), dg = uint32_t(run.step[1]),
                           db = uint32_t(run.step[2]);
            auto magnitude = [](uint32_t step) { return int32_t(step) < 0 ? 0u - step : step; };
            if (count >= LEVEL_RUN_MIN_COUNT && magnitude(dr) <= LEVEL_RUN_STEP_LIMIT &&
                magnitude(dg) <= LEVEL_RUN_STEP_LIMIT && magnitude(db) <= LEVEL_RUN_STEP_LIMIT &&
                magnitude(dr) + magnitude(dg) + magnitude(db) <= LEVEL_RUN_SPREAD) {
                fill_level_runs(pixel, count, red, green, blue, r, g, b, dr, dg, db);
                return;
            }
            for (int32_t i = 0; i < count; ++i) {
                pixel[i] = uint16_t((red[(r >> 5) & 0x3E0] << 10) | (green[(g >> 5) & 0x3E0] << 5) |
                                    blue[(b >> 5) & 0x3E0]);
                r += dr;
                g += dg;
                b += db;
            }
            return;
        }
        for (int32_t i = 0; i < count; ++i) {
            *pixel++ = this->pixel(run);
            advance_colour_run(run);
        }
    }
};

// The pixel of each of the 32 light levels for one table and surface colour:
// the level's table row read at the surface's three columns, packed.
struct LevelPixels {
    uint16_t pixel[SHADE_LEVELS];
};

inline void compute_level_pixels(LevelPixels& out, const uint8_t* table, const int32_t column[3]) {
    for (int32_t level = 0; level < SHADE_LEVELS; ++level) {
        const uint8_t* row = table + (level << 5);
        out.pixel[level] =
            uint16_t((row[column[0]] << 10) | (row[column[1]] << 5) | row[column[2]]);
    }
}

// The span of a polygon whose lights are grey (r = g = b at every vertex, as
// under the demonstration's white light): the pipeline treats each component
// alike, so the three run with the same values everywhere and one attribute
// carries them. One level per pixel, so one packed pixel per level.
struct GreyLitSpan {
    const uint16_t* level_pixels;  // SHADE_LEVELS of them

    [[gnu::always_inline]] void operator()(uint16_t* row, int32_t start, int32_t count,
                                           const Side<1>& left, const Side<1>& right) const {
        // Light with 7 fraction bits, as a ColourRun's: bits 10..14 are the
        // level. Shifted up by 17 they are the top five bits, so one shift
        // reads the level, and the higher bits of a light that drifted out of
        // 0..255 fall away as a mask would drop them. Sums wrap alike before
        // and after the shift, so stepping the shifted light is exact.
        const uint32_t light = uint32_t(left.q[0] >> 1) << 17;
        const uint32_t step =
            uint32_t(FastArithmetic::CountDivisor(count)((right.q[0] - left.q[0]) >> 1)) << 17;
        fill(row + start, count, light, step);
    }

    // The levels a watertight row keeps the light to.
    using Limits = LevelLimits;
    Limits limits(const CornerRange<1>& range) const {
        return LevelLimits(range.low[0], range.high[0]);
    }

    // True when no light of the watertight rows of the triangle of `corners`
    // over `rows` rows can leave its corners' levels: they need no LIMITED
    // drawing. Lights outside 0..255 are not limited anyway.
    bool keeps_within(const ClipEntry<1>* corners, int32_t rows) const {
        return LevelLimits::hold(
            std::min(corners[0].q[0], std::min(corners[1].q[0], corners[2].q[0])), rows);
    }

    // The row's run over other columns (see fill_polygon_watertight and
    // hold_run), LIMITED: kept to the corners' light levels; with walk_count
    // below 1 a run over the columns themselves.
    template <bool LIMITED, typename AnyLimits>
    [[gnu::always_inline]] void draw_continued(uint16_t* row, int32_t start, int32_t count,
                                               int32_t walk_start, int32_t walk_count,
                                               const Side<1>& left, const Side<1>& right,
                                               const AnyLimits& limits) const {
        // Light with 7 fraction bits: its level is bits 10..14.
        const uint32_t light = uint32_t(left.q[0] >> 1);
        if (walk_count < 1) {
            const uint32_t step =
                uint32_t(FastArithmetic::CountDivisor(count)((right.q[0] - left.q[0]) >> 1));
            if constexpr (LIMITED) {
                fill_limited(row + start, count, light, step, limits);
            } else {
                fill_short(row + start, count, light << 17, step << 17);
            }
            return;
        }
        const uint32_t step =
            uint32_t(FastArithmetic::CountDivisor(walk_count)((right.q[0] - left.q[0]) >> 1));
        bool kept = true;
        if constexpr (LIMITED) {
            // The run's values lie between its first and the one it reaches.
            kept =
                limits.keep(int32_t(light), value_after(int32_t(light), int32_t(step), walk_count));
        }
        if (kept && within_run(start, count, walk_start, walk_count)) [[likely]] {
            fill_short(row + start, count, (light + uint32_t(start - walk_start) * step) << 17,
                       step << 17);
            return;
        }
        if constexpr (LIMITED) {
            draw_limited_held(row, start, count, walk_start, walk_count, light, step, limits);
        } else {
            // Drawn in the row loop, without a call: small triangles have
            // many rows reaching beside the walk's run.
            draw_held<false>(row, start, count, walk_start, walk_count, light, step, nullptr);
        }
    }

    // draw_held for the rows drawn LIMITED, apart from the walk.
    [[gnu::noinline]] void draw_limited_held(uint16_t* row, int32_t start, int32_t count,
                                             int32_t walk_start, int32_t walk_count, uint32_t light,
                                             uint32_t step, const LevelLimits& limits) const {
        draw_held<true>(row, start, count, walk_start, walk_count, light, step, &limits);
    }

    // The rows whose columns reach beside the walk's run, or, LIMITED, whose
    // lights may leave their corners' levels (`limits`, else null).
    template <bool LIMITED>
    [[gnu::always_inline]] void draw_held(uint16_t* row, int32_t start, int32_t count,
                                          int32_t walk_start, int32_t walk_count, uint32_t light,
                                          uint32_t step, const LevelLimits* limits) const {
        const HeldRun held = hold_run(start, count, walk_start, walk_count);
        uint16_t* pixel = row + start;
        auto hold = [&](int32_t pixels, uint32_t held_light) {
            if constexpr (LIMITED) held_light = uint32_t(limits->limit(int32_t(held_light)));
            if (pixels > 0)
                fill_four_pixels(
                    pixel, pixels,
                    level_pixels[(held_light >> 10) & 31] * uint64_t(0x0001000100010001));
            pixel += pixels;
        };
        hold(held.before, light);
        if (held.within > 0) {
            const uint32_t first = light + uint32_t(held.offset) * step;
            if constexpr (LIMITED) {
                fill_limited(pixel, held.within, first, step, *limits);
            } else {
                fill(pixel, held.within, first << 17, step << 17);
            }
        }
        pixel += held.within;
        hold(held.after, light + uint32_t(walk_count) * step);
    }

    // count >= 1 pixels from `pixel`, lights with 7 fraction bits, each held
    // at the nearest of the levels `limits` allows.
    [[gnu::noinline]] void fill_limited(uint16_t* pixel, int32_t count, uint32_t light,
                                        uint32_t step, LevelLimits limits) const {
        if (limits.keep(int32_t(light), value_after(int32_t(light), int32_t(step), count - 1))) {
            fill(pixel, count, light << 17, step << 17);
            return;
        }
        for (int32_t i = 0; i < count; ++i, light += step)
            pixel[i] = level_pixels[(limits.limit(int32_t(light)) >> 10) & 31];
    }

    // fill for a watertight row, most often a few pixels long: up to eight
    // pixels are stored by count alone, without a loop, as fill_four_pixels
    // stores one value: 4 to 8 as two words of four that meet or overlap,
    // 1 to 3 as the first, the middle and the last pixel. Overlapping pixels
    // take the same light either way (the sums wrap alike however grouped).
    [[gnu::always_inline]] void fill_short(uint16_t* pixel, int32_t count, uint32_t light,
                                           uint32_t step) const {
        const uint16_t* const pixels = level_pixels;
        auto at = [&](uint32_t i) { return uint64_t(pixels[(light + i * step) >> 27]); };
        if (uint32_t(count - 4) <= 4u) {
            const uint32_t k = uint32_t(count - 4);
            const uint64_t low = at(0) | at(1) << 16 | at(2) << 32 | at(3) << 48;
            const uint64_t high = at(k) | at(k + 1) << 16 | at(k + 2) << 32 | at(k + 3) << 48;
            std::memcpy(pixel, &low, 8);
            std::memcpy(pixel + k, &high, 8);
        } else if (count < 4) {
            const uint32_t middle = uint32_t(count) >> 1, last = uint32_t(count) - 1;
            pixel[0] = uint16_t(at(0));
            pixel[middle] = uint16_t(at(middle));
            pixel[last] = uint16_t(at(last));
        } else {
            fill(pixel, count, light, step);
        }
    }

    // count >= 1 pixels from `pixel`, lights shifted up by 17.
    [[gnu::always_inline]] void fill(uint16_t* pixel, int32_t count, uint32_t light,
                                     uint32_t step) const {
        // A local, not the member: a pixel store may alias the span's fields.
        const uint16_t* const pixels = level_pixels;
        uint16_t* const end = pixel + count;
        // Two pixels a turn, an odd one first.
        if (count & 1) {
            *pixel++ = pixels[light >> 27];
            light += step;
        }
        for (; pixel != end; pixel += 2) {
            pixel[0] = pixels[light >> 27];
            pixel[1] = pixels[(light + step) >> 27];
            light += 2 * step;
        }
    }
};

// Calls draw(entries, n, span) with the clip entries of the polygon and the
// span that fills them, as the lit fill draws it through `table`: the fast
// arithmetic draws a polygon with one light at every vertex (a flat face
// under a directional light) as one pixel value, and one with grey lights
// with one light attribute and the pixels that levels_of(columns) gives for
// the surface's columns; anything else carries r, g and b.
template <typename Arithmetic, typename Levels, typename Draw>
void match_lit_span(const ScreenVertex* const* vertices, const ColourRecord* const* lights,
                    const ColourRecord* surface, int32_t n, const ShadeTable& table,
                    Levels&& levels_of, Draw&& draw) {
    // Components of 0..255 give columns 0..31 by the shift alone; the mask
    // keeps any other value inside the table.
    const LitSpan<Arithmetic> span{
        table.entry, {(surface->r >> 3) & 31, (surface->g >> 3) & 31, (surface->b >> 3) & 31}};
    if constexpr (Arithmetic::FAST_PATHS) {
        if (same_colours(lights, n)) {
            ClipEntry<0> positions[MAX_POLYGON_VERTICES];
            load_position_entries(positions, vertices, n);
            draw(positions, n, constant_span(span.pixel(constant_colour_run(*lights[0]))));
            return;
        }
        if (grey_lights(lights, n)) {
            ClipEntry<1> entries[MAX_POLYGON_VERTICES];
            for (int32_t i = 0; i < n; ++i) {
                entries[i] = {vertices[i]->x, vertices[i]->y, {lights[i]->r}};
            }
            draw(entries, n, GreyLitSpan{levels_of(span.column)});
            return;
        }
    }
    ClipEntry<3> entries[MAX_POLYGON_VERTICES];
    load_colour_entries(entries, vertices, lights, n);
    draw(entries, n, span);
}
