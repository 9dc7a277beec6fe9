// The animation's state as plain values: the control points, the recorded
// motions, the loop and the pose. The animation mode (app/animate.h) is its
// only writer; the undo history (app/undo_history.h) keeps copies of it with
// the figure and puts them back.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/pose_figure.h"

inline constexpr int32_t MAX_CONTROL_POINTS = MAX_POSE_HANDLES;
// A loop's frames at most: a minute at 50 frames a second. With every point
// moving that is 32 x 3000 x 24 bytes, about 2.3 MB of motion per state.
inline constexpr int32_t MAX_LOOP_FRAMES = 3000;

// A control point: where it lies on a part's rest surface, and where it is
// held (figure coordinates, geometry/pose_figure.h).
struct ControlPoint {
    PoseHandle at;
    double target[3];
    // The mesh `at` names a triangle of (the part's mesh as drawn): a point
    // whose part was rebuilt, pushed, joined again or removed since lies on
    // nothing any more.
    std::weak_ptr<const PartMesh> mesh;
};

// A recorded motion: point `point`'s target for each frame of the loop (3 per
// frame, `period` frames). Never changed once made; states share it.
struct Motion {
    int32_t point;
    std::vector<double> samples;
};

struct AnimationState {
    std::vector<ControlPoint> points;
    std::vector<std::shared_ptr<const Motion>> motions;
    int32_t period = 0;  // frames of the loop; 0 without a motion
    int32_t phase = 0;   // the loop's frame shown
    bool playing = false;
    bool recording = false;
    // The pose drawn, and the one every pass of the loop starts from (so that
    // each pass shows the same pictures), once the loop has come round.
    PoseState pose;
    bool loop_started = false;
    PoseState loop_start;
};
bool operator==(const AnimationState& a, const AnimationState& b);
// The state's own bytes (its motions apart, which states share).
int64_t animation_own_bytes(const AnimationState& s);

// The state now; the animation mode's to change.
AnimationState& animation_record();
const AnimationState& animation_state();
// Start-up and shut-down: no point, no motion.
void reset_animation_state();
// Undo's restore: the state back, the pose drawn as it was without solving
// again. Counted, so that the animation mode drops a drag or recording under
// way (animation_restores).
void restore_animation_state(const AnimationState& s);
uint32_t animation_restores();
