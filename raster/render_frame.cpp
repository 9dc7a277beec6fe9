// The render entry: binding, bucketing and painting, in this order.
#include "raster/render_frame.h"

#include "raster/dispatcher.h"
#include "raster/ordering_table.h"
#include "raster/raster_target.h"
#include "raster/render_stats.h"

void render_frame() {
    reset_render_stats();
    bind_raster_target();
    RenderList* list = current_render_list();
    if (list == nullptr) return;
    bucket_packets(list);
    draw_ordering_table(list);
}
