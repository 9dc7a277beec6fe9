// The wheel's zoom: the eye moves along the camera's axis, the line from the
// eye through the point it looks at (the model origin, on the sheet plane), in
// notches of a fixed table of distances.
//
// A notch toward the object (a positive count) brings the eye nearer, so that
// the picture grows by about 12 % (2^(1/6)); six notches double it, twelve
// notches away quarter it. The eye stays between ZOOM_NEAREST_EYE and
// ZOOM_FARTHEST_EYE units of the sheet plane, and a notch toward the object
// that would bring it within ZOOM_NEAREST_GAP units of the figure's nearest
// point (a tall body's front) is not taken, so that the eye never enters what
// it looks at. It starts, as the camera set up
// at start-up has it, at DEFAULT_EYE_DISTANCE: a session that never turns the
// wheel sees exactly the pictures it always did. Only the camera's distance
// changes, never its angles, so a part keeps its place on the screen while the
// picture grows or shrinks about the screen centre.
//
// What is built while the eye stands elsewhere is placed so that it shows
// where it was drawn (app/figure.h, placement_at_depth); a zoom changes how
// the figure is seen, not the figure, and is no step of the undo history.
#pragma once

#include <cstdint>

// The projection's focal length in pixels (geometry/matrix.h): a point at view
// depth 256 shows at its own size.
inline constexpr int32_t FOCAL_LENGTH = 256;
// The eye's distance from the sheet plane at start-up (the camera of app/startup.cpp).
inline constexpr int32_t DEFAULT_EYE_DISTANCE = 256;
// The notches from the start to the nearest and to the farthest eye.
inline constexpr int32_t ZOOM_NOTCHES_NEARER = 6;
inline constexpr int32_t ZOOM_NOTCHES_FARTHER = 12;
inline constexpr int32_t ZOOM_NEAREST_EYE = 128;
inline constexpr int32_t ZOOM_FARTHEST_EYE = 1024;
inline constexpr int32_t ZOOM_NEAREST_GAP = 32;
// A wheel message or a script's `wheel` line carries at most this many notches
// either way (more could not move the eye further anyway).
inline constexpr int32_t MAX_WHEEL_NOTCHES = 1000;

// Parts are never placed nearer the eye than this (model units).
inline constexpr int32_t MIN_EYE_GAP = 32;

// The eye's distance from the sheet plane (the camera's, model units); the
// camera at or behind the sheet plane counts as the one of start-up.
int32_t eye_distance();

// Start-up: the eye at the start, no notches waiting.
void reset_view_zoom();
// Notches turned (positive toward the object), between frames; they add up
// until the next frame's input takes them.
void add_wheel_notches(int32_t notches);
// Notches turned since the last frame's input took them.
int32_t waiting_wheel_notches();
// The frame's input: the notches waiting move the eye, within its limits, one
// at a time; `nearest_depth` is the least view depth of the figure's vertices
// (INT32_MAX for none), which a notch toward the object brings nearer by the
// distance the eye moves. The camera's position changes
// (its z), nothing else.
void apply_wheel_notches(int32_t nearest_depth);
// Notches from the start: positive nearer, negative farther.
int32_t zoom_notch();
// The eye's distance from the sheet plane at a notch (clamped into the table).
int32_t eye_distance_at_notch(int32_t notch);
