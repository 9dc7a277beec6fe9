// Saving with Ctrl+S and opening a saved session: every file of a save is there, its script
// replays to its picture, a body's STL is closed, numbers never reuse a file's name, and a
// session opened into a window is the saved picture, object and mode, and goes on.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/edited_object.h"
#include "app/input.h"
#include "base/messages.h"
#include "platform/common/output_file.h"
#include "platform/common/window_replay.h"
#include "platform/headless/script_player.h"
#include "raster/packet.h"
#include "session/session_fixture.h"

namespace {

namespace fs = std::filesystem;

fs::path scratch_folder(const char* name) {
    const fs::path folder = fs::temp_directory_path() /
                            ("sketch3d-" + std::string(name) + "-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string read_file(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

void save_keys(Session& session) {
    headless_queue_key_down(KEY_CONTROL);
    headless_queue_key_down(KEY_S);
    session.frames(1);
    headless_queue_key_up(KEY_S);
    headless_queue_key_up(KEY_CONTROL);
    session.frames(1);
}

// A disc of 24 corners around (x, y): small enough for its body to fit the packet area.
void disc(Session& session, int32_t x, int32_t y, double radius) {
    std::vector<std::pair<int32_t, int32_t>> points;
    for (int32_t i = 0; i <= 24; ++i)
        points.push_back({x + int32_t(std::lround(radius * std::cos(2 * M_PI * i / 24))),
                          y + int32_t(std::lround(radius * std::sin(2 * M_PI * i / 24)))});
    session.stroke(points);
}

// Whether a binary STL is closed: every edge, by its end points, belongs to two triangles
// that run along it in opposite directions.
bool stl_is_closed(const std::string& stl, uint32_t* triangles) {
    if (stl.size() < 84) return false;
    std::memcpy(triangles, stl.data() + 80, 4);
    if (stl.size() != 84 + size_t(*triangles) * 50) return false;
    using Point = std::array<float, 3>;
    std::map<std::pair<Point, Point>, int> directed;
    for (uint32_t t = 0; t < *triangles; ++t) {
        Point corners[3];
        std::memcpy(corners, stl.data() + 84 + size_t(t) * 50 + 12, sizeof corners);
        for (int i = 0; i < 3; ++i)
            ++directed[{corners[i], corners[(i + 1) % 3]}];
    }
    for (const auto& [edge, count] : directed) {
        const auto back = directed.find({edge.second, edge.first});
        if (count != 1 || back == directed.end() || back->second != 1) return false;
    }
    return *triangles > 0;
}

// Replays a script to its end and returns the screenshot taken there as PNG bytes.
std::string replayed_picture(const std::string& script_text, const fs::path& out) {
    Script script;
    std::string error;
    EXPECT_TRUE(parse_script(script_text + "screenshot replayed\n", &script, &error)) << error;
    std::ostringstream log;
    EXPECT_EQ(run_script(script, out.string(), HeadlessConfig{}, log, &error), REPLAY_DONE)
        << error;
    return read_file(out / "replayed.png");
}

// The headless window as the one a saved session is opened into.
void frame_at(int32_t x, int32_t y) {
    headless_queue_move(x, y);
    headless_run_frames(1);
}
bool running() {
    return headless_running();
}

// The user presses Escape before frame `escape_at` of an opened document, as a backend's
// keep_going hook hands it over; the progress is read before frame `progress_at`.
int64_t keep_going_calls = 0;
int64_t escape_at = 0;
int64_t progress_at = 0;
std::string progress_seen;
bool escape_while_opening() {
    ++keep_going_calls;
    if (keep_going_calls == progress_at) progress_seen = window_replay_progress_text("s.txt");
    if (keep_going_calls == escape_at) shell_character(CHAR_ESCAPE);
    return !shell_lifecycle().quit_requested;
}

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

}  // namespace

TEST(Save, CtrlSWritesEveryFileUnderTheFirstFreeNumberAndItsScriptRebuildsThePicture) {
    const fs::path folder = scratch_folder("save");
    std::ofstream(folder / "sketch3d-001.stl") << "not ours";  // 001 is taken by this file
    HeadlessConfig config;
    config.save_dir = folder.string();
    {
        Session session(config);
        disc(session, 257, 241, 60);
        save_keys(session);  // nothing edited: the picture and the script
        session.right_click(257, 241);
        session.frames(1);
        headless_queue_key_down(KEY_I);
        session.frames(1);
        headless_queue_key_up(KEY_I);
        // S alone, and Ctrl pressed long before S, save nothing.
        headless_queue_key_down(KEY_CONTROL);
        headless_queue_key_up(KEY_CONTROL);
        session.frames(2);
        headless_queue_key_down(KEY_S);
        headless_queue_key_up(KEY_S);
        session.frames(1);
        ASSERT_EQ(edited_object().kind, EDITED_BODY);
        save_keys(session);
        const std::string prefix = (folder / "sketch3d-").string();
        ASSERT_EQ(headless_saves(),
                  (std::vector<std::string>{"saved " + prefix + "002 (png txt)",
                                            "saved " + prefix + "003 (obj stl glb png txt)"}));
        EXPECT_EQ(headless_title().find("fps = "), 0u);
        EXPECT_NE(headless_title().find(" - saved " + prefix + "003"), std::string::npos);
        // The script holds Ctrl (with Z it undoes) but not S, so that playing it saves nothing
        // again.
        const std::string script = read_file(folder / "sketch3d-003.txt");
        EXPECT_NE(script.find("key down ctrl"), std::string::npos);
        EXPECT_EQ(script.find("key down s\n"), std::string::npos);
    }
    EXPECT_EQ(read_file(folder / "sketch3d-001.stl"), "not ours");
    EXPECT_FALSE(fs::exists(folder / "sketch3d-002.obj"));
    for (const char* extension : {".obj", ".stl", ".glb", ".png", ".txt"})
        EXPECT_TRUE(fs::exists(folder / ("sketch3d-003" + std::string(extension)))) << extension;
    for (const char* save : {"sketch3d-002", "sketch3d-003"}) {
        const std::string png = read_file(folder / (std::string(save) + ".png"));
        EXPECT_EQ(replayed_picture(read_file(folder / (std::string(save) + ".txt")),
                                   folder / ("replay-" + std::string(save))),
                  png)
            << save;
    }
    // In a script, Ctrl+S saves into the output folder.
    {
        Script script;
        std::string error;
        ASSERT_TRUE(
            parse_script("frames 1\nkey down ctrl\nkey down s\nframes 1\n", &script, &error));
        std::ostringstream log;
        const fs::path out = folder / "scripted";
        EXPECT_EQ(run_script(script, out.string(), HeadlessConfig{}, log, &error), REPLAY_DONE);
        EXPECT_NE(log.str().find("saved " + (out / "sketch3d-001").string() + " (png txt)"),
                  std::string::npos)
            << log.str();
        EXPECT_TRUE(fs::exists(out / "sketch3d-001.png"));
    }
    uint32_t triangles = 0;
    EXPECT_TRUE(stl_is_closed(read_file(folder / "sketch3d-003.stl"), &triangles)) << triangles;
    const std::string glb = read_file(folder / "sketch3d-003.glb");
    ASSERT_GE(glb.size(), 12u);
    EXPECT_EQ(glb.substr(0, 4), "glTF");
    fs::remove_all(folder);
}

TEST(Save, ASessionWithoutAFolderOrWithOneThatIsAFileSavesNothingAndSaysWhy) {
    const fs::path folder = scratch_folder("save-refused");
    std::ofstream(folder / "file") << "a file, not a folder";
    for (const std::string& dir : {std::string(), (folder / "file").string()}) {
        HeadlessConfig config;
        config.save_dir = dir;
        Session session(config);
        session.frames(1);
        save_keys(session);
        ASSERT_EQ(headless_saves().size(), 1u) << dir;
        EXPECT_EQ(headless_saves()[0].rfind("not saved: ", 0), 0u) << headless_saves()[0];
        EXPECT_NE(headless_title().find(" - not saved: "), std::string::npos);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    fs::remove_all(folder);
}

TEST(Save, AScriptsSaveNotWrittenEndsTheReplayWithExitCode3AndWithoutAFolderNothingIsWritten) {
    const fs::path folder = scratch_folder("save-script");
    Script script;
    std::string error;
    ASSERT_TRUE(
        parse_script("frames 1\nkey down ctrl\nkey down s\nframes 3\nscreenshot shot\n"
                     "export shot.obj\nframes 1\n",
                     &script, &error));
    // The disk full while the save is written: the replay stops there, with exit code 3.
    fail_output_step(OutputStep::Write, ENOSPC);
    std::ostringstream log;
    EXPECT_EQ(run_script(script, folder.string(), HeadlessConfig{}, log, &error),
              REPLAY_OUTPUT_FAILED);
    EXPECT_EQ(error, "4: not saved: cannot write " + (folder / "sketch3d-001.png").string() + ": " +
                         std::strerror(ENOSPC));
    EXPECT_NE(log.str().find("frame 2: not saved: cannot write"), std::string::npos) << log.str();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 0);
    // Without an output folder the screenshot, the export and the save write nothing, and the
    // log says so once.
    std::ostringstream quiet;
    EXPECT_EQ(run_script(script, ReplayOutputs{}, HeadlessConfig{}, quiet, &error), REPLAY_DONE)
        << error;
    const std::string note = "no output folder (--out)";
    const size_t told = quiet.str().find(note);
    ASSERT_NE(told, std::string::npos) << quiet.str();
    EXPECT_EQ(quiet.str().find(note, told + 1), std::string::npos) << quiet.str();
    EXPECT_NE(quiet.str().find("not saved: this session has no folder for saves"),
              std::string::npos);
    fs::remove_all(folder);
}

TEST(Open, AnOpenedSessionIsTheSavedPictureObjectAndModeAndGoesOn) {
    const fs::path folder = scratch_folder("open");
    std::string saved;
    std::vector<uint16_t> shown;
    {
        HeadlessConfig config;
        config.save_dir = folder.string();
        Session session(config);
        disc(session, 240, 230, 70);
        session.right_click(240, 230);
        // Relief pushed with Z and the left button, then the sheet turned and shaded banded,
        // and seen from nearer.
        session.hover(240, 230);
        headless_queue_key_down(KEY_Z);
        headless_queue_button_down(BUTTON_LEFT);
        session.frames(6);
        headless_queue_button_up(BUTTON_LEFT);
        headless_queue_key_up(KEY_Z);
        headless_queue_button_down(BUTTON_RIGHT);
        session.hover(200, 200);
        headless_queue_button_up(BUTTON_RIGHT);
        headless_queue_key_down(KEY_F3);
        headless_queue_wheel(2);
        session.frames(1);
        headless_queue_key_up(KEY_F3);
        save_keys(session);
        saved = read_file(folder / "sketch3d-001.txt");
        shown = headless_window_pixels();
    }
    Script script;
    std::string error;
    ASSERT_TRUE(parse_script(saved, &script, &error)) << error;

    std::vector<uint16_t> after;
    std::string recording;
    {
        Session session;
        EXPECT_GT(play_script_in_window(script, WindowReplayHooks{frame_at, running}), 0);
        EXPECT_FALSE(window_replay_playing());
        EXPECT_TRUE(headless_window_pixels() == shown);
        EXPECT_EQ(edited_object().kind, EDITED_SHEET);
        EXPECT_EQ(mouse_state().buttons, 0);
        session.frames(2);  // the same picture again, frame after frame
        EXPECT_TRUE(headless_window_pixels() == shown);
        // It goes on: thrown away, drawn and built anew.
        headless_queue_key_down(KEY_F12);
        session.frames(1);
        headless_queue_key_up(KEY_F12);
        session.square(100, 100, 200, 200);
        session.right_click(150, 150);
        session.frames(1);
        EXPECT_EQ(edited_object().kind, EDITED_SHEET);
        after = headless_window_pixels();
        recording = headless_recorded_script();
    }
    // Its recording holds the opened session and then the new one.
    Script again;
    ASSERT_TRUE(parse_script(recording, &again, &error)) << error;
    std::vector<uint16_t> replayed;
    ReplayOutputs outputs;
    outputs.out_dir = (folder / "again").string();
    outputs.after_frame = [&] { replayed = headless_window_pixels(); };
    std::ostringstream log;
    EXPECT_EQ(run_script(again, outputs, HeadlessConfig{}, log, &error), REPLAY_DONE) << error;
    EXPECT_TRUE(replayed == after);
    fs::remove_all(folder);
}

TEST(Open, ASavedFigureOpensWithEveryPartAndGoesOn) {
    const fs::path folder = scratch_folder("figure");
    HeadlessConfig config;
    config.save_dir = folder.string();
    auto tap = [](Session& session, int key) {
        headless_queue_key_down(key);
        session.frames(1);
        headless_queue_key_up(key);
        session.frames(1);
    };
    std::string saved;
    std::vector<uint16_t> shown;
    {
        // A body, a smaller one drawn over its side with N, its mirror with M,
        // the figure turned.
        Session session(config);
        disc(session, 257, 241, 60);
        session.right_click(257, 241);
        tap(session, KEY_I);
        tap(session, KEY_N);
        disc(session, 310, 200, 25);
        session.right_click(310, 200);
        tap(session, KEY_I);
        tap(session, KEY_M);
        session.hover(250, 250);
        headless_queue_button_down(BUTTON_LEFT);
        session.hover(290, 230);
        headless_queue_button_up(BUTTON_LEFT);
        session.frames(1);
        ASSERT_EQ(figure().part_count, 3);
        save_keys(session);
        saved = read_file(folder / "sketch3d-001.txt");
        shown = headless_window_pixels();
        ASSERT_TRUE(headless_messages().empty());
    }
    EXPECT_NE(saved.find("key down n\n"), std::string::npos);
    EXPECT_NE(saved.find("key down m\n"), std::string::npos);
    const std::string obj = read_file(folder / "sketch3d-001.obj");
    EXPECT_NE(obj.find("g part_3\n"), std::string::npos);
    uint32_t triangles = 0;
    EXPECT_TRUE(stl_is_closed(read_file(folder / "sketch3d-001.stl"), &triangles));

    Script script;
    std::string error;
    ASSERT_TRUE(parse_script(saved, &script, &error)) << error;
    Session session;
    EXPECT_GT(play_script_in_window(script, WindowReplayHooks{frame_at, running}), 0);
    EXPECT_EQ(figure().part_count, 3);
    EXPECT_EQ(figure().edited, 1);
    EXPECT_TRUE(headless_window_pixels() == shown);
    // It goes on: Tab edits the mirrored part.
    tap(session, KEY_TAB);
    EXPECT_EQ(figure().edited, 2);
    fs::remove_all(folder);
}

// Opening only shows: a document's Ctrl+S lines (written in by hand; the recorder leaves the
// save keys out) save nothing, the boxes its session showed are listed once with a count
// rather than shown, and Escape ends a long one at once, its progress told on the way.
TEST(Open, ADocumentSavesNothingListsItsBoxesOnceAndStopsAtEscape) {
    const fs::path folder = scratch_folder("open-shows");
    HeadlessConfig config;
    config.save_dir = folder.string();
    std::string error;
    {
        Script script;
        const std::string save = "key down ctrl\nkey down s\nframes 1\nkey up s\nframes 1\n";
        ASSERT_TRUE(parse_script("frames 2\n" + repeated(save, 3), &script, &error)) << error;
        Session session(config);
        EXPECT_EQ(play_script_in_window(script, WindowReplayHooks{frame_at, running}), 8);
        EXPECT_TRUE(headless_saves().empty());
        EXPECT_TRUE(fs::is_empty(folder));
    }
    {
        // Room for 60 triangles, not for the 334 of a 100-pixel square: each build fails.
        const std::string build =
            "move 100 100\nframes 1\ndown left\nmove 200 100\nframes 1\nmove 200 200\n"
            "frames 1\nmove 100 200\nframes 1\nmove 100 100\nframes 1\nup left\nframes 1\n"
            "move 150 150\nframes 1\ndown right\nframes 1\nup right\nframes 1\n";
        Script script;
        ASSERT_TRUE(parse_script(repeated(build, 3), &script, &error)) << error;
        set_packet_area_override(SHORT_PACKET_BYTES + 60 * TRIANGLE_PACKET_BYTES + 4);
        Session session(config);
        play_script_in_window(script, WindowReplayHooks{frame_at, running});
        EXPECT_TRUE(headless_messages().empty());
        ASSERT_EQ(window_replay_messages().size(), 1u);
        EXPECT_EQ(window_replay_messages()[0].text, TEXT_PACKET_AREA_FULL);
        EXPECT_EQ(window_replay_messages()[0].caption, ERROR_CAPTION);
        EXPECT_EQ(window_replay_messages()[0].count, 3);
        EXPECT_EQ(window_replay_message_summary(200),
                  "earlier messages: Too many triangles: the polygon buffer is full. Try a "
                  "smaller outline. (3 times)");
        // The user's own session shows its boxes again.
        session.square(100, 100, 200, 200);
        session.right_click(150, 150);
        EXPECT_EQ(headless_messages().size(), 1u);
        EXPECT_EQ(window_replay_messages()[0].count, 3);
    }
    {
        // Before its 85th frame, 84 of 200 (42 %) have run.
        Session session(config);
        Script script;
        ASSERT_TRUE(parse_script("frames 100\nframes 100\n", &script, &error));
        keep_going_calls = 0;
        progress_at = 85;
        escape_at = 0;
        EXPECT_EQ(play_script_in_window(script, WindowReplayHooks{frame_at, escape_while_opening}),
                  200);
        EXPECT_EQ(progress_seen, "opening s.txt: 42%");
        // Escape before the 121st frame of three million: the program ends there.
        Script long_script;
        ASSERT_TRUE(parse_script(repeated("frames 1000000\n", 3), &long_script, &error));
        keep_going_calls = 0;
        escape_at = 121;
        EXPECT_EQ(
            play_script_in_window(long_script, WindowReplayHooks{frame_at, escape_while_opening}),
            120);
        EXPECT_FALSE(window_replay_playing());
        EXPECT_TRUE(shell_lifecycle().quit_requested);
        EXPECT_EQ(window_replay_progress().frames_total, 3000000);
    }
    fs::remove_all(folder);
}
