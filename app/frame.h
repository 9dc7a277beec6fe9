// The frame cycle: pacing, input handling in drawing and editing mode, the
// geometry pipeline and the render, and presentation with the frame rate.
//
// run_frame (app/shell.h) is called by the platform loop whenever no message
// is waiting, after update_mouse.
#pragma once

#include <cstdint>

#include "app/platform.h"

inline constexpr uint32_t FRAME_INTERVAL_MS = 20;  // minimum time from one frame start to the next
inline constexpr int32_t NO_OBJECT = -1;

// The frame cycle's state; tick values, the interval and the average are
// milliseconds. The average is kept in 64 bits: the very first interval is
// the whole tick count since the clock started, and adding it to the average
// must not wrap.
struct FrameState {
    int32_t selected_object;       // the object being edited, NO_OBJECT in drawing mode
    uint32_t frame_interval;       // minimum interval
    uint32_t last_frame_tick;      // tick at the start of the previous frame
    uint32_t last_frame_interval;  // ticks between the previous frame start and this one
    uint64_t frame_time_average;   // halved running average of the intervals
};

// Initial values: nothing selected, interval 20, tick 0, average 20. Called at
// the start of start-up so that every session begins like a fresh program.
void reset_frame_state();
const FrameState& frame_state();
int32_t selected_object();

// Pacing: records the main window, takes the window context, then polls the
// tick counter until at least frame_interval ticks have passed since the
// previous frame start, measured modulo 2^32 so the wrap of the counter is
// harmless.
void begin_frame(PlatformWindow window);
// Frame-rate title, copy of the current page to the window, release of the
// window context.
void present_frame();
void set_frame_interval(uint32_t milliseconds);
