// Emission of a body and the refresh of its normals.
#include "geometry/body_object.h"

#include "geometry/body_normals.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"

Vec4 round_fine_position(const Vec4& fine) {
    // Arithmetic shifts: halves go up on both sides of zero alike.
    constexpr int32_t HALF = FINE_ONE / 2;
    return {(fine.x + HALF) >> FINE_SHIFT, (fine.y + HALF) >> FINE_SHIFT,
            (fine.z + HALF) >> FINE_SHIFT, 0};
}

int32_t emit_body_object(const BodyShell& body, const ColourRecord& colour, uint32_t flags) {
    int32_t index = create_object(2);
    if (index < 0) return -1;
    std::vector<Vec4> model(body.vertices.size());
    for (size_t i = 0; i < model.size(); ++i)
        model[i] = round_fine_position(body.vertices[i]);
    std::vector<int32_t> corners;
    corners.reserve(body.triangles.size() * 3);
    for (const MeshTriangle& t : body.triangles)
        corners.insert(corners.end(), t.v, t.v + 3);
    auto count = int32_t(model.size());
    int32_t first = add_indexed_triangles(model.data(), count, corners.data(),
                                          int32_t(body.triangles.size()), &colour, flags, false);
    if (first < 0) {
        finish_object();
        delete_object(index);
        return -1;
    }
    if (Vec4* fine = fine_vertex_base(); fine != nullptr)
        for (int32_t i = 0; i < count; ++i)
            fine[first + i] = body.vertices[size_t(i)];
    add_object_part(index, first, count, 0);
    finish_object();
    set_part_flags(index, PART_LIT | (fine_vertex_base() != nullptr ? PART_FINE_POSITIONS : 0));
    show_object(index);
    std::vector<Vec4> normals = body_normals(body.vertices, body.triangles, body.front_count);
    set_object_normals(index, normals.data(), count);
    return index;
}

int32_t refresh_body_normals(int32_t index, int32_t front_count) {
    SceneObject* object = get_object(index);
    const Vec4* fine = fine_vertex_base();
    if (object == nullptr || object->part_count < 1) return -1;
    const ObjectPart& part = object->parts[0];
    if (fine == nullptr || (part.flags & PART_FINE_POSITIONS) == 0) return NORMALS_OUT_OF_RANGE;
    int32_t first = part.first_vertex, count = part.vertex_count;
    std::vector<Vec4> positions(fine + first, fine + first + count);
    std::vector<MeshTriangle> triangles;
    for (PrimitivePacket* p = next_object_polygon(object, nullptr); p != nullptr;
         p = next_object_polygon(object, p)) {
        const int16_t* v = packet_vertices(p);
        MeshTriangle t = {{v[0] - first, v[1] - first, v[2] - first}};
        for (int32_t c : t.v)
            if (c < 0 || c >= count) return NORMALS_OUT_OF_RANGE;
        triangles.push_back(t);
    }
    std::vector<Vec4> normals = body_normals(positions, triangles, front_count);
    return set_object_normals(index, normals.data(), count);
}
