// The geometry pipeline: triangle emission into the packet area and the pools
// when an object is built, and the per-frame transform of the draw list into
// screen vertices, view normals and light intensities.
#pragma once

#include <cstdint>

#include "geometry/body_mesh.h"
#include "geometry/fixed_math.h"
#include "geometry/matrix.h"
#include "geometry/scene_objects.h"
#include "raster/packet.h"

// Emits one 48-byte triangle packet into the current render list, between
// create_object and finish_object. The records are entered into the pools
// (shared with equal records of the same object unless flags contain
// POLY_NO_SHARING) and the packet holds their indices. colours holds three
// records with POLY_PER_VERTEX_COLOUR, otherwise only colours[0] is read.
// tex_coords and normals may be null (absent). The header word is flags | 3.
// A full pool shows its message once per call; emission goes on.
// Returns the largest vertex index stored (as int16, widened), or -1 when no
// packet could be allocated, a record pointer is null or a pool it needs is
// not allocated.
int32_t add_triangle(const Vec4* const vertices[3], const ColourRecord* const colours[3],
                     const Vec4* const tex_coords[3], const Vec4* const normals[3], int32_t texture,
                     uint32_t flags, int32_t depth_bias);

// Transforms one object with its part hierarchy: each part is drawn in the
// frame of the part before it unless that part popped matrices. Projects the
// parts' vertices and, for PART_LIT parts, transforms their normals (full
// matrix, translation included; for PART_PLACED parts the object's rotation
// and scale with the camera only) and stores their light intensities (at most
// 255; negative values are kept). Ranges outside the pools are cut at the
// pool's capacity. Returns the number of parts processed, or -1 for a null
// argument or no render list.
int32_t transform_object(SceneObject* object, const Matrix* camera, const Vec4* light);

// Per frame, after input and before the render: rebuilds the camera matrix,
// reads the light vector and transforms every object on the draw list.
// Returns the number of objects transformed.
int32_t transform_scene();

// Emits an indexed triangle mesh into the current object, between
// create_object and finish_object: vertices (#V model records) enter the
// vertex pool in order, each triangle (its corners index vertices) a
// 48-byte packet with colour index 0 naming `colour`, header flags | 3, no
// texture, depth bias 0. With share_equal, equal records share one pool index
// (as add_triangle does); without it every vertex gets its own record, equal
// positions included. The capacity is checked first: when the packets (with
// the end word) do not fit what is left of the packet area, or the vertices
// what is left of the vertex or normal pool, that buffer's message is shown
// and nothing is emitted. Returns the pool index of the first vertex (without
// sharing, vertex i is that index + i), or -1.
int32_t add_indexed_triangles(const Vec4* vertices, int32_t vertex_count,
                              const MeshTriangle* triangles, int32_t triangle_count,
                              const ColourRecord* colour, uint32_t flags, bool share_equal);
