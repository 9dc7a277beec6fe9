// The push brush: its radius, its falloff, the push of a body's front through
// it, and the circle that shows it.
#include "app/push_brush.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "app/figure.h"
#include "app/view_zoom.h"
#include "geometry/split_body_edges.h"

namespace {

constexpr int32_t RADIUS_COUNT = int32_t(sizeof BRUSH_RADII / sizeof BRUSH_RADII[0]);
static_assert(BRUSH_RADII[0] == MIN_BRUSH_RADIUS);
static_assert(BRUSH_RADII[RADIUS_COUNT - 1] == MAX_BRUSH_RADIUS);
constexpr int32_t DEFAULT_RADIUS_INDEX = 4;
static_assert(BRUSH_RADII[DEFAULT_RADIUS_INDEX] == DEFAULT_BRUSH_RADIUS);

// A cursor farther than this from the model origin (model units) is beyond
// every body (a body lies within a few thousand units, its fine positions
// within 2^22), and is held there: its distances in fine units then stay
// below 2^30 and their squares' sum below 2^61.
constexpr int64_t FAR_AWAY = int64_t(1) << 20;
constexpr int32_t MAX_CIRCLE_RADIUS = 4096;
// The steepest a push makes an edge of the front: rise over run as it shows,
// 3 / 2 (56 degrees). Steeper sides would show as slivers seen edge-on, whose
// few pixels the painter's order can set over the surface in front of them.
constexpr int64_t MAX_PUSHED_SLOPE_NUM = 3;
constexpr int64_t MAX_PUSHED_SLOPE_DEN = 2;

struct BrushState {
    int32_t index = DEFAULT_RADIUS_INDEX;
};
BrushState brush;

// Where front vertex v shows: its point on the rim plane (model z = 0) seen
// from the eye, fine units. False for a vertex at or behind the eye. The
// products stay below 2^46: positions and the eye lie within 2^23 fine units.
bool sighted(const Vec4& v, const BrushAim& aim, int64_t* x, int64_t* y) {
    const int64_t depth = int64_t(v.z) - aim.eye_z;  // from the eye, along the view
    if (depth <= 0) return false;
    *x = aim.eye_x + (int64_t(v.x) - aim.eye_x) * -aim.eye_z / depth;
    *y = int64_t(v.y) * -aim.eye_z / depth;
    return true;
}

// n / d rounded to the nearest, halves away from zero, for d > 0: a vertex moved frame after
// frame along its line from the eye does not drift off it one way.
int64_t rounded_quotient(int64_t n, int64_t d) {
    return n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d);
}

int64_t squared(int64_t dx, int64_t dy) {
    return dx * dx + dy * dy;
}

// Where the front vertices show (sighted), kept between calls so that a push
// repeated every frame allocates nothing once it has grown to the body; a
// vertex behind the eye shows at FAR_AWAY, beyond every brush.
struct SightedFront {
    std::vector<int64_t> x, y;
};

void sight_front(const PartMesh& body, int32_t front, const BrushAim& aim, SightedFront* out) {
    out->x.resize(size_t(front));
    out->y.resize(size_t(front));
    // Held within FAR_AWAY, like the cursor: a vertex just before the eye may
    // show anywhere, and a square of the distance must still fit.
    constexpr int64_t LIMIT = FAR_AWAY * FINE_ONE;
    for (int32_t i = 0; i < front; ++i) {
        int64_t x = LIMIT, y = LIMIT;
        sighted(body.fine[size_t(i)], aim, &x, &y);
        out->x[size_t(i)] = std::clamp(x, -LIMIT, LIMIT);
        out->y[size_t(i)] = std::clamp(y, -LIMIT, LIMIT);
    }
}

// The square of the longest edge, as it shows, of the front triangles at
// front vertex `at`.
int64_t longest_edge_at(const PartMesh& body, const SightedFront& shown, int32_t at) {
    const auto front = int32_t(shown.x.size());
    int64_t longest = 0;
    for (const MeshTriangle& t : body.triangles) {
        for (int k = 0; k < 3; ++k) {
            if (t.v[k] != at) continue;
            for (int32_t other : {t.v[(k + 1) % 3], t.v[(k + 2) % 3]}) {
                if (other < 0 || other >= front) continue;
                longest = std::max(longest, squared(shown.x[size_t(other)] - shown.x[size_t(at)],
                                                    shown.y[size_t(other)] - shown.y[size_t(at)]));
            }
        }
    }
    return longest;
}

// Where edges are split, as they show (sighted): an edge longer than
// `shortest` whose midpoint lies within the radius and the edge's own length
// of the cursor. The reach growing with the length grades the refinement: the
// longer edges are split farther out, so that the small triangles under the
// brush meet the body's own through rings of middling ones rather than long
// slivers.
struct SplitRule {
    const SightedFront* shown;
    int64_t cursor_x, cursor_y;
    int64_t radius;    // fine units
    int64_t shortest;  // fine units
    bool splits(int32_t a, int32_t b) const {
        const int64_t ax = shown->x[size_t(a)], ay = shown->y[size_t(a)];
        const int64_t bx = shown->x[size_t(b)], by = shown->y[size_t(b)];
        const int64_t length2 = squared(ax - bx, ay - by);
        if (length2 <= shortest * shortest) return false;
        // The reach (radius + length)^2 = radius^2 + 2 radius length + length^2,
        // with the length rounded down: never more than the true reach.
        const int64_t length = int64_t(std::sqrt(double(length2)));
        const int64_t reach = radius + length;
        return squared(((ax + bx) >> 1) - cursor_x, ((ay + by) >> 1) - cursor_y) <= reach * reach;
    }
};

}  // namespace

void reset_push_brush() {
    brush = BrushState{};
}

int32_t brush_radius() {
    return BRUSH_RADII[brush.index];
}

void step_brush_radius(int32_t steps) {
    const int32_t index = brush.index + std::clamp(steps, -RADIUS_COUNT, RADIUS_COUNT);
    brush.index = std::clamp(index, 0, RADIUS_COUNT - 1);
}

int32_t brush_weight(int64_t d2, int64_t r2) {
    if (r2 <= 0 || d2 >= r2) return 0;
    if (d2 <= 0) return BRUSH_WEIGHT_ONE;
    // 1 - d^2 / r^2 in 16 fraction bits, then squared back into them. d2 < r2,
    // and a brush's r2 is below 2^47 (twice a body's extent in fine units,
    // squared), so d2 << 16 fits, and so does the square of a value of at
    // most 2^16.
    const int64_t rest = BRUSH_WEIGHT_ONE - (d2 << 16) / r2;
    return int32_t((rest * rest) >> 16);
}

BrushAim brush_aim(int64_t cx, int64_t cy, const PartPlacement& placement, int32_t eye) {
    // The figure's point p is the model's point at (p - (offset_x, 0, depth)) /
    // scale; the eye stands at the figure's (0, 0, -eye).
    const int64_t scale = placement.scale > 0 ? placement.scale : FIXED_ONE;
    const int64_t to_fine = int64_t(FINE_ONE) * FIXED_ONE;
    BrushAim aim;
    aim.cursor_x = std::clamp(cx, -FAR_AWAY, FAR_AWAY) * FINE_ONE;
    aim.cursor_y = std::clamp(cy, -FAR_AWAY, FAR_AWAY) * FINE_ONE;
    aim.eye_x = -int64_t(placement.offset_x) * to_fine / scale;
    aim.eye_z = -(int64_t(eye) + placement.depth) * to_fine / scale;
    return aim;
}

void push_body_front(PartMesh* body, const BrushAim& aim, int32_t delta, int32_t radius) {
    const auto count = int32_t(body->vertices.size());
    const int32_t front = body->front_count;
    const int32_t rim = 2 * front - count;  // the back holds a twin per inner vertex
    if (rim < 0 || front <= 0 || front > count || int32_t(body->fine.size()) != count) return;
    static SightedFront shown;
    sight_front(*body, front, aim, &shown);
    auto reach = [&](int32_t i) {
        return squared(shown.x[size_t(i)] - aim.cursor_x, shown.y[size_t(i)] - aim.cursor_y);
    };
    int32_t nearest = 0;
    for (int32_t i = 1; i < front; ++i)
        if (reach(i) < reach(nearest)) nearest = i;
    const int64_t fine_radius = int64_t(std::clamp(radius, 1, MAX_BRUSH_RADIUS)) * FINE_ONE;
    // Twice the longest edge, squared: 4 times its square.
    const int64_t r2 =
        std::max(fine_radius * fine_radius, 4 * longest_edge_at(*body, shown, nearest));
    const int64_t centre_move = std::min<int64_t>(fine_radius / 32, 2 * FINE_ONE);
    // The moves this frame (fine units of depth), 0 for a vertex that stays.
    static std::vector<int64_t> moves;
    moves.assign(size_t(front), 0);
    for (int32_t i = 0; i < front; ++i) {
        const int32_t weight = brush_weight(reach(i), r2);
        // At the centre a thirty-second of the radius (half a unit at the
        // default radius), so that a mound rises as steeply under every brush,
        // and no more than two units; rounded. A mound then stays round for
        // some forty frames before its sides reach the steepest a push makes.
        int64_t move = delta * ((int64_t(weight) * centre_move + BRUSH_WEIGHT_ONE / 2) >> 16);
        // Depth grows away from the viewer; the rim is its own twin and moves
        // both surfaces alike. A front vertex goes no nearer its twin than a
        // unit, and one already there stays.
        if (i >= rim && move > 0) {
            const int64_t room = int64_t(body->fine[size_t(front + (i - rim))].z) - FINE_ONE -
                                 body->fine[size_t(i)].z;
            move = std::clamp<int64_t>(room, 0, move);
        }
        moves[size_t(i)] = move;
    }
    // No edge is pushed steeper than MAX_PUSHED_SLOPE: where the moves would
    // make an edge steeper than that and steeper than it is, the end that
    // moves more stays (both, for equal moves). A vertex that stays can make
    // another of its edges steeper, so the edges are gone over again until no
    // more vertices stay. Decided from the moves alone, so the order of the
    // edges does not matter; a mound grows until its sides are that steep,
    // and then only wider where the brush is wider.
    static std::vector<uint8_t> stays;
    stays.assign(size_t(front), 0);
    for (bool again = true; again;) {
        again = false;
        static std::vector<uint8_t> now;
        now = stays;
        for (const MeshTriangle& t : body->triangles) {
            for (int k = 0; k < 3; ++k) {
                const int32_t a = t.v[k], b = t.v[(k + 1) % 3];
                if (a < 0 || b < 0 || a >= front || b >= front) continue;
                const int64_t ma = stays[size_t(a)] != 0 ? 0 : moves[size_t(a)];
                const int64_t mb = stays[size_t(b)] != 0 ? 0 : moves[size_t(b)];
                if (ma == mb) continue;
                const int64_t before =
                    std::abs(int64_t(body->fine[size_t(a)].z) - body->fine[size_t(b)].z);
                const int64_t after =
                    std::abs(int64_t(body->fine[size_t(a)].z) + ma - body->fine[size_t(b)].z - mb);
                const int64_t across = squared(shown.x[size_t(a)] - shown.x[size_t(b)],
                                               shown.y[size_t(a)] - shown.y[size_t(b)]);
                // after / across > slope, squared: after^2 * DEN^2 > across * NUM^2.
                if (after <= before ||
                    after * after * MAX_PUSHED_SLOPE_DEN * MAX_PUSHED_SLOPE_DEN <=
                        across * MAX_PUSHED_SLOPE_NUM * MAX_PUSHED_SLOPE_NUM)
                    continue;
                if (std::abs(ma) >= std::abs(mb)) now[size_t(a)] = 1;
                if (std::abs(mb) >= std::abs(ma)) now[size_t(b)] = 1;
                again = true;
            }
        }
        stays.swap(now);
    }
    for (int32_t i = 0; i < front; ++i) {
        const int64_t move = moves[size_t(i)];
        if (move == 0 || stays[size_t(i)] != 0) continue;
        Vec4& position = body->fine[size_t(i)];
        // Along the line from the eye, so that the vertex shows where it did:
        // x and y move by the same share of their offset from the eye as the
        // depth does of its own (sighted: in front of the eye).
        const int64_t depth = int64_t(position.z) - aim.eye_z;
        if (depth <= 0) continue;
        position.x = int32_t(position.x + rounded_quotient((position.x - aim.eye_x) * move, depth));
        position.y = int32_t(position.y + rounded_quotient(int64_t(position.y) * move, depth));
        position.z = int32_t(position.z + move);
        body->vertices[size_t(i)] = round_fine_position(position);
    }
}

bool refine_body_under_brush(const PartMesh& body, const BrushAim& aim, int32_t radius,
                             PartMesh* refined) {
    BodyLayout layout;
    if (body.fine.empty() || !read_layout(body, &layout)) return false;
    const int64_t fine_radius = int64_t(std::clamp(radius, 1, MAX_BRUSH_RADIUS)) * FINE_ONE;
    static SightedFront shown;
    const SplitRule rule = {&shown, aim.cursor_x, aim.cursor_y, fine_radius, fine_radius / 2};
    // Each pass halves the edges it splits: a body's edges of some 20 units
    // come down to the narrowest brush's 2 in four; the fifth finds none.
    constexpr int MAX_PASSES = 6;
    // The body itself is read until a pass splits something; then the passes
    // take turns in two meshes.
    PartMesh passes[2];
    int32_t last = -1;  // the pass whose mesh is the latest
    for (int32_t pass = 0; pass < MAX_PASSES; ++pass) {
        const PartMesh& current = last < 0 ? body : passes[last % 2];
        sight_front(current, layout.front, aim, &shown);
        auto splits = [&rule](int32_t a, int32_t b) { return rule.splits(a, b); };
        if (!split_body_edges(current, layout, splits, &passes[pass % 2])) break;
        last = pass;
        if (!read_layout(passes[pass % 2], &layout)) return false;
    }
    if (last < 0) return false;
    *refined = std::move(passes[last % 2]);
    return true;
}

void push_body_part(int32_t part, int64_t cx, int64_t cy, int32_t delta) {
    const Figure& f = figure();
    if (part < 0 || part >= f.part_count || f.parts[part].kind != EDITED_BODY) return;
    const BrushAim aim = brush_aim(cx, cy, f.parts[part].placement, eye_distance());
    PartMesh refined;
    if (refine_body_under_brush(*f.parts[part].mesh, aim, brush_radius(), &refined)) {
        refresh_part_normals(&refined);
        if (replacement_fits(part, refined)) {
            FigurePart data = f.parts[part];
            data.mesh = share_part_mesh(std::move(refined));
            if (!replace_figure_part(part, std::move(data))) return;
        }
    }
    PartMesh* mesh = edit_part_mesh(part);
    if (mesh == nullptr) return;
    push_body_front(mesh, aim, delta, brush_radius());
    refresh_part_normals(mesh);
    store_part_vertices(part);
}

int32_t brush_circle_radius(int32_t radius, const PartPlacement& placement, int32_t eye) {
    const int64_t scale = placement.scale > 0 ? placement.scale : FIXED_ONE;
    const int64_t depth = std::max<int64_t>(int64_t(eye) + placement.depth, 1);
    const int64_t across = int64_t(radius) * scale * FOCAL_LENGTH;
    const int64_t pixels = (2 * across + FIXED_ONE * depth) / (2 * FIXED_ONE * depth);
    return int32_t(std::clamp<int64_t>(pixels, 0, MAX_CIRCLE_RADIUS));
}

void draw_brush_circle(uint16_t* page, int32_t width, int32_t height, int32_t x, int32_t y,
                       int32_t radius) {
    if (page == nullptr || radius <= 0) return;
    auto plot = [&](int64_t px, int64_t py) {
        if (px < 0 || py < 0 || px >= width || py >= height) return;
        page[py * width + px] = BRUSH_CIRCLE_PIXEL;
    };
    // The midpoint circle: one octant walked, the others mirrored; the error
    // term stays within a few radii, far inside 32 bits for radii up to 4096.
    int32_t dx = radius;
    int32_t dy = 0;
    int32_t error = 1 - radius;
    while (dx >= dy) {
        for (const auto& [a, b] : {std::pair{dx, dy}, std::pair{dy, dx}}) {
            plot(int64_t(x) + a, int64_t(y) + b);
            plot(int64_t(x) - a, int64_t(y) + b);
            plot(int64_t(x) + a, int64_t(y) - b);
            plot(int64_t(x) - a, int64_t(y) - b);
        }
        ++dy;
        if (error < 0) {
            error += 2 * dy + 1;
        } else {
            --dx;
            error += 2 * (dy - dx) + 1;
        }
    }
}
