// The posing core's test figure and its drag, shared by the posing test and by
// the check that builds for every target (pose_digest_check): a body with arms
// and legs, a point on each hand and foot, one hand swung up in the picture
// plane, and a digest of every bit the pose gives.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/pose_figure.h"

// The digest of posed_test_figure's pose: the same on every build (native,
// Windows, WebAssembly), since the solve uses + - * / and sqrt only in a fixed
// order. A change to the solve that moves it must say why.
inline constexpr uint64_t POSE_DIGEST = 0x9d4f92e46d474736ull;

// Torso, right and left arm, right and left leg (x grows to the right, y
// down). The left leg is modelled 40 units right of where it stands and
// placed back by its offset, and set 6 units deeper, so that the placement
// is part of what is checked.
struct PoseTestFigure {
    PartMesh meshes[5];
    PosePart parts[5];
};
const PoseTestFigure& pose_test_figure();

// The triangle farthest along (dx, dy) on part `part` (its mesh), as a
// control point at its centre.
PoseHandle tip_handle(const PartMesh& mesh, int32_t part, double dx, double dy);
PoseHandle tip_handle(const PoseTestFigure& f, int32_t part, double dx, double dy);

struct PosedTestFigure {
    PoseRig rig;
    PoseState state;
    double target[4][3];
    std::vector<Vec4> fine[5];
    uint64_t digest = 1469598103934665603ull;  // FNV-1a's offset basis
};

// The rig on the four tips, then the right hand swung 40 degrees up about
// the shoulder over twelve frames (its path's directions normalised, so that
// only + - * / and sqrt reach the numbers), one solve a frame; the digest is
// FNV-1a over the nodes' positions and rotations and every part's posed
// positions. False when the rig was not built.
bool pose_test_figure_swung(PosedTestFigure* out);
