// Text outputs: choosing an output file, creating a text output with its
// common header, the category value lists.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "events/EventSeries.h"
#include "output/Outputs.h"
#include "platform/Clock.h"
#include "shell/InitFile.h"
#include "shell/ShellState.h"
#include "tree/QuantizationTree.h"

namespace zortan {

// Where the text outputs' header takes what it prints from.
struct HeaderSources {
    const InitFileOptions& options;  // the sources' paths
    const QuantizationTree& tree;
    const EventSeries& input1;
    const EventSeries& input2;
    const TreeDataTexts& treeTexts;
    int clustersNb = 0;
    bool compareMode = false;  // the two-input form
    // Read when the header is written: a file chosen in a dialog is dated
    // when it is written.
    const std::function<LocalDateTime()>& clock;
};

// An output's name is asked for when the file exists or its folder does not
// (a name without a folder is in the current one).
bool OutputChoiceNeeded(const std::string& fileName);

// The three kinds of text output: the code file, a category file (its
// header is followed by the category's value list) and the error file (whose
// header does not announce codes).
enum class TextOutputKind { Codes, Category, Error };

// How each output file is settled before it is created.
class OutputChooser {
  public:
    virtual ~OutputChooser() = default;
    // Whether the output may be created at `fileName`; the choice may
    // change the name.
    virtual bool settle(std::string& fileName, int filterIndex, const std::string& title) = 0;
    // The output will not be created; `message` says so.
    virtual void refused(const std::string& message) = 0;
    // A category's value list is being built (`done` false) or was built.
    virtual void buildingList(const std::string& name, bool done) = 0;
};

// A run without a window: every output is created where it is named.
class NamedChooser : public OutputChooser {
  public:
    bool settle(std::string&, int, const std::string&) override { return true; }
    void refused(const std::string&) override {}
    void buildingList(const std::string&, bool) override {}
};

// What creating a text output works with: how its file is settled and the
// header's sources.
struct TextOutputDesk {
    OutputChooser& chooser;
    const HeaderSources& sources;
};

// Creates the text output and writes its header (and, for a category file,
// its value list). False when the user declined the file.
bool CreateTextOutput(TextOutputDesk& desk, OutFile& file, std::string& fileName, int filterIndex,
                      const std::string& title, const std::string& refusal,
                      const std::string& heading, TextOutputKind kind, const std::string& name,
                      const Set256& valueSet, CathTables& tables);

// The common header of a text output of `kind`, in the form of the run's mode.
void WriteTextOutputHeader(const HeaderSources& sources, OutFile& file, const std::string& heading,
                           TextOutputKind kind);
// A category file's value list, after its header.
void WriteCathList(OutFile& file, const std::string& name, const CathTables& tables);

void WriteTextHeader(const HeaderSources& sources, OutFile& file, const std::string& heading,
                     TextOutputKind kind = TextOutputKind::Codes);
// A text taken from an input (a path, a wave name, a label) as it goes into
// a line of a text output: CR and LF become blanks, so that the file holds
// CR LF at its line ends only.
std::string oneLine(std::string text);
void WriteCompareTextHeader(const HeaderSources& sources, OutFile& file, const std::string& heading,
                            TextOutputKind kind = TextOutputKind::Codes);

// The value list of a category from its value set; returns the count.
int FillCathTables(const Set256& valueSet, CathTables& tables);
// FillCathTables, telling `chooser`.
int BuildCathList(OutputChooser& chooser, const std::string& name, const Set256& valueSet,
                  CathTables& tables);

}  // namespace zortan
