// What the rasterizers read from the geometry side: the render list record,
// the tables created with it (ordering table, callback slots, texture slots)
// and the light. The geometry side allocates and fills them; the dispatcher
// and the ordering table only read them, so they depend on no geometry code.
#pragma once

#include <cstdint>

#include "base/fixed_point.h"
#include "raster/packet.h"
#include "raster/texture.h"

inline constexpr int32_t ORDERING_TABLE_SIZE = 4096;
// Bucket heads are 32-bit packet references (see ordering_table.h).
inline constexpr int32_t ORDERING_TABLE_BYTES = ORDERING_TABLE_SIZE * 4;
inline constexpr int32_t CALLBACK_SLOTS = 32;

// The frame record. It is one allocation with the packet area directly after
// it. The pool blocks are separate allocations owned through the first
// pointer of each group.
struct RenderList {
    int32_t packet_count;           // packets allocated since the last reset
    int32_t packet_capacity;        // bytes in the packet area
    PrimitivePacket* first_packet;  // start of the packet area
    uint8_t* write_position;        // next free byte; a PACKET_END word stands there
    int32_t vertex_capacity;
    int32_t vertex_count;           // as last copied by emission
    ScreenVertex* screen_vertices;  // second half of the vertex block
    Vec4* model_vertices;           // start of the vertex block (owner)
    int32_t colour_capacity;
    int32_t colour_count;
    int32_t reserved0;
    ColourRecord* colour_records;  // start of the colour block (owner)
    uint16_t* packed_colours;      // 5:5:5 pixels after the colour records
    int32_t uv_capacity;
    int32_t uv_count;
    int32_t reserved1;
    TexCoord* tex_coords;  // the texture-coordinate block (owner)
    int32_t normal_capacity;
    int32_t normal_count;
    Vec4* view_normals;    // second third of the normal block
    Vec4* model_normals;   // start of the normal block (owner)
    int32_t* intensities;  // last part of the normal block
};

// The packet area starts right after the record, on a 4-byte boundary.
static_assert(sizeof(RenderList) % 4 == 0 && alignof(RenderList) % 4 == 0);

inline constexpr int32_t MARKER_SLOTS = 32;
inline constexpr int32_t MARKER_SLOT_BYTES = 144;

// A marker slot: the marker primitive draws its box only while the first
// word is 0. Every slot starts with -1 there.
struct MarkerSlot {
    int32_t words[MARKER_SLOT_BYTES / 4];
};
static_assert(sizeof(MarkerSlot) == MARKER_SLOT_BYTES);

struct LightState {
    Vec4 vector;      // direction, length about 1024
    int32_t r, g, b;  // colour, 0..255 each
};

// The light of a fresh program: along +x, white.
inline constexpr LightState DEFAULT_LIGHT = {{UNIT_LENGTH, 0, 0, 0}, 255, 255, 255};

// The render list being built and drawn, the tables made with it, the marker
// table and the light. The list and its tables are null before
// init_render_buffers and after free_render_buffers, the marker table before
// init_model_tables and after free_model_tables.
struct RenderState {
    RenderList* current;
    uint32_t* ordering_table;  // ORDERING_TABLE_SIZE entries, 32-bit packet references
    CallbackSlot* callbacks;   // CALLBACK_SLOTS entries
    Texture** textures;        // TEXTURE_SLOTS entries
    int32_t texture_count;
    MarkerSlot* markers;  // MARKER_SLOTS records
    LightState light;
};

// The one record, written by the geometry side (render_list.cpp, model_library.cpp,
// camera.cpp).
RenderState& render_state();

RenderList* current_render_list();
void set_current_render_list(RenderList* list);
uint32_t* ordering_table_heads();
CallbackSlot* callback_slots();
Texture** texture_slots();
int32_t& texture_count();
MarkerSlot* marker_slots();

// The light as the camera code keeps it: the direction is read by the
// per-frame transform, the colour by the dispatcher.
LightState* light_state();
const LightState* light_colour();
