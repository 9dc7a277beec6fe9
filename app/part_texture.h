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

// The widest and tallest texture the exports carry, 2^10 texels: a part as
// wide as the screen at the nearer zooms keeps one texel a model point, as
// the tiles draw it; only a part drawn zoomed far out, where a pixel spans
// more than a point, is coarser. 2 MB of texels at most, made at export time
// for each painted part. The exports name texels by float or decimal
// coordinates, not the fills' 1/256 units, so they are not held to 2^7.
inline constexpr int32_t EXPORT_TEXTURE_MAX_SHIFT = 10;

// Inputs: the part's region (its box: width x height model points from
// (origin_x, origin_y)), its base colour, its painting (segments in the
// region's frame) and the largest texture, 2^max_shift texels each way
// (held to 3..EXPORT_TEXTURE_MAX_SHIFT). Output: the smallest power-of-two
// texture of at most that size that holds the box, one texel a model point,
// or 2^s model points each way for the smallest s that fits (a region wider
// or taller than 2^max_shift - 2 * PART_TEXTURE_MARGIN points), plus the
// margin; every texel the base colour, or the traced picture's pixel at the
// texel's middle model point where the painting has a picture that covers it
// (read at -x for a reflected part), and each segment drawn over it in order
// as a line two texels wide (the line walk's texel and those right of and
// below it). Bounded by the texture whatever the segments' end points. At
// the fills' size (2^7) it is the texture a part that fits one tile is drawn
// from; the exports' texture is made at EXPORT_TEXTURE_MAX_SHIFT, its texels
// where they overlap the tiles' the same as theirs.
struct PartTexture {
    int32_t width_shift = 0, height_shift = 0;  // 2^w x 2^h texels
    int32_t step_shift = 0;                     // a texel spans 2^s model points each way
    int32_t origin_x = 0, origin_y = 0;         // the model point at texel (0, 0)
    std::vector<uint16_t> texels;               // 5:5:5, row after row
};
PartTexture make_part_texture(const RegionMask& region, const ColourRecord& base,
                              const PartPainting& painting,
                              int32_t max_shift = PART_TEXTURE_MAX_SHIFT);

// The texel (column, row) of the texture that holds model point (x, y), its
// front projection, counted from texel (0, 0) and not wrapped into the
// texture: a point left of or above the origin has a negative one. Unsigned
// differences wrap as the model's coordinates do.
struct TexelPlace {
    int32_t column = 0, row = 0;
};
TexelPlace part_texel_place(const PartTexture& texture, int32_t x, int32_t y);

// The texture coordinates (1/256 of the texture's width and height) of the
// model point (x, y) of a vertex, its front projection: the middle of the
// texel it lies in, so that a vertex on a region pixel reads that pixel's
// texel. Any point: coordinates wrap as the fills' do. For a texture of at
// most 2^7 texels each way (the fills').
TexCoord part_tex_coord(const PartTexture& texture, int32_t x, int32_t y);

// A painted part drawn from tiles: textures of at most 128 x 128 texels laid
// over the box that holds its region and its vertices' front projections, in
// columns x rows, each overlapping its neighbours, every texel 2^s model points
// each way on one grid, so that the tiles agree wherever they overlap. Along
// an axis the box fits in one tile with PART_TEXTURE_MARGIN texels each side,
// that one tile is as small as it can be (a part that fits one texture is
// drawn from the texture make_part_texture makes); otherwise 128-texel tiles whose
// first texels lie `stride` apart, `margin` texels of each tile on either side
// of its core (its middle `stride` texels). Every triangle is drawn from the
// tile whose core holds its centroid; the margin is the farthest a triangle's
// corner lies from its centroid, in texels, plus PART_TEXTURE_MARGIN, so that
// every corner of a triangle lies inside its tile with room to spare.
struct PartTiling {
    int32_t step_shift = 0;
    int32_t width_shift = 0, height_shift = 0;  // every tile 2^w x 2^h texels
    int32_t origin_x = 0, origin_y = 0;         // the model point at texel (0, 0) of tile 0
    int32_t columns = 1, rows = 1;              // tile c + r * columns at column c, row r
    int32_t stride_x = 0, stride_y = 0;         // texels from a tile's first to the next one's
    int32_t margin_x = 0, margin_y = 0;         // texels each side of a tile's core
};

// A part's tiles and what its triangles are drawn with: the tile of each
// triangle and its corners' coordinates in that tile (three a triangle, in
// the triangle's order), and how many distinct coordinate records those are.
struct PartTiles {
    PartTiling tiling;
    std::vector<int32_t> triangle_tile;
    std::vector<TexCoord> corners;
    int64_t distinct_coords = 0;
};

// Inputs: the part's region, its vertices (model points; x and y are their
// front projection) and triangles (corners index the vertices), at most
// `max_tiles` tiles (one at least) and `max_coords` coordinate records.
// Output: the tiles at the finest step s (one texel a model point first) that
// needs no more tiles and records than that, the step growing until they fit:
// with few slots or little room a part is drawn coarser, never not at all,
// unless even one texture over the whole box needs more records than there
// are (false then, `tiles` left as it was). Bounded work whatever the inputs:
// a step is tried only when its tile count fits.
bool plan_part_tiles(const RegionMask& region, const std::vector<Vec4>& vertices,
                     const std::vector<MeshTriangle>& triangles, int32_t max_tiles,
                     int64_t max_coords, PartTiles* tiles);

// Tile `tile` of the tiling as a texture: its frame (origin, step and shifts)
// and, with a painting, its texels as make_part_texture draws them (the base
// colour and the segments over it, on the tiling's grid).
PartTexture part_tile_frame(const PartTiling& tiling, int32_t tile);
PartTexture make_part_tile(const PartTiling& tiling, int32_t tile, const ColourRecord& base,
                           const PartPainting& painting);
