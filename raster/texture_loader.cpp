// Texture loading into the slot table, from texels in memory or from image files
// (read by raster/texture_files/).
#include "raster/texture_loader.h"

#include <cstddef>
#include <cstring>

#include "base/memory.h"
#include "raster/render_state.h"
#include "raster/texture_file.h"

namespace {

// The slot a load goes to: `slot` itself, or the first empty one for -1; an
// error when there is none.
int32_t target_slot(int32_t slot) {
    if (slot < -1 || slot >= TEXTURE_SLOTS) return TEXTURE_ERROR_BAD_SLOT;
    Texture** slots = texture_slots();
    if (slots == nullptr) return TEXTURE_ERROR_NO_TABLE;
    if (slot >= 0) return slot;
    for (int32_t i = 0; i < TEXTURE_SLOTS; ++i) {
        if (slots[i] == nullptr) return i;
    }
    return TEXTURE_ERROR_NO_FREE_SLOT;
}

// Puts a complete texture into its slot, freeing the one it replaces.
int32_t place_texture(int32_t slot, Texture* texture) {
    Texture** slots = texture_slots();
    Texture* old = slots[slot];
    slots[slot] = texture;
    if (old != nullptr) {
        free_texture(old);
    } else {
        ++texture_count();
    }
    return slot;
}

}  // namespace

int32_t load_texture(int32_t slot, int32_t width, int32_t height, const uint16_t* texels) {
    const int32_t target = target_slot(slot);
    if (target < 0) return target;
    const int32_t width_shift = texture_size_shift(width);
    const int32_t height_shift = texture_size_shift(height);
    if (width_shift < 0 || height_shift < 0) return TEXTURE_ERROR_BAD_SIZE;
    if (texels == nullptr) return TEXTURE_ERROR_NO_TEXELS;
    Texture* texture = new_texture(width_shift, height_shift);
    if (texture == nullptr) return TEXTURE_ERROR_NO_MEMORY;
    std::memcpy(texture->texels, texels, size_t(width) * size_t(height) * 2);
    return place_texture(target, texture);
}

int32_t load_texture_file(int32_t slot, const char* path) {
    const int32_t target = target_slot(slot);
    if (target < 0) return target;
    if (path == nullptr) return TEXTURE_ERROR_NO_TEXELS;
    Texture* texture = nullptr;
    const int32_t result = read_texture_file(path, &texture);
    return result < 0 ? result : place_texture(target, texture);
}

void unload_texture(int32_t slot) {
    Texture** slots = texture_slots();
    if (slots == nullptr || slot < 0 || slot >= TEXTURE_SLOTS || slots[slot] == nullptr) return;
    free_texture(slots[slot]);
    slots[slot] = nullptr;
    --texture_count();
}

const char* texture_error_text(int32_t result) {
    if (result >= 0) return "texture loaded";
    switch (result) {
        case TEXTURE_ERROR_BAD_SLOT:
            return "texture slot outside -1..127";
        case TEXTURE_ERROR_NO_FREE_SLOT:
            return "no free texture slot";
        case TEXTURE_ERROR_NO_TABLE:
            return "texture slots not initialised";
        case TEXTURE_ERROR_BAD_SIZE:
            return "texture width and height must be powers of two from 1 to 256";
        case TEXTURE_ERROR_NO_TEXELS:
            return "no texels or file name given";
        case TEXTURE_ERROR_NO_MEMORY:
            return "out of memory";
        case TEXTURE_ERROR_FILE_MISSING:
            return "file not found";
        case TEXTURE_ERROR_FILE_UNREADABLE:
            return "not a regular file, or cannot be opened or read";
        case TEXTURE_ERROR_FILE_TOO_LARGE:
            return "file too large for a texture";
        case TEXTURE_ERROR_BAD_IMAGE:
            return "not a PNG or BMP image, or corrupt or truncated";
        case TEXTURE_ERROR_NO_DECODER:
            return "this build reads BMP images only, not PNG";
        case TEXTURE_ERROR_BAD_PALETTE:
            return "image uses a colour beyond its palette";
        case TEXTURE_ERROR_PICTURE_TOO_LARGE:
            return "image wider or taller than 4096 pixels";
        default:
            return "unknown texture error";
    }
}

const Texture* loaded_texture(int32_t slot) {
    Texture** slots = texture_slots();
    if (slots == nullptr || slot < 0 || slot >= TEXTURE_SLOTS) return nullptr;
    const Texture* texture = slots[slot];
    if (texture == nullptr || texture->texels == nullptr) return nullptr;
    if (texture->width_shift < 0 || texture->width_shift > MAX_TEXTURE_SHIFT ||
        texture->height_shift < 0 || texture->height_shift > MAX_TEXTURE_SHIFT)
        return nullptr;
    return texture;
}

int32_t texture_width_shift(int32_t slot) {
    const Texture* texture = loaded_texture(slot);
    return texture != nullptr ? texture->width_shift : -1;
}

int32_t texture_height_shift(int32_t slot) {
    const Texture* texture = loaded_texture(slot);
    return texture != nullptr ? texture->height_shift : -1;
}

const uint16_t* texture_texels(int32_t slot) {
    const Texture* texture = loaded_texture(slot);
    return texture != nullptr ? texture->texels : nullptr;
}

const char* picture_error_text(int32_t result) {
    if (result == TEXTURE_ERROR_FILE_TOO_LARGE)
        return "file too large for an image (more than 80 MiB)";
    if (result == TEXTURE_ERROR_NO_TEXELS) return "no image given";
    if (result >= 0) return "image read";
    return texture_error_text(result);
}
