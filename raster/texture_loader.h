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
#include "raster/texture_limits.h"

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
