// The error table's percentages in integers against the number format of
// the other outputs: every count of small step counts, and a spread of
// large ones, at the rounding halves and next to them.
#include <gtest/gtest.h>

#include <random>

#include "output/CompareReport.h"

namespace zortan {
namespace {

TEST(ErrorPercent, EqualsTheNumberFormatOfTheOtherOutputs) {
    for (int64_t steps = 1; steps <= 700; ++steps)
        for (uint64_t count = 0; count <= static_cast<uint64_t>(steps); ++count)
            for (bool compare : {false, true})
                ASSERT_EQ(ErrorPercent(count, steps, compare),
                          ErrorPercentByFormat(count, steps, compare))
                    << count << " of " << steps;
    std::mt19937_64 random(2026);
    for (int i = 0; i < 200000; ++i) {
        const int64_t steps = static_cast<int64_t>(random() % 20'000'000'000ull) + 1;
        // Near a half of a thousandth, and anywhere.
        const uint64_t half = static_cast<uint64_t>(steps) / 200'000 * (random() % 200'001);
        const uint64_t count = i % 2 ? half + random() % 3 - 1 : random() % (steps + 1);
        for (bool compare : {false, true})
            ASSERT_EQ(ErrorPercent(count, steps, compare),
                      ErrorPercentByFormat(count, steps, compare))
                << count << " of " << steps;
    }
    EXPECT_EQ(ErrorPercent(0, 0, false), "     n/a");
    EXPECT_EQ(ErrorPercent(1, 8, false), "  12.500");
    EXPECT_EQ(ErrorPercent(1, 8000, false), "   0.013");  // 0.0125: a half, up
}

}  // namespace
}  // namespace zortan
