// The values shared by the tree and the event files: the feature vector and
// the analysis settings an event file records and a tree was trained with.
#pragma once

#include <array>
#include <cstdint>

namespace zortan {

constexpr int kComponents = 129;  // vector components, indices 0..128
using ComponentVector = std::array<double, kComponents>;

// Value names of the settings (0-based index, -1 for no choice).
inline const std::array<const char*, 5> kFeatureKindNames = {
    "rare power spectr. (ps)", "cepstr.  smooth. ps", "mel smoothed ps", "cepstrum",
    "mel cepstrum"};
inline const std::array<const char*, 5> kFilterNames = {"no", "300", "1000", "4000", "summ"};
inline const std::array<const char*, 2> kScalingConstantsNames = {"like for no filtering",
                                                                  "like for filtered"};
inline const std::array<const char*, 5> kWindowShapeNames = {"Rectangle", "Gauss", "Keiser-Bessel",
                                                             "Blackman-Harris", "FlatTop"};

// How the signal of one data source was analysed.
struct AnalysisSettings {
    int featureKind = -1;
    int filter = -1;
    int scalingConstants = -1;
    int windowShape = -1;
    bool preemphasis = false;
    bool preemphasisIndeterminate = false;  // shown greyed: a text table says nothing of it
    int16_t lifterThreshold = 0;
    double frameStep = 0.0;  // ms
    double rate = 0.0;       // Hz
    int64_t fftWindowWidth = 0;
    bool averaging = false;
    int32_t averagingFrames = 0;
    bool eventsStandardisation = false;
    double scalingFactor = 1.0;
};

}  // namespace zortan
