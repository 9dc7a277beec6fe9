// The figure being edited: the one record of which scene objects the user has
// built, each a part of the figure, which of them is being edited, and what
// the editing tools need to know about each.
//
// The shell (app/frame.cpp) is the only writer: it adopts what the outline
// build, the inflation and the figure tools hand back, and forgets the record
// when the figure is discarded. Everything else reads it. Each part's record
// names the object's own vertex range, so the tools that move or relight its
// vertices never assume where in the pools it starts; the frame refreshes
// those ranges whenever a part's storage moved (refresh_part_records).
//
// A session that never adds a part (N) or mirrors one (M) has a figure of at
// most one part, unplaced: the single edited object of the demonstration.
#pragma once

#include <cstdint>

#include "geometry/body_mesh.h"
#include "geometry/fixed_math.h"
#include "geometry/scene_objects.h"

inline constexpr int32_t NO_OBJECT = -1;
inline constexpr int32_t NO_PART = -1;

// What an edited object is.
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

// Where a part's model sits in the figure: model point (x, y, z) is the
// figure's point (x, y, z) * scale / FIXED_ONE + (offset_x, 0, depth). A part
// drawn over another is placed at the depth of that part's front surface and
// made smaller the nearer it is, so that it shows where it was drawn; a
// mirrored part's model is its source's reflected in x, moved by offset_x.
struct PartPlacement {
    int32_t depth;     // model units; its rim plane's depth, 0 on the sheet plane
    int32_t offset_x;  // model units
    int32_t scale;     // FIXED_ONE = 1.0, the same for x, y and z
};
inline constexpr PartPlacement UNPLACED = {0, 0, FIXED_ONE};

// Every part is an object of the table.
inline constexpr int32_t MAX_FIGURE_PARTS = MAX_OBJECTS;

struct FigurePart {
    EditedObject object;
    PartPlacement placement;
};

// The parts in the order they joined the figure, and which one is edited:
// NO_PART in drawing mode, both while the figure is empty and while a part is
// being added to it.
struct Figure {
    int32_t part_count;
    int32_t edited;
    int32_t last_edited;  // the part edited last, where Tab goes on from
    FigurePart parts[MAX_FIGURE_PARTS];
};

const Figure& figure();
// The edited part's record; NO_EDITED_OBJECT in drawing mode.
const EditedObject& edited_object();
// The region the part's sheet was built from, as the build's fill left it
// (pixel (c, r) at model point (c + origin_x, r + origin_y)), cropped to the
// filled pixels (app/outline.h, take_built_region); reflected with its part. An
// empty mask for no such part.
const RegionMask& part_region(int32_t part);

// Records for the shell to adopt, from the object's parts (the vertex range
// they cover): a sheet, whose vertices all face the viewer, and a body whose
// first front_vertices do. NO_EDITED_OBJECT for a missing object.
EditedObject sheet_record(int32_t index);
EditedObject body_record(int32_t index, int32_t front_vertices);

// The shell's writes.
// A new part, placed and with the region it was built from (kept as given),
// joins the figure and is edited; refused (false) when the figure is full.
bool add_figure_part(const EditedObject& object, const PartPlacement& placement, RegionMask region);
// The edited part's new record (a body in place of its sheet).
void replace_edited_part(const EditedObject& object);
// The part leaves the figure (its object is the caller's to remove); editing
// goes on with the part that followed it, or the one before it for the last.
void remove_figure_part(int32_t part);
// Editing moves to part `part` (NO_PART: drawing mode, a part being added).
void edit_figure_part(int32_t part);
// Every part's vertex range read again from its object, after storage moved.
void refresh_part_records();
// Back to drawing mode with an empty figure (also at start-up, so that every
// session begins with nothing edited).
void forget_edited_object();
