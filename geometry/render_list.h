// Working buffers: the render list (packet area and geometry pools), the
// ordering-table area, the callback slots and the texture slot table.
//
// Everything is sized once at start-up; nothing grows. Packets are written
// once when an object is built; every frame rewrites only the arrays they
// index (screen vertices, view normals, intensities).
#pragma once

#include <cstdint>

#include "geometry/fixed_math.h"
#include "raster/packet.h"
#include "raster/render_state.h"
#include "raster/texture.h"

inline constexpr int32_t PACKET_AREA_BYTES = 600000;
inline constexpr int32_t VERTEX_POOL_CAPACITY = 8000;
inline constexpr int32_t COLOUR_POOL_CAPACITY = 3500;
inline constexpr int32_t UV_POOL_CAPACITY = 3200;
inline constexpr int32_t NORMAL_POOL_CAPACITY = 8000;
// Packets name pool records by 16-bit indices, so no pool holds more records
// than index 32,767 reaches.
inline constexpr int32_t POOL_CAPACITY_LIMIT = 32768;

// Bodies (the I key's closed shapes) may need more than the start-up sizes:
// the first body puts a packet area and vertex, normal and texture-coordinate
// pools of these sizes in place of the list's own (kept aside until the body
// is discarded):
// as many vertices as packets index, and packets for about 87,000 triangles,
// room for a figure whose parts are refined where they blend into each other
// (eight bodies of the test figure: 17,159 vertices, 34,286 triangles). A
// session that never inflates keeps the start-up sizes.
inline constexpr int32_t BODY_PACKET_AREA_BYTES = 4194304;
inline constexpr int32_t BODY_POOL_CAPACITY = 32768;

// Pool kinds. Kinds 4 and 5 exist as descriptors but are never bound.
inline constexpr int32_t POOL_VERTEX = 0;
inline constexpr int32_t POOL_COLOUR = 1;
inline constexpr int32_t POOL_UV = 2;
inline constexpr int32_t POOL_NORMAL = 3;
inline constexpr int32_t POOL_KINDS = 6;

// Search mark, record count and record array of one pool kind.
struct GeometryPool {
    int32_t mark;
    int32_t count;
    void* records;  // 16-byte records; null until bound
};

// Start-up, in this order: pool descriptors (-4 on failure), ordering-table
// area (-1), render list with its packet area (-2), callback table (-3); 0 on
// success. A failure frees what the call had allocated. The new list becomes
// current with PACKET_END at the start of its area. An area below 4 bytes is
// raised to 4 so that the end word fits. Calling it again first releases the
// buffers of the previous call, pools included.
int init_render_buffers(int32_t packet_area_bytes);
// Shut-down: frees the callback table, the pool blocks, the render list, the
// ordering-table area and the pool descriptors; no list is current afterwards.
void free_render_buffers();

// (Re)allocates the block of one pool kind (0..3) in the current list, freeing
// its previous block, and binds the kind's descriptor with count and mark 0. A
// capacity below 1 is raised to 1, one above POOL_CAPACITY_LIMIT lowered to
// it (a full pool then turns records away with its message). When the allocation fails (allocator
// message shown) the kind is left unbound. Does nothing without a current list.
void alloc_geometry_pool(int32_t capacity, int32_t kind);
void alloc_vertex_pool(int32_t capacity);
void alloc_colour_pool(int32_t capacity);
void alloc_uv_pool(int32_t capacity);
void alloc_normal_pool(int32_t capacity);

// The table of TEXTURE_SLOTS empty slots and a texture count of 0: 0, or -1
// when the allocation fails. free_texture_slots frees each texture's block
// and then its record (both must come from alloc_zeroed), then the table.
int init_texture_slots();
void free_texture_slots();

// Bump allocation in the packet area of the current list; returns the old
// write position and moves the end word after the new packet. When the packet
// and the end word after it do not fit, or bytes is negative or not a multiple
// of 4, shows the packet-area message and returns null; the packet count still
// advances and the write position stays at the end of the area, so every
// later allocation fails until reset_frame_pools. Null without a current list.
void* alloc_packet(int32_t bytes);
// The 20-byte packet that opens an object's run: 0, or -1 when it does not fit.
int add_object_header();

// Pools. Results: an index, -1 for a kind outside 0..5, -2 for an unbound pool
// (or before init_render_buffers). A full pool stores nothing more: a record
// that would have to be added is counted as rejected and the last stored index
// (capacity - 1) is returned, so every index handed out lies inside the pool.
// pool_find_or_add returns the lowest index at or after the mark whose record
// equals `record` in all four words, found through an index of the records
// the pool stored itself: a record rewritten in place is found by the value it
// was stored with until the mark moves past it.
int32_t pool_find_or_add(const void* record, int32_t kind);
int32_t pool_append(const void* record, int32_t kind);
int32_t pool_set_mark(int32_t kind);
int32_t pool_count(int32_t kind);
// count = mark = 0 and the rejected count cleared.
int32_t pool_reset(int32_t kind);
// Records a full pool refused since its last reset; -1 for a bad kind.
int32_t pool_rejected(int32_t kind);
// The descriptor of a kind, or null for a bad kind or before init.
const GeometryPool* geometry_pool(int32_t kind);
// Whether a pool kind has its block (alloc_geometry_pool succeeded): false
// for a bad kind, before init, and after a failed allocation.
bool pool_bound(int32_t kind);

// What a list's buffers hold at most: packet-area bytes (the end word
// included) and vertex and normal records.
struct BufferCapacity {
    int32_t packet_bytes;
    int32_t vertices;
    int32_t normals;
};
// The current list's (zeros without one), and what the body buffers hold once
// prepare_body_buffers succeeded: those in place when they are as large as
// the body buffer sizes, else buffers of those sizes.
BufferCapacity list_capacity();
BufferCapacity body_buffer_capacity();
// Allocates the body buffers unless the list has them already: 0, or -1 after
// the allocator's message with nothing changed.
int prepare_body_buffers();
// Empties the packet area and every pool, which must hold nothing anyone
// still needs (the objects using them are deleted), putting the prepared body
// buffers (if any) in place of the packet area and the vertex, normal and
// texture-coordinate pools.
void adopt_body_buffers();
// Puts the start-up packet area and pools back in place of the body buffers
// (which are freed) and empties every pool; nothing when no body buffers are
// in place. Discarding the edited object calls it, so that drawing starts
// again as at start-up.
void release_body_buffers();
// Body buffer sizes other than the constants above (0: the constant), for
// tests.
void set_body_buffer_sizes(int32_t packet_bytes, int32_t pool_capacity);
// Fine positions (1/256 units) parallel to the vertex pool, written by a
// body's emission; null until the body buffers are in place.
Vec4* fine_vertex_base();

// Empties the packet area and every pool; storage is not cleared.
void reset_frame_pools();

// Packs the stored colour records into 5:5:5 pixels; returns the packed array
// (null while the colour pool is unbound).
uint16_t* pack_colours();

// Arrays of the current list, or null without one. The indexed forms return
// null for an index outside the pool's capacity.
Vec4* model_vertex_base();
ScreenVertex* screen_vertex_at(int32_t index);
Vec4* view_normal_at(int32_t index);
int32_t* intensity_at(int32_t index);
