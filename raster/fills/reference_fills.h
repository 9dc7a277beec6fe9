// The reference forms of the fills that draw with a faster arithmetic: the
// same polygons through PlainArithmetic (pipeline_arithmetic.h). Tests call
// them to prove the fast fills pixel for pixel; nothing else should.
#pragma once

#include <cstdint>

#include "raster/packet.h"

// fill_gouraud_polygon, fill_lit_polygon and fill_watertight_lit_polygon
// (shaded_fills.h), plainly.
void fill_gouraud_polygon_plain(const ScreenVertex* const* vertices,
                                const ColourRecord* const* colours, int32_t n);
void fill_lit_polygon_plain(const ScreenVertex* const* vertices, const ColourRecord* const* lights,
                            const ColourRecord* surface, int32_t n);
void fill_watertight_lit_polygon_plain(const ScreenVertex* const* vertices,
                                       const ColourRecord* const* lights,
                                       const ColourRecord* surface, int32_t n);

// The copy, additive and half-blended textured fills (textured_fill.h) and the
// lit textured fill drawn as ever and watertight (shaded_fills.h), plainly.
enum class TexturedFamily { COPY, ADD, HALF };
void fill_textured_polygon_plain(TexturedFamily family, const ScreenVertex* const* vertices,
                                 const TexCoord* const* uvs, int32_t texture, int32_t n);
void fill_lit_textured_polygon_plain(const ScreenVertex* const* vertices,
                                     const ColourRecord* const* lights, const TexCoord* const* uvs,
                                     int32_t texture, int32_t n);
void fill_watertight_lit_textured_polygon_plain(const ScreenVertex* const* vertices,
                                                const ColourRecord* const* lights,
                                                const TexCoord* const* uvs, int32_t texture,
                                                int32_t n);
