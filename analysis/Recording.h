// A recording analysed into the records of an fvs file: a frame of 256
// samples every `stepMs`, each with its five feature vectors
// (analysis/FrameAnalysis.h), its samples and the qualifiers of its centre,
// and the header that says how it was done.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <vector>

#include "analysis/Audio.h"
#include "analysis/FeatureFiles.h"
#include "analysis/FrameAnalysis.h"
#include "events/FvsWriter.h"

namespace zortan::analysis {

struct RecordingOptions {
    double stepMs = 10.0;  // ms between the starts of frames
    FrameOptions frame;    // its rate is the recording's
};

// The qualifiers of the frame centred at `seconds` from the start.
using QualifiersAt = std::function<std::array<char, 3>(double seconds)>;

struct AnalysedRecording {
    FvsHeader header;
    std::vector<FvsEvent> events;
    size_t clamped = 0;  // feature components clamped to the 16-bit range
};

// Frame f starts at sample round(f * stepMs * rate / 1000) and is taken
// when its 256 samples are all in the recording. Refuses (AudioError) a
// recording shorter than one frame and a step below one sample.
AnalysedRecording AnalyseRecording(const Audio& audio, const RecordingOptions& options,
                                   const QualifiersAt& qualifiers);

// The same, each event handed to `sink` as it is made instead of kept (the
// result's events stay empty; its header counts them): a long recording
// then needs no memory for its records.
using EventSink = std::function<void(const FvsEvent&)>;
AnalysedRecording AnalyseRecording(const Audio& audio, const RecordingOptions& options,
                                   const QualifiersAt& qualifiers, const EventSink& sink);

// Features of another program as fvs records: frame f's vector, times
// `conversion.scale` plus its offset, in slot `kind` (0..4) of record f,
// the other slots and the samples 0; frame f is centred at
// (f + 0.5) * stepMs. The header names no FFT width (0) nor window (no
// choice), filter "no", and the step and rate given. Refuses (FeatureFileError) values that are
// not numbers; `clamped` counts those beyond the 16-bit range.
AnalysedRecording ImportFeatures(const FeatureMatrix& features, const Conversion& conversion,
                                 int kind, double stepMs, double rate, const std::string& name,
                                 const QualifiersAt& qualifiers);

}  // namespace zortan::analysis
