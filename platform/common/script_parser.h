// Replay scripts: a plain text format of one command a line that drives the headless
// backend, and its parser, which reads a script as a stream into compact commands.
//
//   # a comment; '#' also ends a command line
//   move X Y             cursor to client pixel (X, Y)
//   down left|right      button pressed
//   up left|right        button released
//   key down|up KEY      KEY: z, i, n, m, tab, f1, f2, f3, f12, backspace, delete, ctrl,
//                        shift, y, s, [ or ] (Ctrl held and S pressed: a save into the
//                        output folder; Ctrl and Z: undo; Ctrl and Y, or Ctrl, Shift and Z:
//                        redo; [ and ]: the push brush smaller and larger)
//   wheel N              the mouse wheel turned N notches, positive toward the object
//   char N               typed character code N (27 is Escape)
//   escape               the same as char 27
//   close                the window's close box
//   frames N             run the loop for N frames (waiting events first)
//   screenshot NAME      the window's client area as NAME.png
//   export NAME.EXT      the figure (every part) in the format of EXT (EXPORT_FORMATS)
//   image FILE           a PNG or BMP traced under the drawing (app/trace_image.h), FILE
//                        relative to the script's folder unless it starts with '/'
//
// Events wait in the window's queue until the next `frames` runs the loop.
// Since the mouse is sampled once per frame, a stroke needs a frame after
// each move. One UTF-8 byte-order mark at the very start is skipped.
// The player is platform/headless/script_player.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The replay tool's exit codes, which its reader, player and main share.
inline constexpr int REPLAY_DONE = 0;
// A bad line, a script without commands, a command after the program ended, nothing to
// export, or a script's output naming a file another output writes.
inline constexpr int REPLAY_SCRIPT_ERROR = 1;
// Bad arguments, or an output naming an input or a file another argument writes.
inline constexpr int REPLAY_USAGE = 2;
inline constexpr int REPLAY_OUTPUT_FAILED = 3;      // a file could not be written
inline constexpr int REPLAY_SCRIPT_UNREADABLE = 4;  // not a file or pipe that can be read
// An image (--image, or a script's `image` line) missing, unreadable, too large or not an image.
inline constexpr int REPLAY_IMAGE_UNUSABLE = 5;

// The formats the figure is exported in, each once: its file extension, the replay tool's
// option for the end-of-script file, and the exporter of the whole figure (app/mesh_export.h).
struct ExportFormat {
    const char* extension;
    const char* option;
    const char* description;  // for the usage text
    int32_t (*exporter)(std::string* out);
};
enum ExportFormatIndex { FORMAT_OBJ, FORMAT_PLY, FORMAT_STL, FORMAT_GLB, EXPORT_FORMAT_COUNT };
extern const ExportFormat EXPORT_FORMATS[EXPORT_FORMAT_COUNT];
// The format of a file name, by its extension; null for none.
const ExportFormat* export_format_of(std::string_view name);

enum class ScriptCommandKind : uint8_t {
    Move,
    Down,
    Up,
    KeyDown,
    KeyUp,
    Wheel,
    Char,
    Close,
    Frames,
    Screenshot,
    Export,
    Image
};

// One command in 16 bytes, so that a script of a million commands takes 16 MiB; the names
// of screenshots and exports are kept apart, in the script's name blocks.
struct ScriptCommand {
    int32_t line;  // 1-based line number in the script
    // x, button bit, virtual key, wheel notches, character code or frame count; for a
    // screenshot or an
    // export, where its name starts in the name blocks
    int32_t a = 0;
    int32_t b = 0;  // y; for a screenshot or an export, the name's length
    ScriptCommandKind kind = ScriptCommandKind::Frames;
};

// Name blocks are filled to at most this many bytes, each name whole in one block, so that
// the names of a large script are never copied as a whole while it grows.
inline constexpr size_t NAME_BLOCK_BYTES = size_t(1) << 20;

// A parsed script: its commands, and the names of its screenshots and exports.
struct Script {
    std::vector<ScriptCommand> commands;
    std::vector<std::string> name_blocks;
    // The folder `image` files are found in: the script file's own (empty: the current one).
    std::string folder;
};
// The name of a screenshot (without ".png"), an export (with its extension) or an image's
// file; empty for any other command, or one that names no place in these blocks.
std::string_view command_name(const Script& script, const ScriptCommand& command);

// A script holds at most MAX_SCRIPT_BYTES and MAX_SCRIPT_COMMANDS commands, and a line at
// most MAX_LINE_BYTES before its line end ("\n" or "\r\n"). A control character in a line,
// tab aside, makes it a bad line. The memory a parsed script takes is bounded by those
// limits: 16 bytes a command (24 MiB at the moment its array last grows) and its names,
// which are part of its bytes (docs/RELIABILITY.md gives the sum).
inline constexpr size_t MAX_SCRIPT_BYTES = size_t(64) << 20;
inline constexpr size_t MAX_SCRIPT_COMMANDS = size_t(1) << 20;
inline constexpr size_t MAX_LINE_BYTES = 4096;
inline constexpr int64_t MAX_FRAMES_PER_COMMAND = 1000000;

// A script parsed as it is read, piece by piece: the memory it takes is its commands and
// one line.
struct ScriptReader {
    Script* script = nullptr;  // where the commands go
    std::string line;          // the line being gathered
    int32_t lines = 0;         // lines complete so far
    size_t bytes = 0;          // bytes read so far
    std::string error;         // "LINE: what is wrong"
};

// Reads the next piece of the script. False once a line is bad, with its error in
// reader->error; nothing more is read then.
bool read_script_piece(ScriptReader* reader, std::string_view piece);
// The last line, when the script does not end with a line end. False for a bad one.
bool finish_script(ScriptReader* reader);

// Parses a whole script. On the first bad line returns false with
// "LINE: what is wrong" in *error and leaves *script partly filled.
bool parse_script(std::string_view text, Script* script, std::string* error);
