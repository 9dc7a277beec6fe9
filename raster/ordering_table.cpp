// Depth bucketing of the packet chain and filing of the callback slots.
#include "raster/ordering_table.h"

#include <cstddef>
#include <cstring>

#include "raster/render_stats.h"

namespace {

// Bytes from the start of a packet that bucketing or drawing may read, by its header:
// the head through extra for every packet, the anchor for depth mode 1, the vertex
// indices its depth reads for mode 2, the whole polygon layout (all four index
// arrays) for modes 3 and 4, and v[0..2] for the back-face test.
uint32_t bytes_read(uint32_t header) {
    uint32_t bytes = SHORT_PACKET_BYTES;
    switch (header & DEPTH_MODE_MASK) {
        case 1:
            bytes = PACKET_HEAD_BYTES;
            break;
        case 2:
            bytes = PACKET_HEAD_BYTES + 2 * sizeof(int16_t);
            break;
        case 3:
            bytes = TRIANGLE_PACKET_BYTES;
            break;
        case 4:
            bytes = QUAD_PACKET_BYTES;
            break;
        default:
            break;
    }
    uint32_t culled_bytes = PACKET_HEAD_BYTES + 3 * sizeof(int16_t);
    if ((header & POLY_CULL) != 0 && bytes < culled_bytes) bytes = culled_bytes;
    return bytes;
}

// True when a vertex that the packet's depth reads was left unprojected by the
// geometry pipeline (w = -1: at or behind the eye plane, x and y still in view space).
// Drawing such a packet would place that corner at a meaningless screen position.
bool uses_vertex_behind_eye(PrimitivePacket* packet, const ScreenVertex* vertices) {
    uint32_t mode = packet_depth_mode(packet);
    if (mode == 1) return vertices[packet->anchor].w < 0;
    if (mode < 2 || mode > 4) return false;
    const int16_t* v = packet_vertices(packet);
    for (uint32_t k = 0; k < mode; ++k)
        if (vertices[v[k]].w < 0) return true;
    return false;
}

// Twice the signed screen area of p, q, r: >= 0 when they run clockwise with y
// growing downward (or are collinear). The products wrap in 32 bits.
int32_t winding(const ScreenVertex& p, const ScreenVertex& q, const ScreenVertex& r) {
    return (q.x - p.x) * (r.y - q.y) - (q.y - p.y) * (r.x - q.x);
}

// The winding of v[0], v[1], v[2].
int32_t winding(PrimitivePacket* packet, const ScreenVertex* vertices) {
    const int16_t* v = packet_vertices(packet);
    return winding(vertices[v[0]], vertices[v[1]], vertices[v[2]]);
}

// The depth key of depth mode 3. Division truncates toward zero: the mean of
// -1, -1, -2 is -1.
int16_t mean_depth(const ScreenVertex& p, const ScreenVertex& q, const ScreenVertex& r) {
    return int16_t((p.z + q.z + r.z) / 3);
}

// New depth key by the depth mode; modes 0, 5 and 7 keep the stored key. Sums wrap in
// 32 bits and only the low 16 bits are stored, read back as signed.
void update_depth_key(PrimitivePacket* packet, const ScreenVertex* vertices) {
    const int16_t* v = packet_vertices(packet);
    switch (packet_depth_mode(packet)) {
        case 1:
            packet->depth_key = int16_t(vertices[packet->anchor].z);
            break;
        case 2:
            // Arithmetic shift: the mean of -3 and -4 is -4.
            packet->depth_key = int16_t((vertices[v[0]].z + vertices[v[1]].z) >> 1);
            break;
        case 3:
            packet->depth_key = mean_depth(vertices[v[0]], vertices[v[1]], vertices[v[2]]);
            break;
        case 4:
            packet->depth_key = int16_t(
                (vertices[v[0]].z + vertices[v[1]].z + vertices[v[2]].z + vertices[v[3]].z) >> 2);
            break;
        default:
            break;
    }
}

// Head insertion: within one bucket the packet filed last is painted first.
void link_into_bucket(uint32_t* heads, int32_t bucket, uint32_t reference, uint32_t* link) {
    *link = heads[bucket];
    heads[bucket] = reference;
}

bool is_bucket(int32_t bucket) {
    return uint32_t(bucket) < uint32_t(ORDERING_TABLE_SIZE);
}

// Statistics only: what the walk did with one packet, given whether it was
// dropped before bucketing (and then whether for a corner behind the eye) or
// else its bucket. Bucket 0 is never painted, so it counts as dropped by
// depth; object headers are not primitives.
void count_walked_packet(PrimitivePacket* packet, bool dropped, bool behind_eye, int32_t bucket) {
    ++render_stats.packets_walked;
    if (packet_code(packet) == PACKET_OBJECT_HEADER) return;
    if (dropped) {
        ++(behind_eye ? render_stats.depth_dropped : render_stats.culled);
    } else if (bucket < 1 || bucket >= ORDERING_TABLE_SIZE) {
        ++render_stats.depth_dropped;
    }
}

// A triangle packet (depth mode 3, its whole layout inside the area) filed as the
// general walk in bucket_packets files it, with its three corners read once and
// its header read once: counted as count_walked_packet counts it (a triangle is
// never an object header; the caller counts it walked), keyed by mean_depth and
// linked by its bucket, whose range is tested once for both the link and the
// count. `header` is the packet's header word; `reference` is its offset in the
// area plus 1, as packet_reference gives it.
inline void file_triangle(PrimitivePacket* packet, uint32_t header, uint32_t reference,
                          const ScreenVertex* vertices, uint32_t* heads) {
    const int16_t* v = packet_vertices(packet);
    const ScreenVertex& p = vertices[v[0]];
    const ScreenVertex& q = vertices[v[1]];
    const ScreenVertex& r = vertices[v[2]];
    if ((p.w | q.w | r.w) < 0) {
        ++render_stats.depth_dropped;
        return;
    }
    if ((header & POLY_CULL) != 0 && winding(p, q, r) < 0) {
        ++render_stats.culled;
        return;
    }
    const int16_t key = mean_depth(p, q, r);
    packet->depth_key = key;
    const int32_t bucket = int32_t(key) + int32_t(packet->depth_bias);
    // bucket - 1 cannot wrap: key and bias are 16-bit.
    if (uint32_t(bucket - 1) < uint32_t(ORDERING_TABLE_SIZE - 1)) {
        link_into_bucket(heads, bucket, reference, &packet->link);
        return;
    }
    // Bucket 0 is filed but never painted; the rest lie outside the table.
    if (bucket == 0) link_into_bucket(heads, 0, reference, &packet->link);
    ++render_stats.depth_dropped;
}

// A packet's first two words, the header and the size, read as one 64-bit
// word: a triangle of the usual size has depth mode 3 and
// TRIANGLE_PACKET_BYTES there, tested with one mask and one comparison in any
// byte order (the words laid out as in memory; the compiler folds the copy).
struct HeaderAndSize {
    uint32_t header;
    uint32_t size;
};
static_assert(offsetof(PrimitivePacket, header) == 0 && offsetof(PrimitivePacket, size) == 4);
inline uint64_t head_word(const HeaderAndSize& words) {
    uint64_t head;
    std::memcpy(&head, &words, sizeof head);
    return head;
}

// Files the packets from `offset` on while they are triangles of the usual size
// (depth mode 3, TRIANGLE_PACKET_BYTES) lying wholly inside the area of
// `capacity` bytes at `area`, none of which the checks of bucket_packets could
// end the walk at; returns the offset of the first packet it did not file.
uint32_t file_triangles(uint8_t* area, uint32_t offset, uint32_t capacity,
                        const ScreenVertex* vertices, uint32_t* heads) {
    if (capacity < uint32_t(TRIANGLE_PACKET_BYTES)) return offset;
    // The last place a whole triangle fits.
    const uint32_t last = capacity - uint32_t(TRIANGLE_PACKET_BYTES);
    uint32_t at = offset;
    const uint64_t triangle_mask = head_word({DEPTH_MODE_MASK, ~uint32_t(0)});
    const uint64_t triangle_head = head_word({3, uint32_t(TRIANGLE_PACKET_BYTES)});
    while (at <= last) {
        auto* packet = reinterpret_cast<PrimitivePacket*>(area + at);
        uint64_t head;
        std::memcpy(&head, packet, sizeof(head));
        if ((head & triangle_mask) != triangle_head) break;
        file_triangle(packet, packet->header, at + 1, vertices, heads);
        at += TRIANGLE_PACKET_BYTES;
    }
    render_stats.packets_walked += int32_t((at - offset) / TRIANGLE_PACKET_BYTES);
    return at;
}

}  // namespace

void bucket_packets(RenderList* list) {
    uint32_t* heads = ordering_table_heads();
    if (list == nullptr || heads == nullptr || list->first_packet == nullptr) return;
    const ScreenVertex* vertices = list->screen_vertices;
    auto* area = reinterpret_cast<uint8_t*>(list->first_packet);
    uint32_t capacity = list->packet_capacity > 0 ? uint32_t(list->packet_capacity) : 0;

    uint32_t offset = 0;
    while (true) {
        // The common packets first: a run of triangles, each taken as the steps below
        // would take it.
        offset = file_triangles(area, offset, capacity, vertices, heads);
        if (capacity - offset < sizeof(uint32_t)) break;
        auto* packet = reinterpret_cast<PrimitivePacket*>(area + offset);
        uint32_t header = packet->header;
        const uint32_t room = capacity - offset;
        if ((header & DEPTH_MODE_MASK) == PACKET_END) break;
        // A malformed chain ends here rather than leading the walk past the area,
        // and so does a header in the area's last word, whose size word lies past it.
        if (room < 2 * sizeof(uint32_t)) break;
        uint32_t size = packet->size;
        if (size == 0 || size % 4 != 0 || size > room) break;
        if (room < bytes_read(header)) break;
        const bool behind_eye = uses_vertex_behind_eye(packet, vertices);
        const bool dropped =
            behind_eye || ((header & POLY_CULL) != 0 && winding(packet, vertices) < 0);
        if (!dropped) update_depth_key(packet, vertices);
        int32_t bucket = 0;
        if (!dropped) {
            bucket = int32_t(packet->depth_key) + int32_t(packet->depth_bias);
            if (is_bucket(bucket))
                link_into_bucket(heads, bucket, packet_reference(list, packet), &packet->link);
        }
        count_walked_packet(packet, dropped, behind_eye, bucket);
        offset += size;
    }

    CallbackSlot* slots = callback_slots();
    if (slots == nullptr) return;
    for (int32_t i = 0; i < CALLBACK_SLOTS; ++i) {
        CallbackSlot& slot = slots[i];
        // Whoever fills a slot must keep its key within the table; a slot that does not
        // is skipped instead of being written outside it.
        if (slot.extra == 0 || !is_bucket(slot.depth_key)) continue;
        link_into_bucket(heads, slot.depth_key, callback_slot_reference(i), &slot.link);
    }
}

int32_t set_callback_slot(int32_t slot, int32_t depth_key, uint32_t callback) {
    CallbackSlot* slots = callback_slots();
    if (slots == nullptr || slot < 0 || slot >= CALLBACK_SLOTS || !is_bucket(depth_key)) return -1;
    CallbackSlot& s = slots[slot];
    s.header = PRIM_CALLBACK;
    s.size = SHORT_PACKET_BYTES;
    s.link = NO_PACKET;
    s.depth_key = int16_t(depth_key);
    s.depth_bias = 0;
    s.extra = callback;
    return 0;
}
