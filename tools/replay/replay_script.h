// Replay scripts: a plain text format of one command a line that drives the
// headless backend, and the runner that plays one and writes screenshots.
//
//   # a comment; '#' also ends a command line
//   move X Y             cursor to client pixel (X, Y)
//   down left|right      button pressed
//   up left|right        button released
//   key down|up KEY      KEY: z, f1, f2, f3, f12, backspace or delete
//   char N               typed character code N (27 is Escape)
//   escape               the same as char 27
//   close                the window's close box
//   frames N             run the loop for N frames (waiting events first)
//   screenshot NAME      the window's client area as NAME.png
//   export NAME.obj      the edited object as a Wavefront OBJ file NAME.obj;
//   export NAME.ply      as a PLY file with the colours of the last frame
//
// Events wait in the window's queue until the next `frames` runs the loop.
// Since the mouse is sampled once per frame, a stroke needs a frame after
// each move.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/headless/headless.h"

enum class ScriptCommandKind {
    Move,
    Down,
    Up,
    KeyDown,
    KeyUp,
    Char,
    Close,
    Frames,
    Screenshot,
    Export
};

struct ScriptCommand {
    ScriptCommandKind kind;
    int32_t line;      // 1-based line number in the script
    int32_t a = 0;     // x, button bit, virtual key, character code or frame count
    int32_t b = 0;     // y
    std::string name;  // screenshot name, or export file name with its extension
};

// Parses a whole script. On the first bad line returns false with
// "LINE: what is wrong" in *error and leaves *commands partly filled.
bool parse_script(const std::string& text, std::vector<ScriptCommand>* commands,
                  std::string* error);

// Where a played script's output goes. Empty paths write nothing.
struct ReplayOutputs {
    std::string out_dir = ".";  // screenshots and exports of the script's commands
    // The edited object when the script ends, or when the window is closed if
    // that comes first (the shut-down deletes it): OBJ and PLY files.
    std::string obj_path;
    std::string ply_path;
    // One CSV row per frame: the render counters and the frame's measured time.
    std::string stats_path;
    // Called after every frame, for tests that follow a replay frame by frame.
    std::function<void()> after_frame;
};

// Plays the commands in a fresh headless session, writes each screenshot to
// out_dir/NAME.png and each export to out_dir/NAME (the folder is created
// when missing), then the end-of-script files. Every file is written whole or
// not at all. Message boxes and the end of the program are reported on `log`.
// Returns 0; 1 with "LINE: ..." in *error for a command given after the
// program ended or an export with no edited object (also at the end: no
// line); 3 with the reason in *error when a file cannot be written. Nothing
// is written after an error. The session is closed afterwards and its memory
// reclaimed.
int run_script(const std::vector<ScriptCommand>& commands, const ReplayOutputs& outputs,
               const HeadlessConfig& config, std::ostream& log, std::string* error);
// The same with screenshots and exports into out_dir and no other output.
int run_script(const std::vector<ScriptCommand>& commands, const std::string& out_dir,
               const HeadlessConfig& config, std::ostream& log, std::string* error);

// Code page 932 text as UTF-8 for printing; bytes that do not convert are
// shown as \xNN.
std::string cp932_text_to_utf8(const std::string& text);
