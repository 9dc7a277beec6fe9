// sketch3d-gallery: renders the primitive gallery and writes it as a PNG.
//
//   sketch3d-gallery --out FILE.png [--scale N] [--texture IMAGE]
//
// --scale enlarges every pixel to N x N (1..8, default 1); --texture replaces
// the example brick texture shown on the cells that use a loaded file.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/common/command_line.h"
#include "platform/common/output_file.h"
#include "platform/common/png_writer.h"
#include "raster/texture_loader.h"
#include "tools/gallery/gallery.h"

namespace {

constexpr int64_t MIN_SCALE = 1;
constexpr int64_t MAX_SCALE = 8;
constexpr int EXIT_DONE = 0;
constexpr int EXIT_TEXTURE = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_OUTPUT = 3;

constexpr const char* USAGE =
    "usage: sketch3d-gallery --out FILE.png [--scale N] [--texture IMAGE]\n"
    "Draws one frame with every primitive code into FILE.png.\n"
    "  --out FILE.png   the picture to write\n"
    "  --scale N        every pixel as an N x N square (1 to 8, default 1)\n"
    "  --texture IMAGE  the PNG or BMP shown on the cells of a loaded texture\n"
    "A value starting with '-' is written --out=./-name.\n"
    "Exit codes: 1 texture not usable, 2 usage, or --out naming the texture,\n"
    "3 output not written.\n";

int usage_error(const std::string& error) {
    std::fprintf(stderr, "sketch3d-gallery: %s\n%s", error.c_str(), USAGE);
    return EXIT_USAGE;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<CommandOption> options = {text_option("--out", "FILE.png"),
                                          integer_option("--scale", MIN_SCALE, MAX_SCALE),
                                          text_option("--texture", "IMAGE")};
    std::string error;
    switch (parse_command_line(argc, argv, &options, nullptr, nullptr, &error)) {
        case CommandLineResult::Help:
            std::fputs(USAGE, stdout);
            return EXIT_DONE;
        case CommandLineResult::Bad:
            return usage_error(error);
        case CommandLineResult::Run:
            break;
    }
    const CommandOption& out = *find_option(options, "--out");
    const CommandOption& scale = *find_option(options, "--scale");
    const CommandOption& texture_option = *find_option(options, "--texture");
    if (!out.given) return usage_error("no --out given");
    const std::string texture =
        texture_option.given ? texture_option.text : std::string(SKETCH3D_GALLERY_TEXTURE);
    // The output is checked before the frame is drawn, and may not be the texture.
    if (!outputs_apart({{"the texture", texture, false}, {"--out", out.text, true}}, &error))
        return usage_error(error);
    if (!check_output_path(out.text, &error)) {
        std::fprintf(stderr, "sketch3d-gallery: %s\n", error.c_str());
        return EXIT_OUTPUT;
    }

    std::vector<uint16_t> frame(size_t(GALLERY_WIDTH) * GALLERY_HEIGHT);
    const int32_t result = render_gallery(frame.data(), texture.c_str());
    if (result < 0) {
        std::fprintf(stderr, "sketch3d-gallery: %s: %s\n", texture.c_str(),
                     texture_error_text(result));
        return EXIT_TEXTURE;
    }
    std::string png;
    if (!encode_png_555(frame.data(), GALLERY_WIDTH, GALLERY_HEIGHT,
                        int32_t(scale.given ? scale.number : MIN_SCALE), &png)) {
        std::fprintf(stderr, "sketch3d-gallery: cannot encode the frame as PNG\n");
        return EXIT_OUTPUT;
    }
    if (!write_output_file(out.text, png, &error)) {
        std::fprintf(stderr, "sketch3d-gallery: %s\n", error.c_str());
        return EXIT_OUTPUT;
    }
    return EXIT_DONE;
}
