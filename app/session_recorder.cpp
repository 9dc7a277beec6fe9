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
    bool complete = true;  // false once the limit was met
    std::string text;
    int32_t commands = 0;        // command lines in text
    int32_t pending_frames = 0;  // frames run since the last line written
    bool has_position = false;   // a `move` was written
    int32_t x = 0;               // position of the last `move`
    int32_t y = 0;
    int32_t buttons = 0;  // held, as the script has them
    ReplayKey keys[SCRIPT_KEY_COUNT] = {};
    RecordingRevision revision = {0, 0};
    // Where each `image` line's name lies in text.
    std::vector<std::pair<size_t, size_t>> image_names;
};

RecorderState recorder;

std::string frames_line(int32_t frames) {
    return "frames " + std::to_string(frames) + "\n";
}

// Room for one more command and the `frames` line that may follow it; at the
// limit the recording stops, its script ending with the frames it has.
bool room_for_command() {
    if (recorder.commands + 2 <= MAX_RECORDED_COMMANDS) return true;
    recorder.active = false;
    recorder.complete = false;
    return false;
}

// Every line goes after the frames that ran before its input arrived.
void write_pending_frames() {
    if (recorder.pending_frames == 0) return;
    recorder.text += frames_line(recorder.pending_frames);
    ++recorder.commands;
    recorder.pending_frames = 0;
}

void write_line(const std::string& line) {
    if (!recorder.active || !room_for_command()) return;
    write_pending_frames();
    recorder.text += line + "\n";
    ++recorder.commands;
    ++recorder.revision.changes;
}

bool anything_held() {
    if (recorder.buttons != 0) return true;
    for (const ReplayKey& key : recorder.keys)
        if (key.down) return true;
    return false;
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
        ++recorder.revision.events;
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
                    " pixels; play it with sketch3d-replay, or open it with sketch3d FILE.\n";
}

void record_button(int32_t button, bool down) {
    const char* name = button == BUTTON_LEFT ? "left" : button == BUTTON_RIGHT ? "right" : nullptr;
    if (name == nullptr || !recorder.active) return;
    write_line(std::string(down ? "down " : "up ") + name);
    recorder.buttons = down ? recorder.buttons | button : recorder.buttons & ~button;
    if (!down) ++recorder.revision.events;
}

void record_char(int code) {
    write_line(code == CHAR_ESCAPE ? "escape" : "char " + std::to_string(code));
    ++recorder.revision.events;
}

void record_wheel(int32_t notches) {
    write_line("wheel " + std::to_string(notches));
    ++recorder.revision.events;
}

void record_close() {
    write_line("close");
    ++recorder.revision.events;
}

void record_frame(int32_t client_x, int32_t client_y, KeyPeek peek) {
    if (!recorder.active) return;
    for (int32_t k = 0; k < SCRIPT_KEY_COUNT; ++k)
        if (SCRIPT_KEYS[k].recorded) sync_key(k, peek(SCRIPT_KEYS[k].virtual_key));
    // The replay samples the position of the last `move`; before the first one
    // it would sample the screen origin, so the first frame always gets one.
    if (!recorder.has_position || client_x != recorder.x || client_y != recorder.y) {
        write_line("move " + std::to_string(client_x) + " " + std::to_string(client_y));
        recorder.has_position = true;
        recorder.x = client_x;
        recorder.y = client_y;
    }
    if (!recorder.active) return;
    // A `frames` line holds at most MAX_RECORDED_FRAMES_PER_LINE frames, the
    // most one command of a script may run.
    if (recorder.pending_frames == MAX_RECORDED_FRAMES_PER_LINE) {
        if (!room_for_command()) return;
        write_pending_frames();
    }
    ++recorder.pending_frames;
    if (anything_held()) ++recorder.revision.changes;
}

void record_key_query(int virtual_key) {
    for (int32_t k = 0; k < SCRIPT_KEY_COUNT; ++k)
        if (SCRIPT_KEYS[k].virtual_key == virtual_key) recorder.keys[k].pressed = false;
}

void record_note(const std::string& text) {
    if (!recorder.active || !room_for_command()) return;
    write_pending_frames();
    // One comment line whatever the text holds.
    std::string line = "# ";
    for (char c : text)
        line += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? ' ' : c;
    recorder.text += line + "\n";
    ++recorder.revision.changes;
}

void record_image(const std::string& name) {
    bool word = !name.empty();
    for (char c : name)
        word = word && static_cast<unsigned char>(c) > 0x20 && c != 0x7F && c != '#';
    const std::string written =
        word ? name : "image-" + std::to_string(recorder.image_names.size() + 1) + ".png";
    const size_t before = recorder.text.size();
    write_line("image " + written);
    if (recorder.text.size() == before) return;  // not recording, or at the limit
    const size_t line_end = recorder.text.size() - 1;
    recorder.image_names.emplace_back(line_end - written.size(), written.size());
    ++recorder.revision.events;
}

std::string recorded_script(const std::vector<std::string>& names) {
    std::string text;
    size_t at = 0;
    for (size_t i = 0; i < recorder.image_names.size() && i < names.size(); ++i) {
        const auto [start, length] = recorder.image_names[i];
        text.append(recorder.text, at, start - at);
        text += names[i];
        at = start + length;
    }
    text.append(recorder.text, at, std::string::npos);
    if (recorder.pending_frames > 0) text += frames_line(recorder.pending_frames);
    return text;
}

std::string recorded_script() {
    std::string text = recorder.text;
    if (recorder.pending_frames > 0) text += frames_line(recorder.pending_frames);
    return text;
}

bool recording_complete() {
    return recorder.complete;
}

RecordingRevision recording_revision() {
    return recorder.revision;
}
