// The raster target: the clipping window and pixel array every fill writes
// through, bound from the screen buffer at the start of each render.
#pragma once

#include <cstdint>

// The bound values. Before the first binding: 256 x 256, both maxima 256 and
// no pixels, so nothing is drawn; every binding sets the maxima to the size
// minus one.
struct RasterTarget {
    int32_t width;
    int32_t height;
    int32_t max_x;     // width - 1
    int32_t max_y;     // height - 1
    uint16_t* pixels;  // 5:5:5, row pitch width, row 0 at the top
};
extern RasterTarget raster_target;

// Called by the screen buffer whenever its pages are (re)built: the size that
// is drawn (width, and the client height minus its never-drawn last row) and
// the pixels of the page that frames draw into.
void set_screen_geometry(int32_t width, int32_t height, uint16_t* page_pixels);

// Copies the screen geometry into the raster target. Called once at start-up
// and at the start of every render, so a rebuilt page is picked up.
void bind_raster_target();
