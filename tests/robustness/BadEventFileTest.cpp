// Bad event files given to "Read data_1": text tables and fvs files, with
// the messages each gives and what the run leaves in its outputs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "events/TextEventReader.h"
#include "robustness/WindowSession.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tools/fixtures/TreeFileWriter.h"

namespace zortan {
namespace {

using testing::CombinedFile;
using testing::readCombinedFile;
using testing::WindowSession;

// Three leaves over three components, only component 0 telling the nodes
// apart; its settings match a table of three components and the fvs files
// below, so that no settings warning comes between the messages.
fixtures::TreeFileContents tree() {
    const std::vector<double> c0 = {0, 0, 100, -10, 10};
    fixtures::TreeFileContents t =
        fixtures::makeTree(3, 3, fixtures::SplitOrder::Balanced,
                           [c0](int n, int i) { return i == 0 ? c0.at(n) : 0.0; });
    t.tree.training.lifterThreshold = 3;
    return t;
}

struct EventSession : WindowSession {
    EventSession() {
        p.shell.outputRecogCombined = true;
        readTree(dir.write("t.vq", fixtures::treeFileText(tree())));
        EXPECT_TRUE(p.shell.treeRead);
        ui.messages.clear();
    }
    std::string table(const std::string& text, const std::string& name = "ev.txt") {
        return dir.write(name, text);
    }
    CombinedFile teach(const std::string& stem = "ev") const {
        return readCombinedFile(bytes(stem + "_Teach.zrt"));
    }
    std::string qualifiers(const std::string& stem = "ev") const {
        std::string q;
        for (const auto& r : teach(stem).records) q += r.cath + " ";
        return q;
    }
    std::string codes(const std::string& stem = "ev") const {
        std::string c;
        for (const auto& r : teach(stem).records) c += std::to_string(r.code);
        return c;
    }
};

const std::string kHeader = "4 events\r\n3\r\n32767\r\nV S G\r\n";

TEST(BadTextTable, HeaderFaultsWithoutAnyNcStopTheCommandBeforeTheRun) {
    for (const std::string& text :
         {std::string("only a comment\r\nand another\r\n"), std::string("1000\r\n"), std::string(),
          std::string("4 events\r\nabc\r\n1\r\nV S G\r\na b c 1 2 3\r\n"),
          std::string("4 events\r\n-3\r\n1\r\nV S G\r\n"),
          std::string("4 events\r\n70000\r\n1\r\nV S G\r\n"),
          std::string("4 events\r\n99999999999\r\n1\r\nV S G\r\n")}) {
        SCOPED_TRACE(text);
        EventSession s;
        const std::string path = s.table(text);
        s.readData1(path);
        const bool headerFault = text.find("-3") == std::string::npos;
        EXPECT_EQ(s.kinds(), headerFault ? "E" : "");
        if (headerFault) {
            EXPECT_EQ(s.ui.messages[0], error100Message(path));
        }
        EXPECT_EQ(s.ui.errors, std::vector<std::string>{"Range check error"});
        // Nothing was created and the window is as before.
        EXPECT_FALSE(fileExists(s.dir.file("ev_Teach.zrt")));
        EXPECT_FALSE(fileExists(s.dir.file("ev_error.txt")));
        EXPECT_EQ(s.p.shell.clustersEditText, "3");
        EXPECT_TRUE(s.window.enabled(Command::ReadTree) && s.window.enabled(Command::ReadData1));
        EXPECT_TRUE(s.p.shell.clustersEditEnabled && !s.p.shell.clustersEditRed);
        // A good table runs next.
        s.readData1(s.table(kHeader + "a b c 1 2 3\r\n", "good.txt"));
        EXPECT_EQ(s.teach("good").records.size(), 1u);
    }
}

// After a header fault the header items left are not read: the lines after
// the fault are taken as rows, and the names come from the count line.
TEST(BadTextTable, HeaderFaultsAfterNcAreReportedAndTheRunGoesOn) {
    struct Case {
        std::string text;
        std::string labels;  // the category names taken
        std::string kinds;   // the messages
        std::string qualifiers;
    };
    for (const Case& c : {
             // nc beyond 16 bits (the settings check warns of it); the range
             // and the header row become rows.
             Case{"4 events\r\n40000\r\n32767\r\nV S G\r\na b c 1 2 3\r\n", "4|events|Y3",
                  "EWEEDFC", "327 VSG abc "},
             // A bad value range.
             Case{"4 events\r\n3\r\nwide\r\nV S G\r\na b c 1 2 3\r\n", "4|events|Y3", "EEDFC",
                  "VSG abc "},
             // No header row before the end: no names at all.
             Case{"4 events\r\n3\r\n32767", "Y1|Y2|Y3", "EDFC", ""},
         }) {
        SCOPED_TRACE(c.text);
        EventSession s;
        const std::string path = s.table(c.text);
        s.readData1(path);
        EXPECT_EQ(s.kinds(), c.kinds);
        EXPECT_EQ(s.ui.messages.at(0), error100Message(path));
        EXPECT_EQ(s.p.cathLabel1 + "|" + s.p.cathLabel2 + "|" + s.p.cathLabel3, c.labels);
        EXPECT_TRUE(s.ui.errors.empty());
        EXPECT_TRUE(s.p.run.runFinished);
        EXPECT_EQ(s.qualifiers(), c.qualifiers);
        EXPECT_TRUE(s.teach().wellFormed);
    }
}

TEST(BadTextTable, BadRowsAreReportedEachAndEveryRowIsCoded) {
    EventSession s;
    // Row 2: a word among the values; row 3: too few values; row 4: only
    // qualifiers; row 5: overlong qualifiers push a letter into the values;
    // row 6: a value beyond 32 bits. Row 7 "abc" and row 8 "ab c" are taken
    // as three one-character qualifiers; 70000 keeps its low 16 bits.
    const std::string rows =
        "a e f -20 0 0\r\n"
        "b i m 5 x 0\r\n"
        "a o f 90 0\r\n"
        "b u m\r\n"
        "aa ee ff 1 2 3\r\n"
        "a e f 3000000000 0 0\r\n"
        "abc 90 0 0\r\n"
        "\r\n   \t\r\n"
        "ab c 70000 0 0\r\n";
    const std::string path = s.table("8 events\r\n3\r\n32767\r\nV S G\r\n" + rows);
    s.readData1(path);
    EXPECT_EQ(s.kinds(), "EEEEEFC");
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(s.ui.messages[i], error100Message(path));
    EXPECT_TRUE(s.ui.errors.empty());
    EXPECT_EQ(s.qualifiers(), "aef bim aof bum aae aef abc abc ");
    // A faulty row keeps the earlier row's components from where it failed:
    // row 2 codes its 5, rows 3 to 6 row 3's 90; 70000 is 4464.
    EXPECT_EQ(s.codes(), "02111111");
    EXPECT_TRUE(s.teach().wellFormed);
}

TEST(BadTextTable, FewerRowsThanCountedEndTheRunWithOneMessage) {
    for (int rows : {0, 1, 3}) {
        SCOPED_TRACE(rows);
        EventSession s;
        std::string text = "10 events\r\n3\r\n32767\r\nV S G\r\n";
        for (int r = 0; r < rows; ++r) text += "a e f 1 2 3\r\n";
        const std::string path = s.table(text);
        s.readData1(path);
        EXPECT_EQ(s.ui.messages.at(0), "The event file \"" + path +
                                           "\" holds no further event.\r\n" + std::to_string(rows) +
                                           " events of it were coded; the run ends here.");
        EXPECT_EQ(s.kinds(), "DFC");
        EXPECT_EQ(s.teach().records.size(), size_t(rows));
        EXPECT_EQ(readCombinedFile(s.bytes("ev_Recog.zrt")).records.size(), size_t(rows));
        EXPECT_NE(s.bytes("ev_error.txt").find("Events number=" + std::to_string(rows) + "\r\n"),
                  std::string::npos);
    }
    // More rows than counted: the count wins, silently.
    EventSession s;
    s.readData1(
        s.table("2 events\r\n3\r\n32767\r\nV S G\r\na e f 1 2 3\r\nb e f 1 2 3\r\nc e f\r\n"));
    EXPECT_EQ(s.kinds(), "FC");
    EXPECT_EQ(s.qualifiers(), "aef bef ");
}

// fvs files: a header record and events whose cepstrum (kind 3) is coded.
struct FvsFile {
    fixtures::FvsHeader header;
    std::vector<fixtures::FvsEvent> events;
    FvsFile(int n) {
        header.recordCount = static_cast<uint32_t>(n);
        header.windowShape = header.preemphasis = 1;
        header.lifterThreshold = 3;
        for (int i = 0; i < n; ++i) {
            fixtures::FvsEvent e;
            e.features[3][0] = static_cast<int16_t>(i % 2 ? 90 : -20);
            e.cath1 = "ab"[i % 2];
            events.push_back(e);
        }
    }
    std::string bytes() const {
        std::string out;
        const auto put = [&out](const FvsRecord& r) { out.append(r.begin(), r.end()); };
        put(fixtures::encodeFvsHeader(header));
        for (const auto& e : events) put(fixtures::encodeFvsEvent(e));
        return out;
    }
};

TEST(BadFvsFile, LengthNotAMultipleOfTheRecordCodesTheWholeRecords) {
    const std::string whole = FvsFile(3).bytes();
    for (size_t cut : {size_t{1}, size_t{900}, size_t{1811}}) {
        SCOPED_TRACE(cut);
        EventSession s;
        const std::string path = s.dir.write("ev.fvs", whole.substr(0, whole.size() - cut));
        s.readData1(path);
        EXPECT_EQ(s.ui.messages.at(0), "The event file \"" + path +
                                           "\" holds no further event.\r\n2 events of it were "
                                           "coded; the run ends here.");
        EXPECT_EQ(s.kinds(), "DFC");
        EXPECT_EQ(s.qualifiers(), "aaa baa ");
        EXPECT_EQ(s.p.data1.eventsCountText, "3");
    }
}

TEST(BadFvsFile, RecordCountLargerOrSmallerThanTheFile) {
    for (uint32_t count : {477u, 4294967295u, 1u, 0u}) {
        SCOPED_TRACE(count);
        EventSession s;
        FvsFile f(3);
        f.header.recordCount = count;
        const std::string path = s.dir.write("ev.fvs", f.bytes());
        s.readData1(path);
        const size_t coded = std::min<size_t>(count, 3);
        EXPECT_EQ(s.kinds(), count > 3 ? "DFC" : "FC");
        EXPECT_EQ(s.teach().records.size(), coded);
        EXPECT_EQ(s.p.data1.eventsCountText, std::to_string(count));
        EXPECT_NE(s.bytes("ev_error.txt").find("Events number=" + std::to_string(coded) + "\r\n"),
                  std::string::npos);
    }
}

TEST(BadFvsFile, WrongRealTypeSizeReadsStepAndRateAsZeroAndWarns) {
    for (int16_t size : {0, 2, 8, -1, -32768}) {
        SCOPED_TRACE(size);
        EventSession s;
        FvsFile f(2);
        f.header.realTypeSize = size;
        s.readData1(s.dir.write("ev.fvs", f.bytes()));
        EXPECT_EQ(s.kinds(), "SSWFC");
        const std::string n = std::to_string(size);
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(
                s.ui.messages[size_t(i)],
                "The realType size declaread in the Ondrix analyzer (=" + n +
                    "), differs from the realType declaread here (=4).\r\nThe parameter\r\n\r\n" +
                    (i ? "RATE" : "STEP") +
                    "\r\n\r\nwill be incorrectly read out.\r\nThis influences averaging "
                    "parameters in the spectra or cepstra preprocessing consisted in "
                    "time-constant contribution removal.\r\nYou should set this parameter "
                    "manually\r\nThe discrepancy can appear if you use analysis resultst "
                    "from before march 2007,\r\nwhich were recorded without sending this "
                    "parameter...");
        EXPECT_EQ(s.p.data1.settings.frameStep, 0.0);
        EXPECT_EQ(s.p.data1.settings.rate, 0.0);
        EXPECT_EQ(s.teach().records.size(), 2u);
    }
}

TEST(BadFvsFile, FileWithoutAWholeHeaderStopsBeforeTheRun) {
    for (size_t size : {size_t{0}, size_t{4}, size_t{1811}}) {
        SCOPED_TRACE(size);
        EventSession s;
        s.readData1(s.dir.write("ev.fvs", FvsFile(0).bytes().substr(0, size)));
        EXPECT_EQ(s.ui.errors, std::vector<std::string>{"Read beyond end of file"});
        EXPECT_EQ(s.kinds(), "");
        EXPECT_FALSE(fileExists(s.dir.file("ev_Teach.zrt")));
        EXPECT_TRUE(s.window.enabled(Command::ReadData1) && s.window.enabled(Command::ReadTree));
    }
}

}  // namespace
}  // namespace zortan
