// Opening a session: a replay script (a save's or a recording's) played into the window that
// is open, as fast as frames can run, after which the user goes on from exactly where it
// ended: the same picture, object and mode.
//
// The shell is driven as a backend drives it: buttons through press_button and
// release_button, typed characters through shell_character, and frames at the script's
// mouse positions. Meanwhile the backend answers the shell's key queries from the script
// (window_replay_key_state) rather than from the keyboard, ignores the user's own buttons and
// keys, and reads its clock through window_replay_clock, which runs a virtual clock while
// the script plays so that no frame waits for the 20 ms pacing, and afterwards goes on from
// where that clock stopped, without a jump. The shell records what it is given as any
// input, so the new session's recording holds the old session and then the new one.
#pragma once

#include <cstdint>

#include "platform/common/script_parser.h"

struct WindowReplayHooks {
    // Runs one frame with the mouse at client pixel (x, y): the backend hands the position
    // to update_mouse in its own screen coordinates, then calls run_frame.
    void (*run_frame_at)(int32_t client_x, int32_t client_y);
    // Called before every frame: handles the system's messages that cannot wait (a close
    // box); false when the program is ending and nothing more should play.
    bool (*keep_going)();
};

// Plays the script's input into the running shell. The window's own commands end it: the
// close box and Escape (`close`, `escape`, `char 27`) stop the replay before them, since the
// user takes over instead; screenshots and exports write nothing here. A button or key the
// script still holds at its end is let go, so the user's own mouse and keys take over from a
// clean state. Returns the frames run.
int64_t play_script_in_window(const Script& script, const WindowReplayHooks& hooks);

// True while a script plays.
bool window_replay_playing();
// The key query while a script plays, in the form of platform_key_state: bit 15 held, bit 0
// pressed since the previous query, which `clear` clears (false for a peek).
uint16_t window_replay_key_state(int virtual_key, bool clear);
// The backend's clock through the replay: `system_tick` while nothing played; a virtual
// clock advancing one millisecond at each reading while a script plays; afterwards
// `system_tick` plus the offset at which the two clocks met, so that time never jumps.
uint32_t window_replay_clock(uint32_t system_tick);
