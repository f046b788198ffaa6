#include "window/MainWindow.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/DataText.h"
#include "support/Session.h"

namespace zortan {
namespace {

using testing::Session;

// Start-up clamps the clusters to the 1 of no tree, fits nine pictures, and
// on another screen than the one it was made for says so; compare mode then
// switches the output choices.
TEST(MainWindow, StartUpAndCompareMode) {
    Session w;
    const ShellState& s = w.p.shell;
    EXPECT_EQ(s.clustersEditText + s.actualClustersLabel + s.picturesEditText +
                  std::to_string(s.picturesPerRow) + ", " + s.treeTexts.categoryCaptions,
              "1199, Y2, Y1, Y3");
    EXPECT_TRUE(w.ui.messages.empty() && s.focus == Focus::ReadTree);
    testing::ScriptedUi small;
    small.screen = {1280, 1024};
    Program program{small, w.dir.path()};
    TForm1{program}.FormCreate();
    ASSERT_EQ(small.messages.size(), 1u);
    EXPECT_NE(small.messages[0].find("for the 1680x1050 screen resolution!\r\nYour screen "
                                     "parameters are: 1280x1024.\r\n"),
              std::string::npos);
    w.p.shell.outputRecogCodes = true;
    w.window.setToggle(Toggle::CompareMode, true);
    for (Toggle t : {Toggle::OutputTeachCombined, Toggle::OutputRecogCodes})
        EXPECT_FALSE(w.window.toggleValue(t) || w.window.enabled(t));
    w.window.setToggle(Toggle::OutputTeachCodes, true);  // a disabled box does nothing
    EXPECT_FALSE(w.p.shell.outputTeachCodes);
    w.window.setToggle(Toggle::CompareMode, false);
    EXPECT_TRUE(w.p.shell.outputTeachCombined && !w.p.shell.outputRecogCodes);
    EXPECT_TRUE(w.window.enabled(Toggle::OutputRecogCodes));
}

// Each command enabled ('1') or not in each situation the window passes through.
TEST(MainWindow, EnabledCommandsInEverySituation) {
    const auto enabled = [](const Session& s) {
        std::string e;
        for (int c = 0; c <= static_cast<int>(Command::ReverseRecog); ++c)
            e += s.window.enabled(static_cast<Command>(c)) ? '1' : '0';
        return e;
    };
    const auto compare = [](Session& s) { s.window.setToggle(Toggle::CompareMode, true); };
    const auto run = [](Session& s) {
        s.readTree();
        s.readData1(s.fvs("ev.fvs", testing::referenceEvents(2)));
    };
    // Enabled: ReadTree, ReadData1, ReadData2, ReadTreeAndData, Halt, StopContinue,
    // Break, Next, About, Options, OutputsOk, ReverseTeach, ReverseRecog.
    const struct {
        const char* what;
        std::string enabled;
        std::function<void(Session&)> act;
    } situations[] = {
        {"start", "1101100011111", [](Session&) {}},
        {"output files hidden", "1101100011000", [](Session& s) { s.click(Command::Options); }},
        {"compare mode", "1101100011100", compare},
        {"a tree read", "1101100011111", [](Session& s) { s.readTree(); }},
        {"compare mode, data_1 read", "1011100011100", [&](Session& s) { compare(s), run(s); }},
        {"a run waiting for Next", "0000111111000",
         [&](Session& s) {
             s.ui.user = [&s, enabled] {
                 if (s.p.shell.waiting) s.ui.log.push_back("running: " + enabled(s));
                 s.window.click(Command::Next);
             };
             run(s);
             s.ui.user = nullptr;
         }},
        {"a run finished", "1000100011000", run},
        {"a compare run finished", "1001100011000",
         [&](Session& s) {
             compare(s), run(s);
             s.readData2(s.fvs("ev2.fvs", testing::referenceEvents(2)));
         }},
    };
    for (const auto& situation : situations) {
        SCOPED_TRACE(situation.what);
        Session s;
        situation.act(s);
        const auto running = std::find_if(s.ui.log.begin(), s.ui.log.end(),
                                          [](auto& l) { return l.starts_with("running: "); });
        EXPECT_EQ(running == s.ui.log.end() ? enabled(s) : running->substr(9), situation.enabled);
    }
}

// What each command does to the regions, focus, run flags, Stop/Continue
// caption, output choices and messages. A disabled command does nothing; run
// commands are enabled as a stepwise (1) or free (2) run enables them.
TEST(MainWindow, WhatEachCommandDoes) {
    const auto describe = [](const Session& w) {
        const ShellState& s = w.p.shell;
        const WindowControls& c = s.controls;
        std::string text =
            std::string(c.aboutVisible ? "about " : "") + (c.outputFilesVisible ? "outputs " : "") +
            (c.treeDataVisible ? "tree " : "") + (c.inputDescriptionVisible ? "input " : "") +
            "focus " + std::to_string(static_cast<int>(s.focus)) + (s.waiting ? " waiting" : "") +
            (s.breakRequested ? " break" : "") + (s.hibernateOnFinish ? " hibernate" : "") + " " +
            s.stopContinueCaption;
        for (const OutputChoice& o : kOutputChoices) text += s.*o.chosen ? '1' : '0';
        for (const std::string& m : w.ui.messages) text += " | " + m.substr(0, 40);
        return text + (w.exitStatus >= 0 ? " | ended " + std::to_string(w.exitStatus) : "");
    };
    // Each command by its number, its run, then what it did (focus 0 is "Read
    // tree", 4 any other control) are in the file.
    const std::pair<Command, int> rows[] = {
        {Command::ReadData1, 0},    {Command::Halt, 0},        {Command::StopContinue, 2},
        {Command::StopContinue, 1}, {Command::Break, 1},       {Command::Next, 1},
        {Command::About, 0},        {Command::Options, 0},     {Command::OutputsOk, 0},
        {Command::ReverseTeach, 0}, {Command::ReverseRecog, 0}};
    std::string shown;
    for (const auto& [command, run] : rows) {
        SCOPED_TRACE(static_cast<int>(command));
        Session w;
        ShellState& s = w.p.shell;
        s.focus = Focus::Other;
        if (run > 0) {
            const std::string before = describe(w);
            w.click(command);
            EXPECT_EQ(describe(w), before);
            s.controls.stopContinueEnabled = s.controls.breakEnabled = s.nextEnabled = true;
            s.hibernateOnFinish = s.waiting = true;
            if (run == 2) s.waiting = s.stepwiseProceeding = false;
        }
        w.click(command);
        shown += std::to_string(static_cast<int>(command)) + " " + std::to_string(run) + ": " +
                 describe(w) + "\n";
    }
    EXPECT_EQ(shown, testing::dataText("window-commands.txt"));
}

}  // namespace
}  // namespace zortan
