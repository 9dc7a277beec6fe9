// Four 32-bit lanes at a time with SSE2, for the per-frame transforms of
// vertex and normal records: where the build has no SSE2 (the browser's
// build) the transforms take their records one by one, with the same
// results.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstdint>

#include "base/fixed_point.h"

// Four lanes times the value that fills every lane of `same`, each product's
// low 32 bits kept, as int32 multiplication wraps: SSE2 multiplies lanes 0
// and 2 into 64-bit products, then lanes 1 and 3 moved down to them. The low
// half of a product is the same signed or unsigned.
inline __m128i lanes_times(__m128i lanes, __m128i same) {
    const __m128i even = _mm_mul_epu32(lanes, same);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(lanes, 32), same);
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// The x, y and z of four consecutive records, a record a lane.
struct FourRecords {
    __m128i x, y, z;
};

inline FourRecords four_records(const Vec4* records) {
    const __m128i* in = reinterpret_cast<const __m128i*>(records);
    const __m128i r0 = _mm_loadu_si128(in), r1 = _mm_loadu_si128(in + 1);
    const __m128i r2 = _mm_loadu_si128(in + 2), r3 = _mm_loadu_si128(in + 3);
    const __m128i xy01 = _mm_unpacklo_epi32(r0, r1), xy23 = _mm_unpacklo_epi32(r2, r3);
    const __m128i zw01 = _mm_unpackhi_epi32(r0, r1), zw23 = _mm_unpackhi_epi32(r2, r3);
    return {_mm_unpacklo_epi64(xy01, xy23), _mm_unpackhi_epi64(xy01, xy23),
            _mm_unpacklo_epi64(zw01, zw23)};
}

// A matrix's first three columns, each element filling the four lanes:
// column c's x, y, z and translation factors (elements c, 4 + c, 8 + c and
// 12 + c).
struct LaneMatrix {
    __m128i x[3], y[3], z[3], t[3];
};

inline LaneMatrix lane_matrix(const int32_t* e) {
    LaneMatrix m;
    for (int c = 0; c < 3; ++c) {
        m.x[c] = _mm_set1_epi32(e[c]);
        m.y[c] = _mm_set1_epi32(e[4 + c]);
        m.z[c] = _mm_set1_epi32(e[8 + c]);
        m.t[c] = _mm_set1_epi32(e[12 + c]);
    }
    return m;
}

// Column c of the matrix's product with four records, as the scalar
// transforms sum it: x * ex + y * ey + z * ez + et, wrapping (the sum's
// order does not matter when it wraps).
inline __m128i lanes_column(const FourRecords& r, const LaneMatrix& m, int c) {
    return _mm_add_epi32(_mm_add_epi32(lanes_times(r.x, m.x[c]), lanes_times(r.y, m.y[c])),
                         _mm_add_epi32(lanes_times(r.z, m.z[c]), m.t[c]));
}
#endif
