// glTF binary export through tinygltf (Debian libtinygltf-dev), in every build
// that found it (SKETCH3D_GLB); a build without it says there is no writer. The
// host links Debian's compiled library, the Windows and browser builds compile
// the same code (app/tinygltf_implementation.cpp): the file is the same bytes
// on each.
#include "app/mesh_export.h"

#include "app/edited_object.h"

#ifdef SKETCH3D_GLB

#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

namespace {

// Appends `size` bytes from `bytes` to the buffer as a view of its own, 4-byte
// aligned as accessors need, and returns the view's number.
int append_view(tinygltf::Model* model, const void* bytes, size_t size, int target) {
    std::vector<unsigned char>& data = model->buffers[0].data;
    data.resize((data.size() + 3) & ~size_t(3));
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = data.size();
    view.byteLength = size;
    view.target = target;
    data.resize(data.size() + size);
    if (size > 0) std::memcpy(data.data() + view.byteOffset, bytes, size);
    model->bufferViews.push_back(view);
    return int(model->bufferViews.size()) - 1;
}

template <typename T>
int append_view(tinygltf::Model* model, const std::vector<T>& values, int target) {
    return append_view(model, values.data(), values.size() * sizeof(T), target);
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

// The bounds of x, y, z triples, which glTF asks of positions.
void set_bounds(tinygltf::Accessor* accessor, const std::vector<float>& xyz) {
    std::vector<double> low(3, 0.0);
    std::vector<double> high(3, 0.0);
    for (size_t i = 0; i < xyz.size() / 3; ++i) {
        for (size_t a = 0; a < 3; ++a) {
            double c = xyz[3 * i + a];
            low[a] = i == 0 || c < low[a] ? c : low[a];
            high[a] = i == 0 || c > high[a] ? c : high[a];
        }
    }
    accessor->minValues = low;
    accessor->maxValues = high;
}

// A painted part's texture and coordinates on its primitive: the texture as
// PNG in the buffer, sampled texel by texel (nearest, clamped, as the
// coordinates name texels' middles), the base colour of a material that is
// not metal. Nothing for a part without a painting, or without a PNG encoder.
void append_skin(tinygltf::Model* model, const ExportedMesh& mesh, tinygltf::Primitive* primitive) {
    if (mesh.texture == nullptr || mesh.tex_coords.size() != mesh.positions.size() / 3 * 2) return;
    std::string png;
    if (!encode_texture(*mesh.texture, &png)) return;
    primitive->attributes["TEXCOORD_0"] = append_accessor(
        model, append_view(model, mesh.tex_coords, TINYGLTF_TARGET_ARRAY_BUFFER),
        TINYGLTF_COMPONENT_TYPE_FLOAT, mesh.tex_coords.size() / 2, TINYGLTF_TYPE_VEC2);
    tinygltf::Image image;
    image.mimeType = "image/png";
    image.bufferView = append_view(model, png.data(), png.size(), 0);
    model->images.push_back(image);
    tinygltf::Sampler sampler;
    sampler.magFilter = TINYGLTF_TEXTURE_FILTER_NEAREST;
    sampler.minFilter = TINYGLTF_TEXTURE_FILTER_NEAREST;
    sampler.wrapS = TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE;
    sampler.wrapT = TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE;
    model->samplers.push_back(sampler);
    tinygltf::Texture texture;
    texture.source = int(model->images.size()) - 1;
    texture.sampler = int(model->samplers.size()) - 1;
    model->textures.push_back(texture);
    tinygltf::Material material;
    material.name = "painting_" + std::to_string(model->materials.size() + 1);
    material.pbrMetallicRoughness.baseColorTexture.index = int(model->textures.size()) - 1;
    material.pbrMetallicRoughness.metallicFactor = 0.0;
    material.pbrMetallicRoughness.roughnessFactor = 1.0;
    model->materials.push_back(material);
    primitive->material = int(model->materials.size()) - 1;
}

// One mesh under one node, the node scaled so that a model unit is a millimetre
// in glTF's metres, added to the scene. Returns the mesh's number (its node's
// is the same).
int append_part(tinygltf::Model* model, const ExportedMesh& mesh, const std::string& name) {
    size_t vertices = mesh.positions.size() / 3;
    tinygltf::Primitive primitive;
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    int positions =
        append_accessor(model, append_view(model, mesh.positions, TINYGLTF_TARGET_ARRAY_BUFFER),
                        TINYGLTF_COMPONENT_TYPE_FLOAT, vertices, TINYGLTF_TYPE_VEC3);
    set_bounds(&model->accessors[size_t(positions)], mesh.positions);
    primitive.attributes["POSITION"] = positions;
    primitive.attributes["NORMAL"] =
        append_accessor(model, append_view(model, mesh.normals, TINYGLTF_TARGET_ARRAY_BUFFER),
                        TINYGLTF_COMPONENT_TYPE_FLOAT, vertices, TINYGLTF_TYPE_VEC3);
    primitive.indices = append_accessor(
        model, append_view(model, mesh.triangles, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER),
        TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, mesh.triangles.size(), TINYGLTF_TYPE_SCALAR);
    append_skin(model, mesh, &primitive);

    tinygltf::Mesh gltf_mesh;
    gltf_mesh.name = name;
    gltf_mesh.primitives.push_back(primitive);
    model->meshes.push_back(gltf_mesh);
    tinygltf::Node node;
    node.mesh = int(model->meshes.size()) - 1;
    node.name = name;
    node.scale = {0.001, 0.001, 0.001};  // model units are millimetres, glTF's are metres
    model->nodes.push_back(node);
    model->scenes[0].nodes.push_back(int(model->nodes.size()) - 1);
    return node.mesh;
}

tinygltf::Model empty_model() {
    tinygltf::Model model;
    model.asset.version = "2.0";
    model.asset.generator = "sketch3d";
    model.buffers.resize(1);
    model.scenes.resize(1);
    model.defaultScene = 0;
    return model;
}

int32_t write_model(const tinygltf::Model& model, std::string* out) {
    std::ostringstream stream;
    tinygltf::TinyGLTF writer;
    // tinygltf takes the model by pointer, but writing leaves it as it was.
    if (!writer.WriteGltfSceneToStream(const_cast<tinygltf::Model*>(&model), stream, false, true))
        return EXPORT_NO_WRITER;
    *out = stream.str();
    return EXPORT_OK;
}

// One mesh under one node per part.
int32_t write_glb(const std::vector<ExportedMesh>& parts, const std::vector<std::string>& names,
                  std::string* out) {
    tinygltf::Model model = empty_model();
    for (size_t part = 0; part < parts.size(); ++part)
        append_part(&model, parts[part], names[part]);
    return write_model(model, out);
}

// A morph target of position offsets: those of every vertex where most moved,
// only the moved ones (a sparse accessor: increasing vertex numbers and their
// offsets) where that is smaller, and no data at all where none moved (an
// accessor without a view reads as zeros).
int append_offsets(tinygltf::Model* model, const std::vector<float>& rest,
                   const std::vector<float>& posed) {
    const size_t vertices = rest.size() / 3;
    std::vector<float> offsets(rest.size());
    std::vector<uint32_t> moved;
    for (size_t i = 0; i < vertices; ++i) {
        for (size_t a = 0; a < 3; ++a)
            offsets[3 * i + a] = posed[3 * i + a] - rest[3 * i + a];
        if (offsets[3 * i] != 0 || offsets[3 * i + 1] != 0 || offsets[3 * i + 2] != 0)
            moved.push_back(uint32_t(i));
    }
    const bool short_indices = vertices <= 65536;
    const size_t sparse_bytes = moved.size() * (12 + (short_indices ? 2 : 4));
    if (sparse_bytes >= offsets.size() * sizeof(float)) {
        int accessor =
            append_accessor(model, append_view(model, offsets, TINYGLTF_TARGET_ARRAY_BUFFER),
                            TINYGLTF_COMPONENT_TYPE_FLOAT, vertices, TINYGLTF_TYPE_VEC3);
        set_bounds(&model->accessors[size_t(accessor)], offsets);
        return accessor;
    }
    std::vector<float> values;
    for (uint32_t i : moved)
        values.insert(values.end(), &offsets[3 * i], &offsets[3 * i] + 3);
    tinygltf::Accessor accessor;
    accessor.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
    accessor.count = vertices;
    accessor.type = TINYGLTF_TYPE_VEC3;
    set_bounds(&accessor, offsets);
    if (!moved.empty()) {
        // tinygltf leaves the sparse record's offsets unset.
        accessor.sparse.isSparse = true;
        accessor.sparse.count = int(moved.size());
        accessor.sparse.indices.byteOffset = 0;
        accessor.sparse.values.byteOffset = 0;
        if (short_indices) {
            std::vector<uint16_t> indices(moved.begin(), moved.end());
            accessor.sparse.indices.bufferView = append_view(model, indices, 0);
            accessor.sparse.indices.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
        } else {
            accessor.sparse.indices.bufferView = append_view(model, moved, 0);
            accessor.sparse.indices.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
        }
        accessor.sparse.values.bufferView = append_view(model, values, 0);
    }
    model->accessors.push_back(accessor);
    return int(model->accessors.size()) - 1;
}

// Whether every sample holds every part's vertices, each a number (glTF's bounds of
// offsets that are not would not be numbers either).
bool loop_matches_rest(const AnimatedParts& parts) {
    for (const std::vector<std::vector<float>>& sample : parts.posed) {
        if (sample.size() != parts.rest.size()) return false;
        for (size_t p = 0; p < sample.size(); ++p) {
            if (sample[p].size() != parts.rest[p].positions.size()) return false;
            for (float c : sample[p])
                if (!std::isfinite(c)) return false;
        }
    }
    return !parts.rest.empty();
}

}  // namespace

int32_t export_glb(int32_t index, std::string* out) {
    out->clear();
    ExportedMesh mesh;
    if (int32_t result = export_mesh(index, &mesh); result != EXPORT_OK) return result;
    return write_glb({mesh}, {"sketch3d_object_" + std::to_string(index)}, out);
}

int32_t write_animated_glb(const AnimatedParts& parts, int32_t frames_per_second,
                           std::string* out) {
    out->clear();
    const size_t samples = parts.posed.size();
    if (samples < 1 || samples > size_t(MAX_LOOP_SAMPLES) || frames_per_second < 1 ||
        frames_per_second > MAX_LOOP_RATE || !loop_matches_rest(parts))
        return EXPORT_BAD_LOOP;
    tinygltf::Model model = empty_model();
    for (size_t part = 0; part < parts.rest.size(); ++part) {
        const int mesh =
            append_part(&model, parts.rest[part],
                        parts.rest.size() == 1 ? std::string("sketch3d_figure")
                                               : "sketch3d_part_" + std::to_string(part + 1));
        tinygltf::Primitive& primitive = model.meshes[size_t(mesh)].primitives[0];
        for (size_t k = 0; k < samples; ++k)
            primitive.targets.push_back(
                {{"POSITION",
                  append_offsets(&model, parts.rest[part].positions, parts.posed[k][part])}});
        model.meshes[size_t(mesh)].weights.assign(samples, 0.0);  // at rest until played
    }

    // Key j at j / rate seconds weighs target j alone, and key `samples` the first again, so
    // that linear blending between keys runs from each sample to the next and round the loop.
    std::vector<float> times(samples + 1);
    std::vector<float> weights((samples + 1) * samples, 0.0f);
    for (size_t j = 0; j <= samples; ++j) {
        times[j] = float(double(j) / frames_per_second);
        weights[j * samples + j % samples] = 1.0f;
    }
    const int input =
        append_accessor(&model, append_view(&model, times, 0), TINYGLTF_COMPONENT_TYPE_FLOAT,
                        times.size(), TINYGLTF_TYPE_SCALAR);
    model.accessors[size_t(input)].minValues = {times.front()};
    model.accessors[size_t(input)].maxValues = {times.back()};
    const int output =
        append_accessor(&model, append_view(&model, weights, 0), TINYGLTF_COMPONENT_TYPE_FLOAT,
                        weights.size(), TINYGLTF_TYPE_SCALAR);
    tinygltf::Animation animation;
    animation.name = "sketch3d_loop";
    for (size_t node = 0; node < model.nodes.size(); ++node) {
        tinygltf::AnimationSampler sampler;
        sampler.input = input;
        sampler.output = output;
        sampler.interpolation = "LINEAR";
        animation.samplers.push_back(sampler);
        tinygltf::AnimationChannel channel;
        channel.sampler = int(animation.samplers.size()) - 1;
        channel.target_node = int(node);
        channel.target_path = "weights";
        animation.channels.push_back(channel);
    }
    model.animations.push_back(animation);
    return write_model(model, out);
}

int32_t export_figure_animation_glb(int32_t sample_count, int32_t frames_per_second,
                                    const FigurePose& pose, std::string* out) {
    out->clear();
    AnimatedParts parts;
    if (int32_t result = export_animated_parts(sample_count, pose, &parts); result != EXPORT_OK)
        return result;
    return write_animated_glb(parts, frames_per_second, out);
}

int32_t export_figure_glb(std::string* out) {
    out->clear();
    // A figure of one part writes as one object always has.
    if (figure().part_count == 1) return export_glb(part_object(0).index, out);
    // A figure with a painted part keeps its parts, which carry their paintings; the
    // joined solid has no texture coordinates.
    std::vector<ExportedMesh> parts;
    if (int32_t result = export_parts(&parts); result != EXPORT_OK) return result;
    const bool painted = std::any_of(parts.begin(), parts.end(), [](const ExportedMesh& part) {
        return part.texture != nullptr;
    });
    ExportedMesh joined;
    if (!painted && export_joined_figure(&joined))
        return write_glb({joined}, {"sketch3d_figure"}, out);
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

int32_t write_animated_glb(const AnimatedParts&, int32_t, std::string* out) {
    out->clear();
    return EXPORT_NO_WRITER;
}

int32_t export_figure_animation_glb(int32_t, int32_t, const FigurePose&, std::string* out) {
    out->clear();
    return EXPORT_NO_WRITER;
}

#endif
