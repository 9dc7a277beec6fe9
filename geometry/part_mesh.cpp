// A figure part's mesh: made from a body, its normals again, its emission as
// an object and its vertices written back in place.
#include "geometry/part_mesh.h"

#include <cstring>

#include "geometry/body_normals.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/normals.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"

namespace {

template <typename Record>
bool same_records(const std::vector<Record>& a, const std::vector<Record>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Record)) == 0);
}

// The triangles through add_triangle, as the outline build emits its sheet:
// each corner's record found among the object's or added. False when a packet
// could not be allocated.
bool enter_by_triangle(const PartMesh& mesh, const ColourRecord& colour) {
    const ColourRecord* const colours[3] = {&colour, &colour, &colour};
    for (const MeshTriangle& t : mesh.triangles) {
        const Vec4* const corners[3] = {&mesh.vertices[size_t(t.v[0])],
                                        &mesh.vertices[size_t(t.v[1])],
                                        &mesh.vertices[size_t(t.v[2])]};
        if (add_triangle(corners, colours, nullptr, nullptr, -1, POLY_CULL, 0) < 0) return false;
    }
    return true;
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

int32_t emit_part_object(const PartMesh& mesh, const ColourRecord& colour, int32_t shading) {
    const int32_t index = create_object(2);
    if (index < 0) return index;
    const auto count = int32_t(mesh.vertices.size());
    const bool body = !mesh.fine.empty();
    const int32_t first = pool_count(POOL_VERTEX);
    const bool entered =
        mesh.entered_by_triangle
            ? enter_by_triangle(mesh, colour)
            : add_indexed_triangles(mesh.vertices.data(), count, mesh.triangles.data(),
                                    int32_t(mesh.triangles.size()), &colour,
                                    POLY_CULL | (body ? POLY_WATERTIGHT : 0), false) >= 0;
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
