#include "run/CodingDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "events/FvsReader.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "shell/Program.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tools/fixtures/TextEventFileWriter.h"
#include "tools/fixtures/TreeFileWriter.h"
#include "tree/TreeReader.h"

namespace zortan {
namespace {

using testing::readFileBytes;

// The user at the window: `user` runs whenever the window processes its
// pending events; by default it presses "Next" whenever the run waits.
class RunUi : public testing::ScriptedUi {
  public:
    Program* program = nullptr;
    std::function<void(Program&)> user = [](Program& p) {
        if (p.shell.waiting) pressNext(p.shell);
    };
    void processPendingEvents() override {
        ScriptedUi::processPendingEvents();
        if (program) user(*program);
    }
};

struct HandEvent {
    int x;             // component 0; the others are 0
    const char* cath;  // the three qualifiers
};
// With the hand tree below and K = 3 these code as 0, 2 and 1.
const std::vector<HandEvent> kHand = {{-20, "aef"}, {5, "bim"}, {90, "aof"}};

// Three leaves, three components, only component 0 tells the nodes apart:
// the root splits into node 1 (0) and node 2 (100), node 1 into node 3 (-10)
// and node 4 (10). Leaf codes: node 3 0, node 4 2, node 2 1. Readings
// (lists ab, aeiou, fm): node 2 a i m, node 3 b o m, node 4 a u f.
fixtures::TreeFileContents handTree() {
    const std::vector<double> c0 = {0, 0, 100, -10, 10};
    return fixtures::makeTree(3, 3, fixtures::SplitOrder::Balanced,
                              [c0](int node, int i) { return i == 0 ? c0.at(node) : 0.0; });
}

std::string records(const std::vector<std::pair<int, std::string>>& coded) {
    std::string bytes;
    for (const auto& [code, cath] : coded) bytes += std::string{char(code), '\0'} + cath + '\0';
    return bytes;
}

constexpr size_t kEmptyCombined = 6 * 254;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct Session {
    testing::TempDir dir;
    RunUi ui;
    Program p{ui, dir.path()};

    Session() {
        ui.program = &p;
        p.options.initFilePath = dir.file("Init.txt");
        p.options.teachFileName = dir.file("x_Teach.zrt");
        p.shell.outputRecogCombined = true;
        p.clock = [] { return LocalDateTime{2024, 3, 1, 12, 0, 0, 0}; };
        p.hibernate = [](bool, bool) { ADD_FAILURE() << "hibernated"; };
    }
    void readTree(const fixtures::TreeFileContents& c) {
        fixtures::writeTreeFile(dir.file("t.vq"), c);
        ui.answers.push_back(dir.file("t.vq"));
        ReadTreeProcedure(p);
    }
    // As the window's "Read data_1": the events count is reset first.
    void readData1(const std::string& path, const std::vector<std::string>& answers = {}) {
        p.eventNbr = std::numeric_limits<int64_t>::max();
        ui.answers.push_back(path);
        ui.answers.insert(ui.answers.end(), answers.begin(), answers.end());
        ReadData1(p);
    }
    void readData2(const std::string& path) {
        ui.answers.push_back(path);
        ReadData2(p);
    }
    // A text table of `nc` components (rows hold three values).
    std::string text(const std::string& name, const std::vector<HandEvent>& events,
                     int64_t count = -1, int32_t nc = 3) {
        fixtures::TextEventTable t;
        t.eventCount = count < 0 ? int64_t(events.size()) : count;
        t.nc = nc;
        for (const HandEvent& e : events)
            t.rows.push_back({{e.cath[0], '\t', e.cath[1], ' ', e.cath[2]}, {e.x, 0, 0}});
        fixtures::writeTextEventFile(dir.file(name), t);
        return dir.file(name);
    }
    // An fvs file whose settings match the hand tree's training settings.
    std::string fvs(const std::string& name, const std::vector<HandEvent>& events,
                    int64_t count = -1) {
        fixtures::FvsHeader h;
        h.recordCount = static_cast<uint32_t>(count < 0 ? events.size() : count);
        h.windowShape = h.preemphasis = 1;
        h.lifterThreshold = 24;
        std::vector<fixtures::FvsEvent> out(events.size());
        for (size_t i = 0; i < events.size(); ++i) {
            out[i].features[3][0] = static_cast<int16_t>(events[i].x);
            out[i].cath1 = events[i].cath[0], out[i].cath2 = events[i].cath[1];
            out[i].cath3 = events[i].cath[2];
        }
        fixtures::writeFvsFile(dir.file(name), h, out);
        return dir.file(name);
    }
    std::string bytes(const std::string& name) { return readFileBytes(dir.file(name)); }
    // The error file's report covers `n` events.
    bool reported(const std::string& stem, int n) {
        return has(bytes(stem + "_error.txt"), "Events number=" + std::to_string(n) + "\r\n");
    }
    // One letter per message: F the finish list, N "not saved", C the
    // clusters box ticked again, O no teaching output, W the settings
    // warning, ? any other.
    std::string kinds() const {
        std::string k;
        for (const std::string& m : ui.messages)
            k += m.starts_with("Program finished\r\nFind results in:\r\n\"")     ? 'F'
                 : m.starts_with("Program finished.\r\nDue to your choice")      ? 'N'
                 : m == "Do not change centroids number during processing!!!"    ? 'C'
                 : m == "No output file for the teaching sample will be created" ? 'O'
                 : m.starts_with("WARNING!\r\n")                                 ? 'W'
                                                                                 : '?';
        return k;
    }
};

template <typename F>
int exitStatusOf(F f) {
    try {
        f();
    } catch (const ProgramEnd& e) {
        return e.exitStatus;
    }
    return -1;
}

void expectWindowGivenBack(const Program& p, bool stoppedByError = false) {
    const WindowControls& w = p.shell.controls;
    EXPECT_TRUE(p.run.runFinished);
    EXPECT_EQ(p.shell.statusCaption, "Program Finished!");
    EXPECT_TRUE(w.readTreeEnabled && w.inputGroupEnabled);
    // "Read data_1" disables "Compare" after its run, unless an error stopped
    // it; "Read data_2" enables it.
    EXPECT_EQ(w.compareEnabled, p.shell.compareMode || stoppedByError);
    EXPECT_FALSE(w.stopContinueEnabled || w.breakEnabled || w.inputGroupGrey);
    EXPECT_TRUE(p.shell.clustersChangeable && p.shell.clustersEditEnabled);
    EXPECT_FALSE(p.shell.clustersEditRed);
}

TEST(CodingDriver, HandTreeCodesEveryInputKind) {
    // ".FVS" in capitals is not the fvs extension: that file is a text table.
    for (const auto& [name, isFvs] : {std::pair{"hand.txt", false}, std::pair{"hand.fvs", true},
                                      std::pair{"hand.FVS", false}}) {
        SCOPED_TRACE(name);
        Session s;
        s.readTree(handTree());
        s.readData1(isFvs ? s.fvs(name, kHand) : s.text(name, kHand));
        EXPECT_EQ(inputIsFvs(s.p, 1), isFvs);
        EXPECT_EQ(s.p.shell.clustersNb, 3);
        EXPECT_EQ(s.bytes("hand_Teach.zrt").substr(kEmptyCombined),
                  records({{0, "aef"}, {2, "bim"}, {1, "aof"}}));
        EXPECT_EQ(s.bytes("hand_Recog.zrt").substr(kEmptyCombined),
                  records({{0, "bom"}, {2, "auf"}, {1, "aim"}}));
        EXPECT_TRUE(s.reported("hand", 3));
        EXPECT_EQ(s.kinds(), "FC");
        EXPECT_EQ(s.p.data1.readCountText, "3");
        EXPECT_FALSE(s.p.shell.controls.readData1Enabled);
        expectWindowGivenBack(s.p);
    }
}

TEST(CodingDriver, SampleRunCopiesQualifiersAndWritesOneCodePerEvent) {
    Session s;
    s.p.shell.outputTeachCodes = true;
    setStepwiseProceeding(s.p.shell, false);
    s.ui.answers.push_back(ZORTAN_SAMPLES_DIR "/vowels-cep16-centroids32.vq");
    ReadTreeProcedure(s.p);
    s.readData1(ZORTAN_SAMPLES_DIR "/vowels.fvs");
    const size_t n = 477;
    const std::string teach = s.bytes("vowels_Teach.zrt"), code = s.bytes("vowels_code.txt");
    const std::string events = readFileBytes(ZORTAN_SAMPLES_DIR "/vowels.fvs");
    ASSERT_TRUE(teach.size() == 6 * (254 + n) && code.size() > n);
    for (size_t i = 0; i < n; ++i) {
        const size_t at = kEmptyCombined + 6 * i;
        EXPECT_EQ(teach.substr(at + 2, 3), events.substr(1812 * (i + 1) + 1806, 3)) << i;
        EXPECT_TRUE(static_cast<unsigned char>(teach[at]) < 32 && teach[at + 1] == 0) << i;
        EXPECT_EQ(code[code.size() - n + i], teach[at]) << i;
    }
    EXPECT_TRUE(s.reported("vowels", 477));
}

TEST(CodingDriver, CompareModeCountsDifferencesPerTreeSize) {
    Session s;
    s.p.shell.compareMode = true;
    s.readTree(handTree());
    std::vector<std::string> shown;
    s.ui.user = [&](Program& p) {
        if (!p.shell.waiting) return;
        shown.push_back(p.data1.readCountText + p.data2.readCountText);
        pressNext(p.shell);
    };
    const std::string one = s.fvs("one.fvs", kHand);
    s.readData1(one);
    EXPECT_EQ(s.p.shell.statusCaption, "Click Read data_2 to read next events series");
    EXPECT_TRUE(s.p.shell.controls.readData2Enabled && shown.empty());
    // Pair 2 parts at two clusters (nodes 1 and 2) and at three (nodes 4 and 2).
    const std::string two = s.fvs("two.fvs", {{-20, "aef"}, {90, "bim"}, {90, "aof"}});
    s.readData2(two);
    EXPECT_EQ(shown, (std::vector<std::string>{"11", "22", "33"}));
    const CoderState& c = s.p.coder;
    using V = std::vector<uint32_t>;
    EXPECT_EQ(V(c.groupDiff.begin(), c.groupDiff.begin() + 3), (V{0, 1, 1}));
    EXPECT_EQ(V(c.cath1Diff.begin(), c.cath1Diff.begin() + 3), (V{0, 1, 0}));
    EXPECT_EQ(V(c.cath2Diff.begin(), c.cath2Diff.begin() + 3), (V{0, 1, 1}));
    EXPECT_EQ(V(c.cath3Diff.begin(), c.cath3Diff.begin() + 3), (V{0, 1, 1}));
    EXPECT_EQ(s.p.run.stepCounter, 6);
    EXPECT_EQ(s.kinds(), "ONNC");
    EXPECT_FALSE(fileExists(s.dir.file("one_Teach.zrt")));
    EXPECT_TRUE(s.reported("one", 3));
    expectWindowGivenBack(s.p);

    // Data_1's step of pair k shows k-1, data_2's shows k.
    s.ui.answers = {one, two};
    for (EventSeries* series : {&s.p.data1, &s.p.data2}) {
        ChooseAndOpenInput(s.p, *series, "again");
        OpenFvsHeader(s.p, *series);
    }
    s.p.run.stepCounter = 0;
    shown.clear();
    for (int i = 0; i < 5; ++i) {
        const bool first = i % 2 == 0;
        PerEventStep(s.p, first ? s.p.data1 : s.p.data2,
                     first ? s.p.coder.nodePath1 : s.p.coder.nodePath2,
                     first ? s.p.coder.errorRecords1 : s.p.coder.errorRecords2);
        shown.push_back(s.p.data1.readCountText + s.p.data2.readCountText);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"00", "11", "11", "22", "22"}));
}

TEST(CodingDriver, InputEndingEarlyEndsTheRunAfterOneMessage) {
    {  // A text table announcing 5 events that holds 2.
        Session s;
        s.readTree(handTree());
        const std::string path = s.text("short.txt", {kHand[0], kHand[1]}, 5);
        s.readData1(path);
        ASSERT_EQ(s.kinds(), "?FC");
        EXPECT_TRUE(has(s.ui.messages[0], "\"" + path + "\"") && has(s.ui.messages[0], "2 events"));
        EXPECT_EQ(s.bytes("short_Teach.zrt").size(), 6 * (254 + 2));
        EXPECT_TRUE(s.reported("short", 2));
        EXPECT_EQ(s.p.eventNbr, 2);
        expectWindowGivenBack(s.p);
    }
    {  // In compare mode data_2 holds 2 of its 3 records: two whole pairs.
        Session s;
        s.p.shell.compareMode = true;
        setStepwiseProceeding(s.p.shell, false);
        s.readTree(handTree());
        s.readData1(s.fvs("one.fvs", kHand));
        const std::string two = s.fvs("two.fvs", {kHand[0], kHand[1]}, 3);
        s.readData2(two);
        ASSERT_EQ(s.kinds(), "O?NNC");
        EXPECT_TRUE(has(s.ui.messages[1], "\"" + two + "\"") && has(s.ui.messages[1], "2 events"));
        EXPECT_EQ(s.p.run.stepCounter, 4);
        for (int t = 0; t < 3; ++t) {
            const TErrorRecord &a = s.p.coder.errorRecords1[t], &b = s.p.coder.errorRecords2[t];
            EXPECT_TRUE(a.cath1 == b.cath1 && a.cath2 == b.cath2 && a.cath3 == b.cath3) << t;
        }
        EXPECT_EQ(s.p.coder.errorRecords1[0].cath1, 2u);  // every event errs at the root
        EXPECT_TRUE(s.reported("one", 2));
    }
}

TEST(CodingDriver, RunsWithoutEventsStillFinish) {
    for (int frames : {-1, 0, 402}) {  // -1: no averaging, a table of 0 events
        SCOPED_TRACE(frames);
        Session s;
        fixtures::TreeFileContents tree = handTree();
        tree.tree.training.averaging = frames >= 0;
        tree.tree.training.averagingFrames = frames;
        s.readTree(tree);
        s.readData1(frames < 0 ? s.text("none.txt", {}) : s.fvs("none.fvs", kHand));
        EXPECT_EQ(s.p.run.stepCounter, 0);
        EXPECT_EQ(s.p.data1.readCountText, "xxx");
        EXPECT_EQ(s.bytes("none_Teach.zrt").size(), kEmptyCombined);
        EXPECT_TRUE(s.reported("none", 0));
        EXPECT_EQ(s.kinds(), frames < 0 ? "FC" : "?FC");
        if (frames >= 0) {
            EXPECT_TRUE(has(s.ui.messages[0], " " + std::to_string(frames) + " frames"));
        }
        expectWindowGivenBack(s.p);
    }
}

TEST(CodingDriver, StepwiseRunIdlesUntilNext) {
    Session s;
    s.readTree(handTree());
    std::vector<int64_t> idle;
    s.ui.user = [&](Program& p) {
        if (!p.shell.waiting) return;
        idle.push_back(p.run.stepCounter);
        if (idle.size() % 3 == 0) pressNext(p.shell);
    };
    s.readData1(s.text("step.txt", kHand));
    EXPECT_EQ(idle, (std::vector<int64_t>{1, 1, 1, 2, 2, 2, 3, 3, 3}));
}

TEST(CodingDriver, BreakAnsweredNoGoesOnAndYesStops) {
    Session s;
    s.p.shell.hibernateOnFinish = true;
    s.readTree(handTree());
    s.ui.user = [](Program& p) {
        if (!p.shell.waiting) return;
        if (p.run.stepCounter >= 2) pressBreak(p.shell);
        pressNext(p.shell);
    };
    s.readData1(s.text("brk.txt", {kHand[0], kHand[1], kHand[2], kHand[0], kHand[1]}),
                {"no", "yes"});
    EXPECT_EQ(
        std::count(s.ui.log.begin(), s.ui.log.end(), "question: Breaks program!|Break coding?"), 2);
    EXPECT_EQ(s.p.run.stepCounter, 3);
    EXPECT_EQ(s.bytes("brk_Teach.zrt").size(), 6 * (254 + 3));
    EXPECT_TRUE(s.reported("brk", 3));
    EXPECT_FALSE(s.p.shell.breakRequested);
    EXPECT_FALSE(s.p.shell.hibernateOnFinish);  // Break unticks it: no hibernation
    expectWindowGivenBack(s.p);
}

TEST(CodingDriver, TextInputLowersConsideredComponentsUntilTheNextTree) {
    Session s;
    s.readTree(handTree());
    s.readData1(s.text("two.txt", kHand, -1, 2));
    EXPECT_EQ(s.p.tree.consideredComponentsNb, 2);
    EXPECT_EQ(s.kinds(), "WFC");  // 3 components against 2
    s.readData1(s.text("three.txt", kHand));
    EXPECT_EQ(s.p.tree.consideredComponentsNb, 2);
    s.readTree(handTree());
    EXPECT_EQ(s.p.tree.consideredComponentsNb, 3);
}

TEST(CodingDriver, DataCommandsRefuseWithoutATree) {
    Session s;
    ReadData1(s.p);
    ReadData2(s.p);
    EXPECT_EQ(s.ui.messages, (std::vector<std::string>{"Read tree first!", "Read tree first!"}));
    EXPECT_TRUE(s.ui.dialogs.empty());
    EXPECT_EQ(s.p.shell.focus, Focus::ReadTree);
    EXPECT_TRUE(s.p.shell.controls.readTreeEnabled && s.p.shell.clustersChangeable);
}

TEST(CodingDriver, HaltClosesOnlyWhatARunLeftOpen) {
    {
        Session s;
        EXPECT_EQ(exitStatusOf([&] { Halt(s.p); }), 0);
        EXPECT_EQ(s.kinds(), "NN");
        EXPECT_EQ(s.p.shell.statusCaption,
                  "Program Canceled!; find results in " + s.dir.file("x_Teach.zrt"));
    }
    {
        Session s;
        s.readTree(handTree());
        s.readData1(s.text("done.txt", kHand));
        EXPECT_EQ(exitStatusOf([&] { Halt(s.p); }), 0);
        EXPECT_EQ(s.kinds(), "FC");  // nothing more
    }
    {  // During a run: the outputs so far are complete, no report is written.
        Session s;
        s.readTree(handTree());
        s.ui.user = [](Program& p) {
            if (p.shell.waiting && p.run.stepCounter == 2) Halt(p);
            pressNext(p.shell);
        };
        EXPECT_EQ(exitStatusOf([&] { s.readData1(s.text("halt.txt", kHand)); }), 0);
        EXPECT_EQ(s.bytes("halt_Teach.zrt").size(), 6 * (254 + 2));
        EXPECT_FALSE(has(s.bytes("halt_error.txt"), "Events number="));
        EXPECT_EQ(s.kinds(), "F");
    }
}

TEST(CodingDriver, PlatformErrorClosesOutputsAndGivesTheWindowBack) {
    Session s;
    fixtures::TreeFileContents tree = handTree();
    tree.tree.nodeHeap[2].treeCath1 = 9;  // beyond the list "ab"
    s.readTree(tree);
    EXPECT_THROW(s.readData1(s.text("bad.txt", {kHand[0], kHand[2], kHand[1]})), RangeError);
    EXPECT_EQ(s.bytes("bad_Teach.zrt").size(), 6 * (254 + 1));
    EXPECT_EQ(s.bytes("bad_Recog.zrt").size(), 6 * (254 + 1));
    EXPECT_TRUE(s.reported("bad", 1));
    expectWindowGivenBack(s.p, true);

    // A header refused before the run (a negative nc) unlocks what "Read
    // data_1" locked.
    Session t;
    t.readTree(handTree());
    EXPECT_THROW(t.readData1(t.text("neg.txt", kHand, -1, -1)), RangeError);
    EXPECT_TRUE(t.p.shell.controls.readTreeEnabled && t.p.shell.clustersChangeable);
    EXPECT_TRUE(t.p.shell.clustersEditEnabled && !t.p.shell.nextEnabled);
    EXPECT_TRUE(t.ui.messages.empty());
}

TEST(CodingDriver, HibernatesAfterClosingAndSurvivesAFailure) {
    for (bool failing : {false, true}) {
        SCOPED_TRACE(failing);
        Session s;
        s.p.shell.hibernateOnFinish = true;
        s.readTree(handTree());
        std::vector<std::string> calls;
        s.p.hibernate = [&](bool suspend, bool force) {
            // The outputs are complete and nothing has been shown yet.
            calls.push_back(std::to_string(suspend) + std::to_string(force) + " " +
                            std::to_string(s.bytes("hib_Teach.zrt").size()) + " " + s.kinds());
            if (failing) throw InOutError(5, "Access is denied.");
        };
        s.readData1(s.text("hib.txt", kHand));
        EXPECT_EQ(calls, (std::vector<std::string>{"01 " + std::to_string(6 * (254 + 3)) + " "}));
        EXPECT_EQ(s.kinds(), failing ? "?FC" : "FC");
        EXPECT_EQ(s.ui.messages[0], failing ? "Access is denied." : s.ui.messages[0]);
        expectWindowGivenBack(s.p);
    }
}

}  // namespace
}  // namespace zortan
