// Whole sessions on the headless backend: drawing, building, editing and
// discarding, checked against exact pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "app/outline.h"
#include "base/messages.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "session/session_fixture.h"

namespace {

// The lit sheet at rotation 0, start-up camera and light, shade table 0:
// - every face normal of the flat sheet is (0, 0, 1024), and so is every
//   vertex normal;
// - the camera matrix for eye (0, 0, 256) looking at the origin has rows
//   (511, 0, 3, 0), (0, 512, 0, 0), (-3, 0, 511, 0), (-768, 0, 130816, 512),
//   and normals go through all of it, translation row included:
//   x = (1024 * -3 - 768) >> 9 = -8, y = 0, z = (1024 * 511 + 130816) >> 9 = 1277;
// - light (-946, 274, 274): (1277 * 274 >> 10) + 0 + (-8 * -946 >> 10) =
//   341 + 7 = 348, >> 2 gives intensity 87;
// - white light: vertex light (87 * 255) >> 8 = 86 per channel, the same at
//   every vertex, so the span's light level is (86 << 7) >> 10 = 10;
// - red 255 is column 31: table 0 gives P[10] + ((10 * 31) >> 5) + (31 >> 1)
//   = 0 + 9 + 15 = 24; green and blue columns 0 give 0.
constexpr uint16_t LIT_RED = 24 << 10;  // 0x6000
// Table 1 (F2) has no highlight below level 16 either: the same 24. Table 2
// (F3) rounds 9 up to 16: 16 + 15 = 31, pure red.
constexpr uint16_t BANDED_RED = 31 << 10;

int32_t count_pixels(uint16_t value) {
    int32_t n = 0;
    for (int32_t y = 0; y < screen_height(); ++y)
        for (int32_t x = 0; x < screen_width(); ++x)
            n += Session::pixel(x, y) == value;
    return n;
}

bool screen_is_uniformly(uint16_t value) {
    return count_pixels(value) == screen_width() * screen_height();
}

// Shading mode of the edited object's first triangle.
uint32_t first_triangle_mode() {
    const SceneObject* object = get_object(selected_object());
    const auto* packet = reinterpret_cast<const PrimitivePacket*>(
        reinterpret_cast<const uint8_t*>(object->header_packet) + SHORT_PACKET_BYTES);
    return packet->extra;
}

// A square sheet from the outline (100, 100)-(200, 200), in editing mode
// with one frame drawn.
void build_square_sheet(Session& session) {
    session.square(100, 100, 200, 200);
    session.right_click(150, 150);
    session.frames(1);
    ASSERT_NE(selected_object(), -1);
}

void press_key_for_one_frame(Session& session, int key) {
    headless_queue_key_down(key);
    session.frames(1);
    headless_queue_key_up(key);
}

}  // namespace

TEST(Session, LeftDragDrawsAContinuousPolylineOneSegmentPerFrame) {
    Session session;
    const std::vector<std::pair<int32_t, int32_t>> points = {
        {40, 50}, {90, 70}, {95, 140}, {30, 120}, {60, 200}};
    session.stroke(points);

    // Every segment keeps its start pixel and leaves its end to the next;
    // the last end point is excluded.
    for (size_t i = 0; i + 1 < points.size(); ++i)
        EXPECT_EQ(Session::pixel(points[i].first, points[i].second), 0) << i;
    EXPECT_EQ(Session::pixel(60, 200), BLUE);

    // One pixel per step of each segment's longer axis: no gaps, no overlaps.
    int32_t expected = 0;
    for (size_t i = 0; i + 1 < points.size(); ++i)
        expected += std::max(std::abs(points[i + 1].first - points[i].first),
                             std::abs(points[i + 1].second - points[i].second));
    EXPECT_EQ(count_pixels(0), expected);
    EXPECT_EQ(Session::pixel(65, 60), 0);   // halfway along the first segment
    EXPECT_EQ(Session::pixel(45, 160), 0);  // halfway along the last
    EXPECT_EQ(selected_object(), -1);       // drawing never leaves drawing mode
}

TEST(Session, RightClickInAClosedOutlineBuildsALitRedSheet) {
    Session session;
    session.square(100, 100, 200, 200);
    session.right_click(150, 150);
    // The build frame fills the region green, then draws the sheet over it
    // without a clear; the strokes and some of the fill are still there.
    EXPECT_NE(selected_object(), -1);
    EXPECT_EQ(Session::pixel(200, 150), 0);
    EXPECT_GT(count_pixels(OUTLINE_FILL_PIXEL), 0);

    session.frames(1);  // editing mode: cleared, then drawn
    EXPECT_EQ(Session::pixel(150, 150), LIT_RED);
    EXPECT_EQ(Session::pixel(110, 110), LIT_RED);
    EXPECT_EQ(Session::pixel(190, 190), LIT_RED);
    EXPECT_EQ(Session::pixel(300, 300), BLUE);
    EXPECT_EQ(Session::pixel(150, 250), BLUE);
    EXPECT_EQ(count_pixels(OUTLINE_FILL_PIXEL), 0);
    EXPECT_EQ(count_pixels(0), 0);  // the strokes are gone
    // One lit colour over the whole sheet, blue around it.
    EXPECT_EQ(count_pixels(LIT_RED) + count_pixels(BLUE), 514 * 482);
    EXPECT_GT(count_pixels(LIT_RED), 95 * 95);
    EXPECT_EQ(headless_window_pixels()[150 * 514 + 150], LIT_RED);
    EXPECT_TRUE(headless_messages().empty());
}

TEST(Session, RightClickOutsideAnyOutlineCoversTheScreenButTheEnclosedRegion) {
    Session session;
    session.square(100, 100, 200, 200);
    session.right_click(400, 300);
    session.frames(1);
    EXPECT_EQ(Session::pixel(400, 300), LIT_RED);
    EXPECT_EQ(Session::pixel(20, 20), LIT_RED);
    EXPECT_EQ(Session::pixel(490, 460), LIT_RED);
    EXPECT_EQ(Session::pixel(250, 150), LIT_RED);
    EXPECT_EQ(Session::pixel(150, 150), BLUE);  // the hole inside the outline
    EXPECT_GT(count_pixels(LIT_RED), 400 * 400);
}

TEST(Session, DraggingRotatesByTheMouseDeltaWrappingAtOneTurn) {
    Session session;
    build_square_sheet(session);
    Vec4* angles = get_object_rotation(selected_object());
    headless_queue_button_down(BUTTON_RIGHT);
    headless_queue_move(153, 145);  // right 3, up 5
    session.frames(1);
    EXPECT_EQ(angles->x, 5);
    EXPECT_EQ(angles->y, 1021);  // -3 wraps
    EXPECT_EQ(angles->z, 0);
    headless_queue_move(153, 155);  // down 10
    session.frames(1);
    EXPECT_EQ(angles->x, 1019);
    EXPECT_EQ(angles->y, 1021);
    session.frames(1);  // no movement, no turn
    EXPECT_EQ(angles->x, 1019);
    headless_queue_button_up(BUTTON_RIGHT);
    headless_queue_move(400, 400);  // moving without a button turns nothing
    session.frames(1);
    EXPECT_EQ(angles->x, 1019);
    EXPECT_EQ(angles->y, 1021);

    // Half a turn about y shows the one-sided sheet from behind: not drawn.
    angles->x = 0;
    headless_queue_button_down(BUTTON_LEFT);
    headless_queue_move(400 - 512, 400);
    session.frames(1);
    EXPECT_EQ(angles->y, (1021 + 512) & 1023);
    angles->y = 512;
    session.frames(1);
    EXPECT_TRUE(screen_is_uniformly(BLUE));
}

TEST(Session, ZResetsTheRotationAndWithAButtonPushesVertices) {
    Session session;
    build_square_sheet(session);
    Vec4* angles = get_object_rotation(selected_object());
    const RenderList* list = current_render_list();
    // Cursor (151, 151) is (-106, -90) from the centre (257, 241): x within
    // -114..-98 and y within -98..-82 hold the vertices of pixels 144 and 152
    // both ways.
    auto pushed_by = [list](int32_t z) {
        int32_t matching = 0;
        for (int32_t i = 0; i < list->vertex_count; ++i) {
            const Vec4& v = list->model_vertices[i];
            bool near =
                (v.x == 144 - 257 || v.x == 152 - 257) && (v.y == 144 - 241 || v.y == 152 - 241);
            if (v.z != (near ? z : 0)) return -1;
            matching += near;
        }
        return matching;
    };

    *angles = {100, 200, 300, 0};
    headless_queue_key_down(KEY_Z);
    session.frames(1);  // Z alone: rotation reset, nothing pushed
    EXPECT_EQ(angles->x, 0);
    EXPECT_EQ(angles->y, 0);
    EXPECT_EQ(angles->z, 0);
    EXPECT_EQ(pushed_by(0), 4);

    headless_queue_button_down(BUTTON_LEFT);
    headless_queue_move(151, 151);  // the drag turns nothing while Z is held
    session.frames(2);
    EXPECT_EQ(pushed_by(-2), 4);
    EXPECT_EQ(angles->x, 0);
    EXPECT_EQ(list->normal_count, 192);            // recomputed from index 0 each time
    EXPECT_NE(Session::pixel(148, 148), LIT_RED);  // the dent shows in the light
    EXPECT_EQ(Session::pixel(120, 180), LIT_RED);
    headless_queue_button_down(BUTTON_RIGHT);  // both: the left button's -1
    session.frames(1);
    EXPECT_EQ(pushed_by(-3), 4);
    headless_queue_button_up(BUTTON_LEFT);
    session.frames(3);
    EXPECT_EQ(pushed_by(0), 4);
    headless_queue_button_up(BUTTON_RIGHT);
    headless_queue_key_up(KEY_Z);
    session.frames(1);

    // A press and release between two frames still counts once for Z.
    *angles = {7, 8, 9, 0};
    headless_queue_key_down(KEY_Z);
    headless_queue_key_up(KEY_Z);
    session.frames(1);
    EXPECT_EQ(angles->x, 0);
    *angles = {7, 8, 9, 0};
    session.frames(1);
    EXPECT_EQ(angles->x, 7);
}

TEST(Session, FunctionKeysSwitchTheShadingModeWhileHeld) {
    Session session;
    build_square_sheet(session);
    press_key_for_one_frame(session, KEY_F3);
    EXPECT_EQ(first_triangle_mode(), 2u);
    EXPECT_EQ(Session::pixel(150, 150), BANDED_RED);
    press_key_for_one_frame(session, KEY_F2);
    EXPECT_EQ(first_triangle_mode(), 1u);
    EXPECT_EQ(Session::pixel(150, 150), LIT_RED);

    // A key pressed and released between frames is not held: no effect.
    headless_queue_key_down(KEY_F3);
    headless_queue_key_up(KEY_F3);
    session.frames(1);
    EXPECT_EQ(first_triangle_mode(), 1u);

    // Several held: each applies in turn, the last one wins.
    headless_queue_key_down(KEY_F3);
    headless_queue_key_down(KEY_F1);
    session.frames(1);
    EXPECT_EQ(first_triangle_mode(), 2u);
    headless_queue_key_up(KEY_F3);
    session.frames(1);
    EXPECT_EQ(first_triangle_mode(), 0u);
    EXPECT_EQ(Session::pixel(150, 150), LIT_RED);
}

TEST(Session, F12DeletesTheObjectAndReturnsToABlueScreenForDrawing) {
    Session session;
    build_square_sheet(session);
    headless_queue_key_down(KEY_F12);
    headless_queue_key_down(KEY_F3);  // applied first, then the object goes
    session.frames(1);
    EXPECT_EQ(selected_object(), -1);
    EXPECT_EQ(draw_list(), nullptr);
    EXPECT_EQ(pool_count(POOL_VERTEX), 0);
    EXPECT_EQ(current_render_list()->packet_count, 0);
    EXPECT_EQ(outline_cell(13, 13)->w, CELL_EMPTY);
    EXPECT_TRUE(screen_is_uniformly(BLUE));
    session.frames(3);  // F12 still held: drawing mode reads no keys
    EXPECT_TRUE(screen_is_uniformly(BLUE));
    headless_queue_key_up(KEY_F12);
    headless_queue_key_up(KEY_F3);

    // Drawing again: strokes stay, and a second build works from scratch.
    session.square(300, 100, 400, 200);
    EXPECT_EQ(Session::pixel(300, 150), 0);
    session.frames(2);
    EXPECT_EQ(Session::pixel(300, 150), 0);
    session.right_click(350, 150);
    session.frames(1);
    EXPECT_EQ(selected_object(), 0);
    EXPECT_EQ(get_object(0)->vertex_count, 192);
    EXPECT_EQ(Session::pixel(350, 150), LIT_RED);
    EXPECT_EQ(Session::pixel(150, 150), BLUE);
}

TEST(Session, AFullPacketAreaUndoesTheBuildAndALaterSmallerBuildWorks) {
    // Room for the object header and 60 triangles, not for the 334 of a
    // 100-pixel square.
    set_packet_area_override(SHORT_PACKET_BYTES + 60 * TRIANGLE_PACKET_BYTES + 4);
    Session session;
    session.square(100, 100, 200, 200);
    session.right_click(150, 150);
    EXPECT_EQ(selected_object(), -1);
    EXPECT_EQ(edited_object().kind, EDITED_NONE);
    ASSERT_EQ(headless_messages().size(), 1u);
    EXPECT_EQ(headless_messages()[0].text, TEXT_PACKET_AREA_FULL);
    EXPECT_EQ(draw_list(), nullptr);
    EXPECT_TRUE(screen_is_uniformly(BLUE));  // strokes and fill cleared away

    // A 30-pixel square has 4 x 4 cells inside and 16 snapped around them:
    // 5 x 5 squares, the corner ones with one triangle, 46 in all.
    headless_queue_button_up(BUTTON_RIGHT);
    session.square(300, 300, 330, 330);
    session.right_click(315, 315);
    session.frames(1);
    ASSERT_EQ(selected_object(), 0);
    EXPECT_EQ(get_object(0)->packet_count, 1 + 46);
    EXPECT_EQ(Session::pixel(315, 315), LIT_RED);
    EXPECT_EQ(headless_messages().size(), 1u);
}

TEST(Session, AnObjectThatCannotBeCreatedLeavesACleanDrawingScreen) {
    Session session;
    session.square(100, 100, 200, 200);
    session.hover(150, 150);
    fail_allocation_after(1);  // the object's own block
    headless_queue_button_down(BUTTON_RIGHT);
    session.frames(1);
    fail_allocation_after(0);
    EXPECT_EQ(selected_object(), -1);
    EXPECT_EQ(edited_object().kind, EDITED_NONE);
    ASSERT_EQ(headless_messages().size(), 1u);
    EXPECT_NE(headless_messages()[0].text.find("byte"), std::string::npos);
    EXPECT_TRUE(screen_is_uniformly(BLUE));
    EXPECT_EQ(pool_count(POOL_VERTEX), 0);

    // The right button is still held: the next frame builds again, from the
    // blue background this time, and succeeds.
    session.frames(1);
    ASSERT_EQ(selected_object(), 0);
    headless_queue_button_up(BUTTON_RIGHT);
    session.frames(1);
    EXPECT_EQ(Session::pixel(150, 150), LIT_RED);
}
