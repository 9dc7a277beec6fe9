// One frame: pacing, drawing or editing input, transform, render, presentation.
#include "app/frame.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <utility>

#include "app/animate.h"
#include "app/colour_strokes.h"
#include "app/figure.h"
#include "app/inflate.h"
#include "app/input.h"
#include "app/outline.h"
#include "app/part_attachment.h"
#include "app/part_colours.h"
#include "app/part_mark.h"
#include "app/push_brush.h"
#include "app/screen.h"
#include "app/session_recorder.h"
#include "app/session_save.h"
#include "app/shell.h"
#include "app/stroke_history.h"
#include "app/trace_image.h"
#include "app/undo_history.h"
#include "app/view_zoom.h"
#include "geometry/animation.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "raster/render_frame.h"

namespace {

// Bytes of the frame-rate title, terminator included; "fps = -2147483648" fits.
constexpr int TITLE_TEXT_SIZE = 32;
// How long the title tells where a save went, or why a click did nothing, in milliseconds.
constexpr uint32_t TITLE_NOTICE_MS = 3000;

constexpr FrameState INITIAL_FRAME_STATE = {FRAME_INTERVAL_MS, 0, 0, FRAME_INTERVAL_MS};

FrameState frame = INITIAL_FRAME_STATE;

// Whether each key that acts once per press was down at its previous query.
struct OncePerPressKeys {
    bool backspace_down;
    bool delete_down;
    bool s_down;
    bool n_down;
    bool m_down;
    bool tab_down;
    bool z_down;
    bool y_down;
    bool brush_smaller_down;
    bool brush_larger_down;
    bool colour_down[COLOUR_KEY_COUNT];
};

// The page strokes go to while a part is added to a figure.
constexpr int32_t SKETCH_PAGE = 1;
OncePerPressKeys once_keys = {};
// The pen the left button draws with (app/stroke_history.h), chosen with the
// colour keys while drawing: key k is pen k - 1. A setting, not a step, kept
// until another key chooses another; the black pen at start-up.
int32_t drawing_pen = BLACK_PEN;

// What the title says after a save or a click that did nothing, beside the frame rate, for a
// few seconds.
struct TitleNotice {
    bool shown;
    uint32_t since;  // tick when the work that made it ended
    std::string text;
};
TitleNotice title_notice = {};

// The notice is timed from now, when the work that made it is done, and not
// from the start of its frame: a save that takes longer than the notice lasts
// would otherwise be shown for that one frame only.
void show_title_notice(std::string text) {
    title_notice = {true, platform_tick(), std::move(text)};
}

// The function keys act only while held: the high byte of the key state.
bool key_held(int virtual_key) {
    return (key_state(virtual_key) >> 8) != 0;
}

// A take-back key acts once per press: when it is down now after being up at
// the previous query, or, up now and up then, was pressed since (a tap between
// two frames). The pressed-since bit of a key that was down at the previous
// query is ignored, held or let go since: the keyboard's auto-repeat sets it
// again and again while the key is held, and holding the key, then letting
// it go, must not take back one stroke after another.
bool pressed_once(uint16_t state, bool* was_down) {
    bool down = (state >> 8) != 0;
    bool pressed = !*was_down && (down || (state & 1) != 0);
    *was_down = down;
    return pressed;
}

bool key_pressed_once(int virtual_key, bool* was_down) {
    return pressed_once(key_state(virtual_key), was_down);
}

// The keys that work with Ctrl, each asked once a frame in either mode. Ctrl
// acts when any bit of its state is set (held now, or pressed since the
// previous frame), so that Ctrl and a key tapped together between two frames
// count. Alone, Z faces the figure front and pushes in editing mode, whenever
// any bit of its state is set; with Ctrl it undoes, once a press, in either
// mode. A press of Z while drawing means nothing, and is not kept for the
// first frame of editing. Y with Ctrl, and Z with Ctrl and Shift, redo.
// Shift, held or pressed since the previous frame, also puts a part built by
// a right-click behind the part under it.
struct CommandKeys {
    bool control;
    bool shift;
    bool z_active;   // Z faces and pushes this frame
    bool z_pressed;  // Z went down since the previous frame
    bool undo;
    bool redo;
};

CommandKeys command_keys(bool editing) {
    CommandKeys keys = {};
    keys.control = key_state(KEY_CONTROL) != 0;
    keys.shift = key_state(KEY_SHIFT) != 0;
    const uint16_t z = key_state(KEY_Z);
    keys.z_pressed = pressed_once(z, &once_keys.z_down);
    keys.z_active = editing && !keys.control && z != 0;
    const bool y_pressed = key_pressed_once(KEY_Y, &once_keys.y_down);
    keys.undo = keys.control && keys.z_pressed && !keys.shift;
    keys.redo = keys.control && !keys.undo && (y_pressed || (keys.z_pressed && keys.shift));
    return keys;
}

// A step of one frame (app/undo_history.h): kept when it changed the state.
template <typename Action>
void act(Action action) {
    begin_action();
    action();
    end_action();
}

// The step held over frames that goes on this frame: a stroke while the left
// button is held in drawing mode, a hold of Z, or a turn while a button is held
// in editing mode. The open one ends when it does not go on, and when its
// button or key was pressed again since the previous frame (a new stroke, a
// new drag).
void settle_held_step(bool editing, int32_t buttons, const CommandKeys& keys) {
    const int32_t pressed = mouse_state().pressed_since_frame;
    StepKind going_on = StepKind::NONE;
    bool again = false;
    if (!editing) {
        if ((buttons & BUTTON_LEFT) != 0) going_on = StepKind::STROKE;
        again = (pressed & BUTTON_LEFT) != 0;
    } else if (animating()) {
        // A recording goes on over every press until R stops it.
        going_on = animate_held_step(buttons);
        again = going_on != StepKind::RECORD && (pressed & (BUTTON_LEFT | BUTTON_RIGHT)) != 0;
    } else if (keys.z_active) {
        going_on = StepKind::Z_HOLD;
        again = keys.z_pressed;
    } else if ((buttons & (BUTTON_LEFT | BUTTON_RIGHT)) != 0) {
        going_on = StepKind::TURN;
        again = (pressed & (BUTTON_LEFT | BUTTON_RIGHT)) != 0;
    }
    if (open_step() != going_on || again) end_step();
}

// The figure's keys act once per press; each is asked every frame in either
// mode, so that a press made while it means nothing is not kept for later.
struct FigureKeys {
    bool add;     // N
    bool mirror;  // M
    bool next;    // Tab
};

FigureKeys figure_keys() {
    return {key_pressed_once(KEY_N, &once_keys.n_down), key_pressed_once(KEY_M, &once_keys.m_down),
            key_pressed_once(KEY_TAB, &once_keys.tab_down)};
}

// The colour keys 1..8, once a press, each asked every frame in every mode, so
// that a press made while it means nothing is not kept for later: the last of
// them pressed (1..8), 0 for none.
int32_t colour_key_pressed() {
    int32_t pressed = 0;
    for (int32_t k = 0; k < COLOUR_KEY_COUNT; ++k)
        if (key_pressed_once(KEY_COLOUR_FIRST + k, &once_keys.colour_down[k])) pressed = k + 1;
    return pressed;
}

// F12: every part goes, and drawing starts over on a clean page, as for the
// single object.
void discard_figure() {
    discard_figure_objects();
    discard_object(NO_OBJECT);
}

// After a change that left no part (its object could not be made): drawing
// starts over on a clean page, as after a failed build.
void start_over_when_empty() {
    if (figure().part_count == 0) discard_figure();
}

// N: the edited part stays as it is and the figure, turned to face the
// viewer, waits for the outline of a new part, drawn over it on the sketch
// page. Nothing when the figure cannot move into the body buffers.
void start_adding_part() {
    const bool adding = begin_adding_part();
    start_over_when_empty();
    if (!adding || figure().part_count == 0) return;
    face_figure_to_viewer();
    forget_strokes();
    set_drawing_page(SKETCH_PAGE);
    clear_page_as_new(SKETCH_PAGE);
}

// Tab: editing moves to the part after the one edited (or edited last).
void edit_next_part() {
    const Figure& f = figure();
    if (f.part_count == 0) return;
    const int32_t from = f.edited != NO_PART ? f.edited : f.last_edited;
    edit_figure_part(from + 1 < f.part_count ? from + 1 : 0);
}

// A right-click: the sheet of the outline around it joins the figure, the
// figure's first part on the sheet plane (unplaced, unless the wheel moved the
// eye), a part added later (from the sketch page) attached to the part under
// the click, in front of it or, with Shift, behind it; on the sheet plane when
// drawn over nothing.
void build_figure_part(int32_t x, int32_t y, bool behind) {
    int32_t depth = 0;
    int32_t parent = NO_PART;
    if (figure().part_count > 0) {
        int32_t cx = x, cy = y;
        platform_screen_to_client(&cx, &cy);
        parent = part_under_point(cx, cy, &depth);
    }
    build_sheet_part(x, y, placement_at_depth(depth), parent, behind);
}

void handle_drawing_input(int32_t x, int32_t y, int32_t buttons, bool shift) {
    // A press of I while drawing means nothing, and is not kept for the sheet
    // still to be built; nor are N and M. The colour keys choose the pen.
    key_state(KEY_I);
    if (const int32_t key = colour_key_pressed(); key != 0) drawing_pen = key - 1;
    const FigureKeys keys = figure_keys();
    const bool adding = figure().part_count > 0;
    if (adding && key_held(KEY_F12)) {
        act(discard_figure);
        return;
    }
    if (adding && keys.next) {
        // Back to editing; the outline drawn so far is dropped.
        act([] {
            forget_strokes();
            edit_next_part();
        });
        return;
    }
    // Strokes are taken back before this frame's segment is drawn: a stroke
    // still being drawn goes as far as it has come and goes on as a new one.
    if (key_pressed_once(KEY_DELETE, &once_keys.delete_down)) act(take_back_all_strokes);
    if (key_pressed_once(KEY_BACKSPACE, &once_keys.backspace_down)) act(take_back_last_stroke);
    if ((buttons & BUTTON_LEFT) != 0) {
        int32_t px = 0;
        int32_t py = 0;
        previous_mouse_position(&px, &py);
        begin_step(StepKind::STROKE);
        draw_stroke(px, py, x, y, drawing_pen);
    }
    if ((buttons & BUTTON_RIGHT) != 0 && point_on_stroke(x, y)) {
        // The fill would stop at once: nothing is built, and the drawing stays.
        show_title_notice("nothing built: the click is on the outline; right-click inside it");
    } else if ((buttons & BUTTON_RIGHT) != 0) {
        act([x, y, shift] { build_figure_part(x, y, shift); });
    }
}

// The part a push at client pixel (x, y) acts on: the part under the cursor;
// in a figure of one part, the edited one, however far the cursor is.
int32_t pushed_part(int32_t x, int32_t y) {
    const Figure& f = figure();
    if (f.part_count < 2) return f.edited;
    int32_t depth = 0;
    const int32_t part = part_under_point(x, y, &depth);
    return part != NO_PART ? part : f.edited;
}

// Z with a button: the part under the cursor is pushed at the model point
// under it.
void push_under_cursor(int32_t x, int32_t y, int32_t delta) {
    platform_screen_to_client(&x, &y);
    const int32_t part = pushed_part(x, y);
    if (part == NO_PART) return;
    int64_t mx = 0, my = 0;
    cursor_in_part(figure().parts[part].placement, x, y, &mx, &my);
    push_part_vertices(part, mx, my, delta);
}

// While Z is held over a body, the brush's circle around the cursor, after the
// picture is drawn; a sheet's push has no brush.
void show_push_brush(int32_t x, int32_t y) {
    platform_screen_to_client(&x, &y);
    const int32_t part = pushed_part(x, y);
    if (part == NO_PART || figure().parts[part].kind != EDITED_BODY) return;
    const int32_t radius =
        brush_circle_radius(brush_radius(), figure().parts[part].placement, eye_distance());
    draw_brush_circle(current_page_pixels(), screen_width(), screen_height(), x, y, radius);
}

// The least view depth of the figure's vertices as the camera sees them now:
// the figure placed and transformed first (the frame does it again after its
// input), so that a part emitted since the last frame counts too. INT32_MAX
// without one.
int32_t nearest_figure_depth() {
    if (figure().part_count == 0) return INT32_MAX;
    place_figure();
    transform_scene();
    int32_t nearest = INT32_MAX;
    for (int32_t i = 0; i < figure().part_count; ++i) {
        const EditedObject& part = part_object(i);
        for (int32_t k = 0; k < part.vertex_count; ++k)
            if (const ScreenVertex* v = screen_vertex_at(part.first_vertex + k); v != nullptr)
                nearest = std::min(nearest, v->z);
    }
    return nearest;
}

// [ and ], once a press in either mode: the push brush a step smaller or larger.
void step_brush_keys() {
    if (key_pressed_once(KEY_BRUSH_SMALLER, &once_keys.brush_smaller_down)) step_brush_radius(-1);
    if (key_pressed_once(KEY_BRUSH_LARGER, &once_keys.brush_larger_down)) step_brush_radius(+1);
}

// M: the mirror of the edited part joins the figure; editing stays on the part.
void mirror_edited_part() {
    const int32_t part = figure().edited;
    FigurePart mirror;
    if (!mirrored_part(part, &mirror)) return;
    const bool added = add_figure_part(std::move(mirror));
    start_over_when_empty();
    if (added) edit_figure_part(part);
}

// Backspace: the edited part leaves a figure of several; the only part stays
// (F12 throws it away).
void remove_edited_part() {
    const Figure& f = figure();
    if (f.part_count < 2) return;
    remove_figure_part(f.edited);
    start_over_when_empty();
}

void handle_editing_input(int32_t x, int32_t y, int32_t buttons, bool z_active) {
    int32_t dx = 0;
    int32_t dy = 0;
    mouse_delta(&dx, &dy);
    // The edited part's object holds the figure's rotation.
    Vec4* angles = get_object_rotation(edited_object().index);
    if (z_active) {
        begin_step(StepKind::Z_HOLD);
        face_figure_to_viewer();
        if ((buttons & BUTTON_LEFT) != 0) {
            push_under_cursor(x, y, -1);
        } else if ((buttons & BUTTON_RIGHT) != 0) {
            push_under_cursor(x, y, +1);
        }
    } else if ((buttons & (BUTTON_LEFT | BUTTON_RIGHT)) != 0 && angles != nullptr) {
        // Dragging down turns about x one way, dragging right about y; angles
        // wrap within one turn.
        begin_step(StepKind::TURN);
        angles->x = (angles->x - dy) & ANGLE_MASK;
        angles->y = (angles->y - dx) & ANGLE_MASK;
    }
    // I, held or tapped since the previous frame, turns the sheet into a
    // closed body; on a body it does nothing.
    if (key_state(KEY_I) != 0) act(inflate_edited_object);
    // Every held key takes effect, in this order, so the last one wins.
    const int function_keys[] = {KEY_F1, KEY_F2, KEY_F3};
    for (int32_t mode = 0; mode < 3; ++mode)
        if (key_held(function_keys[mode])) act([mode] { set_part_shading(figure().edited, mode); });
    if (const int32_t key = colour_key_pressed(); key != 0)
        act([key] { set_part_colour(figure().edited, part_colour_of_key(key)); });
    const FigureKeys keys = figure_keys();
    if (keys.mirror) act(mirror_edited_part);
    if (key_pressed_once(KEY_BACKSPACE, &once_keys.backspace_down)) act(remove_edited_part);
    if (keys.next) act(edit_next_part);
    if (keys.add) act(start_adding_part);
    if (key_held(KEY_F12)) act(discard_figure);
}

// Ctrl+Z and Ctrl+Y (or Ctrl+Shift+Z) before the frame's other input: the open
// step ends and the last one is undone, or the last one undone is redone.
void undo_or_redo(const CommandKeys& keys) {
    if (keys.undo) undo_step();
    if (keys.redo) redo_step();
}

}  // namespace

void reset_frame_state() {
    frame = INITIAL_FRAME_STATE;
    once_keys = {};
    drawing_pen = BLACK_PEN;
    title_notice = TitleNotice{};
}
const FrameState& frame_state() {
    return frame;
}
int32_t selected_object() {
    return edited_object().index;
}

void inflate_edited_object() {
    const int32_t part = figure().edited;
    FigurePart body;
    if (!plan_body(part, &body)) return;
    // The body, and the parts attached to it, placed where they meet the
    // parts they were drawn over.
    Figure placed = figure();
    placed.parts[part] = std::move(body);
    place_attached_parts(&placed, part);
    replace_figure_part(part, placed);
    start_over_when_empty();
}
bool shell_save(std::string* report) {
    const bool saved = save_session(report);
    show_title_notice((saved ? "saved " : "not saved: ") + *report);
    return saved;
}

void set_frame_interval(uint32_t milliseconds) {
    frame.frame_interval = milliseconds;
}

void run_frame(PlatformWindow window) {
    {
        // The recorder notes the state this frame starts from, in client pixels.
        int32_t x = mouse_state().x;
        int32_t y = mouse_state().y;
        platform_screen_to_client(&x, &y);
        record_frame(x, y, platform_peek_key_state);
    }
    begin_frame(window);
    // An export between frames had the figure emitted whole: cut again.
    end_whole_export_drawing();
    // The picture is drawn afresh every frame while anything is in the scene;
    // strokes are drawn straight into it only while the figure is empty.
    if (figure().part_count > 0) clear_screen();
    int32_t x = 0;
    int32_t y = 0;
    int32_t buttons = mouse_position(&x, &y);
    // Animating needs a part to pose: undoing back to drawing ends it.
    if (edited_object().index == NO_OBJECT) leave_animation();
    const CommandKeys keys = command_keys(edited_object().index != NO_OBJECT);
    settle_held_step(edited_object().index != NO_OBJECT, buttons, keys);
    // The view and the brush are settings, not steps: they change first, and
    // the frame's other input acts through them.
    apply_wheel_notches(waiting_wheel_notches() > 0 ? nearest_figure_depth() : INT32_MAX);
    step_brush_keys();
    undo_or_redo(keys);
    {
        const bool picture_waits = trace_image_waiting();
        if (picture_waits) begin_action();
        apply_waiting_trace_image();
        if (picture_waits) end_action();
    }
    if (edited_object().index == NO_OBJECT) leave_animation();
    const AnimateKeys animate_keys = read_animate_keys();
    if (animate_keys.toggle && edited_object().index != NO_OBJECT) {
        const char* refusal = nullptr;
        toggle_animation(&refusal);
        if (refusal != nullptr) show_title_notice(refusal);
    }
    if (edited_object().index == NO_OBJECT) {
        handle_drawing_input(x, y, buttons, keys.shift);
    } else if (animating()) {
        // The modelling keys are asked, so that a press made while animating
        // is not kept for later, and mean nothing.
        figure_keys();
        key_state(KEY_I);
        colour_key_pressed();
        key_pressed_once(KEY_BACKSPACE, &once_keys.backspace_down);
        handle_animate_input(x, y, buttons, animate_keys);
    } else {
        handle_editing_input(x, y, buttons, keys.z_active);
    }
    update_pose();
    if (take_dropped_notice()) show_title_notice("undo history full: the oldest steps are dropped");
    end_frame_clicks();
    // Ctrl+S, in either mode: S pressed once while Ctrl is held, or with both
    // tapped since the previous frame. Both keys are asked every frame, so
    // that a press of Ctrl long ago does not count.
    const bool s_pressed = key_pressed_once(KEY_S, &once_keys.s_down);
    const bool save = keys.control && s_pressed;
    place_figure();
    transform_scene();
    render_frame();
    if (animating()) {
        draw_control_points();
    } else {
        mark_edited_part();
        if (keys.z_active && edited_object().index != NO_OBJECT) show_push_brush(x, y);
    }
    // While a part is added, the outline drawn so far shows over the figure;
    // the colour strokes show over the picture in drawing mode, until the
    // picture has been presented (and saved).
    if (edited_object().index == NO_OBJECT) {
        overlay_strokes();
        show_colour_strokes();
    }
    advance_animations();
    present_frame();
    // Saved after the presentation: the page then holds the picture just shown.
    if (save) {
        std::string report;
        shell_save(&report);
    }
    hide_colour_strokes();
}

void begin_frame(PlatformWindow window) {
    set_main_window(window);
    platform_acquire_window_context();
    // Unsigned subtraction gives the elapsed ticks modulo 2^32, right across
    // the counter's wrap.
    uint32_t now = platform_tick();
    while (now - frame.last_frame_tick < frame.frame_interval)
        now = platform_tick();
    frame.last_frame_interval = now - frame.last_frame_tick;
    frame.last_frame_tick = now;
}

void present_frame() {
    frame.frame_time_average = (frame.frame_time_average + frame.last_frame_interval) >> 1;
    // Every interval after the first is at least frame_interval, so the
    // average stays above 0; the guard only matters for an interval of 0.
    uint64_t average = frame.frame_time_average > 0 ? frame.frame_time_average : 1;
    char title[TITLE_TEXT_SIZE];
    std::snprintf(title, sizeof title, "fps = %d", int(1000 / average));
    // For a few seconds after a save the title says where it went.
    // The frame that made the notice started before it (a negative age).
    if (title_notice.shown &&
        int32_t(frame.last_frame_tick - title_notice.since) < int32_t(TITLE_NOTICE_MS)) {
        platform_set_title((std::string(title) + " - " + title_notice.text).c_str());
    } else {
        title_notice.shown = false;
        platform_set_title(title);
    }
    platform_present_page(current_page_index(), screen_width(), screen_height());
    platform_release_window_context();
    flip_screen_page();
}
