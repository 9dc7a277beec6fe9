// The replay script parser: lines to compact commands, through a table of verbs.
#include "platform/common/script_parser.h"

#include <algorithm>
#include <cstdio>

#include "app/mesh_export.h"
#include "app/session_recorder.h"
#include "app/shell.h"
#include "app/trace_image.h"
#include "app/view_zoom.h"
#include "platform/common/integer_text.h"
#include "raster/texture_loader.h"

const ExportFormat EXPORT_FORMATS[EXPORT_FORMAT_COUNT] = {
    {".obj", "--obj", "the edited object (a figure: every part) at the end as a Wavefront OBJ file",
     export_figure_obj},
    {".ply", "--ply", "the same as a PLY file with the last frame's vertex colours",
     export_figure_ply},
    {".stl", "--stl", "the same as a binary STL file (one model unit = 1 mm)", export_figure_stl},
    {".glb", "--glb", "the same as a glTF binary file", export_figure_glb},
};

namespace {

constexpr size_t MAX_NAME_LENGTH = 100;
// A bad line is quoted up to this many bytes.
constexpr size_t MAX_QUOTED_BYTES = 40;
// A UTF-8 byte-order mark, which some editors put at the start of a text file.
constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

struct NamedValue {
    const char* name;
    int32_t value;
};

constexpr NamedValue BUTTONS[] = {{"left", BUTTON_LEFT}, {"right", BUTTON_RIGHT}};

using Words = std::vector<std::string_view>;

// The words of a line, before any '#', between spaces and tabs.
Words split_words(std::string_view line) {
    line = line.substr(0, line.find('#'));
    Words words;
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

bool lookup_button(std::string_view word, int32_t* value) {
    for (const NamedValue& entry : BUTTONS) {
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

// Every key name, as a list for a message: "z, i, ... or 8".
std::string key_names() {
    std::string names;
    for (int32_t k = 0; k < SCRIPT_KEY_COUNT; ++k)
        names += std::string(k == 0                     ? ""
                             : k + 1 < SCRIPT_KEY_COUNT ? ", "
                                                        : " or ") +
                 SCRIPT_KEYS[k].name;
    return names;
}

// Screenshot and export names become file names inside the output folder: letters,
// digits, '-', '_' and '.', not starting with '.', so no name can leave the folder or hide a
// file.
bool valid_name(std::string_view name) {
    if (name.empty() || name.size() > MAX_NAME_LENGTH || name[0] == '.') return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

// Keeps a name in the script's name blocks, where the command finds it.
void keep_name(Script* script, std::string_view name, ScriptCommand* command) {
    if (script->name_blocks.empty() ||
        script->name_blocks.back().size() + name.size() > NAME_BLOCK_BYTES)
        script->name_blocks.emplace_back();
    std::string& block = script->name_blocks.back();
    // A block grows by doubling, but never beyond its size: a short script's names take
    // little, and no block holds more room than NAME_BLOCK_BYTES.
    if (block.size() + name.size() > block.capacity())
        block.reserve(
            std::min(NAME_BLOCK_BYTES, std::max(2 * block.capacity(), block.size() + name.size())));
    // Blocks are 2^20 bytes and a script has at most 64 MiB of names: within int32.
    command->a = int32_t(((script->name_blocks.size() - 1) * NAME_BLOCK_BYTES) + block.size());
    command->b = int32_t(name.size());
    block.append(name);
}

// The verbs' parsers: the command from the words after the verb (their count checked), or
// what is wrong with them.
std::string parse_move(const Words& words, ScriptCommand* command, Script*) {
    command->kind = ScriptCommandKind::Move;
    if (!parse_int32(words[1], INT32_MIN, INT32_MAX, &command->a) ||
        !parse_int32(words[2], INT32_MIN, INT32_MAX, &command->b))
        return "'move' expects two integers " + integer_range(INT32_MIN, INT32_MAX) + ", got " +
               in_quotes(std::string(words[1]) + " " + std::string(words[2]));
    return "";
}

std::string parse_button(const Words& words, ScriptCommand* command, Script*) {
    command->kind = words[0] == "down" ? ScriptCommandKind::Down : ScriptCommandKind::Up;
    if (!lookup_button(words[1], &command->a))
        return "unknown button " + in_quotes(words[1]) + " (left or right)";
    return "";
}

std::string parse_key(const Words& words, ScriptCommand* command, Script*) {
    if (words[1] != "down" && words[1] != "up")
        return "'key' expects down or up, got " + in_quotes(words[1]);
    command->kind = words[1] == "down" ? ScriptCommandKind::KeyDown : ScriptCommandKind::KeyUp;
    if (!lookup_key(words[2], &command->a))
        return "unknown key " + in_quotes(words[2]) + " (" + key_names() + ")";
    return "";
}

std::string parse_wheel(const Words& words, ScriptCommand* command, Script*) {
    command->kind = ScriptCommandKind::Wheel;
    if (!parse_int32(words[1], -MAX_WHEEL_NOTCHES, MAX_WHEEL_NOTCHES, &command->a))
        return "'wheel' expects notches " + integer_range(-MAX_WHEEL_NOTCHES, MAX_WHEEL_NOTCHES) +
               ", got " + in_quotes(words[1]);
    return "";
}

std::string parse_char(const Words& words, ScriptCommand* command, Script*) {
    command->kind = ScriptCommandKind::Char;
    if (!parse_int32(words[1], 0, 0xFFFF, &command->a))
        return "'char' expects a character code " + integer_range(0, 0xFFFF) + ", got " +
               in_quotes(words[1]);
    return "";
}

// `escape` types Escape; `close` is the close box (the code is kept for both).
std::string parse_escape_or_close(const Words& words, ScriptCommand* command, Script*) {
    command->kind = words[0] == "close" ? ScriptCommandKind::Close : ScriptCommandKind::Char;
    command->a = CHAR_ESCAPE;
    return "";
}

std::string parse_frames(const Words& words, ScriptCommand* command, Script*) {
    command->kind = ScriptCommandKind::Frames;
    if (!parse_int32(words[1], 0, MAX_FRAMES_PER_COMMAND, &command->a))
        return "'frames' expects a count " + integer_range(0, MAX_FRAMES_PER_COMMAND) + ", got " +
               in_quotes(words[1]);
    return "";
}

std::string parse_screenshot(const Words& words, ScriptCommand* command, Script* script) {
    command->kind = ScriptCommandKind::Screenshot;
    if (!valid_name(words[1]))
        return "bad screenshot name " + in_quotes(words[1]) +
               " (letters, digits, '-', '_' and '.', not starting with '.')";
    keep_name(script, words[1], command);
    return "";
}

std::string export_names() {
    std::string names;
    for (size_t i = 0; i < EXPORT_FORMAT_COUNT; ++i)
        names += std::string(i == 0                         ? ""
                             : i + 1 == EXPORT_FORMAT_COUNT ? " or "
                                                            : ", ") +
                 "NAME" + EXPORT_FORMATS[i].extension;
    return names;
}

std::string parse_export(const Words& words, ScriptCommand* command, Script* script) {
    command->kind = ScriptCommandKind::Export;
    if (!valid_name(words[1]) || export_format_of(words[1]) == nullptr)
        return "bad export name " + in_quotes(words[1]) + " (" + export_names() +
               "; letters, digits, '-', '_' and '.', not starting with '.')";
    keep_name(script, words[1], command);
    return "";
}

// An image's file: one word, any bytes a path may hold but control characters (which a line
// cannot hold anyway).
std::string parse_image(const Words& words, ScriptCommand* command, Script* script) {
    command->kind = ScriptCommandKind::Image;
    if (words[1].size() > MAX_LINE_BYTES) return "image file name too long";
    keep_name(script, words[1], command);
    return "";
}

struct Verb {
    const char* name;
    size_t arguments;   // the words after the verb
    const char* usage;  // what it expects, for a line with another count
    std::string (*parse)(const Words& words, ScriptCommand* command, Script* script);
};

constexpr Verb VERBS[] = {
    {"move", 2, "two integers: move X Y", parse_move},
    {"down", 1, "a button: left or right", parse_button},
    {"up", 1, "a button: left or right", parse_button},
    {"key", 2, "down or up and a key: key down z", parse_key},
    {"wheel", 1, "notches, positive toward the object: wheel -3", parse_wheel},
    {"char", 1, "a character code: char 27", parse_char},
    {"escape", 0, "nothing after it", parse_escape_or_close},
    {"close", 0, "nothing after it", parse_escape_or_close},
    {"frames", 1, "a frame count: frames 10", parse_frames},
    {"screenshot", 1, "a name: screenshot sheet", parse_screenshot},
    {"export", 1, "a file name: export sheet.obj", parse_export},
    {"image", 1, "a PNG or BMP file: image photo.png", parse_image},
};

// Parses one line's words into *command; an error text otherwise.
std::string parse_command(const Words& words, ScriptCommand* command, Script* script) {
    for (const Verb& verb : VERBS) {
        if (words[0] != verb.name) continue;
        if (words.size() - 1 != verb.arguments)
            return "'" + std::string(verb.name) + "' expects " + verb.usage;
        return verb.parse(words, command, script);
    }
    return "unknown command " + in_quotes(words[0]);
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

// The bytes a line may gather: a line, its '\r' and one more (which shows it is too long),
// and on the first line the byte-order mark.
size_t line_room(const ScriptReader& reader) {
    return MAX_LINE_BYTES + 2 + (reader.lines == 0 ? BYTE_ORDER_MARK.size() : 0);
}

// One complete line, its line end taken off: a command, or nothing for a blank or comment
// line. False with the error in reader->error for a bad line.
bool parse_line(ScriptReader* reader, std::string_view line) {
    const int32_t number = ++reader->lines;
    auto bad = [&](const std::string& problem) {
        reader->error = std::to_string(number) + ": " + problem;
        return false;
    };
    if (number == 1 && line.substr(0, BYTE_ORDER_MARK.size()) == BYTE_ORDER_MARK)
        line.remove_prefix(BYTE_ORDER_MARK.size());
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > MAX_LINE_BYTES)
        return bad("longer than " + std::to_string(MAX_LINE_BYTES) + " bytes");
    if (std::string problem = control_character_in(line); !problem.empty()) return bad(problem);
    const Words words = split_words(line);
    if (words.empty()) return true;
    if (reader->script->commands.size() >= MAX_SCRIPT_COMMANDS)
        return bad("more than " + std::to_string(MAX_SCRIPT_COMMANDS) + " commands");
    ScriptCommand command{};
    command.line = number;
    if (std::string problem = parse_command(words, &command, reader->script); !problem.empty())
        return bad(problem);
    reader->script->commands.push_back(command);
    return true;
}

}  // namespace

const ExportFormat* export_format_of(std::string_view name) {
    for (const ExportFormat& format : EXPORT_FORMATS) {
        const std::string_view extension = format.extension;
        if (name.size() >= extension.size() &&
            name.substr(name.size() - extension.size()) == extension)
            return &format;
    }
    return nullptr;
}

std::string_view command_name(const Script& script, const ScriptCommand& command) {
    if (command.kind != ScriptCommandKind::Screenshot &&
        command.kind != ScriptCommandKind::Export && command.kind != ScriptCommandKind::Image)
        return {};
    const size_t block = size_t(uint32_t(command.a)) / NAME_BLOCK_BYTES;
    const size_t start = size_t(uint32_t(command.a)) % NAME_BLOCK_BYTES;
    if (block >= script.name_blocks.size() || start > script.name_blocks[block].size()) return {};
    return std::string_view(script.name_blocks[block]).substr(start, size_t(uint32_t(command.b)));
}

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
        // A line is gathered only up to what a line may hold, so that a long one costs no
        // memory; the line's own check then refuses it.
        const size_t room = line_room(*reader) - reader->line.size();
        reader->line.append(part.substr(0, std::min(part.size(), room)));
        if (end == std::string_view::npos) {
            if (reader->line.size() >= line_room(*reader)) return parse_line(reader, reader->line);
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

bool parse_script(std::string_view text, Script* script, std::string* error) {
    ScriptReader reader;
    reader.script = script;
    if (read_script_piece(&reader, text) && finish_script(&reader)) return true;
    *error = reader.error;
    return false;
}
