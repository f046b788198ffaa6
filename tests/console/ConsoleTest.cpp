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

// The reference tree, its coded feature kind as given.
std::string writeTree(const Console& c, int featureKind = 3) {
    return c.tree(testing::referenceTree({.featureKind = featureKind}), "tiny.vq");
}

// Codes at K=3: 1 (node 2), 0 (node 3), 2 (node 4); at K=2: 1, 0, 0.
std::string writeFvs(const Console& c, const std::string& name, int thirdX = 5) {
    return c.fvs(name, {{90, "aim"}, {-20, "aof"}, {thirdX, "buf"}});
}

// The rows of the error table between its "=" rule and its "_" rule.
std::string tableRows(const std::string& errorFile) {
    const size_t start = errorFile.find("=\r\n", errorFile.find("Events number="));
    const size_t stop = errorFile.find("\r\n___", start);
    return start == std::string::npos || stop == std::string::npos
               ? "no table"
               : errorFile.substr(start + 3, stop - start - 1);
}

TEST(Console, SettingsDisabledAndRefusedLines) {
    Console c;
    const auto e = c.run(
        "  # a comment\n\nnext\n  READ   Data_2  \nset featureKind 2\n"
        "set stretchPosition 5\nset compareMode maybe\nset nosuch 1\nset stretchPosition "
        "11\njump\nset Stepwise on\n"
        "set picturesPerRow 20\nset clustersNb 12a\nset clustersChangeable off\nset clustersNb 5\n"
        "set windowWidth 1765\nset hibernateOnFinish on\nset outputRecogCath2 on\n"
        "reverse teach\nset compareMode off\nstate\nread data_1\nabout\nset stretchCepstra on\n");
    EXPECT_EQ(e.status, 0);
    const std::string expected =
        "[disabled] next\n[disabled] read data_2\n[disabled] set featureKind 2\n"
        "[disabled] set stretchPosition 5\n[refused] set compareMode maybe\n"
        "[refused] set nosuch 1\n[refused] set stretchPosition 11\n[refused] jump\n"
        "[refused] set Stepwise on\n[message]\nNot a numeric format!\n[end]\n"
        "[disabled] set clustersNb 5\n[state]\nclustersNb=1\nclustersChangeable=off\n"
        "showInputRecords=on\npicturesPerRow=10\n";
    EXPECT_EQ(e.out.substr(0, expected.size()), expected);
    EXPECT_TRUE(has(e.out,
                    "hibernateOnFinish=on\noutputTeachCombined=off\noutputTeachCodes=on\n"
                    "outputTeachCath1=on\noutputTeachCath2=on\noutputTeachCath3=on\n"
                    "outputRecogCombined=off\noutputRecogCodes=off\noutputRecogCath1=off\n"
                    "outputRecogCath2=on\n"));
    EXPECT_TRUE(has(e.out, "[end]\n[message]\nRead tree first!\n[end]\n[about]\n"));
    EXPECT_TRUE(has(e.out, "\nVersion: 2.a.\n"));
    // Before a tree the considered components do not fit the drawn ones.
    EXPECT_TRUE(e.out.ends_with("[end]\n[error]\nRange check error\n[end]\n"));
}

// Stepwise run on the tiny tree, every output checked byte by byte; then a
// second run with K = 2 in which the teaching file is declined.
TEST(Console, StepwiseRunThenKChangedAndAFileDeclined) {
    Console c;
    const std::string tree = writeTree(c), fvs = writeFvs(c, "ev.fvs");
    c.start();
    c.send("read tree\n" + tree +
           "\nset outputRecogCombined on\nset outputTeachCodes on\nread data_1\n" + fvs +
           "\nread tree\nnext\nstop\nnext\n");
    ASSERT_TRUE(c.waitFor("Program Finished!"));
    std::string out = c.output();
    EXPECT_TRUE(
        has(out, "[open] Quantisation tree opening\nfilter: 5\npath: " + c.dir.file("none.vq")));
    EXPECT_TRUE(has(out, "[beep]\n[message]\nProgram finished\nFind results in:\n\"" +
                             c.dir.file("ev_Teach.zrt") + "\",\n\"" + c.dir.file("ev_code.txt") +
                             "\",\n\"" + c.dir.file("ev_Recog.zrt") + "\",\n\" and in\n\"" +
                             c.dir.file("ev_error.txt") + "\"\n[end]\n"));
    const std::string teach = c.bytes("ev_Teach.zrt");
    EXPECT_EQ(testing::readCombinedFile(teach).records,
              (Records{{1, "aim"}, {0, "aof"}, {2, "buf"}}));
    EXPECT_EQ(c.records("ev_Recog.zrt"), (Records{{1, "aim"}, {0, "bom"}, {2, "auf"}}));
    EXPECT_EQ(testing::codeCharacters(c.bytes("ev_code.txt")), std::string("\x01\x00\x02", 3));
    EXPECT_EQ(tableRows(c.bytes("ev_error.txt")),
              "       1 100.000 100.000 100.000\r\n"
              "       2  33.333  66.667   0.000\r\n"
              "       3  66.667   0.000  33.333\r\n");

    // The teaching file exists: cancelled dialog, then Cancel; the recognition
    // and code files are overwritten; the error file goes to a new name.
    c.send("read tree\n" + tree + "\nset clustersNb 2\nread data_1\n" + fvs +
           "\n\nmaybe\nc\n\ny\n\nYES\n" + c.dir.file("second_error.txt") +
           "\nnext\nnext\nnext\nhalt!\n");
    EXPECT_EQ(c.finish(), 0);
    out = c.output();
    EXPECT_TRUE(has(out, "[save]  teaching output file  saving\nfilter: 3\npath: " +
                             c.dir.file("ev_Teach.zrt") +
                             "\n[end]\n[question Yes/No/Cancel]\nFile \"" +
                             c.dir.file("ev_Teach.zrt") + "\" exists. Overwrite it?\n[end]\n"));
    EXPECT_EQ(occurrences(out, "[question Yes/No/Cancel]"), 4u);  // one asked again
    EXPECT_TRUE(has(out,
                    "[message]\nThe final,  teaching output file  will not be created. The old "
                    "one, namely \"" +
                        c.dir.file("ev_Teach.zrt") + "\" remains\n[end]\n"));
    EXPECT_EQ(c.bytes("ev_Teach.zrt"), teach);
    EXPECT_EQ(c.records("ev_Recog.zrt"), (Records{{1, "aim"}, {0, "bef"}, {0, "bef"}}));
    EXPECT_EQ(testing::codeCharacters(c.bytes("ev_code.txt")), std::string("\x01\x00\x00", 3));
    EXPECT_EQ(tableRows(c.bytes("second_error.txt")),
              "       1 100.000 100.000 100.000\r\n"
              "       2  33.333  66.667   0.000\r\n");
    // Halt! after a finished run closes nothing and shows nothing more.
    EXPECT_TRUE(out.ends_with("[status]\nProgram Canceled!; find results in " +
                              c.dir.file("ev_Teach.zrt") + "\n[end]\n"));
}

// Compare mode through "Read tree&data": two series that part at K = 3 in
// their third event.
TEST(Console, CompareModeReadsTreeAndBothSeries) {
    Console c;
    const std::string tree = writeTree(c), one = writeFvs(c, "one.fvs"),
                      two = writeFvs(c, "two.fvs", -20);
    const auto e = c.run(
        "set compareMode on\nset stepwiseProceeding off\nset outputTeachCodes on\n"
        "read tree&data\n" +
        tree + "\n" + one + "\n" + two + "\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(occurrences(e.out, "[open]"), 3u);
    EXPECT_TRUE(has(e.out, "[disabled] set outputTeachCodes on\n"));
    for (const char* text :
         {"For the comparing mode no teaching file will be created.",
          "No output file for the teaching sample will be created",
          "Program finished.\nDue to your choice teach results were not saved...",
          "Program finished.\nDue to your choice recognition results were not saved..."})
        EXPECT_TRUE(has(e.out, std::string("[message]\n") + text + "\n[end]\n"));
    EXPECT_TRUE(has(c.bytes("one_error.txt"),
                    "Events number=3\r\nDiffereces between classifications of events in "
                    "signals:\r\n      \"" +
                        one + "\" and\r\n      \"" + two + "\".\r\n"));
    EXPECT_FALSE(std::filesystem::exists(c.dir.file("one_Teach.zrt")));
}

// Break answered No (after one answer that does not fit), then Yes; Halt!
// before any run.
TEST(Console, BreakAndHalt) {
    Console c;
    const std::string tree = writeTree(c), fvs = writeFvs(c, "ev.fvs");
    auto e = c.run("read tree\n" + tree + "\nread data_1\n" + fvs +
                   "\nbreak\nnext\nperhaps\nN\nbreak\nstate\nnext\ny\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(occurrences(e.out, "[question Yes/No] Breaks program!\nBreak coding?\n[end]\n"), 3u);
    EXPECT_TRUE(has(e.out, "breakRequested=on\n"));
    EXPECT_EQ(c.records("ev_Teach.zrt"), (Records{{1, "aim"}, {0, "aof"}}));
    EXPECT_TRUE(has(c.bytes("ev_error.txt"), "Events number=2\r\n"));

    Console h;  // a folder without outputs
    e = h.run("halt!\nstate\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.out, "[status]\nProgram Canceled!; find results in " + h.dir.file("x_Teach.zrt") +
                         "\n[end]\n[message]\nProgram finished.\nDue to your choice teach results "
                         "were not saved...\n[end]\n[message]\nProgram finished.\nDue to your "
                         "choice recognition results were not saved...\n[end]\n");
}

// The end of input never leaves a dialog or question looping; SIGINT
// outside a run ends the program; giving up on the tree ends with status 1,
// a wrong command line with 2.
TEST(Console, EndOfInputInterruptAndExitStatuses) {
    Console c;
    auto e = c.run("read tree\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(occurrences(e.out, "[open]"), 1u);
    c.start();
    c.send("state\n");
    ASSERT_TRUE(c.waitFor("[state]"));
    c.interrupt();
    EXPECT_EQ(c.finish(), 0);

    const std::string bad = c.dir.write("bad.vq", "not a tree\r\n");
    const std::string tries = "read tree\n" + bad + "\n\n" + bad + "\n";
    e = c.run(tries);
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(occurrences(e.out, "You haven't pointed proper trree file!"), 2u);
    EXPECT_EQ(occurrences(e.out, "[message]\nError in file name, (.vq) correct it"), 1u);
    EXPECT_EQ(occurrences(e.out,
                          "[question Yes/No]\nYou have tried 2 times more to point proper tree "
                          "file, but you failed.\nHang up with it?\n[end]\n"),
              1u);
    EXPECT_EQ(c.run(tries + "yes\n").status, 1);
    EXPECT_EQ(c.run(tries + "no\n").status, 0);

    // A run an error stopped (a tree whose walk leaves it) leaves status 3
    // unless a later run ends well.
    for (bool later : {false, true}) {
        Console d;
        auto broken = testing::referenceTree();
        broken.tree.nodeHeap[2].son = 6;
        std::string script = "set stepwiseProceeding off\nread tree\n" + d.tree(broken, "bad.vq") +
                             "\nread data_1\n" + writeFvs(d, "ev.fvs") + "\n";
        if (later)
            script += "read tree\n" + writeTree(d) + "\nset stepwiseProceeding off\nread data_1\n" +
                      writeFvs(d, "ev2.fvs") + "\n";
        e = d.run(script);
        EXPECT_TRUE(has(e.out, "[message]\nThe run stopped at event 1: Range check error.\n"));
        EXPECT_TRUE(has(e.out, "[error]\nRange check error\n[end]\n"));
        EXPECT_EQ(e.status, later ? 0 : 3) << e.out;
        EXPECT_EQ(has(e.out, "[message]\nProgram finished\nFind results in:"), later);
    }

    EXPECT_EQ(c.run("", {"--version"}).out, "zortan-console 2.a\n");
    e = c.run("", {"--help"});
    EXPECT_EQ(e.status, 0);
    EXPECT_TRUE(e.out.starts_with("Usage: zortan-console"));
    EXPECT_EQ(c.run("", {"--bogus"}).status, 2);
}

// A tree without a coded feature kind: the run asks for it; "stop" while it
// asks pauses the run after that event until "stop" again ("Continue").
TEST(Console, FeatureKindAskedStopContinueAndHibernate) {
    Console c;
    const std::string tree = writeTree(c, -1), fvs = writeFvs(c, "ev.fvs");
    const auto e = c.run("read tree\n" + tree +
                         "\nset stepwiseProceeding off\nset hibernateOnFinish on\nread data_1\n" +
                         fvs + "\nstop\nset featureKind 3\nstate\nstop\nset featureKind 1\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_TRUE(has(e.out, "[status]\nChoose \"Coded feature vectors\"!\n[end]\n"));
    EXPECT_TRUE(has(e.out, "waiting=on\n"));
    EXPECT_TRUE(has(e.out, "[beep]\n[hibernate]\n[message]\nProgram finished\n"));
    EXPECT_TRUE(has(e.out, "[disabled] set featureKind 1\n"));
    EXPECT_EQ(c.records("ev_Teach.zrt"), (Records{{1, "aim"}, {0, "aof"}, {2, "buf"}}));
}

}  // namespace
}  // namespace zortan
