// Lit material fill: one surface colour modulated by per-vertex light through
// the current shade table.
#include "raster/shade_tables.h"
#include "raster/shaded/polygon_pipeline.h"
#include "raster/shaded/shaded_fills.h"

namespace {

struct LitSpan {
    const uint8_t* table;  // 32 rows (light level) of 32 columns (component)
    int32_t column[3];     // the surface's 5-bit r, g, b

    void operator()(uint16_t* row, int32_t start, int32_t count, const Side<3>& left,
                    const Side<3>& right) const {
        ColourRun run = start_colour_run(left, right, count);
        uint16_t* pixel = row + start;
        for (int32_t i = 0; i < count; ++i) {
            // Light with 7 fraction bits: bits 10..14 are its 5-bit level. The
            // mask keeps a light that drifted out of 0..255 inside the table.
            const int32_t red = table[(((run.value[0] >> 10) & 31) << 5) + column[0]];
            const int32_t green = table[(((run.value[1] >> 10) & 31) << 5) + column[1]];
            const int32_t blue = table[(((run.value[2] >> 10) & 31) << 5) + column[2]];
            *pixel++ = uint16_t((red << 10) | (green << 5) | blue);
            advance_colour_run(run);
        }
    }
};

}  // namespace

void fill_lit_polygon(const ScreenVertex* const* vertices, const ColourRecord* const* lights,
                      const ColourRecord* surface, int32_t n) {
    if (current_shade_table == nullptr || n < 1 || n > MAX_POLYGON_VERTICES) return;
    // Components of 0..255 give columns 0..31 by the shift alone; the mask
    // keeps any other value inside the table.
    const LitSpan span{current_shade_table->entry,
                       {(surface->r >> 3) & 31, (surface->g >> 3) & 31, (surface->b >> 3) & 31}};
    ClipEntry<3> entries[MAX_POLYGON_VERTICES];
    load_colour_entries(entries, vertices, lights, n);
    fill_polygon(entries, n, span);
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
