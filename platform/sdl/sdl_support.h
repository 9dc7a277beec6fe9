// The parts of the SDL backend that need no SDL: the Windows-style key latch behind the
// asynchronous key query, and the placement of the picture in a window of any size with the
// way back from window positions to picture pixels. (Message texts are converted by
// platform/common/text_encoding.h.)
#pragma once

#include <cstdint>

// Virtual key codes 0..255, each with the "pressed since the last query" bit that the
// Windows key query keeps. One record for the whole keyboard, owned by the backend.
inline constexpr int VIRTUAL_KEY_COUNT = 256;

struct KeyLatches {
    bool pressed_since_query[VIRTUAL_KEY_COUNT];
};

// Called for every key-down event (not for auto-repeats). Keys outside 0..255 are ignored.
void latch_key_press(KeyLatches* latches, int virtual_key);

// The key query: bit 15 set when `down_now`, bit 0 set when the key was pressed since the
// previous query of that key, which clears the latch. Keys outside 0..255 read as 0.
uint16_t query_key_latch(KeyLatches* latches, int virtual_key, bool down_now);

// Where the picture lies in the window's output (its pixels, which a high-density display has
// more of than window units): scaled by a whole factor, centred between bars of equal size
// (the odd pixel goes to the right or bottom bar).
struct PictureView {
    int32_t factor;  // output pixels per picture pixel, at least 1
    int32_t left;    // output pixel of the picture's top-left corner; negative when the output
    int32_t top;     // is smaller than the picture, which then shows its middle
};

// The largest whole factor at which a picture_width x picture_height picture fits an output
// of output_width x output_height pixels, at least 1.
PictureView fit_picture(int32_t output_width, int32_t output_height, int32_t picture_width,
                        int32_t picture_height);

// The factor a window starts at: the largest at which the picture's width and height stay
// within half the usable desktop's, at least 1.
int32_t starting_scale(int32_t usable_width, int32_t usable_height, int32_t picture_width,
                       int32_t picture_height);

// The largest factor at which the picture's width and height fit within the usable
// desktop, at least 1: the most a requested starting factor is allowed.
int32_t fitting_scale(int32_t usable_width, int32_t usable_height, int32_t picture_width,
                      int32_t picture_height);

// One coordinate of a window position (window units, `window_size` of them showing
// `output_size` output pixels) as a picture pixel. Inside the window it is the picture pixel
// under it, clamped to the picture's edge over a bar. Beyond the window (the mouse is captured)
// it goes on from the edge at the picture's scale, so at factor 1 without bars the position is
// used as it is.
int32_t window_to_picture(int32_t position, int32_t window_size, int32_t output_size,
                          const PictureView& view, bool vertical, int32_t picture_size);
