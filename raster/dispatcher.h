// Primitive dispatcher: paints the ordering table far to near, handing each packet to
// the fill its code names, with per-vertex light colours, depth-cue levels and
// environment coordinates computed on the way; draws marker boxes and runs callbacks.
#pragma once

#include <cstdint>

#include "base/fixed_point.h"
#include "raster/packet.h"
#include "raster/render_state.h"

// Depth cueing: vertices at or nearer than DEPTH_CUE_NEAR are at full brightness, those
// at or beyond DEPTH_CUE_FAR are black (view-depth units of ScreenVertex z).
inline constexpr int32_t DEPTH_CUE_FAR = 1500;
inline constexpr int32_t DEPTH_CUE_NEAR = 800;

inline constexpr int32_t MARKER_SIZE = 50;         // pixels
inline constexpr uint16_t MARKER_COLOUR = 0x7FFF;  // 5:5:5 white

// Callbacks. A callback packet's extra word is 32 bits wide and cannot hold a function
// address in a 64-bit build, so it holds a callback number: 1..RENDER_CALLBACKS names
// an entry of a fixed table, 0 means none. Numbers that name no registered function
// are skipped when painted, never called.
inline constexpr int32_t RENDER_CALLBACKS = 32;
using RenderCallback = void (*)(int32_t depth_key);

// Enters `callback` in the first free entry: its number (1..RENDER_CALLBACKS), or -1
// for a null callback or a full table.
int32_t register_render_callback(RenderCallback callback);
// Empties entry `number`: 0, or -1 when it names no registered callback.
int32_t unregister_render_callback(int32_t number);

// Paints buckets 4095 down to 1 of the ordering table (bucket 0 is never painted),
// each chain in link order, and empties every painted bucket. Called by render_frame
// right after bucket_packets on the same list; the heads must hold references made
// by bucket_packets. Packets are only read. A callback runs synchronously with the
// packet's depth_key and must not touch the ordering table. A textured packet whose
// texture slot lies outside 0..127 or holds no texture is skipped.
void draw_ordering_table(const RenderList* list);

// Light colour of a vertex from its normal's light intensity (negative counts as 0):
// each channel (intensity * light channel) >> 8, so 255 under white light gives 254.
ColourRecord lit_vertex_colour(int32_t intensity, const LightState* light);

// 255 at or nearer than DEPTH_CUE_NEAR, 0 at or beyond DEPTH_CUE_FAR, linear (truncating)
// in between.
int32_t depth_cue_level(int32_t z);

// Environment-map coordinates from a view-space unit normal: (x >> 3) + 128,
// (y >> 3) + 128, so a normal facing the viewer maps to the texture centre.
TexCoord environment_coords(const Vec4* normal);

// A MARKER_SIZE box outline in MARKER_COLOUR with its top-left corner at the vertex,
// drawn while the first word of marker slot `index` is 0. Nothing for an index outside
// 0..31 or before the marker table exists.
void draw_marker(int32_t index, const ScreenVertex* vertex);

// The four edges of a box clipped to the raster target: rows y and y + h over columns
// x .. x + w - 1, columns x and x + w over rows y .. y + h - 1 (the far corner is not
// drawn). Safe for any arguments; nothing is written outside the raster.
void draw_rect_outline(int32_t x, int32_t y, int32_t w, int32_t h, uint16_t colour);
