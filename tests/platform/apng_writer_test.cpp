// The APNG encoder: its chunks read back by hand (signature, order, CRCs from zlib, frame count,
// sequence numbers, frame rectangles) and every frame decoded by stb_image, the first as the
// file's default image, the others as PNGs of their own rectangle drawn over the frame before.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/common/apng_writer.h"
#include "platform/common/page_drawing.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

namespace {

struct Chunk {
    std::string type;
    std::string data;
};

uint32_t read_u32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = (value << 8) | uint8_t(bytes.at(at + i));
    return value;
}

std::string u32(uint32_t value) {
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += char((value >> shift) & 0xFF);
    return bytes;
}

std::string chunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    return u32(uint32_t(data.size())) + body +
           u32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

// The RGB pixels of a PNG, as stb_image reads them.
std::vector<uint8_t> decode(const std::string& png, int* width, int* height) {
    int channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()),
                                            int(png.size()), width, height, &channels, 3);
    if (pixels == nullptr) return {};
    std::vector<uint8_t> rgb(pixels, pixels + size_t(*width) * size_t(*height) * 3);
    stbi_image_free(pixels);
    return rgb;
}

}  // namespace

TEST(ApngWriter, ChunksFramesAndPixelsReadBack) {
    if (!apng_encoder_available()) GTEST_SKIP() << "built without stb_image_write";
    constexpr int32_t W = 9, H = 6;
    // Every bit of the 5:5:5 pixels in use; the second frame changes a 2 x 3 block, the third
    // nothing.
    std::vector<uint16_t> first(W * H), second, third;
    for (int32_t i = 0; i < W * H; ++i)
        first[size_t(i)] = uint16_t((i * 0x0421 + (i / W) * 0x1234) & 0x7FFF);
    second = first;
    for (int32_t y = 2; y <= 4; ++y)
        for (int32_t x = 4; x <= 5; ++x)
            second[size_t(y * W + x)] = uint16_t(0x7FFF - second[size_t(y * W + x)]);
    third = second;
    const std::vector<const uint16_t*> frames = {first.data(), second.data(), third.data()};
    std::string apng;
    ASSERT_TRUE(encode_apng_555(frames, W, H, 1, 25, &apng));

    ASSERT_EQ(apng.substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));
    std::vector<Chunk> chunks;
    int32_t bad_crcs = 0;
    for (size_t at = 8; at + 12 <= apng.size();) {
        const uint32_t length = read_u32(apng, at);
        const std::string body = apng.substr(at + 4, 4 + length);
        bad_crcs += read_u32(apng, at + 8 + length) !=
                    crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
        chunks.push_back({body.substr(0, 4), body.substr(4)});
        at += 12 + length;
    }
    EXPECT_EQ(bad_crcs, 0);
    std::string order;
    for (const Chunk& c : chunks)
        order += c.type + " ";
    ASSERT_EQ(order, "IHDR acTL fcTL IDAT fcTL fdAT fcTL fdAT IEND ");
    EXPECT_EQ(read_u32(chunks[1].data, 0), 3u);  // frames
    EXPECT_EQ(read_u32(chunks[1].data, 4), 0u);  // played forever

    // Sequence numbers run over fcTL and fdAT alike; each frame shows for 1/25 s.
    const std::vector<uint32_t> rect_of[3] = {{W, H, 0, 0}, {2, 3, 4, 2}, {1, 1, 0, 0}};
    uint32_t expected_sequence = 0;
    std::vector<uint8_t> canvas;
    for (size_t frame = 0; frame < 3; ++frame) {
        const std::string& control = chunks[2 + 2 * frame].data;
        const std::string& data = chunks[3 + 2 * frame].data;
        EXPECT_EQ(read_u32(control, 0), expected_sequence++);
        const std::vector<uint32_t> rect = {read_u32(control, 4), read_u32(control, 8),
                                            read_u32(control, 12), read_u32(control, 16)};
        EXPECT_EQ(rect, rect_of[frame]) << frame;
        EXPECT_EQ(control.substr(20, 6), std::string("\0\x01\0\x19\0\0", 6));
        int width = 0, height = 0;
        if (frame == 0) {
            canvas = decode(apng, &width, &height);  // the default image
            ASSERT_EQ(width * height, W * H);
        } else {
            EXPECT_EQ(read_u32(data, 0), expected_sequence++);
            // The frame's rectangle as a PNG of its own, drawn over the frame before.
            const std::string header =
                u32(rect[0]) + u32(rect[1]) + std::string("\x08\x02\0\0\0", 5);
            const std::vector<uint8_t> part =
                decode(std::string("\x89PNG\r\n\x1a\n") + chunk("IHDR", header) +
                           chunk("IDAT", data.substr(4)) + chunk("IEND", ""),
                       &width, &height);
            ASSERT_EQ(part.size(), size_t(rect[0] * rect[1] * 3)) << frame;
            for (size_t y = 0; y < rect[1]; ++y)
                std::memcpy(&canvas[((rect[3] + y) * W + rect[2]) * 3], &part[y * rect[0] * 3],
                            rect[0] * 3);
        }
        int32_t wrong = 0;
        for (size_t i = 0; i < size_t(W * H); ++i) {
            const Rgba8 expected = pixel_to_rgba(frames[frame][i]);
            wrong += canvas[3 * i] != expected.r || canvas[3 * i + 1] != expected.g ||
                     canvas[3 * i + 2] != expected.b;
        }
        EXPECT_EQ(wrong, 0) << "frame " << frame;
    }

    // Refused with nothing written: no frame, a missing frame, a zero delay, no area.
    EXPECT_FALSE(encode_apng_555({}, W, H, 1, 25, &apng));
    EXPECT_TRUE(apng.empty());
    EXPECT_FALSE(encode_apng_555({first.data(), nullptr}, W, H, 1, 25, &apng));
    EXPECT_FALSE(encode_apng_555(frames, W, H, 0, 25, &apng));
    EXPECT_FALSE(encode_apng_555(frames, W, 0, 1, 25, &apng));
    EXPECT_TRUE(apng.empty());
}
