// Choosing an existing input file through the open dialog, with retries.
#pragma once

#include <string>
#include <vector>

#include "window/Ui.h"

namespace zortan {

struct InitFileOptions;

// The open dialog's filters, numbered from 1.
const std::vector<FileFilter>& openDialogFilters();

// Shows the open dialog until `path` names an existing file. Then shows the
// path in double quotes in `pathCaption` and saves `options` (which `path`
// usually belongs to) to the options file.
void ChooseExistingFile(Ui& ui, const InitFileOptions& options, const std::string& title,
                        int filterIndex, const std::string& hintDirectory, std::string& path,
                        std::string& pathCaption);

}  // namespace zortan
