// Reading a fuzzer's input as a stream of little-endian integers: past its end
// every read gives zeros, so any input, even an empty one, is a complete case.
#pragma once

#include <cstddef>
#include <cstdint>

struct FuzzInput {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    uint8_t byte() { return at < size ? data[at++] : 0; }
    uint16_t u16() { return uint16_t(byte() | (byte() << 8)); }
    uint32_t u32() { return uint32_t(u16()) | (uint32_t(u16()) << 16); }
    int32_t i32() { return int32_t(u32()); }
    // What is left of the input.
    const uint8_t* rest() const { return data + (at < size ? at : size); }
    size_t rest_size() const { return at < size ? size - at : 0; }
};
