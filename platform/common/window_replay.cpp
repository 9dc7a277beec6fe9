// Playing a script into the open window.
#include "platform/common/window_replay.h"

#include "app/shell.h"

namespace {

constexpr int KEY_COUNT = 256;
constexpr uint16_t KEY_DOWN_BIT = 0x8000;
constexpr uint16_t KEY_PRESSED_BIT = 0x0001;

struct ReplayKey {
    bool down;
    bool pressed_since_query;
};

struct WindowReplayState {
    bool playing = false;
    bool clock_meets = false;  // the first reading after a replay sets the offset
    uint32_t last_system = 0;  // the last system tick seen
    uint32_t offset = 0;       // added to the system tick once a replay has played
    uint32_t virtual_now = 0;  // the clock while playing
    ReplayKey keys[KEY_COUNT] = {};
};

WindowReplayState replay;

bool valid_key(int virtual_key) {
    return virtual_key >= 0 && virtual_key < KEY_COUNT;
}

// The end of a replay: buttons and keys the script holds are let go.
void let_go(int32_t buttons) {
    for (int32_t bit : {BUTTON_LEFT, BUTTON_RIGHT})
        if ((buttons & bit) != 0) release_button(bit);
    for (ReplayKey& key : replay.keys)
        key = {};
}

}  // namespace

int64_t play_script_in_window(const Script& script, const WindowReplayHooks& hooks) {
    replay.playing = true;
    replay.virtual_now = replay.last_system + replay.offset;
    int32_t x = 0;
    int32_t y = 0;
    int32_t buttons = 0;
    int64_t frames = 0;
    bool going = true;
    for (const ScriptCommand& command : script.commands) {
        if (!going) break;
        switch (command.kind) {
            case ScriptCommandKind::Move:
                x = command.a;
                y = command.b;
                break;
            case ScriptCommandKind::Down:
                press_button(command.a);
                buttons |= command.a;
                break;
            case ScriptCommandKind::Up:
                release_button(command.a);
                buttons &= ~command.a;
                break;
            case ScriptCommandKind::KeyDown:
                if (valid_key(command.a)) replay.keys[command.a] = {true, true};
                break;
            case ScriptCommandKind::KeyUp:
                if (valid_key(command.a)) replay.keys[command.a].down = false;
                break;
            case ScriptCommandKind::Char:
                if (command.a == CHAR_ESCAPE) {
                    going = false;
                } else {
                    shell_character(command.a);
                }
                break;
            case ScriptCommandKind::Close:
                going = false;
                break;
            case ScriptCommandKind::Frames:
                for (int32_t i = 0; i < command.a && going; ++i) {
                    going = hooks.keep_going() && !shell_lifecycle().quit_requested;
                    if (!going) break;
                    hooks.run_frame_at(x, y);
                    ++frames;
                }
                break;
            case ScriptCommandKind::Screenshot:
            case ScriptCommandKind::Export:
                break;
        }
    }
    if (!shell_lifecycle().quit_requested) let_go(buttons);
    replay.playing = false;
    replay.clock_meets = true;
    return frames;
}

bool window_replay_playing() {
    return replay.playing;
}

uint16_t window_replay_key_state(int virtual_key, bool clear) {
    if (!valid_key(virtual_key)) return 0;
    ReplayKey& key = replay.keys[virtual_key];
    const uint16_t state =
        uint16_t((key.down ? KEY_DOWN_BIT : 0) | (key.pressed_since_query ? KEY_PRESSED_BIT : 0));
    if (clear) key.pressed_since_query = false;
    return state;
}

uint32_t window_replay_clock(uint32_t system_tick) {
    if (replay.playing) return replay.virtual_now++;
    replay.last_system = system_tick;
    if (replay.clock_meets) {
        // Modular: the two clocks may lie either way of each other.
        replay.offset = replay.virtual_now - system_tick;
        replay.clock_meets = false;
    }
    return system_tick + replay.offset;
}
