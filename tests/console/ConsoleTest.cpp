// End-to-end tests of zortan-console: the real executable, copied into a
// fresh folder with its own Init.txt, driven by scripts on standard input;
// what it prints is compared whole with the transcripts in tests/data/console.
#include <gtest/gtest.h>

#include "ZortanVersion.h"
#include "support/ConsoleProcess.h"

namespace zortan {
namespace {

using Console = testing::ConsoleProcess;
using testing::expectedTranscript;
using testing::Records;

// The lines that read the reference tree (its coded feature kind as given)
// and ev.fvs: three events that code at K = 3 as 1 (node 2), 0 (node 3) and
// 2 (node 4), at K = 2 as 1, 0, 0.
std::pair<std::string, std::string> inputs(const Console& c, int featureKind = 3) {
    return {"read tree\n" + c.tree(testing::referenceTree({.featureKind = featureKind})) + "\n",
            "read data_1\n" + c.fvs("ev.fvs", {{90, "aim"}, {-20, "aof"}, {5, "buf"}}) + "\n"};
}

// Runs `script` in a fresh process: its output is the transcript `name`
// whole, its exit status `status`.
void expectRun(Console& c, const std::string& name, const std::string& script, int status = 0) {
    const auto e = c.run(script);
    EXPECT_EQ(e.out, expectedTranscript(name)) << name;
    EXPECT_EQ(e.status, status) << name;
}

// Disabled and refused lines, settings and the state before a tree; the
// considered components do not fit the drawn ones then.
TEST(Console, SettingsDisabledAndRefusedLines) {
    Console c;
    expectRun(
        c, "settings",
        "  # a comment\n\nnext\n  READ   Data_2  \nset featureKind 2\nset stretchPosition 5\n"
        "set compareMode maybe\nset nosuch 1\nset stretchPosition 11\njump\nset Stepwise on\n"
        "set picturesPerRow 20\nset clustersNb 12a\nset clustersChangeable off\nset clustersNb 5\n"
        "set windowWidth 1765\nset hibernateOnFinish on\nset outputRecogCath2 on\n"
        "reverse teach\nset compareMode off\nstate\nread data_1\nabout\nset stretchCepstra on\n");
}

// A stepwise run, then one at K = 2 whose teaching file exists: a cancelled
// dialog, an answer that does not fit, Cancel (the old file stays); the
// code file is overwritten, the error file goes to a new name. Halt! after
// a finished run closes nothing and shows nothing more.
TEST(Console, StepwiseRunThenKChangedAndAFileDeclined) {
    Console c;
    const auto [tree, fvs] = inputs(c);
    c.start();
    c.send(tree + "set outputRecogCombined on\nset outputTeachCodes on\n" + fvs +
           "read tree\nnext\nstop\nnext\n");
    ASSERT_TRUE(c.waitFor("Program Finished!"));
    const std::string teachBytes = c.bytes("ev_Teach.zrt");
    EXPECT_EQ(c.records("ev_Recog.zrt"), (Records{{1, "aim"}, {0, "bom"}, {2, "auf"}}));

    c.send(tree + "set clustersNb 2\n" + fvs + "\nmaybe\nc\n\ny\n\nYES\n" +
           c.dir.file("second_error.txt") + "\nnext\nnext\nnext\nhalt!\n");
    EXPECT_EQ(c.finish(), 0);
    EXPECT_EQ(c.transcript(), expectedTranscript("stepwise"));
    EXPECT_EQ(c.bytes("ev_Teach.zrt"), teachBytes);
    EXPECT_EQ(testing::codeCharacters(c.bytes("ev_code.txt")), std::string("\x01\x00\x00", 3));
    EXPECT_NE(c.bytes("second_error.txt").find("Events number=3\r\n"), std::string::npos);
}

// "Read tree&data" in compare mode asks for the tree and both series.
TEST(Console, CompareModeReadsTreeAndBothSeries) {
    Console c;
    const auto [tree, one] = inputs(c);
    expectRun(c, "compare",
              "set compareMode on\nset stepwiseProceeding off\nset outputTeachCodes on\n"
              "read tree&data\n" +
                  tree.substr(10) + one.substr(12) + c.fvs("two.fvs", {{-20, "aof"}}) + "\n");
    EXPECT_NE(c.bytes("ev_error.txt").find("Events number=1\r\nDiffereces"), std::string::npos);
}

// Break answered No (after one answer that does not fit), then Yes; Halt!
// before any run, in a folder without outputs.
TEST(Console, BreakAndHalt) {
    Console c, h;
    const auto [tree, fvs] = inputs(c);
    expectRun(c, "break", tree + fvs + "break\nnext\nperhaps\nN\nbreak\nstate\nnext\ny\n");
    EXPECT_EQ(c.records("ev_Teach.zrt"), (Records{{1, "aim"}, {0, "aof"}}));
    expectRun(h, "halt", "halt!\nstate\n");
}

// The end of input never leaves a dialog or question looping; SIGINT
// outside a run ends the program. Exit statuses: 1 after giving up on the
// tree, 2 for a wrong command line, 3 after a run an error stopped (a tree
// whose walk leaves it) unless a later run ends well.
TEST(Console, EndOfInputInterruptAndExitStatuses) {
    Console c;
    EXPECT_EQ(c.run("read tree\n").status, 0);
    c.start();
    c.send("state\n");
    ASSERT_TRUE(c.waitFor("[state]"));
    c.signal(SIGINT);
    EXPECT_EQ(c.finish(), 0);

    const std::string bad = c.dir.write("bad.vq", "not a tree\r\n");
    EXPECT_EQ(c.run("read tree\n" + bad + "\n" + bad + "\nyes\n").status, 1);

    // Each in a folder of its own, so that no earlier output is asked about.
    for (bool later : {false, true}) {
        Console d;
        auto broken = testing::referenceTree();
        broken.tree.nodeHeap[2].son = 6;
        const auto [tree, fvs] = inputs(d);
        std::string script =
            "set stepwiseProceeding off\nread tree\n" + d.tree(broken, "bad.vq") + "\n" + fvs;
        if (later)
            script += tree + "set stepwiseProceeding off\nread data_1\n" +
                      d.fvs("ev2.fvs", {{90, "aim"}}) + "\n";
        expectRun(d, later ? "stopped-then-finished" : "stopped", script, later ? 0 : 3);
    }

    EXPECT_EQ(c.run("", {"--version"}).out, "zortan-console " ZORTAN_VERSION "\n");
    const auto help = c.run("", {"--help"});
    EXPECT_TRUE(help.status == 0 && help.out.starts_with("Usage: zortan-console"));
    EXPECT_EQ(c.run("", {"--bogus"}).status, 2);
}

// A tree without a coded feature kind: the run asks for it; "stop" while it
// asks pauses the run after that event until "stop" again ("Continue").
TEST(Console, FeatureKindAskedStopContinueAndHibernate) {
    Console c;
    const auto [tree, fvs] = inputs(c, -1);
    expectRun(c, "feature-kind",
              tree + "set stepwiseProceeding off\nset hibernateOnFinish on\n" + fvs +
                  "stop\nset featureKind 3\nstate\nstop\nset featureKind 1\n");
    EXPECT_EQ(c.records("ev_Teach.zrt"), (Records{{1, "aim"}, {0, "aof"}, {2, "buf"}}));
}

}  // namespace
}  // namespace zortan
