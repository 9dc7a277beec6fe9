// Model tables (directory, marker slots, sequence lists) and the builder that
// appends records, polygon templates and directory entries to the library.
#include "geometry/model_library.h"

#include <cstring>

#include "base/memory.h"

namespace {

constexpr int32_t SEQUENCE_AREA_BYTES =
    SEQUENCE_ENTRY_CAPACITY * int32_t(sizeof(SequenceEntry));             // 10240
constexpr int32_t MARKER_TABLE_BYTES = MARKER_SLOTS * MARKER_SLOT_BYTES;  // 4608

struct ModelLibraryState {
    // Side tables and directory, owned here (the marker table is kept in the
    // render state, where the dispatcher reads it).
    SequenceEntry* sequence_entries;
    ModelEntry* directory;
    int32_t entry_count;  // directory entries used

    SequenceEntry* list_heads[SEQUENCE_LIST_CAPACITY];
    int32_t list_count;
    int32_t sequence_count;   // sequence entries used
    SequenceEntry* current;   // next entry of the open list; null when none is open
    SequenceEntry* previous;  // last entry written to the open list

    // Areas, owned by build_model_library.
    Vec4* records;
    uint8_t* polygons;

    // Builder state.
    int32_t record_count;
    int32_t kind;
    int32_t section_counts[3];  // by kind 1..3
    Vec4* vertex_start;
    Vec4* colour_start;
    uint8_t* polygon_write;
    uint8_t* polygon_section;
    int32_t polygon_count;
};

ModelLibraryState lib;

bool in_section(int32_t kind) {
    return kind >= SECTION_VERTICES && kind <= SECTION_THIRD;
}

// Polygon area bytes still free; the write position never passes the end.
int32_t polygon_room() {
    if (lib.polygons == nullptr) return 0;
    return MODEL_POLYGON_AREA_BYTES - int32_t(lib.polygon_write - lib.polygons);
}

}  // namespace

int init_model_tables() {
    free_model_tables();
    lib.sequence_entries = static_cast<SequenceEntry*>(alloc_zeroed(SEQUENCE_AREA_BYTES));
    if (lib.sequence_entries == nullptr) return -1;
    lib.sequence_count = 0;

    MarkerSlot*& markers = render_state().markers;
    markers = static_cast<MarkerSlot*>(alloc_zeroed(MARKER_TABLE_BYTES));
    if (markers == nullptr) {
        free_model_tables();
        return -1;
    }
    for (int32_t i = 0; i < MARKER_SLOTS; ++i)
        markers[i].words[0] = -1;
    for (SequenceEntry*& head : lib.list_heads)
        head = nullptr;
    lib.list_count = 0;

    lib.directory = static_cast<ModelEntry*>(alloc_zeroed(MODEL_DIRECTORY_BYTES));
    if (lib.directory == nullptr) {
        free_model_tables();
        return -1;
    }
    lib.entry_count = 0;
    return 0;
}

void free_model_tables() {
    free_block(lib.directory);
    lib.directory = nullptr;
    lib.entry_count = 0;
    MarkerSlot*& markers = render_state().markers;
    free_block(markers);
    markers = nullptr;
    free_block(lib.sequence_entries);
    lib.sequence_entries = nullptr;
    lib.sequence_count = 0;
    for (SequenceEntry*& head : lib.list_heads)
        head = nullptr;
    lib.list_count = 0;
    lib.current = nullptr;
    lib.previous = nullptr;
}

void attach_model_areas(Vec4* records, uint8_t* polygons) {
    lib.records = records;
    lib.polygons = polygons;
    lib.record_count = 0;
    lib.kind = SECTION_NONE;
    for (int32_t& count : lib.section_counts)
        count = 0;
    lib.vertex_start = records;
    lib.colour_start = records;
    lib.polygon_write = polygons;
    lib.polygon_section = polygons;
    lib.polygon_count = 0;
}

Vec4* model_record_area() {
    return lib.records;
}
uint8_t* model_polygon_area() {
    return lib.polygons;
}

void begin_vertex_section() {
    lib.section_counts[SECTION_VERTICES - 1] = 0;
    lib.vertex_start = lib.records + lib.record_count;
    lib.kind = SECTION_VERTICES;
}

void begin_colour_section() {
    lib.section_counts[SECTION_COLOURS - 1] = 0;
    lib.colour_start = lib.records + lib.record_count;
    lib.kind = SECTION_COLOURS;
}

int add_model_record(const Vec4* record) {
    // Outside a section the record lands in the next free slot without being
    // counted, so that slot must exist too.
    if (lib.records == nullptr || lib.record_count >= MODEL_RECORD_CAPACITY) return -1;
    lib.records[lib.record_count] = *record;
    if (in_section(lib.kind)) {
        ++lib.section_counts[lib.kind - 1];
        ++lib.record_count;
    }
    return lib.record_count;
}

int add_model_point(int32_t x, int32_t y, int32_t z) {
    Vec4 point = {x, y, z, 0};
    return add_model_record(&point);
}

void begin_polygon_section() {
    lib.polygon_count = 0;
    lib.polygon_section = lib.polygon_write;
}

namespace {

// Copies the fields a polygon template carries (header with its vertex count
// in the low three bits, depth bias, texture selector, vertex, colour and
// texture-coordinate indices) to the polygon write position; the rest is 0.
template <typename Packet, int VERTICES>
int append_polygon_template(const Packet* source) {
    constexpr int32_t bytes = int32_t(sizeof(Packet));
    if (polygon_room() < bytes) return -1;
    Packet packet = {};
    packet.head.header = (source->head.header & ~DEPTH_MODE_MASK) | VERTICES;
    packet.head.size = bytes;
    packet.head.depth_bias = source->head.depth_bias;
    packet.head.texture = source->head.texture;
    for (int i = 0; i < VERTICES; ++i) {
        packet.v[i] = source->v[i];
        packet.col[i] = source->col[i];
        packet.t[i] = source->t[i];
    }
    std::memcpy(lib.polygon_write, &packet, sizeof packet);
    lib.polygon_write += bytes;
    ++lib.polygon_count;
    return 0;
}

}  // namespace

int add_model_triangle(const TrianglePacket* source) {
    return append_polygon_template<TrianglePacket, 3>(source);
}

int add_model_quad(const QuadPacket* source) {
    return append_polygon_template<QuadPacket, 4>(source);
}

int finish_model() {
    if (lib.directory == nullptr || lib.entry_count >= MAX_MODELS) return -1;
    ModelEntry& entry = lib.directory[lib.entry_count];
    entry.vertex_count = lib.section_counts[SECTION_VERTICES - 1];
    entry.vertices = lib.vertex_start;
    entry.colour_count = lib.section_counts[SECTION_COLOURS - 1];
    entry.colours = lib.colour_start;
    entry.third_count = lib.section_counts[SECTION_THIRD - 1];
    entry.third_records = nullptr;  // the third kind has no begin operation
    entry.polygon_count = lib.polygon_count;
    entry.polygons = reinterpret_cast<PrimitivePacket*>(lib.polygon_section);
    entry.polygon_bytes = int32_t(lib.polygon_write - lib.polygon_section);
    return lib.entry_count++;
}

int begin_sequence() {
    if (lib.sequence_entries == nullptr) return -1;
    if (lib.list_count >= SEQUENCE_LIST_CAPACITY) return -1;
    if (lib.sequence_count >= SEQUENCE_ENTRY_CAPACITY) return -1;
    SequenceEntry* next_free = lib.sequence_entries + lib.sequence_count;
    lib.list_heads[lib.list_count] = next_free;
    lib.current = next_free;
    lib.previous = next_free;
    return lib.list_count;
}

int add_sequence_entry(int32_t a0, int32_t a1, int32_t a2, int32_t a3, int32_t a4, int32_t a5,
                       int32_t a6, int32_t a7) {
    // current always equals the next free entry while a list is open, so the
    // entry count alone bounds the write.
    if (lib.current == nullptr || lib.sequence_count >= SEQUENCE_ENTRY_CAPACITY) return -1;
    int32_t* w = lib.current->words;
    w[0] = a0;
    w[2] = a1;
    w[3] = a2;
    w[4] = a3;
    w[5] = a4;
    w[6] = a5;
    w[7] = a6;
    w[1] = a7;
    lib.previous = lib.current;
    ++lib.current;
    ++lib.sequence_count;
    return 0;
}

int end_sequence() {
    if (lib.current == nullptr) return -1;
    if (lib.previous == lib.current) {
        // Nothing was written: the head would name the next list's first
        // entry, so the empty list gets no head at all.
        lib.list_heads[lib.list_count] = nullptr;
    } else {
        lib.previous->words[9] = 0;
    }
    ++lib.list_count;
    lib.current = nullptr;
    lib.previous = nullptr;
    return 0;
}

const ModelEntry* model_entry(int32_t index) {
    if (lib.directory == nullptr || index < 0 || index >= lib.entry_count) return nullptr;
    return &lib.directory[index];
}

int32_t model_entry_count() {
    return lib.entry_count;
}
int32_t model_record_count() {
    return lib.record_count;
}

int32_t model_polygon_bytes_used() {
    return lib.polygons == nullptr ? 0 : int32_t(lib.polygon_write - lib.polygons);
}

const SequenceEntry* sequence_list_head(int32_t list) {
    if (list < 0 || list >= lib.list_count) return nullptr;
    return lib.list_heads[list];
}

int32_t sequence_list_count() {
    return lib.list_count;
}
int32_t sequence_entry_count() {
    return lib.sequence_count;
}
