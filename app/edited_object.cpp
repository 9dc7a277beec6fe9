// The record of the figure being edited: its parts and which one is edited.
#include "app/edited_object.h"

#include <utility>
#include <vector>

namespace {

struct FigureState {
    Figure figure = {0, NO_PART, NO_PART, {}};
    // The region of each part, parallel to figure.parts (kept in vectors, as
    // the build keeps its page, not in the allocator's blocks).
    std::vector<RegionMask> regions;
};

FigureState state;
const RegionMask NO_REGION = {};

EditedObject record_of(int32_t index, int32_t kind) {
    const SceneObject* object = get_object(index);
    if (object == nullptr) return NO_EDITED_OBJECT;
    VertexRange range = object_vertex_range(object);
    return EditedObject{index, kind, range.first, range.count, range.count};
}

}  // namespace

const Figure& figure() {
    return state.figure;
}

const EditedObject& edited_object() {
    const Figure& f = state.figure;
    return f.edited >= 0 && f.edited < f.part_count ? f.parts[f.edited].object : NO_EDITED_OBJECT;
}

const RegionMask& part_region(int32_t part) {
    if (part < 0 || part >= int32_t(state.regions.size())) return NO_REGION;
    return state.regions[size_t(part)];
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

bool add_figure_part(const EditedObject& object, const PartPlacement& placement,
                     RegionMask region) {
    Figure& f = state.figure;
    if (f.part_count >= MAX_FIGURE_PARTS) return false;
    f.parts[f.part_count] = {object, placement};
    state.regions.resize(size_t(f.part_count));
    state.regions.push_back(std::move(region));
    f.edited = f.last_edited = f.part_count++;
    return true;
}

void replace_edited_part(const EditedObject& object) {
    Figure& f = state.figure;
    if (f.edited >= 0 && f.edited < f.part_count) f.parts[f.edited].object = object;
}

void remove_figure_part(int32_t part) {
    Figure& f = state.figure;
    if (part < 0 || part >= f.part_count) return;
    for (int32_t i = part; i + 1 < f.part_count; ++i)
        f.parts[i] = f.parts[i + 1];
    if (part < int32_t(state.regions.size())) state.regions.erase(state.regions.begin() + part);
    --f.part_count;
    const int32_t next = part < f.part_count ? part : f.part_count - 1;
    f.edited = f.last_edited = next;
}

void edit_figure_part(int32_t part) {
    Figure& f = state.figure;
    f.edited = part >= 0 && part < f.part_count ? part : NO_PART;
    if (f.edited != NO_PART) f.last_edited = f.edited;
}

void refresh_part_records() {
    Figure& f = state.figure;
    for (int32_t i = 0; i < f.part_count; ++i) {
        EditedObject& part = f.parts[i].object;
        const EditedObject fresh = record_of(part.index, part.kind);
        if (fresh.index == NO_OBJECT) continue;
        part.first_vertex = fresh.first_vertex;
        part.vertex_count = fresh.vertex_count;
        if (part.kind == EDITED_SHEET) part.front_vertices = fresh.vertex_count;
    }
}

void forget_edited_object() {
    state.figure.part_count = 0;
    state.figure.edited = state.figure.last_edited = NO_PART;
    state.regions.clear();
}
