// A scripted session on the bundled samples that leaves a picture of the
// window: the tree and the fvs sample are read and a few events are coded
// stepwise, one "Next" each; then the window is saved as PNG. Or the whole
// sample is coded straight through and the window is saved with the chart
// of the error table over it.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "window/Ui.h"

namespace zortan::desktop {

// The user's side of a scripted session: open dialogs are answered from a
// queue, questions with No (Cancel), messages are kept; `user` acts
// whenever the window processes its pending events.
class SessionUi : public Ui {
  public:
    std::deque<std::string> openAnswers;
    std::vector<std::string> messages;
    std::function<void()> user;

    void showMessage(const std::string& text) override { messages.push_back(text); }
    bool askYesNo(const std::string&, const std::string&) override { return false; }
    Answer askYesNoCancel(const std::string&, const std::string&) override {
        return Answer::Cancel;
    }
    std::optional<std::string> chooseOpenFile(const FileDialogRequest&) override;
    std::optional<std::string> chooseSaveFile(const FileDialogRequest&) override {
        return std::nullopt;
    }
    void processPendingEvents() override {
        if (user) user();
    }
    void beep() override {}
    ScreenSize screenSize() override { return {1680, 1050}; }
};

struct ScreenshotRequest {
    std::string file;        // the PNG to write
    std::string samplesDir;  // holds vowels-cep16-centroids32.vq and vowels.fvs
    int events = 12;         // events coded before the picture is taken
    bool finished = false;   // the whole run and its chart instead
};

// Runs the session in a temporary folder (its own Init.txt and outputs) and
// writes the PNG. Returns 0 when it was written, else 1 with `error` set.
int writeScreenshot(const ScreenshotRequest& request, std::string& error);

}  // namespace zortan::desktop
