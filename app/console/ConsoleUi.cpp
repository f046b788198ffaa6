#include "app/console/ConsoleUi.h"

#include "app/console/Commands.h"
#include "platform/Errors.h"
#include "window/CodingDriver.h"

namespace zortan::console {

void ConsoleUi::serveInterrupt() {
    // SIGTERM and SIGHUP act as "Halt!": the outputs are closed whole and
    // the closing messages shown before the program ends.
    if (interrupts_.takeTermination()) {
        if (program_) Halt(*program_);
        throw ProgramEnd{0};
    }
    if (!interrupts_.take()) return;
    if (!program_ || !form_ || !form_->enabled(Command::Break)) throw ProgramEnd{0};
    form_->click(program_->shell.breakRequested ? Command::Halt : Command::Break);
}

std::optional<std::string> ConsoleUi::nextCommandLine() {
    return input_.readLine([this] { serveInterrupt(); });
}

void ConsoleUi::execute(const std::string& line) {
    executeLine(*form_, *program_, out_, line);
}

std::string ConsoleUi::answerLine() {
    for (;;) {
        std::optional<std::string> line = nextCommandLine();
        if (!line) throw ProgramEnd{0};  // the window closes with the box open
        std::string answer = trimmed(*line);
        if (answer.empty() || answer[0] != '#') return answer;
    }
}

void ConsoleUi::showMessage(const std::string& text) {
    out_.block("message", "", text);
}

void ConsoleUi::showError(const std::string& text) {
    out_.block("error", "", text);
}

bool ConsoleUi::askYesNo(const std::string& text, const std::string& title) {
    for (;;) {
        out_.block("question Yes/No", title, text);
        const std::string answer = lowerCase(answerLine());
        if (answer == "yes" || answer == "y") return true;
        if (answer == "no" || answer == "n") return false;
    }
}

Answer ConsoleUi::askYesNoCancel(const std::string& text, const std::string& title) {
    for (;;) {
        out_.block("question Yes/No/Cancel", title, text);
        const std::string answer = lowerCase(answerLine());
        if (answer == "yes" || answer == "y") return Answer::Yes;
        if (answer == "no" || answer == "n") return Answer::No;
        if (answer == "cancel" || answer == "c") return Answer::Cancel;
    }
}

std::optional<std::string> ConsoleUi::fileDialog(const std::string& kind,
                                                 const FileDialogRequest& request) {
    out_.block(kind, request.title,
               "filter: " + std::to_string(request.filterIndex) + "\r\npath: " + request.path);
    std::string path = answerLine();
    if (path.empty()) return std::nullopt;
    return path;
}

std::optional<std::string> ConsoleUi::chooseOpenFile(const FileDialogRequest& request) {
    return fileDialog("open", request);
}

std::optional<std::string> ConsoleUi::chooseSaveFile(const FileDialogRequest& request) {
    return fileDialog("save", request);
}

void ConsoleUi::processPendingEvents() {
    if (!program_ || !form_) {
        serveInterrupt();
        return;
    }
    const ShellState& s = program_->shell;
    // A run waits for "Next" or "Continue", or an fvs input waits for the
    // coded feature kind: one line of input is one pending window event.
    const int kind = program_->tree.training.featureKind;
    const bool kindAsked = s.controls.featureKindChoiceEnabled &&
                           (kind < 0 || kind >= static_cast<int>(kFeatureKindNames.size()));
    const bool runWaits = s.controls.stopContinueEnabled && s.waiting;
    if (!runWaits && !kindAsked) {
        // A free run calls this after every event; a look for SIGINT every
        // 64 calls answers Break at once without a system call per event.
        if (++freeRunCalls_ % 64 == 0) serveInterrupt();
        return;
    }
    serveInterrupt();
    std::optional<std::string> line = nextCommandLine();
    if (!line) throw ProgramEnd{0};
    execute(*line);
}

void ConsoleUi::beep() {
    out_.line("[beep]");
}

void ConsoleUi::statusCaptionChanged(const std::string& caption) {
    if (caption == shownCaption_) return;
    shownCaption_ = caption;
    out_.block("status", "", caption);
}

}  // namespace zortan::console
