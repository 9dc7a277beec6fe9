// The raster target: the clipping window and pixel array every fill writes
// through, bound from the screen buffer at the start of each render.
#pragma once

#include <cstdint>

// Bound values. Before the first binding they are 256 x 256 with no pixels.
extern int32_t raster_width;
extern int32_t raster_height;
extern int32_t raster_max_x;     // raster_width - 1
extern int32_t raster_max_y;     // raster_height - 1
extern uint16_t* raster_pixels;  // 5:5:5, row pitch raster_width, row 0 at the top

// Called by the screen buffer whenever its pages are (re)built: the size that
// is drawn (width, and the client height minus its never-drawn last row) and
// the pixels of the page that frames draw into.
void set_screen_geometry(int32_t width, int32_t height, uint16_t* page_pixels);

// Copies the screen geometry into the raster target. Called once at start-up
// and at the start of every render, so a rebuilt page is picked up.
void bind_raster_target();
