// Gouraud fill: per-vertex colours interpolated across the polygon and
// written as 5:5:5 pixels.
#include "raster/shaded/polygon_pipeline.h"
#include "raster/shaded/shaded_fills.h"

namespace {

struct GouraudSpan {
    void operator()(uint16_t* row, int32_t start, int32_t count, const Side<3>& left,
                    const Side<3>& right) const {
        ColourRun run = start_colour_run(left, right, count);
        uint16_t* pixel = row + start;
        for (int32_t i = 0; i < count; ++i) {
            // With 7 fraction bits a component's top five bits are bits 10..14:
            // red is already in place, green and blue are shifted down to theirs.
            const int32_t r = run.value[0], g = run.value[1], b = run.value[2];
            *pixel++ = uint16_t((r & 0x7C00) | ((g >> 5) & 0x03E0) | ((b >> 10) & 0x001F));
            advance_colour_run(run);
        }
    }
};

}  // namespace

void fill_gouraud_polygon(const ScreenVertex* const* vertices, const ColourRecord* const* colours,
                          int32_t n) {
    if (n < 1 || n > MAX_POLYGON_VERTICES) return;
    ClipEntry<3> entries[MAX_POLYGON_VERTICES];
    load_colour_entries(entries, vertices, colours, n);
    fill_polygon(entries, n, GouraudSpan{});
}

void draw_gouraud_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                           const ScreenVertex* vert2, const ColourRecord* col0,
                           const ColourRecord* col1, const ColourRecord* col2) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2};
    const ColourRecord* colours[] = {col0, col1, col2};
    if (!polygon_has_height(vertices, 3)) return;
    fill_gouraud_polygon(vertices, colours, 3);
}

void draw_gouraud_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                       const ScreenVertex* vert2, const ScreenVertex* vert3,
                       const ColourRecord* col0, const ColourRecord* col1, const ColourRecord* col2,
                       const ColourRecord* col3) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2, vert3};
    const ColourRecord* colours[] = {col0, col1, col2, col3};
    if (!polygon_has_height(vertices, 4)) return;
    fill_gouraud_polygon(vertices, colours, 4);
}
