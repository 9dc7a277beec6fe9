// The renderer's benchmarks: the demonstration's frame and its stages, how the
// cost grows with triangles and raster size, the click-to-mesh build, every
// fill on large polygons and on grid-cell triangles, and the screen clear;
// after the runs, short tables of the figures that matter, each the fastest
// of its repetitions.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include <unistd.h>

#include "app/animation_state.h"
#include "app/edited_object.h"
#include "app/frame.h"
#include "app/inflate.h"
#include "app/mesh_export.h"
#include "app/part_texture.h"
#include "app/screen.h"
#include "bench/demo_scene.h"
#include "bench/fill_batch.h"
#include "bench/shell_frame.h"
#include "geometry/camera.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/inflate_region.h"
#include "geometry/register_body.h"
#include "geometry/render_list.h"
#include "platform/headless/headless.h"
#include "raster/dispatcher.h"
#include "raster/fills/lit_spans.h"
#include "raster/fills/shaded_fills.h"
#include "raster/ordering_table.h"
#include "raster/raster_target.h"
#include "raster/render_stats.h"
#include "raster/shade_tables.h"
#include "support/body_quality.h"
#include "support/front_picture.h"

namespace {

// One open scene at a time, reopened only when another is needed: the
// demonstration's sheet, or a grid sheet of a given triangle count.
struct OpenScene {
    bool open = false;
    DemoOutline outline = DemoOutline::ELLIPSE;
    bool relief = false;
    int32_t grid = 0;  // triangles asked of a grid sheet; 0 for the demonstration's
    bool inflated = false;
    bool figure = false;    // the figure of six inflated parts
    bool attached = false;  // its parts drawn over the body (blended)
    // The attached figure animated: four points placed, then one of them held, or a loop
    // recorded and playing.
    enum class Animated { NO, STILL, HELD, PLAYING } animated = Animated::NO;
};
OpenScene scene;

void close_scene() {
    if (!scene.open) return;
    use_demo_raster(0, 0);
    close_demo_scene();
    scene.open = false;
}

bool use_scene(DemoOutline outline, bool relief = false, bool inflated = false) {
    if (scene.open && scene.grid == 0 && !scene.figure && scene.outline == outline &&
        scene.relief == relief && scene.inflated == inflated) {
        use_demo_raster(0, 0);
        return true;
    }
    close_scene();
    scene = OpenScene{open_demo_scene(outline) >= 0, outline, relief, 0, inflated};
    if (scene.open && relief) add_demo_relief(DEMO_RELIEF_DEPTH);
    if (scene.open && inflated && inflate_demo_object() < 0) close_scene();
    return scene.open;
}

bool use_figure_scene(bool attached = false) {
    if (scene.open && scene.figure && scene.attached == attached &&
        scene.animated == OpenScene::Animated::NO)
        return true;
    close_scene();
    scene = OpenScene{};
    scene.figure = true;
    scene.attached = attached;
    scene.open = open_figure_scene(attached) >= 0;
    return scene.open;
}

// use_figure_scene for a benchmark, which is skipped when the figure is not built.
bool figure_scene_for(benchmark::State& state, bool attached = false) {
    if (use_figure_scene(attached)) return true;
    state.SkipWithError("the figure was not built");
    return false;
}

// The frames of the loop recorded for the played frame: two seconds at 50 frames a second.
constexpr int32_t DEMO_LOOP_FRAMES = 100;

bool use_animated_scene(OpenScene::Animated animated) {
    if (scene.open && scene.animated == animated) return true;
    close_scene();
    scene = OpenScene{};
    scene.figure = scene.attached = true;
    scene.animated = animated;
    scene.open = open_posing_scene() >= 0;
    if (scene.open && animated == OpenScene::Animated::HELD && !take_posing_point()) close_scene();
    if (scene.open && animated == OpenScene::Animated::PLAYING &&
        !record_demo_loop(DEMO_LOOP_FRAMES))
        close_scene();
    // Two passes played first: the first begins with the recorded point still held, the second
    // solves every frame again and keeps its poses, so that the frames timed are those of every
    // later pass (a pass that solves costs what pose/played_frame counts).
    if (scene.open && animated == OpenScene::Animated::PLAYING)
        for (int32_t k = 0; k < 2 * DEMO_LOOP_FRAMES; ++k)
            run_shell_frame();
    return scene.open;
}

bool use_grid_scene(int32_t triangles) {
    if (scene.open && !scene.figure && scene.grid == triangles) return true;
    close_scene();
    scene = OpenScene{open_grid_scene(triangles) >= 0, DemoOutline::NONE, true, triangles};
    return scene.open;
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// --- The demonstration's frame ---

// Times render_demo_frame as the scene stands and counts the triangles and
// pixels of one frame.
void time_demo_frames(benchmark::State& state) {
    render_demo_frame();
    const double drawn = last_frame_drawn();
    const double pixels = double(last_frame_pixels());
    for (auto _ : state)
        render_demo_frame();
    state.counters["triangles"] = drawn;
    state.counters["pixels"] = pixels;
}

// range(2): 1 for the sheet pushed into relief, where light varies across
// most triangles.
void BM_DemoFrame(benchmark::State& state) {
    if (!use_scene(DemoOutline::ELLIPSE, state.range(2) != 0)) {
        state.SkipWithError("the sheet was not built");
        return;
    }
    set_demo_rotation(int32_t(state.range(0)), int32_t(state.range(1)), 0);
    time_demo_frames(state);
}
BENCHMARK(BM_DemoFrame)
    ->ArgNames({"rx", "ry", "relief"})
    ->Args({0, 0, 0})
    ->Args({57, 0, 0})
    ->Args({0, 57, 0})
    ->Args({57, 57, 0})
    ->Args({0, 0, 1})
    ->Args({57, 57, 1})
    ->Unit(benchmark::kMillisecond);

// --- Where the frame's time goes ---

// The frame's stages, each timed around its own call in every frame: the
// clear, the transform with its lighting, the bucketing, and the walk of the
// ordering table, which dispatches every packet to its fill, sets the polygon
// up and fills its spans. range(0): 1 for the sheet in relief.
void BM_FrameStages(benchmark::State& state) {
    if (!use_scene(DemoOutline::ELLIPSE, state.range(0) != 0)) {
        state.SkipWithError("the sheet was not built");
        return;
    }
    set_demo_rotation(0, 0, 0);
    render_demo_frame();
    RenderList* list = current_render_list();
    double clear = 0, transform = 0, bucket = 0, draw = 0;
    for (auto _ : state) {
        const double start = now();
        clear_screen();
        const double cleared = now();
        transform_scene();
        const double transformed = now();
        reset_render_stats();
        bind_raster_target();
        bucket_packets(list);
        const double bucketed = now();
        draw_ordering_table(list);
        const double drawn = now();
        clear += cleared - start;
        transform += transformed - cleared;
        bucket += bucketed - transformed;
        draw += drawn - bucketed;
    }
    const auto per_frame = benchmark::Counter::kAvgIterations;
    state.counters["clear_s"] = benchmark::Counter(clear, per_frame);
    state.counters["transform_s"] = benchmark::Counter(transform, per_frame);
    state.counters["bucket_s"] = benchmark::Counter(bucket, per_frame);
    state.counters["draw_s"] = benchmark::Counter(draw, per_frame);
    state.counters["triangles"] = last_frame_drawn();
}
BENCHMARK(BM_FrameStages)->ArgName("relief")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The spans of one frame, as the lit fill hands them to its spans: recorded
// once by running the frame's lit triangles through the fill's own matching
// and pipeline, in the order the dispatcher paints them, then replayed. The
// demonstration draws nothing but lit triangles.
struct FrameSpans {
    template <typename Span, int N>
    struct Call {
        Span span;
        uint16_t* row;
        int32_t start, count;
        Side<N> left, right;
    };
    std::vector<Call<ConstantSpan, 0>> constant;
    std::vector<Call<GreyLitSpan, 1>> grey;
    std::vector<Call<LitSpan<FastArithmetic>, 3>> colour;
    std::deque<LevelPixels> levels;  // of the grey spans; a deque keeps them in place
    int64_t pixels = 0;

    template <typename Span, int N>
    void add(const Span& span, uint16_t* row, int32_t start, int32_t count, const Side<N>& left,
             const Side<N>& right) {
        pixels += count;
        if constexpr (std::is_same_v<Span, ConstantSpan>)
            constant.push_back({span, row, start, count, left, right});
        if constexpr (std::is_same_v<Span, GreyLitSpan>)
            grey.push_back({span, row, start, count, left, right});
        if constexpr (std::is_same_v<Span, LitSpan<FastArithmetic>>)
            colour.push_back({span, row, start, count, left, right});
    }
    size_t size() const { return constant.size() + grey.size() + colour.size(); }
};

void record_frame_spans(FrameSpans& spans) {
    RenderList* list = current_render_list();
    uint32_t* heads = ordering_table_heads();
    clear_screen();
    transform_scene();
    bind_raster_target();
    bucket_packets(list);
    for (int32_t bucket = ORDERING_TABLE_SIZE - 1; bucket >= 1; --bucket) {
        for (uint32_t reference = heads[bucket]; reference != NO_PACKET;) {
            PrimitivePacket* packet = referenced_packet(list, reference);
            if (packet == nullptr) break;
            reference = packet->link;
            if (packet_code(packet) != PRIM_LIT_TRI) continue;
            ColourRecord lights[3];
            const ScreenVertex* vertices[3];
            const ColourRecord* light_pointers[3];
            for (int k = 0; k < 3; ++k) {
                lights[k] =
                    lit_vertex_colour(list->intensities[packet_normals(packet)[k]], light_colour());
                vertices[k] = &list->screen_vertices[packet_vertices(packet)[k]];
                light_pointers[k] = &lights[k];
            }
            if (!polygon_has_height(vertices, 3)) continue;
            const ShadeTable* table = select_shade_table(int32_t(packet->extra));
            auto levels_of = [&](const int32_t column[3]) {
                spans.levels.emplace_back();
                compute_level_pixels(spans.levels.back(), table->entry, column);
                return spans.levels.back().pixel;
            };
            match_lit_span<FastArithmetic>(
                vertices, light_pointers, &list->colour_records[packet_colours(packet)[0]], 3,
                *table, levels_of, [&](const auto* entries, int32_t n, const auto& span) {
                    constexpr int N = std::remove_cvref_t<decltype(*entries)>::ATTRIBUTES;
                    fill_polygon<N>(entries, n,
                                    [&](uint16_t* row, int32_t start, int32_t count,
                                        const Side<N>& left, const Side<N>& right) {
                                        spans.add(span, row, start, count, left, right);
                                    });
                });
        }
        heads[bucket] = NO_PACKET;
    }
}

void BM_FrameSpans(benchmark::State& state) {
    if (!use_scene(DemoOutline::ELLIPSE, state.range(0) != 0)) {
        state.SkipWithError("the sheet was not built");
        return;
    }
    set_demo_rotation(0, 0, 0);
    FrameSpans spans;
    record_frame_spans(spans);
    for (auto _ : state) {
        for (const auto& call : spans.constant)
            call.span(call.row, call.start, call.count, call.left, call.right);
        for (const auto& call : spans.grey)
            call.span(call.row, call.start, call.count, call.left, call.right);
        for (const auto& call : spans.colour)
            call.span(call.row, call.start, call.count, call.left, call.right);
        benchmark::ClobberMemory();
    }
    state.counters["spans"] = double(spans.size());
    state.counters["pixels"] = double(spans.pixels);
}
BENCHMARK(BM_FrameSpans)->ArgName("relief")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// --- How the cost grows ---

// Grid sheets in relief over the whole window, 1,000 triangles up to the
// packet format's limit.
void BM_GridFrame(benchmark::State& state) {
    if (!use_grid_scene(int32_t(state.range(0)))) {
        state.SkipWithError("the grid sheet was not built");
        return;
    }
    time_demo_frames(state);
    state.counters["built"] = demo_triangles();
}
BENCHMARK(BM_GridFrame)
    ->ArgName("triangles")
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(GRID_SCENE_MAX_TRIANGLES)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

// The demonstration's sheet in relief scaled to rasters of other sizes.
void BM_RasterFrame(benchmark::State& state) {
    if (!use_scene(DemoOutline::ELLIPSE, true)) {
        state.SkipWithError("the sheet was not built");
        return;
    }
    use_demo_raster(int32_t(state.range(0)), int32_t(state.range(1)));
    set_demo_rotation(0, 0, 0);
    time_demo_frames(state);
    state.counters["scale"] = demo_raster_scale256() / 256.0;
    use_demo_raster(0, 0);
}
BENCHMARK(BM_RasterFrame)
    ->ArgNames({"width", "height"})
    ->Args({DEMO_CLIENT_WIDTH, DEMO_CLIENT_HEIGHT - 1})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond);

// --- Click to mesh: flood fill, grid scan, triangulation, normals ---

void BM_ClickToMesh(benchmark::State& state) {
    const auto outline = state.range(0) == 0 ? DemoOutline::ELLIPSE : DemoOutline::NONE;
    if (!use_scene(outline)) {
        state.SkipWithError("the sheet was not built");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        prepare_demo_rebuild();
        state.ResumeTiming();
        if (rebuild_demo_object() < 0) {
            state.SkipWithError("the rebuild failed");
            break;
        }
    }
    state.counters["triangles"] = demo_triangles();
}
BENCHMARK(BM_ClickToMesh)->ArgName("whole_screen")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// --- The inflated ellipse: its frame, and the inflation itself ---

// The closed body of the ellipse's sheet, seen from the front, turned, and
// from behind (where the back surface is drawn).
void BM_InflatedFrame(benchmark::State& state) {
    if (!use_scene(DemoOutline::ELLIPSE, false, true)) {
        state.SkipWithError("the body was not built");
        return;
    }
    set_demo_rotation(int32_t(state.range(0)), int32_t(state.range(1)), 0);
    time_demo_frames(state);
}
BENCHMARK(BM_InflatedFrame)
    ->ArgNames({"rx", "ry"})
    ->Args({0, 0})
    ->Args({57, 57})
    ->Args({0, 512})
    ->Unit(benchmark::kMillisecond);

// Planning the body (the geometry stages from the filled region to the
// closed shell) of the ellipse's sheet and of the whole screen's.
void BM_InflatePlan(benchmark::State& state) {
    const auto outline = state.range(0) == 0 ? DemoOutline::ELLIPSE : DemoOutline::NONE;
    if (!use_scene(outline)) {
        state.SkipWithError("the sheet was not built");
        return;
    }
    FigurePart plan;
    for (auto _ : state) {
        plan_body(figure().edited, &plan);
        benchmark::DoNotOptimize(plan.mesh->vertices.data());
    }
    state.counters["triangles"] = double(plan.mesh != nullptr ? plan.mesh->triangles.size() : 0);
}
BENCHMARK(BM_InflatePlan)->ArgName("whole_screen")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The stage that sets a body on the rays through its drawing
// (register_body), alone, on the body of the 200-pixel disc and of the whole
// screen's region: its share of the I key's plan.
void BM_RegisterBody(benchmark::State& state) {
    const double rx = state.range(0) == 0 ? DISC_RADIUS : 246,
                 ry = state.range(0) == 0 ? DISC_RADIUS : 229;
    const BodyOutline outline = {"", [rx, ry](double x, double y) {
                                     return (x / rx) * (x / rx) + (y / ry) * (y / ry) <= 1;
                                 }};
    DistanceField field;
    const BodyShell shell = inflate_region(outline_mask(outline), {}, {}, &field);
    const bool tables = sine_table() != nullptr;
    if (!tables && init_trig_tables() != 0) {
        state.SkipWithError("no trig tables");
        return;
    }
    Matrix drawing, view;
    const Vec4 eye = {0, 0, 256, 1}, none = {0, 0, 0, 1}, turn = {0, 1023, 0, 1};
    const Vec4 unit = {FIXED_ONE, FIXED_ONE, FIXED_ONE, 1};
    make_view_matrix(&drawing, &eye, &none, &unit);
    make_view_matrix(&view, &eye, &turn, &unit);
    if (!tables) free_trig_tables();
    for (auto _ : state) {
        RegisteredBody body = register_body(shell, field, drawing, view);
        benchmark::DoNotOptimize(body.whole.data());
    }
    state.counters["vertices"] = double(shell.vertices.size());
}
BENCHMARK(BM_RegisterBody)->ArgName("whole_screen")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The I key's whole command on the ellipse's sheet: planning, emission
// through the pools and the packet area, normals.
void BM_InflateEllipse(benchmark::State& state) {
    if (!use_scene(DemoOutline::ELLIPSE)) {
        state.SkipWithError("the sheet was not built");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        prepare_demo_rebuild();
        rebuild_demo_object();
        state.ResumeTiming();
        if (inflate_demo_object() < 0) {
            state.SkipWithError("the body was not built");
            break;
        }
    }
    scene.inflated = true;  // the scene now holds the body
}
BENCHMARK(BM_InflateEllipse)->Unit(benchmark::kMillisecond);

// The frame in which I turns the 200-pixel disc's sheet into its body: the
// inflation, then the frame's transform and render.
void BM_InflateDiscFrame(benchmark::State& state) {
    if (!use_scene(DemoOutline::DISC)) {
        state.SkipWithError("the sheet was not built");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        prepare_demo_rebuild();
        rebuild_demo_object();
        state.ResumeTiming();
        if (inflate_demo_object() < 0) {
            state.SkipWithError("the body was not built");
            break;
        }
        render_demo_frame();
    }
    scene.inflated = true;
}
BENCHMARK(BM_InflateDiscFrame)->Unit(benchmark::kMillisecond);

// --- A figure of six inflated parts of about 3,000 triangles each ---

// Its frame from the front, turned and from behind.
void BM_FigureFrame(benchmark::State& state) {
    if (!figure_scene_for(state)) return;
    set_demo_rotation(int32_t(state.range(0)), int32_t(state.range(1)), 0);
    time_demo_frames(state);
    set_demo_rotation(0, 0, 0);
}
BENCHMARK(BM_FigureFrame)
    ->ArgNames({"rx", "ry"})
    ->Args({0, 0})
    ->Args({57, 57})
    ->Args({0, 512})
    ->Unit(benchmark::kMillisecond);

// The figure as one solid to print (the STL and GLB exports): the union of
// its six bodies sampled on the grid of UNION_CELLS_ACROSS cells along its
// longest side, its surface extracted and smoothed; the STL written from it.
void BM_FigureSolid(benchmark::State& state) {
    if (!figure_scene_for(state)) return;
    std::vector<ExportedMesh> parts;
    export_parts(&parts);
    size_t in = 0;
    for (const ExportedMesh& part : parts)
        in += part.triangles.size() / 3;
    ExportedMesh solid;
    for (auto _ : state)
        export_joined_figure(&solid);
    state.counters["parts_triangles"] = double(in);
    state.counters["solid_triangles"] = double(solid.triangles.size() / 3);
}
BENCHMARK(BM_FigureSolid)->Unit(benchmark::kMillisecond);

// Adding the sixth part to the other five against inflating it, each through
// the shell's own frames (a frame draws the figure too): adding is the N frame
// and the right-click frame that builds the part's sheet over the figure
// (fill, scan, the depth under the click, triangles, normals); inflating is
// the I frame. The part is taken back with Backspace between rounds. In the
// attached figure the part is drawn over the body: its I frame blends it and
// the body where they meet (the body's other joins kept from before).
// A round's untimed set-up (the outline alone is 97 frames, each drawing the
// figure) costs some twenty times the frames it times, so each repetition
// runs a fixed few rounds: left to the library's default (rounds until half a
// second of timed frames, some 80 of them) one repetition took about 17
// seconds, and nine repetitions of the three cases eight minutes or more.
constexpr int32_t FIGURE_PART_ROUNDS = 8;
void BM_FigurePart(benchmark::State& state) {
    const bool adding = state.range(0) == 0;
    if (!figure_scene_for(state, state.range(1) != 0)) return;
    const int32_t last = FIGURE_SCENE_PARTS - 1;
    for (auto _ : state) {
        state.PauseTiming();
        figure_key_frame(KEY_BACKSPACE);
        if (!adding) {
            figure_key_frame(KEY_N);
            draw_figure_outline(last);
            right_click_frame();
            state.ResumeTiming();
            figure_key_frame(KEY_I);
            continue;
        }
        headless_run_frames(1);
        state.ResumeTiming();
        figure_key_frame(KEY_N);
        state.PauseTiming();
        draw_figure_outline(last);
        state.ResumeTiming();
        right_click_frame();
        state.PauseTiming();
        figure_key_frame(KEY_I);
        state.ResumeTiming();
    }
    state.counters["parts"] = figure().part_count;
    const SceneObject* part = get_object(edited_object().index);
    state.counters["triangles"] = part != nullptr ? part->packet_count - 1 : 0;  // less its header
}
BENCHMARK(BM_FigurePart)
    ->ArgNames({"inflate", "attached"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Iterations(FIGURE_PART_ROUNDS)
    ->Unit(benchmark::kMillisecond);

// The attached figure's last part taken away again: its Backspace frame, which
// makes the body's blend again without the part's join (going on from the
// body's mesh after the join before it). The part is drawn and inflated again
// between rounds, untimed.
void BM_FigurePartRemoved(benchmark::State& state) {
    if (!figure_scene_for(state, true)) return;
    const int32_t last = FIGURE_SCENE_PARTS - 1;
    for (auto _ : state) {
        state.PauseTiming();
        headless_run_frames(1);  // the keys of the last round go up
        state.ResumeTiming();
        figure_key_frame(KEY_BACKSPACE);
        state.PauseTiming();
        figure_key_frame(KEY_N);
        draw_figure_outline(last);
        right_click_frame();
        figure_key_frame(KEY_I);
        state.ResumeTiming();
    }
    state.counters["parts"] = figure().part_count;
}
BENCHMARK(BM_FigurePartRemoved)->Iterations(FIGURE_PART_ROUNDS)->Unit(benchmark::kMillisecond);

// The blends of the figure's parts where they meet, made as an emission
// makes them (each part's joins refined and blended), untimed the rest of the
// emission: to set against the I frame of BM_FigurePart (the target is at
// most twice that), each part blended from its own mesh against all its
// joins, in the attached figure (five joins). The fields of the surfaces the
// parts are drawn over are kept from one round to the next, as from one
// emission to the next.
void BM_FigureBlend(benchmark::State& state) {
    if (!figure_scene_for(state, true)) return;
    PartMesh mesh;
    int32_t blended = 0;
    for (auto _ : state) {
        blended = 0;
        for (int32_t i = 0; i < figure().part_count; ++i)
            blended += drawn_part_mesh(figure(), i, true, &mesh);
    }
    state.counters["blended_parts"] = blended;
    state.counters["triangles"] = figure_triangles();
}
BENCHMARK(BM_FigureBlend)->Unit(benchmark::kMillisecond);

// Undoing the figure's last step (its last part's I: the sheet comes back) and
// redoing it, each the whole frame of the shell that does it: the figure
// emitted again from the kept record and drawn. At most one frame (20 ms).
void BM_FigureUndo(benchmark::State& state) {
    const bool redo = state.range(0) != 0;
    if (!figure_scene_for(state)) return;
    const int32_t last = FIGURE_SCENE_PARTS - 1;
    for (auto _ : state) {
        state.PauseTiming();
        headless_run_frames(1);  // the keys of the last round go up
        if (!redo) state.ResumeTiming();
        figure_undo_frame(false);
        if (!redo) state.PauseTiming();
        if (figure().parts[last].kind != EDITED_SHEET) {
            state.SkipWithError("undo did not bring the sheet back");
            break;
        }
        headless_run_frames(1);
        if (redo) state.ResumeTiming();
        figure_undo_frame(true);
        if (!redo) state.ResumeTiming();
    }
    state.counters["parts"] = figure().part_count;
    state.counters["triangles"] = figure_triangles();
}
BENCHMARK(BM_FigureUndo)->ArgName("redo")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The painted body's texture made again from its region, mesh, base colour and painting, as
// the I key's emission makes it: the tiles planned and each tile's texels made (at most 5 ms).
void BM_PartTexture(benchmark::State& state) {
    close_scene();
    if (open_painted_scene() < 0) {
        state.SkipWithError("the painted body was not built");
        return;
    }
    const FigurePart& painted = figure().parts[0];
    const std::shared_ptr<const PartMesh> drawn = drawn_mesh(0);
    PartTiles tiles;
    std::vector<PartTexture> textures;
    for (auto _ : state) {
        textures.clear();
        if (!plan_part_tiles(*painted.region, drawn->vertices, drawn->triangles, 64, 1 << 20,
                             &tiles)) {
            state.SkipWithError("the painted body's tiles were not planned");
            break;
        }
        for (int32_t tile = 0; tile < tiles.tiling.columns * tiles.tiling.rows; ++tile)
            textures.push_back(
                make_part_tile(tiles.tiling, tile, painted.colour, *painted.painting));
        benchmark::DoNotOptimize(textures.data());
    }
    state.counters["tiles"] = double(textures.size());
    close_demo_scene();
}
BENCHMARK(BM_PartTexture)->Unit(benchmark::kMillisecond);

// --- Animating that figure, attached, by control points on its hands and feet ---

// A posing frame: the shell's frame with a held point dragged a pixel (the solve, the posed
// figure written over the emitted vertices, transform, render, the points' discs). At most
// 8 ms.
void BM_PosingFrame(benchmark::State& state) {
    if (!use_animated_scene(OpenScene::Animated::HELD)) {
        state.SkipWithError("the figure was not posed");
        return;
    }
    for (auto _ : state)
        posing_drag_frame();
    state.counters["triangles"] = figure_triangles();
    state.counters["points"] = demo_control_points();
}
BENCHMARK(BM_PosingFrame)->Unit(benchmark::kMillisecond);

// A played frame: the shell's frame of a recorded loop playing (the loop's step, its pose looked
// up where the pass before kept it, else solved, the posed figure drawn). At most 4 ms.
void BM_PlayedFrame(benchmark::State& state) {
    if (!use_animated_scene(OpenScene::Animated::PLAYING)) {
        state.SkipWithError("no loop was recorded");
        return;
    }
    for (auto _ : state)
        run_shell_frame();
    state.counters["triangles"] = figure_triangles();
    state.counters["loop_frames"] = animation_state().period;
}
BENCHMARK(BM_PlayedFrame)->Unit(benchmark::kMillisecond);

// Placing a fifth point (the click's frame: the surface under the cursor, the rig built for
// five points, the step kept) and removing it (the right click's frame: the rig for four). At
// most 100 ms each.
void BM_ControlPoint(benchmark::State& state) {
    const bool removing = state.range(0) != 0;
    if (!use_animated_scene(OpenScene::Animated::STILL)) {
        state.SkipWithError("the figure was not animated");
        return;
    }
    const int32_t points = demo_control_points();
    // Each round starts and ends with the clock running; the frames not measured are paused.
    for (auto _ : state) {
        if (removing) state.PauseTiming();
        place_point_frame();
        if (!removing) state.PauseTiming();
        run_shell_frame();  // the button goes up
        const bool placed = demo_control_points() == points + 1;
        if (removing) state.ResumeTiming();
        remove_point_frame();
        if (removing) state.PauseTiming();
        run_shell_frame();
        state.ResumeTiming();
        if (!placed || demo_control_points() != points) {
            state.SkipWithError("the point was not placed and removed");
            break;
        }
    }
    state.counters["triangles"] = figure_triangles();
}
BENCHMARK(BM_ControlPoint)->ArgName("remove")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The quality figures of the bodies of the test outlines, the quality
// table's shapes and then the drawings (untimed; the thresholds are asserted
// in tests/geometry/body_stages_test.cpp).
void print_body_quality_table() {
    std::printf(
        "\n| Outline | triangles | dihedral p95 / max | at notches and tips | inner p95 | rim "
        "crease median | on thin parts | ring-1 CV | min angle p5 | sphere / section RMS | "
        "pieces, genus | silhouette outside / uncovered | centroid offset "
        "|\n|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    std::vector<BodyOutline> outlines = body_outlines();
    for (const BodyOutline& outline : drawing_outlines())
        outlines.push_back(outline);
    for (const BodyOutline& outline : outlines) {
        RegionMask mask = outline_mask(outline);
        BodyQuality q = measure_body(inflate_region(mask, {}, {}), &mask);
        // The front picture right after I, from a headless session.
        const FrontFit fit = measure_front_picture(mask);
        std::printf(
            "| %s | %d | %.1f / %.1f | %.1f | %.1f | %.1f | %.1f | %.3f | %.1f | %.2f %% / %.2f %% "
            "| %d, %d | %.2f %% / %.2f %% | %.2f px |\n",
            outline.name.c_str(), q.triangles, q.dihedral_p95, q.dihedral_max, q.turn_dihedral_max,
            q.inner_dihedral_p95, q.rim_crease_median, q.thin_crease_median, q.ring1_cv,
            q.min_angle_p5, 100 * q.sphere_rms, 100 * q.section_rms, q.components, q.genus_total,
            100 * fit.outside, 100 * fit.uncovered, fit.centroid_offset);
    }
}

// --- Clear against memset on the same page ---

void BM_ClearScreen(benchmark::State& state) {
    if (!use_scene(DemoOutline::ELLIPSE)) {
        state.SkipWithError("the sheet was not built");
        return;
    }
    for (auto _ : state) {
        clear_screen();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ClearScreen)->Unit(benchmark::kMicrosecond);

void BM_MemsetScreen(benchmark::State& state) {
    if (!use_scene(DemoOutline::ELLIPSE)) {
        state.SkipWithError("the sheet was not built");
        return;
    }
    uint16_t* pixels = current_page_pixels();
    const size_t bytes = size_t(screen_width()) * size_t(screen_height()) * sizeof(uint16_t);
    for (auto _ : state) {
        std::memset(pixels, 0x1F, bytes);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemsetScreen)->Unit(benchmark::kMicrosecond);

// --- Fills ---

bool prepare_fills() {
    return use_scene(DemoOutline::ELLIPSE) && load_fill_texture();
}

void BM_Fill(benchmark::State& state, FillFamily fill, bool large) {
    if (!prepare_fills()) {
        state.SkipWithError("no scene or texture");
        return;
    }
    const FillBatch batch = large ? large_triangle() : cell_triangles();
    reset_render_stats();
    draw_fill_batch(fill, batch);
    const double pixels = double(render_stats.pixels_written);
    // As the dispatcher draws them: lit fills may keep their levels' pixels.
    open_lit_level_cache();
    for (auto _ : state) {
        draw_fill_batch(fill, batch);
        benchmark::ClobberMemory();
    }
    close_lit_level_cache();
    state.counters["triangles"] = batch.triangles();
    state.counters["pixels"] = pixels;
    state.counters["px/s"] =
        benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate);
}

void register_fill_benchmarks() {
    for (int fill = 0; fill < FILL_FAMILIES; ++fill) {
        for (bool large : {true, false}) {
            const std::string name =
                std::string("BM_Fill/") + FILL_NAMES[fill] + (large ? "/large" : "/cells");
            benchmark::RegisterBenchmark(name.c_str(), BM_Fill, FillFamily(fill), large)
                ->Unit(benchmark::kMicrosecond);
        }
    }
}

// --- The short table ---

struct Figure {
    double seconds = 0;  // per iteration
    std::map<std::string, double> counters;
};

// Keeps every benchmark's figure: of its repetitions, the fastest. The
// machine's speed drifts and other work takes turns on it, which only ever
// slows a repetition down, so the fastest is the steadiest estimate. Instead
// of the usual console table of every repetition it shows, on a terminal, one
// line that counts the runs done; the short tables come at the end.
// Aggregates are ignored.
class CollectingReporter : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            // Found by function and arguments: without the rounds a benchmark fixes.
            benchmark::BenchmarkName named = run.run_name;
            named.iterations.clear();
            const std::string name = named.str();
            if (run.error_occurred) {
                std::fprintf(stderr, "%s: %s\n", name.c_str(), run.error_message.c_str());
                continue;
            }
            if (run.run_type == Run::RT_Aggregate) continue;
            ++runs_;
            Figure figure;
            figure.seconds = run.iterations > 0 ? run.real_accumulated_time / double(run.iterations)
                                                : run.real_accumulated_time;
            for (const auto& [key, counter] : run.counters)
                figure.counters[key] = counter.value;
            auto kept = figures_.find(name);
            if (kept == figures_.end() || figure.seconds < kept->second.seconds)
                figures_[name] = figure;
        }
        if (on_terminal_) {
            std::fprintf(stderr, "\rmeasuring: %d runs of %zu benchmarks done", runs_,
                         figures_.size());
            std::fflush(stderr);
        }
    }
    void Finalize() override {
        if (on_terminal_) std::fprintf(stderr, "\n");
    }
    const Figure* find(const std::string& name) const {
        auto it = figures_.find(name);
        return it == figures_.end() ? nullptr : &it->second;
    }

private:
    std::map<std::string, Figure> figures_;
    int runs_ = 0;
    bool on_terminal_ = isatty(STDERR_FILENO) != 0;
};

std::string cpu_model() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            const size_t colon = line.find(':');
            if (colon != std::string::npos) return line.substr(colon + 2);
        }
    }
    return "unknown processor";
}

const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}

// Targets of the fills: ns per pixel on a large triangle; 0 for none.
constexpr double FILL_TARGETS[FILL_FAMILIES] = {0, 1.0, 2.0, 1.5, 1.2, 0, 2.5, 1.0, 0, 0, 0};

// " (target <= T: met)" or "MISSED".
std::string against(double value, double target) {
    char text[48];
    std::snprintf(text, sizeof text, " (target <= %g: %s)", target, verdict(value <= target));
    return text;
}

void print_stage_table(const CollectingReporter& reporter) {
    std::printf(
        "\n| Frame (0, 0), ns/triangle | transform and lighting | bucketing | dispatch and "
        "set-up | spans | all stages | clear, us/frame |\n|---|---|---|---|---|---|---|\n");
    for (const char* relief : {"0", "1"}) {
        const Figure* stages = reporter.find(std::string("BM_FrameStages/relief:") + relief);
        const Figure* spans = reporter.find(std::string("BM_FrameSpans/relief:") + relief);
        if (stages == nullptr || spans == nullptr) continue;
        const auto& c = stages->counters;
        const double per = 1e9 / std::max(c.at("triangles"), 1.0);
        const double draw = c.at("draw_s");
        const double all = c.at("transform_s") + c.at("bucket_s") + draw;
        const bool in_relief = relief[0] == '1';
        std::printf("| %s | %.0f | %.0f | %.0f | %.0f | %.0f%s | %.1f |\n",
                    in_relief ? "in relief" : "flat", c.at("transform_s") * per,
                    c.at("bucket_s") * per, (draw - spans->seconds) * per, spans->seconds * per,
                    all * per, in_relief ? against(all * per, 120).c_str() : "",
                    c.at("clear_s") * 1e6);
    }
}

void print_growth_tables(const CollectingReporter& reporter) {
    std::printf(
        "\n| Grid sheet in relief, window size | triangles drawn | pixels | ms/frame | "
        "ns/triangle | ns/pixel |\n|---|---|---|---|---|---|\n");
    for (int32_t asked : {1000, 3000, 10000, 30000, GRID_SCENE_MAX_TRIANGLES, 100000}) {
        const Figure* f = reporter.find("BM_GridFrame/triangles:" + std::to_string(asked));
        if (f == nullptr) continue;
        const double tris = f->counters.at("triangles");
        const double pixels = f->counters.at("pixels");
        std::printf("| %.0f built%s | %.0f | %.0f | %.3f | %.0f | %.2f |\n",
                    f->counters.at("built"),
                    asked > GRID_SCENE_MAX_TRIANGLES ? ", both diagonals" : "", tris, pixels,
                    f->seconds * 1e3, f->seconds * 1e9 / tris, f->seconds * 1e9 / pixels);
    }

    std::printf(
        "\n| Demonstration's sheet in relief, raster | scale | triangles drawn | pixels | "
        "ms/frame | ns/triangle | ns/pixel |\n|---|---|---|---|---|---|---|\n");
    for (const char* size : {"514/height:482", "1920/height:1080", "3840/height:2160"}) {
        const Figure* f = reporter.find(std::string("BM_RasterFrame/width:") + size);
        if (f == nullptr) continue;
        const double tris = f->counters.at("triangles");
        const double pixels = f->counters.at("pixels");
        std::string label = size;
        label.replace(label.find("/height:"), 8, " x ");
        std::printf("| %s | %.2f | %.0f | %.0f | %.3f | %.0f | %.2f |\n", label.c_str(),
                    f->counters.at("scale"), tris, pixels, f->seconds * 1e3,
                    f->seconds * 1e9 / tris, f->seconds * 1e9 / pixels);
    }
}

void print_table(const CollectingReporter& reporter) {
    char date[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d", std::localtime(&now));
    std::printf("\n## sketch3d benchmarks: %s, %s\n\n", cpu_model().c_str(), date);

    const Figure* clear = reporter.find("BM_ClearScreen");
    const Figure* memset = reporter.find("BM_MemsetScreen");
    const double clear_s = clear != nullptr ? clear->seconds : 0;

    std::printf(
        "| Demo frame (rx, ry, relief) | ms/frame | triangles | Mtri/s | Mpx/s | "
        "ns/triangle less clear |\n|---|---|---|---|---|---|\n");
    for (const char* args :
         {"rx:0/ry:0/relief:0", "rx:57/ry:0/relief:0", "rx:0/ry:57/relief:0",
          "rx:57/ry:57/relief:0", "rx:0/ry:0/relief:1", "rx:57/ry:57/relief:1"}) {
        const Figure* f = reporter.find(std::string("BM_DemoFrame/") + args);
        if (f == nullptr) continue;
        const double tris = f->counters.at("triangles");
        const double pixels = f->counters.at("pixels");
        const double marginal = (f->seconds - clear_s) * 1e9 / std::max(tris, 1.0);
        const bool relief = std::string(args).back() == '1';
        std::printf("| %s | %.3f | %.0f | %.2f | %.1f | %.0f%s |\n", args, f->seconds * 1e3, tris,
                    tris / f->seconds / 1e6, pixels / f->seconds / 1e6, marginal,
                    relief ? against(marginal, 120).c_str() : "");
    }

    print_stage_table(reporter);
    print_growth_tables(reporter);

    std::printf("\n| Click to mesh | ms | triangles |\n|---|---|---|\n");
    for (const char* arg : {"0", "1"}) {
        const Figure* f = reporter.find(std::string("BM_ClickToMesh/whole_screen:") + arg);
        if (f == nullptr) continue;
        const bool whole = arg[0] == '1';
        std::printf("| %s | %.2f%s | %.0f |\n", whole ? "whole screen" : "ellipse",
                    f->seconds * 1e3, whole ? against(f->seconds * 1e3, 5).c_str() : "",
                    f->counters.at("triangles"));
    }

    std::printf(
        "\n| Fill | ns/pixel, large triangle | ns/triangle, 8-pixel cells |\n"
        "|---|---|---|\n");
    for (int fill = 0; fill < FILL_FAMILIES; ++fill) {
        const Figure* large = reporter.find(std::string("BM_Fill/") + FILL_NAMES[fill] + "/large");
        const Figure* cells = reporter.find(std::string("BM_Fill/") + FILL_NAMES[fill] + "/cells");
        if (large == nullptr || cells == nullptr) continue;
        const double ns_per_pixel = large->seconds * 1e9 / large->counters.at("pixels");
        const double ns_per_triangle = cells->seconds * 1e9 / cells->counters.at("triangles");
        std::printf("| %s | %.2f%s | %.0f |\n", FILL_NAMES[fill], ns_per_pixel,
                    FILL_TARGETS[fill] > 0 ? against(ns_per_pixel, FILL_TARGETS[fill]).c_str() : "",
                    ns_per_triangle);
    }

    if (clear != nullptr && memset != nullptr) {
        const double ratio = clear->seconds / memset->seconds;
        std::printf("\nclear_screen %.1f us, memset %.1f us: %.2f x%s\n", clear->seconds * 1e6,
                    memset->seconds * 1e6, ratio, against(ratio, 1.5).c_str());
    }
}

// The inflated ellipse's frames and the inflation's own time.
void print_inflation_table(const CollectingReporter& reporter) {
    std::printf(
        "\n| Inflated ellipse frame (rx, ry) | ms/frame | triangles drawn |\n|---|---|---|\n");
    for (const char* args : {"rx:0/ry:0", "rx:57/ry:57", "rx:0/ry:512"}) {
        const Figure* f = reporter.find(std::string("BM_InflatedFrame/") + args);
        if (f == nullptr) continue;
        std::printf("| %s | %.3f | %.0f |\n", args, f->seconds * 1e3, f->counters.at("triangles"));
    }
    std::printf("\n| Inflate | ms | body triangles |\n|---|---|---|\n");
    for (const char* arg : {"0", "1"}) {
        const Figure* f = reporter.find(std::string("BM_InflatePlan/whole_screen:") + arg);
        if (f == nullptr) continue;
        const bool whole = arg[0] == '1';
        std::printf(
            "| planning, %s | %.2f%s | %.0f |\n", whole ? "whole screen" : "ellipse",
            f->seconds * 1e3,
            whole ? (f->seconds <= 10e-3 ? " (target <= 10: met)" : " (target <= 10: MISSED)") : "",
            f->counters.at("triangles"));
    }
    for (const char* arg : {"0", "1"})
        if (const Figure* f = reporter.find(std::string("BM_RegisterBody/whole_screen:") + arg))
            std::printf("| of the plan, setting the body on the rays (%s) | %.2f | |\n",
                        arg[0] == '1' ? "whole screen" : "200-pixel disc", f->seconds * 1e3);
    if (const Figure* f = reporter.find("BM_InflateEllipse"); f != nullptr)
        std::printf("| the I key on the ellipse (planning, emission, normals) | %.2f | |\n",
                    f->seconds * 1e3);
    if (const Figure* f = reporter.find("BM_InflateDiscFrame"); f != nullptr)
        std::printf("| the I-key frame of the 200-pixel disc | %.2f%s | |\n", f->seconds * 1e3,
                    f->seconds <= 5e-3 ? " (target <= 5: met)" : " (target <= 5: MISSED)");
}

// Posing and playing the attached figure, placing and removing a point.
void print_animation_table(const CollectingReporter& reporter) {
    const Figure* posing = reporter.find("BM_PosingFrame");
    const Figure* played = reporter.find("BM_PlayedFrame");
    const Figure* placing = reporter.find("BM_ControlPoint/remove:0");
    const Figure* removing = reporter.find("BM_ControlPoint/remove:1");
    if (posing == nullptr || played == nullptr || placing == nullptr || removing == nullptr) return;
    std::printf(
        "\n| The attached figure animated (%.0f triangles, %.0f points) | ms |\n|---|---|\n"
        "| a posing frame (a point dragged: solve and drawing) | %.2f (target <= 8: %s) |\n"
        "| a played frame of a %.0f-frame loop | %.2f (target <= 4: %s) |\n"
        "| placing a fifth point | %.1f (target <= 100: %s) |\n"
        "| removing it | %.1f (target <= 100: %s) |\n",
        posing->counters.at("triangles"), posing->counters.at("points"), posing->seconds * 1e3,
        verdict(posing->seconds <= 8e-3), played->counters.at("loop_frames"), played->seconds * 1e3,
        verdict(played->seconds <= 4e-3), placing->seconds * 1e3,
        verdict(placing->seconds <= 100e-3), removing->seconds * 1e3,
        verdict(removing->seconds <= 100e-3));
}

// The figure's frames, and adding its last part against inflating it.
void print_figure_table(const CollectingReporter& reporter) {
    std::printf(
        "\n| Figure of %d inflated parts, frame (rx, ry) | ms/frame | triangles drawn |\n"
        "|---|---|---|\n",
        FIGURE_SCENE_PARTS);
    for (const char* args : {"rx:0/ry:0", "rx:57/ry:57", "rx:0/ry:512"}) {
        const Figure* f = reporter.find(std::string("BM_FigureFrame/") + args);
        if (f == nullptr) continue;
        std::printf("| %s | %.3f | %.0f |\n", args, f->seconds * 1e3, f->counters.at("triangles"));
    }
    if (const Figure* f = reporter.find("BM_FigureSolid"))
        std::printf(
            "| joined into one solid for the STL and GLB (%.0f of the parts' triangles "
            "in, %.0f out) | %.1f ms |\n",
            f->counters.at("parts_triangles"), f->counters.at("solid_triangles"), f->seconds * 1e3);
    const Figure* adding = reporter.find("BM_FigurePart/inflate:0/attached:0");
    const Figure* inflating = reporter.find("BM_FigurePart/inflate:1/attached:0");
    const Figure* joining = reporter.find("BM_FigurePart/inflate:1/attached:1");
    if (adding != nullptr && inflating != nullptr)
        std::printf(
            "\n| The figure's last part (%.0f triangles) | ms |\n|---|---|\n"
            "| adding it: the N frame and the right-click frame | %.2f |\n"
            "| inflating it: the I frame | %.2f |\n"
            "| adding / inflating | %.2f (target <= 1: %s) |\n",
            adding->counters.at("triangles"), adding->seconds * 1e3, inflating->seconds * 1e3,
            adding->seconds / inflating->seconds, verdict(adding->seconds <= inflating->seconds));
    if (joining != nullptr && inflating != nullptr)
        std::printf(
            "| drawn over the body: the I frame with its joins (%.0f triangles) | %.2f |\n"
            "| with its joins / inflating | %.2f (target <= 2: %s) |\n",
            joining->counters.at("triangles"), joining->seconds * 1e3,
            joining->seconds / inflating->seconds,
            verdict(joining->seconds <= 2 * inflating->seconds));
    if (const Figure* removing = reporter.find("BM_FigurePartRemoved");
        removing != nullptr && inflating != nullptr)
        std::printf(
            "| drawn over the body, taken away: the Backspace frame (the body's blend made "
            "again without its join) | %.2f |\n"
            "| taken away / inflating | %.2f (target <= 2: %s) |\n",
            removing->seconds * 1e3, removing->seconds / inflating->seconds,
            verdict(removing->seconds <= 2 * inflating->seconds));
    if (const Figure* blend = reporter.find("BM_FigureBlend"))
        std::printf(
            "| every blend of the attached figure made again (%.0f parts, %.0f triangles "
            "drawn) | %.2f |\n",
            blend->counters.at("blended_parts"), blend->counters.at("triangles"),
            blend->seconds * 1e3);
    print_animation_table(reporter);
    if (const Figure* texture = reporter.find("BM_PartTexture"))
        std::printf(
            "\n| The painted body's texture made as the I key makes it (%.0f tiles) | ms |\n"
            "|---|---|\n"
            "| planned and drawn | %.2f (target <= 5: %s) |\n",
            texture->counters.at("tiles"), texture->seconds * 1e3,
            verdict(texture->seconds <= 5e-3));
    const Figure* undoing = reporter.find("BM_FigureUndo/redo:0");
    const Figure* redoing = reporter.find("BM_FigureUndo/redo:1");
    if (undoing == nullptr || redoing == nullptr) return;
    std::printf(
        "\n| The figure's last step undone and redone (%.0f parts, %.0f triangles) | ms |\n"
        "|---|---|\n"
        "| the Ctrl+Z frame | %.2f (target <= 20: %s) |\n"
        "| the Ctrl+Y frame | %.2f (target <= 20: %s) |\n",
        redoing->counters.at("parts"), redoing->counters.at("triangles"), undoing->seconds * 1e3,
        verdict(undoing->seconds <= 20e-3), redoing->seconds * 1e3,
        verdict(redoing->seconds <= 20e-3));
}

}  // namespace

int main(int argc, char** argv) {
    register_fill_benchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    close_scene();
    print_table(reporter);
    print_inflation_table(reporter);
    print_figure_table(reporter);
    print_body_quality_table();
    benchmark::Shutdown();
    return 0;
}
