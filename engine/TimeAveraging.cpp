#include "engine/TimeAveraging.h"

#include <algorithm>
#include <cmath>

#include "platform/Errors.h"

namespace zortan {

void AveragingTransform(EventRecord& event, AveragingState& state, int32_t averagingFrames,
                        int32_t consideredComponentsNb, int64_t stepCounter, bool compareMode) {
    // The ring has kAveragingRows rows; any other window length would index
    // outside it. The driver refuses such a run before its first event.
    const int32_t N = averagingFrames;
    if (N < 1 || N > kAveragingRows) throw RangeError();
    // Made at the first averaged event: most runs never average, and a run
    // without a window is made for every file.
    if (state.averagingRing.empty()) state.averagingRing.resize(kAveragingRows);
    if (state.averagingRing.size() < static_cast<size_t>(N)) throw RangeError();

    // The row index is a 32-bit step count; in compare mode both events of a
    // pair share one row.
    const int32_t n = fitOrRangeError<int32_t>(compareMode ? stepCounter / 2 : stepCounter);
    if (n < 0) throw RangeError();
    const auto r = static_cast<size_t>(n % N);
    const auto K = static_cast<size_t>(std::clamp(consideredComponentsNb, 0, kComponents));

    ComponentVector& row = state.averagingRing[r];
    for (size_t i = 0; i < K; ++i) {
        state.timeAverage[i] -= row[i];
        row[i] = static_cast<double>(event.components[i]) / N;
        state.timeAverage[i] += row[i];
    }
    // Halves go to the even neighbour (the default rounding mode).
    for (size_t i = 0; i < K; ++i)
        event.components[i] = fitOrRangeError<int16_t>(
            std::nearbyint((event.components[i] - state.timeAverage[i]) / 2.0));
}

}  // namespace zortan
