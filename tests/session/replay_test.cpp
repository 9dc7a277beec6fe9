// The replay tool: its script format, its errors, and a played session's
// screenshots; every example script must play cleanly.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "app/memory.h"
#include "app/shell.h"
#include "tools/replay/replay_script.h"

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace {

std::string parse_error(const std::string& script) {
    std::vector<ScriptCommand> commands;
    std::string error;
    EXPECT_FALSE(parse_script(script, &commands, &error)) << script;
    return error;
}

std::filesystem::path scratch_folder(const char* name) {
    std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                   ("sketch3d-replay-test-" + std::to_string(::getpid())) / name;
    std::filesystem::remove_all(folder);
    return folder;
}

}  // namespace

TEST(ReplayScript, ParsesEveryCommandWithCommentsAndBlankLines) {
    const std::string script =
        "# a comment\n"
        "\n"
        "move 10 -20   # trailing comment\n"
        "down left\r\n"
        "up right\n"
        "key down f12\n"
        "key up z\n"
        "escape\n"
        "close\n"
        "frames 3\n"
        "screenshot sheet-1.a\n";
    std::vector<ScriptCommand> commands;
    std::string error;
    ASSERT_TRUE(parse_script(script, &commands, &error)) << error;
    using K = ScriptCommandKind;
    const std::vector<std::tuple<K, int32_t, int32_t, int32_t>> expected = {
        {K::Move, 3, 10, -20},       {K::Down, 4, BUTTON_LEFT, 0}, {K::Up, 5, BUTTON_RIGHT, 0},
        {K::KeyDown, 6, KEY_F12, 0}, {K::KeyUp, 7, KEY_Z, 0},      {K::Char, 8, 27, 0},
        {K::Close, 9, 27, 0},        {K::Frames, 10, 3, 0},        {K::Screenshot, 11, 0, 0}};
    std::vector<std::tuple<K, int32_t, int32_t, int32_t>> parsed;
    for (const ScriptCommand& c : commands)
        parsed.emplace_back(c.kind, c.line, c.a, c.b);
    EXPECT_EQ(parsed, expected);
    EXPECT_EQ(commands.back().name, "sheet-1.a");
}

TEST(ReplayScript, BadLinesAreReportedWithTheirNumber) {
    EXPECT_EQ(parse_error("frames 1\njump 3\n"), "2: unknown command 'jump'");
    EXPECT_EQ(parse_error("move 1\n"), "1: 'move' expects two integers: move X Y");
    EXPECT_EQ(parse_error("\n\nmove 1 y\n"), "3: 'move' expects two integers, got '1 y'");
    EXPECT_EQ(parse_error("move 1 99999999999\n"),
              "1: 'move' expects two integers, got '1 99999999999'");
    EXPECT_EQ(parse_error("down middle\n"), "1: unknown button 'middle' (left or right)");
    EXPECT_EQ(parse_error("key press z\n"), "1: 'key' expects down or up, got 'press'");
    EXPECT_EQ(parse_error("key down f4\n"),
              "1: unknown key 'f4' (z, f1, f2, f3, f12, backspace or delete)");
    EXPECT_EQ(parse_error("frames -1\n"), "1: 'frames' expects a count 0..1000000, got '-1'");
    EXPECT_EQ(parse_error("frames 2x\n"), "1: 'frames' expects a count 0..1000000, got '2x'");
    EXPECT_EQ(parse_error("close now\n"), "1: 'close' expects nothing after it");
    EXPECT_EQ(parse_error("char 70000\n"),
              "1: 'char' expects a character code 0..65535, got '70000'");
    // Screenshot names stay inside the output folder.
    EXPECT_NE(parse_error("screenshot ../up\n").find("1: bad screenshot name '../up'"),
              std::string::npos);
    EXPECT_NE(parse_error("screenshot .hidden\n").find("bad screenshot name"), std::string::npos);
    EXPECT_NE(parse_error("screenshot a/b\n").find("bad screenshot name"), std::string::npos);
}

TEST(ReplayScript, PlaysASessionAndWritesTheWindowAsPng) {
    std::vector<ScriptCommand> commands;
    std::string error;
    ASSERT_TRUE(parse_script("frames 1\nscreenshot start\nescape\nframes 1\n", &commands, &error));
    std::filesystem::path folder = scratch_folder("play");
    std::ostringstream log;
    int live = live_block_count();
    EXPECT_EQ(run_script(commands, folder.string(), HeadlessConfig{}, log, &error), 0) << error;
    EXPECT_EQ(live_block_count(), live);
    EXPECT_NE(log.str().find("program ended with exit code 0 after 1 frames"), std::string::npos)
        << log.str();

    int width = 0;
    int height = 0;
    int channels = 0;
    std::string path = (folder / "start.png").string();
    unsigned char* image = stbi_load(path.c_str(), &width, &height, &channels, 4);
    ASSERT_NE(image, nullptr) << path;
    EXPECT_EQ(width, 514);
    EXPECT_EQ(height, 483);
    const unsigned char* top_left = image;
    const unsigned char* bottom_row = image + size_t(482) * 514 * 4;
    EXPECT_EQ(top_left[0], 0);  // blue 0x001F shows as (0, 0, 255)
    EXPECT_EQ(top_left[1], 0);
    EXPECT_EQ(top_left[2], 255);
    EXPECT_EQ(bottom_row[0], 255);  // the window's white last row
    EXPECT_EQ(bottom_row[2], 255);
    stbi_image_free(image);
    std::filesystem::remove_all(folder.parent_path());
}

TEST(ReplayScript, CommandsAfterTheEndAndStartUpFailuresAreReported) {
    std::vector<ScriptCommand> commands;
    std::string error;
    ASSERT_TRUE(parse_script("close\nframes 1\nscreenshot late\n", &commands, &error));
    std::ostringstream log;
    std::filesystem::path folder = scratch_folder("late");
    EXPECT_EQ(run_script(commands, folder.string(), HeadlessConfig{}, log, &error), 1);
    EXPECT_EQ(error, "3: the program has already ended");
    EXPECT_FALSE(std::filesystem::exists(folder / "late.png"));

    HeadlessConfig failing;
    failing.fail_page_after = 1;
    commands.clear();
    ASSERT_TRUE(parse_script("# nothing\n", &commands, &error));
    std::ostringstream failure_log;
    EXPECT_EQ(run_script(commands, folder.string(), failing, failure_log, &error), 0);
    EXPECT_NE(failure_log.str().find("start-up failed"), std::string::npos);
    EXPECT_NE(failure_log.str().find("message box \"Error\": 画面バッファの作成に失敗しました。"),
              std::string::npos)
        << failure_log.str();
    std::filesystem::remove_all(folder.parent_path());
}

// Every example plays without a message, and each of its screenshots equals, pixel for pixel,
// the one kept in tests/golden/examples/SCRIPT/ (rewritten on purpose with the `golden` target).
TEST(ReplayScript, ExampleScriptsPlayCleanlyAndMatchTheirGoldenScreenshots) {
    const std::filesystem::path source(SKETCH3D_SOURCE_DIR);
    int played = 0;
    for (const auto& entry : std::filesystem::directory_iterator(source / "examples")) {
        if (entry.path().extension() != ".txt") continue;
        std::ifstream file(entry.path());
        std::stringstream text;
        text << file.rdbuf();
        std::vector<ScriptCommand> commands;
        std::string error;
        ASSERT_TRUE(parse_script(text.str(), &commands, &error)) << entry.path() << ":" << error;
        std::ostringstream log;
        std::filesystem::path folder = scratch_folder("examples");
        EXPECT_EQ(run_script(commands, folder.string(), HeadlessConfig{}, log, &error), 0)
            << entry.path() << ":" << error;
        EXPECT_EQ(log.str().find("message box"), std::string::npos) << log.str();

        const std::filesystem::path golden = source / "tests/golden/examples" / entry.path().stem();
        std::vector<std::string> shots;
        std::vector<std::string> goldens;
        for (const auto& shot : std::filesystem::directory_iterator(folder))
            if (shot.path().extension() == ".png") shots.push_back(shot.path().filename());
        if (std::filesystem::is_directory(golden))
            for (const auto& shot : std::filesystem::directory_iterator(golden))
                goldens.push_back(shot.path().filename());
        std::sort(shots.begin(), shots.end());
        std::sort(goldens.begin(), goldens.end());
        EXPECT_EQ(shots, goldens) << entry.path();
        for (const std::string& name : shots) {
            if (!std::filesystem::exists(golden / name)) continue;
            int width[2] = {}, height[2] = {}, channels = 0;
            unsigned char* played_image =
                stbi_load((folder / name).c_str(), &width[0], &height[0], &channels, 4);
            unsigned char* golden_image =
                stbi_load((golden / name).c_str(), &width[1], &height[1], &channels, 4);
            ASSERT_NE(played_image, nullptr);
            ASSERT_NE(golden_image, nullptr);
            ASSERT_EQ(width[0], width[1]);
            ASSERT_EQ(height[0], height[1]);
            int differing = 0;
            for (size_t i = 0; i < size_t(width[0]) * height[0]; ++i)
                differing += std::memcmp(played_image + 4 * i, golden_image + 4 * i, 4) != 0;
            EXPECT_EQ(differing, 0) << entry.path().stem() << "/" << name;
            stbi_image_free(played_image);
            stbi_image_free(golden_image);
        }
        ++played;
        std::filesystem::remove_all(folder.parent_path());
    }
    EXPECT_GE(played, 2);
}
