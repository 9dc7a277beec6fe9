// PNG encoding of 5:5:5 pixels for every program that writes one; the project's only user of
// stb_image_write.
#include "platform/common/png_writer.h"

#include <algorithm>
#include <vector>

#include "platform/common/page_drawing.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

// stb_image_write takes the row stride as an int.
constexpr int64_t MAX_IMAGE_BYTES = INT32_MAX;

void append_bytes(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

}  // namespace

bool png_encoder_available() {
    return true;
}

bool encode_png_555(const uint16_t* pixels, int32_t width, int32_t height, int32_t scale,
                    std::string* out) {
    out->clear();
    if (pixels == nullptr || width <= 0 || height <= 0 || scale < 1) return false;
    const int64_t scaled_width = int64_t(width) * scale, scaled_height = int64_t(height) * scale;
    if (scaled_width * scaled_height * 4 > MAX_IMAGE_BYTES) return false;
    std::vector<uint8_t> row(size_t(width) * 4);
    std::vector<uint8_t> rgba(size_t(scaled_width * scaled_height * 4));
    for (int32_t y = 0; y < height; ++y) {
        page_to_rgba(pixels + size_t(y) * size_t(width), width, row.data());
        uint8_t* first = rgba.data() + size_t(y) * size_t(scale) * size_t(scaled_width) * 4;
        for (int32_t x = 0; x < width; ++x)
            for (int32_t copy = 0; copy < scale; ++copy)
                std::copy_n(&row[size_t(x) * 4], 4, first + (size_t(x) * size_t(scale) + copy) * 4);
        for (int32_t copy = 1; copy < scale; ++copy)
            std::copy_n(first, size_t(scaled_width) * 4,
                        first + size_t(copy) * size_t(scaled_width) * 4);
    }
    return stbi_write_png_to_func(append_bytes, out, int(scaled_width), int(scaled_height), 4,
                                  rgba.data(), int(scaled_width) * 4) != 0;
}
