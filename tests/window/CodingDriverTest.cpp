// Coding runs driven at the window model: the decisions made ahead for long
// fvs files, compare mode, empty runs, several runs in one start.
#include "window/CodingDriver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "support/Session.h"

namespace zortan {
namespace {

namespace fs = std::filesystem;
using namespace zortan::testing;

// The error counts of both series and the differences between them, for
// each tree size up to the clusters number (beyond it paths keep older nodes).
std::string counts(const Session& s) {
    std::ostringstream o;
    const CoderState& c = s.p.coder;
    for (size_t t = 0; t < s.p.shell.clustersNb; ++t) {
        for (const auto& r : {c.errorRecords1[t], c.errorRecords2[t]})
            o << r.cath1 << "," << r.cath2 << "," << r.cath3 << " ";
        o << c.groupDiff[t] << c.cath1Diff[t] << c.cath2Diff[t] << c.cath3Diff[t] << "; ";
    }
    return o.str();
}

// Long fvs files are decided ahead (ties at the root and node 1 left to the
// walk): records, and in compare mode counts and differences, as from tables.
TEST(CodingDriver, DecisionsMadeAheadCodeAsTheWalkDoes) {
    std::vector<Event> events, others;
    const std::vector<Event> cycle = {{-20, "aef"}, {5, "bim"},  {90, "aof"}, {50, "bum"},
                                      {0, "aif"},   {-3, "bem"}, {49, "aaf"}};
    for (size_t i = 0; i < 3000; ++i) {
        events.push_back(cycle[i % cycle.size()]);
        others.push_back(cycle[(i * 3 + i / 5) % cycle.size()]);
    }
    for (const bool compare : {false, true}) {
        std::string results[2];
        for (const bool isFvs : {false, true}) {
            Session s;
            s.p.shell.outputRecogCombined = true;
            s.p.shell.compareMode = compare;
            s.readTree();
            s.readData1(isFvs ? s.fvs("long.fvs", events) : s.table("long.txt", events));
            if (compare)
                s.readData2(isFvs ? s.fvs("other.fvs", others) : s.table("other.txt", others));
            results[isFvs] = compare ? counts(s)
                                     : s.bytes("long_Teach.zrt").substr(kCombinedHeader) +
                                           s.bytes("long_Recog.zrt").substr(kCombinedHeader);
            ASSERT_TRUE(s.reported("long", 3000));
        }
        EXPECT_EQ(results[1], results[0]);
        EXPECT_TRUE(compare ? results[0].starts_with("3000,") : results[0].size() == 12 * 3000u);
    }
}

TEST(CodingDriver, CompareModeEndsWithTheLastWholePair) {
    Session s;
    s.p.shell.compareMode = true;
    s.readTree();
    s.readData1(s.fvs("one.fvs", {{-20, "aef"}, {5, "bim"}, {90, "aof"}}));
    // Data_2 announces 3 records and holds 2; its pair 2 parts at two
    // clusters (nodes 1 "bef" and 2 "aim") and at three (nodes 4 "auf" and 2).
    s.readData2(s.fvs("two.fvs", {{-20, "aef"}, {90, "bim"}}, {.count = 3}));
    EXPECT_EQ(s.p.run.stepCounter, 4);
    EXPECT_EQ(s.kinds(), "?D??C");  // no teaching file, the end, two "not saved"
    EXPECT_EQ(counts(s), "2,2,2 2,2,2 0000; 1,1,1 2,0,0 1111; 2,2,2 2,1,1 1011; ");
    EXPECT_TRUE(s.reported("one", 2));
}

// A walk that leaves the tree in compare mode stops at the pair it reached,
// and the message counts the events of each series coded before it.
TEST(CodingDriver, AStoppedCompareRunSaysWhichPairAndHowManyWereCoded) {
    fixtures::TreeFileContents tree = fixtures::makeTree(
        3, 2, fixtures::SplitOrder::Balanced, [](int n, int i) { return 100 + n + i / 8.0; });
    tree.tree.nodeHeap[2].son = 5;
    const auto table = [](Session& s, const std::string& name, const std::string& values) {
        std::string text = std::to_string(values.size()) + " events\r\n2\r\n32767\r\nV S G\r\n";
        for (char v : values) text += std::string("x p r 10") + v + " 10" + v + "\r\n";
        return s.dir.write(name, text);
    };
    // Series of readings near 101 ('1') or 102 ('2', the walk beyond).
    for (const auto& [first, second, says] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"1121", "1111", "at event 3"}, {"1111", "1211", "at event 2"}}) {
        SCOPED_TRACE(says);
        Session s;
        s.p.shell.compareMode = true;
        s.p.shell.outputTeachCombined = true;
        ASSERT_TRUE(s.readTree(tree));
        s.readData1(table(s, "a.txt", first));
        s.readData2(table(s, "b.txt", second));
        EXPECT_TRUE(s.p.run.stoppedByError);
        const int coded = says == "at event 3" ? 2 : 1;
        bool found = false;
        for (const std::string& m : s.ui.messages)
            found |= m.starts_with("The run stopped " + says + ": Range check error.\r\nFind the " +
                                   std::to_string(coded) + " events coded in:");
        EXPECT_TRUE(found) << ::testing::PrintToString(s.ui.messages);
    }
}

// A table of no events (".FVS" in capitals is not the fvs extension), or an
// averaging window the run refuses.
TEST(CodingDriver, RunsWithoutEventsStillFinish) {
    for (int frames : {-1, 0, 402}) {  // -1: no averaging
        SCOPED_TRACE(frames);
        Session s;
        s.p.shell.outputRecogCombined = true;
        s.readTree(frames < 0 ? referenceTree() : referenceTree({.averagingFrames = frames}));
        s.readData1(frames < 0 ? s.table("none.FVS", {}) : s.fvs("none.fvs", referenceEvents(3)));
        EXPECT_EQ(inputIsFvs(s.p, 1), frames >= 0);
        EXPECT_EQ(s.p.run.stepCounter, 0);
        EXPECT_EQ(s.p.data1.readCountText, "xxx");
        EXPECT_EQ(s.bytes("none_Teach.zrt").size(), kCombinedHeader);
        EXPECT_TRUE(s.reported("none", 0));
        EXPECT_EQ(s.kinds(), frames < 0 ? "FC" : "?FC");
        EXPECT_TRUE(frames < 0 || s.ui.messages[0].find(" " + std::to_string(frames) + " frames") !=
                                      std::string::npos);
    }
}

// Whatever the first run was and whatever came between, a second run writes
// and leaves what the same run does right after start-up: its outputs
// (written over the first run's), counts, steps, flags and messages.
TEST(CodingDriver, ASecondRunDoesWhatAFirstRunDoes) {
    const std::vector<Event> first = {{90, "bum"}, {90, "aaf"}, {-20, "bem"}},
                             second = referenceEvents(7),
                             other = {{5, "aef"},  {90, "bim"},  {-20, "aof"}, {90, "bum"},
                                      {90, "aif"}, {-20, "bem"}, {5, "aaf"}};
    const auto tree = [](Session& s, int leaves = 3) {
        s.readTree(referenceTree({.leaves = leaves, .trainingEvents = 1}));
    };
    struct Step {
        const char* what;
        std::function<void(Session&)> act;
        bool compare = false;  // a first run in compare mode; a step after one only
    };
    const std::vector<Step> firsts = {
        {"a whole run of fewer events",
         [&](Session& s) { s.readData1(s.fvs("ev.1.fvs", first, {.count = 2})); }},
        {"a run broken off after its first event",
         [&](Session& s) {
             const auto next = s.ui.user;
             s.ui.user = [&s, next] {
                 if (s.p.run.stepCounter == 1 && s.p.shell.waiting) s.window.click(Command::Break);
                 next();
             };
             s.click(Command::ReadData1, {s.table("ev.1.txt", first), "yes"});
             s.ui.user = next;
         }},
        {"a free compare run",
         [&](Session& s) {
             s.window.setToggle(Toggle::StepwiseProceeding, false);
             s.readData1(s.fvs("ev.1.fvs", first));
             s.readData2(s.fvs("ev2.1.fvs", second));
         },
         true},
    };
    const std::vector<Step> betweens = {
        {"the tree read again", [&](Session& s) { tree(s); }},
        {"a larger tree", [&](Session& s) { tree(s, 5); }},
        {"two clusters typed", [&](Session& s) { tree(s), s.window.typeClusters("2"); }},
        {"other output choices",
         [&](Session& s) {
             tree(s), s.allOutputs(false);
             s.p.shell.outputRecogCombined = s.p.shell.outputTeachCath2 = true;
         }},
        {"compare mode off", [](Session& s) { s.window.setToggle(Toggle::CompareMode, false); },
         true},
    };
    // The outputs of "ev", the folder named alike, records after the certificate.
    const auto outputs = [](Session& s) {
        std::map<std::string, std::string> files;
        for (const auto& f : fs::directory_iterator(s.dir.path())) {
            const std::string name = f.path().filename().string();
            if (!name.starts_with("ev_")) continue;
            std::string bytes = s.bytes(name);
            if (name.ends_with(".zrt")) bytes = bytes.substr(kCombinedHeader);
            for (size_t at; (at = bytes.find(s.dir.path())) != std::string::npos;)
                bytes.replace(at, s.dir.path().size(), "<folder>");
            files[name] = bytes;
        }
        return files;
    };
    // What the run left: counts, events and steps, flags, messages.
    const auto left = [](Session& s) {
        std::ostringstream o;
        const CoderState& c = s.p.coder;
        const ShellState& sh = s.p.shell;
        o << counts(s) << c.cath1ErrorCount << c.cath2ErrorCount << c.cath3ErrorCount << " steps "
          << s.p.run.stepCounter << " events " << s.p.eventNbr << " flags " << sh.breakRequested
          << sh.waiting << sh.stepwiseProceeding << sh.clustersChangeable << s.p.run.runFinished
          << " messages " << s.kinds();
        return o.str();
    };
    for (const Step& firstRun : firsts)
        for (const Step& between : betweens) {
            if (between.compare && !firstRun.compare) continue;
            SCOPED_TRACE(std::string(firstRun.what) + ", then " + between.what);
            Session fresh, twice;
            for (Session* s : {&fresh, &twice}) {
                s->allOutputs();
                tree(*s);
                s->window.setToggle(Toggle::CompareMode, firstRun.compare);
            }
            firstRun.act(twice);
            ASSERT_TRUE(twice.p.run.runFinished && twice.ui.errors.empty());
            // The first run's outputs exist: kept by name, written over.
            twice.ui.whenUnscripted = [](const std::string& asked) -> std::string {
                if (asked.starts_with("save dialog")) return "";
                if (asked.starts_with("Yes/No/Cancel question: File \"")) return "yes";
                throw ScriptExhausted{asked};
            };
            const auto firstOutputs = outputs(twice);
            for (Session* s : {&fresh, &twice}) {
                s->allOutputs();
                between.act(*s);
                s->clearShown();
                s->readData1(s->fvs("ev.fvs", second));
                if (s->p.shell.compareMode) s->readData2(s->fvs("ev2.fvs", other));
            }
            // Every event is coded, whatever the events count of the tree.
            EXPECT_EQ(fresh.p.run.stepCounter, fresh.p.shell.compareMode ? 14 : 7);
            EXPECT_TRUE(fresh.p.run.runFinished && fresh.ui.errors.empty());
            // Outputs not chosen again keep what the first run wrote.
            const auto got = outputs(twice), want = outputs(fresh);
            for (const auto& [name, bytes] : got)
                EXPECT_EQ(bytes, want.contains(name) ? want.at(name) : firstOutputs.at(name))
                    << name;
            for (const auto& [name, bytes] : want) EXPECT_TRUE(got.contains(name)) << name;
            EXPECT_EQ(left(twice), left(fresh));
        }
}

// Kept from one run to the next: the tree (compare mode turned off gives
// "Read data_1" back), the clusters typed, the components a text input
// lowered (until the next tree), the averaging, a declined output's choice.
TEST(CodingDriver, WhatOneRunLeavesTheNext) {
    // Ten frames, as a table sets it.
    const fixtures::TreeFileContents averaging = referenceTree({.averagingFrames = 10});
    std::vector<Event> events = referenceEvents(14);
    for (size_t i = 0; i < events.size(); ++i) events[i].x += int(7 * i % 30);
    const std::vector<Event> firstTen(events.begin(), events.begin() + 10),
        lastFour(events.begin() + 10, events.end());

    Session once, twice;
    for (Session* s : {&once, &twice}) s->readTree(averaging);
    once.readData1(once.table("all.txt", events, 2));
    twice.window.setToggle(Toggle::CompareMode, true);
    twice.readData1(twice.table("one.txt", firstTen));
    twice.readData2(twice.table("two.txt", firstTen, 2));
    twice.window.setToggle(Toggle::CompareMode, false);
    twice.window.typeClusters("1");
    twice.p.shell.outputRecogCodes = true;
    twice.dir.write("ev_code.txt", "kept");  // declined: the dialog cancelled, then Cancel
    twice.click(Command::ReadData1, {twice.fvs("ev.fvs", lastFour), "", "cancel"});
    EXPECT_FALSE(twice.p.shell.outputRecogCodes);
    EXPECT_EQ(twice.p.tree.consideredComponentsNb, 2);
    const Records codes = twice.records("ev_Teach.zrt");
    EXPECT_EQ(codes.size(), 4u);
    EXPECT_TRUE(
        std::all_of(codes.begin(), codes.end(), [](const auto& r) { return r.first == 0; }));
    // The averaging goes on where the first run left it, as in one run of
    // all the events.
    EXPECT_EQ(twice.p.data1.averaging.timeAverage, once.p.data1.averaging.timeAverage);
    EXPECT_NE(twice.p.data1.averaging.timeAverage[0], 0.0);

    twice.readTree(averaging);
    EXPECT_EQ(twice.p.tree.consideredComponentsNb, 3);
    twice.readData1(twice.fvs("ev3.fvs", events));
    EXPECT_EQ(twice.records("ev3_Teach.zrt").size(), events.size());
    EXPECT_FALSE(fs::exists(twice.dir.file("ev3_code.txt")));
    EXPECT_EQ(twice.p.data1.readCountText, "14");
    EXPECT_EQ(twice.bytes("ev_code.txt"), "kept");
}

}  // namespace
}  // namespace zortan
