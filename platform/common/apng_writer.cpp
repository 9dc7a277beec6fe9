// Animated PNG encoding of 5:5:5 frames: the chunks are written here (PNG's IHDR, IDAT and IEND,
// APNG's acTL, fcTL and fdAT), the filtered rows compressed by stb_image_write's zlib.
#include "platform/common/apng_writer.h"

#include <array>
#include <cstdlib>

#include "platform/common/page_drawing.h"

// Defined by stb_image_write's implementation (platform/common/png_writer.cpp), whose header
// declares it only inside that implementation. The block it returns is released with free().
extern "C" unsigned char* stbi_zlib_compress(unsigned char* data, int data_len, int* out_len,
                                             int quality);

namespace {

// Chunk lengths and stb's data length are 31-bit.
constexpr int64_t MAX_IMAGE_BYTES = INT32_MAX;
constexpr int COMPRESSION_QUALITY = 8;  // what stb_image_write uses for its PNGs
constexpr int32_t MAX_DELAY_PART = 65535;

// PNG's CRC-32 (the reflected polynomial 0xEDB88320), a byte at a time from a table.
const std::array<uint32_t, 256>& crc_table() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> entries{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
        return entries;
    }();
    return table;
}

uint32_t chunk_crc(const std::string& bytes) {
    uint32_t c = 0xFFFFFFFFu;
    for (char byte : bytes)
        c = crc_table()[(c ^ uint8_t(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// PNG's numbers are big-endian.
void put_u32(std::string* out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        *out += char((value >> shift) & 0xFF);
}
void put_u16(std::string* out, uint32_t value) {
    *out += char((value >> 8) & 0xFF);
    *out += char(value & 0xFF);
}

// A chunk: the length of its data, its type, the data and the CRC of type and data.
void append_chunk(std::string* out, const char* type, const std::string& data) {
    put_u32(out, uint32_t(data.size()));
    const std::string body = std::string(type, 4) + data;
    *out += body;
    put_u32(out, chunk_crc(body));
}

struct Rect {
    int32_t x, y, width, height;
};

// The smallest rectangle holding every pixel in which `frame` differs from `previous`; the
// top left pixel alone where none does (a frame has an area).
Rect changed_rect(const uint16_t* previous, const uint16_t* frame, int32_t width, int32_t height) {
    int32_t left = width, right = -1, top = height, bottom = -1;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const size_t at = size_t(y) * size_t(width) + size_t(x);
            if (previous[at] == frame[at]) continue;
            left = x < left ? x : left;
            right = x > right ? x : right;
            top = y < top ? y : top;
            bottom = y > bottom ? y : bottom;
        }
    }
    if (right < 0) return Rect{0, 0, 1, 1};
    return Rect{left, top, right - left + 1, bottom - top + 1};
}

// The rectangle's rows as PNG scanlines of RGB bytes, each behind the filter byte of the one
// of None (0), Sub (1) and Up (2) whose output has the smallest sum of magnitudes as signed
// bytes (the heuristic PNG's authors suggest), compressed into a zlib stream; empty when the
// compressor fails.
std::string compressed_rect(const uint16_t* frame, int32_t width, const Rect& r) {
    const size_t row_bytes = size_t(r.width) * 3;
    std::vector<uint8_t> rgba(size_t(r.width) * 4);
    std::vector<uint8_t> previous(row_bytes, 0), row(row_bytes);
    std::vector<uint8_t> filtered[3] = {std::vector<uint8_t>(row_bytes),
                                        std::vector<uint8_t>(row_bytes),
                                        std::vector<uint8_t>(row_bytes)};
    std::vector<uint8_t> lines;
    lines.reserve((row_bytes + 1) * size_t(r.height));
    for (int32_t y = r.y; y < r.y + r.height; ++y) {
        page_to_rgba(frame + size_t(y) * size_t(width) + size_t(r.x), r.width, rgba.data());
        for (size_t x = 0; x < size_t(r.width); ++x)
            for (size_t c = 0; c < 3; ++c)
                row[3 * x + c] = rgba[4 * x + c];
        int64_t best_cost = INT64_MAX;
        size_t best = 0;
        for (size_t filter = 0; filter < 3; ++filter) {
            int64_t cost = 0;
            for (size_t i = 0; i < row_bytes; ++i) {
                const uint8_t left = i >= 3 ? row[i - 3] : 0;
                const uint8_t before = filter == 0 ? 0 : filter == 1 ? left : previous[i];
                const uint8_t value = uint8_t(row[i] - before);  // modulo 256, as PNG defines
                filtered[filter][i] = value;
                cost += value < 128 ? value : 256 - value;
            }
            if (cost < best_cost) {
                best_cost = cost;
                best = filter;
            }
        }
        lines.push_back(uint8_t(best));
        lines.insert(lines.end(), filtered[best].begin(), filtered[best].end());
        previous.swap(row);
    }
    int size = 0;
    unsigned char* stream =
        stbi_zlib_compress(lines.data(), int(lines.size()), &size, COMPRESSION_QUALITY);
    if (stream == nullptr) return std::string();
    std::string compressed(reinterpret_cast<const char*>(stream), size_t(size));
    std::free(stream);
    return compressed;
}

}  // namespace

bool apng_encoder_available() {
    return true;
}

bool encode_apng_555(const std::vector<const uint16_t*>& frames, int32_t width, int32_t height,
                     int32_t delay_numerator, int32_t delay_denominator, std::string* out) {
    out->clear();
    if (frames.empty() || width <= 0 || height <= 0 || delay_numerator < 1 ||
        delay_numerator > MAX_DELAY_PART || delay_denominator < 1 ||
        delay_denominator > MAX_DELAY_PART)
        return false;
    // Two sequence numbers a frame, each below 2^31.
    if ((int64_t(width) * 3 + 1) * height > MAX_IMAGE_BYTES ||
        int64_t(frames.size()) > MAX_IMAGE_BYTES / 2)
        return false;
    for (const uint16_t* frame : frames)
        if (frame == nullptr) return false;

    std::string image = "\x89PNG\r\n\x1a\n";
    std::string header;
    put_u32(&header, uint32_t(width));
    put_u32(&header, uint32_t(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, filtered, plain
    append_chunk(&image, "IHDR", header);
    std::string animation;
    put_u32(&animation, uint32_t(frames.size()));
    put_u32(&animation, 0);  // played forever
    append_chunk(&image, "acTL", animation);

    uint32_t sequence = 0;  // one count over the fcTL and fdAT chunks
    for (size_t i = 0; i < frames.size(); ++i) {
        const Rect r = i == 0 ? Rect{0, 0, width, height}
                              : changed_rect(frames[i - 1], frames[i], width, height);
        const std::string data = compressed_rect(frames[i], width, r);
        if (data.empty() || int64_t(image.size() + data.size()) + 64 > MAX_IMAGE_BYTES) {
            out->clear();
            return false;
        }
        std::string control;
        put_u32(&control, sequence++);
        put_u32(&control, uint32_t(r.width));
        put_u32(&control, uint32_t(r.height));
        put_u32(&control, uint32_t(r.x));
        put_u32(&control, uint32_t(r.y));
        put_u16(&control, uint32_t(delay_numerator));
        put_u16(&control, uint32_t(delay_denominator));
        // Nothing cleared after the frame, which replaces the pixels of its rectangle: the next
        // frame's rectangle is drawn over this one.
        control += std::string("\x00\x00", 2);
        append_chunk(&image, "fcTL", control);
        if (i == 0) {
            append_chunk(&image, "IDAT", data);  // the default image is the first frame
        } else {
            std::string frame_data;
            put_u32(&frame_data, sequence++);
            append_chunk(&image, "fdAT", frame_data + data);
        }
    }
    append_chunk(&image, "IEND", std::string());
    *out = std::move(image);
    return true;
}
