// Fixed-point 4x4 matrices (9 fraction bits, 512 = 1.0), the matrix stack of
// part hierarchies, and vertex transform and projection.
//
// Row vectors multiply from the left: v' = v * M, so A x B applies A first.
// Rows 0..2 hold the linear part, row 3 the translation times 512; column 3
// is (0, 0, 0, 512).
#pragma once

#include <cstdint>

#include "geometry/fixed_math.h"
#include "raster/packet.h"

inline constexpr int32_t MATRIX_STACK_DEPTH = 32;

struct Matrix {
    int32_t m[16];  // entry [r][c] at r * 4 + c
};
static_assert(sizeof(Matrix) == 64);

void matrix_identity(Matrix* out);
int matrix_translation(Matrix* out, const Vec4* t);
int matrix_scale(Matrix* out, const Vec4* s);
// Rotation about z, then y, then x. Angles are kept in 0..1023 by their
// writers; others are masked into that range. Before init_trig_tables: writes
// the identity and returns -1.
int matrix_rotation(Matrix* out, const Vec4* angles);
// out = a x b, each of the four products of an entry shifted separately; out
// may be a or b.
int matrix_multiply(Matrix* out, const Matrix* a, const Matrix* b);
// out = S x (R x T): scaled, then rotated, then translated.
void make_object_matrix(Matrix* out, const Vec4* translation, const Vec4* angles,
                        const Vec4* scale);
// out = S x (T x R): scaled, then translated, then rotated (the camera).
void make_view_matrix(Matrix* out, const Vec4* translation, const Vec4* angles, const Vec4* scale);

// Start-up step of the transform machinery: fills the sine and cosine tables
// (init_sine_cosine_tables, geometry/fixed_math.h), then allocates the matrix
// stack. A second call first frees the first one's blocks. 0 on success; -1
// after the allocator's message, with nothing left allocated.
int init_trig_tables();
// Shut-down: frees the matrix stack and both tables; safe when nothing was
// allocated.
void free_trig_tables();

// The stack storage (32 matrices), allocated and freed by the two above;
// until then push and pop return -1. reset_matrix_stack empties it at the start
// of every object's transform.
int init_matrix_stack();
void free_matrix_stack();
void reset_matrix_stack();
// Stores a copy of m on top; returns the old depth, or -1 (nothing stored)
// when the stack is full.
int push_matrix(const Matrix* m);
// Drops the top n entries and copies the deepest one dropped (the matrix pushed
// when the depth was the new depth) into out; returns the new depth. -1 with
// nothing changed when n < 1 or fewer than n entries are held.
int pop_matrices(Matrix* out, int n);
int matrix_stack_depth();

// The centre added to every projected vertex; set once at start-up from the
// screen size. (0, 0) until then.
void set_screen_centre(int32_t x, int32_t y);
int32_t screen_centre_x();
int32_t screen_centre_y();

// Transforms and projects count vertices (focal length 256 pixels around the
// screen centre). A vertex at or behind the eye plane keeps its unprojected
// coordinates and gets w = -1. Returns 0.
int transform_and_project(int count, ScreenVertex* out, const Vec4* in, const Matrix* m);
// Transforms x, y, z of count vectors, translation row included, shifting the
// whole sum once; w untouched. out may be in. Returns 0.
int transform_vectors(int count, Vec4* out, const Vec4* in, const Matrix* m);
// x, y, z of one vector as transform_vectors gives them (w is 0), for loops that
// use the result at once. The sums wrap (-fwrapv); the shift is arithmetic.
inline Vec4 transformed_vector(const Vec4& v, const Matrix& m) {
    const int32_t* e = m.m;
    return Vec4{(v.x * e[0] + v.y * e[4] + v.z * e[8] + e[12]) >> FIXED_SHIFT,
                (v.x * e[1] + v.y * e[5] + v.z * e[9] + e[13]) >> FIXED_SHIFT,
                (v.x * e[2] + v.y * e[6] + v.z * e[10] + e[14]) >> FIXED_SHIFT, 0};
}
