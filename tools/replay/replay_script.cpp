// Parsing and playing replay scripts on the headless backend.
#include "tools/replay/replay_script.h"

#include <iconv.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "app/shell.h"
#include "tools/replay/png_writer.h"

namespace {

constexpr int64_t MAX_FRAMES_PER_COMMAND = 1000000;
constexpr size_t MAX_NAME_LENGTH = 100;

struct NamedValue {
    const char* name;
    int32_t value;
};

constexpr NamedValue BUTTONS[] = {{"left", BUTTON_LEFT}, {"right", BUTTON_RIGHT}};
constexpr NamedValue KEYS[] = {
    {"z", KEY_Z}, {"f1", KEY_F1}, {"f2", KEY_F2}, {"f3", KEY_F3}, {"f12", KEY_F12}};

std::vector<std::string> split_words(const std::string& line) {
    std::string code = line.substr(0, line.find('#'));
    std::istringstream stream(code);
    std::vector<std::string> words;
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

bool parse_integer(const std::string& word, int64_t low, int64_t high, int32_t* value) {
    if (word.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(word.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
    *value = int32_t(parsed);
    return true;
}

template <size_t N>
bool lookup(const NamedValue (&table)[N], const std::string& word, int32_t* value) {
    for (const NamedValue& entry : table) {
        if (word == entry.name) {
            *value = entry.value;
            return true;
        }
    }
    return false;
}

// Screenshot names become file names inside the output folder: letters,
// digits, '-', '_' and '.', not starting with '.', so no name can leave the
// folder or hide a file.
bool valid_name(const std::string& name) {
    if (name.empty() || name.size() > MAX_NAME_LENGTH || name[0] == '.') return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

// Parses one line's words into *command; an error text otherwise.
std::string parse_command(const std::vector<std::string>& words, ScriptCommand* command) {
    const std::string& verb = words[0];
    size_t arguments = words.size() - 1;
    auto expect = [&](size_t count, const char* usage) -> std::string {
        if (arguments == count) return "";
        return "'" + verb + "' expects " + usage;
    };
    if (verb == "move") {
        command->kind = ScriptCommandKind::Move;
        if (auto e = expect(2, "two integers: move X Y"); !e.empty()) return e;
        if (!parse_integer(words[1], INT32_MIN, INT32_MAX, &command->a) ||
            !parse_integer(words[2], INT32_MIN, INT32_MAX, &command->b))
            return "'move' expects two integers, got '" + words[1] + " " + words[2] + "'";
        return "";
    }
    if (verb == "down" || verb == "up") {
        command->kind = verb == "down" ? ScriptCommandKind::Down : ScriptCommandKind::Up;
        if (auto e = expect(1, "a button: left or right"); !e.empty()) return e;
        if (!lookup(BUTTONS, words[1], &command->a))
            return "unknown button '" + words[1] + "' (left or right)";
        return "";
    }
    if (verb == "key") {
        if (auto e = expect(2, "down or up and a key: key down z"); !e.empty()) return e;
        if (words[1] != "down" && words[1] != "up")
            return "'key' expects down or up, got '" + words[1] + "'";
        command->kind = words[1] == "down" ? ScriptCommandKind::KeyDown : ScriptCommandKind::KeyUp;
        if (!lookup(KEYS, words[2], &command->a))
            return "unknown key '" + words[2] + "' (z, f1, f2, f3 or f12)";
        return "";
    }
    if (verb == "char") {
        command->kind = ScriptCommandKind::Char;
        if (auto e = expect(1, "a character code: char 27"); !e.empty()) return e;
        if (!parse_integer(words[1], 0, 0xFFFF, &command->a))
            return "'char' expects a character code 0..65535, got '" + words[1] + "'";
        return "";
    }
    if (verb == "escape" || verb == "close") {
        command->kind = verb == "close" ? ScriptCommandKind::Close : ScriptCommandKind::Char;
        command->a = 27;
        return expect(0, "nothing after it");
    }
    if (verb == "frames") {
        command->kind = ScriptCommandKind::Frames;
        if (auto e = expect(1, "a frame count: frames 10"); !e.empty()) return e;
        if (!parse_integer(words[1], 0, MAX_FRAMES_PER_COMMAND, &command->a))
            return "'frames' expects a count 0..1000000, got '" + words[1] + "'";
        return "";
    }
    if (verb == "screenshot") {
        command->kind = ScriptCommandKind::Screenshot;
        if (auto e = expect(1, "a name: screenshot sheet"); !e.empty()) return e;
        if (!valid_name(words[1]))
            return "bad screenshot name '" + words[1] +
                   "' (letters, digits, '-', '_' and '.', not starting with '.')";
        command->name = words[1];
        return "";
    }
    return "unknown command '" + verb + "'";
}

void queue_command(const ScriptCommand& command) {
    switch (command.kind) {
        case ScriptCommandKind::Move:
            headless_queue_move(command.a, command.b);
            break;
        case ScriptCommandKind::Down:
            headless_queue_button_down(command.a);
            break;
        case ScriptCommandKind::Up:
            headless_queue_button_up(command.a);
            break;
        case ScriptCommandKind::KeyDown:
            headless_queue_key_down(command.a);
            break;
        case ScriptCommandKind::KeyUp:
            headless_queue_key_up(command.a);
            break;
        case ScriptCommandKind::Char:
            headless_queue_char(command.a);
            break;
        case ScriptCommandKind::Close:
            headless_queue_close();
            break;
        case ScriptCommandKind::Frames:
        case ScriptCommandKind::Screenshot:
            break;
    }
}

void report_new_messages(size_t* reported, std::ostream& log) {
    const std::vector<HeadlessMessage>& messages = headless_messages();
    for (; *reported < messages.size(); ++*reported)
        log << "message box \"" << messages[*reported].caption
            << "\": " << cp932_text_to_utf8(messages[*reported].text) << "\n";
}

// The operating system reclaims what a program leaves when it ends without
// its shut-down (Escape, a failed start-up, or a script that stops early).
void end_session() {
    if (headless_shut_down_count() == 0) shut_down();
    headless_close();
}

}  // namespace

bool parse_script(const std::string& text, std::vector<ScriptCommand>* commands,
                  std::string* error) {
    std::istringstream stream(text);
    int32_t line_number = 0;
    for (std::string line; std::getline(stream, line);) {
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> words = split_words(line);
        if (words.empty()) continue;
        ScriptCommand command{};
        command.line = line_number;
        std::string problem = parse_command(words, &command);
        if (!problem.empty()) {
            *error = std::to_string(line_number) + ": " + problem;
            return false;
        }
        commands->push_back(command);
    }
    return true;
}

int run_script(const std::vector<ScriptCommand>& commands, const std::string& out_dir,
               const HeadlessConfig& config, std::ostream& log, std::string* error) {
    std::error_code failure;
    std::filesystem::create_directories(out_dir, failure);
    if (failure) {
        *error = "cannot create " + out_dir + ": " + failure.message();
        return 3;
    }

    size_t reported = 0;
    if (headless_open(config) < 0) log << "start-up failed\n";
    report_new_messages(&reported, log);
    int result = 0;
    for (const ScriptCommand& command : commands) {
        if (!headless_running()) {
            *error = std::to_string(command.line) + ": the program has already ended";
            result = 1;
            break;
        }
        if (command.kind == ScriptCommandKind::Frames) {
            // Even `frames 0` hands the waiting events to the window.
            if (command.a == 0) headless_drain_events();
            headless_run_frames(command.a);
        } else if (command.kind == ScriptCommandKind::Screenshot) {
            std::string path = (std::filesystem::path(out_dir) / (command.name + ".png")).string();
            if (!write_png_555(path, headless_window_pixels().data(), headless_client_width(),
                               headless_client_height())) {
                *error = std::to_string(command.line) + ": cannot write " + path;
                result = 3;
                break;
            }
            log << "frame " << headless_frame_count() << ": " << path << "\n";
        } else {
            queue_command(command);
        }
        report_new_messages(&reported, log);
    }
    if (result == 0) {
        headless_drain_events();
        report_new_messages(&reported, log);
        if (headless_running()) {
            log << "script done after " << headless_frame_count() << " frames\n";
        } else {
            log << "program ended with exit code " << headless_exit_code() << " after "
                << headless_frame_count() << " frames\n";
        }
    }
    end_session();
    return result;
}

std::string cp932_text_to_utf8(const std::string& text) {
    std::string result;
    iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == iconv_t(-1)) converter = iconv_open("UTF-8", "SHIFT_JIS");
    size_t at = 0;
    while (at < text.size()) {
        // One character at a time: a lead byte and, where the converter wants
        // it, one trail byte. Bytes that do not convert are shown in hex.
        bool converted = false;
        for (size_t length = 1; length <= 2 && at + length <= text.size() && !converted; ++length) {
            if (converter == iconv_t(-1)) break;
            char in[2] = {text[at], length == 2 ? text[at + 1] : '\0'};
            char out[16];
            char* in_pointer = in;
            char* out_pointer = out;
            size_t in_left = length;
            size_t out_left = sizeof out;
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
            if (iconv(converter, &in_pointer, &in_left, &out_pointer, &out_left) != size_t(-1) &&
                in_left == 0) {
                result.append(out, size_t(out_pointer - out));
                at += length;
                converted = true;
            }
        }
        if (!converted) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", unsigned(uint8_t(text[at])));
            result += hex;
            ++at;
        }
    }
    if (converter != iconv_t(-1)) iconv_close(converter);
    return result;
}
