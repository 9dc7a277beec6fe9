// Entry points of the shaded polygon fills. All share one polygon pipeline
// (polygon_pipeline.h): two-pass clipping against the raster target, a
// top-vertex walk with two edge chains, and spans; they differ only in their
// attributes and span.
//
// The dispatcher calls them once per packet, far to near, after binding the
// raster target; they write its pixels and nothing else, never outside it,
// and draw nothing when it has no pixels. Vertices are taken in packet order
// as a closed convex loop, at any int32 position. Each entry returns at once
// when every vertex has the y of the first.
#pragma once

#include <cstdint>

#include "raster/packet.h"

// Per-vertex colour interpolated across the polygon.
void draw_gouraud_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                           const ScreenVertex* vert2, const ColourRecord* col0,
                           const ColourRecord* col1, const ColourRecord* col2);
void draw_gouraud_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                       const ScreenVertex* vert2, const ScreenVertex* vert3,
                       const ColourRecord* col0, const ColourRecord* col1, const ColourRecord* col2,
                       const ColourRecord* col3);
// The core of both: n = 3 or 4 vertices and colours (components 0..255).
void fill_gouraud_polygon(const ScreenVertex* const* vertices, const ColourRecord* const* colours,
                          int32_t n);

// One surface colour modulated by per-vertex light through the shade table of
// shade_mode (0..3); light and surface components 0..255. The entries leave
// current_shade_table on that table. Out-of-range modes and components give
// wrong colours but never read outside the tables; before the tables exist
// nothing is drawn.
void draw_lit_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                       const ScreenVertex* vert2, const ColourRecord* light0,
                       const ColourRecord* light1, const ColourRecord* light2,
                       const ColourRecord* surface, int32_t shade_mode);
void draw_lit_quad(const ScreenVertex* vert0, const ScreenVertex* vert1, const ScreenVertex* vert2,
                   const ScreenVertex* vert3, const ColourRecord* light0,
                   const ColourRecord* light1, const ColourRecord* light2,
                   const ColourRecord* light3, const ColourRecord* surface, int32_t shade_mode);
// The core of both, drawing through current_shade_table as it stands.
void fill_lit_polygon(const ScreenVertex* const* vertices, const ColourRecord* const* lights,
                      const ColourRecord* surface, int32_t n);
// draw_lit_triangle for lights that are grey (r = g = b at each vertex), each
// given as its one value: the same pixels, with less set-up. The dispatcher
// draws PRIM_LIT_TRI packets with it while the light colour is grey.
void draw_grey_lit_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                            const ScreenVertex* vert2, int32_t light0, int32_t light1,
                            int32_t light2, const ColourRecord* surface, int32_t shade_mode);
// The same polygons drawn watertight, for packets with POLY_WATERTIGHT:
// every pixel whose point (x + 1/2, y) lies inside, those on an edge going to
// the polygon on its right (below, for a level edge), so that polygons that
// share an edge share out its pixels, none missed and none drawn twice. Each
// row takes the lights of the lit fill's span on it: a pixel of that span
// its value, one left of it the span's first, one right of it the value the
// span's run reaches one pixel past its last (the right side's, up to the
// rounding of the run's step); and every light level is kept within the
// levels of the polygon's corners. A pixel both fills draw thus gets the
// same value, except where the lit fill's light leaves its corners' levels
// (its sides carry rounding past a corner), in a polygon whose walk's sides
// cross (the lit fill draws it by the exact walk, its lights carried down
// the edges), and on a row the walk draws for an edge without height (the
// lit fill keeps what each draw of the row wrote, this form only the row's
// last draw). Vertices at any int32 position.
void draw_watertight_lit_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                  const ScreenVertex* vert2, const ColourRecord* light0,
                                  const ColourRecord* light1, const ColourRecord* light2,
                                  const ColourRecord* surface, int32_t shade_mode);
void draw_watertight_lit_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                              const ScreenVertex* vert2, const ScreenVertex* vert3,
                              const ColourRecord* light0, const ColourRecord* light1,
                              const ColourRecord* light2, const ColourRecord* light3,
                              const ColourRecord* surface, int32_t shade_mode);
// draw_watertight_lit_triangle for grey lights, each given as its one value,
// as draw_grey_lit_triangle is draw_lit_triangle's: the same pixels.
void draw_watertight_grey_lit_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                       const ScreenVertex* vert2, int32_t light0, int32_t light1,
                                       int32_t light2, const ColourRecord* surface,
                                       int32_t shade_mode);
void fill_watertight_lit_polygon(const ScreenVertex* const* vertices,
                                 const ColourRecord* const* lights, const ColourRecord* surface,
                                 int32_t n);
// While open, lit fills keep the pixel of each light level for the table and
// surface colour they drew with last instead of working the levels out for
// every polygon. The dispatcher opens it for its walk of the ordering table
// and closes it around callbacks and at the end: nothing may change a shade
// table while it is open.
void open_lit_level_cache();
void close_lit_level_cache();

// Per-vertex colour added to the page, each component saturating at 31: the
// interpolated colour (lowest bit of each component dropped) goes through
// add_saturate_pixel with the pixel under it. Colour components 0..255.
void draw_additive_gouraud_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                    const ScreenVertex* vert2, const ColourRecord* col0,
                                    const ColourRecord* col1, const ColourRecord* col2);
void draw_additive_gouraud_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                const ScreenVertex* vert2, const ScreenVertex* vert3,
                                const ColourRecord* col0, const ColourRecord* col1,
                                const ColourRecord* col2, const ColourRecord* col3);
void fill_additive_gouraud_polygon(const ScreenVertex* const* vertices,
                                   const ColourRecord* const* colours, int32_t n);

// The colour of an additive span, each component at the scale that lines its
// top four bits up with their place in a pixel pair: red times 2^23 (bits
// 27..30), green times 2^18 (22..25), blue times 2^13 (17..20); a component c
// of 0..255 with the sides' 8 fraction bits is c * 256 * 2^15 for red, and so
// on. step is added after each pixel.
struct AdditiveRun {
    int32_t value[3];
    int32_t step[3];
};
// Adds the run's colours to `count` pixels from `pixels`, two pixels to one
// 32-bit sum (the first pixel in the low half) and an odd last pixel alone;
// nothing for count <= 0.
void blend_additive_span(uint16_t* pixels, int32_t count, AdditiveRun run);

// Texels modulated per pixel by per-vertex light through the shade table of
// shade_mode (0..3, taken modulo 4): each texel component selects a column,
// the light component's level a row. Light components 0..255; texture
// coordinates in 1/256 of the texture, wrapping. The entries leave
// current_shade_table on that table. Nothing is drawn for a slot that holds
// no texture, or before the shade tables exist.
void draw_lit_textured_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                const ScreenVertex* vert2, const ColourRecord* light0,
                                const ColourRecord* light1, const ColourRecord* light2,
                                const TexCoord* uv0, const TexCoord* uv1, const TexCoord* uv2,
                                int32_t texture, int32_t shade_mode);
void draw_lit_textured_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                            const ScreenVertex* vert2, const ScreenVertex* vert3,
                            const ColourRecord* light0, const ColourRecord* light1,
                            const ColourRecord* light2, const ColourRecord* light3,
                            const TexCoord* uv0, const TexCoord* uv1, const TexCoord* uv2,
                            const TexCoord* uv3, int32_t texture, int32_t shade_mode);
// draw_lit_textured_triangle drawn watertight, for PRIM_LIT_TEX_TRI packets
// with POLY_WATERTIGHT: the pixels draw_watertight_lit_triangle covers, each
// row's lights laid over them as there and its texture coordinates alike
// (held left and right of the walk's run, never stepped past it), the lights
// kept within their corners' levels. Painted bodies draw with it, so that a
// turned body shows no pinholes between its faces.
void draw_watertight_lit_textured_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                           const ScreenVertex* vert2, const ColourRecord* light0,
                                           const ColourRecord* light1, const ColourRecord* light2,
                                           const TexCoord* uv0, const TexCoord* uv1,
                                           const TexCoord* uv2, int32_t texture,
                                           int32_t shade_mode);
// The core of both, drawing through current_shade_table as it stands.
void fill_lit_textured_polygon(const ScreenVertex* const* vertices,
                               const ColourRecord* const* lights, const TexCoord* const* uvs,
                               int32_t texture, int32_t n);
// The watertight one's core, as fill_lit_textured_polygon, for a polygon of n
// corners drawn watertight.
void fill_watertight_lit_textured_polygon(const ScreenVertex* const* vertices,
                                          const ColourRecord* const* lights,
                                          const TexCoord* const* uvs, int32_t texture, int32_t n);
