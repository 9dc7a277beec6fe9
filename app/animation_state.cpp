// The animation's state, compared and counted.
#include "app/animation_state.h"

namespace {

struct StateRecord {
    AnimationState state;
    uint32_t restores = 0;
};

StateRecord record;

bool same_handle(const PoseHandle& a, const PoseHandle& b) {
    return a.part == b.part && a.triangle == b.triangle && a.b[0] == b.b[0] && a.b[1] == b.b[1] &&
           a.b[2] == b.b[2];
}

bool same_pose(const PoseState& a, const PoseState& b) {
    return a.rotation == b.rotation && a.position == b.position;
}

}  // namespace

bool operator==(const AnimationState& a, const AnimationState& b) {
    if (a.points.size() != b.points.size() || a.motions.size() != b.motions.size()) return false;
    for (size_t h = 0; h < a.points.size(); ++h) {
        const ControlPoint &p = a.points[h], &q = b.points[h];
        if (!same_handle(p.at, q.at) || p.target[0] != q.target[0] || p.target[1] != q.target[1] ||
            p.target[2] != q.target[2] || p.mesh.owner_before(q.mesh) ||
            q.mesh.owner_before(p.mesh))
            return false;
    }
    for (size_t m = 0; m < a.motions.size(); ++m)
        if (a.motions[m] != b.motions[m] && (a.motions[m]->point != b.motions[m]->point ||
                                             a.motions[m]->samples != b.motions[m]->samples))
            return false;
    return a.period == b.period && a.phase == b.phase && a.playing == b.playing &&
           a.recording == b.recording && same_pose(a.pose, b.pose) &&
           a.loop_started == b.loop_started && same_pose(a.loop_start, b.loop_start);
}

int64_t animation_own_bytes(const AnimationState& s) {
    auto pose_bytes = [](const PoseState& p) {
        return int64_t((p.rotation.capacity() + p.position.capacity() + p.rhs.capacity()) *
                       sizeof(double));
    };
    return int64_t(s.points.capacity() * sizeof(ControlPoint)) +
           int64_t(s.motions.capacity() * sizeof(std::shared_ptr<const Motion>)) +
           pose_bytes(s.pose) + pose_bytes(s.loop_start);
}

AnimationState& animation_record() {
    return record.state;
}

const AnimationState& animation_state() {
    return record.state;
}

void reset_animation_state() {
    record = StateRecord{};
}

void restore_animation_state(const AnimationState& s) {
    record.state = s;
    ++record.restores;
}

uint32_t animation_restores() {
    return record.restores;
}
