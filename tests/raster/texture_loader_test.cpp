// Texture loading: slots, sizes, PNG and BMP files, and every refusal leaving the
// slot table as it was.
#include "raster/texture_loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/memory.h"
#include "geometry/render_list.h"
#include "support/test_support.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

namespace fs = std::filesystem;

// 5:5:5 texel of an 8-bit colour: each channel's top five bits.
uint16_t texel(int r, int g, int b) {
    return uint16_t(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}

class TextureLoader : public ::testing::Test {
protected:
    void SetUp() override {
        live_blocks = live_block_count();
        ASSERT_EQ(init_texture_slots(), 0);
        std::random_device seed;
        directory = fs::temp_directory_path() / ("sketch3d-textures-" + std::to_string(seed()));
        fs::create_directories(directory);
    }
    void TearDown() override {
        free_texture_slots();
        EXPECT_EQ(live_block_count(), live_blocks);
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }

    // The table as it stands: every slot's record and the texture count.
    std::vector<const void*> table() {
        std::vector<const void*> state(texture_slots(), texture_slots() + TEXTURE_SLOTS);
        state.push_back(reinterpret_cast<const void*>(intptr_t(texture_count())));
        state.push_back(reinterpret_cast<const void*>(intptr_t(live_block_count())));
        return state;
    }
    std::vector<uint16_t> texels(int32_t slot) {
        const int32_t count = 1 << (texture_width_shift(slot) + texture_height_shift(slot));
        return std::vector<uint16_t>(texture_texels(slot), texture_texels(slot) + count);
    }

    // Writes an image of `channels` 8-bit channels, pixel i's channel c being
    // (i * 37 + c * 91) mod 256, as PNG or BMP; returns its path.
    std::string image(const std::string& name, int width, int height, int channels) {
        pixels.assign(size_t(width * height * channels), 0);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = uint8_t((i / channels) * 37 + (i % channels) * 91);
        const std::string path = (directory / name).string();
        const bool bmp = name.ends_with(".bmp");
        const int written =
            bmp ? stbi_write_bmp(path.c_str(), width, height, channels, pixels.data())
                : stbi_write_png(path.c_str(), width, height, channels, pixels.data(),
                                 width * channels);
        EXPECT_NE(written, 0) << path;
        return path;
    }
    // The texels load_texture_file should make of the last image written.
    std::vector<uint16_t> expected_texels(int channels) {
        std::vector<uint16_t> out;
        for (size_t i = 0; i < pixels.size(); i += size_t(channels)) {
            const int r = pixels[i];
            out.push_back(channels < 3 ? texel(r, r, r) : texel(r, pixels[i + 1], pixels[i + 2]));
        }
        return out;
    }
    std::string file(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = (directory / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    std::vector<uint8_t> contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    int live_blocks = 0;
    fs::path directory;
    std::vector<uint8_t> pixels;
};

}  // namespace

TEST_F(TextureLoader, LoadsTexelsIntoFreeOrGivenSlots) {
    const std::vector<uint16_t> wide = {1, 2, 3, 4, 5, 6, 7, 0xFFFF};
    EXPECT_EQ(load_texture(-1, 4, 2, wide.data()), 0);
    EXPECT_EQ(texture_width_shift(0), 2);
    EXPECT_EQ(texture_height_shift(0), 1);
    EXPECT_EQ(texels(0), wide);  // copied as given, bit 15 too
    EXPECT_NE(texture_texels(0), wide.data());
    const uint16_t one = 9;
    EXPECT_EQ(load_texture(-1, 1, 1, &one), 1);
    const std::vector<uint16_t> big(256 * 256, 0x7C00);
    EXPECT_EQ(load_texture(5, 256, 256, big.data()), 5);
    EXPECT_EQ(texture_width_shift(5), 8);
    EXPECT_EQ(texture_count(), 3);
    EXPECT_EQ(live_block_count(), live_blocks + 1 + 6);  // the table, then record and texels each

    // A given slot that holds a texture gets the new one; the old is freed.
    EXPECT_EQ(load_texture(0, 2, 2, wide.data()), 0);
    EXPECT_EQ(texels(0), std::vector<uint16_t>(wide.begin(), wide.begin() + 4));
    EXPECT_EQ(texture_count(), 3);
    EXPECT_EQ(live_block_count(), live_blocks + 1 + 6);
    EXPECT_EQ(load_texture(-1, 1, 1, &one), 2);  // the first empty slot

    EXPECT_EQ(loaded_texture(3), nullptr);
    EXPECT_EQ(texture_width_shift(3), -1);
    EXPECT_EQ(texture_texels(128), nullptr);
}

TEST_F(TextureLoader, RefusesBadRequestsAndChangesNothing) {
    const std::vector<uint16_t> texels(256 * 512, 1);
    ASSERT_EQ(load_texture(-1, 2, 2, texels.data()), 0);
    const std::vector<const void*> before = table();
    MessageCapture messages;
    const int32_t sizes[][2] = {{0, 4}, {3, 4}, {4, 6}, {4, 512}, {-4, 4}, {INT32_MIN, 1}};
    for (const auto& size : sizes)
        EXPECT_EQ(load_texture(-1, size[0], size[1], texels.data()), TEXTURE_ERROR_BAD_SIZE);
    EXPECT_EQ(load_texture(-2, 2, 2, texels.data()), TEXTURE_ERROR_BAD_SLOT);
    EXPECT_EQ(load_texture(128, 2, 2, texels.data()), TEXTURE_ERROR_BAD_SLOT);
    EXPECT_EQ(load_texture(0, 2, 2, nullptr), TEXTURE_ERROR_NO_TEXELS);
    // The record's allocation fails, or the texels' after it.
    for (int k : {1, 2}) {
        fail_allocation_after(k);
        EXPECT_EQ(load_texture(0, 2, 2, texels.data()), TEXTURE_ERROR_NO_MEMORY) << k;
    }
    fail_allocation_after(0);
    EXPECT_EQ(messages.texts().size(), 2u);  // the allocator's own message, once each
    EXPECT_EQ(table(), before);

    for (int32_t slot = 1; slot < TEXTURE_SLOTS; ++slot)
        ASSERT_EQ(load_texture(-1, 1, 1, texels.data()), slot);
    EXPECT_EQ(load_texture(-1, 1, 1, texels.data()), TEXTURE_ERROR_NO_FREE_SLOT);
    EXPECT_EQ(load_texture(127, 1, 1, texels.data()), 127);  // a given slot still loads
    free_texture_slots();
    EXPECT_EQ(load_texture(-1, 1, 1, texels.data()), TEXTURE_ERROR_NO_TABLE);
    ASSERT_EQ(init_texture_slots(), 0);

    // Every result has its own text.
    std::set<std::string> texts;
    for (int32_t code = 0; code >= TEXTURE_ERROR_NO_DECODER; --code)
        texts.insert(texture_error_text(code));
    EXPECT_EQ(texts.size(), size_t(1 - TEXTURE_ERROR_NO_DECODER));
}

TEST_F(TextureLoader, ReadsPngAndBmpFiles) {
    if (load_texture_file(-1, image("probe.png", 1, 1, 3).c_str()) == TEXTURE_ERROR_NO_DECODER)
        GTEST_SKIP() << "built without the image decoder";
    struct Case {
        const char* name;
        int width, height, channels;
    };
    const Case cases[] = {{"rgb.png", 8, 4, 3}, {"rgba.png", 2, 16, 4}, {"grey.png", 4, 4, 1},
                          {"rgb.bmp", 4, 8, 3}, {"rgba.bmp", 16, 2, 4}, {"wide.png", 256, 1, 3},
                          {"dot.bmp", 1, 1, 3}};
    for (const Case& c : cases) {
        const int32_t slot =
            load_texture_file(10, image(c.name, c.width, c.height, c.channels).c_str());
        ASSERT_EQ(slot, 10) << c.name << ": " << texture_error_text(slot);
        EXPECT_EQ(1 << texture_width_shift(slot), c.width) << c.name;
        EXPECT_EQ(1 << texture_height_shift(slot), c.height) << c.name;
        EXPECT_EQ(texels(slot), expected_texels(c.channels)) << c.name;
    }
}

TEST_F(TextureLoader, RefusesBadFilesAndChangesNothing) {
    const std::string good = image("good.png", 4, 4, 3);
    if (load_texture_file(-1, good.c_str()) == TEXTURE_ERROR_NO_DECODER)
        GTEST_SKIP() << "built without the image decoder";
    const std::vector<uint8_t> png = contents(good);
    const std::vector<uint8_t> bmp = contents(image("good.bmp", 8, 8, 3));
    auto cut = [](std::vector<uint8_t> bytes, size_t size) {
        bytes.resize(size);
        return bytes;
    };
    const std::vector<const void*> before = table();
    const std::pair<std::string, int32_t> cases[] = {
        {(directory / "missing.png").string(), TEXTURE_ERROR_FILE_MISSING},
        {directory.string(), TEXTURE_ERROR_FILE_UNREADABLE},
        {file("empty.png", {}), TEXTURE_ERROR_BAD_IMAGE},
        {file("text.png", {'h', 'e', 'l', 'l', 'o'}), TEXTURE_ERROR_BAD_IMAGE},
        {file("half.png", cut(png, png.size() / 2)), TEXTURE_ERROR_BAD_IMAGE},
        {file("header.png", cut(png, 30)), TEXTURE_ERROR_BAD_IMAGE},
        {file("short.bmp", cut(bmp, bmp.size() - 1)), TEXTURE_ERROR_BAD_IMAGE},
        {file("header.bmp", cut(bmp, 30)), TEXTURE_ERROR_BAD_IMAGE},
        {image("odd.png", 3, 4, 3), TEXTURE_ERROR_BAD_SIZE},
        {image("huge.png", 512, 1, 1), TEXTURE_ERROR_BAD_SIZE},
        {image("odd.bmp", 4, 6, 3), TEXTURE_ERROR_BAD_SIZE},
        {file("large.png", std::vector<uint8_t>(MAX_TEXTURE_FILE_BYTES + 1)),
         TEXTURE_ERROR_FILE_TOO_LARGE},
    };
    for (const auto& [path, error] : cases) {
        EXPECT_EQ(load_texture_file(-1, path.c_str()), error) << path;
        EXPECT_EQ(load_texture_file(0, path.c_str()), error) << path;  // over a loaded slot
    }
    EXPECT_EQ(load_texture_file(-2, good.c_str()), TEXTURE_ERROR_BAD_SLOT);
    EXPECT_EQ(load_texture_file(-1, nullptr), TEXTURE_ERROR_NO_TEXELS);
    EXPECT_EQ(table(), before);
    EXPECT_EQ(load_texture_file(0, good.c_str()), 0);  // the good file still loads
}
