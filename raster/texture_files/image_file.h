// The open image file the PNG and BMP readers share, what they may decode, their entry
// points, and the system's part: opening a path and reading from it.
#pragma once

#include <cstdint>

#include "raster/texture_file.h"

// A regular file opened for reading, of `size` bytes when it was opened, or the same number
// of bytes in memory (`bytes` not null; `descriptor` is then unused).
struct ImageFile {
    int descriptor;
    int32_t size;
    const uint8_t* bytes = nullptr;
};

// What a reader accepts: at most max_side pixels a side (at least 1), each a power of two
// where power_of_two is set; an image outside them is refused with `refusal` before any of
// its pixels is read.
struct ImageLimits {
    int32_t max_side;
    bool power_of_two;
    int32_t refusal;
};

// 0 when a width x height image is within the limits, else the code to refuse it with.
int32_t check_image_size(const ImageLimits& limits, int64_t width, int64_t height);

// Reads `count` bytes at `offset`. 0 when all were read; TEXTURE_ERROR_BAD_IMAGE
// when the file ends first (it may have shrunk since it was opened) or the
// range lies past `size`; TEXTURE_ERROR_FILE_UNREADABLE on a read error.
int32_t read_image_bytes(const ImageFile& file, int64_t offset, void* bytes, int64_t count);

// The reader the file's first bytes name (PNG or BMP), or TEXTURE_ERROR_BAD_IMAGE.
int32_t read_image(const ImageFile& file, const ImageLimits& limits, DecodedImage* image);

// 0, or the refusal of a PNG whose header chunk, read from the file's own bytes, gives a size
// outside the limits; a decoder checks this before anything else. 0 also when the header
// cannot be read: the decoder finds that out itself.
int32_t png_header_refusal(const ImageFile& file, const ImageLimits& limits);

// The system's file reader (image_path_posix.cpp, image_path_win32.cpp). read_image_path
// opens the regular file at `path` without blocking, refuses one of more than max_bytes
// (TEXTURE_ERROR_FILE_TOO_LARGE) and hands it to read_image; read_file_bytes reads `count`
// bytes at `offset` from such an open file, as read_image_bytes says.
int32_t read_image_path(const char* path, const ImageLimits& limits, int32_t max_bytes,
                        DecodedImage* image);
int32_t read_file_bytes(int descriptor, int64_t offset, void* bytes, int64_t count);

// The readers: 0 and the image's texels in a new block, or a TEXTURE_ERROR_* code
// with nothing left allocated. The file's first bytes have been recognised as
// their signature. Where libpng is missing the PNG reader's stand-in checks the size as the
// reader does, then refuses with TEXTURE_ERROR_NO_DECODER.
int32_t read_png_image(const ImageFile& file, const ImageLimits& limits, DecodedImage* image);
int32_t read_bmp_image(const ImageFile& file, const ImageLimits& limits, DecodedImage* image);
