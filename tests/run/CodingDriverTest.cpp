// Coding runs driven at the window model: the input kinds, the decisions made
// ahead for long fvs files, compare mode, empty runs, and several runs in one
// start of the program. (Break, Halt, bad inputs and failing disks: see the
// robustness tests; the front ends: the console and desktop tests.)
#include "run/CodingDriver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "support/Session.h"

namespace zortan {
namespace {

namespace fs = std::filesystem;
using testing::Event;
using testing::referenceEvents;
using testing::Session;

TEST(CodingDriver, CodesEveryInputKind) {
    // ".FVS" in capitals is not the fvs extension: that file is a text table.
    for (const auto& [name, isFvs] :
         {std::pair{"ev.txt", false}, std::pair{"ev.fvs", true}, std::pair{"ev.FVS", false}}) {
        SCOPED_TRACE(name);
        Session s;
        s.allOutputs();
        s.readTree();
        s.readData1(isFvs ? s.fvs(name, referenceEvents(3)) : s.table(name, referenceEvents(3)));
        EXPECT_EQ(inputIsFvs(s.p, 1), isFvs);
        EXPECT_EQ(s.p.shell.clustersNb, 3);
        EXPECT_EQ(testing::referenceMismatch(s.dir.path(), 3, true), "");
        EXPECT_EQ(s.kinds(), "FC");
        EXPECT_EQ(s.p.data1.readCountText, "3");
        EXPECT_FALSE(s.p.shell.controls.readData1Enabled);
    }
}

// Long fvs files are decided ahead, beyond the records read before the run;
// ties at the root and at node 1 are left to the walk. The records, and in
// compare mode every count and difference, are those of the same events
// read from tables.
TEST(CodingDriver, DecisionsMadeAheadCodeAsTheWalkDoes) {
    std::vector<Event> events, others;
    const std::vector<Event> cycle = {{-20, "aef"}, {5, "bim"},  {90, "aof"}, {50, "bum"},
                                      {0, "aif"},   {-3, "bem"}, {49, "aaf"}};
    for (size_t i = 0; i < 3000; ++i) {
        events.push_back(cycle[i % cycle.size()]);
        others.push_back(cycle[(i * 3 + i / 5) % cycle.size()]);
    }
    std::string results[2][2];
    for (const bool compare : {false, true})
        for (const bool isFvs : {false, true}) {
            Session s;
            s.p.shell.outputRecogCombined = true;
            s.p.shell.compareMode = compare;
            s.readTree();
            s.readData1(isFvs ? s.fvs("long.fvs", events) : s.table("long.txt", events));
            std::string& r = results[compare][isFvs];
            if (compare) {
                s.readData2(isFvs ? s.fvs("other.fvs", others) : s.table("other.txt", others));
                const CoderState& c = s.p.coder;
                for (const auto* d : {&c.groupDiff, &c.cath1Diff, &c.cath2Diff, &c.cath3Diff})
                    for (size_t t = 0; t < 3; ++t) r += std::to_string(d->at(t)) + " ";
                for (const auto* e : {&c.errorRecords1, &c.errorRecords2})
                    for (const TErrorRecord& t : *e)
                        r += std::to_string(t.cath1) + "," + std::to_string(t.cath2) + "," +
                             std::to_string(t.cath3) + " ";
            } else {
                r = s.bytes("long_Teach.zrt").substr(testing::kCombinedHeader) +
                    s.bytes("long_Recog.zrt").substr(testing::kCombinedHeader);
                EXPECT_EQ(r.size(), 2 * 6 * 3000u);
            }
            ASSERT_TRUE(s.reported("long", 3000));
        }
    EXPECT_EQ(results[0][1], results[0][0]);
    EXPECT_EQ(results[1][1], results[1][0]);
    EXPECT_NE(results[1][0].find("3000,"), std::string::npos) << results[1][0].substr(0, 300);
}

TEST(CodingDriver, CompareModeEndsWithTheLastWholePair) {
    Session s;
    s.p.shell.compareMode = true;
    s.readTree();
    s.readData1(s.fvs("one.fvs", {{-20, "aef"}, {5, "bim"}, {90, "aof"}}));
    EXPECT_EQ(s.p.shell.statusCaption, "Click Read data_2 to read next events series");
    // Data_2 announces 3 records and holds 2; its pair 2 parts at two
    // clusters (nodes 1 and 2) and at three (nodes 4 and 2).
    s.readData2(s.fvs("two.fvs", {{-20, "aef"}, {90, "bim"}}, {.count = 3}));
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
        s.p.shell.outputRecogCombined = true;
        fixtures::TreeFileContents tree = testing::referenceTree();
        tree.tree.training.averaging = frames >= 0;
        tree.tree.training.averagingFrames = frames;
        s.readTree(tree);
        s.readData1(frames < 0 ? s.table("none.txt", {}) : s.fvs("none.fvs", referenceEvents(3)));
        EXPECT_EQ(s.p.run.stepCounter, 0);
        EXPECT_EQ(s.p.data1.readCountText, "xxx");
        EXPECT_EQ(s.bytes("none_Teach.zrt").size(), testing::kCombinedHeader);
        EXPECT_TRUE(s.reported("none", 0));
        EXPECT_EQ(s.kinds(), frames < 0 ? "FC" : "?FC");
        EXPECT_TRUE(frames < 0 || s.ui.messages[0].find(" " + std::to_string(frames) + " frames") !=
                                      std::string::npos);
    }
}

}  // namespace
}  // namespace zortan
