// The push brush of a body: its falloff, the refinement under it, a push that raises a round
// mound and never a spike, pushed bodies' pictures without a lone bright pixel (and the brush's
// circle and its radius keys' ends), and a sheet's push that the brush leaves as it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "app/edited_object.h"
#include "app/push_brush.h"
#include "app/view_zoom.h"
#include "session/session_fixture.h"
#include "support/body_quality.h"

namespace {

constexpr int32_t CX = 257;  // the screen centre in client pixels
constexpr int32_t CY = 241;

// The body of an ellipse around (x, y), drawn, built and inflated through the shell.
void build_body(Session& session, int32_t x, int32_t y, double rx, double ry) {
    session.stroke(ellipse_points(x, y, rx, ry));
    session.right_click(x, y);
    session.frames(1);
    session.tap(KEY_I);
    ASSERT_EQ(edited_object().kind, EDITED_BODY);
}

// Closed and oriented, every directed edge once with its reverse, and no piece
// without volume (tests/support/body_quality.h).
bool closed(const PartMesh& mesh) {
    BodyShell shell;
    shell.vertices = mesh.fine;
    shell.triangles = mesh.triangles;
    shell.front_count = mesh.front_count;
    // The rim first, its own twin; the rest of the front's twins follow the front.
    const int32_t rim = 2 * mesh.front_count - int32_t(mesh.fine.size());
    for (int32_t i = 0; i < mesh.front_count; ++i)
        shell.back_of.push_back(i < rim ? i : mesh.front_count + (i - rim));
    const BodyQuality quality = measure_body(shell);
    return quality.closed && quality.every_piece_has_volume;
}

// Six times the volume the mesh encloses, fine units cubed.
double volume6(const PartMesh& mesh) {
    double sum = 0;
    for (const MeshTriangle& t : mesh.triangles) {
        const Vec4& a = mesh.fine[size_t(t.v[0])];
        const Vec4& b = mesh.fine[size_t(t.v[1])];
        const Vec4& c = mesh.fine[size_t(t.v[2])];
        sum += double(a.x) * (double(b.y) * c.z - double(b.z) * c.y) -
               double(a.y) * (double(b.x) * c.z - double(b.z) * c.x) +
               double(a.z) * (double(b.x) * c.y - double(b.y) * c.x);
    }
    return sum;
}

// Where a vertex shows on the rim plane seen from the aim's eye, fine units.
std::pair<double, double> shown(const Vec4& v, const BrushAim& aim) {
    const double share = double(-aim.eye_z) / (double(v.z) - double(aim.eye_z));
    return {double(aim.eye_x) + (v.x - double(aim.eye_x)) * share, v.y * share};
}

double shown_distance(const Vec4& v, const BrushAim& aim) {
    const auto [x, y] = shown(v, aim);
    return std::hypot(x - double(aim.cursor_x), y - double(aim.cursor_y));
}

// The front edges, each once.
std::vector<std::pair<int32_t, int32_t>> front_edges(const PartMesh& mesh) {
    std::vector<std::pair<int32_t, int32_t>> edges;
    for (const MeshTriangle& t : mesh.triangles)
        for (int k = 0; k < 3; ++k)
            if (t.v[k] < t.v[(k + 1) % 3] && t.v[(k + 1) % 3] < mesh.front_count)
                edges.push_back({t.v[k], t.v[(k + 1) % 3]});
    return edges;
}

// Lit pixels brighter than every lit neighbour by more than `margin` (the sum of their three
// 5-bit channels), among four lit neighbours or more (at the outline too): what a vertex of
// the wrong light left alone on the screen, or a face drawn through another, looks like.
int32_t lone_bright_pixels(int32_t margin) {
    const int32_t w = headless_client_width();
    const int32_t h = headless_client_height() - 1;  // the last row is never drawn
    auto brightness = [](uint16_t p) { return (p >> 10 & 31) + (p >> 5 & 31) + (p & 31); };
    int32_t found = 0;
    for (int32_t y = 1; y + 1 < h; ++y) {
        for (int32_t x = 1; x + 1 < w; ++x) {
            const uint16_t centre = Session::pixel(x, y);
            if (centre == BLUE) continue;
            int32_t lit = 0, brightest = 0;
            for (int32_t dy = -1; dy <= 1; ++dy) {
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const uint16_t next = Session::pixel(x + dx, y + dy);
                    if ((dx == 0 && dy == 0) || next == BLUE) continue;
                    ++lit;
                    brightest = std::max(brightest, brightness(next));
                }
            }
            found += lit >= 4 && brightness(centre) > brightest + margin;
        }
    }
    return found;
}

}  // namespace

TEST(PushBrush, FalloffFallsSmoothlyFromTheCentreToTheEdge) {
    constexpr int64_t R2 = int64_t(64 * FINE_ONE) * (64 * FINE_ONE);
    EXPECT_EQ(brush_weight(0, R2), BRUSH_WEIGHT_ONE);
    EXPECT_EQ(brush_weight(R2 / 2, R2), BRUSH_WEIGHT_ONE / 4);  // (1 - 1/2)^2
    EXPECT_EQ(brush_weight(R2, R2), 0);
    EXPECT_EQ(brush_weight(3 * R2, R2), 0);
    // Level at both ends: a hundredth of the radius in from either changes the weight by
    // well under a hundredth.
    EXPECT_GT(brush_weight(R2 / 10000, R2), BRUSH_WEIGHT_ONE * 999 / 1000);
    EXPECT_LT(brush_weight(R2 * 99 * 99 / 10000, R2), BRUSH_WEIGHT_ONE / 1000);
    for (int64_t d2 = 0, last = BRUSH_WEIGHT_ONE; d2 <= R2; d2 += R2 / 997) {
        EXPECT_LE(brush_weight(d2, R2), last) << d2;
        last = brush_weight(d2, R2);
    }
}

// Refined under brushes of every size: the body stays closed, holds the same volume, and its
// edges under the brush are at most half the radius long as they show; refined again in the
// same place, nothing is left to split.
TEST(PushBrush, RefinementUnderTheBrushKeepsTheBodyClosedAndItsShape) {
    Session session;
    build_body(session, CX, CY, 110, 90);
    const PartMesh body = *figure().parts[0].mesh;
    for (const int32_t radius : {4, 16, 64}) {
        SCOPED_TRACE(radius);
        const BrushAim aim = brush_aim(40, -25, UNPLACED, DEFAULT_EYE_DISTANCE);
        PartMesh refined;
        if (!refine_body_under_brush(body, aim, radius, &refined)) {
            // The widest brush is wider than twice the body's edges.
            EXPECT_EQ(radius, 64);
            continue;
        }
        EXPECT_TRUE(closed(refined));
        EXPECT_GT(refined.vertices.size(), body.vertices.size());
        EXPECT_EQ(refined.fine.size(), refined.vertices.size());
        EXPECT_GE(2 * refined.front_count, int32_t(refined.vertices.size()));
        EXPECT_NEAR(volume6(refined) / volume6(body), 1.0, 1e-3);
        const double fine_radius = double(radius) * FINE_ONE;
        for (const auto& [a, b] : front_edges(refined)) {
            const auto [ax, ay] = shown(refined.fine[size_t(a)], aim);
            const auto [bx, by] = shown(refined.fine[size_t(b)], aim);
            const double mid =
                std::hypot((ax + bx) / 2 - aim.cursor_x, (ay + by) / 2 - aim.cursor_y);
            if (mid <= fine_radius) {
                EXPECT_LE(std::hypot(ax - bx, ay - by), fine_radius / 2 + 2) << a << " " << b;
            }
        }
        PartMesh again;
        EXPECT_FALSE(refine_body_under_brush(refined, aim, radius, &again));
    }
}

// A push raises a round mound under the brush: short pushes follow the falloff (the middle
// rises most, nothing a unit beyond the brush moves, nearer never less than farther), long
// ones stop steepening; no front edge ever rises steeper than the push allows or than it was,
// so that no vertex stands out of its neighbours.
TEST(PushBrush, APushRaisesARoundMoundAndNeverASpike) {
    Session session;
    build_body(session, CX, CY, 110, 90);
    const PartMesh body = *figure().parts[0].mesh;
    struct Case {
        int32_t radius, delta, frames;
    };
    for (const Case& c : {Case{16, -1, 8}, Case{16, +1, 8}, Case{64, -1, 10}, Case{4, -1, 200},
                          Case{16, -1, 150}, Case{16, +1, 150}, Case{64, -1, 120}}) {
        SCOPED_TRACE(::testing::Message() << c.radius << " " << c.delta << " " << c.frames);
        const BrushAim aim = brush_aim(-30, 20, UNPLACED, DEFAULT_EYE_DISTANCE);
        PartMesh before = body;
        PartMesh refined;
        if (refine_body_under_brush(body, aim, c.radius, &refined)) before = refined;
        PartMesh after = before;
        for (int32_t f = 0; f < c.frames; ++f)
            push_body_front(&after, aim, c.delta, c.radius);
        EXPECT_TRUE(closed(after));
        const double reach = double(c.radius) * FINE_ONE;
        const double centre_move = std::min(reach / 32, 2.0 * FINE_ONE) * c.frames;
        std::vector<std::pair<double, double>> moved;  // shown distance, move toward delta
        for (int32_t i = 0; i < before.front_count; ++i) {
            const double distance = shown_distance(before.fine[size_t(i)], aim);
            const double move =
                double(after.fine[size_t(i)].z - before.fine[size_t(i)].z) * c.delta;
            EXPECT_GE(move, 0) << i;
            if (distance >= reach + FINE_ONE) {
                EXPECT_EQ(move, 0) << i;
            }
            if (move > 0) moved.push_back({distance, move});
        }
        ASSERT_GE(moved.size(), 7u) << "a mound of several vertices";
        std::sort(moved.begin(), moved.end());
        if (c.frames <= 10) {
            // The falloff, to a fine unit a frame of rounding.
            EXPECT_GT(moved.front().second, 0.7 * centre_move);
            for (size_t i = 0; i < moved.size(); ++i)
                for (size_t j = i + 1; j < moved.size(); ++j)
                    if (moved[j].first - moved[i].first > reach / 8) {
                        EXPECT_LE(moved[j].second, moved[i].second + c.frames);
                    }
        }
        // No edge steeper than 3 / 2 (and a frame's move) unless it was before.
        for (const auto& [a, b] : front_edges(before)) {
            const auto [ax, ay] = shown(before.fine[size_t(a)], aim);
            const auto [bx, by] = shown(before.fine[size_t(b)], aim);
            const double run = std::hypot(ax - bx, ay - by);
            const double was =
                std::abs(double(before.fine[size_t(a)].z) - before.fine[size_t(b)].z);
            const double rise = std::abs(double(after.fine[size_t(a)].z) - after.fine[size_t(b)].z);
            EXPECT_LE(rise, std::max(was, 1.5 * run) + 2 * FINE_ONE) << a << " " << b;
        }
    }
}

// Bodies pushed toward the viewer and away, under the narrowest, the default and the widest
// brush (its circle shown around the cursor while Z is held), in the middle and near the rim,
// seen facing the viewer and turned, in soft shading: no pixel is brighter than all around it
// by more than the picture's own shading steps. The first two are where the push of old, a
// unit a frame for the vertices within 8 units, left a bright pixel among dark ones at the
// foot of its dent and of its spike. (The glossy table's highlight shrinks to a pixel on a
// small mound by design, and so does the soft one's on the narrowest mound turned; an artifact
// of the geometry, as that pixel was, shows facing the viewer and in soft shading as well.)
TEST(PushBrush, APushedBodyShowsNoLoneBrightPixel) {
    const Points bean = {{427, 251}, {425, 268}, {419, 283}, {408, 297}, {395, 309}, {377, 319},
                         {357, 327}, {334, 333}, {310, 338}, {284, 340}, {257, 341}, {230, 340},
                         {204, 338}, {180, 333}, {157, 327}, {137, 319}, {119, 309}, {106, 297},
                         {95, 283},  {89, 268},  {87, 251},  {89, 233},  {96, 215},  {109, 198},
                         {126, 182}, {146, 169}, {169, 159}, {192, 152}, {214, 148}, {236, 146},
                         {257, 145}, {278, 146}, {300, 148}, {322, 152}, {345, 159}, {368, 169},
                         {388, 182}, {405, 198}, {418, 215}, {425, 233}, {427, 251}};
    const Points disc = ellipse_points(CX, CY, 110, 110);
    struct Case {
        const Points* outline;
        int32_t x, y, button, size_keys, key;
        bool turned;
    };
    const Case cases[] = {
        {&bean, 374, 290, BUTTON_RIGHT, 0, 0, true},
        {&disc, 350, 230, BUTTON_LEFT, 0, 0, true},
        {&bean, 300, 241, BUTTON_LEFT, 0, 0, true},
        {&bean, 330, 280, BUTTON_LEFT, 5, KEY_BRUSH_SMALLER, false},
        {&disc, 180, 250, BUTTON_RIGHT, 5, KEY_BRUSH_SMALLER, false},
        {&disc, 257, 241, BUTTON_LEFT, 5, KEY_BRUSH_LARGER, true},
        {&bean, 350, 230, BUTTON_RIGHT, 5, KEY_BRUSH_LARGER, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x << " " << c.y << " " << c.size_keys);
        Session session;
        session.stroke(*c.outline);
        session.right_click(CX, CY);
        session.frames(1);
        session.tap(KEY_I);
        ASSERT_EQ(edited_object().kind, EDITED_BODY);
        // Five presses of [ or ] take the radius from 16 to its end, and no further.
        EXPECT_EQ(brush_radius(), DEFAULT_BRUSH_RADIUS);
        for (int32_t i = 0; i < c.size_keys; ++i)
            session.tap(c.key);
        EXPECT_EQ(brush_radius(), c.key == KEY_BRUSH_SMALLER  ? MIN_BRUSH_RADIUS
                                  : c.key == KEY_BRUSH_LARGER ? MAX_BRUSH_RADIUS
                                                              : DEFAULT_BRUSH_RADIUS);
        session.hover(c.x, c.y);
        headless_queue_key_down(KEY_Z);
        headless_queue_button_down(c.button);
        session.frames(50);
        // While Z is held, the brush's circle around the cursor.
        const int32_t radius = brush_circle_radius(brush_radius(), UNPLACED, DEFAULT_EYE_DISTANCE);
        EXPECT_EQ(radius, brush_radius());
        int32_t circle = 0;
        for (int32_t y = 0; y + 1 < headless_client_height(); ++y) {
            for (int32_t x = 0; x < headless_client_width(); ++x) {
                if (Session::pixel(x, y) != BRUSH_CIRCLE_PIXEL) continue;
                ++circle;
                EXPECT_NEAR(std::hypot(x - c.x, y - c.y), radius, 1.0) << x << " " << y;
            }
        }
        EXPECT_GE(circle, 4 * radius);
        headless_queue_button_up(c.button);
        headless_queue_key_up(KEY_Z);
        session.frames(1);
        EXPECT_EQ(lone_bright_pixels(15), 0) << "facing the viewer";
        if (!c.turned) continue;
        headless_queue_button_down(BUTTON_LEFT);
        session.hover(c.x + 25, c.y + 15);
        headless_queue_button_up(BUTTON_LEFT);
        session.frames(1);
        EXPECT_EQ(lone_bright_pixels(15), 0) << "turned";
    }
}

// The sheet's push is the one it always was, whatever the brush: its vertices within 8 units
// move a unit a frame, and no circle shows while Z is held over it.
TEST(PushBrush, TheSheetsPushIgnoresTheBrush) {
    std::vector<uint16_t> pictures[2];
    for (int32_t larger = 0; larger < 2; ++larger) {
        Session session;
        session.square(150, 150, 350, 330);
        session.right_click(250, 240);
        session.frames(1);
        if (larger == 1) {
            session.tap(KEY_BRUSH_LARGER);
            session.tap(KEY_BRUSH_LARGER);
        }
        session.hover(260, 250);
        headless_queue_key_down(KEY_Z);
        headless_queue_button_down(BUTTON_LEFT);
        session.frames(12);
        headless_queue_button_up(BUTTON_LEFT);
        session.frames(1);
        pictures[larger] = headless_window_pixels();
        headless_queue_key_up(KEY_Z);
        session.frames(1);
        // The window's last row is never drawn and stays white.
        const auto drawn = size_t(headless_client_width()) * size_t(headless_client_height() - 1);
        EXPECT_EQ(std::count(pictures[larger].begin(), pictures[larger].begin() + drawn,
                             BRUSH_CIRCLE_PIXEL),
                  0)
            << "a circle over the sheet";
    }
    EXPECT_TRUE(pictures[0] == pictures[1]);
}
