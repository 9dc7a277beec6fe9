// PNG files of 5:5:5 images, through stb_image_write.
#pragma once

#include <cstdint>
#include <string>

// Writes width x height pixels (row pitch = width) as an 8-bit RGBA PNG, the
// channels widened by bit replication. False when the file cannot be written.
bool write_png_555(const std::string& path, const uint16_t* pixels, int32_t width, int32_t height);
