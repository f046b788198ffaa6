#include "run/CodingDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "robustness/WindowSession.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tools/fixtures/TextEventFileWriter.h"
#include "tools/fixtures/TreeFileWriter.h"

// Whole compare runs, Break, Halt, hibernation, stepwise runs, bad inputs and the
// window given back: see the robustness, console and desktop tests.
namespace zortan {
namespace {

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

constexpr size_t kEmptyCombined = 6 * 254;

// The window's session of the robustness tests, with the inputs used here.
struct Session : testing::WindowSession {
    Session() { p.shell.outputRecogCombined = true; }
    void readTree(const fixtures::TreeFileContents& c) {
        WindowSession::readTree(dir.write("t.vq", fixtures::treeFileText(c)));
    }
    // A text table of `nc` components (rows hold three values).
    std::string text(const std::string& name, const std::vector<HandEvent>& events,
                     int32_t nc = 3) {
        fixtures::TextEventTable t;
        t.eventCount = int64_t(events.size());
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
        h.recordCount = static_cast<uint32_t>(count < 0 ? int64_t(events.size()) : count);
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
    // The error file's report covers `n` events.
    bool reported(const std::string& stem, int n) {
        return bytes(stem + "_error.txt").find("Events number=" + std::to_string(n) + "\r\n") !=
               std::string::npos;
    }
};

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
        // Records: the code (little-endian), the three readings, a 0.
        EXPECT_EQ(s.bytes("hand_Teach.zrt").substr(kEmptyCombined),
                  std::string("\0\0aef\0\2\0bim\0\1\0aof\0", 18));
        EXPECT_EQ(s.bytes("hand_Recog.zrt").substr(kEmptyCombined),
                  std::string("\0\0bom\0\2\0auf\0\1\0aim\0", 18));
        EXPECT_TRUE(s.reported("hand", 3));
        EXPECT_EQ(s.kinds(), "FC");
        EXPECT_EQ(s.p.data1.readCountText, "3");
        EXPECT_FALSE(s.p.shell.controls.readData1Enabled);
    }
}

// A run after another in the same start of the program writes what a run
// right after start-up writes: the counts, paths, events count and value
// lists of the run before are not carried over (the first run's file
// declares fewer events and other categories, and codes at another K). Nor
// is the events count of the tree, trained on fewer events than are coded.
TEST(CodingDriver, ASecondRunWritesWhatAFirstRunWrites) {
    const std::vector<std::string> names = {
        "_Teach.zrt",       "_Recog.zrt",       "_code.txt",        "_error.txt",
        "_teach_cath1.txt", "_teach_cath2.txt", "_teach_cath3.txt", "_recog_cath1.txt",
        "_recog_cath2.txt", "_recog_cath3.txt"};
    // Every output after the certificate, with the session's folder named
    // alike in the text headers.
    auto outputs = [&](Session& s, const std::string& stem) {
        std::string all;
        for (const std::string& n : names) {
            std::string bytes = s.bytes(stem + n);
            if (n.ends_with(".zrt")) bytes = bytes.substr(std::min(bytes.size(), kEmptyCombined));
            for (size_t at; (at = bytes.find(s.dir.path())) != std::string::npos;)
                bytes.replace(at, s.dir.path().size(), "<folder>");
            all += bytes + "|";
            std::remove(s.dir.file(stem + n).c_str());
        }
        return all;
    };
    fixtures::TreeFileContents tree = handTree();
    tree.tree.trainingEventsNb = 1;
    Session fresh, second;
    for (Session* s : {&fresh, &second}) {
        s->allOutputs();
        s->readTree(tree);
    }
    second.window.typeClusters("2");
    second.readData1(second.fvs("first.fvs", {{90, "bum"}, {90, "aaf"}, {-20, "bem"}}, 2));
    ASSERT_TRUE(second.reported("first", 2));
    outputs(second, "first");
    second.readTree(tree);
    fresh.readData1(fresh.fvs("hand.fvs", kHand));
    second.readData1(second.fvs("hand.fvs", kHand));
    EXPECT_TRUE(fresh.reported("hand", 3) && second.reported("hand", 3));
    EXPECT_EQ(outputs(second, "hand"), outputs(fresh, "hand"));
}

// Long fvs files are decided ahead, beyond the records read before the run;
// ties at the root and at node 1 are left to the walk. The records, and in
// compare mode every count and difference, are those of the same events
// read from tables.
TEST(CodingDriver, DecisionsMadeAheadCodeAsTheWalkDoes) {
    std::vector<HandEvent> events, others;
    const std::vector<HandEvent> cycle = {{-20, "aef"}, {5, "bim"},  {90, "aof"}, {50, "bum"},
                                          {0, "aif"},   {-3, "bem"}, {49, "aaf"}};
    for (int i = 0; i < 3000; ++i) {
        events.push_back(cycle[static_cast<size_t>(i) % cycle.size()]);
        others.push_back(cycle[static_cast<size_t>(i * 3 + i / 5) % cycle.size()]);
    }
    std::string results[2][2];
    for (const bool compare : {false, true})
        for (const bool isFvs : {false, true}) {
            Session s;
            s.p.shell.outputTeachCombined = true;
            s.p.shell.compareMode = compare;
            s.readTree(handTree());
            s.readData1(isFvs ? s.fvs("long.fvs", events) : s.text("long.txt", events));
            std::string& r = results[compare][isFvs];
            if (compare) {
                s.click(Command::ReadData2,
                        {isFvs ? s.fvs("other.fvs", others) : s.text("other.txt", others)});
                const CoderState& c = s.p.coder;
                for (const auto* d : {&c.groupDiff, &c.cath1Diff, &c.cath2Diff, &c.cath3Diff})
                    for (size_t t = 0; t < 3; ++t) r += std::to_string(d->at(t)) + " ";
                for (const auto* e : {&c.errorRecords1, &c.errorRecords2})
                    for (const TErrorRecord& t : *e)
                        r += std::to_string(t.cath1) + "," + std::to_string(t.cath2) + "," +
                             std::to_string(t.cath3) + " ";
            } else {
                r = s.bytes("long_Teach.zrt").substr(kEmptyCombined) +
                    s.bytes("long_Recog.zrt").substr(kEmptyCombined);
                EXPECT_EQ(r.size(), 2 * 6 * 3000u);
            }
            ASSERT_TRUE(s.reported("long", 3000));
        }
    EXPECT_EQ(results[0][1], results[0][0]);
    EXPECT_EQ(results[1][1], results[1][0]);
    EXPECT_NE(results[1][0].find("3000,"), std::string::npos) << results[1][0].substr(0, 300);
}

// A whole compare run: see the console tests.
TEST(CodingDriver, CompareModeEndsWithTheLastWholePair) {
    Session s;
    s.p.shell.compareMode = true;
    s.readTree(handTree());
    s.readData1(s.fvs("one.fvs", kHand));
    EXPECT_EQ(s.p.shell.statusCaption, "Click Read data_2 to read next events series");
    // Data_2 announces 3 records and holds 2; its pair 2 parts at two
    // clusters (nodes 1 and 2) and at three (nodes 4 and 2).
    s.click(Command::ReadData2, {s.fvs("two.fvs", {{-20, "aef"}, {90, "bim"}}, 3)});
    EXPECT_EQ(s.p.run.stepCounter, 4);
    EXPECT_EQ(s.kinds(), "?D??C");  // no teaching file, the end, two "not saved"
    // Differences per tree size: group, then categories 1, 2, 3.
    const CoderState& c = s.p.coder;
    std::string diffs;
    for (const auto* d : {&c.groupDiff, &c.cath1Diff, &c.cath2Diff, &c.cath3Diff})
        for (size_t t = 0; t < 3; ++t) diffs += std::to_string(d->at(t));
    EXPECT_EQ(diffs, "011010011011");
    EXPECT_EQ(c.errorRecords1[0].cath1, 2u);  // every event errs at the root
    EXPECT_TRUE(s.reported("one", 2));
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
            EXPECT_NE(s.ui.messages[0].find(" " + std::to_string(frames) + " frames"),
                      std::string::npos);
        }
    }
}

TEST(CodingDriver, TextInputLowersConsideredComponentsUntilTheNextTree) {
    Session s;
    s.readTree(handTree());
    s.readData1(s.text("two.txt", kHand, 2));
    EXPECT_EQ(s.p.tree.consideredComponentsNb, 2);
    EXPECT_EQ(s.kinds(), "WFC");  // 3 components against 2
    s.readData1(s.text("three.txt", kHand));
    EXPECT_EQ(s.p.tree.consideredComponentsNb, 2);
    s.readTree(handTree());
    EXPECT_EQ(s.p.tree.consideredComponentsNb, 3);
}

}  // namespace
}  // namespace zortan
