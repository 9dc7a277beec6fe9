// The texture a painted part is drawn with: its base colour with its painting
// over it, laid over the box of the region it was built from, and the texture
// coordinates of its vertices, taken from their front projection.
#pragma once

#include <cstdint>
#include <vector>

#include "app/part_painting.h"
#include "geometry/body_mesh.h"
#include "raster/packet.h"

// Texels of the base colour kept around the region's box on every side: the
// watertight walk's texture coordinates stray a fraction of a texel past a
// polygon's corners, and the rim's vertices lie on the box's edge, so the
// coordinates never wrap into the far side of the texture.
inline constexpr int32_t PART_TEXTURE_MARGIN = 2;
// The widest and tallest part texture, 2^7 texels: half the fills' 256, so
// that a coordinate (in 1/256 of the texture) can name a texel's middle.
// Sampled at a texel's edge instead, the truncated steps of the fills'
// coordinates put a row or column of pixels on the texel before it.
inline constexpr int32_t PART_TEXTURE_MAX_SHIFT = 7;

// Inputs: the part's region (its box: width x height model points from
// (origin_x, origin_y)), its base colour and its painting (segments in the
// region's frame). Output: the smallest power-of-two texture of at most
// 128 x 128 texels that holds the box, one texel a model point, or 2^s model
// points each way for the smallest s that fits (a region wider or taller than
// 128 - 2 * PART_TEXTURE_MARGIN points), plus the margin; every texel the base
// colour, or the traced picture's pixel at the texel's middle model point where
// the painting has a picture that covers it (read at -x for a reflected part),
// and each segment drawn over it in order as a line two texels wide
// (the line walk's texel and those right of and below it). Bounded by the
// texture whatever the segments' end points.
struct PartTexture {
    int32_t width_shift = 0, height_shift = 0;  // 2^w x 2^h texels
    int32_t step_shift = 0;                     // a texel spans 2^s model points each way
    int32_t origin_x = 0, origin_y = 0;         // the model point at texel (0, 0)
    std::vector<uint16_t> texels;               // 5:5:5, row after row
};
PartTexture make_part_texture(const RegionMask& region, const ColourRecord& base,
                              const PartPainting& painting);

// The texture coordinates (1/256 of the texture's width and height) of the
// model point (x, y) of a vertex, its front projection: the middle of the
// texel it lies in, so that a vertex on a region pixel reads that pixel's
// texel. Any point: coordinates wrap as the fills' do.
TexCoord part_tex_coord(const PartTexture& texture, int32_t x, int32_t y);
