// The PNG encoder's stand-in for a build made without stb_image_write's header: every image
// is refused, and the saves say so.
#include "platform/common/png_writer.h"

bool png_encoder_available() {
    return false;
}

bool encode_png_555(const uint16_t*, int32_t, int32_t, int32_t, std::string* out) {
    out->clear();
    return false;
}
