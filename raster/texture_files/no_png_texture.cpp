// PNG files in builds without libpng (the Windows and browser programs): the size is checked
// as the libpng reader checks it first, so that a picture too large is named as such; any
// other PNG is refused as one this build cannot decode. BMP files are read as everywhere.
#include "raster/picture_file.h"
#include "raster/texture_files/image_file.h"
#include "raster/texture_limits.h"

int32_t read_png_image(const ImageFile& file, const ImageLimits& limits, DecodedImage*) {
    if (const int32_t refusal = png_header_refusal(file, limits); refusal != 0) return refusal;
    return TEXTURE_ERROR_NO_DECODER;
}

bool picture_reader_decodes_png() {
    return false;
}
