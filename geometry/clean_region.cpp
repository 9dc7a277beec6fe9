// Closing and opening of the region's pixels by the 3 x 3 cross.
#include "geometry/clean_region.h"

#include <algorithm>

namespace {

// One pass of the cross: a pixel is set after dilation when it or a 4-neighbour
// is set, after erosion when it and all its 4-neighbours are. The border row
// and column stay outside (the crop's margin keeps the region two pixels
// away from them).
std::vector<uint8_t> cross_pass(const std::vector<uint8_t>& in, int32_t w, int32_t h, bool dilate) {
    std::vector<uint8_t> out(in.size(), 0);
    for (int32_t y = 1; y + 1 < h; ++y) {
        const uint8_t* up = &in[size_t(y - 1) * size_t(w)];
        const uint8_t* row = up + w;
        const uint8_t* down = row + w;
        uint8_t* o = &out[size_t(y) * size_t(w)];
        for (int32_t x = 1; x + 1 < w; ++x) {
            uint8_t c = row[x], l = row[x - 1], r = row[x + 1], u = up[x], d = down[x];
            o[x] = dilate ? uint8_t(c | l | r | u | d) : uint8_t(c & l & r & u & d);
        }
    }
    return out;
}

}  // namespace

RegionMask clean_region(const RegionMask& mask) {
    RegionMask out;
    int32_t x0 = mask.width, y0 = mask.height, x1 = -1, y1 = -1;
    for (int32_t y = 0; y < mask.height; ++y) {
        for (int32_t x = 0; x < mask.width; ++x) {
            if (mask.inside[size_t(y) * size_t(mask.width) + size_t(x)] == 0) continue;
            x0 = std::min(x0, x), x1 = std::max(x1, x);
            y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    }
    if (x1 < 0) return out;
    // Three pixels of margin: room for the closing to grow into and for the
    // opening to grow back, and a border that stays outside.
    constexpr int32_t MARGIN = 3;
    out.width = x1 - x0 + 1 + 2 * MARGIN;
    out.height = y1 - y0 + 1 + 2 * MARGIN;
    out.origin_x = mask.origin_x + x0 - MARGIN;
    out.origin_y = mask.origin_y + y0 - MARGIN;
    out.inside.assign(size_t(out.width) * size_t(out.height), 0);
    for (int32_t y = y0; y <= y1; ++y)
        for (int32_t x = x0; x <= x1; ++x)
            out.inside[size_t(y - y0 + MARGIN) * size_t(out.width) + size_t(x - x0 + MARGIN)] =
                mask.inside[size_t(y) * size_t(mask.width) + size_t(x)] != 0 ? 1 : 0;
    // Closing: what the dilation adds beyond the original region's border (the
    // region's own outside) goes again with the erosion, so only gaps the
    // region surrounds stay filled. The dilated pixels may not leave the
    // original mask: beyond it nothing is region.
    std::vector<uint8_t> closed = cross_pass(out.inside, out.width, out.height, true);
    closed = cross_pass(closed, out.width, out.height, true);
    for (int32_t y = 0; y < out.height; ++y) {
        for (int32_t x = 0; x < out.width; ++x) {
            int32_t mx = out.origin_x - mask.origin_x + x, my = out.origin_y - mask.origin_y + y;
            if (mx < 0 || my < 0 || mx >= mask.width || my >= mask.height)
                closed[size_t(y) * size_t(out.width) + size_t(x)] = 0;
        }
    }
    closed = cross_pass(closed, out.width, out.height, false);
    closed = cross_pass(closed, out.width, out.height, false);
    for (size_t i = 0; i < closed.size(); ++i)
        closed[i] |= out.inside[i];
    // Opening by the diamond of radius 2 (the cross twice): parts and necks
    // up to four pixels wide go, and sharp tips are blunted to a few pixels,
    // where a body can still be round.
    std::vector<uint8_t> opened = cross_pass(closed, out.width, out.height, false);
    opened = cross_pass(opened, out.width, out.height, false);
    opened = cross_pass(opened, out.width, out.height, true);
    opened = cross_pass(opened, out.width, out.height, true);
    out.inside.swap(opened);
    return out;
}
