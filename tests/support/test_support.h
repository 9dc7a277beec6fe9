// Helpers shared by the unit tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/common/text_encoding.h"  // cp932_to_utf8, to compare with readable literals

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

// A page with guard zones of four pages on each side, bound as the raster
// target, so that a stray write shows as a changed guard value (bit 15 set:
// no fill writes it). The page starts filled with `fill`.
struct GuardedRaster {
    static constexpr uint16_t GUARD = 0xBEEF;
    GuardedRaster(int32_t width, int32_t height, uint16_t fill = 0);
    ~GuardedRaster();
    uint16_t* pixels() { return memory.data() + size * 4; }
    bool guards_intact() const;
    size_t size;
    std::vector<uint16_t> memory;  // four pages of guard, the page, four more
};
