// The object being edited: the one record of which scene object the user is
// working on and what the editing tools need to know about it.
//
// The shell (app/frame.cpp) is the only writer: it adopts what the outline
// build or the inflation hands back, and forgets the record when the object
// is discarded. Everything else reads it. The record names the object's own
// vertex range, so the tools that move or relight its vertices never assume
// where in the pools it starts.
#pragma once

#include <cstdint>

inline constexpr int32_t NO_OBJECT = -1;

// What the edited object is.
inline constexpr int32_t EDITED_NONE = 0;   // nothing: drawing mode
inline constexpr int32_t EDITED_SHEET = 1;  // the flat sheet the outline build made
inline constexpr int32_t EDITED_BODY = 2;   // the closed body inflation made of it

struct EditedObject {
    int32_t index;           // its slot in the object table; NO_OBJECT in drawing mode
    int32_t kind;            // EDITED_NONE, EDITED_SHEET or EDITED_BODY
    int32_t first_vertex;    // pool index of its first vertex
    int32_t vertex_count;    // its vertices: first_vertex .. first_vertex + vertex_count - 1
    int32_t front_vertices;  // those from first_vertex on that face the viewer at rotation
                             // 0, the ones the push moves: all of a sheet's; a body's front
                             // surface and rim, its back lying behind them
};

inline constexpr EditedObject NO_EDITED_OBJECT = {NO_OBJECT, EDITED_NONE, 0, 0, 0};

const EditedObject& edited_object();

// Records for the shell to adopt, from the object's parts (the vertex range
// they cover): a sheet, whose vertices all face the viewer, and a body whose
// first front_vertices do. NO_EDITED_OBJECT for a missing object.
EditedObject sheet_record(int32_t index);
EditedObject body_record(int32_t index, int32_t front_vertices);

// The shell's writes: the object it now edits, and back to drawing mode
// (also at start-up, so that every session begins with nothing edited).
void adopt_edited_object(const EditedObject& object);
void forget_edited_object();
