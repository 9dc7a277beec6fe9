// Textured fills: texel copy, saturating add and 50 % blend over the shared polygon
// pipeline, with u and v as the carried attributes.
#include "raster/fills/textured_fill.h"

#include <cstring>

#include "raster/fills/flat_fill.h"
#include "raster/fills/polygon_pipeline.h"
#include "raster/fills/reference_fills.h"
#include "raster/texture_loader.h"

TexelAddressing texel_addressing = {0, 8, 0};

void set_texel_addressing(int32_t width_shift, int32_t height_shift) {
    texel_addressing.u_mask = (1 << width_shift) - 1;
    texel_addressing.row_shift = 8 - width_shift;
    texel_addressing.v_mask = ((1 << height_shift) - 1) * 256;
}

namespace {

template <typename Arithmetic, typename Combine>
struct TexturedSpan {
    const uint16_t* texels;
    int32_t width_shift, height_shift;
    Combine combine;  // (texel, pixel) -> pixel, and four(texels, pixels) -> pixels

    [[gnu::always_inline]] void operator()(uint16_t* row, int32_t start, int32_t count,
                                           const Side<2>& left, const Side<2>& right) const {
        TexelRun run =
            start_texel_run(left.q[0], left.q[1], right.q[0], right.q[1],
                            typename Arithmetic::CountDivisor(count), width_shift, height_shift);
        uint16_t* pixel = row + start;
        if constexpr (Arithmetic::FAST_PATHS) {
            if constexpr (!Combine::READS_PIXELS) {
                int32_t i = 0;
                if (count >= 8) {
                    // A local, not the member: a pixel store may alias the span.
                    const uint16_t* const source = texels;
                    TexelIndexLanes lanes(run);
                    for (uint16_t* eight = pixel; i + 8 <= count; i += 8, eight += 8) {
                        const EightLanes index = lanes.next();
#pragma GCC unroll 8
                        for (int k = 0; k < 8; ++k)
                            eight[k] = source[index[k]];
                    }
                    run = advance_texel_run(run, i);
                }
                TexelCursor cursor(texels, run);
                for (; i < count; ++i)
                    pixel[i] = cursor.next();
                return;
            }
            TexelCursor cursor(texels, run);
            // Four pixels meet their texels in one 64-bit operation, in
            // memory order whatever the byte order.
            auto next_texel = [&cursor] { return cursor.next(); };
            int32_t i = 0;
            for (; i + 4 <= count; i += 4) {
                const uint16_t four_texels[4] = {next_texel(), next_texel(), next_texel(),
                                                 next_texel()};
                uint64_t texels4, pixels4;
                std::memcpy(&texels4, four_texels, 8);
                std::memcpy(&pixels4, pixel + i, 8);
                pixels4 = combine.four(texels4, pixels4);
                std::memcpy(pixel + i, &pixels4, 8);
            }
            for (; i < count; ++i)
                pixel[i] = combine(next_texel(), pixel[i]);
            return;
        }
        for (int32_t i = 0; i < count; ++i) {
            pixel[i] = combine(texels[texel_index(run.u, run.v)], pixel[i]);
            run.u += run.du;
            run.v += run.dv;
        }
    }
};

template <typename Arithmetic, typename Combine>
void fill_textured(const ScreenVertex* const* vertices, const TexCoord* const* uvs, int32_t slot,
                   int32_t n, Combine combine) {
    if (n < 1 || n > MAX_POLYGON_VERTICES) return;
    // Only a loaded slot with shifts in 0..8 is drawn: masked coordinates then
    // address inside its texels whatever u and v are.
    const Texture* texture = loaded_texture(slot);
    if (texture == nullptr) return;
    ClipEntry<2> entries[MAX_POLYGON_VERTICES];
    for (int32_t i = 0; i < n; ++i) {
        entries[i] = {vertices[i]->x, vertices[i]->y, {uvs[i]->u, uvs[i]->v}};
    }
    set_texel_addressing(texture->width_shift, texture->height_shift);
    fill_polygon<2, Arithmetic>(
        entries, n,
        TexturedSpan<Arithmetic, Combine>{texture->texels, texture->width_shift,
                                          texture->height_shift, combine});
}

// The three families' per-pixel operations, as functors so that they inline;
// a family that ignores the pixel under its texel writes texels one by one.
struct CopyTexel {
    static constexpr bool READS_PIXELS = false;
    uint16_t operator()(uint16_t texel, uint16_t) const { return texel; }
    uint64_t four(uint64_t texels, uint64_t) const { return texels; }
};
struct AddTexel {
    static constexpr bool READS_PIXELS = true;
    uint16_t operator()(uint16_t texel, uint16_t pixel) const {
        return add_saturate_pixel(texel, pixel);
    }
    uint64_t four(uint64_t texels, uint64_t pixels) const {
        return add_saturate_four(texels, pixels);
    }
};
struct BlendTexel {
    static constexpr bool READS_PIXELS = true;
    uint16_t operator()(uint16_t texel, uint16_t pixel) const {
        return average_pixel(texel, pixel);
    }
    uint64_t four(uint64_t texels, uint64_t pixels) const { return average_four(texels, pixels); }
};

}  // namespace

void fill_textured_polygon(const ScreenVertex* const* vertices, const TexCoord* const* uvs,
                           int32_t texture, int32_t n) {
    fill_textured<FastArithmetic>(vertices, uvs, texture, n, CopyTexel{});
}

void fill_additive_textured_polygon(const ScreenVertex* const* vertices, const TexCoord* const* uvs,
                                    int32_t texture, int32_t n) {
    fill_textured<FastArithmetic>(vertices, uvs, texture, n, AddTexel{});
}

void fill_half_textured_polygon(const ScreenVertex* const* vertices, const TexCoord* const* uvs,
                                int32_t texture, int32_t n) {
    fill_textured<FastArithmetic>(vertices, uvs, texture, n, BlendTexel{});
}

void fill_textured_polygon_plain(TexturedFamily family, const ScreenVertex* const* vertices,
                                 const TexCoord* const* uvs, int32_t texture, int32_t n) {
    switch (family) {
        case TexturedFamily::COPY:
            fill_textured<PlainArithmetic>(vertices, uvs, texture, n, CopyTexel{});
            break;
        case TexturedFamily::ADD:
            fill_textured<PlainArithmetic>(vertices, uvs, texture, n, AddTexel{});
            break;
        case TexturedFamily::HALF:
            fill_textured<PlainArithmetic>(vertices, uvs, texture, n, BlendTexel{});
            break;
    }
}

namespace {

using TexturedCore = void (*)(const ScreenVertex* const*, const TexCoord* const*, int32_t, int32_t);

// The named entry points below: a polygon with no height draws nothing,
// anything else goes to its family's core.
template <TexturedCore FILL, int N>
void draw_with(const ScreenVertex* const (&vertices)[N], const TexCoord* const (&uvs)[N],
               int32_t texture) {
    if (polygon_has_height(vertices, N)) FILL(vertices, uvs, texture, N);
}

}  // namespace

void draw_textured_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                            const ScreenVertex* vert2, const TexCoord* uv0, const TexCoord* uv1,
                            const TexCoord* uv2, int32_t texture) {
    draw_with<fill_textured_polygon, 3>({vert0, vert1, vert2}, {uv0, uv1, uv2}, texture);
}

void draw_textured_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                        const ScreenVertex* vert2, const ScreenVertex* vert3, const TexCoord* uv0,
                        const TexCoord* uv1, const TexCoord* uv2, const TexCoord* uv3,
                        int32_t texture) {
    draw_with<fill_textured_polygon, 4>({vert0, vert1, vert2, vert3}, {uv0, uv1, uv2, uv3},
                                        texture);
}

void draw_additive_textured_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                     const ScreenVertex* vert2, const TexCoord* uv0,
                                     const TexCoord* uv1, const TexCoord* uv2, int32_t texture) {
    draw_with<fill_additive_textured_polygon, 3>({vert0, vert1, vert2}, {uv0, uv1, uv2}, texture);
}

void draw_additive_textured_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                 const ScreenVertex* vert2, const ScreenVertex* vert3,
                                 const TexCoord* uv0, const TexCoord* uv1, const TexCoord* uv2,
                                 const TexCoord* uv3, int32_t texture) {
    draw_with<fill_additive_textured_polygon, 4>({vert0, vert1, vert2, vert3}, {uv0, uv1, uv2, uv3},
                                                 texture);
}

void draw_half_textured_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                 const ScreenVertex* vert2, const TexCoord* uv0,
                                 const TexCoord* uv1, const TexCoord* uv2, int32_t texture) {
    draw_with<fill_half_textured_polygon, 3>({vert0, vert1, vert2}, {uv0, uv1, uv2}, texture);
}

void draw_half_textured_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                             const ScreenVertex* vert2, const ScreenVertex* vert3,
                             const TexCoord* uv0, const TexCoord* uv1, const TexCoord* uv2,
                             const TexCoord* uv3, int32_t texture) {
    draw_with<fill_half_textured_polygon, 4>({vert0, vert1, vert2, vert3}, {uv0, uv1, uv2, uv3},
                                             texture);
}
