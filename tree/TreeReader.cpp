#include "tree/TreeReader.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "base/Format.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "shell/ChooseFile.h"
#include "shell/InitFile.h"
#include "shell/ShellState.h"
#include "tree/TreeCoding.h"

namespace zortan {

namespace {

// A setting with value names takes the number read limited to -1..(names-1);
// -1 means no choice.
int clampToNames(int32_t value, size_t names) {
    return std::clamp<int32_t>(value, -1, static_cast<int32_t>(names) - 1);
}

std::string firstChars(const std::string& text, size_t n) {
    return text.substr(0, n);
}

// Reads the items of the tree file in order and stops with a message when the
// file ends before an item the layout asks for.
class TreeFileCursor {
  public:
    TreeFileCursor(TextReader& reader, Ui& ui, const std::string& path)
        : reader_(reader), ui_(ui), path_(path) {}

    // A new line of the layout begins; `where` names it in the message.
    void beginLine(int line) { beginItem("line " + std::to_string(line)); }
    void beginItem(std::string where) {
        where_ = std::move(where);
        if (reader_.eof()) endedEarly();
    }

    void heading(int line) {
        beginLine(line);
        reader_.readLn();
    }
    // The next line of the current item (a node block) must be there.
    void lineInBlock() {
        if (reader_.eof()) endedEarly();
    }
    void headingInBlock() {
        lineInBlock();
        reader_.readLn();
    }

    int32_t int32() { return checked(reader_.readInt32()); }
    int64_t int64() { return checked(reader_.readInt64()); }
    double real() { return checked(reader_.readReal()); }
    char character() { return checked(reader_.readChar()); }
    std::string text() { return checked(reader_.readText(255)); }
    std::string wholeText() { return checked(reader_.readText(std::string::npos)); }
    void skipRest() { reader_.readLn(); }
    // A line holding a single integer, nothing else of it used.
    int32_t intLine(int line) {
        beginLine(line);
        int32_t v = int32();
        skipRest();
        return v;
    }

    [[noreturn]] void endedEarly() {
        ui_.showMessage("The tree file \"" + path_ + "\" ends too early: " + where_ +
                        " is missing or incomplete.\r\nThe tree has not been read.");
        throw CommandAborted{};
    }

  private:
    template <typename T>
    T checked(T value) {
        if (reader_.hitEnd()) endedEarly();
        return value;
    }

    TextReader& reader_;
    Ui& ui_;
    const std::string& path_;
    std::string where_;
};

// Line 5 after `consideredComponentsNb`: the FFT window width, which trees of
// older TRB versions do not record. The rest of the line is taken first, so
// that a missing width never takes the number of the next line.
void readFftWindowWidth(TreeFileCursor& in, AnalysisSettings& training, Ui& ui) {
    std::string rest = in.wholeText();
    bool widthRead = false;
    try {
        TextReader restReader = TextReader::fromText(rest);
        int64_t width = restReader.readInt64();
        if (!restReader.hitEnd()) {
            training.fftWindowWidth = width;
            widthRead = true;
        }
    } catch (const InOutError&) {
    }
    if (!widthRead)
        ui.showMessage(
            "Error in reding the FFT signal portion length from the tree file.\r\n It can arrise "
            "if you are using quantization tree produced by the TRB program version older than v. "
            "2.6\r\nwhere this information was not recorded.");
    in.skipRest();
}

void readCharList(TreeFileCursor& in, TcharList& list, int16_t nbr, int line) {
    in.beginLine(line);
    for (int i = 0; i <= nbr; ++i) {
        checkedAt(list, i) = in.character();
        in.character();  // separator
    }
    in.skipRest();
}

void sizeWorkingArrays(QuantizationTree& tree, CoderState& coder) {
    SizeCoderArrays(tree, coder);
    tree.groupTable.resize(static_cast<size_t>(tree.centroidsNb) + 1);
    tree.nodeHeap.resize(static_cast<size_t>(tree.HeapTop) + 1);
}

void publishAveraging(const QuantizationTree& tree, TreeDataTexts& texts) {
    auto& captions = texts.averagingCaptions;
    const AnalysisSettings& t = tree.training;
    if (!t.averaging) {
        captions.fill("xxx");
        return;
    }
    if (tree.treeTraining.averagingWindowShape == 0) captions[0] = "rectangle";
    captions[1] = std::to_string(tree.treeTraining.averagingWindowMs) + "ms";
    captions[2] = std::to_string(t.averagingFrames) + "frames";
    captions[3] = formatGeneral(t.frameStep) + "ms";
    captions[4] = formatGeneral(t.rate) + "Hz";
    // The training tab repeats the first four.
    for (size_t i = 0; i < 4; ++i) captions[5 + i] = captions[i];
}

// A second son's code is the tree size index of its father's split; one at or
// beyond treeSizesNb would index past the per-tree-size working arrays.
void refuseBadSplitCodes(const QuantizationTree& tree, Ui& ui, const std::string& path) {
    const int heapTop = tree.HeapTop;
    const int sizes = tree.treeSizesNb();
    for (int k = 0; k <= heapTop; ++k) {
        const int son = tree.nodeHeap[static_cast<size_t>(k)].son;
        if (son <= 0 || son > heapTop) continue;
        const int b = tree.nodeHeap[static_cast<size_t>(son)].brother;
        if (b < 0 || b > heapTop) continue;
        const int code = tree.nodeHeap[static_cast<size_t>(b)].code;
        if (code < sizes) continue;
        ui.showMessage("The tree file \"" + path + "\" holds a bad tree:\r\nnode " +
                       std::to_string(b) + ", the second son of node " + std::to_string(k) +
                       ", has the code " + std::to_string(code) +
                       ", but the codes of second sons must be below the number of tree sizes, " +
                       std::to_string(sizes) + ".\r\nThe tree has not been read.");
        throw CommandAborted{};
    }
}

}  // namespace

void SizeCoderArrays(const QuantizationTree& tree, CoderState& coder) {
    const size_t sizes = static_cast<size_t>(tree.treeSizesNb());
    const size_t nodes = static_cast<size_t>(tree.HeapTop) + 1;
    coder.BoolErrorVector.resize(sizes);
    coder.errorRecords1.resize(sizes);
    coder.errorRecords2.resize(sizes);
    coder.nodePath1.resize(nodes);
    coder.nodePath2.resize(nodes);
    coder.groupDiff.resize(nodes);
    coder.cath1Diff.resize(nodes);
    coder.cath2Diff.resize(nodes);
    coder.cath3Diff.resize(nodes);
}

TextReader OpenTreeFile(TreeReaderDesk& d) {
    d.shell.treeTexts.treePathCaption = "Tree data directory ";
    ChooseExistingFile(d.ui, d.options, "Quantisation tree opening", 5, "...\\TRB\\Results",
                       d.options.treeFileDir, d.shell.treeTexts.treePathCaption);
    return TextReader(d.options.treeFileDir);
}

void ReadTree(TreeReaderDesk& d) {
    d.coder.distanceFunction = &EuclidDist;
    Ui& ui = d.ui;
    int attempts = 0;
    for (;;) {
        ++attempts;
        if (attempts > 2 &&
            ui.askYesNo("You have tried " + std::to_string(attempts - 1) +
                            " times more to point proper tree file, but you failed.\r\nHang up "
                            "with it?",
                        ""))
            throw ProgramEnd{1};
        TextReader reader = OpenTreeFile(d);
        d.tree.treeHeading = reader.readLine(255);
        d.shell.treeTexts.heading = d.tree.treeHeading;
        if (d.tree.treeHeading.compare(0, 4, "date") == 0) {
            ReadTreeBody(d, reader, d.options.treeFileDir);
            return;
        }
        ui.showMessage(
            "You haven't pointed proper trree file!\r\nYou should look rather in the "
            "\"..\\TRB\\Results\" directory than in currently used \"" +
            extractFileDir(d.options.treeFileDir) + "\".\r\nTry  once more!");
    }
}

void ReadTreeBody(TreeReaderDesk& d, TextReader& reader, const std::string& path) {
    QuantizationTree& tree = d.tree;
    AnalysisSettings& training = tree.training;
    TreeTrainingSettings& trb = tree.treeTraining;
    TreeDataTexts& texts = d.shell.treeTexts;
    Ui& ui = d.ui;
    TreeFileCursor in(reader, ui, path);

    // Line 2: the teaching sample and the training event file it came from.
    in.beginLine(2);
    in.int32();
    {
        const std::string s = in.text();
        in.skipRest();
        const size_t teaching = s.find("teaching");
        tree.teachingText = teaching == std::string::npos ? s : s.substr(teaching);
        const size_t drive = s.find(":\\");
        d.options.treeTrainingFileDir =
            drive == std::string::npos ? s : s.substr(drive > 0 ? drive - 1 : 0);
        texts.trainingDescription = tree.teachingText;
    }

    trb.setsDividingMethod = clampToNames(in.intLine(3), kSetsDividingMethodNames.size());

    // Line 4: the tree's size; the working arrays follow it.
    in.beginLine(4);
    tree.centroidsNb = lowBits<uint16_t>(in.int32());
    tree.HeapTop = lowBits<uint16_t>(in.int32());
    tree.trainingEventsNb = in.int64();
    training.lifterThreshold = lowBits<int16_t>(in.int32());
    d.options.waveFileDir = in.text();
    in.skipRest();
    texts.summary = "Nbr of groups=" + std::to_string(tree.centroidsNb) +
                    ", Nbr of nodes=" + std::to_string(tree.HeapTop) +
                    ", Nbr of events=" + std::to_string(tree.trainingEventsNb);
    texts.lifterThreshold = std::to_string(training.lifterThreshold);
    {
        const int clusters = std::min<int>(tree.treeSizesNb(), tree.centroidsNb);
        d.shell.clustersNb = fitOrRangeError<uint16_t>(clusters);
        changeClustersText(d.shell, ui, std::to_string(clusters), tree.treeSizesNb());
    }
    d.eventNbr = tree.trainingEventsNb;
    sizeWorkingArrays(tree, d.coder);

    in.beginLine(5);
    tree.consideredComponentsNb = in.int32();
    readFftWindowWidth(in, training, ui);
    texts.summary +=
        ", number of considered components=" + std::to_string(tree.consideredComponentsNb) +
        ", FFT windows width=" + std::to_string(training.fftWindowWidth);

    training.featureKind = clampToNames(in.intLine(6), kFeatureKindNames.size());
    if (training.featureKind < 0) {
        texts.featureCaption = "Unknown feature processed";
    } else {
        texts.featureCaption = kFeatureKindNames[static_cast<size_t>(training.featureKind)];
        // The plot colours are blue, black, red, blue, red: one per kind.
        texts.featureColour = training.featureKind;
    }

    in.beginLine(7);
    for (Set256* set : {&tree.cath1Set, &tree.cath2Set, &tree.cath3Set})
        for (uint64_t& word : set->words) word = lowBits<uint64_t>(in.int64());
    in.skipRest();

    // Line 8: eight 32-bit words of the constrained set, component 0 in bit 0.
    in.beginLine(8);
    for (size_t j = 0; j < 8; ++j) {
        const uint64_t word = lowBits<uint32_t>(in.int64());
        uint64_t& target = tree.constrainedSet.words[j / 2];
        const unsigned shift = (j % 2) * 32;
        target = (target & ~(uint64_t{0xFFFFFFFFu} << shift)) | (word << shift);
    }
    tree.featuresSetText = in.text();
    in.skipRest();
    texts.featuresSet = tree.featuresSetText;
    texts.featuresSetTreeData = tree.featuresSetText;

    in.beginLine(9);
    in.int32();
    tree.cath1Active = lowBits<uint8_t>(in.int32());
    tree.cath2Active = lowBits<uint8_t>(in.int32());
    tree.cath3Active = lowBits<uint8_t>(in.int32());
    in.int32();
    in.skipRest();
    training.eventsStandardisation = false;
    training.scalingFactor = 1.0;
    texts.scalingFactor = formatFixed(training.scalingFactor, 2);

    training.averaging = lowBits<uint8_t>(in.intLine(10)) != 0;
    trb.averagingWindowShape = in.intLine(11);
    trb.averagingWindowMs = in.intLine(12);
    training.averagingFrames = in.intLine(13);
    in.beginLine(14);
    training.frameStep = in.real();
    in.skipRest();
    in.beginLine(15);
    training.rate = in.real();
    in.skipRest();
    publishAveraging(tree, texts);

    in.beginLine(16);
    in.int32();
    in.int32();
    in.skipRest();
    in.intLine(17);
    training.scalingConstants = clampToNames(in.intLine(18), kScalingConstantsNames.size());
    training.filter = clampToNames(in.intLine(19), kFilterNames.size());
    training.windowShape = clampToNames(in.intLine(20), kWindowShapeNames.size());
    in.intLine(21);
    trb.setChoiceCriterion = clampToNames(in.intLine(22), kSetChoiceCriterionNames.size());
    trb.featuresChoiceCriterion =
        clampToNames(in.intLine(23), kFeaturesChoiceCriterionNames.size());
    trb.setChoiceClassifier = clampToNames(in.intLine(24), trb.classifierNames.size());
    trb.featuresChoiceClassifier = clampToNames(in.intLine(25), trb.classifierNames.size());
    trb.setChoiceTraining = clampToNames(in.intLine(26), kTrainingNames.size());
    trb.featuresChoiceTraining = clampToNames(in.intLine(27), kTrainingNames.size());
    training.preemphasis = lowBits<uint8_t>(in.intLine(28)) != 0;
    trb.cartLike = in.intLine(29) == 1;

    in.heading(30);
    in.beginLine(31);
    for (size_t i = 0; i <= tree.centroidsNb; ++i)
        tree.groupTable[i] = lowBits<int32_t>(in.int64());
    in.skipRest();

    in.beginLine(32);
    tree.excludeSetCard = in.int64();
    in.skipRest();
    {
        const std::string& caption = texts.excludeSetCaption;
        const size_t eq = caption.find('=');
        const std::string prefix = eq == std::string::npos ? caption : caption.substr(0, eq + 1);
        texts.excludeSetCaption = prefix + std::to_string(tree.excludeSetCard);
    }

    in.heading(33);
    // Line 34: the count of category 2 comes first.
    in.beginLine(34);
    tree.cath2Nbr = lowBits<int16_t>(in.int32());
    tree.cath1Nbr = lowBits<int16_t>(in.int32());
    tree.cath3Nbr = lowBits<int16_t>(in.int32());
    in.skipRest();
    // A count below -1 cannot size its list.
    if (tree.cath1Nbr < -1 || tree.cath2Nbr < -1 || tree.cath3Nbr < -1) throw RangeError();
    tree.cath1List.resize(static_cast<size_t>(tree.cath1Nbr + 2));
    tree.cath2List.resize(static_cast<size_t>(tree.cath2Nbr + 1));
    tree.cath3List.resize(static_cast<size_t>(tree.cath3Nbr + 1));

    in.heading(35);
    in.heading(36);
    readCharList(in, tree.cath2List, tree.cath2Nbr, 37);
    in.heading(38);
    readCharList(in, tree.cath1List, tree.cath1Nbr, 39);
    in.heading(40);
    readCharList(in, tree.cath3List, tree.cath3Nbr, 41);
    in.heading(42);

    const auto& labels = d.labels;
    for (int i = 0; i < 3; ++i) {
        in.beginLine(43 + i);
        *labels[i] = in.text();
        in.skipRest();
        trb.classifierNames[static_cast<size_t>(i)] = firstChars(*labels[i], 7);
    }
    texts.categoryCaptions = firstChars(*labels[1], 7) + ", " + firstChars(*labels[0], 7) + ", " +
                             firstChars(*labels[2], 7);

    in.beginLine(46);
    d.shell.statusBarText = "Reading " + in.text();
    in.skipRest();

    const int nodes = tree.HeapTop + 1;
    const std::string ofNodes = " of " + std::to_string(nodes);
    for (int k = 0; k < nodes; ++k) {
        TreeNode& node = tree.nodeHeap[static_cast<size_t>(k)];
        in.beginItem("node block " + std::to_string(k + 1) + ofNodes);
        in.headingInBlock();
        in.lineInBlock();
        node.son = lowBits<int16_t>(in.int32());
        node.brother = lowBits<int16_t>(in.int32());
        node.code = lowBits<uint16_t>(in.int32());
        node.treeCath1 = lowBits<uint8_t>(in.int32());
        node.treeCath2 = lowBits<uint8_t>(in.int32());
        node.treeCath3 = lowBits<uint8_t>(in.int32());
        node.splitComponent = lowBits<uint8_t>(in.int32());
        in.skipRest();
        in.headingInBlock();
        // Entries from consideredComponentsNb on keep what they hold; the
        // vector has room for 129 components only.
        for (int32_t i = 0; i < tree.consideredComponentsNb; ++i) {
            in.lineInBlock();
            const double value = in.real();
            in.skipRest();
            checkedAt(node.centroid, i) = value;
        }
    }
    reader.close();
    refuseBadSplitCodes(tree, ui, path);
}

void ReadTreeProcedure(TreeReaderDesk& d) {
    ShellState& shell = d.shell;
    shell.controls.settingsPagesVisible = true;
    shell.controls.turnToPage(SettingsPage::Train);
    setStatusCaption(shell, d.ui, "Program started reading tree");
    if (!shell.clustersEditText.empty()) {
        const ParsedInteger parsed = parseEditInteger(shell.clustersEditText);
        if (parsed.wholeText)
            shell.clustersNb = fitOrRangeError<uint16_t>(parsed.value);
        else
            d.ui.showMessage("It is no numeric format!");
    }
    // A tree left half read by a failure must not be coded against.
    try {
        ReadTree(d);
    } catch (...) {
        shell.treeRead = false;
        throw;
    }
    shell.treeRead = true;
    shell.focus = Focus::ReadData1;
    setStatusCaption(shell, d.ui,
                     "Program ended reading tree.\r\nNow you can change number of clusters (i.e. "
                     "number of codes as a consequence)!!");
}

}  // namespace zortan
