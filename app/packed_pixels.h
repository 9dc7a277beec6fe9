// Pages kept as runs: a drawing page is mostly one colour with a few strokes across it, so a
// copy kept to go back to (app/undo_history.h, app/stroke_history.h) is a few kilobytes of
// runs rather than half a megabyte of pixels.
#pragma once

#include <cstdint>
#include <vector>

// `pixels` 5:5:5 pixels as runs of one value: each run is its length (1 to 65,535) in the high
// 16 bits and the pixel in the low 16.
struct PackedPixels {
    std::vector<uint32_t> runs;
    int64_t pixels = 0;
};

// The `count` pixels from `pixels` as runs; empty for a null page or count <= 0.
PackedPixels pack_pixels(const uint16_t* pixels, int64_t count);
// Writes the packed pixels back into `pixels`, which holds `count`; false, writing nothing,
// when the counts differ or there is no page.
bool unpack_pixels(const PackedPixels& packed, uint16_t* pixels, int64_t count);
// Whether `pixels` (`count` of them) are the packed ones; a null page equals only an empty pack.
bool same_pixels(const PackedPixels& packed, const uint16_t* pixels, int64_t count);
// The bytes the runs take.
int64_t packed_bytes(const PackedPixels& packed);
