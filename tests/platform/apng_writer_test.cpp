// The APNG encoder: its chunks read back by hand (signature, order, CRCs by zlib, frame count,
// sequence numbers, delays, frame rectangles) and every frame decoded by stb_image, the first
// as the file's default image, the others as PNGs of their own rectangle drawn over the frame
// before.
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

uint32_t read_u32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = (value << 8) | uint8_t(bytes.at(at + i));
    return value;
}

std::string u32(uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

uint32_t crc(const std::string& bytes) {
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

std::string chunk(const std::string& type, const std::string& data) {
    return u32(uint32_t(data.size())) + type + data + u32(crc(type + data));
}

const std::string SIGNATURE("\x89PNG\r\n\x1a\n");

}  // namespace

TEST(ApngWriter, ChunksFramesAndPixelsReadBack) {
    if (!apng_encoder_available()) GTEST_SKIP() << "built without stb_image_write";
    constexpr int32_t W = 9, H = 6;
    // Every bit of the 5:5:5 pixels in use; the second frame changes a 2 x 3 block at (4, 2),
    // the third nothing (one pixel's rectangle).
    std::vector<uint16_t> first(W * H);
    for (int32_t i = 0; i < W * H; ++i)
        first[size_t(i)] = uint16_t((i * 0x0421 + (i / W) * 0x1234) & 0x7FFF);
    std::vector<uint16_t> second = first;
    for (int32_t y = 2; y <= 4; ++y)
        for (int32_t x = 4; x <= 5; ++x)
            second[size_t(y * W + x)] ^= 0x7FFF;
    const std::vector<const uint16_t*> frames = {first.data(), second.data(), second.data()};
    const std::vector<uint32_t> rects[3] = {{W, H, 0, 0}, {2, 3, 4, 2}, {1, 1, 0, 0}};
    std::string apng;
    ASSERT_TRUE(encode_apng_555(frames, W, H, 1, 25, &apng));

    ASSERT_EQ(apng.substr(0, 8), SIGNATURE);
    std::string order;
    std::vector<std::string> data;
    int32_t bad_crcs = 0;
    for (size_t at = 8; at + 12 <= apng.size(); at += 12 + data.back().size()) {
        const std::string body = apng.substr(at + 4, 4 + read_u32(apng, at));
        bad_crcs += read_u32(apng, at + 4 + body.size()) != crc(body);
        order += body.substr(0, 4) + " ";
        data.push_back(body.substr(4));
    }
    EXPECT_EQ(bad_crcs, 0);
    ASSERT_EQ(order, "IHDR acTL fcTL IDAT fcTL fdAT fcTL fdAT IEND ");
    EXPECT_EQ(read_u32(data[1], 0), 3u);  // frames
    EXPECT_EQ(read_u32(data[1], 4), 0u);  // played forever

    // One sequence over fcTL and fdAT; each frame shown for 1/25 s, replacing its rectangle.
    uint32_t sequence = 0;
    std::vector<uint8_t> canvas(W * H * 3);
    for (size_t frame = 0; frame < 3; ++frame) {
        const std::string& control = data[2 + 2 * frame];
        const std::string& pixels = data[3 + 2 * frame];
        EXPECT_EQ(read_u32(control, 0), sequence++);
        const std::vector<uint32_t> r = {read_u32(control, 4), read_u32(control, 8),
                                         read_u32(control, 12), read_u32(control, 16)};
        ASSERT_EQ(r, rects[frame]) << frame;
        EXPECT_EQ(control.substr(20), std::string("\0\x01\0\x19\0\0", 6));
        if (frame > 0) {
            EXPECT_EQ(read_u32(pixels, 0), sequence++);
        }
        const std::string png =
            frame == 0
                ? apng  // the default image
                : SIGNATURE +
                      chunk("IHDR", u32(r[0]) + u32(r[1]) + std::string("\x08\x02\0\0\0", 5)) +
                      chunk("IDAT", pixels.substr(4)) + chunk("IEND", "");
        int width = 0, height = 0, channels = 0;
        stbi_uc* part = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()),
                                              int(png.size()), &width, &height, &channels, 3);
        ASSERT_NE(part, nullptr) << frame;
        ASSERT_EQ(uint32_t(width * height), r[0] * r[1]);
        for (size_t y = 0; y < r[1]; ++y)
            std::memcpy(&canvas[((r[3] + y) * W + r[2]) * 3], part + y * r[0] * 3, r[0] * 3);
        stbi_image_free(part);
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
