// Raster target state and its binding to the screen buffer.
#include "raster/raster_target.h"

RasterTarget raster_target = {256, 256, 256, 256, nullptr};

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
    raster_target.width = screen.width;
    raster_target.height = screen.height;
    raster_target.max_x = raster_target.width - 1;
    raster_target.max_y = raster_target.height - 1;
    raster_target.pixels = screen.pixels;
}
