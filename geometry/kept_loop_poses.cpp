// A playing loop's solved poses, kept and looked up on the later passes.
#include "geometry/kept_loop_poses.h"

#include <cstring>

namespace {

// Bit for bit: -0 and +0, or two NaNs, may lead the solve to different bits.
bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool same_bits(const std::vector<double>& a, const double* b, size_t count) {
    return a.size() == count &&
           (count == 0 || std::memcmp(a.data(), b, count * sizeof(double)) == 0);
}

// Keeps frame `phase`'s targets and pose. The frame after it was solved from
// what this one held before, so it is kept no more.
void keep_frame(KeptLoopPoses* kept, int32_t phase, const double* targets, size_t target_count,
                const PoseState& state) {
    KeptLoopPose& frame = kept->frames[size_t(phase)];
    frame.targets.assign(targets, targets + target_count);
    frame.rotation = state.rotation;
    frame.position = state.position;
    frame.kept = true;
    if (phase + 1 < kept->period) kept->frames[size_t(phase) + 1].kept = false;
}

}  // namespace

int64_t kept_loop_pose_bytes(const KeptLoopPoses& kept) {
    auto bytes = int64_t(kept.first_rotation.capacity() + kept.first_position.capacity());
    for (const KeptLoopPose& f : kept.frames)
        bytes += int64_t(f.targets.capacity() + f.rotation.capacity() + f.position.capacity());
    return bytes * int64_t(sizeof(double)) + int64_t(kept.frames.capacity() * sizeof(KeptLoopPose));
}

bool solve_loop_pose(KeptLoopPoses* kept, uint64_t rig_build, const PoseRig& rig, int32_t period,
                     int32_t phase, const double (*targets)[3], PoseState* state) {
    if (!rig.valid || period <= 0 || phase < 0 || phase >= period) {
        solve_pose(rig, targets, state);
        return false;
    }
    if (kept->rig_build != rig_build || kept->period != period) {
        const int64_t max_bytes = kept->max_bytes;
        *kept = KeptLoopPoses{};
        kept->max_bytes = max_bytes;
        kept->rig_build = rig_build;
        kept->period = period;
        kept->frames.resize(size_t(period));
    }
    const size_t target_count = 3 * rig.handles.size();
    const double* flat = targets[0];
    KeptLoopPose& frame = kept->frames[size_t(phase)];
    // The pose this frame's kept pose was solved from.
    const bool chained =
        phase == 0 ? same_bits(kept->first_rotation, state->rotation) &&
                         same_bits(kept->first_position, state->position)
                   : kept->frames[size_t(phase) - 1].kept &&
                         same_bits(kept->frames[size_t(phase) - 1].rotation, state->rotation) &&
                         same_bits(kept->frames[size_t(phase) - 1].position, state->position);
    if (chained && frame.kept && same_bits(frame.targets, flat, target_count)) {
        state->rotation = frame.rotation;
        state->position = frame.position;
        return true;
    }
    // Frames are kept from the loop's start while they fit: each holds a
    // pose and its targets.
    const int64_t frame_bytes =
        int64_t(sizeof(double)) * (12 * int64_t(rig.node_count) + int64_t(target_count));
    const bool fits = frame_bytes * (int64_t(phase) + 2) <= kept->max_bytes;
    if (phase == 0 && fits) {
        kept->first_rotation = state->rotation;
        kept->first_position = state->position;
    }
    solve_pose(rig, targets, state);
    if (fits && (phase == 0 || chained)) keep_frame(kept, phase, flat, target_count, *state);
    return false;
}
