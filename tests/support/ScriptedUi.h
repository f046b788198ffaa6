// A Ui recording everything shown and answering from a script given in advance.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "window/Ui.h"

namespace zortan::testing {

// Thrown when the code under test asks more than the script answers; it is
// not one of the program's own errors, so nothing catches it on the way.
struct ScriptExhausted {
    std::string what;
};

class ScriptedUi : public Ui {
  public:
    // Consumed in order: "yes"/"no"/"cancel" for questions, a path (or "" to
    // cancel, "!" to fail as a locked file makes it) for dialogs.
    std::deque<std::string> answers;
    // One entry per event: "message: <text>", "error: <text>", "question:
    // <title>|<text>", "question3: ...", "open: <title>|<filter>|<path>",
    // "save: ...", "beep", "status: <caption>".
    std::vector<std::string> log;
    std::vector<std::string> messages, errors;  // the texts alone
    std::vector<FileDialogRequest> dialogs;
    ScreenSize screen{1680, 1050};
    int pendingEventsProcessed = 0;
    std::function<void()> user;  // the user acting while pending events are processed
    // Answers what the script does not; without it, ScriptExhausted is thrown.
    std::function<std::string(const std::string& what)> whenUnscripted;

    void showMessage(const std::string& text) override {
        log.push_back("message: " + text), messages.push_back(text);
    }
    void showError(const std::string& text) override {
        log.push_back("error: " + text), errors.push_back(text);
    }
    bool askYesNo(const std::string& text, const std::string& title) override {
        log.push_back("question: " + title + "|" + text);
        return next("Yes/No question: " + text) == "yes";
    }
    Answer askYesNoCancel(const std::string& text, const std::string& title) override {
        log.push_back("question3: " + title + "|" + text);
        const std::string a = next("Yes/No/Cancel question: " + text);
        return a == "yes" ? Answer::Yes : a == "no" ? Answer::No : Answer::Cancel;
    }
    std::optional<std::string> chooseOpenFile(const FileDialogRequest& r) override {
        return dialog("open", r);
    }
    std::optional<std::string> chooseSaveFile(const FileDialogRequest& r) override {
        return dialog("save", r);
    }
    void processPendingEvents() override {
        ++pendingEventsProcessed;
        if (user) user();
    }
    void beep() override { log.push_back("beep"); }
    ScreenSize screenSize() override { return screen; }
    void statusCaptionChanged(const std::string& caption) override {
        log.push_back("status: " + caption);
    }

  private:
    std::string next(const std::string& what) {
        if (answers.empty() && whenUnscripted) return whenUnscripted(what);
        if (answers.empty()) throw ScriptExhausted{what};
        const std::string a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> dialog(const std::string& kind, const FileDialogRequest& r) {
        log.push_back(kind + ": " + r.title + "|" + std::to_string(r.filterIndex) + "|" + r.path);
        dialogs.push_back(r);
        const std::string a = next(kind + " dialog: " + r.title);
        if (a == "!") throw InOutError(32, "Sharing violation");
        return a.empty() ? std::nullopt : std::optional(a);
    }
};

}  // namespace zortan::testing
