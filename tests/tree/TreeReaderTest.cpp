#include "tree/TreeReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "platform/Errors.h"
#include "shell/InitFile.h"
#include "support/DataText.h"
#include "support/Session.h"
#include "tools/fixtures/TreeFileWriter.h"
#include "tree/TreeCoding.h"
#include "window/Program.h"
#include "window/ShellRules.h"
#include "window/TreeInput.h"

namespace zortan {
namespace {

using fixtures::makeTree;
using fixtures::SplitOrder;
using fixtures::TreeFileContents;
using fixtures::treeFileText;

// A fresh program whose options file lives in a temporary folder.
struct Session : testing::Workspace {
    Program program{ui, dir.path()};

    Session() { ReadInitFile(program.options, ui, dir.path()); }
    // Reads the tree, the dialog answering with `path`.
    void read(const std::string& path) {
        ui.answers.push_back(path);
        TreeReaderDesk desk = treeReaderDesk(program);
        ReadTree(desk);
    }
    void read(const TreeFileContents& c) { read(dir.write("t.vq", treeFileText(c))); }
};

// The values, "|"-separated; reals with every digit.
template <class... T>
std::string str(const T&... v) {
    std::ostringstream s;
    s.precision(17);
    auto put = [&s](const auto& x) {
        if constexpr (std::is_arithmetic_v<std::decay_t<decltype(x)>>)
            s << +x << "|";
        else
            s << x << "|";
    };
    (put(v), ...);
    return s.str();
}

// Every item of every node, the centroids exactly.
std::string nodesText(const QuantizationTree& t) {
    std::string s;
    char real[32];
    for (const TreeNode& n : t.nodeHeap) {
        s += str(n.son, n.brother, n.code, n.treeCath1, n.treeCath2, n.treeCath3, n.splitComponent);
        for (double x : n.centroid) s += (std::snprintf(real, sizeof real, " %a", x), real);
        s += "\n";
    }
    return s;
}

// Clusters follow the smaller of tree sizes and centroids; a second, smaller
// tree shrinks the arrays and keeps what it does not read.
TEST(TreeReader, SecondTreeResizesArraysAndKeepsWhatItDoesNotRead) {
    Session t;
    TreeFileContents big = makeTree(6, 6);  // HeapTop 10
    big.tree.centroidsNb = 7, big.tree.cath[0].nbr = 2;
    big.tree.cath[0].list = {'a', 'b', 'c', '\0'};
    t.read(big);
    const CoderState& coder = t.program.coder;
    EXPECT_EQ(str(t.program.shell.clustersNb, t.program.eventNbr, coder.BoolErrorVector.size(),
                  coder.nodePath1.size(), t.program.tree.groupTable.size()),
              "6|6000|6|11|8|");
    t.program.coder.errorRecords1[1].cath2 = 9;
    const TreeFileContents small =
        makeTree(3, 3, SplitOrder::Balanced, [](int node, int i) { return 100.0 + node + i; });
    t.read(small);
    QuantizationTree want = small.tree;  // centroid components beyond 3 are big's
    for (size_t k = 0; k < 5; ++k)
        for (size_t i = 3; i < kComponents; ++i)
            want.nodeHeap[k].centroid[i] = big.tree.nodeHeap[k].centroid[i];
    EXPECT_EQ(nodesText(t.program.tree), nodesText(want));
    EXPECT_EQ(str(coder.errorRecords1.size(), coder.errorRecords1[1].cath2, coder.groupDiff.size()),
              "3|9|5|");
    EXPECT_EQ(t.program.tree.cath[0].list,
              (TcharList{'a', 'b', 'c'}));  // the extra entry is never filled
}

// "Read tree": the clusters edit taken first, the dialog retried until a file exists.
TEST(TreeReader, ReadTreeProcedureAndItsDialog) {
    Session t;
    const std::string good = t.dir.write("a.vq", treeFileText(makeTree(4, 1)));
    t.program.shell.clustersEditText = "abc", t.ui.answers = {"", t.dir.file("missing.vq"), good};
    TreeReaderDesk desk = treeReaderDesk(t.program);
    ReadTreeProcedure(desk);
    // Statuses, messages and dialogs in order ("@" is the folder and its
    // separator): a cancelled dialog leaves only the extension, naming no file.
    std::string log;
    for (const std::string& entry : t.ui.log) log += entry + "\n";
    EXPECT_EQ(log, testing::dataText("read-tree.log", t.dir.file("")));
    const FileDialogRequest& first = t.ui.dialogs.at(0);
    ASSERT_EQ(first.filters.size(), 7u);
    EXPECT_EQ(str(first.defaultExtension, first.filters[4].name, first.filters[3].pattern),
              ".vq*|quantization tree|*.*fvs*|");
    EXPECT_GE(t.ui.pendingEventsProcessed, 3);  // the window stays responsive
    EXPECT_EQ(t.program.shell.treeTexts.treePathCaption, "\"" + good + "\"");
    EXPECT_EQ(t.program.shell.treeTexts.heading, "date 2024-03-01@10:15, teaching file train.fvs");
    EXPECT_TRUE(t.program.shell.treeRead && t.program.shell.focus == Focus::ReadData1);
    EXPECT_EQ(t.program.shell.clustersNb, 4);
}

// A hand-written file: the layout's order, low-order bits (258, 65536 in the
// nodes), clamped value lists, the line 2 cuts and the published texts.
TEST(TreeReader, HandWrittenFileIsReadItemByItem) {
    Session t;
    t.read(t.dir.write("hand.vq", testing::dataText("hand-written.vq")));
    const QuantizationTree& q = t.program.tree;
    const AnalysisSettings& a = q.training;
    const TreeTrainingSettings& trb = q.treeTraining;
    const InitFileOptions& o = t.program.options;
    EXPECT_EQ(str(q.teachingText, o.treeTrainingFileDir, o.waveFileDir, q.featuresSetText,
                  t.program.cathLabel1, t.program.cathLabel3.size()),
              "teaching sample D:\\train\\set a.fvs|D:\\train\\set a.fvs| E:\\waves\\w.wav| "
              "features 0, 2, 32 and 255|Speakers of the corpus|255|");
    EXPECT_EQ(q.cath[0].set.words, (std::array<uint64_t, 4>{~uint64_t{0}, 0, 0, 0}));
    EXPECT_EQ(q.cath[2].set.words, (std::array<uint64_t, 4>{5, 6, 7, 8}));
    // Members 0, 2, 32 and 255, from eight 32-bit words.
    EXPECT_EQ(q.constrainedSet.words,
              (std::array<uint64_t, 4>{(uint64_t{1} << 32) + 5, 0, 0, uint64_t{1} << 63}));
    EXPECT_EQ(str(trb.setsDividingMethod, a.lifterThreshold, a.featureKind, q.cath[0].active,
                  q.cath[1].active, q.cath[2].active, a.averaging, a.averagingFrames, a.frameStep,
                  a.rate, a.scalingConstants, a.filter, a.windowShape, a.preemphasis, trb.cartLike),
              str(1, -1, 4, 1, 0, 2, false, 4, 12.5, 16000.0, 1, -1, 2, false, false));
    EXPECT_EQ(str(trb.setChoiceCriterion, trb.featuresChoiceCriterion, trb.setChoiceClassifier,
                  trb.featuresChoiceClassifier, trb.setChoiceTraining, trb.featuresChoiceTraining),
              str(3, 1, 2, -1, 0, 1));
    EXPECT_EQ(q.groupTable, (std::vector<int32_t>{10, -20, 30}));
    EXPECT_EQ(q.excludeSetCard, 77);
    // The counts line and the lists come in the order 2, 1, 3.
    const auto list = [](const TcharList& l) { return std::string(l.begin(), l.end()); };
    EXPECT_EQ(str(q.cath[0].nbr, q.cath[1].nbr, q.cath[2].nbr, list(q.cath[0].list),
                  list(q.cath[1].list), list(q.cath[2].list)),
              str(0, 2, 1, std::string("k\0", 2), "uvw", "mn"));
    EXPECT_EQ(trb.classifierNames, (std::array<std::string, 3>{"Speaker", "Vowels", "LLLLLLL"}));
    ASSERT_EQ(q.nodeHeap.size(), 3u);
    EXPECT_EQ(str(q.nodeHeap[0].treeCath2, q.nodeHeap[0].centroid[1], q.nodeHeap[1].code,
                  q.nodeHeap[2].centroid[1]),
              str(2, -1E-3, 0, 4.5));

    const TreeDataTexts& x = t.program.shell.treeTexts;
    EXPECT_EQ(x.trainingDescription, q.teachingText);
    EXPECT_EQ(x.summary,
              "Nbr of groups=2, Nbr of nodes=2, Nbr of events=4294967296000, number of "
              "considered components=2, FFT windows width=1024");
    EXPECT_EQ(str(x.lifterThreshold, x.featureCaption, x.featuresSetTreeData, x.excludeSetCaption,
                  x.categoryCaptions, x.scalingFactor, t.program.shell.statusBarText),
              "-1|mel cepstrum| features 0, 2, 32 and 255|Exclude Set Card=77|Vowels, Speaker, "
              "LLLLLLL|1.00|Reading status line|");
}

// Each limit of the file at its edge and one past it (the bad tree files'
// refusals aside); beyond a value list's names the number is taken as the
// nearest name. Trees of other shapes read back exactly, also without a line
// end after their last line. What each case read is in the file.
TEST(TreeReader, LimitsOfTheFile) {
    using Edit = std::function<void(TreeFileContents&)>;
    const Edit none = [](TreeFileContents&) {};
    const auto tree = [](int leaves, int components, SplitOrder order) -> Edit {
        return [=](TreeFileContents& c) { c = makeTree(leaves, components, order); };
    };
    const struct {
        int line;          // 0: the file as written, edited
        std::string text;  // the line, or what the edit does
        Edit edit;
    } cases[] = {
        {6, "4", none},
        {6, "5", none},
        {6, "-1", none},
        {6, "-2", none},
        {3, "2147483647", none},
        {3, "2147483648", none},
        {4, "4 6 9223372036854775807 24 w", none},
        {4, "4 6 4000 32767 w", none},
        {4, "4 6 4000 32768 w", none},  // its low 16 bits
        {43, std::string(255, 'S'), none},
        {43, std::string(256, 'S'), none},
        {0, "code 3", [](TreeFileContents& c) { c.tree.nodeHeap[2].code = 3; }},
        {0, "code 4", [](TreeFileContents& c) { c.tree.nodeHeap[2].code = 4; }},
        {0, "4 first sons", tree(4, 129, SplitOrder::FirstSons)},
        {0, "1 balanced", tree(1, 3, SplitOrder::Balanced)},
        {0, "3 second sons", tree(3, 0, SplitOrder::SecondSons)},
        {0, "6 second sons", tree(6, 2, SplitOrder::SecondSons)},
    };
    std::string outcomes;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.line) + ": " + c.text);
        TreeFileContents contents = makeTree(4, 2);
        c.edit(contents);
        std::string text = treeFileText(contents);
        text.resize(text.size() - 2);  // a last line without its line end is complete
        if (c.line > 0) {
            size_t start = 0;
            for (int i = 1; i < c.line; ++i) start = text.find("\r\n", start) + 2;
            text.replace(start, text.find("\r\n", start) - start, c.text);
        }
        Session t;
        const std::string path = t.dir.write("t.vq", text);
        std::string outcome;
        try {
            t.read(path);
            const Program& p = t.program;
            const QuantizationTree &q = p.tree, &w = contents.tree;
            const bool same =
                nodesText(q) == nodesText(w) &&
                std::tie(q.cath[0].list, q.cath[1].list, q.cath[2].list, q.cath[1].set.words,
                         q.constrainedSet.words, q.groupTable) ==
                    std::tie(w.cath[0].list, w.cath[1].list, w.cath[2].list, w.cath[1].set.words,
                             w.constrainedSet.words, w.groupTable);
            outcome = " kind=" + str(q.training.featureKind, p.shell.treeTexts.featureCaption) +
                      " method=" + std::to_string(q.treeTraining.setsDividingMethod) +
                      " events=" + std::to_string(q.trainingEventsNb) +
                      " lifter=" + std::to_string(q.training.lifterThreshold) +
                      " label=" + std::to_string(p.cathLabel1.size()) + " same=" +
                      str(same, p.shell.clustersNb, p.eventNbr, p.coder.BoolErrorVector.size(),
                          p.coder.nodePath2.size());
        } catch (const InOutError& e) {
            outcome = std::string("error: ") + e.what();
        } catch (const RangeError&) {
            outcome = "range";
        } catch (const CommandAborted&) {
            outcome = "refused";
        }
        for (const std::string& m : t.ui.messages) outcome += ": " + m;
        if (const size_t at = outcome.find(path); at != std::string::npos)
            outcome.replace(at, path.size(), "@");
        outcomes += std::to_string(c.line) + " " +
                    (c.text.size() > 40 ? std::to_string(c.text.size()) + " S" : c.text) + ":" +
                    outcome + "\n";
    }
    EXPECT_EQ(outcomes, testing::dataText("tree-file-limits.txt"));
}

TEST(TreeReader, AveragingCaptions) {
    Session t;
    TreeFileContents c = makeTree(2, 1);
    c.tree.training.averaging = true, c.tree.training.averagingFrames = 3;
    c.tree.training.frameStep = 12.5, c.tree.treeTraining.averagingWindowMs = 25;
    t.read(c);
    auto& captions = t.program.shell.treeTexts.averagingCaptions;
    EXPECT_EQ(captions,
              (std::array<std::string, 9>{"rectangle", "25ms", "3frames", "12.5ms", "16000Hz",
                                          "rectangle", "25ms", "3frames", "12.5ms"}));
    captions[0] = "shape";
    c.tree.treeTraining.averagingWindowShape = 1;  // named nowhere: the caption stays
    t.read(c);
    EXPECT_EQ(captions[0], "shape");
    c.tree.training.averaging = false;
    t.read(c);
    EXPECT_EQ(captions, (std::array<std::string, 9>{"xxx", "xxx", "xxx", "xxx", "xxx", "xxx", "xxx",
                                                    "xxx", "xxx"}));
}

}  // namespace
}  // namespace zortan
