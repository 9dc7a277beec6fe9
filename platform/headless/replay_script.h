// Replay scripts: a plain text format of one command a line that drives the
// headless backend, and the runner that plays one and writes screenshots.
//
//   # a comment; '#' also ends a command line
//   move X Y             cursor to client pixel (X, Y)
//   down left|right      button pressed
//   up left|right        button released
//   key down|up KEY      KEY: z, i, f1, f2, f3, f12, backspace or delete
//   char N               typed character code N (27 is Escape)
//   escape               the same as char 27
//   close                the window's close box
//   frames N             run the loop for N frames (waiting events first)
//   screenshot NAME      the window's client area as NAME.png
//   export NAME.obj      the edited object as a Wavefront OBJ file NAME.obj;
//   export NAME.ply      as a PLY file with the colours of the last frame
//   export NAME.stl      as a binary STL file (model units as millimetres)
//   export NAME.glb      as a glTF binary file
//
// Events wait in the window's queue until the next `frames` runs the loop.
// Since the mouse is sampled once per frame, a stroke needs a frame after
// each move.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
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

// A script holds at most MAX_SCRIPT_BYTES and MAX_SCRIPT_COMMANDS commands (which bounds
// the memory its commands take, tens of bytes each, to tens of megabytes), and a line at most
// MAX_LINE_BYTES before its line end ("\n" or "\r\n"). A control character in a line, tab
// aside, makes it a bad line.
inline constexpr size_t MAX_SCRIPT_BYTES = size_t(64) << 20;
inline constexpr size_t MAX_SCRIPT_COMMANDS = size_t(1) << 20;
inline constexpr size_t MAX_LINE_BYTES = 4096;

// A script parsed as it is read, piece by piece: the memory it takes is its commands and
// one line.
struct ScriptReader {
    std::vector<ScriptCommand>* commands = nullptr;  // where the commands go
    std::string line;                                // the line being gathered
    int32_t lines = 0;                               // lines complete so far
    size_t bytes = 0;                                // bytes read so far
    std::string error;                               // "LINE: what is wrong"
};

// Reads the next piece of the script. False once a line is bad, with its error in
// reader->error; nothing more is read then.
bool read_script_piece(ScriptReader* reader, std::string_view piece);
// The last line, when the script does not end with a line end. False for a bad one.
bool finish_script(ScriptReader* reader);

// Parses a whole script. On the first bad line returns false with
// "LINE: what is wrong" in *error and leaves *commands partly filled.
bool parse_script(std::string_view text, std::vector<ScriptCommand>* commands, std::string* error);

// Where a played script's output goes. Empty paths write nothing.
struct ReplayOutputs {
    std::string out_dir = ".";  // screenshots and exports of the script's commands
    // The edited object when the script ends, or when the window is closed if
    // that comes first (the shut-down deletes it): OBJ, PLY, STL and GLB files.
    std::string obj_path;
    std::string ply_path;
    std::string stl_path;
    std::string glb_path;
    // One CSV row per frame: the render counters and the frame's measured time.
    std::string stats_path;
    // Called after every frame, for tests that follow a replay frame by frame.
    std::function<void()> after_frame;

    std::array<const std::string*, 4> end_exports() const {
        return {&obj_path, &ply_path, &stl_path, &glb_path};
    }
};
inline constexpr size_t END_EXPORTS = 4;

// Plays the commands in a fresh headless session, writes each screenshot to
// out_dir/NAME.png and each export to out_dir/NAME (the folder is created
// when missing), the statistics as the frames run, then the end-of-script
// files. Every file the replay may write is checked before anything plays,
// and each is written whole or not at all (platform/common/output_file.h).
// Message boxes and the end of the program are reported on `log`.
// Returns 0; 1 with "LINE: ..." in *error for a command given after the
// program ended or an export with no edited object (also at the end: no
// line); 3 with "cannot write PATH: reason" in *error (after "LINE: " for a
// command's file) when a file cannot be written. Nothing is written after an
// error. The session is closed afterwards and its memory reclaimed.
int run_script(const std::vector<ScriptCommand>& commands, const ReplayOutputs& outputs,
               const HeadlessConfig& config, std::ostream& log, std::string* error);
// The same with screenshots and exports into out_dir and no other output.
int run_script(const std::vector<ScriptCommand>& commands, const std::string& out_dir,
               const HeadlessConfig& config, std::ostream& log, std::string* error);
