// Screen pages in plain memory, for backends whose images are not system
// bitmaps (SDL, the browser): a slot table of zero-filled 5:5:5 pages, and the
// platform's page operations done on them with the portable line and fill.
#pragma once

#include <cstdint>

struct MemoryPage {
    uint16_t* pixels;
    int32_t width;
    int32_t height;
};

// The page in a slot; null for an empty slot or an index outside the slots.
MemoryPage* memory_page(int32_t index);

// Makes a page of width x height pixels in a slot, releasing what the slot
// held; null (slot empty) for a bad index or size, or when memory runs out.
// Pages are the platform's image memory, not blocks of the shell: a refusal
// is reported by the shell as a screen-buffer failure.
uint16_t* create_memory_page(int32_t index, int32_t width, int32_t height);
void release_memory_page(int32_t index);

// The black one-pixel line (end point excluded) and the black-bounded fill.
void draw_memory_page_line(int32_t index, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void flood_fill_memory_page(int32_t index, int32_t x, int32_t y, uint16_t fill);
