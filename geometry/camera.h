// The viewing state: the camera and the single directional light. (The
// projection centre is the matrix module's: set_screen_centre,
// geometry/matrix.h.)
#pragma once

#include <cstdint>

#include "geometry/fixed_math.h"
#include "geometry/matrix.h"
#include "raster/render_state.h"

struct CameraState {
    Vec4 position;  // model units
    Vec4 angles;    // pitch, yaw, roll in 0..1023
    Vec4 scale;     // 512 = 1.0
    Matrix matrix;  // make_view_matrix(position, angles, scale)
};

// Writes the initial camera (position (0, 0, 75), angles 0, scale 512, each
// with w = 1) and light (vector (1024, 0, 0), colour white). Called by
// start-up before anything else of the renderer, right before the shade
// tables are built.
void reset_view_defaults();

CameraState* camera_state();

// Points the camera from the eye at the target: derives pitch and yaw (roll 0)
// in floating point, stores the eye as the position and rebuilds the matrix.
// The matrix adds the position as it stands, so the view is centred on the
// target when the target is the world origin. Needs the trig tables. Any
// inputs are accepted: an eye and target at the same z give a quarter-turn
// yaw, or yaw 1023 (511 with the eye at z <= 0) when x is equal too.
void set_camera(int32_t eye_x, int32_t eye_y, int32_t eye_z, int32_t target_x, int32_t target_y,
                int32_t target_z);
// Rebuilds the camera matrix from the stored position, angles and scale
// (scaled, then translated, then rotated). Called at the start of every frame.
const Matrix* build_camera_matrix();

// Light vector = (1024, 0, 0) rotated by the angles; its w is kept. Needs the
// trig tables.
void set_light_direction(int32_t angle_x, int32_t angle_y, int32_t angle_z);
void set_light_colour(int32_t r, int32_t g, int32_t b);
// Read by the per-frame transform; the dispatcher reads the colour through
// light_colour (raster/render_state.h).
const Vec4* light_vector();
