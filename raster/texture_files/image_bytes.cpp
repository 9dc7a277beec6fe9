// What the PNG and BMP readers share: an image's size against what the caller accepts,
// and its bytes from the open file or from memory.
#include <cstring>

#include "raster/texture_file.h"
#include "raster/texture_files/image_file.h"
#include "raster/texture_limits.h"

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
