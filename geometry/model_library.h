// The model library: a start-up store of procedurally built models (record
// area, polygon templates, directory), its builder, and the marker and
// sequence side tables created with it.
//
// Start-up calls init_model_tables, then build_model_library; shut-down calls
// free_model_library, then free_model_tables. Nothing reads the library per
// frame.
#pragma once

#include <cstdint>

#include "geometry/fixed_math.h"
#include "raster/packet.h"
#include "raster/render_state.h"

// Record area: vertex and colour sections back to back, 16-byte records.
inline constexpr int32_t MODEL_VERTEX_AREA_BYTES = 80000;
inline constexpr int32_t MODEL_RECORD_CAPACITY = MODEL_VERTEX_AREA_BYTES / int32_t(sizeof(Vec4));
// Polygon area: 48-byte triangle and 56-byte quad templates back to back.
inline constexpr int32_t MODEL_POLYGON_AREA_BYTES = 5000;
inline constexpr int32_t MAX_MODELS = 64;
inline constexpr int32_t SEQUENCE_ENTRY_CAPACITY = 256;
inline constexpr int32_t SEQUENCE_LIST_CAPACITY = 64;

// Section kinds of the record area. Only the first two have a begin
// operation; the third never becomes current, so its count stays 0.
inline constexpr int32_t SECTION_NONE = 0;
inline constexpr int32_t SECTION_VERTICES = 1;
inline constexpr int32_t SECTION_COLOURS = 2;
inline constexpr int32_t SECTION_THIRD = 3;

// One directory entry per finished model. Vertex records are (x, y, z, 0) in
// model units, colour records (r, g, b, 0) with channels 0..255. Template
// indices are relative to the model's own sections.
struct ModelEntry {
    int32_t vertex_count;
    Vec4* vertices;
    int32_t colour_count;
    Vec4* colours;
    int32_t third_count;  // always 0
    Vec4* third_records;  // always null
    int32_t polygon_count;
    PrimitivePacket* polygons;  // first template; walk with next_packet
    int32_t polygon_bytes;      // byte length of the model's polygon section
};
// Nine 32-bit fields where pointers are 32 bits; each pointer is preceded by
// four bytes of padding in a 64-bit build.
static_assert(sizeof(ModelEntry) == (sizeof(void*) == 4 ? 36 : 72));
inline constexpr int32_t MODEL_DIRECTORY_BYTES = MAX_MODELS * int32_t(sizeof(ModelEntry));

// Ten words w0..w9. add_sequence_entry fills w0..w7; end_sequence clears w9
// of a list's last entry.
struct SequenceEntry {
    int32_t words[10];
};
static_assert(sizeof(SequenceEntry) == 40);

// Allocates the sequence entries, the marker table (first word of every slot
// -1) and the directory, and empties the list heads and counts. Returns 0, or
// -1 after the allocator's message; on failure nothing stays allocated.
// Tables from an earlier call are freed first.
int init_model_tables();
// Frees the directory, the marker table and the sequence entries, in that
// order, and empties every count. Safe to call when nothing is allocated.
void free_model_tables();

// Hands the builder the record area (MODEL_RECORD_CAPACITY records) and the
// polygon area (MODEL_POLYGON_AREA_BYTES bytes): the record count and the
// section state are reset and the polygon write position goes to the area's
// start. Called by build_model_library after allocating both, and with nulls
// once they are freed. The caller keeps ownership of the blocks.
void attach_model_areas(Vec4* records, uint8_t* polygons);
Vec4* model_record_area();
uint8_t* model_polygon_area();

// Builder, used per model in this order: vertex section, colour section,
// polygon section, finish_model.
void begin_vertex_section();
// Writes the record at the next free record. Inside a section it counts the
// record and returns the new total record count; before any section has
// begun it counts nothing and returns the unchanged total (the next record
// overwrites it). Returns -1 and writes nothing when the record area is
// missing or full.
int add_model_record(const Vec4* record);
// add_model_record of (x, y, z, 0).
int add_model_point(int32_t x, int32_t y, int32_t z);
void begin_colour_section();
void begin_polygon_section();
// Copy a template to the polygon write position: header with its low three
// bits replaced by 3 (triangle) or 4 (quad), size, depth bias, texture and
// the vertex, colour and texture-coordinate indices; every other field 0.
// Return 0, or -1 and write nothing when the polygon area is missing or the
// template does not fit.
int add_model_triangle(const TrianglePacket* source);
int add_model_quad(const QuadPacket* source);
// Appends a directory entry for the sections built since their begin
// operations. Returns the entry's index, or -1 when the directory is missing
// or all MAX_MODELS entries are used.
int finish_model();

// Opens list number sequence_list_count() at the next free entry and returns
// that number (the list count advances in end_sequence). -1 when the tables
// are missing, all lists are used or all entries are used.
int begin_sequence();
// Writes one entry of the open list: w0 = a0, w2..w7 = a1..a6, w1 = a7.
// Returns 0, or -1 and writes nothing when no list is open or all entries are
// used.
int add_sequence_entry(int32_t a0, int32_t a1, int32_t a2, int32_t a3, int32_t a4, int32_t a5,
                       int32_t a6, int32_t a7);
// Closes the open list: clears w9 of its last entry and counts the list. A
// list closed without entries gets a null head. -1 when no list is open.
int end_sequence();

// Read access for inspection. Lookups return null outside their range.
const ModelEntry* model_entry(int32_t index);
int32_t model_entry_count();
int32_t model_record_count();
int32_t model_polygon_bytes_used();
const SequenceEntry* sequence_list_head(int32_t list);
int32_t sequence_list_count();
int32_t sequence_entry_count();

// Allocates the record and polygon areas and builds the seven start-up models
// (six polygon models and one sequence list); needs the trig tables and
// init_model_tables. Returns 0; -1 after an allocation failure (nothing stays
// allocated), and -1 without allocating when the library is already built or
// the trig tables are missing. -1 also when the model tables refuse a model;
// the areas then stay built and free_model_library releases them.
int build_model_library();
// Frees the polygon area, then the record area. Safe when nothing is built.
void free_model_library();

// The point at `angle` (0..1023, masked) on the circle of radius 256 times
// radius_factor: x = (r * cos) >> 1, y = (r * sin) >> 1. Returns 0; -1 with
// x and y untouched before init_trig_tables.
int polar_point(int32_t angle, int32_t radius_factor, int32_t* x, int32_t* y);
// Point of a sphere divided into `divisions` steps per turn: longitude step
// `step` (taken modulo divisions), latitude ring `ring`, scaled by << shift.
// The horizontal components carry a factor 1/1024 and the vertical one none,
// so shift 2 lies on an ellipsoid of horizontal radius 1024 and vertical
// radius 2048. Returns 0; -1 with out untouched when divisions <= 0, shift is
// outside 0..31 or the trig tables are missing.
int sphere_point(Vec4* out, int32_t divisions, int32_t step, int32_t ring, int32_t shift);

// Linear congruential generator: state = state * 214013 + 2531011 (mod 2^32),
// result (state >> 16) & 0x7FFF. The state starts at 1 and the system never
// reseeds it; the state accessors exist for tests.
int32_t next_random();
uint32_t random_state();
void set_random_state(uint32_t state);
