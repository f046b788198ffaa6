// Bad tree files given to "Read tree" after a good one: the message or
// platform error each must give, whether the tree counts as read, and a
// window that stays usable.
#include <gtest/gtest.h>

#include <memory>

#include "support/Session.h"

namespace zortan {
namespace {

using fixtures::makeTree;
using fixtures::TreeFileContents;
using Lines = std::vector<std::string>;
using testing::Session;
using namespace std::string_literals;

Lines lines(const std::string& text) {
    Lines out;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        out.push_back(text.substr(at, end - at));
    return out;
}
std::string join(const Lines& ls) {
    std::string text;
    for (const std::string& l : ls) text += l + "\r\n";
    return text;
}
// Three leaves over two components, and the lines of its file: 46 lines,
// then node block k from line 47 + 5k: a heading, the integers, a heading
// and two centroid lines.
TreeFileContents goodTree() {
    TreeFileContents c = makeTree(3, 2, fixtures::SplitOrder::Balanced,
                                  [](int n, int i) { return 100 + n + i / 8.0; });
    c.cathLabel1 = "Sp-B";
    return c;
}
const Lines good = lines(fixtures::treeFileText(goodTree()));

// What reading a damaged file must give: the platform error shown, if any;
// the one message shown, if any ("@" stands for the path); whether the tree
// counts as read.
struct Outcome {
    std::string error, message;
    bool read = false;
};
const Outcome invalid{"Invalid numeric input", ""}, range{"Range check error", ""};
std::string endsEarly(const std::string& where) {
    return "The tree file \"@\" ends too early: " + where +
           " is missing or incomplete.\r\nThe tree has not been read.";
}

// A session that has read a good tree (two leaves over one component), then
// `file`.
std::unique_ptr<Session> expectOutcome(const Lines& file, const Outcome& o) {
    auto s = std::make_unique<Session>();
    s->readTree(makeTree(2, 1));
    s->clearShown();
    const std::string path = s->dir.write("bad.vq", join(file));
    std::string message = o.message;
    s->readTree(path);
    if (const size_t at = message.find('@'); at != std::string::npos) message.replace(at, 1, path);
    EXPECT_EQ(s->ui.errors, o.error.empty() ? Lines{} : Lines{o.error});
    EXPECT_EQ(s->ui.messages, message.empty() ? Lines{} : Lines{message});
    EXPECT_EQ(s->p.shell.treeRead, o.read);
    return s;
}

TEST(BadTreeFile, FileCutAfterAnyLine) {
    ASSERT_EQ(good.size(), 46u + 5 * 5);
    for (int n = 1; n < int(good.size()); ++n) {
        SCOPED_TRACE("cut after line " + std::to_string(n));
        auto s = expectOutcome(
            Lines(good.begin(), good.begin() + n),
            {"", endsEarly(n < 46 ? "line " + std::to_string(n + 1)
                                  : "node block " + std::to_string((n - 46) / 5 + 1) + " of 5")});
        // What the lines before the cut gave stays; the rest is the earlier
        // tree's (two leaves, "Speaker", its own centroids).
        EXPECT_EQ(s->p.tree.centroidsNb, n >= 4 ? 3 : 2);
        EXPECT_EQ(s->p.cathLabel1, n >= 43 ? "Sp-B" : "Speaker");
        EXPECT_EQ(s->p.tree.nodeHeap.at(0).centroid[0] == 100, n >= 50);
        // The window is usable: the whole file is read next.
        EXPECT_TRUE(s->readTree(goodTree()) && s->p.shell.treeRead);
    }
}

TEST(BadTreeFile, DamagedItems) {
    const std::string oldFft =
        "Error in reding the FFT signal portion length from the tree file.\r\n It can arrise if "
        "you are using quantization tree produced by the TRB program version older than v. "
        "2.6\r\nwhere this information was not recorded.";
    std::vector<std::tuple<int, std::string, Outcome>> cases = {
        // 16-bit sizes keep their low 16 bits: 65539 groups are 3, 65540
        // nodes 4; -1 is 65535: its node blocks are missing.
        {4, "65539 65540 477 30 w", {"", "", true}},
        {4, "3 -1 477 30 w", {"", endsEarly("node block 6 of 65536")}},
        {4, "3 4 9223372036854775808 30 w", invalid},
        {4, "3 4 477 2147483648 w", invalid},
        // Category counts: -1 is an empty list, below -1 no list can be made,
        // 40000 is -25536 in 16 bits.
        {34, "2 1 -2 counts", range},
        {34, "40000 1 1 counts", range},
        {34, "2 1 -1 counts", {"", "", true}},
        // A negative count of components reads no centroid lines: the next
        // block's heading is taken from a centroid line, its integers from a real.
        {5, "2147483648 512", invalid},
        {5, "-1 512", invalid},
        // The FFT width after the components is reported; reading goes on
        // and the width stays the earlier tree's.
        {5, "2 x considered components", {"", oldFft, true}},
        {5, "2", {"", oldFft, true}},
        {5, "2 2.5E2", {"", oldFft, true}},
    };
    // The first item of each line of numbers is no number; 1e5 is a fine real.
    std::vector<int> numberLines = {31, 32, 34};
    for (int line = 2; line <= 29; ++line) numberLines.push_back(line);
    for (int k = 0; k < 5; ++k) numberLines.insert(numberLines.end(), {48 + 5 * k, 50 + 5 * k});
    for (int line : numberLines)
        for (const std::string word : {"7q", "x", "--1", "1e5", "0x10"}) {
            const bool real = line == 14 || line == 15 || (line > 46 && line % 5 == 0);
            const std::string& numbers = good[size_t(line - 1)];
            if (!real || word != "1e5")
                cases.push_back({line,
                                 word + numbers.substr(std::min(numbers.find(' '), numbers.size())),
                                 invalid});
        }
    for (const auto& [line, text, outcome] : cases) {
        SCOPED_TRACE(std::to_string(line) + ": " + text);
        Lines file = good;
        file.at(size_t(line - 1)) = text;
        auto s = expectOutcome(file, outcome);
        EXPECT_TRUE(outcome.message != oldFft || s->p.tree.training.fftWindowWidth == 256);
        EXPECT_TRUE(line != 4 || !outcome.read || s->p.tree.HeapTop == 4);
        EXPECT_TRUE(line != 34 || !outcome.read || s->p.tree.cath3List.empty());
    }
}

// Two refusals, then the question: Yes ends the program, No gives one more
// choice, and a good file then is read.
TEST(BadTreeFile, WrongFirstLineIsRefusedTwiceThenTheUserIsAsked) {
    for (const std::string& first : {" date"s, ""s, "DATE"s, "\0\x01\x02 binary"s}) {
        SCOPED_TRACE(first);
        Session s;
        s.readTree(makeTree(2, 1));
        s.clearShown();
        Lines file = good;
        file[0] = first;
        const std::string bad = s.dir.write("bad.vq", join(file));
        const bool yes = first != "DATE";
        EXPECT_EQ(s.click(Command::ReadTree, {bad, bad, yes ? "yes" : "no", s.tree(goodTree())}),
                  !yes);
        EXPECT_EQ(s.exitStatus, yes ? 1 : -1);
        EXPECT_EQ(s.ui.messages,
                  Lines(2,
                        "You haven't pointed proper trree file!\r\nYou should look rather in the "
                        "\"..\\TRB\\Results\" directory than in currently used \"" +
                            s.dir.path() + "\".\r\nTry  once more!"));
        EXPECT_EQ(std::count(s.ui.log.begin(), s.ui.log.end(),
                             "question: |You have tried 2 times more to point proper tree file, "
                             "but you failed.\r\nHang up with it?"),
                  1);
        EXPECT_TRUE(s.ui.errors.empty());
        EXPECT_EQ(s.p.shell.treeRead, !yes);
        EXPECT_EQ(s.p.tree.centroidsNb, yes ? 2 : 3);
    }
}

// More than 129 components stop at the 130th value of the first node; a
// son index at HeapTop+1 is a range error of the walk, beyond it the walk
// first tells what is wrong with the tree. A run the error stopped says where
// and why instead of announcing a finished run.
TEST(BadTreeFile, TooManyComponentsAndSonIndicesBeyondHeapTop) {
    for (int components : {130, 1000}) {
        auto s = expectOutcome(lines(fixtures::treeFileText(makeTree(2, components))), range);
        s->readData1(s->table("ev.txt", {{}}));  // a run cannot start on what was left
        EXPECT_EQ(s->ui.messages, Lines{"Read tree first!"});
    }
    for (int son : {5, 6, 32767, -32768}) {
        SCOPED_TRACE(son);
        TreeFileContents c = goodTree();
        c.tree.nodeHeap[2].son = static_cast<int16_t>(son);
        auto s = expectOutcome(lines(fixtures::treeFileText(c)), {"", "", true});
        s->allOutputs();
        // Near node 1 an event codes without node 2; near node 2 it reaches its son.
        s->readData1(s->dir.write("ev.txt",
                                  "3 events\r\n2\r\n32767\r\nV S G\r\nx p r 101 101\r\ny q s 101 "
                                  "101\r\nz p r 102 102\r\n"));
        // No sons make node 2 a leaf; else the two events before were coded
        // and written, the third was not.
        const bool stopped = son > 0;
        const std::string k = std::to_string(son), run = stopped ? "stopped" : "finished";
        std::string said;
        for (const std::string& m : s->ui.messages)
            said += m.starts_with(
                        "An error in proc. \"EncodeIter\" occured!\r\nindex k> "
                        "HeapTop+1, the k is beyond the tree node index scope.\r\nk=" +
                        k +
                        "\r\nHeapTop+1=4\r\ncentroidsNb=3\r\nstartNodeIndex=2\r\n"
                        "nodeHeap[startNodeIndex].son=" +
                        k + "\r\nThe \"heapTop\"")
                        ? "walk "
                    : m.starts_with("Program finished") ? "finished "
                    : m.starts_with(
                          "The run stopped at event 3: Range check error.\r\nFind the 2 "
                          "events coded in:\r\n\"" +
                          s->dir.file("ev_Teach.zrt") + "\"")
                        ? "stopped "
                        : "";
        EXPECT_EQ(said, (son > 5 ? "walk " : "") + run + " ");
        EXPECT_EQ(s->ui.errors, stopped ? Lines{"Range check error"} : Lines{});
        for (const char* name : {"ev_Teach.zrt", "ev_Recog.zrt"}) {
            const auto f = testing::readCombinedFile(s->bytes(name));
            EXPECT_TRUE(f.wellFormed && f.records.size() == (stopped ? 2u : 3u)) << name;
        }
        EXPECT_EQ(s->p.shell.statusCaption,
                  stopped ? "Program stopped by an error!" : "Program Finished!");
        EXPECT_EQ(s->p.run.stoppedByError, stopped);
        EXPECT_TRUE(s->p.shell.controls.readTreeEnabled && s->p.shell.controls.inputGroupEnabled);
    }
}

}  // namespace
}  // namespace zortan
