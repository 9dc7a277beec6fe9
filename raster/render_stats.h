// Per-frame counters of the render: what the bucketing walk did with the
// packets, how many the dispatcher painted, and how many pixels the fills
// wrote. Read by tools after a frame; nothing in the render depends on them.
#pragma once

#include <cstdint>

struct RenderStats {
    int32_t packets_walked;  // packets of the chain visited, object headers included
    int32_t culled;          // dropped by the back-face test
    int32_t depth_dropped;   // primitives whose bucket is outside 1..4095 or that have a
                             // corner at or behind the eye plane (object headers excluded)
    int32_t drawn;           // packets the dispatcher took from the ordering table
    int64_t pixels_written;  // sum of the fills' span lengths
};

// Counters of the frame being rendered; render_frame clears them first, so
// after a frame they hold that frame's counts.
extern RenderStats render_stats;

void reset_render_stats();
