// The animation mode: control points, posing by drag, recording and playing.
#include "app/animate.h"

#include <algorithm>
#include <cmath>

#include "app/edited_object.h"
#include "app/figure.h"
#include "app/input.h"
#include "app/screen.h"
#include "geometry/camera.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/kept_loop_poses.h"
#include "geometry/matrix.h"
#include "geometry/render_list.h"
#include "raster/render_frame.h"

namespace {

// What a press of a button does until it is let go.
enum class Gesture : int32_t { NONE, DRAG, TURN, DONE };

// The rig and the posed meshes follow from the state and the figure; they are
// made again when either changes.
struct Animation {
    bool on = false;
    uint32_t restores = 0;  // animation_restores() as last seen
    // The rig, for the figure's meshes (held, so that they outlive it) and
    // placements and the state's points it was built for.
    PoseRig rig;
    uint64_t rig_builds = 0;
    std::vector<std::shared_ptr<const PartMesh>> rig_meshes;
    std::vector<PartPlacement> rig_placements;
    std::vector<PoseHandle> rig_points;
    // Per part, the mesh the figure is drawn from while posed, and the posed
    // fine positions; whether the pools hold a posed figure.
    std::vector<PartMesh> posed;
    std::vector<Vec4> fine;
    bool drawn_posed = false;
    // The playing loop's poses as solved on its first pass, looked up on the
    // next ones.
    KeptLoopPoses loop_poses;
    // The press under way.
    Gesture left = Gesture::NONE;
    Gesture right = Gesture::NONE;
    int32_t dragged = -1;
    // Whether the dragged point has left the place it was taken at: a click
    // without a move changes nothing.
    bool drag_moved = false;
    // The recording under way: its point, and the loop's phase and target of
    // each frame recorded.
    int32_t recorded = -1;
    std::vector<int32_t> recorded_phase;
    std::vector<double> recorded_target;
    // Keys that act once a press.
    bool a_down = false, r_down = false, space_down = false;
};

Animation anim;

bool same_handle(const PoseHandle& a, const PoseHandle& b) {
    return a.part == b.part && a.triangle == b.triangle && a.b[0] == b.b[0] && a.b[1] == b.b[1] &&
           a.b[2] == b.b[2];
}

// After undo or redo put a state back: the drag and recording under way are
// dropped.
void notice_restore() {
    if (anim.restores == animation_restores()) return;
    anim.restores = animation_restores();
    anim.dragged = -1;
    if (anim.left == Gesture::DRAG) anim.left = Gesture::DONE;
    anim.recorded = -1;
    anim.recorded_phase.clear();
    anim.recorded_target.clear();
}

// Down now after being up at the previous query, or tapped between two
// queries (as the frame's own keys).
bool pressed_once(int virtual_key, bool* was_down) {
    const uint16_t s = key_state(virtual_key);
    const bool down = (s >> 8) != 0;
    const bool pressed = !*was_down && (down || (s & 1) != 0);
    *was_down = down;
    return pressed;
}

bool figure_has_body() {
    const Figure& f = figure();
    for (int32_t i = 0; i < f.part_count; ++i)
        if (f.parts[i].kind == EDITED_BODY) return true;
    return false;
}

// --- The rig ---

bool rig_is_current() {
    const Figure& f = figure();
    if (int32_t(anim.rig_meshes.size()) != f.part_count) return false;
    for (int32_t i = 0; i < f.part_count; ++i)
        if (anim.rig_meshes[size_t(i)] != drawn_mesh(i) ||
            !(anim.rig_placements[size_t(i)] == f.parts[i].placement))
            return false;
    const std::vector<ControlPoint>& points = animation_record().points;
    if (points.size() != anim.rig_points.size()) return false;
    for (size_t h = 0; h < points.size(); ++h)
        if (!same_handle(points[h].at, anim.rig_points[h])) return false;
    return true;
}

// The rig for the figure and the points as they are now; invalid without a
// point (the rest shape is drawn then).
void keep_rig_current() {
    if (rig_is_current()) return;
    ++anim.rig_builds;
    const Figure& f = figure();
    anim.rig_meshes.clear();
    anim.rig_placements.clear();
    anim.rig_points.clear();
    std::vector<PosePart> parts;
    for (int32_t i = 0; i < f.part_count; ++i) {
        const FigurePart& p = f.parts[i];
        anim.rig_meshes.push_back(drawn_mesh(i));
        anim.rig_placements.push_back(p.placement);
        parts.push_back({anim.rig_meshes.back().get(), p.placement.depth, p.placement.offset_x,
                         p.placement.scale, p.parent != NO_PART ? p.parent : POSE_NO_PART});
    }
    for (const ControlPoint& point : animation_record().points)
        anim.rig_points.push_back(point.at);
    if (anim.rig_points.empty() ||
        !build_pose_rig(parts.data(), int32_t(parts.size()), anim.rig_points.data(),
                        int32_t(anim.rig_points.size()), &anim.rig))
        anim.rig = PoseRig{};
}

// --- Drawing the pose ---

// The rest shape over the emitted vertices, when a pose was drawn there.
void draw_rest() {
    if (!anim.drawn_posed) return;
    for (int32_t i = 0; i < figure().part_count; ++i)
        draw_part_from(i, *drawn_mesh(i));
    anim.drawn_posed = false;
    draw_figure_posed(false);
}

// The mesh a part is drawn from in a pose: its posed fine positions `fine`,
// whole positions rounded from them (a vertex the pose leaves where it was
// keeps its own whole position, so that an unmoved part shows as at rest), and
// normals computed again. Nothing when `fine` is not one per vertex.
void pose_part_mesh(const PartMesh& rest, const std::vector<Vec4>& fine, PartMesh* posed) {
    if (posed->triangles.size() != rest.triangles.size() ||
        posed->vertices.size() != rest.vertices.size())
        *posed = rest;
    if (fine.size() != rest.vertices.size()) return;
    const bool body = rest.fine.size() == rest.vertices.size();
    for (size_t v = 0; v < rest.vertices.size(); ++v) {
        const Vec4& at = fine[v];
        const Vec4 rest_fine =
            body ? rest.fine[v]
                 : Vec4{rest.vertices[v].x * FINE_ONE, rest.vertices[v].y * FINE_ONE,
                        rest.vertices[v].z * FINE_ONE, at.w};
        const bool moved = at.x != rest_fine.x || at.y != rest_fine.y || at.z != rest_fine.z;
        Vec4 whole = moved ? round_fine_position(at) : rest.vertices[v];
        whole.w = rest.vertices[v].w;
        posed->vertices[v] = whole;
        if (body) posed->fine[v] = at;
    }
    refresh_part_normals(posed);
}

// The pose over the emitted vertices, each part as pose_part_mesh gives it.
void draw_pose() {
    const Figure& f = figure();
    if (!anim.rig.valid || animation_record().pose.position.empty()) {
        draw_rest();
        return;
    }
    anim.posed.resize(size_t(f.part_count));
    draw_figure_posed(true);
    for (int32_t i = 0; i < f.part_count; ++i) {
        posed_part_positions(anim.rig, animation_record().pose, i, &anim.fine);
        if (anim.fine.size() != anim.rig_meshes[size_t(i)]->vertices.size()) continue;
        pose_part_mesh(*anim.rig_meshes[size_t(i)], anim.fine, &anim.posed[size_t(i)]);
        draw_part_from(i, anim.posed[size_t(i)]);
    }
    anim.drawn_posed = true;
}

// --- The loop as samples ---

// A loop being sampled: its own rig over the figure's meshes (held), a copy of
// the points' targets and of the motions, and the pose as the loop carries it
// up to loop frame `frame` (-1 before the first).
struct LoopSampler {
    std::vector<std::shared_ptr<const PartMesh>> meshes;
    PoseRig rig;
    std::vector<std::shared_ptr<const Motion>> motions;
    std::vector<double> targets;  // 3 per point
    PoseState start;
    PoseState pose;
    int32_t period = 0;
    int32_t rate = LOOP_SAMPLES_PER_SECOND;
    int32_t frame = -1;
};

// Steps the copy of the loop on to `frame`, as update_pose plays it: each
// frame's targets from the motions, one solve a frame, every pass from the
// loop's first pose.
void sample_loop_to(LoopSampler* loop, int32_t frame) {
    if (frame < loop->frame) loop->frame = -1;
    while (loop->frame < frame) {
        ++loop->frame;
        if (loop->frame == 0) loop->pose = loop->start;
        for (const auto& m : loop->motions)
            for (int a = 0; a < 3; ++a)
                loop->targets[size_t(m->point) * 3 + size_t(a)] =
                    m->samples[size_t(loop->frame) * 3 + size_t(a)];
        solve_pose(loop->rig, reinterpret_cast<const double(*)[3]>(loop->targets.data()),
                   &loop->pose);
    }
}

// --- Between the figure and the picture ---

double entry(const Matrix& m, int r, int c) {
    return double(m.m[r * 4 + c]) / FIXED_ONE;
}

// A 3x3 matrix's inverse (rows of row vectors, as the matrices here); the
// identity for a singular one.
void invert3(const double a[3][3], double out[3][3]) {
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (det == 0 || !std::isfinite(det)) {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                out[r][c] = r == c ? 1.0 : 0.0;
        return;
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            out[r][c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
        }
}

// From figure coordinates to the view (x, y, depth), as the frame turns the
// figure about its centre and the camera sees it, and back.
struct ViewOfFigure {
    double turn[3][3], turn_inverse[3][3];
    double camera[3][3], camera_inverse[3][3];
    double camera_shift[3];
    double pivot[3];
};

ViewOfFigure view_of_figure() {
    ViewOfFigure v;
    Matrix turn;
    const Vec4 angles = figure_rotation();
    matrix_rotation(&turn, &angles);
    const Matrix& camera = *build_camera_matrix();
    const Vec4 pivot = figure_pivot();
    const double p[3] = {double(pivot.x), double(pivot.y), double(pivot.z)};
    for (int r = 0; r < 3; ++r) {
        v.pivot[r] = p[r];
        v.camera_shift[r] = entry(camera, 3, r);
        for (int c = 0; c < 3; ++c) {
            v.turn[r][c] = entry(turn, r, c);
            v.camera[r][c] = entry(camera, r, c);
        }
    }
    invert3(v.turn, v.turn_inverse);
    invert3(v.camera, v.camera_inverse);
    return v;
}

// Row vector times matrix.
void times(const double in[3], const double m[3][3], double out[3]) {
    for (int c = 0; c < 3; ++c)
        out[c] = in[0] * m[0][c] + in[1] * m[1][c] + in[2] * m[2][c];
}

void figure_to_view(const ViewOfFigure& v, const double at[3], double out[3]) {
    const double from_pivot[3] = {at[0] - v.pivot[0], at[1] - v.pivot[1], at[2] - v.pivot[2]};
    double turned[3];
    times(from_pivot, v.turn, turned);
    const double world[3] = {turned[0] + v.pivot[0], turned[1] + v.pivot[1],
                             turned[2] + v.pivot[2]};
    times(world, v.camera, out);
    for (int a = 0; a < 3; ++a)
        out[a] += v.camera_shift[a];
}

void view_to_figure(const ViewOfFigure& v, const double view[3], double out[3]) {
    const double unshifted[3] = {view[0] - v.camera_shift[0], view[1] - v.camera_shift[1],
                                 view[2] - v.camera_shift[2]};
    double world[3];
    times(unshifted, v.camera_inverse, world);
    const double from_pivot[3] = {world[0] - v.pivot[0], world[1] - v.pivot[1],
                                  world[2] - v.pivot[2]};
    double turned[3];
    times(from_pivot, v.turn_inverse, turned);
    for (int a = 0; a < 3; ++a)
        out[a] = turned[a] + v.pivot[a];
}

// The figure point at `from`'s view depth that shows on client pixel (x, y):
// the projection's focal length is 256 pixels about the screen centre.
void under_pixel_at_depth(const double from[3], int32_t x, int32_t y, double out[3]) {
    const ViewOfFigure v = view_of_figure();
    double view[3];
    figure_to_view(v, from, view);
    if (view[2] < 1) {
        for (int a = 0; a < 3; ++a)
            out[a] = from[a];
        return;
    }
    const double at[3] = {double(x - screen_centre_x()) * view[2] / 256.0,
                          double(y - screen_centre_y()) * view[2] / 256.0, view[2]};
    view_to_figure(v, at, out);
}

// The posed surface's place under point h (the rest place without a pose).
void posed_place(int32_t h, double out[3]) {
    if (anim.rig.valid && !animation_record().pose.position.empty()) {
        posed_handle_position(anim.rig, animation_record().pose, h, out);
    } else {
        rest_handle_position(anim.rig, h, out);
    }
}

// The point whose disc is nearest client pixel (x, y), within reach; -1.
int32_t point_near(int32_t x, int32_t y) {
    int32_t best = -1;
    int64_t best_d = int64_t(CONTROL_POINT_REACH) * CONTROL_POINT_REACH;
    for (int32_t h = 0; h < int32_t(animation_record().points.size()); ++h) {
        int32_t px = 0, py = 0;
        if (!control_point_on_screen(h, &px, &py)) continue;
        const int64_t d = int64_t(px - x) * (px - x) + int64_t(py - y) * (py - y);
        if (d <= best_d) {
            best_d = d;
            best = h;
        }
    }
    return best;
}

// The pools as the user sees them: posed, placed and transformed.
void transform_as_drawn() {
    keep_rig_current();
    draw_pose();
    place_figure();
    transform_scene();
}

// --- Steps ---

// A step of one frame, kept when it changed the state (app/undo_history.h).
template <typename Action>
void act(Action action) {
    begin_action();
    action();
    end_action();
}

// The loop's next pass starts from the pose it then has.
void restart_loop() {
    animation_record().loop_started = false;
    animation_record().loop_start = PoseState{};
}

// A point on the surface under client pixel (x, y), held where it lies;
// false when no part is under it or the points are all placed.
bool place_point(int32_t x, int32_t y) {
    AnimationState& s = animation_record();
    if (int32_t(s.points.size()) >= MAX_CONTROL_POINTS) return false;
    const SurfaceHit hit = surface_as_drawn(x, y);
    if (hit.part == NO_PART) return false;
    ControlPoint point = {
        {hit.part, hit.triangle, {hit.b[0], hit.b[1], hit.b[2]}}, {0, 0, 0}, drawn_mesh(hit.part)};
    s.points.push_back(point);
    keep_rig_current();
    if (!anim.rig.valid) {
        s.points.pop_back();
        keep_rig_current();
        return false;
    }
    const auto h = int32_t(s.points.size()) - 1;
    posed_place(h, s.points[size_t(h)].target);
    if (s.pose.position.empty()) reset_pose(anim.rig, &s.pose);
    restart_loop();
    return true;
}

void remove_point(int32_t h) {
    AnimationState& s = animation_record();
    s.points.erase(s.points.begin() + h);
    std::vector<std::shared_ptr<const Motion>> kept;
    for (const auto& m : s.motions) {
        if (m->point == h) continue;
        kept.push_back(
            m->point < h ? m : std::make_shared<const Motion>(Motion{m->point - 1, m->samples}));
    }
    s.motions = std::move(kept);
    if (s.motions.empty()) {
        s.period = 0;
        s.phase = 0;
        s.playing = false;
    }
    if (s.points.empty()) s.pose = PoseState{};
    restart_loop();
}

// The points that lie on the figure as it is: those whose part's mesh is no
// longer the one they were placed on go, with their motions.
void keep_points_on_figure() {
    const Figure& f = figure();
    const AnimationState& s = animation_record();
    for (int32_t h = int32_t(s.points.size()) - 1; h >= 0; --h) {
        const ControlPoint& point = s.points[size_t(h)];
        const int32_t part = point.at.part;
        const std::shared_ptr<const PartMesh> mesh = point.mesh.lock();
        const bool on = part >= 0 && part < f.part_count && mesh != nullptr &&
                        mesh == drawn_mesh(part) && point.at.triangle >= 0 &&
                        size_t(point.at.triangle) < mesh->triangles.size();
        if (!on) remove_point(h);
    }
}

// R: a recording begins. With a loop already made it plays, so that the new
// motion is recorded in time with it.
void start_recording() {
    begin_step(StepKind::RECORD);
    animation_record().recording = true;
    anim.recorded = -1;
    anim.recorded_phase.clear();
    anim.recorded_target.clear();
    if (animation_record().period > 0) animation_record().playing = true;
}

// R again, or leaving: the recorded path becomes its point's motion. The first
// motion sets the loop's length and the loop starts over; a later one is laid
// on the loop's frames it was recorded at (the latest pass wins), and across
// the frames it missed it goes straight from its last place back to its first.
void stop_recording() {
    AnimationState& s = animation_record();
    s.recording = false;
    const auto count = int32_t(anim.recorded_phase.size());
    if (anim.recorded >= 0 && count >= 2 && s.period == 0) {
        s.motions.push_back(
            std::make_shared<const Motion>(Motion{anim.recorded, anim.recorded_target}));
        s.period = count;
        s.phase = count - 1;  // the last frame recorded is on the screen; the next is the first
        s.playing = true;
        restart_loop();
    } else if (anim.recorded >= 0 && count >= 1 && s.period > 0) {
        const int32_t period = s.period;
        std::vector<double> samples(size_t(period) * 3, 0.0);
        std::vector<bool> set(size_t(period), false);
        for (int32_t i = 0; i < count; ++i) {
            const int32_t at = anim.recorded_phase[size_t(i)];
            for (int a = 0; a < 3; ++a)
                samples[size_t(at) * 3 + size_t(a)] =
                    anim.recorded_target[size_t(i) * 3 + size_t(a)];
            set[size_t(at)] = true;
        }
        // The gap after the last frame recorded, up to the first.
        const int32_t first = anim.recorded_phase.front();
        const int32_t last = anim.recorded_phase.back();
        const int32_t gap = ((first - last) % period + period) % period;
        for (int32_t k = 1; k < gap; ++k) {
            const int32_t at = (last + k) % period;
            if (set[size_t(at)]) continue;
            const double t = double(k) / double(gap);
            for (int a = 0; a < 3; ++a)
                samples[size_t(at) * 3 + size_t(a)] =
                    samples[size_t(last) * 3 + size_t(a)] * (1 - t) +
                    samples[size_t(first) * 3 + size_t(a)] * t;
        }
        std::vector<std::shared_ptr<const Motion>> kept;
        for (const auto& m : s.motions)
            if (m->point != anim.recorded) kept.push_back(m);
        kept.push_back(std::make_shared<const Motion>(Motion{anim.recorded, std::move(samples)}));
        s.motions = std::move(kept);
        restart_loop();
    }
    anim.recorded = -1;
    anim.recorded_phase.clear();
    anim.recorded_target.clear();
    end_step();
}

// Each frame of a drag: the point's target at its depth under the cursor.
void drag_point(int32_t x, int32_t y) {
    ControlPoint& point = animation_record().points[size_t(anim.dragged)];
    double target[3];
    under_pixel_at_depth(point.target, x, y, target);
    for (int a = 0; a < 3; ++a)
        point.target[a] = target[a];
}

void turn_view() {
    int32_t dx = 0, dy = 0;
    mouse_delta(&dx, &dy);
    Vec4* angles = get_object_rotation(edited_object().index);
    if (angles == nullptr) return;
    // As in modelling: dragging down turns about x one way, dragging right
    // about y; angles wrap within one turn.
    angles->x = (angles->x - dy) & ANGLE_MASK;
    angles->y = (angles->y - dx) & ANGLE_MASK;
}

}  // namespace

void reset_animation() {
    anim = Animation{};
    reset_animation_state();
}

bool animating() {
    return anim.on;
}

AnimateKeys read_animate_keys() {
    return {pressed_once(KEY_A, &anim.a_down), pressed_once(KEY_R, &anim.r_down),
            pressed_once(KEY_SPACE, &anim.space_down)};
}

bool toggle_animation(const char** refusal) {
    *refusal = nullptr;
    if (anim.on) {
        leave_animation();
        return true;
    }
    if (edited_object().index == NO_OBJECT) return false;
    if (!figure_has_body()) {
        *refusal = "nothing to animate: inflate a part first (I)";
        return false;
    }
    anim.on = true;
    keep_points_on_figure();
    // Points placed on the figure as it was before a change of its parts are
    // held where they now lie at rest, and the pose starts at rest.
    if (!rig_is_current()) {
        keep_rig_current();
        animation_record().pose = PoseState{};
        if (anim.rig.valid) {
            reset_pose(anim.rig, &animation_record().pose);
            for (int32_t h = 0; h < int32_t(animation_record().points.size()); ++h)
                rest_handle_position(anim.rig, h, animation_record().points[size_t(h)].target);
        }
        restart_loop();
    }
    anim.left = anim.right = Gesture::NONE;
    return true;
}

void leave_animation() {
    if (!anim.on) return;
    notice_restore();
    if (animation_record().recording) stop_recording();
    anim.on = false;
    anim.dragged = -1;
    anim.left = anim.right = Gesture::NONE;
    draw_rest();
}

StepKind animate_held_step(int32_t buttons) {
    if (animation_record().recording) return StepKind::RECORD;
    if (anim.dragged >= 0 && (buttons & BUTTON_LEFT) != 0) return StepKind::POSE;
    if ((buttons & (BUTTON_LEFT | BUTTON_RIGHT)) != 0) return StepKind::TURN;
    return StepKind::NONE;
}

void handle_animate_input(int32_t x, int32_t y, int32_t buttons, const AnimateKeys& keys) {
    notice_restore();
    AnimationState& s = animation_record();
    const int32_t pressed = mouse_state().pressed_since_frame;
    int32_t cx = x, cy = y;
    platform_screen_to_client(&cx, &cy);
    if (keys.record) {
        if (s.recording) {
            stop_recording();
        } else {
            start_recording();
        }
    }
    if (keys.play && s.period > 0) {
        s.playing = !s.playing;
        if (s.playing) restart_loop();
    }
    if ((pressed & (BUTTON_LEFT | BUTTON_RIGHT)) != 0) transform_as_drawn();
    if ((pressed & BUTTON_LEFT) != 0) {
        anim.dragged = point_near(cx, cy);
        if (anim.dragged < 0 && !s.recording) {
            bool placed = false;
            act([&] { placed = place_point(cx, cy); });
            if (placed) anim.dragged = int32_t(s.points.size()) - 1;
        }
        anim.left = anim.dragged >= 0 ? Gesture::DRAG : Gesture::TURN;
        anim.drag_moved = false;
    }
    if ((pressed & BUTTON_RIGHT) != 0) {
        const int32_t h = s.recording ? -1 : point_near(cx, cy);
        if (h >= 0 && h != anim.dragged) {
            act([h] { remove_point(h); });
            anim.right = Gesture::DONE;
        } else {
            anim.right = Gesture::TURN;
        }
    }
    if ((buttons & BUTTON_LEFT) == 0) {
        anim.left = Gesture::NONE;
        anim.dragged = -1;
    }
    if ((buttons & BUTTON_RIGHT) == 0) anim.right = Gesture::NONE;
    if (anim.dragged >= int32_t(s.points.size())) anim.dragged = -1;
    if (anim.dragged >= 0) {
        if (!s.recording) begin_step(StepKind::POSE);
        int32_t dx = 0, dy = 0;
        mouse_delta(&dx, &dy);
        if ((pressed & BUTTON_LEFT) == 0 && (dx != 0 || dy != 0)) {
            drag_point(cx, cy);
            anim.drag_moved = true;
            restart_loop();
        }
    } else if (anim.left == Gesture::TURN || anim.right == Gesture::TURN) {
        if (!s.recording) begin_step(StepKind::TURN);
        turn_view();
    }
}

void update_pose() {
    if (!anim.on) return;
    notice_restore();
    AnimationState& s = animation_record();
    keep_rig_current();
    // A dragged point that moved is solved for every frame it is held, so
    // that the pose settles where the cursor rests.
    bool moved = anim.dragged >= 0 && anim.drag_moved;
    if (s.playing && s.period > 0) {
        s.phase = (s.phase + 1) % s.period;
        // Every pass of the loop starts from the same pose.
        if (s.phase == 0) {
            if (s.loop_started) {
                s.pose = s.loop_start;
            } else {
                s.loop_start = s.pose;
                s.loop_started = true;
            }
        }
        for (const auto& m : s.motions)
            if (m->point != anim.dragged && m->point < int32_t(s.points.size()))
                for (int a = 0; a < 3; ++a)
                    s.points[size_t(m->point)].target[a] =
                        m->samples[size_t(s.phase) * 3 + size_t(a)];
        moved = true;
    }
    if (s.recording && anim.dragged >= 0 && anim.drag_moved &&
        (anim.recorded < 0 || anim.recorded == anim.dragged) &&
        int32_t(anim.recorded_phase.size()) < MAX_LOOP_FRAMES) {
        anim.recorded = anim.dragged;
        anim.recorded_phase.push_back(s.phase);
        const double* t = s.points[size_t(anim.dragged)].target;
        anim.recorded_target.insert(anim.recorded_target.end(), t, t + 3);
    }
    if (moved && anim.rig.valid) {
        static std::vector<double> targets;
        targets.resize(s.points.size() * 3);
        for (size_t h = 0; h < s.points.size(); ++h)
            for (int a = 0; a < 3; ++a)
                targets[h * 3 + size_t(a)] = s.points[h].target[a];
        const auto* at = reinterpret_cast<const double(*)[3]>(targets.data());
        if (s.playing && s.period > 0)
            solve_loop_pose(&anim.loop_poses, anim.rig_builds, anim.rig, s.period, s.phase, at,
                            &s.pose);
        else
            solve_pose(anim.rig, at, &s.pose);
    }
    draw_pose();
}

bool control_point_on_screen(int32_t point, int32_t* x, int32_t* y) {
    const AnimationState& s = animation_record();
    if (point < 0 || point >= int32_t(s.points.size())) return false;
    const PoseHandle& at = s.points[size_t(point)].at;
    const Figure& f = figure();
    if (at.part < 0 || at.part >= f.part_count) return false;
    const PartMesh& mesh = *drawn_mesh(at.part);
    const EditedObject& drawn = part_object(at.part);
    if (at.triangle < 0 || size_t(at.triangle) >= mesh.triangles.size()) return false;
    double sx = 0, sy = 0;
    for (int k = 0; k < 3; ++k) {
        const int32_t v = mesh.triangles[size_t(at.triangle)].v[k];
        const ScreenVertex* corner =
            v >= 0 && v < drawn.vertex_count ? screen_vertex_at(drawn.first_vertex + v) : nullptr;
        if (corner == nullptr || corner->w < 0) return false;
        sx += at.b[k] * corner->x;
        sy += at.b[k] * corner->y;
    }
    if (!std::isfinite(sx) || !std::isfinite(sy) || std::fabs(sx) > 1e6 || std::fabs(sy) > 1e6)
        return false;
    *x = int32_t(std::lround(sx));
    *y = int32_t(std::lround(sy));
    return true;
}

void draw_control_points() {
    if (!anim.on) return;
    const AnimationState& s = animation_record();
    uint16_t* page = current_page_pixels();
    const int32_t width = screen_width(), height = screen_height();
    if (page == nullptr) return;
    for (int32_t h = 0; h < int32_t(s.points.size()); ++h) {
        int32_t x = 0, y = 0;
        if (!control_point_on_screen(h, &x, &y)) continue;
        uint16_t fill = CONTROL_POINT_PIXEL;
        for (const auto& m : s.motions)
            if (m->point == h) fill = MOVING_POINT_PIXEL;
        if (s.recording && (h == anim.recorded || (anim.recorded < 0 && h == anim.dragged)))
            fill = RECORDED_POINT_PIXEL;
        const int32_t r = CONTROL_POINT_RADIUS + 1;
        for (int32_t dy = -r; dy <= r; ++dy)
            for (int32_t dx = -r; dx <= r; ++dx) {
                const int32_t d = dx * dx + dy * dy;
                if (d > r * r) continue;
                const int64_t px = int64_t(x) + dx, py = int64_t(y) + dy;
                if (px < 0 || py < 0 || px >= width || py >= height) continue;
                page[py * width + px] =
                    d <= CONTROL_POINT_RADIUS * CONTROL_POINT_RADIUS ? fill : CONTROL_POINT_RIM;
            }
    }
}

bool animation_loop_samples(int32_t rate, FigurePose* pose, int32_t* count) {
    const AnimationState& s = animation_record();
    const Figure& f = figure();
    if (rate < 1 || rate > LOOP_FRAMES_PER_SECOND || s.period <= 0 || s.motions.empty() ||
        s.points.empty() || f.part_count <= 0)
        return false;
    auto loop = std::make_shared<LoopSampler>();
    std::vector<PosePart> parts;
    for (int32_t i = 0; i < f.part_count; ++i) {
        const FigurePart& p = f.parts[i];
        loop->meshes.push_back(drawn_mesh(i));
        if (loop->meshes.back() == nullptr) return false;
        parts.push_back({loop->meshes.back().get(), p.placement.depth, p.placement.offset_x,
                         p.placement.scale, p.parent != NO_PART ? p.parent : POSE_NO_PART});
    }
    // Points whose part changed since they were placed lie on nothing: the
    // animation mode drops them when it is next entered, and the loop is not
    // the one it will play.
    std::vector<PoseHandle> handles;
    for (const ControlPoint& point : s.points) {
        const int32_t part = point.at.part;
        if (part < 0 || part >= f.part_count || point.mesh.lock() != loop->meshes[size_t(part)])
            return false;
        handles.push_back(point.at);
        loop->targets.insert(loop->targets.end(), point.target, point.target + 3);
    }
    if (!build_pose_rig(parts.data(), int32_t(parts.size()), handles.data(),
                        int32_t(handles.size()), &loop->rig))
        return false;
    for (const auto& m : s.motions)
        if (m->point >= 0 && m->point < int32_t(s.points.size()) &&
            m->samples.size() == size_t(s.period) * 3)
            loop->motions.push_back(m);
    loop->start = s.loop_started ? s.loop_start : s.pose;
    loop->period = s.period;
    loop->rate = rate;
    // Sample k shows loop frame k * LOOP_FRAMES_PER_SECOND / rate, rounded down.
    const int64_t samples =
        (int64_t(s.period) * rate + LOOP_FRAMES_PER_SECOND - 1) / LOOP_FRAMES_PER_SECOND;
    *count = int32_t(std::min<int64_t>(samples, MAX_LOOP_SAMPLES));
    *pose = [loop](int32_t sample, std::vector<std::vector<Vec4>>* positions) {
        const int64_t frame = int64_t(sample) * LOOP_FRAMES_PER_SECOND / loop->rate;
        sample_loop_to(loop.get(), int32_t(std::clamp<int64_t>(frame, 0, loop->period - 1)));
        positions->resize(loop->meshes.size());
        for (size_t p = 0; p < loop->meshes.size(); ++p)
            posed_part_positions(loop->rig, loop->pose, int32_t(p), &(*positions)[p]);
    };
    return true;
}

bool render_loop_pictures(int32_t rate, const LoopPicture& picture) {
    FigurePose pose;
    int32_t count = 0;
    if (!animation_loop_samples(rate, &pose, &count)) return false;
    const Figure& f = figure();
    std::vector<std::vector<Vec4>> positions;
    std::vector<PartMesh> posed(size_t(f.part_count));
    draw_figure_posed(true);
    for (int32_t k = 0; k < count; ++k) {
        pose(k, &positions);
        for (int32_t i = 0; i < f.part_count; ++i) {
            const std::shared_ptr<const PartMesh> rest = drawn_mesh(i);
            if (positions[size_t(i)].size() != rest->vertices.size()) continue;
            pose_part_mesh(*rest, positions[size_t(i)], &posed[size_t(i)]);
            draw_part_from(i, posed[size_t(i)]);
        }
        anim.drawn_posed = true;
        clear_screen();
        place_figure();
        transform_scene();
        render_frame();
        picture(current_page_pixels(), screen_width(), screen_height());
    }
    // The figure as it was drawn: the live pose while animating, else at rest.
    if (anim.on) {
        keep_rig_current();
        draw_pose();
    } else {
        draw_rest();
    }
    return true;
}
