#include "events/TextEventReader.h"
#include "window/TextInput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Format.h"
#include "events/FvsReader.h"
#include "platform/Errors.h"
#include "support/DataText.h"
#include "support/Session.h"
#include "window/Program.h"

namespace zortan {
namespace {

// Two values that should mostly agree: one when they do, both when not.
std::string both(const std::string& a, const std::string& b) {
    return a == b ? a : a + "/" + b;
}

struct Session : testing::Workspace {
    Program program{ui, dir.path()};
    EventSeries& series = program.data1;
    std::string path;

    Session() {
        program.tree.HeapTop = 98;  // 50 tree sizes
        program.tree.consideredComponentsNb = 4;
        program.tree.training = {3, 2, 1, 4, true, false, 24, 10.0, 16000.0, 256, true, 7};
        series.nc = 20, series.settings.lifterThreshold = 9;
    }
    void open(const std::string& text) {
        path = dir.write("events.txt", text);
        series.textFile.emplace(path);
    }
    // Reads a header; what it changed, in one line, or "range" when it
    // stopped with a range error.
    std::string header(const std::string& text) {
        open(text);
        try {
            OpenTextHeader(program, series, path);
        } catch (const RangeError&) {
            return "range messages=" + std::to_string(ui.messages.size());
        }
        const ShellState& sh = program.shell;
        const AnalysisSettings& t = program.tree.training;
        EXPECT_EQ(std::vector<int>({t.filter, t.scalingConstants, t.windowShape}),
                  std::vector<int>(3, -1));  // a table says nothing of them
        EXPECT_TRUE(t.preemphasisIndeterminate && sh.treeTexts.lifterThreshold == "xxx");
        EXPECT_TRUE(sh.stretchCepstra && sh.stretchLocked && !sh.sliderVisible);
        EXPECT_EQ(formatGeneral(t.frameStep) + " " + formatGeneral(t.rate) + " " +
                      std::to_string(t.averagingFrames),
                  "1 10000 10");
        return program.cathLabel1 + "|" + program.cathLabel2 + "|" + program.cathLabel3 +
               " n=" + both(series.eventsCountText, std::to_string(program.eventNbr)) + " nc=" +
               both(std::to_string(series.nc), std::to_string(series.settings.lifterThreshold)) +
               " range=" +
               both(formatGeneral(series.plotParameters[2]),
                    formatGeneral(series.plotParameters[3])) +
               " K=" + sh.clustersEditText + " drawn=" + std::to_string(sh.drawnComponents) +
               " messages=" + std::to_string(ui.messages.size());
    }
};

// The count line, the names, the faults (Error 100, reading goes on) and
// the limits: nc's 16-bit copy takes -32768..32767, the pictures' component
// count 0..65535; the count is 64-bit; names are runs of characters above 32.
TEST(TextEventHeader, CountLineNamesFaultsAndLimits) {
    const std::string abc = "\r\n3\r\n32767\r\nA B C\r\n";
    // Each input, its line ends written as "|", and what it changed are in the file.
    const std::string inputs[] = {
        "Table of vowels\r\n  -- five lines\r\n+++\r\n\r\n1000 events" + abc,
        // A lone number is a comment; the number may end at a tab.
        "1000\r\n1000\t\t\t" + abc,
        // Characters below "0" before the number go, "0" itself stays.
        "12abc x\r\n/+ 01000 recorded" + abc,
        "9223372036854775807 x" + abc,
        "9223372036854775808 too long\r\n0 events" + abc,
        "exported\r\n321 events\r\n12\r\n32767\r\nSpeaker\tVowel  Gender c1\r\n",
        "exported\r\n321 events\r\n12\r\n32767\r\nA!\x01\x21 B\r\n",
        "exported\r\n321 events\r\n12\r\n32767\r\n\r\n",
        // An nc above the tree sizes is clamped by the clusters entry.
        "5 x\r\n70\r\n16383.5\r\nA B C\r\n",
        "5 x\r\n0\r\n1\r\nA B C\r\n",
        "5 x\r\n-1\r\n1\r\nA B C\r\n",
        "5 x\r\n32767\r\n32767\r\nA B C\r\n",
        // Past 16 bits the header stops (the names come from the count line)
        // and the 16-bit copy keeps its earlier value.
        "5 x\r\n32768\r\n32767\r\nA B C\r\n",
        "5 x\r\n65535\r\n32767\r\n",
        "5 x\r\n65536\r\n32767\r\n",
        // A non-numeric nc: the earlier nc stays.
        "1000 events\r\nabc\r\n100\r\nA B C\r\n",
        // No header row: no names; the range is taken as it stands.
        "5 ev\r\n4\r\n100\r\n",
    };
    std::string shown;
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        Session s;
        std::string text = input;
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "|");
        shown += text + " => " + s.header(input) + "\n";
        for (const std::string& m : s.ui.messages) EXPECT_EQ(m, error100Message(s.path));
    }
    EXPECT_EQ(shown, testing::dataText("text-event-headers.txt"));
}

// Rows: qualifiers after tabs and spaces only, the considered components as
// 16-bit values, the rest ignored; a faulty row is reported and keeps the
// fields it did not reach. The event also fills the record buffer's fifth
// vector (cleared first in compare mode) for the pictures and fvs decoding.
TEST(TextEventRows, QualifiersComponentsAndLimits) {
    std::string values;  // 130 of them
    for (int i = 1; i <= 130; ++i) values += " " + std::to_string(i);
    const struct {
        std::string row;
        int components;
        std::string read;  // qualifiers|components, "fault ..." or "range"
        bool compare = false;
    } cases[] = {
        {"\t a\tb c" + values, 12, "abc|1 2 3 4 5 6 7 8 9 10 11 12 0"},
        {"\x08\x0b\x1f" + values, 3, "\x08\x0b\x1f|1 2 3 0 0 0 0 0 0 0 0 0 0"},
        {"! \t!\t !" + values, 2, "!!!|1 2 0 0 0 0 0 0 0 0 0 0 0"},
        // 32-bit values keep their low 16 bits; beyond 32 bits is a fault.
        {"abc 2147483647 -2147483648 70000 -32769", 4, "abc|-1 0 4464 32767 0 0 0 0 0 0 0 0 0"},
        {"abc 1 2147483648 3", 3, "fault abc|1 0 0 0 0 0 0 0 0 0 0 0 0"},
        {"ab", 1, "fault ab\x01|0 0 0 0 0 0 0 0 0 0 0 0 0"},
        {"abc 1 x", 2, "fault abc|1 0 0 0 0 0 0 0 0 0 0 0 0"},
        {"abc" + values, 129, "abc|1 2 3 4 5 6 7 8 9 10 11 12 13", true},
        {"abc" + values, 130, "range"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        Session s;
        s.program.tree.consideredComponentsNb = c.components;
        s.open("1 e\r\n14\r\n1\r\nA B C\r\n\r\n" + c.row + "\r\n  \t\r\n");
        OpenTextHeader(s.program, s.series, s.path);
        EventRecord& e = s.program.event;
        e.cath3 = '\x01';
        e.components[128] = 77;  // beyond those read: kept, and its real follows it
        s.program.fvsRecord[0] = 0xFF, s.program.shell.compareMode = c.compare;
        std::string read;
        try {
            ASSERT_EQ(ReadTextRow(s.program, s.series, s.path), RowStatus::Read);
            read = (s.ui.messages.empty() ? "" : "fault ") +
                   std::string{e.cath1, e.cath2, e.cath3} + "|";
            for (size_t i = 0; i < 13; ++i) read += std::to_string(e.components[i]) + " ";
            read.pop_back();
        } catch (const RangeError&) {
            read = "range";
        }
        EXPECT_EQ(read, c.read);
        if (read == "range") continue;
        EventRecord decoded;
        DecodeFvsEvent(s.program.fvsRecord.data(), 4, decoded);
        EXPECT_EQ(decoded.components, e.components);
        EXPECT_EQ(s.program.fvsRecord[0], c.compare ? 0 : 0xFF);
        for (size_t i = 0; i < kComponents; ++i) EXPECT_EQ(e.reals[i], e.components[i]);
        EXPECT_EQ(ReadTextRow(s.program, s.series, s.path), RowStatus::EndOfData);
    }
}

}  // namespace
}  // namespace zortan
