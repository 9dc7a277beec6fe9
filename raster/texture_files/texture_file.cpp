// Texture and picture files in every build: a file (opened by the system's reader,
// image_path_posix.cpp or image_path_win32.cpp) or the same bytes in memory handed to the
// PNG or BMP reader by its signature.
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
    if (file.bytes == nullptr) return read_file_bytes(file.descriptor, offset, bytes, count);
    if (count > 0) std::memcpy(bytes, file.bytes + offset, size_t(count));
    return 0;
}

int32_t png_header_refusal(const ImageFile& file, const ImageLimits& limits) {
    // After the 8-byte signature: the header chunk's length, its type, then width and height,
    // each 4 bytes, most significant first.
    uint8_t header[16];
    if (read_image_bytes(file, 8, header, 16) != 0 || std::memcmp(header + 4, "IHDR", 4) != 0)
        return 0;
    auto big_endian = [](const uint8_t* at) {
        return int64_t(at[0]) << 24 | int64_t(at[1]) << 16 | int64_t(at[2]) << 8 | int64_t(at[3]);
    };
    return check_image_size(limits, big_endian(header + 8), big_endian(header + 12));
}

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
