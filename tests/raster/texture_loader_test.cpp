// Texture loading: slots, sizes, PNG and BMP files, and every refusal leaving the
// slot table as it was.
#include "raster/texture_loader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

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
using namespace std::string_literals;  // "..."s keeps its NUL bytes

// Image files written byte by byte: integers, PNG chunks (their check value
// taken over `checked`, the data itself unless given) and zlib streams.
std::string big_endian(uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}
std::string little_endian(uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += char(value >> (8 * i));
    return out;
}
std::string chunk(const std::string& type, const std::string& data,
                  const std::string* checked = nullptr) {
    const std::string summed = type + (checked != nullptr ? *checked : data);
    const auto* bytes = reinterpret_cast<const Bytef*>(summed.data());
    return big_endian(uint32_t(data.size())) + type + data +
           big_endian(uint32_t(crc32(0, bytes, uInt(summed.size()))));
}
std::string zlib_stream(const std::string& raw, int level = 6) {
    std::string out(compressBound(uLong(raw.size())), '\0');
    uLongf size = uLongf(out.size());
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                        reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()), level),
              Z_OK);
    out.resize(size);
    return out;
}
// A PNG: header (depth, colour type, interlacing), `chunks`, end.
std::string png(uint32_t width, uint32_t height, int depth, int colour, int interlace,
                const std::string& chunks) {
    const std::string header = big_endian(width) + big_endian(height) +
                               std::string{char(depth), char(colour), 0, 0, char(interlace)};
    return "\x89PNG\r\n\x1A\n" + chunk("IHDR", header) + chunks + chunk("IEND", "");
}
// A BMP with the 40-byte header; `masks` and `palette` follow it, then the
// rows at `pixels_at` (right after the palette when 0).
std::string bmp(int bits, int32_t width, int32_t height, uint32_t compression,
                uint32_t colours_used, const std::string& masks, const std::string& palette,
                const std::string& rows, uint32_t pixels_at = 0) {
    if (pixels_at == 0) pixels_at = uint32_t(54 + masks.size() + palette.size());
    return "BM" + little_endian(pixels_at + uint32_t(rows.size()), 4) + little_endian(0, 4) +
           little_endian(pixels_at, 4) + little_endian(40, 4) + little_endian(width, 4) +
           little_endian(height, 4) + little_endian(1, 2) + little_endian(bits, 2) +
           little_endian(compression, 4) + little_endian(uint32_t(rows.size()), 4) +
           little_endian(2835, 4) + little_endian(2835, 4) + little_endian(colours_used, 4) +
           little_endian(0, 4) + masks + palette + rows;
}

// The compressed data of a 1 x 1 RGB image running on for 1 GiB of zeros: each
// MiB compresses to the same kilobyte, and the stream's check value is right.
std::string decompression_bomb() {
    const std::string row(4, '\0'), zeros(1 << 20, '\0');
    z_stream stream{};
    EXPECT_EQ(deflateInit(&stream, 9), Z_OK);
    auto deflate_all = [&stream](const std::string& in) {
        std::string out(in.size() + 1024, '\0');
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        stream.avail_in = uInt(in.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = uInt(out.size());
        deflate(&stream, Z_FULL_FLUSH);  // byte-aligned, and nothing refers back across it
        out.resize(out.size() - stream.avail_out);
        return out;
    };
    std::string data = deflate_all(row);
    const std::string mebibyte = deflate_all(zeros);
    deflateEnd(&stream);
    uLong adler = adler32(1, reinterpret_cast<const Bytef*>(row.data()), 4);
    const uLong zeros_adler = adler32(1, reinterpret_cast<const Bytef*>(zeros.data()), 1 << 20);
    for (int i = 0; i < 1024; ++i) {
        data += mebibyte;
        adler = adler32_combine(adler, zeros_adler, 1 << 20);
    }
    return data + "\x03\x00"s + big_endian(uint32_t(adler));  // an empty last block, the check
}
std::string image_data_chunks(const std::string& data, size_t pieces) {
    std::string chunks;
    const size_t piece = (data.size() + pieces - 1) / pieces;
    for (size_t at = 0; at < data.size(); at += piece)
        chunks += chunk("IDAT", data.substr(at, piece));
    return chunks;
}

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
    for (int32_t code = 0; code >= TEXTURE_ERROR_BAD_PALETTE; --code)
        texts.insert(texture_error_text(code));
    EXPECT_EQ(texts.size(), size_t(1 - TEXTURE_ERROR_BAD_PALETTE));
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

TEST_F(TextureLoader, ReadsEveryPngAndBmpKind) {
    if (load_texture_file(-1, image("probe.png", 1, 1, 3).c_str()) == TEXTURE_ERROR_NO_DECODER)
        GTEST_SKIP() << "built without the image decoder";
    auto expect_texels = [this](const char* name, const std::string& bytes, int width, int height,
                                const std::vector<uint16_t>& expected) {
        const int32_t slot =
            load_texture_file(10, file(name, {bytes.begin(), bytes.end()}).c_str());
        ASSERT_EQ(slot, 10) << name << ": " << texture_error_text(slot);
        EXPECT_EQ(1 << texture_width_shift(slot), width) << name;
        EXPECT_EQ(1 << texture_height_shift(slot), height) << name;
        EXPECT_EQ(texels(slot), expected) << name;
    };
    const uint16_t R = 0x7C00, G = 0x03E0, B = 0x001F, W = 0x7FFF;
    const std::string red = "\xF8\0\0"s, green = "\0\xF8\0"s, blue = "\0\0\xF8"s;
    expect_texels(
        "palette.png",
        png(2, 2, 8, 3, 0,
            chunk("PLTE", red + green + blue) + chunk("IDAT", zlib_stream("\0\2\0\0\1\2"s))),
        2, 2, {B, R, G, B});
    // 16-bit channels keep their high bytes: 0x12, 0x56, 0x9A, then 0xF8, 0, 0x08.
    expect_texels("deep.png",
                  png(2, 1, 16, 2, 0,
                      chunk("IDAT", zlib_stream("\0\x12\xFF\x56\0\x9A\x01\xF8\x07\0\xFF\x08\0"s))),
                  2, 1, {0x0953, 0x7C01});
    // 2-bit grey 0..3 widens to 0, 85, 170, 255.
    expect_texels("grey.png", png(4, 1, 2, 0, 0, chunk("IDAT", zlib_stream("\0\x1B"s))), 4, 1,
                  {0, 0x294A, 0x56B5, W});
    // Interlaced 2 x 2: the pixel at (0, 0), then (1, 0), then the second row.
    const std::string passes = "\0"s + red + "\0"s + green + "\0"s + blue + "\xF8\xF8\xF8";
    expect_texels("interlaced.png", png(2, 2, 8, 2, 1, chunk("IDAT", zlib_stream(passes))), 2, 2,
                  {R, G, B, W});
    // Bottom-up rows padded to 4 bytes; palette entries blue, green, red, unused.
    expect_texels("mono.bmp",
                  bmp(1, 2, 2, 0, 0, "", "\0\0\0\0\xF8\xF8\xF8\0"s, "\x40\0\0\0\x80\0\0\0"s), 2, 2,
                  {W, 0, 0, W});
    expect_texels("nibbles.bmp", bmp(4, 2, 1, 0, 2, "", "\xF8\0\0\0\0\0\xF8\0"s, "\x10\0\0\0"s), 2,
                  1, {R, B});
    const std::string masks_565 =
        little_endian(0xF800, 4) + little_endian(0x07E0, 4) + little_endian(0x001F, 4);
    expect_texels("565.bmp", bmp(16, 2, 1, 3, 0, masks_565, "", "\x00\xF8\xE0\x07"s), 2, 1, {R, G});
    // Run-length data, bottom row first: a run, pixels as they are (padded), a move, the
    // line ends; skipped pixels take entry 0 (blue here).
    const std::string entries = "\xF8\0\0\0\0\0\xF8\0\0\xF8\0\0"s;  // blue, red, green
    expect_texels("run.bmp",
                  bmp(8, 4, 2, 1, 3, "", entries,
                      "\x01\x01\0\x03\x02\x01\x02\0\0\0\0\x02\x01\0\x03\x01\0\x01"s),
                  4, 2, {B, R, R, R, R, G, R, G});
    expect_texels("run4.bmp", bmp(4, 4, 1, 2, 3, "", entries, "\x03\x12\0\x01"s), 4, 1,
                  {R, G, R, B});
}

TEST_F(TextureLoader, RefusesHostileFilesAndChangesNothing) {
    if (load_texture_file(-1, image("probe.png", 1, 1, 3).c_str()) == TEXTURE_ERROR_NO_DECODER)
        GTEST_SKIP() << "built without the image decoder";
    const std::string fifo = (directory / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::pair<std::string, int32_t>> cases = {
        {fifo, TEXTURE_ERROR_FILE_UNREADABLE},  // opening it would wait for a writer
        {"/dev/zero", TEXTURE_ERROR_FILE_UNREADABLE},
    };
    auto add = [&](const char* name, const std::string& bytes, int32_t error) {
        cases.emplace_back(file(name, {bytes.begin(), bytes.end()}), error);
    };
    // Stored data with a pixel changed after its chunk's check value was taken;
    // the stream's own check value matches the change, as a careless tool's would.
    const std::string raw = "\0\x10\x20\x30\0\x40\x50\x60"s;
    std::string changed = raw;
    changed[2] ^= 0x40;
    const std::string stored = zlib_stream(raw, 0);
    add("changed.png", png(1, 2, 8, 2, 0, chunk("IDAT", zlib_stream(changed, 0), &stored)),
        TEXTURE_ERROR_BAD_IMAGE);
    add("beyond_palette.png",
        png(2, 1, 8, 3, 0, chunk("PLTE", "\xF8\0\0"s) + chunk("IDAT", zlib_stream("\0\0\1"s))),
        TEXTURE_ERROR_BAD_PALETTE);
    const std::string entry = "\x10\x20\x30\0"s, index_1 = "\x01\0\0\0"s;
    add("beyond_palette.bmp", bmp(8, 1, 1, 0, 2, "", entry + entry, "\x02\0\0\0"s),
        TEXTURE_ERROR_BAD_PALETTE);
    add("palette_of_one.bmp", bmp(8, 1, 1, 0, 1, "", entry, index_1), TEXTURE_ERROR_BAD_PALETTE);
    // Two entries declared (none given: 2^1), room for one before the rows.
    add("room_for_one.bmp", bmp(1, 1, 1, 0, 0, "", entry, "\x80\0\0\0"s),
        TEXTURE_ERROR_BAD_PALETTE);
    add("no_palette.bmp", bmp(8, 1, 1, 0, 0, "", "", index_1), TEXTURE_ERROR_BAD_IMAGE);
    add("rows_past_end.bmp", bmp(24, 1, 1, 0, 0, "", "", "\0\0\0\0"s, 58), TEXTURE_ERROR_BAD_IMAGE);
    add("header_past_end.bmp", bmp(24, 1, 1, 0, 0, "", "", "").substr(0, 40),
        TEXTURE_ERROR_BAD_IMAGE);
    add("chunk_past_end.png", png(1, 1, 8, 2, 0, big_endian(1000) + "IDAT\x78\x9C"s),
        TEXTURE_ERROR_BAD_IMAGE);
    // Run-length data that leaves its row or the image, ends early, or is stored top-down.
    const std::string two = "\xF8\0\0\0\0\0\xF8\0"s;
    add("run_past_row.bmp", bmp(8, 2, 1, 1, 2, "", two, "\x03\x01\0\x01"s),
        TEXTURE_ERROR_BAD_IMAGE);
    add("run_past_top.bmp", bmp(8, 1, 1, 1, 2, "", two, "\0\0\x01\x01\0\x01"s),
        TEXTURE_ERROR_BAD_IMAGE);
    add("move_past_top.bmp", bmp(8, 1, 1, 1, 2, "", two, "\0\x02\0\x05\0\x01"s),
        TEXTURE_ERROR_BAD_IMAGE);
    add("run_unended.bmp", bmp(8, 1, 1, 1, 2, "", two, "\x01\x01"s), TEXTURE_ERROR_BAD_IMAGE);
    add("run_beyond_palette.bmp", bmp(8, 1, 1, 1, 2, "", two, "\x01\x05\0\x01"s),
        TEXTURE_ERROR_BAD_PALETTE);
    add("run_top_down.bmp", bmp(8, 1, -1, 1, 2, "", two, "\x01\x01\0\x01"s),
        TEXTURE_ERROR_BAD_IMAGE);
    // The end chunk's check value is verified, and the chunk must be there.
    std::string bad_end = png(1, 1, 8, 2, 0, chunk("IDAT", zlib_stream("\0\1\2\3"s)));
    bad_end[bad_end.size() - 1] ^= 1;
    add("bad_end.png", bad_end, TEXTURE_ERROR_BAD_IMAGE);
    add("no_end.png", bad_end.substr(0, bad_end.size() - 12), TEXTURE_ERROR_BAD_IMAGE);
    const std::string bomb = decompression_bomb();
    add("bomb.png", png(1, 1, 8, 2, 0, image_data_chunks(bomb, 128)), TEXTURE_ERROR_BAD_IMAGE);
    add("bomb_in_one_chunk.png", png(1, 1, 8, 2, 0, image_data_chunks(bomb, 1)),
        TEXTURE_ERROR_BAD_IMAGE);

    const std::vector<const void*> before = table();
    for (const auto& [path, error] : cases) {
        EXPECT_EQ(load_texture_file(-1, path.c_str()), error) << path;
        EXPECT_EQ(load_texture_file(0, path.c_str()), error) << path;  // over a loaded slot
    }
    EXPECT_EQ(table(), before);
}
