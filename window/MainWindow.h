// The main window without a toolkit: its commands with their enabled
// states, the start-up, compare mode, the About box and the hints. A front
// end renders Program::shell and calls these methods for the user's actions.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "window/Program.h"

namespace zortan {

// The commands a front end can give, one per control.
enum class Command {
    ReadTree,
    ReadData1,
    ReadData2,
    ReadTreeAndData,
    Halt,
    StopContinue,
    Break,
    Next,
    About,
    Options,
    OutputsOk,
    ReverseTeach,
    ReverseRecog,
};

// The boolean settings a check box holds.
enum class Toggle {
    ClustersChangeable,
    ShowInputRecords,
    StretchCepstra,
    CompareMode,
    StepwiseProceeding,
    HibernateOnFinish,
    OutputTeachCombined,
    OutputTeachCodes,
    OutputTeachCath1,
    OutputTeachCath2,
    OutputTeachCath3,
    OutputRecogCombined,
    OutputRecogCodes,
    OutputRecogCath1,
    OutputRecogCath2,
    OutputRecogCath3,
};
// The output choices' toggles follow kOutputChoices' order from here on.
inline constexpr Toggle kFirstOutputToggle = Toggle::OutputTeachCombined;
inline Toggle outputToggle(size_t choice) {
    return static_cast<Toggle>(static_cast<size_t>(kFirstOutputToggle) + choice);
}

class TForm1 {
  public:
    explicit TForm1(Program& program) : p_(program) {}

    // Start-up, once, before the window is first shown.
    void FormCreate();
    // The window was activated.
    void FormActivate();

    // Whether the command's control can be used now.
    bool enabled(Command command) const;
    bool enabled(Toggle toggle) const;
    // Runs a command as a click on its control. A platform error stops it
    // and is shown; ProgramEnd passes through.
    void click(Command command);

    // Setting changes, each with its handling.
    void setToggle(Toggle toggle, bool on);
    bool toggleValue(Toggle toggle) const;
    void typeClusters(const std::string& text);
    void typePicturesPerRow(const std::string& text);
    void moveSlider(int position);
    void chooseFeatureKind(int kind);
    void resize(int width);

    // The About box.
    static std::string aboutText();
    void clickAbout();        // toggles small and large
    void doubleClickAbout();  // hides it

    // The hints of the controls, (control, hint), as set at start-up.
    std::vector<std::pair<std::string, std::string>> hints() const;

  private:
    template <typename Action>
    void guarded(Action action);
    void setCompareMode(bool on);
    // "Read tree" and what the window shows after it.
    void readTree();
    // The output choice a toggle holds; null for the other toggles.
    bool* outputChoice(Toggle toggle) const;

    Program& p_;
};

}  // namespace zortan
