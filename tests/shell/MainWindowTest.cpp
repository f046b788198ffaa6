#include "shell/MainWindow.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/Session.h"

namespace zortan {
namespace {

using testing::Session;

TEST(MainWindow, StartUpClampsTheClustersAndFitsNinePictures) {
    Session w;
    EXPECT_TRUE(w.ui.messages.empty());
    const ShellState& s = w.p.shell;
    EXPECT_EQ(s.clustersEditText + "," + std::to_string(s.clustersNb), "1,1");
    EXPECT_EQ(s.picturesEditText + "," + std::to_string(s.picturesPerRow), "9,9");
    EXPECT_EQ(s.treeTexts.categoryCaptions, "Y2, Y1, Y3");
    EXPECT_EQ(s.focus, Focus::ReadTree);

    testing::ScriptedUi small;
    small.screen = {1280, 1024};
    Program program{small, w.dir.path()};
    TForm1{program}.FormCreate();
    EXPECT_EQ(small.messages,
              std::vector<std::string>{
                  "Zortan.\r\nThe interface of the program was preparead for the 1680x1050 "
                  "screen resolution!\r\nYour screen parameters are: 1280x1024.\r\nTry to change "
                  "your graphic card parameters to these values"});
}

// The commands, in the order of Command, enabled ('1') or not in each
// situation the window passes through.
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
    const std::vector<std::pair<const char*, std::function<void(Session&)>>> situations = {
        {"start", [](Session&) {}},
        {"output files hidden", [](Session& s) { s.click(Command::Options); }},
        {"compare mode", compare},
        {"a tree read", [](Session& s) { s.readTree(); }},
        {"compare mode, data_1 read",
         [&](Session& s) {
             compare(s);
             run(s);
         }},
        {"a run waiting for Next",
         [&](Session& s) {
             s.ui.user = [&s, enabled] {
                 if (s.p.shell.waiting) s.ui.log.push_back("running: " + enabled(s));
                 s.window.click(Command::Next);
             };
             run(s);
             s.ui.user = nullptr;
         }},
        {"a run finished", run},
        {"a run finished, the tree read again",
         [&](Session& s) {
             run(s);
             s.readTree();
         }},
        {"a compare run finished",
         [&](Session& s) {
             compare(s);
             run(s);
             s.readData2(s.fvs("ev2.fvs", testing::referenceEvents(2)));
         }},
    };
    //                     ReadTree, ReadData1, ReadData2, ReadTreeAndData, Halt, StopContinue,
    //                     Break, Next, About, Options, OutputsOk, ReverseTeach, ReverseRecog
    const std::vector<std::string> want = {"1101100011111", "1101100011000", "1101100011100",
                                           "1101100011111", "1011100011100", "0000111111000",
                                           "1000100011000", "1100100011000", "1001100011000"};
    for (size_t i = 0; i < situations.size(); ++i) {
        SCOPED_TRACE(situations[i].first);
        Session s;
        situations[i].second(s);
        const auto running = std::find_if(s.ui.log.begin(), s.ui.log.end(),
                                          [](auto& l) { return l.starts_with("running: "); });
        EXPECT_EQ(running == s.ui.log.end() ? enabled(s) : running->substr(9), want[i]);
    }
}

// What each command does, in words of what it changed. A disabled command
// does nothing; the run commands are enabled as a run enables them. (The
// reading commands with a tree: see the coding driver's tests.)
TEST(MainWindow, WhatEachCommandDoes) {
    using Effect = std::function<std::string(const Session&)>;
    const Effect flags = [](const Session& w) {
        const ShellState& s = w.p.shell;
        return std::string(s.waiting ? "waiting " : "") + (s.breakRequested ? "break " : "") +
               (s.hibernateOnFinish ? "hibernate " : "") + s.stopContinueCaption;
    };
    const Effect shown = [](const Session& w) {
        const WindowControls& c = w.p.shell.controls;
        std::string text = c.aboutVisible ? "about " : "";
        if (c.outputFilesVisible) text += "outputs ";
        if (c.treeDataVisible) text += "tree ";
        if (c.inputDescriptionVisible) text += "input ";
        const char* focus[] = {"ReadTree", "ReadData1", "ReadData2", "Next", "Other"};
        text += std::string("focus ") + focus[static_cast<int>(w.p.shell.focus)];
        for (const std::string& m : w.ui.messages) text += " | " + m;
        return text + (w.exitStatus >= 0 ? " | ended " + std::to_string(w.exitStatus) : "");
    };
    const Effect outputs = [](const Session& w) {
        const ShellState& s = w.p.shell;
        std::string on;
        for (bool b :
             {s.outputTeachCombined, s.outputTeachCodes, s.outputTeachCath1, s.outputTeachCath2,
              s.outputTeachCath3, s.outputRecogCombined, s.outputRecogCodes, s.outputRecogCath1,
              s.outputRecogCath2, s.outputRecogCath3})
            on += b ? '1' : '0';
        return on;
    };
    struct Row {
        Command command;
        Effect effect;
        std::string want;
        bool runEnables = false;  // disabled at start, enabled as in a run
    };
    const std::string notSaved =
        " | Program finished.\r\nDue to your choice teach results were not saved... | Program "
        "finished.\r\nDue to your choice recognition results were not saved... | ended 0";
    const std::vector<Row> rows = {
        {Command::ReadTree, shown,
         "outputs tree focus ReadData1 | Error in file name, (.vq*) correct it or choose from list "
         "(you shold rather look for it in the \"...\\TRB\\Results\"\r\n(these data will be read "
         "only, they will be not modified, so you can point anything)"},
        {Command::ReadData1, shown, "outputs input focus ReadTree | Read tree first!"},
        {Command::Halt, shown, "outputs focus Other" + notSaved},
        {Command::StopContinue, flags, "waiting hibernate Continue", true},
        {Command::Break, flags, "waiting break Stop", true},
        {Command::Next, flags, "hibernate Stop", true},
        {Command::About, shown, "about outputs focus Other"},
        {Command::Options, shown, "focus Other"},
        {Command::OutputsOk, shown, "tree input focus ReadTree"},
        {Command::ReverseTeach, outputs, "0111100000"},
        {Command::ReverseRecog, outputs, "1000011111"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.command));
        Session w;
        w.p.shell.focus = Focus::Other;
        w.ui.answers = {"", w.tree()};  // the dialog cancelled first: asked again
        if (row.runEnables) {
            const std::string before = row.effect(w);
            w.click(row.command);
            EXPECT_EQ(row.effect(w), before);
            ShellState& s = w.p.shell;
            s.controls.stopContinueEnabled = s.controls.breakEnabled = s.nextEnabled = true;
            s.hibernateOnFinish = s.waiting = true;
            // A free run: Stop/Continue pauses it.
            if (row.command == Command::StopContinue) s.waiting = s.stepwiseProceeding = false;
        }
        w.click(row.command);
        EXPECT_EQ(row.effect(w), row.want);
    }
}

TEST(MainWindow, CompareModeSwitchesTheOutputChoices) {
    Session w;
    w.p.shell.outputRecogCodes = true;
    w.window.setToggle(Toggle::CompareMode, true);
    EXPECT_EQ(w.ui.messages.back(), "For the comparing mode no teaching file will be created.");
    for (Toggle t : {Toggle::OutputTeachCombined, Toggle::OutputRecogCodes})
        EXPECT_FALSE(w.window.toggleValue(t) || w.window.enabled(t));
    w.window.setToggle(Toggle::OutputTeachCodes, true);  // a disabled box does nothing
    EXPECT_FALSE(w.p.shell.outputTeachCodes);
    w.window.setToggle(Toggle::CompareMode, false);
    EXPECT_TRUE(w.p.shell.outputTeachCombined && !w.p.shell.outputRecogCodes);
    EXPECT_TRUE(w.window.enabled(Toggle::OutputRecogCodes));
}

}  // namespace
}  // namespace zortan
