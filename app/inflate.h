// Inflation: the I key turns the edited flat sheet into a closed, rounded
// body, about as thick as the outline is wide at each place.
//
// The front surface is the sheet's own vertices lifted toward the viewer, the
// back surface the same vertices pushed away by the same amount with its
// triangles wound the other way; the rim (the sheet's border) is shared, so
// the body is closed. The height at a vertex follows a circle through the
// border whose radius is the outline's half-width there: a disc becomes a
// sphere, a long band a round tube, and every height is an integer computed
// without floating point.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/fixed_math.h"
#include "raster/packet.h"

// The body planned from a sheet, before anything is emitted. Vertex i is the
// i-th record the emission enters into the vertex pool: the front surface and
// the rim come first (front_vertices of them), then the back surface.
struct BodyPlan {
    struct Triangle {
        int32_t v[3];
    };
    std::vector<Vec4> vertices;
    std::vector<Triangle> triangles;  // the front's in sheet order, then the back's
    int32_t front_vertices = 0;
    ColourRecord colour = {};
};

// Plans the body of the sheet object `index` from its pooled vertices and
// triangles. False (and an empty plan) when the object is missing or has no
// triangle to inflate.
bool plan_body(int32_t index, BodyPlan* plan);

// Replaces the sheet object `index` with its body and returns the body's
// index; the rotation, position, scale and shading mode carry over. Returns
// `index` and changes nothing when the object already is a body, has no
// triangle, or when the body would not fit the packet area or a pool; in that
// last case the capacity message is shown first, and the sheet stays exactly
// as it was. -1 for no object, and when the emission failed after all (the
// object's allocation failed): the sheet is gone then, and drawing starts
// over as after a failed build.
int32_t inflate_object(int32_t index);

// How many vertices, from the first of the pool, belong to the surface that
// faces the viewer at rotation 0: the front and the rim of the body, or -1
// while the edited object is a flat sheet.
int32_t inflated_front_vertices();

// Forgets the body: the outline tools call it when they discard the object.
void forget_inflation();
