#include "window/OutputDialogs.h"

#include <optional>

#include "platform/Errors.h"
#include "platform/Host.h"
#include "shell/InitFile.h"
#include "window/ShellRules.h"

namespace zortan {

namespace {

const char* const kIoError32Message =
    "Can not overwrite the file because of I/O error 32?\r\n- apply different, unique name or "
    "close the program and try again\r\nor check whether the process can not access the file "
    "because it is used by another process";

}  // namespace

const std::vector<FileFilter>& saveDialogFilters() {
    static const std::vector<FileFilter> filters = {
        {"all files", "*.*"},
        {"text files", "*.txt"},
        {"output file (vector's code and 3 cathegories to which the vector is classified)",
         "*.zrt"},
        {"out codes series (vector's codes as char; #10, #13 and #26 are jumped over)",
         "*code*.txt"},
        {"\"phon\" cathegory series only", "*phon*.txt"},
        {"\"person\" cathegory series only", "*person*.txt"},
        {"\"voicing\" cathegory series only", "*voic*.txt"},
        {"error centroid's number function", "*error*.txt"},
    };
    return filters;
}

bool ChooseOutputFile(Ui& ui, const InitFileOptions& options, std::string& fileName,
                      int filterIndex, const std::string& title) {
    Answer lastAnswer = Answer::Yes;
    bool accepted = false;
    do {
        ui.processPendingEvents();
        catchPlatformErrors(
            [&] {
                FileDialogRequest request;
                request.title = title;
                request.filterIndex = filterIndex;
                request.path = fileName;
                // Outputs are named after the first event file: beside it,
                // when their own folder is not there.
                request.startFolder = extractFileDir(
                    options.data1IsFvs ? options.fvsEventsFileDir1 : options.txtEventsFileDir1);
                request.filters = saveDialogFilters();
                if (std::optional<std::string> chosen = ui.chooseSaveFile(request))
                    fileName = *chosen;
                if (fileExists(fileName))
                    lastAnswer =
                        ui.askYesNoCancel("File \"" + fileName + "\" exists. Overwrite it?", "");
                else
                    // Nothing to overwrite: a fresh name is taken at once, also
                    // after an earlier No.
                    lastAnswer = Answer::Yes;
                accepted = lastAnswer == Answer::Yes;
            },
            [&](const std::string&) { ui.showMessage(kIoError32Message); });
    } while (!accepted && lastAnswer != Answer::Cancel);
    WriteInitFile(options);
    return accepted;
}

bool DialogChooser::settle(std::string& fileName, int filterIndex, const std::string& title) {
    return !OutputChoiceNeeded(fileName) ||
           ChooseOutputFile(ui_, options_, fileName, filterIndex, title);
}

void DialogChooser::refused(const std::string& message) {
    ui_.showMessage(message);
}

void DialogChooser::buildingList(const std::string& name, bool done) {
    if (done) {
        setStatusCaption(shell_, ui_, "Program finished " + name + " #list creation");
        return;
    }
    setStatusCaption(shell_, ui_, name + " #list creation");
    shell_.statusBarText = "\"cathegory # list create\"";
}

int BuildCathList(ShellState& shell, Ui& ui, const std::string& name, const Set256& valueSet,
                  CathTables& tables) {
    const InitFileOptions unused;  // the list building asks for no file
    DialogChooser chooser(ui, unused, shell);
    return BuildCathList(chooser, name, valueSet, tables);
}

OutputOpening openingOf(OutputsDesk& d, OutputChooser& chooser) {
    return OutputOpening{chooser, d.shell, d.options, d.outputs,
                         d.run,   d.tree,  d.labels,  d.sources};
}

OutputFiles outputFiles(OutputsDesk& d) {
    return OutputFiles{d.shell, d.outputs, d.run};
}

bool OpenCombinedOutput(OutputsDesk& d, std::string& fileName, OutFile& file,
                        const std::string& description) {
    DialogChooser chooser(d.ui, d.options, d.shell);
    OutputOpening o = openingOf(d, chooser);
    return OpenCombinedOutput(o, fileName, file, description);
}

void OpenTeachOutputs(OutputsDesk& d) {
    DialogChooser chooser(d.ui, d.options, d.shell);
    OutputOpening o = openingOf(d, chooser);
    OpenTeachOutputs(o);
}

void OpenRecogOutputs(OutputsDesk& d) {
    DialogChooser chooser(d.ui, d.options, d.shell);
    OutputOpening o = openingOf(d, chooser);
    OpenRecogOutputs(o);
}

void WriteTeachRecord(OutputsDesk& d) {
    WriteTeachRecord(outputFiles(d));
}

void WriteRecogRecord(OutputsDesk& d) {
    WriteRecogRecord(outputFiles(d));
}

void WriteEventRecords(OutputsDesk& d) {
    WriteEventRecords(outputFiles(d));
}

void CloseOutputs(OutputsDesk& d) {
    CloseOutputs(outputFiles(d));
}

void ShowFinishMessage(OutputsDesk& d, bool tableWritten) {
    for (const std::string& message : FinishMessages(outputFiles(d), d.options, tableWritten))
        d.ui.showMessage(message);
}

void ShowStopMessage(OutputsDesk& d, const std::string& where, const std::string& why,
                     int64_t coded) {
    d.ui.showMessage(StopMessage(d.outputs, where, why, coded));
}

}  // namespace zortan
