// Normals: face normals scaled to unit length, the vertex normals of an
// object accumulated from the faces around each vertex, and the test for a
// polygon that has no face (and so no normal) at all.
#pragma once

#include <cstdint>

#include "base/fixed_point.h"
#include "geometry/body_mesh.h"
#include "raster/packet.h"

// out = (q - p) x (r - q), scaled to length 1024 (truncating) unless zero.
void face_normal(Vec4* out, const Vec4* p, const Vec4* q, const Vec4* r);
// Whether a polygon of `count` corners (3 or 4; others are degenerate) is
// degenerate: two corners at one position, or a vector area of exactly zero
// (the corners on one line), summed over the fan from the first corner in
// 128-bit integers, so any int32 positions are judged exactly. Such a polygon
// draws nothing and has no face normal; the exports and the mesh stages
// leave it out. For a triangle it is the same as "no area".
bool is_degenerate_polygon(const Vec4* const corners[], int count);
// dst = src + add, scaled to length 1024 as in face_normal.
void add_normalised(Vec4* dst, const Vec4* src, const Vec4* add);
// Turns the polygons of a run of packets into lit polygons: sets POLY_LIT on
// every packet of depth mode 3 or 4, accumulates per-vertex normals indexed by
// vertex index, and points each polygon's normal indices at its vertices.
void accumulate_vertex_normals(int32_t packet_count, PrimitivePacket* first_packet,
                               int32_t normal_count, const Vec4* vertices, int32_t first_normal,
                               Vec4* normals);
// The same normals for a mesh held as plain data: normals[i] is what
// accumulate_vertex_normals lays at vertex i for the triangles emitted in this
// order (each vertex's first face normal, then each further face's added and
// scaled to length 1024 again, corner by corner), w 0; a vertex no triangle
// uses gets (0, 0, 0, 1). Corners must lie in 0 .. vertex_count - 1.
void mesh_vertex_normals(const Vec4* vertices, int32_t vertex_count, const MeshTriangle* triangles,
                         int32_t triangle_count, Vec4* normals);
