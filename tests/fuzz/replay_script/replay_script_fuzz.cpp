// Fuzz target: the replay tool's script parser on arbitrary text.
//
// A parse either fails with "LINE: what is wrong" or gives commands whose
// values are all in range, on increasing lines; written back out one a line,
// they parse again to the very same commands. Read in pieces, as a file is
// streamed, the text gives the same commands or the same error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/session_recorder.h"
#include "app/shell.h"
#include "platform/common/script_parser.h"

namespace {

void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "script fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

const char* key_name(int32_t virtual_key) {
    for (const ScriptKey& key : SCRIPT_KEYS) {
        if (key.virtual_key == virtual_key) return key.name;
    }
    return nullptr;
}

bool valid_name(std::string_view name) {
    if (name.empty() || name.size() > 100 || name[0] == '.') return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

// The command as a script line; null-free text that parses back to it.
std::string line_of(const Script& script, const ScriptCommand& c) {
    const char* button = c.a == BUTTON_LEFT ? "left" : "right";
    switch (c.kind) {
        case ScriptCommandKind::Move:
            return "move " + std::to_string(c.a) + " " + std::to_string(c.b);
        case ScriptCommandKind::Down:
            return std::string("down ") + button;
        case ScriptCommandKind::Up:
            return std::string("up ") + button;
        case ScriptCommandKind::KeyDown:
            return std::string("key down ") + key_name(c.a);
        case ScriptCommandKind::KeyUp:
            return std::string("key up ") + key_name(c.a);
        case ScriptCommandKind::Wheel:
            return "wheel " + std::to_string(c.a);
        case ScriptCommandKind::Char:
            return "char " + std::to_string(c.a);
        case ScriptCommandKind::Close:
            return "close";
        case ScriptCommandKind::Frames:
            return "frames " + std::to_string(c.a);
        case ScriptCommandKind::Screenshot:
            return "screenshot " + std::string(command_name(script, c));
        case ScriptCommandKind::Export:
            return "export " + std::string(command_name(script, c));
        case ScriptCommandKind::Image:
            return "image " + std::string(command_name(script, c));
    }
    return "";
}

void check_command(const Script& script, const ScriptCommand& c, int32_t previous_line) {
    const auto line_of = [&](const ScriptCommand& command) { return ::line_of(script, command); };
    const std::string name(command_name(script, c));
    if (c.line <= previous_line) fail("lines out of order", line_of(c));
    switch (c.kind) {
        case ScriptCommandKind::Down:
        case ScriptCommandKind::Up:
            if (c.a != BUTTON_LEFT && c.a != BUTTON_RIGHT) fail("bad button", line_of(c));
            break;
        case ScriptCommandKind::KeyDown:
        case ScriptCommandKind::KeyUp:
            if (key_name(c.a) == nullptr) fail("bad key", std::to_string(c.a));
            break;
        case ScriptCommandKind::Wheel:
            if (c.a < -1000 || c.a > 1000) fail("bad wheel notches", line_of(c));
            break;
        case ScriptCommandKind::Char:
            if (c.a < 0 || c.a > 0xFFFF) fail("bad character", line_of(c));
            break;
        case ScriptCommandKind::Close:
            if (c.a != 27) fail("bad close", line_of(c));
            break;
        case ScriptCommandKind::Frames:
            if (c.a < 0 || c.a > 1000000) fail("bad frame count", line_of(c));
            break;
        case ScriptCommandKind::Screenshot:
            if (!valid_name(name)) fail("bad screenshot name", name);
            break;
        case ScriptCommandKind::Export: {
            const std::string end = name.size() >= 4 ? name.substr(name.size() - 4) : "";
            if (!valid_name(name) ||
                (end != ".obj" && end != ".ply" && end != ".stl" && end != ".glb"))
                fail("bad export name", name);
            break;
        }
        case ScriptCommandKind::Image:
            // One word: no space, tab or '#' (which would end the line's command).
            if (name.empty() || name.find_first_of(" \t#") != std::string::npos)
                fail("bad image name", name);
            break;
        case ScriptCommandKind::Move:
            break;
    }
}

// The same command, names compared by their text (where they are kept may differ).
bool same(const Script& first, const ScriptCommand& a, const Script& second,
          const ScriptCommand& b) {
    if (a.kind != b.kind) return false;
    if (a.kind == ScriptCommandKind::Screenshot || a.kind == ScriptCommandKind::Export ||
        a.kind == ScriptCommandKind::Image)
        return command_name(first, a) == command_name(second, b);
    return a.a == b.a && a.b == b.b;
}

// The text read in pieces of 1 to 16 bytes, the sizes taken from the text itself.
void check_pieces(const std::string& text, const Script& script, const std::string& error) {
    Script streamed;
    ScriptReader reader;
    reader.script = &streamed;
    bool read = true;
    for (size_t at = 0; at < text.size() && read;) {
        const size_t piece = 1 + size_t(uint8_t(text[at])) % 16;
        read = read_script_piece(&reader, std::string_view(text).substr(at, piece));
        at += piece;
    }
    if (read) finish_script(&reader);
    if (reader.error != error) fail("read in pieces, another error", reader.error + " / " + error);
    if (!error.empty()) return;
    const std::vector<ScriptCommand>& commands = script.commands;
    if (streamed.commands.size() != commands.size()) fail("read in pieces, other commands", text);
    for (size_t i = 0; i < commands.size(); ++i) {
        if (!same(streamed, streamed.commands[i], script, commands[i]) ||
            streamed.commands[i].line != commands[i].line)
            fail("read in pieces, another command", text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Script script;
    std::string error;
    const bool parsed = parse_script(text, &script, &error);
    check_pieces(text, script, parsed ? "" : error);
    if (!parsed) {
        const size_t colon = error.find(": ");
        if (colon == std::string::npos || colon == 0 ||
            error.find_first_not_of("0123456789") != colon)
            fail("an error without its line", error);
        return 0;
    }
    if (!error.empty()) fail("an error text after a successful parse", error);

    std::string written;
    int32_t previous_line = 0;
    for (const ScriptCommand& command : script.commands) {
        check_command(script, command, previous_line);
        previous_line = command.line;
        written += line_of(script, command) + "\n";
    }
    Script again;
    if (!parse_script(written, &again, &error)) fail("a written script does not parse", error);
    if (again.commands.size() != script.commands.size())
        fail("a written script parses differently", written);
    for (size_t i = 0; i < again.commands.size(); ++i) {
        if (!same(again, again.commands[i], script, script.commands[i]))
            fail("a written command parses differently", written);
    }
    return 0;
}
