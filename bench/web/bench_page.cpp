// The benchmark module of make bench-web: the demonstration's sheet in relief on
// the headless backend, and the shell's frame, which the benchmark page times
// with performance.now() around each call.
#include <emscripten/emscripten.h>

#include "bench/shell_frame.h"

extern "C" {

EMSCRIPTEN_KEEPALIVE int bench_page_open() {
    return open_relief_frame();
}
EMSCRIPTEN_KEEPALIVE int bench_page_frames_per_run() {
    return FRAMES_PER_RUN;
}
EMSCRIPTEN_KEEPALIVE void bench_page_frame() {
    run_shell_frame();
}
EMSCRIPTEN_KEEPALIVE uint32_t bench_page_checksum() {
    return shell_frame_checksum();
}
EMSCRIPTEN_KEEPALIVE void bench_page_close() {
    close_relief_frame();
}

}  // extern "C"
