// The animation mode, played as a user plays it: a figure built by script, control
// points placed on its hands and feet, one dragged, the rest shape back on leaving, a
// recorded loop that shows the same pictures every pass, a recording undone, the
// whole session replayed from its recording, and a save's animated GLB.
#include <gtest/gtest.h>
#include <tiny_gltf.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/animate.h"
#include "app/edited_object.h"
#include "platform/common/script_parser.h"
#include "platform/headless/script_player.h"
#include "session/session_fixture.h"

namespace {

using Page = std::vector<uint16_t>;

Page page() {
    const uint16_t* p = headless_page(0);
    return Page(p, p + size_t(headless_client_width()) * size_t(headless_client_height()));
}

void click(Session& session, int32_t x, int32_t y) {
    session.hover(x, y);
    headless_queue_button_down(BUTTON_LEFT);
    session.frames(1);
    headless_queue_button_up(BUTTON_LEFT);
    session.frames(1);
}

// A left drag from (x0, y0) to (x1, y1) in `steps` frames, then held there for
// `rest` frames before the button is let go.
void drag(Session& session, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t steps,
          int32_t rest) {
    session.hover(x0, y0);
    headless_queue_button_down(BUTTON_LEFT);
    session.frames(1);
    for (int32_t i = 1; i <= steps; ++i) {
        headless_queue_move(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps);
        session.frames(1);
    }
    session.frames(rest);
    headless_queue_button_up(BUTTON_LEFT);
    session.frames(1);
}

void undo(Session& session) {
    headless_queue_key_down(KEY_CONTROL);
    headless_queue_key_down(KEY_Z);
    session.frames(1);
    headless_queue_key_up(KEY_Z);
    headless_queue_key_up(KEY_CONTROL);
    session.frames(1);
}

int32_t point_count() {
    return int32_t(animation_state().points.size());
}

// A body, an arm drawn over its side and the arm's mirror: hands at the arms'
// ends, feet at the body's bottom.
constexpr int32_t HAND_X = 425, HAND_Y = 229, OTHER_HAND_X = 89;
constexpr int32_t FOOT_Y = 385, LEFT_FOOT_X = 232, RIGHT_FOOT_X = 282;

void build_figure(Session& session) {
    session.stroke(ellipse_points(257, 300, 75, 105, 40));
    session.right_click(257, 300);
    // A sheet alone is not animated.
    session.tap(KEY_A);
    EXPECT_FALSE(animating());
    session.tap(KEY_I);
    session.tap(KEY_N);
    session.stroke({{300, 250}, {430, 215}, {440, 240}, {310, 285}, {300, 250}});
    session.right_click(318, 262);
    session.tap(KEY_I);
    session.tap(KEY_M);
}

uint64_t page_hash() {
    uint64_t h = 1469598103934665603ull;
    for (uint16_t p : page())
        h = (h ^ p) * 1099511628211ull;
    return h;
}

// The session the test plays, checked as it goes. The pictures of a pass of the
// loop are kept by the frame they were shown in (numbered from 1).
void play_animation(Session& session, std::vector<std::pair<int32_t, uint64_t>>* pass) {
    build_figure(session);
    session.frames(1);
    const Page rest = page();

    session.tap(KEY_A);
    ASSERT_TRUE(animating());
    const int32_t places[][2] = {
        {HAND_X, HAND_Y}, {OTHER_HAND_X, HAND_Y}, {LEFT_FOOT_X, FOOT_Y}, {RIGHT_FOOT_X, FOOT_Y}};
    for (const auto& at : places)
        click(session, at[0], at[1]);
    ASSERT_EQ(point_count(), 4);
    for (int32_t h = 0; h < 4; ++h) {
        int32_t x = 0, y = 0;
        ASSERT_TRUE(control_point_on_screen(h, &x, &y));
        EXPECT_LE(std::abs(x - places[h][0]) + std::abs(y - places[h][1]), 2) << h;
    }
    // A click beside the figure places nothing; a right-click on a point removes it.
    click(session, 20, 20);
    EXPECT_EQ(point_count(), 4);
    session.right_click(LEFT_FOOT_X, FOOT_Y);
    headless_queue_button_up(BUTTON_RIGHT);
    session.frames(1);
    EXPECT_EQ(point_count(), 3);
    click(session, LEFT_FOOT_X, FOOT_Y);
    ASSERT_EQ(point_count(), 4);

    // The hand dragged up and out: its disc lands on the cursor.
    int32_t hx = 0, hy = 0;
    ASSERT_TRUE(control_point_on_screen(0, &hx, &hy));
    drag(session, hx, hy, 450, 160, 10, 4);
    int32_t x = 0, y = 0;
    ASSERT_TRUE(control_point_on_screen(0, &x, &y));
    EXPECT_LE(std::abs(x - 450), 1);
    EXPECT_LE(std::abs(y - 160), 1);
    EXPECT_EQ(Session::pixel(450, 160), CONTROL_POINT_PIXEL);
    const Page posed = page();
    EXPECT_NE(posed, rest);

    // Leaving shows the rest shape exactly; coming back, the pose and points.
    session.tap(KEY_A);
    session.frames(1);
    EXPECT_EQ(page(), rest);
    session.tap(KEY_A);
    session.frames(1);
    EXPECT_EQ(point_count(), 4);
    EXPECT_EQ(page(), posed);

    // R, the other hand dragged for a dozen frames, R: the path loops.
    const Page before_recording = page();
    ASSERT_TRUE(control_point_on_screen(1, &hx, &hy));
    session.tap(KEY_R);
    drag(session, hx, hy, hx - 30, hy - 60, 12, 0);
    session.tap(KEY_R);
    const AnimationState& s = animation_state();
    ASSERT_EQ(s.motions.size(), 1u);
    ASSERT_TRUE(s.playing);
    const int32_t period = s.period;
    EXPECT_GE(period, 12);
    // Every pass shows the same pictures, and the loop moves.
    session.frames(period);
    std::vector<Page> first, second;
    for (int32_t i = 0; i < period; ++i) {
        session.frames(1);
        first.push_back(page());
        pass->push_back({headless_frame_count(), page_hash()});
    }
    for (int32_t i = 0; i < period; ++i) {
        session.frames(1);
        second.push_back(page());
    }
    EXPECT_TRUE(first == second);
    EXPECT_NE(first.front(), first[size_t(period / 2)]);

    // Space pauses; undo takes the recording back to the picture before R.
    session.tap(KEY_SPACE);
    EXPECT_FALSE(animation_state().playing);
    undo(session);
    EXPECT_TRUE(animation_state().motions.empty());
    EXPECT_EQ(page(), before_recording);

    // Points stay on the meshes they were placed on: the mirrored arm taken
    // away, its hand goes, and so do the feet on the body it was blended with
    // (the body is drawn from another blend now); the first arm's hand stays.
    session.tap(KEY_A);
    while (figure().edited != 2)
        session.tap(KEY_TAB);
    session.tap(KEY_BACKSPACE);
    ASSERT_EQ(figure().part_count, 2);
    session.tap(KEY_A);
    ASSERT_EQ(point_count(), 1);
    EXPECT_EQ(animation_state().points[0].at.part, 1);
}

}  // namespace

TEST(AnimateSession, PosesRecordsPlaysAndUndoesAsDrawnAndReplays) {
    std::vector<std::pair<int32_t, uint64_t>> pass;
    std::string script;
    uint64_t last = 0;
    {
        Session session;
        play_animation(session, &pass);
        last = page_hash();
        script = headless_recorded_script();
    }
    for (const char* key : {"key down a\n", "key down r\n", "key down space\n"})
        EXPECT_NE(script.find(key), std::string::npos) << key;

    // The recording, played again as a saved session is, shows the same loop
    // in the same frames and ends on the same picture.
    Script commands;
    std::string error;
    ASSERT_TRUE(parse_script(script, &commands, &error)) << error;
    std::vector<uint64_t> replayed;
    ReplayOutputs outputs;
    outputs.after_frame = [&] { replayed.push_back(page_hash()); };
    std::ostringstream log;
    EXPECT_EQ(run_script(commands, outputs, HeadlessConfig{}, log, &error), 0) << error;
    ASSERT_FALSE(pass.empty());
    ASSERT_GE(replayed.size(), size_t(pass.back().first));
    for (const auto& [frame, hash] : pass)
        EXPECT_EQ(replayed[size_t(frame) - 1], hash) << frame;
    EXPECT_EQ(replayed.back(), last);
}

// Ctrl+S with a recorded loop also writes the loop as an animated GLB: one
// animation, 25 samples a second over the loop's period, and the live pose
// left as it was.
TEST(AnimateSession, SaveWritesTheLoopAsAnAnimatedGlb) {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("sketch3d-animate-save-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    HeadlessConfig config;
    config.save_dir = folder.string();
    std::string script;
    int32_t samples = 0;
    {
        Session session(config);
        build_figure(session);
        session.tap(KEY_A);
        click(session, LEFT_FOOT_X, FOOT_Y);
        click(session, OTHER_HAND_X, HAND_Y);
        session.tap(KEY_R);
        drag(session, OTHER_HAND_X, HAND_Y, OTHER_HAND_X - 20, HAND_Y + 40, 13, 0);
        session.tap(KEY_R);
        session.tap(KEY_SPACE);  // paused, so that the save's frame shows the same pose
        const AnimationState& s = animation_state();
        ASSERT_EQ(s.motions.size(), 1u);
        const int32_t period = s.period;
        const PoseState pose = s.pose;
        const Page before = page();
        headless_queue_key_down(KEY_CONTROL);
        headless_queue_key_down(KEY_S);
        session.frames(1);
        headless_queue_key_up(KEY_S);
        headless_queue_key_up(KEY_CONTROL);
        session.frames(1);
        EXPECT_EQ(animation_state().pose.position, pose.position);
        EXPECT_EQ(page(), before);

        std::stringstream text;
        text << std::ifstream(folder / "sketch3d-001.animation.glb", std::ios::binary).rdbuf();
        const std::string glb = text.str();
        tinygltf::Model model;
        tinygltf::TinyGLTF loader;
        std::string error, warning;
        ASSERT_TRUE(loader.LoadBinaryFromMemory(&model, &error, &warning,
                                                reinterpret_cast<const unsigned char*>(glb.data()),
                                                unsigned(glb.size())))
            << error;
        ASSERT_EQ(model.animations.size(), 1u);
        const tinygltf::Accessor& times =
            model.accessors.at(size_t(model.animations[0].samplers.at(0).input));
        // One key per sample and one closing the loop on the first.
        samples = (period * LOOP_SAMPLES_PER_SECOND + LOOP_FRAMES_PER_SECOND - 1) /
                  LOOP_FRAMES_PER_SECOND;
        EXPECT_EQ(times.count, size_t(samples + 1));
        EXPECT_NEAR(times.maxValues.at(0), double(samples) / LOOP_SAMPLES_PER_SECOND, 1e-6);
        script = headless_recorded_script();
    }
    // The session replayed writes the same loop as numbered frames and as one APNG
    // that holds as many frames, not all alike.
    Script commands;
    std::string error;
    ASSERT_TRUE(parse_script(script, &commands, &error)) << error;
    ReplayOutputs outputs;
    outputs.loop_frames_dir = (folder / "loop").string();
    outputs.loop_apng_path = (folder / "loop.png").string();
    std::ostringstream log;
    ASSERT_EQ(run_script(commands, outputs, HeadlessConfig{}, log, &error), 0) << error;
    std::vector<std::string> frames;
    for (int32_t k = 1;; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%03d.png", int(k));
        std::stringstream png;
        png << std::ifstream(folder / "loop" / name, std::ios::binary).rdbuf();
        if (png.str().empty()) break;
        frames.push_back(png.str());
    }
    EXPECT_EQ(int32_t(frames.size()), samples);
    EXPECT_NE(frames.front(), frames[frames.size() / 2]);
    std::stringstream read;
    read << std::ifstream(folder / "loop.png", std::ios::binary).rdbuf();
    const std::string apng = read.str();
    // acTL: its length, the tag, then the frame count (big-endian).
    const size_t actl = apng.find("acTL");
    ASSERT_NE(actl, std::string::npos);
    ASSERT_LE(actl + 8, apng.size());
    const auto* count = reinterpret_cast<const unsigned char*>(apng.data() + actl + 4);
    EXPECT_EQ(int32_t(count[0]) << 24 | count[1] << 16 | count[2] << 8 | count[3], samples);
    fs::remove_all(folder);
}
