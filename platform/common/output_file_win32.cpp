// Output files of the Windows program through a temporary in the target's folder, a flush to
// the disk and a move over the target (MoveFileExA with MOVEFILE_REPLACE_EXISTING and
// MOVEFILE_WRITE_THROUGH): the target is either as it was or complete.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/common/output_file.h"

namespace {

constexpr size_t PENDING_BYTES = 64 * 1024;  // gathered before one write to the system
constexpr int CREATE_ATTEMPTS = 100;

std::string failure(const std::string& path, const std::string& reason) {
    return "cannot write " + (path.empty() ? "''" : path) + ": " + reason;
}

// The system's sentence for a Windows error code, without its line end.
std::string system_reason(DWORD code) {
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    return reason.empty() ? "error " + std::to_string(code) : reason;
}

bool is_separator(char c) {
    return c == '/' || c == '\\';
}

// The folder part of a path, with its separator ("" for a bare name), and the name after it.
size_t name_start(const std::string& path) {
    size_t at = path.size();
    while (at > 0 && !is_separator(path[at - 1]) && path[at - 1] != ':')
        --at;
    return at;
}

void flush(OutputFile* file, std::string_view data) {
    for (std::string_view part : {std::string_view(file->pending), data}) {
        while (!part.empty() && file->error.empty()) {
            const unsigned chunk = part.size() > (1u << 30) ? (1u << 30) : unsigned(part.size());
            const int written = _write(file->descriptor, part.data(), chunk);
            if (written <= 0) {
                file->error = failure(file->path, std::strerror(errno));
                break;
            }
            part.remove_prefix(size_t(written));
        }
    }
    file->pending.clear();
}

}  // namespace

bool create_output_folder(const std::string& path, std::string* error) {
    for (size_t at = 0; at <= path.size(); ++at) {
        if (at < path.size() && !is_separator(path[at])) continue;
        const std::string part = path.substr(0, at);
        if (part.empty() || part.back() == ':' || is_separator(part.back())) continue;
        const DWORD attributes = GetFileAttributesA(part.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
            *error = "cannot create " + path + ": " + part + " is a file";
            return false;
        }
        if (!CreateDirectoryA(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            *error = "cannot create " + path + ": " + system_reason(GetLastError());
            return false;
        }
    }
    return true;
}

bool open_output(const std::string& path, OutputFile* file, std::string* error) {
    *file = OutputFile{};
    file->path = path;
    const size_t start = name_start(path);
    if (start == path.size()) {
        *error = failure(path, "no file name");
        return false;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            *error = failure(path, "it is a folder");
            return false;
        }
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            *error = failure(path, "it is read-only");
            return false;
        }
    }
    // The temporary lies beside the target, so that the move never crosses a disk; it is
    // made exclusively, under a name nobody else has.
    for (int attempt = 0; attempt < CREATE_ATTEMPTS; ++attempt) {
        const std::string temporary = path.substr(0, start) + "." + path.substr(start) + "." +
                                      std::to_string(GetCurrentProcessId()) + "-" +
                                      std::to_string(GetTickCount() + DWORD(attempt)) + ".tmp";
        const int descriptor = _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                                     _S_IREAD | _S_IWRITE);
        if (descriptor >= 0) {
            file->descriptor = descriptor;
            file->temporary = temporary;
            file->name = path;
            return true;
        }
        if (errno != EEXIST) {
            *error = failure(path, std::strerror(errno));
            *file = OutputFile{};
            return false;
        }
    }
    *error = failure(path, "no temporary name could be had beside it");
    *file = OutputFile{};
    return false;
}

void write_output(OutputFile* file, std::string_view data) {
    if (file->descriptor < 0 || !file->error.empty()) return;
    if (file->pending.size() + data.size() < PENDING_BYTES) {
        file->pending.append(data);
        return;
    }
    flush(file, data);
}

bool commit_output(OutputFile* file, std::string* error) {
    if (file->descriptor < 0 && file->error.empty())
        file->error = failure(file->path, "the file is not open");
    if (file->descriptor >= 0) {
        flush(file, {});
        // On the disk before it replaces anything.
        if (file->error.empty() && _commit(file->descriptor) != 0)
            file->error = failure(file->path, std::strerror(errno));
        if (_close(file->descriptor) != 0 && file->error.empty())
            file->error = failure(file->path, std::strerror(errno));
        file->descriptor = -1;
    }
    if (file->error.empty() && !MoveFileExA(file->temporary.c_str(), file->name.c_str(),
                                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        file->error = failure(file->path, system_reason(GetLastError()));
    } else if (file->error.empty()) {
        file->temporary.clear();
    }
    const bool committed = file->error.empty();
    if (!committed) *error = file->error;
    discard_output(file);
    return committed;
}

void discard_output(OutputFile* file) {
    if (file->descriptor >= 0) _close(file->descriptor);
    if (!file->temporary.empty()) DeleteFileA(file->temporary.c_str());
    *file = OutputFile{};
}

bool write_output_file(const std::string& path, std::string_view data, std::string* error) {
    OutputFile file;
    if (!open_output(path, &file, error)) return false;
    write_output(&file, data);
    return commit_output(&file, error);
}

bool output_exists(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD code = GetLastError();
    return code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND;
}
