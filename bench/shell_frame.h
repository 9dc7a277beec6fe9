// The shell's whole frame of the demonstration's sheet in relief (pacing,
// clear, input, transform, render, present on the headless backend), for
// comparing the native program with the WebAssembly build: the native tool
// sketch3d-bench-frame and the browser's benchmark module (platform/web)
// time the same calls.
#pragma once

#include <cstdint>

// Frames timed together: the browser's clock is coarse (0.1 ms), so each
// reading spans this many frames, natively too.
inline constexpr int FRAMES_PER_RUN = 10;

// Builds the sheet as bench/demo_scene.h does and pushes it into relief. 0,
// or -1 when the sheet was not built.
int32_t open_relief_frame();
// One frame of the shell, as the backend's loop runs it.
void run_shell_frame();
// A checksum of the page the last frame drew, to show that both builds drew
// the same pixels.
uint32_t shell_frame_checksum();
void close_relief_frame();
