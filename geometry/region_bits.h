// A region's rows of pixel bytes as rows of bits and back, eight pixels at a
// time, for the stages that work on whole words of pixels.
#pragma once

#include <cstdint>
#include <cstring>

// Bit b of a row of bits is bit b % 64 of word b / 64.

// Bit i of the result is set when byte i of the eight at `bytes` is not 0.
// In each byte, adding 0x7F to its low seven bits sets the high bit unless
// they are all 0, and the byte's own high bit is or-ed in; the multiplication
// then gathers the eight high bits into the top byte (each lands on its own
// bit, so no two products meet and nothing carries). The bytes are read as a
// little-endian word, as every target stores them.
inline uint32_t eight_bytes_to_bits(const uint8_t* bytes) {
    uint64_t v = 0;
    std::memcpy(&v, bytes, 8);
    constexpr uint64_t LOW7 = 0x7F7F7F7F7F7F7F7Full, HIGH = 0x8080808080808080ull;
    uint64_t nonzero = (((v & LOW7) + LOW7) | v) & HIGH;
    return uint32_t((nonzero * 0x0002040810204081ull) >> 56);
}

// Bytes 0 .. 7 of the result are bits 0 .. 7 of `bits`, each 1 or 0: the byte
// copied into every byte keeps bit i in byte i, which adding 0x7F carries
// into the byte's high bit (at most 0x80 + 0x7F, so never into the next
// byte).
inline uint64_t bits_to_eight_bytes(uint32_t bits) {
    uint64_t spread = (uint64_t(bits & 0xFF) * 0x0101010101010101ull) & 0x8040201008040201ull;
    return ((spread + 0x7F7F7F7F7F7F7F7Full) >> 7) & 0x0101010101010101ull;
}

// Sets bit first + i of `row` for each of the `count` bytes that is not 0;
// the other bits stay as they are.
inline void pack_row_bits(const uint8_t* bytes, int32_t count, uint64_t* row, int32_t first) {
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t v = eight_bytes_to_bits(bytes + i);
        int32_t bit = first + i;
        row[bit / 64] |= v << (bit % 64);
        if (bit % 64 > 56) row[bit / 64 + 1] |= v >> (64 - bit % 64);
    }
    for (; i < count; ++i)
        if (bytes[i] != 0) row[(first + i) / 64] |= uint64_t(1) << ((first + i) % 64);
}

// Byte i of the `count` at `bytes` becomes bit i of `row`: 1 or 0.
inline void unpack_row_bits(const uint64_t* row, int32_t count, uint8_t* bytes) {
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t eight = bits_to_eight_bytes(uint32_t(row[i / 64] >> (i % 64)));
        std::memcpy(bytes + i, &eight, 8);
    }
    for (; i < count; ++i)
        bytes[i] = uint8_t((row[i / 64] >> (i % 64)) & 1);
}
