#include "run/TimeAveraging.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <vector>

#include "platform/Errors.h"

namespace zortan {
namespace {

EventRecord eventWith(std::initializer_list<int16_t> leading, int16_t rest = 0) {
    EventRecord e;
    e.components.fill(rest);
    size_t i = 0;
    for (int16_t v : leading) e.components[i++] = v;
    for (size_t k = 0; k < e.components.size(); ++k) e.reals[k] = e.components[k];
    return e;
}

TEST(TimeAveraging, HalvesAndComponentLimits) {
    // Halves go to the even neighbour: with N = 2 the first event x becomes x/4.
    const int16_t halves[][2] = {{2, 0}, {6, 2}, {-2, 0}, {-6, -2}, {3, 1}, {10, 2}};
    for (const auto& [x, expected] : halves) {
        AveragingState state;
        EventRecord e = eventWith({x});
        AveragingTransform(e, state, 2, 1, 0, false);
        EXPECT_EQ(e.components[0], expected) << x;
    }
    // The considered count is limited to the 129 components; a window of one
    // frame removes everything.
    for (int32_t K : {-5, 0, 129, 1000}) {
        AveragingState state;
        EventRecord e = eventWith({32767}, 100);
        AveragingTransform(e, state, 1, K, 0, false);
        EXPECT_EQ(e.components[0], K > 0 ? 0 : 32767) << K;
        EXPECT_EQ(e.components[128], K > 0 ? 0 : 100) << K;
    }
}

// Steps alternate between the two series; a pair shares the row of step
// div 2. (A later run going on with the state: see the coding driver's tests.)
TEST(TimeAveraging, CompareModeRows) {
    const int N = 3;
    AveragingState series[2];
    for (int64_t step = 0; step < 10; ++step) {
        EventRecord e = eventWith({static_cast<int16_t>(30 * (step + 1))});
        AveragingTransform(e, series[step % 2], N, 1, step, true);
        const size_t row = static_cast<size_t>((step / 2) % N);
        EXPECT_DOUBLE_EQ(series[step % 2].averagingRing[row][0], 10.0 * (step + 1)) << step;
    }
    // Series 0 saw 30, 90, 150, 210, 270 in rows 0, 1, 2, 0, 1.
    EXPECT_DOUBLE_EQ(series[0].timeAverage[0], (210 + 270 + 150) / 3.0);
}

TEST(TimeAveraging, MatchesTheMeanOfTheLastFrames) {
    const int N = 7, K = 20;
    AveragingState state;
    std::deque<std::vector<int>> last;
    uint32_t seed = 12345;
    for (int64_t step = 0; step < 60; ++step) {
        EventRecord e = eventWith({}, 77);
        std::vector<int> x(K);
        for (int i = 0; i < K; ++i) {
            seed = seed * 1664525u + 1013904223u;
            x[i] = static_cast<int>(seed >> 16) % 20001 - 10000;
            e.components[i] = static_cast<int16_t>(x[i]);
        }
        last.push_back(x);
        if (last.size() > static_cast<size_t>(N)) last.pop_front();
        AveragingTransform(e, state, N, K, step, false);
        EXPECT_EQ(e.components[K], 77);  // from K on untouched
        EXPECT_EQ(e.reals[0], 77);       // the real copy stays as read
        for (int i = 0; i < K; ++i) {
            double sum = 0;
            for (const auto& v : last) sum += v[i];
            const double mean = sum / N;  // fewer than N frames: still divided by N
            EXPECT_NEAR(state.timeAverage[i], mean, 1e-7) << step << " " << i;
            const double expected = std::nearbyint((x[i] - mean) / 2.0);
            EXPECT_NEAR(e.components[i], expected, 1.0) << step << " " << i;
            // Exactly at a half the two sums may round to different sides.
            if (std::fabs((x[i] - mean) / 2.0 - expected) < 0.49) {
                EXPECT_EQ(e.components[i], expected) << step << " " << i;
            }
        }
    }
}

TEST(TimeAveraging, RefusedWindowsAndRangeErrors) {
    for (int32_t N : {0, -1, 402, 100000}) {
        AveragingState state;
        EventRecord e = eventWith({400});
        EXPECT_THROW(AveragingTransform(e, state, N, 1, 0, false), RangeError) << N;
        EXPECT_TRUE(e.components[0] == 400 && state.timeAverage[0] == 0.0) << N;
    }
    AveragingState longest;  // the longest window uses the ring's last row
    EventRecord e = eventWith({401});
    AveragingTransform(e, longest, 401, 1, 400, false);
    EXPECT_DOUBLE_EQ(longest.averagingRing[400][0], 1.0);
    // A step counter beyond 32 bits; in compare mode its half is the row's.
    AveragingState steps[2];
    EXPECT_THROW(AveragingTransform(e, steps[0], 10, 1, int64_t{1} << 31, false), RangeError);
    EXPECT_NO_THROW(AveragingTransform(e, steps[1], 10, 1, int64_t{1} << 31, true));
    // An average left by a window of other length can push a result out of range.
    AveragingState left;
    left.timeAverage[0] = -40000.0;
    e = eventWith({32767});
    EXPECT_THROW(AveragingTransform(e, left, 10, 1, 0, false), RangeError);
}

}  // namespace
}  // namespace zortan
