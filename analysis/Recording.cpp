#include "analysis/Recording.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>

namespace zortan::analysis {

namespace {

using ValueSets = std::array<std::set<char>, 3>;

void label(FvsEvent& e, const std::array<char, 3>& q, ValueSets& values) {
    e.cath1 = q[0];
    e.cath2 = q[1];
    e.cath3 = q[2];
    for (size_t c = 0; c < 3; ++c) values[c].insert(q[c]);
}

// The header fields every file of records made here holds alike: no filter
// applied, realType size 4, the step, rate and name, the events, and the
// number of values of each qualifier.
void fillHeader(AnalysedRecording& out, size_t events, const ValueSets& values, double stepMs,
                double rate, const std::string& name) {
    FvsHeader& h = out.header;
    h.recordCount = static_cast<uint32_t>(events);
    h.filter = 0;            // "no"
    h.scalingConstants = 0;  // "like for no filtering"
    h.realTypeSize = 4;
    h.frameStep = stepMs;
    h.rate = rate;
    h.waveName = name.substr(0, 255);
    for (size_t c = 0; c < 3; ++c)
        h.cathNbr[c] = static_cast<uint8_t>(std::min<size_t>(values[c].size(), 255));
}

}  // namespace

AnalysedRecording AnalyseRecording(const Audio& audio, const RecordingOptions& options,
                                   const QualifiersAt& qualifiers) {
    std::vector<FvsEvent> events;
    AnalysedRecording out = AnalyseRecording(audio, options, qualifiers,
                                             [&](const FvsEvent& e) { events.push_back(e); });
    out.events = std::move(events);
    return out;
}

AnalysedRecording AnalyseRecording(const Audio& audio, const RecordingOptions& options,
                                   const QualifiersAt& qualifiers, const EventSink& sink) {
    const double step = options.stepMs * audio.rate / 1000.0;
    if (!(step >= 1.0))
        throw AudioError("\"" + audio.path + "\": a step of " + std::to_string(options.stepMs) +
                         " ms is less than one sample at its rate.");
    if (audio.samples.size() < static_cast<size_t>(kFrameLength))
        throw AudioError("\"" + audio.path + "\" holds " + std::to_string(audio.samples.size()) +
                         " samples, fewer than one frame of 256.");
    FrameOptions frame = options.frame;
    frame.rate = audio.rate;
    const FrameAnalyser analyser(frame);
    AnalysedRecording out;
    ValueSets values;
    size_t f = 0;
    for (;; ++f) {
        const auto start = static_cast<size_t>(std::nearbyint(static_cast<double>(f) * step));
        if (start + kFrameLength > audio.samples.size()) break;
        const int16_t* samples = audio.samples.data() + start;
        FvsEvent e;
        std::copy_n(samples, kFrameLength, e.signal.begin());
        FrameVectors v = analyser.analyse(samples, start > 0 ? samples[-1] : int16_t{0});
        e.features = v.features;
        out.clamped += v.clamped;
        label(e, qualifiers((static_cast<double>(start) + kFrameLength / 2.0) / audio.rate),
              values);
        sink(e);
    }
    fillHeader(out, f, values, options.stepMs, audio.rate, audio.path);
    FvsHeader& h = out.header;
    h.fftWindowWidth = kFrameLength;
    h.windowShape = static_cast<int16_t>(options.frame.window);
    h.preemphasis = options.frame.preemphasis != 0.0 ? 1 : 0;
    h.lifterThreshold = static_cast<int16_t>(options.frame.lifter);
    return out;
}

AnalysedRecording ImportFeatures(const FeatureMatrix& features, const Conversion& conversion,
                                 int kind, double stepMs, double rate, const std::string& name,
                                 const QualifiersAt& qualifiers) {
    const Converted c = ToComponents(features, conversion);
    if (c.nonFinite > 0)
        throw FeatureFileError("\"" + name + "\" holds " + std::to_string(c.nonFinite) +
                               " values that are not numbers (NaN or infinite).");
    AnalysedRecording out;
    out.clamped = c.saturated;
    ValueSets values;
    for (size_t f = 0; f < c.frames.size(); ++f) {
        FvsEvent e;
        e.features[static_cast<size_t>(kind)] = c.frames[f];
        label(e, qualifiers((static_cast<double>(f) + 0.5) * stepMs / 1000.0), values);
        out.events.push_back(e);
    }
    fillHeader(out, out.events.size(), values, stepMs, rate, name);
    FvsHeader& h = out.header;
    h.fftWindowWidth = 0;
    h.windowShape = -1;  // not known
    h.preemphasis = 0;
    h.lifterThreshold = 0;
    return out;
}

}  // namespace zortan::analysis
