// The sine and cosine tables, filled once at start-up, and their lookups.
#include "geometry/fixed_math.h"

#include <cmath>

#include "base/memory.h"

namespace {

inline constexpr int32_t TABLE_BYTES = ANGLE_STEPS * int32_t(sizeof(int32_t));

struct TrigTables {
    int32_t* sine;    // 1024 entries, 9 fraction bits
    int32_t* cosine;  // 1024 entries, 9 fraction bits
};
TrigTables trig;

}  // namespace

int init_sine_cosine_tables() {
    free_sine_cosine_tables();  // a second start-up must not leak the first one's tables
    trig.sine = static_cast<int32_t*>(alloc_zeroed(TABLE_BYTES));
    trig.cosine = static_cast<int32_t*>(alloc_zeroed(TABLE_BYTES));
    if (trig.sine == nullptr || trig.cosine == nullptr) {
        free_sine_cosine_tables();
        return -1;
    }
    for (int32_t i = 0; i < ANGLE_STEPS; ++i) {
        double radians = double(i) * ANGLE_STEP_RADIANS;
        // Scaled before the conversion, which truncates toward zero: the tiny
        // negative cosine at three quarter turns becomes 0, not -1.
        trig.sine[i] = int32_t(std::sin(radians) * double(FIXED_ONE));
        trig.cosine[i] = int32_t(std::cos(radians) * double(FIXED_ONE));
    }
    return 0;
}

void free_sine_cosine_tables() {
    free_block(trig.sine);
    trig.sine = nullptr;
    free_block(trig.cosine);
    trig.cosine = nullptr;
}

int32_t fixed_sin(int32_t angle) {
    return trig.sine != nullptr ? trig.sine[angle & ANGLE_MASK] : 0;
}

int32_t fixed_cos(int32_t angle) {
    return trig.cosine != nullptr ? trig.cosine[angle & ANGLE_MASK] : 0;
}

const int32_t* sine_table() {
    return trig.sine;
}
const int32_t* cosine_table() {
    return trig.cosine;
}
