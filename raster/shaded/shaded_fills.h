// Entry points of the shaded polygon fills. All share one polygon pipeline:
// two-pass clipping against the raster target, a top-vertex walk with two
// edge chains, and spans; they differ only in their attributes and span.
//
// Vertices are taken in packet order as a closed convex loop. Each entry
// returns at once when every vertex has the y of the first.
#pragma once

#include <cstdint>

#include "raster/packet.h"

// Per-vertex colour interpolated across the polygon.
void draw_gouraud_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                           const ScreenVertex* vert2, const ColourRecord* col0,
                           const ColourRecord* col1, const ColourRecord* col2);
void draw_gouraud_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                       const ScreenVertex* vert2, const ScreenVertex* vert3,
                       const ColourRecord* col0, const ColourRecord* col1,
                       const ColourRecord* col2, const ColourRecord* col3);

// One surface colour modulated by per-vertex light through the shade table of
// shade_mode (0..3); surface components 0..255.
void draw_lit_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                       const ScreenVertex* vert2, const ColourRecord* light0,
                       const ColourRecord* light1, const ColourRecord* light2,
                       const ColourRecord* surface, int32_t shade_mode);
void draw_lit_quad(const ScreenVertex* vert0, const ScreenVertex* vert1, const ScreenVertex* vert2,
                   const ScreenVertex* vert3, const ColourRecord* light0,
                   const ColourRecord* light1, const ColourRecord* light2,
                   const ColourRecord* light3, const ColourRecord* surface, int32_t shade_mode);
