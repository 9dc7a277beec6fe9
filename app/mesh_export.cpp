// OBJ and PLY text from a scene object's pooled vertices, normals and packets.
#include "app/mesh_export.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/edited_object.h"
#include "geometry/body_mesh.h"
#include "geometry/camera.h"
#include "geometry/normals.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "geometry/shell_union.h"
#include "raster/dispatcher.h"
#include "raster/shade_tables.h"

namespace {

// Normals are written with nine fraction digits: unit length to within 1e-9.
constexpr int32_t NORMAL_DIGITS = 9;
constexpr int64_t NORMAL_SCALE = 1000000000;

// The object's mesh: its vertex range in the pools and its polygons.
struct Mesh {
    int32_t index = 0;
    int32_t first_vertex = 0;
    int32_t vertex_count = 0;
    std::vector<PrimitivePacket*> polygons;
    std::vector<PrimitivePacket*> faces;  // the polygons that are faces (is_face)
    // A body's positions in fine units (1/256), parallel to the vertex pool;
    // null for an object drawn from whole units only.
    const Vec4* fine = nullptr;
    // Where the object sits among others (its part matrix and the object's
    // translation, without the rotation): position * scale / FIXED_ONE +
    // shift; FIXED_ONE and 0 for an object on its own.
    int64_t scale = FIXED_ONE;
    std::array<int64_t, 3> shift = {0, 0, 0};
    // The figure's part it is, and that part's texture where it is painted.
    int32_t part = -1;
    std::shared_ptr<const PartTexture> texture;
};

// Placed positions are counted in 1/2^PLACED_SHIFT units: a fine unit (1/256)
// times a scale of 1/FIXED_ONE.
constexpr int32_t PLACED_SHIFT = FINE_SHIFT + FIXED_SHIFT;

// The position of pool vertex i in fine units: the body's own, or the whole
// model units scaled.
std::array<int64_t, 3> fine_position(const RenderList* list, const Mesh& mesh, int32_t i) {
    if (mesh.fine != nullptr) return {mesh.fine[i].x, mesh.fine[i].y, mesh.fine[i].z};
    const Vec4& v = list->model_vertices[i];
    return {int64_t(v.x) * FINE_ONE, int64_t(v.y) * FINE_ONE, int64_t(v.z) * FINE_ONE};
}

// The vertex range covered by the object's parts, kept inside the vertex pool.
void find_vertex_range(const SceneObject* object, const RenderList* list, Mesh* mesh) {
    VertexRange range = object_vertex_range(object);
    int64_t end = int64_t(range.first) + range.count;
    if (end > list->vertex_capacity) end = list->vertex_capacity;
    mesh->first_vertex = range.first;
    mesh->vertex_count = end > range.first ? int32_t(end - range.first) : 0;
}

// The polygons (depth modes 3 and 4) of the object's packet run, in order.
void find_polygons(const SceneObject* object, Mesh* mesh) {
    for (PrimitivePacket* packet = next_object_polygon(object, nullptr); packet != nullptr;
         packet = next_object_polygon(object, packet))
        mesh->polygons.push_back(packet);
}

// Whether a polygon is a face of the mesh: no corner twice, and an area. The sheet's builder
// emits some triangles that repeat a vertex or whose corners lie on one line; they draw
// nothing, and other tools would take them for broken geometry.
bool is_face(const RenderList* list, const Mesh& mesh, PrimitivePacket* packet) {
    const int16_t* v = packet_vertices(packet);
    const int n = packet_vertex_count(packet);
    const Vec4* positions = mesh.fine != nullptr ? mesh.fine : list->model_vertices;
    const Vec4* corners[4] = {};
    for (int k = 0; k < n; ++k)
        corners[k] = &positions[v[k]];
    return !is_degenerate_polygon(corners, n);
}

int32_t gather_mesh(int32_t index, Mesh* mesh) {
    const SceneObject* object = get_object(index);
    const RenderList* list = current_render_list();
    if (object == nullptr || list == nullptr || list->model_vertices == nullptr)
        return EXPORT_NO_OBJECT;
    mesh->index = index;
    find_vertex_range(object, list, mesh);
    find_polygons(object, mesh);
    if (object->part_count > 0 && (object->parts[0].flags & PART_FINE_POSITIONS) != 0)
        mesh->fine = fine_vertex_base();
    if (object->part_count > 0 && object->parts[0].scale.x > 0) {
        const ObjectPart& part = object->parts[0];
        mesh->scale = part.scale.x;
        mesh->shift = {int64_t(part.translation.x) + object->translation.x,
                       int64_t(part.translation.y) + object->translation.y,
                       int64_t(part.translation.z) + object->translation.z};
    }
    const Figure& f = figure();
    for (int32_t i = 0; i < f.part_count; ++i) {
        if (part_object(i).index != index) continue;
        mesh->part = i;
        if (PartTexture texture; painted_part_texture(i, &texture))
            mesh->texture = std::make_shared<const PartTexture>(std::move(texture));
    }
    for (PrimitivePacket* packet : mesh->polygons) {
        const int16_t* v = packet_vertices(packet);
        for (int k = 0; k < packet_vertex_count(packet); ++k)
            if (v[k] < mesh->first_vertex || v[k] >= mesh->first_vertex + mesh->vertex_count)
                return EXPORT_BAD_MESH;
    }
    for (PrimitivePacket* packet : mesh->polygons)
        if (is_face(list, *mesh, packet)) mesh->faces.push_back(packet);
    // An object without a face (a click on the stroke itself, an outline thinner than the
    // grid) is nothing to export: no file leaves the program empty.
    return mesh->faces.empty() ? EXPORT_NO_OBJECT : EXPORT_OK;
}

// A unit normal's component as a decimal with at most NORMAL_DIGITS fraction digits,
// written by integer arithmetic so that no locale can change the point.
void append_normal_component(std::string* out, double value) {
    const int64_t scaled = std::llround(value * NORMAL_SCALE);
    if (scaled == 0) {
        *out += '0';
        return;
    }
    if (scaled < 0) *out += '-';
    const int64_t magnitude = scaled < 0 ? -scaled : scaled;
    *out += std::to_string(magnitude / NORMAL_SCALE);
    if (magnitude % NORMAL_SCALE == 0) return;
    std::string digits = std::to_string(magnitude % NORMAL_SCALE);
    digits.insert(0, size_t(NORMAL_DIGITS) - digits.size(), '0');
    digits.erase(digits.find_last_not_of('0') + 1);
    *out += '.' + digits;
}

// A model position turned half about x: (x, -y, -z).
// In fine units, as fine_position gives it.
std::array<int64_t, 3> exported_position(const std::array<int64_t, 3>& v) {
    return {v[0], -v[1], -v[2]};
}
// A vertex normal in the exported frame, pointing the way the exported faces
// do: the renderer's normals follow the right-hand rule of its clockwise
// faces, so they point away from where a face is seen, and the half turn
// (x, -y, -z) followed by the reversal gives (-x, y, z).
std::array<int32_t, 3> exported_direction(const Vec4& n) {
    return {-n.x, n.y, n.z};
}

// A placed length (1/2^PLACED_SHIFT units) as an exact decimal of model
// units: 1/2^k has k digits, rem * 10^k / 2^k = rem * 5^k (below 10^17 for
// k = 17). Whole and fine units print as they always did.
void append_placed(std::string* out, int64_t value) {
    constexpr int64_t ONE = int64_t(1) << PLACED_SHIFT;
    int64_t five_power = 1;
    for (int32_t k = 0; k < PLACED_SHIFT; ++k)
        five_power *= 5;
    int64_t magnitude = value < 0 ? -value : value;
    if (value < 0) *out += '-';
    *out += std::to_string(magnitude / ONE);
    int64_t remainder = magnitude % ONE;
    if (remainder == 0) return;
    std::string digits = std::to_string(remainder * five_power);
    digits.insert(0, size_t(PLACED_SHIFT) - digits.size(), '0');
    digits.erase(digits.find_last_not_of('0') + 1);
    *out += '.' + digits;
}

// A position of the mesh's model (fine units) where it sits in the figure, in
// 1/2^PLACED_SHIFT units and the exported frame.
std::array<int64_t, 3> placed_fine_position(const Mesh& mesh, const std::array<int64_t, 3>& fine) {
    std::array<int64_t, 3> placed = {};
    for (int a = 0; a < 3; ++a)
        placed[size_t(a)] = fine[size_t(a)] * mesh.scale + (mesh.shift[size_t(a)] << PLACED_SHIFT);
    return exported_position(placed);
}

// Pool vertex i where it sits in the figure, as placed_fine_position gives it.
std::array<int64_t, 3> placed_position(const RenderList* list, const Mesh& mesh, int32_t i) {
    return placed_fine_position(mesh, fine_position(list, mesh, i));
}

// A placed coordinate in model units, as the binary formats hold them.
float placed_float(int64_t c) {
    return float(double(c) / double(int64_t(1) << PLACED_SHIFT));
}

void append_position(std::string* out, const RenderList* list, const Mesh& mesh, int32_t i) {
    for (int64_t c : placed_position(list, mesh, i)) {
        *out += ' ';
        append_placed(out, c);
    }
}

using UnitNormal = std::array<double, 3>;

void append_normal(std::string* out, const UnitNormal& n) {
    for (double c : n) {
        *out += ' ';
        append_normal_component(out, c);
    }
}

// The normal stored for a vertex (normals lie at their vertices' indices), or
// none when the normal pool does not reach it.
Vec4 vertex_normal(const RenderList* list, int32_t vertex) {
    if (list->model_normals == nullptr || vertex >= list->normal_capacity) return Vec4{};
    return list->model_normals[vertex];
}

// Exact vectors: differences of int32 positions take 33 bits and their products 66, beyond
// int64.
using ExactVector = std::array<__int128, 3>;

// Twice the vector area of the triangle of pool vertices a, b, c (in fine units), by the
// right-hand rule of its corners.
ExactVector triangle_cross(const RenderList* list, const Mesh& mesh, int32_t a, int32_t b,
                           int32_t c) {
    const std::array<int64_t, 3> p = exported_position(fine_position(list, mesh, a));
    const std::array<int64_t, 3> q = exported_position(fine_position(list, mesh, b));
    const std::array<int64_t, 3> r = exported_position(fine_position(list, mesh, c));
    const __int128 u[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
    const __int128 v[3] = {r[0] - p[0], r[1] - p[1], r[2] - p[2]};
    return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

bool is_zero(const ExactVector& v) {
    return v[0] == 0 && v[1] == 0 && v[2] == 0;
}

// A vector scaled to unit length; zero stays zero.
UnitNormal unit_of(const ExactVector& v) {
    const double x = double(v[0]), y = double(v[1]), z = double(v[2]);
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0)) return {0.0, 0.0, 0.0};
    return {x / length, y / length, z / length};
}

// Corners of a polygon in reverse order after the first, so that they turn
// anticlockwise seen from the side the face is drawn from.
std::vector<int32_t> face_corners(PrimitivePacket* packet) {
    const int16_t* v = packet_vertices(packet);
    int n = packet_vertex_count(packet);
    std::vector<int32_t> corners = {v[0]};
    for (int k = n - 1; k >= 1; --k)
        corners.push_back(v[k]);
    return corners;
}

// Every vertex's unit normal in the exported frame. The one stored with the vertex where it
// has a direction; where it has none (a vertex the normal pass left at zero), the faces'
// own, weighted by their areas; where those cancel out (faces back to back), the first
// face's; for a vertex no face uses, the sheet's own direction, toward the viewer.
std::vector<UnitNormal> unit_normals(const RenderList* list, const Mesh& mesh) {
    const size_t count = size_t(mesh.vertex_count);
    std::vector<ExactVector> sums(count, ExactVector{0, 0, 0});
    std::vector<ExactVector> firsts(count, ExactVector{0, 0, 0});
    for (PrimitivePacket* packet : mesh.faces) {
        const std::vector<int32_t> corners = face_corners(packet);
        ExactVector face = {0, 0, 0};
        for (size_t k = 1; k + 1 < corners.size(); ++k) {
            const ExactVector part =
                triangle_cross(list, mesh, corners[0], corners[k], corners[k + 1]);
            for (int a = 0; a < 3; ++a)
                face[a] += part[a];
        }
        for (int32_t vertex : corners) {
            const size_t at = size_t(vertex - mesh.first_vertex);
            if (is_zero(firsts[at])) firsts[at] = face;
            for (int a = 0; a < 3; ++a)
                sums[at][a] += face[a];
        }
    }
    std::vector<UnitNormal> normals(count);
    for (size_t i = 0; i < count; ++i) {
        const std::array<int32_t, 3> stored =
            exported_direction(vertex_normal(list, mesh.first_vertex + int32_t(i)));
        const ExactVector direction = {stored[0], stored[1], stored[2]};
        if (!is_zero(direction)) {
            normals[i] = unit_of(direction);
        } else if (!is_zero(sums[i])) {
            normals[i] = unit_of(sums[i]);
        } else if (!is_zero(firsts[i])) {
            normals[i] = unit_of(firsts[i]);
        } else {
            normals[i] = {0.0, 0.0, 1.0};
        }
    }
    return normals;
}

struct Rgb {
    int32_t r, g, b;
};

// 5 bits to 8 by repeating the top bits, as the screen shows them.
int32_t widen(int32_t component) {
    return (component << 3) | (component >> 2);
}

// The texel of a painted part's texture at `place`, wrapped into the texture
// as the fills' coordinates wrap, as a colour record.
ColourRecord texel_at(const PartTexture& texture, const TexelPlace& place) {
    const int32_t column = place.column & ((1 << texture.width_shift) - 1);
    const int32_t row = place.row & ((1 << texture.height_shift) - 1);
    const uint16_t texel = texture.texels[(size_t(row) << texture.width_shift) + size_t(column)];
    return ColourRecord{((texel >> 10) & 31) << 3, ((texel >> 5) & 31) << 3, (texel & 31) << 3, 0};
}

// The texel a painted mesh's pool vertex i reads: its front projection, as the
// emission's coordinates name it.
TexelPlace vertex_texel(const RenderList* list, const Mesh& mesh, int32_t i) {
    const Vec4& v = list->model_vertices[i];
    return part_texel_place(*mesh.texture, v.x, v.y);
}

// A texel's middle in half texels: over 2^(w + 1), on an axis of 2^w texels,
// its place from 0 to 1 (beyond for a texel outside the texture, which
// wraps). 64-bit, so no texel overflows it.
int64_t texel_middle(int32_t texel) {
    return 2 * int64_t(texel) + 1;
}

// What a lit polygon paints at its corner k: the corner's light colour picks
// the row of the polygon's shade table for each component of its surface
// colour (the polygon's colour, or for a textured one its texel at the
// corner, `texel`), exactly as the lit fill does at that pixel.
Rgb lit_corner_colour(const RenderList* list, PrimitivePacket* packet, int k,
                      const ColourRecord* texel) {
    int16_t normal = packet_normals(packet)[k];
    int16_t colour = packet_colours(packet)[0];
    const ShadeTable* table = shade_tables[packet->extra & SHADE_MODE_MASK];
    if (table == nullptr || list->intensities == nullptr || list->colour_records == nullptr ||
        normal < 0 || normal >= list->normal_capacity ||
        (texel == nullptr && (colour < 0 || colour >= list->colour_capacity)))
        return Rgb{255, 255, 255};
    ColourRecord light = lit_vertex_colour(list->intensities[normal], light_colour());
    const ColourRecord& surface = texel != nullptr ? *texel : list->colour_records[colour];
    auto lit = [&](int32_t level, int32_t component) {
        return widen(table->entry[(((level >> 3) & 31) << 5) + ((component >> 3) & 31)]);
    };
    return Rgb{lit(light.r, surface.r), lit(light.g, surface.g), lit(light.b, surface.b)};
}

// Each vertex takes the colour of the first polygon that uses it: the lit
// colour for lit polygons, the surface colour for the others (a textured
// polygon's surface its texel at the vertex, its painting); white if none.
std::vector<Rgb> vertex_colours(const RenderList* list, const Mesh& mesh) {
    std::vector<Rgb> colours(size_t(mesh.vertex_count), Rgb{255, 255, 255});
    std::vector<bool> coloured(size_t(mesh.vertex_count), false);
    for (PrimitivePacket* packet : mesh.polygons) {
        const int16_t* v = packet_vertices(packet);
        bool lit = (packet_code(packet) & POLY_LIT) != 0;
        const bool textured = (packet_code(packet) & POLY_TEXTURED) != 0 && mesh.texture != nullptr;
        for (int k = 0; k < packet_vertex_count(packet); ++k) {
            size_t at = size_t(v[k] - mesh.first_vertex);
            if (coloured[at]) continue;
            coloured[at] = true;
            ColourRecord texel = {};
            if (textured) texel = texel_at(*mesh.texture, vertex_texel(list, mesh, v[k]));
            if (lit) {
                colours[at] = lit_corner_colour(list, packet, k, textured ? &texel : nullptr);
            } else if (textured) {
                colours[at] = Rgb{widen(texel.r >> 3), widen(texel.g >> 3), widen(texel.b >> 3)};
            } else if (int16_t c = packet_colours(packet)[0];
                       list->colour_records != nullptr && c >= 0 && c < list->colour_capacity) {
                const ColourRecord& record = list->colour_records[c];
                auto clamp = [](int32_t x) { return x < 0 ? 0 : x > 255 ? 255 : x; };
                colours[at] = Rgb{clamp(record.r), clamp(record.g), clamp(record.b)};
            }
        }
    }
    return colours;
}

std::string summary(const Mesh& mesh) {
    return "sketch3d object " + std::to_string(mesh.index) + ": " +
           std::to_string(mesh.vertex_count) + " vertices, " + std::to_string(mesh.faces.size()) +
           " faces";
}

// The meshes of the parts in order, those without a face left out (a figure
// of one part: that part or nothing, as for one object).
int32_t gather_meshes(const int32_t* indices, int32_t count, std::vector<Mesh>* meshes) {
    for (int32_t i = 0; i < count; ++i) {
        Mesh mesh;
        const int32_t result = gather_mesh(indices[i], &mesh);
        if (result == EXPORT_BAD_MESH) return result;
        if (result == EXPORT_OK) meshes->push_back(std::move(mesh));
    }
    return meshes->empty() ? EXPORT_NO_OBJECT : EXPORT_OK;
}

// What the files say they hold.
std::string summary(const std::vector<Mesh>& meshes) {
    if (meshes.size() == 1) return summary(meshes[0]);
    size_t vertices = 0, faces = 0;
    for (const Mesh& mesh : meshes) {
        vertices += size_t(mesh.vertex_count);
        faces += mesh.faces.size();
    }
    return "sketch3d figure: " + std::to_string(meshes.size()) + " parts, " +
           std::to_string(vertices) + " vertices, " + std::to_string(faces) + " faces";
}

// A texture coordinate n / 2^k (k at most EXPORT_TEXTURE_MAX_SHIFT + 1) as an exact decimal,
// by integer arithmetic as the positions are: it has at most k fraction digits, those of
// rem * 5^k (below 2^k * 5^k = 10^k).
std::string texture_fraction(int64_t n, int32_t k) {
    const int64_t one = int64_t(1) << k;
    int64_t five_power = 1;
    for (int32_t i = 0; i < k; ++i)
        five_power *= 5;
    const int64_t magnitude = n < 0 ? -n : n;
    std::string text = (n < 0 ? "-" : "") + std::to_string(magnitude / one);
    if (magnitude % one == 0) return text;
    std::string digits = std::to_string((magnitude % one) * five_power);
    digits.insert(0, size_t(k) - digits.size(), '0');
    digits.erase(digits.find_last_not_of('0') + 1);
    return text + "." + digits;
}

bool any_painted(const std::vector<Mesh>& meshes) {
    for (const Mesh& mesh : meshes)
        if (mesh.texture != nullptr) return true;
    return false;
}

// A value of 0 to 255 as a fraction with three digits, as MTL colours are written.
std::string fraction_of(int32_t value) {
    const int32_t thousandths = (std::clamp(value, 0, 255) * 1000 + 127) / 255;
    std::string digits = std::to_string(thousandths % 1000);
    digits.insert(0, 3 - digits.size(), '0');
    return std::to_string(thousandths / 1000) + "." + digits;
}

// The materials of write_obj's parts: a painted part's texture, NAME.part-N.png, the others'
// colour (that of their first face).
std::string materials_of(const std::vector<Mesh>& meshes, const std::string& name) {
    const RenderList* list = current_render_list();
    std::string mtl = "# materials of " + name + ".obj\n";
    for (const Mesh& mesh : meshes) {
        mtl += "newmtl part_" + std::to_string(mesh.part + 1) + "\n";
        if (mesh.texture != nullptr) {
            mtl += "Kd 1.000 1.000 1.000\nmap_Kd " + name + "." + part_texture_suffix(mesh.part) +
                   "\n";
            continue;
        }
        const int16_t colour = packet_colours(mesh.faces[0])[0];
        ColourRecord record = {255, 255, 255, 0};
        if (list->colour_records != nullptr && colour >= 0 && colour < list->colour_capacity)
            record = list->colour_records[colour];
        mtl += "Kd " + fraction_of(record.r) + " " + fraction_of(record.g) + " " +
               fraction_of(record.b) + "\n";
    }
    return mtl;
}

// The OBJ of the meshes; with `material` (a figure with a painted part written as NAME.obj,
// the materials in NAME.mtl), each part's material and a painted part's texture coordinates.
int32_t write_obj(const std::vector<Mesh>& meshes, std::string* out,
                  const std::string* material = nullptr) {
    const RenderList* list = current_render_list();
    *out += "# " + summary(meshes) + "\n";
    *out += "# model units, y up (negated from the screen-down model y)\n";
    if (material != nullptr) *out += "mtllib " + *material + ".mtl\n";
    if (meshes.size() == 1) {
        *out += "o sketch3d_object_" + std::to_string(meshes[0].index) + "\n";
    } else {
        *out += "o sketch3d_figure\n";
    }
    // OBJ numbers its vertices and normals from 1 across the file, and vertex
    // i has normal i.
    int64_t offset = 0;
    int64_t tex_offset = 0;  // texture coordinates, numbered from 1 across the painted parts
    for (size_t part = 0; part < meshes.size(); ++part) {
        const Mesh& mesh = meshes[part];
        if (meshes.size() > 1) *out += "g part_" + std::to_string(part + 1) + "\n";
        const bool textured = material != nullptr && mesh.texture != nullptr;
        if (material != nullptr) *out += "usemtl part_" + std::to_string(mesh.part + 1) + "\n";
        for (int32_t i = 0; i < mesh.vertex_count; ++i) {
            *out += 'v';
            append_position(out, list, mesh, mesh.first_vertex + i);
            *out += '\n';
        }
        for (const UnitNormal& normal : unit_normals(list, mesh)) {
            *out += "vn";
            append_normal(out, normal);
            *out += '\n';
        }
        // OBJ's v counts up from the texture's bottom row; the texture's rows go down.
        for (int32_t i = 0; textured && i < mesh.vertex_count; ++i) {
            const TexelPlace at = vertex_texel(list, mesh, mesh.first_vertex + i);
            const int32_t u_shift = mesh.texture->width_shift + 1;
            const int32_t v_shift = mesh.texture->height_shift + 1;
            *out += "vt " + texture_fraction(texel_middle(at.column), u_shift) + " " +
                    texture_fraction((int64_t(1) << v_shift) - texel_middle(at.row), v_shift) +
                    "\n";
        }
        for (PrimitivePacket* packet : mesh.faces) {
            *out += 'f';
            for (int32_t vertex : face_corners(packet)) {
                std::string number = std::to_string(vertex - mesh.first_vertex + 1 + offset);
                std::string coordinate =
                    textured ? std::to_string(vertex - mesh.first_vertex + 1 + tex_offset) : "";
                *out += ' ' + number + "/" + coordinate + "/" + number;
            }
            *out += '\n';
        }
        offset += mesh.vertex_count;
        if (textured) tex_offset += mesh.vertex_count;
    }
    return EXPORT_OK;
}

int32_t write_ply(const std::vector<Mesh>& meshes, std::string* out) {
    const RenderList* list = current_render_list();
    size_t vertices = 0, faces = 0;
    for (const Mesh& mesh : meshes) {
        vertices += size_t(mesh.vertex_count);
        faces += mesh.faces.size();
    }
    *out += "ply\nformat ascii 1.0\n";
    *out += "comment " + summary(meshes) + "\n";
    *out += "comment model units, y up (negated from the screen-down model y)\n";
    *out += "element vertex " + std::to_string(vertices) + "\n";
    *out += "property float x\nproperty float y\nproperty float z\n";
    *out += "property float nx\nproperty float ny\nproperty float nz\n";
    *out += "property uchar red\nproperty uchar green\nproperty uchar blue\n";
    *out += "element face " + std::to_string(faces) + "\n";
    *out += "property list uchar int vertex_indices\nend_header\n";
    for (const Mesh& mesh : meshes) {
        std::vector<Rgb> colours = vertex_colours(list, mesh);
        const std::vector<UnitNormal> normals = unit_normals(list, mesh);
        for (int32_t i = 0; i < mesh.vertex_count; ++i) {
            std::string line;
            append_position(&line, list, mesh, mesh.first_vertex + i);
            append_normal(&line, normals[size_t(i)]);
            const Rgb& c = colours[size_t(i)];
            line +=
                ' ' + std::to_string(c.r) + ' ' + std::to_string(c.g) + ' ' + std::to_string(c.b);
            out->append(line, 1);  // without the separator before the first value
            *out += '\n';
        }
    }
    // PLY numbers its vertices from 0, across the parts.
    int64_t offset = 0;
    for (const Mesh& mesh : meshes) {
        for (PrimitivePacket* packet : mesh.faces) {
            std::vector<int32_t> corners = face_corners(packet);
            *out += std::to_string(corners.size());
            for (int32_t vertex : corners)
                *out += ' ' + std::to_string(vertex - mesh.first_vertex + offset);
            *out += '\n';
        }
        offset += mesh.vertex_count;
    }
    return EXPORT_OK;
}

void mesh_of(const Mesh& mesh, ExportedMesh* out) {
    *out = ExportedMesh{};
    const RenderList* list = current_render_list();
    for (int32_t i = 0; i < mesh.vertex_count; ++i)
        for (int64_t c : placed_position(list, mesh, mesh.first_vertex + i))
            out->positions.push_back(placed_float(c));
    for (const UnitNormal& normal : unit_normals(list, mesh))
        for (double c : normal)
            out->normals.push_back(float(c));
    if (mesh.texture != nullptr) {
        out->texture = mesh.texture;
        for (int32_t i = 0; i < mesh.vertex_count; ++i) {
            // Exact in a double, rounded once to a float.
            const TexelPlace at = vertex_texel(list, mesh, mesh.first_vertex + i);
            out->tex_coords.push_back(float(double(texel_middle(at.column)) /
                                            double(int64_t(2) << mesh.texture->width_shift)));
            out->tex_coords.push_back(float(double(texel_middle(at.row)) /
                                            double(int64_t(2) << mesh.texture->height_shift)));
        }
    }
    // A quad is cut along its first diagonal into two triangles; a half without area (three
    // corners on one line) is left out.
    for (PrimitivePacket* packet : mesh.faces) {
        std::vector<int32_t> corners = face_corners(packet);
        for (size_t k = 1; k + 1 < corners.size(); ++k) {
            const ExactVector cross =
                triangle_cross(list, mesh, corners[0], corners[k], corners[k + 1]);
            if (is_zero(cross)) continue;
            for (int32_t vertex : {corners[0], corners[k], corners[k + 1]})
                out->triangles.push_back(uint32_t(vertex - mesh.first_vertex));
            for (double c : unit_of(cross))
                out->facet_normals.push_back(float(c));
        }
    }
}

int32_t write_stl(const std::vector<ExportedMesh>& parts, const std::string& what,
                  std::string* out) {
    size_t count = 0;
    for (const ExportedMesh& mesh : parts)
        count += mesh.triangles.size() / 3;
    std::string header = what + ", binary STL, millimetres";
    header.resize(80, ' ');
    *out = header;
    // Little-endian words, whatever the host's order.
    auto put_word = [&](uint32_t word) {
        for (int shift = 0; shift < 32; shift += 8)
            *out += char((word >> shift) & 0xFF);
    };
    auto put_float = [&](float value) {
        uint32_t word = 0;
        std::memcpy(&word, &value, 4);
        put_word(word);
    };
    put_word(uint32_t(count));
    for (const ExportedMesh& mesh : parts) {
        for (size_t t = 0; t < mesh.triangles.size() / 3; ++t) {
            for (int a = 0; a < 3; ++a)
                put_float(mesh.facet_normals[3 * t + size_t(a)]);
            for (int k = 0; k < 3; ++k) {
                const float* corner =
                    &mesh.positions[3 * size_t(mesh.triangles[3 * t + size_t(k)])];
                for (int a = 0; a < 3; ++a)
                    put_float(corner[a]);
            }
            *out += std::string(2, '\0');
        }
    }
    return EXPORT_OK;
}

// The meshes of the figure's parts, in the figure's order.
int32_t gather_figure_meshes(std::vector<Mesh>* meshes) {
    draw_figure_whole_for_export();
    std::vector<int32_t> indices;
    const Figure& f = figure();
    for (int32_t i = 0; i < f.part_count; ++i)
        indices.push_back(part_object(i).index);
    return gather_meshes(indices.data(), int32_t(indices.size()), meshes);
}

// Whether every mesh is a closed body (fine positions: inflated), which the
// union takes; a sheet has no inside.
bool all_bodies(const std::vector<Mesh>& meshes) {
    for (const Mesh& mesh : meshes)
        if (mesh.fine == nullptr) return false;
    return true;
}

// A part's faces where they sit in the figure, as the union takes them: the
// placed positions (1/2^PLACED_SHIFT units, exported frame), its polygons cut
// into triangles as mesh_of cuts them, anticlockwise seen from outside.
ClosedShell placed_shell(const Mesh& mesh) {
    const RenderList* list = current_render_list();
    ClosedShell shell;
    for (int32_t i = 0; i < mesh.vertex_count; ++i)
        shell.positions.push_back(placed_position(list, mesh, mesh.first_vertex + i));
    for (PrimitivePacket* packet : mesh.faces) {
        std::vector<int32_t> corners = face_corners(packet);
        for (size_t k = 1; k + 1 < corners.size(); ++k) {
            if (is_zero(triangle_cross(list, mesh, corners[0], corners[k], corners[k + 1])))
                continue;
            shell.triangles.push_back({corners[0] - mesh.first_vertex,
                                       corners[k] - mesh.first_vertex,
                                       corners[k + 1] - mesh.first_vertex});
        }
    }
    return shell;
}

using DoubleVector = std::array<double, 3>;

DoubleVector unit_of(const DoubleVector& v) {
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(length > 0)) return {0.0, 0.0, 0.0};
    return {v[0] / length, v[1] / length, v[2] / length};
}

// The union as the writers take it: positions in model units, each face's
// unit normal, and per vertex the unit sum of its faces' area vectors.
void mesh_of(const ShellUnion& solid, ExportedMesh* out) {
    *out = ExportedMesh{};
    const double unit = double(int64_t(1) << PLACED_SHIFT);
    for (const auto& p : solid.positions)
        for (double c : p)
            out->positions.push_back(float(c / unit));
    std::vector<DoubleVector> sums(solid.positions.size(), DoubleVector{0, 0, 0});
    for (const auto& t : solid.triangles) {
        const auto& p = solid.positions[size_t(t[0])];
        const auto& q = solid.positions[size_t(t[1])];
        const auto& r = solid.positions[size_t(t[2])];
        const double u[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
        const double v[3] = {r[0] - p[0], r[1] - p[1], r[2] - p[2]};
        const DoubleVector cross = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                                    u[0] * v[1] - u[1] * v[0]};
        for (int32_t vertex : t) {
            out->triangles.push_back(uint32_t(vertex));
            for (int a = 0; a < 3; ++a)
                sums[size_t(vertex)][size_t(a)] += cross[size_t(a)];
        }
        for (double c : unit_of(cross))
            out->facet_normals.push_back(float(c));
    }
    for (const DoubleVector& sum : sums)
        for (double c : unit_of(sum))
            out->normals.push_back(float(c));
}

}  // namespace

int32_t export_obj(int32_t index, std::string* out) {
    out->clear();
    std::vector<Mesh> meshes;
    if (int32_t result = gather_meshes(&index, 1, &meshes); result != EXPORT_OK) return result;
    return write_obj(meshes, out);
}

int32_t export_ply(int32_t index, std::string* out) {
    out->clear();
    std::vector<Mesh> meshes;
    if (int32_t result = gather_meshes(&index, 1, &meshes); result != EXPORT_OK) return result;
    return write_ply(meshes, out);
}

int32_t export_mesh(int32_t index, ExportedMesh* out) {
    *out = ExportedMesh{};
    std::vector<Mesh> meshes;
    if (int32_t result = gather_meshes(&index, 1, &meshes); result != EXPORT_OK) return result;
    mesh_of(meshes[0], out);
    return EXPORT_OK;
}

int32_t export_stl(int32_t index, std::string* out) {
    out->clear();
    ExportedMesh mesh;
    if (int32_t result = export_mesh(index, &mesh); result != EXPORT_OK) return result;
    return write_stl({mesh}, "sketch3d object " + std::to_string(index), out);
}

int32_t export_parts(std::vector<ExportedMesh>* parts) {
    parts->clear();
    std::vector<Mesh> meshes;
    if (int32_t result = gather_figure_meshes(&meshes); result != EXPORT_OK) return result;
    for (const Mesh& mesh : meshes) {
        parts->emplace_back();
        mesh_of(mesh, &parts->back());
    }
    return EXPORT_OK;
}

int32_t export_animated_parts(int32_t sample_count, const FigurePose& pose, AnimatedParts* out) {
    draw_figure_whole_for_export();
    *out = AnimatedParts{};
    if (sample_count < 1 || sample_count > MAX_LOOP_SAMPLES || !pose) return EXPORT_BAD_LOOP;
    // The parts as export_parts keeps them (those without a face left out), and which part of
    // the figure each is.
    const Figure& f = figure();
    std::vector<Mesh> meshes;
    std::vector<size_t> figure_parts;
    for (int32_t i = 0; i < f.part_count; ++i) {
        Mesh mesh;
        const int32_t result = gather_mesh(part_object(i).index, &mesh);
        if (result == EXPORT_BAD_MESH) return result;
        if (result != EXPORT_OK) continue;
        meshes.push_back(std::move(mesh));
        figure_parts.push_back(size_t(i));
    }
    if (meshes.empty()) return EXPORT_NO_OBJECT;
    for (const Mesh& mesh : meshes) {
        out->rest.emplace_back();
        mesh_of(mesh, &out->rest.back());
    }
    std::vector<std::vector<Vec4>> posed;
    for (int32_t k = 0; k < sample_count; ++k) {
        posed.assign(size_t(f.part_count), {});
        pose(k, &posed);
        bool complete = posed.size() == size_t(f.part_count);
        for (size_t m = 0; complete && m < meshes.size(); ++m)
            complete = posed[figure_parts[m]].size() == size_t(meshes[m].vertex_count);
        if (!complete) {
            *out = AnimatedParts{};
            return EXPORT_BAD_LOOP;
        }
        std::vector<std::vector<float>>& sample = out->posed.emplace_back();
        for (size_t m = 0; m < meshes.size(); ++m) {
            std::vector<float>& positions = sample.emplace_back();
            positions.reserve(3 * size_t(meshes[m].vertex_count));
            for (const Vec4& v : posed[figure_parts[m]])
                for (int64_t c : placed_fine_position(meshes[m], {v.x, v.y, v.z}))
                    positions.push_back(placed_float(c));
        }
    }
    return EXPORT_OK;
}

int32_t export_figure_obj(std::string* out) {
    out->clear();
    std::vector<Mesh> meshes;
    if (int32_t result = gather_figure_meshes(&meshes); result != EXPORT_OK) return result;
    return write_obj(meshes, out);
}

int32_t export_figure_obj_files(const std::string& name, ObjFiles* files) {
    *files = ObjFiles{};
    std::vector<Mesh> meshes;
    if (int32_t result = gather_figure_meshes(&meshes); result != EXPORT_OK) return result;
    if (any_painted(meshes)) {
        for (const Mesh& mesh : meshes) {
            if (mesh.texture == nullptr) continue;
            std::string png;
            if (!encode_texture(*mesh.texture, &png)) {
                files->textures.clear();
                return write_obj(meshes, &files->obj);
            }
            files->textures.emplace_back(part_texture_suffix(mesh.part), std::move(png));
        }
        files->mtl = materials_of(meshes, name);
        return write_obj(meshes, &files->obj, &name);
    }
    return write_obj(meshes, &files->obj);
}

const char* part_texture_suffix(int32_t part) {
    static const std::array<std::string, MAX_OBJECTS> suffixes = [] {
        std::array<std::string, MAX_OBJECTS> names;
        for (size_t i = 0; i < names.size(); ++i)
            names[i] = "part-" + std::to_string(i + 1) + ".png";
        return names;
    }();
    return suffixes[size_t(std::clamp(part, 0, MAX_OBJECTS - 1))].c_str();
}

int32_t export_figure_ply(std::string* out) {
    out->clear();
    std::vector<Mesh> meshes;
    if (int32_t result = gather_figure_meshes(&meshes); result != EXPORT_OK) return result;
    return write_ply(meshes, out);
}

bool export_joined_figure(ExportedMesh* mesh) {
    *mesh = ExportedMesh{};
    std::vector<Mesh> meshes;
    if (figure().part_count < 2 || gather_figure_meshes(&meshes) != EXPORT_OK ||
        meshes.size() < 2 || !all_bodies(meshes))
        return false;
    std::vector<ClosedShell> shells;
    for (const Mesh& part : meshes)
        shells.push_back(placed_shell(part));
    const ShellUnion solid = union_of_shells(shells, UNION_CELLS_ACROSS);
    if (solid.triangles.empty()) return false;
    mesh_of(solid, mesh);
    return true;
}

int32_t export_figure_stl(std::string* out) {
    out->clear();
    // A figure of one part writes as one object always has.
    if (figure().part_count == 1) return export_stl(part_object(0).index, out);
    ExportedMesh joined;
    if (export_joined_figure(&joined))
        return write_stl(
            {joined}, "sketch3d figure of " + std::to_string(figure().part_count) + " parts joined",
            out);
    std::vector<ExportedMesh> parts;
    if (int32_t result = export_parts(&parts); result != EXPORT_OK) return result;
    return write_stl(parts, "sketch3d figure of " + std::to_string(parts.size()) + " parts", out);
}

namespace {
TextureEncoder texture_encoder = nullptr;
}  // namespace

void set_texture_encoder(TextureEncoder encoder) {
    texture_encoder = encoder;
}

bool encode_texture(const PartTexture& texture, std::string* png) {
    png->clear();
    return texture_encoder != nullptr &&
           texture_encoder(texture.texels.data(), 1 << texture.width_shift,
                           1 << texture.height_shift, png);
}

bool encode_pixels_png(const uint16_t* pixels, int32_t width, int32_t height, std::string* png) {
    png->clear();
    return texture_encoder != nullptr && texture_encoder(pixels, width, height, png);
}

const char* export_error_text(int32_t result) {
    switch (result) {
        case EXPORT_OK:
            return "exported";
        case EXPORT_NO_OBJECT:
            return "no object to export (build a sheet: right-click inside a closed outline)";
        case EXPORT_BAD_MESH:
            return "the object's polygons name vertices outside its parts";
        case EXPORT_NO_WRITER:
            return "this build has no writer for that format";
        case EXPORT_BAD_LOOP:
            return "the animation has no samples, too many, or a pose without every vertex";
        default:
            return "export failed";
    }
}
