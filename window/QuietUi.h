// The Ui of code that runs without a user (tools, the Python package): every
// message is kept, questions are answered no, dialogs cancelled, nothing is
// drawn.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "window/Ui.h"

namespace zortan {

class QuietUi : public Ui {
  public:
    std::vector<std::string> messages;

    void showMessage(const std::string& text) override { messages.push_back(text); }
    bool askYesNo(const std::string&, const std::string&) override { return false; }
    Answer askYesNoCancel(const std::string&, const std::string&) override {
        return Answer::Cancel;
    }
    std::optional<std::string> chooseOpenFile(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> chooseSaveFile(const FileDialogRequest&) override { return {}; }
    void processPendingEvents() override {}
    void beep() override {}
    ScreenSize screenSize() override { return {1680, 1050}; }
};

}  // namespace zortan
