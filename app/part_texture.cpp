// A painted part's texture, made from its region, base colour and painting.
#include "app/part_texture.h"

#include <climits>

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
    // A traced picture gives each texel it covers its pixel at the texel's middle point
    // (model points, 64-bit: the texel's place may leave 32 bits for an absurd region).
    if (const TracePicture* picture = painting.picture.get(); picture != nullptr) {
        const int64_t half = (int64_t(1) << s) >> 1;
        for (int32_t row = 0; row < rows; ++row) {
            const int64_t y = int64_t(texture.origin_y) + (int64_t(row) << s) + half - picture->y;
            if (y < 0 || y >= picture->height) continue;
            for (int32_t column = 0; column < columns; ++column) {
                int64_t x = int64_t(texture.origin_x) + (int64_t(column) << s) + half;
                x = (painting.picture_mirrored ? -x : x) - picture->x;
                if (x >= 0 && x < picture->width)
                    texture.texels[size_t(row) * size_t(columns) + size_t(column)] =
                        picture->pixels[size_t(y) * size_t(picture->width) + size_t(x)];
            }
        }
    }
    // Each segment is walked in texels, its ends moved into the texture's
    // frame (64-bit, shifted arithmetically, so points left of or above the
    // origin go left or up) and held to int32, so the walk is bounded by the
    // texture whatever they are. A segment within one texel (at a step of
    // two points or more) still paints that texel.
    auto texel_of_point = [&](int32_t value, int32_t origin) {
        const int64_t texel = (int64_t(value) - origin) >> s;
        return int32_t(texel < INT32_MIN ? INT32_MIN : texel > INT32_MAX ? INT32_MAX : texel);
    };
    for (const PaintSegment& segment : painting.segments) {
        const uint16_t colour = texel_of(segment.colour);
        auto stamp = [&](int32_t column, int32_t row) {
            for (int32_t r = row; r < row + 2 && r < rows; ++r)
                for (int32_t c = column; c < column + 2 && c < columns; ++c)
                    if (r >= 0 && c >= 0)
                        texture.texels[size_t(r) * size_t(columns) + size_t(c)] = colour;
        };
        const int32_t x0 = texel_of_point(segment.x0, texture.origin_x);
        const int32_t y0 = texel_of_point(segment.y0, texture.origin_y);
        const int32_t x1 = texel_of_point(segment.x1, texture.origin_x);
        const int32_t y1 = texel_of_point(segment.y1, texture.origin_y);
        if (x0 == x1 && y0 == y1) {
            if ((segment.x0 != segment.x1 || segment.y0 != segment.y1) && x0 >= 0 && x0 < columns &&
                y0 >= 0 && y0 < rows)
                stamp(x0, y0);
            continue;
        }
        walk_line(x0, y0, x1, y1, columns, rows, stamp);
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
