// Texture files in builds without libpng (the Windows and browser programs):
// every file is refused, and the loader says so.
#include "raster/texture_file.h"
#include "raster/texture_loader.h"

int32_t read_texture_file(const char*, Texture**) {
    return TEXTURE_ERROR_NO_DECODER;
}
