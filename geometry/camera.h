// The viewing state: camera, screen centre and the single directional light.
#pragma once

#include <cstdint>

#include "geometry/fixed_math.h"
#include "geometry/matrix.h"

struct CameraState {
    Vec4 position;  // model units
    Vec4 angles;    // pitch, yaw, roll in 0..1023
    Vec4 scale;     // 512 = 1.0
    Matrix matrix;  // make_view_matrix(position, angles, scale)
};

struct LightState {
    Vec4 vector;                  // direction, length about 1024
    int32_t r, g, b;              // colour, 0..255 each
};

CameraState* camera_state();
LightState* light_state();

void set_screen_centre(int32_t x, int32_t y);
int32_t screen_centre_x();
int32_t screen_centre_y();

// Points the camera from the eye at the target and rebuilds its matrix.
void set_camera(int32_t eye_x, int32_t eye_y, int32_t eye_z, int32_t target_x, int32_t target_y,
                int32_t target_z);
const Matrix* build_camera_matrix();

void set_light_direction(int32_t angle_x, int32_t angle_y, int32_t angle_z);
void set_light_colour(int32_t r, int32_t g, int32_t b);
const Vec4* light_vector();
const LightState* light_colour();
