// Choosing an existing input file through the open dialog, with retries.
#pragma once

#include <string>
#include <vector>

#include "shell/Ui.h"

namespace zortan {

struct Program;

// The open dialog's filters, numbered from 1.
const std::vector<FileFilter>& openDialogFilters();

// Shows the open dialog until `path` names an existing file. Then shows the
// path in double quotes in `pathCaption` and saves the options file.
void ChooseExistingFile(Program& program, const std::string& title, int filterIndex,
                        const std::string& hintDirectory, std::string& path,
                        std::string& pathCaption);

}  // namespace zortan
