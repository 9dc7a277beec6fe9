// The limits of textures and texture files, and the results the loader and the
// image-file readers (raster/texture_files/) give when they refuse one.
#pragma once

#include <cstdint>

inline constexpr int32_t MAX_TEXTURE_SHIFT = 8;
inline constexpr int32_t MAX_TEXTURE_SIZE = 1 << MAX_TEXTURE_SHIFT;  // texels a side

// Results of the loaders: a slot index 0..127, or one of these.
inline constexpr int32_t TEXTURE_ERROR_BAD_SLOT = -1;         // slot outside -1..127
inline constexpr int32_t TEXTURE_ERROR_NO_FREE_SLOT = -2;     // every slot holds a texture
inline constexpr int32_t TEXTURE_ERROR_NO_TABLE = -3;         // texture slots not initialised
inline constexpr int32_t TEXTURE_ERROR_BAD_SIZE = -4;         // not a power of two in 1..256
inline constexpr int32_t TEXTURE_ERROR_NO_TEXELS = -5;        // null texels or path
inline constexpr int32_t TEXTURE_ERROR_NO_MEMORY = -6;        // allocation failed (message shown)
inline constexpr int32_t TEXTURE_ERROR_FILE_MISSING = -7;     // no such file
inline constexpr int32_t TEXTURE_ERROR_FILE_UNREADABLE = -8;  // not a regular file, or unreadable
inline constexpr int32_t TEXTURE_ERROR_FILE_TOO_LARGE = -9;   // larger than any usable image
inline constexpr int32_t TEXTURE_ERROR_BAD_IMAGE = -10;    // not a PNG or BMP, corrupt or truncated
inline constexpr int32_t TEXTURE_ERROR_NO_DECODER = -11;   // a PNG, in a build without libpng
inline constexpr int32_t TEXTURE_ERROR_BAD_PALETTE = -12;  // a pixel's index beyond the palette
// A picture (raster/picture_file.h) wider or taller than MAX_PICTURE_SIDE.
inline constexpr int32_t TEXTURE_ERROR_PICTURE_TOO_LARGE = -13;

// Largest image file read; any PNG or BMP of at most 256 x 256 is far smaller.
// The file is read piece by piece, never held whole.
inline constexpr int32_t MAX_TEXTURE_FILE_BYTES = 4 << 20;
