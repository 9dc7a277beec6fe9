// The lit material fill's spans, and how the fill matches a polygon with one:
// shared by the fill (lit_fill.cpp) and by the benchmark that replays the
// spans of a frame to time them apart from the rest of the render.
#pragma once

#include <cstdint>

#include "raster/fills/polygon_pipeline.h"
#include "raster/packet.h"
#include "raster/shade_tables.h"

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
        uint16_t* pixel = row + start;
        ColourRun run = start_colour_run<Arithmetic>(left, right, count);
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
        uint32_t light = uint32_t(left.q[0] >> 1) << 17;
        const uint32_t step =
            uint32_t(FastArithmetic::CountDivisor(count)((right.q[0] - left.q[0]) >> 1)) << 17;
        // A local, not the member: a pixel store may alias the span's fields.
        const uint16_t* const pixels = level_pixels;
        uint16_t* pixel = row + start;
        // Two pixels a turn, an odd one first.
        if (count & 1) {
            *pixel++ = pixels[light >> 27];
            light += step;
        }
        for (uint16_t* const end = row + start + count; pixel != end; pixel += 2) {
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
