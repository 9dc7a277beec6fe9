// The geometry pipeline: triangle packet emission and the per-frame transform
// of the draw list.
#include "geometry/geometry_pipeline.h"

#include <cstring>
#include <vector>

#include "base/memory.h"
#include "base/messages.h"
#include "geometry/camera.h"
#include "geometry/render_list.h"
#include "geometry/sse_lanes.h"

namespace {

bool all_present(const void* const records[3]) {
    return records[0] != nullptr && records[1] != nullptr && records[2] != nullptr;
}

const char* pool_full_text(int32_t kind) {
    switch (kind) {
        case POOL_VERTEX:
            return TEXT_VERTEX_POOL_FULL;
        case POOL_COLOUR:
            return TEXT_COLOUR_POOL_FULL;
        case POOL_UV:
            return TEXT_UV_POOL_FULL;
        default:
            return TEXT_NORMAL_POOL_FULL;
    }
}

int32_t* list_count(RenderList* list, int32_t kind) {
    switch (kind) {
        case POOL_VERTEX:
            return &list->vertex_count;
        case POOL_COLOUR:
            return &list->colour_count;
        case POOL_UV:
            return &list->uv_count;
        default:
            return &list->normal_count;
    }
}

// Enters three records into one pool and writes their indices. Afterwards
// the pool's count is copied into the list, and the pool's message is shown
// once if the full pool turned a record away. The pool is bound, so every
// index is 0 .. capacity - 1.
void enter_group(RenderList* list, int32_t kind, const void* const records[3], bool share,
                 int16_t* indices) {
    int32_t rejected = pool_rejected(kind);
    for (int i = 0; i < 3; ++i) {
        int32_t index = share ? pool_find_or_add(records[i], kind) : pool_append(records[i], kind);
        indices[i] = int16_t(index);
    }
    *list_count(list, kind) = pool_count(kind);
    if (pool_rejected(kind) != rejected) show_error("%s", pool_full_text(kind));
}

// Angles as the rotation tables read them: 0..1023.
Vec4 masked_angles(const Vec4& angles) {
    return Vec4{angles.x & ANGLE_MASK, angles.y & ANGLE_MASK, angles.z & ANGLE_MASK, angles.w};
}

// How many of count records from first lie within a pool of capacity.
int32_t clipped_count(int32_t first, int32_t count, int32_t capacity) {
    if (first < 0 || first >= capacity || count <= 0) return 0;
    return count < capacity - first ? count : capacity - first;
}

#if defined(__SSE2__)
// light_part's loop over four normals at a time, each lane one normal, with
// the same sums (they wrap alike in any order) and shifts: the 32-bit
// multiplications, twelve a normal, are what the loop spends its time on.
// Returns how many normals it did, a multiple of four; the caller does the
// rest one by one.
int32_t light_four_at_a_time(const Vec4* model, Vec4* view, int32_t* intensity, int32_t count,
                             const Matrix& m, int32_t light_x, int32_t light_y, int32_t light_z) {
    const LaneMatrix lanes = lane_matrix(m.m);
    const __m128i lx = _mm_set1_epi32(light_x), ly = _mm_set1_epi32(light_y);
    const __m128i lz = _mm_set1_epi32(light_z);
    const __m128i brightest = _mm_set1_epi32(255);
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const FourRecords normal = four_records(model + i);
        // transformed_vector's sums.
        const __m128i nx = _mm_srai_epi32(lanes_column(normal, lanes, 0), FIXED_SHIFT);
        const __m128i ny = _mm_srai_epi32(lanes_column(normal, lanes, 1), FIXED_SHIFT);
        const __m128i nz = _mm_srai_epi32(lanes_column(normal, lanes, 2), FIXED_SHIFT);
        __m128i level = _mm_add_epi32(_mm_add_epi32(_mm_srai_epi32(lanes_times(nz, lz), 10),
                                                    _mm_srai_epi32(lanes_times(ny, ly), 10)),
                                      _mm_srai_epi32(lanes_times(nx, lx), 10));
        level = _mm_srai_epi32(level, 2);
        const __m128i over = _mm_cmpgt_epi32(level, brightest);
        level = _mm_or_si128(_mm_and_si128(over, brightest), _mm_andnot_si128(over, level));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(intensity + i), level);
        // The view records get x, y and z; their w stays as it was.
        __m128i* out = reinterpret_cast<__m128i*>(view + i);
        const __m128i v0 = _mm_loadu_si128(out), v1 = _mm_loadu_si128(out + 1);
        const __m128i v2 = _mm_loadu_si128(out + 2), v3 = _mm_loadu_si128(out + 3);
        const __m128i w =
            _mm_unpackhi_epi64(_mm_unpackhi_epi32(v0, v1), _mm_unpackhi_epi32(v2, v3));
        const __m128i nxy01 = _mm_unpacklo_epi32(nx, ny), nxy23 = _mm_unpackhi_epi32(nx, ny);
        const __m128i nzw01 = _mm_unpacklo_epi32(nz, w), nzw23 = _mm_unpackhi_epi32(nz, w);
        _mm_storeu_si128(out, _mm_unpacklo_epi64(nxy01, nzw01));
        _mm_storeu_si128(out + 1, _mm_unpackhi_epi64(nxy01, nzw01));
        _mm_storeu_si128(out + 2, _mm_unpacklo_epi64(nxy23, nzw23));
        _mm_storeu_si128(out + 3, _mm_unpackhi_epi64(nxy23, nzw23));
    }
    return i;
}
#endif

void light_part(RenderList* list, const ObjectPart* part, const Matrix* m, const Vec4* light) {
    int32_t first = part->first_normal;
    int32_t count = clipped_count(first, part->normal_count, list->normal_capacity);
    if (count == 0 || list->model_normals == nullptr) return;
    const Vec4* model = list->model_normals + first;
    Vec4* view = list->view_normals + first;
    int32_t* intensity = list->intensities + first;
    // Read once: for the compiler, the stores below might change them.
    const int32_t light_x = light->x, light_y = light->y, light_z = light->z;
    int32_t i = 0;
#if defined(__SSE2__)
    i = light_four_at_a_time(model, view, intensity, count, *m, light_x, light_y, light_z);
#endif
    for (; i < count; ++i) {
        // The view normal, as transform_vectors gives it (w untouched), and its
        // light in the same pass.
        const Vec4 n = transformed_vector(model[i], *m);
        view[i].x = n.x;
        view[i].y = n.y;
        view[i].z = n.z;
        // Unit vectors of length 1024: each product >> 10 is one term of the
        // cosine scaled by 1024; >> 2 brings 1024 down to 256. Shifts are
        // arithmetic, so a normal facing away stays negative.
        int32_t level = ((n.z * light_z) >> 10) + ((n.y * light_y) >> 10) + ((n.x * light_x) >> 10);
        level >>= 2;
        if (level > 255) level = 255;
        intensity[i] = level;
    }
}

}  // namespace

int32_t add_triangle(const Vec4* const vertices[3], const ColourRecord* const colours[3],
                     const Vec4* const tex_coords[3], const Vec4* const normals[3], int32_t texture,
                     uint32_t flags, int32_t depth_bias) {
    RenderList* list = current_render_list();
    if (list == nullptr || vertices == nullptr || colours == nullptr) return -1;
    bool per_vertex_colour = (flags & POLY_PER_VERTEX_COLOUR) != 0;
    // Checked before the packet is taken, so that a refused call leaves the
    // packet area and the pools as they were, and no packet holds the
    // negative result of an unbound pool.
    const void* const vertex_records[3] = {vertices[0], vertices[1], vertices[2]};
    if (!all_present(vertex_records) || !pool_bound(POOL_VERTEX)) return -1;
    const void* const colour_records[3] = {colours[0], per_vertex_colour ? colours[1] : colours[0],
                                           per_vertex_colour ? colours[2] : colours[0]};
    if (!all_present(colour_records) || !pool_bound(POOL_COLOUR)) return -1;
    if (tex_coords != nullptr) {
        const void* const records[3] = {tex_coords[0], tex_coords[1], tex_coords[2]};
        if (!all_present(records) || !pool_bound(POOL_UV)) return -1;
    }
    if (normals != nullptr) {
        const void* const records[3] = {normals[0], normals[1], normals[2]};
        if (!all_present(records) || !pool_bound(POOL_NORMAL)) return -1;
    }

    auto* packet = static_cast<TrianglePacket*>(alloc_packet(TRIANGLE_PACKET_BYTES));
    if (packet == nullptr) return -1;  // the packet allocator showed its message
    // The area is not cleared by a reset: no field keeps an older packet's bytes.
    std::memset(packet, 0, sizeof(TrianglePacket));

    bool share = (flags & POLY_NO_SHARING) == 0;
    enter_group(list, POOL_VERTEX, vertex_records, share, packet->v);
    int16_t largest = -1;
    for (int16_t v : packet->v)
        if (v > largest) largest = v;

    if (tex_coords != nullptr) {
        const void* const records[3] = {tex_coords[0], tex_coords[1], tex_coords[2]};
        enter_group(list, POOL_UV, records, share, packet->t);
    }

    if (per_vertex_colour) {
        enter_group(list, POOL_COLOUR, colour_records, share, packet->col);
    } else {
        // One colour, always shared, in the entry a flat fill reads. The
        // list's colour count is left as it is, but a refused record is still
        // reported: its triangle would silently take another colour.
        int32_t rejected = pool_rejected(POOL_COLOUR);
        packet->col[0] = int16_t(pool_find_or_add(colours[0], POOL_COLOUR));
        if (pool_rejected(POOL_COLOUR) != rejected) show_error("%s", TEXT_COLOUR_POOL_FULL);
    }

    if (normals != nullptr) {
        const void* const records[3] = {normals[0], normals[1], normals[2]};
        enter_group(list, POOL_NORMAL, records, share, packet->nrm);
    }

    packet->head.depth_bias = int16_t(depth_bias);
    packet->head.header = flags | PRIM_FLAT_TRI;
    packet->head.link = 0;
    packet->head.size = TRIANGLE_PACKET_BYTES;
    packet->head.texture = int16_t(texture);
    return largest;
}

int32_t add_indexed_triangles(const Vec4* vertices, int32_t vertex_count,
                              const MeshTriangle* triangles, int32_t triangle_count,
                              const ColourRecord* colour, uint32_t flags, bool share_equal) {
    RenderList* list = current_render_list();
    if (list == nullptr || vertices == nullptr || (triangles == nullptr && triangle_count > 0) ||
        colour == nullptr || vertex_count < 0 || triangle_count < 0 || !pool_bound(POOL_VERTEX) ||
        !pool_bound(POOL_COLOUR))
        return -1;
    for (int32_t t = 0; t < triangle_count; ++t)
        for (int32_t corner : triangles[t].v)
            if (corner < 0 || corner >= vertex_count) return -1;
    // Room left: the packets and the end word after them, a vertex record and
    // a normal (laid at the vertex's index) per vertex.
    int64_t used = list->write_position - reinterpret_cast<uint8_t*>(list->first_packet);
    int64_t packets = int64_t(TRIANGLE_PACKET_BYTES) * triangle_count;
    int32_t first = pool_count(POOL_VERTEX);
    const char* full = nullptr;
    if (used + packets + 4 > list->packet_capacity)
        full = TEXT_PACKET_AREA_FULL;
    else if (int64_t(first) + vertex_count > list->vertex_capacity)
        full = TEXT_VERTEX_POOL_FULL;
    else if (int64_t(first) + vertex_count > list->normal_capacity)
        full = TEXT_NORMAL_POOL_FULL;
    if (full != nullptr) {
        show_error("%s", full);
        return -1;
    }
    std::vector<int16_t> index(static_cast<size_t>(vertex_count));
    for (int32_t i = 0; i < vertex_count; ++i)
        index[size_t(i)] = int16_t(share_equal ? pool_find_or_add(&vertices[i], POOL_VERTEX)
                                               : pool_append(&vertices[i], POOL_VERTEX));
    list->vertex_count = pool_count(POOL_VERTEX);
    int16_t colour_index = int16_t(pool_find_or_add(colour, POOL_COLOUR));
    for (int32_t t = 0; t < triangle_count; ++t) {
        auto* packet = static_cast<TrianglePacket*>(alloc_packet(TRIANGLE_PACKET_BYTES));
        if (packet == nullptr) return -1;  // not after the check above
        std::memset(packet, 0, sizeof(TrianglePacket));
        for (int k = 0; k < 3; ++k)
            packet->v[k] = index[size_t(triangles[t].v[k])];
        packet->col[0] = colour_index;  // the one colour, where the fills read it
        packet->head.header = flags | PRIM_FLAT_TRI;
        packet->head.size = TRIANGLE_PACKET_BYTES;
        packet->head.texture = -1;
    }
    return first;
}

int32_t transform_object(SceneObject* object, const Matrix* camera, const Vec4* light) {
    RenderList* list = current_render_list();
    if (object == nullptr || camera == nullptr || light == nullptr || list == nullptr) return -1;

    Matrix object_matrix;
    Vec4 angles = masked_angles(object->rotation);
    make_object_matrix(&object_matrix, &object->translation, &angles, &object->scale);
    reset_matrix_stack();
    Matrix current;
    matrix_multiply(&current, &object_matrix, camera);
    // Placed parts' normals turn with the object's rotation and scale only.
    Matrix unplaced;
    bool unplaced_ready = false;

    for (int32_t i = 0; i < object->part_count; ++i) {
        ObjectPart* part = &object->parts[i];
        push_matrix(&current);  // ignored beyond the stack's depth
        angles = masked_angles(part->rotation);
        make_object_matrix(&part->local, &part->translation, &angles, &part->scale);
        matrix_multiply(&part->combined, &part->local, &current);
        current = part->combined;

        int32_t first = part->first_vertex;
        int32_t count = clipped_count(first, part->vertex_count, list->vertex_capacity);
        if (count > 0 && list->model_vertices != nullptr)
            transform_and_project(count, list->screen_vertices + first,
                                  list->model_vertices + first, &current);
        if ((part->flags & PART_LIT) != 0 && (part->flags & PART_PLACED) != 0) {
            if (!unplaced_ready) {
                const Vec4 origin = {0, 0, 0, 0};
                Matrix turn;
                angles = masked_angles(object->rotation);
                make_object_matrix(&turn, &origin, &angles, &object->scale);
                matrix_multiply(&unplaced, &turn, camera);
                unplaced_ready = true;
            }
            light_part(list, part, &unplaced, light);
        } else if ((part->flags & PART_LIT) != 0) {
            light_part(list, part, &current, light);
        }
        // A pop deeper than the stack leaves the current matrix unchanged.
        if (part->pop_count > 0) pop_matrices(&current, part->pop_count);
    }
    return object->part_count;
}

int32_t transform_scene() {
    const Matrix* camera = build_camera_matrix();
    const Vec4* light = light_vector();
    int32_t objects = 0;
    for (SceneObject* object = draw_list(); object != nullptr; object = object->next) {
        transform_object(object, camera, light);
        ++objects;
    }
    return objects;
}
