// Output files of the Windows program through a temporary in the target's folder, a flush to
// the disk and a move over the target (MoveFileExA with MOVEFILE_REPLACE_EXISTING and
// MOVEFILE_WRITE_THROUGH): the target is either as it was or complete. The files of an
// OutputSet (a save) are moved without MOVEFILE_REPLACE_EXISTING, so that a name already there
// stops the move instead of being replaced.
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

// The temporary lies beside the target, so that the move never crosses a disk; it is made
// exclusively, under a name nobody else has.
bool create_temporary(const std::string& path, int* descriptor, std::string* temporary,
                      std::string* reason) {
    const size_t start = name_start(path);
    for (int attempt = 0; attempt < CREATE_ATTEMPTS; ++attempt) {
        *temporary = path.substr(0, start) + "." + path.substr(start) + "." +
                     std::to_string(GetCurrentProcessId()) + "-" +
                     std::to_string(GetTickCount() + DWORD(attempt)) + ".tmp";
        *descriptor = _open(temporary->c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                            _S_IREAD | _S_IWRITE);
        if (*descriptor >= 0) return true;
        if (errno != EEXIST) {
            *reason = std::strerror(errno);
            return false;
        }
    }
    *reason = "no temporary name could be had beside it";
    return false;
}

// Every byte of `data`, then flushed to the disk. False with errno set.
bool write_whole(int descriptor, std::string_view data) {
    while (!data.empty()) {
        const unsigned chunk = data.size() > (1u << 30) ? (1u << 30) : unsigned(data.size());
        const int written = _write(descriptor, data.data(), chunk);
        if (written <= 0) return false;
        data.remove_prefix(size_t(written));
    }
    return _commit(descriptor) == 0;
}

bool exists_already(DWORD code) {
    return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
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
    std::string reason;
    if (!create_temporary(path, &file->descriptor, &file->temporary, &reason)) {
        *error = failure(path, reason);
        *file = OutputFile{};
        return false;
    }
    file->name = path;
    return true;
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

std::string output_path_in(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder == ".") return name;
    std::string path = folder;
    for (char& c : path)
        if (c == '/') c = '\\';
    // "C:" names the drive's current folder: a separator after it would name its root.
    if (path.back() != '\\' && path.back() != ':') path += '\\';
    return path + name;
}

bool open_output_set(const std::string& folder, OutputSet* set, std::string* error) {
    *set = OutputSet{};
    // With one kind of separator, as every path the set names.
    set->folder_path = folder.empty() ? "." : folder;
    for (char& c : set->folder_path)
        if (c == '/') c = '\\';
    if (!create_output_folder(set->folder_path, error)) {
        *set = OutputSet{};
        return false;
    }
    return true;
}

bool add_output(OutputSet* set, const std::string& name, std::string_view data,
                std::string* error) {
    OutputSetFile file;
    file.path = output_path_in(set->folder_path, name);
    int descriptor = -1;
    std::string reason;
    if (name.empty() || name_start(name) != 0) {
        *error = failure(file.path, "no file name");
        return false;
    }
    if (!create_temporary(file.path, &descriptor, &file.temporary, &reason)) {
        *error = failure(file.path, reason);
        return false;
    }
    bool written = write_whole(descriptor, data);
    int error_number = errno;
    if (_close(descriptor) != 0 && written) {
        written = false;
        error_number = errno;
    }
    if (!written) {
        DeleteFileA(file.temporary.c_str());
        *error = failure(file.path, std::strerror(error_number));
        return false;
    }
    set->files.push_back(file);
    return true;
}

bool output_name_taken(const OutputSet& set, const std::string& name) {
    return output_exists(output_path_in(set.folder_path, name));
}

Placing claim_output_name(const OutputSet& set, const std::string& name, std::string* error) {
    const std::string path = output_path_in(set.folder_path, name);
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return Placing::Done;
    }
    const DWORD code = GetLastError();
    if (exists_already(code)) return Placing::Taken;
    *error = failure(path, system_reason(code));
    return Placing::Failed;
}

void release_output_name(const OutputSet& set, const std::string& name) {
    const std::string path = output_path_in(set.folder_path, name);
    // A hidden file is removed like any other; a read-only one would not be.
    DeleteFileA(path.c_str());
}

Placing place_outputs(OutputSet* set, const std::vector<std::string>& names, std::string* error) {
    if (names.size() != set->files.size()) {
        *error = failure(set->folder_path, "a name for each file was not given");
        return Placing::Failed;
    }
    size_t placed = 0;
    Placing placing = Placing::Done;
    for (; placed < set->files.size(); ++placed) {
        const std::string path = output_path_in(set->folder_path, names[placed]);
        if (MoveFileExA(set->files[placed].temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH))
            continue;
        const DWORD code = GetLastError();
        placing = exists_already(code) ? Placing::Taken : Placing::Failed;
        *error = failure(path, exists_already(code) ? "it is there already" : system_reason(code));
        break;
    }
    if (placing == Placing::Done) {
        for (OutputSetFile& file : set->files)
            file.temporary.clear();
        return placing;
    }
    // What was placed goes back to its temporary, for the next number.
    while (placed > 0) {
        --placed;
        const std::string path = output_path_in(set->folder_path, names[placed]);
        MoveFileExA(path.c_str(), set->files[placed].temporary.c_str(), MOVEFILE_WRITE_THROUGH);
    }
    return placing;
}

void close_output_set(OutputSet* set) {
    for (const OutputSetFile& file : set->files)
        if (!file.temporary.empty()) DeleteFileA(file.temporary.c_str());
    *set = OutputSet{};
}

bool output_exists(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD code = GetLastError();
    return code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND;
}
