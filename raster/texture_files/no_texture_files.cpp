// Texture and picture files in builds without libpng (the Windows and browser programs):
// every file is refused, and the loader says so.
#include "raster/texture_file.h"
#include "raster/texture_loader.h"

int32_t read_texture_file(const char*, Texture**) {
    return TEXTURE_ERROR_NO_DECODER;
}

int32_t read_picture_file(const char*, DecodedImage*) {
    return TEXTURE_ERROR_NO_DECODER;
}

int32_t read_picture_bytes(const uint8_t*, int64_t, DecodedImage*) {
    return TEXTURE_ERROR_NO_DECODER;
}
