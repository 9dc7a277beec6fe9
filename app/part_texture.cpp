// A painted part's texture, made from its region, base colour and painting.
#include "app/part_texture.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "app/line_walk.h"

namespace {

uint16_t texel_of(const ColourRecord& c) {
    return uint16_t((((c.r >> 3) & 31) << 10) | (((c.g >> 3) & 31) << 5) | ((c.b >> 3) & 31));
}

// The smallest shift whose power of two reaches `size`, at most `max_shift`.
int32_t covering_shift(int64_t size, int32_t max_shift) {
    int32_t shift = 0;
    while (shift < max_shift && (int64_t(1) << shift) < size)
        ++shift;
    return shift;
}

// Texels a span of `size` model points takes at step s: its size divided by
// 2^s, rounded up.
int64_t texels_for(int64_t size, int32_t s) {
    return (size + (int64_t(1) << s) - 1) >> s;
}

// The texture's texels: every one the base colour, and each segment of the
// painting drawn over them in order as a line two texels wide (the line
// walk's texel and those right of and below it). At one texel a model point
// a one-texel line would be the stroke as it was shown, but the fills'
// texture coordinates stray up to a texel along long spans and over a body's
// turning sides, which breaks such a line into dashes; two keep it whole.
//
// Each segment is walked in texels, its ends moved into the texture's frame
// (64-bit, shifted arithmetically, so points left of or above the origin go
// left or up) and held to int32, so the walk is bounded by the texture
// whatever they are. The walk takes in the column left of the texture and the
// row above it too, whose texels' lines reach into it. The walk's texels
// depend only on the ends' offsets from one another, so tiles on one grid
// draw a segment alike where they overlap. A segment within one texel (at a
// step of two points or more) still paints that texel.
void paint_texture(PartTexture* texture, const ColourRecord& base, const PartPainting& painting) {
    const int32_t s = texture->step_shift;
    const int32_t columns = 1 << texture->width_shift, rows = 1 << texture->height_shift;
    // A row of the base colour, copied into every row (each texel written once).
    const std::vector<uint16_t> row(size_t(columns), texel_of(base));
    texture->texels.clear();
    texture->texels.reserve(size_t(columns) * size_t(rows));
    for (int32_t r = 0; r < rows; ++r)
        texture->texels.insert(texture->texels.end(), row.begin(), row.end());
    // A traced picture gives each texel it covers its pixel at the texel's middle point
    // (model points, 64-bit: the texel's place may leave 32 bits for an absurd region).
    if (const TracePicture* picture = painting.picture.get(); picture != nullptr) {
        const int64_t half = (int64_t(1) << s) >> 1;
        for (int32_t r = 0; r < rows; ++r) {
            const int64_t y = int64_t(texture->origin_y) + (int64_t(r) << s) + half - picture->y;
            if (y < 0 || y >= picture->height) continue;
            for (int32_t c = 0; c < columns; ++c) {
                int64_t x = int64_t(texture->origin_x) + (int64_t(c) << s) + half;
                x = (painting.picture_mirrored ? -x : x) - picture->x;
                if (x >= 0 && x < picture->width)
                    texture->texels[size_t(r) * size_t(columns) + size_t(c)] =
                        picture->pixels[size_t(y) * size_t(picture->width) + size_t(x)];
            }
        }
    }
    // The texel one right of and below the point's, in the frame of the walk.
    auto walk_texel = [&](int32_t value, int32_t origin) {
        const int64_t texel = ((int64_t(value) - origin) >> s) + 1;
        return int32_t(texel < INT32_MIN ? INT32_MIN : texel > INT32_MAX ? INT32_MAX : texel);
    };
    for (const PaintSegment& segment : painting.segments) {
        const uint16_t colour = texel_of(segment.colour);
        // Walk texel (c, r) is the texture's (c - 1, r - 1).
        auto stamp = [&](int32_t column, int32_t row) {
            for (int32_t r = row - 1; r <= row && r < rows; ++r)
                for (int32_t c = column - 1; c <= column && c < columns; ++c)
                    if (r >= 0 && c >= 0)
                        texture->texels[size_t(r) * size_t(columns) + size_t(c)] = colour;
        };
        const int32_t x0 = walk_texel(segment.x0, texture->origin_x);
        const int32_t y0 = walk_texel(segment.y0, texture->origin_y);
        const int32_t x1 = walk_texel(segment.x1, texture->origin_x);
        const int32_t y1 = walk_texel(segment.y1, texture->origin_y);
        // A segment wholly beside the texture (as most are beside a tile) is
        // passed over before its walk is set up.
        if ((x0 < 0 && x1 < 0) || (y0 < 0 && y1 < 0) || (x0 > columns && x1 > columns) ||
            (y0 > rows && y1 > rows))
            continue;
        if (x0 == x1 && y0 == y1) {
            if ((segment.x0 != segment.x1 || segment.y0 != segment.y1) && x0 >= 0 &&
                x0 <= columns && y0 >= 0 && y0 <= rows)
                stamp(x0, y0);
            continue;
        }
        walk_line(x0, y0, x1, y1, columns + 1, rows + 1, stamp);
    }
}

}  // namespace

PartTexture make_part_texture(const RegionMask& region, const ColourRecord& base,
                              const PartPainting& painting, int32_t max_shift) {
    PartTexture texture;
    // At least 2^3 texels leave room for a texel between the margins.
    max_shift = std::clamp(max_shift, 3, EXPORT_TEXTURE_MAX_SHIFT);
    const int64_t width = region.width > 0 ? region.width : 1;
    const int64_t height = region.height > 0 ? region.height : 1;
    const int64_t room = (int64_t(1) << max_shift) - 2 * PART_TEXTURE_MARGIN;
    int32_t s = 0;
    while (s < 31 && (texels_for(width, s) > room || texels_for(height, s) > room))
        ++s;
    texture.step_shift = s;
    texture.width_shift = covering_shift(texels_for(width, s) + 2 * PART_TEXTURE_MARGIN, max_shift);
    texture.height_shift =
        covering_shift(texels_for(height, s) + 2 * PART_TEXTURE_MARGIN, max_shift);
    // 32-bit wrap as the model's coordinates do; the margin is at most a few
    // times 2^s points for any region the screen can hold.
    texture.origin_x = int32_t(uint32_t(region.origin_x) - (uint32_t(PART_TEXTURE_MARGIN) << s));
    texture.origin_y = int32_t(uint32_t(region.origin_y) - (uint32_t(PART_TEXTURE_MARGIN) << s));
    paint_texture(&texture, base, painting);
    return texture;
}

TexelPlace part_texel_place(const PartTexture& texture, int32_t x, int32_t y) {
    // The shift of the difference is arithmetic, so points left of the origin go left.
    auto texel = [&](int32_t value, int32_t origin) {
        return int32_t(uint32_t(value) - uint32_t(origin)) >> texture.step_shift;
    };
    return {texel(x, texture.origin_x), texel(y, texture.origin_y)};
}

TexCoord part_tex_coord(const PartTexture& texture, int32_t x, int32_t y) {
    // The texel's middle in half texels, then 256 texture units over its 2^w
    // texels (w at most 7): 8 - w bits more, less the half's one, wrapping
    // in 32 bits as the fills' coordinates do.
    auto coordinate = [](int32_t texel, int32_t size_shift) {
        const uint32_t halves = uint32_t(texel) * 2u + 1u;
        return int32_t(halves << (8 - size_shift)) >> 1;
    };
    const TexelPlace place = part_texel_place(texture, x, y);
    return {coordinate(place.column, texture.width_shift),
            coordinate(place.row, texture.height_shift), 0, 0};
}

namespace {

constexpr int32_t TILE_SIZE = 1 << PART_TEXTURE_MAX_SHIFT;

// A wrapped int32 of a 64-bit model coordinate, as the model's coordinates wrap.
int32_t wrapped(int64_t value) {
    return int32_t(uint32_t(uint64_t(value)));
}

// The tiles along one axis of a box of model points low..high at step s:
// one tile as small as holds the box and PART_TEXTURE_MARGIN texels each side
// where that is at most TILE_SIZE, else TILE_SIZE-texel tiles whose margins
// take `reach` texels more. count 0: no tiling (the margins leave no core).
struct AxisTiles {
    int32_t shift = 0, stride = 0, margin = 0;
    int64_t count = 0, origin = 0;
};
AxisTiles axis_tiles(int64_t low, int64_t high, int32_t s, int64_t reach) {
    AxisTiles axis;
    const int64_t texels = texels_for(high - low + 1, s);
    if (texels + 2 * PART_TEXTURE_MARGIN <= TILE_SIZE) {
        axis.shift = covering_shift(texels + 2 * PART_TEXTURE_MARGIN, PART_TEXTURE_MAX_SHIFT);
        axis.margin = PART_TEXTURE_MARGIN;
        axis.count = 1;
    } else {
        if (reach + PART_TEXTURE_MARGIN >= TILE_SIZE / 2) return axis;
        axis.shift = PART_TEXTURE_MAX_SHIFT;
        axis.margin = int32_t(reach) + PART_TEXTURE_MARGIN;
        axis.stride = TILE_SIZE - 2 * axis.margin;
        axis.count = (texels + axis.stride - 1) / axis.stride;
    }
    axis.origin = low - (int64_t(axis.margin) << s);
    return axis;
}

// The tile index along an axis whose core holds texel `texel` of the grid.
int32_t tile_along(const AxisTiles& axis, int64_t texel) {
    if (axis.count <= 1) return 0;
    const int64_t tile = (texel - axis.margin) / axis.stride;
    return int32_t(tile < 0 ? 0 : tile >= axis.count ? axis.count - 1 : tile);
}

// floor(sum / 3) for a sum of three int32 coordinates.
int64_t floor_third(int64_t sum) {
    return sum >= 0 ? sum / 3 : -((-sum + 2) / 3);
}

struct Box {
    int64_t low_x, low_y, high_x, high_y;
};

// The farthest any triangle's corner lies from the triangle's centroid along
// each axis, in texels of step s on a grid through (low_x, low_y).
void triangle_reach(const Box& box, const std::vector<Vec4>& vertices,
                    const std::vector<MeshTriangle>& triangles, int32_t s, int64_t* reach_x,
                    int64_t* reach_y) {
    *reach_x = *reach_y = 0;
    for (const MeshTriangle& t : triangles) {
        const Vec4* corner[3] = {&vertices[size_t(t.v[0])], &vertices[size_t(t.v[1])],
                                 &vertices[size_t(t.v[2])]};
        const int64_t cx =
            (floor_third(int64_t(corner[0]->x) + corner[1]->x + corner[2]->x) - box.low_x) >> s;
        const int64_t cy =
            (floor_third(int64_t(corner[0]->y) + corner[1]->y + corner[2]->y) - box.low_y) >> s;
        for (const Vec4* c : corner) {
            const int64_t dx = ((c->x - box.low_x) >> s) - cx;
            const int64_t dy = ((c->y - box.low_y) >> s) - cy;
            *reach_x = std::max(*reach_x, dx < 0 ? -dx : dx);
            *reach_y = std::max(*reach_y, dy < 0 ? -dy : dy);
        }
    }
}

// How many distinct coordinate pairs `corners` holds: those within a texture
// (0..255 each way, as every corner inside its tile is) marked in a table of
// 2^16 bits, any others sorted; `seen` and `beyond` are working storage.
int64_t distinct_coords(const std::vector<TexCoord>& corners, std::vector<uint64_t>* seen,
                        std::vector<std::pair<int32_t, int32_t>>* beyond) {
    seen->assign(size_t(1) << 10, 0);
    beyond->clear();
    int64_t count = 0;
    for (const TexCoord& at : corners) {
        if ((uint32_t(at.u) | uint32_t(at.v)) > 255u) {
            beyond->emplace_back(at.u, at.v);
            continue;
        }
        const uint32_t bit = (uint32_t(at.v) << 8) | uint32_t(at.u);
        uint64_t& word = (*seen)[bit >> 6];
        count += (word >> (bit & 63) & 1) == 0;
        word |= uint64_t(1) << (bit & 63);
    }
    std::sort(beyond->begin(), beyond->end());
    return count + (std::unique(beyond->begin(), beyond->end()) - beyond->begin());
}

}  // namespace

PartTexture part_tile_frame(const PartTiling& tiling, int32_t tile) {
    PartTexture frame;
    frame.width_shift = tiling.width_shift;
    frame.height_shift = tiling.height_shift;
    frame.step_shift = tiling.step_shift;
    const int32_t columns = tiling.columns > 0 ? tiling.columns : 1;
    const int64_t column = tile % columns, row = tile / columns;
    frame.origin_x =
        wrapped(int64_t(tiling.origin_x) + ((column * tiling.stride_x) << tiling.step_shift));
    frame.origin_y =
        wrapped(int64_t(tiling.origin_y) + ((row * tiling.stride_y) << tiling.step_shift));
    return frame;
}

PartTexture make_part_tile(const PartTiling& tiling, int32_t tile, const ColourRecord& base,
                           const PartPainting& painting) {
    PartTexture texture = part_tile_frame(tiling, tile);
    paint_texture(&texture, base, painting);
    return texture;
}

bool plan_part_tiles(const RegionMask& region, const std::vector<Vec4>& vertices,
                     const std::vector<MeshTriangle>& triangles, int32_t max_tiles,
                     int64_t max_coords, PartTiles* tiles) {
    for (const MeshTriangle& t : triangles)
        for (int32_t corner : t.v)
            if (corner < 0 || size_t(corner) >= vertices.size()) return false;
    // The box of the region and of the vertices' front projections (a blend
    // may move a vertex past the region).
    Box box = {region.origin_x, region.origin_y,
               int64_t(region.origin_x) + (region.width > 0 ? region.width : 1) - 1,
               int64_t(region.origin_y) + (region.height > 0 ? region.height : 1) - 1};
    for (const Vec4& v : vertices) {
        box = {std::min<int64_t>(box.low_x, v.x), std::min<int64_t>(box.low_y, v.y),
               std::max<int64_t>(box.high_x, v.x), std::max<int64_t>(box.high_y, v.y)};
    }
    if (max_tiles < 1) max_tiles = 1;
    std::vector<uint64_t> seen;
    std::vector<std::pair<int32_t, int32_t>> beyond;
    for (int32_t s = 0; s < 32; ++s) {
        // Tiles without any reach are the fewest this step can have: a step
        // that needs more than are left is not looked at further.
        const AxisTiles least_x = axis_tiles(box.low_x, box.high_x, s, 0);
        const AxisTiles least_y = axis_tiles(box.low_y, box.high_y, s, 0);
        if (least_x.count > max_tiles || least_y.count > max_tiles ||
            least_x.count * least_y.count > max_tiles)
            continue;
        int64_t reach_x = 0, reach_y = 0;
        triangle_reach(box, vertices, triangles, s, &reach_x, &reach_y);
        const AxisTiles x = axis_tiles(box.low_x, box.high_x, s, reach_x);
        const AxisTiles y = axis_tiles(box.low_y, box.high_y, s, reach_y);
        if (x.count == 0 || y.count == 0 || x.count > max_tiles || y.count > max_tiles ||
            x.count * y.count > max_tiles)
            continue;
        PartTiles plan;
        plan.tiling = {s,
                       x.shift,
                       y.shift,
                       wrapped(x.origin),
                       wrapped(y.origin),
                       int32_t(x.count),
                       int32_t(y.count),
                       x.stride,
                       y.stride,
                       x.margin,
                       y.margin};
        std::vector<PartTexture> frames;
        for (int32_t tile = 0; tile < plan.tiling.columns * plan.tiling.rows; ++tile)
            frames.push_back(part_tile_frame(plan.tiling, tile));
        plan.triangle_tile.reserve(triangles.size());
        plan.corners.reserve(3 * triangles.size());
        for (const MeshTriangle& t : triangles) {
            const Vec4& a = vertices[size_t(t.v[0])];
            const Vec4& b = vertices[size_t(t.v[1])];
            const Vec4& c = vertices[size_t(t.v[2])];
            const int64_t cx = floor_third(int64_t(a.x) + b.x + c.x);
            const int64_t cy = floor_third(int64_t(a.y) + b.y + c.y);
            const int32_t tile = tile_along(x, (cx - x.origin) >> s) +
                                 tile_along(y, (cy - y.origin) >> s) * plan.tiling.columns;
            plan.triangle_tile.push_back(tile);
            for (const Vec4* corner : {&a, &b, &c})
                plan.corners.push_back(part_tex_coord(frames[size_t(tile)], corner->x, corner->y));
        }
        plan.distinct_coords = distinct_coords(plan.corners, &seen, &beyond);
        if (plan.distinct_coords > max_coords) continue;
        *tiles = std::move(plan);
        return true;
    }
    return false;
}
