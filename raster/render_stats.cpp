// Storage of the per-frame render counters.
#include "raster/render_stats.h"

RenderStats render_stats = {};

void reset_render_stats() {
    render_stats = RenderStats{};
}
