// The push brush of a body: Z with a button moves the front of the body under
// the cursor toward the viewer or away through a round brush whose push fades
// smoothly from its centre to its edge, and the circle that shows the brush
// while Z is held. (A sheet keeps its own push, app/outline.h.)
//
// The brush's radius is in the part's model units, which are the pixels of the
// picture the part was drawn on: [ and ] step it through BRUSH_RADII. It is a
// setting of the tool, like the eye's distance, not of the figure, so a change
// of it is no step of the undo history; it is recorded with the keys, so a
// replayed session pushes alike.
#pragma once

#include <cstdint>

#include "app/edited_object.h"

// The radii [ and ] step through, in model units.
inline constexpr int32_t BRUSH_RADII[] = {4, 6, 8, 12, 16, 24, 32, 48, 64};
inline constexpr int32_t MIN_BRUSH_RADIUS = 4;
inline constexpr int32_t MAX_BRUSH_RADIUS = 64;
inline constexpr int32_t DEFAULT_BRUSH_RADIUS = 16;
// The brush's weight at its centre: 16 fraction bits.
inline constexpr int32_t BRUSH_WEIGHT_ONE = 1 << 16;
// Pixels of the circle that shows the brush: white.
inline constexpr uint16_t BRUSH_CIRCLE_PIXEL = 0x7FFF;

// Start-up: the default radius.
void reset_push_brush();
int32_t brush_radius();
// The radius `steps` places up (positive, ]) or down ([) BRUSH_RADII, kept
// within its ends.
void step_brush_radius(int32_t steps);

// The falloff: (1 - d^2 / r^2)^2 for a point at squared distance d2 from the
// centre of a brush of squared radius r2 (the same units, 0 < r2 < 2^47), in
// 16 fraction bits: BRUSH_WEIGHT_ONE at the centre, falling with a level
// tangent at both ends to 0 at the edge and beyond. Falls as d2 grows.
int32_t brush_weight(int64_t d2, int64_t r2);

// Where a push acts, in a part's model frame and fine units: the cursor's
// point on the part's rim plane (model z = 0), and the eye, which lies on the
// plane y = 0 before the rim plane (eye_z < 0).
struct BrushAim {
    int64_t cursor_x, cursor_y;
    int64_t eye_x, eye_z;
};
// The aim of a cursor at model point (cx, cy) of the rim plane (cursor_in_part,
// app/figure.h) on a part placed at `placement`, the eye `eye` units before
// the sheet plane (the figure facing the viewer).
BrushAim brush_aim(int64_t cx, int64_t cy, const PartPlacement& placement, int32_t eye);

// The push of a body's front (and rim) through a brush of `radius` model units
// (of the rim plane): a front vertex is as far from the brush's centre as the
// point where it shows on the rim plane, seen from the eye, is from the
// cursor's, so the brush acts on what shows inside its circle, however near
// the eye the front bulges. Each moves along its line from the eye, so that it
// keeps showing where it did, by delta (-1 toward the viewer, +1 away) times
// its weight times radius / 32 (at most 2 units) in depth, fine units. No
// edge is pushed steeper than 3 : 2 (where it would be, and steeper than it
// was, its more-moved end stays), and a front vertex pushed away stops a unit
// before its twin behind. So that no vertex ever moves alone, a brush
// narrower than twice the longest edge at the front vertex nearest the cursor
// acts with that width instead (where the refinement below found no room).
// Whole positions follow the fine ones; the caller computes the normals again.
// Nothing for a mesh that is not a body.
void push_body_front(PartMesh* body, const BrushAim& aim, int32_t delta, int32_t radius);

// The refinement under the brush, so that even the narrowest brush moves a
// smooth mound of several vertices: the body's front edges that show longer
// than half the brush's radius with their midpoints within the radius and a
// half of the cursor are split at their midpoints, pass after pass, and the
// back's twin edges with them; a split edge of the outline gives a new rim
// vertex, any other edge a new inner vertex of the front and its twin behind.
// The layout stays a body's (the rim, the front, then the twins behind in the
// front's order; the front's triangles, then their twins behind turned the
// other way), the body stays closed and outward, and its shape does not
// change: a new vertex lies on the edge it splits (to a fine unit). True with
// the refined mesh in *refined (normals not yet computed) when an edge was
// split; false for none, or for a mesh without a body's layout.
bool refine_body_under_brush(const PartMesh& body, const BrushAim& aim, int32_t radius,
                             PartMesh* refined);

// Z with a button on part `part`, a body, with the cursor at model point
// (cx, cy) of its rim plane: the part refined under the brush when the buffers
// have room for it (the figure emitted again, app/edited_object.h), then
// pushed, its normals computed again and written over its emitted records.
void push_body_part(int32_t part, int64_t cx, int64_t cy, int32_t delta);

// The brush's radius on the screen for a part placed at `placement` with the
// eye `eye` units before the sheet plane: radius * scale / (eye + depth) at
// the focal length, rounded, at most 4096.
int32_t brush_circle_radius(int32_t radius, const PartPlacement& placement, int32_t eye);
// A one-pixel circle of BRUSH_CIRCLE_PIXEL around client pixel (x, y) on a page
// of width x height pixels; only the pixels on the page are written.
void draw_brush_circle(uint16_t* page, int32_t width, int32_t height, int32_t x, int32_t y,
                       int32_t radius);
