// A painted part's texture, made from its region, base colour and painting.
#include "app/part_texture.h"

#include "app/line_walk.h"

namespace {

uint16_t texel_of(const ColourRecord& c) {
    return uint16_t((((c.r >> 3) & 31) << 10) | (((c.g >> 3) & 31) << 5) | ((c.b >> 3) & 31));
}

// The smallest shift whose power of two reaches `size` (at most the fills').
int32_t covering_shift(int64_t size) {
    int32_t shift = 0;
    while (shift < PART_TEXTURE_MAX_SHIFT && (int64_t(1) << shift) < size)
        ++shift;
    return shift;
}

}  // namespace

PartTexture make_part_texture(const RegionMask& region, const ColourRecord& base,
                              const PartPainting& painting) {
    PartTexture texture;
    const int64_t width = region.width > 0 ? region.width : 1;
    const int64_t height = region.height > 0 ? region.height : 1;
    const int64_t room = (int64_t(1) << PART_TEXTURE_MAX_SHIFT) - 2 * PART_TEXTURE_MARGIN;
    // Texels the box takes at step s: its size divided by 2^s, rounded up.
    auto texels_for = [](int64_t size, int32_t s) { return (size + (int64_t(1) << s) - 1) >> s; };
    int32_t s = 0;
    while (s < 31 && (texels_for(width, s) > room || texels_for(height, s) > room))
        ++s;
    texture.step_shift = s;
    texture.width_shift = covering_shift(texels_for(width, s) + 2 * PART_TEXTURE_MARGIN);
    texture.height_shift = covering_shift(texels_for(height, s) + 2 * PART_TEXTURE_MARGIN);
    // 32-bit wrap as the model's coordinates do; the margin is at most a few
    // times 2^s points for any region the screen can hold.
    texture.origin_x = int32_t(uint32_t(region.origin_x) - (uint32_t(PART_TEXTURE_MARGIN) << s));
    texture.origin_y = int32_t(uint32_t(region.origin_y) - (uint32_t(PART_TEXTURE_MARGIN) << s));
    const int32_t columns = 1 << texture.width_shift, rows = 1 << texture.height_shift;
    texture.texels.assign(size_t(columns) * size_t(rows), texel_of(base));
    // The walk runs in model points relative to the texture's origin, over
    // the points the texture spans (below 2^31 for any step up to 2^22).
    const int64_t span_x = int64_t(columns) << s, span_y = int64_t(rows) << s;
    const auto walk_width = int32_t(span_x < INT32_MAX ? span_x : INT32_MAX);
    const auto walk_height = int32_t(span_y < INT32_MAX ? span_y : INT32_MAX);
    auto relative = [](int32_t value, int32_t origin) {
        const int64_t offset = int64_t(value) - origin;
        return int32_t(offset < INT32_MIN ? INT32_MIN : offset > INT32_MAX ? INT32_MAX : offset);
    };
    for (const PaintSegment& segment : painting.segments) {
        const uint16_t colour = texel_of(segment.colour);
        walk_line(relative(segment.x0, texture.origin_x), relative(segment.y0, texture.origin_y),
                  relative(segment.x1, texture.origin_x), relative(segment.y1, texture.origin_y),
                  walk_width, walk_height, [&](int32_t x, int32_t y) {
                      const int32_t column = x >> s, row = y >> s;
                      for (int32_t r = row; r < row + 2 && r < rows; ++r)
                          for (int32_t c = column; c < column + 2 && c < columns; ++c)
                              texture.texels[size_t(r) * size_t(columns) + size_t(c)] = colour;
                  });
    }
    return texture;
}

TexCoord part_tex_coord(const PartTexture& texture, int32_t x, int32_t y) {
    // The texel's middle in half texels, then 256 texture units over its 2^w
    // texels (w at most 7): 8 - w bits more, less the half's one. Unsigned
    // differences wrap as the model's coordinates do; the shift of the
    // difference is arithmetic, so points left of the origin go left.
    auto coordinate = [&](int32_t value, int32_t origin, int32_t size_shift) {
        const int32_t texel = int32_t(uint32_t(value) - uint32_t(origin)) >> texture.step_shift;
        const uint32_t halves = uint32_t(texel) * 2u + 1u;
        return int32_t(halves << (8 - size_shift)) >> 1;
    };
    return {coordinate(x, texture.origin_x, texture.width_shift),
            coordinate(y, texture.origin_y, texture.height_shift), 0, 0};
}
