#include "events/TextEventReader.h"
#include "run/TextInput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Format.h"
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
               " n=" + series.eventsCountText + "/" + std::to_string(program.eventNbr) +
               " nc=" + std::to_string(series.nc) + "/" +
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

TEST(TextEventHeader, CountLineNamesAndFaults) {
    const std::string abc = "\r\n3\r\n32767\r\nA B C\r\n";
    const struct {
        std::string text, summary;
        int messages = 0;
    } cases[] = {
        {"Table of vowels\r\n  -- five lines\r\n+++\r\n\r\n1000 events" + abc,
         "A|B|C n=1000/1000 nc=3/3 range=64,64 K=3 drawn=3"},
        // A lone number is a comment.
        {"1000\r\n1000\t\t\t" + abc, "A|B|C n=1000/1000 nc=3/3 range=64,64 K=3 drawn=3"},
        {"12abc x\r\n2024 recorded" + abc, "A|B|C n=2024/2024 nc=3/3 range=64,64 K=3 drawn=3"},
        {" -#*. 7\tseven and more" + abc, "A|B|C n=7/7 nc=3/3 range=64,64 K=3 drawn=3"},
        {"99999999999999999999 too long\r\n0 events" + abc,
         "A|B|C n=0/0 nc=3/3 range=64,64 K=3 drawn=3"},
        {"exported\r\n321 events\r\n12\r\n32767\r\nSpeaker\tVowel  Gender c1\r\n",
         "Speaker|Vowel|Gender n=321/321 nc=12/12 range=64,64 K=12 drawn=12"},
        {"exported\r\n321 events\r\n12\r\n32767\r\nSpeaker Vowel\r\n",
         "Speaker|Vowel|Y3 n=321/321 nc=12/12 range=64,64 K=12 drawn=12"},
        {"exported\r\n321 events\r\n12\r\n32767\r\n\r\n",
         "Y1|Y2|Y3 n=321/321 nc=12/12 range=64,64 K=12 drawn=12"},
        // An nc above the tree sizes is clamped by the clusters entry.
        {"5 x\r\n70\r\n16383.5\r\nA B C\r\n", "A|B|C n=5/5 nc=70/70 range=32,32 K=50 drawn=70"},
        // Faults (their messages, an unread or negative nc: see the bad event
        // file tests). A non-numeric nc: the names come from the count line,
        // the earlier nc stays.
        {"1000 events\r\nabc\r\n100\r\nA B C\r\n",
         "1000|events|Y3 n=1000/1000 nc=20/9 range=64,64 K=20 drawn=20", 1},
        // No header row: no names; the range is taken as it stands.
        {"5 ev\r\n4\r\n100\r\n",
         "Y1|Y2|Y3 n=5/5 nc=4/4 range=0.195318460646382,0.195318460646382 K=4 drawn=4", 1},
    };
    for (const auto& c : cases) {
        Session s;
        s.series.nc = 20;
        s.series.settings.lifterThreshold = 9;
        EXPECT_EQ(s.header(c.text),
                  c.summary + kCleared + " messages=" + std::to_string(c.messages));
        if (c.messages) {
            EXPECT_TRUE(s.ui.messages[0].starts_with("Error 100.\r\n"));
        }
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

}  // namespace
}  // namespace zortan
