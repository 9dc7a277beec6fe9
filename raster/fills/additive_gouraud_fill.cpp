// Additive Gouraud fill: per-vertex colours added to the page with saturation, two
// pixels at a time.
#include "raster/fills/polygon_pipeline.h"
#include "raster/fills/shaded_fills.h"
#include "raster/fills/textured_fill.h"

namespace {

// The run's colour as a 5:5:5 pixel with the lowest bit of each component
// clear: the masks keep the top four bits of each component in their place.
uint32_t source_pixel(const AdditiveRun& run) {
    return uint32_t(((run.value[0] >> 16) & 0x7800) | ((run.value[1] >> 16) & 0x03C0) |
                    ((run.value[2] >> 16) & 0x001E));
}

void advance(AdditiveRun& run) {
    for (int k = 0; k < 3; ++k) {
        run.value[k] += run.step[k];
    }
}

// Scales of the three components inside a span (see AdditiveRun).
constexpr int SCALE_SHIFT[3] = {15, 10, 5};

struct AdditiveSpan {
    [[gnu::always_inline]] void operator()(uint16_t* row, int32_t start, int32_t count,
                                           const Side<3>& left, const Side<3>& right) const {
        AdditiveRun run;
        for (int k = 0; k < 3; ++k) {
            // Shifted unsigned: a wrapping multiply by 2^15, 2^10 or 2^5. For
            // components of 0..255 nothing wraps (255 * 256 * 2^15 < 2^31);
            // the step is then a signed division truncating toward zero.
            run.value[k] = int32_t(uint32_t(left.q[k]) << SCALE_SHIFT[k]);
            run.step[k] = int32_t(uint32_t(right.q[k] - left.q[k]) << SCALE_SHIFT[k]) / count;
        }
        blend_additive_span(row + start, count, run);
    }
};

}  // namespace

void blend_additive_span(uint16_t* pixels, int32_t count, AdditiveRun run) {
    int32_t i = 0;
    for (; i + 1 < count; i += 2) {
        uint32_t source = source_pixel(run);
        advance(run);
        source |= source_pixel(run) << 16;
        advance(run);
        const uint32_t under = uint32_t(pixels[i]) | (uint32_t(pixels[i + 1]) << 16);
        // Each 16-bit half sums to at most 0xF7BC, so no carry crosses from the
        // low pixel into the high one, and the unsigned shift brings in zeros.
        const uint32_t sum = (source & 0x7BDE7BDE) + (under & 0x7BDE7BDE);
        const uint32_t carry = sum & 0x84208420;
        const uint32_t result = sum | (carry - (carry >> 5));
        pixels[i] = uint16_t(result);
        pixels[i + 1] = uint16_t(result >> 16);
    }
    if (i < count) pixels[i] = add_saturate_pixel(uint16_t(source_pixel(run)), pixels[i]);
}

void fill_additive_gouraud_polygon(const ScreenVertex* const* vertices,
                                   const ColourRecord* const* colours, int32_t n) {
    if (n < 1 || n > MAX_POLYGON_VERTICES) return;
    ClipEntry<3> entries[MAX_POLYGON_VERTICES];
    load_colour_entries(entries, vertices, colours, n);
    fill_polygon(entries, n, AdditiveSpan{});
}

void draw_additive_gouraud_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                    const ScreenVertex* vert2, const ColourRecord* col0,
                                    const ColourRecord* col1, const ColourRecord* col2) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2};
    const ColourRecord* colours[] = {col0, col1, col2};
    if (!polygon_has_height(vertices, 3)) return;
    fill_additive_gouraud_polygon(vertices, colours, 3);
}

void draw_additive_gouraud_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                const ScreenVertex* vert2, const ScreenVertex* vert3,
                                const ColourRecord* col0, const ColourRecord* col1,
                                const ColourRecord* col2, const ColourRecord* col3) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2, vert3};
    const ColourRecord* colours[] = {col0, col1, col2, col3};
    if (!polygon_has_height(vertices, 4)) return;
    fill_additive_gouraud_polygon(vertices, colours, 4);
}
