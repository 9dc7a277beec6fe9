// Session recording: a headless session recorded as it runs replays to the
// very same pages, frame by frame.
#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <set>
#include <sstream>

#include "app/frame.h"
#include "platform/headless/script_player.h"
#include "session/session_fixture.h"

namespace {

// FNV-1a over page 0, the page every frame draws and shows.
uint64_t page_hash() {
    const uint16_t* page = headless_page(0);
    size_t count = size_t(headless_client_width()) * size_t(headless_client_height());
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < count; ++i) {
        hash = (hash ^ page[i]) * 1099511628211ull;
    }
    return hash;
}

// Runs frames one at a time, keeping each one's page hash.
struct FrameLog {
    std::vector<uint64_t> hashes;
    void run(int32_t frames) {
        for (int32_t i = 0; i < frames; ++i) {
            if (headless_run_frames(1) == 1) hashes.push_back(page_hash());
        }
    }
    void move(int32_t x, int32_t y, int32_t frames = 1) {
        headless_queue_move(x, y);
        run(frames);
    }
};

// Every kind of input the shell reacts to: a stroke, a stroke taken back, a
// build, the wheel, a drag, a Z key tapped between two frames, relief pushed
// with Z held, the push brush's keys, a body pushed while the eye stands
// nearer, shading keys (one tapped between frames, which acts on nothing), a
// colour key,
// click between frames, F12 and the close box.
void play_session(FrameLog& log) {
    log.run(2);  // no input yet: the first samples are the screen origin
    log.move(100, 100);
    headless_queue_button_down(BUTTON_LEFT);
    for (auto [x, y] : {std::pair{200, 100}, {200, 200}, {100, 200}, {100, 100}})
        log.move(x, y);
    headless_queue_button_up(BUTTON_LEFT);
    // A stray stroke, taken back with Backspace tapped between two frames.
    headless_queue_button_down(BUTTON_LEFT);
    log.move(180, 130);
    headless_queue_button_up(BUTTON_LEFT);
    headless_queue_key_down(KEY_BACKSPACE);
    headless_queue_key_up(KEY_BACKSPACE);
    log.run(1);
    log.move(150, 150);
    headless_queue_button_down(BUTTON_RIGHT);
    log.run(1);
    headless_queue_button_up(BUTTON_RIGHT);
    headless_queue_wheel(-2);
    log.run(1);
    headless_queue_button_down(BUTTON_LEFT);
    log.move(140, 135);
    log.move(120, 110, 2);
    headless_queue_button_up(BUTTON_LEFT);
    log.run(1);
    // Pressed and released between frames: only the pressed bit tells.
    headless_queue_key_down(KEY_Z);
    headless_queue_key_up(KEY_Z);
    log.run(2);
    headless_queue_key_down(KEY_Z);
    headless_queue_button_down(BUTTON_LEFT);
    log.move(150, 150, 4);
    log.move(160, 158, 3);
    headless_queue_button_up(BUTTON_LEFT);
    headless_queue_key_up(KEY_Z);
    headless_queue_key_down(KEY_I);
    headless_queue_key_down(KEY_BRUSH_SMALLER);
    headless_queue_wheel(3);
    log.run(1);
    headless_queue_key_up(KEY_I);
    headless_queue_key_up(KEY_BRUSH_SMALLER);
    headless_queue_key_down(KEY_Z);
    headless_queue_button_down(BUTTON_RIGHT);
    log.move(140, 150, 5);
    headless_queue_button_up(BUTTON_RIGHT);
    headless_queue_key_up(KEY_Z);
    headless_queue_key_down(KEY_F2);
    log.run(1);
    headless_queue_key_up(KEY_F2);
    // The body coloured green (key 4).
    headless_queue_key_down(KEY_COLOUR_FIRST + 3);
    log.run(1);
    headless_queue_key_up(KEY_COLOUR_FIRST + 3);
    headless_queue_key_down(KEY_F3);
    headless_queue_key_up(KEY_F3);
    headless_queue_button_down(BUTTON_RIGHT);
    headless_queue_button_up(BUTTON_RIGHT);
    log.run(2);
    headless_queue_key_down(KEY_F12);
    log.run(1);
    headless_queue_key_up(KEY_F12);
    log.move(60, 60, 2);
    headless_queue_close();
    log.run(1);
}

}  // namespace

TEST(SessionRecording, ARecordedSessionReplaysToIdenticalPages) {
    FrameLog original;
    std::string script;
    {
        Session session;
        play_session(original);
        EXPECT_FALSE(headless_running());
        script = headless_recorded_script();
    }
    // The session changed the page often, so equal hashes mean something.
    EXPECT_GE(std::set<uint64_t>(original.hashes.begin(), original.hashes.end()).size(), 10u);
    EXPECT_NE(script.find("key down z\nkey up z\nframes "), std::string::npos) << script;
    EXPECT_NE(script.find("key down backspace\nkey up backspace\n"), std::string::npos) << script;
    EXPECT_NE(script.find("wheel -2\n"), std::string::npos) << script;
    EXPECT_NE(script.find("key down [\n"), std::string::npos) << script;
    EXPECT_NE(script.find("key down 4\n"), std::string::npos) << script;

    Script commands;
    std::string error;
    ASSERT_TRUE(parse_script(script, &commands, &error)) << error << "\n" << script;
    FrameLog replayed;
    ReplayOutputs outputs;
    outputs.out_dir = (std::filesystem::temp_directory_path() /
                       ("sketch3d-record-test-" + std::to_string(::getpid())))
                          .string();
    outputs.after_frame = [&] { replayed.hashes.push_back(page_hash()); };
    std::ostringstream log;
    EXPECT_EQ(run_script(commands, outputs, HeadlessConfig{}, log, &error), 0) << error;
    EXPECT_NE(log.str().find("program ended with exit code 0"), std::string::npos) << log.str();
    EXPECT_EQ(replayed.hashes, original.hashes) << script;
    std::filesystem::remove_all(outputs.out_dir);
}
