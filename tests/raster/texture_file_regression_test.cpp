// Image files the texture loader mishandled, found while fuzzing it: a BMP
// stored top-down, PNGs with empty image-data chunks, and a corrupt PNG
// reported as out of memory after an earlier load had run out.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "base/memory.h"
#include "geometry/render_list.h"
#include "raster/texture_loader.h"
#include "support/test_support.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

namespace fs = std::filesystem;

std::string little_endian(uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += char((value >> (8 * i)) & 0xFF);
    return out;
}

// A 32-bit BMP of 2 x 2 pixels whose height is given negated: its rows run
// from the top down. Pixels are stored blue, green, red, unused.
std::string top_down_bmp() {
    const std::string pixels = std::string("\x00\x00\xF8\x00", 4) +  // top left: red
                               std::string("\x00\xF8\x00\x00", 4) +  // top right: green
                               std::string("\xF8\x00\x00\x00", 4) +  // bottom left: blue
                               std::string("\xF8\xF8\xF8\x00", 4);   // bottom right: white
    return "BM" + little_endian(54 + 16, 4) + little_endian(0, 4) + little_endian(54, 4) +
           little_endian(40, 4) + little_endian(2, 4) + little_endian(uint32_t(-2), 4) +
           little_endian(1, 2) + little_endian(32, 2) + little_endian(0, 4) + little_endian(16, 4) +
           little_endian(2835, 4) + little_endian(2835, 4) + little_endian(0, 4) +
           little_endian(0, 4) + pixels;
}

// An empty image-data chunk: length 0, type, check value (of "IDAT").
const std::string EMPTY_IDAT = std::string("\0\0\0\0IDAT\x35\xAF\x06\x1E", 12);

void png_writer(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

// A 2 x 2 PNG: red, green, blue, white.
std::string small_png() {
    const uint8_t rgb[4 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    std::string png;
    EXPECT_NE(stbi_write_png_to_func(png_writer, &png, 2, 2, 3, rgb, 6), 0);
    return png;
}

class TextureFileRegression : public ::testing::Test {
protected:
    void SetUp() override {
        live_blocks = live_block_count();
        ASSERT_EQ(init_texture_slots(), 0);
        path = (fs::temp_directory_path() /
                ("sketch3d-regression-" + std::to_string(std::random_device{}())))
                   .string();
    }
    void TearDown() override {
        free_texture_slots();
        EXPECT_EQ(live_block_count(), live_blocks);
        std::error_code ignored;
        fs::remove(path, ignored);
    }
    int32_t load(const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
        return load_texture_file(0, path.c_str());
    }
    int live_blocks = 0;
    std::string path;
};

}  // namespace

TEST_F(TextureFileRegression, TopDownBmpLoadsTheRightWayUp) {
    // It was refused as having a bad size: the header's height is -2.
    ASSERT_EQ(load(top_down_bmp()), 0);
    EXPECT_EQ(texture_width_shift(0), 1);
    EXPECT_EQ(texture_height_shift(0), 1);
    const uint16_t* texels = texture_texels(0);
    EXPECT_EQ(texels[0], 0x7C00);  // red at the top left
    EXPECT_EQ(texels[1], 0x03E0);
    EXPECT_EQ(texels[2], 0x001F);
    EXPECT_EQ(texels[3], 0x7FFF);
}

TEST_F(TextureFileRegression, EmptyImageDataChunksAreSkipped) {
    // The decoder copied an empty chunk's zero bytes to a null buffer.
    const std::string png = small_png();
    const size_t first_data = png.find("IDAT") - 4;
    std::string padded = png;
    padded.insert(first_data, EMPTY_IDAT + EMPTY_IDAT);
    ASSERT_EQ(load(padded), 0);
    EXPECT_EQ(texture_texels(0)[0], 0x7C00);
    EXPECT_EQ(texture_texels(0)[3], 0x7FFF);

    // Nothing but empty chunks: no image data at all, and nothing changes.
    const size_t end = png.find("IEND") - 4;
    const std::string empty = png.substr(0, first_data) + EMPTY_IDAT + png.substr(end);
    const int blocks = live_block_count();
    EXPECT_EQ(load(empty), TEXTURE_ERROR_BAD_IMAGE);
    EXPECT_EQ(texture_texels(0)[0], 0x7C00);
    EXPECT_EQ(live_block_count(), blocks);
}

TEST_F(TextureFileRegression, OnlyAFailedAllocationIsReportedAsOutOfMemory) {
    MessageCapture messages;
    const std::string png = small_png();
    fail_allocation_after(2);  // one of the decoder's blocks
    EXPECT_EQ(load(png), TEXTURE_ERROR_NO_MEMORY);
    fail_allocation_after(0);
    EXPECT_EQ(messages.texts().size(), 1u);

    // An image-data chunk claiming 2^31 bytes fails without a reason of its
    // own; it was reported with the previous failure's.
    std::string corrupt = png;
    corrupt.replace(png.find("IDAT") - 4, 4, std::string("\x80\0\0\0", 4));
    EXPECT_EQ(load(corrupt), TEXTURE_ERROR_BAD_IMAGE);
    EXPECT_EQ(messages.texts().size(), 1u);
    EXPECT_EQ(load(png), 0);
}
