// Bad tree files given to "Read tree": the message each one must give and
// the state it must leave. A file that fails at line L keeps what lines
// before L gave and the earlier tree's values for the lines after it.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "robustness/WindowSession.h"
#include "shell/Format.h"
#include "tools/fixtures/TextEventFileWriter.h"
#include "tools/fixtures/TreeFileWriter.h"

namespace zortan {
namespace {

using fixtures::makeTree;
using fixtures::TreeFileContents;
using fixtures::treeFileText;
using testing::readCombinedFile;
using testing::WindowSession;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        out.push_back(text.substr(start, end - start));
    return out;
}
std::string join(const std::vector<std::string>& ls) {
    std::string text;
    for (const std::string& l : ls) text += l + "\r\n";
    return text;
}
// Token `index` (0-based, -1 the last) of a number list is replaced.
std::string withToken(const std::string& line, int index, int numbers, const std::string& by) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    words.at(static_cast<size_t>(index < 0 ? numbers - 1 : index)) = by;
    std::string out;
    for (size_t i = 0; i < words.size(); ++i) out += (i ? " " : "") + words[i];
    return out;
}

// The earlier tree: two leaves over one component.
TreeFileContents earlierTree() {
    return makeTree(2, 1);
}

// The damaged tree's sound original: three leaves over two components, every
// item that the checks below look at different from the earlier tree.
TreeFileContents laterTree() {
    TreeFileContents c = makeTree(3, 2, fixtures::SplitOrder::Balanced,
                                  [](int n, int i) { return 100 + n + i / 8.0; });
    QuantizationTree& t = c.tree;
    c.line2Text = "teaching set B C:\\b\\b.fvs";
    t.treeTraining.setsDividingMethod = 0;
    t.training.lifterThreshold = 30;
    t.training.fftWindowWidth = 512;
    t.training.featureKind = 4;
    t.cath1Set.insert('c');
    t.constrainedSet.words[0] &= ~uint64_t{1 << 5};
    t.featuresSetText = " set B";
    t.cath1Active = 0;
    t.training.averaging = true;
    t.treeTraining.averagingWindowShape = 2;
    t.treeTraining.averagingWindowMs = 50;
    t.training.averagingFrames = 7;
    t.training.frameStep = 12.5;
    t.training.rate = 8000;
    t.training.scalingConstants = 1;
    t.training.filter = 3;
    t.training.windowShape = 4;
    t.treeTraining.setChoiceCriterion = 2;
    t.treeTraining.featuresChoiceCriterion = 2;
    t.treeTraining.setChoiceClassifier = 2;
    t.treeTraining.featuresChoiceClassifier = 0;
    t.treeTraining.setChoiceTraining = 0;
    t.treeTraining.featuresChoiceTraining = 0;
    t.training.preemphasis = false;
    t.treeTraining.cartLike = true;
    for (size_t i = 0; i < t.groupTable.size(); ++i) t.groupTable[i] = 100 + int(i);
    t.excludeSetCard = 17;
    t.cath2List = {'x', 'y', 'z'};
    t.cath2Nbr = 2;
    t.cath1List = {'p', 'q', '\0'};
    t.cath3List = {'r', 's'};
    c.cathLabel1 = "Sp-B";
    c.cathLabel2 = "Vo-B";
    c.cathLabel3 = "Ge-B";
    c.line46 = "nodes of B";
    t.nodeHeap[0].splitComponent = 1;
    t.nodeHeap[2].treeCath3 = 7;
    return c;
}

// Line numbers of the later tree's node items: block k starts after line
// 46 + 5k with its heading; its integers, a heading and two centroid lines follow.
constexpr int nodeLine(int k) {
    return 46 + 5 * k + 2;
}
constexpr int centroidLine(int k, int i) {
    return 46 + 5 * k + 4 + i;
}
constexpr int kLaterLines = 46 + 5 * 5;

struct Field {
    int line;
    const char* name;
    std::function<std::string(const Program&)> get;
};

std::string real(double v) {
    return formatGeneral(v);
}

const std::vector<Field>& fields() {
    static const std::vector<Field> f = {
        {2, "teachingText", [](const Program& p) { return p.tree.teachingText; }},
        {3, "setsDividingMethod",
         [](const Program& p) { return std::to_string(p.tree.treeTraining.setsDividingMethod); }},
        {4, "centroidsNb", [](const Program& p) { return std::to_string(p.tree.centroidsNb); }},
        {5, "consideredComponentsNb",
         [](const Program& p) { return std::to_string(p.tree.consideredComponentsNb); }},
        {6, "featureKind",
         [](const Program& p) { return std::to_string(p.tree.training.featureKind); }},
        {7, "cath1Set", [](const Program& p) { return std::to_string(p.tree.cath1Set.words[1]); }},
        {8, "constrainedSet",
         [](const Program& p) { return std::to_string(p.tree.constrainedSet.words[0]); }},
        {9, "cath1Active", [](const Program& p) { return std::to_string(p.tree.cath1Active); }},
        {10, "averaging",
         [](const Program& p) { return std::to_string(p.tree.training.averaging); }},
        {11, "averagingWindowShape",
         [](const Program& p) { return std::to_string(p.tree.treeTraining.averagingWindowShape); }},
        {12, "averagingWindowMs",
         [](const Program& p) { return std::to_string(p.tree.treeTraining.averagingWindowMs); }},
        {13, "averagingFrames",
         [](const Program& p) { return std::to_string(p.tree.training.averagingFrames); }},
        {14, "frameStep", [](const Program& p) { return real(p.tree.training.frameStep); }},
        {15, "rate", [](const Program& p) { return real(p.tree.training.rate); }},
        {18, "scalingConstants",
         [](const Program& p) { return std::to_string(p.tree.training.scalingConstants); }},
        {19, "filter", [](const Program& p) { return std::to_string(p.tree.training.filter); }},
        {20, "windowShape",
         [](const Program& p) { return std::to_string(p.tree.training.windowShape); }},
        {22, "setChoiceCriterion",
         [](const Program& p) { return std::to_string(p.tree.treeTraining.setChoiceCriterion); }},
        {23, "featuresChoiceCriterion",
         [](const Program& p) {
             return std::to_string(p.tree.treeTraining.featuresChoiceCriterion);
         }},
        {24, "setChoiceClassifier",
         [](const Program& p) { return std::to_string(p.tree.treeTraining.setChoiceClassifier); }},
        {25, "featuresChoiceClassifier",
         [](const Program& p) {
             return std::to_string(p.tree.treeTraining.featuresChoiceClassifier);
         }},
        {26, "setChoiceTraining",
         [](const Program& p) { return std::to_string(p.tree.treeTraining.setChoiceTraining); }},
        {27, "featuresChoiceTraining",
         [](const Program& p) {
             return std::to_string(p.tree.treeTraining.featuresChoiceTraining);
         }},
        {28, "preemphasis",
         [](const Program& p) { return std::to_string(p.tree.training.preemphasis); }},
        {29, "cartLike",
         [](const Program& p) { return std::to_string(p.tree.treeTraining.cartLike); }},
        {31, "groupTable",
         [](const Program& p) { return std::to_string(p.tree.groupTable.at(1)); }},
        {32, "excludeSetCard",
         [](const Program& p) { return std::to_string(p.tree.excludeSetCard); }},
        {34, "cath2Nbr", [](const Program& p) { return std::to_string(p.tree.cath2Nbr); }},
        // A list's first entry: line 34 sizes the list, keeping what it held.
        {37, "cath2List", [](const Program& p) { return std::string(1, p.tree.cath2List.at(0)); }},
        {39, "cath1List", [](const Program& p) { return std::string(1, p.tree.cath1List.at(0)); }},
        {41, "cath3List", [](const Program& p) { return std::string(1, p.tree.cath3List.at(0)); }},
        {43, "cathLabel1", [](const Program& p) { return p.cathLabel1; }},
        {45, "cathLabel3", [](const Program& p) { return p.cathLabel3; }},
        {46, "status bar", [](const Program& p) { return p.shell.statusBarText; }},
        {nodeLine(0), "node 0 split",
         [](const Program& p) { return std::to_string(p.tree.nodeHeap.at(0).splitComponent); }},
        {centroidLine(0, 0), "node 0 centroid 0",
         [](const Program& p) { return real(p.tree.nodeHeap.at(0).centroid[0]); }},
        {centroidLine(1, 0), "node 1 centroid 0",
         [](const Program& p) { return real(p.tree.nodeHeap.at(1).centroid[0]); }},
        {nodeLine(2), "node 2 treeCath3",
         [](const Program& p) { return std::to_string(p.tree.nodeHeap.at(2).treeCath3); }},
        {centroidLine(2, 1), "node 2 centroid 1",
         [](const Program& p) { return real(p.tree.nodeHeap.at(2).centroid[1]); }},
    };
    return f;
}

struct Snapshot {
    std::vector<std::string> values;
};
Snapshot snapshot(const Program& p) {
    Snapshot s;
    for (const Field& f : fields()) s.values.push_back(f.get(p));
    return s;
}

// A session that has read the earlier tree, and the state each tree gives.
struct TreeSession : WindowSession {
    static const Snapshot& earlier() {
        static const Snapshot s = readAlone(earlierTree());
        return s;
    }
    static const Snapshot& later() {
        static const Snapshot s = readAlone(laterTree());
        return s;
    }
    static Snapshot readAlone(const TreeFileContents& c) {
        WindowSession w;
        w.readTree(w.dir.write("t.vq", treeFileText(c)));
        EXPECT_TRUE(w.p.shell.treeRead);
        return snapshot(w.p);
    }

    TreeSession() {
        readTree(dir.write("earlier.vq", treeFileText(earlierTree())));
        EXPECT_TRUE(p.shell.treeRead);
        ui.messages.clear();
    }
    // Fields of lines before `line` come from the later tree, those after it
    // keep the earlier tree's values; the line itself may hold either.
    void expectStoppedAt(int line) const {
        const Snapshot now = snapshot(p);
        for (size_t i = 0; i < fields().size(); ++i) {
            const Field& f = fields()[i];
            if (f.line == line) continue;
            const Snapshot& want = f.line < line ? later() : earlier();
            EXPECT_EQ(now.values[i], want.values[i]) << f.name << " (line " << f.line << ")";
        }
    }
};

TEST(BadTreeFile, TreesDifferInEveryCheckedItem) {
    for (size_t i = 0; i < fields().size(); ++i)
        EXPECT_NE(TreeSession::earlier().values[i], TreeSession::later().values[i])
            << fields()[i].name;
    EXPECT_EQ(lines(treeFileText(laterTree())).size(), size_t{kLaterLines});
}

TEST(BadTreeFile, WrongFirstLineIsRefusedTwiceThenTheUserIsAsked) {
    const std::string good = treeFileText(laterTree());
    const std::string body = good.substr(good.find("\r\n") + 2);
    const std::string question =
        "You have tried 2 times more to point proper tree file, but you failed.\r\nHang up with "
        "it?";
    for (const std::string& first :
         {std::string("Date 2024"), std::string(" date"), std::string("DATE"), std::string(),
          std::string("dat"), std::string("\0\x01\x02\x03 binary", 11)}) {
        SCOPED_TRACE(first);
        TreeSession s;
        const std::string bad = s.dir.write("bad.vq", first + "\r\n" + body);
        // Two refusals, then the question; Yes ends the program.
        EXPECT_FALSE(s.click(Command::ReadTree, {bad, bad, "yes"}));
        EXPECT_EQ(s.exitStatus, 1);
        const std::string refusal =
            "You haven't pointed proper trree file!\r\nYou should look rather in the "
            "\"..\\TRB\\Results\" directory than in currently used \"" +
            s.dir.path() + "\".\r\nTry  once more!";
        EXPECT_EQ(s.ui.messages, std::vector<std::string>(2, refusal));
        EXPECT_EQ(s.ui.log.back(), "question: |" + question);
        EXPECT_TRUE(s.ui.errors.empty());
        EXPECT_FALSE(s.p.shell.treeRead);
        s.expectStoppedAt(1);
    }
    // No gives one more choice: a good file then is read.
    TreeSession t;
    const std::string wrong = t.dir.write("wrong.vq", "Date\r\n" + body);
    EXPECT_TRUE(t.click(Command::ReadTree, {wrong, wrong, "no", t.dir.write("right.vq", good)}));
    EXPECT_TRUE(t.p.shell.treeRead);
    EXPECT_EQ(t.ui.messages.size(), 2u);
    t.expectStoppedAt(kLaterLines + 1);
}

// Lines holding numbers, with their count of numbers (line 5: only the
// first; its second, the FFT width, is reported but does not stop).
std::vector<std::pair<int, int>> numberLines() {
    std::vector<std::pair<int, int>> l = {{2, 1}, {3, 1}, {4, 4},  {5, 1},  {6, 1},  {7, 12},
                                          {8, 8}, {9, 5}, {16, 2}, {31, 4}, {32, 1}, {34, 3}};
    for (int line : {10, 11, 12, 13, 14, 15, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29})
        l.push_back({line, 1});
    for (int k = 0; k < 5; ++k) {
        l.push_back({nodeLine(k), 7});
        l.push_back({centroidLine(k, 0), 1});
        l.push_back({centroidLine(k, 1), 1});
    }
    return l;
}

TEST(BadTreeFile, NonNumericItemOnAnyLineStopsWithInvalidNumericInput) {
    const std::vector<std::string> good = lines(treeFileText(laterTree()));
    for (const auto& [line, numbers] : numberLines()) {
        for (int item : {0, -1}) {
            for (const char* word : {"7q", "x", "--1", "1e5", "0x10"}) {
                // 1e5 is a real, a fine centroid value.
                const bool realLine =
                    line == 14 || line == 15 || (line > 46 && line != nodeLine((line - 48) / 5));
                if (realLine && std::string(word) == "1e5") continue;
                SCOPED_TRACE("line " + std::to_string(line) + " item " + std::to_string(item) +
                             " " + word);
                TreeSession s;
                std::vector<std::string> bad = good;
                bad[size_t(line - 1)] = withToken(bad[size_t(line - 1)], item, numbers, word);
                s.readTree(s.dir.write("bad.vq", join(bad)));
                EXPECT_EQ(s.ui.errors, std::vector<std::string>{"Invalid numeric input"});
                EXPECT_TRUE(s.ui.messages.empty());
                EXPECT_FALSE(s.p.shell.treeRead);
                s.expectStoppedAt(line);
            }
        }
    }
}

TEST(BadTreeFile, UnreadableFftWidthIsReportedAndReadingGoesOn) {
    std::vector<std::string> text = lines(treeFileText(laterTree()));
    for (const char* line5 : {"2 x considered components", "2", "2 2.5E2"}) {
        TreeSession s;
        text[4] = line5;
        s.readTree(s.dir.write("old.vq", join(text)));
        EXPECT_EQ(s.ui.messages,
                  std::vector<std::string>{
                      "Error in reding the FFT signal portion length from the tree file.\r\n It "
                      "can arrise if you are using quantization tree produced by the TRB program "
                      "version older than v. 2.6\r\nwhere this information was not recorded."});
        EXPECT_TRUE(s.p.shell.treeRead);
        EXPECT_EQ(s.p.tree.training.fftWindowWidth, earlierTree().tree.training.fftWindowWidth);
        s.expectStoppedAt(kLaterLines + 1);
    }
}

TEST(BadTreeFile, FileTruncatedAtEveryLineIsRefusedNamingWhatIsMissing) {
    const std::vector<std::string> good = lines(treeFileText(laterTree()));
    for (int n = 1; n < kLaterLines; ++n) {
        SCOPED_TRACE(n);
        TreeSession s;
        const std::string path =
            s.dir.write("cut.vq", join(std::vector<std::string>(good.begin(), good.begin() + n)));
        s.readTree(path);
        const std::string where = n < 46
                                      ? "line " + std::to_string(n + 1)
                                      : "node block " + std::to_string((n - 46) / 5 + 1) + " of 5";
        EXPECT_EQ(s.ui.messages, std::vector<std::string>{
                                     "The tree file \"" + path + "\" ends too early: " + where +
                                     " is missing or incomplete.\r\nThe tree has not been read."});
        EXPECT_TRUE(s.ui.errors.empty());
        EXPECT_FALSE(s.p.shell.treeRead);
        s.expectStoppedAt(n + 1);
        // The window is usable: the whole file is read next.
        EXPECT_TRUE(s.readTree(s.dir.write("whole.vq", join(good))));
        EXPECT_TRUE(s.p.shell.treeRead);
    }
}

TEST(BadTreeFile, CountsOutOfRange) {
    const std::vector<std::string> good = lines(treeFileText(laterTree()));
    struct Case {
        int line;
        std::string text;
        std::string error;  // the platform error shown, if any
        int stopsAt;        // the line reading stopped at, or 0 when the tree is read
        std::string early;  // what the early-end message names
    };
    const std::vector<Case> cases = {
        // 16-bit sizes keep their low 16 bits: 65539 groups are 3.
        {4, "65539 4 477 30 w", "", 0, ""},
        // 65540 nodes are 4; -1 is 65535: its node blocks are missing.
        {4, "3 65540 477 30 w", "", 0, ""},
        {4, "3 -1 477 30 w", "", 0, "node block 6 of 65536"},
        {4, "3 4 9223372036854775808 30 w", "Invalid numeric input", 4, ""},
        {4, "3 4 477 2147483648 w", "Invalid numeric input", 4, ""},
        {3, "-5", "", 0, ""},
        {6, "99", "", 0, ""},
        // Category counts: -1 is an empty list, below -1 no list can be made,
        // 40000 is -25536 in 16 bits.
        {34, "2 1 -2 counts", "Range check error", 34, ""},
        {34, "40000 1 1 counts", "Range check error", 34, ""},
        {34, "2 1 -1 counts", "", 0, ""},
        {5, "2147483648 512", "Invalid numeric input", 5, ""},
        // A negative count of components reads no centroid lines: the next
        // block's heading is taken from a centroid line, and its integers from
        // a real.
        {5, "-1 512", "Invalid numeric input", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.line) + ": " + c.text);
        TreeSession s;
        std::vector<std::string> bad = good;
        bad[size_t(c.line - 1)] = c.text;
        const std::string path = s.dir.write("bad.vq", join(bad));
        s.readTree(path);
        EXPECT_EQ(s.ui.errors,
                  c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
        if (!c.early.empty()) {
            EXPECT_EQ(s.ui.messages,
                      std::vector<std::string>{"The tree file \"" + path +
                                               "\" ends too early: " + c.early +
                                               " is missing or incomplete.\r\nThe tree has not "
                                               "been read."});
        } else {
            EXPECT_TRUE(s.ui.messages.empty());
        }
        EXPECT_EQ(s.p.shell.treeRead, c.error.empty() && c.early.empty());
        if (c.stopsAt) s.expectStoppedAt(c.stopsAt);
    }
    // What the accepted ones gave.
    TreeSession s;
    std::vector<std::string> bad = good;
    bad[3] = "65539 65540 477 30 w";
    bad[5] = "99";
    bad[2] = "-5";
    bad[33] = "2 1 -1 counts";
    bad[40] = "";
    s.readTree(s.dir.write("odd.vq", join(bad)));
    ASSERT_TRUE(s.p.shell.treeRead);
    const QuantizationTree& t = s.p.tree;
    EXPECT_EQ(t.centroidsNb, 3);
    EXPECT_EQ(t.HeapTop, 4);
    EXPECT_EQ(t.training.featureKind, 4);
    EXPECT_EQ(s.p.shell.treeTexts.featureCaption, "mel cepstrum");
    EXPECT_EQ(t.treeTraining.setsDividingMethod, -1);
    EXPECT_TRUE(t.cath3List.empty());
}

TEST(BadTreeFile, MoreThan129ComponentsStopAtThe130thValueOfTheFirstNode) {
    for (int components : {130, 1000}) {
        TreeSession s;
        const TreeFileContents wide = makeTree(2, components);
        s.readTree(s.dir.write("wide.vq", treeFileText(wide)));
        EXPECT_EQ(s.ui.errors, std::vector<std::string>{"Range check error"});
        EXPECT_FALSE(s.p.shell.treeRead);
        EXPECT_EQ(s.p.tree.consideredComponentsNb, components);
        // The first 129 values of node 0 were stored, node 1 is the earlier one.
        EXPECT_EQ(s.p.tree.nodeHeap[0].centroid, wide.tree.nodeHeap[0].centroid);
        EXPECT_EQ(s.p.tree.nodeHeap[1].centroid[0], makeTree(2, 1).tree.nodeHeap[1].centroid[0]);
        // A run cannot start on what was left.
        s.readData1(s.dir.write("e.txt", "1 e\r\n1\r\n1\r\nA B C\r\na b c 1\r\n"));
        EXPECT_EQ(s.ui.messages, std::vector<std::string>{"Read tree first!"});
    }
}

// A son index at HeapTop+1 is a range error of the walk; beyond it the walk
// first tells what is wrong with the tree. The reader accepts both trees.
TEST(BadTreeFile, SonIndicesBeyondHeapTopStopTheRunWithNothingLost) {
    for (int son : {5, 6, 32767, -32768}) {
        SCOPED_TRACE(son);
        TreeSession s;
        s.allOutputs(true);
        TreeFileContents c = makeTree(3, 2, fixtures::SplitOrder::Balanced,
                                      [](int n, int i) { return 100 + n + i / 8.0; });
        c.tree.nodeHeap[2].son = static_cast<int16_t>(son);
        s.readTree(s.dir.write("sons.vq", treeFileText(c)));
        ASSERT_TRUE(s.p.shell.treeRead);
        ASSERT_TRUE(s.ui.errors.empty());
        // Component 0 near node 1 codes without node 2; near node 2 reaches its son.
        fixtures::TextEventTable table;
        table.eventCount = 3;
        table.nc = 2;
        table.headerRow = "V S G";
        table.rows = {{"x p r", {101, 101}}, {"y q s", {101, 101}}, {"z p r", {102, 102}}};
        s.ui.messages.clear();
        s.readData1(s.dir.write("ev.txt", fixtures::textEventFileText(table)));
        if (son <= 0) {
            // No sons: node 2 is a leaf.
            EXPECT_TRUE(s.ui.errors.empty());
            EXPECT_EQ(readCombinedFile(s.bytes("ev_Teach.zrt")).records.size(), 3u);
            continue;
        }
        EXPECT_EQ(s.ui.errors, std::vector<std::string>{"Range check error"});
        std::vector<std::string> shown;
        for (const std::string& m : s.ui.messages)
            if (m.starts_with("An error in proc.")) shown.push_back(m);
        if (son == 5) {
            EXPECT_TRUE(shown.empty());
        } else {
            EXPECT_EQ(shown, std::vector<std::string>{
                                 "An error in proc. \"EncodeIter\" occured!\r\nindex k> HeapTop+1, "
                                 "the k is beyond the tree node index scope.\r\nk=" +
                                 std::to_string(son) +
                                 "\r\nHeapTop+1=4\r\ncentroidsNb=3\r\nstartNodeIndex=2\r\n"
                                 "nodeHeap[startNodeIndex].son=" +
                                 std::to_string(son) +
                                 "\r\nThe \"heapTop\" should be HeapTop:=2*(centroidsNb-1)!\r\n"
                                 "Probably bad tree construction; turn to the author."});
        }
        // The two events before were coded and written, the third was not.
        for (const char* name : {"ev_Teach.zrt", "ev_Recog.zrt"}) {
            const auto f = readCombinedFile(s.bytes(name));
            EXPECT_TRUE(f.wellFormed) << name;
            EXPECT_EQ(f.records.size(), 2u) << name;
        }
        EXPECT_EQ(s.p.run.stepCounter, 2);
        EXPECT_TRUE(s.p.run.runFinished);
        EXPECT_EQ(s.p.shell.statusCaption, "Program Finished!");
        EXPECT_TRUE(s.p.shell.controls.readTreeEnabled && s.p.shell.controls.inputGroupEnabled);
    }
}

}  // namespace
}  // namespace zortan
