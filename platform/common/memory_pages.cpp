// Screen pages in plain memory and their drawing.
#include "platform/common/memory_pages.h"

#include <cstdlib>

#include "app/platform.h"
#include "platform/common/page_drawing.h"

namespace {

MemoryPage pages[MAX_SCREEN_PAGES] = {};

bool valid_slot(int32_t index) {
    return index >= 0 && index < MAX_SCREEN_PAGES;
}

}  // namespace

MemoryPage* memory_page(int32_t index) {
    return valid_slot(index) && pages[index].pixels != nullptr ? &pages[index] : nullptr;
}

uint16_t* create_memory_page(int32_t index, int32_t width, int32_t height) {
    if (!valid_slot(index)) return nullptr;
    release_memory_page(index);
    if (width <= 0 || height <= 0) return nullptr;
    auto* pixels = static_cast<uint16_t*>(std::calloc(size_t(width) * size_t(height), 2));
    if (pixels == nullptr) return nullptr;
    pages[index] = MemoryPage{pixels, width, height};
    return pixels;
}

void release_memory_page(int32_t index) {
    if (!valid_slot(index)) return;
    std::free(pages[index].pixels);
    pages[index] = MemoryPage{};
}

void draw_memory_page_line(int32_t index, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (MemoryPage* page = memory_page(index))
        draw_page_line(page->pixels, page->width, page->height, x0, y0, x1, y1, PAGE_BLACK);
}

void flood_fill_memory_page(int32_t index, int32_t x, int32_t y, uint16_t fill) {
    if (MemoryPage* page = memory_page(index))
        flood_fill_page(page->pixels, page->width, page->height, x, y, fill, PAGE_BLACK);
}
