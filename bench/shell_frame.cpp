// The shell's frame of the demonstration's sheet in relief on the headless
// backend, shared by the native and the browser's frame timing.
#include "bench/shell_frame.h"

#include "bench/demo_scene.h"
#include "platform/headless/headless.h"

int32_t open_relief_frame() {
    if (open_demo_scene(DemoOutline::ELLIPSE) < 0) return -1;
    add_demo_relief(DEMO_RELIEF_DEPTH);
    run_shell_frame();
    return 0;
}

void run_shell_frame() {
    headless_run_frames(1);
}

uint32_t shell_frame_checksum() {
    // FNV-1a over the drawn rows of page 0.
    const uint16_t* page = demo_page();
    uint32_t hash = 2166136261u;
    for (int64_t i = 0; i < int64_t(demo_page_width()) * demo_page_height(); ++i) {
        hash = (hash ^ (page[i] & 0xFF)) * 16777619u;
        hash = (hash ^ (page[i] >> 8)) * 16777619u;
    }
    return hash;
}

void close_relief_frame() {
    close_demo_scene();
}
