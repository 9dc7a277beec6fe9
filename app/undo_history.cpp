// The steps of a session as states, and going back and forth between them.
#include "app/undo_history.h"

#include <deque>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/animation_state.h"
#include "app/edited_object.h"
#include "app/outline.h"
#include "app/packed_pixels.h"
#include "app/screen.h"
#include "app/stroke_history.h"
#include "app/trace_image.h"
#include "geometry/render_list.h"

namespace {

// The page every frame draws and shows, which strokes go to while nothing is in the scene
// (the sketch page takes them while a part is added to a figure).
constexpr int32_t PICTURE_PAGE = 0;

// Every state is taken in a frame's input, after the frame cleared page 0 when a part is in
// the scene: page 0 put back is the clear page the figure is drawn on, as in the frames that
// first showed it, or the drawing with nothing in the scene.
struct State {
    Figure figure;
    Vec4 rotation = {0, 0, 0, 0};
    bool body_buffers = false;
    int32_t drawing_page = 0;
    // Page 0 whole, its last row included (strokes and fills reach it, clears do not); the
    // drawing page too when it is another and strokes go to it (a part's outline).
    PackedPixels picture_page;
    PackedPixels sketch_page;
    KeptStrokes strokes;
    AnimationState animation;
    // The picture traced under the drawing (app/trace_image.h), shared.
    std::shared_ptr<const TracePicture> trace;
};

// What the history holds, counted once however many states share it.
struct Held {
    int32_t count = 0;
    int64_t bytes = 0;
};

struct UndoHistory {
    std::deque<State> undo;   // the state before each step, oldest first
    std::vector<State> redo;  // the state after each step undone, the last undone last
    StepKind open = StepKind::NONE;
    State before_step;  // of the open step
    State before_action;
    std::unordered_map<const void*, Held> held;
    int64_t bytes = 0;
    bool dropped = false;  // steps were dropped
    bool told = false;     // and take_dropped_notice said so
};

UndoHistory history;

// Pixels of a page of the screen's size: the screen height plus its last row.
int64_t page_size() {
    return int64_t(screen_width()) * (int64_t(screen_height()) + 1);
}

bool sketching(const Figure& f, int32_t drawing_page) {
    return f.edited == NO_PART && f.part_count > 0 && drawing_page != PICTURE_PAGE;
}

State capture() {
    State s;
    s.figure = figure();
    s.rotation = figure_rotation();
    s.body_buffers = fine_vertex_base() != nullptr;
    s.drawing_page = drawing_page_index();
    s.picture_page = pack_pixels(page_pixels(PICTURE_PAGE), page_size());
    if (sketching(s.figure, s.drawing_page))
        s.sketch_page = pack_pixels(page_pixels(s.drawing_page), page_size());
    s.strokes = keep_strokes();
    s.animation = animation_state();
    s.trace = trace_picture();
    return s;
}

bool same_rotation(const Vec4& a, const Vec4& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
}

bool same_packed(const PackedPixels& a, const PackedPixels& b) {
    return a.pixels == b.pixels && a.runs == b.runs;
}

bool same_segments(const std::vector<StrokeSegment>& a, const std::vector<StrokeSegment>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].press != b[i].press || a[i].x0 != b[i].x0 || a[i].y0 != b[i].y0 ||
            a[i].x1 != b[i].x1 || a[i].y1 != b[i].y1 || a[i].pen != b[i].pen)
            return false;
    return true;
}

// Two kept states alike (runs are made the one way, so equal pixels make equal runs).
bool same_states(const State& a, const State& b) {
    return a.figure == b.figure && same_rotation(a.rotation, b.rotation) &&
           a.body_buffers == b.body_buffers && a.drawing_page == b.drawing_page &&
           same_packed(a.picture_page, b.picture_page) &&
           same_packed(a.sketch_page, b.sketch_page) && a.strokes.refused == b.strokes.refused &&
           a.strokes.stroke_count == b.strokes.stroke_count &&
           same_segments(a.strokes.segments, b.strokes.segments) &&
           same_packed(a.strokes.page_copy, b.strokes.page_copy) && a.animation == b.animation &&
           a.trace == b.trace;
}

// The state now is the kept one.
bool is_current(const State& s) {
    if (!(figure() == s.figure) || !same_rotation(figure_rotation(), s.rotation) ||
        (fine_vertex_base() != nullptr) != s.body_buffers ||
        drawing_page_index() != s.drawing_page || !strokes_as_kept(s.strokes) ||
        !(animation_state() == s.animation) || trace_picture() != s.trace)
        return false;
    if (!same_pixels(s.picture_page, page_pixels(PICTURE_PAGE), page_size())) return false;
    if (!sketching(s.figure, s.drawing_page)) return true;
    return same_pixels(s.sketch_page, page_pixels(s.drawing_page), page_size());
}

// --- What the history holds ---

int64_t mesh_bytes(const PartMesh& mesh) {
    return int64_t(sizeof(PartMesh)) + int64_t(mesh.vertices.capacity() * sizeof(Vec4)) +
           int64_t(mesh.fine.capacity() * sizeof(Vec4)) +
           int64_t(mesh.triangles.capacity() * sizeof(MeshTriangle)) +
           int64_t(mesh.normals.capacity() * sizeof(Vec4));
}

int64_t region_bytes(const RegionMask& region) {
    return int64_t(sizeof(RegionMask)) + int64_t(region.inside.capacity());
}

int64_t own_bytes(const State& s) {
    return int64_t(sizeof(State)) + packed_bytes(s.picture_page) + packed_bytes(s.sketch_page) +
           int64_t(s.strokes.segments.capacity() * sizeof(StrokeSegment)) +
           packed_bytes(s.strokes.page_copy) + animation_own_bytes(s.animation);
}

void hold(const void* record, int64_t bytes) {
    Held& h = history.held[record];
    if (h.count++ == 0) {
        h.bytes = bytes;
        history.bytes += bytes;
    }
}

void let_go(const void* record) {
    auto it = history.held.find(record);
    if (it == history.held.end()) return;
    if (--it->second.count > 0) return;
    history.bytes -= it->second.bytes;
    history.held.erase(it);
}

int64_t picture_bytes(const TracePicture& picture) {
    return int64_t(sizeof(TracePicture)) + int64_t(picture.pixels.capacity() * sizeof(uint16_t));
}

void count_in(const State& s) {
    history.bytes += own_bytes(s);
    if (s.trace != nullptr) hold(s.trace.get(), picture_bytes(*s.trace));
    for (int32_t i = 0; i < s.figure.part_count; ++i) {
        const FigurePart& part = s.figure.parts[i];
        if (part.mesh != nullptr) hold(part.mesh.get(), mesh_bytes(*part.mesh));
        if (part.region != nullptr) hold(part.region.get(), region_bytes(*part.region));
        if (part.painting != nullptr)
            hold(part.painting.get(),
                 int64_t(sizeof(PartPainting)) +
                     int64_t(part.painting->segments.capacity() * sizeof(PaintSegment)));
        if (part.painting != nullptr && part.painting->picture != nullptr)
            hold(part.painting->picture.get(), picture_bytes(*part.painting->picture));
    }
    for (const auto& motion : s.animation.motions)
        hold(motion.get(),
             int64_t(sizeof(Motion)) + int64_t(motion->samples.capacity() * sizeof(double)));
}

void count_out(const State& s) {
    history.bytes -= own_bytes(s);
    if (s.trace != nullptr) let_go(s.trace.get());
    for (int32_t i = 0; i < s.figure.part_count; ++i) {
        const FigurePart& part = s.figure.parts[i];
        if (part.mesh != nullptr) let_go(part.mesh.get());
        if (part.region != nullptr) let_go(part.region.get());
        if (part.painting != nullptr) let_go(part.painting.get());
        if (part.painting != nullptr && part.painting->picture != nullptr)
            let_go(part.painting->picture.get());
    }
    for (const auto& motion : s.animation.motions)
        let_go(motion.get());
}

// States are counted where they lie in the lists: a state is counted out before it moves.
void push_undo(State s) {
    history.undo.push_back(std::move(s));
    count_in(history.undo.back());
}

void push_redo(State s) {
    history.redo.push_back(std::move(s));
    count_in(history.redo.back());
}

State pop_undo() {
    count_out(history.undo.back());
    State s = std::move(history.undo.back());
    history.undo.pop_back();
    return s;
}

State pop_redo() {
    count_out(history.redo.back());
    State s = std::move(history.redo.back());
    history.redo.pop_back();
    return s;
}

void drop_redo() {
    while (!history.redo.empty())
        pop_redo();
}

// The oldest steps go while the bounds are passed.
void keep_bounds() {
    while (!history.undo.empty() &&
           (int32_t(history.undo.size()) > MAX_UNDO_STEPS || history.bytes > MAX_UNDO_BYTES)) {
        count_out(history.undo.front());
        history.undo.pop_front();
        history.dropped = true;
    }
}

// A step that changed the state is kept: it drops the steps undone before it.
void keep_step(State before) {
    drop_redo();
    push_undo(std::move(before));
    keep_bounds();
}

// --- Going back ---

// Drawing starts over on a clean page, as after F12.
void start_over() {
    discard_figure_objects();
    discard_object(NO_OBJECT);
}

// The body buffers in place exactly when the state had them, the figure's objects deleted
// first when they change: a single sheet goes into the buffers it was built in, whose room
// differs.
void put_buffers(bool body) {
    if ((fine_vertex_base() != nullptr) == body) return;
    discard_figure_objects();
    if (!body) {
        release_body_buffers();
    } else if (prepare_body_buffers() == 0) {
        adopt_body_buffers();
    }
}

void put_page(const PackedPixels& packed, int32_t page) {
    unpack_pixels(packed, page_pixels(page), page_size());
}

// The state back; false when its figure could not be emitted again (drawing starts over).
bool restore(const State& s) {
    bool whole = true;
    if (s.figure.part_count == 0) {
        start_over();
    } else {
        put_buffers(s.body_buffers);
        whole = restore_figure(s.figure) && figure() == s.figure;
        if (whole) {
            set_figure_rotation(s.rotation);
        } else {
            start_over();
        }
    }
    if (whole) {
        set_drawing_page(s.drawing_page);
        put_page(s.picture_page, PICTURE_PAGE);
        if (sketching(s.figure, s.drawing_page)) put_page(s.sketch_page, s.drawing_page);
        restore_strokes(s.strokes);
    }
    restore_trace_picture(s.trace);
    // The animation comes back with its figure; drawing starting over keeps none of it.
    restore_animation_state(whole ? s.animation : AnimationState{});
    return whole;
}

}  // namespace

void reset_undo_history() {
    history = UndoHistory{};
}

void begin_step(StepKind kind) {
    if (kind == StepKind::NONE) return;
    if (history.open != kind) end_step();
    if (history.open == StepKind::NONE) {
        history.before_step = capture();
        history.open = kind;
    }
}

void end_step() {
    if (history.open == StepKind::NONE) return;
    history.open = StepKind::NONE;
    State before = std::move(history.before_step);
    history.before_step = State{};
    if (!is_current(before)) keep_step(std::move(before));
}

StepKind open_step() {
    return history.open;
}

void begin_action() {
    history.before_action = capture();
}

void end_action() {
    State before = std::move(history.before_action);
    history.before_action = State{};
    if (is_current(before)) return;
    if (history.open != StepKind::NONE) {
        // The held step ends where the action began.
        history.open = StepKind::NONE;
        State held = std::move(history.before_step);
        history.before_step = State{};
        if (!same_states(held, before)) keep_step(std::move(held));
    }
    keep_step(std::move(before));
}

bool undo_step() {
    end_step();
    if (history.undo.empty()) return false;
    State back = pop_undo();
    push_redo(capture());
    // A state that could not come back stays the next to undo to.
    if (!restore(back)) push_undo(std::move(back));
    keep_bounds();
    return true;
}

bool redo_step() {
    end_step();
    if (history.redo.empty()) return false;
    State forward = pop_redo();
    push_undo(capture());
    if (!restore(forward)) push_redo(std::move(forward));
    keep_bounds();
    return true;
}

bool take_dropped_notice() {
    if (!history.dropped || history.told) return false;
    history.told = true;
    return true;
}

UndoHistoryStats undo_history_stats() {
    return {int32_t(history.undo.size()), int32_t(history.redo.size()), history.bytes};
}
