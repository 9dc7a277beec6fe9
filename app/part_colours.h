// The colour keys 1 to 8 and the colours they stand for: in drawing mode the pen
// (1 the black outline pen, 2 to 8 the palette), in editing mode the edited
// part's base colour, the lit material (1 the default red, black being a poor
// material to light). The palette avoids the default red and the blue
// background, and every colour keeps a visible difference from the others once
// lit through the shade tables (components of 5 bits, so steps of 8).
#pragma once

#include <cstdint>

#include "app/platform.h"
#include "raster/packet.h"

// Key k (1..8) is the virtual key KEY_COLOUR_FIRST + k - 1.
inline constexpr int32_t COLOUR_KEY_COUNT = KEY_COLOUR_LAST - KEY_COLOUR_FIRST + 1;

// Every part starts in this colour, and key 1 gives it back.
inline constexpr ColourRecord DEFAULT_PART_COLOUR = {255, 0, 0, 0};

// The colours of keys 2 to 8, in key order: orange, yellow, green, cyan, violet,
// pink, white.
inline constexpr ColourRecord PALETTE_COLOURS[COLOUR_KEY_COUNT - 1] = {
    {255, 136, 0, 0},  {255, 224, 0, 0},   {0, 176, 0, 0},     {0, 208, 208, 0},
    {144, 64, 232, 0}, {255, 112, 176, 0}, {240, 240, 240, 0},
};

// The base colour key `key` (1..8) gives a part.
inline constexpr ColourRecord part_colour_of_key(int32_t key) {
    return key <= 1 || key > COLOUR_KEY_COUNT ? DEFAULT_PART_COLOUR : PALETTE_COLOURS[key - 2];
}
