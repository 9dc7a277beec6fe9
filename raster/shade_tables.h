// Shade tables: 32 x 32 lookups from a light level and a 5-bit colour
// component to the lit 5-bit component, one table per shading mode, kept in a
// 16-slot directory, and their start-up and shut-down.
#pragma once

#include <cstdint>

inline constexpr int32_t SHADE_TABLE_SLOTS = 16;
inline constexpr int32_t SHADE_LEVELS = 32;  // rows (light levels) and columns (components)
inline constexpr int32_t SHADE_TABLE_BYTES = SHADE_LEVELS * SHADE_LEVELS;

// Shading modes: a polygon's packet selects one of the four standard tables.
inline constexpr int32_t SHADE_MODE_SOFT = 0;
inline constexpr int32_t SHADE_MODE_GLOSSY = 1;
inline constexpr int32_t SHADE_MODE_BANDED = 2;
inline constexpr int32_t SHADE_MODE_PLAIN = 3;
inline constexpr int32_t SHADE_MODE_COUNT = 4;
inline constexpr int32_t SHADE_MODE_MASK = SHADE_MODE_COUNT - 1;

// Entry (level, component) at entry[(level << 5) + component]; every entry is
// a 5-bit component 0..31.
struct ShadeTable {
    uint8_t entry[SHADE_TABLE_BYTES];
};
static_assert(sizeof(ShadeTable) == 1024);

// The standard tables by shading mode, and the table the lit fills draw
// through. Null before init_shading and after shutdown_shading.
extern const ShadeTable* shade_tables[SHADE_MODE_COUNT];
extern const ShadeTable* current_shade_table;

// Stores a new zero-filled table in the first empty directory slot and
// returns its index (0..15). -1 when there is no directory or every slot is
// taken; -2 when the block could not be allocated (the allocator has shown
// its message and the slot stays empty).
int alloc_shade_table();

// The table in slot `index`; null outside 0..15, for an empty slot or before
// the directory exists.
ShadeTable* shade_table(int32_t index);

// Allocates the four standard tables in order (they land in slots 0..3 of an
// empty directory) and fills them. 0, or -1 as soon as a table cannot be had.
int build_shade_tables();

// Allocates an empty directory and builds the standard tables. 0; -1 when
// the directory cannot be allocated; otherwise the result of
// build_shade_tables. Tables left from an earlier call are freed first.
int init_render_tables();

// Start-up step of the renderer, run before anything else of it: the tables
// and defaults above, then shade_tables[k] = slot k and current_shade_table =
// shade_tables[0]. 0, or -1 after freeing whatever it had allocated.
int init_shading();

// Shut-down step: free_render_tables.
void shutdown_shading();

// Frees every table in the directory and the directory itself, and forgets
// shade_tables and current_shade_table. Safe to call when nothing is built.
void free_render_tables();

// The lit 5:5:5 pixel of one table: each light value carries 7 fraction bits,
// so bits 10..14 of a light of 0..255 are its 5-bit level, the table's row
// (the mask keeps a light that drifted out of 0..255 inside the table); r, g
// and b are the 5-bit components of the surface or texel, the columns.
inline uint16_t shaded_pixel(const uint8_t* table, const int32_t light[3], int32_t r, int32_t g,
                             int32_t b) {
    const int32_t red = table[(((light[0] >> 10) & 31) << 5) + r];
    const int32_t green = table[(((light[1] >> 10) & 31) << 5) + g];
    const int32_t blue = table[(((light[2] >> 10) & 31) << 5) + b];
    return uint16_t((red << 10) | (green << 5) | blue);
}

// Lit fills call this before drawing: current_shade_table becomes the
// standard table of `shade_mode`, which is taken modulo 4 so that a bad
// packet cannot select memory outside the four pointers. Returns the table,
// null before init_shading.
// Inline: every lit triangle calls it.
inline const ShadeTable* select_shade_table(int32_t shade_mode) {
    current_shade_table = shade_tables[shade_mode & SHADE_MODE_MASK];
    return current_shade_table;
}
