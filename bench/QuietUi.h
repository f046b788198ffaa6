// A Ui for the benchmarks: nothing is shown, messages are only counted, and
// no question or dialog is expected.
#pragma once

#include <stdexcept>
#include <string>

#include "window/Ui.h"

namespace zortan::bench {

class QuietUi : public Ui {
  public:
    long messages = 0;

    void showMessage(const std::string&) override { ++messages; }
    bool askYesNo(const std::string& text, const std::string&) override { return unexpected(text); }
    Answer askYesNoCancel(const std::string& text, const std::string&) override {
        unexpected(text);
        return Answer::Cancel;
    }
    std::optional<std::string> chooseOpenFile(const FileDialogRequest& r) override {
        unexpected(r.title);
        return std::nullopt;
    }
    std::optional<std::string> chooseSaveFile(const FileDialogRequest& r) override {
        unexpected(r.title);
        return std::nullopt;
    }
    void processPendingEvents() override {}
    void beep() override {}
    ScreenSize screenSize() override { return {1680, 1050}; }

  private:
    static bool unexpected(const std::string& what) {
        throw std::logic_error("benchmark asked the user: " + what);
    }
};

}  // namespace zortan::bench
