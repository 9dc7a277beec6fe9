// Inflation: the I key turns the edited flat sheet into a closed, rounded
// body, about as thick as the outline is wide at each place.
//
// The shell only plans, adopts or refuses: the body is built from the region
// the sheet was filled from by the stages of geometry/inflate_region.h, and
// enters the scene through geometry/body_object.h.
#pragma once

#include <cstdint>

#include "geometry/assemble_body_shell.h"
#include "raster/packet.h"

// The body planned from a sheet, before anything is emitted.
struct BodyPlan {
    BodyShell shell;
    ColourRecord colour = {};
};

// Plans the body of the sheet object `index` from the region its build filled
// and the sheet's relief. False (and an empty plan) when the object is
// missing or nothing of its region can be inflated.
bool plan_body(int32_t index, BodyPlan* plan);

// Replaces the sheet object `index` with its body and returns the body's
// index; the rotation, position, scale and shading mode carry over. Returns
// `index` and changes nothing when the object already is a body, when nothing
// can be inflated, or when the body would not fit the body buffers (the
// capacity message is shown) or they cannot be allocated (the allocator's
// message). -1 for no object, and when the body's object cannot be created
// after all: the sheet is gone then, and drawing starts over as after a
// failed build.
int32_t inflate_object(int32_t index);

// How many vertices, from the body's first, belong to the surface that faces
// the viewer at rotation 0: the front and the rim of the body, or -1 while
// the edited object is a flat sheet.
int32_t inflated_front_vertices();

// Moves the body's front vertices within GRID_STEP of the model point (cx,
// cy) (or, when there is none, the nearest within twice that) by delta units
// in z, a vertex pushed away from the viewer stopping a
// unit short of its twin behind, and recomputes the body's normals. False
// (nothing done) while the edited object is not a body.
bool push_body_vertices(int64_t cx, int64_t cy, int32_t delta);

// Forgets the body: the outline tools call it when they discard the object.
void forget_inflation();
