// The scene the benchmarks measure: the demonstration's own lit sheet, built
// on the headless backend exactly as a user builds it (an outline drawn with
// the left button, a right-click inside it), and the frame of editing mode.
//
// Called from one thread; open_demo_scene starts a headless session that
// close_demo_scene ends. Nothing here is timed: callers time the calls.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/matrix.h"

// Client size of the demonstration's window, and the screen buffer it draws.
inline constexpr int32_t DEMO_CLIENT_WIDTH = 514;
inline constexpr int32_t DEMO_CLIENT_HEIGHT = 483;

// The ellipse: centred on the screen, its semi-axes in the screen's
// proportions, enclosing about 60 % of it.
inline constexpr int32_t ELLIPSE_HALF_WIDTH = 221;
inline constexpr int32_t ELLIPSE_HALF_HEIGHT = 208;
inline constexpr int32_t ELLIPSE_POINTS = 96;
// The disc: a circle 200 pixels across, centred on the screen, drawn with as
// many points as the ellipse.
inline constexpr int32_t DISC_RADIUS = 100;

enum class DemoOutline {
    ELLIPSE,  // the outline drawn, right-click inside it
    DISC,     // the same with the disc
    NONE,     // nothing drawn: the right-click fills the whole screen
};

// Opens a headless session, draws the outline through frames of drawing mode
// and builds the sheet with a right-click. Returns the object's index, or -1
// when the build failed (the session is then closed).
int32_t open_demo_scene(DemoOutline outline);
void close_demo_scene();

// Pushes the sheet into relief as a user does with Z and the left button:
// every vertex within reach of a lattice of points 24 pixels apart sinks by
// `depth` units, so that most triangles get light that varies across them.
void add_demo_relief(int32_t depth);
// The depth of "the sheet in relief" that every measurement uses.
inline constexpr int32_t DEMO_RELIEF_DEPTH = 6;

// Inflates the sheet into its closed body, as the I key does. Returns the
// body's index, or -1 when it was not inflated (the sheet stays).
int32_t inflate_demo_object();

// The wheel turned `notches` notches (positive nearer) and a frame of the shell
// run to take them, so that the eye moves as far as the wheel moves it
// (app/view_zoom.h: within its limits, and never within reach of the figure).
// Returns the eye's distance from the sheet plane. turn_demo_wheel_back turns
// it back to where start-up puts the eye.
int32_t turn_demo_wheel(int32_t notches);
void turn_demo_wheel_back();
// "The zoomed body" of the measurements: the wheel turned six notches toward
// it, as near as the eye goes to the ellipse's body.
inline constexpr int32_t DEMO_ZOOM_NOTCHES = 6;

// The editing-mode frame without pacing, input or presentation: clear,
// transform, render and the edited part's mark (a figure's) into page 0.
void set_demo_rotation(int32_t x, int32_t y, int32_t z);
void render_demo_frame();

// The frame in a raster of another size: after the transform the sheet's
// screen positions are scaled about the screen centre so that the window's
// picture fills the raster's height (triangles, depths and light stay as
// they are), and the frame is cleared and drawn into the raster, which is
// allocated here and kept until the next call or close_demo_scene. A width or
// height of 0 goes back to the window's page.
void use_demo_raster(int32_t width, int32_t height);
// The scale of the raster in use, 256 = 1 (the window's page: 256).
int32_t demo_raster_scale256();

// Opens a headless session, as open_demo_scene, with a sheet built directly
// instead of through the outline tools: `triangles` (rounded to whole grid
// cells) lit red triangles, two to a cell, over the whole window, in a gentle
// relief of crossing waves so that the light varies across most of them.
// Returns the triangles built, or -1 (the session is then closed). The
// packet format's 16-bit vertex indices bound a sheet to 32,768 vertices,
// about 64,000 triangles; above GRID_SCENE_MAX_TRIANGLES every cell is cut
// along both diagonals instead, four triangles over the same corners, so
// that the window is covered twice by twice the triangles.
int32_t open_grid_scene(int32_t triangles);
inline constexpr int32_t GRID_SCENE_MAX_TRIANGLES = 64000;

// Opens a headless session, as open_demo_scene with the ellipse, and paints the
// sheet before its right-click as a user paints it: PAINTED_SCENE_STROKES
// strokes of the colour pens (keys 2 to 8 in turn), each a wave across the
// ellipse drawn one segment a frame, then the black pen again, the right-click
// and the I key's inflation. Returns the painted body's index, or -1 (the
// session is then closed).
int32_t open_painted_scene();
inline constexpr int32_t PAINTED_SCENE_STROKES = 7;

// For timing the build alone: prepare_demo_rebuild discards the sheet (which
// clears the screen) and draws the outline again; rebuild_demo_object then
// runs the right-click's build_object_from_outline and returns its result.
void prepare_demo_rebuild();
int32_t rebuild_demo_object();

// Opens a headless session, as open_demo_scene, and builds a figure of six
// inflated parts the way a user does (an outline drawn, a right-click, I, then
// N for the next): a body, a head, two arms and two legs of about 3,000
// triangles each. The last part stays edited. Returns the figure's triangles,
// or -1 (the session is then closed). With `attached`, each part after the
// body is right-clicked where it overlaps the body, so that it is drawn over
// it and grows into it (the figure's blends).
int32_t open_figure_scene(bool attached = false);
inline constexpr int32_t FIGURE_SCENE_PARTS = 6;

// The steps of adding the figure's last part again, each through the shell's
// frames, for timing them apart: a key held for one frame (its release waits
// for the next frame), the part's outline drawn one segment a frame, and the
// right-click frame that builds its sheet. Backspace, then N, the outline,
// the click and I bring the figure back to where open_figure_scene left it.
void figure_key_frame(int virtual_key);
void draw_figure_outline(int32_t part);
void right_click_frame();
// Ctrl+Z (undo) or Ctrl+Y (redo) in one frame of the shell; the keys go up
// before the next frame, which must run before the next undo or redo.
void figure_undo_frame(bool redo);
// The figure's triangle packets (its parts' headers left out).
int32_t figure_triangles();

// Animating that figure, attached (open_figure_scene(true)), with a seventh part drawn over the
// body (a skirt; about 20,000 triangles in all): A, then a control point placed with a click on
// each hand and foot. Returns the points placed (4), or
// -1 (the session is then closed, or was not opened).
int32_t open_posing_scene();
// The first hand's point taken with the left button (where the last drag left it), which stays
// held: posing_drag_frame is
// then one frame of the shell with it dragged a pixel, up for twenty frames, then down for
// twenty, so that a long run stays near where it began. False when no point was taken.
bool take_posing_point();
void posing_drag_frame();
// The held point let go, in one frame of the shell.
void let_go_posing_point();
// The first hand's point taken and its drag recorded as a loop of `frames` frames (R, the
// frames of posing_drag_frame, R), the button let go; the loop then plays, a step each frame of
// the shell (run_shell_frame). False when no loop was made.
bool record_demo_loop(int32_t frames);
// A left click on the torso, off every point, which places a point (its frame builds the rig
// for the points then), and a right click there, which removes it: each one frame of the shell,
// the button going up in the next frame, which the caller runs (run_shell_frame).
void place_point_frame();
void remove_point_frame();
int32_t demo_control_points();

// Counts of the last rendered frame.
int32_t demo_triangles();  // triangle packets of the sheet
int32_t last_frame_drawn();
int64_t last_frame_pixels();
// The page the frame is drawn into (page 0 or the raster in use), its width
// (pixels a row) and the rows a frame draws.
const uint16_t* demo_page();
int32_t demo_page_width();
int32_t demo_page_height();

// The sheet as a mesh, for another renderer: model-space vertices and unit
// normals, triangles in packet order, and the matrix the last transform used
// (model to view space; 512 = 1.0, row vectors) with the view-space light
// direction (length 1024). For the figure: every part where it sits in the
// figure, and the figure's matrix (its turn about its centre, then the camera).
// A painted object (one drawn lit and textured) also gives its texture
// coordinates, one pair a vertex in the fills' units (256 = the texture's
// width or height), and its texture's 5:5:5 texels; both are empty otherwise.
struct DemoMesh {
    std::vector<float> positions;  // x, y, z per vertex
    std::vector<float> normals;    // x, y, z per vertex, length 1
    std::vector<uint32_t> indices;
    Matrix model_view;
    float light[3];
    std::vector<float> tex_coords;  // u, v per vertex
    int32_t texture_width = 0, texture_height = 0;
    std::vector<uint16_t> texels;  // row after row
};
DemoMesh export_demo_mesh();
