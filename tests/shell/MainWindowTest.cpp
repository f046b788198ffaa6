#include "shell/MainWindow.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "platform/Errors.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

using testing::ScriptedUi;
using testing::TempDir;

struct Window {
    TempDir dir;
    ScriptedUi ui;
    Program program{ui, dir.path()};
    TForm1 form{program};
    ShellState& s = program.shell;
    Window() { form.FormCreate(); }
};

TEST(MainWindow, StartUpClampsTheClustersAndFitsNinePictures) {
    Window w;
    EXPECT_TRUE(w.ui.messages.empty());
    EXPECT_EQ(w.s.clustersEditText + "," + std::to_string(w.s.clustersNb), "1,1");
    EXPECT_EQ(w.s.picturesEditText + "," + std::to_string(w.s.picturesPerRow), "9,9");
    EXPECT_FALSE(w.form.enabled(Command::Next) || w.form.enabled(Command::ReadData2));
    EXPECT_EQ(w.s.treeTexts.categoryCaptions, "Y2, Y1, Y3");

    ScriptedUi small;
    small.screen = {1280, 1024};
    Program program{small, w.dir.path()};
    TForm1{program}.FormCreate();
    EXPECT_EQ(small.messages,
              std::vector<std::string>{
                  "Zortan.\r\nThe interface of the program was preparead for the 1680x1050 "
                  "screen resolution!\r\nYour screen parameters are: 1280x1024.\r\nTry to change "
                  "your graphic card parameters to these values"});
}

TEST(MainWindow, CompareModeAndReverseCheckingSwitchTheOutputChoices) {
    Window w;
    w.s.outputRecogCodes = true;
    w.form.setToggle(Toggle::CompareMode, true);
    EXPECT_EQ(w.ui.messages.back(), "For the comparing mode no teaching file will be created.");
    for (Toggle t : {Toggle::OutputTeachCombined, Toggle::OutputRecogCodes})
        EXPECT_FALSE(w.form.toggleValue(t) || w.form.enabled(t));
    EXPECT_FALSE(w.form.enabled(Command::ReverseTeach));
    w.form.setToggle(Toggle::OutputTeachCodes, true);  // a disabled box does nothing
    EXPECT_FALSE(w.s.outputTeachCodes);
    w.form.setToggle(Toggle::CompareMode, false);
    EXPECT_TRUE(w.s.outputTeachCombined && !w.s.outputRecogCodes);
    EXPECT_TRUE(w.form.enabled(Toggle::OutputRecogCodes) && w.form.enabled(Command::ReverseRecog));

    // Reversing twice restores the group; the other group is untouched.
    w.s.outputTeachCath2 = true;
    w.form.click(Command::ReverseTeach);
    EXPECT_TRUE(!w.s.outputTeachCombined && w.s.outputTeachCodes && !w.s.outputTeachCath2);
    EXPECT_FALSE(w.s.outputRecogCombined);
    w.form.click(Command::ReverseTeach);
    EXPECT_TRUE(w.s.outputTeachCombined && !w.s.outputTeachCodes && w.s.outputTeachCath2);

    w.form.click(Command::Options);  // toggles the output files group
    EXPECT_FALSE(w.s.controls.outputFilesVisible || w.form.enabled(Command::OutputsOk));
    w.form.click(Command::Options);
    w.form.click(Command::OutputsOk);
    EXPECT_TRUE(!w.s.controls.outputFilesVisible && w.s.controls.treeDataVisible);
    EXPECT_EQ(w.s.focus, Focus::ReadTree);
}

// The commands table: each command's state at start and, for those that act
// on the window alone, its effect; a disabled command does nothing. The run
// commands are enabled as a run enables them.
TEST(MainWindow, TheCommandsTable) {
    struct Row {
        Command command;
        bool atStart;
        std::function<std::string(const ShellState&)> effect;  // what it changed, in words
    };
    const auto flags = [](const ShellState& s) {
        return std::string(s.waiting ? "waiting " : "") + (s.breakRequested ? "break " : "") +
               (s.hibernateOnFinish ? "hibernate " : "") + s.stopContinueCaption;
    };
    const std::vector<Row> rows = {
        {Command::ReadTree, true, nullptr},
        {Command::ReadData1, true, nullptr},
        {Command::ReadData2, false, nullptr},
        {Command::ReadTreeAndData, true, nullptr},
        {Command::Halt, true, nullptr},
        {Command::StopContinue, false, flags},
        {Command::Break, false, flags},
        {Command::Next, false, flags},
        {Command::About, true,
         [](const ShellState& s) { return s.controls.aboutVisible ? "about" : ""; }},
        {Command::Options, true,
         [](const ShellState& s) { return s.controls.outputFilesVisible ? "outputs" : ""; }},
        {Command::OutputsOk, true,
         [](const ShellState& s) {
             return std::string(s.controls.outputFilesVisible ? "outputs " : "") +
                    (s.controls.treeDataVisible ? "tree " : "") +
                    (s.controls.inputDescriptionVisible ? "input" : "");
         }},
        {Command::ReverseTeach, true,
         [](const ShellState& s) { return s.outputTeachCombined ? "combined" : "codes"; }},
        {Command::ReverseRecog, true,
         [](const ShellState& s) { return s.outputRecogCombined ? "combined" : "codes"; }},
    };
    const std::map<Command, std::string> effects = {
        {Command::StopContinue, "waiting hibernate Continue"},
        {Command::Break, "waiting break Stop"},
        {Command::Next, "hibernate Stop"},
        {Command::About, "about"},
        {Command::Options, ""},
        {Command::OutputsOk, "tree input"},
        {Command::ReverseTeach, "codes"},
        {Command::ReverseRecog, "combined"},
    };
    for (const Row& row : rows) {
        Window w;
        SCOPED_TRACE(static_cast<int>(row.command));
        EXPECT_EQ(w.form.enabled(row.command), row.atStart);
        if (!row.effect) continue;
        const std::string before = row.effect(w.s);
        if (!row.atStart) {
            w.form.click(row.command);  // disabled: nothing changes
            EXPECT_EQ(row.effect(w.s), before);
            w.s.controls.stopContinueEnabled = w.s.controls.breakEnabled = w.s.nextEnabled = true;
            w.s.hibernateOnFinish = w.s.waiting = true;
            // A free run: Stop/Continue pauses it.
            if (row.command == Command::StopContinue) w.s.waiting = w.s.stepwiseProceeding = false;
        }
        w.form.click(row.command);
        EXPECT_EQ(row.effect(w.s), effects.at(row.command));
    }
}

}  // namespace
}  // namespace zortan
