// Portable drawing into a 16-bit 5:5:5 page, shared by the backends that have
// no GDI: the one-pixel line, the border-bounded flood fill and the
// conversion of a page to 8-bit RGBA for display or image files.
//
// Every function takes the page as its pixel array and size (row pitch =
// width) and is safe for any coordinates: nothing is written outside the
// width x height pixels, and work is bounded by the page size, not by the
// distance between far-away points.
#pragma once

#include <cstdint>

inline constexpr uint16_t PAGE_BLACK = 0x0000;

// Draws a one-pixel line from (x0, y0) towards (x1, y1) in `colour`, the end
// point excluded (the first point is drawn unless both are equal, in which
// case nothing is): the pixels GDI's LineTo draws with a one-pixel pen. One
// pixel for each step along the longer axis, at the nearest position on the
// shorter one; a half-way point takes the smaller coordinate (the pixel above
// or to the left), whichever way the line runs. Pixels outside the page are
// skipped, the rest are the same as if the page were unbounded.
void draw_page_line(uint16_t* pixels, int32_t width, int32_t height, int32_t x0, int32_t y0,
                    int32_t x1, int32_t y1, uint16_t colour);

// Paints with `fill` every pixel 4-connected to (x, y) through pixels that
// are not `border`, the start included. A start outside the page or on a
// border pixel paints nothing. Pixels that already hold `fill` are passed
// through like any other. Returns the number of pixels painted, or -1 when
// the work memory could not be had (nothing is painted then).
int32_t flood_fill_page(uint16_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y,
                        uint16_t fill, uint16_t border);

// One 5:5:5 pixel as 8-bit channels by bit replication, so that 31 becomes
// 255 and 0 stays 0 (0x001F gives (0, 0, 255)).
struct Rgba8 {
    uint8_t r, g, b, a;
};
Rgba8 pixel_to_rgba(uint16_t pixel);

// Converts `count` pixels to R, G, B, A bytes (alpha 255), 4 bytes a pixel.
void page_to_rgba(const uint16_t* pixels, int32_t count, uint8_t* rgba);
