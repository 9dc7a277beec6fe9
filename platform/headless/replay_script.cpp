// Parsing and playing replay scripts on the headless backend.
#include "platform/headless/replay_script.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>

#include "app/frame.h"
#include "app/mesh_export.h"
#include "app/session_recorder.h"
#include "app/shell.h"
#include "platform/common/integer_text.h"
#include "platform/common/output_file.h"
#include "platform/common/png_writer.h"
#include "platform/common/text_encoding.h"
#include "raster/render_stats.h"

namespace {

constexpr int64_t MAX_FRAMES_PER_COMMAND = 1000000;
constexpr size_t MAX_NAME_LENGTH = 100;

struct NamedValue {
    const char* name;
    int32_t value;
};

constexpr NamedValue BUTTONS[] = {{"left", BUTTON_LEFT}, {"right", BUTTON_RIGHT}};

constexpr const char* STATS_HEADER =
    "frame,packets_walked,culled,depth_dropped,drawn,pixels_written,frame_us\n";

// A bad line is quoted up to this many bytes.
constexpr size_t MAX_QUOTED_BYTES = 40;

// The words of a line, before any '#', between spaces and tabs.
std::vector<std::string_view> split_words(std::string_view line) {
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> words;
    for (size_t at = 0; at < line.size();) {
        const size_t start = line.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) break;
        const size_t end = std::min(line.find_first_of(" \t", start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

// A byte as \xNN.
std::string escaped_byte(unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02x", unsigned(byte));
    return text;
}

// Script text in quotes for a message: at most its first MAX_QUOTED_BYTES bytes, and every
// byte that is not printable ASCII as \xNN, so that no file can reach the terminal with
// control sequences or floods of text.
std::string in_quotes(std::string_view text) {
    std::string result = "'";
    for (unsigned char byte : text.substr(0, MAX_QUOTED_BYTES))
        result += byte >= 0x20 && byte < 0x7F ? std::string(1, char(byte)) : escaped_byte(byte);
    return result + (text.size() > MAX_QUOTED_BYTES ? "...'" : "'");
}

bool parse_int32(std::string_view word, int64_t low, int64_t high, int32_t* value) {
    int64_t parsed = 0;
    if (!parse_integer(word, low, high, &parsed)) return false;
    *value = int32_t(parsed);
    return true;
}

template <size_t N>
bool lookup(const NamedValue (&table)[N], std::string_view word, int32_t* value) {
    for (const NamedValue& entry : table) {
        if (word == entry.name) {
            *value = entry.value;
            return true;
        }
    }
    return false;
}

// The keys have the names the session recorder writes.
bool lookup_key(std::string_view word, int32_t* value) {
    for (const ScriptKey& key : SCRIPT_KEYS) {
        if (word == key.name) {
            *value = key.virtual_key;
            return true;
        }
    }
    return false;
}

bool ends_with(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

using Exporter = int32_t (*)(int32_t index, std::string* out);

// The export of a file name's format, by its extension; null for none.
Exporter exporter_for(std::string_view name) {
    constexpr std::pair<const char*, Exporter> FORMATS[] = {
        {".obj", export_obj}, {".ply", export_ply}, {".stl", export_stl}, {".glb", export_glb}};
    for (const auto& [extension, exporter] : FORMATS)
        if (ends_with(name, extension)) return exporter;
    return nullptr;
}

// Screenshot names become file names inside the output folder: letters,
// digits, '-', '_' and '.', not starting with '.', so no name can leave the
// folder or hide a file.
bool valid_name(std::string_view name) {
    if (name.empty() || name.size() > MAX_NAME_LENGTH || name[0] == '.') return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

// Parses one line's words into *command; an error text otherwise.
std::string parse_command(const std::vector<std::string_view>& words, ScriptCommand* command) {
    const std::string verb(words[0]);
    size_t arguments = words.size() - 1;
    auto expect = [&](size_t count, const char* usage) -> std::string {
        if (arguments == count) return "";
        return "'" + verb + "' expects " + usage;
    };
    if (verb == "move") {
        command->kind = ScriptCommandKind::Move;
        if (auto e = expect(2, "two integers: move X Y"); !e.empty()) return e;
        if (!parse_int32(words[1], INT32_MIN, INT32_MAX, &command->a) ||
            !parse_int32(words[2], INT32_MIN, INT32_MAX, &command->b))
            return "'move' expects two integers " + integer_range(INT32_MIN, INT32_MAX) + ", got " +
                   in_quotes(std::string(words[1]) + " " + std::string(words[2]));
        return "";
    }
    if (verb == "down" || verb == "up") {
        command->kind = verb == "down" ? ScriptCommandKind::Down : ScriptCommandKind::Up;
        if (auto e = expect(1, "a button: left or right"); !e.empty()) return e;
        if (!lookup(BUTTONS, words[1], &command->a))
            return "unknown button " + in_quotes(words[1]) + " (left or right)";
        return "";
    }
    if (verb == "key") {
        if (auto e = expect(2, "down or up and a key: key down z"); !e.empty()) return e;
        if (words[1] != "down" && words[1] != "up")
            return "'key' expects down or up, got " + in_quotes(words[1]);
        command->kind = words[1] == "down" ? ScriptCommandKind::KeyDown : ScriptCommandKind::KeyUp;
        if (!lookup_key(words[2], &command->a))
            return "unknown key " + in_quotes(words[2]) +
                   " (z, i, f1, f2, f3, f12, backspace or delete)";
        return "";
    }
    if (verb == "char") {
        command->kind = ScriptCommandKind::Char;
        if (auto e = expect(1, "a character code: char 27"); !e.empty()) return e;
        if (!parse_int32(words[1], 0, 0xFFFF, &command->a))
            return "'char' expects a character code " + integer_range(0, 0xFFFF) + ", got " +
                   in_quotes(words[1]);
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
        if (!parse_int32(words[1], 0, MAX_FRAMES_PER_COMMAND, &command->a))
            return "'frames' expects a count " + integer_range(0, MAX_FRAMES_PER_COMMAND) +
                   ", got " + in_quotes(words[1]);
        return "";
    }
    if (verb == "screenshot") {
        command->kind = ScriptCommandKind::Screenshot;
        if (auto e = expect(1, "a name: screenshot sheet"); !e.empty()) return e;
        if (!valid_name(words[1]))
            return "bad screenshot name " + in_quotes(words[1]) +
                   " (letters, digits, '-', '_' and '.', not starting with '.')";
        command->name = words[1];
        return "";
    }
    if (verb == "export") {
        command->kind = ScriptCommandKind::Export;
        if (auto e = expect(1, "a file name: export sheet.obj"); !e.empty()) return e;
        if (!valid_name(words[1]) || exporter_for(words[1]) == nullptr)
            return "bad export name " + in_quotes(words[1]) +
                   " (NAME.obj, NAME.ply, NAME.stl or NAME.glb; letters, digits, '-', '_' and "
                   "'.', not starting with '.')";
        command->name = words[1];
        return "";
    }
    return "unknown command " + in_quotes(verb);
}

// A control character in the line (tab aside), as "control character \xNN at byte N"; empty
// when there is none.
std::string control_character_in(std::string_view line) {
    for (size_t at = 0; at < line.size(); ++at) {
        const unsigned char byte = static_cast<unsigned char>(line[at]);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7F)
            return "control character " + escaped_byte(byte) + " at byte " + std::to_string(at + 1);
    }
    return "";
}

// One complete line, its line end taken off: a command, or nothing for a blank or comment
// line. False with the error in reader->error for a bad line.
bool parse_line(ScriptReader* reader, std::string_view line) {
    const int32_t number = ++reader->lines;
    auto bad = [&](const std::string& problem) {
        reader->error = std::to_string(number) + ": " + problem;
        return false;
    };
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > MAX_LINE_BYTES)
        return bad("longer than " + std::to_string(MAX_LINE_BYTES) + " bytes");
    if (std::string problem = control_character_in(line); !problem.empty()) return bad(problem);
    const std::vector<std::string_view> words = split_words(line);
    if (words.empty()) return true;
    ScriptCommand command{};
    command.line = number;
    if (std::string problem = parse_command(words, &command); !problem.empty()) return bad(problem);
    if (reader->commands->size() >= MAX_SCRIPT_COMMANDS)
        return bad("more than " + std::to_string(MAX_SCRIPT_COMMANDS) + " commands");
    reader->commands->push_back(command);
    return true;
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
        case ScriptCommandKind::Export:
            break;
    }
}

void report_new_messages(size_t* reported, std::ostream& log) {
    const std::vector<HeadlessMessage>& messages = headless_messages();
    for (; *reported < messages.size(); ++*reported)
        log << "message box \"" << messages[*reported].caption
            << "\": " << cp932_to_utf8(messages[*reported].text) << "\n";
}

// A script being played: where its output goes and what it has gathered.
struct Replay {
    const ReplayOutputs& outputs;
    std::ostream& log;
    OutputFile stats;  // the CSV rows, written as the frames run
    bool end_taken = false;
    // The end-of-script exports, in the order of ReplayOutputs::end_exports().
    int32_t end_results[END_EXPORTS] = {EXPORT_OK, EXPORT_OK, EXPORT_OK, EXPORT_OK};
    std::string end_data[END_EXPORTS];
};

// Runs up to `count` frames one at a time, timing each and collecting its
// render counters; the loop runs exactly as it would for all of them at once.
void run_frames(Replay& replay, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        auto start = std::chrono::steady_clock::now();
        if (headless_run_frames(1) == 0) return;
        auto elapsed = std::chrono::steady_clock::now() - start;
        if (!replay.outputs.stats_path.empty()) {
            const RenderStats& s = render_stats;
            write_output(
                &replay.stats,
                std::to_string(headless_frame_count()) + "," + std::to_string(s.packets_walked) +
                    "," + std::to_string(s.culled) + "," + std::to_string(s.depth_dropped) + "," +
                    std::to_string(s.drawn) + "," + std::to_string(s.pixels_written) + "," +
                    std::to_string(
                        std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()) +
                    "\n");
        }
        if (replay.outputs.after_frame) replay.outputs.after_frame();
    }
}

// The file a screenshot or export command writes.
std::string command_output_path(const ScriptCommand& command, const std::string& out_dir) {
    const std::string name =
        command.kind == ScriptCommandKind::Screenshot ? command.name + ".png" : command.name;
    return (std::filesystem::path(out_dir) / name).string();
}

// A screenshot or export command: 0, 1 with no object to export, 3 when the
// file cannot be written.
int write_command_output(const ScriptCommand& command, Replay& replay, std::string* error) {
    const std::string line = std::to_string(command.line) + ": ";
    const std::string path = command_output_path(command, replay.outputs.out_dir);
    std::string data;
    if (command.kind == ScriptCommandKind::Screenshot) {
        if (!encode_png_555(headless_window_pixels().data(), headless_client_width(),
                            headless_client_height(), &data)) {
            *error = line + "cannot write " + path + ": the window has no pixels";
            return 3;
        }
    } else if (int32_t exported = exporter_for(command.name)(selected_object(), &data);
               exported != EXPORT_OK) {
        *error = line + "cannot export " + command.name + ": " + export_error_text(exported);
        return 1;
    }
    std::string reason;
    if (!write_output_file(path, data, &reason)) {
        *error = line + reason;
        return 3;
    }
    replay.log << "frame " << headless_frame_count() << ": " << path << "\n";
    return 0;
}

// Every file the replay may write, checked before anything plays, and the statistics
// file opened: 0, or 3 with the first that cannot be written.
int prepare_outputs(const std::vector<ScriptCommand>& commands, Replay& replay,
                    std::string* error) {
    const ReplayOutputs& outputs = replay.outputs;
    std::error_code failure;
    std::filesystem::create_directories(outputs.out_dir, failure);
    if (failure) {
        *error = "cannot create " + outputs.out_dir + ": " + failure.message();
        return 3;
    }
    for (const std::string* path : outputs.end_exports()) {
        if (!path->empty() && !check_output_path(*path, error)) return 3;
    }
    std::set<std::string> checked;
    for (const ScriptCommand& command : commands) {
        if (command.kind != ScriptCommandKind::Screenshot &&
            command.kind != ScriptCommandKind::Export)
            continue;
        const std::string path = command_output_path(command, outputs.out_dir);
        if (!checked.insert(path).second) continue;
        if (std::string reason; !check_output_path(path, &reason)) {
            *error = std::to_string(command.line) + ": " + reason;
            return 3;
        }
    }
    if (outputs.stats_path.empty()) return 0;
    if (!open_output(outputs.stats_path, &replay.stats, error)) return 3;
    write_output(&replay.stats, STATS_HEADER);
    return 0;
}

// Takes the end-of-script exports once: at the close box or at the end.
void take_end_exports(Replay& replay) {
    if (replay.end_taken) return;
    replay.end_taken = true;
    // Whatever the files are named: OBJ, PLY, STL and GLB in the order of end_exports().
    constexpr Exporter EXPORTERS[END_EXPORTS] = {export_obj, export_ply, export_stl, export_glb};
    std::array<const std::string*, END_EXPORTS> paths = replay.outputs.end_exports();
    for (size_t i = 0; i < paths.size(); ++i)
        if (!paths[i]->empty())
            replay.end_results[i] = EXPORTERS[i](selected_object(), &replay.end_data[i]);
}

// The end-of-script files: 0, 1 when there was no object to export, 3 when a
// file cannot be written. None is written unless all exports could be made.
int write_end_outputs(Replay& replay, std::string* error) {
    for (int32_t exported : replay.end_results) {
        if (exported != EXPORT_OK) {
            *error = std::string("at the end of the script: ") + export_error_text(exported);
            return 1;
        }
    }
    std::array<const std::string*, END_EXPORTS> paths = replay.outputs.end_exports();
    std::vector<std::pair<const std::string&, const std::string&>> files;
    for (size_t i = 0; i < paths.size(); ++i)
        files.emplace_back(*paths[i], replay.end_data[i]);
    for (const auto& [path, data] : files) {
        if (path.empty()) continue;
        if (!write_output_file(path, data, error)) return 3;
        replay.log << "wrote " << path << "\n";
    }
    if (replay.outputs.stats_path.empty()) return 0;
    if (!commit_output(&replay.stats, error)) return 3;
    replay.log << "wrote " << replay.outputs.stats_path << "\n";
    return 0;
}

// The operating system reclaims what a program leaves when it ends without
// its shut-down (Escape, a failed start-up, or a script that stops early).
void end_session() {
    if (headless_shut_down_count() == 0) shut_down();
    headless_close();
}

}  // namespace

bool read_script_piece(ScriptReader* reader, std::string_view piece) {
    if (!reader->error.empty()) return false;
    if (piece.size() > MAX_SCRIPT_BYTES - reader->bytes) {
        reader->error = std::to_string(reader->lines + 1) + ": the script is longer than " +
                        std::to_string(MAX_SCRIPT_BYTES >> 20) + " MiB";
        return false;
    }
    reader->bytes += piece.size();
    while (!piece.empty()) {
        const size_t end = piece.find('\n');
        const std::string_view part = piece.substr(0, end);
        // A line is gathered only up to what a line may hold (and a '\r'), so that a long
        // one costs no memory; the line's own check then refuses it.
        const size_t room = MAX_LINE_BYTES + 2 - reader->line.size();
        reader->line.append(part.substr(0, std::min(part.size(), room)));
        if (end == std::string_view::npos) {
            if (reader->line.size() > MAX_LINE_BYTES + 1) return parse_line(reader, reader->line);
            return true;
        }
        const bool parsed = parse_line(reader, reader->line);
        reader->line.clear();
        if (!parsed) return false;
        piece.remove_prefix(end + 1);
    }
    return true;
}

bool finish_script(ScriptReader* reader) {
    if (!reader->error.empty()) return false;
    if (reader->line.empty()) return true;
    const bool parsed = parse_line(reader, reader->line);
    reader->line.clear();
    return parsed;
}

bool parse_script(std::string_view text, std::vector<ScriptCommand>* commands, std::string* error) {
    ScriptReader reader;
    reader.commands = commands;
    if (read_script_piece(&reader, text) && finish_script(&reader)) return true;
    *error = reader.error;
    return false;
}

int run_script(const std::vector<ScriptCommand>& commands, const ReplayOutputs& outputs,
               const HeadlessConfig& config, std::ostream& log, std::string* error) {
    Replay replay{outputs, log, OutputFile{}, false, {EXPORT_OK, EXPORT_OK, EXPORT_OK, EXPORT_OK},
                  {}};
    if (int checked = prepare_outputs(commands, replay, error); checked != 0) return checked;
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
            run_frames(replay, command.a);
        } else if (command.kind == ScriptCommandKind::Screenshot ||
                   command.kind == ScriptCommandKind::Export) {
            result = write_command_output(command, replay, error);
            if (result != 0) break;
        } else {
            // The close box deletes the object: what the end-of-script files show
            // is taken now, as no frame can run before the close is handled.
            if (command.kind == ScriptCommandKind::Close) take_end_exports(replay);
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
        take_end_exports(replay);
        result = write_end_outputs(replay, error);
    }
    // After an error nothing more is written, the statistics neither.
    discard_output(&replay.stats);
    end_session();
    return result;
}

int run_script(const std::vector<ScriptCommand>& commands, const std::string& out_dir,
               const HeadlessConfig& config, std::ostream& log, std::string* error) {
    ReplayOutputs outputs;
    outputs.out_dir = out_dir;
    return run_script(commands, outputs, config, log, error);
}
