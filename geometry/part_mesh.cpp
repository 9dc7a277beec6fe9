// A figure part's mesh: made from a body, its normals again, its emission as
// an object and its vertices written back in place.
#include "geometry/part_mesh.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "geometry/body_normals.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/normals.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "raster/texture.h"

namespace {

template <typename Record>
bool same_records(const std::vector<Record>& a, const std::vector<Record>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Record)) == 0);
}

// A skin as the packets take it: each triangle's slot and its corners'
// coordinate records, three a triangle in order.
struct SkinRecords {
    std::vector<int16_t> slots;
    std::vector<Vec4> corners;
    bool empty() const { return slots.empty(); }
};

// The triangles through add_triangle, as the outline build emits its sheet:
// each corner's record found among the object's or added. False when a packet
// could not be allocated. With a skin, each triangle textured from its slot,
// its corners at their coordinates.
bool enter_by_triangle(const PartMesh& mesh, const ColourRecord& colour, const SkinRecords& skin) {
    const ColourRecord* const colours[3] = {&colour, &colour, &colour};
    const uint32_t flags = POLY_CULL | (!skin.empty() ? POLY_TEXTURED : 0);
    for (size_t i = 0; i < mesh.triangles.size(); ++i) {
        const MeshTriangle& t = mesh.triangles[i];
        const Vec4* const corners[3] = {&mesh.vertices[size_t(t.v[0])],
                                        &mesh.vertices[size_t(t.v[1])],
                                        &mesh.vertices[size_t(t.v[2])]};
        if (skin.empty()) {
            if (add_triangle(corners, colours, nullptr, nullptr, -1, flags, 0) < 0) return false;
            continue;
        }
        const Vec4* const uvs[3] = {&skin.corners[3 * i], &skin.corners[3 * i + 1],
                                    &skin.corners[3 * i + 2]};
        if (add_triangle(corners, colours, uvs, nullptr, skin.slots[i], flags, 0) < 0) return false;
    }
    return true;
}

// The skin as the packets take it, when its coordinates and slots are as many
// as it says and the distinct coordinates fit what is left of the pool; else
// empty.
SkinRecords skin_records(const PartMesh& mesh, const PartSkin* skin) {
    SkinRecords records;
    const RenderList* list = current_render_list();
    if (skin == nullptr || skin->coords == nullptr || list == nullptr || !pool_bound(POOL_UV) ||
        mesh.vertices.empty() || mesh.triangles.empty())
        return records;
    const size_t triangles = mesh.triangles.size();
    const bool tiled = skin->tiles != nullptr;
    if (tiled ? skin->tiles->size() != triangles || skin->coords->size() != 3 * triangles
              : skin->coords->size() != mesh.vertices.size())
        return records;
    records.slots.reserve(triangles);
    records.corners.reserve(3 * triangles);
    for (size_t i = 0; i < triangles; ++i) {
        const int32_t slot = tiled ? (*skin->tiles)[i] : skin->texture;
        if (slot < 0 || slot >= TEXTURE_SLOTS) return {};
        records.slots.push_back(int16_t(slot));
        for (int k = 0; k < 3; ++k) {
            const TexCoord& c = tiled ? (*skin->coords)[3 * i + size_t(k)]
                                      : (*skin->coords)[size_t(mesh.triangles[i].v[k])];
            records.corners.push_back({c.u, c.v, 0, 0});
        }
    }
    std::vector<std::pair<int32_t, int32_t>> distinct;
    distinct.reserve(records.corners.size());
    for (const Vec4& r : records.corners)
        distinct.emplace_back(r.x, r.y);
    std::sort(distinct.begin(), distinct.end());
    const auto count = std::unique(distinct.begin(), distinct.end()) - distinct.begin();
    if (int64_t(pool_count(POOL_UV)) + count > list->uv_capacity) return {};
    return records;
}

// After add_indexed_triangles wrote the mesh's packets from `first_packet`:
// each packet textured from its slot, its corners at their coordinates.
void texture_indexed_packets(uint8_t* first_packet, const SkinRecords& skin) {
    for (size_t t = 0; t < skin.slots.size(); ++t) {
        auto* packet = reinterpret_cast<TrianglePacket*>(first_packet + t * TRIANGLE_PACKET_BYTES);
        packet->head.header |= POLY_TEXTURED;
        packet->head.texture = skin.slots[t];
        for (size_t k = 0; k < 3; ++k)
            packet->t[k] = int16_t(pool_find_or_add(&skin.corners[3 * t + k], POOL_UV));
    }
}

}  // namespace

bool same_part_mesh(const PartMesh& a, const PartMesh& b) {
    return a.front_count == b.front_count && a.entered_by_triangle == b.entered_by_triangle &&
           same_records(a.vertices, b.vertices) && same_records(a.fine, b.fine) &&
           same_records(a.triangles, b.triangles) && same_records(a.normals, b.normals);
}

Vec4 round_fine_position(const Vec4& fine) {
    // Arithmetic shifts: halves go up on both sides of zero alike.
    constexpr int32_t HALF = FINE_ONE / 2;
    return {(fine.x + HALF) >> FINE_SHIFT, (fine.y + HALF) >> FINE_SHIFT,
            (fine.z + HALF) >> FINE_SHIFT, 0};
}

PartMesh body_part_mesh(const BodyShell& body) {
    PartMesh mesh;
    mesh.fine = body.vertices;
    mesh.vertices.resize(body.vertices.size());
    for (size_t i = 0; i < body.vertices.size(); ++i)
        mesh.vertices[i] = round_fine_position(body.vertices[i]);
    mesh.triangles = body.triangles;
    mesh.front_count = body.front_count;
    mesh.normals = body_normals(mesh.fine, mesh.triangles, mesh.front_count);
    return mesh;
}

PartMesh body_part_mesh(const BodyShell& body, std::vector<Vec4> whole) {
    PartMesh mesh = body_part_mesh(body);
    if (whole.size() == mesh.vertices.size()) mesh.vertices = std::move(whole);
    return mesh;
}

BodyShell part_body_shell(const PartMesh& mesh) {
    BodyShell shell;
    const auto count = int32_t(mesh.fine.size());
    const int32_t front = mesh.front_count, rim = 2 * front - count;
    if (count == 0 || int32_t(mesh.vertices.size()) != count || front > count || rim < 0 ||
        mesh.triangles.size() % 2 != 0)
        return shell;
    shell.vertices = mesh.fine;
    shell.triangles = mesh.triangles;
    shell.front_count = front;
    shell.back_of.resize(size_t(front));
    for (int32_t i = 0; i < front; ++i)
        shell.back_of[size_t(i)] = i < rim ? i : front + (i - rim);
    return shell;
}

void refresh_part_normals(PartMesh* mesh) {
    if (!mesh->fine.empty()) {
        body_normals_in_place(mesh->fine, mesh->triangles, mesh->front_count, &mesh->normals);
        return;
    }
    mesh->normals.resize(mesh->vertices.size());
    mesh_vertex_normals(mesh->vertices.data(), int32_t(mesh->vertices.size()),
                        mesh->triangles.data(), int32_t(mesh->triangles.size()),
                        mesh->normals.data());
}

PartRoom part_room(const PartMesh& mesh) {
    return {SHORT_PACKET_BYTES + int64_t(TRIANGLE_PACKET_BYTES) * int64_t(mesh.triangles.size()),
            int64_t(mesh.vertices.size())};
}

int32_t emit_part_object(const PartMesh& mesh, const ColourRecord& colour, int32_t shading,
                         const PartSkin* skin) {
    const int32_t index = create_object(2);
    if (index < 0) return index;
    const auto count = int32_t(mesh.vertices.size());
    const bool body = !mesh.fine.empty();
    const int32_t first = pool_count(POOL_VERTEX);
    const SkinRecords records = skin_records(mesh, skin);
    bool entered;
    if (mesh.entered_by_triangle) {
        entered = enter_by_triangle(mesh, colour, records);
    } else {
        const RenderList* list = current_render_list();
        uint8_t* const first_packet = list != nullptr ? list->write_position : nullptr;
        entered = add_indexed_triangles(mesh.vertices.data(), count, mesh.triangles.data(),
                                        int32_t(mesh.triangles.size()), &colour,
                                        POLY_CULL | (body ? POLY_WATERTIGHT : 0), false) >= 0;
        if (entered && !records.empty() && first_packet != nullptr)
            texture_indexed_packets(first_packet, records);
    }
    if (!entered) {
        finish_object();
        delete_object(index);
        return -1;
    }
    Vec4* fine = fine_vertex_base();
    if (fine != nullptr) {
        for (int32_t i = 0; i < count; ++i)
            fine[first + i] = body ? mesh.fine[size_t(i)] : Vec4{0, 0, 0, 0};
    }
    add_object_part(index, first, count, 0);
    finish_object();
    set_part_flags(index, PART_LIT | (body && fine != nullptr ? PART_FINE_POSITIONS : 0));
    show_object(index);
    set_object_normals(index, mesh.normals.data(), count);
    set_object_shading(index, shading);
    pack_colours();
    return index;
}

void store_emitted_vertices(int32_t index, const PartMesh& mesh) {
    const ObjectPart* part = get_part(index, 0);
    const RenderList* list = current_render_list();
    if (part == nullptr || list == nullptr || list->model_vertices == nullptr ||
        list->model_normals == nullptr)
        return;
    const int64_t first = part->first_vertex;
    int64_t count = int64_t(mesh.vertices.size());
    if (count > part->vertex_count) count = part->vertex_count;
    if (first + count > list->vertex_capacity) count = list->vertex_capacity - first;
    if (first + count > list->normal_capacity) count = list->normal_capacity - first;
    if (first < 0 || count <= 0) return;
    std::memcpy(list->model_vertices + first, mesh.vertices.data(), size_t(count) * sizeof(Vec4));
    if (int64_t(mesh.normals.size()) >= count)
        std::memcpy(list->model_normals + first, mesh.normals.data(), size_t(count) * sizeof(Vec4));
    Vec4* fine = fine_vertex_base();
    if (fine != nullptr && int64_t(mesh.fine.size()) >= count)
        std::memcpy(fine + first, mesh.fine.data(), size_t(count) * sizeof(Vec4));
}
