#include "events/FvsReader.h"
#include "window/FvsInput.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "base/Format.h"
#include "platform/Errors.h"
#include "support/DataText.h"
#include "support/Session.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "window/Program.h"

namespace zortan {
namespace {

std::string recordBytes(const FvsRecord& r) {
    return std::string(reinterpret_cast<const char*>(r.data()), r.size());
}

// `value` as `count` little-endian bytes at `offset`.
void poke(FvsRecord& r, size_t offset, int64_t value, int count) {
    for (int i = 0; i < count; ++i) r[offset + size_t(i)] = uint8_t(uint64_t(value) >> (8 * i));
}

// The settings and counts an fvs header gives, in one line.
std::string fieldsText(const AnalysisSettings& a, const std::array<uint8_t, 3>& cath) {
    return " fft=" + std::to_string(a.fftWindowWidth) + " choices=" + std::to_string(a.filter) +
           "," + std::to_string(a.scalingConstants) + "," + std::to_string(a.windowShape) +
           " pre=" + std::to_string(a.preemphasis) +
           " lifter=" + std::to_string(a.lifterThreshold) + " cath=" + std::to_string(cath[0]) +
           "," + std::to_string(cath[1]) + "," + std::to_string(cath[2]) +
           " step=" + formatGeneral(a.frameStep) + " rate=" + formatGeneral(a.rate);
}

struct Session : testing::Workspace {
    Program program{ui, dir.path()};

    Session() { program.eventNbr = std::numeric_limits<int64_t>::max(); }
    void open(EventSeries& series, const std::string& content) {
        series.fvsFile.open(dir.write("s" + std::to_string(series.number) + ".fvs", content));
    }
    // Opens an input's header; what it set, in one line.
    std::string header(EventSeries& series, const fixtures::FvsHeader& h) {
        open(series, recordBytes(fixtures::encodeFvsHeader(h)));
        OpenFvsHeader(program, series);
        return std::to_string(program.eventNbr) + "/" + series.eventsCountText +
               fieldsText(series.settings, series.cathNbr) + "/" + series.lifterThresholdText +
               " waves=" + program.options.waveFileDir1 + "|" + program.options.waveFileDir2;
    }
};

// Each input's settings and wave name; the events count only lowered.
TEST(FvsHeaderReading, AppliesTheHeaderToItsInput) {
    Session s;
    fixtures::FvsHeader h{500, -512, 7, 1, 4, 1, -20, 4, 12.5, 22050.0, "C:\\a.wav", {2, 5, 255}};
    s.program.options.waveFileDir2 = "two";
    EXPECT_EQ(s.header(s.program.data1, h),
              "500/500 fft=-512 choices=-1,1,4 pre=1 lifter=-20 cath=2,5,255 step=12.5 "
              "rate=22050/-20 waves=C:\\a.wav|two");
    EXPECT_EQ(s.program.fvsRecord, fixtures::encodeFvsHeader(h));
    h = {400, 0, 4, 2, -1, 2, 3, 4, 1.0, 2.0, "", {}};
    EXPECT_EQ(s.header(s.program.data2, h),
              "400/400 fft=0 choices=4,-1,-1 pre=0 lifter=3 "
              "cath=0,0,0 step=1 rate=2/3 waves=C:\\a.wav|Unknown");
    h.recordCount = 450;
    EXPECT_TRUE(s.header(s.program.data2, h).starts_with("400/450 "));
    EXPECT_TRUE(s.ui.messages.empty());
}

// Header fields at their offsets, at the edge of their range and one past: a
// choice index past its names is no choice, only 1 turns preemphasis on.
TEST(FvsHeaderReading, FieldsAtTheirOffsetsAndLimits) {
    // Offset, value and its byte count of each case, then the fields read, are in the file.
    const std::tuple<size_t, int64_t, int> cases[] = {
        {4, 32767, 2}, {4, -32768, 2}, {8, 4, 2},       {8, 5, 2},        {8, -1, 2},
        {10, 1, 2},    {10, 2, 2},     {18, 4, 2},      {18, 5, 2},       {26, 1, 2},
        {26, 2, 2},    {26, 257, 2},   {518, 32767, 2}, {518, -32768, 2}, {774, 0, 1},
        {774, 1, 1},   {774, 255, 1},  {1806, 255, 1},  {1808, 255, 1}};
    std::string shown;
    for (const auto& [offset, value, count] : cases) {
        FvsRecord r = fixtures::encodeFvsHeader(
            {.frameStep = 12.5, .rate = 22050.0, .waveName = std::string(255, 'w')});
        poke(r, 530, -1, 2);  // W[7] is not read
        poke(r, offset, value, count);
        const FvsHeaderFields f = ParseFvsHeader(r.data());
        const std::string wave =
            f.waveName.size() < 255 ? f.waveName : std::to_string(f.waveName.size()) + " w";
        shown += std::to_string(offset) + " " + std::to_string(value) + " " +
                 std::to_string(count) + ": n=" + std::to_string(f.records) + " wave=" + wave +
                 fieldsText(f.settings, f.cathNbr) +
                 " messages=" + std::to_string(f.remarks.size()) + "\n";
    }
    EXPECT_EQ(shown, testing::dataText("fvs-header-fields.txt"));
    // A parameter of 4 words fits from word 125 on, not from 126.
    std::vector<std::string> remarks;
    const FvsRecord r{};
    EXPECT_EQ(ReadRealTypeParameter(remarks, r.data(), 125, 4, "X"), 0.0);
    EXPECT_THROW(ReadRealTypeParameter(remarks, r.data(), 126, 4, "X"), RangeError);
    EXPECT_TRUE(remarks.empty());
}

// An event record: five vectors of 129 words from offset 516, qualifiers at 1806.
TEST(FvsRecordReading, CodesTheChosenFeatureVector) {
    Session s;
    FvsRecord events[2] = {};
    for (size_t n = 0; n < 2; ++n)
        for (size_t k = 0; k < 5; ++k)
            for (size_t i = 0; i < kComponents; ++i)
                poke(events[n], 516 + 258 * k + 2 * i, int64_t(1000 * k) - 7 * i - 3000 * n, 2);
    events[1][1806] = 'x', events[1][1807] = 0xE9, events[1][1808] = '!';
    // A partial third record at the end counts as the end of the data.
    EventSeries& d = s.program.data1;
    s.open(d, recordBytes(FvsRecord{}) + recordBytes(events[0]) + recordBytes(events[1]) +
                  std::string(100, '\x7F'));
    OpenFvsHeader(s.program, d);
    const EventRecord& e = s.program.event;
    // A kind chosen only when the run asks for it: see the console tests.
    for (int kind : {3, 4}) {
        s.program.tree.training.featureKind = kind;
        ASSERT_EQ(ReadFvsRecord(s.program, d), RowStatus::Read);
        for (size_t i = 0; i < kComponents; ++i)
            ASSERT_TRUE(e.components[i] == 1000 * kind - 7 * int(i) - 3000 * (kind - 3) &&
                        e.reals[i] == e.components[i])
                << i;
        EXPECT_EQ(d.featureText, kFeatureKindNames[size_t(kind)]);
    }
    EXPECT_EQ(std::string({e.cath1, e.cath2, e.cath3}), "x\xE9!");
    const FvsRecord last = s.program.fvsRecord;
    EXPECT_EQ(ReadFvsRecord(s.program, d), RowStatus::EndOfData);
    EXPECT_EQ(s.program.fvsRecord, last);
}

}  // namespace
}  // namespace zortan
