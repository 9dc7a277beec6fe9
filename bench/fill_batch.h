// Fixed polygon sets drawn straight through the fills' entry points, one fill
// family at a time, as the dispatcher calls them: shared by the benchmarks
// (make bench) and the instruction-count check (make perf-check).
#pragma once

#include <cstdint>
#include <vector>

#include "raster/packet.h"

enum FillFamily : int {
    FILL_FLAT,
    FILL_TEXTURED,
    FILL_ADDITIVE_TEXTURED,
    FILL_HALF_TEXTURED,
    FILL_GOURAUD,
    FILL_ADDITIVE_GOURAUD,
    FILL_LIT_TEXTURED,
    FILL_LIT,
    // The lit fills under grey light (r = g = b), as the demonstration's white
    // light gives every vertex.
    FILL_LIT_TEXTURED_WHITE,
    FILL_LIT_WHITE,
    // The textured fill lit by depth-cue levels, as the dispatcher draws the
    // fogged codes: grey levels from the vertices' depths.
    FILL_DEPTH_CUED,
    FILL_FAMILIES
};
extern const char* const FILL_NAMES[FILL_FAMILIES];

// Triangles with per-vertex colours, grey lights, depth-cue levels and
// texture coordinates; every vertex record is its own, as the fills take them
// by address.
struct FillBatch {
    std::vector<ScreenVertex> vertices;
    std::vector<ColourRecord> colours;
    std::vector<ColourRecord> greys;
    std::vector<ColourRecord> fog_levels;
    std::vector<TexCoord> uvs;

    void add(int32_t x, int32_t y);
    int32_t triangles() const { return int32_t(vertices.size() / 3); }
};

// One triangle over most of the window's screen.
FillBatch large_triangle();
// Grid cells of 8 pixels over most of the screen, two triangles each, in the
// outline builder's order and winding.
FillBatch cell_triangles();

// Loads the fills' texture (64 x 64 texels of hashed colours) into the slot
// the batches draw from, unless it is loaded already; the texture slots must
// exist (a headless session is open). False when it cannot be loaded.
bool load_fill_texture();
// Draws every triangle of `batch` with `family` into the bound raster target.
void draw_fill_batch(FillFamily family, const FillBatch& batch);
