// The viewing state: camera angles derived from an eye and a target, the
// camera matrix and the directional light.
#include "geometry/camera.h"

#include <cmath>

namespace {

inline constexpr Vec4 INITIAL_POSITION = {0, 0, 75, 1};
inline constexpr Vec4 INITIAL_ANGLES = {0, 0, 0, 1};
inline constexpr Vec4 INITIAL_SCALE = {FIXED_ONE, FIXED_ONE, FIXED_ONE, 1};

struct ViewState {
    CameraState camera;
};
ViewState view = {
    {INITIAL_POSITION, INITIAL_ANGLES, INITIAL_SCALE, {}},
};

}  // namespace

void reset_view_defaults() {
    view.camera.position = INITIAL_POSITION;
    view.camera.angles = INITIAL_ANGLES;
    view.camera.scale = INITIAL_SCALE;
    *light_state() = DEFAULT_LIGHT;
}

CameraState* camera_state() {
    return &view.camera;
}

void set_camera(int32_t eye_x, int32_t eye_y, int32_t eye_z, int32_t target_x, int32_t target_y,
                int32_t target_z) {
    // Differences wrap like every other 32-bit intermediate (-fwrapv).
    int32_t dx = target_x - eye_x;
    int32_t dy = target_y - eye_y;
    int32_t dz = target_z - eye_z;

    // The yaw adds half a turn when the eye is at or behind z = 0: the
    // arithmetic shift leaves 0 for ez >= 1 and -512..-1 for ez <= 0, and
    // clearing the low nine bits turns the latter into -512. The slope dx / dz
    // then gives the heading within that half turn.
    int32_t half_turn = ((eye_z - 1) >> 22) & ~511;

    // With dz = 0 the quotient is +-infinity and atan gives a quarter turn,
    // toward the target when it is the origin (the eye then has z = 0). 0 / 0
    // has no direction and is taken as straight ahead rather than converting a
    // NaN. atan is within +-pi/2, so the scaled value is within +-256 and its
    // conversion to int is always defined.
    double heading = 0.0;
    if (dx != 0 || dz != 0) heading = std::atan(double(dx) / double(dz));
    int32_t t = int32_t(heading * RADIANS_TO_ANGLE);

    int32_t yaw = (half_turn - t - 1) & ANGLE_MASK;

    // Horizontal distance. The sum of squares wraps in 32 bits; read as
    // unsigned it is exact up to 2^32 - 1 and never negative, so the square
    // root is always defined and below 65536.
    uint32_t ux = uint32_t(dx), uz = uint32_t(dz);
    uint32_t sum = ux * ux + uz * uz;
    int32_t h = int32_t(std::sqrt(double(sum)));
    // atan2 is within +-pi, so the scaled value is within +-512.
    int32_t pitch = int32_t(std::atan2(double(dy), double(h)) * RADIANS_TO_ANGLE) & ANGLE_MASK;

    view.camera.angles.x = pitch;
    view.camera.angles.y = yaw;
    view.camera.angles.z = 0;
    view.camera.position.x = eye_x;
    view.camera.position.y = eye_y;
    view.camera.position.z = eye_z;
    build_camera_matrix();
}

const Matrix* build_camera_matrix() {
    CameraState& c = view.camera;
    make_view_matrix(&c.matrix, &c.position, &c.angles, &c.scale);
    return &c.matrix;
}

void set_light_direction(int32_t angle_x, int32_t angle_y, int32_t angle_z) {
    Vec4 angles = {angle_x, angle_y, angle_z, 0};
    Vec4 unit_x = {UNIT_LENGTH, 0, 0, 0};
    Matrix rotation;
    matrix_rotation(&rotation, &angles);
    // Only x, y and z are written; the vector's w keeps its value.
    transform_vectors(1, &light_state()->vector, &unit_x, &rotation);
}

void set_light_colour(int32_t r, int32_t g, int32_t b) {
    LightState* light = light_state();
    light->r = r;
    light->g = g;
    light->b = b;
}

const Vec4* light_vector() {
    return &light_state()->vector;
}
