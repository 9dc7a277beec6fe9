// Texture loading into the slot table, from texels in memory or from PNG and BMP
// files decoded by stb_image.
#include "raster/texture_loader.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "base/memory.h"
#include "base/messages.h"
#include "raster/render_state.h"

// The decoder allocates through the system allocator too, so its blocks are
// counted and its failures reported like every other.
#if defined(SKETCH3D_STB_IMAGE)
namespace {

// alloc_zeroed takes a 32-bit size; a larger request fails with the same
// message instead of wrapping into a smaller block.
void* alloc_bytes(size_t bytes) {
    if (bytes > size_t(INT32_MAX)) {
        show_error(TEXT_ALLOC_FAILED, INT32_MAX);
        return nullptr;
    }
    return alloc_zeroed(int32_t(bytes));
}

void* decoder_realloc(void* block, size_t old_size, size_t new_size) {
    void* grown = alloc_bytes(new_size);
    if (grown == nullptr) return nullptr;  // the old block stays the caller's
    if (block != nullptr) {
        std::memcpy(grown, block, old_size < new_size ? old_size : new_size);
        free_block(block);
    }
    return grown;
}

}  // namespace

#define STBI_MALLOC(size) alloc_bytes(size)
#define STBI_REALLOC_SIZED(block, old_size, new_size) decoder_realloc(block, old_size, new_size)
#define STBI_FREE(block) free_block(block)
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#include <stb/stb_image.h>

namespace {

// Reads the whole file into a block from alloc_zeroed, growing it as needed up
// to MAX_TEXTURE_FILE_BYTES. 0 and the block and its size, or an error.
int32_t read_file(const char* path, uint8_t** data, int32_t* size) {
    errno = 0;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return errno == ENOENT ? TEXTURE_ERROR_FILE_MISSING : TEXTURE_ERROR_FILE_UNREADABLE;
    }
    int32_t capacity = 64 * 1024;
    int32_t used = 0;
    auto* buffer = static_cast<uint8_t*>(alloc_zeroed(capacity));
    int32_t result = buffer != nullptr ? 0 : TEXTURE_ERROR_NO_MEMORY;
    while (result == 0) {
        if (used == capacity) {
            if (capacity > MAX_TEXTURE_FILE_BYTES) {
                result = TEXTURE_ERROR_FILE_TOO_LARGE;
                break;
            }
            // Doubling from 64 KiB passes the 4 MiB limit at 8 MiB, well below 2^31.
            auto* grown = static_cast<uint8_t*>(alloc_zeroed(capacity * 2));
            if (grown == nullptr) {
                result = TEXTURE_ERROR_NO_MEMORY;
                break;
            }
            std::memcpy(grown, buffer, size_t(used));
            free_block(buffer);
            buffer = grown;
            capacity *= 2;
        }
        used += int32_t(std::fread(buffer + used, 1, size_t(capacity - used), file));
        if (std::ferror(file)) result = TEXTURE_ERROR_FILE_UNREADABLE;  // a directory, say
        if (std::feof(file)) break;
    }
    std::fclose(file);
    if (result == 0 && used > MAX_TEXTURE_FILE_BYTES) result = TEXTURE_ERROR_FILE_TOO_LARGE;
    if (result != 0) {
        free_block(buffer);
        return result;
    }
    *data = buffer;
    *size = used;
    return 0;
}

uint32_t little_endian(const uint8_t* bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

// stb_image reads a BMP's pixel rows without checking the end of the data and
// fills a truncated file with zeros. An uncompressed BMP (the only kind it
// accepts) must hold every row from its pixel offset on; false when it does
// not, or when the headers themselves are cut short.
bool bmp_complete(const uint8_t* data, int32_t size) {
    if (size < 26) return false;
    const int64_t offset = little_endian(data + 10, 4);
    const uint32_t header_size = little_endian(data + 14, 4);
    int64_t width, height, bits;
    if (header_size == 12) {  // the old core header: 16-bit sizes, no compression
        width = int16_t(little_endian(data + 18, 2));
        height = int16_t(little_endian(data + 20, 2));
        bits = little_endian(data + 24, 2);
    } else {
        if (size < 34) return false;
        width = int32_t(little_endian(data + 18, 4));
        height = int32_t(little_endian(data + 22, 4));
        bits = little_endian(data + 28, 2);
    }
    if (height < 0) height = -height;  // top-down rows
    // Rows are padded to 4 bytes. The caller has checked the size (at most
    // 256 x 256), so nothing here can overflow.
    const int64_t row_bytes = ((width * bits + 31) / 32) * 4;
    return offset + row_bytes * height <= size;
}

bool is_png(const uint8_t* data, int32_t size) {
    static constexpr uint8_t SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return size >= 8 && std::memcmp(data, SIGNATURE, 8) == 0;
}

// Removes the PNG's empty image-data chunks, which add nothing to the image:
// stb_image copies their zero bytes to a buffer it has not allocated yet (a
// null pointer), which is undefined behaviour. A chunk is its 4-byte length,
// its 4-byte type, its data and a 4-byte check value. Stops at a chunk that
// runs past the end, which the decoder then refuses.
void drop_empty_image_chunks(uint8_t* data, int32_t* size) {
    int32_t at = 8;  // after the signature
    while (*size - at >= 12) {
        const uint32_t length = (uint32_t(data[at]) << 24) | (uint32_t(data[at + 1]) << 16) |
                                (uint32_t(data[at + 2]) << 8) | data[at + 3];
        if (length > uint32_t(*size - at - 12)) return;
        if (length == 0 && std::memcmp(data + at + 4, "IDAT", 4) == 0) {
            std::memmove(data + at, data + at + 12, size_t(*size - at - 12));
            *size -= 12;
        } else {
            at += 12 + int32_t(length);  // at most *size: no overflow
        }
    }
}

}  // namespace
#endif

namespace {

// The shift s with 2^s = size, or -1 when size is not a power of two in 1..256.
int32_t size_shift(int32_t size) {
    for (int32_t shift = 0; shift <= MAX_TEXTURE_SHIFT; ++shift) {
        if (size == (1 << shift)) return shift;
    }
    return -1;
}

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

// A record with an empty texel block of 2^w x 2^h texels, or null after the
// allocator's message.
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

// Puts a complete texture into its slot, freeing the one it replaces.
int32_t place_texture(int32_t slot, Texture* texture) {
    Texture** slots = texture_slots();
    Texture* old = slots[slot];
    slots[slot] = texture;
    if (old != nullptr) {
        free_block(old->block);
        free_block(old);
    } else {
        ++texture_count();
    }
    return slot;
}

}  // namespace

int32_t load_texture(int32_t slot, int32_t width, int32_t height, const uint16_t* texels) {
    const int32_t target = target_slot(slot);
    if (target < 0) return target;
    const int32_t width_shift = size_shift(width);
    const int32_t height_shift = size_shift(height);
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
#if defined(SKETCH3D_STB_IMAGE)
    uint8_t* data = nullptr;
    int32_t size = 0;
    const int32_t read = read_file(path, &data, &size);
    if (read < 0) return read;

    int32_t result = 0;
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgba = nullptr;
    Texture* texture = nullptr;
    if (is_png(data, size)) drop_empty_image_chunks(data, &size);
    const bool known = stbi_info_from_memory(data, size, &width, &height, &channels) != 0;
    // A BMP whose rows run top-down has its height negated in the header, and
    // stb_image reports it so; it decodes such an image the right way up.
    if (height < 0 && height != INT32_MIN) height = -height;
    if (!known) {
        result = TEXTURE_ERROR_BAD_IMAGE;
    } else if (size_shift(width) < 0 || size_shift(height) < 0) {
        result = TEXTURE_ERROR_BAD_SIZE;  // refused before any pixel is decoded
    } else if (data[0] == 'B' && !bmp_complete(data, size)) {
        result = TEXTURE_ERROR_BAD_IMAGE;
    } else {
        int decoded_width = 0, decoded_height = 0;
        const int errors = error_count();
        rgba = stbi_load_from_memory(data, size, &decoded_width, &decoded_height, &channels, 4);
        if (rgba == nullptr) {
            // Out of memory only when one of its allocations failed (and showed
            // its message). stb_image's failure reason cannot say: some corrupt
            // files fail without one, leaving an earlier failure's in place.
            result = error_count() != errors ? TEXTURE_ERROR_NO_MEMORY : TEXTURE_ERROR_BAD_IMAGE;
        } else if (decoded_width != width || decoded_height != height) {
            result = TEXTURE_ERROR_BAD_IMAGE;
        } else {
            texture = new_texture(size_shift(width), size_shift(height));
            if (texture == nullptr) result = TEXTURE_ERROR_NO_MEMORY;
        }
    }
    if (texture != nullptr) {
        // Four 8-bit channels a pixel; each colour keeps its top five bits.
        const int32_t count = width * height;
        for (int32_t i = 0; i < count; ++i) {
            const stbi_uc* pixel = rgba + size_t(i) * 4;
            texture->texels[i] =
                uint16_t(((pixel[0] >> 3) << 10) | ((pixel[1] >> 3) << 5) | (pixel[2] >> 3));
        }
        result = place_texture(target, texture);
    }
    stbi_image_free(rgba);
    free_block(data);
    return result;
#else
    return TEXTURE_ERROR_NO_DECODER;
#endif
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
            return "file cannot be opened or read";
        case TEXTURE_ERROR_FILE_TOO_LARGE:
            return "file too large for a texture";
        case TEXTURE_ERROR_BAD_IMAGE:
            return "not a PNG or BMP image, or corrupt or truncated";
        case TEXTURE_ERROR_NO_DECODER:
            return "this build reads no image files";
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
