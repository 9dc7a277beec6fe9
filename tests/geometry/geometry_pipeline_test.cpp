// The geometry pipeline: triangle emission into packets and pools, and the
// per-frame transform with part hierarchy, projection and lighting.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "base/messages.h"
#include "geometry/camera.h"
#include "geometry/scene_fixture.h"
#include "support/test_support.h"

namespace {

class GeometryPipeline : public SceneTest {
public:
    // Identity camera, light along +x.
    int32_t transform(int32_t index) {
        Matrix camera;
        matrix_identity(&camera);
        const Vec4 light = {1024, 0, 0, 0};
        return transform_object(get_object(index), &camera, &light);
    }
};

TrianglePacket* triangle_at(int32_t offset) {
    return SceneTest::packet_at<TrianglePacket>(offset);
}

// Row 3 of a matrix: the translation times 512.
void expect_translation(const Matrix& m, int32_t x, int32_t y, int32_t z) {
    EXPECT_EQ(m.m[12], x * 512);
    EXPECT_EQ(m.m[13], y * 512);
    EXPECT_EQ(m.m[14], z * 512);
}

const Vec4 A = {0, 0, 0, 0}, B = {8, 0, 0, 0}, C = {0, 8, 0, 0}, D = {8, 8, 0, 0};

}  // namespace

TEST_F(GeometryPipeline, TrianglesShareVerticesWithinAnObjectOnly) {
    create_object(1);
    const ColourRecord red = {255, 0, 0, 0};
    const Vec4* vertices[3] = {&A, &B, &C};
    const ColourRecord* colours[3] = {&red, nullptr, nullptr};
    EXPECT_EQ(add_triangle(vertices, colours, nullptr, nullptr, -1, POLY_CULL, -5), 2);
    TrianglePacket* p = triangle_at(20);
    EXPECT_EQ(p->head.header, 0x2003u);
    EXPECT_EQ(p->head.size, 48u);
    EXPECT_EQ(p->head.depth_bias, -5);
    EXPECT_EQ(word_at(68), PACKET_END);

    EXPECT_EQ(triangle(D, C, B), 3);
    EXPECT_EQ(triangle_at(68)->v[1], 2);
    EXPECT_EQ(triangle_at(68)->v[2], 1);
    finish_object();

    create_object(1);
    EXPECT_EQ(triangle(A, B, C), 6);
    EXPECT_EQ(triangle_at(136)->v[0], 4);
    EXPECT_EQ(triangle_at(136)->col[0], 0);  // colours are shared across objects
    EXPECT_EQ(triangle(A, A, A, POLY_CULL | POLY_NO_SHARING), 9);
    EXPECT_EQ(triangle_at(184)->head.header, 0x3003u);
    EXPECT_EQ(triangle_at(184)->v[0], 7);
    EXPECT_EQ(list()->vertex_count, 10);
}

TEST_F(GeometryPipeline, PerVertexRecordsAreEnteredAndCounted) {
    create_object(1);
    const ColourRecord red = {255, 0, 0, 0}, green = {0, 255, 0, 0};
    const Vec4 uv = {255, 0, 0, 0}, up = {0, 0, 1024, 0};
    const Vec4* vertices[3] = {&A, &B, &C};
    const ColourRecord* colours[3] = {&red, &green, &red};
    const Vec4* uvs[3] = {&A, &uv, &uv};
    const Vec4* normals[3] = {&up, &up, &up};
    EXPECT_EQ(add_triangle(vertices, colours, uvs, normals, 3, POLY_PER_VERTEX_COLOUR, 0), 2);
    TrianglePacket* p = triangle_at(20);
    EXPECT_EQ(p->head.header, PRIM_GOURAUD_TRI);
    EXPECT_EQ(p->col[1], 1);
    EXPECT_EQ(p->t[2], 1);
    EXPECT_EQ(list()->colour_count, 2);
    EXPECT_EQ(list()->uv_count, 2);
    EXPECT_EQ(list()->normal_count, 1);
}

TEST_F(GeometryPipeline, FullPoolShowsItsMessageOncePerCallAndStoresNothingPastIt) {
    MessageCapture messages;
    alloc_vertex_pool(4);
    alloc_colour_pool(1);
    create_object(1);
    list()->screen_vertices[0].w = 55;  // directly after the last model vertex
    triangle(A, B, C);
    EXPECT_EQ(triangle({5, 0, 0, 0}, {6, 0, 0, 0}, {7, 0, 0, 0}), 3);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{TEXT_VERTEX_POOL_FULL});
    EXPECT_EQ(triangle_at(68)->v[2], 3);
    EXPECT_EQ(list()->vertex_count, 4);
    EXPECT_EQ(list()->screen_vertices[0].w, 55);
    triangle({8, 0, 0, 0}, {9, 0, 0, 0}, C);
    EXPECT_EQ(messages.texts().size(), 2u);

    // A colour that no longer fits is reported as well.
    messages.clear();
    const ColourRecord blue = {0, 0, 255, 0};
    const Vec4* vertices[3] = {&A, &A, &A};
    const ColourRecord* colours[3] = {&blue, nullptr, nullptr};
    add_triangle(vertices, colours, nullptr, nullptr, -1, POLY_CULL, 0);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{TEXT_COLOUR_POOL_FULL});
}

TEST_F(GeometryPipeline, RefusedTriangleTakesNoPacketAndNoRecord) {
    MessageCapture messages;
    create_object(1);
    const ColourRecord red = {255, 0, 0, 0};
    const Vec4* missing_vertex[3] = {&A, nullptr, &A};
    const ColourRecord* colours[3] = {&red, nullptr, nullptr};
    const Vec4* vertices[3] = {&A, &A, &A};
    EXPECT_EQ(add_triangle(missing_vertex, colours, nullptr, nullptr, -1, 0, 0), -1);
    EXPECT_EQ(add_triangle(vertices, colours, nullptr, nullptr, -1, POLY_PER_VERTEX_COLOUR, 0), -1);
    EXPECT_EQ(list()->packet_count, 1);

    restart(20 + 4);
    create_object(1);
    EXPECT_EQ(triangle(A, A, A), -1);
    EXPECT_EQ(messages.texts().back(), std::string(TEXT_PACKET_AREA_FULL));
    EXPECT_EQ(pool_count(POOL_VERTEX), 0);
    EXPECT_EQ(pool_count(POOL_COLOUR), 0);
}

TEST_F(GeometryPipeline, VerticesAreProjectedOrLeftUnprojectedBehindTheEye) {
    set_screen_centre(160, 120);
    Vec4* model = list()->model_vertices;
    model[0] = {100, 50, 256, 0};
    model[1] = {3, -4, 0, 0};  // view depth 0
    create_object(2);
    add_object_part(0, 0, 2, 0);
    add_object_part(0, POOL_SIZE - 1, 10, 0);  // cut at the pool's end
    EXPECT_EQ(transform(0), 2);
    const ScreenVertex* s = list()->screen_vertices;
    EXPECT_EQ(s[0].x, 260);
    EXPECT_EQ(s[0].y, 170);
    EXPECT_EQ(s[0].w, 0);
    EXPECT_EQ(s[1].x, 3 * 256);  // unprojected
    EXPECT_EQ(s[1].y, -4 * 256);
    EXPECT_EQ(s[1].w, -1);
    EXPECT_EQ(s[POOL_SIZE - 1].w, -1);

    create_object(0);
    EXPECT_EQ(transform(1), 0);
}

TEST_F(GeometryPipeline, LitPartsStoreIntensitiesFromTheirTransformedNormals) {
    Vec4* normals = list()->model_normals;
    normals[0] = {1024, 0, 0, 0};  // along the light
    normals[1] = {-1024, 0, 0, 0};
    normals[2] = {0, 1024, 0, 0};
    normals[3] = {512, 0, 0, 0};
    create_object(1);
    add_object_part(0, 0, 4, 0);
    get_part(0, 0)->normal_count = 4;
    list()->intensities[0] = 42;
    transform(0);
    EXPECT_EQ(list()->intensities[0], 42);  // not lit

    set_part_flags(0, PART_LIT);
    transform(0);
    const int32_t* intensity = list()->intensities;
    EXPECT_EQ(intensity[0], 255);  // 256 before the clamp
    EXPECT_EQ(intensity[1], -256);
    EXPECT_EQ(intensity[2], 0);
    EXPECT_EQ(intensity[3], 128);

    // The whole matrix, translation included, moves the normals.
    get_object(0)->translation = {10, 0, 0, 0};
    transform(0);
    EXPECT_EQ(list()->view_normals[2].x, 10);
    EXPECT_EQ(intensity[1], -254);  // -1014 >> 2, floored
    EXPECT_EQ(intensity[2], 2);
}

// Normals are lit several at a time where the processor allows: each must
// come out as transformed_vector and the light's sum give it alone, sums
// that wrap included, and the view normal's w must stay as it was.
TEST_F(GeometryPipeline, EveryLitNormalGetsItsOwnViewNormalAndLight) {
    const Vec4 normals[] = {{1024, 0, 0, 0},
                            {-1024, 512, 300, 0},
                            {INT32_MAX, INT32_MIN, 12345, 7},
                            {3, -5, 7, 0},
                            {1 << 20, -(1 << 22), 999999, 0},
                            {0, 0, -1024, 0},
                            {-2147483000, 5, 2147483000, 0}};
    const int32_t n = int32_t(std::size(normals));  // four at a time, then three
    for (int32_t i = 0; i < n; ++i) {
        list()->model_normals[i] = normals[i];
        list()->view_normals[i].w = 1000 + i;
    }
    create_object(1);
    add_object_part(0, 0, n, 0);
    get_part(0, 0)->normal_count = n;
    set_part_flags(0, PART_LIT);
    get_object(0)->rotation = {100, 300, 700, 0};
    get_object(0)->translation = {1 << 28, -(1 << 27), 5, 0};
    Matrix camera;
    matrix_identity(&camera);
    const Vec4 light = {300, -700, 900, 0};
    transform_object(get_object(0), &camera, &light);
    const Matrix& m = get_part(0, 0)->combined;
    for (int32_t i = 0; i < n; ++i) {
        const Vec4 v = transformed_vector(normals[i], m);
        const Vec4& view = list()->view_normals[i];
        EXPECT_EQ(view.x, v.x) << i;
        EXPECT_EQ(view.y, v.y) << i;
        EXPECT_EQ(view.z, v.z) << i;
        EXPECT_EQ(view.w, 1000 + i) << i;
        const int32_t level =
            (((v.z * light.z) >> 10) + ((v.y * light.y) >> 10) + ((v.x * light.x) >> 10)) >> 2;
        EXPECT_EQ(list()->intensities[i], level > 255 ? 255 : level) << i;
    }
}

TEST_F(GeometryPipeline, PartsChainUnlessAPartPopsTheStack) {
    create_object(2);
    SceneObject* o = get_object(0);
    o->translation = {1, 2, 300, 0};
    add_object_part(0, 0, 1, 0);
    add_object_part(0, 0, 1, 0);
    o->parts[0].translation = {10, 0, 0, 0};
    o->parts[1].translation = {0, 20, 0, 0};
    transform(0);
    expect_translation(o->parts[0].combined, 11, 2, 300);
    expect_translation(o->parts[1].combined, 11, 22, 300);

    // The parent's quarter turn about z turns the child's offset (0, 20) into (20, 0).
    o->parts[0].rotation = {0, 0, 256, 0};
    transform(0);
    expect_translation(o->parts[1].combined, 31, 2, 300);

    o->parts[0].pop_count = 1;  // the second part becomes a sibling
    transform(0);
    expect_translation(o->parts[1].combined, 1, 22, 300);
    EXPECT_EQ(list()->screen_vertices[0].z, 300);

    o->parts[0].pop_count = 5;  // deeper than the stack: no pop
    transform(0);
    expect_translation(o->parts[1].combined, 31, 2, 300);
}

TEST_F(GeometryPipeline, SceneIsTransformedWithTheCameraAndLight) {
    set_screen_centre(160, 120);
    set_camera(0, 0, 256, 0, 0, 0);
    set_light_direction(128, 576, 0);
    list()->model_normals[0] = {0, 0, 1024, 0};
    create_object(1);
    add_object_part(0, 0, 1, 0);
    get_part(0, 0)->normal_count = 1;
    set_part_flags(0, PART_LIT);
    create_object(0);

    EXPECT_EQ(transform_scene(), 2);
    // The origin lies at view depth 255, one pixel left of the centre.
    const ScreenVertex& s = list()->screen_vertices[0];
    EXPECT_EQ(s.x, 159);
    EXPECT_EQ(s.y, 120);
    EXPECT_EQ(s.z, 255);
    // View normal (-8, 0, 1277) and light (-946, 274, 274): (341 + 7) >> 2.
    EXPECT_EQ(list()->intensities[0], 87);
}
