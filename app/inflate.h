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

// replace_sheet_with_body's answer when the body cannot be had: the sheet
// stays exactly as it was.
inline constexpr int32_t INFLATE_REFUSED = -2;

// Replaces the sheet object `sheet` with the body planned from it and
// returns the body's index; the rotation, position, scale and shading mode
// carry over, and the body's first plan.front_vertices vertices face the
// viewer. INFLATE_REFUSED, changing nothing, when the body would not fit the
// packet area or a pool (after the capacity message) or the pools are not
// bound. -1 for no sheet, and when the emission failed after all (the
// allocation of the body's record): the sheet is gone then and nothing of
// the body is left, so the shell discards as after a failed build. Which
// object is edited is the shell's to record (app/edited_object.h).
int32_t replace_sheet_with_body(int32_t sheet, const BodyPlan& plan);
