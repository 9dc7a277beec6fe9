// The platform's page operations for backends whose pages live in plain memory (SDL, the
// browser): each backend links this file and adds only how a page reaches its window.
#include "app/platform.h"
#include "platform/common/memory_pages.h"

uint16_t* platform_create_page(int32_t index, int32_t width, int32_t height) {
    return create_memory_page(index, width, height);
}

void platform_release_page(int32_t index) {
    release_memory_page(index);
}

// Memory pages need no drawing context held between frame start and presentation.
void platform_acquire_window_context() {}
void platform_release_window_context() {}

void platform_draw_line(int32_t page, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    draw_memory_page_line(page, x0, y0, x1, y1);
}

void platform_flood_fill(int32_t page, int32_t x, int32_t y, uint16_t fill) {
    flood_fill_memory_page(page, x, y, fill);
}
