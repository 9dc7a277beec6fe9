// Helpers shared by the unit tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Captures every message shown through show_error while alive, and restores
// the previous sink afterwards. Texts are kept as shown (code page 932).
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    const std::vector<std::string>& texts() const;
    const std::vector<std::string>& captions() const;
    void clear();
};

// Converts code page 932 bytes to UTF-8, for comparing with readable literals.
std::string cp932_to_utf8(const std::string& text);

// A zero-filled page of 16-bit pixels bound as the raster target.
struct ScratchRaster {
    ScratchRaster(int32_t width, int32_t height, uint16_t fill = 0);
    ~ScratchRaster();
    uint16_t at(int32_t x, int32_t y) const {
        return pixels[size_t(y) * size_t(width) + size_t(x)];
    }
    int32_t width, height;
    std::vector<uint16_t> pixels;
};
