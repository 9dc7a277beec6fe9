// Session recording: what a backend hands the application shell, written as a
// replay script (the format of platform/headless/script_parser.h), so that
// sketch3d-replay plays the very same frames.
//
// The shell reacts to its input only inside frames, so the script keeps, for
// each frame, the state the frame starts from: the button presses and
// releases and typed characters in the order the shell received them, the
// close box, the mouse sample in client pixels (a `move` whenever it
// changed), and the keys the shell queries, as those queries would report
// them (held now, pressed since the previous query). Frames with no input
// between them are merged into one `frames N`.
//
// One recording at a time. The backend calls record_button, record_char and
// record_close where it calls the shell for them, record_frame right before
// update_mouse and run_frame, and record_key_query from platform_key_state.
#pragma once

#include <cstdint>
#include <string>

#include "app/platform.h"

// The keys the shell queries, under their script names.
struct ScriptKey {
    const char* name;
    int virtual_key;
};
inline constexpr ScriptKey SCRIPT_KEYS[] = {{"z", KEY_Z},
                                            {"f1", KEY_F1},
                                            {"f2", KEY_F2},
                                            {"f3", KEY_F3},
                                            {"f12", KEY_F12},
                                            {"i", KEY_I},
                                            {"backspace", KEY_BACKSPACE},
                                            {"delete", KEY_DELETE}};
inline constexpr int32_t SCRIPT_KEY_COUNT = int32_t(sizeof SCRIPT_KEYS / sizeof SCRIPT_KEYS[0]);

// The key query of the backend for one key, without clearing its
// pressed-since-query bit: bit 15 held now, bit 0 pressed since the query.
using KeyPeek = uint16_t (*)(int virtual_key);

// Starts a new script (the previous one is dropped) for a window whose
// client area is width x height; stop_recording ends it and keeps its text.
void start_recording(int32_t client_width, int32_t client_height);
void stop_recording();
bool recording();

// Input as the shell receives it; each does nothing while not recording.
void record_button(int32_t button, bool down);  // BUTTON_LEFT or BUTTON_RIGHT
void record_char(int code);
void record_close();
// The frame about to run: the mouse sample it will use, in client pixels, and
// the current state of the keys through `peek`.
void record_frame(int32_t client_x, int32_t client_y, KeyPeek peek);
// The shell queried a key: its pressed-since-query bit is now clear.
void record_key_query(int virtual_key);

// The script so far, the frames not yet written out included.
std::string recorded_script();
// The lines written so far, which the recording then forgets, for a backend that streams
// them to a file as the session runs; recorded_script() then holds what came after them.
std::string take_recorded_lines();
