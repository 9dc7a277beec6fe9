// Outline tools: freehand strokes into the screen buffer, and the build that
// turns the region under a right-click into a flat sheet of lit red
// triangles (fill, grid scan, edge snapping, triangulation), the vertex
// push of editing mode and the discard that returns to drawing.
//
// The build makes the sheet's mesh and hands it to the figure's record
// (app/edited_object.h) as a part, which emits it; the push edits a part's
// mesh in the record and the records already emitted from it.
#pragma once

#include <cstdint>

#include "app/edited_object.h"
#include "geometry/body_mesh.h"
#include "geometry/fixed_math.h"

inline constexpr int32_t GRID_STEP = 8;  // grid spacing in pixels; half the side of the push square
// What the green fill leaves in the page: pure green through the 5:5:5 format.
inline constexpr uint16_t OUTLINE_FILL_PIXEL = 0x03E0;
inline constexpr uint16_t STROKE_PIXEL = 0x0000;  // strokes are black, and black bounds the fill

// A grid cell is handed to the emitter as a vertex record, so it is a Vec4:
// x and y relative to the screen centre, z the depth, and w the cell state.
using OutlineCell = Vec4;
inline constexpr int32_t CELL_EMPTY = -1;
inline constexpr int32_t CELL_FILLED = 0;

// Start-up (after the screen): screen_width() / 8 by screen_height() / 8
// cells, all empty. 0, or -1 after the allocator's message.
int init_outline_grid();
void free_outline_grid();

int32_t grid_columns();
int32_t grid_rows();
// Cell (column, row), or null outside the grid.
OutlineCell* outline_cell(int32_t column, int32_t row);

// The pixel at (x, y) of a page of the screen's size, the last row included;
// 0 (black) outside it.
uint16_t read_pixel(const uint16_t* pixels, int32_t x, int32_t y);
// Fills the cell that holds pixel (px, py): column px / 8 and row py / 8,
// clamped into the grid; its x, y become the pixel's offset from the screen
// centre and its z is `z`. Returns the cell, or null without a grid.
OutlineCell* set_outline_cell(int32_t px, int32_t py, int32_t z);

// A line of pen `pen` between two screen positions, the end point excluded,
// remembered as part of the left button's current stroke so that it can be
// taken back (app/stroke_history.h): the black pen's drawn into the drawing
// page (app/screen.h), a colour pen's only remembered, to be shown over the
// picture (app/colour_strokes.h) and kept by the build as the part's painting.
void draw_stroke(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t pen);
// Whether screen position (x, y) lies on a stroke of the drawing page: a fill
// started there would stop at once and build an object without a face, so a
// right-click there builds nothing and leaves the drawing as it is.
bool point_on_stroke(int32_t x, int32_t y);
// The one build of a sheet, for a single object and for a further part of a
// figure alike: fills the region around screen position (x, y) of the
// drawing page, keeps it, scans it into an empty grid and triangulates it
// into the sheet's mesh, which joins the figure as an edited part placed at
// `placement`, or, drawn over part `parent` of the figure, attached to it
// there, in front or `behind` (app/part_attachment.h) (add_figure_part:
// checked against the room the figure has left, then emitted). Returns the part's object index;
// NO_OBJECT when it does not fit (the capacity message was shown) or its object cannot be made (the
// allocator's), after which the grid is empty and, for the figure's first part, the pools, the page
// and the screen are clean again (the drawing starts over); for a further part, the other parts
// stay as they were and the drawing page is cleared.
int32_t build_sheet_part(int32_t x, int32_t y, const PartPlacement& placement, int32_t parent,
                         bool behind);
// The right-click of a session without a figure: the sheet, unplaced, as the
// figure's only part (build_sheet_part).
int32_t build_object_from_outline(int32_t x, int32_t y);
// The strokes of the drawing page (its black pixels) laid over the current
// page, after the figure is drawn there; nothing while they are one page.
void overlay_strokes();

// The push of the edited part at the cursor (screen position) by delta in z,
// and its normals computed again: a sheet's vertices within GRID_STEP of the
// cursor in x and in y move a unit; a body's front goes through the push
// brush (app/push_brush.h), a front vertex stopping a unit short of the back
// behind it. Nothing happens while nothing is edited.
void push_vertices(int32_t x, int32_t y, int32_t delta);
// The same for part `part` of the figure, with the cursor given in the part's
// model frame (cx, cy: the model point under it on the part's rim plane): its
// mesh changes in place and so do the pool records emitted from it.
void push_part_vertices(int32_t part, int64_t cx, int64_t cy, int32_t delta);
// Deletes the object, empties the grid, resets the pools and clears the page
// (and with it the strokes that could be taken back); strokes go to the
// current page again.
void discard_object(int32_t index);
