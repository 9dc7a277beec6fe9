// Key latches and message text conversion of the SDL backend.
#include "platform/sdl/sdl_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/messages.h"
#include "platform/common/text_encoding.h"

namespace {

std::string convert(const char* text, int32_t out_size = 512) {
    std::string out(size_t(out_size) + 8, '#');
    const int32_t length = cp932_to_utf8_text(text, out.data(), out_size);
    EXPECT_EQ(out[size_t(length)], '\0');
    EXPECT_EQ(size_t(length), std::strlen(out.c_str()));
    // Nothing written beyond the room given.
    EXPECT_EQ(out.substr(size_t(out_size)), std::string(8, '#'));
    return out.c_str();
}

}  // namespace

TEST(KeyLatch, ReportsDownAndPressedSinceLastQuery) {
    KeyLatches keys = {};
    // Held since before anything was latched: down, not newly pressed.
    EXPECT_EQ(query_key_latch(&keys, 0x5A, true), 0x8000);
    // Pressed and still held: both bits once, then only the down bit.
    latch_key_press(&keys, 0x7B);
    EXPECT_EQ(query_key_latch(&keys, 0x7B, true), 0x8001);
    EXPECT_EQ(query_key_latch(&keys, 0x7B, true), 0x8000);
    // Tapped and released between two queries: the press is seen once.
    latch_key_press(&keys, 0x70);
    EXPECT_EQ(query_key_latch(&keys, 0x70, false), 0x0001);
    EXPECT_EQ(query_key_latch(&keys, 0x70, false), 0x0000);
    // Latches are per key.
    latch_key_press(&keys, 0x71);
    EXPECT_EQ(query_key_latch(&keys, 0x72, false), 0x0000);
    EXPECT_EQ(query_key_latch(&keys, 0x71, false), 0x0001);
}

TEST(KeyLatch, IgnoresKeysOutsideTheTable) {
    KeyLatches keys = {};
    latch_key_press(&keys, -1);
    latch_key_press(&keys, VIRTUAL_KEY_COUNT);
    EXPECT_EQ(query_key_latch(&keys, -1, true), 0);
    EXPECT_EQ(query_key_latch(&keys, VIRTUAL_KEY_COUNT, true), 0);
    for (int key = 0; key < VIRTUAL_KEY_COUNT; ++key)
        EXPECT_FALSE(keys.pressed_since_query[key]);
}

TEST(MessageText, ConvertsEveryErrorTextToUtf8) {
    EXPECT_EQ(convert(TEXT_SCREEN_FAILED), "画面バッファの作成に失敗しました。");
    EXPECT_EQ(convert(TEXT_PACKET_AREA_FULL), "データがポリゴンバッファ領域を超えました。");
    EXPECT_EQ(convert(TEXT_VERTEX_POOL_FULL), "頂点バッファが領域を超えました。");
    EXPECT_EQ(convert(TEXT_COLOUR_POOL_FULL), "カラーバッファが領域を超えました。");
    EXPECT_EQ(convert(TEXT_UV_POOL_FULL), "ＵＶバッファが領域を超えました。");
    EXPECT_EQ(convert(TEXT_NORMAL_POOL_FULL), "法線バッファが領域を超えました。");
    char formatted[100];
    std::snprintf(formatted, sizeof formatted, TEXT_ALLOC_FAILED, 80000);
    EXPECT_EQ(convert(formatted), "80000byteの領域の確保に失敗しました。");
    EXPECT_EQ(convert(ERROR_CAPTION), "Error");
}

TEST(MessageText, CutsAtCharacterBoundariesWithinTheRoomGiven) {
    // "画面" is 6 bytes of UTF-8: with room for 6 both fit, with 5 or 3 only the first.
    EXPECT_EQ(convert(TEXT_SCREEN_FAILED, 7), "画面");
    EXPECT_EQ(convert(TEXT_SCREEN_FAILED, 6), "画");
    EXPECT_EQ(convert(TEXT_SCREEN_FAILED, 4), "画");
    EXPECT_EQ(convert(TEXT_SCREEN_FAILED, 3), "");
    EXPECT_EQ(convert(TEXT_SCREEN_FAILED, 1), "");
    EXPECT_EQ(convert("Error", 3), "Er");
    // No room at all: nothing is written.
    char untouched = '#';
    EXPECT_EQ(cp932_to_utf8_text("Error", &untouched, 0), 0);
    EXPECT_EQ(untouched, '#');
    EXPECT_EQ(cp932_to_utf8_text("Error", nullptr, 16), 0);
}

TEST(MessageText, ReplacesInvalidBytesAndKeepsGoing) {
    // 0x80 is no character; 0x82 0x20 is a lead byte with a bad trail; a lead byte at the
    // very end is cut off.
    EXPECT_EQ(convert("\x80"
                      "A"),
              "?A");
    EXPECT_EQ(convert("A\x82 B"), "A? B");
    EXPECT_EQ(convert("AB\x82"), "AB?");
    EXPECT_EQ(convert(nullptr), "");
    EXPECT_EQ(convert(""), "");
}
