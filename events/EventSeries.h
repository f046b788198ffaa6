// One input of a coding run: an event series read from an fvs file or a
// text table, one event per coding step.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "base/TextReader.h"
#include "core/Analysis.h"
#include "events/FvsFile.h"

namespace zortan {

// The running average removed from each event when the tree was trained with
// averaging; one per series, kept for the whole program run. The ring's
// kAveragingRows rows of zeros are made when the first event is averaged.
constexpr int kAveragingRows = 401;
struct AveragingState {
    ComponentVector timeAverage{};
    std::vector<ComponentVector> averagingRing;
};

// The events count before an input's header lowers it: no limit.
constexpr int64_t kLargestEventCount = std::numeric_limits<int64_t>::max();

enum class RowStatus {
    Read,       // an event was read (possibly after a reported error)
    EndOfData,  // the input holds no further event
};

struct EventSeries {
    explicit EventSeries(int seriesNumber) : number(seriesNumber) {}

    int number;  // 1 or 2
    std::optional<TextReader> textFile;
    std::string rowBuffer;  // the table row being read, kept between rows
    FvsFile fvsFile;
    // Declared component count of a text table.
    int32_t nc = std::numeric_limits<int32_t>::max();
    std::array<double, 4> plotParameters{65535.0, 13.0, 64.0, 64.0};
    AnalysisSettings settings;         // fvs kind (lifterThreshold also text kind)
    std::array<uint8_t, 3> cathNbr{};  // category value counts, fvs kind
    AveragingState averaging;

    // Texts of the "Input data description" group.
    std::string eventsCountText = "xxx";
    std::string lifterThresholdText = "xxx";
    std::string featureText = "xxx";
    std::string eventsFileCaption = "xxx";
    std::string waveText = "xxx";
    std::string readCountText = "xxx";
};

}  // namespace zortan
