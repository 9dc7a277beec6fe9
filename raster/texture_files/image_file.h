// The open image file the PNG and BMP readers share, and their entry points.
#pragma once

#include <cstdint>

#include "raster/texture.h"

// A regular file opened for reading, of `size` bytes (at most
// MAX_TEXTURE_FILE_BYTES) when it was opened.
struct ImageFile {
    int descriptor;
    int32_t size;
};

// Reads `count` bytes at `offset`. 0 when all were read; TEXTURE_ERROR_BAD_IMAGE
// when the file ends first (it may have shrunk since it was opened) or the
// range lies past `size`; TEXTURE_ERROR_FILE_UNREADABLE on a read error.
int32_t read_image_bytes(const ImageFile& file, int64_t offset, void* bytes, int64_t count);

// The readers: 0 and a new texture from new_texture, or a TEXTURE_ERROR_* code
// with nothing left allocated. The file's first bytes have been recognised as
// their signature.
int32_t read_png_texture(const ImageFile& file, Texture** texture);
int32_t read_bmp_texture(const ImageFile& file, Texture** texture);
