// Where the texture loader meets the image-file readers.
//
// read_texture_file is defined by raster/texture_files/, in every build: its BMP
// reader everywhere, its PNG reader where libpng is found (elsewhere PNG files are
// refused with TEXTURE_ERROR_NO_DECODER). Both build their textures with the record
// helpers below (raster/texture_record.cpp).
#pragma once

#include <cstdint>

#include "raster/picture_file.h"
#include "raster/texture.h"

// Reads the PNG or BMP file at `path` (not null) into a new texture from
// new_texture. Returns 0 and the texture, or a TEXTURE_ERROR_* code with
// nothing allocated. Blocks only on a regular file's own reads.
int32_t read_texture_file(const char* path, Texture** texture);

// The record helpers.

// The shift s with 2^s = size, or -1 when size is not a power of two in 1..256.
int32_t texture_size_shift(int64_t size);

// A record with an empty texel block of 2^w x 2^h texels (w and h in 0..8), or
// null after the allocator's message.
Texture* new_texture(int32_t width_shift, int32_t height_shift);

// Frees a record from new_texture and its texels; null is ignored.
void free_texture(Texture* texture);

// A record that takes over a decoded image's block (its sides powers of two in 1..256), or
// null after the allocator's message, the image left as it was.
Texture* texture_of_image(const DecodedImage& image);

// The 5:5:5 texel of an 8-bit colour: each channel keeps its top five bits.
constexpr uint16_t texel_of(uint32_t red, uint32_t green, uint32_t blue) {
    return uint16_t(((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3));
}
