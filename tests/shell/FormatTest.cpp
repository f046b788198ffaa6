#include "shell/Format.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zortan {
namespace {

TEST(Format, GeneralNotationIsShortestWithExponentOnlyAtTheExtremes) {
    EXPECT_EQ(formatGeneral(10.0), "10");
    EXPECT_EQ(formatGeneral(0.5), "0.5");
    EXPECT_EQ(formatGeneral(16000.0), "16000");
    EXPECT_EQ(formatGeneral(0.1), "0.1");
    EXPECT_EQ(formatGeneral(-2.25), "-2.25");
    EXPECT_EQ(formatGeneral(0.0001), "0.0001");
    EXPECT_EQ(formatGeneral(0.00001), "1E-5");
    EXPECT_EQ(formatGeneral(1.5e20), "1.5E20");
    EXPECT_EQ(formatGeneral(123456789012345.0), "123456789012345");
    EXPECT_EQ(formatGeneral(1e15), "1E15");
    EXPECT_EQ(formatGeneral(1.0 / 3.0), "0.333333333333333");
}

TEST(Format, FixedNotation) {
    EXPECT_EQ(formatFixed(1.0, 2), "1.00");
    EXPECT_EQ(formatFixed(-3.14159, 2), "-3.14");
    EXPECT_EQ(formatFixed(std::nan(""), 2), "NAN");
    EXPECT_EQ(formatFixed(INFINITY, 2), "INF");
    // Halves go away from zero, after the value is taken to 18 digits.
    EXPECT_EQ(formatFixed(12.5, 0), "13");
    EXPECT_EQ(formatFixed(-2.5, 0), "-3");
    EXPECT_EQ(formatFixed(0.0625, 3), "0.063");
    EXPECT_EQ(formatFixed(0.1L * 3, 1), "0.3");
    EXPECT_EQ(formatFixed(9.9996, 3), "10.000");
    EXPECT_EQ(formatFixed(-0.0004, 3), "0.000");
    EXPECT_EQ(formatFixed(0.0, 2), "0.00");
    EXPECT_EQ(formatFixed(1234567.0, 0), "1234567");
    EXPECT_EQ(formatFixed(100.0L * 1 / 3, 3), "33.333");
    EXPECT_EQ(formatFixed(1e20, 1), "100000000000000000000.0");
}

TEST(Format, EditIntegersDecimalAndHexadecimal) {
    struct Case {
        const char* text;
        bool whole;
        int64_t value;
    };
    for (Case c :
         {Case{"300", true, 300}, Case{"  -5", true, -5}, Case{"+7", true, 7},
          Case{"12a", false, 12}, Case{"abc", false, 0}, Case{"$1F", true, 31},
          Case{"x1f", true, 31}, Case{"0x1F", true, 31}, Case{"0", true, 0}, Case{"12 ", false, 12},
          Case{"-", false, 0}, Case{"$", false, 0}, Case{"4294967296", false, 4294967296LL}}) {
        ParsedInteger p = parseEditInteger(c.text);
        EXPECT_EQ(p.wholeText, c.whole) << c.text;
        EXPECT_EQ(p.value, c.value) << c.text;
    }
}

}  // namespace
}  // namespace zortan
