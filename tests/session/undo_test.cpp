// Undo and redo: every kind of step taken back to the blue screen and done again, each
// picture the one first shown in that state; the bounds of the history; F12, a failed build
// and a new step after undo; and a session that undoes, replayed and reopened.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/edited_object.h"
#include "app/stroke_history.h"
#include "app/undo_history.h"
#include "base/messages.h"
#include "platform/common/window_replay.h"
#include "platform/headless/script_player.h"
#include "raster/packet.h"
#include "session/session_fixture.h"

namespace {

namespace fs = std::filesystem;
using Picture = std::vector<uint16_t>;

// Ctrl with `keys` pressed in one frame, let go in the next; the picture of the first.
Picture with_ctrl(Session& session, std::vector<int> keys) {
    headless_queue_key_down(KEY_CONTROL);
    for (int key : keys)
        headless_queue_key_down(key);
    session.frames(1);
    Picture shown = headless_window_pixels();
    for (int key : keys)
        headless_queue_key_up(key);
    headless_queue_key_up(KEY_CONTROL);
    session.frames(1);
    return shown;
}
Picture undo(Session& session) {
    return with_ctrl(session, {KEY_Z});
}
Picture redo(Session& session) {
    return with_ctrl(session, {KEY_Y});
}

// Z held over `frames` frames with `button` held too (0: none), at (x, y).
void hold_z(Session& session, int32_t x, int32_t y, int32_t button, int32_t frames) {
    session.hover(x, y);
    headless_queue_key_down(KEY_Z);
    if (button != 0) headless_queue_button_down(button);
    session.frames(frames);
    if (button != 0) headless_queue_button_up(button);
    headless_queue_key_up(KEY_Z);
    session.frames(1);
}

// A drag with `button` from (x0, y0) to (x1, y1).
void drag(Session& session, int32_t button, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    session.hover(x0, y0);
    headless_queue_button_down(button);
    session.hover(x1, y1);
    headless_queue_button_up(button);
    session.frames(1);
}

int32_t undo_steps() {
    return undo_history_stats().undo_steps;
}

// What a state shows and holds, as first reached.
struct Reached {
    Picture picture;
    Figure figure;
    int32_t strokes;
};

}  // namespace

// Each kind of step once, in a session that reaches every mode; steps that change nothing (a
// right-click on the stroke, a click without a drag, F1 on a soft part, the colour the part
// has) leave none.
TEST(Undo, EveryKindOfStepGoesBackToTheBlueScreenAndForwardAgainPictureForPicture) {
    Session session;
    session.frames(1);
    std::vector<Reached> reached = {{headless_window_pixels(), figure(), 0}};
    auto step = [&](const char* what, bool kept, auto act) {
        act();
        session.frames(1);
        EXPECT_EQ(undo_steps(), int32_t(reached.size()) - 1 + kept) << what;
        if (kept) reached.push_back({headless_window_pixels(), figure(), stroke_count()});
    };
    auto key = [&](int k) { return [&session, k] { session.tap(k); }; };
    step("stroke", true, [&] { session.stroke({{60, 60}, {120, 90}}); });
    step("Delete", true, key(KEY_DELETE));
    step("outline", true, [&] { session.stroke(ellipse_points(257, 300, 75, 105, 32)); });
    step("stroke on the last row", true, [&] {
        session.stroke({{30, 400}, {90, 470}, {150, 482}});
    });
    step("Backspace on a stroke", true, key(KEY_BACKSPACE));
    step("right-click on the stroke", false, [&] { session.right_click(257, 195); });
    step("build", true, [&] { session.right_click(257, 300); });
    step("click without a drag", false, [&] { drag(session, BUTTON_LEFT, 250, 300, 250, 300); });
    step("turn", true, [&] { drag(session, BUTTON_RIGHT, 200, 200, 230, 215); });
    step("hold of Z with pushes", true, [&] { hold_z(session, 257, 300, BUTTON_LEFT, 4); });
    step("F1 on a soft part", false, key(KEY_F1));
    step("F2", true, key(KEY_F2));
    step("colour key 5", true, key(KEY_COLOUR_FIRST + 4));
    step("colour key 5 again", false, key(KEY_COLOUR_FIRST + 4));
    step("I", true, key(KEY_I));
    step("N", true, key(KEY_N));
    step("outline on the sketch page", true,
         [&] { session.stroke(ellipse_points(257, 140, 50, 48, 32)); });
    step("build of a second part", true, [&] { session.right_click(257, 140); });
    step("M", true, key(KEY_M));
    step("Tab", true, key(KEY_TAB));
    step("Backspace on a part", true, key(KEY_BACKSPACE));
    step("F12", true, key(KEY_F12));
    ASSERT_EQ(reached.size(), 19u);
    ASSERT_EQ(figure().part_count, 0);
    ASSERT_TRUE(headless_messages().empty());

    auto expect_reached = [&](const Picture& shown, size_t k, const char* how) {
        EXPECT_TRUE(shown == reached[k].picture) << how << " to state " << k;
        EXPECT_TRUE(figure() == reached[k].figure) << how << " to state " << k;
        EXPECT_EQ(stroke_count(), reached[k].strokes) << how << " to state " << k;
    };
    for (size_t k = reached.size() - 1; k-- > 0;)
        expect_reached(undo(session), k, "undo");
    EXPECT_EQ(undo_history_stats().redo_steps, 18);
    expect_reached(undo(session), 0, "undo past the first step");
    for (size_t k = 1; k < reached.size(); ++k)
        expect_reached(redo(session), k, "redo");
    EXPECT_EQ(undo_history_stats().redo_steps, 0);
    expect_reached(redo(session), reached.size() - 1, "redo past the last step");
    EXPECT_TRUE(headless_messages().empty());
}

// 257 steps keep the last 256, sharing the part's mesh (a sheet of the whole screen: 256
// copies of it would pass 64 MiB), and the title says so once; pushes of a large body, each
// a new mesh, keep the bytes within 64 MiB.
TEST(Undo, TheHistoryKeepsTheLast256StepsInAtMost64MiB) {
    Session session;
    session.right_click(257, 241);  // outside every outline: the whole screen
    session.frames(1);
    ASSERT_EQ(figure().part_count, 1);
    const int64_t sheet_bytes = int64_t(figure().parts[0].mesh->triangles.size() * 12 +
                                        figure().parts[0].region->inside.size());
    ASSERT_GT(sheet_bytes * 256, MAX_UNDO_BYTES);
    for (int32_t k = 2; k <= 256; ++k)
        session.tap(k % 2 == 0 ? KEY_F2 : KEY_F3);
    EXPECT_EQ(undo_steps(), 256);
    EXPECT_EQ(headless_title().find("undo history"), std::string::npos);
    session.tap(KEY_F3);  // the 257th
    EXPECT_EQ(undo_steps(), 256);
    EXPECT_LT(undo_history_stats().bytes, 4 * sheet_bytes);
    EXPECT_NE(headless_title().find(" - undo history full: the oldest steps are dropped"),
              std::string::npos)
        << headless_title();
    session.frames(160);  // the notice has gone, and is not told again
    session.tap(KEY_F2);
    EXPECT_EQ(headless_title().find("undo history"), std::string::npos);
    // The first two steps, the build among them, are gone.
    for (int32_t k = 0; k < 256; ++k)
        undo(session);
    EXPECT_EQ(figure().part_count, 1);
    EXPECT_EQ(figure().parts[0].shading, 1);
    EXPECT_EQ(undo_steps(), 0);

    session.tap(KEY_F12);
    session.square(20, 20, 494, 462);
    session.right_click(257, 241);
    session.tap(KEY_I);
    ASSERT_EQ(figure().parts[0].kind, EDITED_BODY);
    const PartMesh& body = *figure().parts[0].mesh;
    const int64_t body_bytes = int64_t(body.vertices.size() * 3 * sizeof(Vec4) +
                                       body.triangles.size() * sizeof(MeshTriangle));
    const int32_t holds = int32_t(MAX_UNDO_BYTES / body_bytes) + 2;
    ASSERT_LT(holds, MAX_UNDO_STEPS - 8);
    for (int32_t k = 0; k < holds; ++k) {
        hold_z(session, 257, 241, k % 2 == 0 ? BUTTON_LEFT : BUTTON_RIGHT, 1);
        ASSERT_LE(undo_history_stats().bytes, MAX_UNDO_BYTES);
    }
    EXPECT_LT(undo_steps(), holds);
    EXPECT_GT(undo_history_stats().bytes, MAX_UNDO_BYTES - 2 * body_bytes);
    EXPECT_TRUE(headless_messages().empty());
}

// F12 takes the whole figure, and a build that fails clears the page and its strokes: undo
// brings each back exactly, also when an allocation of it fails. A new step after undo drops
// the redo; with Ctrl, Z neither faces the figure nor pushes; Ctrl+Y and Ctrl+Shift+Z redo.
TEST(Undo, F12AndAFailedBuildComeBackAndANewStepDropsTheRedo) {
    {
        Session session;
        session.stroke(ellipse_points(257, 300, 75, 105, 32));
        // Z tapped while drawing means nothing, and Ctrl pressed later does not undo with it.
        session.tap(KEY_Z);
        session.tap(KEY_CONTROL);
        EXPECT_EQ(undo_steps(), 1);
        session.right_click(257, 300);
        session.tap(KEY_I);
        session.tap(KEY_N);
        session.stroke(ellipse_points(257, 140, 50, 48, 32));
        session.right_click(257, 140);
        drag(session, BUTTON_LEFT, 200, 200, 240, 170);
        session.tap(KEY_F3);
        session.frames(1);
        const Figure whole = figure();
        const Vec4 turned = figure_rotation();
        const Picture shown = headless_window_pixels();
        ASSERT_NE(turned.y, 0);
        session.tap(KEY_F12);
        EXPECT_TRUE(undo(session) == shown);
        EXPECT_TRUE(figure() == whole);
        EXPECT_EQ(figure_rotation().y, turned.y);

        // Ctrl+Z held with Z and a button for frames: the F3 undone, nothing faced or pushed.
        session.hover(257, 140);
        headless_queue_button_down(BUTTON_LEFT);
        session.frames(1);
        headless_queue_key_down(KEY_CONTROL);
        headless_queue_key_down(KEY_Z);
        session.frames(4);
        headless_queue_key_up(KEY_Z);
        headless_queue_key_up(KEY_CONTROL);
        headless_queue_button_up(BUTTON_LEFT);
        session.frames(1);
        EXPECT_EQ(figure().parts[1].shading, 0);
        EXPECT_EQ(figure_rotation().y, turned.y);
        EXPECT_EQ(figure().parts[1].mesh, whole.parts[1].mesh);
        // Ctrl+Y and Ctrl+Shift+Z redo; a new step drops what is left to redo.
        undo(session);
        EXPECT_EQ(figure_rotation().y, 0);
        redo(session);
        EXPECT_EQ(figure_rotation().y, turned.y);
        with_ctrl(session, {KEY_SHIFT, KEY_Z});
        EXPECT_EQ(figure().parts[1].shading, 2);
        EXPECT_TRUE(figure() == whole);
        undo(session);
        undo(session);
        EXPECT_EQ(undo_history_stats().redo_steps, 3);  // F3, the turn and F12
        session.tap(KEY_F2);
        EXPECT_EQ(undo_history_stats().redo_steps, 0);
        redo(session);
        EXPECT_EQ(figure().parts[1].shading, 1);
        EXPECT_EQ(figure_rotation().y, 0);
        EXPECT_TRUE(headless_messages().empty());
    }
    {
        // Room for 60 triangles, not for the 334 of a 100-pixel square.
        set_packet_area_override(SHORT_PACKET_BYTES + 60 * TRIANGLE_PACKET_BYTES + 4);
        Session session;
        session.square(100, 100, 200, 200);
        session.stroke({{300, 300}, {400, 350}});
        session.frames(1);
        const Picture drawn = headless_window_pixels();
        session.right_click(150, 150);
        session.frames(1);
        ASSERT_EQ(headless_messages().size(), 1u);
        ASSERT_EQ(stroke_count(), 0);
        EXPECT_TRUE(undo(session) == drawn);
        EXPECT_EQ(stroke_count(), 2);  // and they can be taken back again

        // A small first sheet, and a part that only the body buffers hold, left alone: F12
        // undone puts it back into the buffers it was built in.
        session.tap(KEY_DELETE);
        session.square(20, 20, 50, 50);
        session.right_click(35, 35);
        session.tap(KEY_N);
        session.square(100, 100, 200, 200);
        session.right_click(150, 150);
        session.tap(KEY_TAB);
        session.tap(KEY_BACKSPACE);
        const Figure alone = figure();
        ASSERT_EQ(alone.part_count, 1);
        session.tap(KEY_F12);
        undo(session);
        EXPECT_TRUE(figure() == alone);
        EXPECT_EQ(headless_messages().size(), 1u);
    }
    {
        // Each allocation of an undo failing in turn: the figure comes back, or drawing starts
        // over and the figure stays the state to undo to (the undo after it brings it back).
        Session session;
        session.square(100, 100, 200, 200);
        session.right_click(150, 150);
        session.tap(KEY_N);
        const Figure kept = figure();
        session.tap(KEY_F12);
        int32_t started_over = 0;
        for (int k = 1;; ++k) {
            const int calls = allocation_count();
            fail_allocation_after(k);
            undo(session);
            fail_allocation_after(0);
            started_over += figure().part_count == 0;
            if (figure().part_count == 0) undo(session);
            EXPECT_TRUE(figure() == kept) << k;
            if (allocation_count() - calls < k) break;
            redo(session);  // F12 again
        }
        EXPECT_GT(started_over, 0);
    }
}

// A session that undoes and redoes is recorded with its keys: replayed, it ends on the same
// picture; saved and opened again, its history comes back with it, so Ctrl+Z after opening
// takes back the last step before the save.
TEST(Undo, ASessionThatUndoesReplaysAndReopensWithItsHistory) {
    const fs::path folder =
        fs::temp_directory_path() / ("sketch3d-undo-test-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    HeadlessConfig config;
    config.save_dir = folder.string();
    std::string saved;
    Picture before_last, shown;
    {
        Session session(config);
        session.stroke(ellipse_points(257, 300, 75, 105, 32));
        session.right_click(257, 300);
        session.tap(KEY_I);
        undo(session);
        undo(session);
        redo(session);
        redo(session);
        drag(session, BUTTON_RIGHT, 200, 200, 230, 215);
        session.frames(1);
        before_last = headless_window_pixels();
        session.tap(KEY_F2);
        with_ctrl(session, {KEY_S});
        shown = headless_window_pixels();
        with_ctrl(session, {KEY_S});  // Ctrl+S again, Ctrl let go between
        ASSERT_EQ(headless_saves().size(), 2u);
        std::ifstream file(folder / "sketch3d-001.txt");
        saved.assign(std::istreambuf_iterator<char>(file), {});
    }
    EXPECT_NE(saved.find("key down ctrl\n"), std::string::npos);
    EXPECT_NE(saved.find("key down y\n"), std::string::npos);
    Script script;
    std::string error;
    ASSERT_TRUE(parse_script(saved, &script, &error)) << error;
    {
        Picture replayed;
        ReplayOutputs outputs;
        outputs.after_frame = [&] { replayed = headless_window_pixels(); };
        std::ostringstream log;
        EXPECT_EQ(run_script(script, outputs, HeadlessConfig{}, log, &error), REPLAY_DONE) << error;
        EXPECT_TRUE(replayed == shown);
    }
    Session session(config);
    auto frame_at = [](int32_t x, int32_t y) {
        headless_queue_move(x, y);
        headless_run_frames(1);
    };
    EXPECT_GT(play_script_in_window(script, WindowReplayHooks{frame_at, headless_running}), 0);
    EXPECT_TRUE(headless_window_pixels() == shown);
    EXPECT_EQ(headless_saves().size(), 0u);
    EXPECT_EQ(figure().parts[0].shading, 1);
    EXPECT_TRUE(undo(session) == before_last);
    EXPECT_EQ(figure().parts[0].shading, 0);
    EXPECT_EQ(figure().parts[0].kind, EDITED_BODY);
    fs::remove_all(folder);
}
