// Scene objects: slots, the draw list, the packet run, shading and normals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/messages.h"
#include "geometry/part_mesh.h"
#include "geometry/scene_fixture.h"
#include "support/test_support.h"

namespace {

class SceneObjects : public SceneTest {};

// Two triangles sharing the edge (16,0,0)-(0,16,0), not coplanar.
const Vec4 SHEET[2][3] = {
    {{0, 0, 0, 0}, {16, 0, 0, 0}, {0, 16, 0, 0}},
    {{16, 0, 0, 0}, {16, 16, 8, 0}, {0, 16, 0, 0}},
};

int draw_list_length() {
    int n = 0;
    for (SceneObject* o = draw_list(); o != nullptr; o = o->next)
        ++n;
    return n;
}

void expect_normals(const Vec4 (&expected)[4]) {
    for (int i = 0; i < 4; ++i) {
        const Vec4& n = SceneTest::list()->model_normals[i];
        EXPECT_EQ(n.x, expected[i].x) << i;
        EXPECT_EQ(n.y, expected[i].y) << i;
        EXPECT_EQ(n.z, expected[i].z) << i;
    }
}

int deleted_index = -1;
int delete_calls = 0;
void record_deletion(int32_t index) {
    deleted_index = index;
    ++delete_calls;
}
void delete_again(int32_t index) {
    ++delete_calls;
    delete_object(index);
}

}  // namespace

TEST_F(SceneObjects, SlotsAreTakenLowestFirstAndMissingObjectsAreRefused) {
    for (int i = 0; i < MAX_OBJECTS; ++i)
        ASSERT_EQ(create_object(1), i);
    EXPECT_EQ(create_object(1), OBJECT_TABLE_FULL);
    EXPECT_EQ(delete_object(5), 5);
    EXPECT_EQ(create_object(1), 5);
    EXPECT_EQ(get_object(5)->index, 5);

    delete_object(7);
    EXPECT_EQ(add_object_part(7, 0, 1, 0), -1);
    EXPECT_EQ(delete_object(7), -1);
    EXPECT_EQ(get_object(32), nullptr);
}

TEST_F(SceneObjects, CreationOpensARunThatFinishCloses) {
    triangle({1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0});  // before the object: 1 packet, 3 vertices
    ASSERT_EQ(create_object(2), 0);
    SceneObject* o = get_object(0);
    EXPECT_EQ(current_object(), o);
    EXPECT_EQ(o->packet_count, 1);
    EXPECT_EQ(o->vertex_count, 3);
    EXPECT_EQ(o->header_packet, packet_at(48));
    EXPECT_EQ(o->header_packet->header, PACKET_OBJECT_HEADER);
    EXPECT_EQ(o->header_packet->depth_key, -1);

    // Parts within the capacity given at creation, and no further.
    EXPECT_EQ(add_object_part(0, 3, 4, 1), 0);
    EXPECT_EQ(add_object_part(0, 5, 2, 0), 1);
    EXPECT_EQ(add_object_part(0, 9, 1, 0), -1);
    EXPECT_EQ(o->parts[0].vertices, list()->model_vertices + 3);
    set_part_flags(0, 8);
    set_part_flags(0, PART_LIT);
    EXPECT_EQ(o->parts[1].flags, 8 | PART_LIT);

    triangle(SHEET[0][0], SHEET[0][1], SHEET[0][2]);
    triangle(SHEET[1][0], SHEET[1][1], SHEET[1][2]);
    finish_object();
    EXPECT_EQ(o->packet_count, 3);  // header and two triangles
    EXPECT_EQ(o->vertex_count, 4);
    EXPECT_EQ(o->header_packet->extra, 20u + 2 * 48);
    EXPECT_EQ(geometry_pool(POOL_VERTEX)->mark, 7);
}

TEST_F(SceneObjects, FailedCreationLeavesNoObjectToFinish) {
    MessageCapture messages;
    ASSERT_EQ(build_object(SHEET, 1), 0);
    fail_allocation_after(1);
    EXPECT_EQ(create_object(2), OBJECT_ALLOC_FAILED);
    EXPECT_EQ(current_object(), nullptr);
    EXPECT_EQ(draw_list_length(), 1);
    finish_object();  // as the outline builder does after a failure
    EXPECT_EQ(get_object(0)->packet_count, 2);

    // A header packet that does not fit: refused, not written past the area.
    restart(20 + 4);
    ASSERT_EQ(create_object(1), 0);
    messages.clear();
    EXPECT_EQ(create_object(1), OBJECT_HEADER_FAILED);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{TEXT_PACKET_AREA_FULL});
    EXPECT_EQ(get_object(1), nullptr);
}

TEST_F(SceneObjects, DrawListKeepsItsOrderThroughShowAndDelete) {
    for (int i = 0; i < 3; ++i)
        create_object(0);
    show_object(1);
    show_object(1);
    EXPECT_EQ(draw_list_length(), 3);

    delete_object(0);
    EXPECT_EQ(draw_list(), get_object(1));
    EXPECT_EQ(get_object(1)->next, get_object(2));

    // An object taken off the list: deleting it changes nothing, showing it appends it.
    create_object(0);
    create_object(0);  // slot 3
    get_object(2)->next = get_object(3);
    get_object(0)->next = nullptr;
    delete_object(0);
    EXPECT_EQ(draw_list_length(), 3);
    create_object(0);
    get_object(3)->next = nullptr;
    show_object(0);
    EXPECT_EQ(get_object(3)->next, get_object(0));
    EXPECT_EQ(draw_list_length(), 4);
}

TEST_F(SceneObjects, DeleteCallbackRunsOnceWithTheIndex) {
    for (int i = 0; i < 3; ++i)
        create_object(1);
    delete_calls = 0;
    EXPECT_EQ(set_delete_callback(1, record_deletion), get_object(1));
    EXPECT_EQ(delete_object(1), 1);
    EXPECT_EQ(deleted_index, 1);
    EXPECT_EQ(delete_calls, 1);
    delete_object(2);  // the current object
    EXPECT_EQ(current_object(), nullptr);

    // A callback that deletes its own object does not free it twice.
    set_delete_callback(0, delete_again);
    EXPECT_EQ(delete_object(0), 0);
    EXPECT_EQ(delete_calls, 2);
}

TEST_F(SceneObjects, ShadingGoesIntoEveryPolygonOfTheRunOnly) {
    ASSERT_EQ(build_object(SHEET, 2), 0);
    ASSERT_EQ(create_object(1), 1);  // header only, then the end word
    finish_object();
    EXPECT_EQ(set_object_shading(0, 2), 0);
    EXPECT_EQ(set_object_shading(1, 3), 0);
    EXPECT_EQ(packet_at(20)->extra, 2u);
    EXPECT_EQ(packet_at(68)->extra, 2u);
    EXPECT_EQ(packet_at(0)->extra, 116u);  // the run length stays
    EXPECT_EQ(word_at(136), PACKET_END);
    // A mode must name one of the four shade tables.
    EXPECT_EQ(set_object_shading(0, 4), -1);
    EXPECT_EQ(packet_at(20)->extra, 2u);
}

TEST_F(SceneObjects, WalksStopAtTheEndWordAfterAPacketAreaOverflow) {
    MessageCapture messages;
    restart(200);
    // Packets of an earlier object stay in the area after a reset.
    build_object(SHEET, 2);
    triangle({0, 0, 5, 0}, {1, 0, 5, 0}, {0, 1, 5, 0});  // at 116
    delete_object(0);
    reset_frame_pools();

    ASSERT_EQ(create_object(1), 0);
    triangle({0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0});
    EXPECT_EQ(alloc_packet(200), nullptr);  // the write position is parked at the area end
    add_object_part(0, 0, 3, 0);
    finish_object();
    EXPECT_EQ(packet_at(0)->extra, 200u);

    uint32_t stale_extra = packet_at(116)->extra;
    EXPECT_EQ(set_object_shading(0, 1), 0);
    EXPECT_EQ(compute_object_normals(0), 0);
    EXPECT_EQ(packet_at(20)->extra, 1u);
    EXPECT_EQ(packet_code(packet_at(20)), PRIM_LIT_TRI);
    EXPECT_EQ(packet_at(116)->extra, stale_extra);
    EXPECT_EQ(packet_at(116)->header, POLY_CULL | PRIM_FLAT_TRI);
}

TEST_F(SceneObjects, NormalsAreTheSameEveryTimeAfterAResetOfTheCount) {
    ASSERT_EQ(build_object(SHEET, 2), 0);
    for (int round = 0; round < 2; ++round) {
        list()->normal_count = 0;
        EXPECT_EQ(compute_object_normals(0), 0);
        EXPECT_EQ(list()->normal_count, 4);
        expect_normals(
            {{0, 0, 1024, 0}, {-219, -219, 976, 0}, {-219, -219, 976, 0}, {-418, -418, 837, 0}});
    }
    auto* second = packet_at<TrianglePacket>(68);
    EXPECT_EQ(second->head.header, POLY_CULL | PRIM_LIT_TRI);
    EXPECT_EQ(second->nrm[1], 3);
    EXPECT_EQ(get_part(0, 0)->normal_count, 4);

    // Without the reset the second call marks the next four normals and adds
    // each face normal onto the first call's normals.
    EXPECT_EQ(compute_object_normals(0), 0);
    EXPECT_EQ(list()->normal_count, 8);
    expect_normals(
        {{0, 0, 1024, 0}, {-271, -271, 949, 0}, {-271, -271, 949, 0}, {-417, -417, 836, 0}});
    EXPECT_EQ(list()->model_normals[7].w, 1);
}

TEST_F(SceneObjects, NormalsNeverReachPastTheNormalPool) {
    ASSERT_EQ(build_object(SHEET, 2), 0);
    // Marking from 62 stops at the pool's end, before the view normals.
    list()->view_normals[0].w = 77;
    list()->normal_count = POOL_SIZE - 2;
    EXPECT_EQ(compute_object_normals(0), 0);
    EXPECT_EQ(list()->normal_count, POOL_SIZE);
    EXPECT_EQ(list()->view_normals[0].w, 77);

    // Vertex indices beyond a smaller normal pool: refused, nothing lit.
    create_object(1);
    triangle({0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0});  // vertices 4..6
    finish_object();
    alloc_normal_pool(6);
    EXPECT_EQ(compute_object_normals(1), NORMALS_OUT_OF_RANGE);
    EXPECT_EQ(packet_at(136)->header, POLY_CULL | PRIM_FLAT_TRI);
}

// A part's mesh held as plain data is emitted as the outline build emits the
// same triangles (whether its vertices enter triangle by triangle or each as
// its own record), textured with a painted part's skin, and after its
// vertices moved it is written back over the same records, with the normals
// the packets would give.
TEST_F(SceneObjects, APartMeshEmitsAsTheBuildDoesAndIsWrittenBackInPlace) {
    ASSERT_EQ(build_object(SHEET, 2), 0);
    set_part_flags(0, PART_LIT);
    show_object(0);
    ASSERT_EQ(recompute_object_normals(0), 0);
    set_object_shading(0, 1);
    pack_colours();
    const std::vector<uint8_t> packets(area(), list()->write_position + 4);
    const std::vector<Vec4> normals(list()->model_normals, list()->model_normals + 4);

    PartMesh mesh;
    mesh.vertices = {SHEET[0][0], SHEET[0][1], SHEET[0][2], SHEET[1][1]};
    mesh.triangles = {{{0, 1, 2}}, {{1, 3, 2}}};
    mesh.front_count = 4;
    refresh_part_normals(&mesh);
    for (bool by_triangle : {true, false}) {
        delete_object(0);
        reset_frame_pools();
        mesh.entered_by_triangle = by_triangle;
        ASSERT_EQ(emit_part_object(mesh, ColourRecord{255, 0, 0, 0}, 1), 0);
        EXPECT_EQ(std::vector<uint8_t>(area(), list()->write_position + 4), packets);
        EXPECT_EQ(std::memcmp(list()->model_normals, normals.data(), 4 * sizeof(Vec4)), 0);
        EXPECT_EQ(list()->vertex_count, 4);
        EXPECT_EQ(list()->normal_count, 4);
    }

    // With a skin every triangle is lit and textured from its slot, each corner at its
    // vertex's coordinates (equal ones shared); a skin without a coordinate per vertex, or
    // with more distinct ones than the coordinate pool has room for, is left off.
    const std::vector<TexCoord> coords = {{8, 8, 0, 0}, {40, 8, 0, 0}, {8, 40, 0, 0}, {8, 8, 0, 0}};
    const std::vector<TexCoord> short_coords(coords.begin(), coords.end() - 1);
    for (bool by_triangle : {true, false}) {
        for (int32_t uv_room : {POOL_SIZE, 2}) {
            for (const std::vector<TexCoord>* skin_coords : {&coords, &short_coords}) {
                delete_object(0);
                reset_frame_pools();
                alloc_uv_pool(uv_room);
                mesh.entered_by_triangle = by_triangle;
                const PartSkin skin{5, skin_coords};
                ASSERT_EQ(emit_part_object(mesh, ColourRecord{255, 0, 0, 0}, 1, &skin), 0);
                if (uv_room == 2 || skin_coords == &short_coords) {
                    EXPECT_EQ(std::vector<uint8_t>(area(), list()->write_position + 4), packets);
                    continue;
                }
                EXPECT_EQ(pool_count(POOL_UV), 3);
                for (int32_t t = 0; t < 2; ++t) {
                    const auto* p = packet_at<TrianglePacket>(SHORT_PACKET_BYTES + t * 48);
                    EXPECT_EQ(p->head.header, POLY_CULL | PRIM_LIT_TEX_TRI);
                    EXPECT_EQ(p->head.texture, 5);
                    for (int k = 0; k < 3; ++k) {
                        const int32_t v = mesh.triangles[size_t(t)].v[k];
                        EXPECT_EQ(list()->tex_coords[p->t[k]].u, coords[size_t(v)].u);
                        EXPECT_EQ(list()->tex_coords[p->t[k]].v, coords[size_t(v)].v);
                    }
                }
            }
        }
    }
    // A tiled skin: each triangle from its own slot, its corners at their own coordinates.
    const std::vector<int32_t> tiles = {5, 6};
    const std::vector<TexCoord> corners = {{1, 2, 0, 0}, {3, 4, 0, 0},  {5, 6, 0, 0},
                                           {7, 8, 0, 0}, {9, 10, 0, 0}, {1, 2, 0, 0}};
    for (bool by_triangle : {true, false}) {
        delete_object(0);
        reset_frame_pools();
        alloc_uv_pool(POOL_SIZE);
        mesh.entered_by_triangle = by_triangle;
        const PartSkin skin{-1, &corners, &tiles};
        ASSERT_EQ(emit_part_object(mesh, ColourRecord{255, 0, 0, 0}, 1, &skin), 0);
        EXPECT_EQ(pool_count(POOL_UV), 5);
        for (int32_t t = 0; t < 2; ++t) {
            const auto* p = packet_at<TrianglePacket>(SHORT_PACKET_BYTES + t * 48);
            EXPECT_EQ(p->head.texture, tiles[size_t(t)]);
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(list()->tex_coords[p->t[k]].v, corners[size_t(3 * t + k)].v);
        }
    }
    delete_object(0);
    reset_frame_pools();
    alloc_uv_pool(POOL_SIZE);
    ASSERT_EQ(emit_part_object(mesh, ColourRecord{255, 0, 0, 0}, 1), 0);

    mesh.vertices[3].z = -24;
    refresh_part_normals(&mesh);
    store_emitted_vertices(0, mesh);
    EXPECT_EQ(list()->model_vertices[3].z, -24);
    const std::vector<Vec4> moved(list()->model_normals, list()->model_normals + 4);
    EXPECT_NE(std::memcmp(moved.data(), normals.data(), 4 * sizeof(Vec4)), 0);
    ASSERT_EQ(recompute_object_normals(0), 0);
    EXPECT_EQ(std::memcmp(list()->model_normals, moved.data(), 4 * sizeof(Vec4)), 0);
    EXPECT_EQ(std::vector<uint8_t>(area(), list()->write_position + 4), packets);
}
