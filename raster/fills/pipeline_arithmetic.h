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

// floor(n / d) for 0 <= n <= 2^31 and 1 <= d < 2^31 as (n * multiplier) >>
// shift, with l = ceil(log2 d), shift = 31 + l and multiplier =
// ceil(2^shift / d).
//
// Why it is exact: multiplier * d = 2^shift + e with 0 <= e < d <= 2^l, so
// n * multiplier / 2^shift = n / d + n * e / (d * 2^shift). Write n = q * d +
// r with 0 <= r < d; the floor stays q while the excess is below (d - r) / d,
// which is at least 1 / d; and n * e / (d * 2^shift) < n * 2^l / (d * 2^shift)
// = n / (d * 2^31) <= 1 / d for n <= 2^31. The product fits 64 bits: the
// multiplier is below 2^32 (2^shift / d < 2^32 because d > 2^(l - 1), and
// the ceiling cannot reach 2^32 for l <= 31), so n * multiplier < 2^63.
struct Reciprocal {
    uint32_t multiplier;
    uint32_t shift;
};

constexpr Reciprocal reciprocal_of(uint32_t d) {
    const uint32_t l = uint32_t(std::bit_width(d - 1));  // ceil(log2 d); 0 for d = 1
    const uint32_t shift = 31 + l;
    const uint64_t power = uint64_t(1) << shift;
    return Reciprocal{uint32_t((power + d - 1) / d), shift};
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
// and -1 (-1 can overflow `/` too). The magnitude of every int32, INT32_MIN
// included, is at most 2^31.
struct ExactDivisor {
    Reciprocal reciprocal;
    uint32_t negative;  // all ones when d < 0, else 0

    explicit ExactDivisor(int32_t d) {
        const uint32_t magnitude = d < 0 ? 0u - uint32_t(d) : uint32_t(d);
        reciprocal = magnitude <= uint32_t(RECIPROCAL_TABLE_LIMIT) ? RECIPROCAL_TABLE[magnitude]
                                                                   : reciprocal_of(magnitude);
        negative = d < 0 ? ~0u : 0u;
    }
    int32_t operator()(int32_t n) const {
        // Without branches, since signs vary unpredictably: sign is all ones
        // for a negative n, and (n ^ sign) - sign is then -n, computed in
        // unsigned arithmetic so that INT32_MIN gives 2^31.
        const uint32_t sign = uint32_t(n >> 31);  // arithmetic shift
        const uint32_t magnitude = (uint32_t(n) ^ sign) - sign;
        const uint32_t q =
            uint32_t((uint64_t(magnitude) * reciprocal.multiplier) >> reciprocal.shift);
        // Negated the same way when the signs differ; INT32_MIN / 1 comes
        // back as INT32_MIN.
        const uint32_t flip = sign ^ negative;
        return int32_t((q ^ flip) - flip);
    }
};

inline int32_t exact_divide(int32_t n, int32_t d) {
    return ExactDivisor(d)(n);
}

// Divisor(d)(n) is n / d; a divisor made once serves every value divided by
// the same span count or edge height.
struct PlainArithmetic {
    static constexpr bool FAST_PATHS = false;
    struct Divisor {
        int32_t d;
        explicit Divisor(int32_t divisor) : d(divisor) {}
        int32_t operator()(int32_t n) const { return n / d; }
    };
};

struct FastArithmetic {
    static constexpr bool FAST_PATHS = true;
    using Divisor = ExactDivisor;
};
