// The session recorder: input as the shell receives it, as replay script lines.
#include "app/session_recorder.h"

#include "app/shell.h"

namespace {

constexpr uint16_t KEY_DOWN_BIT = 0x8000;
constexpr uint16_t KEY_PRESSED_BIT = 0x0001;

// What the replay's key will report: `key down` holds it and sets the
// pressed bit, `key up` lets it go, a query clears the pressed bit.
struct ReplayKey {
    bool down;
    bool pressed;
};

struct RecorderState {
    bool active = false;
    std::string text;
    int32_t pending_frames = 0;  // frames run since the last line written
    bool has_position = false;   // a `move` was written
    int32_t x = 0;               // position of the last `move`
    int32_t y = 0;
    ReplayKey keys[SCRIPT_KEY_COUNT] = {};
};

RecorderState recorder;

// Every line goes after the frames that ran before its input arrived.
void write_line(const std::string& line) {
    if (recorder.pending_frames > 0) {
        recorder.text += "frames " + std::to_string(recorder.pending_frames) + "\n";
        recorder.pending_frames = 0;
    }
    recorder.text += line + "\n";
}

// Brings the replay's key to what the backend's query would report now. A
// pressed bit can only come from a `key down`; a key held without one (held
// while the window got the focus) is pressed in the replay too, which the
// shell cannot tell apart while it stays held.
void sync_key(int32_t k, uint16_t state) {
    ReplayKey& key = recorder.keys[k];
    const std::string name = SCRIPT_KEYS[k].name;
    bool down = (state & KEY_DOWN_BIT) != 0;
    bool pressed = (state & KEY_PRESSED_BIT) != 0;
    if ((pressed && !key.pressed) || (down && !key.down)) {
        write_line("key down " + name);
        key = {true, true};
    }
    // Pressed and released again since the last frame: down, then up.
    if (!down && key.down) {
        write_line("key up " + name);
        key.down = false;
    }
}

}  // namespace

void start_recording(int32_t client_width, int32_t client_height) {
    recorder = RecorderState{};
    recorder.active = true;
    recorder.text = "# sketch3d session recorded on a client area of " +
                    std::to_string(client_width) + " x " + std::to_string(client_height) +
                    " pixels; play it with sketch3d-replay.\n";
}

void stop_recording() {
    recorder.active = false;
}

bool recording() {
    return recorder.active;
}

void record_button(int32_t button, bool down) {
    if (!recorder.active) return;
    const char* name = button == BUTTON_LEFT ? "left" : button == BUTTON_RIGHT ? "right" : nullptr;
    if (name == nullptr) return;
    write_line(std::string(down ? "down " : "up ") + name);
}

void record_char(int code) {
    if (!recorder.active) return;
    write_line(code == CHAR_ESCAPE ? "escape" : "char " + std::to_string(code));
}

void record_close() {
    if (recorder.active) write_line("close");
}

void record_frame(int32_t client_x, int32_t client_y, KeyPeek peek) {
    if (!recorder.active) return;
    for (int32_t k = 0; k < SCRIPT_KEY_COUNT; ++k)
        sync_key(k, peek(SCRIPT_KEYS[k].virtual_key));
    // The replay samples the position of the last `move`; before the first one
    // it would sample the screen origin, so the first frame always gets one.
    if (!recorder.has_position || client_x != recorder.x || client_y != recorder.y) {
        write_line("move " + std::to_string(client_x) + " " + std::to_string(client_y));
        recorder.has_position = true;
        recorder.x = client_x;
        recorder.y = client_y;
    }
    ++recorder.pending_frames;
}

void record_key_query(int virtual_key) {
    if (!recorder.active) return;
    for (int32_t k = 0; k < SCRIPT_KEY_COUNT; ++k)
        if (SCRIPT_KEYS[k].virtual_key == virtual_key) recorder.keys[k].pressed = false;
}

std::string recorded_script() {
    std::string text = recorder.text;
    if (recorder.pending_frames > 0)
        text += "frames " + std::to_string(recorder.pending_frames) + "\n";
    return text;
}

std::string take_recorded_lines() {
    std::string lines;
    lines.swap(recorder.text);
    return lines;
}
