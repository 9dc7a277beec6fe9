// PNG images of 5:5:5 pixels, through stb_image_write.
#pragma once

#include <cstdint>
#include <string>

// Encodes width x height pixels (row pitch = width) as an 8-bit RGBA PNG in
// *out, the channels widened by bit replication. No file access, so a page
// in a browser can use it as well (files: platform/common/output_file.h).
// False for no pixels or no area.
bool encode_png_555(const uint16_t* pixels, int32_t width, int32_t height, std::string* out);
