// Texture loading into the slot table of the render buffers, and the lookups
// the textured fills make by slot.
//
// A texture is 2^w x 2^h 5:5:5 texels with w and h in 0..8 (1..256 texels a
// side). Loading copies the texels into a record and a texel block of their
// own, both from alloc_zeroed and freed by free_texture_slots. A load either
// fills its slot completely or changes nothing.
#pragma once

#include <cstdint>

#include "raster/texture.h"

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

// Copies width x height texels (5:5:5, row after row; bit 15 is kept as
// given) into slot `slot`, or into the first empty slot when `slot` is -1.
// A slot that already holds a texture gets the new one and its old texture is
// freed. Returns the slot, or an error above; on error nothing changes.
int32_t load_texture(int32_t slot, int32_t width, int32_t height, const uint16_t* texels);

// Empties slot `slot`, freeing its texture; nothing for an empty slot or one
// outside 0..127. No packet drawn afterwards may still name the slot (such a
// packet is skipped, as for any empty slot).
void unload_texture(int32_t slot);

// Reads a PNG or BMP file and loads it as load_texture does, each 8-bit
// channel reduced to 5 bits (c >> 3; 16-bit channels keep their high byte);
// alpha is ignored. Only a regular file is read: a directory, FIFO or device
// is refused without blocking. The size is checked before the image is
// decoded, and a damaged file (a PNG check value that does not match, data
// running past the file or past the image) is refused, as is a palette image
// with an index beyond its palette.
int32_t load_texture_file(int32_t slot, const char* path);

// A short English description of a loader result, for tools and logs.
const char* texture_error_text(int32_t result);

// The texture in `slot`, or null for a slot outside 0..127, an empty slot or
// no slot table. A record whose shifts lie outside 0..8 or that has no texels
// also gives null, so that a fill never addresses outside a texel block.
const Texture* loaded_texture(int32_t slot);

// The texture's shifts and texels by slot: -1 and null where loaded_texture
// gives null.
int32_t texture_width_shift(int32_t slot);
int32_t texture_height_shift(int32_t slot);
const uint16_t* texture_texels(int32_t slot);
