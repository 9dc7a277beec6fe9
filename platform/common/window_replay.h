// Opening a session: a replay script (a save's or a recording's) played into the window that
// is open, as fast as frames can run, after which the user goes on from exactly where it
// ended: the same picture, object and mode.
//
// The shell is driven as a backend drives it: buttons through press_button and
// release_button, typed characters through shell_character, and frames at the script's
// mouse positions. Meanwhile the backend answers the shell's key queries from the script
// (window_replay_key_state) rather than from the keyboard, ignores the user's own buttons and
// keys but for Escape and the close box, which end the program at once, and reads its clock
// through window_replay_clock, which runs a virtual clock while the script plays so that no
// frame waits for the 20 ms pacing, and afterwards goes on from where that clock stopped,
// without a jump. The shell records what it is given as any input, so the new session's
// recording holds the old session and then the new one.
//
// Opening only shows: the save key (S) of a script is not played, so that a document, however
// it was edited, saves nothing when it is opened (its Ctrl is, for undo and redo); and the message
// boxes its session shows are kept (window_replay_keep_message) and listed once when it ends, each
// text with how often it came, rather than shown one box at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/common/script_parser.h"

struct WindowReplayHooks {
    // Runs one frame with the mouse at client pixel (x, y): the backend hands the position
    // to update_mouse in its own screen coordinates, then calls run_frame.
    void (*run_frame_at)(int32_t client_x, int32_t client_y);
    // Called before every frame: handles the system's messages that cannot wait (the close
    // box, Escape); false when the program is ending and nothing more should play.
    bool (*keep_going)();
};

// Starts playing the script into the running shell; `script` must stay as it is until the
// replay ends. Nothing plays until continue_window_replay. A replay still playing is dropped.
void start_window_replay(const Script& script);
// Plays on until the script ends or `frame_budget` more frames have run. The window's own
// commands end the replay: the close box and Escape (`close`, `escape`, `char 27`) stop it
// before them, since the user takes over instead, and so does the program ending (keep_going
// false, or a quit requested). Screenshots, exports and the save key do nothing here. At its
// end a button or key the script still holds is let go, so the user's own mouse and keys take
// over from a clean state. True while more remains to play; false once the replay has ended.
bool continue_window_replay(const WindowReplayHooks& hooks, int64_t frame_budget);
// The whole script at once: start_window_replay, then continue_window_replay to its end.
// Returns the frames run.
int64_t play_script_in_window(const Script& script, const WindowReplayHooks& hooks);

// True while a script plays.
bool window_replay_playing();

// How far the replay has got: frames run of the frames the script holds, and the share in
// percent (by commands for a script without frames).
struct WindowReplayProgress {
    int64_t frames_played;
    int64_t frames_total;
    int32_t percent;  // 0..100
};
WindowReplayProgress window_replay_progress();
// What a title says while a document opens: "opening NAME: 42%".
std::string window_replay_progress_text(const std::string& name);

// The key query while a script plays, in the form of platform_key_state: bit 15 held, bit 0
// pressed since the previous query, which `clear` clears (false for a peek).
uint16_t window_replay_key_state(int virtual_key, bool clear);
// The backend's clock through the replay: `system_tick` while nothing played; a virtual
// clock advancing one millisecond at each reading while a script plays; afterwards
// `system_tick` plus the offset at which the two clocks met, so that time never jumps.
uint32_t window_replay_clock(uint32_t system_tick);

// A message box of the opened session (code page 932 text and caption), which a backend's
// platform_message_box hands here first: true when it was kept (a script plays), and the
// box is then not shown; false otherwise.
bool window_replay_keep_message(const char* text, const char* caption);
// The messages kept by the latest replay, each distinct text once in the order it first
// came, with how often it came. At most MAX_KEPT_MESSAGES texts are listed; the rest are only
// counted (window_replay_unlisted_messages).
struct ReplayMessage {
    std::string text;  // code page 932, as it would have been shown
    std::string caption;
    int64_t count;
};
inline constexpr size_t MAX_KEPT_MESSAGES = 64;
const std::vector<ReplayMessage>& window_replay_messages();
int64_t window_replay_unlisted_messages();
// The kept messages in one line for a title, by their English lines where they have one:
// "earlier messages: Too many parts: the object table is full. (26 times); ...", cut to
// about `max_bytes`; empty when none was kept.
std::string window_replay_message_summary(size_t max_bytes);
