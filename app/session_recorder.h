// Session recording: what the application shell receives, written as a replay
// script (the format of platform/common/script_parser.h), so that
// sketch3d-replay plays the very same frames, a save writes the session so
// far beside its picture, and a window opened on the script rebuilds it.
//
// The shell reacts to its input only inside frames, so the script keeps, for
// each frame, the state the frame starts from: the button presses and
// releases, wheel notches and typed characters in the order the shell
// received them, the close box, the mouse sample in client pixels (a `move`
// whenever it changed), and the keys the shell queries, as those queries would report
// them (held now, pressed since the previous query). Frames with no input
// between them are merged into one `frames N`.
//
// The shell itself records: every session, from the window's creation on
// (shell_window_created starts a new recording), through press_button,
// release_button, turn_wheel, shell_character, shell_window_destroyed,
// run_frame and its key queries. Backends only call the shell.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/platform.h"

// The keys the shell queries, under their script names. S is not recorded: a
// save changes nothing the script rebuilds, and a recorded or saved session
// that is played again must not save again. Ctrl is, since with Z and Y it
// undoes and redoes steps.
struct ScriptKey {
    const char* name;
    int virtual_key;
    bool recorded;
};
inline constexpr ScriptKey SCRIPT_KEYS[] = {{"z", KEY_Z, true},
                                            {"f1", KEY_F1, true},
                                            {"f2", KEY_F2, true},
                                            {"f3", KEY_F3, true},
                                            {"f12", KEY_F12, true},
                                            {"i", KEY_I, true},
                                            {"n", KEY_N, true},
                                            {"m", KEY_M, true},
                                            {"tab", KEY_TAB, true},
                                            {"backspace", KEY_BACKSPACE, true},
                                            {"delete", KEY_DELETE, true},
                                            {"ctrl", KEY_CONTROL, true},
                                            {"s", KEY_S, false},
                                            {"y", KEY_Y, true},
                                            {"shift", KEY_SHIFT, true},
                                            {"[", KEY_BRUSH_SMALLER, true},
                                            {"]", KEY_BRUSH_LARGER, true},
                                            {"a", KEY_A, true},
                                            {"r", KEY_R, true},
                                            {"space", KEY_SPACE, true},
                                            {"1", KEY_COLOUR_FIRST, true},
                                            {"2", KEY_COLOUR_FIRST + 1, true},
                                            {"3", KEY_COLOUR_FIRST + 2, true},
                                            {"4", KEY_COLOUR_FIRST + 3, true},
                                            {"5", KEY_COLOUR_FIRST + 4, true},
                                            {"6", KEY_COLOUR_FIRST + 5, true},
                                            {"7", KEY_COLOUR_FIRST + 6, true},
                                            {"8", KEY_COLOUR_FIRST + 7, true}};
inline constexpr int32_t SCRIPT_KEY_COUNT = int32_t(sizeof SCRIPT_KEYS / sizeof SCRIPT_KEYS[0]);

// A recording keeps at most this many commands, each a line of at most 30
// bytes (`move -2147483648 -2147483648`): at most about 30 MiB, and about
// 1 KiB a second while the mouse moves at 50 frames a second, so a limit met
// after some six hours of drawing. A recording that reaches it stops there
// and is no longer the whole session (recording_complete()).
inline constexpr int32_t MAX_RECORDED_COMMANDS = int32_t(1) << 20;
// The frames of one `frames N` line at most.
inline constexpr int32_t MAX_RECORDED_FRAMES_PER_LINE = 1000000;

// The key query of the backend for one key, without clearing its
// pressed-since-query bit: bit 15 held now, bit 0 pressed since the query.
using KeyPeek = uint16_t (*)(int virtual_key);

// Starts a new script (the previous one is dropped) for a window whose
// client area is width x height.
void start_recording(int32_t client_width, int32_t client_height);

// Input as the shell receives it.
void record_button(int32_t button, bool down);  // BUTTON_LEFT or BUTTON_RIGHT
void record_char(int code);
void record_wheel(int32_t notches);
void record_close();
// The frame about to run: the mouse sample it will use, in client pixels, and
// the current state of the keys through `peek`.
void record_frame(int32_t client_x, int32_t client_y, KeyPeek peek);
// The shell queried a key: its pressed-since-query bit is now clear.
void record_key_query(int virtual_key);
// A comment line at this point of the script (`# text`); `text` is one line.
void record_note(const std::string& text);
// A picture traced under the drawing was loaded (app/trace_image.h): an
// `image NAME` line, NAME as the script names the file (relative to the
// script's folder); a name that is not one word of printable characters
// without '#' is written image-K.png, K counting the session's pictures.
void record_image(const std::string& name);

// The script so far, the frames not yet written out included.
std::string recorded_script();
// The same with the session's `image` lines naming `names` instead, in the
// order they were recorded (a save's own copies of the pictures); a line
// without a name in `names` keeps its own.
std::string recorded_script(const std::vector<std::string>& names);
// False once the recording met its limit: the script then ends where it did.
bool recording_complete();

// Grows whenever the script gains something that can change what it rebuilds:
// a line, or a frame run while a button or a key is held (a held key or
// button can change the picture every frame). Frames with nothing held add
// no revision, so a writer that keeps the script on disk knows when to write
// it again.
struct RecordingRevision {
    uint64_t changes;  // lines and frames with something held
    uint64_t events;  // button releases, key presses, wheel turns, typed characters: ends of a step
};
RecordingRevision recording_revision();
