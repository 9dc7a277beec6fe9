// PNG images of 5:5:5 pixels, through stb_image_write: the one PNG encoder of the replay
// tool's screenshots, the gallery, the saves and the browser page's "Save PNG".
#pragma once

#include <cstdint>
#include <string>

// Encodes width x height pixels (row pitch = width) as an 8-bit RGBA PNG in *out, each pixel
// shown as a `scale` x `scale` square (1: as it is), the channels widened by bit
// replication. No file access, so a page in a browser can use it as well (files:
// platform/common/output_file.h). False for no pixels, no area, a scale below 1 or an image
// beyond 2^31 bytes.
// Whether this build has the encoder (stb_image_write's header was found when it was built);
// without it encode_png_555 always fails.
bool png_encoder_available();
bool encode_png_555(const uint16_t* pixels, int32_t width, int32_t height, int32_t scale,
                    std::string* out);
