// The renderer's benchmarks: the demonstration's frame, the click-to-mesh
// build, every fill on large polygons and on grid-cell triangles, and the
// screen clear; after the runs, a short table of the figures that matter.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/screen.h"
#include "bench/demo_scene.h"
#include "raster/fills/flat_fill.h"
#include "raster/fills/shaded_fills.h"
#include "raster/fills/textured_fill.h"
#include "raster/raster_target.h"
#include "raster/render_stats.h"
#include "raster/texture_loader.h"

namespace {

// One open scene at a time, reopened only when another is needed.
struct OpenScene {
    bool open = false;
    DemoOutline outline = DemoOutline::ELLIPSE;
    bool relief = false;
};
OpenScene scene;

constexpr int32_t RELIEF_DEPTH = 6;

bool use_scene(DemoOutline outline, bool relief = false) {
    if (scene.open && scene.outline == outline && scene.relief == relief) return true;
    if (scene.open) close_demo_scene();
    scene.open = open_demo_scene(outline) >= 0;
    scene.outline = outline;
    scene.relief = relief;
    if (scene.open && relief) add_demo_relief(RELIEF_DEPTH);
    return scene.open;
}

// --- The demonstration's frame ---

// range(2): 1 for the sheet pushed into relief, where light varies across
// most triangles.
void BM_DemoFrame(benchmark::State& state) {
    if (!use_scene(DemoOutline::ELLIPSE, state.range(2) != 0)) {
        state.SkipWithError("the sheet was not built");
        return;
    }
    set_demo_rotation(int32_t(state.range(0)), int32_t(state.range(1)), 0);
    render_demo_frame();
    const double drawn = last_frame_drawn();
    const double pixels = double(last_frame_pixels());
    for (auto _ : state)
        render_demo_frame();
    state.counters["triangles"] = drawn;
    state.counters["pixels"] = pixels;
    state.counters["tri/s"] =
        benchmark::Counter(drawn, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["px/s"] =
        benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate);
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

enum Fill : int {
    FLAT,
    TEXTURED,
    ADDITIVE_TEXTURED,
    HALF_TEXTURED,
    GOURAUD,
    ADDITIVE_GOURAUD,
    LIT_TEXTURED,
    LIT,
    FILL_COUNT
};
const char* const FILL_NAMES[FILL_COUNT] = {"flat",          "textured", "additive_textured",
                                            "half_textured", "gouraud",  "additive_gouraud",
                                            "lit_textured",  "lit"};
constexpr int32_t TEXTURE_SLOT = 0;
constexpr int32_t TEXTURE_SIZE = 64;

// Triangles with per-vertex colours and texture coordinates; every vertex
// record is its own, as the fills take them by address.
struct Batch {
    std::vector<ScreenVertex> vertices;
    std::vector<ColourRecord> colours;
    std::vector<TexCoord> uvs;

    void add(int32_t x, int32_t y) {
        vertices.push_back({x, y, 0, 0});
        // Light and colour that vary across the screen, within 0..255.
        colours.push_back({(x * 255) / 520, (y * 255) / 490, ((x + y) * 255) / 1010, 0});
        uvs.push_back({x * 4, y * 4, 0, 0});
    }
    int32_t triangles() const { return int32_t(vertices.size() / 3); }
};

// One triangle over most of the screen.
Batch large_triangle() {
    Batch batch;
    batch.add(16, 8);
    batch.add(500, 120);
    batch.add(100, 476);
    return batch;
}

// Grid cells of 8 pixels, two triangles each, in the outline builder's order
// and winding: (TL, TR, BL), then (BR, BL, TR).
Batch cell_triangles() {
    Batch batch;
    for (int32_t y = 40; y + 8 <= 440; y += 8) {
        for (int32_t x = 48; x + 8 <= 464; x += 8) {
            batch.add(x, y);
            batch.add(x + 8, y);
            batch.add(x, y + 8);
            batch.add(x + 8, y + 8);
            batch.add(x, y + 8);
            batch.add(x + 8, y);
        }
    }
    return batch;
}

void draw_batch(Fill fill, const Batch& batch) {
    const ColourRecord surface{255, 160, 64, 0};
    for (size_t i = 0; i + 2 < batch.vertices.size(); i += 3) {
        const ScreenVertex* v = &batch.vertices[i];
        const ColourRecord* c = &batch.colours[i];
        const TexCoord* t = &batch.uvs[i];
        switch (fill) {
            case FLAT:
                draw_flat_triangle(&v[0], &v[1], &v[2], 0x2A55);
                break;
            case TEXTURED:
                draw_textured_triangle(&v[0], &v[1], &v[2], &t[0], &t[1], &t[2], TEXTURE_SLOT);
                break;
            case ADDITIVE_TEXTURED:
                draw_additive_textured_triangle(&v[0], &v[1], &v[2], &t[0], &t[1], &t[2],
                                                TEXTURE_SLOT);
                break;
            case HALF_TEXTURED:
                draw_half_textured_triangle(&v[0], &v[1], &v[2], &t[0], &t[1], &t[2], TEXTURE_SLOT);
                break;
            case GOURAUD:
                draw_gouraud_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2]);
                break;
            case ADDITIVE_GOURAUD:
                draw_additive_gouraud_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2]);
                break;
            case LIT_TEXTURED:
                draw_lit_textured_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2], &t[0], &t[1],
                                           &t[2], TEXTURE_SLOT, 0);
                break;
            case LIT:
                draw_lit_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2], &surface, 0);
                break;
            default:
                break;
        }
    }
}

bool prepare_fills() {
    if (!use_scene(DemoOutline::ELLIPSE)) return false;
    if (loaded_texture(TEXTURE_SLOT) != nullptr) return true;
    std::vector<uint16_t> texels(TEXTURE_SIZE * TEXTURE_SIZE);
    for (int32_t i = 0; i < TEXTURE_SIZE * TEXTURE_SIZE; ++i)
        texels[size_t(i)] = uint16_t((i * 2654435761u) >> 17) & 0x7FFF;
    return load_texture(TEXTURE_SLOT, TEXTURE_SIZE, TEXTURE_SIZE, texels.data()) >= 0;
}

void BM_Fill(benchmark::State& state, Fill fill, bool large) {
    if (!prepare_fills()) {
        state.SkipWithError("no scene or texture");
        return;
    }
    const Batch batch = large ? large_triangle() : cell_triangles();
    reset_render_stats();
    draw_batch(fill, batch);
    const double pixels = double(render_stats.pixels_written);
    for (auto _ : state) {
        draw_batch(fill, batch);
        benchmark::ClobberMemory();
    }
    state.counters["triangles"] = batch.triangles();
    state.counters["pixels"] = pixels;
    state.counters["px/s"] =
        benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate);
}

void register_fill_benchmarks() {
    for (int fill = 0; fill < FILL_COUNT; ++fill) {
        for (bool large : {true, false}) {
            const std::string name =
                std::string("BM_Fill/") + FILL_NAMES[fill] + (large ? "/large" : "/cells");
            benchmark::RegisterBenchmark(name.c_str(), BM_Fill, Fill(fill), large)
                ->Unit(benchmark::kMicrosecond);
        }
    }
}

// --- The short table ---

struct Figure {
    double seconds = 0;  // per iteration
    std::map<std::string, double> counters;
};

// Keeps every benchmark's figure, the median of its repetitions when they
// were repeated, and prints one progress line per run instead of the usual
// console table; the short table comes at the end.
class CollectingReporter : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            const std::string name = run.run_name.str();
            if (run.error_occurred) {
                std::fprintf(stderr, "%s: %s\n", name.c_str(), run.error_message.c_str());
                continue;
            }
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            Figure figure;
            figure.seconds = run.iterations > 0 ? run.real_accumulated_time / double(run.iterations)
                                                : run.real_accumulated_time;
            for (const auto& [key, counter] : run.counters)
                figure.counters[key] = counter.value;
            // A median comes after the repetitions and replaces them.
            if (median || figures_.count(name) == 0 || run.repetitions <= 1 ||
                !medians_.count(name)) {
                figures_[name] = figure;
                if (median) medians_[name] = true;
            }
            std::fprintf(stderr, "%-36s %12.1f us%s\n", name.c_str(), figure.seconds * 1e6,
                         median ? " (median)" : "");
        }
    }
    const Figure* find(const std::string& name) const {
        auto it = figures_.find(name);
        return it == figures_.end() ? nullptr : &it->second;
    }

private:
    std::map<std::string, Figure> figures_;
    std::map<std::string, bool> medians_;
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
        std::printf("| %s | %.3f | %.0f | %.2f | %.1f | %.0f (target <= 200: %s) |\n", args,
                    f->seconds * 1e3, tris, tris / f->seconds / 1e6, pixels / f->seconds / 1e6,
                    marginal, verdict(marginal <= 200));
    }

    std::printf("\n| Click to mesh | ms | triangles |\n|---|---|---|\n");
    for (const char* arg : {"0", "1"}) {
        const Figure* f = reporter.find(std::string("BM_ClickToMesh/whole_screen:") + arg);
        if (f == nullptr) continue;
        const bool whole = arg[0] == '1';
        std::printf(
            "| %s | %.2f%s | %.0f |\n", whole ? "whole screen" : "ellipse", f->seconds * 1e3,
            whole ? (f->seconds < 5e-3 ? " (target < 5: met)" : " (target < 5: MISSED)") : "",
            f->counters.at("triangles"));
    }

    std::printf(
        "\n| Fill | ns/pixel, large triangle | ns/triangle, 8-pixel cells |\n"
        "|---|---|---|\n");
    for (int fill = 0; fill < FILL_COUNT; ++fill) {
        const Figure* large = reporter.find(std::string("BM_Fill/") + FILL_NAMES[fill] + "/large");
        const Figure* cells = reporter.find(std::string("BM_Fill/") + FILL_NAMES[fill] + "/cells");
        if (large == nullptr || cells == nullptr) continue;
        const double ns_per_pixel = large->seconds * 1e9 / large->counters.at("pixels");
        const double ns_per_triangle = cells->seconds * 1e9 / cells->counters.at("triangles");
        std::printf("| %s | %.2f%s | %.0f |\n", FILL_NAMES[fill], ns_per_pixel,
                    fill == LIT ? (ns_per_pixel <= 1.2 ? " (target <= 1.2: met)"
                                                       : " (target <= 1.2: MISSED)")
                                : "",
                    ns_per_triangle);
    }

    if (clear != nullptr && memset != nullptr) {
        const double ratio = clear->seconds / memset->seconds;
        std::printf("\nclear_screen %.1f us, memset %.1f us: %.2f x (target <= 3: %s)\n",
                    clear->seconds * 1e6, memset->seconds * 1e6, ratio, verdict(ratio <= 3));
    }
}

}  // namespace

int main(int argc, char** argv) {
    register_fill_benchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (scene.open) close_demo_scene();
    print_table(reporter);
    benchmark::Shutdown();
    return 0;
}
