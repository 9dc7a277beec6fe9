// Pictures: PNG and BMP images of any size up to MAX_PICTURE_SIDE a side, read by the same
// bounded readers as texture files (raster/texture_files/) into plain texels, for a caller
// that resamples them to what it needs (a picture traced under the drawing).
#pragma once

#include <cstdint>

inline constexpr int32_t MAX_PICTURE_SIDE = 4096;
// Largest picture file read: a 4096 x 4096 bitmap of 32 bits a pixel and its headers fit.
// The file is read piece by piece, never held whole.
inline constexpr int32_t MAX_PICTURE_FILE_BYTES = 80 << 20;

// A decoded picture: width x height 5:5:5 texels (each 8-bit channel's top five bits; alpha
// ignored), row after row from the top, in one block from alloc_zeroed.
struct DecodedImage {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t* texels = nullptr;
};

// Reads the PNG or BMP file at `path`, or the same bytes in memory, with the texture
// loader's checks (raster/texture_limits.h) but for the size: 1 to MAX_PICTURE_SIDE pixels a
// side (wider or taller: TEXTURE_ERROR_PICTURE_TOO_LARGE) from a file of at most
// MAX_PICTURE_FILE_BYTES. Returns 0 and the picture, or a TEXTURE_ERROR_* code with *image
// left empty. A build without libpng reads BMP pictures and refuses PNG ones within the
// size limit with TEXTURE_ERROR_NO_DECODER (larger ones as too large).
int32_t read_picture_file(const char* path, DecodedImage* image);
int32_t read_picture_bytes(const uint8_t* bytes, int64_t size, DecodedImage* image);
// Whether this build's reader decodes PNG pictures (libpng): a build that reads BMP only
// writes the pictures it must read again as BMP.
bool picture_reader_decodes_png();
// Frees the texels and empties the record; an empty one is fine.
void free_decoded_image(DecodedImage* image);

// A short English description of a reader's result for a picture, for messages.
const char* picture_error_text(int32_t result);
