// Closing and opening of the region's pixels by the 3 x 3 cross.
#include "geometry/clean_region.h"

#include <algorithm>
#include <cstring>

#include "geometry/region_bits.h"

namespace {

// One pass of the cross on rows of 64-pixel words (bit i of word k is column
// 64 k + i), from `in` into `out` (the same size): a pixel is set after
// dilation when it or a 4-neighbour is set, after erosion when it and all
// its 4-neighbours are; only rows first to last (all but the border by
// default), the others left outside. The border row and column stay outside
// (the crop's margin keeps the region three pixels away from them, more
// than the passes reach).
void cross_pass(const std::vector<uint64_t>& in, std::vector<uint64_t>* out, int32_t words,
                int32_t h, bool dilate, int32_t first = 1, int32_t last = INT32_MAX) {
    out->resize(in.size());
    int32_t from = std::max(first, 1), to = std::min(last, h - 2);
    uint64_t* o = out->data();
    if (to < from) {
        std::fill(out->begin(), out->end(), 0);
        return;
    }
    std::fill(o, o + size_t(from) * size_t(words), 0);
    std::fill(o + size_t(to + 1) * size_t(words), o + out->size(), 0);
    for (int32_t y = from; y <= to; ++y) {
        const uint64_t* up = in.data() + size_t(y - 1) * size_t(words);
        const uint64_t* row = up + words;
        const uint64_t* down = row + words;
        uint64_t* line = o + size_t(y) * size_t(words);
        // Columns x - 1 and x + 1 of every pixel, across word boundaries:
        // the high bit of the word before and the low bit of the word after.
        uint64_t before = 0;
        for (int32_t k = 0; k < words; ++k) {
            uint64_t c = row[k];
            uint64_t after = k + 1 < words ? row[k + 1] << 63 : 0;
            uint64_t left = (c << 1) | before, right = (c >> 1) | after;
            before = c >> 63;
            if (dilate)
                line[k] = c | left | right | up[k] | down[k];
            else
                line[k] = c & left & right & up[k] & down[k];
        }
    }
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
    const int32_t h = out.height;
    std::vector<uint64_t> closed, scratch;
    cross_pass(bits, &scratch, words, h, true);
    cross_pass(scratch, &closed, words, h, true);
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
    cross_pass(closed, &scratch, words, h, false);
    cross_pass(scratch, &closed, words, h, false);
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
    std::vector<uint64_t> eroded, opened, wide;
    cross_pass(closed, &eroded, words, h, false);
    cross_pass(eroded, &opened, words, h, true);
    cross_pass(eroded, &scratch, words, h, false);
    cross_pass(scratch, &closed, words, h, true);
    cross_pass(closed, &wide, words, h, true);
    // The thin pixels lie in few rows, if any: the passes that follow them
    // cover those rows and the two each side that the dilations reach.
    std::vector<uint64_t>& thin = closed;
    int32_t first = h, last = -1;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t k = 0; k < words; ++k) {
            size_t i = size_t(y) * size_t(words) + size_t(k);
            thin[i] = opened[i] & ~wide[i];
            if (thin[i] != 0) first = std::min(first, y), last = y;
        }
    if (last >= 0) {
        first -= 2, last += 2;
        std::vector<uint64_t>& core = eroded;
        cross_pass(wide, &scratch, words, h, true, first, last);
        for (size_t i = 0; i < opened.size(); ++i)
            scratch[i] = thin[i] & ~scratch[i];
        cross_pass(scratch, &core, words, h, true, first, last);
        cross_pass(core, &scratch, words, h, true, first, last);
        cross_pass(thin, &core, words, h, true, first, last);
        for (size_t i = 0; i < opened.size(); ++i)
            opened[i] |= scratch[i] & core[i];
    }
    for (int32_t y = 0; y < out.height; ++y)
        unpack_row_bits(&opened[size_t(y) * size_t(words)], out.width,
                        &out.inside[size_t(y) * size_t(out.width)]);
    return out;
}
