// The replay tool: its script format, its errors, and a played session's
// screenshots; every example script must play cleanly.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#include "app/shell.h"
#include "base/memory.h"
#include "platform/common/script_file.h"
#include "platform/headless/script_player.h"

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace {

std::string parse_error(const std::string& script) {
    Script commands;
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
        "key down ]\n"
        "wheel -3\n"
        "escape\n"
        "close\n"
        "frames 3\n"
        "screenshot sheet-1.a\n";
    Script commands;
    std::string error;
    ASSERT_TRUE(parse_script(script, &commands, &error)) << error;
    using K = ScriptCommandKind;
    const std::vector<std::tuple<K, int32_t, int32_t, int32_t>> expected = {
        {K::Move, 3, 10, -20},       {K::Down, 4, BUTTON_LEFT, 0},
        {K::Up, 5, BUTTON_RIGHT, 0}, {K::KeyDown, 6, KEY_F12, 0},
        {K::KeyUp, 7, KEY_Z, 0},     {K::KeyDown, 8, KEY_BRUSH_LARGER, 0},
        {K::Wheel, 9, -3, 0},        {K::Char, 10, 27, 0},
        {K::Close, 11, 27, 0},       {K::Frames, 12, 3, 0},
        {K::Screenshot, 13, 0, 0}};
    std::vector<std::tuple<K, int32_t, int32_t, int32_t>> parsed;
    for (const ScriptCommand& c : commands.commands)
        if (c.kind != K::Screenshot) parsed.emplace_back(c.kind, c.line, c.a, c.b);
    EXPECT_EQ(parsed.size() + 1, commands.commands.size());
    parsed.emplace_back(K::Screenshot, 13, 0, 0);
    EXPECT_EQ(parsed, expected);
    EXPECT_EQ(command_name(commands, commands.commands.back()), "sheet-1.a");
}

TEST(ReplayScript, BadLinesAreReportedWithTheirNumberAndAReadableQuote) {
    using namespace std::string_literals;
    const std::string long_word(5000, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"frames 1\njump 3\n", "2: unknown command 'jump'"},
        {"move 1\n", "1: 'move' expects two integers: move X Y"},
        {"\n\nmove 1 y\n", "3: 'move' expects two integers -2147483648..2147483647, got '1 y'"},
        {"move 1 2147483648\n",
         "1: 'move' expects two integers -2147483648..2147483647, got '1 2147483648'"},
        {"down middle\n", "1: unknown button 'middle' (left or right)"},
        {"key press z\n", "1: 'key' expects down or up, got 'press'"},
        {"key down f4\n",
         "1: unknown key 'f4' (z, f1, f2, f3, f12, i, n, m, tab, backspace, delete, ctrl, s, y, "
         "shift, [, ], a, r, space, 1, 2, 3, 4, 5, 6, 7 or 8)"},
        {"wheel\n", "1: 'wheel' expects notches, positive toward the object: wheel -3"},
        {"wheel 1001\n", "1: 'wheel' expects notches -1000..1000, got '1001'"},
        {"frames -1\n", "1: 'frames' expects a count 0..1000000, got '-1'"},
        {"frames 2x\n", "1: 'frames' expects a count 0..1000000, got '2x'"},
        {"frames 1e1\n", "1: 'frames' expects a count 0..1000000, got '1e1'"},
        {"frames +1\n", "1: 'frames' expects a count 0..1000000, got '+1'"},
        {"close now\n", "1: 'close' expects nothing after it"},
        {"char 70000\n", "1: 'char' expects a character code 0..65535, got '70000'"},
        {"screenshot ../up\n",
         "1: bad screenshot name '../up' (letters, digits, '-', '_' and '.', not starting with "
         "'.')"},
        // Control characters are line errors, wherever they are; tab and CR LF are not.
        {"frames\t1\r\nframes 3\0junk\n"s, "2: control character \\x00 at byte 9"},
        {"# \x1b[31m\n", "1: control character \\x1b at byte 3"},
        {"frames 1\rframes 2\n", "1: control character \\x0d at byte 9"},
        // Quotes are a short prefix, with every byte beyond printable ASCII escaped.
        {"\xe3\x81\x82 1\n", "1: unknown command '\\xe3\\x81\\x82'"},
        {"screenshot " + long_word.substr(0, 4000) + "\n", "1: bad screenshot name '" +
                                                               long_word.substr(0, 40) +
                                                               "...' (letters, digits, '-', '_' "
                                                               "and '.', not starting with '.')"},
        // The line limit, its line end not counted, also for a last line without one.
        {"#" + long_word.substr(0, 4095) + "\r\n#" + long_word.substr(0, 4096),
         "2: longer than 4096 bytes"},
    };
    for (const auto& [script, expected] : cases) {
        EXPECT_EQ(parse_error(script), expected) << script.substr(0, 60);
        // Fed a byte at a time, the reader finds the same.
        Script commands;
        ScriptReader reader;
        reader.script = &commands;
        for (size_t i = 0; i < script.size() && read_script_piece(&reader, {&script[i], 1}); ++i) {
        }
        finish_script(&reader);
        EXPECT_EQ(reader.error, expected) << script.substr(0, 60);
    }
}

TEST(ReplayScript, AScriptBeyondItsSizeOrCommandsIsRefusedAsItIsRead) {
    // 64 MiB of comment lines of 4096 bytes, one line end each: the limit exactly.
    const std::string line = "#" + std::string(4094, '-') + "\n";
    Script commands;
    ScriptReader reader;
    reader.script = &commands;
    for (size_t i = 0; i < MAX_SCRIPT_BYTES / line.size(); ++i)
        ASSERT_TRUE(read_script_piece(&reader, line)) << reader.error;
    EXPECT_FALSE(read_script_piece(&reader, "frames 1\n"));
    EXPECT_EQ(reader.error, "16385: the script is longer than 64 MiB");
    EXPECT_TRUE(commands.commands.empty());
    EXPECT_LE(reader.line.capacity(), 2 * MAX_LINE_BYTES);

    // So many short commands would take far more memory than the script: they are limited.
    ScriptReader many;
    many.script = &commands;
    const std::string lines = "up left\n";
    for (size_t i = 0; i < MAX_SCRIPT_COMMANDS; ++i)
        ASSERT_TRUE(read_script_piece(&many, lines)) << many.error;
    EXPECT_FALSE(read_script_piece(&many, lines));
    EXPECT_EQ(many.error, "1048577: more than 1048576 commands");
    EXPECT_EQ(commands.commands.size(), MAX_SCRIPT_COMMANDS);
}

TEST(ReplayScript, OnlyFilesAndPipesAreReadAsScriptsAndAnEmptyOneIsAnError) {
    const std::filesystem::path folder = scratch_folder("inputs");
    std::filesystem::create_directories(folder / "folder");
    std::ofstream(folder / "script.txt") << "frames 2\n";
    std::ofstream(folder / "marked.txt") << "\xEF\xBB\xBF"
                                         << "frames 2\n";  // byte-order mark
    std::ofstream(folder / "empty.txt") << "";
    std::ofstream(folder / "comments.txt") << "# nothing\n\n";
    const std::string fifo = (folder / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int with_writer[2];
    ASSERT_EQ(::pipe(with_writer), 0);
    ASSERT_EQ(::write(with_writer[1], "frames 3\n", 9), 9);
    const std::string pipe_path = "/proc/self/fd/" + std::to_string(with_writer[0]);
    const std::string unreadable = "cannot read ";
    const std::string empty = "the script has no commands";
    const std::tuple<std::string, int, std::string> cases[] = {
        {(folder / "script.txt").string(), REPLAY_DONE, ""},
        {(folder / "marked.txt").string(), REPLAY_DONE, ""},
        {pipe_path, REPLAY_DONE, ""},
        {(folder / "missing.txt").string(), REPLAY_SCRIPT_UNREADABLE, unreadable},
        {(folder / "folder").string(), REPLAY_SCRIPT_UNREADABLE, unreadable},
        {"/dev/zero", REPLAY_SCRIPT_UNREADABLE, unreadable},
        {(folder / "empty.txt").string(), REPLAY_SCRIPT_ERROR, empty},
        {(folder / "comments.txt").string(), REPLAY_SCRIPT_ERROR, empty},
        {fifo, REPLAY_SCRIPT_ERROR, empty},  // no writer: nothing came, nothing waited for
    };
    for (const auto& [path, expected, message] : cases) {
        Script commands;
        std::string error;
        if (path == pipe_path) ::close(with_writer[1]);  // the writer is done
        EXPECT_EQ(read_script_file(path, &commands, &error), expected) << path << ": " << error;
        if (expected == REPLAY_DONE) {
            ASSERT_EQ(commands.commands.size(), 1u) << path;
            EXPECT_EQ(commands.commands[0].kind, ScriptCommandKind::Frames);
        } else {
            const std::string start = message == unreadable ? unreadable + path + ": " : message;
            EXPECT_EQ(error.rfind(start, 0), 0u) << error;
        }
    }
    ::close(with_writer[0]);

    // An empty pipe gives the one answer whenever its writer lets go: before the script is
    // opened, or while it is being read.
    for (int run = 0; run < 50; ++run) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        if (run % 2 == 0) ::close(ends[1]);
        std::thread late_writer([&] {
            if (run % 2 == 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(run % 4));
            ::close(ends[1]);
        });
        Script commands;
        std::string error;
        EXPECT_EQ(read_script_file("/proc/self/fd/" + std::to_string(ends[0]), &commands, &error),
                  REPLAY_SCRIPT_ERROR)
            << run << ": " << error;
        late_writer.join();
        ::close(ends[0]);
    }
    std::filesystem::remove_all(folder.parent_path());
}

TEST(ReplayScript, PlaysASessionAndWritesTheWindowAsPng) {
    Script commands;
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
    Script commands;
    std::string error;
    ASSERT_TRUE(parse_script("close\nframes 1\nscreenshot late\n", &commands, &error));
    std::ostringstream log;
    std::filesystem::path folder = scratch_folder("late");
    EXPECT_EQ(run_script(commands, folder.string(), HeadlessConfig{}, log, &error), 1);
    EXPECT_EQ(error, "3: the program has already ended");
    EXPECT_FALSE(std::filesystem::exists(folder / "late.png"));

    HeadlessConfig failing;
    failing.fail_page_after = 1;
    commands = Script{};
    ASSERT_TRUE(parse_script("# nothing\n", &commands, &error));
    std::ostringstream failure_log;
    EXPECT_EQ(run_script(commands, folder.string(), failing, failure_log, &error), 0);
    EXPECT_NE(failure_log.str().find("start-up failed"), std::string::npos);
    EXPECT_NE(failure_log.str().find("message box \"Error\": 画面バッファの作成に失敗しました。\n"
                                     "  Could not create the screen buffer.\n"),
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
        Script commands;
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
