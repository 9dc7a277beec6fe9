// BMP textures and pictures: a small strict reader of uncompressed bitmaps.
//
// Accepted: the core, information, V3, V4 and V5 headers (12, 40, 56, 108 and
// 124 bytes); 1, 4 and 8 bits a pixel through a palette; 16 and 32 bits with
// the default or given channel masks (each a run of 1 to 8 bits, widened to 8
// by repeating its bits); 24 bits; 8 and 4 bits run-length encoded (RLE8,
// RLE4). Rows run bottom-up, or top-down when the height is negative (never
// for run-length data). Embedded JPEG and PNG images are refused.
//
// Every length is checked against the file before any pixel is read: the
// headers and masks, the palette between them and the pixel data (the entries
// the header declares, or 2^bits, as far as they fit there), and every row.
// The rows are read one at a time, so memory stays one row and the image.
// Run-length data is read a piece at a time, each byte once, and no run or
// move may leave its row or the image: the work is bounded by the file's size
// and the image's, whatever the data says. Pixels that the data skips (its
// moves and early line ends) take palette entry 0.
#include <bit>
#include <cstddef>

#include "base/memory.h"
#include "raster/texture_file.h"
#include "raster/texture_files/image_file.h"
#include "raster/texture_limits.h"

namespace {

constexpr int32_t FILE_HEADER_BYTES = 14;
constexpr int32_t MASKS_AT = FILE_HEADER_BYTES + 40;  // R, G, B masks, in any header that has them
constexpr int32_t MAX_HEADER_BYTES = FILE_HEADER_BYTES + 124;
constexpr int32_t BI_RGB = 0;
constexpr int32_t BI_RLE8 = 1;
constexpr int32_t BI_RLE4 = 2;
constexpr int32_t BI_BITFIELDS = 3;
constexpr int32_t RLE_PIECE = 1024;  // run-length data is read in pieces of this many bytes

uint32_t little_endian(const uint8_t* bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

struct Bitmap {
    int64_t width, height;
    bool top_down;
    int32_t bits;
    uint32_t masks[3];        // red, green, blue, for 16 and 32 bits
    int64_t palette_at;       // where the palette starts, after the headers and masks
    int32_t entry_bytes;      // 3 in the core header's palette, else 4
    int32_t palette_entries;  // for 1, 4 and 8 bits
    int64_t pixels_at;
    int64_t row_bytes;  // padded to 4 bytes
    bool run_length;    // RLE8 or RLE4 data of data_bytes bytes at pixels_at
    int64_t data_bytes;
};

// A mask of 1 to 8 contiguous bits.
bool usable_mask(uint32_t mask) {
    if (mask == 0) return false;
    const uint32_t run = mask >> std::countr_zero(mask);
    return (run & (run + 1)) == 0 && std::popcount(run) <= 8;
}

// The channel under `mask` widened to 8 bits by repeating its bits, as 0..31
// widens 31 to 255.
uint32_t channel(uint32_t pixel, uint32_t mask) {
    const int count = std::popcount(mask);
    uint32_t value = ((pixel & mask) >> std::countr_zero(mask)) << (8 - count);
    for (int have = count; have < 8; have *= 2)
        value |= value >> have;
    return value & 0xFF;
}

// Reads and checks the headers. 0 and the layout, or an error code.
int32_t read_layout(const ImageFile& file, const ImageLimits& limits, Bitmap* bitmap) {
    uint8_t header[MAX_HEADER_BYTES] = {};
    const int32_t available = file.size < int32_t(sizeof header) ? file.size : sizeof header;
    if (available < FILE_HEADER_BYTES + 4) return TEXTURE_ERROR_BAD_IMAGE;
    const int32_t read = read_image_bytes(file, 0, header, available);
    if (read != 0) return read;
    const uint32_t header_bytes = little_endian(header + FILE_HEADER_BYTES, 4);
    if (header_bytes != 12 && header_bytes != 40 && header_bytes != 56 && header_bytes != 108 &&
        header_bytes != 124)
        return TEXTURE_ERROR_BAD_IMAGE;
    int64_t headers_end = FILE_HEADER_BYTES + header_bytes;
    if (headers_end > file.size) return TEXTURE_ERROR_BAD_IMAGE;

    const bool core = header_bytes == 12;
    uint32_t planes, compression = BI_RGB, colours_used = 0;
    if (core) {  // 16-bit sizes, no compression, 3-byte palette entries
        bitmap->width = little_endian(header + 18, 2);
        bitmap->height = little_endian(header + 20, 2);
        planes = little_endian(header + 22, 2);
        bitmap->bits = int32_t(little_endian(header + 24, 2));
    } else {
        bitmap->width = int32_t(little_endian(header + 18, 4));
        bitmap->height = int32_t(little_endian(header + 22, 4));
        planes = little_endian(header + 26, 2);
        bitmap->bits = int32_t(little_endian(header + 28, 2));
        compression = little_endian(header + 30, 4);
        bitmap->data_bytes = little_endian(header + 34, 4);
        colours_used = little_endian(header + 46, 4);
    }
    bitmap->top_down = bitmap->height < 0;
    if (bitmap->top_down) bitmap->height = -bitmap->height;  // 64-bit: no overflow
    if (planes != 1) return TEXTURE_ERROR_BAD_IMAGE;
    const int32_t bits = bitmap->bits;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return TEXTURE_ERROR_BAD_IMAGE;
    if (const int32_t refusal = check_image_size(limits, bitmap->width, bitmap->height);
        refusal != 0)
        return refusal;

    uint32_t* masks = bitmap->masks;
    if (compression == BI_BITFIELDS && (bits == 16 || bits == 32)) {
        // They follow the 40-byte header; the longer headers hold them in the
        // same place.
        if (header_bytes == 40) headers_end += 12;
        if (headers_end > file.size) return TEXTURE_ERROR_BAD_IMAGE;
        for (int i = 0; i < 3; ++i)
            masks[i] = little_endian(header + MASKS_AT + 4 * i, 4);
    } else if ((compression == BI_RLE8 && bits == 8) || (compression == BI_RLE4 && bits == 4)) {
        // Run-length data is stored bottom-up only.
        if (bitmap->top_down) return TEXTURE_ERROR_BAD_IMAGE;
        bitmap->run_length = true;
    } else if (compression != BI_RGB) {
        return TEXTURE_ERROR_BAD_IMAGE;
    } else if (bits == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else if (bits == 32) {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    }
    if ((bits == 16 || bits == 32) &&
        !(usable_mask(masks[0]) && usable_mask(masks[1]) && usable_mask(masks[2])))
        return TEXTURE_ERROR_BAD_IMAGE;

    bitmap->palette_at = headers_end;
    bitmap->entry_bytes = core ? 3 : 4;
    bitmap->pixels_at = little_endian(header + 10, 4);
    bitmap->row_bytes = (bitmap->width * bits + 31) / 32 * 4;
    // Run-length data runs for the size the header gives, or to the end of the file.
    if (bitmap->run_length && bitmap->data_bytes == 0)
        bitmap->data_bytes = file.size - bitmap->pixels_at;
    const int64_t pixel_bytes =
        bitmap->run_length ? bitmap->data_bytes : bitmap->row_bytes * bitmap->height;
    if (bitmap->pixels_at < headers_end || bitmap->pixels_at + pixel_bytes > file.size)
        return TEXTURE_ERROR_BAD_IMAGE;
    if (bits <= 8) {
        // The entries declared (none: all 2^bits), as many as the file holds.
        const int64_t room = (bitmap->pixels_at - headers_end) / bitmap->entry_bytes;
        int64_t entries =
            colours_used == 0 || colours_used > (1u << bits) ? 1 << bits : colours_used;
        if (entries > room) entries = room;
        if (entries == 0) return TEXTURE_ERROR_BAD_IMAGE;
        bitmap->palette_entries = int32_t(entries);
    }
    return 0;
}

// Converts one row of file bytes into texels. 0, or TEXTURE_ERROR_BAD_PALETTE.
int32_t convert_row(const Bitmap& bitmap, const uint16_t* palette, const uint8_t* bytes,
                    uint16_t* texels) {
    const int32_t bits = bitmap.bits;
    for (int64_t x = 0; x < bitmap.width; ++x) {
        if (bits <= 8) {
            // Pixels fill each byte from its high bits down.
            const int64_t bit = x * bits;
            const uint32_t index = (bytes[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
            if (index >= uint32_t(bitmap.palette_entries)) return TEXTURE_ERROR_BAD_PALETTE;
            texels[x] = palette[index];
        } else if (bits == 24) {  // blue, green, red
            const uint8_t* pixel = bytes + x * 3;
            texels[x] = texel_of(pixel[2], pixel[1], pixel[0]);
        } else {
            const uint32_t pixel = little_endian(bytes + x * (bits / 8), bits / 8);
            texels[x] = texel_of(channel(pixel, bitmap.masks[0]), channel(pixel, bitmap.masks[1]),
                                 channel(pixel, bitmap.masks[2]));
        }
    }
    return 0;
}

// Run-length data read a piece at a time.
struct RunReader {
    const ImageFile* file;
    int64_t at;   // the next byte's offset in the file
    int64_t end;  // the data's end
    uint8_t piece[RLE_PIECE];
    int32_t held;  // bytes of the piece
    int32_t next;  // the next of them
};

// The next data byte: 0, or TEXTURE_ERROR_BAD_IMAGE past the data's end.
int32_t next_byte(RunReader* reader, uint32_t* byte) {
    if (reader->next == reader->held) {
        const int64_t left = reader->end - reader->at;
        if (left <= 0) return TEXTURE_ERROR_BAD_IMAGE;
        reader->held = int32_t(left < RLE_PIECE ? left : RLE_PIECE);
        reader->next = 0;
        const int32_t read =
            read_image_bytes(*reader->file, reader->at, reader->piece, reader->held);
        if (read != 0) return read;
        reader->at += reader->held;
    }
    *byte = reader->piece[reader->next++];
    return 0;
}

// Decodes RLE8 or RLE4 data into the image, rows bottom-up. Each command is two bytes: a
// count of pixels of one byte's colour (RLE4: its two nibbles in turn), or 0 and an escape:
// 0 ends the line, 1 the image, 2 moves right and up by the next two bytes, and 3..255
// give that many pixels as they are, padded to a 16-bit boundary.
int32_t decode_run_length(const ImageFile& file, const Bitmap& bitmap, const uint16_t* palette,
                          uint16_t* texels) {
    RunReader reader{&file, bitmap.pixels_at, bitmap.pixels_at + bitmap.data_bytes, {}, 0, 0};
    const bool nibbles = bitmap.bits == 4;
    for (int64_t i = 0; i < bitmap.width * bitmap.height; ++i)
        texels[i] = palette[0];
    int64_t x = 0, y = 0;  // y counts rows from the bottom
    auto put = [&](uint32_t index) {
        if (index >= uint32_t(bitmap.palette_entries)) return TEXTURE_ERROR_BAD_PALETTE;
        texels[(bitmap.height - 1 - y) * bitmap.width + x++] = palette[index];
        return 0;
    };
    for (;;) {
        uint32_t count = 0, value = 0;
        int32_t result = next_byte(&reader, &count);
        if (result == 0) result = next_byte(&reader, &value);
        if (result != 0) return result;  // the data ended before the end of the image
        if (count > 0) {
            if (y >= bitmap.height || x + count > bitmap.width) return TEXTURE_ERROR_BAD_IMAGE;
            for (uint32_t k = 0; k < count && result == 0; ++k)
                result = put(nibbles ? (k % 2 == 0 ? value >> 4 : value & 15) : value);
        } else if (value == 0) {
            x = 0;
            if (++y > bitmap.height) return TEXTURE_ERROR_BAD_IMAGE;
        } else if (value == 1) {
            return 0;
        } else if (value == 2) {
            uint32_t right = 0, up = 0;
            result = next_byte(&reader, &right);
            if (result == 0) result = next_byte(&reader, &up);
            x += right;
            y += up;
            if (result == 0 && (x > bitmap.width || y > bitmap.height))
                result = TEXTURE_ERROR_BAD_IMAGE;
        } else {
            if (y >= bitmap.height || x + value > bitmap.width) return TEXTURE_ERROR_BAD_IMAGE;
            const uint32_t bytes = nibbles ? (value + 1) / 2 : value;
            uint32_t byte = 0;
            for (uint32_t k = 0; k < value && result == 0; ++k) {
                if (!nibbles || k % 2 == 0) result = next_byte(&reader, &byte);
                if (result == 0)
                    result = put(nibbles ? (k % 2 == 0 ? byte >> 4 : byte & 15) : byte);
            }
            if (result == 0 && bytes % 2 == 1) result = next_byte(&reader, &byte);
        }
        if (result != 0) return result;
    }
}

}  // namespace

int32_t read_bmp_image(const ImageFile& file, const ImageLimits& limits, DecodedImage* image) {
    Bitmap bitmap{};
    int32_t result = read_layout(file, limits, &bitmap);
    if (result != 0) return result;

    uint16_t palette[256] = {};
    if (bitmap.bits <= 8) {
        uint8_t entries[256 * 4];
        const int32_t count = bitmap.palette_entries;
        result = read_image_bytes(file, bitmap.palette_at, entries, count * bitmap.entry_bytes);
        if (result != 0) return result;
        for (int32_t i = 0; i < count; ++i) {
            const uint8_t* entry = entries + i * bitmap.entry_bytes;  // blue, green, red
            palette[i] = texel_of(entry[2], entry[1], entry[0]);
        }
    }

    // At most 4096 x 4096 texels of 2 bytes: within int32.
    auto* made = static_cast<uint16_t*>(alloc_zeroed(int32_t(bitmap.width * bitmap.height * 2)));
    if (made == nullptr) return TEXTURE_ERROR_NO_MEMORY;
    if (bitmap.run_length) result = decode_run_length(file, bitmap, palette, made);
    uint8_t row[MAX_PICTURE_SIDE * 4];  // 4096 pixels of 32 bits: the widest row
    for (int64_t y = 0; y < bitmap.height && result == 0 && !bitmap.run_length; ++y) {
        result =
            read_image_bytes(file, bitmap.pixels_at + y * bitmap.row_bytes, row, bitmap.row_bytes);
        const int64_t texel_row = bitmap.top_down ? y : bitmap.height - 1 - y;
        if (result == 0)
            result = convert_row(bitmap, palette, row, made + texel_row * bitmap.width);
    }
    if (result != 0) {
        free_block(made);
        return result;
    }
    *image = {int32_t(bitmap.width), int32_t(bitmap.height), made};
    return 0;
}
