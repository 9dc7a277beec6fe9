// The fills' fixed polygon sets and the one call per family that draws them.
#include "bench/fill_batch.h"

#include "raster/dispatcher.h"
#include "raster/fills/flat_fill.h"
#include "raster/fills/shaded_fills.h"
#include "raster/fills/textured_fill.h"
#include "raster/shade_tables.h"
#include "raster/texture_loader.h"

namespace {

constexpr int32_t TEXTURE_SLOT = 0;
constexpr int32_t TEXTURE_SIZE = 64;

}  // namespace

const char* const FILL_NAMES[FILL_FAMILIES] = {"flat",
                                               "textured",
                                               "additive_textured",
                                               "half_textured",
                                               "gouraud",
                                               "additive_gouraud",
                                               "lit_textured",
                                               "lit",
                                               "lit_textured_white_light",
                                               "lit_white_light",
                                               "depth_cued"};

void FillBatch::add(int32_t x, int32_t y) {
    vertices.push_back({x, y, 0, 0});
    // Light and colour that vary across the screen, within 0..255.
    colours.push_back({(x * 255) / 520, (y * 255) / 490, ((x + y) * 255) / 1010, 0});
    const int32_t grey = ((x + y) * 255) / 1010;
    greys.push_back({grey, grey, grey, 0});
    // Depths from the near end of depth cueing at the top left to its far end
    // at the bottom right.
    const int32_t level =
        depth_cue_level(DEPTH_CUE_NEAR + ((x + y) * (DEPTH_CUE_FAR - DEPTH_CUE_NEAR)) / 1010);
    fog_levels.push_back({level, level, level, 0});
    uvs.push_back({x * 4, y * 4, 0, 0});
}

FillBatch large_triangle() {
    FillBatch batch;
    batch.add(16, 8);
    batch.add(500, 120);
    batch.add(100, 476);
    return batch;
}

// (TL, TR, BL), then (BR, BL, TR).
FillBatch cell_triangles() {
    FillBatch batch;
    for (int32_t y = 40; y + 8 <= 440; y += 8) {
        for (int32_t x = 48; x + 8 <= 464; x += 8) {
            batch.add(x, y);
            batch.add(x + 8, y);
            batch.add(x, y + 8);
            batch.add(x + 8, y + 8);
            batch.add(x, y + 8);
            batch.add(x + 8, y);
        }
    }
    return batch;
}

bool load_fill_texture() {
    if (loaded_texture(TEXTURE_SLOT) != nullptr) return true;
    std::vector<uint16_t> texels(TEXTURE_SIZE * TEXTURE_SIZE);
    for (int32_t i = 0; i < TEXTURE_SIZE * TEXTURE_SIZE; ++i)
        texels[size_t(i)] = uint16_t((i * 2654435761u) >> 17) & 0x7FFF;
    return load_texture(TEXTURE_SLOT, TEXTURE_SIZE, TEXTURE_SIZE, texels.data()) >= 0;
}

void draw_fill_batch(FillFamily family, const FillBatch& batch) {
    const ColourRecord surface{255, 160, 64, 0};
    for (size_t i = 0; i + 2 < batch.vertices.size(); i += 3) {
        const ScreenVertex* v = &batch.vertices[i];
        const ColourRecord* c = &batch.colours[i];
        const ColourRecord* g = &batch.greys[i];
        const ColourRecord* f = &batch.fog_levels[i];
        const TexCoord* t = &batch.uvs[i];
        switch (family) {
            case FILL_FLAT:
                draw_flat_triangle(&v[0], &v[1], &v[2], 0x2A55);
                break;
            case FILL_TEXTURED:
                draw_textured_triangle(&v[0], &v[1], &v[2], &t[0], &t[1], &t[2], TEXTURE_SLOT);
                break;
            case FILL_ADDITIVE_TEXTURED:
                draw_additive_textured_triangle(&v[0], &v[1], &v[2], &t[0], &t[1], &t[2],
                                                TEXTURE_SLOT);
                break;
            case FILL_HALF_TEXTURED:
                draw_half_textured_triangle(&v[0], &v[1], &v[2], &t[0], &t[1], &t[2], TEXTURE_SLOT);
                break;
            case FILL_GOURAUD:
                draw_gouraud_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2]);
                break;
            case FILL_ADDITIVE_GOURAUD:
                draw_additive_gouraud_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2]);
                break;
            case FILL_LIT_TEXTURED:
                draw_lit_textured_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2], &t[0], &t[1],
                                           &t[2], TEXTURE_SLOT, SHADE_MODE_SOFT);
                break;
            case FILL_LIT:
                draw_lit_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2], &surface,
                                  SHADE_MODE_SOFT);
                break;
            case FILL_LIT_TEXTURED_WHITE:
                draw_lit_textured_triangle(&v[0], &v[1], &v[2], &g[0], &g[1], &g[2], &t[0], &t[1],
                                           &t[2], TEXTURE_SLOT, SHADE_MODE_SOFT);
                break;
            case FILL_LIT_WHITE:
                draw_lit_triangle(&v[0], &v[1], &v[2], &g[0], &g[1], &g[2], &surface,
                                  SHADE_MODE_SOFT);
                break;
            case FILL_DEPTH_CUED:
                draw_lit_textured_triangle(&v[0], &v[1], &v[2], &f[0], &f[1], &f[2], &t[0], &t[1],
                                           &t[2], TEXTURE_SLOT, SHADE_MODE_PLAIN);
                break;
            default:
                break;
        }
    }
}
