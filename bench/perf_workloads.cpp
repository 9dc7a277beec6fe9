// sketch3d-perf-workloads: the fixed work whose instructions `make perf-check`
// counts. Run under Valgrind's callgrind with --instr-atstart=no and
// --collect-atstart=no (tools/perf-check.py does), it instruments and collects
// each workload alone, between client requests, and dumps its count under the
// workload's name; setting the scenes up, warming them and checking the
// results are not counted, and run uninstrumented, several times faster. Run
// natively, the requests do nothing and the program only checks that every
// workload did its work.
//
// Exit status: 0 when every workload did its work, 1 when one did not (its
// count would measure something else), 2 when a scene could not be built.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/animation_state.h"
#include "app/edited_object.h"
#include "app/part_texture.h"
#include "app/platform.h"
#include "app/screen.h"
#include "app/view_zoom.h"
#include "bench/demo_scene.h"
#include "bench/fill_batch.h"
#include "platform/headless/headless.h"
#include "raster/fills/shaded_fills.h"
#include "raster/render_stats.h"

namespace {

struct Rotation {
    int32_t x, y;
    const char* name;
};
// Square-on, and turned as users turn the sheet to look at it.
constexpr Rotation ROTATIONS[] = {{0, 0, "0,0"}, {57, 57, "57,57"}};

int failed_workloads = 0;

// Counts `work` alone: instrumentation and collection are off outside it, and
// the statistics are zeroed before and dumped after, so the dump holds this
// workload only. Then `done` says whether the work did what it is meant to; a
// workload that did not is reported and fails the run.
template <typename Work, typename Done>
void measure(const std::string& name, Work work, Done done) {
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_ZERO_STATS;
    CALLGRIND_TOGGLE_COLLECT;
    work();
    CALLGRIND_TOGGLE_COLLECT;
    CALLGRIND_DUMP_STATS_AT(name.c_str());
    CALLGRIND_STOP_INSTRUMENTATION;
    if (done()) return;
    std::fprintf(stderr, "%s: the workload did not do its work\n", name.c_str());
    ++failed_workloads;
}

// The editing-mode frame (clear, transform, render, mark) of the scene as it
// stands, at each rotation; the first frame at a rotation is not counted.
void measure_frames(const char* scene) {
    for (const Rotation& rotation : ROTATIONS) {
        set_demo_rotation(rotation.x, rotation.y, 0);
        render_demo_frame();
        measure(
            std::string("frame/") + scene + "/" + rotation.name, [] { render_demo_frame(); },
            [] { return last_frame_drawn() > 0 && last_frame_pixels() > 0; });
    }
}

// Each fill family over each polygon set, drawn as the dispatcher draws
// (lit fills may keep their levels' pixels), on a cleared page. The first
// pass is not counted.
void measure_fills() {
    for (int family = 0; family < FILL_FAMILIES; ++family) {
        for (bool large : {true, false}) {
            const FillBatch batch = large ? large_triangle() : cell_triangles();
            clear_screen();
            open_lit_level_cache();
            draw_fill_batch(FillFamily(family), batch);
            reset_render_stats();
            measure(
                std::string("fill/") + FILL_NAMES[family] + (large ? "/large" : "/cells"),
                [&] { draw_fill_batch(FillFamily(family), batch); },
                [] { return render_stats.pixels_written > 0; });
            close_lit_level_cache();
        }
    }
}

}  // namespace

int main() {
    // The demonstration's sheet: flat, in relief, then inflated (the I key),
    // as make bench-peer compares them; the fills draw into its page.
    if (open_demo_scene(DemoOutline::ELLIPSE) < 0) {
        std::fprintf(stderr, "the ellipse's sheet was not built\n");
        return 2;
    }
    measure_frames("flat");
    add_demo_relief(DEMO_RELIEF_DEPTH);
    measure_frames("relief");
    if (inflate_demo_object() < 0) {
        std::fprintf(stderr, "the ellipse's sheet was not inflated\n");
        close_demo_scene();
        return 2;
    }
    measure_frames("inflated");
    if (!load_fill_texture()) {
        std::fprintf(stderr, "the fills' texture was not loaded\n");
        close_demo_scene();
        return 2;
    }
    measure_fills();
    close_demo_scene();

    // Click to mesh over the whole screen: a right-click outside any outline.
    if (open_demo_scene(DemoOutline::NONE) < 0) {
        std::fprintf(stderr, "the whole screen's sheet was not built\n");
        return 2;
    }
    prepare_demo_rebuild();
    int32_t built = -1;
    measure(
        "click_to_mesh/whole_screen", [&] { built = rebuild_demo_object(); },
        [&] { return built >= 0 && demo_triangles() > 0; });
    // The I key on that sheet: the largest region a body is planned for.
    const int32_t screen_triangles = demo_triangles();
    int32_t screen_body = -1;
    measure(
        "i_key/whole_screen", [&] { screen_body = inflate_demo_object(); },
        [&] { return screen_body >= 0 && demo_triangles() > screen_triangles; });
    close_demo_scene();

    // The I key on the disc's sheet.
    if (open_demo_scene(DemoOutline::DISC) < 0) {
        std::fprintf(stderr, "the disc's sheet was not built\n");
        return 2;
    }
    const int32_t sheet_triangles = demo_triangles();
    int32_t body = -1;
    measure(
        "i_key/disc_200", [&] { body = inflate_demo_object(); },
        [&] { return body >= 0 && demo_triangles() > sheet_triangles; });
    // That body seen as near as the wheel brings the eye (the ellipse's front comes too near
    // the eye for a notch): about five times the pixels.
    if (turn_demo_wheel(DEMO_ZOOM_NOTCHES) == DEFAULT_EYE_DISTANCE) {
        std::fprintf(stderr, "the wheel did not move the eye\n");
        ++failed_workloads;
    }
    measure_frames("zoomed");
    close_demo_scene();

    // A figure of six inflated parts of about 3,000 triangles each, built as a
    // user builds it (N between the parts): many small watertight triangles.
    if (open_figure_scene() < 0) {
        std::fprintf(stderr, "the figure was not built\n");
        return 2;
    }
    measure_frames("figure");
    // Its last step (the last part's I) undone and redone, each the shell's whole frame: the
    // figure emitted again from the kept record, then drawn.
    set_demo_rotation(0, 0, 0);
    figure_undo_frame(false);
    figure_undo_frame(true);
    for (bool redo : {false, true}) {
        headless_run_frames(1);  // the keys go up
        const int32_t kind = redo ? EDITED_BODY : EDITED_SHEET;
        measure(
            redo ? "redo/figure" : "undo/figure", [&] { figure_undo_frame(redo); },
            [&] { return figure().parts[FIGURE_SCENE_PARTS - 1].kind == kind; });
    }
    close_demo_scene();

    // The figure attached (each part drawn over the body): its last part taken back with
    // Backspace (the body's blend made again without that join), then drawn again and
    // inflated, the I frame inflating it and blending it and the body where they meet (the
    // body's other joins kept). Each is the shell's whole frame.
    if (open_figure_scene(true) < 0) {
        std::fprintf(stderr, "the attached figure was not built\n");
        return 2;
    }
    const int32_t last = FIGURE_SCENE_PARTS - 1;
    headless_run_frames(1);
    measure(
        "join/remove_part", [] { figure_key_frame(KEY_BACKSPACE); },
        [] { return figure().part_count == FIGURE_SCENE_PARTS - 1; });
    figure_key_frame(KEY_N);
    draw_figure_outline(last);
    right_click_frame();
    headless_run_frames(1);
    measure(
        "join/add_part", [] { figure_key_frame(KEY_I); },
        [&] {
            return figure().part_count == FIGURE_SCENE_PARTS &&
                   figure().parts[last].kind == EDITED_BODY && figure().parts[last].parent == 0;
        });
    close_demo_scene();

    // That figure attached and animated by a point on each hand and foot: a posing frame (the
    // first hand's point dragged a pixel: the solve, the posed figure written over the emitted
    // vertices, the frame drawn) and a played frame of a loop recorded from that drag, each the
    // shell's whole frame; the played frame once in the loop's first pass and once in the next.
    if (open_posing_scene() < 0 || !take_posing_point()) {
        std::fprintf(stderr, "the figure was not animated\n");
        return 2;
    }
    for (int32_t k = 0; k < 5; ++k)
        posing_drag_frame();
    std::vector<double> pose = animation_state().pose.position;
    measure(
        "pose/drag_frame", [] { posing_drag_frame(); },
        [&] { return last_frame_drawn() > 0 && animation_state().pose.position != pose; });
    let_go_posing_point();
    if (!record_demo_loop(40)) {
        std::fprintf(stderr, "no loop was recorded\n");
        close_demo_scene();
        return 2;
    }
    for (int32_t k = 0; k < 5; ++k)
        headless_run_frames(1);
    pose = animation_state().pose.position;
    measure(
        "pose/played_frame", [] { headless_run_frames(1); },
        [&] { return last_frame_drawn() > 0 && animation_state().pose.position != pose; });
    // The same frame two passes on, whose pose the pass before kept (the first pass began with
    // the recorded point still held, so the second solves its frames again).
    for (int32_t k = 1; k < 2 * animation_state().period; ++k)
        headless_run_frames(1);
    pose = animation_state().pose.position;
    measure(
        "pose/played_frame_again", [] { headless_run_frames(1); },
        [&] { return last_frame_drawn() > 0 && animation_state().pose.position != pose; });
    close_demo_scene();

    // The ellipse's body painted with the colour pens before its right-click: its frames,
    // drawn lit and textured, and the part's tiles made again from its region, mesh, base
    // colour and painting, as the I key's emission makes them (as many slots as it has).
    if (open_painted_scene() < 0) {
        std::fprintf(stderr, "the painted body was not built\n");
        return 2;
    }
    measure_frames("painted");
    const FigurePart& painted = figure().parts[0];
    const std::shared_ptr<const PartMesh> drawn = drawn_mesh(0);
    PartTiles tiles;
    std::vector<PartTexture> textures;
    measure(
        "texture/painted",
        [&] {
            if (!plan_part_tiles(*painted.region, drawn->vertices, drawn->triangles, 64, 1 << 20,
                                 &tiles))
                return;
            for (int32_t tile = 0; tile < tiles.tiling.columns * tiles.tiling.rows; ++tile)
                textures.push_back(
                    make_part_tile(tiles.tiling, tile, painted.colour, *painted.painting));
        },
        [&] {
            return textures.size() > 1 &&
                   textures.size() == size_t(tiles.tiling.columns * tiles.tiling.rows) &&
                   tiles.corners.size() == 3 * drawn->triangles.size();
        });
    close_demo_scene();

    // What built the program, for the budgets' record: counts depend on it.
    // Printed last, so that the output's buffer is allocated after the work.
#ifdef __clang__
    std::printf("compiler: %s\n", __VERSION__);
#else
    std::printf("compiler: GCC %s\n", __VERSION__);
#endif
    return failed_workloads == 0 ? 0 : 1;
}
