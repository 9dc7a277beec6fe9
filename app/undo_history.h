// Undo and redo: every step of a session kept as the state it began from.
//
// A state is a value: the figure's record (app/edited_object.h, whose parts share their meshes
// and regions with every other copy that has not changed them), its rotation, whether the body
// buffers are in place, which page strokes go to, page 0's pixels and, while a part's outline
// is drawn on it, the sketch page's (both as runs, app/packed_pixels.h), the strokes that
// can be taken back (app/stroke_history.h), and the animation's points, motions and pose
// (app/animate.h). That is everything the frame keeps between frames
// that a later frame's picture or input depends on: the outline grid and the kept region are
// filled afresh by every build, and page 0 is drawn afresh every frame while a part is in the
// scene.
//
// The frame (app/frame.cpp) says where steps begin and end. A step held over frames (a stroke,
// a hold of Z, a turn) begins with begin_step and ends with end_step; a step of one frame (a
// key, a right-click) is begin_action and end_action around it. A step is kept only when the
// state at its end differs from the one it began from, so that a click without a drag or a key
// that changed nothing leaves no step; a kept step drops the steps undone before it.
#pragma once

#include <cstdint>

// At most this many steps are kept, in at most this many bytes: the states' own bytes (their
// pages, strokes and records) and every mesh and region they hold, each counted once however
// many states share it. The oldest steps go first.
inline constexpr int32_t MAX_UNDO_STEPS = 256;
inline constexpr int64_t MAX_UNDO_BYTES = int64_t(64) << 20;

// The steps held over frames.
// While animating, a drag of a control point is a POSE, and a recording (R to R) one
// RECORD whatever is done during it.
enum class StepKind : int32_t { NONE, STROKE, Z_HOLD, TURN, POSE, RECORD };

// Start-up and shut-down: no step kept, none open.
void reset_undo_history();

// A step held over frames goes on (begins, unless one of its kind is open; one of another kind
// ends first).
void begin_step(StepKind kind);
// The open step ends; nothing without one.
void end_step();
StepKind open_step();

// Around a step of one frame. When it changed the state, the step held over frames that is open
// ends where the action began and the action is a step of its own; when it changed nothing, the
// open step goes on as if it had not been.
void begin_action();
void end_action();

// The open step ends, then the state before the last step (undo) or after the last step undone
// (redo) comes back: the figure emitted again, its rotation, the buffers, the pages and the
// strokes. False, changing nothing, when there is no such step. When the figure cannot be
// emitted again (the allocator's or a capacity message), drawing starts over on a clean page,
// and both states stay to go to: the same key tries again, the other one goes back.
bool undo_step();
bool redo_step();

// True once a session, the first time the oldest steps were dropped to keep the bounds.
bool take_dropped_notice();

struct UndoHistoryStats {
    int32_t undo_steps;
    int32_t redo_steps;
    int64_t bytes;  // as counted against MAX_UNDO_BYTES
};
UndoHistoryStats undo_history_stats();
