// The figure being edited: the parts the user has built, each as plain data
// (its mesh, colour, shading, placement and the region it was built from),
// which one is being edited, and the render list emitted from them.
//
// The shell (app/frame.cpp and the tools it calls) is the only writer. Every
// change of the parts goes through one of the writers below, which checks
// the room the changed figure needs (app/part_room.h), and then emits the
// render list again from the record: the objects of the last emission are
// deleted, the pools emptied, and every part emitted in the figure's order as
// an object of its own (geometry/part_mesh.h), so that the packet area, the
// pools and the object table follow from the record alone. A push of Z moves
// vertices every frame and is not a change of parts: it edits the part's
// mesh in place (edit_part_mesh) and writes it over the records already
// emitted (store_part_vertices); nothing is emitted, and nothing allocated
// once the mesh is the record's own.
//
// A figure's state is cheap to copy, compare and restore: a part's mesh and
// region are immutable records shared between copies, and a mesh edited in
// place is copied first while another copy shares it.
//
// A session that never adds a part (N) or mirrors one (M) has a figure of at
// most one part, unplaced: the single edited object of the demonstration.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/part_colours.h"
#include "app/part_painting.h"
#include "app/part_texture.h"
#include "geometry/body_mesh.h"
#include "geometry/fixed_math.h"
#include "geometry/part_mesh.h"
#include "geometry/scene_objects.h"

inline constexpr int32_t NO_OBJECT = -1;
inline constexpr int32_t NO_PART = -1;

// What a part is.
inline constexpr int32_t EDITED_NONE = 0;   // nothing: drawing mode
inline constexpr int32_t EDITED_SHEET = 1;  // a flat sheet the outline build made (or its mirror)
inline constexpr int32_t EDITED_BODY = 2;   // a closed body inflation made of a sheet

// Where a part's model sits in the figure: model point (x, y, z) is the
// figure's point (x, y, z) * scale / FIXED_ONE + (offset_x, 0, depth). A part
// drawn over another is placed in depth where it meets that part
// (app/part_attachment.h) and made smaller the nearer it is, so that it shows
// where it was drawn; a mirrored part's model is its source's reflected in x,
// moved by offset_x.
struct PartPlacement {
    int32_t depth;     // model units; its rim plane's depth, 0 on the sheet plane
    int32_t offset_x;  // model units
    int32_t scale;     // FIXED_ONE = 1.0, the same for x, y and z
    bool operator==(const PartPlacement&) const = default;
};
inline constexpr PartPlacement UNPLACED = {0, 0, FIXED_ONE};

// Every part is an object of the table.
inline constexpr int32_t MAX_FIGURE_PARTS = MAX_OBJECTS;

// One part, as plain data. Its mesh and region are never null in a part of
// the figure, and never change once shared: a copy of the part shares them.
// A part's mesh is always made by share_part_mesh, so that the one copy of it
// can be edited in place (edit_part_mesh).
struct FigurePart {
    int32_t kind = EDITED_NONE;  // EDITED_SHEET or EDITED_BODY
    std::shared_ptr<const PartMesh> mesh;
    ColourRecord colour = DEFAULT_PART_COLOUR;  // the lit material
    int32_t shading = 0;  // the shade table's mode, 0..3 (F1 to F3 choose 0 to 2)
    PartPlacement placement = UNPLACED;
    // The region its sheet was built from, as the build's fill left it (pixel
    // (c, r) at model point (c + origin_x, r + origin_y)), cropped to the
    // filled pixels; reflected with its part.
    std::shared_ptr<const RegionMask> region;
    // Its painting; null without one. Shared between copies as the region is.
    std::shared_ptr<const PartPainting> painting;
    // The part it was drawn over, which always comes before it in the figure
    // (NO_PART: drawn over nothing, or that part was removed), and whether it
    // was built behind that part (Shift held) rather than in front. A mirror
    // keeps its source's.
    int32_t parent = NO_PART;
    bool behind = false;
};
// The same data (shared records compared by identity first).
bool operator==(const FigurePart& a, const FigurePart& b);
// The mesh as a part holds it.
std::shared_ptr<const PartMesh> share_part_mesh(PartMesh mesh);

// The parts in the order they joined the figure, which is the order they are
// emitted and drawn in, and which one is edited: NO_PART in drawing mode,
// both while the figure is empty and while a part is being added to it.
struct Figure {
    int32_t part_count = 0;
    int32_t edited = NO_PART;
    int32_t last_edited = NO_PART;  // the part edited last, where Tab goes on from
    FigurePart parts[MAX_FIGURE_PARTS];
};
bool operator==(const Figure& a, const Figure& b);

// Where a part was emitted: its object, its vertex range in the pools and
// how many of those vertices face the viewer.
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

const Figure& figure();
// The edited part's emission; NO_EDITED_OBJECT in drawing mode.
const EditedObject& edited_object();
// Part `part`'s emission; NO_EDITED_OBJECT for no such part.
const EditedObject& part_object(int32_t part);
// The region of part `part` (an empty mask for no such part).
const RegionMask& part_region(int32_t part);
// The exports' texture of painted part `part` (its base colour and painting,
// made as its tiles' texels are, at one texel a model point up to
// 2^EXPORT_TEXTURE_MAX_SHIFT texels a side); false, *texture left alone, for
// no such part or a part without a painting. Made anew on each call: called
// when exporting or saving, not each frame.
bool painted_part_texture(int32_t part, PartTexture* texture);

// The writers. Each checks the room the changed figure needs in the buffers
// it will be emitted into (the start-up buffers for a single sheet, the body
// buffers, put in place by the first body or the second part, for the rest):
// when it does not fit, the capacity message is shown (app/part_room.h) and
// nothing changes (false); so it is when the body buffers cannot be allocated
// (the allocator's message). Otherwise the record changes and the render
// list is emitted from it (true). A part whose object cannot be allocated in
// that emission (the allocator's message) leaves the figure (false); the
// caller starts drawing over when no part is left.
//
// A new part joins the figure last and is edited (the figure keeps its
// rotation); false, changing nothing, also when the figure is full.
bool add_figure_part(FigurePart part);
// Part `part` in place of the one there (a body in place of its sheet).
bool replace_figure_part(int32_t part, FigurePart data);
// The same, with the other parts placed as in `placed`: a figure of the same
// parts but for part `part` (the data that goes in its place) and the
// placements of others (those attached to it, placed again). False, changing
// nothing, for a figure of other parts.
bool replace_figure_part(int32_t part, const Figure& placed);
// Whether part `part` would fit with `mesh` in place of its own, asked
// without a message; false for no such part.
bool replacement_fits(int32_t part, const PartMesh& mesh);
// The part leaves the figure; editing goes on with the part that followed
// it, or the one before it for the last. The parts drawn over it keep their
// places and are attached to nothing.
bool remove_figure_part(int32_t part);
// Adding a part (N): the figure moves into the body buffers and waits,
// nothing edited; false (nothing changed) for an empty figure or when the body
// buffers cannot be allocated.
bool begin_adding_part();
// A whole figure in place of the one there (undo's restore), emitted as it
// was; the figure keeps its rotation (set_figure_rotation gives it another).
// False after the capacity message, nothing changed.
bool restore_figure(const Figure& state);

// Editing moves to part `part` (NO_PART: drawing mode, a part being added);
// nothing is emitted.
void edit_figure_part(int32_t part);
// The part's shading mode (0..3), in the record and its packets.
void set_part_shading(int32_t part, int32_t mode);
// The part's base colour (a colour key in editing mode): the record changes and
// the figure is emitted again, as by replace_figure_part. False, changing
// nothing, for no such part or the colour it already has.
bool set_part_colour(int32_t part, const ColourRecord& colour);

// The figure's rotation: held by the edited part's object (the first part's
// while a part is added), which the frame turns; place_figure hands it to the
// other parts every frame. 0 for an empty figure. set_figure_rotation gives
// it to every part's object.
Vec4 figure_rotation();
void set_figure_rotation(const Vec4& rotation);

// In-place edits of a part's mesh (the push): the mesh to change, copied first
// when another copy of the figure shares it; null for no such part. Its
// vertices and triangles keep their number and order. Afterwards
// store_part_vertices writes its positions, fine positions and normals over
// the records already emitted.
PartMesh* edit_part_mesh(int32_t part);
void store_part_vertices(int32_t part);
// The mesh part `part` is drawn from until the next emission or store: `drawn`
// (its positions, fine positions and normals; the same vertices and triangles
// as the mesh it was emitted from, drawn_mesh) written over the records
// already emitted, the record unchanged. The posed figure is drawn this way.
// Nothing for no such part or another vertex count.
void draw_part_from(int32_t part, const PartMesh& drawn);
// Where parts meet, what lies hidden inside another part is left out of what
// is drawn (cut_part_mesh), except while the figure is posed or exported:
// a pose moves parts apart, and an export needs closed shells. The figure
// is emitted again whole when a pose begins to be drawn (posed true, before
// draw_part_from) and cut again when the rest shape is (posed false).
void draw_figure_posed(bool posed);
// Before an export reads the emitted objects: the figure emitted whole (its
// objects placed as before) until end_whole_export_drawing, which every
// frame calls at its start.
void draw_figure_whole_for_export();
void end_whole_export_drawing();

// Part `part` of f as it is drawn: blended with the parts it meets
// (app/part_blend.h), its edges along the joins refined with `refine`; false
// (*out untouched) when it is drawn from its own mesh.
bool drawn_part_mesh(const Figure& f, int32_t part, bool refine, PartMesh* out);
// Whether the last emission drew every part from its own mesh because the
// blends, refined along the joins, did not fit the body buffers.
bool figure_drawn_unblended();
// The mesh part `part` was last emitted from (and written over since): its
// blended copy, or its own mesh; null for no such part. Where the blend was
// emitted cut, the object's vertices begin with this mesh's.
std::shared_ptr<const PartMesh> drawn_mesh(int32_t part);
// The cut part `part` was last emitted from (its blend with what lies inside
// its partners cut away), null when it was emitted uncut; and the same made
// afresh for f, from blends made afresh (false, *out untouched, when nothing
// of it is cut).
std::shared_ptr<const PartMesh> drawn_cut_mesh(int32_t part);
bool cut_part_afresh(const Figure& f, int32_t part, PartMesh* out);

// Back to drawing mode with an empty figure, the record only (the render list
// is the caller's to empty); also at start-up and shut-down, so that every
// session begins with nothing edited.
void forget_edited_object();
// The objects of the last emission deleted and the record emptied, before the
// render list is emptied (discard_object, app/outline.h).
void discard_figure_objects();
