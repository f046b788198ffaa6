#include "base/Format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

namespace zortan {
namespace {

// Shortest form, exponent at the extremes; fixed: 18 digits, halves away from 0.
TEST(Format, NotationsAndEditIntegers) {
    using G = std::pair<double, const char*>;
    for (auto [value, text] :
         {G{10.0, "10"}, G{0.1, "0.1"}, G{-2.25, "-2.25"}, G{0.0001, "0.0001"}, G{0.00001, "1E-5"},
          G{1.5e20, "1.5E20"}, G{123456789012345.0, "123456789012345"}, G{1e15, "1E15"},
          G{1.0 / 3.0, "0.333333333333333"}})
        EXPECT_EQ(formatGeneral(value), text) << text;
    struct F {
        long double value;
        int decimals;
        const char* text;
    };
    for (F f : {F{-3.14159, 2, "-3.14"}, F{std::nan(""), 2, "NAN"}, F{INFINITY, 2, "INF"},
                F{12.5, 0, "13"}, F{-2.5, 0, "-3"}, F{0.0625, 3, "0.063"}, F{0.1L * 3, 1, "0.3"},
                F{9.9996, 3, "10.000"}, F{-0.0004, 3, "0.000"}, F{0.0, 2, "0.00"},
                F{100.0L / 3, 3, "33.333"}, F{1e20, 1, "100000000000000000000.0"}})
        EXPECT_EQ(formatFixed(f.value, f.decimals), f.text) << f.text;

    // Integers typed into an edit, decimal or hexadecimal.
    struct C {
        const char* text;
        bool whole;
        int64_t value;
    };
    for (C c : {C{"300", true, 300}, C{"  -5", true, -5}, C{"+7", true, 7}, C{"12a", false, 12},
                C{"abc", false, 0}, C{"$1F", true, 31}, C{"x1f", true, 31}, C{"0x1F", true, 31},
                C{"0", true, 0}, C{"12 ", false, 12}, C{"-", false, 0}, C{"$", false, 0},
                C{"0x", false, 0}, C{"4294967296", false, 4294967296LL}}) {
        ParsedInteger p = parseEditInteger(c.text);
        EXPECT_EQ(p.wholeText, c.whole) << c.text;
        EXPECT_EQ(p.value, c.value) << c.text;
    }
}

}  // namespace
}  // namespace zortan
