// PNG encoding for the replay tool and the browser page; the only user of stb_image_write.
#include "platform/common/png_writer.h"

#include <vector>

#include "platform/common/page_drawing.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

void append_bytes(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

}  // namespace

bool encode_png_555(const uint16_t* pixels, int32_t width, int32_t height, std::string* out) {
    out->clear();
    if (pixels == nullptr || width <= 0 || height <= 0) return false;
    std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
    page_to_rgba(pixels, width * height, rgba.data());
    return stbi_write_png_to_func(append_bytes, out, width, height, 4, rgba.data(), width * 4) != 0;
}
