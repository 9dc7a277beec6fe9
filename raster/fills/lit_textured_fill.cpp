// Lit textured fill: texels modulated by per-vertex light through the current shade
// table, for the Gouraud textured, lit, environment-mapped and depth-cued codes.
#include "raster/fills/lit_spans.h"
#include "raster/fills/polygon_pipeline.h"
#include "raster/fills/reference_fills.h"
#include "raster/fills/shaded_fills.h"
#include "raster/fills/textured_fill.h"
#include "raster/fills/watertight_walk.h"
#include "raster/shade_tables.h"
#include "raster/texture_loader.h"

namespace {

// Attributes: the light's r, g, b, then u and v.
constexpr int LIGHT_TEXTURE_ATTRIBUTES = 5;
using LitTexturedEntry = ClipEntry<LIGHT_TEXTURE_ATTRIBUTES>;

// The fast arithmetic's pixels of a lit textured run: `count` pixels from
// `pixel`, lights of L components (7 fraction bits) from `light` stepping by
// `light_step`, texels along `run`, each texel component read from its light
// level's row of `shades`. The plain span's pixels, with fewer operations.
template <int L>
[[gnu::always_inline]] inline void fill_lit_texels(uint16_t* pixel, int32_t count,
                                                   const uint8_t* shades, const uint16_t* texels,
                                                   int32_t* light, const int32_t* light_step,
                                                   TexelRun run) {
    // Unsigned locals throughout: the table offsets then need no sign
    // extension, and the masks keep only bits both shifts agree on.
    if (count >= 16) {
        // Eight pixels' texel indices and light rows at a time, in
        // 16-bit lanes: a row offset ((v >> 10) & 31) << 5, as
        // (v >> 5) & 0x3E0, reads bits 10..14 of the light alone. Lane j
        // of the k-th eight holds pixel 8k + j's values whatever the count,
        // so the rest of the run, under eight pixels, takes its first lanes
        // from one more eight. Shorter runs go pixel by pixel: the lanes'
        // set-up and their tail cost runs of up to 15 pixels more than they
        // save (drawn pixel by pixel, small triangles' frames and cells took
        // 2-3 % less time for 2-3 % more instructions).
        TexelIndexLanes lanes(run);
        EightLanes light_lanes[L], light_steps[L];
        for (int k = 0; k < L; ++k) {
            light_lanes[k] = eight_values(light[k], light_step[k]);
            light_steps[k] = eight_steps(light_step[k]);
        }
        auto draw_eight = [&](uint16_t * eight, int32_t pixels) __attribute__((always_inline)) {
            const EightLanes index = lanes.next();
            EightLanes rows[L];
            for (int k = 0; k < L; ++k) {
                rows[k] = (light_lanes[k] >> 5) & 0x3E0;
                light_lanes[k] += light_steps[k];
            }
#pragma GCC unroll 8
            for (int j = 0; j < 8; ++j) {
                if (j >= pixels) break;
                const uint32_t t = texels[index[j]];
                if constexpr (L == 1) {
                    const uint8_t* level = shades + rows[0][j];
                    eight[j] = uint16_t((level[(t >> 10) & 31] << 10) |
                                        (level[(t >> 5) & 31] << 5) | level[t & 31]);
                } else {
                    eight[j] = uint16_t((shades[rows[0][j] + ((t >> 10) & 31)] << 10) |
                                        (shades[rows[1][j] + ((t >> 5) & 31)] << 5) |
                                        shades[rows[2][j] + (t & 31)]);
                }
            }
        };
        int32_t i = 0;
        for (; i + 8 <= count; i += 8)
            draw_eight(pixel + i, 8);
        if (i < count) draw_eight(pixel + i, count - i);
        return;
    }
    TexelCursor cursor(texels, run);
    if constexpr (L == 1) {
        uint32_t light0 = uint32_t(light[0]);
        const uint32_t step = uint32_t(light_step[0]);
        for (int32_t i = 0; i < count; ++i) {
            const uint32_t t = cursor.next();
            const uint8_t* level = shades + ((light0 >> 5) & 0x3E0);
            pixel[i] = uint16_t((level[(t >> 10) & 31] << 10) | (level[(t >> 5) & 31] << 5) |
                                level[t & 31]);
            light0 += step;
        }
    } else {
        uint32_t r = uint32_t(light[0]), g = uint32_t(light[1]), b = uint32_t(light[2]);
        const uint32_t dr = uint32_t(light_step[0]), dg = uint32_t(light_step[1]),
                       db = uint32_t(light_step[2]);
        for (int32_t i = 0; i < count; ++i) {
            const uint32_t t = cursor.next();
            pixel[i] = uint16_t((shades[((r >> 5) & 0x3E0) + ((t >> 10) & 31)] << 10) |
                                (shades[((g >> 5) & 0x3E0) + ((t >> 5) & 31)] << 5) |
                                shades[((b >> 5) & 0x3E0) + (t & 31)]);
            r += dr;
            g += dg;
            b += db;
        }
    }
}

// The span for lights of L components (3, or 1 when they are grey: r = g = b
// at every vertex runs the three alike, as lit_fill.cpp explains), followed
// by u and v.
template <typename Arithmetic, int L>
struct LitTexturedSpan {
    const uint8_t* table;  // 32 rows (light level) of 32 columns (texel component)
    const uint16_t* texels;
    int32_t width_shift, height_shift;

    [[gnu::always_inline]] void operator()(uint16_t* row, int32_t start, int32_t count,
                                           const Side<L + 2>& left,
                                           const Side<L + 2>& right) const {
        const typename Arithmetic::CountDivisor per_pixel(count);
        int32_t light[L], light_step[L];
        for (int k = 0; k < L; ++k) {
            light[k] = left.q[k] >> 1;
            light_step[k] = per_pixel((right.q[k] - left.q[k]) >> 1);
        }
        TexelRun run = start_texel_run(left.q[L], left.q[L + 1], right.q[L], right.q[L + 1],
                                       per_pixel, width_shift, height_shift);
        uint16_t* pixel = row + start;
        if constexpr (Arithmetic::FAST_PATHS) {
            fill_lit_texels<L>(pixel, count, table, texels, light, light_step, run);
            return;
        }
        for (int32_t i = 0; i < count; ++i) {
            const int32_t texel = texels[texel_index(run.u, run.v)];
            // Row = light level, column = texel component.
            pixel[i] =
                shaded_pixel(table, light, (texel >> 10) & 31, (texel >> 5) & 31, texel & 31);
            for (int k = 0; k < L; ++k) {
                light[k] += light_step[k];
            }
            run.u += run.du;
            run.v += run.dv;
        }
    }
};

// The span of a lit textured polygon drawn watertight (fill_polygon_watertight):
// the row's light and texel runs laid over the exact columns as hold_run says,
// pixel by pixel. LIMITED, each light is kept to its corners' levels as the
// lit fill's watertight span keeps it. Texture coordinates are not limited:
// the sides stray from the corners' range by less than a unit of their 8
// fraction bits per row, a fraction of a texel, and the painted parts that
// draw this way keep a margin of plain texels around what they use.
// The fast arithmetic draws a row that lies within the walk's run, its
// lights kept to their levels, as the lit textured span's fast form draws a
// span: the same pixels. Lights of L components, 3 or 1 when they are grey
// (as LitTexturedSpan's), followed by u and v.
template <typename Arithmetic, int L>
struct WatertightLitTexturedSpan {
    const uint8_t* table;  // 32 rows (light level) of 32 columns (texel component)
    const uint16_t* texels;
    int32_t width_shift, height_shift;

    struct Limits {
        LevelLimits component[L];
    };
    Limits limits(const CornerRange<L + 2>& range) const {
        Limits limits;
        for (int k = 0; k < L; ++k)
            limits.component[k] = LevelLimits(range.low[k], range.high[k]);
        return limits;
    }
    bool keeps_within(const ClipEntry<L + 2>* corners, int32_t rows) const {
        bool keeps = true;
        for (int k = 0; k < L; ++k)
            keeps &= LevelLimits::hold(
                std::min(corners[0].q[k], std::min(corners[1].q[k], corners[2].q[k])), rows);
        return keeps;
    }

    template <bool LIMITED, typename AnyLimits>
    [[gnu::always_inline]] void draw_continued(uint16_t* row, int32_t start, int32_t count,
                                               int32_t walk_start, int32_t walk_count,
                                               const Side<L + 2>& left, const Side<L + 2>& right,
                                               const AnyLimits& limits) const {
        // Without a run of the walk's: one over the columns themselves, from
        // the left side's values, none held.
        if (walk_count < 1) {
            walk_start = start;
            walk_count = count;
        }
        if constexpr (Arithmetic::FAST_PATHS) {
            const typename Arithmetic::CountDivisor per_pixel(walk_count);
            int32_t light[L], light_step[L];
            start_lights(left, right, per_pixel, light, light_step);
            // The run's lights lie between its first and the one it reaches,
            // so kept there they need no limit.
            bool kept = true;
            if constexpr (LIMITED) {
                for (int k = 0; k < L; ++k)
                    kept &= limits.component[k].keep(
                        light[k], value_after(light[k], light_step[k], walk_count));
            }
            if (kept && within_run(start, count, walk_start, walk_count)) [[likely]] {
                const int32_t at = start - walk_start;
                for (int k = 0; k < L; ++k)
                    light[k] = value_after(light[k], light_step[k], at);
                const TexelRun run =
                    start_texel_run(left.q[L], left.q[L + 1], right.q[L], right.q[L + 1], per_pixel,
                                    width_shift, height_shift);
                fill_lit_texels<L>(row + start, count, table, texels, light, light_step,
                                   advance_texel_run(run, at));
                return;
            }
        }
        // The rarer rows start their runs again there, from copies of the
        // sides, so that the walk keeps its own in registers.
        draw_held<LIMITED>(row, start, count, walk_start, walk_count, left, right, limits);
    }

    // The run's lights from the left side, 7 fraction bits, and their steps.
    template <typename Divisor>
    [[gnu::always_inline]] static void start_lights(const Side<L + 2>& left,
                                                    const Side<L + 2>& right,
                                                    const Divisor& per_pixel, int32_t* light,
                                                    int32_t* light_step) {
        for (int k = 0; k < L; ++k) {
            light[k] = left.q[k] >> 1;
            light_step[k] = per_pixel((right.q[k] - left.q[k]) >> 1);
        }
    }

    // The row pixel by pixel, as hold_run lays the run over it.
    template <bool LIMITED, typename AnyLimits>
    [[gnu::noinline]] void draw_held(uint16_t* row, int32_t start, int32_t count,
                                     int32_t walk_start, int32_t walk_count, Side<L + 2> left,
                                     Side<L + 2> right, const AnyLimits& limits) const {
        const typename Arithmetic::CountDivisor per_pixel(walk_count);
        int32_t light[L], light_step[L];
        start_lights(left, right, per_pixel, light, light_step);
        const TexelRun run = start_texel_run(left.q[L], left.q[L + 1], right.q[L], right.q[L + 1],
                                             per_pixel, width_shift, height_shift);
        const HeldRun held = hold_run(start, count, walk_start, walk_count);
        uint16_t* pixel = row + start;
        // The run's values `at` pixels on from walk_start, its sums wrapping
        // as its own steps do; then `pixels` pixels of them, stepped on
        // (`moving`) or held.
        auto draw = [&](int32_t at, int32_t pixels, bool moving) {
            int32_t value[L];
            for (int k = 0; k < L; ++k)
                value[k] = value_after(light[k], light_step[k], at);
            int32_t u = value_after(run.u, run.du, at), v = value_after(run.v, run.dv, at);
            for (int32_t i = 0; i < pixels; ++i) {
                int32_t kept[3];
                for (int k = 0; k < 3; ++k) {
                    kept[k] = value[L == 1 ? 0 : k];
                    if constexpr (LIMITED)
                        kept[k] = limits.component[L == 1 ? 0 : k].limit(kept[k]);
                }
                const int32_t texel = texels[texel_index(u, v)];
                *pixel++ =
                    shaded_pixel(table, kept, (texel >> 10) & 31, (texel >> 5) & 31, texel & 31);
                if (moving) {
                    for (int k = 0; k < L; ++k)
                        value[k] = value_after(value[k], light_step[k], 1);
                    u = value_after(u, run.du, 1);
                    v = value_after(v, run.dv, 1);
                }
            }
        };
        if constexpr (Arithmetic::FAST_PATHS) {
            // A held run is one pixel repeated; the moving run, its lights
            // kept to their levels, the fast span's pixels.
            bool kept = held.within > 0;
            if constexpr (LIMITED) {
                for (int k = 0; k < L && kept; ++k)
                    kept = limits.component[k].keep(
                        value_after(light[k], light_step[k], held.offset),
                        value_after(light[k], light_step[k], held.offset + held.within - 1));
            }
            if (kept) {
                auto repeat = [&](int32_t at, int32_t pixels) {
                    if (pixels < 1) return;
                    uint16_t* const first = pixel;
                    draw(at, 1, false);
                    for (int32_t i = 1; i < pixels; ++i)
                        *pixel++ = *first;
                };
                repeat(0, held.before);
                int32_t value[L];
                for (int k = 0; k < L; ++k)
                    value[k] = value_after(light[k], light_step[k], held.offset);
                fill_lit_texels<L>(pixel, held.within, table, texels, value, light_step,
                                   advance_texel_run(run, held.offset));
                pixel += held.within;
                repeat(walk_count, held.after);
                return;
            }
        }
        draw(0, held.before, false);
        draw(held.offset, held.within, true);
        draw(walk_count, held.after, false);
    }
};

// The entries of a lit textured polygon and its span, handed to
// fill(entries, n, span) when a shade table is selected and the texture slot
// is loaded with shifts in 0..8 (masked coordinates then address inside its
// texels whatever u and v are). Span<Arithmetic, L> is the span for lights
// of L components: the fast arithmetic runs grey lights (under a white
// light) as one.
template <typename Arithmetic, template <typename, int> class Span, typename Fill>
[[gnu::always_inline]] inline void with_lit_textured_entries(const ScreenVertex* const* vertices,
                                                             const ColourRecord* const* lights,
                                                             const TexCoord* const* uvs,
                                                             int32_t texture, int32_t n,
                                                             Fill&& fill) {
    if (current_shade_table == nullptr || n < 1 || n > MAX_POLYGON_VERTICES) return;
    const Texture* record = loaded_texture(texture);
    if (record == nullptr) return;
    set_texel_addressing(record->width_shift, record->height_shift);
    if constexpr (Arithmetic::FAST_PATHS) {
        if (grey_lights(lights, n)) {
            ClipEntry<3> entries[MAX_POLYGON_VERTICES];
            for (int32_t i = 0; i < n; ++i)
                entries[i] = {vertices[i]->x, vertices[i]->y, {lights[i]->r, uvs[i]->u, uvs[i]->v}};
            fill(entries, n,
                 Span<Arithmetic, 1>{current_shade_table->entry, record->texels,
                                     record->width_shift, record->height_shift});
            return;
        }
    }
    LitTexturedEntry entries[MAX_POLYGON_VERTICES];
    for (int32_t i = 0; i < n; ++i) {
        entries[i] = {vertices[i]->x,
                      vertices[i]->y,
                      {lights[i]->r, lights[i]->g, lights[i]->b, uvs[i]->u, uvs[i]->v}};
    }
    fill(entries, n,
         Span<Arithmetic, 3>{current_shade_table->entry, record->texels, record->width_shift,
                             record->height_shift});
}

template <typename Arithmetic>
void fill_lit_textured(const ScreenVertex* const* vertices, const ColourRecord* const* lights,
                       const TexCoord* const* uvs, int32_t texture, int32_t n) {
    with_lit_textured_entries<Arithmetic, LitTexturedSpan>(
        vertices, lights, uvs, texture, n,
        []<int N, typename Span>(const ClipEntry<N>* entries, int32_t count, Span&& span) {
            fill_polygon<N, Arithmetic>(entries, count, span);
        });
}

// fill_lit_textured drawn watertight, for POLY_WATERTIGHT packets.
template <typename Arithmetic>
void fill_watertight_lit_textured(const ScreenVertex* const* vertices,
                                  const ColourRecord* const* lights, const TexCoord* const* uvs,
                                  int32_t texture, int32_t n) {
    with_lit_textured_entries<Arithmetic, WatertightLitTexturedSpan>(
        vertices, lights, uvs, texture, n,
        []<int N, typename Span>(const ClipEntry<N>* entries, int32_t count, Span&& span) {
            fill_polygon_watertight<N, Arithmetic>(entries, count, span);
        });
}

}  // namespace

void fill_watertight_lit_textured_polygon(const ScreenVertex* const* vertices,
                                          const ColourRecord* const* lights,
                                          const TexCoord* const* uvs, int32_t texture, int32_t n) {
    fill_watertight_lit_textured<FastArithmetic>(vertices, lights, uvs, texture, n);
}

void fill_watertight_lit_textured_polygon_plain(const ScreenVertex* const* vertices,
                                                const ColourRecord* const* lights,
                                                const TexCoord* const* uvs, int32_t texture,
                                                int32_t n) {
    fill_watertight_lit_textured<PlainArithmetic>(vertices, lights, uvs, texture, n);
}

void fill_lit_textured_polygon(const ScreenVertex* const* vertices,
                               const ColourRecord* const* lights, const TexCoord* const* uvs,
                               int32_t texture, int32_t n) {
    fill_lit_textured<FastArithmetic>(vertices, lights, uvs, texture, n);
}

void fill_lit_textured_polygon_plain(const ScreenVertex* const* vertices,
                                     const ColourRecord* const* lights, const TexCoord* const* uvs,
                                     int32_t texture, int32_t n) {
    fill_lit_textured<PlainArithmetic>(vertices, lights, uvs, texture, n);
}

void draw_lit_textured_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                const ScreenVertex* vert2, const ColourRecord* light0,
                                const ColourRecord* light1, const ColourRecord* light2,
                                const TexCoord* uv0, const TexCoord* uv1, const TexCoord* uv2,
                                int32_t texture, int32_t shade_mode) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2};
    const ColourRecord* lights[] = {light0, light1, light2};
    const TexCoord* uvs[] = {uv0, uv1, uv2};
    if (!polygon_has_height(vertices, 3)) return;
    select_shade_table(shade_mode);
    fill_lit_textured_polygon(vertices, lights, uvs, texture, 3);
}

void draw_lit_textured_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                            const ScreenVertex* vert2, const ScreenVertex* vert3,
                            const ColourRecord* light0, const ColourRecord* light1,
                            const ColourRecord* light2, const ColourRecord* light3,
                            const TexCoord* uv0, const TexCoord* uv1, const TexCoord* uv2,
                            const TexCoord* uv3, int32_t texture, int32_t shade_mode) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2, vert3};
    const ColourRecord* lights[] = {light0, light1, light2, light3};
    const TexCoord* uvs[] = {uv0, uv1, uv2, uv3};
    if (!polygon_has_height(vertices, 4)) return;
    select_shade_table(shade_mode);
    fill_lit_textured_polygon(vertices, lights, uvs, texture, 4);
}

void draw_watertight_lit_textured_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                           const ScreenVertex* vert2, const ColourRecord* light0,
                                           const ColourRecord* light1, const ColourRecord* light2,
                                           const TexCoord* uv0, const TexCoord* uv1,
                                           const TexCoord* uv2, int32_t texture,
                                           int32_t shade_mode) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2};
    const ColourRecord* lights[] = {light0, light1, light2};
    const TexCoord* uvs[] = {uv0, uv1, uv2};
    if (!polygon_has_height(vertices, 3)) return;
    select_shade_table(shade_mode);
    fill_watertight_lit_textured_polygon(vertices, lights, uvs, texture, 3);
}
