// The fvs file: its header by the program's header reader, the events by
// its record reader and vector decoding.
#include <algorithm>
#include <exception>
#include <filesystem>
#include <utility>

#include "app/dump/Dump.h"
#include "app/dump/Fields.h"
#include "events/FvsReader.h"

namespace zortan::dump {

namespace {

constexpr size_t kSignalSamples = 256;

int16_t signalSample(const uint8_t* r, size_t i) {
    const size_t at = kFvsSignal + 2 * i;
    return static_cast<int16_t>(r[at] | (r[at + 1] << 8));
}

std::vector<Field> headerFields(const FvsHeaderFields& h) {
    const AnalysisSettings& s = h.settings;
    return {{"declared events", std::to_string(h.records)},
            {"FFT window width", std::to_string(s.fftWindowWidth)},
            {"filter", choiceText(s.filter, kFilterNames)},
            {"scaling constants", choiceText(s.scalingConstants, kScalingConstantsNames)},
            {"window shape", choiceText(s.windowShape, kWindowShapeNames)},
            {"preemphasis", yesNo(s.preemphasis)},
            {"lifter threshold", std::to_string(s.lifterThreshold)},
            {"frame step", realText(s.frameStep, "ms")},
            {"rate", realText(s.rate, "Hz")},
            {"wave name", h.waveName},
            {"category counts", std::to_string(h.cathNbr[0]) + " " + std::to_string(h.cathNbr[1]) +
                                    " " + std::to_string(h.cathNbr[2])}};
}

std::vector<std::string> eventColumns(const std::vector<size_t>& kinds, bool withSignal) {
    std::vector<std::string> columns = {"event", "cath1", "cath2", "cath3"};
    if (withSignal) {
        for (size_t i = 0; i < kSignalSamples; ++i) columns.push_back("s" + std::to_string(i));
    } else {
        columns.push_back("smin");
        columns.push_back("smax");
    }
    for (size_t k : kinds)
        for (int c = 0; c < kComponents; ++c)
            columns.push_back("v" + std::to_string(k) + "_" + std::to_string(c));
    return columns;
}

std::vector<std::string> eventRow(uint64_t index, const uint8_t* r,
                                  const std::vector<size_t>& kinds, bool withSignal) {
    EventRecord event;
    DecodeFvsEvent(r, 0, event);
    std::vector<std::string> row = {std::to_string(index), characterText(event.cath1),
                                    characterText(event.cath2), characterText(event.cath3)};
    std::array<int16_t, kSignalSamples> signal;
    for (size_t i = 0; i < kSignalSamples; ++i) signal[i] = signalSample(r, i);
    if (withSignal) {
        for (int16_t v : signal) row.push_back(std::to_string(v));
    } else {
        const auto [low, high] = std::minmax_element(signal.begin(), signal.end());
        row.push_back(std::to_string(*low));
        row.push_back(std::to_string(*high));
    }
    std::array<int16_t, kComponents> vector;
    for (size_t k : kinds) {
        readVector(r, FeatureVectorOffset(k), vector);
        for (int16_t v : vector) row.push_back(std::to_string(v));
    }
    return row;
}

}  // namespace

Dump dumpFvs(const std::string& path, const RecordRange& range, std::optional<int> kind,
             bool withSignal, RecordSink* sink) {
    Dump d;
    FvsFile file;
    file.open(path);
    std::error_code sizeError;
    const uintmax_t bytes = std::filesystem::file_size(path, sizeError);
    const uint8_t* header = file.nextRecord();
    if (header == nullptr) {
        d.problem = "no whole header record: the file holds " +
                    (sizeError ? std::string("less") : std::to_string(bytes) + " bytes") +
                    ", a record " + std::to_string(kFvsRecordSize);
        return d;
    }
    const FvsHeaderFields fields = ParseFvsHeader(header);
    // The reader's remarks become notes, with LF line ends.
    for (std::string note : fields.remarks) {
        std::erase(note, '\r');
        d.notes.push_back(note);
    }
    d.fields = headerFields(fields);
    if (!sizeError) {
        const uintmax_t events = bytes / kFvsRecordSize - 1;
        d.fields.push_back({"events in the file", std::to_string(events)});
        if (events != fields.records)
            d.notes.push_back("the header declares " + std::to_string(fields.records) +
                              " events, the file holds " + std::to_string(events));
    }

    std::vector<size_t> kinds;
    for (size_t k = 0; k < 5; ++k)
        if (!kind || static_cast<size_t>(*kind) == k) kinds.push_back(k);
    d.table.columns = eventColumns(kinds, withSignal);
    // Samples and components are 16-bit ("-32768"), qualifiers at most "#255".
    d.table.widths.assign(d.table.columns.size(), 6);
    d.table.widths[0] = sizeError ? 0 : std::to_string(bytes / kFvsRecordSize).size();
    std::fill_n(d.table.widths.begin() + 1, 3, 4);
    if (sink != nullptr) sink->start(d);
    uint64_t index = 0;
    try {
        for (; !range.pastEnd(index); ++index) {
            const uint8_t* r = file.nextRecord();
            if (r == nullptr) break;
            if (range.contains(index)) take(d, sink, eventRow(index, r, kinds, withSignal));
        }
    } catch (const std::exception& e) {
        d.problem = "reading event " + std::to_string(index) + ": " + e.what();
        return d;
    }
    if (!range.pastEnd(index)) d.recordCount = index;
    // The whole records are shown; a cut one makes the file no fvs file.
    if (!sizeError && bytes % kFvsRecordSize != 0)
        d.problem = "the size, " + std::to_string(bytes) + " bytes, is no whole number of " +
                    std::to_string(kFvsRecordSize) + "-byte records: it ends with a partial " +
                    "record of " + std::to_string(bytes % kFvsRecordSize) + " bytes";
    return d;
}

}  // namespace zortan::dump
