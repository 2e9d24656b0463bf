// The bit-pattern comparison the caches key on: equal values are not always the same bits, and the same bits are not
// always equal values.
#include "processor/BitPatterns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

using bit_patterns::sameBits;

namespace
{
float floatOfBits (std::uint32_t bits)
{
    float value;
    std::memcpy (&value, &bits, sizeof (value));
    return value;
}

const float quietNaN = std::numeric_limits<float>::quiet_NaN();
const float otherNaN = floatOfBits (0x7fc00001u);
} // namespace

TEST (BitPatterns, TellFloatsApartByTheirBits)
{
    struct Case
    {
        const char* name;
        float a, b;
        bool same;
    };

    const Case cases[] = {
        { "equal values", 0.25f, 0.25f, true },
        { "neighbouring values", 1.0f, std::nextafter (1.0f, 2.0f), false },
        { "0.0 and -0.0", 0.0f, -0.0f, false },
        { "the same NaN", quietNaN, quietNaN, true },
        { "NaNs of two payloads", quietNaN, otherNaN, false },
        { "a NaN and a number", quietNaN, 0.0f, false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (sameBits (c.a, c.b), c.same) << c.name;

    EXPECT_FALSE (sameBits (0.0, -0.0));
    EXPECT_TRUE (sameBits (std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()));
}

TEST (BitPatterns, CompareTheFirstCountFloatsOfTwoArrays)
{
    const float a[] = { 1.0f, 0.0f, quietNaN, 4.0f };
    const float b[] = { 1.0f, 0.0f, quietNaN, 5.0f };
    const float c[] = { 1.0f, -0.0f, quietNaN, 4.0f };

    EXPECT_TRUE (sameBits (a, b, 3));
    EXPECT_FALSE (sameBits (a, b, 4));
    EXPECT_FALSE (sameBits (a, c, 2));
    EXPECT_TRUE (sameBits (a, c, 1));
    EXPECT_TRUE (sameBits (a, c, 0));
    EXPECT_TRUE (sameBits (a, c, -1));
}
