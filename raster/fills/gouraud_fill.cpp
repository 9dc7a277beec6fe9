// Gouraud fill: per-vertex colours interpolated across the polygon and
// written as 5:5:5 pixels.
#include "raster/fills/polygon_pipeline.h"
#include "raster/fills/reference_fills.h"
#include "raster/fills/shaded_fills.h"

namespace {

// With 7 fraction bits a component's top five bits are bits 10..14: red is
// already in place, green and blue are shifted down to theirs.
uint16_t gouraud_pixel(const ColourRun& run) {
    const int32_t r = run.value[0], g = run.value[1], b = run.value[2];
    return uint16_t((r & 0x7C00) | ((g >> 5) & 0x03E0) | ((b >> 10) & 0x001F));
}

template <typename Arithmetic>
struct GouraudSpan {
    [[gnu::always_inline]] void operator()(uint16_t* row, int32_t start, int32_t count,
                                           const Side<3>& left, const Side<3>& right) const {
        uint16_t* pixel = row + start;
        ColourRun run = start_colour_run<Arithmetic>(left, right, count);
        for (int32_t i = 0; i < count; ++i) {
            *pixel++ = gouraud_pixel(run);
            advance_colour_run(run);
        }
    }
};

template <typename Arithmetic>
void fill_gouraud(const ScreenVertex* const* vertices, const ColourRecord* const* colours,
                  int32_t n) {
    if (n < 1 || n > MAX_POLYGON_VERTICES) return;
    if constexpr (Arithmetic::FAST_PATHS) {
        if (same_colours(colours, n)) {
            ClipEntry<1> positions[MAX_POLYGON_VERTICES];
            load_position_entries(positions, vertices, n);
            fill_polygon<1, Arithmetic>(
                positions, n, constant_span(gouraud_pixel(constant_colour_run(*colours[0]))));
            return;
        }
    }
    ClipEntry<3> entries[MAX_POLYGON_VERTICES];
    load_colour_entries(entries, vertices, colours, n);
    fill_polygon<3, Arithmetic>(entries, n, GouraudSpan<Arithmetic>{});
}

}  // namespace

void fill_gouraud_polygon(const ScreenVertex* const* vertices, const ColourRecord* const* colours,
                          int32_t n) {
    fill_gouraud<FastArithmetic>(vertices, colours, n);
}

void fill_gouraud_polygon_plain(const ScreenVertex* const* vertices,
                                const ColourRecord* const* colours, int32_t n) {
    fill_gouraud<PlainArithmetic>(vertices, colours, n);
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
