#include "engine/TimeAveraging.h"

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

// The running mean of the last N frames (fewer at first, still divided by
// N) is taken away from the first K components, and the rest halved.
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
            EXPECT_NEAR(state.timeAverage[i], sum / N, 1e-7) << step << " " << i;
            // Exactly at a half the two sums may round to different sides.
            EXPECT_NEAR(e.components[i], (x[i] - sum / N) / 2.0, 0.5 + 1e-7) << step << " " << i;
        }
    }
    // Halves go to the even neighbour: with N = 2 the first event x becomes x/4.
    for (const auto& [x, expected] : {std::pair{2, 0}, {6, 2}, {-2, 0}, {-6, -2}, {10, 2}}) {
        AveragingState fresh;
        EventRecord e = eventWith({int16_t(x)});
        AveragingTransform(e, fresh, 2, 1, 0, false);
        EXPECT_EQ(e.components[0], expected) << x;
    }
    // The count is limited to 129 components; a one-frame window removes all.
    for (int32_t k : {-5, 1000}) {
        AveragingState fresh;
        EventRecord e = eventWith({32767}, 100);
        AveragingTransform(e, fresh, 1, k, 0, false);
        EXPECT_EQ(e.components[0], k > 0 ? 0 : 32767) << k;
        EXPECT_EQ(e.components[128], k > 0 ? 0 : 100) << k;
    }
}

TEST(TimeAveraging, RefusedWindowsAndRangeErrors) {
    AveragingState longest;  // the longest window uses the ring's last row
    EventRecord e = eventWith({401});
    for (int32_t N : {0, 402})
        EXPECT_THROW(AveragingTransform(e, longest, N, 1, 0, false), RangeError) << N;
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
