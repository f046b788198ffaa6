// The rules of the window's settings that talk to the user: the clusters
// and pictures edits, the clusters check box, the window's width and the
// status caption.
#pragma once

#include <string>

#include "shell/InitFile.h"
#include "shell/ShellState.h"
#include "window/Ui.h"

namespace zortan {

// Clusters edit: the text changed. `treeSizesNb` is the limit (1 before any
// tree has been read).
void changeClustersText(ShellState& s, Ui& ui, const std::string& text, int treeSizesNb);
// Clusters check box ticked or unticked.
void setClustersChangeable(ShellState& s, Ui& ui, bool on);

// Pictures edit: the text changed.
void changePicturesText(ShellState& s, Ui& ui, const std::string& text);
// Window resized: the fitting count is written into the pictures edit.
void resizeWindow(ShellState& s, Ui& ui, int width);

// Reads the options file (shell/InitFile.h) and shows what it says of a
// damaged one.
void ReadInitFile(InitFileOptions& options, Ui& ui, const std::string& programFolder);

// Sets the large status caption and tells the front end.
void setStatusCaption(ShellState& s, Ui& ui, const std::string& text);

}  // namespace zortan
