#include "events/TextEventReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Errors.h"
#include "shell/Format.h"
#include "shell/Program.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "tools/fixtures/TextEventFileWriter.h"

namespace zortan {
namespace {

using fixtures::textEventFileText;
using fixtures::TextEventTable;

struct Session {
    testing::TempDir dir;
    testing::ScriptedUi ui;
    Program program{ui, dir.path()};
    EventSeries& series = program.data1;
    std::string path;

    Session() {
        program.tree.HeapTop = 98;  // 50 tree sizes
        program.tree.consideredComponentsNb = 4;
        program.tree.training = {3, 2, 1, 4, true, false, 24, 10.0, 16000.0, 256, true, 7};
    }
    void open(const std::string& text) {
        path = dir.write("events.txt", text);
        series.textFile.emplace(path);
    }
    // Reads a header; what it changed, in one line.
    std::string header(const std::string& text) {
        open(text);
        OpenTextHeader(program, series, path);
        const ShellState& sh = program.shell;
        const AnalysisSettings& t = program.tree.training;
        return program.cathLabel1 + "|" + program.cathLabel2 + "|" + program.cathLabel3 +
               " n=" + series.eventsCountText + " nc=" + std::to_string(series.nc) + "/" +
               std::to_string(series.settings.lifterThreshold) +
               " range=" + formatGeneral(series.plotParameters[2]) + "," +
               formatGeneral(series.plotParameters[3]) + " K=" + sh.clustersEditText +
               " drawn=" + std::to_string(sh.drawnComponents) +
               (sh.stretchCepstra && sh.stretchLocked && !sh.sliderVisible ? " locked" : "") +
               " training=" + std::to_string(t.filter) + "," + std::to_string(t.scalingConstants) +
               "," + std::to_string(t.windowShape) + (t.preemphasisIndeterminate ? ",?," : ",") +
               sh.treeTexts.lifterThreshold + "," + formatGeneral(t.frameStep) + "," +
               formatGeneral(t.rate) + "," + std::to_string(t.averagingFrames) +
               " messages=" + std::to_string(ui.messages.size());
    }
    RowStatus row() { return ReadTextRow(program, series, path); }
};

const std::string kCleared = " locked training=-1,-1,-1,?,xxx,1,10000,10";

TEST(TextEventHeader, CountLineRules) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Table of vowels\r\n  -- five lines\r\n+++\r\n\r\n1000 events", "1000"},
        {"1000\r\n1000\t\t\t", "1000"},  // a lone number is a comment
        {"12abc x\r\n2024 recorded", "2024"},
        {" -#*. 7\tseven and more", "7"},
        {"99999999999999999999 too long\r\n0 events", "0"},
    };
    for (const auto& [preamble, count] : cases) {
        Session s;
        EXPECT_EQ(
            s.header(preamble + "\r\n3\r\n32767\r\nA B C\r\n"),
            "A|B|C n=" + count + " nc=3/3 range=64,64 K=3 drawn=3" + kCleared + " messages=0");
        EXPECT_EQ(std::to_string(s.program.eventNbr), count);
    }
}

TEST(TextEventHeader, AppliesTheTableToTheProgram) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"Speaker\tVowel  Gender c1", "Speaker|Vowel|Gender"},
        {"Speaker Vowel", "Speaker|Vowel|Y3"},
        {"", "Y1|Y2|Y3"}};
    for (const auto& [row, names] : rows) {
        Session s;
        TextEventTable t{{"exported"}, 321, " events", 12, 32767.0, row, {}};
        EXPECT_EQ(s.header(textEventFileText(t)),
                  names + " n=321 nc=12/12 range=64,64 K=12 drawn=12" + kCleared + " messages=0");
    }
    Session s;  // an nc above the tree sizes is clamped by the clusters entry
    EXPECT_EQ(s.header("5 x\r\n70\r\n16383.5\r\nA B C\r\n"),
              "A|B|C n=5 nc=70/70 range=32,32 K=50 drawn=70" + kCleared + " messages=0");
    std::string line = "  one\ttwo ";
    EXPECT_EQ(NextCategoryName(line, 1), "one");
    EXPECT_EQ(NextCategoryName(line, 2), "two");
    EXPECT_EQ(NextCategoryName(line, 3), "Y3");
}

TEST(TextEventHeader, ErrorsAreReportedAndTheHeaderCompleted) {
    Session s;
    s.series.nc = 20;
    s.series.settings.lifterThreshold = 9;
    // A non-numeric nc: the names come from the count line, the earlier nc stays.
    EXPECT_EQ(s.header("1000 events\r\nabc\r\n100\r\nA B C\r\n"),
              "1000|events|Y3 n=1000 nc=20/9 range=64,64 K=20 drawn=20" + kCleared + " messages=1");
    const std::string& m = s.ui.messages[0];
    EXPECT_EQ(m.find("Error 100.\r\nError probably caused by erronous data format.\r\nCheck "
                     "whether following conditions for the file\r\n" +
                     s.path +
                     "\r\nwere fullfilled:\r\nAll introductory comments appearing at the "
                     "beginning  will be skipped"),
              0u);
    EXPECT_NE(m.find("components  (nc).\r\nThird one, in the next row, will be interpreted as  "
                     "components values range.\r\n"),
              std::string::npos);
    const std::string end = "characters.\r\nEnd of the error 100 description";
    EXPECT_EQ(m.substr(m.size() - end.size()), end);
    // nc beyond 16 bits: its 16-bit copy keeps its value.
    EXPECT_EQ(s.header("5 ev\r\n40000\r\n32767\r\nA B C\r\n"),
              "5|ev|Y3 n=5 nc=40000/9 range=64,64 K=50 drawn=40000" + kCleared + " messages=2");
    // The file ends before its count line, or before its header row.
    EXPECT_EQ(s.header("no count here\r\n1000"),
              "1000|Y2|Y3 n=5 nc=40000/9 range=64,64 K=50 drawn=40000" + kCleared + " messages=3");
    EXPECT_EQ(s.row(), RowStatus::EndOfData);
    EXPECT_EQ(s.header("5 ev\r\n4\r\n100\r\n"),
              "Y1|Y2|Y3 n=5 nc=4/4 range=0.195318460646382,0.195318460646382 K=4 drawn=4" +
                  kCleared + " messages=4");
    for (const char* text : {"only\r\ncomments", "3 x\r\n-3\r\n1\r\nA\r\n"}) {
        // nc unread (the start value) or negative: drawnComponents cannot take it.
        Session fresh;
        fresh.open(text);
        EXPECT_THROW(OpenTextHeader(fresh.program, fresh.series, fresh.path), RangeError);
        EXPECT_EQ(fresh.program.shell.clustersEditText, "256");
        EXPECT_FALSE(fresh.program.shell.stretchLocked);
    }
}

int16_t slotWord(const Program& p, size_t i) {
    const size_t at = 1548 + 2 * i;
    return static_cast<int16_t>(p.fvsRecord[at] | (p.fvsRecord[at + 1] << 8));
}

TEST(TextEventRows, ReadsQualifiersAndLeadingComponents) {
    Session s;
    s.program.tree.consideredComponentsNb = 12;
    TextEventTable t;
    t.rows = {{"\t a\tb c", {}}, {"x y z", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}};
    for (int i = 0; i < 20; ++i) t.rows[0].components.push_back(i * 100 - 500);
    t.rows[0].components[1] = 70000;   // 16 low bits: 4464
    t.rows[0].components[2] = -32769;  // 32767
    s.header(textEventFileText(t) + "\r\n  \t\r\n");
    const EventRecord& e = s.program.event;
    s.program.event.components[12] = 77;
    s.program.fvsRecord[0] = 0xFF;

    ASSERT_EQ(s.row(), RowStatus::Read);
    EXPECT_EQ(std::string({e.cath1, e.cath2, e.cath3}), "abc");
    EXPECT_EQ(
        std::vector<int16_t>(e.components.begin(), e.components.begin() + 13),
        (std::vector<int16_t>{-500, 4464, 32767, -200, -100, 0, 100, 200, 300, 400, 500, 600, 77}));
    for (size_t i = 0; i < kComponents; ++i) {
        EXPECT_EQ(e.reals[i], e.components[i]);
        EXPECT_EQ(slotWord(s.program, i), e.components[i]);
    }
    EXPECT_EQ(s.program.fvsRecord[0], 0xFF);  // cleared in compare mode only
    s.program.shell.compareMode = true;
    ASSERT_EQ(s.row(), RowStatus::Read);
    EXPECT_EQ(slotWord(s.program, 11), 12);
    EXPECT_EQ(s.program.fvsRecord[0], 0);
    EXPECT_EQ(s.row(), RowStatus::EndOfData);  // only blank lines left: no message
    EXPECT_TRUE(s.ui.messages.empty());
}

TEST(TextEventRows, FaultyRowsAreReportedAndTheNextRowStartsFresh) {
    Session s;  // 4 components per row
    s.header(
        "3 ev\r\n4\r\n1\r\nA B C\r\n"
        "a b c 1 2 x 4\r\n"  // not a number
        "d e\r\n"            // a qualifier missing
        "f g h 5 6 7 8 9\r\n"
        "l m n 14 15");  // ends part-way at the end of the file
    const EventRecord& e = s.program.event;
    const auto step = [&] {
        EXPECT_EQ(s.row(), RowStatus::Read);
        std::string text{e.cath1, e.cath2, e.cath3};
        for (size_t i = 0; i < 4; ++i) text += " " + std::to_string(e.components[i]);
        return text + " " + std::to_string(s.ui.messages.size());
    };
    EXPECT_EQ(step(), "abc 1 2 0 0 1");  // fields not read keep their values
    EXPECT_EQ(step(), "dec 1 2 0 0 2");
    EXPECT_EQ(step(), "fgh 5 6 7 8 2");
    EXPECT_EQ(step(), "lmn 14 15 7 8 3");
    EXPECT_EQ(s.row(), RowStatus::EndOfData);
    EXPECT_EQ(s.ui.messages.size(), 3u);
}

TEST(TextEventFileWriter, WritesTheLayoutWithCrLf) {
    TextEventTable t{{"note"}, 2, " events", 3, 1.5, "Y1 Y2 Y3", {{"a\tb\tc", {1, -2, 3}}}};
    EXPECT_EQ(textEventFileText(t),
              "note\r\n2 events\r\n3\r\n1.5\r\nY1 Y2 Y3\r\na\tb\tc\t1\t-2\t3\r\n");
}

}  // namespace
}  // namespace zortan
