// Gouraud fill: per-vertex colours interpolated across the polygon and
// written as 5:5:5 pixels.
#include <cstring>

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
        if constexpr (Arithmetic::FAST_PATHS) {
            if (count >= 8) {
                // A pixel takes bits 10..14 of each running value, and the
                // low 16 bits of a sum depend on the low 16 bits of its terms
                // alone: the values of eight pixels run in eight 16-bit lanes,
                // modulo 2^16, and give the same bits as the 32-bit ones.
                EightLanes value[3], step[3];
                for (int k = 0; k < 3; ++k) {
                    value[k] = eight_values(run.value[k], run.step[k]);
                    step[k] = eight_steps(run.step[k]);
                }
                int32_t i = 0;
                for (; i + 8 <= count; i += 8) {
                    // Logical shifts of unsigned lanes; the masks keep the
                    // bits that belong to each component.
                    const EightLanes eight = (value[0] & 0x7C00) | ((value[1] >> 5) & 0x03E0) |
                                             ((value[2] >> 10) & 0x001F);
                    std::memcpy(pixel + i, &eight, sizeof eight);
                    for (int k = 0; k < 3; ++k)
                        value[k] += step[k];
                }
                // The last pixels start from the values the 32-bit run would
                // hold there: each is its start plus i steps, wrapping.
                for (int k = 0; k < 3; ++k)
                    run.value[k] = value_after(run.value[k], run.step[k], i);
                for (; i < count; ++i) {
                    pixel[i] = gouraud_pixel(run);
                    advance_colour_run(run);
                }
                return;
            }
        }
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
            ClipEntry<0> positions[MAX_POLYGON_VERTICES];
            load_position_entries(positions, vertices, n);
            fill_polygon<0, Arithmetic>(
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
