// The wheel's zoom: notches waiting for a frame, and the eye's distance.
#include "app/view_zoom.h"

#include "geometry/camera.h"

namespace {

// 256 * 2^(-notch / 6) rounded, from the nearest eye to the farthest: the
// picture's size changes by the same factor at every notch.
constexpr int32_t EYE_DISTANCES[ZOOM_NOTCHES_NEARER + 1 + ZOOM_NOTCHES_FARTHER] = {
    128, 144, 161, 181, 203, 228, 256, 287, 323, 362, 406, 456, 512, 575, 645, 724, 813, 912, 1024};
static_assert(EYE_DISTANCES[0] == ZOOM_NEAREST_EYE);
static_assert(EYE_DISTANCES[ZOOM_NOTCHES_NEARER] == DEFAULT_EYE_DISTANCE);
static_assert(EYE_DISTANCES[ZOOM_NOTCHES_NEARER + ZOOM_NOTCHES_FARTHER] == ZOOM_FARTHEST_EYE);

struct ZoomState {
    int32_t notch = 0;    // from the start, positive nearer
    int32_t waiting = 0;  // turned since the last frame's input
};
ZoomState zoom;

int32_t clamp(int32_t value, int32_t low, int32_t high) {
    return value < low ? low : value > high ? high : value;
}

}  // namespace

void reset_view_zoom() {
    zoom = ZoomState{};
}

void add_wheel_notches(int32_t notches) {
    // Both within MAX_WHEEL_NOTCHES: the sum cannot overflow.
    notches = clamp(notches, -MAX_WHEEL_NOTCHES, MAX_WHEEL_NOTCHES);
    zoom.waiting = clamp(zoom.waiting + notches, -MAX_WHEEL_NOTCHES, MAX_WHEEL_NOTCHES);
}

int32_t waiting_wheel_notches() {
    return zoom.waiting;
}

void apply_wheel_notches(int32_t nearest_depth) {
    if (zoom.waiting == 0) return;
    const int32_t eye = eye_distance_at_notch(zoom.notch);
    int32_t notch = zoom.notch;
    if (zoom.waiting < 0) {
        notch = clamp(notch + zoom.waiting, -ZOOM_NOTCHES_FARTHER, ZOOM_NOTCHES_NEARER);
    } else {
        // Nearer a notch at a time while the figure stays far enough ahead (64-bit: the
        // depth may be anything a transform gives).
        for (int32_t left = zoom.waiting; left > 0 && notch < ZOOM_NOTCHES_NEARER; --left) {
            const int64_t gap =
                int64_t(nearest_depth) + eye_distance_at_notch(notch + 1) - int64_t(eye);
            if (gap < ZOOM_NEAREST_GAP) break;
            ++notch;
        }
    }
    zoom.notch = notch;
    zoom.waiting = 0;
    // Along the axis through the origin: the eye keeps x = y = 0 and its
    // angles, so the origin stays where it shows on the screen.
    camera_state()->position.z = eye_distance_at_notch(zoom.notch);
}

int32_t zoom_notch() {
    return zoom.notch;
}

int32_t eye_distance_at_notch(int32_t notch) {
    return EYE_DISTANCES[ZOOM_NOTCHES_NEARER -
                         clamp(notch, -ZOOM_NOTCHES_FARTHER, ZOOM_NOTCHES_NEARER)];
}

int32_t eye_distance() {
    const int32_t z = camera_state()->position.z;
    return z > MIN_EYE_GAP ? z : DEFAULT_EYE_DISTANCE;
}
