// Lit material fill: one surface colour modulated by per-vertex light through
// the current shade table.
#include <type_traits>

#include "raster/fills/lit_spans.h"
#include "raster/fills/polygon_pipeline.h"
#include "raster/fills/reference_fills.h"
#include "raster/fills/shaded_fills.h"
#include "raster/fills/watertight_walk.h"
#include "raster/shade_tables.h"

namespace {

// The pixels of the light levels that grey-lit polygons drew with last, kept
// only while the dispatcher's walk has the cache open: no table can change
// in the walk between callbacks, before which the walk closes it.
struct LevelCache {
    bool open;
    bool filled;
    const ShadeTable* table;
    int32_t column[3];
    LevelPixels pixels;
};

LevelCache level_cache;

// WATERTIGHT: drawn as fill_polygon_watertight draws, for POLY_WATERTIGHT
// packets.
template <typename Arithmetic, bool WATERTIGHT = false>
void fill_lit(const ScreenVertex* const* vertices, const ColourRecord* const* lights,
              const ColourRecord* surface, int32_t n) {
    if (current_shade_table == nullptr || n < 1 || n > MAX_POLYGON_VERTICES) return;
    const ShadeTable& table = *current_shade_table;
    LevelPixels own;  // outside a walk, worked out for this polygon alone
    auto levels_of = [&](const int32_t column[3]) -> const uint16_t* {
        LevelCache& cache = level_cache;
        if (!cache.open) {
            compute_level_pixels(own, table.entry, column);
            return own.pixel;
        }
        if (!cache.filled || cache.table != &table || cache.column[0] != column[0] ||
            cache.column[1] != column[1] || cache.column[2] != column[2]) {
            compute_level_pixels(cache.pixels, table.entry, column);
            cache = {true, true, &table, {column[0], column[1], column[2]}, cache.pixels};
        }
        return cache.pixels.pixel;
    };
    match_lit_span<Arithmetic>(vertices, lights, surface, n, table, levels_of,
                               [](const auto* entries, int32_t count, const auto& span) {
                                   constexpr int N =
                                       std::remove_cvref_t<decltype(*entries)>::ATTRIBUTES;
                                   if constexpr (WATERTIGHT)
                                       fill_polygon_watertight<N, Arithmetic>(entries, count, span);
                                   else
                                       fill_polygon<N, Arithmetic>(entries, count, span);
                               });
}

}  // namespace

void open_lit_level_cache() {
    level_cache.open = true;
    level_cache.filled = false;
}

void close_lit_level_cache() {
    level_cache.open = false;
    level_cache.filled = false;
}

void fill_lit_polygon(const ScreenVertex* const* vertices, const ColourRecord* const* lights,
                      const ColourRecord* surface, int32_t n) {
    fill_lit<FastArithmetic>(vertices, lights, surface, n);
}

void fill_lit_polygon_plain(const ScreenVertex* const* vertices, const ColourRecord* const* lights,
                            const ColourRecord* surface, int32_t n) {
    fill_lit<PlainArithmetic>(vertices, lights, surface, n);
}

void fill_watertight_lit_polygon(const ScreenVertex* const* vertices,
                                 const ColourRecord* const* lights, const ColourRecord* surface,
                                 int32_t n) {
    fill_lit<FastArithmetic, true>(vertices, lights, surface, n);
}

void fill_watertight_lit_polygon_plain(const ScreenVertex* const* vertices,
                                       const ColourRecord* const* lights,
                                       const ColourRecord* surface, int32_t n) {
    fill_lit<PlainArithmetic, true>(vertices, lights, surface, n);
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

void draw_watertight_lit_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                  const ScreenVertex* vert2, const ColourRecord* light0,
                                  const ColourRecord* light1, const ColourRecord* light2,
                                  const ColourRecord* surface, int32_t shade_mode) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2};
    const ColourRecord* lights[] = {light0, light1, light2};
    if (!polygon_has_height(vertices, 3)) return;
    select_shade_table(shade_mode);
    fill_watertight_lit_polygon(vertices, lights, surface, 3);
}

void draw_watertight_lit_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                              const ScreenVertex* vert2, const ScreenVertex* vert3,
                              const ColourRecord* light0, const ColourRecord* light1,
                              const ColourRecord* light2, const ColourRecord* light3,
                              const ColourRecord* surface, int32_t shade_mode) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2, vert3};
    const ColourRecord* lights[] = {light0, light1, light2, light3};
    if (!polygon_has_height(vertices, 4)) return;
    select_shade_table(shade_mode);
    fill_watertight_lit_polygon(vertices, lights, surface, 4);
}
