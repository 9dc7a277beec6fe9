// The two ways the polygon pipeline and its spans can do their work:
// PlainArithmetic, the reference, divides with the `/` operator, clips every
// polygon and writes pixels in the plainest loops; FastArithmetic, which the
// fills draw with, gives the same results faster: it divides by multiplying
// with a reciprocal, takes polygons that lie wholly inside the raster past the
// clip passes and runs tighter span loops (FAST_PATHS). Tests draw with both
// and compare the pixels.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

// n / d, truncated toward zero as the `/` operator does, for every int32 n
// and 1 <= d <= 2^31, as ((n * multiplier) >> shift) + (1 when n < 0), with
// l = ceil(log2 d), shift = 31 + l and multiplier = floor(2^shift / d) + 1;
// the product is 64-bit and the shift arithmetic (a floor).
//
// Why it is exact: multiplier * d = 2^shift + e with e = d - (2^shift mod d),
// so 1 <= e <= d <= 2^l, and n * multiplier / 2^shift = n / d + n * e /
// (d * 2^shift). Write |n| = q * d + r with 0 <= r < d, and t = |n| * e /
// 2^shift, which is at most 2^31 * 2^l / 2^(31 + l) = 1.
// - n >= 0: n <= 2^31 - 1 makes t < 1, so the excess t / d stays below
//   (d - r) / d and the floor is q, the quotient.
// - n < 0: n * multiplier / 2^shift = -q - (r + t) / d with 0 < t <= 1, so
//   0 < (r + t) / d <= 1 and the floor is -q - 1; adding 1 gives -q, the
//   truncated quotient.
// The multiplier is below 2^32 (2^shift / d < 2^32 because d > 2^(l - 1)),
// so |n * multiplier| < 2^63 and the product fits.
struct Reciprocal {
    uint32_t multiplier;
    uint32_t shift;
};

constexpr Reciprocal reciprocal_of(uint32_t d) {
    const uint32_t l = uint32_t(std::bit_width(d - 1));  // ceil(log2 d); 0 for d = 1
    const uint32_t shift = 31 + l;
    return Reciprocal{uint32_t(((uint64_t(1) << shift) / d) + 1), shift};
}

// Divisors up to this come from a table; larger ones are computed per use.
// Span counts and edge heights are at most the raster's width or height, so
// the table covers every divisor of a raster up to 1024 pixels a side.
inline constexpr int32_t RECIPROCAL_TABLE_LIMIT = 1024;

inline constexpr auto RECIPROCAL_TABLE = [] {
    std::array<Reciprocal, RECIPROCAL_TABLE_LIMIT + 1> table{};
    for (uint32_t d = 1; d <= uint32_t(RECIPROCAL_TABLE_LIMIT); ++d)
        table[d] = reciprocal_of(d);
    return table;
}();

// Divides by one d any number of numerators, exactly as the `/` operator
// does (truncating toward zero), for every int32 n and every d other than 0
// and -1 (-1 can overflow `/` too). A negative d divides by |d| and negates
// the quotient, which then has a magnitude of at most 2^30.
struct ExactDivisor {
    Reciprocal reciprocal;
    uint32_t negative;  // all ones when d < 0, else 0

    explicit ExactDivisor(int32_t d) {
        // The magnitude of every int32, INT32_MIN included, is at most 2^31.
        const uint32_t magnitude = d < 0 ? 0u - uint32_t(d) : uint32_t(d);
        reciprocal = magnitude <= uint32_t(RECIPROCAL_TABLE_LIMIT) ? RECIPROCAL_TABLE[magnitude]
                                                                   : reciprocal_of(magnitude);
        negative = d < 0 ? ~0u : 0u;
    }
    int32_t operator()(int32_t n) const {
        const int32_t quotient =
            int32_t((int64_t(n) * int64_t(reciprocal.multiplier)) >> reciprocal.shift) +
            int32_t(uint32_t(n) >> 31);
        // Negated without a branch when d < 0.
        return int32_t((uint32_t(quotient) ^ negative) - negative);
    }
};

// ExactDivisor for a divisor known to be at least 1, such as a span's pixel
// count: the quotient keeps its sign and needs no restoring.
struct ExactCountDivisor {
    Reciprocal reciprocal;

    explicit ExactCountDivisor(int32_t d)
        : reciprocal(uint32_t(d) <= uint32_t(RECIPROCAL_TABLE_LIMIT) ? RECIPROCAL_TABLE[d]
                                                                     : reciprocal_of(uint32_t(d))) {
    }
    int32_t operator()(int32_t n) const {
        return int32_t((int64_t(n) * int64_t(reciprocal.multiplier)) >> reciprocal.shift) +
               int32_t(uint32_t(n) >> 31);
    }
};

inline int32_t exact_divide(int32_t n, int32_t d) {
    return ExactDivisor(d)(n);
}

// Divisor(d)(n) is n / d; a divisor made once serves every value divided by
// the same span count or edge height. CountDivisor is the same for a d of at
// least 1.
struct PlainArithmetic {
    static constexpr bool FAST_PATHS = false;
    struct Divisor {
        int32_t d;
        explicit Divisor(int32_t divisor) : d(divisor) {}
        int32_t operator()(int32_t n) const { return n / d; }
    };
    using CountDivisor = Divisor;
};

struct FastArithmetic {
    static constexpr bool FAST_PATHS = true;
    using Divisor = ExactDivisor;
    using CountDivisor = ExactCountDivisor;
};

// Eight pixels or eight 16-bit running values in one vector: GCC and Clang
// give it SSE2 natively and 128-bit SIMD in the browser.
using EightLanes = uint16_t __attribute__((vector_size(16)));

// The low 16 bits of a value that starts at `value` and moves by `step` a
// pixel, at eight pixels in a row (wrapping as the int32 value does), and of
// its move over eight pixels.
inline EightLanes eight_values(int32_t value, int32_t step) {
    const EightLanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
    return uint16_t(value) + lane * uint16_t(step);
}
inline EightLanes eight_steps(int32_t step) {
    return EightLanes{} + uint16_t(uint32_t(step) * 8);
}

// Where a value that starts at `value` and moves by `step` a pixel stands
// `pixels` pixels on, wrapping as the int32 value does: the point a pixel
// loop takes over from the lanes.
inline int32_t value_after(int32_t value, int32_t step, int32_t pixels) {
    return int32_t(uint32_t(value) + uint32_t(step) * uint32_t(pixels));
}
