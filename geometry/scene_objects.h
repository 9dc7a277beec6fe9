// Scene objects: the 32-slot object table, the draw list the geometry pipeline
// walks every frame, object construction, normals and the shading selector.
//
// An object owns a run of packets in the current render list (its 20-byte
// header packet followed by its polygons), a range of pooled vertices and
// normals, and a list of parts, each with its own transform over a vertex
// range. Packets and pool records stay in the render list after an object is
// deleted, until the pools are reset.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/fixed_math.h"
#include "geometry/matrix.h"
#include "raster/packet.h"

inline constexpr int32_t MAX_OBJECTS = 32;

// Part flag: transform the part's normals and compute its light intensities.
inline constexpr int32_t PART_LIT = 2;
// Part flag: the part's vertices have fine positions (fine_vertex_base, at
// the same indices), which its normals and exports are taken from.
inline constexpr int32_t PART_FINE_POSITIONS = 4;
// Part flag: the part's own matrix (scale and translation: where it is placed
// among others) and the object's translation move and size its vertices but
// not its normals, which turn with the object's rotation only: the part is lit
// as it would be unplaced.
inline constexpr int32_t PART_PLACED = 8;

// create_object results besides a slot index.
inline constexpr int32_t OBJECT_TABLE_FULL = -1;
inline constexpr int32_t OBJECT_ALLOC_FAILED = -2;
inline constexpr int32_t OBJECT_HEADER_FAILED = -3;  // its header packet did not fit

// compute_object_normals result when the object's packets name a vertex
// outside the vertex or normal pool, or a pool is missing: nothing is written.
inline constexpr int32_t NORMALS_OUT_OF_RANGE = -2;

using ObjectDeleteCallback = void (*)(int32_t index);

struct ObjectPart {
    int32_t reserved;      // 0
    int32_t flags;         // PART_LIT
    int32_t pop_count;     // matrix stack entries to pop after this part
    int32_t vertex_count;  // vertices of the part
    int32_t first_vertex;  // pool index of its first vertex
    Vec4* vertices;        // model_vertices + first_vertex (null when outside the pool)
    int32_t normal_count;  // set by compute_object_normals
    int32_t first_normal;  // equal to first_vertex
    Vec4* normals;         // model_normals + first_normal (null when outside the pool)
    Matrix local;          // part matrix, rebuilt every frame
    Matrix combined;       // local x incoming matrix, rebuilt every frame
    Vec4 translation;      // model units
    Vec4 rotation;         // angles 0..1023; driven by animations
    Vec4 scale;            // 512 = 1.0; w not used
};
static_assert(sizeof(ObjectPart) == (sizeof(void*) == 8 ? 224 : 212));
static_assert(offsetof(ObjectPart, local) % 4 == 0 && offsetof(ObjectPart, scale) % 4 == 0);

// The object header; its part records follow it directly in the same block.
struct SceneObject {
    int32_t index;                   // slot number
    int32_t reserved;                // 0
    int32_t packet_count;            // before finish_object: the list's packet count
                                     // ahead of the header; after: packets of the run
    PrimitivePacket* header_packet;  // first packet of the run
    int32_t part_count;              // parts added so far
    ObjectPart* parts;               // the records after this header
    int32_t vertex_count;            // before finish_object: first vertex index;
                                     // after: vertices entered for the object
    Vec4* vertex_base;               // model_vertices at creation
    Vec4 translation;                // model units
    Vec4 rotation;                   // angles 0..1023, written by the frame cycle
    Vec4 scale;                      // 512 = 1.0
    SceneObject* next;               // next object on the draw list
    ObjectDeleteCallback on_delete;  // called with the index on deletion
    int32_t part_capacity;           // part records allocated after the header
};
static_assert(sizeof(SceneObject) % alignof(ObjectPart) == 0);

// Start-up: 32 empty slots. 0, or -1 after the allocator's message. A second
// call deletes the objects of the first.
int init_object_table();
// Shut-down: deletes every object (calling their delete callbacks), then frees
// the table.
void free_object_table();

// Head of the draw list (objects in the order they were appended), and the
// object most recently created (null once it is deleted or after a failed
// create_object).
SceneObject* draw_list();
SceneObject* current_object();

// Takes the lowest empty slot for an object with room for max_parts parts,
// opens its packet run with a header packet at the render list's write
// position, makes it current and appends it to the draw list. Needs the
// render buffers. Returns the index; OBJECT_TABLE_FULL (also for a negative
// or oversized max_parts, or no table); OBJECT_ALLOC_FAILED after the
// allocator's message; OBJECT_HEADER_FAILED after the packet-area message.
int32_t create_object(int32_t max_parts);
// Fills the next part record over pool vertices first_vertex ..
// first_vertex + vertex_count - 1. Returns the part number, or -1 for a
// missing object, a full part list or a negative argument.
int32_t add_object_part(int32_t index, int32_t first_vertex, int32_t vertex_count,
                        int32_t pop_count);
// Closes the current object after its polygons were emitted: its packet and
// vertex counts, the header's run length, and the search marks of the vertex
// and normal pools, so later objects share no records with it.
void finish_object();
int32_t set_part_flags(int32_t index, int32_t flags);
// Header size back to 20 and the object on the draw list (once).
int32_t show_object(int32_t index);
// Derives per-vertex normals from the object's polygons and makes them lit
// polygons. The normals lie at the indices of their vertices while fresh
// normals are marked from the render list's normal count, so the caller sets
// that count to the object's first vertex index beforehand. Marking stops at
// the normal pool's capacity. 0; -1 for no object; NORMALS_OUT_OF_RANGE.
int32_t compute_object_normals(int32_t index);
// Recomputes the normals of an object whose vertices moved, from scratch:
// the render list's normal count goes back to the object's first vertex
// (object_vertex_range), where its normals lie, and compute_object_normals
// runs. Its result.
int32_t recompute_object_normals(int32_t index);
// Closes an object emitted as one lit surface: one part over its own vertices,
// from the first it entered (the pool's count at create_object) up to
// end_vertex - 1, finish_object, PART_LIT, shown, and its normals computed
// there (recompute_object_normals). Returns that result.
int32_t finish_lit_object(int32_t index, int32_t end_vertex);
// Writes the shading mode (0..3) into the extra word of every polygon of the
// object's finished run. 0; -1 for no object or a mode outside 0..3.
int32_t set_object_shading(int32_t index, int32_t selector);

// The shading mode (0..3) the object's polygons carry, as set_object_shading
// wrote it; -1 for no object or an object without polygons.
int32_t object_shading(int32_t index);
// Stores per-vertex normals given by the caller in place of computed ones:
// normals[i] at the normal index of the object's vertex first + i (first the
// first part's first vertex), every polygon lit with normal indices equal to
// its vertex indices, the parts' normal ranges set, and the list's normal
// count raised to cover them. 0; -1 for no object; NORMALS_OUT_OF_RANGE when
// a polygon names a vertex outside first .. first + count - 1 or the normal
// pool is too small.
int32_t set_object_normals(int32_t index, const Vec4* normals, int32_t count);

// The polygons (triangle and quad packets) of an object's finished run, in
// order: the first after `after`, or the first of the run when `after` is
// null; null at the run's end or for a null object.
PrimitivePacket* next_object_polygon(const SceneObject* object, const PrimitivePacket* after);

// The pool vertices an object's parts cover: from the lowest first vertex to
// the highest end, parts without vertices left out; {0, 0} when no part has
// any (or for a null object).
struct VertexRange {
    int32_t first;
    int32_t count;
};
VertexRange object_vertex_range(const SceneObject* object);

// Empty slots of the object table (0 without a table).
int32_t free_object_slots();

// Lookups: null for an index outside 0..31, an empty slot or a missing part.
SceneObject* get_object(int32_t index);
Vec4* get_object_rotation(int32_t index);
ObjectPart* get_part(int32_t index, int32_t part);
Vec4* get_part_rotation(int32_t index, int32_t part);
// Stores the callback (null clears it); returns the object, or null.
SceneObject* set_delete_callback(int32_t index, ObjectDeleteCallback callback);

// Unlinks the object from the draw list, calls its delete callback, frees it
// and empties its slot. Returns the index, or -1 for no object.
int32_t delete_object(int32_t index);
