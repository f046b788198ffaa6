// The Ui port on standard input and output: every box, dialog and notice is
// printed as a block, every answer is read as one line. During a coding run
// the console reads commands only while the run waits, and turns SIGINT
// into "Break" (a second one, before the question is answered, into "Halt!").
#pragma once

#include <optional>
#include <string>

#include "app/console/ConsoleOutput.h"
#include "app/console/LineInput.h"
#include "window/MainWindow.h"
#include "window/Ui.h"

namespace zortan::console {

class ConsoleUi : public Ui {
  public:
    ConsoleUi(LineInput& input, Interrupts& interrupts, ConsoleOutput& out)
        : input_(input), interrupts_(interrupts), out_(out) {}

    // The program and its window, once both exist.
    void attach(Program& program, TForm1& form) {
        program_ = &program;
        form_ = &form;
    }

    // The next line of input for the window; nothing at the end of input.
    std::optional<std::string> nextCommandLine();
    void execute(const std::string& line);

    void showMessage(const std::string& text) override;
    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text, const std::string& title) override;
    Answer askYesNoCancel(const std::string& text, const std::string& title) override;
    std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) override;
    void processPendingEvents() override;
    void beep() override;
    ScreenSize screenSize() override { return {1680, 1050}; }
    void statusCaptionChanged(const std::string& caption) override;

  private:
    // Acts on a pending SIGINT: "Break" while a run can be broken, "Halt!"
    // when a break is already asked for, else the end of the program.
    void serveInterrupt();
    // The next line that answers a box or dialog (comment lines skipped);
    // the end of input ends the program.
    std::string answerLine();
    std::optional<std::string> fileDialog(const std::string& kind,
                                          const FileDialogRequest& request);

    LineInput& input_;
    Interrupts& interrupts_;
    unsigned freeRunCalls_ = 0;  // processPendingEvents calls while a run goes freely
    ConsoleOutput& out_;
    Program* program_ = nullptr;
    TForm1* form_ = nullptr;
    std::string shownCaption_ = "--------";
};

}  // namespace zortan::console
