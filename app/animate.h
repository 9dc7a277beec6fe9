// Animating a figure: control points placed on its surface, the figure posed
// by dragging them in the plane of the picture, a dragged point's path
// recorded as a motion, and the motions played as one loop.
//
// A switches between modelling and animating (a figure with a body only).
// While animating, the figure is drawn posed: the figure's record keeps the
// rest shape, and every frame the pose (geometry/pose_figure.h) is written
// over the emitted vertices (draw_part_from, app/edited_object.h); leaving
// shows the rest shape again. The points, motions and pose are plain values
// (app/animation_state.h), kept across modes and by the undo history with the
// figure.
//
// The frame (app/frame.cpp) calls, in this order: read_animate_keys once in
// every frame (in either mode, so that a press made while it means nothing is
// not kept), handle_animate_input in place of the editing input while
// animating, update_pose after the input, and draw_control_points after the
// picture is rendered.
#pragma once

#include <cstdint>
#include <functional>

#include "app/animation_state.h"
#include "app/mesh_export.h"
#include "app/undo_history.h"

// The loop is recorded and played one frame a step, at the frame pacing's
// 50 frames a second; its exports and pictures take one sample in two.
inline constexpr int32_t LOOP_FRAMES_PER_SECOND = 50;
inline constexpr int32_t LOOP_SAMPLES_PER_SECOND = 25;

// A point's disc on the picture, and how near a click must come to take it.
inline constexpr int32_t CONTROL_POINT_RADIUS = 3;
inline constexpr int32_t CONTROL_POINT_REACH = 5;
// The discs' colours (5:5:5): green for a pinned point, cyan for one that
// follows a motion, red for the one being recorded; black rims.
inline constexpr uint16_t CONTROL_POINT_PIXEL = 0x03E0;
inline constexpr uint16_t MOVING_POINT_PIXEL = 0x03FF;
inline constexpr uint16_t RECORDED_POINT_PIXEL = 0x7C00;
inline constexpr uint16_t CONTROL_POINT_RIM = 0x0000;

// Start-up and shut-down: modelling, no point, no motion.
void reset_animation();
bool animating();

struct AnimateKeys {
    bool toggle;  // A
    bool record;  // R
    bool play;    // Space
};
AnimateKeys read_animate_keys();

// A: into animating (false with `refusal` set when the figure has no body, or
// no part is edited) or back to modelling. Leaving stops a recording and
// draws the rest shape.
bool toggle_animation(const char** refusal);
// Back to modelling at once, when the figure the points lie on is gone (drawing
// mode).
void leave_animation();

// The step held over frames that goes on while animating, for the frame's
// settling of steps (app/undo_history.h): RECORD while recording, POSE while a
// point is dragged, TURN while a button is held otherwise.
StepKind animate_held_step(int32_t buttons);

// One frame's input while animating, at screen position (x, y) with `buttons`
// (held and clicked since the last frame), and the keys read this frame.
void handle_animate_input(int32_t x, int32_t y, int32_t buttons, const AnimateKeys& keys);
// After the input: the loop steps on, the dragged point's target is recorded,
// the pose is solved when a target moved (while the loop plays, looked up
// where the loop's pass before kept it: geometry/kept_loop_poses.h), and the
// posed figure written over the emitted vertices. Nothing while modelling.
void update_pose();
// After the picture is rendered: every point's disc over it.
void draw_control_points();

// Where point `point`'s disc is drawn (client pixels), from the last
// transform; false for no such point or one off the screen.
bool control_point_on_screen(int32_t point, int32_t* x, int32_t* y);

// The recorded loop as samples, `rate` a second over one period (rate 1 ..
// LOOP_FRAMES_PER_SECOND; the last sample comes before the loop comes round):
// *pose gives each part's posed positions at sample k as
// export_figure_animation_glb takes them, solved as playing solves them, every
// pass from the loop's first pose. The live pose is not touched: the solve
// works on copies of the state and of the rig. The samples belong to the
// figure and points as they are now; call them before anything changes. False
// without a loop, with a point no longer on the figure as drawn, or for a rate
// out of range.
bool animation_loop_samples(int32_t rate, FigurePose* pose, int32_t* count);
// The loop's pictures, `rate` a second over one period, each rendered as the
// window would show it at that sample (the view as it is, no control point
// drawn) and handed to `picture` (the page, row pitch screen_width()).
// Afterwards the figure is drawn as before. Call between frames. False, with
// no picture, where animation_loop_samples is false.
using LoopPicture = std::function<void(const uint16_t* page, int32_t width, int32_t height)>;
bool render_loop_pictures(int32_t rate, const LoopPicture& picture);
