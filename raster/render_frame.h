// The render entry: one call per frame that paints the current render list
// into the raster target, through the ordering table and the dispatcher.
#pragma once

// Once per frame after the geometry pipeline: clears the frame statistics,
// binds the raster target, buckets the current render list (bucket_packets,
// raster/ordering_table.h) and paints it far to near (draw_ordering_table,
// raster/dispatcher.h). Does nothing but the binding before the render
// buffers exist.
void render_frame();
