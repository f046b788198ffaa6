#include "run/TreeInput.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "base/Format.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "shell/ChooseFile.h"
#include "shell/InitFile.h"
#include "shell/Program.h"
#include "shell/ShellState.h"
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

// Takes what the file gave into the program, line by line as far as it was
// read whole, so that a file that fails part way leaves the texts and
// options of its earlier lines and those of the tree before for the rest.
// The messages come in the order of the lines they are about.
void publishTree(TreeReaderDesk& d, TreeFileItems& items) {
    d.tree = std::move(items.tree);
    const QuantizationTree& tree = d.tree;
    const AnalysisSettings& training = tree.training;
    TreeDataTexts& texts = d.shell.treeTexts;
    const auto read = [&](int line) { return items.linesRead >= line; };

    if (read(2)) {
        const std::string& s = items.source;
        const size_t drive = s.find(":\\");
        d.options.treeTrainingFileDir =
            drive == std::string::npos ? s : s.substr(drive > 0 ? drive - 1 : 0);
        texts.trainingDescription = tree.teachingText;
    }
    if (!read(4)) return;
    d.options.waveFileDir = items.waveFileDir;
    texts.summary = "Nbr of groups=" + std::to_string(tree.centroidsNb) +
                    ", Nbr of nodes=" + std::to_string(tree.HeapTop) +
                    ", Nbr of events=" + std::to_string(tree.trainingEventsNb);
    texts.lifterThreshold = std::to_string(training.lifterThreshold);
    {
        const int clusters = std::min<int>(tree.treeSizesNb(), tree.centroidsNb);
        d.shell.clustersNb = fitOrRangeError<uint16_t>(clusters);
        changeClustersText(d.shell, d.ui, std::to_string(clusters), tree.treeSizesNb());
    }
    d.eventNbr = tree.trainingEventsNb;
    SizeCoderArrays(tree, d.coder);

    if (!read(5)) return;
    if (!items.fftWindowWidthRead)
        d.ui.showMessage(
            "Error in reding the FFT signal portion length from the tree file.\r\n It can arrise "
            "if you are using quantization tree produced by the TRB program version older than v. "
            "2.6\r\nwhere this information was not recorded.");
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
    if (read(46)) d.shell.statusBarText = "Reading " + items.readingText;
}

}  // namespace

TreeReaderDesk treeReaderDesk(Program& p) {
    return TreeReaderDesk{p.ui,
                          p.options,
                          p.shell,
                          p.tree,
                          p.coder,
                          p.eventNbr,
                          {&p.cathLabel1, &p.cathLabel2, &p.cathLabel3}};
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
    TreeFileItems items;
    items.tree = std::move(d.tree);
    std::exception_ptr failure;
    try {
        ParseTreeFile(reader, items);
    } catch (...) {
        failure = std::current_exception();
    }
    publishTree(d, items);
    if (!failure) return;
    try {
        std::rethrow_exception(failure);
    } catch (const TreeFileEnded& ended) {
        d.ui.showMessage("The tree file \"" + path + "\" ends too early: " + ended.where +
                         " is missing or incomplete.\r\nThe tree has not been read.");
    } catch (const BadTreeFile& bad) {
        d.ui.showMessage("The tree file \"" + path + "\" holds a bad tree:\r\n" + bad.what +
                         "\r\nThe tree has not been read.");
    }
    throw CommandAborted{};
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
