// The window's side of a run's outputs: the save dialogs that settle where
// each output goes, the status texts while a value list is built, and the
// finish and stop messages; over the outputs of output/.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/CombinedOutput.h"
#include "window/Ui.h"

namespace zortan {

// What the outputs of a run are opened, written and closed with in the
// window: the user, the output choices and status texts, the outputs'
// paths, files and records, the categories' value sets and names, and the
// certificate's and headers' sources.
struct OutputsDesk {
    Ui& ui;
    ShellState& shell;
    InitFileOptions& options;
    OutputState& outputs;
    CodingRun& run;
    const QuantizationTree& tree;
    CathLabels labels;
    HeaderSources sources;
};

// The save dialog's filters, numbered from 1.
const std::vector<FileFilter>& saveDialogFilters();

// Lets the user choose where an output goes; `fileName` takes the choice,
// and the options (which hold it) are saved. True when the file may be
// written.
bool ChooseOutputFile(Ui& ui, const InitFileOptions& options, std::string& fileName,
                      int filterIndex, const std::string& title);

// The window's choice: a file that exists or whose folder does not is asked
// for in the save dialog; refusals are shown, the list building is told in
// the status texts.
class DialogChooser : public OutputChooser {
  public:
    DialogChooser(Ui& ui, const InitFileOptions& options, ShellState& shell)
        : ui_(ui), options_(options), shell_(shell) {}
    bool settle(std::string& fileName, int filterIndex, const std::string& title) override;
    void refused(const std::string& message) override;
    void buildingList(const std::string& name, bool done) override;

  private:
    Ui& ui_;
    const InitFileOptions& options_;
    ShellState& shell_;
};

// The value list of a category with the window's status texts around it.
int BuildCathList(ShellState& shell, Ui& ui, const std::string& name, const Set256& valueSet,
                  CathTables& tables);

// The desk's opening, with the window's dialogs as `chooser`; its files.
OutputOpening openingOf(OutputsDesk& desk, OutputChooser& chooser);
OutputFiles outputFiles(OutputsDesk& desk);

bool OpenCombinedOutput(OutputsDesk& desk, std::string& fileName, OutFile& file,
                        const std::string& description);
void OpenTeachOutputs(OutputsDesk& desk);
void OpenRecogOutputs(OutputsDesk& desk);
void WriteTeachRecord(OutputsDesk& desk);
void WriteRecogRecord(OutputsDesk& desk);
void WriteEventRecords(OutputsDesk& desk);
void CloseOutputs(OutputsDesk& desk);
// Shows where a finished run's results are.
void ShowFinishMessage(OutputsDesk& desk, bool tableWritten = true);
// A run stopped by an error: says where and why, and names the files that
// hold what was coded (`coded` events); no finish message.
void ShowStopMessage(OutputsDesk& desk, const std::string& where, const std::string& why,
                     int64_t coded);

}  // namespace zortan
