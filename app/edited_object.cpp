// The record of the object being edited.
#include "app/edited_object.h"

#include "geometry/scene_objects.h"

namespace {

EditedObject edited = NO_EDITED_OBJECT;

EditedObject record_of(int32_t index, int32_t kind) {
    const SceneObject* object = get_object(index);
    if (object == nullptr) return NO_EDITED_OBJECT;
    VertexRange range = object_vertex_range(object);
    return EditedObject{index, kind, range.first, range.count, range.count};
}

}  // namespace

const EditedObject& edited_object() {
    return edited;
}

EditedObject sheet_record(int32_t index) {
    return record_of(index, EDITED_SHEET);
}

EditedObject body_record(int32_t index, int32_t front_vertices) {
    EditedObject body = record_of(index, EDITED_BODY);
    if (body.index == NO_OBJECT) return body;
    body.front_vertices = front_vertices < 0                   ? 0
                          : front_vertices > body.vertex_count ? body.vertex_count
                                                               : front_vertices;
    return body;
}

void adopt_edited_object(const EditedObject& object) {
    edited = object;
}

void forget_edited_object() {
    edited = NO_EDITED_OBJECT;
}
