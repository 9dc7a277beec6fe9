// Keeping what was drawn: the edited object exported as OBJ (read back with
// tinyobjloader), PLY, STL and GLB (read back with tinygltf), the replay tool's export command and
// end-of-script files, their errors, and the per-frame render statistics.
#include <gtest/gtest.h>
#include <tiny_gltf.h>
#include <tiny_obj_loader.h>

#include <unistd.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/frame.h"
#include "app/mesh_export.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "platform/headless/script_player.h"
#include "session/session_fixture.h"

namespace {

// A closed square outline (100, 100)-(200, 200), built by a right-click at
// (150, 150); the sheet is drawn facing the viewer in the last frame.
constexpr const char* SHEET_SCRIPT =
    "frames 1\n"
    "move 100 100\nframes 1\ndown left\n"
    "move 200 100\nframes 1\nmove 200 200\nframes 1\nmove 100 200\nframes 1\n"
    "move 100 100\nframes 1\nup left\n"
    "move 150 150\nframes 1\ndown right\nframes 1\nup right\nframes 1\n";

void build_square_sheet(Session& session) {
    session.square(100, 100, 200, 200);
    session.right_click(150, 150);
    session.frames(1);
}

// The object's polygons, in packet order.
std::vector<TrianglePacket*> triangles_of(const SceneObject* object) {
    std::vector<TrianglePacket*> triangles;
    PrimitivePacket* packet = next_packet(object->header_packet);
    for (int32_t i = 1; i < object->packet_count; ++i, packet = next_packet(packet))
        triangles.push_back(reinterpret_cast<TrianglePacket*>(packet));
    return triangles;
}

struct ObjFile {
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
};

ObjFile read_obj(const std::string& text) {
    ObjFile file;
    std::vector<tinyobj::material_t> materials;
    std::string warning;
    std::string error;
    std::istringstream stream(text);
    EXPECT_TRUE(tinyobj::LoadObj(&file.attrib, &file.shapes, &materials, &warning, &error, &stream))
        << error;
    return file;
}

// The PLY's vertex rows after its header, as the numbers of each line.
std::vector<std::vector<double>> ply_vertex_rows(const std::string& text, int32_t count) {
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line) && line != "end_header") {
    }
    std::vector<std::vector<double>> rows;
    for (int32_t i = 0; i < count && std::getline(stream, line); ++i) {
        std::istringstream numbers(line);
        rows.emplace_back();
        for (double value; numbers >> value;)
            rows.back().push_back(value);
    }
    return rows;
}

std::filesystem::path scratch_folder(const char* name) {
    std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                   ("sketch3d-export-test-" + std::to_string(::getpid())) / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

int play(const std::string& script, const ReplayOutputs& outputs, std::string* error) {
    Script commands;
    EXPECT_TRUE(parse_script(script, &commands, error)) << *error;
    std::ostringstream log;
    return run_script(commands, outputs, HeadlessConfig{}, log, error);
}

// The rules a glTF validator checks on our files: every accessor and buffer view holds
// something, POSITION has its exact bounds, NORMAL unit vectors, indices name vertices.
void expect_valid_glb(const std::string& text) {
    tinygltf::Model model;
    tinygltf::TinyGLTF loader;
    std::string error;
    std::string warning;
    ASSERT_TRUE(loader.LoadBinaryFromMemory(&model, &error, &warning,
                                            reinterpret_cast<const unsigned char*>(text.data()),
                                            unsigned(text.size())))
        << error;
    for (const tinygltf::Buffer& buffer : model.buffers)
        EXPECT_GT(buffer.data.size(), 0u);
    for (const tinygltf::BufferView& view : model.bufferViews)
        EXPECT_GT(view.byteLength, 0u);
    for (const tinygltf::Accessor& accessor : model.accessors)
        EXPECT_GE(accessor.count, 1u);
    ASSERT_EQ(model.meshes.size(), 1u);
    const tinygltf::Primitive& primitive = model.meshes[0].primitives.at(0);
    auto floats = [&](int index) {
        const tinygltf::Accessor& accessor = model.accessors[size_t(index)];
        const tinygltf::BufferView& view = model.bufferViews[size_t(accessor.bufferView)];
        std::vector<float> values(accessor.count * 3);
        std::memcpy(
            values.data(),
            model.buffers[size_t(view.buffer)].data.data() + view.byteOffset + accessor.byteOffset,
            values.size() * sizeof(float));
        return values;
    };
    const tinygltf::Accessor& positions =
        model.accessors[size_t(primitive.attributes.at("POSITION"))];
    const std::vector<float> points = floats(primitive.attributes.at("POSITION"));
    ASSERT_EQ(positions.minValues.size(), 3u);
    ASSERT_EQ(positions.maxValues.size(), 3u);
    for (size_t a = 0; a < 3; ++a) {
        double low = points[a], high = points[a];
        for (size_t i = a; i < points.size(); i += 3) {
            low = std::min(low, double(points[i]));
            high = std::max(high, double(points[i]));
        }
        EXPECT_EQ(positions.minValues[a], low);
        EXPECT_EQ(positions.maxValues[a], high);
    }
    const std::vector<float> normals = floats(primitive.attributes.at("NORMAL"));
    for (size_t i = 0; i < normals.size(); i += 3) {
        const double length =
            std::sqrt(double(normals[i]) * normals[i] + double(normals[i + 1]) * normals[i + 1] +
                      double(normals[i + 2]) * normals[i + 2]);
        ASSERT_NEAR(length, 1.0, 1e-6) << "normal " << i / 3;
    }
    const tinygltf::Accessor& indices = model.accessors[size_t(primitive.indices)];
    const tinygltf::BufferView& view = model.bufferViews[size_t(indices.bufferView)];
    const auto* index = reinterpret_cast<const uint32_t*>(
        model.buffers[size_t(view.buffer)].data.data() + view.byteOffset + indices.byteOffset);
    EXPECT_EQ(indices.count % 3, 0u);
    for (size_t i = 0; i < indices.count; ++i)
        ASSERT_LT(index[i], positions.count);
}

}  // namespace

TEST(MeshExport, ObjReadsBackAsTheModelWithItsReliefFacingTheViewer) {
    Session session;
    build_square_sheet(session);
    headless_queue_key_down(KEY_Z);
    headless_queue_move(151, 151);
    headless_queue_button_down(BUTTON_LEFT);
    session.frames(3);  // the four vertices around (151, 151) come 3 units toward the viewer
    headless_queue_button_up(BUTTON_LEFT);
    headless_queue_key_up(KEY_Z);
    session.frames(1);

    std::string text;
    ASSERT_EQ(export_obj(selected_object(), &text), EXPORT_OK);
    ObjFile obj = read_obj(text);
    const SceneObject* object = get_object(selected_object());
    const RenderList* list = current_render_list();
    const int32_t vertices = object->vertex_count;
    ASSERT_GT(vertices, 100);
    ASSERT_EQ(obj.attrib.vertices.size(), size_t(3 * vertices));
    ASSERT_EQ(obj.attrib.normals.size(), size_t(3 * vertices));

    // Positions as modelled, turned half about x: y up, and the relief in z
    // toward the viewer (model z grows away from the eye).
    int32_t raised = 0;
    for (int32_t i = 0; i < vertices; ++i) {
        const Vec4& v = list->model_vertices[i];
        EXPECT_EQ(obj.attrib.vertices[3 * i], float(v.x)) << i;
        EXPECT_EQ(obj.attrib.vertices[3 * i + 1], float(-v.y)) << i;
        EXPECT_EQ(obj.attrib.vertices[3 * i + 2], float(-v.z)) << i;
        raised += obj.attrib.vertices[3 * i + 2] == 3.0f;
    }
    EXPECT_EQ(raised, 4);

    // One triangle per emitted packet, corners reversed after the first (the
    // renderer's faces turn clockwise), each with its vertex's normal.
    std::vector<TrianglePacket*> triangles = triangles_of(object);
    ASSERT_EQ(obj.shapes.size(), 1u);
    const tinyobj::mesh_t& mesh = obj.shapes[0].mesh;
    ASSERT_EQ(mesh.num_face_vertices.size(), triangles.size());
    for (size_t f = 0; f < triangles.size(); ++f) {
        const int16_t* v = triangles[f]->v;
        const int expected[3] = {v[0], v[2], v[1]};
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(mesh.indices[3 * f + k].vertex_index, expected[k]) << f;
            EXPECT_EQ(mesh.indices[3 * f + k].normal_index, expected[k]) << f;
        }
    }
    // Away from the relief a face turns anticlockwise towards +z, the viewer,
    // and so does its normal.
    const tinyobj::index_t* face = &mesh.indices[0];
    auto at = [&](int k, int axis) { return obj.attrib.vertices[3 * face[k].vertex_index + axis]; };
    float turn = (at(1, 0) - at(0, 0)) * (at(2, 1) - at(1, 1)) -
                 (at(1, 1) - at(0, 1)) * (at(2, 0) - at(1, 0));
    EXPECT_GT(turn, 0.0f);
    EXPECT_EQ(obj.attrib.normals[3 * face[0].normal_index + 2], 1.0f);
}

TEST(MeshExport, ABodyExportsTheSameOutwardTrianglesInEveryFormat) {
    Session session;
    session.stroke({{157, 161}, {357, 141}, {377, 321}, {177, 341}, {157, 161}});
    session.right_click(257, 241);
    headless_queue_key_down(KEY_I);
    session.frames(1);
    headless_queue_key_up(KEY_I);
    session.frames(1);
    ExportedMesh mesh;
    ASSERT_EQ(export_mesh(selected_object(), &mesh), EXPORT_OK);
    const size_t triangles = mesh.triangles.size() / 3;
    ASSERT_GT(triangles, 1000u);

    // OBJ: the same positions and corners; the faces enclose a positive
    // volume, so they turn outward, and so do the normals.
    std::string text;
    ASSERT_EQ(export_obj(selected_object(), &text), EXPORT_OK);
    ObjFile obj = read_obj(text);
    EXPECT_EQ(obj.attrib.vertices, mesh.positions);
    const tinyobj::mesh_t& faces = obj.shapes[0].mesh;
    ASSERT_EQ(faces.indices.size(), mesh.triangles.size());
    double volume6 = 0;
    double normal_agreement = 0;
    for (size_t f = 0; f < triangles; ++f) {
        const float* p[3];
        for (size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(uint32_t(faces.indices[3 * f + k].vertex_index), mesh.triangles[3 * f + k]);
            p[k] = &obj.attrib.vertices[3 * size_t(faces.indices[3 * f + k].vertex_index)];
        }
        double c[3] = {double(p[1][1]) * p[2][2] - double(p[1][2]) * p[2][1],
                       double(p[1][2]) * p[2][0] - double(p[1][0]) * p[2][2],
                       double(p[1][0]) * p[2][1] - double(p[1][1]) * p[2][0]};
        volume6 += p[0][0] * c[0] + p[0][1] * c[1] + p[0][2] * c[2];
        // The face's own normal against its first corner's vertex normal.
        double u[3], v[3];
        for (int a = 0; a < 3; ++a) {
            u[a] = double(p[1][a]) - p[0][a];
            v[a] = double(p[2][a]) - p[0][a];
        }
        const float* n = &obj.attrib.normals[3 * size_t(faces.indices[3 * f].normal_index)];
        normal_agreement += (u[1] * v[2] - u[2] * v[1]) * n[0] +
                            (u[2] * v[0] - u[0] * v[2]) * n[1] + (u[0] * v[1] - u[1] * v[0]) * n[2];
    }
    EXPECT_GT(volume6, 0.0);
    EXPECT_GT(normal_agreement, 0.0);

    // STL: 80-byte header, count, 50 bytes a triangle.
    ASSERT_EQ(export_stl(selected_object(), &text), EXPORT_OK);
    ASSERT_EQ(text.size(), 84 + 50 * triangles);
    uint32_t count = 0;
    std::memcpy(&count, text.data() + 80, 4);
    EXPECT_EQ(count, triangles);

    // GLB: tinygltf reads back one mesh with the same positions and indices.
    ASSERT_EQ(export_glb(selected_object(), &text), EXPORT_OK);
    tinygltf::Model model;
    tinygltf::TinyGLTF loader;
    std::string error;
    std::string warning;
    ASSERT_TRUE(loader.LoadBinaryFromMemory(&model, &error, &warning,
                                            reinterpret_cast<const unsigned char*>(text.data()),
                                            unsigned(text.size())))
        << error;
    ASSERT_EQ(model.meshes.size(), 1u);
    const tinygltf::Primitive& primitive = model.meshes[0].primitives[0];
    auto accessor_bytes = [&](int index) {
        const tinygltf::Accessor& accessor = model.accessors[size_t(index)];
        const tinygltf::BufferView& view = model.bufferViews[size_t(accessor.bufferView)];
        return model.buffers[size_t(view.buffer)].data.data() + view.byteOffset +
               accessor.byteOffset;
    };
    const tinygltf::Accessor& positions =
        model.accessors[size_t(primitive.attributes.at("POSITION"))];
    ASSERT_EQ(positions.count * 3, mesh.positions.size());
    EXPECT_EQ(std::memcmp(accessor_bytes(primitive.attributes.at("POSITION")),
                          mesh.positions.data(), mesh.positions.size() * 4),
              0);
    ASSERT_EQ(model.accessors[size_t(primitive.indices)].count, mesh.triangles.size());
    EXPECT_EQ(std::memcmp(accessor_bytes(primitive.indices), mesh.triangles.data(),
                          mesh.triangles.size() * 4),
              0);
    EXPECT_EQ(model.nodes[0].scale, (std::vector<double>{0.001, 0.001, 0.001}));
    expect_valid_glb(text);
}

TEST(MeshExport, FacesThatRepeatAVertexOrHaveNoAreaAreLeftOutOfTheFile) {
    // A slanted outline: along its edges the builder emits triangles that collapse.
    Session session;
    session.stroke({{137, 241}, {257, 91}, {437, 241}, {257, 391}, {137, 241}});
    session.right_click(257, 241);
    session.frames(1);
    const SceneObject* object = get_object(selected_object());
    ASSERT_NE(object, nullptr);
    const RenderList* list = current_render_list();
    std::vector<std::array<int, 3>> kept;
    for (const TrianglePacket* triangle : triangles_of(object)) {
        const Vec4 p[3] = {list->model_vertices[triangle->v[0]],
                           list->model_vertices[triangle->v[1]],
                           list->model_vertices[triangle->v[2]]};
        const int64_t ux = p[1].x - p[0].x, uy = p[1].y - p[0].y, uz = p[1].z - p[0].z;
        const int64_t wx = p[2].x - p[0].x, wy = p[2].y - p[0].y, wz = p[2].z - p[0].z;
        const bool area =
            uy * wz - uz * wy != 0 || uz * wx - ux * wz != 0 || ux * wy - uy * wx != 0;
        const std::set<int16_t> corners(triangle->v, triangle->v + 3);
        if (area && corners.size() == 3)
            kept.push_back({triangle->v[0], triangle->v[2], triangle->v[1]});
    }
    const size_t emitted = size_t(object->packet_count - 1);
    ASSERT_GT(emitted, kept.size());  // the outline did give collapsed triangles

    // The file lists the others, in order.
    std::string text;
    ASSERT_EQ(export_obj(selected_object(), &text), EXPORT_OK);
    const tinyobj::mesh_t mesh = read_obj(text).shapes.at(0).mesh;
    std::vector<std::array<int, 3>> faces(mesh.num_face_vertices.size());
    for (size_t f = 0; f < faces.size(); ++f)
        for (int k = 0; k < 3; ++k)
            faces[f][k] = mesh.indices[3 * f + k].vertex_index;
    EXPECT_EQ(faces, kept);
    ASSERT_EQ(export_ply(selected_object(), &text), EXPORT_OK);
    EXPECT_NE(text.find("element face " + std::to_string(kept.size()) + "\n"), std::string::npos);
}

TEST(MeshExport, PlyCarriesTheColoursTheLastFrameShowed) {
    Session session;
    build_square_sheet(session);
    std::string text;
    ASSERT_EQ(export_ply(selected_object(), &text), EXPORT_OK);
    const int32_t vertices = get_object(selected_object())->vertex_count;
    EXPECT_NE(text.find("element vertex " + std::to_string(vertices) + "\n"), std::string::npos);
    // Shade table 0 at the sheet's light level gives red 24 of 31 on the
    // screen, 198 of 255; table 2 (F3) gives 31, full red.
    for (const auto& row : ply_vertex_rows(text, vertices))
        ASSERT_EQ(row, (std::vector<double>{row[0], row[1], 0, 0, 0, 1, 198, 0, 0}));
    headless_queue_key_down(KEY_F3);
    session.frames(1);
    ASSERT_EQ(export_ply(selected_object(), &text), EXPORT_OK);
    EXPECT_EQ(ply_vertex_rows(text, 1)[0][6], 255);
}

// An object without a face leaves the program as no file at all, in every format.
TEST(MeshExport, AnObjectWithoutFacesIsNothingToExport) {
    const std::vector<
        std::pair<std::vector<std::pair<int32_t, int32_t>>, std::pair<int32_t, int32_t>>>
        cases = {
            // outline, right-click
            {{{100, 100}, {104, 100}, {104, 104}, {100, 104}, {100, 100}}, {102, 102}},  // tiny
            {{{100, 100}, {300, 100}, {300, 103}, {100, 103}, {100, 100}}, {200, 101}},  // sliver
        };
    for (const auto& [outline, click] : cases) {
        Session session;
        session.stroke(outline);
        session.right_click(click.first, click.second);
        session.frames(1);
        ASSERT_NE(selected_object(), -1) << click.first;  // the empty object is kept
        for (auto exporter : {export_obj, export_ply, export_stl, export_glb}) {
            std::string text = "old";
            EXPECT_EQ(exporter(selected_object(), &text), EXPORT_NO_OBJECT) << click.first;
            EXPECT_TRUE(text.empty());
        }
        ExportedMesh mesh;
        EXPECT_EQ(export_mesh(selected_object(), &mesh), EXPORT_NO_OBJECT);
        headless_queue_key_down(KEY_F12);
        session.frames(1);
        std::string text;
        EXPECT_EQ(export_obj(selected_object(), &text), EXPORT_NO_OBJECT);
    }
}

// Every normal of every format has unit length, also where the stored normals have none
// (the points of a star, a square smaller than two grid squares), and the GLB keeps the
// rules a glTF validator checks.
TEST(MeshExport, EveryExportedNormalHasUnitLength) {
    std::vector<std::pair<int32_t, int32_t>> star;
    for (int i = 0; i <= 120; ++i) {
        const double angle = 3.14159265358979 * i / 60, radius = i % 2 == 0 ? 150 : 60;
        star.emplace_back(257 + int32_t(radius * std::cos(angle)),
                          241 + int32_t(radius * std::sin(angle)));
    }
    const std::vector<std::pair<int32_t, int32_t>> small = {
        {250, 235}, {259, 235}, {259, 244}, {250, 244}, {250, 235}};
    struct Case {
        const char* name;
        const std::vector<std::pair<int32_t, int32_t>>* outline;
        bool inflated;
    };
    for (const Case& c : {Case{"star", &star, false}, Case{"star body", &star, true},
                          Case{"small body", &small, true}}) {
        Session session;
        session.stroke(*c.outline);
        session.right_click(257, 241);
        session.frames(1);
        if (c.inflated) {
            headless_queue_key_down(KEY_I);
            session.frames(1);
            headless_queue_key_up(KEY_I);
            session.frames(1);
        }
        const auto unit = [&](double x, double y, double z) {
            return std::abs(std::sqrt(x * x + y * y + z * z) - 1.0) < 1e-6;
        };
        ExportedMesh mesh;
        ASSERT_EQ(export_mesh(selected_object(), &mesh), EXPORT_OK) << c.name;
        for (size_t i = 0; i < mesh.normals.size(); i += 3)
            ASSERT_TRUE(unit(mesh.normals[i], mesh.normals[i + 1], mesh.normals[i + 2]))
                << c.name << " vertex " << i / 3;
        std::string text;
        ASSERT_EQ(export_obj(selected_object(), &text), EXPORT_OK);
        const std::vector<float>& normals = read_obj(text).attrib.normals;
        ASSERT_EQ(normals.size(), mesh.normals.size());
        for (size_t i = 0; i < normals.size(); i += 3)
            ASSERT_TRUE(unit(normals[i], normals[i + 1], normals[i + 2])) << c.name << i / 3;
        ASSERT_EQ(export_ply(selected_object(), &text), EXPORT_OK);
        for (const auto& row : ply_vertex_rows(text, int32_t(mesh.positions.size() / 3)))
            ASSERT_TRUE(unit(row[3], row[4], row[5])) << c.name;
        ASSERT_EQ(export_stl(selected_object(), &text), EXPORT_OK);
        for (size_t t = 0; t < mesh.triangles.size() / 3; ++t) {
            float n[3];
            std::memcpy(n, text.data() + 84 + 50 * t, sizeof n);
            ASSERT_TRUE(unit(n[0], n[1], n[2])) << c.name << " facet " << t;
        }
        ASSERT_EQ(export_glb(selected_object(), &text), EXPORT_OK);
        expect_valid_glb(text);
    }
}

TEST(ReplayExport, ScriptAndEndOfScriptFilesAreWrittenWhole) {
    std::filesystem::path folder = scratch_folder("files");
    ReplayOutputs outputs;
    outputs.out_dir = folder.string();
    outputs.end_exports[FORMAT_OBJ] = (folder / "end.obj").string();
    outputs.end_exports[FORMAT_PLY] = (folder / "end.ply").string();
    std::string error;
    // The close box deletes the object; the end files show it as it was then.
    ASSERT_EQ(play(std::string(SHEET_SCRIPT) + "export mid.obj\nexport mid.ply\nclose\nframes 1\n",
                   outputs, &error),
              0)
        << error;
    std::string mid = read_file(folder / "mid.obj");
    EXPECT_NE(mid.find("\nf "), std::string::npos);
    EXPECT_EQ(read_file(folder / "end.obj"), mid);
    EXPECT_EQ(read_file(folder / "end.ply"), read_file(folder / "mid.ply"));
    EXPECT_FALSE(std::filesystem::exists(folder / "mid.mtl"));  // nothing painted
    std::filesystem::remove_all(folder.parent_path());
}

TEST(ReplayExport, MissingObjectsBadNamesAndUnwritablePathsFailCleanly) {
    std::filesystem::path folder = scratch_folder("errors");
    ReplayOutputs outputs;
    outputs.out_dir = folder.string();
    std::string error;
    EXPECT_EQ(play("frames 1\nexport none.obj\n", outputs, &error), 1);
    EXPECT_EQ(error.rfind("2: cannot export none.obj: no object to export", 0), 0u) << error;

    // Nothing is written after an error, the statistics neither.
    outputs.end_exports[FORMAT_OBJ] = (folder / "end.obj").string();
    outputs.stats_path = (folder / "stats.csv").string();
    EXPECT_EQ(play("frames 2\n", outputs, &error), 1);
    EXPECT_NE(error.find("no object to export"), std::string::npos) << error;

    Script commands;
    EXPECT_FALSE(parse_script("export sheet.stp\n", &commands, &error));
    EXPECT_EQ(error.rfind("1: bad export name 'sheet.stp'", 0), 0u) << error;

    // A missing folder, and a folder where the file should go.
    outputs.stats_path.clear();
    outputs.end_exports[FORMAT_OBJ] = (folder / "missing" / "end.obj").string();
    EXPECT_EQ(play(SHEET_SCRIPT, outputs, &error), 3);
    EXPECT_EQ(error.rfind("cannot write " + outputs.end_exports[FORMAT_OBJ] + ": ", 0), 0u)
        << error;
    std::filesystem::create_directory(folder / "taken.obj");
    outputs.end_exports[FORMAT_OBJ] = (folder / "taken.obj").string();
    EXPECT_EQ(play(SHEET_SCRIPT, outputs, &error), 3);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken.obj"));

    // A command's file may not be another output's, nor the script (here as a hard link).
    outputs.end_exports[FORMAT_OBJ] = (folder / "end.obj").string();
    EXPECT_EQ(play(std::string(SHEET_SCRIPT) + "export end.obj\n", outputs, &error), 1);
    EXPECT_EQ(error, "20: export end.obj (" + outputs.end_exports[FORMAT_OBJ] +
                         ") names the file that --obj " + outputs.end_exports[FORMAT_OBJ] +
                         " writes: one would replace the other");
    outputs.end_exports[FORMAT_OBJ].clear();
    outputs.script_path = (folder / "taken.obj" / "script.txt").string();
    std::ofstream(outputs.script_path) << SHEET_SCRIPT;
    std::filesystem::create_hard_link(outputs.script_path, folder / "script.ply");
    EXPECT_EQ(play(std::string(SHEET_SCRIPT) + "export script.ply\n", outputs, &error), 2);
    EXPECT_EQ(error.rfind("20: export script.ply (", 0), 0u) << error;
    std::filesystem::remove(folder / "script.ply");

    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"taken.obj"});  // no half-written file anywhere
    std::filesystem::remove_all(folder.parent_path());
}

TEST(ReplayStats, OneRowPerFrameWithTheRenderCounters) {
    std::filesystem::path folder = scratch_folder("stats");
    ReplayOutputs outputs;
    outputs.out_dir = folder.string();
    outputs.stats_path = (folder / "stats.csv").string();
    std::string error;
    // Frame 9 shows the sheet; frame 10 turns it half a turn about y.
    ASSERT_EQ(
        play(std::string(SHEET_SCRIPT) + "down left\nmove 662 150\nframes 1\n", outputs, &error), 0)
        << error;
    std::istringstream csv(read_file(folder / "stats.csv"));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "frame,packets_walked,culled,depth_dropped,drawn,pixels_written,frame_us");
    std::vector<std::vector<int64_t>> rows;
    while (std::getline(csv, line)) {
        std::istringstream fields(line);
        rows.emplace_back();
        for (std::string field; std::getline(fields, field, ',');)
            rows.back().push_back(std::stoll(field));
    }
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[0], (std::vector<int64_t>{1, 0, 0, 0, 0, 0, rows[0][6]}));

    // Walked: the object's header and its triangles, all drawn, then all culled.
    const std::vector<int64_t>& facing = rows[8];
    const int64_t walked = facing[1];
    EXPECT_GT(walked, 100);
    EXPECT_EQ(facing, (std::vector<int64_t>{9, walked, 0, 0, walked - 1, facing[5], facing[6]}));
    EXPECT_GE(facing[5], 95 * 95);
    EXPECT_EQ(rows[9], (std::vector<int64_t>{10, walked, walked - 1, 0, 0, 0, rows[9][6]}));
    std::filesystem::remove_all(folder.parent_path());
}

// A script that builds a body over the box left..right x 100..200 painted with the green pen
// (a stroke down each of `strokes`; by default a square with three strokes down its left side).
std::string painted_body_script(int32_t left = 100, int32_t right = 200,
                                const std::vector<int32_t>& strokes = {126, 128, 130}) {
    const std::string l = std::to_string(left), r = std::to_string(right);
    std::string script =
        "frames 1\nmove " + l + " 100\nframes 1\ndown left\nmove " + r + " 100\nframes 1\nmove " +
        r + " 200\nframes 1\nmove " + l + " 200\nframes 1\nmove " + l +
        " 100\nframes 1\nup left\nframes 1\nkey down 4\nframes 1\nkey up 4\nframes 1\n";
    for (int32_t x : strokes)
        script += "move " + std::to_string(x) + " 110\nframes 1\ndown left\nframes 1\nmove " +
                  std::to_string(x) + " 190\nframes 1\nup left\nframes 1\n";
    return script + "move " + std::to_string((left + right) / 2) +
           " 150\nframes 1\ndown right\nframes 1\nup right\nframes 1\n"
           "key down i\nframes 1\nkey up i\nframes 1\n";
}

// Plays `script` with its outputs in the scratch folder `name` (*folder), and reads back the
// GLB it exported as `name`.glb: *model, checked valid, and *image, the base colour texture
// of its first primitive.
void play_painted_export(const std::string& script, const std::string& name,
                         std::filesystem::path* folder, tinygltf::Model* model,
                         const tinygltf::Image** image) {
    *folder = scratch_folder(name.c_str());
    ReplayOutputs outputs;
    outputs.out_dir = folder->string();
    std::string error;
    ASSERT_EQ(play(script, outputs, &error), 0) << error;
    const std::string glb = read_file(*folder / (name + ".glb"));
    expect_valid_glb(glb);
    tinygltf::TinyGLTF loader;
    std::string warning;
    ASSERT_TRUE(loader.LoadBinaryFromMemory(model, &error, &warning,
                                            reinterpret_cast<const unsigned char*>(glb.data()),
                                            unsigned(glb.size())))
        << error;
    const tinygltf::Primitive& primitive = model->meshes.at(0).primitives.at(0);
    ASSERT_GE(primitive.material, 0);
    const int texture_index =
        model->materials.at(size_t(primitive.material)).pbrMetallicRoughness.baseColorTexture.index;
    *image = &model->images.at(size_t(model->textures.at(size_t(texture_index)).source));
}

// The painted body, exported by the script as OBJ, GLB and PLY and saved with Ctrl+S.
TEST(ReplayExport, APaintedBodyKeepsItsPaintingInEveryExport) {
    // GLB: the part's texture embedded as PNG, read back as the painting's pixels, and each
    // vertex's coordinates inside it.
    std::filesystem::path folder;
    tinygltf::Model model;
    const tinygltf::Image* texture = nullptr;
    play_painted_export(
        painted_body_script() +
            "export painted.obj\nexport painted.glb\nexport painted.ply\n"
            "key down ctrl\nframes 1\nkey down s\nframes 1\nkey up s\nkey up ctrl\nframes 1\n",
        "painted", &folder, &model, &texture);
    ASSERT_FALSE(HasFatalFailure());
    const tinygltf::Image& image = *texture;
    const tinygltf::Primitive& primitive = model.meshes.at(0).primitives.at(0);
    ASSERT_EQ(image.image.size(), size_t(image.width) * size_t(image.height) * 4);
    const tinygltf::Accessor& uv =
        model.accessors.at(size_t(primitive.attributes.at("TEXCOORD_0")));
    const tinygltf::BufferView& uv_view = model.bufferViews.at(size_t(uv.bufferView));
    const auto* uvs = reinterpret_cast<const float*>(model.buffers[0].data.data() +
                                                     uv_view.byteOffset + uv.byteOffset);
    // 0 red, 1 green, 2 blue: the strongest of a colour's components.
    auto strongest = [](double r, double g, double b) {
        return r >= g && r >= b ? 0 : g >= b ? 1 : 2;
    };
    std::vector<int> painted(uv.count);
    std::array<int, 3> seen = {};
    for (size_t i = 0; i < uv.count; ++i) {
        ASSERT_TRUE(uvs[2 * i] > 0 && uvs[2 * i] < 1 && uvs[2 * i + 1] > 0 && uvs[2 * i + 1] < 1);
        const size_t at = (size_t(uvs[2 * i + 1] * float(image.height)) * size_t(image.width) +
                           size_t(uvs[2 * i] * float(image.width))) *
                          4;
        painted[i] = strongest(image.image[at], image.image[at + 1], image.image[at + 2]);
        ++seen[size_t(painted[i])];
    }
    EXPECT_GT(seen[0], 0);  // the body's red
    EXPECT_GT(seen[1], 0);  // the green strokes, front and mirrored on the back

    // OBJ: beside it its materials and the same PNG, each vertex with its coordinates (v up).
    std::string warning, error;
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warning, &error,
                                 (folder / "painted.obj").c_str(), folder.c_str()))
        << error;
    ASSERT_EQ(materials.size(), 1u);
    EXPECT_EQ(materials[0].diffuse_texname, "painted.part-1.png");
    const tinygltf::BufferView& png_view = model.bufferViews.at(size_t(image.bufferView));
    EXPECT_EQ(read_file(folder / "painted.part-1.png"),
              std::string(
                  reinterpret_cast<const char*>(model.buffers[0].data.data()) + png_view.byteOffset,
                  png_view.byteLength));
    ASSERT_EQ(attrib.texcoords.size(), 2 * uv.count);
    for (size_t i = 0; i < uv.count; ++i) {
        EXPECT_FLOAT_EQ(attrib.texcoords[2 * i], uvs[2 * i]);
        EXPECT_FLOAT_EQ(attrib.texcoords[2 * i + 1], 1 - uvs[2 * i + 1]);
    }
    for (const tinyobj::index_t& corner : shapes.at(0).mesh.indices)
        ASSERT_EQ(corner.texcoord_index, corner.vertex_index);

    // PLY: each vertex coloured from the painting under it, lit as drawn.
    const std::vector<std::vector<double>> rows =
        ply_vertex_rows(read_file(folder / "painted.ply"), int32_t(uv.count));
    ASSERT_EQ(rows.size(), uv.count);
    int32_t unlike = 0;
    for (size_t i = 0; i < rows.size(); ++i)
        unlike += strongest(rows[i].at(6), rows[i].at(7), rows[i].at(8)) != painted[i];
    EXPECT_EQ(unlike, 0);

    // The save names its own files.
    EXPECT_NE(read_file(folder / "sketch3d-001.obj").find("mtllib sketch3d-001.mtl\n"),
              std::string::npos);
    EXPECT_NE(read_file(folder / "sketch3d-001.mtl").find("map_Kd sketch3d-001.part-1.png\n"),
              std::string::npos);
    EXPECT_EQ(read_file(folder / "sketch3d-001.part-1.png"),
              read_file(folder / "painted.part-1.png"));
    std::filesystem::remove_all(folder.parent_path());
}

// A stroke of one pixel on a body wider than the fills' 128-texel textures keeps one texel a
// model point in the exported texture: every row it crosses has it two texels wide, as the
// screen's tiles draw it, not spread over the coarser texels of a 128-texel texture.
TEST(ReplayExport, AOnePixelStrokeOnAWideBodyStaysSharpInItsTexture) {
    std::filesystem::path folder;
    tinygltf::Model model;
    const tinygltf::Image* texture = nullptr;
    play_painted_export(painted_body_script(40, 460, {250}) + "export wide.glb\n", "wide", &folder,
                        &model, &texture);
    ASSERT_FALSE(HasFatalFailure());
    const tinygltf::Image& image = *texture;
    const tinygltf::Primitive& primitive = model.meshes.at(0).primitives.at(0);
    const tinygltf::Accessor& positions =
        model.accessors.at(size_t(primitive.attributes.at("POSITION")));
    const double width = positions.maxValues.at(0) - positions.minValues.at(0);
    EXPECT_GT(width, 300);
    EXPECT_GE(image.width, width);
    int32_t crossed = 0;
    for (int32_t y = 0; y < image.height; ++y) {
        std::vector<int32_t> green;
        for (int32_t x = 0; x < image.width; ++x) {
            const unsigned char* texel =
                &image.image[(size_t(y) * size_t(image.width) + size_t(x)) * 4];
            if (texel[1] > texel[0]) green.push_back(x);
        }
        if (green.empty()) continue;
        ++crossed;
        ASSERT_EQ(green.size(), 2u) << y;
        EXPECT_EQ(green[1], green[0] + 1) << y;
    }
    EXPECT_GT(crossed, 40);
    std::filesystem::remove_all(folder.parent_path());
}

// The files beside a painted figure's OBJ go beside --obj's too; an OBJ exported again under
// its name leaves beside it only what its materials name; and a file that may go beside an OBJ
// may not be another output's, checked before anything plays.
TEST(ReplayExport, FilesBesideAnObjAreItsOwn) {
    std::filesystem::path folder = scratch_folder("beside");
    ReplayOutputs outputs;
    outputs.out_dir = folder.string();
    outputs.end_exports[FORMAT_OBJ] = (folder / "end.obj").string();
    // M: two painted parts, exported as a.obj (and b.obj), then Backspace: one, a.obj again.
    const std::string two_parts = painted_body_script() + "key down m\nframes 1\nkey up m\n";
    const std::string script = two_parts +
                               "frames 1\nexport a.obj\nexport b.obj\nkey down backspace\n" +
                               "frames 1\nkey up backspace\nframes 1\nexport a.obj\n";
    std::string error;
    ASSERT_EQ(play(script, outputs, &error), 0) << error;
    EXPECT_NE(read_file(folder / "a.mtl").find("map_Kd a.part-1.png\n"), std::string::npos);
    EXPECT_EQ(read_file(folder / "a.mtl").find("a.part-2.png"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(folder / "b.part-2.png"));  // as a.obj's was
    EXPECT_FALSE(std::filesystem::exists(folder / "a.part-2.png"));
    EXPECT_EQ(read_file(folder / "a.part-1.png"), read_file(folder / "end.part-1.png"));
    EXPECT_NE(read_file(folder / "end.obj").find("mtllib end.mtl\n"), std::string::npos);
    EXPECT_NE(read_file(folder / "end.mtl").find("map_Kd end.part-1.png\n"), std::string::npos);

    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    EXPECT_EQ(play(two_parts + "screenshot a.part-2\nexport a.obj\n", outputs, &error), 1);
    const auto export_line = std::count(two_parts.begin(), two_parts.end(), '\n') + 2;
    EXPECT_EQ(error, std::to_string(export_line) + ": export a.obj's texture (" +
                         (folder / "a.part-2.png").string() +
                         ") names the file that screenshot a.part-2 (" +
                         (folder / "a.part-2.png").string() +
                         ") writes: one would replace the other");
    outputs.stats_path = (folder / "end.mtl").string();
    EXPECT_EQ(play(two_parts, outputs, &error), 2);
    EXPECT_EQ(error, "--stats " + outputs.stats_path + " and --obj " +
                         outputs.end_exports[FORMAT_OBJ] + "'s materials " + outputs.stats_path +
                         " name one file: one would replace the other");
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::remove_all(folder.parent_path());
}
