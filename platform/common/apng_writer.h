// Animated PNG (APNG) images of 5:5:5 frames, for sharing a loop as one file: the default image
// is the first frame, so a viewer that knows only PNG shows that.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Whether this build has the encoder (it compresses with stb_image_write's zlib, found when
// the build was made, as the PNG encoder does); without it encode_apng_555 always fails.
bool apng_encoder_available();

// Encodes the frames, each width x height pixels (row pitch = width), as an 8-bit RGB APNG in
// *out that loops forever, each frame shown for delay_numerator / delay_denominator seconds
// (1 and 25 for 25 frames a second), the channels widened by bit replication as
// encode_png_555 widens them. After the first, a frame holds only the rectangle in which it
// differs from the one before, drawn over it. No file access (platform/common/output_file.h).
// False, with *out empty, for no frame, a null frame, no area, a delay part outside
// 1 .. 65535, or an image beyond 2^31 bytes.
bool encode_apng_555(const std::vector<const uint16_t*>& frames, int32_t width, int32_t height,
                     int32_t delay_numerator, int32_t delay_denominator, std::string* out);
