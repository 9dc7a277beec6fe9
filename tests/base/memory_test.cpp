// Allocation, release and the error texts.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/memory.h"
#include "base/messages.h"
#include "support/test_support.h"

TEST(Memory, AllocZeroedGivesZeroFilledBlocksAndCountsThem) {
    int live = live_block_count();
    int64_t bytes = live_byte_count();
    auto* block = static_cast<unsigned char*>(alloc_zeroed(4096));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ(block[i], 0) << i;
    EXPECT_EQ(live_block_count(), live + 1);
    void* small = alloc_zeroed(3);
    void* empty = alloc_zeroed(0);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(small) % alignof(std::max_align_t), 0u);
    EXPECT_EQ(live_byte_count(), bytes + 4099);
    MessageCapture messages;
    fail_allocation_after(1);
    EXPECT_EQ(alloc_zeroed(100), nullptr);  // a failure counts nothing
    EXPECT_EQ(messages.texts().size(), 1u);
    EXPECT_EQ(live_block_count(), live + 2 + (empty != nullptr));
    EXPECT_EQ(live_byte_count(), bytes + 4099);
    free_block(block);
    free_block(small);
    free_block(empty);
    free_block(nullptr);  // ignored
    EXPECT_EQ(live_block_count(), live);
    EXPECT_EQ(live_byte_count(), bytes);
}

TEST(Memory, FailedAllocationShowsItsSizeOnceInAnErrorBox) {
    MessageCapture messages;
    fail_allocation_after(2);
    void* first = alloc_zeroed(16);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(alloc_zeroed(80000), nullptr);
    void* third = alloc_zeroed(16);  // one-shot: the next allocation works again
    EXPECT_NE(third, nullptr);
    free_block(first);
    free_block(third);

    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_EQ(cp932_to_utf8(messages.texts()[0]), "80000byteの領域の確保に失敗しました。");
    EXPECT_EQ(messages.captions()[0], "Error");
    EXPECT_STREQ(last_error_text(), messages.texts()[0].c_str());
    EXPECT_EQ(error_count(), 1);
}

TEST(Memory, NegativeSizeFailsWithItsMessage) {
    MessageCapture messages;
    EXPECT_EQ(alloc_zeroed(-8), nullptr);
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_EQ(cp932_to_utf8(messages.texts()[0]), "-8byteの領域の確保に失敗しました。");
}

TEST(Memory, ErrorTextIsCutAtNinetyNineBytes) {
    MessageCapture messages;
    std::string long_text(300, 'x');
    show_error("%s", long_text.c_str());
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_EQ(messages.texts()[0], std::string(ERROR_TEXT_SIZE - 1, 'x'));
}

TEST(Memory, StoredTextsAreTheCodePage932FormsOfTheMessages) {
    EXPECT_EQ(cp932_to_utf8(TEXT_SCREEN_FAILED), "画面バッファの作成に失敗しました。");
    EXPECT_EQ(cp932_to_utf8(TEXT_PACKET_AREA_FULL), "データがポリゴンバッファ領域を超えました。");
    EXPECT_EQ(cp932_to_utf8(TEXT_VERTEX_POOL_FULL), "頂点バッファが領域を超えました。");
    EXPECT_EQ(cp932_to_utf8(TEXT_COLOUR_POOL_FULL), "カラーバッファが領域を超えました。");
    EXPECT_EQ(cp932_to_utf8(TEXT_UV_POOL_FULL), "ＵＶバッファが領域を超えました。");
    EXPECT_EQ(cp932_to_utf8(TEXT_NORMAL_POOL_FULL), "法線バッファが領域を超えました。");
    EXPECT_EQ(cp932_to_utf8(TEXT_ALLOC_FAILED), "%dbyteの領域の確保に失敗しました。");
}

// Every shown text finds its English line; a text that is none of them, or whose number is
// not an int32_t printed whole, has none.
TEST(Messages, EveryShownTextHasItsEnglishLine) {
    char shown[ERROR_TEXT_SIZE];
    char english[ENGLISH_LINE_SIZE];
    for (const MessageText& message : MESSAGE_TEXTS) {
        std::snprintf(shown, sizeof shown, message.japanese, 80000);
        const int32_t length = english_line(shown, english, ENGLISH_LINE_SIZE);
        EXPECT_GT(length, 0) << cp932_to_utf8(shown);
        EXPECT_EQ(length, int32_t(std::strlen(english)));
    }
    struct Case {
        const char* shown;
        const char* english;  // "": no English line
    };
    const std::string alloc_suffix = TEXT_ALLOC_FAILED + 2;  // after "%d"
    const std::string min = "-2147483648" + alloc_suffix, max = "2147483647" + alloc_suffix;
    const std::string above = "2147483648" + alloc_suffix,
                      long_number = "00000000001" + alloc_suffix;
    const std::string no_number = alloc_suffix, sign_only = "-" + alloc_suffix;
    const std::string cut = std::string(TEXT_VERTEX_POOL_FULL).substr(0, 10);
    const Case cases[] = {
        {TEXT_PACKET_AREA_FULL,
         "Too many triangles: the polygon buffer is full. Try a smaller outline."},
        {TEXT_SCREEN_FAILED, "Could not create the screen buffer."},
        {min.c_str(), "Could not allocate -2147483648 bytes of memory."},
        {max.c_str(), "Could not allocate 2147483647 bytes of memory."},
        {above.c_str(), ""},
        {long_number.c_str(), ""},
        {no_number.c_str(), ""},
        {sign_only.c_str(), ""},
        {cut.c_str(), ""},
        {"no object to export", ""},
        {"", ""},
        {nullptr, ""},
    };
    for (const Case& c : cases) {
        std::memset(english, 'x', sizeof english);
        EXPECT_EQ(english_line(c.shown, english, ENGLISH_LINE_SIZE),
                  int32_t(std::strlen(c.english)));
        EXPECT_STREQ(english, c.english) << (c.shown != nullptr ? cp932_to_utf8(c.shown) : "null");
    }
    // Cut to the room given, always terminated.
    EXPECT_EQ(english_line(TEXT_SCREEN_FAILED, english, 6), 5);
    EXPECT_STREQ(english, "Could");
    EXPECT_EQ(english_line(TEXT_SCREEN_FAILED, english, 0), 0);
}
