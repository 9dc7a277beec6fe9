// Scripts read from files on Windows: the file's bytes through the streaming parser.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/common/script_file.h"

namespace {

constexpr size_t CHUNK_BYTES = 64 * 1024;

int unreadable(const std::string& path, const std::string& reason, std::string* error) {
    *error = "cannot read " + path + ": " + reason;
    return REPLAY_SCRIPT_UNREADABLE;
}

}  // namespace

int read_script_file(const std::string& path, Script* script, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return unreadable(path, std::strerror(errno), error);
    // The script's `image` files lie beside it.
    const size_t slash = path.find_last_of("/\\");
    script->folder = slash == std::string::npos ? "" : path.substr(0, slash == 0 ? 1 : slash);
    ScriptReader reader;
    reader.script = script;
    std::string chunk(CHUNK_BYTES, '\0');
    bool parsed = true;
    for (;;) {
        const size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
        if (got > 0 && !read_script_piece(&reader, std::string_view(chunk.data(), got))) {
            parsed = false;
            break;
        }
        if (got < chunk.size()) break;
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return unreadable(path, "a read failed (is it a folder?)", error);
    if (!parsed || !finish_script(&reader)) {
        *error = reader.error;
        return REPLAY_SCRIPT_ERROR;
    }
    if (script->commands.empty()) {
        *error = "the script has no commands (it is empty, or only comments), so nothing would run";
        return REPLAY_SCRIPT_ERROR;
    }
    return REPLAY_DONE;
}
