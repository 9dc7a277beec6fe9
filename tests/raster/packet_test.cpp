// Packet chains, face normals and the lit-polygon normal pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "geometry/normals.h"
#include "raster/packet.h"

namespace {

// A packet area under construction: packets back to back, the end word after them.
struct Chain {
    std::vector<uint32_t> words = std::vector<uint32_t>(256, 0);
    size_t used = 0;  // bytes

    PrimitivePacket* add(uint32_t header, uint32_t size, std::initializer_list<int16_t> v = {}) {
        auto* p =
            reinterpret_cast<PrimitivePacket*>(reinterpret_cast<uint8_t*>(words.data()) + used);
        p->header = header;
        p->size = size;
        std::copy(v.begin(), v.end(), packet_vertices(p));
        used += size;
        words[used / 4] = PACKET_END;
        return p;
    }
    PrimitivePacket* first() { return reinterpret_cast<PrimitivePacket*>(words.data()); }
};

}  // namespace

TEST(Packet, ChainOfMixedPacketsWalksToTheEndWordAndHeadersDecode) {
    Chain chain;
    chain.add(PACKET_OBJECT_HEADER, SHORT_PACKET_BYTES);
    PrimitivePacket* tri = chain.add(PRIM_FLAT_TRI | POLY_CULL, TRIANGLE_PACKET_BYTES);
    chain.add(PRIM_GOURAUD_QUAD, QUAD_PACKET_BYTES);
    PrimitivePacket* marker = chain.add(PRIM_MARKER + (7u << 16), PACKET_HEAD_BYTES);
    PrimitivePacket* unset = chain.add(PRIM_MARKER + (0xFFFFu << 16), PACKET_HEAD_BYTES);

    PrimitivePacket* p = chain.first();
    while (packet_depth_mode(p) != PACKET_END)
        p = next_packet(p);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(p) - reinterpret_cast<uint8_t*>(chain.first()),
              20 + 48 + 56 + 24 + 24);
    EXPECT_EQ(tri->header, 0x2003u);
    EXPECT_EQ(packet_code(tri), PRIM_FLAT_TRI);
    EXPECT_EQ(packet_parameter(marker), 7);
    EXPECT_EQ(packet_parameter(unset), -1);
}

TEST(Packet, NormalsAreScaledTo1024WithATruncatedLength) {
    Vec4 out = {9, 9, 9, 77}, o = {};
    Vec4 x100 = {100, 0, 0, 0}, xy100 = {100, 100, 0, 0}, x200 = {200, 0, 0, 0};
    face_normal(&out, &o, &x100, &xy100);
    EXPECT_TRUE(out.x == 0 && out.y == 0 && out.z == 1024 && out.w == 77);
    // (1,0,0) x (0,1,1) = (0,-1,1); the root of 2 truncates to 1.
    Vec4 x1 = {1, 0, 0, 0}, r = {1, 1, 1, 0};
    face_normal(&out, &o, &x1, &r);
    EXPECT_TRUE(out.x == 0 && out.y == -1024 && out.z == 1024);
    face_normal(&out, &o, &x100, &x200);  // collinear: the zero product stays
    EXPECT_TRUE(out.x == 0 && out.y == 0 && out.z == 0);
    // Length 50000: the squared sum passes 2^31 and still gives a unit normal.
    Vec4 y250 = {0, 250, 0, 0}, yz = {0, 250, 200, 0};
    face_normal(&out, &o, &y250, &yz);
    EXPECT_EQ(out.x, 1024);
    // Length 65536: the squared sum wraps to 0, so the raw product stays.
    Vec4 y256 = {0, 256, 0, 0}, yz256 = {0, 256, 256, 0};
    face_normal(&out, &o, &y256, &yz256);
    EXPECT_EQ(out.x, 65536);

    Vec4 n = {0, 0, 1024, 0}, add = {1024, 0, 0, 0};
    add_normalised(&n, &n, &add);  // (1024, 0, 1024): length 1448, 1048576 / 1448 = 724
    EXPECT_TRUE(n.x == 724 && n.y == 0 && n.z == 724);
}

TEST(Packet, DegeneratePolygonsAreJudgedExactlyAtAnyCoordinates) {
    constexpr int32_t LO = INT32_MIN, HI = INT32_MAX;
    struct Case {
        const char* name;
        std::vector<Vec4> corners;
        bool degenerate;
    };
    const Case cases[] = {
        {"triangle", {{0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 5, 0}}, false},
        {"on one line", {{0, 0, 0, 0}, {10, 10, 10, 0}, {20, 20, 20, 0}}, true},
        {"corner twice, w apart", {{1, 2, 3, 0}, {5, 0, 0, 0}, {1, 2, 3, 9}}, true},
        // Differences of 2^32 and products of 2^64: exact only beyond 64 bits.
        {"widest", {{LO, LO, 0, 0}, {HI, LO, 0, 0}, {LO, HI, 0, 0}}, false},
        {"widest line", {{LO, LO, LO, 0}, {0, 0, 0, 0}, {HI, HI, HI, 0}}, true},
        {"widest sliver", {{LO, LO, 0, 0}, {HI, HI - 1, 0, 0}, {HI, HI, 0, 0}}, false},
        {"quad", {{0, 0, 0, 0}, {10, 0, 0, 0}, {10, 10, 0, 0}, {0, 10, 0, 0}}, false},
        {"bow tie", {{0, 0, 0, 0}, {10, 10, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}}, true},
        {"two corners", {{0, 0, 0, 0}, {10, 0, 0, 0}}, true},
    };
    for (const Case& c : cases) {
        std::vector<const Vec4*> corners;
        for (const Vec4& v : c.corners)
            corners.push_back(&v);
        EXPECT_EQ(is_degenerate_polygon(corners.data(), int(corners.size())), c.degenerate)
            << c.name;
    }
}

TEST(Packet, AccumulateLightsPolygonsOnlyAndStopsAtTheEndWord) {
    Chain chain;
    chain.add(PACKET_OBJECT_HEADER, SHORT_PACKET_BYTES)->depth_key = -1;
    PrimitivePacket* p[5] = {
        chain.add(PRIM_FLAT_TRI | POLY_CULL, TRIANGLE_PACKET_BYTES, {0, 1, 2}),
        chain.add(PRIM_FLAT_QUAD, QUAD_PACKET_BYTES, {0, 1, 2, 3}),
        chain.add(PRIM_TEX_QUAD, QUAD_PACKET_BYTES, {0, 1, 2, 3}),
        chain.add(PRIM_GOURAUD_TRI, TRIANGLE_PACKET_BYTES, {0, 1, 2}),
        chain.add(PRIM_MARKER, PACKET_HEAD_BYTES),
    };
    // Past the end word, a triangle that a walk by size alone would reach.
    size_t end = chain.used;
    chain.used += 8;
    PrimitivePacket* beyond = chain.add(PRIM_FLAT_TRI, TRIANGLE_PACKET_BYTES, {0, 1, 2});
    chain.words[end / 4] = PACKET_END;
    chain.words[end / 4 + 1] = 8;
    std::vector<uint32_t> header_before(chain.words.begin(), chain.words.begin() + 5);

    Vec4 vertices[4] = {{0, 0, 0, 0}, {8, 0, 0, 0}, {8, 8, 0, 0}, {0, 8, 0, 0}};
    Vec4 normals[4] = {};
    accumulate_vertex_normals(100, chain.first(), 4, vertices, 0, normals);
    EXPECT_EQ(p[0]->header, POLY_CULL | PRIM_LIT_TRI);
    EXPECT_EQ(packet_code(p[1]), PRIM_LIT_QUAD);
    EXPECT_EQ(packet_code(p[2]), PRIM_LIT_ENV_QUAD);
    EXPECT_EQ(packet_code(p[3]), 323u);
    EXPECT_EQ(packet_code(p[4]), PRIM_MARKER);
    EXPECT_TRUE(std::equal(header_before.begin(), header_before.end(), chain.words.begin()));
    EXPECT_EQ(beyond->header, PRIM_FLAT_TRI);
    EXPECT_EQ(packet_normals(p[1])[3], 3);

    // A size of 0 or off the 4-byte grid ends the walk before the packet is touched.
    for (uint32_t bad_size : {0u, 50u}) {
        Chain broken;
        PrimitivePacket* q = broken.add(PRIM_FLAT_TRI, TRIANGLE_PACKET_BYTES);
        q->size = bad_size;
        accumulate_vertex_normals(3, broken.first(), 0, vertices, 0, normals);
        EXPECT_EQ(q->header, PRIM_FLAT_TRI) << bad_size;
    }
}

TEST(Packet, SharedEdgeVerticesGetTheNormalisedSumOfBothFaces) {
    // A = (v0, v1, v2): (100,0,0) x (-100,100,0) = (0,0,10000) -> (0,0,1024).
    // B = (v2, v1, v3): (100,-100,0) x (0,100,100) = (-10000,-10000,10000);
    //   length 17320, 10240000 / 17320 = 591 -> (-591,-591,591).
    // v1 and v2: (0,0,1024) + B = (-591,-591,1615), length 1818
    //   -> (-605184 / 1818, .., 1653760 / 1818) = (-332,-332,909).
    Vec4 vertices[4] = {{0, 0, 0, 0}, {100, 0, 0, 0}, {0, 100, 0, 0}, {100, 100, 100, 0}};
    Chain chain;
    chain.add(PRIM_FLAT_TRI, TRIANGLE_PACKET_BYTES, {0, 1, 2});
    PrimitivePacket* b = chain.add(PRIM_FLAT_TRI, TRIANGLE_PACKET_BYTES, {2, 1, 3});
    Vec4 normals[6] = {};
    normals[5] = {5, 5, 5, 5};  // outside the range marked fresh
    accumulate_vertex_normals(2, chain.first(), 5, vertices, 0, normals);

    const Vec4 expected[5] = {
        {0, 0, 1024, 0},      {-332, -332, 909, 0}, {-332, -332, 909, 0},
        {-591, -591, 591, 0}, {0, 0, 0, 1},  // marked fresh, used by no polygon
    };
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(normals[i].x == expected[i].x && normals[i].y == expected[i].y &&
                    normals[i].z == expected[i].z && normals[i].w == expected[i].w)
            << i << ": " << normals[i].x << " " << normals[i].y << " " << normals[i].z;
    }
    EXPECT_EQ(normals[5].w, 5);
    EXPECT_TRUE(packet_normals(b)[0] == 2 && packet_normals(b)[2] == 3);
}
