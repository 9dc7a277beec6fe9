// sketch3d-bench-frame RUNS: times RUNS runs of FRAMES_PER_RUN shell frames of
// the demonstration's sheet in relief on the headless backend and prints one
// line of JSON: the median and the fastest run's time per frame in
// milliseconds, and the page's checksum. make bench-web runs it between the
// browser's rounds, which time the same runs in the page.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/shell_frame.h"

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    if (runs < 1 || open_relief_frame() < 0) {
        std::fprintf(stderr, "usage: sketch3d-bench-frame RUNS (the sheet must build)\n");
        return 1;
    }
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        for (int frame = 0; frame < FRAMES_PER_RUN; ++frame)
            run_shell_frame();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        times.push_back(took.count() / FRAMES_PER_RUN);
    }
    std::sort(times.begin(), times.end());
    std::printf("{\"median_ms\": %.4f, \"fastest_ms\": %.4f, \"checksum\": %u}\n",
                times[times.size() / 2], times.front(), shell_frame_checksum());
    close_relief_frame();
    return 0;
}
