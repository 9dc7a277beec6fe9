// Number formats shared by the geometry and the rasterizers.
//
// Angles: 1024 steps per turn. Fractions (trig values, matrix entries, scale
// factors): 9 fraction bits, 512 = 1.0. Unit vectors: length 1024. Positions:
// whole model units. Colour channels: 0..255. Products of two 9-bit fractions
// are shifted right arithmetically (floored); divisions truncate toward zero.
#pragma once

#include <cstdint>

inline constexpr int32_t ANGLE_STEPS = 1024;
inline constexpr int32_t ANGLE_MASK = 0x3FF;
inline constexpr int32_t FIXED_ONE = 512;
inline constexpr int32_t FIXED_SHIFT = 9;
inline constexpr int32_t UNIT_LENGTH = 1024;
// 1024 / (2 * pi): radians to angle steps.
inline constexpr double RADIANS_TO_ANGLE = 162.9746956320235;
// 2 * pi / 1024, with pi taken as 3.1415926535.
inline constexpr double ANGLE_STEP_RADIANS = 0.006135923151367188;

// Four int32: model vertices, normals, angle triples, translations, scales.
struct Vec4 {
    int32_t x, y, z, w;
};
static_assert(sizeof(Vec4) == 16);
