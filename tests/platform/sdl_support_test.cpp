// Key latches, message text conversion and picture scaling of the SDL backend.
#include "platform/sdl/sdl_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "base/messages.h"
#include "platform/common/text_encoding.h"
#include "session/session_fixture.h"

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

TEST(PictureScale, FitsWholeFactorsAndMapsWindowPositionsBackExactly) {
    struct Fit {
        int32_t output_width, output_height;
        PictureView view;
    };
    const Fit fits[] = {
        {514, 483, {1, 0, 0}},      {1028, 966, {2, 0, 0}},  {1100, 966, {2, 36, 0}},
        {1600, 1000, {2, 286, 17}}, {1543, 1450, {3, 0, 0}}, {1541, 1450, {2, 256, 242}},
        {400, 300, {1, -57, -92}},  {0, 0, {1, -257, -242}},
    };
    for (const Fit& f : fits) {
        const PictureView view = fit_picture(f.output_width, f.output_height, 514, 483);
        EXPECT_EQ(view.factor, f.view.factor) << f.output_width << " x " << f.output_height;
        EXPECT_EQ(view.left, f.view.left) << f.output_width << " x " << f.output_height;
        EXPECT_EQ(view.top, f.view.top) << f.output_width << " x " << f.output_height;
    }
    // Half the usable desktop: 1 up to a desktop of 2056 x 1932, 2 on a 4K one.
    EXPECT_EQ(starting_scale(1024, 768, 514, 483), 1);
    EXPECT_EQ(starting_scale(2560, 1440, 514, 483), 1);
    EXPECT_EQ(starting_scale(3840, 2160, 514, 483), 2);
    EXPECT_EQ(starting_scale(7680, 4320, 514, 483), 4);
    EXPECT_EQ(starting_scale(0, 0, 514, 483), 1);
    // A requested factor is held to the whole usable desktop: 1 on a 640 x 480 screen.
    EXPECT_EQ(fitting_scale(640, 480, 514, 483), 1);
    EXPECT_EQ(fitting_scale(1100, 1000, 514, 483), 2);
    EXPECT_EQ(fitting_scale(8224, 7728, 514, 483), 16);

    // Window units as output pixels, factors 1 to 3 with and without bars: every output pixel
    // of a picture pixel maps to it, a bar to the edge, and beyond the window the mapping goes
    // on from the edge.
    for (int32_t window : {514, 515, 1028, 1100, 1600}) {
        const PictureView view = fit_picture(window, window, 514, 514);
        const int32_t f = view.factor;
        for (int32_t p = 0; p < 514; ++p)
            for (int32_t r = 0; r < f; ++r)
                ASSERT_EQ(
                    window_to_picture(view.left + p * f + r, window, window, view, false, 514), p)
                    << window << " " << p << " " << r;
        for (int32_t x = 0; x < view.left; ++x)
            EXPECT_EQ(window_to_picture(x, window, window, view, false, 514), 0);
        for (int32_t x = view.left + 514 * f; x < window; ++x)
            EXPECT_EQ(window_to_picture(x, window, window, view, false, 514), 513);
        EXPECT_EQ(window_to_picture(-1, window, window, view, false, 514), -1);
        EXPECT_EQ(window_to_picture(-3 * f, window, window, view, false, 514), -3);
        EXPECT_EQ(window_to_picture(window + 3 * f - 1, window, window, view, false, 514), 516);
    }
    // A high-density display: 771 x 725 window units shown with twice the pixels take factor
    // 3 with the bottom bar's odd pixel; a unit covers two output pixels.
    const PictureView dense = fit_picture(1542, 1450, 514, 483);
    EXPECT_EQ(dense.factor, 3);
    EXPECT_EQ(window_to_picture(100, 771, 1542, dense, false, 514), 66);  // output 200
    EXPECT_EQ(window_to_picture(724, 725, 1450, dense, true, 483), 482);  // output 1448
    EXPECT_EQ(window_to_picture(-2, 771, 1542, dense, false, 514), -2);   // 4 pixels beyond
    // A minimised window has no size: positions pass as they are.
    EXPECT_EQ(window_to_picture(5, 0, 0, PictureView{1, 0, 0}, false, 514), 5);
}

// The recorder gets picture pixels, so a session recorded at scale 2, its strokes crossing a
// bar and leaving the window, is the same script as at scale 1.
TEST(PictureScale, ARecordingAtScaleTwoIsTheRecordingAtScaleOne) {
    auto record = [](int32_t window_width, int32_t window_height) {
        const PictureView view = fit_picture(window_width, window_height, 514, 483);
        // Picture pixels of the path; at scale 1 a bar is the window's edge.
        const std::pair<int32_t, int32_t> path[] = {{100, 100}, {300, 120}, {513, 200}, {600, 250},
                                                    {0, 482},   {-40, 300}, {100, 100}};
        Session session;
        bool down = false;
        for (auto [px, py] : path) {
            // The last output pixel of the picture pixel; beyond the picture on the right, the
            // bar and then the window beyond it; on the left, the window beyond its edge.
            int32_t wx = view.left + px * view.factor + view.factor - 1;
            if (px >= 514) wx = window_width + (px - 514) * view.factor;
            if (px < 0) wx = px * view.factor;
            if (px == 0 && view.left > 0) wx = view.left / 2;  // over the bar
            const int32_t wy = view.top + py * view.factor + view.factor - 1;
            headless_queue_move(
                window_to_picture(wx, window_width, window_width, view, false, 514),
                window_to_picture(wy, window_height, window_height, view, true, 483));
            session.frames(1);
            if (!down) headless_queue_button_down(BUTTON_LEFT);
            down = true;
        }
        headless_queue_button_up(BUTTON_LEFT);
        session.frames(1);
        return headless_recorded_script();
    };
    const std::string at_one = record(514, 483);
    EXPECT_NE(at_one.find("move 513 200\nframes 1\nmove 600 250\n"), std::string::npos) << at_one;
    EXPECT_EQ(record(1100, 1000), at_one);
}
