// Export of a scene object's mesh, or of the whole figure, for other tools:
// Wavefront OBJ (the
// positions as modelled, relief included, the polygons as emitted but for
// those that repeat a vertex or have no area, vertex normals), PLY (the same
// mesh with the colour the last frame showed at each vertex), binary STL and
// glTF binary (GLB), all with the same triangles. A painted part keeps its
// painting: its texture and coordinates in the GLB and beside the OBJ, its
// texels under the PLY's colours.
//
// Nothing here touches files: the data goes into a string for the caller to
// write or hand on. Coordinates are model units (one unit is meant as one
// millimetre for printing). The model's y grows down the screen and its z away
// from the viewer, so both are negated (a half turn about x, no mirror): y
// points up and z toward the viewer, as other tools expect. The renderer draws
// a face whose corners turn clockwise as the viewer sees them, so the corners
// are listed in reverse: every face turns anticlockwise seen from the side it
// faces, and the normals point out of a closed body (towards +z for a sheet at
// rotation 0).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/part_texture.h"
#include "base/fixed_point.h"

inline constexpr int32_t EXPORT_OK = 0;
// No object in that slot, no render list, or an object without a face: nothing to export.
inline constexpr int32_t EXPORT_NO_OBJECT = -1;
inline constexpr int32_t EXPORT_BAD_MESH = -2;   // a polygon names a vertex outside the object
inline constexpr int32_t EXPORT_NO_WRITER = -3;  // this build has no writer for the format
// An animation without samples, beyond MAX_LOOP_SAMPLES or at a rate outside 1 ..
// MAX_LOOP_RATE, or a pose that does not give every vertex of every part.
inline constexpr int32_t EXPORT_BAD_LOOP = -4;

// The object of slot `index` (its parts' vertex ranges and the polygons of its
// packet run) as OBJ or PLY text in *out. Call between frames; the PLY colours
// are those of the frame rendered last. EXPORT_OK, or an error with *out empty.
int32_t export_obj(int32_t index, std::string* out);
int32_t export_ply(int32_t index, std::string* out);
// Binary STL: an 80-byte header, the triangle count, and per triangle its
// unit normal, three corners (little-endian 32-bit floats) and 2 spare bytes;
// quads are cut into two triangles.
int32_t export_stl(int32_t index, std::string* out);
// glTF binary through tinygltf (app/glb_export.cpp): one mesh of
// positions, unit normals and triangle indices, under a node scaled by 0.001
// so that a model unit is a millimetre in glTF's metres. EXPORT_NO_WRITER
// where the build found no tinygltf.
int32_t export_glb(int32_t index, std::string* out);

// The object's triangles as the writers above take them: per vertex its
// position (in the frame described at the top, placed where the object sits
// among the figure's parts) and its unit normal, three
// vertex numbers a triangle in the listed order, and each triangle's own unit
// normal. Every normal of every format is unit length: a vertex whose stored
// normal has no direction takes the area-weighted normal of its faces (the
// first face's where they cancel out), and one that no face uses points
// toward the viewer (+z). Every triangle has an area.
struct ExportedMesh {
    std::vector<float> positions;      // x, y, z per vertex
    std::vector<float> normals;        // x, y, z per vertex
    std::vector<uint32_t> triangles;   // at least one
    std::vector<float> facet_normals;  // x, y, z per triangle
    // A painted part's texture (its base colour with its painting, as it is
    // drawn) and per vertex its u, v in it (0 to 1 from the texture's top
    // left, as glTF counts): the front projection the part is drawn with.
    // Null and empty for a part without a painting and for the joined solid.
    std::shared_ptr<const PartTexture> texture;
    std::vector<float> tex_coords;
};
int32_t export_mesh(int32_t index, ExportedMesh* mesh);

// The figure being edited (app/edited_object.h) whole, in the same formats:
// every part with a face, each where it sits in the figure (its placement,
// without the figure's rotation), so that the parts overlap as they are
// drawn. The OBJ has one group per part (`g part_1`, ...) and the PLY every
// part's vertices and faces in turn, for editing tools. The STL and the GLB
// (one mesh under one node) hold the figure as one solid to print
// (export_joined_figure) when every part is a closed body; with a sheet among
// the parts they hold the parts as the PLY does (the GLB one node per part).
// A figure of one part is written exactly as that object. EXPORT_NO_OBJECT
// for an empty figure or one without a face.
int32_t export_figure_obj(std::string* out);
// The figure's OBJ as a file named NAME.obj with what goes beside it: for a
// figure with a painted part, `mtllib NAME.mtl`, each part's material
// (`usemtl part_N`: a painted part's texture, map_Kd NAME.part-N.png, the
// others' lit colour as Kd) and each painted part's texture coordinates
// (vt, v up from the bottom row as OBJ counts) in `obj`, the materials in
// `mtl` and one PNG a painted part in `textures`, under the name that follows
// NAME (part_texture_suffix). Without a painted part, or where the build
// has no PNG encoder, `obj` is export_figure_obj's file and nothing goes
// beside it.
struct ObjFiles {
    std::string obj, mtl;
    std::vector<std::pair<const char*, std::string>> textures;  // suffix, PNG
};
int32_t export_figure_obj_files(const std::string& name, ObjFiles* files);
// "part-N.png", the name after NAME. of figure part N - 1's texture (part in
// 0 .. MAX_OBJECTS - 1); the string lives as long as the program.
const char* part_texture_suffix(int32_t part);
int32_t export_figure_ply(std::string* out);
int32_t export_figure_stl(std::string* out);
int32_t export_figure_glb(std::string* out);
// The figure as one solid to print, for a figure of several parts that are
// all closed bodies: the union of the parts where they sit
// (geometry/shell_union.h), one closed, outward shell per connected group of
// overlapping parts, no face through another; each vertex normal the unit
// sum of its faces' area vectors. False, with *mesh empty, for a figure of
// one part, one with a sheet among its parts, or one without a face.
bool export_joined_figure(ExportedMesh* mesh);
// The figure's parts with a face, each as export_mesh gives one object.
int32_t export_parts(std::vector<ExportedMesh>* parts);

// The figure's animation loop as a glTF binary (app/glb_export.cpp) that plays
// in other viewers: each part as export_parts gives it at rest (its normals
// those of the rest shape), one morph target per sample holding the sample's
// position offsets from the rest shape, and one animation whose weights pick
// the targets in turn, sample k at k / frames_per_second seconds, blended
// linearly between neighbouring samples and from the last back to the first,
// so that the loop lasts sample_count / frames_per_second seconds. A target
// stores only the vertices that moved (a sparse accessor) where that is
// smaller than storing every one, and nothing where none moved. Normal offsets
// are left out: they would double the file, and viewers light the posed shape
// with the rest shape's normals.
//
// pose(k, parts) is called once for each sample k in 0 .. sample_count - 1,
// in order, with one empty vector per part of the figure; it leaves in
// parts[p] the vertex positions of part p at that sample, one per vertex of
// the part's mesh in its order, in the part's own model frame and fine units
// (1/256) as PartMesh::fine holds a body's (a sheet's whole units times 256).
// Call between frames, as for the other exports.
inline constexpr int32_t MAX_LOOP_SAMPLES = 3600;  // a minute at 60 samples a second
inline constexpr int32_t MAX_LOOP_RATE = 240;
using FigurePose = std::function<void(int32_t sample, std::vector<std::vector<Vec4>>* parts)>;
int32_t export_figure_animation_glb(int32_t sample_count, int32_t frames_per_second,
                                    const FigurePose& pose, std::string* out);

// The same in two steps, for a caller with its own data: the figure's parts
// at rest and at every sample in the exported frame, then the file.
struct AnimatedParts {
    std::vector<ExportedMesh> rest;  // as export_parts gives them
    // posed[k][p]: part p at sample k, x, y, z per vertex as rest[p].positions
    std::vector<std::vector<std::vector<float>>> posed;
};
int32_t export_animated_parts(int32_t sample_count, const FigurePose& pose, AnimatedParts* parts);
// EXPORT_BAD_LOOP for no sample, too many, a rate out of range, or a sample
// whose parts or positions do not match the rest shape's or hold a value that
// is not a finite number.
int32_t write_animated_glb(const AnimatedParts& parts, int32_t frames_per_second, std::string* out);

// The PNG encoder of painted parts' textures (width x height 5:5:5 pixels,
// row pitch = width), given by the platform at start-up so that the exports
// use its one encoder. Without one (or where it fails) the GLB and the OBJ go
// without textures, as they are for a figure without a painting.
using TextureEncoder = bool (*)(const uint16_t* pixels, int32_t width, int32_t height,
                                std::string* out);
void set_texture_encoder(TextureEncoder encoder);
bool encode_texture(const PartTexture& texture, std::string* png);
// Any width x height 5:5:5 pixels through the same encoder (a save's traced pictures).
bool encode_pixels_png(const uint16_t* pixels, int32_t width, int32_t height, std::string* png);

// A sentence for an export error.
const char* export_error_text(int32_t result);
