// End-to-end tests of zortan-console: the real executable, copied into a
// fresh folder with its own Init.txt, driven by scripts on standard input.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "support/TempDir.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tools/fixtures/TextEventFileWriter.h"
#include "tools/fixtures/TreeFileWriter.h"

namespace zortan {
namespace {

namespace fs = std::filesystem;
using namespace fixtures;
using testing::readFileBytes;
using testing::TempDir;

struct Ended {
    std::string out;
    int status = -1;
};

bool has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}
size_t count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

// A folder holding the console and an Init.txt whose outputs point into it.
class Console {
  public:
    Console() {
        fs::copy_file(ZORTAN_CONSOLE_EXE, exe_);
        std::string init = "0 1 0\r\nw0\r\nt0\r\n" + dir.file("none.vq") + "\r\nw1\r\nw2\r\n" +
                           dir.file("none.fvs") + "\r\nx.txt\r\n";
        for (const char* name : {"Error.txt", "code.txt", "_Teach.zrt", "t1", "t2", "t3",
                                 "_recog.zrt", "r1", "r2", "r3"})
            init += dir.file(name) + "\r\n";
        dir.write("Init.txt", init);
    }
    ~Console() {
        if (pid_ > 0) kill(pid_, SIGKILL);  // a test that failed half-way
        if (pid_ > 0) finish();
    }
    // Starts the console; its output goes to a file that `output` reads.
    void start(const std::vector<std::string>& args = {}) {
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(pipeFds[0], 0);
            const int out = open(dir.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(out, 2);
            close(pipeFds[1]);
            std::vector<char*> argv{const_cast<char*>(exe_.c_str())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(exe_.c_str(), argv.data());
            _exit(127);
        }
        close(pipeFds[0]);
        input_ = pipeFds[1];
    }
    void send(const std::string& text) {
        ASSERT_EQ(write(input_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    std::string output() const { return readFileBytes(dir.file("stdout")); }
    // Waits until the output holds `piece` `times` times.
    bool waitFor(const std::string& piece, size_t times = 1) const {
        for (int i = 0; i < 1000; ++i) {
            if (count(output(), piece) >= times) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void interrupt() const { kill(pid_, SIGINT); }
    Ended finish() {
        if (input_ >= 0) close(input_);
        input_ = -1;
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return {output(), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    }
    Ended run(const std::string& script, const std::vector<std::string>& args = {}) {
        start(args);
        send(script);
        return finish();
    }

    TempDir dir;

  private:
    std::string exe_ = dir.file("zortan-console");
    pid_t pid_ = -1;
    int input_ = -1;
};

// Three leaves on two components: node 1 (0,0) and node 2 (1000,1000) split
// the root at level 1, nodes 3 (-100,0) and 4 (100,0) split node 1 at
// level 2. Readings of node k: "ab"[k%2], "aeiou"[k%5], "fm"[(k/2)%2].
TreeFileContents tinyTree() {
    const double c[5][2] = {{0, 0}, {0, 0}, {1000, 1000}, {-100, 0}, {100, 0}};
    return makeTree(3, 2, SplitOrder::Balanced,
                    [&](int node, int i) { return i < 2 ? c[node][i] : 0.0; });
}

struct Event {
    int x, y;
    const char* cath;
};
// Codes at K=3: 1 (node 2), 0 (node 3), 2 (node 4); at K=2: 1, 0, 0.
const std::vector<Event> kEvents = {{900, 900, "aim"}, {-90, 10, "aof"}, {80, -5, "buf"}};

std::string writeFvs(const TempDir& dir, const std::string& name,
                     const std::vector<Event>& events) {
    // The tree's training settings: Gauss window, preemphasis, lifter 24.
    const FvsHeader h{
        static_cast<uint32_t>(events.size()), 256, 0, 0, 1, 1, 24, 4, 10.0, 16000.0, "", {2, 5, 2}};
    std::vector<FvsEvent> records;
    for (const Event& e : events) {
        FvsEvent r;
        r.features[3][0] = static_cast<int16_t>(e.x);
        r.features[3][1] = static_cast<int16_t>(e.y);
        r.cath1 = e.cath[0], r.cath2 = e.cath[1], r.cath3 = e.cath[2];
        records.push_back(r);
    }
    writeFvsFile(dir.file(name), h, records);
    return dir.file(name);
}

std::string writeTree(const TempDir& dir, TreeFileContents tree = tinyTree()) {
    writeTreeFile(dir.file("tiny.vq"), tree);
    return dir.file("tiny.vq");
}

// The events part of a combined file, after the count record and certificate.
std::string events(const std::string& zrt) {
    return zrt.size() < 1524 ? "short file" : zrt.substr(1524);
}
std::string body(const std::string& file, const std::string& from) {
    const size_t at = file.find(from);
    return at == std::string::npos ? "missing " + from : file.substr(at + from.size());
}
// The rows of the error table between its "=" rule and its "_" rule.
std::string tableRows(const std::string& errorFile) {
    const size_t start = errorFile.find("=\r\n", errorFile.find("Events number="));
    const size_t stop = errorFile.find("\r\n___", start);
    return start == std::string::npos || stop == std::string::npos
               ? "no table"
               : errorFile.substr(start + 3, stop - start - 1);
}
// Combined-file records: the 16-bit code, three characters, the tag 0.
std::string records(const std::vector<std::pair<int, std::string>>& coded) {
    std::string bytes;
    for (const auto& [code, cath] : coded)
        bytes += std::string{static_cast<char>(code), '\0', cath[0], cath[1], cath[2], '\0'};
    return bytes;
}

// The state block at start with some values changed ("name=value ...").
std::string stateBlock(const std::string& changes = "") {
    std::map<std::string, std::string> changed;
    std::istringstream items(changes);
    for (std::string item; items >> item;) changed[item.substr(0, item.find('='))] = item;
    std::istringstream start(
        "clustersNb=1 clustersChangeable=on showInputRecords=on picturesPerRow=9 "
        "stretchCepstra=off stretchPosition=10 drawnComponents=128 compareMode=off "
        "stepwiseProceeding=on hibernateOnFinish=off outputTeachCombined=on outputTeachCodes=off "
        "outputTeachCath1=off outputTeachCath2=off outputTeachCath3=off outputRecogCombined=off "
        "outputRecogCodes=off outputRecogCath1=off outputRecogCath2=off outputRecogCath3=off "
        "waiting=off breakRequested=off treeRead=off statusCaption=--------");
    std::string text = "[state]\n";
    for (std::string item; start >> item;) {
        const auto it = changed.find(item.substr(0, item.find('=')));
        text += (it == changed.end() ? item : it->second) + "\n";
    }
    return text + "[end]\n";
}

TEST(Console, SettingsDisabledAndRefusedLines) {
    Console c;
    Ended e = c.run(
        "state\n  # a comment\n\nnext\n  READ   Data_2  \nset featureKind 2\n"
        "set stretchPosition 5\nset compareMode maybe\nset nosuch 1\nset stretchPosition "
        "11\njump\nset Stepwise on\n"
        "set picturesPerRow 20\nset clustersNb 12a\nset clustersChangeable off\nset clustersNb 5\n"
        "set windowWidth 1765\nset hibernateOnFinish on\nset outputRecogCath2 on\n"
        "reverse teach\nset compareMode off\nstate\nread data_1\nabout\nset stretchCepstra on\n");
    EXPECT_EQ(e.status, 0);
    const std::string expected =
        stateBlock() +
        "[disabled] next\n[disabled] read data_2\n[disabled] set featureKind 2\n"
        "[disabled] set stretchPosition 5\n[refused] set compareMode maybe\n"
        "[refused] set nosuch 1\n[refused] set stretchPosition 11\n[refused] jump\n"
        "[refused] set Stepwise on\n[message]\nNot a numeric format!\n[end]\n"
        "[disabled] set clustersNb 5\n" +
        stateBlock(
            "clustersChangeable=off picturesPerRow=10 hibernateOnFinish=on "
            "outputTeachCombined=off outputTeachCodes=on outputTeachCath1=on "
            "outputTeachCath2=on outputTeachCath3=on outputRecogCath2=on") +
        "[message]\nRead tree first!\n[end]\n[about]\n";
    EXPECT_EQ(e.out.substr(0, expected.size()), expected);
    EXPECT_TRUE(has(e.out, "\nVersion: 2.a.\n"));
    // Before a tree the considered components do not fit the drawn ones.
    const std::string last = "[end]\n[error]\nRange check error\n[end]\n";
    EXPECT_EQ(e.out.substr(e.out.size() - last.size()), last);
}

// Stepwise run on the tiny tree, every output checked byte by byte; then a
// second run with K = 2 in which the teaching file is declined.
TEST(Console, StepwiseRunThenKChangedAndAFileDeclined) {
    Console c;
    const std::string tree = writeTree(c.dir), fvs = writeFvs(c.dir, "ev.fvs", kEvents);
    c.start();
    c.send("read tree\n" + tree +
           "\nset outputRecogCombined on\nset outputTeachCodes on\nread data_1\n" + fvs +
           "\nstate\nread tree\nnext\nstop\nnext\n");
    ASSERT_TRUE(c.waitFor("Program Finished!"));
    Ended e{c.output()};
    EXPECT_TRUE(
        has(e.out, "[open] Quantisation tree opening\nfilter: 5\npath: " + c.dir.file("none.vq")));
    EXPECT_TRUE(has(e.out,
                    "waiting=on\nbreakRequested=off\ntreeRead=on\nstatusCaption=Program "
                    "started coding data_1\n[end]\n[disabled] read tree\n"));
    EXPECT_TRUE(has(e.out, "[beep]\n[message]\nProgram finished\nFind results in:\n\"" +
                               c.dir.file("ev_Teach.zrt") + "\",\n\"" + c.dir.file("ev_code.txt") +
                               "\",\n\"" + c.dir.file("ev_Recog.zrt") + "\",\n\" and in\n\"" +
                               c.dir.file("ev_error.txt") + "\"\n[end]\n"));
    const std::string teach = readFileBytes(c.dir.file("ev_Teach.zrt"));
    EXPECT_EQ(events(teach), records({{1, "aim"}, {0, "aof"}, {2, "buf"}}));
    EXPECT_EQ(events(readFileBytes(c.dir.file("ev_Recog.zrt"))),
              records({{1, "aim"}, {0, "bom"}, {2, "auf"}}));
    EXPECT_EQ(body(readFileBytes(c.dir.file("ev_code.txt")), "Output codes:\r\n"),
              std::string("\x01\x00\x02", 3));
    EXPECT_EQ(tableRows(readFileBytes(c.dir.file("ev_error.txt"))),
              "       1 100.000 100.000 100.000\r\n"
              "       2  33.333  66.667   0.000\r\n"
              "       3  66.667   0.000  33.333\r\n");

    // The teaching file exists: cancelled dialog, then Cancel; the recognition
    // and code files are overwritten; the error file goes to a new name.
    c.send("read tree\n" + tree + "\nset clustersNb 2\nread data_1\n" + fvs +
           "\n\nmaybe\nc\n\ny\n\nYES\n" + c.dir.file("second_error.txt") +
           "\nnext\nnext\nnext\nhalt!\n");
    e = c.finish();
    EXPECT_EQ(e.status, 0);
    EXPECT_TRUE(has(e.out, "[save]  teaching output file  saving\nfilter: 3\npath: " +
                               c.dir.file("ev_Teach.zrt") +
                               "\n[end]\n[question Yes/No/Cancel]\nFile \"" +
                               c.dir.file("ev_Teach.zrt") + "\" exists. Overwrite it?\n[end]\n"));
    EXPECT_EQ(count(e.out, "[question Yes/No/Cancel]"), 4u);  // one asked again
    EXPECT_TRUE(has(e.out,
                    "[message]\nThe final,  teaching output file  will not be created. The old "
                    "one, namely \"" +
                        c.dir.file("ev_Teach.zrt") + "\" remains\n[end]\n"));
    EXPECT_EQ(readFileBytes(c.dir.file("ev_Teach.zrt")), teach);
    EXPECT_EQ(events(readFileBytes(c.dir.file("ev_Recog.zrt"))),
              records({{1, "aim"}, {0, "bef"}, {0, "bef"}}));
    EXPECT_EQ(body(readFileBytes(c.dir.file("ev_code.txt")), "Output codes:\r\n"),
              std::string("\x01\x00\x00", 3));
    EXPECT_EQ(tableRows(readFileBytes(c.dir.file("second_error.txt"))),
              "       1 100.000 100.000 100.000\r\n"
              "       2  33.333  66.667   0.000\r\n");
    // Halt! after a finished run closes nothing and shows nothing more.
    const std::string last =
        "[status]\nProgram Canceled!; find results in " + c.dir.file("ev_Teach.zrt") + "\n[end]\n";
    EXPECT_EQ(e.out.substr(e.out.size() - last.size()), last);
}

// A text table codes with K = nc and writes the category files.
TEST(Console, TextTableRunsFreelyWithCategoryFiles) {
    Console c;
    const std::string tree = writeTree(c.dir);
    TextEventTable table{.preamble = {"# coded by hand", "-- two components"},
                         .eventCount = 3,
                         .nc = 2,
                         .headerRow = "Speaker Vowel Gender x0 x1",
                         .rows = {}};
    for (const Event& e : kEvents)
        table.rows.push_back({std::string{e.cath[0], '\t', e.cath[1], ' ', e.cath[2]}, {e.x, e.y}});
    writeTextEventFile(c.dir.file("tab.txt"), table);
    Ended e =
        c.run("read tree\n" + tree +
              "\nset outputTeachCombined off\nset outputTeachCath1 on\nset outputRecogCath2 on\n"
              "set outputRecogCodes on\nset stepwiseProceeding off\nread data_1\n" +
              c.dir.file("tab.txt") + "\nstate\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(count(e.out, "[message]"), 2u);  // the finish message and the clusters box
    EXPECT_TRUE(has(e.out, "clustersNb=2\n"));
    EXPECT_EQ(
        body(readFileBytes(c.dir.file("tab_teach_Speaker.txt")),
             "#list for Speaker char values.\r\n"),
        "     0     a\r\n     1     b\r\nCodes of the cathegory \"Speaker\" values\r\n 0 0 1");
    EXPECT_EQ(body(readFileBytes(c.dir.file("tab_recog_Vowel.txt")), "\"Vowel\" values\r\n"),
              " 2 1 1");
    EXPECT_EQ(body(readFileBytes(c.dir.file("tab_code.txt")), "Output codes:\r\n"),
              std::string("\x01\x00\x00", 3));
    EXPECT_FALSE(fs::exists(c.dir.file("tab_Teach.zrt")));
}

// Compare mode through "Read tree&data": two series that part at K = 3 in
// their third event.
TEST(Console, CompareModeReadsTreeAndBothSeries) {
    Console c;
    const std::string tree = writeTree(c.dir);
    const std::string one = writeFvs(c.dir, "one.fvs", kEvents);
    std::vector<Event> other = kEvents;
    other[2].x = -80;
    const std::string two = writeFvs(c.dir, "two.fvs", other);
    Ended e = c.run(
        "set compareMode on\nset stepwiseProceeding off\nset outputTeachCodes on\n"
        "read tree&data\n" +
        tree + "\n" + one + "\n" + two + "\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(count(e.out, "[open]"), 3u);
    EXPECT_TRUE(has(e.out, "[disabled] set outputTeachCodes on\n"));
    for (const char* text :
         {"For the comparing mode no teaching file will be created.",
          "No output file for the teaching sample will be created",
          "Program finished.\nDue to your choice teach results were not saved...",
          "Program finished.\nDue to your choice recognition results were not "
          "saved..."})
        EXPECT_TRUE(has(e.out, std::string("[message]\n") + text + "\n[end]\n"));
    const std::string report = readFileBytes(c.dir.file("one_error.txt"));
    EXPECT_TRUE(has(report,
                    "Events number=3\r\nDiffereces between classifications of events in "
                    "signals:\r\n      \"" +
                        one + "\" and\r\n      \"" + two + "\".\r\n"));
    // Percentages of the events of one series: count * 200 / 6 steps.
    const std::string errors1 = "       1 100.000 100.000 100.000 100.000 100.000 100.000",
                      errors2 = "       2  33.333  66.667   0.000  33.333  66.667   0.000",
                      errors3 = "       3  66.667   0.000  33.333  33.333  33.333  66.667";
    EXPECT_EQ(tableRows(report), errors1 + "   0.000   0.000   0.000   0.000\r\n" + errors2 +
                                     "   0.000   0.000   0.000   0.000\r\n" + errors3 +
                                     "  33.333  33.333  33.333  33.333\r\n");
    EXPECT_FALSE(fs::exists(c.dir.file("one_Teach.zrt")));
}

// Break answered No (after one answer that does not fit), then Yes.
TEST(Console, BreakAnsweredNoThenYes) {
    Console c;
    const std::string tree = writeTree(c.dir), fvs = writeFvs(c.dir, "ev.fvs", kEvents);
    Ended e = c.run("read tree\n" + tree + "\nread data_1\n" + fvs +
                    "\nbreak\nnext\nperhaps\nN\nbreak\nstate\nnext\ny\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(count(e.out, "[question Yes/No] Breaks program!\nBreak coding?\n[end]\n"), 3u);
    EXPECT_TRUE(has(e.out, "breakRequested=on\n"));
    EXPECT_EQ(events(readFileBytes(c.dir.file("ev_Teach.zrt"))), records({{1, "aim"}, {0, "aof"}}));
    EXPECT_TRUE(has(readFileBytes(c.dir.file("ev_error.txt")), "Events number=2\r\n"));
}

TEST(Console, HaltBeforeAndDuringARun) {
    Console c;
    Ended e = c.run("halt!\nstate\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.out, "[status]\nProgram Canceled!; find results in " + c.dir.file("_Teach.zrt") +
                         "\n[end]\n[message]\nProgram finished.\nDue to your choice teach results "
                         "were not saved...\n[end]\n[message]\nProgram finished.\nDue to your "
                         "choice recognition results were not saved...\n[end]\n");

    const std::string tree = writeTree(c.dir), fvs = writeFvs(c.dir, "ev.fvs", kEvents);
    e = c.run("read tree\n" + tree + "\nread data_1\n" + fvs + "\nhalt!\nnext\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(readFileBytes(c.dir.file("ev_Teach.zrt")).size(), 6u * (254 + 1));
    EXPECT_TRUE(has(e.out, "[message]\nProgram finished\nFind results in:\n\"" +
                               c.dir.file("ev_Teach.zrt") + "\",\n\" and in\n"));
    EXPECT_EQ(e.out.find("[beep]"), std::string::npos);
}

// SIGINT: outside a run it ends the program; during a run it breaks, and a
// second one before the question is answered halts.
TEST(Console, InterruptBreaksThenHalts) {
    Console c;
    c.start();
    c.send("state\n");
    ASSERT_TRUE(c.waitFor("[state]"));
    c.interrupt();
    EXPECT_EQ(c.finish().status, 0);

    const std::string tree = writeTree(c.dir), fvs = writeFvs(c.dir, "ev.fvs", kEvents);
    c.start();
    c.send("read tree\n" + tree + "\nread data_1\n" + fvs + "\n");
    ASSERT_TRUE(c.waitFor("Program started coding data_1"));
    c.interrupt();
    c.send("state\n");
    ASSERT_TRUE(c.waitFor("breakRequested=on"));
    c.send("next\n");
    ASSERT_TRUE(c.waitFor("[question Yes/No] Breaks program!"));
    c.interrupt();
    ASSERT_TRUE(c.waitFor("Program Canceled!"));
    Ended e = c.finish();
    EXPECT_EQ(e.status, 0);
    EXPECT_TRUE(has(e.out, "Break coding?\n[end]\n[status]\nProgram Canceled!"));
    EXPECT_EQ(readFileBytes(c.dir.file("ev_Teach.zrt")).size(), 6u * (254 + 1));
}

// The end of input never leaves a dialog or question looping; giving up on
// the tree ends with status 1, a wrong command line with 2.
TEST(Console, EndOfInputAndExitStatuses) {
    Console c;
    Ended e = c.run("read tree\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(count(e.out, "[open]"), 1u);

    const std::string bad = c.dir.write("bad.vq", "not a tree\r\n");
    const std::string tries = "read tree\n" + bad + "\n\n" + bad + "\n";
    e = c.run(tries);
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(count(e.out, "You haven't pointed proper trree file!"), 2u);
    EXPECT_EQ(count(e.out, "[message]\nError in file name, (.vq) correct it"), 1u);
    EXPECT_EQ(count(e.out,
                    "[question Yes/No]\nYou have tried 2 times more to point proper tree "
                    "file, but you failed.\nHang up with it?\n[end]\n"),
              1u);
    EXPECT_EQ(c.run(tries + "yes\n").status, 1);
    EXPECT_EQ(c.run(tries + "no\n").status, 0);

    EXPECT_EQ(c.run("", {"--version"}).out, "zortan-console 2.a\n");
    e = c.run("", {"--help"});
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.out.find("Usage: zortan-console"), 0u);
    EXPECT_EQ(c.run("", {"--bogus"}).status, 2);
}

// A tree without a coded feature kind: the run asks for it; "stop" while it
// asks pauses the run after that event until "stop" again ("Continue").
TEST(Console, FeatureKindAskedStopContinueAndHibernate) {
    Console c;
    TreeFileContents t = tinyTree();
    t.tree.training.featureKind = -1;
    const std::string tree = writeTree(c.dir, t), fvs = writeFvs(c.dir, "ev.fvs", kEvents);
    Ended e = c.run("read tree\n" + tree +
                    "\nset stepwiseProceeding off\nset hibernateOnFinish on\nread data_1\n" + fvs +
                    "\nstop\nset featureKind 3\nstate\nstop\nset featureKind 1\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_TRUE(has(e.out, "[status]\nChoose \"Coded feature vectors\"!\n[end]\n"));
    EXPECT_TRUE(has(e.out, "waiting=on\n"));
    EXPECT_TRUE(has(e.out, "[beep]\n[hibernate]\n[message]\nProgram finished\n"));
    EXPECT_TRUE(has(e.out, "[disabled] set featureKind 1\n"));
    EXPECT_EQ(events(readFileBytes(c.dir.file("ev_Teach.zrt"))),
              records({{1, "aim"}, {0, "aof"}, {2, "buf"}}));
}

// The bundled samples, coded whole: the error with all groups is the one
// samples/README.md gives.
TEST(Console, BundledSamples) {
    Console c;
    const std::string samples = ZORTAN_SAMPLES;
    Ended e = c.run("read tree\n" + samples +
                    "/vowels-cep16-centroids32.vq\nset stepwiseProceeding off\n"
                    "read data_1\n" +
                    samples + "/vowels.fvs\nread tree\n" + samples +
                    "/vowels-table-centroids16.vq\nset stepwiseProceeding off\nread data_1\n" +
                    samples + "/vowels-melcep16.txt\n");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(count(e.out, "[status]\nProgram Finished!"), 2u);
    EXPECT_EQ(readFileBytes(c.dir.file("vowels_Teach.zrt")).size(), 6u * (254 + 477));
    // The last row of each table: all groups, as the samples' README says.
    const auto lastRow = [&](const std::string& file, int groups, std::array<double, 3> error) {
        const std::string rows = tableRows(readFileBytes(c.dir.file(file)));
        const size_t at = rows.rfind("\r\n", rows.size() - 3);
        std::array<double, 4> v{};
        ASSERT_EQ(std::sscanf(rows.c_str() + at, "%lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3]), 4);
        EXPECT_EQ(v[0], groups);
        for (size_t k = 0; k < 3; ++k) EXPECT_NEAR(v[k + 1], error[k], 0.05) << file;
    };
    lastRow("vowels_error.txt", 32, {19.9, 15.1, 3.1});
    lastRow("vowels-melcep16_error.txt", 16, {11.7, 31.9, 0.8});
}

}  // namespace
}  // namespace zortan
