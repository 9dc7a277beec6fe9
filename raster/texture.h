// Texture records and the slot table they live in.
#pragma once

#include <cstdint>

inline constexpr int32_t TEXTURE_SLOTS = 128;

// A power-of-two texture of 16-bit 5:5:5 texels, row after row.
struct Texture {
    int32_t width_shift;   // 2^w texels wide, 0..8
    int32_t height_shift;  // 2^h texels high, 0..8
    uint16_t* texels;      // texel (i, j) at j * 2^w + i
    void* block;           // the block holding the texels, owned by the record
};
