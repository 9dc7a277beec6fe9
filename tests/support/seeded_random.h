// The seeded generator of the randomised checks (soak, the GDI comparison).
#pragma once

#include <cstdint>

// splitmix64: a small generator whose whole stream follows from the seed, the same with every
// compiler (the standard library's distributions are not).
struct SeededRandom {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int32_t below(int32_t n) { return int32_t(next() % uint64_t(n)); }
    // Any value from low to high, both included; the span may exceed int32.
    int32_t between(int32_t low, int32_t high) {
        return int32_t(low + int64_t(next() % uint64_t(int64_t(high) - low + 1)));
    }
    bool chance(int32_t per_thousand) { return below(1000) < per_thousand; }
};
