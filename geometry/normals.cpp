// Face normals and the pass that turns an object's polygons into lit polygons.
#include "geometry/normals.h"

#include <cmath>

namespace {

// 32-bit wrapping arithmetic, spelled out in unsigned so that an overflowing
// product or sum is defined whatever the compiler flags.
int32_t wrap_add(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}
int32_t wrap_sub(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) - uint32_t(b));
}
int32_t wrap_mul(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) * uint32_t(b));
}

// Scales (x, y, z) to length 1024 in place; a zero-length vector is kept raw.
void scale_to_unit(int32_t* x, int32_t* y, int32_t* z) {
    // The squared length is summed in 32 bits and wraps. It is read as
    // unsigned: lengths up to 65535 stay exact and a wrapped sum can never
    // be negative, so the root is always a number.
    uint32_t squared =
        uint32_t(wrap_mul(*x, *x)) + uint32_t(wrap_mul(*y, *y)) + uint32_t(wrap_mul(*z, *z));
    // At most 65535, so the truncated root fits and the divisions below
    // cannot overflow.
    int32_t length = int32_t(std::sqrt(double(squared)));
    if (length == 0) return;
    *x = wrap_mul(*x, UNIT_LENGTH) / length;  // truncates toward zero
    *y = wrap_mul(*y, UNIT_LENGTH) / length;
    *z = wrap_mul(*z, UNIT_LENGTH) / length;
}

// One face's normal taken into the normal of one of its corners: the first
// face a vertex meets sets it, every later one is added and the sum scaled
// again. w = 1 marks a normal that no face has touched yet.
void take_face_normal(Vec4* normal, const Vec4& face) {
    if (normal->w == 1) {
        normal->x = face.x;
        normal->y = face.y;
        normal->z = face.z;
        normal->w = 0;
    } else {
        add_normalised(normal, normal, &face);
    }
}

// Index arrays must lie inside the packet for it to be rewritten.
bool polygon_fits(const PrimitivePacket* p, int n) {
    return p->size >= uint32_t(n == 4 ? QUAD_PACKET_BYTES : TRIANGLE_PACKET_BYTES);
}

}  // namespace

// Writes x, y and z of out; out->w is left as it is.
void face_normal(Vec4* out, const Vec4* p, const Vec4* q, const Vec4* r) {
    int32_t ax = wrap_sub(q->x, p->x), ay = wrap_sub(q->y, p->y), az = wrap_sub(q->z, p->z);
    int32_t bx = wrap_sub(r->x, q->x), by = wrap_sub(r->y, q->y), bz = wrap_sub(r->z, q->z);
    int32_t x = wrap_sub(wrap_mul(ay, bz), wrap_mul(az, by));
    int32_t y = wrap_sub(wrap_mul(az, bx), wrap_mul(ax, bz));
    int32_t z = wrap_sub(wrap_mul(ax, by), wrap_mul(ay, bx));
    scale_to_unit(&x, &y, &z);
    out->x = x;
    out->y = y;
    out->z = z;
}

bool is_degenerate_polygon(const Vec4* const corners[], int count) {
    if (count < 3 || count > 4) return true;
    auto same = [](const Vec4* a, const Vec4* b) {
        return a->x == b->x && a->y == b->y && a->z == b->z;
    };
    for (int i = 0; i < count; ++i)
        for (int j = i + 1; j < count; ++j)
            if (same(corners[i], corners[j])) return true;
    // Twice the vector area: differences of int32 values take 33 bits and
    // their products 66, beyond int64.
    const Vec4& origin = *corners[0];
    __int128 area[3] = {0, 0, 0};
    for (int k = 1; k + 1 < count; ++k) {
        const Vec4& p = *corners[k];
        const Vec4& q = *corners[k + 1];
        const __int128 a[3] = {int64_t(p.x) - origin.x, int64_t(p.y) - origin.y,
                               int64_t(p.z) - origin.z};
        const __int128 b[3] = {int64_t(q.x) - origin.x, int64_t(q.y) - origin.y,
                               int64_t(q.z) - origin.z};
        area[0] += a[1] * b[2] - a[2] * b[1];
        area[1] += a[2] * b[0] - a[0] * b[2];
        area[2] += a[0] * b[1] - a[1] * b[0];
    }
    return area[0] == 0 && area[1] == 0 && area[2] == 0;
}

// Writes x, y and z of dst (which may be src or add); dst->w is left as it is.
void add_normalised(Vec4* dst, const Vec4* src, const Vec4* add) {
    int32_t x = wrap_add(src->x, add->x);
    int32_t y = wrap_add(src->y, add->y);
    int32_t z = wrap_add(src->z, add->z);
    scale_to_unit(&x, &y, &z);
    dst->x = x;
    dst->y = y;
    dst->z = z;
}

void accumulate_vertex_normals(int32_t packet_count, PrimitivePacket* first_packet,
                               int32_t normal_count, const Vec4* vertices, int32_t first_normal,
                               Vec4* normals) {
    if (first_packet == nullptr || vertices == nullptr || normals == nullptr) return;

    // w = 1 marks a normal that no polygon has touched yet.
    for (int32_t i = 0; i < normal_count; ++i)
        normals[first_normal + i].w = 1;

    PrimitivePacket* p = first_packet;
    for (int32_t k = 0; k < packet_count; ++k) {
        // The end word is only 4 bytes long: test it before reading the size.
        // A size of 0 or off the 4-byte grid would loop or misalign the walk.
        if (packet_depth_mode(p) == PACKET_END) break;
        if (p->size == 0 || p->size % 4 != 0) break;

        uint32_t mode = packet_depth_mode(p);
        int n = packet_vertex_count(p);
        if ((mode == 3 || mode == 4) && polygon_fits(p, n)) {
            p->header |= POLY_LIT;
            int16_t* v = packet_vertices(p);
            int16_t* nrm = packet_normals(p);
            Vec4 face = {};
            face_normal(&face, &vertices[v[0]], &vertices[v[1]], &vertices[v[2]]);
            for (int j = 0; j < n; ++j) {
                // Normals are laid at the indices of their vertices.
                take_face_normal(&normals[v[j]], face);
                nrm[j] = v[j];
            }
        }
        p = next_packet(p);
    }
}

void mesh_vertex_normals(const Vec4* vertices, int32_t vertex_count, const MeshTriangle* triangles,
                         int32_t triangle_count, Vec4* normals) {
    for (int32_t i = 0; i < vertex_count; ++i)
        normals[i] = Vec4{0, 0, 0, 1};
    for (int32_t t = 0; t < triangle_count; ++t) {
        const int32_t* v = triangles[t].v;
        Vec4 face = {};
        face_normal(&face, &vertices[v[0]], &vertices[v[1]], &vertices[v[2]]);
        for (int j = 0; j < 3; ++j)
            take_face_normal(&normals[v[j]], face);
    }
}
