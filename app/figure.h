// The figure's tools: where its parts sit and how they turn together, what
// lies under a point of the picture, and the mirror of a part. They read the
// figure's record (app/edited_object.h) and return results; the frame
// (app/frame.cpp) adopts them.
//
// A figure turns about its centre, the centre of its first part's bounding
// box; a figure of one part turns about the screen centre, as the single
// object of the demonstration always did. Its parts share one rotation: the
// edited part's object holds it (the first part's while a part is added), and
// place_figure hands it to the others every frame.
#pragma once

#include <cstdint>
#include <limits>

#include "app/edited_object.h"
#include "app/view_zoom.h"
#include "geometry/matrix.h"

// Parts are never placed nearer the eye than MIN_EYE_GAP (app/view_zoom.h),
// nor farther behind the sheet plane than this.
inline constexpr int32_t MAX_PART_DEPTH = 1024;

// Where a part drawn at `depth` (figure z of the surface under its click, 0
// on the sheet plane) goes: its rim plane at that depth, and scaled by
// (eye distance + depth) / FOCAL_LENGTH (app/view_zoom.h), so that its rim
// shows where it was drawn whatever the eye's distance: in its own model
// units, a part always sees the eye at FOCAL_LENGTH from its rim plane, as
// the first part does at start-up. The depth is kept within
// -(eye distance - MIN_EYE_GAP) .. MAX_PART_DEPTH. UNPLACED for depth 0 with
// the eye where start-up put it.
PartPlacement placement_at_depth(int32_t depth);

// The matrices a part's body is registered with (geometry/register_body.h):
// its placement times the camera as the program sets it up at the eye's
// present distance (`view`, with the small turn set_camera derives for it),
// and times that camera unturned (`drawn`, under which the part's plane lies
// on the pixels it shows on now, facing the viewer).
void registration_views(const PartPlacement& placement, Matrix* drawn, Matrix* view);

// A part's placement as a matrix: its model scaled, then moved to its place
// in the figure (unturned).
Matrix placement_matrix(const PartPlacement& placement);

// The frontmost part under client pixel (x, y) with the figure facing the
// viewer (rotation 0), through the faces the renderer draws, and the depth of
// its surface there (figure z, model units, interpolated across the face on
// the screen): the part's number in the figure, or NO_PART (depth 0) when no
// part covers the pixel.
int32_t part_under_point(int32_t x, int32_t y, int32_t* depth);

// A point of the figure's surface under a pixel: the part, its mesh's
// triangle and the point's barycentric coordinates in it (of the corners in
// order, summing to 1), and its depth (the smaller the nearer).
struct SurfaceHit {
    int32_t part = NO_PART;
    int32_t triangle = -1;
    double b[3] = {};
    double depth = std::numeric_limits<double>::infinity();
};

// The frontmost point of the figure under client pixel (x, y) as the last
// transform put it on the screen (turned, and posed as the pools hold it),
// through the faces the renderer draws; its depth is the view depth. part is
// NO_PART when no part covers the pixel. The caller transforms the scene
// first when the pools changed since.
SurfaceHit surface_as_drawn(int32_t x, int32_t y);

// The point every part turns about (whole model units): the first part's
// centre once the figure has two parts, else the screen centre (the model
// origin).
Vec4 figure_pivot();

// The model point of the part under client pixel (x, y) on its rim plane,
// with the figure facing the viewer: the pixel's offset from the screen
// centre for an unplaced part.
void cursor_in_part(const PartPlacement& placement, int32_t x, int32_t y, int64_t* model_x,
                    int64_t* model_y);

// Twice the x of the figure's vertical centre plane, the plane through its
// first part's centre, in whole model units (the plane lies on a half unit,
// so that a reflection keeps whole and fine positions exact); 0 for an empty
// figure.
int32_t figure_centre_x2();

// The mirror of part `part` about the figure's vertical centre plane, as a
// new part: the part's model reflected in x, its faces turned so that they
// still face outward, its normals computed again, its vertices each its own
// pool record in the same order; the same kind, colour, shading and front
// vertices; placed at the source's depth and scale with offset
// figure_centre_x2() - the source's offset, its region reflected. A body is
// registered again as the mirror (mirror_registered_body), so that seen from
// the front it shows the mirror image of what its source shows; a sheet is
// reflected as it is. False for no such part.
bool mirrored_part(int32_t part, FigurePart* mirror);
RegionMask mirrored_region(const RegionMask& region);

// Each frame, after the input and before the transform: every part's object
// takes the figure's rotation and turns about the figure's centre, and its
// part matrix places it (PART_PLACED, so that its light does not move with
// the placement). Nothing for an empty figure; for a figure of one unplaced
// part the matrices are the demonstration's own.
void place_figure();
// The figure's rotation back to 0: it faces the viewer.
void face_figure_to_viewer();
