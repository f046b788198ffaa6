#include "events/FvsReader.h"
#include "run/FvsInput.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "shell/Program.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "tools/fixtures/FvsFileWriter.h"

namespace zortan {
namespace {

using fixtures::encodeFvsEvent;
using fixtures::encodeFvsHeader;
using fixtures::FvsEvent;
using fixtures::FvsHeader;

std::string bytes(const FvsRecord& r) {
    return std::string(reinterpret_cast<const char*>(r.data()), r.size());
}

struct Session {
    testing::TempDir dir;
    testing::ScriptedUi ui;
    Program program{ui, dir.path()};

    Session() { program.eventNbr = std::numeric_limits<int64_t>::max(); }
    void open(EventSeries& series, const std::string& content) {
        series.fvsFile.open(dir.write("s" + std::to_string(series.number) + ".fvs", content));
    }
    // Reads a header record; what it set, in one line.
    std::string header(EventSeries& series, const FvsRecord& record) {
        open(series, bytes(record));
        OpenFvsHeader(program, series);
        const AnalysisSettings& a = series.settings;
        std::string cath;
        for (uint8_t n : series.cathNbr) cath += " " + std::to_string(n);
        return "n=" + std::to_string(program.eventNbr) + "/" + series.eventsCountText +
               " fft=" + std::to_string(a.fftWindowWidth) + " choices=" + std::to_string(a.filter) +
               "," + std::to_string(a.scalingConstants) + "," + std::to_string(a.windowShape) +
               (a.preemphasis ? " pre" : "") + " step=" + std::to_string(a.frameStep) +
               " rate=" + std::to_string(a.rate) + " lifter=" + std::to_string(a.lifterThreshold) +
               "/" + series.lifterThresholdText + " cath=" + cath +
               " waves=" + program.options.waveFileDir1 + "|" + program.options.waveFileDir2 +
               " messages=" + std::to_string(ui.messages.size());
    }
};

// The reader tests read what this writer writes: its layout is checked here.
TEST(FvsFileWriter, PutsEveryFieldAtItsOffset) {
    FvsHeader h{0x01020304, -2, 3, 1, 0x0102, 1, 0x1234, 4, 12.5, 22050.0, "C:\\w", {5, 6, 7}};
    const FvsRecord r = encodeFvsHeader(h);
    const std::pair<size_t, std::vector<uint8_t>> expected[] = {{0, {4, 3, 2, 1}},
                                                                {4, {0xFE, 0xFF, 0}},
                                                                {8, {3, 0, 1, 0}},
                                                                {18, {2, 1}},
                                                                {26, {1, 0}},
                                                                {518, {0x34, 0x12, 4, 0}},
                                                                {774, {4, 'C', ':', '\\', 'w', 0}},
                                                                {1806, {5, 6, 7, 0}}};
    for (const auto& [offset, values] : expected)
        EXPECT_EQ(std::vector<uint8_t>(&r[offset], &r[offset + values.size()]), values) << offset;
    double step, rate;
    std::memcpy(&step, &r[522], 8);  // the test machine is little-endian
    std::memcpy(&rate, &r[532], 8);
    EXPECT_EQ(step, 12.5);
    EXPECT_EQ(rate, 22050.0);

    FvsEvent e;
    e.signal[255] = -3;
    for (size_t k = 0; k < 5; ++k) e.features[k][128] = static_cast<int16_t>(0x0100 + k);
    e.cath3 = 'z';
    const FvsRecord ev = encodeFvsEvent(e);
    EXPECT_EQ(ev[514] + 256 * ev[515], 0xFFFD);
    for (size_t k = 0; k < 5; ++k)
        EXPECT_EQ(ev[516 + 258 * k + 256] + 256 * ev[517 + 258 * k + 256], 0x0100 + k);
    EXPECT_EQ(std::string(&ev[1806], &ev[1809]), "aaz");
}

TEST(FvsHeaderReading, AppliesTheHeader) {
    Session s;
    FvsHeader h{500, -512, 7, 1, 4, 1, -20, 4, 12.5, 22050.0, "C:\\waves\\a.wav", {2, 5, 255}};
    FvsRecord header = encodeFvsHeader(h);
    header[530] = 0xAB;  // W[7] is not read
    header[531] = 0xCD;
    EXPECT_EQ(s.header(s.program.data1, header),
              "n=500/500 fft=-512 choices=-1,1,4 pre step=12.500000 rate=22050.000000 "
              "lifter=-20/-20 cath= 2 5 255 waves=C:\\waves\\a.wav|" +
                  s.program.options.waveFileDir2 + " messages=0");
    EXPECT_EQ(s.program.fvsRecord, header);
    // The second input: 400 records lower the count; no wave name, other choices.
    h = {400, 0, 4, 2, -1, 2, 3, 4, 1.0, 2.0, "", {}};
    EXPECT_EQ(s.header(s.program.data2, encodeFvsHeader(h)),
              "n=400/400 fft=0 choices=4,-1,-1 step=1.000000 rate=2.000000 lifter=3/3 cath= 0 0 0 "
              "waves=C:\\waves\\a.wav|Unknown messages=0");
    h.recordCount = 450;  // a larger file never raises the count
    EXPECT_TRUE(s.header(s.program.data2, encodeFvsHeader(h)).starts_with("n=400/450 "));

    // A wrong real type size, a short file: see the bad event file tests.
    EXPECT_THROW(ReadRealTypeParameter(s.ui, s.program.fvsRecord.data(), 126, 4, "X"), RangeError);
}

TEST(FvsRecordReading, CodesTheChosenFeatureVector) {
    Session s;
    std::vector<FvsEvent> events(2);
    for (size_t n = 0; n < 2; ++n)
        for (size_t k = 0; k < 5; ++k)
            for (size_t i = 0; i < kComponents; ++i)
                events[n].features[k][i] = static_cast<int16_t>(1000 * k - 7 * i - 3000 * n);
    events[1].cath1 = 'x';
    events[1].cath2 = '\xE9';
    // A partial third record at the end counts as the end of the data.
    EventSeries& d = s.program.data1;
    s.open(d, bytes(encodeFvsHeader({})) + bytes(encodeFvsEvent(events[0])) +
                  bytes(encodeFvsEvent(events[1])) + std::string(100, '\x7F'));
    OpenFvsHeader(s.program, d);

    // A kind chosen only when the run asks for it: see the console tests.
    s.program.tree.training.featureKind = 3;
    ASSERT_EQ(ReadFvsRecord(s.program, d), RowStatus::Read);
    const EventRecord& e = s.program.event;
    for (size_t i = 0; i < kComponents; ++i)
        EXPECT_TRUE(e.components[i] == events[0].features[3][i] && e.reals[i] == e.components[i])
            << i;
    EXPECT_EQ(d.featureText, "cepstrum");

    s.program.tree.training.featureKind = 1;
    ASSERT_EQ(ReadFvsRecord(s.program, d), RowStatus::Read);
    EXPECT_EQ(e.components[128], events[1].features[1][128]);
    EXPECT_EQ(d.featureText, "cepstr.  smooth. ps");
    EXPECT_EQ(std::string({e.cath1, e.cath2, e.cath3}), "x\xE9\x61");

    const FvsRecord last = s.program.fvsRecord;
    EXPECT_EQ(ReadFvsRecord(s.program, d), RowStatus::EndOfData);
    EXPECT_EQ(s.program.fvsRecord, last);
}

}  // namespace
}  // namespace zortan
