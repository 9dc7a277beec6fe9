// The APNG encoder's stand-in for a build made without stb_image_write's header: every
// animation is refused.
#include "platform/common/apng_writer.h"

bool apng_encoder_available() {
    return false;
}

bool encode_apng_555(const std::vector<const uint16_t*>&, int32_t, int32_t, int32_t, int32_t,
                     std::string* out) {
    out->clear();
    return false;
}
