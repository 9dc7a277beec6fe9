// Screen buffer pages, their slots and accessors, and the clear colour.
#include "app/screen.h"

#include <cstring>

#include "base/memory.h"
#include "base/messages.h"
#include "raster/raster_target.h"

namespace {

// One page slot. The pixel memory belongs to the platform; a slot only
// remembers it while the page exists.
struct ScreenPage {
    uint16_t* pixels;
    int32_t created;
};

struct ScreenState {
    ScreenPage* pages = nullptr;  // MAX_SCREEN_PAGES slots, from alloc_zeroed
    PlatformWindow window = nullptr;
    int32_t width = 0;
    int32_t height = 0;  // client height minus 1 once the pages exist
    int32_t depth = 0;
    int32_t current_page = 0;
    int32_t flip_mask = 0;
    int32_t drawing_page = 0;
    uint32_t clear_pair = 0;
};

ScreenState screen;

bool valid_slot(int32_t index) {
    return index >= 0 && index < MAX_SCREEN_PAGES;
}

}  // namespace

int init_screen(PlatformWindow window) {
    // A second start-up in the same process begins from a fresh screen.
    if (screen.pages != nullptr) shutdown_screen();
    screen.pages =
        static_cast<ScreenPage*>(alloc_zeroed(int32_t(MAX_SCREEN_PAGES * sizeof(ScreenPage))));
    if (screen.pages == nullptr) return -1;
    screen.window = window;
    screen.clear_pair = 0;
    screen.drawing_page = 0;
    return set_screen_depth(SCREEN_DEPTH);
}

int set_screen_depth(int32_t bits) {
    if (bits == screen.depth) return 0;
    screen.depth = bits;
    return rebuild_screen();
}

int rebuild_screen() {
    int32_t width = 0;
    int32_t height = 0;
    platform_client_size(screen.window, &width, &height);
    screen.width = width;
    screen.height = height;
    release_screen_page(0);
    release_screen_page(1);
    bool created = true;
    for (int32_t index = 0; index < SCREEN_PAGE_COUNT && created; ++index)
        created = create_screen_page(index, width, height, screen.depth) == 0;
    if (!created) {
        // The raster target must not keep pointing at pages that are gone.
        set_screen_geometry(0, 0, nullptr);
        show_error("%s", TEXT_SCREEN_FAILED);
        return -1;
    }
    screen.current_page = 0;
    screen.flip_mask = 0;
    screen.drawing_page = 0;
    screen.height = height - 1;  // the last row is never drawn or shown
    set_screen_geometry(screen.width, screen.height, screen.pages[0].pixels);
    return 0;
}

int create_screen_page(int32_t index, int32_t width, int32_t height, int32_t bits) {
    if (!valid_slot(index) || screen.pages == nullptr) return -1;
    release_screen_page(index);
    // Rows are addressed with a stride of the width in pixels, which a 16-bit
    // page only has when its rows need no padding: an even width.
    if (bits != SCREEN_DEPTH || width <= 0 || height <= 0 || width % 2 != 0) return -1;
    uint16_t* pixels = platform_create_page(index, width, height);
    if (pixels == nullptr) return -1;
    screen.pages[index] = {pixels, 1};
    return 0;
}

int release_screen_page(int32_t index) {
    if (!valid_slot(index)) return -2;
    if (screen.pages == nullptr) return 0;
    if (screen.pages[index].created != 0) platform_release_page(index);
    screen.pages[index] = {nullptr, 0};
    return 0;
}

void shutdown_screen() {
    if (screen.pages != nullptr)
        for (int32_t index = 0; index < MAX_SCREEN_PAGES; ++index)
            release_screen_page(index);
    free_block(screen.pages);
    set_screen_geometry(0, 0, nullptr);
    screen = ScreenState{};
}

int32_t screen_width() {
    return screen.width;
}
int32_t screen_height() {
    return screen.height;
}
PlatformWindow main_window() {
    return screen.window;
}
void set_main_window(PlatformWindow window) {
    screen.window = window;
}

uint16_t* page_pixels(int32_t index) {
    if (!valid_slot(index) || screen.pages == nullptr) return nullptr;
    return screen.pages[index].pixels;
}

uint16_t* current_page_pixels() {
    return page_pixels(screen.current_page);
}
int32_t current_page_index() {
    return screen.current_page;
}
void flip_screen_page() {
    screen.current_page ^= screen.flip_mask;
}

void fill_pixel_pairs(uint16_t* pixels, int64_t words, uint32_t pair) {
    if (pixels == nullptr || words <= 0) return;
    // Sixteen bytes to a store, eight of them a round.
    auto* bytes = reinterpret_cast<unsigned char*>(pixels);
    const uint32_t sixteen[4] = {pair, pair, pair, pair};
    const size_t size = size_t(words) * 4;
    size_t at = 0;
    for (; at + 128 <= size; at += 128) {
        unsigned char* round = bytes + at;
        std::memcpy(round, sixteen, 16);
        std::memcpy(round + 16, sixteen, 16);
        std::memcpy(round + 32, sixteen, 16);
        std::memcpy(round + 48, sixteen, 16);
        std::memcpy(round + 64, sixteen, 16);
        std::memcpy(round + 80, sixteen, 16);
        std::memcpy(round + 96, sixteen, 16);
        std::memcpy(round + 112, sixteen, 16);
    }
    for (; at < size; at += 4)
        std::memcpy(bytes + at, &pair, 4);
}

void clear_screen() {
    // Two pixels per 32-bit word; an even width makes every row a whole
    // number of words, so this covers exactly the rows above the last.
    fill_pixel_pairs(current_page_pixels(), int64_t(screen.width / 2) * screen.height,
                     screen.clear_pair);
}

int32_t drawing_page_index() {
    return screen.drawing_page;
}

void set_drawing_page(int32_t index) {
    screen.drawing_page = valid_slot(index) ? index : screen.current_page;
}

void clear_page_as_new(int32_t index) {
    uint16_t* pixels = page_pixels(index);
    if (pixels == nullptr) return;
    fill_pixel_pairs(pixels, int64_t(screen.width / 2) * screen.height, screen.clear_pair);
    std::memset(pixels + int64_t(screen.width) * screen.height, 0, size_t(screen.width) * 2);
}

void set_clear_colour(int32_t r, int32_t g, int32_t b) {
    uint32_t pixel = (uint32_t(r & 31) << 10) | (uint32_t(g & 31) << 5) | uint32_t(b & 31);
    screen.clear_pair = pixel | (pixel << 16);
}

uint32_t clear_colour_pair() {
    return screen.clear_pair;
}
