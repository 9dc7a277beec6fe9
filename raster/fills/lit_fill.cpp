// Lit material fill: one surface colour modulated by per-vertex light through
// the current shade table.
#include "raster/fills/polygon_pipeline.h"
#include "raster/fills/reference_fills.h"
#include "raster/fills/shaded_fills.h"
#include "raster/shade_tables.h"

namespace {

template <typename Arithmetic>
struct LitSpan {
    const uint8_t* table;  // 32 rows (light level) of 32 columns (component)
    int32_t column[3];     // the surface's 5-bit r, g, b

    // The pixel of light values with 7 fraction bits.
    uint16_t pixel(const ColourRun& run) const {
        return shaded_pixel(table, run.value, column[0], column[1], column[2]);
    }

    void operator()(uint16_t* row, int32_t start, int32_t count, const Side<3>& left,
                    const Side<3>& right) const {
        ColourRun run = start_colour_run<Arithmetic>(left, right, count);
        uint16_t* pixel = row + start;
        if constexpr (Arithmetic::FAST_PATHS) {
            // The same reads with fewer operations: a level's row offset
            // ((v >> 10) & 31) << 5 is (v >> 5) & 0x3E0, and each component's
            // column is added to the table once, not per pixel. The running
            // values live in registers.
            const uint8_t* red = table + column[0];
            const uint8_t* green = table + column[1];
            const uint8_t* blue = table + column[2];
            int32_t r = run.value[0], g = run.value[1], b = run.value[2];
            const int32_t dr = run.step[0], dg = run.step[1], db = run.step[2];
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

template <typename Arithmetic>
void fill_lit(const ScreenVertex* const* vertices, const ColourRecord* const* lights,
              const ColourRecord* surface, int32_t n) {
    if (current_shade_table == nullptr || n < 1 || n > MAX_POLYGON_VERTICES) return;
    // Components of 0..255 give columns 0..31 by the shift alone; the mask
    // keeps any other value inside the table.
    const LitSpan<Arithmetic> span{
        current_shade_table->entry,
        {(surface->r >> 3) & 31, (surface->g >> 3) & 31, (surface->b >> 3) & 31}};
    if constexpr (Arithmetic::FAST_PATHS) {
        // One light at every vertex (a flat face under a directional light):
        // one pixel value.
        if (same_colours(lights, n)) {
            ClipEntry<1> positions[MAX_POLYGON_VERTICES];
            load_position_entries(positions, vertices, n);
            fill_polygon<1, Arithmetic>(positions, n,
                                        ConstantSpan{span.pixel(constant_colour_run(*lights[0]))});
            return;
        }
    }
    ClipEntry<3> entries[MAX_POLYGON_VERTICES];
    load_colour_entries(entries, vertices, lights, n);
    fill_polygon<3, Arithmetic>(entries, n, span);
}

}  // namespace

void fill_lit_polygon(const ScreenVertex* const* vertices, const ColourRecord* const* lights,
                      const ColourRecord* surface, int32_t n) {
    fill_lit<FastArithmetic>(vertices, lights, surface, n);
}

void fill_lit_polygon_plain(const ScreenVertex* const* vertices, const ColourRecord* const* lights,
                            const ColourRecord* surface, int32_t n) {
    fill_lit<PlainArithmetic>(vertices, lights, surface, n);
}

void draw_lit_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                       const ScreenVertex* vert2, const ColourRecord* light0,
                       const ColourRecord* light1, const ColourRecord* light2,
                       const ColourRecord* surface, int32_t shade_mode) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2};
    const ColourRecord* lights[] = {light0, light1, light2};
    if (!polygon_has_height(vertices, 3)) return;
    select_shade_table(shade_mode);
    fill_lit_polygon(vertices, lights, surface, 3);
}

void draw_lit_quad(const ScreenVertex* vert0, const ScreenVertex* vert1, const ScreenVertex* vert2,
                   const ScreenVertex* vert3, const ColourRecord* light0,
                   const ColourRecord* light1, const ColourRecord* light2,
                   const ColourRecord* light3, const ColourRecord* surface, int32_t shade_mode) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2, vert3};
    const ColourRecord* lights[] = {light0, light1, light2, light3};
    if (!polygon_has_height(vertices, 4)) return;
    select_shade_table(shade_mode);
    fill_lit_polygon(vertices, lights, surface, 4);
}
