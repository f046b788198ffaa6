#include "tree/TreeReader.h"

#include <algorithm>
#include <string>
#include <utility>

#include "platform/Errors.h"

namespace zortan {

namespace {

// A setting with value names takes the number read limited to -1..(names-1);
// -1 means no choice.
int clampToNames(int32_t value, size_t names) {
    return std::clamp<int32_t>(value, -1, static_cast<int32_t>(names) - 1);
}

// Reads the items of the tree file in order, counts the lines read whole and
// throws TreeFileEnded when the file ends before an item the layout asks for.
class TreeFileCursor {
  public:
    TreeFileCursor(TextReader& reader, int& linesRead) : reader_(reader), linesRead_(linesRead) {}

    // Line `line` of the layout begins: the lines before it were read whole.
    void beginLine(int line) {
        linesRead_ = line - 1;
        beginItem("line " + std::to_string(line));
    }
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

  private:
    [[noreturn]] void endedEarly() { throw TreeFileEnded{where_}; }

    template <typename T>
    T checked(T value) {
        if (reader_.hitEnd()) endedEarly();
        return value;
    }

    TextReader& reader_;
    int& linesRead_;
    std::string where_;
};

// Line 2: the teaching sample and the training event file it came from.
void parseSource(TreeFileCursor& in, TreeFileItems& items) {
    in.beginLine(2);
    in.int32();
    items.source = in.text();
    in.skipRest();
    const size_t teaching = items.source.find("teaching");
    items.tree.teachingText =
        teaching == std::string::npos ? items.source : items.source.substr(teaching);
}

// Lines 3 and 4: how sets were divided and the tree's size, which sizes the
// group table and the node heap.
void parseSizes(TreeFileCursor& in, TreeFileItems& items) {
    QuantizationTree& tree = items.tree;
    tree.treeTraining.setsDividingMethod =
        clampToNames(in.intLine(3), kSetsDividingMethodNames.size());
    in.beginLine(4);
    tree.centroidsNb = lowBits<uint16_t>(in.int32());
    tree.HeapTop = lowBits<uint16_t>(in.int32());
    tree.trainingEventsNb = in.int64();
    tree.training.lifterThreshold = lowBits<int16_t>(in.int32());
    items.waveFileDir = in.text();
    in.skipRest();
    tree.groupTable.resize(static_cast<size_t>(tree.centroidsNb) + 1);
    tree.nodeHeap.resize(static_cast<size_t>(tree.HeapTop) + 1);
}

// Line 5 after `consideredComponentsNb`: the FFT window width, which trees of
// older TRB versions do not record. The rest of the line is taken first, so
// that a missing width never takes the number of the next line.
void parseFftWindowWidth(TreeFileCursor& in, TreeFileItems& items) {
    std::string rest = in.wholeText();
    items.fftWindowWidthRead = false;
    try {
        TextReader restReader = TextReader::fromText(rest);
        int64_t width = restReader.readInt64();
        if (!restReader.hitEnd()) {
            items.tree.training.fftWindowWidth = width;
            items.fftWindowWidthRead = true;
        }
    } catch (const InOutError&) {
    }
    in.skipRest();
}

// Lines 5 to 9: the components, the feature kind, the category value sets,
// the constrained feature set and the active categories.
void parseFeatures(TreeFileCursor& in, TreeFileItems& items) {
    QuantizationTree& tree = items.tree;
    in.beginLine(5);
    tree.consideredComponentsNb = in.int32();
    parseFftWindowWidth(in, items);

    tree.training.featureKind = clampToNames(in.intLine(6), kFeatureKindNames.size());

    in.beginLine(7);
    for (Set256* set : {&tree.cath[0].set, &tree.cath[1].set, &tree.cath[2].set})
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

    in.beginLine(9);
    in.int32();
    tree.cath[0].active = lowBits<uint8_t>(in.int32());
    tree.cath[1].active = lowBits<uint8_t>(in.int32());
    tree.cath[2].active = lowBits<uint8_t>(in.int32());
    in.int32();
    in.skipRest();
    // Trees are grown on events as they are: never standardised or scaled.
    tree.training.eventsStandardisation = false;
    tree.training.scalingFactor = 1.0;
}

// Lines 10 to 15: time averaging.
void parseAveraging(TreeFileCursor& in, TreeFileItems& items) {
    AnalysisSettings& training = items.tree.training;
    TreeTrainingSettings& trb = items.tree.treeTraining;
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
}

// Lines 16 to 29: the analysis and the training choices.
void parseTrainingChoices(TreeFileCursor& in, TreeFileItems& items) {
    AnalysisSettings& training = items.tree.training;
    TreeTrainingSettings& trb = items.tree.treeTraining;
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
}

// Lines 30 to 32: the group table and the excluded set's size.
void parseGroups(TreeFileCursor& in, TreeFileItems& items) {
    QuantizationTree& tree = items.tree;
    in.heading(30);
    in.beginLine(31);
    for (size_t i = 0; i <= tree.centroidsNb; ++i)
        tree.groupTable[i] = lowBits<int32_t>(in.int64());
    in.skipRest();
    in.beginLine(32);
    tree.excludeSetCard = in.int64();
    in.skipRest();
}

void parseCharList(TreeFileCursor& in, TcharList& list, int16_t nbr, int line) {
    in.beginLine(line);
    for (int i = 0; i <= nbr; ++i) {
        checkedAt(list, i) = in.character();
        in.character();  // separator
    }
    in.skipRest();
}

// Lines 33 to 42: the category value lists, category 2 first.
void parseCategoryLists(TreeFileCursor& in, TreeFileItems& items) {
    QuantizationTree& tree = items.tree;
    in.heading(33);
    in.beginLine(34);
    tree.cath[1].nbr = lowBits<int16_t>(in.int32());
    tree.cath[0].nbr = lowBits<int16_t>(in.int32());
    tree.cath[2].nbr = lowBits<int16_t>(in.int32());
    in.skipRest();
    // A count below -1 cannot size its list.
    if (tree.cath[0].nbr < -1 || tree.cath[1].nbr < -1 || tree.cath[2].nbr < -1) throw RangeError();
    tree.cath[0].list.resize(static_cast<size_t>(tree.cath[0].nbr + 2));
    tree.cath[1].list.resize(static_cast<size_t>(tree.cath[1].nbr + 1));
    tree.cath[2].list.resize(static_cast<size_t>(tree.cath[2].nbr + 1));

    in.heading(35);
    in.heading(36);
    parseCharList(in, tree.cath[1].list, tree.cath[1].nbr, 37);
    in.heading(38);
    parseCharList(in, tree.cath[0].list, tree.cath[0].nbr, 39);
    in.heading(40);
    parseCharList(in, tree.cath[2].list, tree.cath[2].nbr, 41);
    in.heading(42);
}

// Lines 43 to 46: the category labels (the classifiers' names are their
// first seven characters) and what the status bar shows while nodes load.
void parseLabels(TreeFileCursor& in, TreeFileItems& items) {
    for (size_t i = 0; i < 3; ++i) {
        in.beginLine(43 + static_cast<int>(i));
        items.labels[i] = in.text();
        in.skipRest();
        items.tree.treeTraining.classifierNames[i] = items.labels[i].substr(0, 7);
    }
    in.beginLine(46);
    items.readingText = in.text();
    in.skipRest();
    items.linesRead = 46;
}

// The node blocks, HeapTop + 1 of them.
void parseNodes(TreeFileCursor& in, TreeFileItems& items) {
    QuantizationTree& tree = items.tree;
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
}

// A second son's code is the tree size index of its father's split; one at or
// beyond treeSizesNb would index past the per-tree-size working arrays.
void refuseBadSplitCodes(const QuantizationTree& tree) {
    const int heapTop = tree.HeapTop;
    const int sizes = tree.treeSizesNb();
    for (int k = 0; k <= heapTop; ++k) {
        const int son = tree.nodeHeap[static_cast<size_t>(k)].son;
        if (son <= 0 || son > heapTop) continue;
        const int b = tree.nodeHeap[static_cast<size_t>(son)].brother;
        if (b < 0 || b > heapTop) continue;
        const int code = tree.nodeHeap[static_cast<size_t>(b)].code;
        if (code < sizes) continue;
        throw BadTreeFile{"node " + std::to_string(b) + ", the second son of node " +
                          std::to_string(k) + ", has the code " + std::to_string(code) +
                          ", but the codes of second sons must be below the number of tree "
                          "sizes, " +
                          std::to_string(sizes) + "."};
    }
}

}  // namespace

void ParseTreeFile(TextReader& reader, TreeFileItems& items) {
    TreeFileCursor in(reader, items.linesRead);
    parseSource(in, items);
    parseSizes(in, items);
    parseFeatures(in, items);
    parseAveraging(in, items);
    parseTrainingChoices(in, items);
    parseGroups(in, items);
    parseCategoryLists(in, items);
    parseLabels(in, items);
    parseNodes(in, items);
    items.linesRead = TreeFileItems::kWholeFile;
    reader.close();
    refuseBadSplitCodes(items.tree);
}

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

}  // namespace zortan
