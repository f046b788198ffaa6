// The Ui the readers report to: their messages become notes, with LF line
// ends; nothing is ever asked.
#pragma once

#include <string>
#include <vector>

#include "base/Ui.h"

namespace zortan::dump {

class NotesUi : public Ui {
  public:
    explicit NotesUi(std::vector<std::string>& notes) : notes_(notes) {}
    void showMessage(const std::string& text) override {
        std::string note;
        for (char c : text)
            if (c != '\r') note += c;
        notes_.push_back(note);
    }
    bool askYesNo(const std::string&, const std::string&) override { return false; }
    Answer askYesNoCancel(const std::string&, const std::string&) override {
        return Answer::Cancel;
    }
    std::optional<std::string> chooseOpenFile(const FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> chooseSaveFile(const FileDialogRequest&) override {
        return std::nullopt;
    }
    void processPendingEvents() override {}
    void beep() override {}
    ScreenSize screenSize() override { return {}; }

  private:
    std::vector<std::string>& notes_;
};

}  // namespace zortan::dump
