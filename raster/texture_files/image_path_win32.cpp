// Image files on Windows, through the C runtime's descriptors: only a regular file is opened
// (a device name such as CON or a folder is refused from its status first), and read at
// given offsets by seeking before each read. Paths are in the system's ANSI code page, as
// the programs' other file names are.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "raster/texture_files/image_file.h"
#include "raster/texture_limits.h"

namespace {

bool regular(unsigned short mode) {
    return (mode & _S_IFMT) == _S_IFREG;
}

int32_t read_open_file(int descriptor, const ImageLimits& limits, int32_t max_bytes,
                       DecodedImage* image) {
    // The descriptor's own status decides.
    struct _stati64 status;
    if (_fstati64(descriptor, &status) != 0 || !regular(status.st_mode))
        return TEXTURE_ERROR_FILE_UNREADABLE;
    if (status.st_size > max_bytes) return TEXTURE_ERROR_FILE_TOO_LARGE;
    return read_image({descriptor, int32_t(status.st_size)}, limits, image);
}

}  // namespace

int32_t read_file_bytes(int descriptor, int64_t offset, void* bytes, int64_t count) {
    auto* at = static_cast<uint8_t*>(bytes);
    if (count > 0 && _lseeki64(descriptor, offset, SEEK_SET) != offset)
        return TEXTURE_ERROR_FILE_UNREADABLE;
    while (count > 0) {
        // _read takes an unsigned int count; the files read are far smaller than INT_MAX.
        const unsigned piece = count < INT_MAX ? unsigned(count) : unsigned(INT_MAX);
        const int got = _read(descriptor, at, piece);
        if (got < 0) return TEXTURE_ERROR_FILE_UNREADABLE;
        if (got == 0) return TEXTURE_ERROR_BAD_IMAGE;
        at += got;
        count -= got;
    }
    return 0;
}

int32_t read_image_path(const char* path, const ImageLimits& limits, int32_t max_bytes,
                        DecodedImage* image) {
    struct _stati64 status;
    if (_stati64(path, &status) != 0)
        return errno == ENOENT ? TEXTURE_ERROR_FILE_MISSING : TEXTURE_ERROR_FILE_UNREADABLE;
    if (!regular(status.st_mode)) return TEXTURE_ERROR_FILE_UNREADABLE;
    const int descriptor = _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (descriptor < 0)
        return errno == ENOENT ? TEXTURE_ERROR_FILE_MISSING : TEXTURE_ERROR_FILE_UNREADABLE;
    const int32_t result = read_open_file(descriptor, limits, max_bytes, image);
    _close(descriptor);
    return result;
}
