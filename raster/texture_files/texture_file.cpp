// Texture and picture files in every build: a file (opened by the system's reader,
// image_path_posix.cpp or image_path_win32.cpp) or the same bytes in memory handed to the
// PNG or BMP reader by its signature.
#include <cstring>

#include "base/memory.h"
#include "raster/texture_file.h"
#include "raster/texture_files/image_file.h"
#include "raster/texture_limits.h"

namespace {

constexpr ImageLimits TEXTURE_LIMITS = {MAX_TEXTURE_SIZE, true, TEXTURE_ERROR_BAD_SIZE};
constexpr ImageLimits PICTURE_LIMITS = {MAX_PICTURE_SIDE, false, TEXTURE_ERROR_PICTURE_TOO_LARGE};

}  // namespace

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

int32_t read_texture_file(const char* path, Texture** texture) {
    DecodedImage image;
    const int32_t result = read_image_path(path, TEXTURE_LIMITS, MAX_TEXTURE_FILE_BYTES, &image);
    if (result != 0) return result;
    *texture = texture_of_image(image);
    if (*texture == nullptr) free_decoded_image(&image);
    return *texture != nullptr ? 0 : TEXTURE_ERROR_NO_MEMORY;
}

int32_t read_picture_file(const char* path, DecodedImage* image) {
    if (path == nullptr) return TEXTURE_ERROR_NO_TEXELS;
    return read_image_path(path, PICTURE_LIMITS, MAX_PICTURE_FILE_BYTES, image);
}

int32_t read_picture_bytes(const uint8_t* bytes, int64_t size, DecodedImage* image) {
    if (bytes == nullptr || size < 0) return TEXTURE_ERROR_NO_TEXELS;
    if (size > MAX_PICTURE_FILE_BYTES) return TEXTURE_ERROR_FILE_TOO_LARGE;
    ImageFile file{-1, int32_t(size)};
    file.bytes = bytes;
    return read_image(file, PICTURE_LIMITS, image);
}
