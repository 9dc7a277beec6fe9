// Playing a script into the open window.
#include "platform/common/window_replay.h"

#include "app/session_recorder.h"
#include "app/shell.h"
#include "base/messages.h"
#include "platform/common/script_image.h"

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

    // Where the script stands.
    const Script* script = nullptr;
    size_t next = 0;          // the next command
    int32_t frames_left = 0;  // of the `frames` command before it
    int32_t x = 0;
    int32_t y = 0;
    int32_t buttons = 0;  // held by the script
    int64_t frames_played = 0;
    int64_t frames_total = 0;

    std::vector<ReplayMessage> messages;
    int64_t unlisted_messages = 0;
};

WindowReplayState replay;

bool valid_key(int virtual_key) {
    return virtual_key >= 0 && virtual_key < KEY_COUNT;
}

// Keys the recorder leaves out are not played either: the save key, so that a script with
// `key down ctrl` and `key down s` written in by hand saves nothing when it is opened.
bool played_key(int virtual_key) {
    if (!valid_key(virtual_key)) return false;
    for (const ScriptKey& key : SCRIPT_KEYS)
        if (key.virtual_key == virtual_key) return key.recorded;
    return true;
}

// The end of a replay: buttons and keys the script holds are let go.
void let_go(int32_t buttons) {
    for (int32_t bit : {BUTTON_LEFT, BUTTON_RIGHT})
        if ((buttons & bit) != 0) release_button(bit);
    for (ReplayKey& key : replay.keys)
        key = {};
}

void finish_replay() {
    if (!shell_lifecycle().quit_requested) let_go(replay.buttons);
    replay.playing = false;
    replay.clock_meets = true;
    replay.script = nullptr;
    replay.frames_left = 0;
}

// One command other than a frame; false when it ends the replay.
bool play_command(const ScriptCommand& command) {
    switch (command.kind) {
        case ScriptCommandKind::Move:
            replay.x = command.a;
            replay.y = command.b;
            break;
        case ScriptCommandKind::Down:
            press_button(command.a);
            replay.buttons |= command.a;
            break;
        case ScriptCommandKind::Up:
            release_button(command.a);
            replay.buttons &= ~command.a;
            break;
        case ScriptCommandKind::KeyDown:
            if (played_key(command.a)) replay.keys[command.a] = {true, true};
            break;
        case ScriptCommandKind::KeyUp:
            if (played_key(command.a)) replay.keys[command.a].down = false;
            break;
        case ScriptCommandKind::Wheel:
            turn_wheel(command.a);
            break;
        case ScriptCommandKind::Char:
            if (command.a == CHAR_ESCAPE) return false;
            shell_character(command.a);
            break;
        case ScriptCommandKind::Close:
            return false;
        case ScriptCommandKind::Frames:
            replay.frames_left = command.a;
            break;
        case ScriptCommandKind::Image: {
            // A picture that cannot be read is listed with the session's old messages; the
            // session plays on without it.
            std::string error;
            if (!play_image_command(*replay.script, command, &error))
                window_replay_keep_message(error.c_str(), "Error");
            break;
        }
        case ScriptCommandKind::Screenshot:
        case ScriptCommandKind::Export:
            break;
    }
    return true;
}

}  // namespace

void start_window_replay(const Script& script) {
    const uint32_t now = replay.playing ? replay.virtual_now : replay.last_system + replay.offset;
    replay.playing = true;
    replay.virtual_now = now;
    for (ReplayKey& key : replay.keys)
        key = {};
    replay.script = &script;
    replay.next = 0;
    replay.frames_left = 0;
    replay.x = 0;
    replay.y = 0;
    replay.buttons = 0;
    replay.frames_played = 0;
    replay.frames_total = 0;
    for (const ScriptCommand& command : script.commands)
        if (command.kind == ScriptCommandKind::Frames && command.a > 0)
            replay.frames_total += command.a;
    replay.messages.clear();
    replay.unlisted_messages = 0;
}

bool continue_window_replay(const WindowReplayHooks& hooks, int64_t frame_budget) {
    if (!replay.playing) return false;
    const std::vector<ScriptCommand>& commands = replay.script->commands;
    int64_t run = 0;
    for (;;) {
        if (shell_lifecycle().quit_requested) break;
        if (replay.frames_left > 0) {
            if (run >= frame_budget) return true;
            if (!hooks.keep_going() || shell_lifecycle().quit_requested) break;
            hooks.run_frame_at(replay.x, replay.y);
            ++replay.frames_played;
            --replay.frames_left;
            ++run;
            continue;
        }
        if (replay.next >= commands.size() || !play_command(commands[replay.next++])) break;
    }
    finish_replay();
    return false;
}

int64_t play_script_in_window(const Script& script, const WindowReplayHooks& hooks) {
    start_window_replay(script);
    while (continue_window_replay(hooks, INT64_MAX)) {
    }
    return replay.frames_played;
}

bool window_replay_playing() {
    return replay.playing;
}

WindowReplayProgress window_replay_progress() {
    WindowReplayProgress progress = {replay.frames_played, replay.frames_total, 100};
    const size_t commands = replay.script != nullptr ? replay.script->commands.size() : 0;
    // Both products stay far below 2^63: at most 2^20 commands of 10^6 frames each.
    if (replay.frames_total > 0) {
        progress.percent = int32_t(replay.frames_played * 100 / replay.frames_total);
    } else if (replay.playing && commands > 0) {
        progress.percent = int32_t(replay.next * 100 / commands);
    }
    return progress;
}

std::string window_replay_progress_text(const std::string& name) {
    return "opening " + name + ": " + std::to_string(window_replay_progress().percent) + "%";
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

bool window_replay_keep_message(const char* text, const char* caption) {
    if (!replay.playing) return false;
    const std::string kept = text != nullptr ? text : "";
    for (ReplayMessage& message : replay.messages) {
        if (message.text == kept) {
            ++message.count;
            return true;
        }
    }
    if (replay.messages.size() < MAX_KEPT_MESSAGES) {
        replay.messages.push_back({kept, caption != nullptr ? caption : "", 1});
    } else {
        ++replay.unlisted_messages;
    }
    return true;
}

const std::vector<ReplayMessage>& window_replay_messages() {
    return replay.messages;
}

int64_t window_replay_unlisted_messages() {
    return replay.unlisted_messages;
}

std::string window_replay_message_summary(size_t max_bytes) {
    if (replay.messages.empty() && replay.unlisted_messages == 0) return "";
    std::string summary = "earlier messages: ";
    int64_t left = replay.unlisted_messages;
    bool full = false;
    for (size_t i = 0; i < replay.messages.size(); ++i) {
        const ReplayMessage& message = replay.messages[i];
        if (full) {
            left += message.count;
            continue;
        }
        char english[ENGLISH_LINE_SIZE];
        std::string item = english_line(message.text.c_str(), english, ENGLISH_LINE_SIZE) > 0
                               ? english
                               : message.caption;
        if (message.count > 1) item += " (" + std::to_string(message.count) + " times)";
        if (i > 0) item = "; " + item;
        // The first item always goes in, whatever its length.
        if (i > 0 && summary.size() + item.size() > max_bytes) {
            full = true;
            left += message.count;
            continue;
        }
        summary += item;
    }
    if (left > 0) summary += " and " + std::to_string(left) + " more";
    return summary;
}
