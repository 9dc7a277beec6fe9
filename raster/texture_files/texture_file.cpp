// Texture and picture files on POSIX systems: opening only a regular file, without
// blocking, and handing it (or the same bytes in memory) to the PNG or BMP reader by its
// signature.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/memory.h"
#include "raster/texture_file.h"
#include "raster/texture_files/image_file.h"
#include "raster/texture_loader.h"

int32_t check_image_size(const ImageLimits& limits, int64_t width, int64_t height) {
    if (limits.power_of_two)
        return texture_size_shift(width) < 0 || texture_size_shift(height) < 0 ||
                       width > limits.max_side || height > limits.max_side
                   ? limits.refusal
                   : 0;
    if (width < 1 || height < 1) return TEXTURE_ERROR_BAD_IMAGE;
    return width > limits.max_side || height > limits.max_side ? limits.refusal : 0;
}

int32_t read_image_bytes(const ImageFile& file, int64_t offset, void* bytes, int64_t count) {
    if (offset < 0 || count < 0 || offset + count > file.size) return TEXTURE_ERROR_BAD_IMAGE;
    auto* at = static_cast<uint8_t*>(bytes);
    if (file.bytes != nullptr) {
        if (count > 0) std::memcpy(at, file.bytes + offset, size_t(count));
        return 0;
    }
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

constexpr ImageLimits TEXTURE_LIMITS = {MAX_TEXTURE_SIZE, true, TEXTURE_ERROR_BAD_SIZE};
constexpr ImageLimits PICTURE_LIMITS = {MAX_PICTURE_SIDE, false, TEXTURE_ERROR_PICTURE_TOO_LARGE};

// The reader the file's first bytes name.
int32_t read_image(const ImageFile& file, const ImageLimits& limits, DecodedImage* image) {
    static constexpr uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    uint8_t start[8] = {};
    const int32_t read = read_image_bytes(file, 0, start, file.size < 8 ? file.size : 8);
    if (read != 0) return read;
    if (file.size >= 8 && std::memcmp(start, PNG_SIGNATURE, 8) == 0)
        return read_png_image(file, limits, image);
    if (file.size >= 2 && start[0] == 'B' && start[1] == 'M')
        return read_bmp_image(file, limits, image);
    return TEXTURE_ERROR_BAD_IMAGE;
}

int32_t read_open_file(int descriptor, const ImageLimits& limits, int32_t max_bytes,
                       DecodedImage* image) {
    // The descriptor's own status decides.
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return TEXTURE_ERROR_FILE_UNREADABLE;
    if (status.st_size > max_bytes) return TEXTURE_ERROR_FILE_TOO_LARGE;
    return read_image({descriptor, int32_t(status.st_size)}, limits, image);
}

int32_t read_path(const char* path, const ImageLimits& limits, int32_t max_bytes,
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

}  // namespace

int32_t read_texture_file(const char* path, Texture** texture) {
    DecodedImage image;
    const int32_t result = read_path(path, TEXTURE_LIMITS, MAX_TEXTURE_FILE_BYTES, &image);
    if (result != 0) return result;
    *texture = texture_of_image(image);
    if (*texture == nullptr) free_decoded_image(&image);
    return *texture != nullptr ? 0 : TEXTURE_ERROR_NO_MEMORY;
}

int32_t read_picture_file(const char* path, DecodedImage* image) {
    if (path == nullptr) return TEXTURE_ERROR_NO_TEXELS;
    return read_path(path, PICTURE_LIMITS, MAX_PICTURE_FILE_BYTES, image);
}

int32_t read_picture_bytes(const uint8_t* bytes, int64_t size, DecodedImage* image) {
    if (bytes == nullptr || size < 0) return TEXTURE_ERROR_NO_TEXELS;
    if (size > MAX_PICTURE_FILE_BYTES) return TEXTURE_ERROR_FILE_TOO_LARGE;
    ImageFile file{-1, int32_t(size)};
    file.bytes = bytes;
    return read_image(file, PICTURE_LIMITS, image);
}
