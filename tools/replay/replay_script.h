// Replay scripts: a plain text format of one command a line that drives the
// headless backend, and the runner that plays one and writes screenshots.
//
//   # a comment; '#' also ends a command line
//   move X Y             cursor to client pixel (X, Y)
//   down left|right      button pressed
//   up left|right        button released
//   key down|up KEY      KEY: z, f1, f2, f3 or f12
//   char N               typed character code N (27 is Escape)
//   escape               the same as char 27
//   close                the window's close box
//   frames N             run the loop for N frames (waiting events first)
//   screenshot NAME      the window's client area as NAME.png
//
// Events wait in the window's queue until the next `frames` runs the loop.
// Since the mouse is sampled once per frame, a stroke needs a frame after
// each move.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/headless/headless.h"

enum class ScriptCommandKind { Move, Down, Up, KeyDown, KeyUp, Char, Close, Frames, Screenshot };

struct ScriptCommand {
    ScriptCommandKind kind;
    int32_t line;      // 1-based line number in the script
    int32_t a = 0;     // x, button bit, virtual key, character code or frame count
    int32_t b = 0;     // y
    std::string name;  // screenshot name
};

// Parses a whole script. On the first bad line returns false with
// "LINE: what is wrong" in *error and leaves *commands partly filled.
bool parse_script(const std::string& text, std::vector<ScriptCommand>* commands,
                  std::string* error);

// Plays the commands in a fresh headless session and writes each screenshot
// to out_dir/NAME.png (the folder is created when missing). Message boxes
// and the end of the program are reported on `log`. Returns 0; 1 with
// "LINE: ..." in *error for a command given after the program ended; 3 with
// the reason in *error when a screenshot cannot be written. The session is
// closed afterwards and its memory reclaimed.
int run_script(const std::vector<ScriptCommand>& commands, const std::string& out_dir,
               const HeadlessConfig& config, std::ostream& log, std::string* error);

// Code page 932 text as UTF-8 for printing; bytes that do not convert are
// shown as \xNN.
std::string cp932_text_to_utf8(const std::string& text);
