// The poses a playing loop was solved to, kept so that a later pass of the
// loop looks each frame's pose up instead of solving it again.
//
// A loop plays one solve a frame, each warm-started from the frame before and
// every pass from the same first pose, so every pass solves the same inputs
// to the same bits. A kept frame holds the pose solve_pose gave and the
// targets it was given; it is used only when the rig is the same build, the
// targets are the same bits and the pose it starts from is, bit for bit, the
// one the kept frame started from (the kept frame before it, or the kept
// first pose). Whatever changed (a point dragged or recorded over the loop, a
// new first pose, another rig), the frame is solved as before, so a looked-up
// pose is always exactly the one solving would give.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/pose_figure.h"

// What the kept poses may take: 16 MB, about 420 frames (8 seconds at 50
// frames a second) of a figure of 400 nodes with 32 points. The frames of a
// longer loop beyond those are solved on every pass.
inline constexpr int64_t MAX_KEPT_LOOP_POSE_BYTES = int64_t(16) << 20;

struct KeptLoopPose {
    bool kept = false;
    std::vector<double> targets;   // 3 per control point
    std::vector<double> rotation;  // the pose solved, as PoseState's
    std::vector<double> position;
};

struct KeptLoopPoses {
    int64_t max_bytes = MAX_KEPT_LOOP_POSE_BYTES;
    uint64_t rig_build = 0;  // the caller's count of the rig's builds
    int32_t period = 0;
    // The pose the loop's frame 0 was solved from.
    std::vector<double> first_rotation;
    std::vector<double> first_position;
    std::vector<KeptLoopPose> frames;  // one a loop frame, `period`
};

// One frame of a playing loop: loop frame `phase` of `period`, from the pose
// in `state` toward `targets` (one per control point of the rig), as
// solve_pose(rig, targets, state) does, looked up when a kept frame had the
// same inputs, else solved and kept while the kept frames stay within
// max_bytes. `rig_build` names the rig: a different one drops every kept
// frame. True when the pose was looked up.
bool solve_loop_pose(KeptLoopPoses* kept, uint64_t rig_build, const PoseRig& rig, int32_t period,
                     int32_t phase, const double (*targets)[3], PoseState* state);

// The bytes the kept poses hold now.
int64_t kept_loop_pose_bytes(const KeptLoopPoses& kept);
