// The one integer parser of command lines and scripts: the whole text, in range, or nothing.
#include <gtest/gtest.h>

#include "platform/common/integer_text.h"

TEST(IntegerText, OnlyAWholeDecimalIntegerInRangeIsTaken) {
    struct Case {
        const char* text;
        int64_t low, high;
        bool taken;
        int64_t value;
    };
    const Case cases[] = {
        {"1", 1, 8, true, 1},
        {"8", 1, 8, true, 8},
        {"-0", 0, 0, true, 0},
        {"007", 1, 8, true, 7},
        {"-2147483648", INT32_MIN, INT32_MAX, true, INT32_MIN},
        {"9223372036854775807", 0, INT64_MAX, true, INT64_MAX},
        {"0", 1, 8, false, 0},
        {"9", 1, 8, false, 0},
        {"4294967298", 1, 8, false, 0},  // would be 2 if cut to 32 bits
        {"9223372036854775808", 0, INT64_MAX, false, 0},
        {"99999999999999999999999", INT64_MIN, INT64_MAX, false, 0},
        {"2abc", 1, 8, false, 0},
        {"1e1", 0, 100, false, 0},
        {"+1", 1, 8, false, 0},
        {" 1", 1, 8, false, 0},
        {"1 ", 1, 8, false, 0},
        {"0x4", 0, 100, false, 0},
        {"", 0, 0, false, 0},
        {"-", 0, 0, false, 0},
    };
    for (const Case& c : cases) {
        int64_t value = -12345;
        EXPECT_EQ(parse_integer(c.text, c.low, c.high, &value), c.taken) << "'" << c.text << "'";
        EXPECT_EQ(value, c.taken ? c.value : -12345) << "'" << c.text << "'";
    }
    EXPECT_EQ(integer_range(INT32_MIN, INT32_MAX), "-2147483648..2147483647");
}
