// Pages as runs of one pixel value.
#include "app/packed_pixels.h"

#include <cstring>

namespace {

constexpr int64_t MAX_RUN = 0xFFFF;

// Where the run of `value` from `at` ends, at most at `limit`: four pixels a word while they
// all match (a page is mostly long runs of its clear colour), then pixel by pixel.
int64_t run_end(const uint16_t* pixels, int64_t at, int64_t limit, uint16_t value) {
    const uint64_t four = uint64_t(value) * 0x0001000100010001ULL;
    while (at + 4 <= limit) {
        uint64_t word;
        std::memcpy(&word, pixels + at, sizeof word);
        if (word != four) break;
        at += 4;
    }
    while (at < limit && pixels[at] == value)
        ++at;
    return at;
}

uint32_t run_length(uint32_t run) {
    return run >> 16;
}
uint16_t run_pixel(uint32_t run) {
    return uint16_t(run & 0xFFFF);
}

}  // namespace

PackedPixels pack_pixels(const uint16_t* pixels, int64_t count) {
    PackedPixels packed;
    if (pixels == nullptr || count <= 0) return packed;
    packed.pixels = count;
    int64_t at = 0;
    while (at < count) {
        const uint16_t value = pixels[at];
        const int64_t limit = count - at < MAX_RUN ? count : at + MAX_RUN;
        const int64_t end = run_end(pixels, at + 1, limit, value);
        packed.runs.push_back((uint32_t(end - at) << 16) | value);
        at = end;
    }
    return packed;
}

bool unpack_pixels(const PackedPixels& packed, uint16_t* pixels, int64_t count) {
    if (pixels == nullptr || count != packed.pixels) return false;
    int64_t at = 0;
    for (uint32_t run : packed.runs) {
        const int64_t length = run_length(run);
        // Runs are made by pack_pixels and sum to its count; the bound is kept all the same.
        if (length > count - at) return false;
        const uint16_t value = run_pixel(run);
        for (int64_t i = 0; i < length; ++i)
            pixels[at + i] = value;
        at += length;
    }
    return at == count;
}

bool same_pixels(const PackedPixels& packed, const uint16_t* pixels, int64_t count) {
    if (pixels == nullptr || count <= 0) return packed.pixels == 0;
    if (count != packed.pixels) return false;
    int64_t at = 0;
    for (uint32_t run : packed.runs) {
        const int64_t length = run_length(run);
        if (length > count - at) return false;
        if (run_end(pixels, at, at + length, run_pixel(run)) != at + length) return false;
        at += length;
    }
    return at == count;
}

int64_t packed_bytes(const PackedPixels& packed) {
    return int64_t(packed.runs.capacity()) * int64_t(sizeof(uint32_t));
}
