// The shade-table directory, the four standard tables and their start-up and shut-down.
#include "raster/shade_tables.h"

#include "base/memory.h"

const ShadeTable* shade_tables[SHADE_MODE_COUNT] = {};
const ShadeTable* current_shade_table = nullptr;

namespace {

// Highlight added by the soft table: nothing below level 19, then a mild rise.
constexpr uint8_t SOFT_HIGHLIGHT[SHADE_LEVELS] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                  0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 5, 6, 7, 8, 9, 10};
// Highlight added by the glossy table: from level 16, saturating at the top.
constexpr uint8_t GLOSSY_HIGHLIGHT[SHADE_LEVELS] = {0, 0, 0, 0, 0,  0,  0,  0,  0,  0, 0,
                                                    0, 0, 0, 0, 0,  1,  1,  2,  2,  3, 3,
                                                    4, 5, 6, 7, 10, 15, 20, 26, 31, 31};

struct ShadeState {
    ShadeTable** directory = nullptr;  // SHADE_TABLE_SLOTS entries, null when empty
};

ShadeState state;

int32_t clamp_component(int32_t value) {
    return value < 31 ? value : 31;
}

}  // namespace

int alloc_shade_table() {
    if (state.directory == nullptr) return -1;
    for (int32_t slot = 0; slot < SHADE_TABLE_SLOTS; ++slot) {
        if (state.directory[slot] != nullptr) continue;
        auto* table = static_cast<ShadeTable*>(alloc_zeroed(int32_t(sizeof(ShadeTable))));
        if (table == nullptr) return -2;
        state.directory[slot] = table;
        return slot;
    }
    return -1;
}

ShadeTable* shade_table(int32_t index) {
    if (state.directory == nullptr || index < 0 || index >= SHADE_TABLE_SLOTS) return nullptr;
    return state.directory[index];
}

int build_shade_tables() {
    ShadeTable* tables[SHADE_MODE_COUNT];
    for (ShadeTable*& table : tables) {
        int slot = alloc_shade_table();
        if (slot < 0) return -1;
        table = shade_table(slot);
        if (table == nullptr) return -1;
    }
    for (int32_t i = 0; i < SHADE_LEVELS; ++i) {
        for (int32_t j = 0; j < SHADE_LEVELS; ++j) {
            int32_t modulated = (i * j) >> 5;  // 0..30: level times component, 5 bits
            int32_t ambient = j >> 1;          // half the base component
            int32_t at = (i << 5) + j;
            tables[SHADE_MODE_SOFT]->entry[at] =
                uint8_t(clamp_component(SOFT_HIGHLIGHT[i] + modulated + ambient));
            tables[SHADE_MODE_GLOSSY]->entry[at] =
                uint8_t(clamp_component(GLOSSY_HIGHLIGHT[i] + modulated + ambient));
            // The modulation rounded up to a multiple of 8 gives four bands.
            tables[SHADE_MODE_BANDED]->entry[at] =
                uint8_t(clamp_component(((modulated + 7) & ~7) + ambient));
            tables[SHADE_MODE_PLAIN]->entry[at] = uint8_t(modulated);
        }
    }
    return 0;
}

int init_render_tables() {
    free_render_tables();  // a second start-up must not leak the first one's tables
    state.directory =
        static_cast<ShadeTable**>(alloc_zeroed(int32_t(SHADE_TABLE_SLOTS * sizeof(ShadeTable*))));
    if (state.directory == nullptr) return -1;
    return build_shade_tables();
}

int init_shading() {
    if (init_render_tables() < 0) {
        // Start-up stops here and shut-down will not run, so nothing must stay allocated.
        free_render_tables();
        return -1;
    }
    for (int32_t mode = 0; mode < SHADE_MODE_COUNT; ++mode) {
        shade_tables[mode] = shade_table(mode);
    }
    current_shade_table = shade_tables[SHADE_MODE_SOFT];
    return 0;
}

void shutdown_shading() {
    free_render_tables();
}

void free_render_tables() {
    if (state.directory != nullptr) {
        for (int32_t slot = 0; slot < SHADE_TABLE_SLOTS; ++slot) {
            free_block(state.directory[slot]);
        }
        free_block(state.directory);
        state.directory = nullptr;
    }
    // The lit fills test these for null, so they must not outlive the tables.
    for (const ShadeTable*& table : shade_tables) {
        table = nullptr;
    }
    current_shade_table = nullptr;
}
