#include "window/MainWindow.h"

#include <limits>

#include "platform/Errors.h"
#include "plots/EventPictures.h"
#include "window/CodingDriver.h"
#include "window/ShellRules.h"
#include "window/TreeInput.h"

namespace zortan {

template <typename Action>
void TForm1::guarded(Action action) {
    try {
        catchPlatformErrors(action, [this](const std::string& what) { p_.ui.showError(what); });
    } catch (const CommandAborted&) {
        // The command has shown its own message.
    }
}

void TForm1::FormCreate() {
    ShellState& s = p_.shell;
    WindowControls& w = s.controls;
    Ui& ui = p_.ui;
    guarded([&] {
        const ScreenSize screen = ui.screenSize();
        if (screen.width != 1680 || screen.height != 1050)
            ui.showMessage(
                "Zortan.\r\nThe interface of the program was preparead for the 1680x1050 screen "
                "resolution!\r\nYour screen parameters are: " +
                std::to_string(screen.width) + "x" + std::to_string(screen.height) +
                ".\r\nTry to change your graphic card parameters to these values");
        ReadInitFile(p_.options, ui, p_.programFolder);
        s.treeTexts.categoryCaptions = p_.cathLabel2 + ", " + p_.cathLabel1 + ", " + p_.cathLabel3;
        s.stopContinueCaption = "Stop";
        w.stopContinueEnabled = false;
        w.breakEnabled = false;
        s.nextEnabled = false;
        w.readData2Enabled = s.compareMode;
        s.hibernateOnFinish = false;
        changePicturesText(s, ui, std::to_string(s.picturesPerRow));
        p_.data1.eventsFileCaption.clear();
        w.data2FieldsVisible = s.compareMode;
        w.input2TabVisible = false;
        ui.processPendingEvents();
        s.sliderVisible = false;
        changeClustersText(s, ui, "256", p_.tree.treeSizesNb());
        s.waiting = false;
        const uint8_t fitting = fitOrRangeError<uint8_t>(fittingPicturesCount(s));
        s.picturesPerRow = fitting == 0 ? s.picturesPerRow : fitting;
        changePicturesText(s, ui, std::to_string(fitting));
    });
}

void TForm1::FormActivate() {
    p_.shell.focus = Focus::ReadTree;
}

bool TForm1::enabled(Command command) const {
    const ShellState& s = p_.shell;
    const WindowControls& w = s.controls;
    switch (command) {
        case Command::ReadTree:
            return w.inputGroupEnabled && w.readTreeEnabled;
        case Command::ReadData1:
            return w.inputGroupEnabled && w.readData1Enabled;
        case Command::ReadData2:
            return w.inputGroupEnabled && w.readData2Enabled;
        case Command::ReadTreeAndData:
            return w.inputGroupEnabled && w.readTreeAndDataEnabled;
        case Command::Halt:
            return true;
        case Command::StopContinue:
            return w.stopContinueEnabled;
        case Command::Break:
            return w.breakEnabled;
        case Command::Next:
            return s.nextEnabled;
        case Command::About:
            return true;
        case Command::Options:
            return true;
        case Command::OutputsOk:
            return w.outputFilesVisible;
        case Command::ReverseTeach:
            return w.outputFilesVisible && w.teachGroupEnabled && w.reverseTeachEnabled;
        case Command::ReverseRecog:
            return w.outputFilesVisible && w.recogGroupEnabled && w.reverseRecogEnabled;
    }
    return false;
}

bool TForm1::enabled(Toggle toggle) const {
    const ShellState& s = p_.shell;
    const WindowControls& w = s.controls;
    switch (toggle) {
        case Toggle::ClustersChangeable:
        case Toggle::ShowInputRecords:
        case Toggle::StepwiseProceeding:
            return true;
        case Toggle::StretchCepstra:
            return !s.stretchLocked;
        case Toggle::CompareMode:
            return w.compareEnabled;
        case Toggle::HibernateOnFinish:
            return w.inputGroupEnabled;
        case Toggle::OutputTeachCombined:
        case Toggle::OutputTeachCodes:
        case Toggle::OutputTeachCath1:
        case Toggle::OutputTeachCath2:
        case Toggle::OutputTeachCath3:
            return w.outputChoicesEnabled && w.teachGroupEnabled;
        default:
            return w.outputChoicesEnabled && w.recogGroupEnabled;
    }
}

void TForm1::click(Command command) {
    if (!enabled(command)) return;
    ShellState& s = p_.shell;
    WindowControls& w = s.controls;
    guarded([&] {
        switch (command) {
            case Command::ReadTree:
                p_.fvsRecord.fill(0);
                ReadInitFile(p_.options, p_.ui, p_.programFolder);
                w.readData1Enabled = true;
                w.compareEnabled = true;
                readTree();
                break;
            case Command::ReadData1:
                w.readTreeAndDataEnabled = false;
                w.teachGroupEnabled = false;
                w.recogGroupEnabled = false;
                w.inputDescriptionVisible = true;
                p_.eventNbr = kLargestEventCount;
                ReadData1(p_);
                w.readTreeAndDataEnabled = s.compareMode;
                break;
            case Command::ReadData2:
                w.teachGroupEnabled = false;
                w.recogGroupEnabled = false;
                ReadData2(p_);
                w.readTreeAndDataEnabled = true;
                break;
            case Command::ReadTreeAndData:
                w.readTreeAndDataEnabled = false;
                s.treeRead = true;
                readTree();
                w.input2TabVisible = s.compareMode;
                p_.eventNbr = kLargestEventCount;
                ReadData1(p_);
                if (s.compareMode) ReadData2(p_);
                w.readTreeAndDataEnabled = true;
                break;
            case Command::Halt:
                Halt(p_);  // ends the program
                break;
            case Command::StopContinue:
                pressStopContinue(s);
                break;
            case Command::Break:
                pressBreak(s);
                break;
            case Command::Next:
                pressNext(s);
                break;
            case Command::About:
                w.aboutVisible = true;
                w.aboutLarge = false;
                break;
            case Command::Options:
                w.outputFilesVisible = !w.outputFilesVisible;
                break;
            case Command::OutputsOk:
                w.outputFilesVisible = false;
                w.treeDataVisible = true;
                w.inputDescriptionVisible = true;
                if (w.inputGroupEnabled) s.focus = s.treeRead ? Focus::ReadData1 : Focus::ReadTree;
                break;
            case Command::ReverseTeach:
            case Command::ReverseRecog: {
                const size_t first = command == Command::ReverseTeach ? 0 : kChoicesPerGroup;
                for (size_t i = first; i < first + kChoicesPerGroup; ++i)
                    s.*kOutputChoices[i].chosen = !(s.*kOutputChoices[i].chosen);
                break;
            }
        }
    });
}

void TForm1::readTree() {
    TreeReaderDesk desk = treeReaderDesk(p_);
    ReadTreeProcedure(desk);
    if (p_.tree.training.averaging) PlaceAveragingArea(p_.pictures);
    p_.shell.controls.treeDataVisible = true;
}

bool* TForm1::outputChoice(Toggle toggle) const {
    const int i = static_cast<int>(toggle) - static_cast<int>(kFirstOutputToggle);
    if (i < 0 || i >= static_cast<int>(kOutputChoices.size())) return nullptr;
    return &(p_.shell.*kOutputChoices[static_cast<size_t>(i)].chosen);
}

bool TForm1::toggleValue(Toggle toggle) const {
    const ShellState& s = p_.shell;
    switch (toggle) {
        case Toggle::ClustersChangeable:
            return s.clustersChangeable;
        case Toggle::ShowInputRecords:
            return s.showInputRecords;
        case Toggle::StretchCepstra:
            return s.stretchCepstra;
        case Toggle::CompareMode:
            return s.compareMode;
        case Toggle::StepwiseProceeding:
            return s.stepwiseProceeding;
        case Toggle::HibernateOnFinish:
            return s.hibernateOnFinish;
        default: {
            const bool* chosen = outputChoice(toggle);
            return chosen != nullptr && *chosen;
        }
    }
}

void TForm1::setToggle(Toggle toggle, bool on) {
    if (!enabled(toggle)) return;
    ShellState& s = p_.shell;
    guarded([&] {
        switch (toggle) {
            case Toggle::ClustersChangeable:
                setClustersChangeable(s, p_.ui, on);
                break;
            case Toggle::ShowInputRecords:
                s.showInputRecords = on;
                break;
            case Toggle::StretchCepstra:
                setStretchCepstra(s, on, p_.tree.consideredComponentsNb);
                break;
            case Toggle::CompareMode:
                setCompareMode(on);
                break;
            case Toggle::StepwiseProceeding:
                setStepwiseProceeding(s, on);
                break;
            case Toggle::HibernateOnFinish:
                s.hibernateOnFinish = on;
                break;
            default:
                if (bool* chosen = outputChoice(toggle)) *chosen = on;
                break;
        }
    });
}

void TForm1::setCompareMode(bool on) {
    ShellState& s = p_.shell;
    WindowControls& w = s.controls;
    s.compareMode = on;
    w.data2FieldsVisible = on;
    if (on) {
        p_.ui.showMessage("For the comparing mode no teaching file will be created.");
        for (const OutputChoice& c : kOutputChoices) s.*c.chosen = false;
        w.outputChoicesEnabled = false;
        w.reverseTeachEnabled = false;
        w.reverseRecogEnabled = false;
    } else {
        s.outputTeachCombined = true;
        w.outputChoicesEnabled = true;
        w.readData1Enabled = true;
        w.reverseTeachEnabled = true;
        w.reverseRecogEnabled = true;
        p_.ui.processPendingEvents();
    }
    s.focus = s.treeRead ? Focus::ReadData1 : Focus::ReadTree;
}

void TForm1::typeClusters(const std::string& text) {
    if (!p_.shell.clustersEditEnabled) return;
    guarded([&] { changeClustersText(p_.shell, p_.ui, text, p_.tree.treeSizesNb()); });
}

void TForm1::typePicturesPerRow(const std::string& text) {
    guarded([&] { changePicturesText(p_.shell, p_.ui, text); });
}

void TForm1::moveSlider(int position) {
    if (!p_.shell.sliderVisible) return;
    guarded([&] { moveStretchSlider(p_.shell, position, p_.tree.consideredComponentsNb); });
}

void TForm1::chooseFeatureKind(int kind) {
    if (!p_.shell.controls.featureKindChoiceEnabled || kind < 0 ||
        kind >= static_cast<int>(kFeatureKindNames.size()))
        return;
    p_.tree.training.featureKind = kind;
    p_.shell.treeTexts.featureCaption = kFeatureKindNames[static_cast<size_t>(kind)];
    p_.shell.treeTexts.featureColour = kind;
}

void TForm1::resize(int width) {
    guarded([&] { resizeWindow(p_.shell, p_.ui, width); });
}

void TForm1::clickAbout() {
    WindowControls& w = p_.shell.controls;
    if (w.aboutVisible) w.aboutLarge = !w.aboutLarge;
}

void TForm1::doubleClickAbout() {
    p_.shell.controls.aboutVisible = false;
}

std::string TForm1::aboutText() {
    return std::string(60, '>') +
           "\r\nVersion: 2.a.\r\n"
           "Purpose: Performs encoding events accordingly to a codebook.\r\n"
           "\r\n"
           "Inputs:\r\n"
           "- the codebook: a quantization tree grown by the TRB program (*.vq* text file);\r\n"
           "- event streams: spectrum analysis results of the Ondrix program (*.fvs files of "
           "1812-byte records) or text tables, one event a row.\r\n"
           "\r\n"
           "Outputs:\r\n"
           "- the codes alone, in the \"Separated output file\" (one character per event), and "
           "the category positions in one text file per category;\r\n"
           "- the codes with their qualifiers in the \"Combined output file\" (*.zrt): a file of "
           "6-byte records. It begins with a record that holds the number of records the "
           "certificate occupies (253), then the certificate (Tcertificate: date, time, file "
           "description, number of groups, the paths of the sources, the analysis and tree "
           "training settings, the category sets and counts, frame steps, rates and lifter "
           "tresholds of the training data and of the coded data), then one record per event.\r\n"
           "  TOutputRecord = vectorCode (16-bit code, 0..K-1), cath1, cath2, cath3 (one "
           "character each), tag (not used).\r\n"
           "\r\n"
           "\"Teach sample output\": the code with the qualifiers given with each event.\r\n"
           "\"Recognition output\": the code with the category readings of the tree leaf the "
           "event reaches.\r\n"
           "\r\n"
           "The error text file tabulates, for every number of clusters from 1 to K, the "
           "percentage of events whose tree readings differ from the given categories; in "
           "compare mode also how differently the two event series are classified.";
}

std::vector<std::pair<std::string, std::string>> TForm1::hints() const {
    const ShellState& s = p_.shell;
    auto teachCath = [](const std::string& label) {
        return "Output: a stream of \"" + label + "\" source classification vectors only";
    };
    auto recogCath = [](const std::string& label) {
        return "Output: a stream of \"" + label + "\" recognized classification vectors only";
    };
    std::vector<std::pair<std::string, std::string>> hints{
        {"Read data_1", "Your data"},
        {"Read tree", "Based on the training data analysis.\r\nMy data"},
        {"Read tree&data",
         "Groups commands.\r\nUse ONLY if you do not intend to change clusters number!"},
        {"Break", "After then click \"" + s.stopContinueCaption + "\" or \"Next\" if enabled"},
        {"Next", "Works when \"Stepwise proceeding\" is checked"},
        {"clusters check box", "Enables or Disables changing centroids number"},
        {"Stretch cepstra",
         "Shows only liftered part of cepstra!\r\nDoes not work when spectra are compared..."},
        {"Compare",
         "Turn on to compare classifications of two event series.\r\nIf turned on two event "
         "series will be read and classification differences will be picket out and summarized "
         "as function of class number"},
        {"Hibernate on finish", "Hibernate system when program finished"},
    };
    // The output choices: the combined file, the codes, the categories.
    const std::array<const std::string*, 3> labels{&p_.cathLabel1, &p_.cathLabel2, &p_.cathLabel3};
    for (size_t i = 0; i < kOutputChoices.size(); ++i) {
        const bool teach = i < kChoicesPerGroup;
        const size_t item = i % kChoicesPerGroup;
        std::string hint = "Output: a stream of resulting codes only";
        if (item == 0)
            hint = std::string("Output: a stream of resulting codes+") +
                   (teach ? "source" : "recognized") + " classification vectors";
        else if (item > 1)
            hint = teach ? teachCath(*labels[item - 2]) : recogCath(*labels[item - 2]);
        hints.emplace_back(kOutputChoices[i].hintKey, hint);
    }
    hints.insert(
        hints.end(),
        {
            {"clusters edit", "State centroids number K\r\nCode range: from 0 to K-1"},
            {"Nbr of clusters",
             "With this parameter you can shorten quantization tree!\r\nIt means also, that you "
             "make "
             "less centroids number"},
            {"actual clusters", "Actual centroids number"},
            {"Number of  pictures in series",
             "How many pictures should contain the screen in one row"},
            {"Numbers of: groups, events, features vectors length",
             "Count of considered component number"},
            {"Input data description", "Your data..."},
            {"feature", "Feature processed by the \"Ondrix\" analysis program"},
            {"warning line",
             "You must take into account sampling frequency, filtering and windowing  applied, FFT "
             "points number, etc.\r\nFeature and distance measure is detectet automatically (if "
             "you "
             "used our programm for spectrum analysis)"},
            {"settings pages",
             "The Input and Train Radiogroups taken from the Ondrix Analyzer\r\nThe TRB "
             "Radiogroups "
             "taken from the TRB programm"},
            {"TRB training heading", "Parameters read from quantization tree file"},
            {"Output codes", "Elaborated by the program"},
            {"given", "Given qualifiers, not elaborated by the program!"},
            {"averaging area", "modified input"},
            {"stretch slider",
             "Note. The vertical stright line on drawings shows the events vectors components "
             "number\r\nalready not taken into account when the event-centroid distance is "
             "computed "
             "or when an event is classified in the CART approach.\r\nThis is specified in the TRB "
             "program. One should not mix up it with the lifter treshold, which is determined "
             "during "
             "spectral analysis of the signal,\r\ntherefore the cepstrum drawings can protrude out "
             "this line, whereas the signal averaged and differentiated drawings can not go out "
             "this "
             "lis line.\r\nInner exclusions determined by the \"Constrained features set\" are not "
             "showed"},
        });
    return hints;
}

}  // namespace zortan
