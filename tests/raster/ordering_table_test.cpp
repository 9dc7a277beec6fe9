// Depth bucketing: culling, depth keys, bucket range, chain order, callback slots,
// behind-the-eye packets, malformed chains and the render entry.
#include "raster/ordering_table.h"

#include "raster/render_fixture.h"
#include "raster/render_stats.h"
#include "support/test_support.h"

namespace {

class OrderingTable : public RenderFixture {
protected:
    // Triangle over vertices 3k .. 3k + 2 at the given depths, clockwise on screen.
    PrimitivePacket* triangle_at(int16_t k, int32_t z0, int32_t z1, int32_t z2, int16_t bias = 0) {
        vertex(3 * k, 0, 0, z0);
        vertex(3 * k + 1, 10, 0, z1);
        vertex(3 * k + 2, 10, 10, z2);
        return packet(3, {int16_t(3 * k), int16_t(3 * k + 1), int16_t(3 * k + 2)}, bias);
    }
    // References of one bucket's chain in painting order.
    std::vector<uint32_t> chain(int32_t bucket) const {
        std::vector<uint32_t> refs;
        for (uint32_t r = heads[bucket]; r != NO_PACKET && refs.size() < 64;) {
            refs.push_back(r);
            r = is_callback_slot_reference(r) ? referenced_slot(r)->link
                                              : referenced_packet(list, r)->link;
        }
        return refs;
    }
    // The bucket 1..4095 whose chain holds the packet, or -1.
    int32_t bucket_of(const PrimitivePacket* p) const {
        for (int32_t b = 1; b < ORDERING_TABLE_SIZE; ++b)
            for (uint32_t r : chain(b))
                if (r == packet_reference(list, p)) return b;
        return -1;
    }
};

TEST_F(OrderingTable, CounterClockwiseCulledPacketsAreNeitherKeyedNorLinked) {
    vertex(0, 0, 0, 100);
    vertex(1, 0, 10, 100);
    vertex(2, 10, 10, 100);  // 0 -> 1 -> 2 runs counter-clockwise with y down
    vertex(3, 20, 20, 100);  // 0, 3, 4 on one line
    vertex(4, 40, 40, 100);
    PrimitivePacket* culled = packet(3 | POLY_CULL, {0, 1, 2});
    PrimitivePacket* without_cull = packet(3, {0, 1, 2});
    PrimitivePacket* clockwise = packet(3 | POLY_CULL, {0, 2, 1});
    PrimitivePacket* collinear = packet(3 | POLY_CULL, {0, 3, 4});
    bucket_packets(list);
    EXPECT_EQ(culled->depth_key, 777);
    EXPECT_EQ(bucket_of(culled), -1);
    EXPECT_EQ(bucket_of(without_cull), 100);
    EXPECT_EQ(bucket_of(clockwise), 100);
    EXPECT_EQ(bucket_of(collinear), 100);
}

TEST_F(OrderingTable, DepthKeysFollowTheDepthModeAndKeepTheirLow16Bits) {
    PrimitivePacket* mean3 = triangle_at(0, 1, 1, 2);
    PrimitivePacket* mean3_negative = triangle_at(1, -1, -1, -2);
    PrimitivePacket* wrapped = triangle_at(2, 40000, 40000, 40000);
    vertex(9, 0, 0, 3);
    vertex(10, 0, 0, 4);
    vertex(11, 0, 0, -3);
    vertex(12, 0, 0, -4);
    PrimitivePacket* mean2 = packet(2, {9, 10});
    PrimitivePacket* mean2_negative = packet(2, {11, 12}, 100);
    PrimitivePacket* mean4 = packet(4, {0, 2, 9, 10});  // (1 + 2 + 3 + 4) >> 2
    PrimitivePacket* anchor = packet(PRIM_MARKER, {10});
    PrimitivePacket* kept = packet(PRIM_CALLBACK, {}, -700);
    bucket_packets(list);
    EXPECT_EQ(mean3->depth_key, 1);
    EXPECT_EQ(mean3_negative->depth_key, -1);  // truncated toward zero, then dropped
    EXPECT_EQ(bucket_of(mean3_negative), -1);
    EXPECT_EQ(wrapped->depth_key, -25536);
    EXPECT_EQ(bucket_of(wrapped), -1);
    EXPECT_EQ(mean2->depth_key, 3);
    EXPECT_EQ(mean2_negative->depth_key, -4);  // arithmetic shift
    EXPECT_EQ(bucket_of(mean2_negative), 96);
    EXPECT_EQ(mean4->depth_key, 2);
    EXPECT_EQ(bucket_of(anchor), 4);
    EXPECT_EQ(bucket_of(kept), 77);  // stored key 777, bias -700
}

TEST_F(OrderingTable, BucketsHoldLaterPacketsAndThenSlotsFirst) {
    PrimitivePacket* farthest = triangle_at(0, 4095, 4095, 4095);
    triangle_at(1, 4096, 4096, 4096);
    PrimitivePacket* bucket_zero = triangle_at(2, 10, 10, 10, -10);
    PrimitivePacket* earlier = triangle_at(3, 200, 200, 200);
    ASSERT_EQ(add_object_header(), 0);  // key -1: never linked
    PrimitivePacket* later = triangle_at(4, 190, 190, 190, 10);
    ASSERT_EQ(set_callback_slot(0, 200, 5), 0);
    ASSERT_EQ(set_callback_slot(3, 200, 6), 0);
    ASSERT_EQ(set_callback_slot(4, 300, 0), 0);  // empty: not filed
    // Filled by hand with keys outside the table: skipped, not written outside it.
    callback_slots()[5] = CallbackSlot{PRIM_CALLBACK, 20, 0, 4096, 0, 7};
    callback_slots()[6] = CallbackSlot{PRIM_CALLBACK, 20, 0, -1, 0, 7};
    bucket_packets(list);

    EXPECT_EQ(chain(200), (std::vector<uint32_t>{
                              callback_slot_reference(3), callback_slot_reference(0),
                              packet_reference(list, later), packet_reference(list, earlier)}));
    EXPECT_EQ(bucket_of(farthest), 4095);
    EXPECT_EQ(heads[0], packet_reference(list, bucket_zero));  // filed, but never painted
    EXPECT_EQ(filled_buckets(), 2);
    EXPECT_EQ(set_callback_slot(32, 200, 1), -1);
    EXPECT_EQ(set_callback_slot(1, 4096, 1), -1);
}

// Triangles of the usual size are filed by a walk of their own; one a quad's size
// takes the general steps. Both must give the same key, link and counts.
TEST_F(OrderingTable, UsualSizedTrianglesAreFiledAsTheGeneralStepsFileThem) {
    struct Case {
        const char* name;
        ScreenVertex corners[3];
        uint32_t header;
        int16_t bias;
    };
    const Case cases[] = {
        {"clockwise", {{0, 0, 100, 0}, {10, 0, 101, 0}, {10, 10, 105, 0}}, 3 | POLY_CULL, 0},
        {"counter-clockwise",
         {{0, 0, 100, 0}, {0, 10, 100, 0}, {10, 10, 100, 0}},
         3 | POLY_CULL,
         0},
        {"not tested", {{0, 0, 100, 0}, {0, 10, 100, 0}, {10, 10, 100, 0}}, PRIM_LIT_TRI, 0},
        {"behind the eye", {{0, 0, 100, 0}, {0, 10, 0, -1}, {10, 10, 100, 0}}, 3 | POLY_CULL, 0},
        {"bucket 0", {{0, 0, 10, 0}, {10, 0, 10, 0}, {10, 10, 10, 0}}, PRIM_LIT_TRI, -10},
        {"bucket 1", {{0, 0, 1, 0}, {10, 0, 1, 0}, {10, 10, 1, 0}}, 3 | POLY_WATERTIGHT, 0},
        {"bucket 4095", {{0, 0, 4095, 0}, {10, 0, 4095, 0}, {10, 10, 4095, 0}}, 3, 0},
        {"bucket 4096", {{0, 0, 4095, 0}, {10, 0, 4095, 0}, {10, 10, 4095, 0}}, 3, 1},
        {"negative mean", {{0, 0, -1, 0}, {10, 0, -1, 0}, {10, 10, -2, 0}}, 3, 10},
        {"wrapped key", {{0, 0, 40000, 0}, {10, 0, 40000, 0}, {10, 10, 40000, 0}}, 3, 0},
    };
    struct Filed {
        int16_t key;
        int32_t bucket;  // the head that names the packet, -1 for none
        uint32_t link;
        int32_t walked, culled, depth_dropped;
        bool operator==(const Filed&) const = default;
    };
    auto file = [&](const Case& c, int32_t size) {
        reset_frame_pools();
        std::fill(heads, heads + ORDERING_TABLE_SIZE, NO_PACKET);
        reset_render_stats();
        for (int k = 0; k < 3; ++k)
            list->screen_vertices[k] = c.corners[k];
        auto* p = static_cast<PrimitivePacket*>(alloc_packet(size));
        *p = PrimitivePacket{c.header, uint32_t(size), 99, 777, c.bias, 0, -1, 0};
        for (int16_t k = 0; k < 3; ++k)
            packet_vertices(p)[k] = k;
        bucket_packets(list);
        Filed filed{p->depth_key,
                    -1,
                    p->link,
                    render_stats.packets_walked,
                    render_stats.culled,
                    render_stats.depth_dropped};
        for (int32_t b = 0; b < ORDERING_TABLE_SIZE; ++b)
            if (heads[b] == packet_reference(list, p)) filed.bucket = b;
        return filed;
    };
    for (const Case& c : cases)
        EXPECT_EQ(file(c, TRIANGLE_PACKET_BYTES), file(c, QUAD_PACKET_BYTES)) << c.name;
    EXPECT_EQ(file(cases[0], TRIANGLE_PACKET_BYTES).bucket, 102);
    EXPECT_EQ(file(cases[4], TRIANGLE_PACKET_BYTES).bucket, 0);
}

TEST_F(OrderingTable, PacketsUsingAVertexBehindTheEyeAreNotDrawn) {
    vertex(0, -5000, 3000, 0, -1);  // unprojected: view-space x, y
    for (int i = 1; i < 8; ++i)
        vertex(i, 10 * i, 5 * i * i, 50);
    PrimitivePacket* triangle = packet(3, {1, 0, 2});
    PrimitivePacket* quad = packet(4, {1, 2, 3, 0});
    PrimitivePacket* passes_cull = packet(3 | POLY_CULL, {0, 1, 2});
    PrimitivePacket* marker = packet(PRIM_MARKER, {0, 1, 2});
    PrimitivePacket* projected_marker = packet(PRIM_MARKER, {4, 0});
    PrimitivePacket* projected = packet(4, {4, 5, 6, 7});
    bucket_packets(list);
    for (PrimitivePacket* dropped : {triangle, quad, passes_cull, marker}) {
        EXPECT_EQ(dropped->depth_key, 777);
        EXPECT_EQ(bucket_of(dropped), -1);
    }
    EXPECT_EQ(bucket_of(projected_marker), 50);
    EXPECT_EQ(bucket_of(projected), 50);
}

TEST_F(OrderingTable, AMalformedChainEndsTheWalkInsideTheArea) {
    PrimitivePacket* good = triangle_at(0, 60, 60, 60);
    PrimitivePacket* broken = triangle_at(1, 61, 61, 61);
    PrimitivePacket* last = triangle_at(2, 62, 62, 62);
    for (uint32_t size : {0u, 4096u, 50u}) {  // self-loop, past the area, misaligned
        broken->size = size;
        bucket_packets(list);
        EXPECT_EQ(bucket_of(good), 60);
        EXPECT_EQ(filled_buckets(), 1) << size;
        std::fill(heads, heads + ORDERING_TABLE_SIZE, NO_PACKET);
    }
    // The last packet is followed by a triangle head whose index arrays would lie past
    // the area's end.
    broken->size = QUAD_PACKET_BYTES;
    last->size = 4096 - 2 * QUAD_PACKET_BYTES - 24;
    auto* tail = reinterpret_cast<PrimitivePacket*>(reinterpret_cast<uint8_t*>(list->first_packet) +
                                                    4096 - 24);
    *tail = PrimitivePacket{3, 24, 0, 63, 0, 0, 0, 0};
    bucket_packets(list);
    EXPECT_EQ(bucket_of(last), 62);
    EXPECT_EQ(filled_buckets(), 3);
    std::fill(heads, heads + ORDERING_TABLE_SIZE, NO_PACKET);
    // A header in the area's last word: its size word would lie past the area.
    last->size += 20;
    tail = reinterpret_cast<PrimitivePacket*>(reinterpret_cast<uint8_t*>(list->first_packet) +
                                              4096 - 4);
    tail->header = 3;
    bucket_packets(list);
    EXPECT_EQ(filled_buckets(), 3);
}

TEST_F(OrderingTable, RenderFramePaintsFarToNearAndEmptiesTheTable) {
    ScratchRaster raster(26, 12, 0x1234);
    const ColourRecord colours[] = {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}};
    auto quad = [&](int16_t first, int32_t left, int32_t z, int colour, int16_t bias = 0) {
        rectangle(first, left, z);
        for (int k = 0; k < 4; ++k)
            list->colour_records[first + k] = colours[colour];
        packet(PRIM_GOURAUD_QUAD,
               {first, int16_t(first + 1), int16_t(first + 2), int16_t(first + 3)}, bias);
    };
    quad(0, 8, 50, 1);        // near green, columns 8..15
    quad(4, 2, 100, 0);       // far red, columns 2..9
    quad(8, 14, 30, 2);       // same bucket as the next, earlier: ends on top
    quad(12, 16, 30, 0);      // red, columns 16..23
    quad(16, 0, 10, 2, -10);  // bucket 0: never painted
    render_frame();
    EXPECT_EQ(raster.at(5, 5), 0x7C00);
    EXPECT_EQ(raster.at(9, 5), 0x03E0);   // green over red
    EXPECT_EQ(raster.at(15, 5), 0x001F);  // blue over green
    EXPECT_EQ(raster.at(19, 5), 0x001F);  // blue over the later red of its bucket
    EXPECT_EQ(raster.at(23, 5), 0x7C00);
    EXPECT_EQ(raster.at(1, 5), 0x1234);
    EXPECT_EQ(filled_buckets(), 0);
}

}  // namespace
