#include "engine/TreeLoading.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "base/Format.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "tree/TreeCoding.h"

namespace zortan {

namespace {

std::string firstChars(const std::string& text, size_t n) {
    return text.substr(0, n);
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

}  // namespace

std::string notATreeFileMessage(const std::string& path) {
    return "You haven't pointed proper trree file!\r\nYou should look rather in the "
           "\"..\\TRB\\Results\" directory than in currently used \"" +
           extractFileDir(path) + "\".\r\nTry  once more!";
}

std::string treeFileEndedMessage(const std::string& path, const std::string& where) {
    return "The tree file \"" + path + "\" ends too early: " + where +
           " is missing or incomplete.\r\nThe tree has not been read.";
}

std::string badTreeFileMessage(const std::string& path, const std::string& what) {
    return "The tree file \"" + path + "\" holds a bad tree:\r\n" + what +
           "\r\nThe tree has not been read.";
}

std::string fftWidthMissingMessage() {
    return "Error in reding the FFT signal portion length from the tree file.\r\n It can arrise "
           "if you are using quantization tree produced by the TRB program version older than v. "
           "2.6\r\nwhere this information was not recorded.";
}

bool isTreeHeading(const std::string& firstLine) {
    return firstLine.compare(0, 4, "date") == 0;
}

std::optional<std::string> ReadTreeItems(TextReader& reader, const std::string& path,
                                         TreeFileItems& items) {
    try {
        ParseTreeFile(reader, items);
    } catch (const TreeFileEnded& ended) {
        return treeFileEndedMessage(path, ended.where);
    } catch (const BadTreeFile& bad) {
        return badTreeFileMessage(path, bad.what);
    }
    return std::nullopt;
}

void PublishTree(TreePublication& d, TreeFileItems& items) {
    d.tree = std::move(items.tree);
    const QuantizationTree& tree = d.tree;
    const AnalysisSettings& training = tree.training;
    TreeDataTexts& texts = d.texts;
    const auto read = [&](int line) { return items.linesRead >= line; };

    if (read(2)) {
        const std::string& s = items.source;
        const size_t drive = s.find(":\\");
        d.trainingFile = drive == std::string::npos ? s : s.substr(drive > 0 ? drive - 1 : 0);
        texts.trainingDescription = tree.teachingText;
    }
    if (!read(4)) return;
    d.waveFile = items.waveFileDir;
    texts.summary = "Nbr of groups=" + std::to_string(tree.centroidsNb) +
                    ", Nbr of nodes=" + std::to_string(tree.HeapTop) +
                    ", Nbr of events=" + std::to_string(tree.trainingEventsNb);
    texts.lifterThreshold = std::to_string(training.lifterThreshold);
    d.clusters = std::min<int>(tree.treeSizesNb(), tree.centroidsNb);
    d.eventNbr = tree.trainingEventsNb;
    SizeCoderArrays(tree, d.coder);

    if (!read(5)) return;
    if (!items.fftWindowWidthRead) d.remarks.push_back(fftWidthMissingMessage());
    texts.summary +=
        ", number of considered components=" + std::to_string(tree.consideredComponentsNb) +
        ", FFT windows width=" + std::to_string(training.fftWindowWidth);

    if (!read(6)) return;
    if (training.featureKind < 0) {
        texts.featureCaption = "Unknown feature processed";
    } else {
        texts.featureCaption = kFeatureKindNames[static_cast<size_t>(training.featureKind)];
        // The plot colours are blue, black, red, blue, red: one per kind.
        texts.featureColour = training.featureKind;
    }
    if (!read(8)) return;
    texts.featuresSet = tree.featuresSetText;
    texts.featuresSetTreeData = tree.featuresSetText;
    if (!read(9)) return;
    texts.scalingFactor = formatFixed(training.scalingFactor, 2);
    if (!read(15)) return;
    publishAveraging(tree, texts);

    if (!read(32)) return;
    {
        const std::string& caption = texts.excludeSetCaption;
        const size_t eq = caption.find('=');
        const std::string prefix = eq == std::string::npos ? caption : caption.substr(0, eq + 1);
        texts.excludeSetCaption = prefix + std::to_string(tree.excludeSetCard);
    }

    for (size_t i = 0; i < 3; ++i)
        if (read(43 + static_cast<int>(i))) *d.labels[i] = items.labels[i];
    if (!read(45)) return;
    texts.categoryCaptions = firstChars(*d.labels[1], 7) + ", " + firstChars(*d.labels[0], 7) +
                             ", " + firstChars(*d.labels[2], 7);
    if (read(46)) d.statusBarText = "Reading " + items.readingText;
}

uint16_t Codebook::fullSize() const {
    return static_cast<uint16_t>(std::min<int>(tree.treeSizesNb(), tree.centroidsNb));
}

namespace {

// Reads a whole tree file from `reader`, which stands at its first line.
Codebook loadTree(TextReader& reader, const std::string& path) {
    Codebook book;
    book.path = path;
    book.tree.treeHeading = reader.readLine(255);
    book.texts.heading = book.tree.treeHeading;
    if (!isTreeHeading(book.tree.treeHeading)) throw TreeLoadError(notATreeFileMessage(path));
    TreeFileItems items;
    items.tree = std::move(book.tree);
    std::optional<std::string> failure;
    try {
        failure = ReadTreeItems(reader, path, items);
    } catch (const InOutError& e) {
        throw TreeLoadError(std::string(e.what()) + ": \"" + path + "\"");
    }
    if (failure) throw TreeLoadError(*failure);
    book.source = items.source;
    book.readingText = items.readingText;
    book.fftWindowWidthRead = items.fftWindowWidthRead;
    int64_t eventNbr = 0;
    std::optional<int> clusters;
    TreePublication to{book.tree,
                       book.coder,
                       book.trainingFile,
                       book.waveFile,
                       book.texts,
                       book.statusBarText,
                       {&book.labels[0], &book.labels[1], &book.labels[2]},
                       eventNbr,
                       clusters,
                       book.remarks};
    PublishTree(to, items);
    book.coder.distanceFunction = &EuclidDist;
    return book;
}

}  // namespace

Codebook LoadTreeFile(const std::string& path) {
    std::optional<TextReader> reader;
    try {
        reader.emplace(path);
    } catch (const InOutError& e) {
        throw TreeLoadError(std::string(e.what()) + ": \"" + path + "\"");
    }
    return loadTree(*reader, path);
}

Codebook LoadTreeText(std::string text, const std::string& name) {
    TextReader reader = TextReader::fromText(std::move(text));
    return loadTree(reader, name);
}

}  // namespace zortan
