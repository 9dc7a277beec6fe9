// Fixed-point matrix building and products, the matrix stack, and the vertex
// transforms that feed the rasterizers.
#include "geometry/matrix.h"

#include "base/memory.h"
#include "geometry/sse_lanes.h"

namespace {

inline constexpr int32_t STACK_BYTES = MATRIX_STACK_DEPTH * int32_t(sizeof(Matrix));

struct MatrixStack {
    Matrix* entries;  // MATRIX_STACK_DEPTH matrices, null until init_matrix_stack
    int depth;        // 0..MATRIX_STACK_DEPTH
};
MatrixStack stack;

// Where the projection puts the view axis on the screen, in pixels.
struct ProjectionCentre {
    int32_t x, y;
};
ProjectionCentre centre;

// Product of two 9-bit fractions. The shift is arithmetic, so negative
// products are floored: -1 * 1 gives -1, not 0.
inline int32_t fmul(int32_t a, int32_t b) {
    return (a * b) >> FIXED_SHIFT;
}

}  // namespace

void matrix_identity(Matrix* out) {
    for (int32_t i = 0; i < 16; ++i)
        out->m[i] = (i % 5 == 0) ? FIXED_ONE : 0;
}

int matrix_translation(Matrix* out, const Vec4* t) {
    matrix_identity(out);
    // Whole units become 9-bit fractions; large values wrap (-fwrapv).
    out->m[12] = t->x << FIXED_SHIFT;
    out->m[13] = t->y << FIXED_SHIFT;
    out->m[14] = t->z << FIXED_SHIFT;
    return 0;
}

int matrix_scale(Matrix* out, const Vec4* s) {
    matrix_identity(out);
    out->m[0] = s->x;
    out->m[5] = s->y;
    out->m[10] = s->z;
    return 0;
}

int matrix_rotation(Matrix* out, const Vec4* angles) {
    const int32_t* sine = sine_table();
    const int32_t* cosine = cosine_table();
    if (sine == nullptr || cosine == nullptr) {
        matrix_identity(out);
        return -1;
    }
    // Callers keep angles in 0..1023, where the mask changes nothing; it only
    // keeps a stray angle from reading outside the tables.
    int32_t ax = angles->x & ANGLE_MASK;
    int32_t ay = angles->y & ANGLE_MASK;
    int32_t az = angles->z & ANGLE_MASK;
    int32_t sx = sine[ax], cx = cosine[ax];
    int32_t sy = sine[ay], cy = cosine[ay];
    int32_t sz = sine[az], cz = cosine[az];
    int32_t* m = out->m;
    // Rotation about z, then y, then x. Negations apply to the full product
    // before its shift: (-(a * b)) >> 9 is not -((a * b) >> 9) when the product
    // is not a multiple of 512.
    m[0] = (cz * cy) >> 9;
    m[1] = ((((-(sy * sx)) >> 9) * cz) >> 9) - ((sz * cx) >> 9);
    m[2] = ((((-(sy * cx)) >> 9) * cz) >> 9) + ((sz * sx) >> 9);
    m[3] = 0;
    m[4] = (sz * cy) >> 9;
    m[5] = ((cz * cx) >> 9) - ((((sy * sx) >> 9) * sz) >> 9);
    m[6] = ((-(cz * sx)) >> 9) - ((((sy * cx) >> 9) * sz) >> 9);
    m[7] = 0;
    m[8] = sy;
    m[9] = (cy * sx) >> 9;
    m[10] = (cy * cx) >> 9;
    m[11] = 0;
    m[12] = 0;
    m[13] = 0;
    m[14] = 0;
    m[15] = FIXED_ONE;
    return 0;
}

int matrix_multiply(Matrix* out, const Matrix* a, const Matrix* b) {
    // Built in a temporary so that out may also be one of the inputs.
    Matrix product;
    for (int32_t i = 0; i < 4; ++i) {
        for (int32_t j = 0; j < 4; ++j) {
            // Each product is shifted on its own before the sum.
            product.m[i * 4 + j] =
                fmul(a->m[i * 4 + 0], b->m[0 * 4 + j]) + fmul(a->m[i * 4 + 1], b->m[1 * 4 + j]) +
                fmul(a->m[i * 4 + 2], b->m[2 * 4 + j]) + fmul(a->m[i * 4 + 3], b->m[3 * 4 + j]);
        }
    }
    *out = product;
    return 0;
}

void make_object_matrix(Matrix* out, const Vec4* translation, const Vec4* angles,
                        const Vec4* scale) {
    Matrix t, r, s, rt;
    matrix_translation(&t, translation);
    matrix_rotation(&r, angles);
    matrix_scale(&s, scale);
    matrix_multiply(&rt, &r, &t);
    matrix_multiply(out, &s, &rt);
}

void make_view_matrix(Matrix* out, const Vec4* translation, const Vec4* angles, const Vec4* scale) {
    Matrix t, r, s, tr;
    matrix_translation(&t, translation);
    matrix_rotation(&r, angles);
    matrix_scale(&s, scale);
    matrix_multiply(&tr, &t, &r);
    matrix_multiply(out, &s, &tr);
}

int init_trig_tables() {
    if (init_sine_cosine_tables() < 0) return -1;
    if (init_matrix_stack() < 0) {
        free_trig_tables();
        return -1;
    }
    return 0;
}

void free_trig_tables() {
    free_matrix_stack();
    free_sine_cosine_tables();
}

int init_matrix_stack() {
    free_matrix_stack();
    stack.entries = static_cast<Matrix*>(alloc_zeroed(STACK_BYTES));
    return stack.entries != nullptr ? 0 : -1;
}

void free_matrix_stack() {
    free_block(stack.entries);
    stack.entries = nullptr;
    stack.depth = 0;
}

void reset_matrix_stack() {
    stack.depth = 0;
}

int push_matrix(const Matrix* m) {
    if (stack.entries == nullptr || stack.depth >= MATRIX_STACK_DEPTH) return -1;
    stack.entries[stack.depth] = *m;
    return stack.depth++;
}

int pop_matrices(Matrix* out, int n) {
    // n >= 1 keeps depth - n inside 0..depth - 1, so the entry read is one
    // that was pushed.
    if (stack.entries == nullptr || n < 1 || stack.depth - n < 0) return -1;
    stack.depth -= n;
    *out = stack.entries[stack.depth];
    return stack.depth;
}

int matrix_stack_depth() {
    return stack.depth;
}

void set_screen_centre(int32_t x, int32_t y) {
    centre = {x, y};
}

int32_t screen_centre_x() {
    return centre.x;
}
int32_t screen_centre_y() {
    return centre.y;
}

int transform_and_project(int count, ScreenVertex* out, const Vec4* in, const Matrix* m) {
    const int32_t* e = m->m;
    int32_t centre_x = screen_centre_x();
    int32_t centre_y = screen_centre_y();
    // One vertex from its view x and y times 256 (the sums carry 9 fraction
    // bits, shifted by one: a focal length of 256 pixels) and its depth.
    auto store_vertex = [&](ScreenVertex& vertex, int32_t sx, int32_t sy, int32_t depth) {
        vertex.z = depth;
        if (depth <= 0) {
            // At or behind the eye plane: left unprojected and marked.
            vertex.x = sx;
            vertex.y = sy;
            vertex.w = -1;
        } else {
            // depth >= 1, so the division is defined; it truncates toward zero.
            // (w stored first: GCC then stores the four words one by one instead of
            // gathering them into one vector store, which takes twice the instructions.)
            vertex.w = 0;
            vertex.x = sx / depth + centre_x;
            vertex.y = sy / depth + centre_y;
        }
    };
    int i = 0;
#if defined(__SSE2__)
    // Four vertices' sums at a time (their nine multiplications a vertex are
    // most of the work besides the divisions); the records are all read
    // before any is written.
    const LaneMatrix lanes = lane_matrix(e);
    for (; i + 4 <= count; i += 4) {
        const FourRecords v = four_records(in + i);
        alignas(16) int32_t sx[4], sy[4], depth[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(sx),
                        _mm_srai_epi32(lanes_column(v, lanes, 0), 1));
        _mm_store_si128(reinterpret_cast<__m128i*>(sy),
                        _mm_srai_epi32(lanes_column(v, lanes, 1), 1));
        _mm_store_si128(reinterpret_cast<__m128i*>(depth),
                        _mm_srai_epi32(lanes_column(v, lanes, 2), FIXED_SHIFT));
        for (int k = 0; k < 4; ++k)
            store_vertex(out[i + k], sx[k], sy[k], depth[k]);
    }
#endif
    for (; i < count; ++i) {
        int32_t x = in[i].x, y = in[i].y, z = in[i].z;
        // Sums wrap (-fwrapv).
        store_vertex(out[i], (x * e[0] + y * e[4] + z * e[8] + e[12]) >> 1,
                     (x * e[1] + y * e[5] + z * e[9] + e[13]) >> 1,
                     (x * e[2] + y * e[6] + z * e[10] + e[14]) >> FIXED_SHIFT);
    }
    return 0;
}

int transform_vectors(int count, Vec4* out, const Vec4* in, const Matrix* m) {
    for (int i = 0; i < count; ++i) {
        // Read before writing, so out may be in.
        const Vec4 t = transformed_vector(in[i], *m);
        out[i].x = t.x;
        out[i].y = t.y;
        out[i].z = t.z;
    }
    return 0;
}
