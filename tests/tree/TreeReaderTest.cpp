#include "tree/TreeReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Errors.h"
#include "shell/InitFile.h"
#include "shell/Program.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "tools/fixtures/TreeFileWriter.h"
#include "tree/ChooseFile.h"
#include "tree/TreeCoding.h"

namespace zortan {
namespace {

using fixtures::makeTree;
using fixtures::SplitOrder;
using fixtures::TreeFileContents;
using fixtures::treeFileText;
using testing::readFileBytes;
using testing::ScriptedUi;
using testing::TempDir;

// A fresh program whose options file lives in a temporary folder.
struct Session {
    TempDir dir;
    ScriptedUi ui;
    Program program{ui, dir.path()};

    Session() { ReadInitFile(program.options, ui, dir.path()); }
    std::string put(const std::string& name, const std::string& text) {
        return dir.write(name, text);
    }
    // Reads the tree, the dialog answering with `path`.
    void read(const std::string& path) {
        ui.answers.push_back(path);
        ReadTree(program);
    }
    void read(const TreeFileContents& c, const std::string& name = "t.vq1") {
        read(put(name, treeFileText(c)));
    }
};

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return text;
}

std::string replaceLine(const std::string& text, size_t line, const std::string& by) {
    auto lines = splitLines(text);
    lines.at(line - 1) = by;
    return joinLines(lines);
}

std::string firstLines(const std::string& text, size_t n) {
    auto lines = splitLines(text);
    lines.resize(n);
    return joinLines(lines);
}

std::string earlyEndMessage(const std::string& path, const std::string& what) {
    return "The tree file \"" + path + "\" ends too early: " + what +
           " is missing or incomplete.\r\nThe tree has not been read.";
}

void expectSameNodes(const QuantizationTree& read, const QuantizationTree& written) {
    ASSERT_EQ(read.nodeHeap.size(), written.nodeHeap.size());
    for (size_t k = 0; k < read.nodeHeap.size(); ++k) {
        const TreeNode &r = read.nodeHeap[k], &w = written.nodeHeap[k];
        EXPECT_EQ(r.son, w.son) << k;
        EXPECT_EQ(r.brother, w.brother) << k;
        EXPECT_EQ(r.code, w.code) << k;
        EXPECT_EQ(r.treeCath1, w.treeCath1) << k;
        EXPECT_EQ(r.treeCath2, w.treeCath2) << k;
        EXPECT_EQ(r.treeCath3, w.treeCath3) << k;
        EXPECT_EQ(r.splitComponent, w.splitComponent) << k;
        EXPECT_EQ(r.centroid, w.centroid) << k;  // exact, unread entries stay 0
    }
}

TEST(TreeReader, WrittenTreesOfEveryShapeReadBackExactly) {
    struct Shape {
        int leaves, components;
        SplitOrder order;
    };
    for (Shape s : {Shape{1, 3, SplitOrder::Balanced}, Shape{5, 4, SplitOrder::Balanced},
                    Shape{6, 2, SplitOrder::SecondSons}, Shape{4, 129, SplitOrder::FirstSons}}) {
        SCOPED_TRACE(s.leaves);
        Session t;
        const TreeFileContents c = makeTree(s.leaves, s.components, s.order);
        const std::string path = t.put("tree.vq2", treeFileText(c));
        t.read(path);
        const QuantizationTree& q = t.program.tree;
        expectSameNodes(q, c.tree);
        EXPECT_EQ(q.cath1List, c.tree.cath1List);
        EXPECT_EQ(q.cath2List, c.tree.cath2List);
        EXPECT_EQ(q.cath3List, c.tree.cath3List);
        EXPECT_EQ(q.cath2Set.words, c.tree.cath2Set.words);
        EXPECT_EQ(q.constrainedSet.words, c.tree.constrainedSet.words);
        EXPECT_EQ(q.groupTable, c.tree.groupTable);
        EXPECT_EQ(q.treeTraining.classifierNames[1], "Vowel");
        EXPECT_EQ(t.program.cathLabel1, "Speaker");
        EXPECT_EQ(t.program.shell.clustersNb, s.leaves);
        EXPECT_EQ(t.program.eventNbr, 1000 * s.leaves);
        EXPECT_EQ(t.program.coder.BoolErrorVector.size(), size_t(s.leaves));
        EXPECT_EQ(t.program.coder.nodePath2.size(), size_t(2 * s.leaves - 1));
        EXPECT_EQ(t.program.coder.distanceFunction, &EuclidDist);
        EXPECT_EQ(t.program.options.treeTrainingFileDir, "C:\\wkd\\ondrix\\Results\\train.fvs");
        EXPECT_EQ(t.program.options.waveFileDir, " C:\\wkd\\Plimo\\Results\\train.wav");
        EXPECT_EQ(t.program.shell.statusBarText, "Reading nodes of the tree");
        EXPECT_EQ(t.program.shell.treeTexts.treePathCaption, "\"" + path + "\"");
        EXPECT_EQ(splitLines(readFileBytes(t.dir.file("Init.txt"))).at(3), path);
        EXPECT_TRUE(t.ui.messages.empty());
    }
}

TEST(TreeReader, DialogOffersTheTreeFilterAndRetriesUntilAFileExists) {
    Session t;
    const std::string path = t.put("a.vq", treeFileText(makeTree(2, 1)));
    t.ui.answers = {"", t.dir.file("missing.vq")};
    t.read(path);
    ASSERT_EQ(t.ui.dialogs.size(), 3u);
    const FileDialogRequest& first = t.ui.dialogs[0];
    EXPECT_EQ(first.title, "Quantisation tree opening");
    EXPECT_EQ(first.filterIndex, 5);
    EXPECT_EQ(first.path, "C:\\wkd\\TRB\\Results\\*.vq*");
    EXPECT_EQ(first.defaultExtension, ".vq*");
    ASSERT_EQ(first.filters.size(), 7u);
    EXPECT_EQ(first.filters[4].name, "quantization tree");
    EXPECT_EQ(first.filters[3].pattern, "*.*fvs*");
    // A cancelled dialog leaves only the extension, which names no file.
    EXPECT_EQ(t.ui.dialogs[1].path, ".vq*");
    EXPECT_EQ(t.ui.dialogs[2].defaultExtension, ".vq");
    const std::string tail =
        ") correct it or choose from list (you shold rather look for it in the "
        "\"...\\TRB\\Results\"\r\n(these data will be read only, they will be not modified, so "
        "you can point anything)";
    ASSERT_EQ(t.ui.messages.size(), 2u);
    EXPECT_EQ(t.ui.messages[0], "Error in file name, (.vq*" + tail);
    EXPECT_EQ(t.ui.messages[1], "Error in file name, (" + t.dir.file("missing.vq") + tail);
    EXPECT_GE(t.ui.pendingEventsProcessed, 3);
    EXPECT_EQ(t.program.options.treeFileDir, path);
}

TEST(TreeReader, HeadingMustBeginWithLowerCaseDateAndTheThirdAttemptAsks) {
    Session t;
    TreeFileContents c = makeTree(2, 1);
    const std::string good = t.put("good.vq", treeFileText(c));
    c.tree.treeHeading = "Date 2024";
    const std::string bad = t.put("bad.vq", treeFileText(c));
    t.ui.answers = {bad, bad, "no", bad, "no"};
    t.read(good);
    const std::string refused =
        "You haven't pointed proper trree file!\r\nYou should look rather in the "
        "\"..\\TRB\\Results\" directory than in currently used \"" +
        t.dir.path() + "\".\r\nTry  once more!";
    EXPECT_EQ(t.ui.messages, std::vector<std::string>(3, refused));
    std::vector<std::string> questions;
    for (const auto& entry : t.ui.log)
        if (entry.rfind("question: ", 0) == 0)
            questions.push_back(entry.substr(entry.find('|') + 1));
    const std::string hangUp =
        " times more to point proper tree file, but you failed.\r\nHang up "
        "with it?";
    EXPECT_EQ(questions,
              (std::vector<std::string>{"You have tried 2" + hangUp, "You have tried 3" + hangUp}));
    EXPECT_EQ(t.program.tree.treeHeading, "date 2024-03-01@10:15, teaching file train.fvs");
    EXPECT_EQ(t.program.shell.treeTexts.heading, t.program.tree.treeHeading);

    Session y;
    y.ui.answers = {bad, bad, "yes"};
    try {
        ReadTree(y.program);
        ADD_FAILURE() << "Yes to the question must end the program";
    } catch (const ProgramEnd& end) {
        EXPECT_EQ(end.exitStatus, 1);
    }
}

// A file written by hand: the layout's order, low-order bits, clamping of the
// value lists, the line 2 cuts and the published texts.
TEST(TreeReader, HandWrittenFileIsReadItemByItem) {
    const std::string label3(300, 'L');
    const std::vector<std::string> lines = {
        "date 2021-05-04@08:00", "7 the teaching sample D:\\train\\set a.fvs", "1",
        "2 2 4294967296000 65535 E:\\waves\\w.wav", "2 1024 components, FFT width", "9",
        "-1 0 0 0 1 2 3 4 5 6 7 8 sets",
        "4294967301 1 0 0 0 0 0 2147483648 features 0, 2, 32 and 255", "3 257 0 2 9 active", "512",
        "0", "20", "4", "12.5", "1.6E4", "5 6", "7", "1", "-7", "2", "99", "4", "1", "2", "-3", "0",
        "5", "256", "2", "groups", "10 -20 4294967326", "77 excluded", "counts",
        "2 0 1 values of Y2, Y1, Y3", "h", "h", "u;v;w;", "h", "k,", "h", "mxn", "h",
        "Speakers of the corpus", "Vowels", label3, "status line",
        // node 0: treeCath2 258 keeps its low 8 bits
        "n0", "1 2 0 3 258 1 1", "c", "0.25 rest ignored", "-1E-3",
        // node 1: code 65536 keeps its low 16 bits
        "n1", "0 2 65536 0 0 0 0", "c", "1.5", "2.5", "n2", "0 0 1 1 1 1 0", "c", "3.5", "4.5"};
    Session t;
    t.read(t.put("hand.vq", joinLines(lines)));
    const QuantizationTree& q = t.program.tree;
    EXPECT_EQ(q.teachingText, "teaching sample D:\\train\\set a.fvs");
    EXPECT_EQ(t.program.options.treeTrainingFileDir, "D:\\train\\set a.fvs");
    EXPECT_EQ(t.program.options.waveFileDir, " E:\\waves\\w.wav");
    EXPECT_EQ(q.treeTraining.setsDividingMethod, 1);
    EXPECT_EQ(q.training.lifterThreshold, -1);
    EXPECT_EQ(q.training.featureKind, 4);
    EXPECT_EQ(q.cath1Set.words, (std::array<uint64_t, 4>{~uint64_t{0}, 0, 0, 0}));
    EXPECT_EQ(q.cath3Set.words, (std::array<uint64_t, 4>{5, 6, 7, 8}));
    for (unsigned m : {0u, 2u, 32u, 255u}) EXPECT_TRUE(q.constrainedSet.contains(m)) << m;
    for (unsigned m : {1u, 31u, 33u, 254u}) EXPECT_FALSE(q.constrainedSet.contains(m)) << m;
    EXPECT_EQ(q.featuresSetText, " features 0, 2, 32 and 255");
    EXPECT_EQ(q.cath1Active, 1);
    EXPECT_EQ(q.cath2Active, 0);
    EXPECT_EQ(q.cath3Active, 2);
    EXPECT_FALSE(q.training.averaging);
    EXPECT_EQ(q.training.averagingFrames, 4);
    EXPECT_EQ(q.training.frameStep, 12.5);
    EXPECT_EQ(q.training.rate, 16000.0);
    EXPECT_EQ(q.training.scalingConstants, 1);
    EXPECT_EQ(q.training.filter, -1);
    EXPECT_EQ(q.training.windowShape, 2);
    const TreeTrainingSettings& trb = q.treeTraining;
    EXPECT_EQ(trb.setChoiceCriterion, 3);
    EXPECT_EQ(trb.featuresChoiceCriterion, 1);
    EXPECT_EQ(trb.setChoiceClassifier, 2);
    EXPECT_EQ(trb.featuresChoiceClassifier, -1);
    EXPECT_EQ(trb.setChoiceTraining, 0);
    EXPECT_EQ(trb.featuresChoiceTraining, 1);
    EXPECT_FALSE(q.training.preemphasis);
    EXPECT_FALSE(trb.cartLike);
    EXPECT_EQ(q.groupTable, (std::vector<int32_t>{10, -20, 30}));
    EXPECT_EQ(q.excludeSetCard, 77);
    // The counts line and the lists come in the order 2, 1, 3.
    EXPECT_EQ(q.cath2Nbr, 2);
    EXPECT_EQ(q.cath1Nbr, 0);
    EXPECT_EQ(q.cath3Nbr, 1);
    EXPECT_EQ(q.cath2List, (TcharList{'u', 'v', 'w'}));
    EXPECT_EQ(q.cath1List, (TcharList{'k', '\0'}));
    EXPECT_EQ(q.cath3List, (TcharList{'m', 'n'}));
    EXPECT_EQ(t.program.cathLabel1, "Speakers of the corpus");
    EXPECT_EQ(t.program.cathLabel3, std::string(255, 'L'));
    EXPECT_EQ(trb.classifierNames, (std::array<std::string, 3>{"Speaker", "Vowels", "LLLLLLL"}));
    ASSERT_EQ(q.nodeHeap.size(), 3u);
    EXPECT_EQ(q.nodeHeap[0].treeCath2, 2);
    EXPECT_EQ(q.nodeHeap[0].centroid[1], -1E-3);
    EXPECT_EQ(q.nodeHeap[1].code, 0);
    EXPECT_EQ(q.nodeHeap[2].centroid[1], 4.5);

    const TreeDataTexts& x = t.program.shell.treeTexts;
    EXPECT_EQ(x.trainingDescription, q.teachingText);
    EXPECT_EQ(x.summary,
              "Nbr of groups=2, Nbr of nodes=2, Nbr of events=4294967296000, number of "
              "considered components=2, FFT windows width=1024");
    EXPECT_EQ(x.lifterThreshold, "-1");
    EXPECT_EQ(x.featureCaption, "mel cepstrum");
    EXPECT_EQ(x.featuresSetTreeData, " features 0, 2, 32 and 255");
    EXPECT_EQ(x.excludeSetCaption, "Exclude Set Card=77");
    EXPECT_EQ(x.categoryCaptions, "Vowels, Speaker, LLLLLLL");
    EXPECT_EQ(x.scalingFactor, "1.00");
    EXPECT_EQ(t.program.shell.statusBarText, "Reading status line");
}

TEST(TreeReader, ClustersFollowTheSmallerOfTreeSizesAndCentroids) {
    Session t;
    TreeFileContents c = makeTree(7, 1);
    c.tree.trainingEventsNb = 5000;
    c.tree.training.lifterThreshold = 30;
    t.read(c);
    EXPECT_EQ(t.program.tree.treeSizesNb(), 7);
    EXPECT_EQ(t.program.shell.clustersNb, 7);
    EXPECT_EQ(t.program.eventNbr, 5000);

    TreeFileContents d = makeTree(6, 1);  // HeapTop 10
    d.tree.centroidsNb = 7;
    t.read(d);
    EXPECT_EQ(t.program.tree.HeapTop, 10);
    EXPECT_EQ(t.program.shell.clustersNb, 6);
    EXPECT_EQ(t.program.coder.BoolErrorVector.size(), 6u);
    EXPECT_EQ(t.program.coder.nodePath1.size(), 11u);
    EXPECT_EQ(t.program.tree.groupTable.size(), 8u);
}

TEST(TreeReader, NoConsideredComponentsMeansNodeBlocksOfThreeLines) {
    Session t;
    const TreeFileContents c = makeTree(3, 0, SplitOrder::SecondSons);
    EXPECT_EQ(splitLines(treeFileText(c)).size(), 46u + 5 * 3);
    t.read(c);
    expectSameNodes(t.program.tree, c.tree);
}

TEST(TreeReader, SecondTreeShrinksArraysAndKeepsWhatItDoesNotRead) {
    Session t;
    TreeFileContents big = makeTree(5, 6);
    big.tree.cath1Nbr = 2;
    big.tree.cath1List = {'a', 'b', 'c', '\0'};
    t.read(big, "big.vq");
    t.program.coder.errorRecords1[1].cath2 = 9;

    TreeFileContents small =
        makeTree(3, 3, SplitOrder::Balanced, [](int node, int i) { return 100.0 + node + i; });
    t.read(small, "small.vq");
    const QuantizationTree& q = t.program.tree;
    ASSERT_EQ(q.nodeHeap.size(), 5u);
    for (size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(q.nodeHeap[k].code, small.tree.nodeHeap[k].code);
        for (size_t i = 0; i < kComponents; ++i)
            EXPECT_EQ(q.nodeHeap[k].centroid[i],
                      (i < 3 ? small : big).tree.nodeHeap[k].centroid[i]);
    }
    EXPECT_EQ(t.program.coder.errorRecords1.size(), 3u);
    EXPECT_EQ(t.program.coder.errorRecords1[1].cath2, 9u);
    EXPECT_EQ(t.program.coder.groupDiff.size(), 5u);
    // The extra entry of cath1List is never filled by the reader.
    EXPECT_EQ(q.cath1List, (TcharList{'a', 'b', 'c'}));
}

TEST(TreeReader, AveragingCaptions) {
    Session t;
    TreeFileContents c = makeTree(2, 1);
    c.tree.training.averaging = true;
    c.tree.training.averagingFrames = 3;
    c.tree.training.frameStep = 12.5;
    c.tree.treeTraining.averagingWindowMs = 25;
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

TEST(TreeReader, MissingFftWidthIsReportedAndReadingGoesOn) {
    const std::string message =
        "Error in reding the FFT signal portion length from the tree file.\r\n It can arrise if "
        "you are using quantization tree produced by the TRB program version older than v. "
        "2.6\r\nwhere this information was not recorded.";
    Session t;
    TreeFileContents c = makeTree(3, 2);
    c.tree.training.fftWindowWidth = 512;
    t.read(c);
    c.writeFftWindowWidth = false;
    c.tree.training.featureKind = 1;
    t.read(c);
    // A line 5 with the count alone must not take line 6's number as the width.
    t.read(t.put("bare.vq", replaceLine(treeFileText(c), 5, "2")));
    EXPECT_EQ(t.ui.messages, std::vector<std::string>(2, message));
    EXPECT_EQ(t.program.tree.training.fftWindowWidth, 512);
    EXPECT_EQ(t.program.tree.training.featureKind, 1);
    expectSameNodes(t.program.tree, c.tree);
}

TEST(TreeReader, SecondSonCodeBeyondTheTreeSizesIsRefused) {
    Session t;
    TreeFileContents c = makeTree(4, 1);
    c.tree.nodeHeap[2].code = 3;  // the largest that fits: accepted
    t.ui.answers.push_back(t.put("good.vq", treeFileText(c)));
    ReadTreeProcedure(t.program);
    ASSERT_TRUE(t.program.shell.treeRead);
    // A refused second tree leaves no tree to code against.
    c.tree.nodeHeap[2].code = 4;
    t.ui.answers.push_back(t.put("bad.vq", treeFileText(c)));
    EXPECT_THROW(ReadTreeProcedure(t.program), CommandAborted);
    EXPECT_FALSE(t.program.shell.treeRead);
    ASSERT_EQ(t.ui.messages.size(), 1u);
    EXPECT_EQ(t.ui.messages[0], "The tree file \"" + t.dir.file("bad.vq") +
                                    "\" holds a bad tree:\r\nnode 2, the second son of node 0, "
                                    "has the code 4, but the codes of second sons must be below "
                                    "the number of tree sizes, 4.\r\nThe tree has not been read.");
}

TEST(TreeReader, FileEndingEarlyIsRefusedNamingWhatIsMissing) {
    Session t;
    const std::string text = treeFileText(makeTree(7, 2));
    const std::string beforeCounts = t.put("a.vq", firstLines(text, 33));
    EXPECT_THROW(t.read(beforeCounts), CommandAborted);
    // Node blocks of 5 lines follow line 46; block 5 lacks its centroid.
    const std::string inBlock5 = t.put("b.vq", firstLines(text, 46 + 4 * 5 + 2));
    EXPECT_THROW(t.read(inBlock5), CommandAborted);
    // Line 31 needs 8 group numbers; the file ends after 2 of them.
    const std::string inLine31 = t.put("c.vq", firstLines(text, 30) + "0 3");
    EXPECT_THROW(t.read(inLine31), CommandAborted);
    EXPECT_EQ(t.ui.messages,
              (std::vector<std::string>{earlyEndMessage(beforeCounts, "line 34"),
                                        earlyEndMessage(inBlock5, "node block 5 of 13"),
                                        earlyEndMessage(inLine31, "line 31")}));

    // A last line without its line end is complete.
    t.read(t.put("d.vq", text.substr(0, text.size() - 2)));
    EXPECT_EQ(t.ui.messages.size(), 3u);
    EXPECT_EQ(t.program.tree.nodeHeap[12].centroid[1], fixtures::defaultCentroid(12, 1));
}

TEST(TreeReader, BadCountsAndNumbersStopWithPlatformErrors) {
    Session t;
    const std::string text = treeFileText(makeTree(2, 2));
    // Count -1 leaves an empty list; below -1 no list can be made.
    t.read(t.put("a.vq", replaceLine(replaceLine(text, 34, "-1 1 1"), 37, "")));
    EXPECT_TRUE(t.program.tree.cath2List.empty());
    EXPECT_THROW(t.read(t.put("b.vq", replaceLine(text, 34, "-2 1 1"))), RangeError);
    EXPECT_THROW(t.read(t.put("c.vq", replaceLine(text, 34, "1 -3 1"))), RangeError);
    try {
        t.read(t.put("d.vq", replaceLine(text, 6, "abc")));
        ADD_FAILURE() << "a word for a number was accepted";
    } catch (const InOutError& e) {
        EXPECT_EQ(e.code(), kInvalidNumericInput);
    }
    // 130 components: the 130th value of the first node does not fit.
    const TreeFileContents wide = makeTree(2, 130);
    EXPECT_THROW(t.read(wide, "e.vq"), RangeError);
    EXPECT_EQ(t.program.tree.nodeHeap[0].centroid[128], wide.tree.nodeHeap[0].centroid[128]);
}

TEST(TreeReader, ReadTreeProcedureReportsAndSetsTreeRead) {
    Session t;
    const std::string path = t.put("a.vq", treeFileText(makeTree(3, 1)));
    t.program.shell.clustersEditText = "abc";
    t.ui.answers.push_back(path);
    ReadTreeProcedure(t.program);
    EXPECT_EQ(t.ui.messages, std::vector<std::string>{"It is no numeric format!"});
    EXPECT_TRUE(t.program.shell.treeRead);
    EXPECT_EQ(t.program.shell.focus, Focus::ReadData1);
    EXPECT_EQ(t.program.shell.clustersNb, 3);
    std::vector<std::string> statuses;
    for (const auto& entry : t.ui.log)
        if (entry.rfind("status: ", 0) == 0) statuses.push_back(entry.substr(8));
    EXPECT_EQ(statuses, (std::vector<std::string>{
                            "Program started reading tree",
                            "Program ended reading tree.\r\nNow you can change number of clusters "
                            "(i.e. number of codes as a consequence)!!"}));
}

}  // namespace
}  // namespace zortan
