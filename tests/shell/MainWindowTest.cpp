#include "shell/MainWindow.h"

#include <gtest/gtest.h>

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
};

TEST(MainWindow, StartUpClampsTheClustersAndFitsNinePictures) {
    Window w;
    w.form.FormCreate();
    EXPECT_TRUE(w.ui.messages.empty());
    EXPECT_EQ(w.s.clustersEditText, "1");
    EXPECT_EQ(w.s.clustersNb, 1);
    EXPECT_EQ(w.s.picturesPerRow, 9);
    EXPECT_EQ(w.s.picturesEditText, "9");
    EXPECT_FALSE(w.form.enabled(Command::Next));
    EXPECT_FALSE(w.form.enabled(Command::ReadData2));
    EXPECT_EQ(w.s.treeTexts.categoryCaptions, "Y2, Y1, Y3");

    Window small;
    small.ui.screen = {1280, 1024};
    small.form.FormCreate();
    ASSERT_EQ(small.ui.messages.size(), 1u);
    EXPECT_EQ(small.ui.messages[0],
              "Zortan.\r\nThe interface of the program was preparead for the 1680x1050 screen "
              "resolution!\r\nYour screen parameters are: 1280x1024.\r\nTry to change your "
              "graphic card parameters to these values");
}

TEST(MainWindow, CompareModeSwitchesTheOutputChoices) {
    Window w;
    w.form.FormCreate();
    w.s.outputRecogCodes = true;
    w.form.setToggle(Toggle::CompareMode, true);
    EXPECT_EQ(w.ui.messages.back(), "For the comparing mode no teaching file will be created.");
    for (Toggle t : {Toggle::OutputTeachCombined, Toggle::OutputRecogCodes}) {
        EXPECT_FALSE(w.form.toggleValue(t));
        EXPECT_FALSE(w.form.enabled(t));
    }
    EXPECT_FALSE(w.form.enabled(Command::ReverseTeach));
    w.form.setToggle(Toggle::OutputTeachCodes, true);  // a disabled box does nothing
    EXPECT_FALSE(w.s.outputTeachCodes);

    w.form.setToggle(Toggle::CompareMode, false);
    EXPECT_TRUE(w.s.outputTeachCombined);
    EXPECT_FALSE(w.s.outputRecogCodes);
    EXPECT_TRUE(w.form.enabled(Toggle::OutputRecogCodes));
    EXPECT_TRUE(w.form.enabled(Command::ReverseRecog));
}

TEST(MainWindow, ReverseCheckingTwiceRestoresAndOptionsToggleTheGroup) {
    Window w;
    w.form.FormCreate();
    w.s.outputTeachCath2 = true;
    w.form.click(Command::ReverseTeach);
    EXPECT_FALSE(w.s.outputTeachCombined);
    EXPECT_TRUE(w.s.outputTeachCodes);
    EXPECT_FALSE(w.s.outputTeachCath2);
    EXPECT_FALSE(w.s.outputRecogCombined);  // the other group is untouched
    w.form.click(Command::ReverseTeach);
    EXPECT_TRUE(w.s.outputTeachCombined);
    EXPECT_FALSE(w.s.outputTeachCodes);
    EXPECT_TRUE(w.s.outputTeachCath2);

    w.form.click(Command::Options);
    EXPECT_FALSE(w.s.controls.outputFilesVisible);
    EXPECT_FALSE(w.form.enabled(Command::OutputsOk));
    w.form.click(Command::Options);
    w.form.click(Command::OutputsOk);
    EXPECT_FALSE(w.s.controls.outputFilesVisible);
    EXPECT_TRUE(w.s.controls.treeDataVisible);
    EXPECT_EQ(w.s.focus, Focus::ReadTree);
}

TEST(MainWindow, ReadDataWithoutTreeAndHaltBeforeAnyRun) {
    Window w;
    w.form.FormCreate();
    w.form.click(Command::ReadData1);
    EXPECT_EQ(w.ui.messages.back(), "Read tree first!");
    EXPECT_EQ(w.s.focus, Focus::ReadTree);
    EXPECT_EQ(w.program.eventNbr, INT64_MAX);
    EXPECT_FALSE(w.form.enabled(Command::ReadTreeAndData));

    try {
        w.form.click(Command::Halt);
        FAIL() << "Halt! did not end the program";
    } catch (const ProgramEnd& end) {
        EXPECT_EQ(end.exitStatus, 0);
    }
    EXPECT_EQ(w.s.statusCaption,
              "Program Canceled!; find results in C:\\wkd\\Zortan\\Results\\_Teach.zrt");
    ASSERT_GE(w.ui.messages.size(), 2u);
    EXPECT_EQ(w.ui.messages[w.ui.messages.size() - 2],
              "Program finished.\r\nDue to your choice teach results were not saved...");
    EXPECT_EQ(w.ui.messages.back(),
              "Program finished.\r\nDue to your choice recognition results were not saved...");
}

TEST(MainWindow, PlatformErrorsAreShownAndTheWindowStaysUsable) {
    Window w;
    w.form.FormCreate();
    // Stretching before a tree: consideredComponentsNb does not fit.
    w.form.setToggle(Toggle::StretchCepstra, true);
    EXPECT_EQ(w.ui.errors, std::vector<std::string>{"Range check error"});
    w.form.typeClusters("12a");
    EXPECT_EQ(w.ui.messages.back(), "Not a numeric format!");
    // A tree file that cannot be opened.
    w.ui.answers = {w.dir.write("t.vq", "date\r\n0 teaching C:\\a.fvs\r\nx\r\n")};
    w.form.click(Command::ReadTree);
    EXPECT_EQ(w.ui.errors.back(), "Invalid numeric input");
    EXPECT_FALSE(w.s.treeRead);
    EXPECT_TRUE(w.form.enabled(Command::ReadTree));
}

}  // namespace
}  // namespace zortan
