// Raster target state and its binding to the screen buffer.
#include "raster/raster_target.h"

int32_t raster_width = 256;
int32_t raster_height = 256;
int32_t raster_max_x = 256;
int32_t raster_max_y = 256;
uint16_t* raster_pixels = nullptr;

namespace {

struct ScreenGeometry {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t* pixels = nullptr;
};

ScreenGeometry screen;

}  // namespace

void set_screen_geometry(int32_t width, int32_t height, uint16_t* page_pixels) {
    screen.width = width;
    screen.height = height;
    screen.pixels = page_pixels;
}

void bind_raster_target() {
    raster_width = screen.width;
    raster_height = screen.height;
    raster_max_x = raster_width - 1;
    raster_max_y = raster_height - 1;
    raster_pixels = screen.pixels;
}
