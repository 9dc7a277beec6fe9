// Texture records: the blocks the loader and the image-file readers build
// their textures in (raster/texture_file.h).
#include "base/memory.h"
#include "raster/texture_file.h"
#include "raster/texture_limits.h"

int32_t texture_size_shift(int64_t size) {
    for (int32_t shift = 0; shift <= MAX_TEXTURE_SHIFT; ++shift) {
        if (size == (int64_t(1) << shift)) return shift;
    }
    return -1;
}

Texture* new_texture(int32_t width_shift, int32_t height_shift) {
    auto* texture = static_cast<Texture*>(alloc_zeroed(int32_t(sizeof(Texture))));
    if (texture == nullptr) return nullptr;
    // At most 256 x 256 texels of 2 bytes: the size fits easily.
    texture->block = alloc_zeroed(int32_t(2) << (width_shift + height_shift));
    if (texture->block == nullptr) {
        free_block(texture);
        return nullptr;
    }
    texture->width_shift = width_shift;
    texture->height_shift = height_shift;
    texture->texels = static_cast<uint16_t*>(texture->block);
    return texture;
}

void free_texture(Texture* texture) {
    if (texture == nullptr) return;
    free_block(texture->block);
    free_block(texture);
}

Texture* texture_of_image(const DecodedImage& image) {
    auto* texture = static_cast<Texture*>(alloc_zeroed(int32_t(sizeof(Texture))));
    if (texture == nullptr) return nullptr;
    texture->width_shift = texture_size_shift(image.width);
    texture->height_shift = texture_size_shift(image.height);
    texture->texels = image.texels;
    texture->block = image.texels;
    return texture;
}

void free_decoded_image(DecodedImage* image) {
    free_block(image->texels);
    *image = DecodedImage{};
}
