// Taking strokes back with Backspace and Delete, played as scripts: the page
// afterwards is the page of a session that never drew the strokes taken back.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/headless/script_player.h"
#include "session/session_fixture.h"

namespace {

// Three strokes that cross one another; A runs along the bottom row of the
// page, which clearing never reaches.
const std::string A =
    "move 40 40\nframes 1\ndown left\nmove 300 300\nframes 1\nmove 100 482\nframes 1\n"
    "move 400 482\nframes 1\nup left\nframes 1\n";
const std::string B =
    "move 40 300\nframes 1\ndown left\nmove 300 40\nframes 1\nmove 300 482\nframes 1\n"
    "up left\nframes 1\n";
const std::string C =
    "move 20 150\nframes 1\ndown left\nmove 480 170\nframes 1\nup left\nframes 1\n";
// A closed square around (150, 150).
const std::string SQUARE =
    "move 100 100\nframes 1\ndown left\nmove 200 100\nframes 1\nmove 200 200\nframes 1\n"
    "move 100 200\nframes 1\nmove 100 100\nframes 1\nup left\nframes 1\n";
std::string build_at(int x, int y) {
    return "move " + std::to_string(x) + " " + std::to_string(y) +
           "\nframes 1\ndown right\nframes 1\nup right\nframes 2\n";
}
// Throws the sheet away.
const std::string F12 = "key down f12\nframes 1\nkey up f12\nframes 1\n";

std::string tap(const std::string& key) {
    return "key down " + key + "\nframes 1\nkey up " + key + "\nframes 1\n";
}

// Page 0, every row of it, after the script's last frame.
std::vector<uint16_t> final_page(const std::string& script) {
    Script commands;
    std::string error;
    EXPECT_TRUE(parse_script(script, &commands, &error)) << error;
    std::vector<uint16_t> page;
    ReplayOutputs outputs;  // the scripts write no file
    outputs.after_frame = [&] {
        const uint16_t* pixels = headless_page(0);
        page.assign(pixels, pixels + size_t(headless_client_width()) * headless_client_height());
    };
    std::ostringstream log;
    EXPECT_EQ(run_script(commands, outputs, HeadlessConfig{}, log, &error), 0) << error;
    return page;
}

}  // namespace

TEST(TakeBack, ThePageIsThatOfASessionThatNeverDrewTheStrokesTakenBack) {
    struct Case {
        const char* what;
        std::string session;
        std::string without;  // the same session without the strokes taken back
    };
    const Case cases[] = {
        {"Backspace: the last stroke", A + B + C + tap("backspace"), A + B},
        {"held Backspace acts once; a second press takes the one before",
         A + B + C + "key down backspace\nframes 3\nkey up backspace\nframes 1\n" +
             tap("backspace"),
         A},
        // The keyboard repeats a held key (a second key down) until it is let go.
        {"a key repeated while held and let go between two frames acts once",
         A + B + C + "key down backspace\nframes 2\nkey down backspace\nkey up backspace\n" +
             "frames 2\n",
         A + B},
        {"Delete: every stroke", A + B + C + tap("delete"), "frames 1\n"},
        {"Delete, then a new stroke", A + B + tap("delete") + C, C},
        // The fill of the whole page (A is open), the clear of F12, and A and
        // the fill on the bottom row stay; only C goes.
        {"strokes before a build stay", A + build_at(400, 100) + F12 + B + C + tap("backspace"),
         A + build_at(400, 100) + F12 + B},
        {"the stroke still being drawn goes as far as it has come",
         "move 40 40\nframes 1\ndown left\nmove 300 300\nframes 1\nkey down backspace\n"
         "move 100 400\nframes 1\nup left\nframes 1\n",
         "move 300 300\nframes 1\ndown left\nmove 100 400\nframes 1\nup left\nframes 1\n"},
        {"in editing mode the keys do nothing",
         SQUARE + build_at(150, 150) + tap("backspace") + tap("delete") +
             "move 160 160\nframes 1\n",
         SQUARE + build_at(150, 150) + "frames 4\nmove 160 160\nframes 1\n"},
    };
    for (const Case& c : cases) {
        const std::vector<uint16_t> page = final_page(c.session);
        ASSERT_EQ(page.size(), size_t(514 * 483)) << c.what;
        EXPECT_TRUE(page == final_page(c.without)) << c.what;
    }
    // The strokes were there before they were taken back.
    EXPECT_FALSE(final_page(A + B + C) == final_page(A + B));
}
