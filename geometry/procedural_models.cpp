// The seven start-up models of the model library, their point helpers and
// the pseudo-random generator that scatters the starburst's spikes.
#include "base/memory.h"
#include "geometry/fixed_math.h"
#include "geometry/matrix.h"
#include "geometry/model_library.h"

namespace {

constexpr int32_t SEGMENTS = 16;
constexpr int32_t SEGMENT_ANGLE = ANGLE_STEPS / SEGMENTS;  // 64 steps, 22.5 degrees
constexpr int32_t BAND_HEIGHT = 50;
constexpr int32_t SPIKE_HALF_WIDTH = 196;
constexpr int32_t SPIKE_LENGTH = 1024;

// Colour records of every polygon model: 0 black, 1 white.
constexpr int16_t BLACK = 0;
constexpr int16_t WHITE = 1;

uint32_t generator_state = 1;

void add_black_and_white() {
    begin_colour_section();
    add_model_point(0, 0, 0);
    add_model_point(255, 255, 255);
}

int add_triangle(int16_t v0, int16_t v1, int16_t v2, int16_t c0, int16_t c1, int16_t c2) {
    TrianglePacket t = {};
    t.head.header = PRIM_GOURAUD_ADD_TRI;
    t.v[0] = v0;
    t.v[1] = v1;
    t.v[2] = v2;
    t.col[0] = c0;
    t.col[1] = c1;
    t.col[2] = c2;
    return add_model_triangle(&t);
}

// Quad of a strip whose even vertices are the white edge and odd ones the
// black edge: segment i runs from pair i to pair i + 1, the last closing onto
// pair 0 (32 vertices, hence the AND 31).
int add_strip_quad(int16_t i) {
    QuadPacket q = {};
    q.head.header = PRIM_GOURAUD_ADD_QUAD;
    q.v[0] = int16_t((2 * i + 2) & 31);
    q.v[1] = int16_t(2 * i);
    q.v[2] = int16_t((2 * i + 1) & 31);
    q.v[3] = int16_t((2 * i + 3) & 31);
    q.col[0] = WHITE;
    q.col[1] = WHITE;
    q.col[2] = BLACK;
    q.col[3] = BLACK;
    return add_model_quad(&q);
}

// A fan around vertex 0 over the rim vertices 1..16, closing onto vertex 1.
int add_fan() {
    begin_polygon_section();
    int failures = 0;
    for (int16_t i = 0; i < SEGMENTS; ++i)
        failures += add_triangle(0, i + 1, int16_t(((i + 1) & 15) + 1), WHITE, BLACK, BLACK) < 0;
    return failures;
}

// The polygon section of a closed strip of quads, one per segment; returns
// the builder's refusals.
int add_strip() {
    begin_polygon_section();
    int failures = 0;
    for (int16_t i = 0; i < SEGMENTS; ++i)
        failures += add_strip_quad(i) < 0;
    return failures;
}

// Counts the builder refusals of one finished model.
int finish(int failures) {
    return failures + (finish_model() < 0);
}

int build_disc() {
    begin_vertex_section();
    add_model_point(0, 0, 0);
    for (int32_t i = 0; i < SEGMENTS; ++i) {
        int32_t x = 0, y = 0;
        polar_point(i * SEGMENT_ANGLE, 1, &x, &y);
        add_model_point(x, y, 0);
    }
    add_black_and_white();
    return finish(add_fan());
}

int build_ring() {
    begin_vertex_section();
    for (int32_t i = 0; i < SEGMENTS; ++i) {
        int32_t x = 0, y = 0;
        polar_point(i * SEGMENT_ANGLE, 1, &x, &y);
        add_model_point(x, y, 0);
        polar_point(i * SEGMENT_ANGLE, 2, &x, &y);
        add_model_point(x, y, 0);
    }
    add_black_and_white();
    return finish(add_strip());
}

// The band's vertex section: top (white) and bottom (black) of each segment.
void add_band_vertices() {
    begin_vertex_section();
    for (int32_t i = 0; i < SEGMENTS; ++i) {
        int32_t x = 0, z = 0;
        polar_point(i * SEGMENT_ANGLE, 1, &x, &z);
        add_model_point(x, BAND_HEIGHT, z);
        add_model_point(x, 0, z);
    }
}

int build_band() {
    add_band_vertices();
    add_black_and_white();
    return finish(add_strip());
}

// Each band segment keeps only its upper-left triangle.
int build_sawtooth() {
    add_band_vertices();
    add_black_and_white();
    begin_polygon_section();
    int failures = 0;
    for (int16_t i = 0; i < SEGMENTS; ++i) {
        failures += add_triangle(int16_t((2 * i + 2) & 31), int16_t(2 * i),
                                 int16_t((2 * i + 1) & 31), WHITE, WHITE, BLACK) < 0;
    }
    return finish(failures);
}

int build_cone() {
    begin_vertex_section();
    add_model_point(0, 0, 0);
    for (int32_t i = 0; i < SEGMENTS; ++i) {
        Vec4 p = {};
        sphere_point(&p, SEGMENTS, i, 3, 2);
        add_model_record(&p);
    }
    add_black_and_white();
    return finish(add_fan());
}

int build_starburst() {
    const Vec4 spike_base[2] = {{SPIKE_HALF_WIDTH, SPIKE_LENGTH, 0, 0},
                                {-SPIKE_HALF_WIDTH, SPIKE_LENGTH, 0, 0}};
    begin_vertex_section();
    add_model_point(0, 0, 0);
    for (int32_t k = 0; k < SEGMENTS; ++k) {
        int32_t r1 = next_random();
        int32_t r2 = next_random();
        int32_t r3 = next_random();
        Vec4 angles = {r3 & ANGLE_MASK, r2 & ANGLE_MASK, r1 & ANGLE_MASK, 0};
        Matrix rotation;
        matrix_rotation(&rotation, &angles);
        Vec4 tips[2] = {};
        transform_vectors(2, tips, spike_base, &rotation);
        add_model_point(tips[0].x, tips[0].y, tips[0].z);
        add_model_point(tips[1].x, tips[1].y, tips[1].z);
    }
    add_black_and_white();
    begin_polygon_section();
    int failures = 0;
    for (int16_t i = 0; i < SEGMENTS; ++i)
        failures +=
            add_triangle(0, int16_t(2 * i + 1), int16_t(2 * i + 2), WHITE, BLACK, BLACK) < 0;
    return finish(failures);
}

int build_sequence() {
    if (begin_sequence() < 0) return 1;
    int failures = add_sequence_entry(5, 0, 1, 1, 2, 0, 64, 2) < 0;
    return failures + (end_sequence() < 0);
}

}  // namespace

int32_t next_random() {
    generator_state = generator_state * 214013u + 2531011u;  // unsigned: wraps mod 2^32
    return int32_t((generator_state >> 16) & 0x7FFF);
}

uint32_t random_state() {
    return generator_state;
}
void set_random_state(uint32_t state) {
    generator_state = state;
}

int polar_point(int32_t angle, int32_t radius_factor, int32_t* x, int32_t* y) {
    if (sine_table() == nullptr || cosine_table() == nullptr) return -1;
    angle &= ANGLE_MASK;
    // Arithmetic shifts: negative coordinates round toward minus infinity.
    *x = (radius_factor * cosine_table()[angle]) >> 1;
    *y = (radius_factor * sine_table()[angle]) >> 1;
    return 0;
}

int sphere_point(Vec4* out, int32_t divisions, int32_t step, int32_t ring, int32_t shift) {
    if (divisions <= 0 || shift < 0 || shift > 31) return -1;
    if (sine_table() == nullptr || cosine_table() == nullptr) return -1;
    // Truncating divisions; the mask turns a full turn (ring == divisions) or
    // a negative step into the same angle inside the table.
    int32_t e = ((ring * ANGLE_STEPS) / divisions) & ANGLE_MASK;
    int32_t f = (((step % divisions) * ANGLE_STEPS) / divisions) & ANGLE_MASK;
    const int32_t* sine = sine_table();
    const int32_t* cosine = cosine_table();
    // Horizontal products of two 9-bit fractions shifted by 10, not 9: the
    // extra halving is what makes the shape an ellipsoid.
    out->x = ((cosine[f] * sine[e]) >> 10) << shift;
    out->y = cosine[e] << shift;
    out->z = ((sine[f] * sine[e]) >> 10) << shift;
    out->w = 0;
    return 0;
}

int build_model_library() {
    if (model_record_area() != nullptr) return -1;  // built already
    if (sine_table() == nullptr || cosine_table() == nullptr) return -1;
    auto* records = static_cast<Vec4*>(alloc_zeroed(MODEL_VERTEX_AREA_BYTES));
    if (records == nullptr) return -1;
    auto* polygons = static_cast<uint8_t*>(alloc_zeroed(MODEL_POLYGON_AREA_BYTES));
    if (polygons == nullptr) {
        free_block(records);
        return -1;
    }
    attach_model_areas(records, polygons);

    // Every model is built even after a refusal, as the start-up set would
    // be; the refusal only decides the result.
    int failures = build_disc();
    failures += build_ring();
    failures += build_band();
    failures += build_sawtooth();
    failures += build_cone();
    failures += build_starburst();
    failures += build_sequence();
    return failures == 0 ? 0 : -1;
}

void free_model_library() {
    uint8_t* polygons = model_polygon_area();
    Vec4* records = model_record_area();
    attach_model_areas(nullptr, nullptr);
    free_block(polygons);
    free_block(records);
}
