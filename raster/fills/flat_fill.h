// Flat fill: triangles and quadrilaterals of one colour blended 50 % over the
// page, with a clipper and edge walk of their own.
//
// The walk differs from the shaded pipeline's in which edge pixels it covers:
// an edge without height moves its side straight to the end vertex, a tie
// between the two chains ends the backward one, and moving on to the next
// edge keeps the side where it is. Everything lives on the stack of one call.
#pragma once

#include <cstdint>

#include "raster/packet.h"

// The 50 % blend of two 5:5:5 pixels: each component is halved (its lowest
// bit dropped) and the halves added, so white over white gives 30, not 31.
constexpr uint16_t average_pixel(uint16_t a, uint16_t b) {
    return uint16_t(((a >> 1) & 0x3DEF) + ((b >> 1) & 0x3DEF));
}

// average_pixel of four pixels at once, one in each 16-bit quarter: the bit
// a shift moves into a quarter's top is masked away, and the halves add up to
// at most 30 a component, with no carry.
constexpr uint64_t average_four(uint64_t a, uint64_t b) {
    return ((a >> 1) & 0x3DEF3DEF3DEF3DEF) + ((b >> 1) & 0x3DEF3DEF3DEF3DEF);
}

// A clip entry of the flat fill: a position in whole pixels, y down.
struct FlatPoint {
    int32_t x, y;
};

// The x pass and the y pass each append at most two entries per edge.
inline constexpr int32_t FLAT_CLIP_CAPACITY = 16;

// Called by the dispatcher for PRIM_FLAT_TRI and PRIM_FLAT_QUAD with the
// packet's vertices in packet order (a closed convex loop, any int32
// position) and its packed colour. Nothing happens when every vertex has the
// y of the first or when no raster is bound; nothing is written outside the
// raster target.
void draw_flat_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                        const ScreenVertex* vert2, uint16_t colour);
void draw_flat_quad(const ScreenVertex* vert0, const ScreenVertex* vert1, const ScreenVertex* vert2,
                    const ScreenVertex* vert3, uint16_t colour);
// The core of both, for n = 3 or 4 vertices (other counts draw nothing).
void fill_flat_polygon(const ScreenVertex* const* vertices, int32_t n, uint16_t colour);

// Clips the loop of n (1..4) vertices to the raster target, x pass then y
// pass, and trims closing duplicates: writes at most FLAT_CLIP_CAPACITY
// entries, every one inside the raster, and returns their count.
int32_t clip_flat_polygon(const ScreenVertex* const* vertices, int32_t n, FlatPoint* out);

// Index of the entry with the smallest y, the first one on ties; 0 for an
// empty list.
int32_t find_top_vertex(const FlatPoint* list, int32_t count);

// Whether the walk of a triangle, three entries inside the raster as
// clip_flat_polygon leaves them (no two the same, not all on one row), would
// find its sides crossed above its last row: the quick test that they cannot
// (`apart`), and the full question (`crossed`). The walk asks the full
// question only of the triangles the quick test does not pass; apart must
// never be true where crossed is.
struct FlatSidesAnswer {
    bool apart, crossed;
};
FlatSidesAnswer flat_triangle_sides(const FlatPoint* list);

// Blends `colour` into `count` consecutive pixels from `pixels`; nothing for
// count <= 0.
void blend_flat_span(uint16_t* pixels, int32_t count, uint16_t colour);
