// Working buffers: the render list with its packet area and geometry pools, the
// ordering-table area, the callback slots and the texture slot table.
#include "geometry/render_list.h"

#include <algorithm>
#include <cstring>

#include "base/memory.h"
#include "base/messages.h"

namespace {

constexpr int32_t RECORD_BYTES = 16;  // every pool record: four int32 words

struct RenderBuffers {
    GeometryPool* pools = nullptr;  // POOL_KINDS descriptors
    // Capacity of each bound pool, taken with its block, so that a pool never
    // stores past the block it was bound to.
    int32_t pool_capacity[POOL_KINDS] = {};
    int32_t pool_rejected[POOL_KINDS] = {};
    // Index of each pool's records at or after its mark, by value: an
    // open-addressed table of record index + 1 (0 = empty slot), at least twice
    // the capacity and a power of two, kept at the end of the pool's block.
    int32_t* record_index[POOL_KINDS] = {};
    uint32_t index_mask[POOL_KINDS] = {};
    RenderList* owned_list = nullptr;  // created by init_render_buffers
    // Bodies: positions in fine units parallel to the vertex pool (in the
    // vertex block when it was made for bodies, else null), the packet area
    // that replaced the one in the list's own block, and the blocks prepared
    // for bodies before they are put in place.
    Vec4* fine_vertices = nullptr;
    uint8_t* body_area = nullptr;
    uint8_t* prepared_area = nullptr;
    uint8_t* prepared_pool[3] = {};  // the BODY_POOLS, in order
    // The start-up pools of the BODY_POOLS and packet area size, kept while
    // the body buffers stand in for them.
    uint8_t* saved_pool[3] = {};
    int32_t saved_capacity[3] = {};
    int32_t saved_packet_capacity = 0;
    int32_t body_packet_bytes = 0;   // 0: BODY_PACKET_AREA_BYTES
    int32_t body_pool_capacity = 0;  // 0: BODY_POOL_CAPACITY
};

RenderBuffers buffers;
// The pools the body buffers replace: vertices (with fine positions), normals
// laid at their vertices' indices, and texture coordinates, of which a painted
// body has about one per front vertex.
constexpr int32_t BODY_POOLS[3] = {POOL_VERTEX, POOL_NORMAL, POOL_UV};
// The list, its side tables and the texture slots, which the rasterizers read.
RenderState& shared = render_state();

// alloc_zeroed takes a 32-bit size; a larger request fails with the same
// message instead of wrapping into a smaller block.
void* alloc_bytes(int64_t bytes) {
    if (bytes > INT32_MAX) {
        show_error(TEXT_ALLOC_FAILED, INT32_MAX);
        return nullptr;
    }
    return alloc_zeroed(int32_t(bytes));
}

bool valid_kind(int32_t kind) {
    return kind >= 0 && kind < POOL_KINDS;
}

// The descriptor of a bound pool, or null.
GeometryPool* bound_pool(int32_t kind) {
    if (buffers.pools == nullptr || buffers.pools[kind].records == nullptr) return nullptr;
    return &buffers.pools[kind];
}

void* record_at(GeometryPool* pool, int32_t index) {
    return static_cast<uint8_t*>(pool->records) + int64_t(index) * RECORD_BYTES;
}

// Slots of the record index for a capacity: a power of two of at least twice
// the capacity, so the table is never more than half full and every probe
// sequence reaches an empty slot.
int64_t index_slots(int64_t capacity) {
    int64_t slots = 2;
    while (slots < 2 * capacity)
        slots *= 2;
    return slots;
}

uint32_t record_hash(const void* record) {
    uint32_t words[4];
    std::memcpy(words, record, RECORD_BYTES);
    uint32_t h = words[0] * 0x9E3779B1u ^ words[1] * 0x85EBCA77u ^ words[2] * 0xC2B2AE3Du ^
                 words[3] * 0x27D4EB2Fu;
    return h ^ (h >> 15);
}

// The index slot that holds a record equal to `record` (all four words), or
// the empty slot where it would go.
int32_t* find_index_slot(GeometryPool* pool, int32_t kind, const void* record) {
    int32_t* table = buffers.record_index[kind];
    uint32_t mask = buffers.index_mask[kind];
    for (uint32_t slot = record_hash(record) & mask;; slot = (slot + 1) & mask) {
        int32_t entry = table[slot];
        if (entry == 0 || std::memcmp(record_at(pool, entry - 1), record, RECORD_BYTES) == 0)
            return &table[slot];
    }
}

// Empties a pool's record index. It holds entries only for records stored
// since its mark was last set, so a pool whose count is its mark has none.
void clear_index(int32_t kind) {
    const GeometryPool& pool = buffers.pools[kind];
    if (pool.count == pool.mark) return;
    if (buffers.record_index[kind] != nullptr)
        std::memset(buffers.record_index[kind], 0,
                    size_t(buffers.index_mask[kind] + 1) * sizeof(int32_t));
}

// Stores a record at the pool's count, or counts it as rejected when the pool
// is full; returns the index that stands for it. `slot` is the record's empty
// index slot, or null when an equal record is indexed already (an appended
// duplicate: the search keeps finding the lower index).
int32_t store_record(GeometryPool* pool, int32_t kind, const void* record, int32_t* slot) {
    int32_t capacity = buffers.pool_capacity[kind];
    if (pool->count >= capacity) {
        ++buffers.pool_rejected[kind];
        return capacity - 1;  // capacity >= 1, so the last stored record
    }
    std::memcpy(record_at(pool, pool->count), record, RECORD_BYTES);
    if (slot != nullptr) *slot = pool->count + 1;
    return pool->count++;
}

// Points the current list's members for one kind at a block (or clears them).
void set_list_members(RenderList* list, int32_t kind, uint8_t* block, int32_t capacity) {
    if (list == nullptr) return;
    int64_t n = capacity;
    switch (kind) {
        case POOL_VERTEX:
            list->vertex_capacity = capacity;
            list->model_vertices = reinterpret_cast<Vec4*>(block);
            list->screen_vertices =
                block ? reinterpret_cast<ScreenVertex*>(block + n * sizeof(Vec4)) : nullptr;
            break;
        case POOL_COLOUR:
            list->colour_capacity = capacity;
            list->colour_records = reinterpret_cast<ColourRecord*>(block);
            list->packed_colours =
                block ? reinterpret_cast<uint16_t*>(block + n * sizeof(ColourRecord)) : nullptr;
            break;
        case POOL_UV:
            list->uv_capacity = capacity;
            list->tex_coords = reinterpret_cast<TexCoord*>(block);
            break;
        case POOL_NORMAL:
            list->normal_capacity = capacity;
            list->model_normals = reinterpret_cast<Vec4*>(block);
            list->view_normals =
                block ? reinterpret_cast<Vec4*>(block + n * sizeof(Vec4)) : nullptr;
            list->intensities =
                block ? reinterpret_cast<int32_t*>(block + 2 * n * sizeof(Vec4)) : nullptr;
            break;
    }
}

// Frees a kind's block (unless keep) and leaves the kind unbound.
void release_pool(int32_t kind, bool keep = false) {
    if (buffers.pools == nullptr) return;
    GeometryPool* pool = &buffers.pools[kind];
    if (pool->records != nullptr && shared.current != nullptr) {
        set_list_members(shared.current, kind, nullptr, 0);
    }
    if (!keep) free_block(pool->records);  // records is the first array: the block itself
    *pool = GeometryPool{};
    if (kind == POOL_VERTEX) buffers.fine_vertices = nullptr;
    buffers.record_index[kind] = nullptr;
    buffers.index_mask[kind] = 0;
    buffers.pool_capacity[kind] = 0;
    buffers.pool_rejected[kind] = 0;
}

int64_t pool_block_bytes(int32_t kind, int64_t capacity, bool fine = false) {
    switch (kind) {
        case POOL_VERTEX:  // model vertices, then screen vertices (then fine positions)
            return capacity * (sizeof(Vec4) + sizeof(ScreenVertex) + (fine ? sizeof(Vec4) : 0));
        case POOL_COLOUR:  // colour records, then packed 5:5:5 colours
            return capacity * (sizeof(ColourRecord) + sizeof(uint16_t));
        case POOL_UV:
            return capacity * sizeof(TexCoord);
        default:  // model normals, view normals, then intensities
            return capacity * (2 * sizeof(Vec4) + sizeof(int32_t));
    }
}

}  // namespace

namespace {
void free_prepared_body_buffers();
}  // namespace

int init_render_buffers(int32_t packet_area_bytes) {
    if (buffers.pools != nullptr || buffers.owned_list != nullptr) free_render_buffers();

    buffers.pools = static_cast<GeometryPool*>(alloc_bytes(POOL_KINDS * sizeof(GeometryPool)));
    if (buffers.pools == nullptr) return -4;

    shared.ordering_table = static_cast<uint32_t*>(alloc_bytes(ORDERING_TABLE_BYTES));
    if (shared.ordering_table == nullptr) {
        free_render_buffers();
        return -1;
    }

    // The end word must fit even in the smallest area.
    int32_t area = packet_area_bytes < 4 ? 4 : packet_area_bytes;
    auto* block = static_cast<uint8_t*>(alloc_bytes(int64_t(sizeof(RenderList)) + area));
    if (block == nullptr) {
        free_render_buffers();
        return -2;
    }
    RenderList* list = reinterpret_cast<RenderList*>(block);
    list->packet_count = 0;
    list->packet_capacity = area;
    list->first_packet = reinterpret_cast<PrimitivePacket*>(block + sizeof(RenderList));
    list->write_position = block + sizeof(RenderList);
    buffers.owned_list = list;
    shared.current = list;
    const uint32_t end_word = PACKET_END;
    std::memcpy(list->write_position, &end_word, 4);

    shared.callbacks =
        static_cast<CallbackSlot*>(alloc_bytes(CALLBACK_SLOTS * int64_t(sizeof(CallbackSlot))));
    if (shared.callbacks == nullptr) {
        free_render_buffers();
        return -3;
    }
    for (int32_t i = 0; i < CALLBACK_SLOTS; ++i)
        shared.callbacks[i].extra = 0;
    return 0;
}

void free_render_buffers() {
    free_prepared_body_buffers();
    free_block(buffers.body_area);
    buffers.body_area = nullptr;
    for (uint8_t*& block : buffers.saved_pool) {
        free_block(block);
        block = nullptr;
    }
    free_block(shared.callbacks);
    shared.callbacks = nullptr;
    for (int32_t kind = 0; kind < POOL_KINDS; ++kind)
        release_pool(kind);
    free_block(buffers.owned_list);
    buffers.owned_list = nullptr;
    // The pools just freed were bound through the current list; no list may
    // stay current with pointers into them.
    shared.current = nullptr;
    free_block(shared.ordering_table);
    shared.ordering_table = nullptr;
    free_block(buffers.pools);
    buffers.pools = nullptr;
}

namespace {

int32_t bounded_capacity(int32_t capacity) {
    // At least one record, so that capacity - 1 is always a stored index, and
    // never an index a packet's 16-bit field would turn negative.
    if (capacity < 1) capacity = 1;
    if (capacity > POOL_CAPACITY_LIMIT) capacity = POOL_CAPACITY_LIMIT;
    return capacity;
}

// Bytes of a pool's arrays before its record index, aligned for the index's
// int32 slots (the colour pool's int16 array can end on an odd half-word).
int64_t pool_arrays_bytes(int32_t kind, int32_t capacity, bool fine) {
    return (pool_block_bytes(kind, capacity, fine) + 7) & ~int64_t(7);
}

// A zero-filled block for a pool of that capacity, its record index at the
// end; null after the allocator's message.
uint8_t* allocate_pool_block(int32_t kind, int32_t capacity, bool fine) {
    int64_t slots = index_slots(capacity);
    return static_cast<uint8_t*>(
        alloc_bytes(pool_arrays_bytes(kind, capacity, fine) + slots * int64_t(sizeof(int32_t))));
}

// Frees (or, with keep, only unbinds) the kind's block and binds it to
// `block` with count and mark 0.
void bind_pool_block(int32_t kind, uint8_t* block, int32_t capacity, bool fine, bool keep = false) {
    release_pool(kind, keep);
    set_list_members(shared.current, kind, block, capacity);
    buffers.pools[kind] = GeometryPool{0, 0, block};
    buffers.pool_capacity[kind] = capacity;
    buffers.record_index[kind] =
        reinterpret_cast<int32_t*>(block + pool_arrays_bytes(kind, capacity, fine));
    buffers.index_mask[kind] = uint32_t(index_slots(capacity) - 1);
    // A block bound again (the start-up pools after the body buffers) may
    // hold entries of its earlier records.
    std::memset(buffers.record_index[kind], 0, size_t(index_slots(capacity)) * sizeof(int32_t));
    if (kind == POOL_VERTEX && fine)
        buffers.fine_vertices = reinterpret_cast<Vec4*>(
            block + int64_t(capacity) * (sizeof(Vec4) + sizeof(ScreenVertex)));
}

void free_prepared_body_buffers() {
    free_block(buffers.prepared_area);
    buffers.prepared_area = nullptr;
    for (uint8_t*& block : buffers.prepared_pool) {
        free_block(block);
        block = nullptr;
    }
}

int32_t body_packet_bytes() {
    return buffers.body_packet_bytes > 0 ? buffers.body_packet_bytes : BODY_PACKET_AREA_BYTES;
}
int32_t body_pool_capacity() {
    return bounded_capacity(buffers.body_pool_capacity > 0 ? buffers.body_pool_capacity
                                                           : BODY_POOL_CAPACITY);
}

}  // namespace

void alloc_geometry_pool(int32_t capacity, int32_t kind) {
    if (kind < POOL_VERTEX || kind > POOL_NORMAL) return;
    if (buffers.pools == nullptr || shared.current == nullptr) return;
    release_pool(kind);
    capacity = bounded_capacity(capacity);
    uint8_t* block = allocate_pool_block(kind, capacity, false);
    if (block == nullptr) return;  // left unbound; the allocator showed its message
    bind_pool_block(kind, block, capacity, false);
}

BufferCapacity list_capacity() {
    const RenderList* list = shared.current;
    if (list == nullptr) return {0, 0, 0};
    return {list->packet_capacity, list->vertex_capacity, list->normal_capacity};
}

namespace {

// Whether the body buffers in place are as large as the body buffer sizes.
bool body_buffers_in_place_suffice() {
    const RenderList* list = shared.current;
    return list != nullptr && buffers.fine_vertices != nullptr && buffers.body_area != nullptr &&
           buffers.pool_capacity[POOL_VERTEX] >= body_pool_capacity() &&
           buffers.pool_capacity[POOL_NORMAL] >= body_pool_capacity() &&
           buffers.pool_capacity[POOL_UV] >= body_pool_capacity() &&
           list->packet_capacity >= body_packet_bytes();
}

}  // namespace

BufferCapacity body_buffer_capacity() {
    if (body_buffers_in_place_suffice()) return list_capacity();
    return {body_packet_bytes(), body_pool_capacity(), body_pool_capacity()};
}

int prepare_body_buffers() {
    if (shared.current == nullptr || buffers.pools == nullptr) return -1;
    if (body_buffers_in_place_suffice()) return 0;
    free_prepared_body_buffers();
    int32_t capacity = body_pool_capacity();
    buffers.prepared_area = static_cast<uint8_t*>(alloc_bytes(body_packet_bytes()));
    if (buffers.prepared_area != nullptr)
        buffers.prepared_pool[0] = allocate_pool_block(POOL_VERTEX, capacity, true);
    if (buffers.prepared_pool[0] != nullptr)
        buffers.prepared_pool[1] = allocate_pool_block(POOL_NORMAL, capacity, false);
    if (buffers.prepared_pool[1] != nullptr)
        buffers.prepared_pool[2] = allocate_pool_block(POOL_UV, capacity, false);
    if (buffers.prepared_pool[2] == nullptr) {
        free_prepared_body_buffers();
        return -1;
    }
    return 0;
}

void adopt_body_buffers() {
    RenderList* list = shared.current;
    if (list == nullptr) return;
    if (buffers.prepared_area == nullptr) {
        reset_frame_pools();  // the body buffers are in place already, or none were prepared
        return;
    }
    int32_t capacity = body_pool_capacity();
    free_block(buffers.body_area);
    buffers.body_area = buffers.prepared_area;
    buffers.prepared_area = nullptr;
    // The start-up packet area size is kept for release_body_buffers, once.
    if (buffers.saved_pool[0] == nullptr) buffers.saved_packet_capacity = list->packet_capacity;
    list->first_packet = reinterpret_cast<PrimitivePacket*>(buffers.body_area);
    list->packet_capacity = body_packet_bytes();
    for (int32_t k = 0; k < 3; ++k) {
        const int32_t kind = BODY_POOLS[k];
        // The start-up pools stay aside (bound again by release_body_buffers);
        // body buffers replaced by larger ones are freed.
        if (buffers.saved_pool[k] == nullptr) {
            buffers.saved_pool[k] = static_cast<uint8_t*>(buffers.pools[kind].records);
            buffers.saved_capacity[k] = buffers.pool_capacity[kind];
            bind_pool_block(kind, buffers.prepared_pool[k], capacity, k == 0, true);
        } else {
            bind_pool_block(kind, buffers.prepared_pool[k], capacity, k == 0);
        }
        buffers.prepared_pool[k] = nullptr;
    }
    reset_frame_pools();
}

void release_body_buffers() {
    RenderList* list = shared.current;
    if (list == nullptr || buffers.body_area == nullptr) return;
    free_block(buffers.body_area);
    buffers.body_area = nullptr;
    list->first_packet =
        reinterpret_cast<PrimitivePacket*>(reinterpret_cast<uint8_t*>(list) + sizeof(RenderList));
    list->packet_capacity = buffers.saved_packet_capacity;
    for (int32_t k = 0; k < 3; ++k) {
        const int32_t kind = BODY_POOLS[k];
        bind_pool_block(kind, buffers.saved_pool[k], buffers.saved_capacity[k], false);
        buffers.saved_pool[k] = nullptr;
    }
    reset_frame_pools();
}

void set_body_buffer_sizes(int32_t packet_bytes, int32_t pool_capacity) {
    buffers.body_packet_bytes = packet_bytes > 0 ? packet_bytes : 0;
    buffers.body_pool_capacity = pool_capacity > 0 ? pool_capacity : 0;
}

Vec4* fine_vertex_base() {
    return buffers.fine_vertices;
}

void alloc_vertex_pool(int32_t capacity) {
    alloc_geometry_pool(capacity, POOL_VERTEX);
}
void alloc_colour_pool(int32_t capacity) {
    alloc_geometry_pool(capacity, POOL_COLOUR);
}
void alloc_uv_pool(int32_t capacity) {
    alloc_geometry_pool(capacity, POOL_UV);
}
void alloc_normal_pool(int32_t capacity) {
    alloc_geometry_pool(capacity, POOL_NORMAL);
}

int init_texture_slots() {
    if (shared.textures != nullptr) free_texture_slots();
    shared.textures = static_cast<Texture**>(alloc_bytes(TEXTURE_SLOTS * sizeof(Texture*)));
    shared.texture_count = 0;
    return shared.textures != nullptr ? 0 : -1;
}

void free_texture_slots() {
    if (shared.textures == nullptr) return;
    for (int32_t i = 0; i < TEXTURE_SLOTS; ++i) {
        Texture* texture = shared.textures[i];
        if (texture == nullptr) continue;
        free_block(texture->block);  // the texels live in this block
        free_block(texture);
        shared.textures[i] = nullptr;
    }
    free_block(shared.textures);
    shared.textures = nullptr;
    shared.texture_count = 0;
}

void* alloc_packet(int32_t bytes) {
    RenderList* list = shared.current;
    if (list == nullptr) return nullptr;

    ++list->packet_count;
    uint8_t* start = reinterpret_cast<uint8_t*>(list->first_packet);
    uint8_t* old_position = list->write_position;
    // Offsets in 64 bits: neither the sum nor the comparison can wrap.
    int64_t old_offset = old_position - start;
    int64_t new_offset = old_offset + bytes;
    bool fits = bytes >= 0 && bytes % 4 == 0 && new_offset + 4 <= list->packet_capacity;
    if (!fits) {
        // Parked at the end of the area, never past it: every later request
        // fails, and the end word after the last good packet stays in place.
        list->write_position = start + list->packet_capacity;
        show_error("%s", TEXT_PACKET_AREA_FULL);
        return nullptr;
    }
    list->write_position = start + new_offset;
    const uint32_t end_word = PACKET_END;
    std::memcpy(list->write_position, &end_word, 4);
    return old_position;
}

int add_object_header() {
    auto* p = static_cast<PrimitivePacket*>(alloc_packet(SHORT_PACKET_BYTES));
    if (p == nullptr) return -1;
    // Only the first 20 bytes belong to this packet; the end word follows.
    p->header = PACKET_OBJECT_HEADER;
    p->size = SHORT_PACKET_BYTES;
    p->link = 0;
    p->depth_key = -1;
    p->depth_bias = 0;
    p->extra = 0;
    return 0;
}

int32_t pool_find_or_add(const void* record, int32_t kind) {
    if (!valid_kind(kind)) return -1;
    GeometryPool* pool = bound_pool(kind);
    if (pool == nullptr || record == nullptr) return -2;
    // The index holds exactly the records from the mark to the count, each
    // value once at its lowest index: the same answer as scanning them in
    // order, comparing all four words (w included), without the scan.
    int32_t* slot = find_index_slot(pool, kind, record);
    if (*slot != 0) return *slot - 1;
    return store_record(pool, kind, record, slot);
}

int32_t pool_append(const void* record, int32_t kind) {
    if (!valid_kind(kind)) return -1;
    GeometryPool* pool = bound_pool(kind);
    if (pool == nullptr || record == nullptr) return -2;
    int32_t* slot = find_index_slot(pool, kind, record);
    return store_record(pool, kind, record, *slot == 0 ? slot : nullptr);
}

int32_t pool_set_mark(int32_t kind) {
    if (!valid_kind(kind)) return -1;
    if (buffers.pools == nullptr) return -2;
    GeometryPool* pool = &buffers.pools[kind];
    clear_index(kind);  // records before the mark are no longer searched
    pool->mark = pool->count;
    return pool->count;
}

int32_t pool_count(int32_t kind) {
    if (!valid_kind(kind)) return -1;
    if (buffers.pools == nullptr) return -2;
    return buffers.pools[kind].count;
}

int32_t pool_reset(int32_t kind) {
    if (!valid_kind(kind)) return -1;
    if (buffers.pools == nullptr) return -2;
    clear_index(kind);
    buffers.pools[kind].count = 0;
    buffers.pools[kind].mark = 0;
    buffers.pool_rejected[kind] = 0;
    return 0;
}

int32_t pool_rejected(int32_t kind) {
    if (!valid_kind(kind)) return -1;
    return buffers.pool_rejected[kind];
}

const GeometryPool* geometry_pool(int32_t kind) {
    if (!valid_kind(kind) || buffers.pools == nullptr) return nullptr;
    return &buffers.pools[kind];
}

bool pool_bound(int32_t kind) {
    return valid_kind(kind) && bound_pool(kind) != nullptr;
}

void reset_frame_pools() {
    if (RenderList* list = shared.current) {
        list->packet_count = 0;
        list->write_position = reinterpret_cast<uint8_t*>(list->first_packet);
        const uint32_t end_word = PACKET_END;
        std::memcpy(list->write_position, &end_word, 4);
        list->vertex_count = 0;
        list->colour_count = 0;
        list->uv_count = 0;
        list->normal_count = 0;
    }
    for (int32_t kind = 0; kind < POOL_KINDS; ++kind)
        pool_reset(kind);
}

uint16_t* pack_colours() {
    GeometryPool* pool = bound_pool(POOL_COLOUR);
    if (pool == nullptr) return nullptr;
    int32_t capacity = buffers.pool_capacity[POOL_COLOUR];
    const auto* records = static_cast<const ColourRecord*>(pool->records);
    // The packed colours follow the capacity's colour records in the block.
    auto* packed = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(pool->records) +
                                               int64_t(capacity) * sizeof(ColourRecord));
    int32_t count = pool->count < capacity ? pool->count : capacity;
    for (int32_t i = 0; i < count; ++i) {
        const ColourRecord& c = records[i];
        // Top five bits of each 8-bit channel; red in bits 14..10.
        packed[i] = uint16_t(((c.r >> 3) & 31) << 10 | ((c.g >> 3) & 31) << 5 | ((c.b >> 3) & 31));
    }
    return packed;
}

Vec4* model_vertex_base() {
    return shared.current != nullptr ? shared.current->model_vertices : nullptr;
}

ScreenVertex* screen_vertex_at(int32_t index) {
    RenderList* list = shared.current;
    if (list == nullptr || list->screen_vertices == nullptr) return nullptr;
    if (index < 0 || index >= list->vertex_capacity) return nullptr;
    return list->screen_vertices + index;
}

Vec4* view_normal_at(int32_t index) {
    RenderList* list = shared.current;
    if (list == nullptr || list->view_normals == nullptr) return nullptr;
    if (index < 0 || index >= list->normal_capacity) return nullptr;
    return list->view_normals + index;
}

int32_t* intensity_at(int32_t index) {
    RenderList* list = shared.current;
    if (list == nullptr || list->intensities == nullptr) return nullptr;
    if (index < 0 || index >= list->normal_capacity) return nullptr;
    return list->intensities + index;
}
