// The frame cycle: pacing, input handling in drawing and editing mode, the
// geometry pipeline and the render, and presentation with the frame rate.
//
// run_frame (app/shell.h) is called by the platform loop whenever no message
// is waiting, after update_mouse.
#pragma once

#include <cstdint>

#include "app/edited_object.h"
#include "app/platform.h"

inline constexpr uint32_t FRAME_INTERVAL_MS = 20;  // minimum time from one frame start to the next

// The frame cycle's state; tick values, the interval and the average are
// milliseconds. The average is kept in 64 bits: the very first interval is
// the whole tick count since the clock started, and adding it to the average
// must not wrap. Which object is edited, and with it the mode, is the record
// of app/edited_object.h, which the frame adopts and forgets.
struct FrameState {
    uint32_t frame_interval;       // minimum interval
    uint32_t last_frame_tick;      // tick at the start of the previous frame
    uint32_t last_frame_interval;  // ticks between the previous frame start and this one
    uint64_t frame_time_average;   // halved running average of the intervals
};

// Initial values: interval 20, tick 0, average 20. Called at the start of
// start-up so that every session begins like a fresh program.
void reset_frame_state();
const FrameState& frame_state();
// The edited object's index; NO_OBJECT in drawing mode.
int32_t selected_object();

// What the I key does in editing mode: the edited sheet is replaced by the
// body planned from it, which becomes the edited object; on a body, on a sheet
// without triangles, or when the body does not fit (the capacity message is
// shown), the edited object stays as it was. When the body's emission fails
// after all, the object is discarded and drawing starts over.
void inflate_edited_object();

// Pacing: records the main window, takes the window context, then polls the
// tick counter until at least frame_interval ticks have passed since the
// previous frame start, measured modulo 2^32 so the wrap of the counter is
// harmless.
void begin_frame(PlatformWindow window);
// Frame-rate title, copy of the current page to the window, release of the
// window context.
void present_frame();
void set_frame_interval(uint32_t milliseconds);
