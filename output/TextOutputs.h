// Text outputs: choosing an output file, creating a text output with its
// common header, the category value lists.
#pragma once

#include <string>
#include <vector>

#include "base/Ui.h"
#include "output/Outputs.h"
#include "tree/QuantizationTree.h"

namespace zortan {

struct Program;

// The save dialog's filters, numbered from 1.
const std::vector<FileFilter>& saveDialogFilters();

// Lets the user choose where an output goes; `fileName` takes the choice.
// True when the file may be written.
bool ChooseOutputFile(Program& program, std::string& fileName, int filterIndex,
                      const std::string& title);

// Creates the text output and writes its header (and, for a category file,
// its value list). False when the user declined the file.
bool CreateTextOutput(Program& program, OutFile& file, std::string& fileName, int filterIndex,
                      const std::string& title, const std::string& refusal,
                      const std::string& heading, const std::string& name, const Set256& valueSet,
                      CathTables& tables);

void WriteTextHeader(Program& program, OutFile& file, const std::string& heading);
void WriteCompareTextHeader(Program& program, OutFile& file, const std::string& heading);

// Builds the value list of a category from its value set; returns the count.
int BuildCathList(Program& program, const std::string& name, const Set256& valueSet,
                  CathTables& tables);

}  // namespace zortan
