// PNG textures and pictures, decoded by libpng.
//
// libpng verifies every chunk's check value and the compressed data's own, and
// is held to the reader's limits: its pixels a side, no ancillary chunk kept,
// and none larger than MAX_CHUNK_BYTES. The image data is read in pieces of
// READ_PIECE bytes, and each row may read at most a row's worth of them: a
// stream that runs on after the image (a decompression bomb hides gigabytes
// there) is refused after a few kilobytes instead of being inflated to its end.
// Palette indices are checked against the palette here. The chunks after the
// image are read up to the end chunk (IEND), which must be there: each is
// skipped but for its check value, which must be right.
//
// libpng reports errors by longjmp. Everything the decoder changes lives in a
// PngRead record owned by the caller of the function that calls setjmp, and no
// object with a destructor is alive in between, so a jump skips no cleanup.
#include <png.h>

#include <csetjmp>
#include <cstddef>

#include "base/memory.h"
#include "base/messages.h"
#include "raster/picture_file.h"
#include "raster/texture_file.h"
#include "raster/texture_files/image_file.h"
#include "raster/texture_limits.h"

namespace {

constexpr png_alloc_size_t MAX_CHUNK_BYTES = 256 * 1024;
constexpr size_t READ_PIECE = 1024;
// Room beyond twice a stored row (its filter byte with it) for a row's share
// of the stream: block headers, chunk boundaries, the stream's end and a piece
// read ahead.
constexpr int64_t ROW_SLACK = 2048;

struct PngRead {
    ImageFile file;
    png_structp png;
    png_infop info;
    int64_t offset;      // of the next byte libpng reads
    int64_t row_start;   // offset when the current row began
    int64_t row_budget;  // bytes a row may read; 0 before the rows
    int32_t failure;     // why a jump was made, when it was not libpng's own error
    ImageLimits limits;
    DecodedImage image;
    int32_t palette_size;  // 0 for an image without a palette
    uint16_t palette[256];
    png_byte row[MAX_PICTURE_SIDE * 3];  // one row: indices, or 8-bit red, green, blue
};

// libpng's blocks come from the system allocator, counted and reported like
// every other. alloc_zeroed takes a 32-bit size; a larger request fails with
// the same message instead of wrapping into a smaller block.
png_voidp allocate(png_structp, png_alloc_size_t bytes) {
    if (bytes > png_alloc_size_t(INT32_MAX)) {
        show_error(TEXT_ALLOC_FAILED, INT32_MAX);
        return nullptr;
    }
    return alloc_zeroed(int32_t(bytes));
}

void release(png_structp, png_voidp block) {
    free_block(block);
}

// Returning would make libpng print the message and jump anyway.
[[noreturn]] void fail(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void ignore_warning(png_structp, png_const_charp) {}

[[noreturn]] void fail_with(PngRead* read, int32_t failure) {
    read->failure = failure;
    png_error(read->png, "refused");
}

void read_bytes(png_structp png, png_bytep bytes, size_t count) {
    auto* read = static_cast<PngRead*>(png_get_io_ptr(png));
    const int64_t end = read->offset + int64_t(count);
    if (read->row_budget > 0 && end - read->row_start > read->row_budget)
        fail_with(read, TEXTURE_ERROR_BAD_IMAGE);
    const int32_t result = read_image_bytes(read->file, read->offset, bytes, int64_t(count));
    if (result != 0) fail_with(read, result);
    read->offset = end;
}

// Sets libpng's limits and transforms, reads the header and makes the image's block.
void start(PngRead* read) {
    png_structp png = read->png;
    png_infop info = read->info;
    png_set_read_fn(png, read, read_bytes);
    png_set_user_limits(png, png_uint_32(read->limits.max_side),
                        png_uint_32(read->limits.max_side));
    png_set_chunk_malloc_max(png, MAX_CHUNK_BYTES);
    png_set_chunk_cache_max(png, 1);                                        // 1 keeps none
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);  // -1: known ones too
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_set_benign_errors(png, 0);  // its "benign" errors, extra image data among them, refuse
    png_set_compression_buffer_size(png, READ_PIECE);  // for reading: the image data's pieces
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (const int32_t refusal = check_image_size(read->limits, width, height); refusal != 0)
        fail_with(read, refusal);

    // Before the transforms, libpng gives the rows as stored.
    const int64_t raw_row_bytes = int64_t(png_get_rowbytes(png, info));
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE) {
        png_colorp colours = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &colours, &count) == 0 || count < 1 || count > 256)
            fail_with(read, TEXTURE_ERROR_BAD_IMAGE);
        for (int i = 0; i < count; ++i)
            read->palette[i] = texel_of(colours[i].red, colours[i].green, colours[i].blue);
        read->palette_size = count;
        png_set_packing(png);  // an index a byte
    } else {
        png_set_expand_gray_1_2_4_to_8(png);
        png_set_strip_16(png);  // the high byte
        png_set_strip_alpha(png);
        png_set_gray_to_rgb(png);
    }
    png_read_update_info(png, info);
    const size_t pixel_bytes = read->palette_size > 0 ? 1 : 3;
    if (png_get_rowbytes(png, info) != width * pixel_bytes)
        fail_with(read, TEXTURE_ERROR_BAD_IMAGE);

    // At most 4096 x 4096 texels of 2 bytes: within int32.
    read->image.texels = static_cast<uint16_t*>(alloc_zeroed(int32_t(width * height * 2)));
    if (read->image.texels == nullptr) fail_with(read, TEXTURE_ERROR_NO_MEMORY);
    read->image.width = int32_t(width);
    read->image.height = int32_t(height);
    read->row_budget = 2 * (raw_row_bytes + 1) + ROW_SLACK;  // + 1: the filter byte
}

// Reads every row (of every pass, in an interlaced image) into the image.
int32_t read_rows(PngRead* read) {
    png_structp png = read->png;
    const png_uint_32 width = png_get_image_width(png, read->info);
    const png_uint_32 height = png_get_image_height(png, read->info);
    const bool interlaced = png_get_interlace_type(png, read->info) != PNG_INTERLACE_NONE;
    const int passes = interlaced ? 7 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const png_uint_32 columns = interlaced ? PNG_PASS_COLS(width, pass) : width;
        const png_uint_32 rows = interlaced ? PNG_PASS_ROWS(height, pass) : height;
        if (columns == 0 || rows == 0) continue;  // libpng skips an empty pass too
        for (png_uint_32 row = 0; row < rows; ++row) {
            read->row_start = read->offset;
            png_read_row(png, read->row, nullptr);
            const png_uint_32 y = interlaced ? PNG_ROW_FROM_PASS_ROW(row, pass) : row;
            uint16_t* texels = read->image.texels + size_t(y) * width;
            for (png_uint_32 column = 0; column < columns; ++column) {
                const png_uint_32 x = interlaced ? PNG_COL_FROM_PASS_COL(column, pass) : column;
                if (read->palette_size > 0) {
                    const png_byte index = read->row[column];
                    if (index >= read->palette_size) return TEXTURE_ERROR_BAD_PALETTE;
                    texels[x] = read->palette[index];
                } else {
                    const png_byte* pixel = read->row + size_t(column) * 3;
                    texels[x] = texel_of(pixel[0], pixel[1], pixel[2]);
                }
            }
        }
    }
    return 0;
}

// The only function that calls setjmp; it changes nothing but *read after it.
int32_t decode(PngRead* read) {
    if (setjmp(png_jmpbuf(read->png))) {
        return read->failure != 0 ? read->failure : TEXTURE_ERROR_BAD_IMAGE;
    }
    start(read);
    if (const int32_t rows = read_rows(read); rows != 0) return rows;
    // What follows the image is skipped, not inflated: no row budget holds there, and the
    // file's own size bounds it.
    read->row_budget = 0;
    png_read_end(read->png, nullptr);
    return 0;
}

}  // namespace

int32_t read_png_image(const ImageFile& file, const ImageLimits& limits, DecodedImage* image) {
    // The size first, from the header chunk's own bytes (after the signature,
    // its length and type): libpng refuses a large image as a corrupt one.
    if (const int32_t refusal = png_header_refusal(file, limits); refusal != 0) return refusal;

    const int errors = error_count();
    PngRead read{};
    read.file = file;
    read.limits = limits;
    read.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, fail, ignore_warning,
                                        nullptr, allocate, release);
    if (read.png != nullptr) read.info = png_create_info_struct(read.png);
    int32_t result = TEXTURE_ERROR_NO_MEMORY;
    if (read.info != nullptr) result = decode(&read);
    png_destroy_read_struct(&read.png, &read.info, nullptr);
    // Out of memory exactly when an allocation failed (and showed its
    // message), whatever libpng made of it.
    if (error_count() != errors) result = TEXTURE_ERROR_NO_MEMORY;
    if (result != 0) {
        free_block(read.image.texels);
        return result;
    }
    *image = read.image;
    return 0;
}

bool picture_reader_decodes_png() {
    return true;
}
