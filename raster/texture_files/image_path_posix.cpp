// Image files on POSIX systems (and in the browser's in-memory file system): only a regular
// file is opened, without blocking, and read at given offsets.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "raster/texture_files/image_file.h"
#include "raster/texture_limits.h"

int32_t read_file_bytes(int descriptor, int64_t offset, void* bytes, int64_t count) {
    auto* at = static_cast<uint8_t*>(bytes);
    while (count > 0) {
        const ssize_t got = pread(descriptor, at, size_t(count), off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return TEXTURE_ERROR_FILE_UNREADABLE;
        if (got == 0) return TEXTURE_ERROR_BAD_IMAGE;
        at += got;
        offset += got;
        count -= got;
    }
    return 0;
}

namespace {

int32_t read_open_file(int descriptor, const ImageLimits& limits, int32_t max_bytes,
                       DecodedImage* image) {
    // The descriptor's own status decides.
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return TEXTURE_ERROR_FILE_UNREADABLE;
    if (status.st_size > max_bytes) return TEXTURE_ERROR_FILE_TOO_LARGE;
    return read_image({descriptor, int32_t(status.st_size)}, limits, image);
}

}  // namespace

int32_t read_image_path(const char* path, const ImageLimits& limits, int32_t max_bytes,
                        DecodedImage* image) {
    // A device or FIFO is not even opened where it can be told beforehand:
    // opening some devices has effects of its own.
    struct stat status;
    if (stat(path, &status) != 0)
        return errno == ENOENT ? TEXTURE_ERROR_FILE_MISSING : TEXTURE_ERROR_FILE_UNREADABLE;
    if (!S_ISREG(status.st_mode)) return TEXTURE_ERROR_FILE_UNREADABLE;
    // The path may name another file by the time it is opened: without
    // O_NONBLOCK a FIFO put there would wait for a writer.
    const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return errno == ENOENT ? TEXTURE_ERROR_FILE_MISSING : TEXTURE_ERROR_FILE_UNREADABLE;
    const int32_t result = read_open_file(descriptor, limits, max_bytes, image);
    close(descriptor);
    return result;
}
