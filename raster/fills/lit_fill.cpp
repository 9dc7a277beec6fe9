// Lit material fill: one surface colour modulated by per-vertex light through
// the current shade table.
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

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
    const ShadeTable* table;  // the table the pixels are for; null while none are kept
    int32_t columns;          // the surface's three columns (0..31), five bits each
    // The r, g and b of the surface colour that a grey-lit triangle last
    // found the pixels for, valid while surface_table is `table` (null
    // otherwise): a triangle of the same colour compares them instead of
    // working out its columns.
    const ShadeTable* surface_table;
    uint64_t surface_rg;  // r and g as they lie in the record
    int32_t surface_b;
    LevelPixels pixels;
};

// A colour record's r and g, as one word.
inline uint64_t red_green(const ColourRecord& colour) {
    uint64_t rg;
    static_assert(offsetof(ColourRecord, g) == offsetof(ColourRecord, r) + sizeof(int32_t));
    std::memcpy(&rg, &colour.r, sizeof rg);
    return rg;
}

LevelCache level_cache;

// level_pixels_of when the cache does not hold them.
[[gnu::noinline]] const uint16_t* compute_level_cache(const ShadeTable& table,
                                                      const int32_t column[3], int32_t columns,
                                                      LevelPixels& own) {
    LevelCache& cache = level_cache;
    if (!cache.open) {
        compute_level_pixels(own, table.entry, column);
        return own.pixel;
    }
    compute_level_pixels(cache.pixels, table.entry, column);
    cache.table = &table;
    cache.columns = columns;
    cache.surface_table = nullptr;
    return cache.pixels.pixel;
}

// The pixels of the light levels for `table` and the surface's columns
// (0..31 each): the cache's while the walk keeps it open, else worked out
// into `own`.
[[gnu::always_inline]] inline const uint16_t* level_pixels_of(const ShadeTable& table,
                                                              const int32_t column[3],
                                                              LevelPixels& own) {
    const int32_t columns = column[0] | (column[1] << 5) | (column[2] << 10);
    const LevelCache& cache = level_cache;
    if (cache.table == &table && cache.columns == columns) [[likely]]
        return cache.pixels.pixel;
    return compute_level_cache(table, column, columns, own);
}

// The shade table's columns of a surface colour, as match_lit_span makes them
// for grey lights, whose r, g and b are one value.
struct SurfaceColumns {
    int32_t column[3];
};

SurfaceColumns surface_columns(const ColourRecord* surface) {
    return {{(surface->r >> 3) & 31, (surface->g >> 3) & 31, (surface->b >> 3) & 31}};
}

// surface_level_pixels when the cache does not hold the record's pixels.
[[gnu::noinline]] const uint16_t* compute_surface_levels(const ShadeTable& table,
                                                         const ColourRecord* surface,
                                                         LevelPixels& own) {
    const SurfaceColumns columns = surface_columns(surface);
    const uint16_t* pixels = level_pixels_of(table, columns.column, own);
    LevelCache& cache = level_cache;
    if (cache.open) {
        cache.surface_table = &table;
        cache.surface_rg = red_green(*surface);
        cache.surface_b = surface->b;
    }
    return pixels;
}

// level_pixels_of for the columns of the surface colour `surface`.
[[gnu::always_inline]] inline const uint16_t* surface_level_pixels(const ShadeTable& table,
                                                                   const ColourRecord* surface,
                                                                   LevelPixels& own) {
    const LevelCache& cache = level_cache;
    if ((cache.surface_table == &table) & (red_green(*surface) == cache.surface_rg) &
        (surface->b == cache.surface_b)) [[likely]]
        return cache.pixels.pixel;
    return compute_surface_levels(table, surface, own);
}

// WATERTIGHT: drawn as fill_polygon_watertight draws, for POLY_WATERTIGHT
// packets.
template <typename Arithmetic, bool WATERTIGHT = false>
void fill_lit(const ScreenVertex* const* vertices, const ColourRecord* const* lights,
              const ColourRecord* surface, int32_t n) {
    if (current_shade_table == nullptr || n < 1 || n > MAX_POLYGON_VERTICES) return;
    const ShadeTable& table = *current_shade_table;
    LevelPixels own;  // outside a walk, worked out for this polygon alone
    auto levels_of = [&](const int32_t column[3]) { return level_pixels_of(table, column, own); };
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
    level_cache.table = nullptr;
    level_cache.surface_table = nullptr;
}

void close_lit_level_cache() {
    level_cache.open = false;
    level_cache.table = nullptr;
    level_cache.surface_table = nullptr;
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

namespace {

// The one pixel of a triangle whose corners share one grey light, from the
// pixels of the levels: the light carries 7 fraction bits, as a ColourRun's,
// and its level is their bits 10..14, as shaded_pixel reads it.
inline uint16_t grey_pixel(const uint16_t* level_pixels, int32_t light) {
    const int32_t value = (light * 256) >> 1;
    return level_pixels[(value >> 10) & 31];
}

// True when three lights of 0..255 share one light level (their bits 3..7).
// A watertight row keeps every pixel's light within its corners' levels
// (LevelLimits: the plain walk limits each pixel to them, the fast one draws
// unlimited only where its drift cannot leave them), so such a triangle draws
// that level's pixel wherever it draws, over the same exact columns, which
// never depend on the values. Of the six-part figure's drawn triangles a
// third have equal lights and one in twenty more have lights of one level.
// `differ` is the lights' bits that differ from light0's (lights_differ).
inline bool one_light_level(int32_t light0, uint32_t differ) {
    // Unsigned: a light below 0 or above 255 fails the first test, and one
    // that differs from light0 above bit 2 (its sign too) fails the second.
    return (uint32_t(light0) <= 255u) & (differ < 8u);
}

// The bits in which light1 or light2 differs from light0: none when the
// three are equal.
inline uint32_t lights_differ(int32_t light0, int32_t light1, int32_t light2) {
    return uint32_t((light0 ^ light1) | (light0 ^ light2));
}

// The triangle a, b, c drawn by the shared walk, or WATERTIGHT by the
// watertight walk.
template <bool WATERTIGHT, int N, typename Span>
[[gnu::always_inline]] inline void fill_grey_triangle(const ClipEntry<N>& a, const ClipEntry<N>& b,
                                                      const ClipEntry<N>& c, Span&& span) {
    if constexpr (WATERTIGHT)
        fill_triangle_watertight<N>(a, b, c, std::forward<Span>(span));
    else
        fill_triangle<N>(a, b, c, std::forward<Span>(span));
}

// A triangle of grey lights at its corners: one pixel value when the three
// are equal, or, WATERTIGHT, of one level, else one light attribute through
// the levels' pixels; drawn by the shared walk, or WATERTIGHT by the
// watertight walk.
template <bool WATERTIGHT>
[[gnu::always_inline]] inline void draw_grey_lit(const ScreenVertex* vert0,
                                                 const ScreenVertex* vert1,
                                                 const ScreenVertex* vert2, int32_t light0,
                                                 int32_t light1, int32_t light2,
                                                 const ColourRecord* surface, int32_t shade_mode) {
    // Each test whole, with one branch for the lot: their outcomes vary from
    // one triangle to the next.
    if ((vert1->y == vert0->y) & (vert2->y == vert0->y)) return;
    const ShadeTable* table = select_shade_table(shade_mode);
    if (table == nullptr) return;
    LevelPixels own;  // outside a walk, worked out for this polygon alone
    const uint16_t* const levels = surface_level_pixels(*table, surface, own);
    const uint32_t differ = lights_differ(light0, light1, light2);
    if ((differ == 0) | (WATERTIGHT && one_light_level(light0, differ))) {
        fill_grey_triangle<WATERTIGHT, 0>({vert0->x, vert0->y, {0}}, {vert1->x, vert1->y, {0}},
                                          {vert2->x, vert2->y, {0}},
                                          constant_span(grey_pixel(levels, light0)));
        return;
    }
    fill_grey_triangle<WATERTIGHT, 1>({vert0->x, vert0->y, {light0}},
                                      {vert1->x, vert1->y, {light1}},
                                      {vert2->x, vert2->y, {light2}}, GreyLitSpan{levels});
}

}  // namespace

void draw_grey_lit_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                            const ScreenVertex* vert2, int32_t light0, int32_t light1,
                            int32_t light2, const ColourRecord* surface, int32_t shade_mode) {
    draw_grey_lit<false>(vert0, vert1, vert2, light0, light1, light2, surface, shade_mode);
}

void draw_watertight_grey_lit_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                       const ScreenVertex* vert2, int32_t light0, int32_t light1,
                                       int32_t light2, const ColourRecord* surface,
                                       int32_t shade_mode) {
    draw_grey_lit<true>(vert0, vert1, vert2, light0, light1, light2, surface, shade_mode);
}
