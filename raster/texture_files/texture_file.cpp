// Texture files on POSIX systems: opening only a regular file, without blocking,
// and handing it to the PNG or BMP reader by its signature.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "raster/texture_file.h"
#include "raster/texture_files/image_file.h"
#include "raster/texture_loader.h"

int32_t read_image_bytes(const ImageFile& file, int64_t offset, void* bytes, int64_t count) {
    if (offset < 0 || count < 0 || offset + count > file.size) return TEXTURE_ERROR_BAD_IMAGE;
    auto* at = static_cast<uint8_t*>(bytes);
    while (count > 0) {
        const ssize_t got = pread(file.descriptor, at, size_t(count), off_t(offset));
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

int32_t read_open_file(int descriptor, Texture** texture) {
    // The descriptor's own status decides.
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return TEXTURE_ERROR_FILE_UNREADABLE;
    if (status.st_size > MAX_TEXTURE_FILE_BYTES) return TEXTURE_ERROR_FILE_TOO_LARGE;
    const ImageFile file{descriptor, int32_t(status.st_size)};

    static constexpr uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    uint8_t start[8] = {};
    const int32_t read = read_image_bytes(file, 0, start, file.size < 8 ? file.size : 8);
    if (read != 0) return read;
    if (file.size >= 8 && std::memcmp(start, PNG_SIGNATURE, 8) == 0)
        return read_png_texture(file, texture);
    if (file.size >= 2 && start[0] == 'B' && start[1] == 'M')
        return read_bmp_texture(file, texture);
    return TEXTURE_ERROR_BAD_IMAGE;
}

}  // namespace

int32_t read_texture_file(const char* path, Texture** texture) {
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
    const int32_t result = read_open_file(descriptor, texture);
    close(descriptor);
    return result;
}
