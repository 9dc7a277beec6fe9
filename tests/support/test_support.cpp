// Helpers shared by the unit tests.
#include "support/test_support.h"

#include <algorithm>

#include "base/memory.h"
#include "raster/raster_target.h"

namespace {

std::vector<std::string> captured_texts;
std::vector<std::string> captured_captions;
MessageSink previous_sink = nullptr;

void capture(const char* text, const char* caption) {
    captured_texts.emplace_back(text);
    captured_captions.emplace_back(caption);
}

}  // namespace

MessageCapture::MessageCapture() {
    clear();
    previous_sink = set_message_sink(capture);
}

MessageCapture::~MessageCapture() {
    set_message_sink(previous_sink);
}

const std::vector<std::string>& MessageCapture::texts() const {
    return captured_texts;
}
const std::vector<std::string>& MessageCapture::captions() const {
    return captured_captions;
}

void MessageCapture::clear() {
    captured_texts.clear();
    captured_captions.clear();
    reset_error_log();
}

ScratchRaster::ScratchRaster(int32_t w, int32_t h, uint16_t fill)
    : width(w), height(h), pixels(size_t(w) * size_t(h), fill) {
    set_screen_geometry(width, height, pixels.data());
    bind_raster_target();
}

ScratchRaster::~ScratchRaster() {
    set_screen_geometry(0, 0, nullptr);
    bind_raster_target();
}

GuardedRaster::GuardedRaster(int32_t width, int32_t height, uint16_t fill)
    : size(size_t(width) * size_t(height)), memory(size * 9, GUARD) {
    std::fill(pixels(), pixels() + size, fill);
    set_screen_geometry(width, height, pixels());
    bind_raster_target();
}

GuardedRaster::~GuardedRaster() {
    set_screen_geometry(0, 0, nullptr);
    bind_raster_target();
}

bool GuardedRaster::guards_intact() const {
    for (size_t i = 0; i < size * 4; ++i) {
        if (memory[i] != GUARD || memory[memory.size() - 1 - i] != GUARD) return false;
    }
    return true;
}
