// Closing and opening of the region's pixels by the 3 x 3 cross.
#include "geometry/clean_region.h"

#include <algorithm>
#include <cstring>

#include "geometry/region_bits.h"

namespace {

// One pass of the cross on rows of 64-pixel words (bit i of word k is column
// 64 k + i): a pixel is set after dilation when it or a 4-neighbour is set,
// after erosion when it and all its 4-neighbours are. The border row and
// column stay outside (the crop's margin keeps the region three pixels away
// from them, more than the passes reach).
std::vector<uint64_t> cross_pass(const std::vector<uint64_t>& in, int32_t words, int32_t h,
                                 bool dilate) {
    std::vector<uint64_t> out(in.size(), 0);
    for (int32_t y = 1; y + 1 < h; ++y) {
        const uint64_t* up = &in[size_t(y - 1) * size_t(words)];
        const uint64_t* row = up + words;
        const uint64_t* down = row + words;
        uint64_t* o = &out[size_t(y) * size_t(words)];
        for (int32_t k = 0; k < words; ++k) {
            uint64_t c = row[k];
            // Columns x - 1 and x + 1 of every pixel, across word boundaries.
            uint64_t left = (c << 1) | (k > 0 ? row[k - 1] >> 63 : 0);
            uint64_t right = (c >> 1) | (k + 1 < words ? row[k + 1] << 63 : 0);
            o[k] = dilate ? (c | left | right | up[k] | down[k])
                          : (c & left & right & up[k] & down[k]);
        }
    }
    return out;
}

}  // namespace

RegionMask clean_region(const RegionMask& mask) {
    RegionMask out;
    // The bounding box: per row its first and last pixel inside, found eight
    // pixels at a time where they are all outside.
    int32_t x0 = mask.width, y0 = mask.height, x1 = -1, y1 = -1;
    const uint64_t zero = 0;
    for (int32_t y = 0; y < mask.height; ++y) {
        const uint8_t* row = &mask.inside[size_t(y) * size_t(mask.width)];
        int32_t first = 0;
        while (first + 8 <= mask.width && std::memcmp(row + first, &zero, 8) == 0)
            first += 8;
        while (first < mask.width && row[first] == 0)
            ++first;
        if (first == mask.width) continue;
        int32_t last = mask.width - 1;
        while (last - 7 > first && std::memcmp(row + last - 7, &zero, 8) == 0)
            last -= 8;
        while (row[last] == 0)
            --last;
        x0 = std::min(x0, first), x1 = std::max(x1, last);
        y0 = std::min(y0, y), y1 = std::max(y1, y);
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
    int32_t words = (out.width + 63) / 64;
    std::vector<uint64_t> bits(size_t(words) * size_t(out.height), 0);
    for (int32_t y = y0; y <= y1; ++y)
        pack_row_bits(&mask.inside[size_t(y) * size_t(mask.width) + size_t(x0)], x1 - x0 + 1,
                      &bits[size_t(y - y0 + MARGIN) * size_t(words)], MARGIN);
    // Closing by the diamond of radius 2: what the dilations add beyond the
    // original region's border (the region's own outside) goes again with the
    // erosions, so only gaps the region surrounds stay filled. The dilated
    // pixels may not leave the original mask: beyond it nothing is region.
    std::vector<uint64_t> closed = cross_pass(bits, words, out.height, true);
    closed = cross_pass(closed, words, out.height, true);
    // Only the margin can reach beyond the mask.
    auto beyond = [&](int32_t x, int32_t y) {
        int32_t mx = out.origin_x - mask.origin_x + x, my = out.origin_y - mask.origin_y + y;
        return mx < 0 || my < 0 || mx >= mask.width || my >= mask.height;
    };
    for (int32_t y = 0; y < out.height; ++y) {
        bool edge_row = y < MARGIN || y >= out.height - MARGIN;
        for (int32_t x = 0; x < out.width;
             x = (edge_row || x >= out.width - MARGIN || x + 1 < MARGIN) ? x + 1
                                                                         : out.width - MARGIN)
            if (beyond(x, y))
                closed[size_t(y) * size_t(words) + size_t(x / 64)] &= ~(uint64_t(1) << (x % 64));
    }
    closed = cross_pass(closed, words, out.height, false);
    closed = cross_pass(closed, words, out.height, false);
    for (size_t i = 0; i < closed.size(); ++i)
        closed[i] |= bits[i];
    // Opening by the cross: parts and necks up to two pixels wide go (a
    // stray stroke, two parts touching through a pixel or two). Those three
    // or four pixels wide, which the diamond of radius 2 would also take,
    // are thickened by a pixel on each side instead, so that a narrow neck
    // becomes a tube a body can round and a sharp tip ends in a cap. What
    // the diamond takes from the corners of wide parts lies next to what it
    // keeps: only the thin pixels at least a pixel from a wide part, and the
    // thin pixels and their neighbours within two of those, are thickened.
    std::vector<uint64_t> eroded = cross_pass(closed, words, out.height, false);
    std::vector<uint64_t> opened = cross_pass(eroded, words, out.height, true);
    std::vector<uint64_t> wide = cross_pass(eroded, words, out.height, false);
    wide = cross_pass(wide, words, out.height, true);
    wide = cross_pass(wide, words, out.height, true);
    std::vector<uint64_t> near_wide = cross_pass(wide, words, out.height, true);
    std::vector<uint64_t> thin(opened.size()), core(opened.size());
    for (size_t i = 0; i < opened.size(); ++i) {
        thin[i] = opened[i] & ~wide[i];
        core[i] = thin[i] & ~near_wide[i];
    }
    core = cross_pass(core, words, out.height, true);
    core = cross_pass(core, words, out.height, true);
    thin = cross_pass(thin, words, out.height, true);
    for (size_t i = 0; i < opened.size(); ++i)
        opened[i] |= core[i] & thin[i];
    for (int32_t y = 0; y < out.height; ++y)
        unpack_row_bits(&opened[size_t(y) * size_t(words)], out.width,
                        &out.inside[size_t(y) * size_t(out.width)]);
    return out;
}
