// Inflation: the I key turns the edited flat sheet into a closed, rounded
// body, about as thick as the outline is wide at each place.
//
// The shell plans, then adopts or refuses: the body is built from the region
// the sheet was filled from by the stages of geometry/inflate_region.h, and
// enters the scene through geometry/body_object.h. Which object is edited is
// the shell's to record (app/edited_object.h).
#pragma once

#include <cstdint>

#include "geometry/assemble_body_shell.h"
#include "raster/packet.h"

// The body planned from a sheet, before anything is emitted: its shell (the
// rim and the front first, front_vertices of them, then the back) and colour.
struct BodyPlan {
    BodyShell shell;
    int32_t front_vertices = 0;
    ColourRecord colour = {};
};

// Plans the body of the sheet object `index` from the region its build filled
// (in the sheet's model frame, app/edited_object.h) and the sheet's relief.
// False (and an empty plan) when the object is missing or nothing of its
// region can be inflated.
bool plan_body(int32_t index, const RegionMask& region, BodyPlan* plan);

// replace_sheet_with_body's answer when the body cannot be had: the sheet
// stays exactly as it was.
inline constexpr int32_t INFLATE_REFUSED = -2;

// Replaces the sheet object `sheet` with the body planned from it and
// returns the body's index; the rotation, position, scale and shading mode
// carry over, and the body's first plan.front_vertices vertices face the
// viewer. INFLATE_REFUSED, changing nothing, when the body would not fit the
// body buffers (after the capacity message) or they cannot be allocated
// (after the allocator's). -1 when the emission failed after all (a failed
// allocation of the body's record): the sheet is gone then and nothing of
// the body is left, so the shell discards as after a failed build.
//
// In a figure of several parts the others stay as they are: the sheet's
// storage is given back (remove_object) and the body emitted after the last
// part, in the body buffers the figure lives in, when it fits what they have
// left; else the capacity message, INFLATE_REFUSED and nothing changed.
int32_t replace_sheet_with_body(int32_t sheet, const BodyPlan& plan);
