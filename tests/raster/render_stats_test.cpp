// Per-frame render counters: what the bucketing walk dropped and why, what the
// dispatcher painted and how many pixels its spans covered.
#include "raster/render_stats.h"

#include "raster/render_fixture.h"
#include "support/test_support.h"

namespace {

using RenderStatistics = RenderFixture;

TEST_F(RenderStatistics, EachPacketIsCountedOnceByWhatBecameOfIt) {
    ScratchRaster raster(26, 12, 0);
    for (int k = 0; k < 16; ++k)
        list->colour_records[k] = ColourRecord{255, 0, 0, 0};
    auto quad = [&](int16_t first, int16_t bias = 0) {
        packet(PRIM_GOURAUD_QUAD,
               {first, int16_t(first + 1), int16_t(first + 2), int16_t(first + 3)}, bias);
    };
    ASSERT_EQ(add_object_header(), 0);  // walked, but no primitive
    rectangle(0, 2, 100);
    quad(0);  // drawn
    rectangle(4, 12, 100);
    packet(PRIM_GOURAUD_TRI | POLY_CULL, {4, 6, 5});  // anticlockwise: culled
    rectangle(8, 2, 5000);
    quad(8);        // beyond the last bucket
    quad(0, -100);  // bucket 0, never painted
    rectangle(12, 2, 100);
    list->screen_vertices[13].w = -1;  // a corner behind the eye
    quad(12);

    for (int frame = 0; frame < 2; ++frame) {  // every frame starts from zero
        render_frame();
        EXPECT_EQ(render_stats.packets_walked, 6);
        EXPECT_EQ(render_stats.culled, 1);
        EXPECT_EQ(render_stats.depth_dropped, 3);
        EXPECT_EQ(render_stats.drawn, 1);
        int64_t painted = 0;
        for (uint16_t pixel : raster.pixels)
            painted += pixel != 0;
        EXPECT_GT(painted, 0);
        EXPECT_EQ(render_stats.pixels_written, painted);
    }
}

}  // namespace
