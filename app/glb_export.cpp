// glTF binary export through tinygltf (Debian libtinygltf-dev), in every build
// that found it (SKETCH3D_GLB); a build without it says there is no writer. The
// host links Debian's compiled library, the Windows and browser builds compile
// the same code (app/tinygltf_implementation.cpp): the file is the same bytes
// on each.
#include "app/mesh_export.h"

#include "app/edited_object.h"

#ifdef SKETCH3D_GLB

#include <tiny_gltf.h>

#include <cstring>
#include <sstream>

namespace {

// Appends the bytes of `values` to the buffer as a view of its own, 4-byte
// aligned as accessors need, and returns the view's number.
template <typename T>
int append_view(tinygltf::Model* model, const std::vector<T>& values, int target) {
    std::vector<unsigned char>& data = model->buffers[0].data;
    data.resize((data.size() + 3) & ~size_t(3));
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = data.size();
    view.byteLength = values.size() * sizeof(T);
    view.target = target;
    data.resize(data.size() + view.byteLength);
    if (view.byteLength > 0)
        std::memcpy(data.data() + view.byteOffset, values.data(), view.byteLength);
    model->bufferViews.push_back(view);
    return int(model->bufferViews.size()) - 1;
}

int append_accessor(tinygltf::Model* model, int view, int component, size_t count, int type) {
    tinygltf::Accessor accessor;
    accessor.bufferView = view;
    accessor.componentType = component;
    accessor.count = count;
    accessor.type = type;
    model->accessors.push_back(accessor);
    return int(model->accessors.size()) - 1;
}

// One mesh under one node per part, each node scaled so that a model unit is
// a millimetre in glTF's metres.
int32_t write_glb(const std::vector<ExportedMesh>& parts, const std::vector<std::string>& names,
                  std::string* out) {
    tinygltf::Model model;
    model.asset.version = "2.0";
    model.asset.generator = "sketch3d";
    model.buffers.resize(1);
    tinygltf::Scene scene;
    for (size_t part = 0; part < parts.size(); ++part) {
        const ExportedMesh& mesh = parts[part];
        size_t vertices = mesh.positions.size() / 3;
        tinygltf::Primitive primitive;
        primitive.mode = TINYGLTF_MODE_TRIANGLES;
        int positions = append_accessor(
            &model, append_view(&model, mesh.positions, TINYGLTF_TARGET_ARRAY_BUFFER),
            TINYGLTF_COMPONENT_TYPE_FLOAT, vertices, TINYGLTF_TYPE_VEC3);
        // glTF asks for the bounds of the positions.
        std::vector<double> low(3, 0.0);
        std::vector<double> high(3, 0.0);
        for (size_t i = 0; i < vertices; ++i) {
            for (size_t a = 0; a < 3; ++a) {
                double c = mesh.positions[3 * i + a];
                low[a] = i == 0 || c < low[a] ? c : low[a];
                high[a] = i == 0 || c > high[a] ? c : high[a];
            }
        }
        model.accessors[size_t(positions)].minValues = low;
        model.accessors[size_t(positions)].maxValues = high;
        primitive.attributes["POSITION"] = positions;
        primitive.attributes["NORMAL"] =
            append_accessor(&model, append_view(&model, mesh.normals, TINYGLTF_TARGET_ARRAY_BUFFER),
                            TINYGLTF_COMPONENT_TYPE_FLOAT, vertices, TINYGLTF_TYPE_VEC3);
        primitive.indices = append_accessor(
            &model, append_view(&model, mesh.triangles, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER),
            TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, mesh.triangles.size(), TINYGLTF_TYPE_SCALAR);

        tinygltf::Mesh gltf_mesh;
        gltf_mesh.name = names[part];
        gltf_mesh.primitives.push_back(primitive);
        model.meshes.push_back(gltf_mesh);
        tinygltf::Node node;
        node.mesh = int(model.meshes.size()) - 1;
        node.name = gltf_mesh.name;
        node.scale = {0.001, 0.001, 0.001};  // model units are millimetres, glTF's are metres
        model.nodes.push_back(node);
        scene.nodes.push_back(int(model.nodes.size()) - 1);
    }
    model.scenes.push_back(scene);
    model.defaultScene = 0;

    std::ostringstream stream;
    tinygltf::TinyGLTF writer;
    if (!writer.WriteGltfSceneToStream(&model, stream, false, true)) return EXPORT_NO_WRITER;
    *out = stream.str();
    return EXPORT_OK;
}

}  // namespace

int32_t export_glb(int32_t index, std::string* out) {
    out->clear();
    ExportedMesh mesh;
    if (int32_t result = export_mesh(index, &mesh); result != EXPORT_OK) return result;
    return write_glb({mesh}, {"sketch3d_object_" + std::to_string(index)}, out);
}

int32_t export_figure_glb(std::string* out) {
    out->clear();
    // A figure of one part writes as one object always has.
    if (figure().part_count == 1) return export_glb(part_object(0).index, out);
    ExportedMesh joined;
    if (export_joined_figure(&joined)) return write_glb({joined}, {"sketch3d_figure"}, out);
    std::vector<ExportedMesh> parts;
    if (int32_t result = export_parts(&parts); result != EXPORT_OK) return result;
    std::vector<std::string> names;
    for (size_t part = 0; part < parts.size(); ++part)
        names.push_back("sketch3d_part_" + std::to_string(part + 1));
    return write_glb(parts, names, out);
}

#else

int32_t export_glb(int32_t /*index*/, std::string* out) {
    out->clear();
    return EXPORT_NO_WRITER;
}

int32_t export_figure_glb(std::string* out) {
    out->clear();
    return EXPORT_NO_WRITER;
}

#endif
