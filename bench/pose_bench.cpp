// Posing a figure of about 20,000 triangles by four control points: the
// rig's build (once per set of points) and one drag frame's solve and posed
// vertices. `make bench` runs it after the renderer's tables.
#include <benchmark/benchmark.h>

#include <iterator>

#include "geometry/inflate_region.h"
#include "geometry/pose_figure.h"
#include "support/body_quality.h"
#include "support/posed_figure.h"

namespace {

struct Ellipse {
    double cx, cy, rx, ry;
};

// A figure of ten parts, each drawn over the one it hangs from.
struct PoseFigure {
    std::vector<PartMesh> meshes;
    std::vector<PosePart> parts;
    std::vector<PoseHandle> handles;
    int64_t triangles = 0;
};

const PoseFigure& pose_figure() {
    static const PoseFigure figure = [] {
        PoseFigure f;
        // Torso, head, arms, legs, then a hand on each arm and a foot on
        // each leg (figure units). The arms and hands are modelled twice as
        // large about x = 0 and placed at half scale, as a part drawn with
        // the eye nearer is, which gives them finer faces.
        const Ellipse shapes[] = {{0, -10, 75, 125},   {0, -178, 48, 48},   {115, -80, 85, 22},
                                  {-115, -80, 85, 22}, {32, 160, 26, 62},   {-32, 160, 26, 62},
                                  {212, -80, 28, 26},  {-212, -80, 28, 26}, {48, 222, 36, 16},
                                  {-48, 222, 36, 16}};
        const int32_t parents[] = {POSE_NO_PART, 0, 0, 0, 0, 0, 2, 3, 4, 5};
        const bool halved[] = {false, false, true, true, false, false, true, true, false, false};
        for (size_t p = 0; p < std::size(shapes); ++p) {
            Ellipse e = shapes[p];
            PosePart part = {nullptr, 0, 0, FIXED_ONE, parents[p]};
            if (halved[p]) {
                part.offset_x = int32_t(e.cx);
                part.scale = FIXED_ONE / 2;
                e = {0, 2 * e.cy, 2 * e.rx, 2 * e.ry};
            }
            const BodyOutline outline = {"part", [=](double x, double y) {
                                             return (x - e.cx) * (x - e.cx) / (e.rx * e.rx) +
                                                        (y - e.cy) * (y - e.cy) / (e.ry * e.ry) <=
                                                    1;
                                         }};
            f.meshes.push_back(body_part_mesh(inflate_region(outline_mask(outline), {}, {})));
            f.triangles += int64_t(f.meshes.back().triangles.size());
            f.parts.push_back(part);
        }
        for (size_t p = 0; p < f.meshes.size(); ++p)
            f.parts[p].mesh = &f.meshes[p];
        f.handles = {tip_handle(f.meshes[6], 6, 1, 0), tip_handle(f.meshes[7], 7, -1, 0),
                     tip_handle(f.meshes[8], 8, 0, 1), tip_handle(f.meshes[9], 9, 0, 1)};
        return f;
    }();
    return figure;
}

void BM_PoseRigBuild(benchmark::State& state) {
    const PoseFigure& f = pose_figure();
    PoseRig rig;
    for (auto _ : state) {
        if (!build_pose_rig(f.parts.data(), int32_t(f.parts.size()), f.handles.data(),
                            int32_t(f.handles.size()), &rig)) {
            state.SkipWithError("the rig was not built");
            break;
        }
    }
    state.counters["triangles"] = double(f.triangles);
    state.counters["nodes"] = rig.node_count;
}
BENCHMARK(BM_PoseRigBuild)->Unit(benchmark::kMillisecond);

// One drag frame: the first hand's target moved a unit further up each frame
// (and back after a hundred), the solve, and every part's posed vertices.
void BM_PoseFrame(benchmark::State& state) {
    const PoseFigure& f = pose_figure();
    PoseRig rig;
    if (!build_pose_rig(f.parts.data(), int32_t(f.parts.size()), f.handles.data(),
                        int32_t(f.handles.size()), &rig)) {
        state.SkipWithError("the rig was not built");
        return;
    }
    PoseState pose;
    reset_pose(rig, &pose);
    double targets[4][3];
    for (int32_t h = 0; h < 4; ++h)
        rest_handle_position(rig, h, targets[h]);
    const double start_y = targets[0][1];
    std::vector<Vec4> fine;
    int32_t frame = 0;
    for (auto _ : state) {
        targets[0][1] = start_y - double(frame % 100);
        ++frame;
        solve_pose(rig, targets, &pose);
        for (int32_t p = 0; p < int32_t(f.parts.size()); ++p)
            posed_part_positions(rig, pose, p, &fine);
        benchmark::DoNotOptimize(fine.data());
    }
    state.counters["triangles"] = double(f.triangles);
    state.counters["nodes"] = rig.node_count;
}
BENCHMARK(BM_PoseFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
