// PNG writing for the replay tool; the only user of stb_image_write.
#include "tools/replay/png_writer.h"

#include <vector>

#include "platform/common/page_drawing.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

bool write_png_555(const std::string& path, const uint16_t* pixels, int32_t width, int32_t height) {
    if (pixels == nullptr || width <= 0 || height <= 0) return false;
    std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
    page_to_rgba(pixels, width * height, rgba.data());
    return stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}
