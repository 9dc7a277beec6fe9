// Output files written through a temporary name and a rename.
#include "platform/common/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

std::string temporary_name(const std::string& path) {
    return path + ".tmp";
}

bool fail(const std::string& path, const std::string& reason, std::string* error) {
    *error = "cannot write " + path + ": " + reason;
    return false;
}

// Writes and closes the file; the reason of the first failure in *reason.
bool write_whole_file(const std::string& name, const std::string& data, std::string* reason) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) {
        *reason = std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    if (!written) *reason = std::strerror(errno);
    // Buffered data reaches the disk at the close, which can fail too (a full disk).
    if (std::fclose(file) != 0 && written) {
        *reason = std::strerror(errno);
        written = false;
    }
    return written;
}

}  // namespace

bool write_file_atomically(const std::string& path, const std::string& data, std::string* error) {
    const std::string temporary = temporary_name(path);
    std::string reason;
    std::error_code ignored;
    if (!write_whole_file(temporary, data, &reason)) {
        std::filesystem::remove(temporary, ignored);
        return fail(path, reason, error);
    }
    std::error_code failure;
    std::filesystem::rename(temporary, path, failure);
    if (failure) {
        std::filesystem::remove(temporary, ignored);
        return fail(path, failure.message(), error);
    }
    return true;
}

bool output_path_writable(const std::string& path, std::string* error) {
    const std::string temporary = temporary_name(path);
    std::string reason;
    std::error_code ignored;
    bool writable = write_whole_file(temporary, "", &reason);
    std::filesystem::remove(temporary, ignored);
    if (!writable) return fail(path, reason, error);
    // A folder of that name would refuse the rename at the end.
    if (std::filesystem::is_directory(path, ignored)) return fail(path, "it is a folder", error);
    return true;
}
