// Runs stopped by "Break" (answered Yes) or "Halt!" at every point where the
// window can take a click: each output must hold exactly the events coded
// so far, as a whole run writes them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "robustness/ReferenceRun.h"

namespace zortan {
namespace {

namespace fs = std::filesystem;
using testing::RunSession;

constexpr int kEvents = 6;

// The window takes clicks only where it processes its pending events; the
// user acts at the `at`-th time it does during "Read data_1".
TEST(InterruptedRun, BreakAnsweredYesAtAnyPointLeavesEveryOutputComplete) {
    for (bool fvs : {false, true}) {
        int calls = 0;
        for (int at = 0;; ++at) {
            SCOPED_TRACE((fvs ? "fvs, click " : "text, click ") + std::to_string(at));
            RunSession s(fvs);
            int seen = 0;
            s.ui.user = [&] {
                if (++seen == at) s.window.click(Command::Break);
                if (s.p.shell.waiting) s.window.click(Command::Next);
            };
            s.ui.answers = {s.input, "yes"};
            s.window.click(Command::ReadData1);
            if (at == 0) {  // run 0 only counts the points
                calls = seen;
                continue;
            }
            if (at > calls) break;
            // A Break before the run starts has no button to take it: the
            // question is not asked and the run codes every event.
            const bool asked = s.ui.answers.empty();
            EXPECT_TRUE(asked || s.p.run.stepCounter == kEvents);
            EXPECT_TRUE(s.ui.errors.empty());
            EXPECT_TRUE(s.p.run.runFinished);
            EXPECT_EQ(s.p.shell.statusCaption, "Program Finished!");
            s.expectCompleteUpTo(s.p.run.stepCounter, true);
        }
        EXPECT_GT(calls, kEvents);
    }
}

TEST(InterruptedRun, HaltAtAnyPointClosesEveryOutputCompleteAndEndsTheProgram) {
    for (bool fvs : {false, true}) {
        int calls = 0;
        for (int at = 0;; ++at) {
            SCOPED_TRACE((fvs ? "fvs, click " : "text, click ") + std::to_string(at));
            RunSession s(fvs);
            int seen = 0;
            s.ui.user = [&] {
                if (++seen == at) s.window.click(Command::Halt);
                if (s.p.shell.waiting) s.window.click(Command::Next);
            };
            const bool ended = !s.readData1(s.input);
            if (at == 0) {  // run 0 only counts the points
                calls = seen;
                continue;
            }
            if (at > calls) break;
            ASSERT_TRUE(ended);
            EXPECT_EQ(s.exitStatus, 0);
            EXPECT_TRUE(s.ui.errors.empty());
            EXPECT_EQ(s.p.shell.statusCaption,
                      "Program Canceled!; find results in " + s.p.options.teachFileName);
            if (!fs::exists(s.dir.file("ev_Teach.zrt"))) {
                // Halted before the run opened its outputs: nothing is listed.
                EXPECT_TRUE(s.ui.messages.empty());
                continue;
            }
            s.expectCompleteUpTo(s.p.run.stepCounter, false);
            const std::string& finish = s.ui.messages.back();
            EXPECT_TRUE(finish.starts_with("Program finished\r\nFind results in:\r\n\"" +
                                           s.dir.file("ev_Teach.zrt")))
                << finish;
        }
        EXPECT_GT(calls, kEvents);
    }
}

}  // namespace
}  // namespace zortan
