// Scripts read from files and pipes (POSIX).
#include "platform/common/script_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr size_t CHUNK_BYTES = 64 * 1024;

int unreadable(const std::string& path, const std::string& reason, std::string* error) {
    *error = "cannot read " + path + ": " + reason;
    return REPLAY_SCRIPT_UNREADABLE;
}

int read_script_descriptor(int descriptor, const std::string& path, Script* script,
                           std::string* error) {
    struct stat status;
    if (fstat(descriptor, &status) != 0) return unreadable(path, std::strerror(errno), error);
    if (S_ISDIR(status.st_mode)) return unreadable(path, "it is a folder", error);
    const bool pipe = S_ISFIFO(status.st_mode) || (S_ISCHR(status.st_mode) && isatty(descriptor));
    if (!S_ISREG(status.st_mode) && !pipe)
        return unreadable(path, "it is neither a regular file nor a pipe", error);

    ScriptReader reader;
    reader.script = script;
    std::string chunk(CHUNK_BYTES, '\0');
    for (;;) {
        const ssize_t got = read(descriptor, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        // The file was opened without waiting. A pipe that has a writer but no data yet says
        // so (EAGAIN); from then on the reads wait for the writer.
        if (got < 0 && errno == EAGAIN) {
            if (fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0)
                return unreadable(path, std::strerror(errno), error);
            continue;
        }
        if (got < 0) return unreadable(path, std::strerror(errno), error);
        // A pipe without a writer reads as ended at once, as one whose writer has finished:
        // never waited for.
        if (got == 0) break;
        if (!read_script_piece(&reader, std::string_view(chunk.data(), size_t(got)))) {
            *error = reader.error;
            return REPLAY_SCRIPT_ERROR;
        }
    }
    if (!finish_script(&reader)) {
        *error = reader.error;
        return REPLAY_SCRIPT_ERROR;
    }
    // Nothing would run. Whether a pipe's writer wrote nothing or there was none at all
    // depends on when it closed, so both are this one error, whatever the timing.
    if (script->commands.empty()) {
        *error = std::string("the script has no commands (") +
                 (pipe && reader.bytes == 0 ? "nothing came through the pipe"
                                            : "it is empty, or only comments") +
                 "), so nothing would run";
        return REPLAY_SCRIPT_ERROR;
    }
    return REPLAY_DONE;
}

}  // namespace

int read_script_file(const std::string& path, Script* script, std::string* error) {
    // Without O_NONBLOCK, opening a FIFO waits until something opens it for writing.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return unreadable(path, std::strerror(errno), error);
    // The script's `image` files lie beside it.
    const size_t slash = path.rfind('/');
    script->folder = slash == std::string::npos ? "" : path.substr(0, slash == 0 ? 1 : slash);
    const int result = read_script_descriptor(descriptor, path, script, error);
    close(descriptor);
    return result;
}
