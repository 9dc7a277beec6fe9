// Primitive packets: the unit of work between the geometry side and the
// rasterizers, and the records their indices refer to.
//
// Packets lie back to back in the packet area, each on a 4-byte boundary: a
// 24-byte head followed, for polygons, by four int16 index arrays of n entries
// (n = 3 or 4): vertices, colours, texture coordinates, normals. Packets are
// walked by their size word and read through the head, triangle and quad
// layouts over the same bytes, so the widths and offsets below are fixed
// (the static_asserts hold them) and a 64-bit build keeps the 32-bit layout:
// the bucket link is a 32-bit reference (see ordering_table.h), never a
// pointer, and a callback packet's extra word holds a callback number, not an
// address.
#pragma once

#include <cstddef>
#include <cstdint>

// Header word: bits 0..11 code (bits 0..2 double as depth mode and, for
// polygons, vertex count), bit 12 no-sharing, bit 13 back-face test, bit 14
// watertight drawing, bits 16..31 marker slot (read as header >> 16,
// arithmetic). Bit 15 is free.
inline constexpr uint32_t PRIM_CODE_MASK = 0xFFF;
inline constexpr uint32_t DEPTH_MODE_MASK = 7;
inline constexpr uint32_t POLY_NO_SHARING = 0x1000;
inline constexpr uint32_t POLY_CULL = 0x2000;
// Lit polygons (PRIM_LIT_TRI, PRIM_LIT_QUAD, PRIM_LIT_TEX_TRI) with this bit
// are drawn watertight (draw_watertight_lit_triangle and its textured form,
// fills/shaded_fills.h): the polygons of a closed surface then leave no pixel
// between them. The inflated body's emitter sets it; the code and every other
// field keep their meaning.
inline constexpr uint32_t POLY_WATERTIGHT = 0x4000;

// Bits of the polygon codes.
inline constexpr uint32_t POLY_TEXTURED = 0x08;
inline constexpr uint32_t POLY_ADDITIVE = 0x10;
inline constexpr uint32_t POLY_HALF_BLEND = 0x20;
inline constexpr uint32_t POLY_PER_VERTEX_COLOUR = 0x40;
inline constexpr uint32_t POLY_LIT = 0x100;
inline constexpr uint32_t POLY_DEPTH_CUE = 0x200;

// Words of the chain that are not primitives.
inline constexpr uint32_t PACKET_OBJECT_HEADER = 5;
inline constexpr uint32_t PACKET_END = 6;  // depth mode 6 ends the chain

// The complete set of primitive codes.
inline constexpr uint32_t PRIM_FLAT_TRI = 3;
inline constexpr uint32_t PRIM_FLAT_QUAD = 4;
inline constexpr uint32_t PRIM_TEX_TRI = 11;
inline constexpr uint32_t PRIM_TEX_QUAD = 12;
inline constexpr uint32_t PRIM_TEX_ADD_TRI = 27;
inline constexpr uint32_t PRIM_TEX_ADD_QUAD = 28;
inline constexpr uint32_t PRIM_TEX_HALF_TRI = 59;
inline constexpr uint32_t PRIM_TEX_HALF_QUAD = 60;
inline constexpr uint32_t PRIM_GOURAUD_TRI = 67;
inline constexpr uint32_t PRIM_GOURAUD_QUAD = 68;
inline constexpr uint32_t PRIM_GOURAUD_TEX_QUAD = 76;
inline constexpr uint32_t PRIM_MARKER = 81;
inline constexpr uint32_t PRIM_GOURAUD_ADD_TRI = 83;
inline constexpr uint32_t PRIM_GOURAUD_ADD_QUAD = 84;
inline constexpr uint32_t PRIM_CALLBACK = 96;
inline constexpr uint32_t PRIM_LIT_TRI = 259;
inline constexpr uint32_t PRIM_LIT_QUAD = 260;
inline constexpr uint32_t PRIM_LIT_TEX_TRI = 267;
inline constexpr uint32_t PRIM_LIT_ENV_QUAD = 268;
inline constexpr uint32_t PRIM_FOG_TEX_TRI = 523;
inline constexpr uint32_t PRIM_FOG_TEX_QUAD = 524;

inline constexpr int32_t TRIANGLE_PACKET_BYTES = 48;
inline constexpr int32_t QUAD_PACKET_BYTES = 56;
inline constexpr int32_t SHORT_PACKET_BYTES = 20;  // object header and callback packets
inline constexpr int32_t PACKET_HEAD_BYTES = 24;

// The 24-byte head shared by every packet. Object-header and callback packets
// end after `extra` (20 bytes); a marker needs the head through `anchor`.
struct PrimitivePacket {
    uint32_t header;
    uint32_t size;       // bytes; the next packet starts at this address + size
    uint32_t link;       // next packet of the same bucket, as a 32-bit reference
    int16_t depth_key;   // low 16 bits of the packet's depth
    int16_t depth_bias;  // added to depth_key to give the bucket
    uint32_t extra;      // callback number, run length, or shading mode 0..3
    int16_t texture;     // texture slot, -1 for none
    int16_t anchor;      // vertex of depth mode 1 and of the marker
};

struct TrianglePacket {
    PrimitivePacket head;
    int16_t v[3], col[3], t[3], nrm[3];
};

struct QuadPacket {
    PrimitivePacket head;
    int16_t v[4], col[4], t[4], nrm[4];
};

static_assert(sizeof(PrimitivePacket) == PACKET_HEAD_BYTES);
static_assert(offsetof(PrimitivePacket, link) == 8);
static_assert(offsetof(PrimitivePacket, depth_key) == 12);
static_assert(offsetof(PrimitivePacket, depth_bias) == 14);
static_assert(offsetof(PrimitivePacket, extra) == 16);
static_assert(offsetof(PrimitivePacket, texture) == 20);
static_assert(offsetof(PrimitivePacket, anchor) == 22);
static_assert(sizeof(TrianglePacket) == TRIANGLE_PACKET_BYTES);
static_assert(offsetof(TrianglePacket, v) == 24 && offsetof(TrianglePacket, col) == 30);
static_assert(offsetof(TrianglePacket, t) == 36 && offsetof(TrianglePacket, nrm) == 42);
static_assert(sizeof(QuadPacket) == QUAD_PACKET_BYTES);
static_assert(offsetof(QuadPacket, v) == 24 && offsetof(QuadPacket, col) == 32);
static_assert(offsetof(QuadPacket, t) == 40 && offsetof(QuadPacket, nrm) == 48);

// A callback packet kept outside the packet area: the head through `extra`.
struct CallbackSlot {
    uint32_t header;
    uint32_t size;
    uint32_t link;
    int16_t depth_key;
    int16_t depth_bias;
    uint32_t extra;  // callback number, 0 for an empty slot
};
static_assert(sizeof(CallbackSlot) == SHORT_PACKET_BYTES);
static_assert(offsetof(CallbackSlot, extra) == offsetof(PrimitivePacket, extra));

// Projected vertex: whole pixels, y down; z is the view depth; w is 0 when
// projected and -1 when at or behind the eye plane.
struct ScreenVertex {
    int32_t x, y, z, w;
};
struct ColourRecord {
    int32_t r, g, b, spare;  // 0..255 each
};
// 256 is one full texture width or height; larger values wrap.
struct TexCoord {
    int32_t u, v, spare0, spare1;
};
static_assert(sizeof(ScreenVertex) == 16 && sizeof(ColourRecord) == 16 && sizeof(TexCoord) == 16);

inline uint32_t packet_code(const PrimitivePacket* p) {
    return p->header & PRIM_CODE_MASK;
}
inline uint32_t packet_depth_mode(const PrimitivePacket* p) {
    return p->header & DEPTH_MODE_MASK;
}
// Marker slot of a PRIM_MARKER packet: the header's top half, signed.
inline int32_t packet_parameter(const PrimitivePacket* p) {
    return int32_t(p->header) >> 16;
}
// Polygon vertex count: the low three bits of the code (3 or 4).
inline int packet_vertex_count(const PrimitivePacket* p) {
    return (p->header & 7) == 4 ? 4 : 3;
}

// The four index arrays of a polygon packet, each packet_vertex_count entries.
inline int16_t* packet_vertices(PrimitivePacket* p) {
    return reinterpret_cast<int16_t*>(reinterpret_cast<uint8_t*>(p) + PACKET_HEAD_BYTES);
}
inline int16_t* packet_colours(PrimitivePacket* p) {
    return packet_vertices(p) + packet_vertex_count(p);
}
inline int16_t* packet_tex_coords(PrimitivePacket* p) {
    return packet_vertices(p) + 2 * packet_vertex_count(p);
}
inline int16_t* packet_normals(PrimitivePacket* p) {
    return packet_vertices(p) + 3 * packet_vertex_count(p);
}
inline PrimitivePacket* next_packet(PrimitivePacket* p) {
    return reinterpret_cast<PrimitivePacket*>(reinterpret_cast<uint8_t*>(p) + p->size);
}
