// Textured fills: affine texture mapping on the shared polygon pipeline, with
// u and v as the carried attributes, in three families that differ only in how
// a texel meets the pixel under it: copy, saturating add and 50 % blend.
//
// Texture coordinates are in 1/256 of the texture's width and height; any
// value wraps, since texels are addressed through masks (sizes are powers of
// two). Every texel is drawn; none is transparent.
#pragma once

#include <cstdint>

#include "raster/fills/pipeline_arithmetic.h"
#include "raster/packet.h"

// Texel addressing of the polygon being drawn, set by a textured fill (copy,
// add, blend or lit) from its texture before its first span, for a texture
// 2^w texels wide and 2^h high. The fills are therefore not reentrant.
struct TexelAddressing {
    int32_t u_mask;     // 2^w - 1
    int32_t row_shift;  // 8 - w
    int32_t v_mask;     // (2^h - 1) * 256
};
extern TexelAddressing texel_addressing;

void set_texel_addressing(int32_t width_shift, int32_t height_shift);

// The texel index for running texel coordinates U and V (8 fraction bits):
// row (V >> 8) mod 2^h times 2^w, plus column (U >> 8) mod 2^w. Always inside
// the texture whose shifts were set.
inline int32_t texel_index(int32_t u, int32_t v) {
    return ((v & texel_addressing.v_mask) >> texel_addressing.row_shift) +
           ((u >> 8) & texel_addressing.u_mask);
}

// Texel coordinates across one span, with 8 fraction bits, from the sides' u
// and v (8 fraction bits of texture units, 256 a texture) for a span of
// count >= 1 pixels: the steps are divided first (per_pixel(q) is q / count,
// truncated) and then shifted to texel units; the start is scaled by 2^w /
// 256 (shifted unsigned, so that it wraps rather than overflows, then
// arithmetically back).
struct TexelRun {
    int32_t u, v;
    int32_t du, dv;
};
template <typename Divisor>
inline TexelRun start_texel_run(int32_t left_u, int32_t left_v, int32_t right_u, int32_t right_v,
                                const Divisor& per_pixel, int32_t width_shift,
                                int32_t height_shift) {
    return TexelRun{int32_t(uint32_t(left_u) << width_shift) >> 8,
                    int32_t(uint32_t(left_v) << height_shift) >> 8,
                    per_pixel(right_u - left_u) >> (8 - width_shift),
                    per_pixel(right_v - left_v) >> (8 - height_shift)};
}

// The texels along one span for a fast loop: the addressing globals and the
// texel pointer read into locals once (a pixel store may alias the globals),
// and the index computed unsigned, without a shift by a variable count. V is
// carried times 2^w (w = 8 - row_shift), which puts the row bits that
// texel_index takes from bits 8 and up of V right above the column bits of U:
// masked in place, added and shifted down by 8, the two give texel_index.
// Bits below 24 of a sum or product depend only on the terms' bits below 24,
// so the coordinates wrap as the int32 ones do.
struct TexelCursor {
    const uint16_t* texels;
    uint32_t column_mask, row_mask;  // the column bits of U, the row bits of V * 2^w
    uint32_t u, v, du, dv;           // 8 fraction bits; v and dv times 2^w

    TexelCursor(const uint16_t* texture, const TexelRun& run)
        : texels(texture),
          column_mask(uint32_t(texel_addressing.u_mask) << 8),
          row_mask(uint32_t(texel_addressing.v_mask) << (8 - texel_addressing.row_shift)),
          u(uint32_t(run.u)),
          v(uint32_t(run.v) << (8 - texel_addressing.row_shift)),
          du(uint32_t(run.du)),
          dv(uint32_t(run.dv) << (8 - texel_addressing.row_shift)) {}

    // The texel under the cursor; then one pixel on.
    uint16_t next() {
        const uint16_t texel = texels[((v & row_mask) + (u & column_mask)) >> 8];
        u += du;
        v += dv;
        return texel;
    }
};

// The texel indices of eight pixels at a time, for the long spans of a fast
// loop. texel_index reads bits 8..15 of U and V alone (bits below 16 of a sum
// depend only on the terms' bits below 16), so eight pixels' coordinates run
// in 16-bit lanes, modulo 2^16, and every index, at most 2^16 - 1, fits its
// lane.
struct TexelIndexLanes {
    EightLanes u, v, du, dv;         // eight pixels' coordinates and their steps over eight pixels
    uint16_t column_mask, row_mask;  // u_mask << 8 and v_mask
    int32_t row_shift;

    explicit TexelIndexLanes(const TexelRun& run)
        : column_mask(uint16_t(texel_addressing.u_mask << 8)),
          row_mask(uint16_t(texel_addressing.v_mask)),
          row_shift(texel_addressing.row_shift) {
        u = eight_values(run.u, run.du);
        v = eight_values(run.v, run.dv);
        du = eight_steps(run.du);
        dv = eight_steps(run.dv);
    }
    // The next eight texel indices, as texel_index gives them.
    EightLanes next() {
        const EightLanes index = ((v & row_mask) >> row_shift) + ((u & column_mask) >> 8);
        u += du;
        v += dv;
        return index;
    }
};

// The run `pixels` pixels on: each coordinate its start plus that many
// steps, wrapping.
inline TexelRun advance_texel_run(TexelRun run, int32_t pixels) {
    run.u = value_after(run.u, run.du, pixels);
    run.v = value_after(run.v, run.dv, pixels);
    return run;
}

// The saturating add of two 5:5:5 pixels: the lowest bit of every component
// is dropped from both, the components add, and one that overflows becomes 31.
// The overflow bit itself stays set in the result, on the lowest bit of the
// next component up, or on bit 15 for red; the screen format ignores bit 15
// and a later blend masks it away.
constexpr uint16_t add_saturate_pixel(uint16_t a, uint16_t b) {
    const uint32_t sum = uint32_t(a & 0x7BDE) + uint32_t(b & 0x7BDE);
    const uint32_t carry = sum & 0x8420;  // each component's overflow bit
    return uint16_t((carry - (carry >> 5)) | sum);
}

// add_saturate_pixel of four pixels at once, one in each 16-bit quarter. No
// carry crosses a quarter: each sums to at most 0xF7BC, and the carry bits
// (5, 10 and 15 of a quarter) shift down by 5 inside it and exceed what is
// subtracted from them.
constexpr uint64_t add_saturate_four(uint64_t a, uint64_t b) {
    const uint64_t sum = (a & 0x7BDE7BDE7BDE7BDE) + (b & 0x7BDE7BDE7BDE7BDE);
    const uint64_t carry = sum & 0x8420842084208420;
    return (carry - (carry >> 5)) | sum;
}

// Called by the dispatcher for codes 11/12 (copy), 27/28 (add) and 59/60
// (blend), with the packet's vertices and texture coordinates in packet order
// and its texture slot. Nothing is drawn when every vertex has the y of the
// first, when the slot holds no texture (or is outside 0..127), or when no
// raster is bound; nothing is written outside the raster target.
void draw_textured_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                            const ScreenVertex* vert2, const TexCoord* uv0, const TexCoord* uv1,
                            const TexCoord* uv2, int32_t texture);
void draw_textured_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                        const ScreenVertex* vert2, const ScreenVertex* vert3, const TexCoord* uv0,
                        const TexCoord* uv1, const TexCoord* uv2, const TexCoord* uv3,
                        int32_t texture);
void draw_additive_textured_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                     const ScreenVertex* vert2, const TexCoord* uv0,
                                     const TexCoord* uv1, const TexCoord* uv2, int32_t texture);
void draw_additive_textured_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                 const ScreenVertex* vert2, const ScreenVertex* vert3,
                                 const TexCoord* uv0, const TexCoord* uv1, const TexCoord* uv2,
                                 const TexCoord* uv3, int32_t texture);
void draw_half_textured_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                 const ScreenVertex* vert2, const TexCoord* uv0,
                                 const TexCoord* uv1, const TexCoord* uv2, int32_t texture);
void draw_half_textured_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                             const ScreenVertex* vert2, const ScreenVertex* vert3,
                             const TexCoord* uv0, const TexCoord* uv1, const TexCoord* uv2,
                             const TexCoord* uv3, int32_t texture);

// The cores of the three families, for n = 3 or 4.
void fill_textured_polygon(const ScreenVertex* const* vertices, const TexCoord* const* uvs,
                           int32_t texture, int32_t n);
void fill_additive_textured_polygon(const ScreenVertex* const* vertices, const TexCoord* const* uvs,
                                    int32_t texture, int32_t n);
void fill_half_textured_polygon(const ScreenVertex* const* vertices, const TexCoord* const* uvs,
                                int32_t texture, int32_t n);
