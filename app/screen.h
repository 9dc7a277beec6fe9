// The screen buffer: two 16-bit 5:5:5 pages the size of the client area, the
// page slots and their accessors, the clear colour, and the size the
// rasterizers clip against.
//
// Pixels: bit 15 zero, red in bits 14..10, green 9..5, blue 4..0; top-down,
// row stride screen_width() pixels. screen_height() is one less than the
// client height: the last row of every page is never cleared, drawn or shown.
#pragma once

#include <cstdint>

#include "app/platform.h"

inline constexpr int32_t SCREEN_PAGE_COUNT = 2;  // pages created; the other slots stay empty
inline constexpr int32_t SCREEN_DEPTH = 16;      // bits per pixel of every page

// Start-up: the slot array, the main window, clear colour 0, then
// set_screen_depth(16), which builds pages 0 and 1 at the client size. 0, or
// -1 after the allocator's or the screen-buffer message. (The frame interval
// of 20 ms is the frame cycle's own, set by reset_frame_state at the start of
// start-up.)
int init_screen(PlatformWindow window);
// Rebuilds the pages when the depth changes; the same depth again does
// nothing and returns 0.
int set_screen_depth(int32_t bits);
// Reads the client size, recreates pages 0 and 1 and hands page 0 to the
// raster target. 0; -1 after showing the screen-buffer message when a page
// could not be created (a page created before the failure stays until
// shut-down).
int rebuild_screen();
// Creates page `index` (0..7) of width x height pixels at `bits` per pixel,
// releasing the slot first. Only 16-bit pages exist. 0, or -1 for a bad
// index, size or depth, or when the platform refuses the page.
int create_screen_page(int32_t index, int32_t width, int32_t height, int32_t bits);
// 0, or -2 for an index outside 0..7; an empty slot is fine.
int release_screen_page(int32_t index);
// Shut-down: releases every slot and frees the slot array.
void shutdown_screen();

int32_t screen_width();
int32_t screen_height();  // client height minus 1
PlatformWindow main_window();
// begin_frame records the window it is given as the main window.
void set_main_window(PlatformWindow window);
// Pixels of page `index`; null for an index outside 0..7 or an empty slot.
uint16_t* page_pixels(int32_t index);
uint16_t* current_page_pixels();
int32_t current_page_index();
// After a presentation: current page XOR the flip mask, which is 0, so page 0
// is drawn, read back and shown every frame.
void flip_screen_page();

// Fills every row but the last of the current page with the clear colour.
// Nothing happens without pages.
void clear_screen();

// The page strokes are drawn into, taken back from, and filled by the outline
// build: the current page, or, while a part is being added to a figure, page 1,
// the sketch page, whose strokes are laid over the picture after the figure is
// drawn (app/outline.h). Back to the current page at start-up.
int32_t drawing_page_index();
void set_drawing_page(int32_t index);
// Page `index` as a fresh page 0 is: every row but the last the clear colour,
// the last row black. Nothing for a missing page.
void clear_page_as_new(int32_t index);
// Fills `words` 32-bit words from `pixels` (two pixels each) with `pair`, the
// way clear_screen does, sixteen bytes to a store; nothing for a null page or
// words <= 0. The first pixel of each pair is the low half of `pair` on a
// little-endian machine; a pair of one pixel twice reads the same either way.
void fill_pixel_pairs(uint16_t* pixels, int64_t words, uint32_t pair);
// Components are 5-bit and masked with 31: (64, 64, 255) gives pure blue.
void set_clear_colour(int32_t r, int32_t g, int32_t b);
// The clear colour in both halves of a 32-bit word.
uint32_t clear_colour_pair();
