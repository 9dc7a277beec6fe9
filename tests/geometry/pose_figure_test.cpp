// Posing a figure by control points: a body with arms and legs, a point on
// each hand and foot, one hand swung up in the picture plane.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "geometry/kept_loop_poses.h"
#include "geometry/pose_figure.h"
#include "support/posed_figure.h"

namespace {

double volume(const PartMesh& mesh, const std::vector<Vec4>& fine) {
    double sum = 0;
    for (const MeshTriangle& t : mesh.triangles) {
        const Vec4 &a = fine[size_t(t.v[0])], &b = fine[size_t(t.v[1])], &c = fine[size_t(t.v[2])];
        sum += double(a.x) * (double(b.y) * c.z - double(b.z) * c.y) -
               double(a.y) * (double(b.x) * c.z - double(b.z) * c.x) +
               double(a.z) * (double(b.x) * c.y - double(b.y) * c.x);
    }
    return sum;
}

void normal(const std::vector<Vec4>& fine, const MeshTriangle& t, double* n) {
    const Vec4 &a = fine[size_t(t.v[0])], &b = fine[size_t(t.v[1])], &c = fine[size_t(t.v[2])];
    const double u[3] = {double(b.x - a.x), double(b.y - a.y), double(b.z - a.z)};
    const double v[3] = {double(c.x - a.x), double(c.y - a.y), double(c.z - a.z)};
    n[0] = u[1] * v[2] - u[2] * v[1];
    n[1] = u[2] * v[0] - u[0] * v[2];
    n[2] = u[0] * v[1] - u[1] * v[0];
}

}  // namespace

TEST(PoseFigure, SwungHandFollowsRestHoldsAndFigureStaysRigid) {
    const PoseTestFigure& f = pose_test_figure();
    PosedTestFigure posed;
    ASSERT_TRUE(pose_test_figure_swung(&posed));
    const PoseRig& rig = posed.rig;
    EXPECT_GE(rig.node_count, 200);
    EXPECT_LE(rig.node_count, 600);

    // The rest pose gives back every part's own fine positions exactly.
    PoseState rest;
    reset_pose(rig, &rest);
    std::vector<Vec4> at_rest;
    for (int32_t p = 0; p < 5; ++p) {
        posed_part_positions(rig, rest, p, &at_rest);
        EXPECT_TRUE(std::memcmp(at_rest.data(), f.meshes[p].fine.data(),
                                at_rest.size() * sizeof(Vec4)) == 0)
            << "part " << p;
    }

    // The dragged hand lands on its target within a pixel; the others stay.
    for (int32_t h = 0; h < 4; ++h) {
        double at[3], start[3];
        posed_handle_position(rig, posed.state, h, at);
        rest_handle_position(rig, h, start);
        const double* want = h == 0 ? posed.target[0] : start;
        const double miss = std::sqrt((at[0] - want[0]) * (at[0] - want[0]) +
                                      (at[1] - want[1]) * (at[1] - want[1]) +
                                      (at[2] - want[2]) * (at[2] - want[2]));
        EXPECT_LT(miss, h == 0 ? 0.5 : 0.05) << "handle " << h;
    }
    // The hand did move: 40 degrees on a radius of about 110.
    double start[3];
    rest_handle_position(rig, 0, start);
    EXPECT_GT(start[1] - posed.target[0][1], 60);

    for (int32_t p = 0; p < 5; ++p) {
        const PartMesh& mesh = f.meshes[p];
        const std::vector<Vec4>& now = posed.fine[p];
        ASSERT_EQ(now.size(), mesh.fine.size());
        // Volume within 5 %.
        const double v0 = volume(mesh, mesh.fine), v1 = volume(mesh, now);
        EXPECT_NEAR(v1 / v0, 1.0, 0.05) << "part " << p;
        // A limb's length, between its two ends along its axis, within 5 %.
        if (p > 0) {
            const bool arm = p <= 2;
            size_t lo = 0, hi = 0;
            for (size_t i = 0; i < mesh.fine.size(); ++i) {
                const int32_t a = arm ? mesh.fine[i].x : mesh.fine[i].y;
                if (a < (arm ? mesh.fine[lo].x : mesh.fine[lo].y)) lo = i;
                if (a > (arm ? mesh.fine[hi].x : mesh.fine[hi].y)) hi = i;
            }
            auto length = [&](const std::vector<Vec4>& v) {
                const double d[3] = {double(v[hi].x - v[lo].x), double(v[hi].y - v[lo].y),
                                     double(v[hi].z - v[lo].z)};
                return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            };
            EXPECT_NEAR(length(now) / length(mesh.fine), 1.0, 0.05) << "part " << p;
        }
        // No face turned inside out: each posed normal on the side of its
        // rest normal as its nearest node turns it.
        int32_t flipped = 0;
        const int32_t first = rig.part_first_vertex[size_t(p)];
        for (const MeshTriangle& t : mesh.triangles) {
            double n0[3], n1[3];
            normal(mesh.fine, t, n0);
            normal(now, t, n1);
            const double* r =
                &posed.state.rotation[9 * size_t(rig.bindings[size_t(first + t.v[0])].node[0])];
            double dot = 0;
            for (int32_t c = 0; c < 3; ++c)
                dot += (r[3 * c] * n0[0] + r[3 * c + 1] * n0[1] + r[3 * c + 2] * n0[2]) * n1[c];
            flipped += dot <= 0;
        }
        EXPECT_EQ(flipped, 0) << "part " << p;
    }

    // The same bits from a second rig and solve, and the bits every target
    // gives (pose_digest_check runs the same on Windows and WebAssembly).
    PosedTestFigure again;
    ASSERT_TRUE(pose_test_figure_swung(&again));
    EXPECT_EQ(again.digest, posed.digest);
    EXPECT_EQ(posed.digest, POSE_DIGEST) << std::hex << "pose digest " << posed.digest;
}

TEST(PoseFigure, KeepsNodesRefusesBadInputAndHoldsWildTargets) {
    const PoseTestFigure& f = pose_test_figure();
    const PoseHandle good = tip_handle(f, 1, 1, 0);
    PosePart parts[2] = {f.parts[0], f.parts[1]};
    PoseRig rig, two;
    EXPECT_TRUE(build_pose_rig(parts, 2, &good, 1, &rig));
    // Another set of points on the same parts keeps the nodes, and a pose
    // carries over to its rig (it is not started again from rest).
    const PoseHandle pair[2] = {good, tip_handle(f, 0, 0, 1)};
    ASSERT_TRUE(build_pose_rig(parts, 2, pair, 2, &two));
    EXPECT_EQ(two.node_rest, rig.node_rest);
    PoseState carried, fresh;
    double moved[2][3];
    rest_handle_position(rig, 0, moved[0]);
    moved[0][1] -= 20;
    for (int32_t frame = 0; frame < 4; ++frame)
        solve_pose(rig, moved, &carried);
    posed_handle_position(two, carried, 1, moved[1]);
    solve_pose(two, moved, &carried);
    solve_pose(two, moved, &fresh);
    EXPECT_NE(carried.rotation, fresh.rotation);

    PoseHandle off = good;
    off.triangle = int32_t(f.meshes[1].triangles.size());
    PoseHandle not_finite = good;
    not_finite.b[1] = std::nan("");
    PoseHandle missing_part = good;
    missing_part.part = 2;
    PosePart no_mesh[2] = {f.parts[0], f.parts[1]};
    no_mesh[1].mesh = nullptr;
    PosePart later_parent[2] = {f.parts[0], f.parts[1]};
    later_parent[0].parent = 1;
    PosePart no_scale[2] = {f.parts[0], f.parts[1]};
    no_scale[1].scale = 0;
    PartMesh loose;
    loose.vertices = f.meshes[1].vertices;
    PosePart no_faces[2] = {f.parts[0], {&loose, 0, 0, FIXED_ONE, 0}};
    PoseHandle many[MAX_POSE_HANDLES + 1];
    std::fill(many, many + MAX_POSE_HANDLES + 1, good);
    const struct {
        const PosePart* parts;
        const PoseHandle* handles;
        int32_t handle_count;
    } bad[] = {{parts, &off, 1},          {parts, &not_finite, 1},
               {parts, &missing_part, 1}, {no_mesh, &good, 1},
               {later_parent, &good, 1},  {no_scale, &good, 1},
               {no_faces, &good, 1},      {parts, many, MAX_POSE_HANDLES + 1},
               {parts, &good, 0}};
    for (const auto& b : bad) {
        EXPECT_FALSE(build_pose_rig(b.parts, 2, b.handles, b.handle_count, &rig));
        EXPECT_FALSE(rig.valid);
    }

    // A target far out of range is held within reach (the pose stays finite
    // and the point goes as far as it may); one that is not a number leaves
    // its point at rest.
    ASSERT_TRUE(build_pose_rig(parts, 2, &good, 1, &rig));
    PoseState state;
    const double far[1][3] = {{1e300, -1e300, 0}};
    solve_pose(rig, far, &state);
    double at[3];
    posed_handle_position(rig, state, 0, at);
    EXPECT_GT(at[0], 1e5);
    EXPECT_LT(at[1], -1e5);
    for (double v : state.position)
        ASSERT_TRUE(std::isfinite(v));
    reset_pose(rig, &state);
    double rest[3];
    rest_handle_position(rig, 0, rest);
    const double pinned[1][3] = {{std::nan(""), rest[1], rest[2]}};
    solve_pose(rig, pinned, &state);
    posed_handle_position(rig, state, 0, at);
    EXPECT_NEAR(at[0], rest[0], 0.05);
}

// A loop of six frames played three passes through the kept poses, against
// the same passes solved: every frame the same bits; from the second pass on
// looked up, except a frame whose target moved and the rest of that pass
// (each solved from the one before); with room for two frames only the
// first two are looked up.
TEST(PoseFigure, KeptLoopPosesGiveTheSolvedBits) {
    const PoseTestFigure& f = pose_test_figure();
    const PoseHandle handles[2] = {tip_handle(f, 1, 1, 0), tip_handle(f, 3, 0, 1)};
    PoseRig rig;
    ASSERT_TRUE(build_pose_rig(f.parts, 5, handles, 2, &rig));
    constexpr int32_t PERIOD = 6;
    double rest[2][3];
    rest_handle_position(rig, 0, rest[0]);
    rest_handle_position(rig, 1, rest[1]);
    for (const int64_t room : {MAX_KEPT_LOOP_POSE_BYTES, int64_t(4 * 8 * 12 * rig.node_count)}) {
        KeptLoopPoses kept;
        kept.max_bytes = room;
        PoseState start, solved, looked;
        reset_pose(rig, &start);
        for (int32_t pass = 0; pass < 3; ++pass) {
            solved = looked = start;
            for (int32_t phase = 0; phase < PERIOD; ++phase) {
                double target[2][3] = {
                    {rest[0][0] + 4.0 * phase, rest[0][1] - 6.0 * phase, rest[0][2]},
                    {rest[1][0], rest[1][1], rest[1][2]}};
                const bool moved = pass == 2 && phase == 3;
                if (moved) target[1][0] += 5;
                solve_pose(rig, target, &solved);
                const bool hit = solve_loop_pose(&kept, 7, rig, PERIOD, phase, target, &looked);
                EXPECT_EQ(looked.rotation, solved.rotation) << pass << " " << phase;
                EXPECT_EQ(looked.position, solved.position) << pass << " " << phase;
                const bool kept_frame = room == MAX_KEPT_LOOP_POSE_BYTES || phase < 2;
                EXPECT_EQ(hit, pass > 0 && kept_frame && !(pass == 2 && phase >= 3))
                    << pass << " " << phase;
            }
        }
        EXPECT_LE(kept_loop_pose_bytes(kept), room + int64_t(PERIOD * sizeof(KeptLoopPose)));
        // Another rig build drops what was kept.
        looked = start;
        double target[2][3] = {{rest[0][0], rest[0][1], rest[0][2]},
                               {rest[1][0], rest[1][1], rest[1][2]}};
        EXPECT_FALSE(solve_loop_pose(&kept, 8, rig, PERIOD, 0, target, &looked));
    }
}
