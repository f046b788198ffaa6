// End-to-end tests of zortan-console: the real executable, copied into a
// fresh folder with its own Init.txt, driven by scripts on standard input.
#include <gtest/gtest.h>

#include "support/ConsoleProcess.h"

namespace zortan {
namespace {

using Console = testing::ConsoleProcess;
using testing::occurrences;
using testing::Records;

bool has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

// The lines that read the reference tree (its coded feature kind as given)
// and ev.fvs: three events that code at K = 3 as 1 (node 2), 0 (node 3) and
// 2 (node 4), at K = 2 as 1, 0, 0.
std::pair<std::string, std::string> inputs(const Console& c, int featureKind = 3) {
    return {"read tree\n" + c.tree(testing::referenceTree({.featureKind = featureKind})) + "\n",
            "read data_1\n" + c.fvs("ev.fvs", {{90, "aim"}, {-20, "aof"}, {5, "buf"}}) + "\n"};
}

TEST(Console, SettingsDisabledAndRefusedLines) {
    Console c;
    const auto e = c.run(
        "  # a comment\n\nnext\n  READ   Data_2  \nset featureKind 2\nset stretchPosition 5\n"
        "set compareMode maybe\nset nosuch 1\nset stretchPosition 11\njump\nset Stepwise on\n"
        "set picturesPerRow 20\nset clustersNb 12a\nset clustersChangeable off\nset clustersNb 5\n"
        "set windowWidth 1765\nset hibernateOnFinish on\nset outputRecogCath2 on\n"
        "reverse teach\nset compareMode off\nstate\nread data_1\nabout\nset stretchCepstra on\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_TRUE(e.out.starts_with(
        "[disabled] next\n[disabled] read data_2\n[disabled] set featureKind 2\n"
        "[disabled] set stretchPosition 5\n[refused] set compareMode maybe\n"
        "[refused] set nosuch 1\n[refused] set stretchPosition 11\n[refused] jump\n"
        "[refused] set Stepwise on\n[message]\nNot a numeric format!\n[end]\n"
        "[disabled] set clustersNb 5\n[state]\nclustersNb=1\nclustersChangeable=off\n"
        "showInputRecords=on\npicturesPerRow=10\n"))
        << e.out;
    for (const char* piece :
         {"hibernateOnFinish=on\noutputTeachCombined=off\noutputTeachCodes=on\n",
          "outputRecogCath1=off\noutputRecogCath2=on\n",
          "[end]\n[message]\nRead tree first!\n[end]\n[about]\n", "\nVersion: 2.a.\n"})
        EXPECT_TRUE(has(e.out, piece)) << piece;
    // Before a tree the considered components do not fit the drawn ones.
    EXPECT_TRUE(e.out.ends_with("[end]\n[error]\nRange check error\n[end]\n"));
}

// A stepwise run, then one at K = 2 whose teaching file exists: a cancelled
// dialog, an answer that does not fit, Cancel (the old file stays); the
// code file is overwritten, the error file goes to a new name. Halt! after
// a finished run closes nothing and shows nothing more.
TEST(Console, StepwiseRunThenKChangedAndAFileDeclined) {
    Console c;
    const auto [tree, fvs] = inputs(c);
    const std::string teach = c.dir.file("ev_Teach.zrt");
    c.start();
    c.send(tree + "set outputRecogCombined on\nset outputTeachCodes on\n" + fvs +
           "read tree\nnext\nstop\nnext\n");
    ASSERT_TRUE(c.waitFor("Program Finished!"));
    EXPECT_TRUE(has(c.output(), "[disabled] read tree\n"));
    EXPECT_TRUE(has(c.output(), "[beep]\n[message]\nProgram finished\nFind results in:\n\"" +
                                    teach + "\",\n\"" + c.dir.file("ev_code.txt") + "\",\n\""));
    const std::string teachBytes = c.bytes("ev_Teach.zrt");
    EXPECT_EQ(c.records("ev_Recog.zrt"), (Records{{1, "aim"}, {0, "bom"}, {2, "auf"}}));

    c.send(tree + "set clustersNb 2\n" + fvs + "\nmaybe\nc\n\ny\n\nYES\n" +
           c.dir.file("second_error.txt") + "\nnext\nnext\nnext\nhalt!\n");
    EXPECT_EQ(c.finish(), 0);
    const std::string out = c.output();
    EXPECT_TRUE(has(out, "[save]  teaching output file  saving\nfilter: 3\npath: " + teach +
                             "\n[end]\n[question Yes/No/Cancel]\nFile \"" + teach +
                             "\" exists. Overwrite it?\n[end]\n"));
    EXPECT_EQ(occurrences(out, "[question Yes/No/Cancel]"), 4u);  // one asked again
    EXPECT_EQ(c.bytes("ev_Teach.zrt"), teachBytes);
    EXPECT_EQ(testing::codeCharacters(c.bytes("ev_code.txt")), std::string("\x01\x00\x00", 3));
    EXPECT_TRUE(has(c.bytes("second_error.txt"), "Events number=3\r\n"));
    EXPECT_TRUE(
        out.ends_with("[status]\nProgram Canceled!; find results in " + teach + "\n[end]\n"));
}

// "Read tree&data" in compare mode asks for the tree and both series.
TEST(Console, CompareModeReadsTreeAndBothSeries) {
    Console c;
    const auto [tree, one] = inputs(c);
    const auto e = c.run(
        "set compareMode on\nset stepwiseProceeding off\nset outputTeachCodes on\n"
        "read tree&data\n" +
        tree.substr(10) + one.substr(12) + c.fvs("two.fvs", {{-20, "aof"}}) + "\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(occurrences(e.out, "[open]"), 3u);
    EXPECT_TRUE(has(e.out, "[disabled] set outputTeachCodes on\n"));
    EXPECT_TRUE(has(c.bytes("ev_error.txt"), "Events number=1\r\nDiffereces between"));
}

// Break answered No (after one answer that does not fit), then Yes; Halt!
// before any run.
TEST(Console, BreakAndHalt) {
    Console c;
    const auto [tree, fvs] = inputs(c);
    const auto e = c.run(tree + fvs + "break\nnext\nperhaps\nN\nbreak\nstate\nnext\ny\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(occurrences(e.out, "[question Yes/No] Breaks program!\nBreak coding?\n[end]\n"), 3u);
    EXPECT_TRUE(has(e.out, "breakRequested=on\n"));
    EXPECT_EQ(c.records("ev_Teach.zrt"), (Records{{1, "aim"}, {0, "aof"}}));

    Console h;  // a folder without outputs
    const auto halted = h.run("halt!\nstate\n");
    EXPECT_EQ(halted.status, 0);
    EXPECT_TRUE(halted.out.starts_with("[status]\nProgram Canceled!; find results in " +
                                       h.dir.file("x_Teach.zrt") +
                                       "\n[end]\n[message]\nProgram finished.\nDue to your"));
    EXPECT_EQ(occurrences(halted.out, "[message]"), 2u);
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
        const auto e = d.run(script);
        EXPECT_TRUE(has(e.out, "[message]\nThe run stopped at event 1: Range check error.\n"));
        EXPECT_TRUE(has(e.out, "[error]\nRange check error\n[end]\n"));
        EXPECT_EQ(e.status, later ? 0 : 3) << e.out;
        EXPECT_EQ(has(e.out, "[message]\nProgram finished\nFind results in:"), later);
    }

    EXPECT_EQ(c.run("", {"--version"}).out, "zortan-console 2.a\n");
    const auto help = c.run("", {"--help"});
    EXPECT_TRUE(help.status == 0 && help.out.starts_with("Usage: zortan-console"));
    EXPECT_EQ(c.run("", {"--bogus"}).status, 2);
}

// A tree without a coded feature kind: the run asks for it; "stop" while it
// asks pauses the run after that event until "stop" again ("Continue").
TEST(Console, FeatureKindAskedStopContinueAndHibernate) {
    Console c;
    const auto [tree, fvs] = inputs(c, -1);
    const auto e = c.run(tree + "set stepwiseProceeding off\nset hibernateOnFinish on\n" + fvs +
                         "stop\nset featureKind 3\nstate\nstop\nset featureKind 1\n");
    EXPECT_EQ(e.status, 0);
    for (const char* piece :
         {"[status]\nChoose \"Coded feature vectors\"!\n[end]\n", "waiting=on\n",
          "[beep]\n[hibernate]\n[message]\nProgram finished\n", "[disabled] set featureKind 1\n"})
        EXPECT_TRUE(has(e.out, piece)) << piece;
    EXPECT_EQ(c.records("ev_Teach.zrt"), (Records{{1, "aim"}, {0, "aof"}, {2, "buf"}}));
}

}  // namespace
}  // namespace zortan
