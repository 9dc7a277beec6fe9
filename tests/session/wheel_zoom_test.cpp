// The wheel's zoom: each notch a visible step of the picture, the eye kept within its limits
// and out of what it looks at, the start's picture back exactly, no step of the undo history,
// and strokes and builds made while zoomed that land under the stroke.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "app/edited_object.h"
#include "app/figure.h"
#include "app/view_zoom.h"
#include "geometry/resample_outline.h"
#include "session/session_fixture.h"

namespace {

void turn_wheel_by(Session& session, int32_t notches) {
    headless_queue_wheel(notches);
    session.frames(1);
}

std::vector<uint16_t> picture() {
    const uint16_t* page = headless_page(0);
    return {page, page + size_t(headless_client_width()) * size_t(headless_client_height() - 1)};
}

// The columns the figure covers: its width on the screen.
int32_t covered_columns() {
    int32_t columns = 0;
    for (int32_t x = 0; x < headless_client_width(); ++x) {
        bool covered = false;
        for (int32_t y = 0; y + 1 < headless_client_height() && !covered; ++y)
            covered = Session::pixel(x, y) != BLUE;
        columns += covered;
    }
    return columns;
}

// How the picture covers the circle of radius r around (x, y): the share of the pixels well
// inside it that are not background, and the pixels well outside it that are not, within the
// square around it twice as wide.
struct Cover {
    double inside;
    int32_t outside;
};
Cover cover_of_circle(int32_t x, int32_t y, double r) {
    int32_t in = 0, covered = 0, outside = 0;
    for (int32_t py = y - 2 * int32_t(r); py <= y + 2 * int32_t(r); ++py) {
        for (int32_t px = x - 2 * int32_t(r); px <= x + 2 * int32_t(r); ++px) {
            if (px < 0 || py < 0 || px >= headless_client_width() ||
                py + 1 >= headless_client_height())
                continue;
            const double d = std::hypot(px - x, py - y);
            const bool shown = Session::pixel(px, py) != BLUE;
            if (d < r - 3) {
                ++in;
                covered += shown;
            } else if (d > r + 3) {
                outside += shown;
            }
        }
    }
    return {in > 0 ? double(covered) / in : 0, outside};
}

}  // namespace

TEST(WheelZoom, NotchesStepThePictureWithinTheLimitsAndBackToTheStart) {
    Session session;
    session.stroke(ellipse_points(257, 241, 60, 60));
    session.right_click(257, 241);
    session.frames(1);
    const std::vector<uint16_t> start = picture();
    const int32_t width = covered_columns();
    EXPECT_EQ(eye_distance(), DEFAULT_EYE_DISTANCE);
    // Three notches toward the object make the picture larger by more than 3 %, three away
    // smaller; turned back, the picture is the start's to the pixel.
    for (const int32_t notches : {3, -3, 1, -1}) {
        SCOPED_TRACE(notches);
        turn_wheel_by(session, notches);
        const double ratio = double(covered_columns()) / width;
        if (std::abs(notches) == 3) {
            EXPECT_GT(std::abs(ratio - 1), 0.03);
        }
        EXPECT_EQ(ratio > 1, notches > 0);
        turn_wheel_by(session, -notches);
        EXPECT_TRUE(picture() == start);
    }
    // The limits, however far the wheel turns; then back to the start by notches.
    turn_wheel_by(session, 1000);
    EXPECT_EQ(eye_distance(), ZOOM_NEAREST_EYE);
    turn_wheel_by(session, -1000);
    EXPECT_EQ(eye_distance(), ZOOM_FARTHEST_EYE);
    turn_wheel_by(session, ZOOM_NOTCHES_FARTHER);
    EXPECT_TRUE(picture() == start);
    // Where the eye stands is no step: Ctrl+Z after a zoom takes back the build, and the eye
    // stays.
    turn_wheel_by(session, -2);
    headless_queue_key_down(KEY_CONTROL);
    session.tap(KEY_Z);
    headless_queue_key_up(KEY_CONTROL);
    session.frames(1);
    EXPECT_EQ(figure().part_count, 0);
    EXPECT_EQ(eye_distance(), eye_distance_at_notch(-2));
}

// A body whose front comes near the eye: the wheel stops short of it, and the body stays in
// sight whole; stepping back shows its rim with background at the picture's corners.
TEST(WheelZoom, TheEyeNeverEntersTheBody) {
    Session session;
    session.stroke(ellipse_points(257, 241, 200, 200));
    session.right_click(257, 241);
    session.frames(1);
    session.tap(KEY_I);
    ASSERT_EQ(edited_object().kind, EDITED_BODY);
    turn_wheel_by(session, 1000);
    EXPECT_GT(eye_distance(), ZOOM_NEAREST_EYE);
    EXPECT_GT(covered_columns(), 0);
    turn_wheel_by(session, -1000);
    const int32_t right = headless_client_width() - 1, bottom = headless_client_height() - 2;
    for (const auto& [x, y] : {std::pair{0, 0}, {right, 0}, {0, bottom}, {right, bottom}})
        EXPECT_EQ(Session::pixel(x, y), BLUE) << x << " " << y;
}

// Drawn and built with the eye nearer or farther, a sheet covers the drawing, a body inflated
// from it covers it too and rises under the cursor where Z pushes it, and a part added beside
// it lands under its own stroke.
TEST(WheelZoom, StrokesAndBuildsWhileZoomedLandUnderTheStroke) {
    for (const int32_t notches : {-3, 3, -ZOOM_NOTCHES_FARTHER, ZOOM_NOTCHES_NEARER}) {
        SCOPED_TRACE(notches);
        Session session;
        turn_wheel_by(session, notches);
        session.stroke(ellipse_points(220, 230, 70, 70));
        session.right_click(220, 230);
        session.frames(1);
        ASSERT_EQ(edited_object().kind, EDITED_SHEET);
        Cover sheet = cover_of_circle(220, 230, 70);
        EXPECT_GT(sheet.inside, 0.99);
        EXPECT_LT(sheet.outside, 60);
        // Inflated, and pushed with Z: the mound rises under the cursor.
        session.tap(KEY_I);
        ASSERT_EQ(edited_object().kind, EDITED_BODY);
        EXPECT_GT(cover_of_circle(220, 230, 70).inside, 0.97);
        session.hover(185, 260);
        headless_queue_key_down(KEY_Z);
        session.frames(1);
        const std::vector<uint16_t> before = picture();
        headless_queue_button_down(BUTTON_LEFT);
        session.frames(20);
        headless_queue_button_up(BUTTON_LEFT);
        session.frames(1);
        const std::vector<uint16_t> after = picture();
        headless_queue_key_up(KEY_Z);
        session.frames(1);
        // The pixels whose light changed by three levels or more: around the cursor, within
        // the brush's radius (16 pixels, as it was drawn) and the longest edge a body has
        // again (the faces that reach into the brush).
        int32_t changed = 0;
        for (size_t i = 0; i < after.size(); ++i) {
            int32_t most = 0;
            for (const int shift : {0, 5, 10})
                most =
                    std::max(most, std::abs((after[i] >> shift & 31) - (before[i] >> shift & 31)));
            if (most < 3) continue;
            ++changed;
            const auto x = int32_t(i % size_t(headless_client_width()));
            const auto y = int32_t(i / size_t(headless_client_width()));
            EXPECT_LE(std::hypot(x - 185, y - 260), 16 + BODY_SPACING_MAX) << x << " " << y;
        }
        EXPECT_GT(changed, 100);
        session.tap(KEY_N);
        session.stroke(ellipse_points(420, 390, 40, 40));
        session.right_click(420, 390);
        session.frames(1);
        ASSERT_EQ(figure().part_count, 2);
        Cover part = cover_of_circle(420, 390, 40);
        EXPECT_GT(part.inside, 0.99);
        EXPECT_LT(part.outside, 40);
        session.tap(KEY_I);
        ASSERT_EQ(figure().parts[1].kind, EDITED_BODY);
        EXPECT_GT(cover_of_circle(420, 390, 40).inside, 0.97);
    }
}
