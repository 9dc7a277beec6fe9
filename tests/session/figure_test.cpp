// A figure of several parts, built as a user builds it (a body, a head and an
// arm added with N, the other arm by M): every export format read back, parts
// placed in depth where they are drawn, Tab, Backspace and F12, a part that
// does not fit, and the mark of the edited part.
#include <gtest/gtest.h>
#include <tiny_gltf.h>
#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "app/edited_object.h"
#include "app/figure.h"
#include "app/mesh_export.h"
#include "app/outline.h"
#include "app/part_mark.h"
#include "app/view_zoom.h"
#include "base/messages.h"
#include "geometry/blend_parts.h"
#include "geometry/body_mesh.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/render_list.h"
#include "raster/raster_target.h"
#include "raster/render_frame.h"
#include "raster/shade_tables.h"
#include "session/session_fixture.h"
#include "support/mesh_checks.h"

namespace {

using Points = std::vector<std::pair<int32_t, int32_t>>;

Points ellipse(int32_t cx, int32_t cy, double rx, double ry, int32_t corners) {
    Points points;
    for (int32_t i = 0; i <= corners; ++i) {
        const double angle = 2 * M_PI * i / corners;
        points.push_back({cx + int32_t(std::lround(rx * std::cos(angle))),
                          cy + int32_t(std::lround(ry * std::sin(angle)))});
    }
    return points;
}

const Points ARM = {{300, 250}, {430, 215}, {440, 240}, {310, 285}, {300, 250}};
constexpr int32_t ARM_CLICK_X = 318, ARM_CLICK_Y = 262;

void tap(Session& session, int key) {
    headless_queue_key_down(key);
    session.frames(1);
    headless_queue_key_up(key);
    session.frames(1);
}

// Body, head and one arm each drawn, built and inflated, the arm drawn over
// the body; then M. Returns the depth of the body's surface under the arm's
// click as the figure showed it before the arm was built.
int32_t build_figure(Session& session) {
    session.stroke(ellipse(257, 300, 75, 105, 40));
    session.right_click(257, 300);
    tap(session, KEY_I);
    tap(session, KEY_N);
    session.stroke(ellipse(257, 140, 50, 48, 32));
    session.right_click(257, 140);
    tap(session, KEY_I);
    tap(session, KEY_N);
    session.stroke(ARM);
    int32_t depth = 0;
    EXPECT_EQ(part_under_point(ARM_CLICK_X, ARM_CLICK_Y, &depth), 0);
    session.right_click(ARM_CLICK_X, ARM_CLICK_Y);
    tap(session, KEY_I);
    tap(session, KEY_M);
    return depth;
}

using Vertex = std::array<double, 3>;
using Triangle = std::array<uint32_t, 3>;

// Every directed edge once, with its reverse (closed and oriented), and six
// times the enclosed volume positive (outward in the exported frame: y up, z
// toward the viewer).
void expect_closed_outward(const std::vector<Vertex>& vertices,
                           const std::vector<Triangle>& triangles, const std::string& what) {
    std::map<std::pair<uint32_t, uint32_t>, int> edges;
    double volume = 0;
    for (const Triangle& t : triangles) {
        for (int k = 0; k < 3; ++k)
            ++edges[{t[size_t(k)], t[size_t((k + 1) % 3)]}];
        const Vertex &a = vertices[t[0]], &b = vertices[t[1]], &c = vertices[t[2]];
        volume += a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                  a[2] * (b[0] * c[1] - b[1] * c[0]);
    }
    int open = 0;
    for (const auto& [edge, count] : edges)
        open += count != 1 || edges.count({edge.second, edge.first}) == 0;
    EXPECT_EQ(open, 0) << what;
    EXPECT_GT(volume, 0) << what;
}

// The depths (model z, away from the viewer) where the line through figure
// point (x, y) along z meets the exported mesh's triangles.
std::vector<double> depths_along_z(const ExportedMesh& mesh, double x, double y) {
    std::vector<double> depths;
    const double ex = x, ey = -y;  // the exported frame's y points up
    for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        const float* p[3];
        for (int k = 0; k < 3; ++k)
            p[k] = &mesh.positions[3 * size_t(mesh.triangles[t + size_t(k)])];
        auto cross = [&](const float* a, const float* b) {
            return (double(b[0]) - a[0]) * (ey - a[1]) - (double(b[1]) - a[1]) * (ex - a[0]);
        };
        const double w0 = cross(p[1], p[2]), w1 = cross(p[2], p[0]), w2 = cross(p[0], p[1]);
        const double whole = w0 + w1 + w2;
        if (whole == 0 || !((w0 >= 0 && w1 >= 0 && w2 >= 0) || (w0 <= 0 && w1 <= 0 && w2 <= 0)))
            continue;
        depths.push_back(-(w0 * p[0][2] + w1 * p[1][2] + w2 * p[2][2]) / whole);
    }
    std::sort(depths.begin(), depths.end());
    return depths;
}

// What the render list holds for the figure, byte for byte.
struct Storage {
    std::vector<uint8_t> packets;
    std::vector<Vec4> vertices, normals, fine;
    Figure figure;
    bool operator==(const Storage& o) const {
        return packets == o.packets &&
               std::memcmp(vertices.data(), o.vertices.data(), vertices.size() * sizeof(Vec4)) ==
                   0 &&
               vertices.size() == o.vertices.size() && normals.size() == o.normals.size() &&
               std::memcmp(normals.data(), o.normals.data(), normals.size() * sizeof(Vec4)) == 0 &&
               std::memcmp(fine.data(), o.fine.data(), fine.size() * sizeof(Vec4)) == 0 &&
               figure == o.figure;
    }
};

Storage storage() {
    Storage s;
    const RenderList* list = current_render_list();
    const auto* area = reinterpret_cast<const uint8_t*>(list->first_packet);
    s.packets.assign(area, static_cast<const uint8_t*>(list->write_position) + 4);
    s.vertices.assign(list->model_vertices, list->model_vertices + list->vertex_count);
    s.normals.assign(list->model_normals, list->model_normals + list->normal_count);
    if (fine_vertex_base() != nullptr)
        s.fine.assign(fine_vertex_base(), fine_vertex_base() + list->vertex_count);
    s.figure = figure();
    s.figure.edited = s.figure.last_edited = NO_PART;  // the parts only
    return s;
}

}  // namespace

TEST(FigureExport, ObjAndPlyHoldEveryPartStlAndGlbTheJoinedSolid) {
    Session session;
    build_figure(session);
    ASSERT_EQ(figure().part_count, 4);
    ASSERT_TRUE(headless_messages().empty());

    // OBJ through tinyobjloader: one group a part, each a closed body.
    std::string text;
    ASSERT_EQ(export_figure_obj(&text), EXPORT_OK);
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warning, error;
    std::istringstream stream(text);
    ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warning, &error, &stream)) << error;
    ASSERT_EQ(shapes.size(), 4u);
    std::vector<Vertex> vertices;
    for (size_t i = 0; i + 2 < attrib.vertices.size(); i += 3)
        vertices.push_back({attrib.vertices[i], attrib.vertices[i + 1], attrib.vertices[i + 2]});
    std::vector<std::vector<Triangle>> faces(shapes.size());
    for (size_t s = 0; s < shapes.size(); ++s) {
        EXPECT_EQ(shapes[s].name, "part_" + std::to_string(s + 1));
        const std::vector<tinyobj::index_t>& indices = shapes[s].mesh.indices;
        for (size_t i = 0; i + 2 < indices.size(); i += 3)
            faces[s].push_back({uint32_t(indices[i].vertex_index),
                                uint32_t(indices[i + 1].vertex_index),
                                uint32_t(indices[i + 2].vertex_index)});
        expect_closed_outward(vertices, faces[s], "OBJ part " + std::to_string(s + 1));
    }
    // The mirrored arm's own mesh: the arm's vertices in the same order
    // reflected about the figure's centre plane, its faces turned. Each keeps
    // its depth and, to half a unit, its y; registered as the mirror's own
    // body, it lies a few units aside along its ray from the eye (the camera's
    // turn is undone for the arm and again for its mirror). (What is drawn and
    // exported of either is blended with the body, which is not symmetric.)
    const double twice_centre = figure_centre_x2();
    const FigurePart& arm = figure().parts[2];
    const FigurePart& mirror = figure().parts[3];
    ASSERT_EQ(arm.mesh->triangles.size(), mirror.mesh->triangles.size());
    ASSERT_EQ(arm.mesh->vertices.size(), mirror.mesh->vertices.size());
    auto at = [](const FigurePart& part, size_t v) {
        const Vec4& p = part.mesh->fine[v];
        const double scale = double(part.placement.scale) / FIXED_ONE / FINE_ONE;
        return Vertex{p.x * scale + part.placement.offset_x, p.y * scale,
                      p.z * scale + part.placement.depth};
    };
    int32_t unlike = 0;
    for (size_t f = 0; f < arm.mesh->triangles.size(); ++f) {
        const MeshTriangle& a = arm.mesh->triangles[f];
        const MeshTriangle& b = mirror.mesh->triangles[f];
        unlike += b.v[0] != a.v[0] || b.v[1] != a.v[2] || b.v[2] != a.v[1];
    }
    for (size_t i = 0; i < arm.mesh->vertices.size(); ++i) {
        const Vertex v = at(arm, i), m = at(mirror, i);
        unlike += std::fabs(v[0] + m[0] - twice_centre) > 4 || std::fabs(v[1] - m[1]) > 0.5 ||
                  v[2] != m[2];
    }
    EXPECT_EQ(unlike, 0);

    // GLB through tinygltf: the figure as one solid to print under one node,
    // one closed, outward shell for the body with its arms and one for the
    // head, no face passing through another.
    ASSERT_EQ(export_figure_glb(&text), EXPORT_OK);
    tinygltf::Model model;
    tinygltf::TinyGLTF loader;
    ASSERT_TRUE(loader.LoadBinaryFromMemory(&model, &error, &warning,
                                            reinterpret_cast<const unsigned char*>(text.data()),
                                            unsigned(text.size())))
        << error;
    ASSERT_EQ(model.nodes.size(), 1u);
    const tinygltf::Primitive& primitive = model.meshes.at(0).primitives.at(0);
    auto bytes = [&](int accessor) {
        const tinygltf::Accessor& a = model.accessors[size_t(accessor)];
        const tinygltf::BufferView& view = model.bufferViews[size_t(a.bufferView)];
        return model.buffers[0].data.data() + view.byteOffset + a.byteOffset;
    };
    const tinygltf::Accessor& points = model.accessors[size_t(primitive.attributes.at("POSITION"))];
    const auto* p = reinterpret_cast<const float*>(bytes(primitive.attributes.at("POSITION")));
    std::vector<Vertex> solid_vertices;
    for (size_t i = 0; i < points.count; ++i)
        solid_vertices.push_back({p[3 * i], p[3 * i + 1], p[3 * i + 2]});
    const auto* index = reinterpret_cast<const uint32_t*>(bytes(primitive.indices));
    std::vector<std::array<int32_t, 3>> solid_faces;
    for (size_t i = 0; i + 2 < model.accessors[size_t(primitive.indices)].count; i += 3)
        solid_faces.push_back({int32_t(index[i]), int32_t(index[i + 1]), int32_t(index[i + 2])});
    const size_t glb_triangles = solid_faces.size();
    const ShellCheck solid = check_shells(solid_vertices, solid_faces);
    EXPECT_TRUE(solid.closed);
    EXPECT_EQ(solid.components, 2);
    EXPECT_GT(solid.smallest_volume, 0);
    EXPECT_EQ(crossing_face_pairs(solid_vertices, solid_faces, 4.0), 0);

    // STL: the same solid, each edge between two corners met once each way.
    ASSERT_EQ(export_figure_stl(&text), EXPORT_OK);
    uint32_t count = 0;
    std::memcpy(&count, text.data() + 80, 4);
    ASSERT_EQ(count, glb_triangles);
    ASSERT_EQ(text.size(), 84 + 50 * size_t(count));
    std::map<std::pair<std::array<float, 3>, std::array<float, 3>>, int> edges;
    for (uint32_t t = 0; t < count; ++t) {
        std::array<float, 3> corner[3];
        std::memcpy(corner, text.data() + 84 + 50 * size_t(t) + 12, sizeof corner);
        for (int k = 0; k < 3; ++k)
            ++edges[{corner[k], corner[(k + 1) % 3]}];
    }
    int unpaired = 0;
    for (const auto& [edge, n] : edges) {
        auto reverse = edges.find({edge.second, edge.first});
        unpaired += reverse == edges.end() || reverse->second != n;
    }
    EXPECT_EQ(unpaired, 0);

    // PLY: the OBJ's vertices and faces.
    ASSERT_EQ(export_figure_ply(&text), EXPORT_OK);
    EXPECT_NE(text.find("element vertex " + std::to_string(vertices.size()) + "\n"),
              std::string::npos);
    size_t obj_faces = 0;
    for (const auto& part : faces)
        obj_faces += part.size();
    EXPECT_NE(text.find("element face " + std::to_string(obj_faces) + "\n"), std::string::npos);
}

namespace {

// An accessor's floats as a reader applies them: its view's values, or zeros,
// with a sparse accessor's values (at 16-bit vertex numbers, as a small figure
// has them) put in place.
std::vector<float> accessor_floats(const tinygltf::Model& model, int index) {
    const tinygltf::Accessor& a = model.accessors.at(size_t(index));
    const size_t width = a.type == TINYGLTF_TYPE_VEC3 ? 3 : 1;
    std::vector<float> values(a.count * width, 0.0f);
    auto at = [&](int view, size_t offset) {
        const tinygltf::BufferView& v = model.bufferViews.at(size_t(view));
        return model.buffers[0].data.data() + v.byteOffset + offset;
    };
    if (a.bufferView >= 0)
        std::memcpy(values.data(), at(a.bufferView, a.byteOffset), values.size() * 4);
    for (size_t s = 0; a.sparse.isSparse && s < size_t(a.sparse.count); ++s) {
        EXPECT_EQ(a.sparse.indices.componentType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT);
        uint16_t i = 0;
        std::memcpy(&i, at(a.sparse.indices.bufferView, a.sparse.indices.byteOffset) + 2 * s, 2);
        std::memcpy(&values.at(width * i),
                    at(a.sparse.values.bufferView, a.sparse.values.byteOffset) + 4 * width * s,
                    4 * width);
    }
    return values;
}

}  // namespace

// The figure's loop as the animated GLB writes it, read back: the built figure
// posed five times (the body carried sideways, one vertex of the head raised,
// the arm at rest, its mirror pushed back every other sample), then a
// 20,000-triangle figure whose every vertex moves in a four-second loop at 25
// samples a second. With SKETCH3D_ANIMATED_GLB set, the first file is written
// there for the glTF validator (make check-exports).
TEST(FigureExport, AnimatedGlbPlaysTheLoopAtItsRateAndKeepsItsSize) {
    Session session;
    build_figure(session);
    ASSERT_EQ(figure().part_count, 4);
    constexpr int32_t SAMPLES = 5, RATE = 25;
    // Part p's move (fine units) of vertex i at sample k.
    auto move_of = [](size_t p, int32_t k, size_t i) {
        const int32_t n = p == 0 || (p == 1 && i == 0) || (p == 3 && k % 2 == 1) ? k + 1 : 0;
        const Vec4 moves[4] = {{3 * n, 0, 0, 0}, {0, -n, 0, 0}, {}, {0, 0, 2 * n, 0}};
        return Vec4{moves[p].x * FINE_ONE, moves[p].y * FINE_ONE, moves[p].z * FINE_ONE, 0};
    };
    const FigurePose pose = [&](int32_t k, std::vector<std::vector<Vec4>>* parts) {
        for (size_t p = 0; p < parts->size(); ++p) {
            for (size_t i = 0; const Vec4& v : drawn_mesh(int32_t(p))->fine) {
                const Vec4 move = move_of(p, k, i++);
                (*parts)[p].push_back(Vec4{v.x + move.x, v.y + move.y, v.z + move.z, 0});
            }
        }
    };
    std::string text, error, warning;
    ASSERT_EQ(export_figure_animation_glb(SAMPLES, RATE, pose, &text), EXPORT_OK);
    if (const char* path = std::getenv("SKETCH3D_ANIMATED_GLB"))
        std::ofstream(path, std::ios::binary) << text;
    std::vector<ExportedMesh> rest;
    ASSERT_EQ(export_parts(&rest), EXPORT_OK);
    tinygltf::Model model;
    tinygltf::TinyGLTF loader;
    ASSERT_TRUE(loader.LoadBinaryFromMemory(&model, &error, &warning,
                                            reinterpret_cast<const unsigned char*>(text.data()),
                                            unsigned(text.size())))
        << error;
    ASSERT_EQ(model.animations.size(), 1u);
    const tinygltf::Animation& animation = model.animations[0];
    ASSERT_EQ(animation.channels.size(), 4u);
    const tinygltf::AnimationSampler& sampler = animation.samplers.at(0);
    EXPECT_EQ(sampler.interpolation, "LINEAR");
    const std::vector<float> times = accessor_floats(model, sampler.input);
    const std::vector<float> weights = accessor_floats(model, sampler.output);
    ASSERT_EQ(times.size(), size_t(SAMPLES + 1));
    ASSERT_EQ(weights.size(), times.size() * SAMPLES);
    // Key j shows sample j alone at j / RATE seconds; the last key closes the loop on the first.
    int32_t wrong_keys = 0;
    for (size_t j = 0; j < times.size(); ++j) {
        wrong_keys += std::fabs(times[j] - float(j) / RATE) > 1e-6f;
        for (size_t k = 0; k < size_t(SAMPLES); ++k)
            wrong_keys += weights[j * SAMPLES + k] != (k == j % SAMPLES ? 1.0f : 0.0f);
    }
    EXPECT_EQ(wrong_keys, 0);

    // Each target holds sample k's offsets: a fine unit's move shows scaled as the part is
    // placed, y and z turned over. The body's and the moving mirror's are stored whole, the
    // head's one vertex alone, and no data where nothing moved.
    int32_t misplaced = 0;
    for (size_t p = 0; p < 4; ++p) {
        EXPECT_EQ(animation.channels[p].target_node, int(p));
        EXPECT_EQ(animation.channels[p].target_path, "weights");
        const tinygltf::Primitive& primitive = model.meshes.at(p).primitives.at(0);
        ASSERT_EQ(primitive.targets.size(), size_t(SAMPLES));
        ASSERT_EQ(accessor_floats(model, primitive.attributes.at("POSITION")), rest[p].positions);
        const double unit = double(figure().parts[p].placement.scale) / FIXED_ONE / FINE_ONE;
        for (int32_t k = 0; k < SAMPLES; ++k) {
            const int target = primitive.targets[size_t(k)].at("POSITION");
            const tinygltf::Accessor& accessor = model.accessors[size_t(target)];
            const bool still = p == 2 || (p == 3 && k % 2 == 0);
            EXPECT_EQ(accessor.sparse.isSparse, p == 1) << p << " " << k;
            EXPECT_EQ(accessor.bufferView >= 0, !still && p != 1) << p << " " << k;
            const std::vector<float> offsets = accessor_floats(model, target);
            for (size_t i = 0; i < offsets.size() / 3; ++i) {
                const Vec4 move = move_of(p, k, i);
                misplaced += std::fabs(offsets[3 * i] - move.x * unit) > 1e-3 ||
                             std::fabs(offsets[3 * i + 1] + move.y * unit) > 1e-3 ||
                             std::fabs(offsets[3 * i + 2] + move.z * unit) > 1e-3;
            }
        }
    }
    EXPECT_EQ(misplaced, 0);

    // A pose short of a vertex, or no sample, is refused with nothing written.
    const FigurePose short_pose = [&](int32_t k, std::vector<std::vector<Vec4>>* parts) {
        pose(k, parts);
        (*parts)[3].pop_back();
    };
    EXPECT_EQ(export_figure_animation_glb(SAMPLES, RATE, short_pose, &text), EXPORT_BAD_LOOP);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(export_figure_animation_glb(0, RATE, pose, &text), EXPORT_BAD_LOOP);

    // The size budget: 20,000 triangles over 10,002 vertices (as a closed surface has them),
    // every vertex moving in each of 100 samples: under 20 MB (12 bytes a vertex a sample).
    AnimatedParts large;
    ExportedMesh& mesh = large.rest.emplace_back();
    mesh.positions.resize(3 * 10002, 1.0f);
    mesh.normals.resize(3 * 10002, 0.0f);
    mesh.triangles.resize(3 * 20000, 0);
    for (int32_t k = 0; k < 4 * RATE; ++k)
        large.posed.push_back({std::vector<float>(mesh.positions.size(), 2.0f + float(k))});
    ASSERT_EQ(write_animated_glb(large, RATE, &text), EXPORT_OK);
    EXPECT_LT(text.size(), size_t(20) << 20);
    std::printf("animated GLB of 20000 triangles, 100 samples: %zu bytes\n", text.size());
    // A loop with no rate, or with a position that is not a number, is refused too.
    EXPECT_EQ(write_animated_glb(large, 0, &text), EXPORT_BAD_LOOP);
    large.posed[7][0][4] = std::nanf("");
    EXPECT_EQ(write_animated_glb(large, RATE, &text), EXPORT_BAD_LOOP);
    EXPECT_TRUE(text.empty());
}

TEST(Figure, PartsArePlacedWhereDrawnAndTabBackspaceAndF12ActOnThem) {
    Session session;
    // N with no part, and M and Tab, while drawing do nothing.
    tap(session, KEY_N);
    tap(session, KEY_M);
    tap(session, KEY_TAB);
    EXPECT_EQ(figure().part_count, 0);
    EXPECT_EQ(Session::pixel(257, 241), BLUE);

    const int32_t depth = build_figure(session);
    const Figure& f = figure();
    ASSERT_EQ(f.part_count, 4);
    // The head was drawn over nothing: on the sheet plane, its rim at z 0.
    EXPECT_EQ(f.parts[1].placement.depth, 0);
    EXPECT_EQ(f.parts[1].placement.scale, FIXED_ONE);
    // The arm is attached to the body it was drawn over, in front, and so is
    // its mirror; it enters the body there: its back lies inside the body.
    EXPECT_LT(depth, -40);
    EXPECT_EQ(f.parts[1].parent, NO_PART);
    for (int32_t arm : {2, 3}) {
        EXPECT_EQ(f.parts[arm].parent, 0);
        EXPECT_FALSE(f.parts[arm].behind);
    }
    std::vector<ExportedMesh> parts;
    ASSERT_EQ(export_parts(&parts), EXPORT_OK);
    int64_t mx = 0, my = 0;
    cursor_in_part(f.parts[2].placement, ARM_CLICK_X, ARM_CLICK_Y, &mx, &my);
    const double x = double(mx) * f.parts[2].placement.scale / FIXED_ONE;
    const double y = double(my) * f.parts[2].placement.scale / FIXED_ONE;
    const std::vector<double> body = depths_along_z(parts[0], x, y);
    const std::vector<double> arm = depths_along_z(parts[2], x, y);
    ASSERT_EQ(body.size(), 2u);
    ASSERT_EQ(arm.size(), 2u);
    // (The depth under the click is interpolated across the face on the
    // screen, a unit or two off where the front is steep; and the body as
    // drawn rises toward the eye under the arm that blends into it, there by
    // at most half the fillet's width, the arm's half thickness: some 7 units.)
    EXPECT_NEAR(body[0], depth, 10.0);
    EXPECT_LT(arm[0], body[0]);
    EXPECT_GT(arm[1], body[0]);
    EXPECT_LT(arm[1], body[1]);

    // Tab cycles through the parts; the edited one is edited last (the source
    // of the mirror stays edited after M).
    EXPECT_EQ(f.edited, 2);
    std::vector<int32_t> order;
    for (int i = 0; i < 4; ++i) {
        tap(session, KEY_TAB);
        order.push_back(f.edited);
    }
    EXPECT_EQ(order, (std::vector<int32_t>{3, 0, 1, 2}));

    // Backspace takes the edited part (the arm) and only it: the head and
    // the mirrored arm draw the same triangles at the same positions, and
    // the body no longer blends with the arm.
    std::vector<ExportedMesh> before = parts;
    tap(session, KEY_BACKSPACE);
    ASSERT_EQ(f.part_count, 3);
    EXPECT_EQ(f.edited, 2);  // the part that followed it, the mirrored arm
    ASSERT_EQ(export_parts(&parts), EXPORT_OK);
    ASSERT_EQ(parts.size(), 3u);
    for (size_t i = 1; i < 3; ++i) {
        const ExportedMesh& was = before[i < 2 ? i : 3];
        EXPECT_EQ(parts[i].positions, was.positions) << i;
        EXPECT_EQ(parts[i].triangles, was.triangles) << i;
    }
    EXPECT_NE(parts[0].triangles, before[0].triangles);
    const RenderList* list = current_render_list();
    size_t vertices = 0;
    for (const ExportedMesh& part : parts)
        vertices += part.positions.size() / 3;
    EXPECT_EQ(size_t(list->vertex_count), vertices);

    // F12 throws the whole figure away.
    tap(session, KEY_F12);
    EXPECT_EQ(figure().part_count, 0);
    EXPECT_EQ(selected_object(), NO_OBJECT);
    EXPECT_EQ(draw_list(), nullptr);
    EXPECT_EQ(list->packet_count, 0);
    EXPECT_EQ(Session::pixel(257, 241), BLUE);
    EXPECT_TRUE(headless_messages().empty());
}

TEST(Figure, APartThatDoesNotFitLeavesTheFigureByteIdentical) {
    // Body buffers with room for the body and little more.
    set_body_buffer_sizes(110000, 0);
    Session session;
    session.stroke(ellipse(257, 300, 75, 105, 40));
    session.right_click(257, 300);
    tap(session, KEY_I);
    ASSERT_EQ(figure().parts[0].kind, EDITED_BODY);
    tap(session, KEY_N);
    const Storage kept = storage();

    // A large outline (a sheet of more triangles than the buffers hold: the
    // outline is too large), a mirror of the body (it would fit alone: the
    // parts are too many), and a mirror with the table's last slots taken.
    session.stroke(ellipse(257, 241, 240, 220, 48));
    session.right_click(257, 241);
    EXPECT_EQ(figure().part_count, 1);
    EXPECT_EQ(figure().edited, NO_PART);
    ASSERT_EQ(headless_messages().size(), 1u);
    EXPECT_EQ(headless_messages()[0].text, TEXT_PACKET_AREA_FULL);
    EXPECT_TRUE(storage() == kept);

    tap(session, KEY_TAB);  // editing the body again
    ASSERT_EQ(figure().edited, 0);
    tap(session, KEY_M);
    ASSERT_EQ(headless_messages().size(), 2u);
    EXPECT_EQ(headless_messages()[1].text, TEXT_TOO_MANY_PARTS);
    EXPECT_TRUE(storage() == kept);

    set_body_buffer_sizes(0, 0);
    while (create_object(1) >= 0)
        finish_object();
    const Storage full = storage();
    tap(session, KEY_M);
    ASSERT_EQ(headless_messages().size(), 3u);
    EXPECT_EQ(headless_messages()[2].text, TEXT_OBJECT_TABLE_FULL);
    EXPECT_TRUE(storage() == full);
    EXPECT_EQ(figure().part_count, 1);
}

// A figure with as many parts as the object table has slots refuses another with the
// table's message, as a full table of other objects does.
TEST(Figure, AFigureOfEveryObjectSlotSaysTheTableIsFull) {
    Session session;
    session.stroke(ellipse(200, 241, 30, 30, 16));
    session.right_click(200, 241);
    for (int32_t i = 0; i < MAX_FIGURE_PARTS; ++i)
        tap(session, KEY_M);
    EXPECT_EQ(figure().part_count, MAX_FIGURE_PARTS);
    ASSERT_EQ(headless_messages().size(), 1u);
    EXPECT_EQ(headless_messages()[0].text, TEXT_OBJECT_TABLE_FULL);
}

namespace {

std::vector<uint16_t> picture() {
    const uint16_t* page = headless_page(0);
    return {page, page + size_t(headless_client_width()) * size_t(headless_client_height())};
}

// Every part's pool records are its mesh's, and its mesh's normals are those
// its positions give.
void expect_emitted_as_held() {
    const RenderList* list = current_render_list();
    for (int32_t i = 0; i < figure().part_count; ++i) {
        const PartMesh& mesh = *figure().parts[i].mesh;
        PartMesh fresh = mesh;
        refresh_part_normals(&fresh);
        const int32_t first = part_object(i).first_vertex;
        const size_t bytes = mesh.vertices.size() * sizeof(Vec4);
        ASSERT_EQ(part_object(i).vertex_count, int32_t(mesh.vertices.size())) << i;
        EXPECT_EQ(std::memcmp(list->model_vertices + first, mesh.vertices.data(), bytes), 0) << i;
        EXPECT_EQ(std::memcmp(list->model_normals + first, mesh.normals.data(), bytes), 0) << i;
        EXPECT_TRUE(same_part_mesh(fresh, mesh)) << i;
    }
}

}  // namespace

// A figure's state is a value: kept, then changed (a part pushed before the
// last, inflated there, another taken away, shading, F12), and restored, it
// draws the same picture from the same records; the kept state's meshes are
// not touched by the pushes made after it was kept.
TEST(Figure, AStateKeptAndRestoredDrawsTheSamePicture) {
    Session session;
    session.stroke(ellipse(257, 300, 75, 105, 40));
    session.right_click(257, 300);
    tap(session, KEY_N);
    session.stroke(ellipse(257, 140, 50, 48, 32));
    session.right_click(257, 140);
    tap(session, KEY_M);
    ASSERT_EQ(figure().part_count, 3);
    ASSERT_EQ(figure().edited, 1);
    const Figure kept = figure();
    const Vec4 turned = figure_rotation();
    const std::vector<uint16_t> shown = picture();
    const Storage stored = storage();

    // The head, the middle part, pushed and inflated: the mirror after it
    // keeps its own records.
    session.hover(257, 140);
    headless_queue_key_down(KEY_Z);
    headless_queue_button_down(BUTTON_LEFT);
    session.frames(3);
    headless_queue_button_up(BUTTON_LEFT);
    headless_queue_key_up(KEY_Z);
    session.frames(1);
    EXPECT_NE(figure().parts[1].mesh, kept.parts[1].mesh);
    EXPECT_EQ(figure().parts[2].mesh, kept.parts[2].mesh);
    expect_emitted_as_held();
    tap(session, KEY_I);
    ASSERT_EQ(figure().parts[1].kind, EDITED_BODY);
    expect_emitted_as_held();
    tap(session, KEY_F2);
    tap(session, KEY_TAB);
    tap(session, KEY_BACKSPACE);
    EXPECT_EQ(figure().part_count, 2);
    EXPECT_FALSE(figure() == kept);
    EXPECT_NE(picture(), shown);

    for (bool thrown_away : {false, true}) {
        if (thrown_away) tap(session, KEY_F12);
        ASSERT_TRUE(restore_figure(kept));
        set_figure_rotation(turned);
        session.frames(1);
        EXPECT_TRUE(figure() == kept);
        EXPECT_TRUE(picture() == shown) << thrown_away;
        const Storage restored = storage();
        ASSERT_EQ(restored.vertices.size(), stored.vertices.size());
        ASSERT_EQ(restored.normals.size(), stored.normals.size());
        EXPECT_EQ(std::memcmp(restored.vertices.data(), stored.vertices.data(),
                              stored.vertices.size() * sizeof(Vec4)),
                  0);
        EXPECT_EQ(std::memcmp(restored.normals.data(), stored.normals.data(),
                              stored.normals.size() * sizeof(Vec4)),
                  0);
        expect_emitted_as_held();
    }
    EXPECT_TRUE(headless_messages().empty());
}

namespace {

// The frame as the renderer alone draws it (the strokes laid over it while a
// part is added): the picture without the edited part's mark. It leaves the
// screen vertices of that frame in the render list.
std::vector<uint16_t> unmarked_picture() {
    clear_screen();
    place_figure();
    transform_scene();
    render_frame();
    if (edited_object().index == NO_OBJECT) overlay_strokes();
    return picture();
}

// Per pixel of the page, whether its point (x + 1/2, y) lies in or on one of
// part `part`'s projected triangles (a body's facing the viewer, a sheet's
// all), worked out in doubles from the frame's screen vertices.
std::vector<bool> part_coverage(int32_t part) {
    const int32_t width = headless_client_width(), height = headless_client_height();
    std::vector<bool> covered(size_t(width) * size_t(height));
    const ScreenVertex* screen =
        current_render_list()->screen_vertices + part_object(part).first_vertex;
    const bool body = figure().parts[part].kind == EDITED_BODY;
    for (const MeshTriangle& t : figure().parts[part].mesh->triangles) {
        const ScreenVertex &a = screen[t.v[0]], &b = screen[t.v[1]], &c = screen[t.v[2]];
        const double area = double(b.x - a.x) * (c.y - a.y) - double(b.y - a.y) * (c.x - a.x);
        if (area == 0 || (body && area < 0)) continue;
        for (int32_t y = std::max(0, std::min({a.y, b.y, c.y}));
             y <= std::min(height - 1, std::max({a.y, b.y, c.y})); ++y) {
            for (int32_t x = std::max(0, std::min({a.x, b.x, c.x}) - 1);
                 x <= std::min(width - 1, std::max({a.x, b.x, c.x})); ++x) {
                auto side = [&](const ScreenVertex& p, const ScreenVertex& q) {
                    return (q.x - p.x) * (y - p.y) - (q.y - p.y) * (x + 0.5 - p.x);
                };
                const double u = side(a, b), v = side(b, c), w = side(c, a);
                if ((u >= 0 && v >= 0 && w >= 0) || (u <= 0 && v <= 0 && w <= 0))
                    covered[size_t(y) * size_t(width) + size_t(x)] = true;
            }
        }
    }
    return covered;
}

struct Mark {
    std::vector<size_t> pixels;  // where the picture differs from the unmarked one
    int32_t off_outline = 0;     // of those, pixels not at the part's outline
    int32_t other_colours = 0;   // of those, pixels not of the mark's colour
};

// The pixels the frame just shown has beyond the renderer's picture, and how
// many of them do not lie at the outline of part `part`: their 3 x 3 block
// holds no pixel it covers, or holds only such pixels.
Mark frame_mark(int32_t part) {
    const std::vector<uint16_t> shown = picture();
    const std::vector<uint16_t> plain = unmarked_picture();
    Mark mark;
    if (part == NO_PART) {
        mark.off_outline = shown == plain ? 0 : 1;
        return mark;
    }
    const std::vector<bool> covered = part_coverage(part);
    const int32_t width = headless_client_width(), height = headless_client_height();
    for (size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] == plain[i]) continue;
        mark.pixels.push_back(i);
        mark.other_colours += shown[i] != PART_MARK_PIXEL;
        const int32_t x = int32_t(i % size_t(width)), y = int32_t(i / size_t(width));
        int32_t in = 0, out = 0;
        for (int32_t dy = -1; dy <= 1; ++dy)
            for (int32_t dx = -1; dx <= 1; ++dx) {
                const int32_t nx = x + dx, ny = y + dy;
                const bool on = nx >= 0 && ny >= 0 && nx < width && ny < height - 1 &&
                                covered[size_t(ny) * size_t(width) + size_t(nx)];
                (on ? in : out) += 1;
            }
        mark.off_outline += in == 0 || out == 0;
    }
    return mark;
}

}  // namespace

// The edited part is marked by a ring at its outline, drawn over the frame,
// only while the figure has two or more parts and one of them is edited: a
// single object, and a figure while a part is added, draw the renderer's
// picture alone. Tab moves the ring to the next part.
TEST(Figure, TheEditedPartIsMarkedWhileTheFigureHasSeveralParts) {
    Session session;
    session.stroke(ellipse(257, 300, 75, 105, 40));
    session.right_click(257, 300);
    session.frames(1);
    EXPECT_EQ(frame_mark(NO_PART).off_outline, 0);  // a single sheet
    tap(session, KEY_I);
    ASSERT_EQ(figure().parts[0].kind, EDITED_BODY);
    EXPECT_EQ(frame_mark(NO_PART).off_outline, 0);  // a single body
    tap(session, KEY_N);
    session.stroke(ellipse(257, 140, 50, 48, 32));
    EXPECT_EQ(frame_mark(NO_PART).off_outline, 0);  // adding: the figure and the strokes only

    // The head's sheet joins and is edited, then the body again.
    session.right_click(257, 140);
    session.frames(1);
    ASSERT_EQ(figure().part_count, 2);
    ASSERT_EQ(figure().edited, 1);
    const Mark head = frame_mark(1);
    tap(session, KEY_TAB);
    ASSERT_EQ(figure().edited, 0);
    const Mark body = frame_mark(0);
    for (const Mark* mark : {&head, &body}) {
        // A closed ring around each part: at least the pixels of its height twice.
        EXPECT_GT(mark->pixels.size(), 150u);
        EXPECT_EQ(mark->off_outline, 0);
        EXPECT_EQ(mark->other_colours, 0);
    }
    EXPECT_NE(head.pixels, body.pixels);
    tap(session, KEY_N);  // a third part to be added: none edited
    ASSERT_EQ(figure().edited, NO_PART);
    EXPECT_EQ(frame_mark(NO_PART).off_outline, 0);
    EXPECT_TRUE(headless_messages().empty());
}

namespace {

// An exported part as the eye sees it: each vertex moved across z to the
// pixel that shows it (its x and y those of the pixel from the screen
// centre), so that the rays from the eye run along z (the camera's small turn
// left out). The depths along z keep their order along each ray.
ExportedMesh seen_from_eye(ExportedMesh part) {
    const double eye = eye_distance();
    for (size_t i = 0; i + 2 < part.positions.size(); i += 3) {
        // The exported z points toward the viewer.
        const double along = FOCAL_LENGTH / (eye - part.positions[i + 2]);
        part.positions[i] = float(part.positions[i] * along);
        part.positions[i + 1] = float(part.positions[i + 1] * along);
    }
    return part;
}

// Where the vertices of one part lie against another closed part, along the
// rays from the eye (both seen_from_eye): inside it, before its front or
// beyond its back (those beside it count for none).
struct Against {
    int32_t inside = 0, before = 0, beyond = 0;
};

Against vertices_against(const ExportedMesh& part, const ExportedMesh& other) {
    Against against;
    for (size_t i = 0; i + 2 < part.positions.size(); i += 3) {
        const double z = -part.positions[i + 2];
        const std::vector<double> hits =
            depths_along_z(other, part.positions[i], -part.positions[i + 1]);
        if (hits.size() < 2) continue;
        against.inside += z > hits.front() && z < hits.back();
        against.before += z < hits.front();
        against.beyond += z > hits.back();
    }
    return against;
}

}  // namespace

// A body, a head drawn over its top and inflated after its ears, the ears
// (one by M), two arms by N and M and a tail drawn with Shift held, and its
// mirror: eight bodies. The undo of the first build with Shift must give the
// figure back byte for byte.
void build_eight_part_figure(Session& session) {
    session.stroke(ellipse(257, 300, 75, 105, 40));
    session.right_click(257, 300);
    tap(session, KEY_I);
    tap(session, KEY_N);
    session.stroke(ellipse(257, 150, 50, 55, 32));
    session.right_click(257, 199);  // over the body's top
    tap(session, KEY_N);
    session.stroke(ellipse(232, 100, 14, 24, 20));
    session.right_click(232, 112);  // over the head, still a sheet
    tap(session, KEY_I);
    tap(session, KEY_M);
    for (int i = 0; i < 3; ++i)
        tap(session, KEY_TAB);  // the second ear, the body, the head
    ASSERT_EQ(figure().edited, 1);
    tap(session, KEY_I);
    tap(session, KEY_N);
    session.stroke(ARM);
    session.right_click(ARM_CLICK_X, ARM_CLICK_Y);
    tap(session, KEY_I);
    tap(session, KEY_M);
    tap(session, KEY_N);
    const Points tail = {{300, 350}, {400, 385}, {395, 405}, {295, 372}, {300, 350}};
    session.stroke(tail);
    const Storage before_tail = storage();
    for (int built = 0; built < 2; ++built) {
        headless_queue_key_down(KEY_SHIFT);
        session.right_click(305, 362);
        headless_queue_key_up(KEY_SHIFT);
        session.frames(1);
        ASSERT_EQ(figure().part_count, 7);
        if (built == 0) {
            headless_queue_key_down(KEY_CONTROL);
            tap(session, KEY_Z);
            headless_queue_key_up(KEY_CONTROL);
            session.frames(1);
            EXPECT_TRUE(storage() == before_tail);
        }
    }
    tap(session, KEY_I);
    tap(session, KEY_M);
}

// Parts attached to what they were drawn over: a body, a head drawn over its
// top and inflated after its ears, the ears (one by M), two arms by N and M
// and a tail drawn with Shift held, and its mirror. Every part enters the part
// it was drawn over; the tail lies behind the body and the rest in front; a
// mirror keeps its source's attachment and depth; undo of the build with
// Shift gives the figure back byte for byte.
TEST(Figure, PartsEnterThePartTheyWereDrawnOverInFrontOrBehind) {
    Session session;
    build_eight_part_figure(session);
    ASSERT_FALSE(HasFatalFailure());
    const Figure& f = figure();
    ASSERT_EQ(f.part_count, 8);
    ASSERT_TRUE(headless_messages().empty());
    for (int32_t i = 0; i < f.part_count; ++i)
        ASSERT_EQ(f.parts[i].kind, EDITED_BODY) << i;

    const int32_t parents[] = {NO_PART, 0, 1, 1, 0, 0, 0, 0};
    std::vector<ExportedMesh> seen;
    ASSERT_EQ(export_parts(&seen), EXPORT_OK);
    for (ExportedMesh& part : seen)
        part = seen_from_eye(std::move(part));
    for (int32_t i = 1; i < f.part_count; ++i) {
        EXPECT_EQ(f.parts[i].parent, parents[i]) << i;
        EXPECT_EQ(f.parts[i].behind, i >= 6) << i;
        const Against against = vertices_against(seen[size_t(i)], seen[size_t(parents[i])]);
        EXPECT_GT(against.inside, 0) << i;
        if (f.parts[i].behind) {
            EXPECT_EQ(against.before, 0) << i;
            EXPECT_GT(against.beyond, 0) << i;
        } else {
            EXPECT_GT(against.before, 0) << i;
        }
    }
    for (int32_t mirror : {5, 7})
        EXPECT_EQ(f.parts[mirror].placement.depth, f.parts[mirror - 1].placement.depth);

    // Through the tail's click, its front lies nearer the body's back than
    // the body's front.
    const double x = 305 - (screen_width() >> 1), y = 362 - (screen_height() >> 1);
    const std::vector<double> body = depths_along_z(seen[0], x, y);
    const std::vector<double> back = depths_along_z(seen[6], x, y);
    ASSERT_EQ(body.size(), 2u);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_GT(back[0], (body[0] + body[1]) / 2);
    EXPECT_LT(back[0], body[1]);

    // The head removed, its ears stay where they are, attached to nothing;
    // the parts after it keep theirs.
    const Figure kept = f;
    while (f.edited != 1)
        tap(session, KEY_TAB);
    tap(session, KEY_BACKSPACE);
    ASSERT_EQ(f.part_count, 7);
    for (int32_t i = 1; i < f.part_count; ++i) {
        EXPECT_EQ(f.parts[i].parent, i < 3 ? NO_PART : 0) << i;
        EXPECT_TRUE(f.parts[i].placement == kept.parts[i + 1].placement) << i;
    }
}

namespace {

// The figure seen along the eye's rays as drawn (blended) or from each part's
// own mesh: per pixel the nearest front (or, seen from behind, the farthest
// back) surface of the parts and which part it is; NO_PART where none.
struct RaySight {
    int32_t x0 = 0, y0 = 0, width = 0, height = 0;
    std::vector<double> depth;
    std::vector<int32_t> owner;
    std::vector<RayDepthField> fields;  // each part's own
};

RaySight ray_sight(bool blended, bool from_behind) {
    const Figure& f = figure();
    RaySight sight;
    sight.x0 = -300, sight.y0 = -300, sight.width = 600, sight.height = 600;
    const size_t count = size_t(sight.width) * size_t(sight.height);
    sight.depth.assign(count, from_behind ? -NO_DEPTH : NO_DEPTH);
    sight.owner.assign(count, NO_PART);
    for (int32_t i = 0; i < f.part_count; ++i) {
        const PartMesh& mesh = blended ? *drawn_mesh(i) : *f.parts[i].mesh;
        const PartPlacement& p = f.parts[i].placement;
        const RayPlacement at = {p.depth, p.offset_x, p.scale, eye_distance()};
        sight.fields.push_back(part_depth_field(mesh, at, from_behind, 0, 0));
        const RayDepthField& field = sight.fields.back();
        for (int32_t r = 0; r < field.height; ++r)
            for (int32_t c = 0; c < field.width; ++c) {
                const double d = field.depth[size_t(r) * size_t(field.width) + size_t(c)];
                const int32_t x = field.x0 + c - sight.x0, y = field.y0 + r - sight.y0;
                if (d == NO_DEPTH || x < 0 || y < 0 || x >= sight.width || y >= sight.height)
                    continue;
                const size_t at_pixel = size_t(y) * size_t(sight.width) + size_t(x);
                if (from_behind ? d > sight.depth[at_pixel] : d < sight.depth[at_pixel]) {
                    sight.depth[at_pixel] = d;
                    sight.owner[at_pixel] = i;
                }
            }
    }
    return sight;
}

// Per join of a part with the part it was drawn over, on the meshes the
// emission drew: the largest bend (degrees) between the two faces of any edge
// of either mesh that lies within JOIN_REACH units of the curve where they
// meet (a vertex of the blended side, the front or for a part built behind
// the back, within a unit of the other's surface along its ray, or an edge
// crossing it), and how many such edges there were.
struct JoinBend {
    double largest = 0;
    double crease = 0;  // between the two meshes where they cross
    // The same, only where the crossing lies more than OUTLINE_REACH pixels
    // inside both parts' outlines: where the meeting curve reaches an
    // outline, both surfaces run along the rays, which a blend along them
    // cannot tilt.
    double inner_crease = 0;
    int32_t edges = 0;
    std::vector<double> creases;  // each crossing's
    double crease_share(double p) {
        if (creases.empty()) return 0;
        std::sort(creases.begin(), creases.end());
        return creases[size_t(p * double(creases.size() - 1))];
    }
};
constexpr double JOIN_REACH = 4;
constexpr int32_t OUTLINE_REACH = 8;

// Whether the field has a depth on every pixel within `reach` of (u, v).
bool inside_by(const RayDepthField& field, double u, double v, int32_t reach) {
    const auto cx = int32_t(std::floor(u + 0.5)) - field.x0;
    const auto cy = int32_t(std::floor(v + 0.5)) - field.y0;
    for (int32_t dy = -reach; dy <= reach; ++dy)
        for (int32_t dx = -reach; dx <= reach; ++dx) {
            if (dx * dx + dy * dy > reach * reach) continue;
            const int32_t x = cx + dx, y = cy + dy;
            if (x < 0 || y < 0 || x >= field.width || y >= field.height) return false;
            const double d = field.depth[size_t(y) * size_t(field.width) + size_t(x)];
            if (d == NO_DEPTH || d == -NO_DEPTH) return false;
        }
    return true;
}

std::vector<std::array<double, 3>> figure_points(const PartMesh& mesh, const PartPlacement& at) {
    const double scale = double(at.scale) / FIXED_ONE / FINE_ONE;
    std::vector<std::array<double, 3>> points;
    for (const Vec4& p : mesh.fine)
        points.push_back({p.x * scale + at.offset_x, p.y * scale, p.z * scale + at.depth});
    return points;
}

void bend_near(const PartMesh& mesh, const PartPlacement& at, const PartMesh& other,
               const PartPlacement& other_at, bool behind, JoinBend* bend) {
    const RayDepthField field = part_depth_field(
        other, {other_at.depth, other_at.offset_x, other_at.scale, eye_distance()}, behind, 0, 0);
    std::vector<double> gaps, to_front, to_back;
    const RayPlacement ray_at = {at.depth, at.offset_x, at.scale, eye_distance()};
    const RayPlacement other_ray_at = {other_at.depth, other_at.offset_x, other_at.scale,
                                       eye_distance()};
    ray_gaps(mesh, ray_at, field, &gaps);
    const RayDepthField own_field = part_depth_field(mesh, ray_at, behind, 0, 0);
    ray_gaps(mesh, ray_at, part_depth_field(other, other_ray_at, false, 0, 0), &to_front);
    ray_gaps(mesh, ray_at, part_depth_field(other, other_ray_at, true, 0, 0), &to_back);
    const auto count = int32_t(mesh.fine.size());
    // On the joined surface: not more than a unit inside the other part.
    auto outside = [&](int32_t v) {
        const double f = to_front[size_t(v)], b = to_back[size_t(v)];
        return f == NO_DEPTH || b == NO_DEPTH || f < 1 || b > -1;
    };
    const int32_t front = mesh.front_count, rim = 2 * front - count;
    auto seen = [&](int32_t v) {
        return gaps[size_t(v)] != NO_DEPTH && (v < rim || (v < front) != behind);
    };
    std::vector<uint8_t> curve(size_t(count), 0);
    std::map<std::pair<int32_t, int32_t>, std::vector<size_t>> faces;
    for (size_t t = 0; t < mesh.triangles.size(); ++t)
        for (int k = 0; k < 3; ++k) {
            const int32_t a = mesh.triangles[t].v[k], b = mesh.triangles[t].v[(k + 1) % 3];
            faces[{std::min(a, b), std::max(a, b)}].push_back(t);
            if (seen(a) && seen(b) && (gaps[size_t(a)] < 0) != (gaps[size_t(b)] < 0))
                curve[size_t(a)] = curve[size_t(b)] = 1;
        }
    for (int32_t v = 0; v < count; ++v)
        curve[size_t(v)] |= seen(v) && std::fabs(gaps[size_t(v)]) <= 1;
    const std::vector<std::array<double, 3>> p = figure_points(mesh, at);
    std::vector<int32_t> on_curve;
    for (int32_t v = 0; v < count; ++v)
        if (curve[size_t(v)]) on_curve.push_back(v);
    std::vector<uint8_t> near(size_t(count), 0);
    for (int32_t v = 0; v < count; ++v)
        for (const int32_t c : on_curve) {
            if (near[size_t(v)]) break;
            double d2 = 0;
            for (int k = 0; k < 3; ++k)
                d2 += (p[size_t(v)][size_t(k)] - p[size_t(c)][size_t(k)]) *
                      (p[size_t(v)][size_t(k)] - p[size_t(c)][size_t(k)]);
            near[size_t(v)] = d2 <= JOIN_REACH * JOIN_REACH;
        }
    auto normal = [&](size_t t) {
        const MeshTriangle& tri = mesh.triangles[t];
        const auto &a = p[size_t(tri.v[0])], &b = p[size_t(tri.v[1])], &c = p[size_t(tri.v[2])];
        const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        std::array<double, 3> n = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2],
                                   u[0] * w[1] - u[1] * w[0]};
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (double& x : n)
            x = length > 0 ? x / length : 0;
        return n;
    };
    auto degrees = [](const std::array<double, 3>& n0, const std::array<double, 3>& n1) {
        const double dot = n0[0] * n1[0] + n0[1] * n1[1] + n0[2] * n1[2];
        return std::acos(std::clamp(dot, -1.0, 1.0)) * 180 / M_PI;
    };
    // The other's seen face on the ray through figure point x: the nearest
    // (or, behind, the farthest) of its triangles about that ray.
    const std::vector<std::array<double, 3>> q = figure_points(other, other_at);
    auto ray = [](const std::array<double, 3>& x) {
        const double d = eye_distance() + x[2];
        return std::array<double, 3>{x[0] * RAY_FOCAL / d, x[1] * RAY_FOCAL / d, d};
    };
    std::vector<std::array<double, 3>> q_ray;
    for (const auto& x : q)
        q_ray.push_back(ray(x));
    auto other_normal = [&](const std::array<double, 3>& x, std::array<double, 3>* n) {
        const std::array<double, 3> r = ray(x);
        double best = 0;
        bool found = false;
        for (const MeshTriangle& t : other.triangles) {
            const auto &a = q_ray[size_t(t.v[0])], &b = q_ray[size_t(t.v[1])],
                       &c = q_ray[size_t(t.v[2])];
            auto side = [&](const std::array<double, 3>& e0, const std::array<double, 3>& e1) {
                return (e1[0] - e0[0]) * (r[1] - e0[1]) - (e1[1] - e0[1]) * (r[0] - e0[0]);
            };
            const double w0 = side(b, c), w1 = side(c, a), w2 = side(a, b), whole = w0 + w1 + w2;
            if (whole == 0 || !((w0 >= 0 && w1 >= 0 && w2 >= 0) || (w0 <= 0 && w1 <= 0 && w2 <= 0)))
                continue;
            const double d = (w0 * a[2] + w1 * b[2] + w2 * c[2]) / whole;
            if (found && (behind ? d <= best : d >= best)) continue;
            found = true;
            best = d;
            const auto &pa = q[size_t(t.v[0])], &pb = q[size_t(t.v[1])], &pc = q[size_t(t.v[2])];
            const double u[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
            const double w[3] = {pc[0] - pa[0], pc[1] - pa[1], pc[2] - pa[2]};
            *n = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        }
        const double length = std::sqrt((*n)[0] * (*n)[0] + (*n)[1] * (*n)[1] + (*n)[2] * (*n)[2]);
        for (double& e : *n)
            e = length > 0 ? e / length : 0;
        return found && length > 0;
    };
    for (const auto& [edge, two] : faces) {
        const auto [a, b] = edge;
        if (two.size() != 2 || !near[size_t(a)] || !near[size_t(b)]) continue;
        bool shown = true;
        for (const size_t t : two)
            for (int k = 0; k < 3; ++k)
                shown = shown && outside(mesh.triangles[t].v[k]);
        if (shown) {
            bend->largest = std::max(bend->largest, degrees(normal(two[0]), normal(two[1])));
            ++bend->edges;
        }
        // Where the edge passes through the other's seen surface, the two
        // surfaces meet: the bend from this one's faces to the other's.
        if (!seen(a) || !seen(b) || (gaps[size_t(a)] < 0) == (gaps[size_t(b)] < 0)) continue;
        const double t = gaps[size_t(a)] / (gaps[size_t(a)] - gaps[size_t(b)]);
        std::array<double, 3> x = {}, n = {};
        for (int k = 0; k < 3; ++k)
            x[size_t(k)] =
                p[size_t(a)][size_t(k)] + (p[size_t(b)][size_t(k)] - p[size_t(a)][size_t(k)]) * t;
        if (!other_normal(x, &n)) continue;
        bend->creases.push_back(std::min(degrees(normal(two[0]), n), degrees(normal(two[1]), n)));
        bend->crease = std::max(bend->crease, bend->creases.back());
        const std::array<double, 3> r = ray(x);
        if (inside_by(field, r[0], r[1], OUTLINE_REACH) &&
            inside_by(own_field, r[0], r[1], OUTLINE_REACH))
            bend->inner_crease = std::max(bend->inner_crease, bend->creases.back());
    }
}

JoinBend join_bend(const PartMesh& part, const PartMesh& parent, int32_t drawn) {
    const Figure& f = figure();
    const FigurePart& a = f.parts[drawn];
    const FigurePart& b = f.parts[a.parent];
    JoinBend bend;
    bend_near(part, a.placement, parent, b.placement, a.behind, &bend);
    bend_near(parent, b.placement, part, a.placement, a.behind, &bend);
    return bend;
}

}  // namespace

// The eight-part figure's parts grow into each other: where each meets the
// part it was drawn over, the surface seen from the side it was built on
// (the front, or the back for the tail and its mirror) bends far less across
// the curve where they meet than where the plain surfaces cross, and the
// blended figure shows on no pixel the parts' own meshes do not. Removing a
// part takes its blend away. The blends kept from emission to emission (a
// part added blending only its own joins) are those made afresh.
TEST(Figure, PartsBlendWhereTheyMeet) {
    Session session;
    build_eight_part_figure(session);
    ASSERT_FALSE(HasFatalFailure());
    const Figure& f = figure();
    ASSERT_EQ(f.part_count, 8);
    // Every join drawn refined: the figure fits the body buffers so. The
    // blends kept from emission to emission are those made afresh.
    EXPECT_FALSE(figure_drawn_unblended());
    auto kept_as_made = [&] {
        for (int32_t i = 0; i < f.part_count; ++i) {
            PartMesh made;
            if (drawn_part_mesh(f, i, true, &made)) {
                EXPECT_TRUE(same_part_mesh(*drawn_mesh(i), made)) << i;
            } else {
                EXPECT_EQ(drawn_mesh(i), f.parts[i].mesh) << i;
            }
            PartMesh cut;
            const std::shared_ptr<const PartMesh> kept_cut = drawn_cut_mesh(i);
            ASSERT_EQ(kept_cut != nullptr, cut_part_afresh(f, i, &cut)) << i;
            if (kept_cut != nullptr) {
                EXPECT_TRUE(same_part_mesh(*kept_cut, cut)) << i;
            }
        }
    };
    kept_as_made();
    const RaySight plain_front = ray_sight(false, false), front = ray_sight(true, false);
    // The bends of the drawn meshes about each join, in degrees, where the
    // two surfaces cross: the median at most 45 (at the arms 10) and far
    // below that of the parts' own meshes, no crossing as sharp as theirs;
    // at the arms nine in ten at most 30. More than a few pixels inside both
    // outlines, no crossing bends more than 30; the sharper ones all lie
    // where the meeting curve reaches an outline.
    for (int32_t i = 1; i < f.part_count; ++i) {
        const int32_t parent = f.parts[i].parent;
        JoinBend drawn = join_bend(*drawn_mesh(i), *drawn_mesh(parent), i);
        JoinBend own = join_bend(*f.parts[i].mesh, *f.parts[parent].mesh, i);
        std::printf(
            "join %d-%d: edges %.1f (%d), crossing median %.1f p90 %.1f largest %.1f "
            "(away from the outlines %.1f); own meshes %.1f, crossing %.1f %.1f %.1f (%.1f)\n",
            i, parent, drawn.largest, drawn.edges, drawn.crease_share(0.5), drawn.crease_share(0.9),
            drawn.crease, drawn.inner_crease, own.largest, own.crease_share(0.5),
            own.crease_share(0.9), own.crease, own.inner_crease);
        EXPECT_GT(drawn.creases.size(), 10u) << i;
        EXPECT_LE(drawn.crease_share(0.5), i == 4 || i == 5 ? 10 : 45) << i;
        EXPECT_LT(drawn.crease_share(0.5), own.crease_share(0.5) - 30) << i;
        EXPECT_LT(drawn.crease, own.crease) << i;
        EXPECT_LE(drawn.inner_crease, 30) << i;
        if (i == 4 || i == 5) {
            EXPECT_LE(drawn.crease_share(0.9), 30) << i;
        }
    }
    // Moved only along the rays: no pixel shown beyond those the parts show.
    int32_t shown = 0, beyond = 0;
    for (size_t at = 0; at < front.owner.size(); ++at) {
        shown += plain_front.owner[at] != NO_PART;
        beyond += front.owner[at] != NO_PART && plain_front.owner[at] == NO_PART;
    }
    EXPECT_LE(beyond * 1000, shown * 15);

    // The arm removed: the body is drawn from its own mesh where the arm met it.
    PartMesh body;
    ASSERT_TRUE(drawn_part_mesh(f, 0, true, &body));
    while (f.edited != 4)
        tap(session, KEY_TAB);
    tap(session, KEY_BACKSPACE);
    PartMesh without;
    ASSERT_TRUE(drawn_part_mesh(f, 0, true, &without));
    EXPECT_FALSE(same_part_mesh(body, without));
    kept_as_made();
    // The last part removed (its parent's last join: the blend goes on from the one kept
    // before it), then brought back with Ctrl+Z.
    while (f.edited != f.part_count - 1)
        tap(session, KEY_TAB);
    const int32_t parent = f.parts[f.part_count - 1].parent;
    ASSERT_GE(parent, 0);
    PartMesh joined;
    ASSERT_TRUE(drawn_part_mesh(f, parent, true, &joined));
    tap(session, KEY_BACKSPACE);
    ASSERT_EQ(f.part_count, 6);
    kept_as_made();
    headless_queue_key_down(KEY_CONTROL);
    tap(session, KEY_Z);
    headless_queue_key_up(KEY_CONTROL);
    session.frames(1);
    ASSERT_EQ(f.part_count, 7);
    EXPECT_TRUE(same_part_mesh(*drawn_mesh(parent), joined));
    kept_as_made();
    // A small part drawn over the body just below the arm: the body's blend
    // changes where the arm meets it, and the arm is cut again.
    tap(session, KEY_N);
    session.stroke(ellipse(305, 300, 18, 18, 24));
    session.right_click(305, 300);
    tap(session, KEY_I);
    ASSERT_EQ(f.part_count, 8);
    kept_as_made();
    // The other arm, drawn cut where it lies in the body, pushed with Z held:
    // each step after the first keeps its blend's triangles, and its cut is
    // made again in place against the others as emitted.
    while (f.edited != 4)
        tap(session, KEY_TAB);
    ASSERT_NE(drawn_cut_mesh(4), nullptr);
    session.hover(514 - 420, 232);
    headless_queue_key_down(KEY_Z);
    headless_queue_button_down(BUTTON_LEFT);
    session.frames(3);
    kept_as_made();
    headless_queue_button_up(BUTTON_LEFT);
    headless_queue_key_up(KEY_Z);
    session.frames(1);
    kept_as_made();
}

// A figure whose blends, refined along the joins, do not fit the body
// buffers while its parts do is drawn from the parts' own meshes, and says so.
TEST(Figure, BlendsThatDoNotFitLeaveEveryPartUnblended) {
    set_body_buffer_sizes(0, 8000);
    Session session;
    build_eight_part_figure(session);
    ASSERT_FALSE(HasFatalFailure());
    const Figure& f = figure();
    ASSERT_EQ(f.part_count, 8);
    EXPECT_TRUE(headless_messages().empty());
    EXPECT_TRUE(figure_drawn_unblended());
    for (int32_t i = 0; i < f.part_count; ++i)
        EXPECT_EQ(drawn_mesh(i), f.parts[i].mesh) << i;
    set_body_buffer_sizes(0, 0);
}

namespace {

// Which part each pixel of the raster target shows, row by row: a part's
// number, NO_PART for the background, NOT_A_PART for any other colour.
constexpr int32_t NOT_A_PART = -2;
using PartPicture = std::vector<int32_t>;

// The renderer's picture of the figure at its present rotation, each part in
// a flat colour of its own: red's five bits its number plus one, shaded
// plain through a table that, for the picture, gives every light level the
// component itself. The figure, the table and the rotation are put back.
PartPicture drawn_parts() {
    const Figure kept = figure();
    const Vec4 turn = figure_rotation();
    Figure flat = kept;
    for (int32_t i = 0; i < flat.part_count; ++i) {
        flat.parts[i].colour = ColourRecord{(i + 1) << 3, 0, 0, 0};
        flat.parts[i].shading = SHADE_MODE_PLAIN;
    }
    EXPECT_TRUE(restore_figure(flat));
    set_figure_rotation(turn);
    ShadeTable* plain = shade_table(SHADE_MODE_PLAIN);
    const ShadeTable lit = *plain;
    for (int32_t at = 0; at < SHADE_TABLE_BYTES; ++at)
        plain->entry[at] = uint8_t(at & (SHADE_LEVELS - 1));
    clear_screen();
    place_figure();
    transform_scene();
    render_frame();
    *plain = lit;
    const uint16_t background = uint16_t(clear_colour_pair());
    PartPicture ids(size_t(raster_target.width) * size_t(raster_target.height));
    for (size_t at = 0; at < ids.size(); ++at) {
        const uint16_t p = raster_target.pixels[at];
        const int32_t part = (p >> 10) - 1;
        ids[at] = p == background                              ? NO_PART
                  : (p & 0x3FF) == 0 && part < kept.part_count ? part
                                                               : NOT_A_PART;
    }
    EXPECT_TRUE(restore_figure(kept));
    set_figure_rotation(turn);
    return ids;
}

// The same view as an exact depth buffer: every triangle of the figure's
// whole blended meshes (as exported, before anything hidden is cut from
// what is drawn), through each part's object matrix of the frame
// (the renderer's perspective, 256 pixels from the eye about the screen
// centre) in doubles, the nearest surface at point (x + 1/2, y) of each
// pixel, its depth interpolated as 1/z across the screen.
PartPicture nearest_parts() {
    place_figure();
    transform_scene();
    const int32_t width = raster_target.width, height = raster_target.height;
    PartPicture ids(size_t(width) * size_t(height), NO_PART);
    std::vector<double> depth(ids.size(), INFINITY);
    const Figure& f = figure();
    for (int32_t i = 0; i < f.part_count; ++i) {
        const int32_t* e = get_object(part_object(i).index)->parts[0].combined.m;
        PartMesh blended;
        const PartMesh& mesh = drawn_part_mesh(f, i, true, &blended) ? blended : *f.parts[i].mesh;
        for (const MeshTriangle& t : mesh.triangles) {
            double sx[3], sy[3], inverse[3];
            bool seen = true;
            for (int k = 0; k < 3; ++k) {
                const Vec4& p = mesh.vertices[size_t(t.v[k])];
                const double x = p.x, y = p.y, z = p.z;
                const double view[3] = {(x * e[0] + y * e[4] + z * e[8] + e[12]) / 512,
                                        (x * e[1] + y * e[5] + z * e[9] + e[13]) / 512,
                                        (x * e[2] + y * e[6] + z * e[10] + e[14]) / 512};
                seen = seen && view[2] > 1;
                sx[k] = screen_centre_x() + 256 * view[0] / view[2];
                sy[k] = screen_centre_y() + 256 * view[1] / view[2];
                inverse[k] = 1 / view[2];
            }
            const double whole =
                (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sy[1] - sy[0]) * (sx[2] - sx[0]);
            if (!seen || whole == 0) continue;
            const int32_t x0 =
                std::max(0, int32_t(std::floor(std::min({sx[0], sx[1], sx[2]}))) - 1);
            const int32_t x1 =
                std::min(width - 1, int32_t(std::ceil(std::max({sx[0], sx[1], sx[2]}))));
            const int32_t y0 = std::max(0, int32_t(std::floor(std::min({sy[0], sy[1], sy[2]}))));
            const int32_t y1 =
                std::min(height - 1, int32_t(std::ceil(std::max({sy[0], sy[1], sy[2]}))));
            for (int32_t y = y0; y <= y1; ++y)
                for (int32_t x = x0; x <= x1; ++x) {
                    const double px = x + 0.5, py = y;
                    double w[3];
                    for (int k = 0; k < 3; ++k) {
                        const int a = (k + 1) % 3, b = (k + 2) % 3;
                        w[k] = ((sx[b] - sx[a]) * (py - sy[a]) - (sy[b] - sy[a]) * (px - sx[a])) /
                               whole;
                    }
                    if (w[0] < 0 || w[1] < 0 || w[2] < 0) continue;
                    const double z =
                        1 / (w[0] * inverse[0] + w[1] * inverse[1] + w[2] * inverse[2]);
                    const size_t at = size_t(y) * size_t(width) + size_t(x);
                    if (z < depth[at]) {
                        depth[at] = z;
                        ids[at] = i;
                    }
                }
        }
    }
    return ids;
}

// Pixels where the picture shows another part (or the background, or no
// part's colour) than the exact depth buffer, leaving out those within a
// pixel of a boundary there: a pixel whose 3 x 3 block shows one part only.
// The pixels of `drawn` that show another part (or the background) than the
// exact picture does, more than `margin` pixels from any boundary of it.
int32_t wrong_part_pixels(const PartPicture& drawn, const PartPicture& exact, int32_t margin) {
    const int32_t width = raster_target.width, height = raster_target.height;
    int32_t wrong = 0;
    for (int32_t y = margin; y + margin < height; ++y)
        for (int32_t x = margin; x + margin < width; ++x) {
            const size_t at = size_t(y) * size_t(width) + size_t(x);
            if (drawn[at] == exact[at]) continue;
            bool inside = true;
            for (int32_t dy = -margin; dy <= margin && inside; ++dy)
                for (int32_t dx = -margin; dx <= margin && inside; ++dx)
                    inside = exact[size_t(y + dy) * size_t(width) + size_t(x + dx)] == exact[at];
            wrong += inside;
        }
    return wrong;
}

}  // namespace

// Drawn right where parts meet: the eight-part figure from the front, turned
// as the figure example turns it, from below (its top 45 degrees nearer) and
// from the side, the painter's picture against an exact depth buffer of the
// whole blended meshes. What lies inside another part is cut from what is
// drawn, so the painter's order has little hidden left to show in front; the
// rest lies along the seams, where two surfaces run nearly tangent, within a
// model unit of each other, and the exact picture's own winner changes from
// pixel to pixel with the rounding of the whole-unit vertices: tens of
// pixels a view more than 1 px from a boundary (printed). Asserted: at most
// 5 pixels a view more than 4 px from any boundary, and more than 3 px but
// from below, where the ears' and arms' seams run nearly along the rays.
TEST(Figure, ThePictureShowsTheNearerPartWhereTheyMeet) {
    Session session;
    build_eight_part_figure(session);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(figure().part_count, 8);
    // The example's drag, from where its arm was built.
    session.hover(ARM_CLICK_X, ARM_CLICK_Y);
    headless_queue_button_down(BUTTON_LEFT);
    for (const auto& [x, y] : Points{{300, 241}, {330, 200}, {360, 190}}) {
        headless_queue_move(x, y);
        session.frames(1);
    }
    headless_queue_button_up(BUTTON_LEFT);
    session.frames(1);
    const Vec4 turned = figure_rotation();
    const struct {
        const char* name;
        Vec4 rotation;
        bool holds;
    } views[] = {{"front", {0, 0, 0, 0}, true},
                 {"turned", turned, true},
                 {"below", {896, 0, 0, 0}, false},
                 {"side", {0, 256, 0, 0}, true}};
    for (const auto& view : views) {
        set_figure_rotation(view.rotation);
        const PartPicture drawn = drawn_parts();
        const PartPicture exact = nearest_parts();
        const int32_t beyond_3 = wrong_part_pixels(drawn, exact, 3);
        const int32_t beyond_4 = wrong_part_pixels(drawn, exact, 4);
        std::printf(
            "wrong part at the joins, %s: %d pixels beyond 1 px, %d beyond 3, %d beyond 4\n",
            view.name, wrong_part_pixels(drawn, exact, 1), beyond_3, beyond_4);
        EXPECT_LE(beyond_4, 5) << view.name;
        if (view.holds) {
            EXPECT_LE(beyond_3, 5) << view.name;
        }
    }
}
