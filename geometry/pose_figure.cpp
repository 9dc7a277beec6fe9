// PLACEHOLDER pose core (not for merge): moves the whole figure rigidly so that
// the control point farthest from its rest place reaches its target. It lets
// the shell's animation mode be built and run while the real posing core is
// written on its own branch; the lead drops this commit.
#include "geometry/pose_figure.h"

#include <cmath>

namespace {

constexpr double FINE_UNITS = 256.0;

bool handle_ok(const PosePart* parts, int32_t part_count, const PoseHandle& h) {
    if (h.part < 0 || h.part >= part_count) return false;
    if (h.triangle < 0 || size_t(h.triangle) >= parts[h.part].mesh->triangles.size()) return false;
    for (double b : h.b)
        if (!std::isfinite(b)) return false;
    return true;
}

}  // namespace

bool build_pose_rig(const PosePart* parts, int32_t part_count, const PoseHandle* handles,
                    int32_t handle_count, PoseRig* rig) {
    *rig = PoseRig{};
    if (part_count < 1 || handle_count < 1 || handle_count > MAX_POSE_HANDLES) return false;
    for (int32_t i = 0; i < part_count; ++i) {
        const PosePart& p = parts[i];
        if (p.mesh == nullptr || p.mesh->vertices.empty() || p.scale <= 0) return false;
        if (p.parent != POSE_NO_PART && (p.parent < 0 || p.parent >= i)) return false;
    }
    for (int32_t h = 0; h < handle_count; ++h)
        if (!handle_ok(parts, part_count, handles[h])) return false;
    rig->parts.assign(parts, parts + part_count);
    rig->part_first_vertex.push_back(0);
    for (int32_t i = 0; i < part_count; ++i) {
        const PosePart& p = parts[i];
        const PartMesh& m = *p.mesh;
        const bool fine = m.fine.size() == m.vertices.size();
        for (size_t v = 0; v < m.vertices.size(); ++v) {
            const Vec4& at = fine ? m.fine[v] : m.vertices[v];
            const double unit = fine ? 1.0 / FINE_UNITS : 1.0;
            rig->rest.push_back(at.x * unit * p.scale / FIXED_ONE + p.offset_x);
            rig->rest.push_back(at.y * unit * p.scale / FIXED_ONE);
            rig->rest.push_back(at.z * unit * p.scale / FIXED_ONE + p.depth);
        }
        rig->part_first_vertex.push_back(int32_t(rig->rest.size() / 3));
    }
    rig->node_count = 1;
    rig->handles.assign(handles, handles + handle_count);
    for (int32_t h = 0; h < handle_count; ++h) {
        const PoseHandle& ph = handles[h];
        const MeshTriangle& t = parts[ph.part].mesh->triangles[size_t(ph.triangle)];
        for (int a = 0; a < 3; ++a) {
            double s = 0;
            for (int k = 0; k < 3; ++k)
                s += ph.b[k] * rig->rest[size_t(rig->part_first_vertex[ph.part] + t.v[k]) * 3 + a];
            rig->handle_rest.push_back(s);
        }
    }
    rig->valid = true;
    return true;
}

void rest_handle_position(const PoseRig& rig, int32_t handle, double out[3]) {
    for (int a = 0; a < 3; ++a)
        out[a] = rig.handle_rest[size_t(handle) * 3 + size_t(a)];
}

void reset_pose(const PoseRig& rig, PoseState* state) {
    state->rotation.assign(size_t(rig.node_count) * 9, 0.0);
    for (int32_t n = 0; n < rig.node_count; ++n)
        for (int a = 0; a < 3; ++a)
            state->rotation[size_t(n) * 9 + size_t(a) * 4] = 1.0;
    state->position.assign(size_t(rig.node_count) * 3, 0.0);
}

void solve_pose(const PoseRig& rig, const double (*targets)[3], PoseState* state) {
    if (!rig.valid) return;
    if (state->position.size() != size_t(rig.node_count) * 3) reset_pose(rig, state);
    double best = -1;
    for (size_t h = 0; h < rig.handles.size(); ++h) {
        double d[3], len = 0;
        for (int a = 0; a < 3; ++a) {
            d[a] = targets[h][a] - rig.handle_rest[h * 3 + size_t(a)];
            len += d[a] * d[a];
        }
        if (len > best) {
            best = len;
            for (int a = 0; a < 3; ++a)
                state->position[size_t(a)] = d[a];
        }
    }
}

void posed_handle_position(const PoseRig& rig, const PoseState& state, int32_t handle,
                           double out[3]) {
    for (int a = 0; a < 3; ++a)
        out[a] = rig.handle_rest[size_t(handle) * 3 + size_t(a)] +
                 (state.position.size() >= 3 ? state.position[size_t(a)] : 0.0);
}

void posed_part_positions(const PoseRig& rig, const PoseState& state, int32_t part,
                          std::vector<Vec4>* fine_model) {
    if (!rig.valid || part < 0 || part >= int32_t(rig.parts.size())) return;
    const PosePart& p = rig.parts[size_t(part)];
    const int32_t first = rig.part_first_vertex[size_t(part)];
    const int32_t count = rig.part_first_vertex[size_t(part) + 1] - first;
    fine_model->resize(size_t(count));
    const double t[3] = {state.position.size() >= 3 ? state.position[0] : 0.0,
                         state.position.size() >= 3 ? state.position[1] : 0.0,
                         state.position.size() >= 3 ? state.position[2] : 0.0};
    const double shift[3] = {double(p.offset_x), 0.0, double(p.depth)};
    const bool fine = p.mesh->fine.size() == p.mesh->vertices.size();
    for (int32_t v = 0; v < count; ++v) {
        int32_t c[3];
        for (int a = 0; a < 3; ++a) {
            const double at = rig.rest[size_t(first + v) * 3 + size_t(a)] + t[a];
            c[a] = int32_t(std::floor((at - shift[a]) * FIXED_ONE / p.scale * FINE_UNITS + 0.5));
        }
        const Vec4& rest = fine ? p.mesh->fine[size_t(v)] : p.mesh->vertices[size_t(v)];
        (*fine_model)[size_t(v)] = Vec4{c[0], c[1], c[2], rest.w};
    }
}
