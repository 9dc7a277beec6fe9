// sketch3d-gallery: renders the primitive gallery and writes it as a PNG.
//
//   sketch3d-gallery --out FILE.png [--scale N] [--texture IMAGE]
//
// --scale enlarges every pixel to N x N (1..8, default 1); --texture replaces
// the example brick texture shown on the cells that use a loaded file.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/common/integer_text.h"
#include "platform/common/output_file.h"
#include "raster/texture_loader.h"
#include "tools/gallery/gallery.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

constexpr int64_t MIN_SCALE = 1;
constexpr int64_t MAX_SCALE = 8;
constexpr int EXIT_TEXTURE = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_OUTPUT = 3;

int usage() {
    std::fprintf(stderr,
                 "usage: sketch3d-gallery --out FILE.png [--scale N] [--texture IMAGE]\n"
                 "Exit codes: 1 texture not usable, 2 usage, 3 output not written.\n");
    return EXIT_USAGE;
}

// A 5-bit component widened to 8 bits by repeating its top bits, so that
// 31 becomes 255 and the value >> 3 gives the component back.
uint8_t widen(uint16_t pixel, int shift) {
    const int c = (pixel >> shift) & 31;
    return uint8_t((c << 3) | (c >> 2));
}

void append_bytes(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

}  // namespace

int main(int argc, char** argv) {
    const char* out = nullptr;
    const char* texture = SKETCH3D_GALLERY_TEXTURE;
    int64_t scale = 1;
    for (int i = 1; i < argc; ++i) {
        if (i + 1 >= argc) return usage();
        if (std::strcmp(argv[i], "--out") == 0) {
            out = argv[++i];
        } else if (std::strcmp(argv[i], "--texture") == 0) {
            texture = argv[++i];
        } else if (std::strcmp(argv[i], "--scale") == 0) {
            if (!parse_integer(argv[++i], MIN_SCALE, MAX_SCALE, &scale)) {
                std::fprintf(stderr, "sketch3d-gallery: --scale expects an integer %s\n",
                             integer_range(MIN_SCALE, MAX_SCALE).c_str());
                return usage();
            }
        } else {
            return usage();
        }
    }
    if (out == nullptr) return usage();
    // The output is checked before the frame is drawn.
    std::string error;
    if (!check_output_path(out, &error)) {
        std::fprintf(stderr, "sketch3d-gallery: %s\n", error.c_str());
        return EXIT_OUTPUT;
    }

    std::vector<uint16_t> frame(size_t(GALLERY_WIDTH) * GALLERY_HEIGHT);
    const int32_t result = render_gallery(frame.data(), texture);
    if (result < 0) {
        std::fprintf(stderr, "sketch3d-gallery: %s: %s\n", texture, texture_error_text(result));
        return EXIT_TEXTURE;
    }
    const int width = GALLERY_WIDTH * int(scale), height = GALLERY_HEIGHT * int(scale);
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint16_t pixel = frame[size_t(y / scale) * GALLERY_WIDTH + size_t(x / scale)];
            uint8_t* out_pixel = &rgb[(size_t(y) * width + x) * 3];
            out_pixel[0] = widen(pixel, 10);
            out_pixel[1] = widen(pixel, 5);
            out_pixel[2] = widen(pixel, 0);
        }
    }
    std::string png;
    if (!stbi_write_png_to_func(append_bytes, &png, width, height, 3, rgb.data(), width * 3)) {
        std::fprintf(stderr, "sketch3d-gallery: cannot encode the frame as PNG\n");
        return EXIT_OUTPUT;
    }
    if (!write_output_file(out, png, &error)) {
        std::fprintf(stderr, "sketch3d-gallery: %s\n", error.c_str());
        return EXIT_OUTPUT;
    }
    return 0;
}
