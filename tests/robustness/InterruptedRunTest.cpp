// Runs stopped by "Break" (answered Yes) or "Halt!" at every point where the
// window can take a click: each output must hold exactly the events coded
// so far, as a whole run writes them.
#include <gtest/gtest.h>

#include "support/Session.h"

namespace zortan {
namespace {

// The window takes clicks only where it processes its pending events; the
// user acts at the `at`-th time it does during "Read data_1". Run 0 only
// counts those points.
TEST(InterruptedRun, BreakOrHaltAtAnyPointLeavesEveryOutputComplete) {
    for (Command stop : {Command::Break, Command::Halt})
        for (bool fvs : {false, true})
            for (int at = 0, points = 0; at <= points; ++at) {
                SCOPED_TRACE(std::to_string(int(stop)) + (fvs ? " fvs " : " text ") +
                             std::to_string(at));
                testing::RunSession s(fvs);
                int seen = 0;
                s.ui.user = [&] {
                    if (++seen == at) s.window.click(stop);
                    if (s.p.shell.waiting) s.window.click(Command::Next);
                };
                const bool ended = !s.click(Command::ReadData1, {s.input, "yes"});
                if (at == 0) {
                    points = seen;
                    EXPECT_GT(points, s.events);
                    continue;
                }
                EXPECT_TRUE(s.ui.errors.empty());
                const int64_t coded = s.p.run.stepCounter;
                if (stop == Command::Break) {
                    // A Break before the run starts has no button to take it:
                    // the question is not asked and every event is coded.
                    EXPECT_TRUE(s.ui.answers.empty() || coded == s.events);
                    EXPECT_FALSE(ended);
                    EXPECT_EQ(s.p.shell.statusCaption, "Program Finished!");
                    EXPECT_EQ(testing::referenceMismatch(s.dir.path(), coded, true), "");
                    continue;
                }
                ASSERT_TRUE(ended);
                EXPECT_EQ(s.exitStatus, 0);
                EXPECT_EQ(s.p.shell.statusCaption,
                          "Program Canceled!; find results in " + s.p.options.teachFileName);
                // Halted before the run opened its outputs, nothing is listed;
                // whether the report came before a later halt is left open.
                if (!std::filesystem::exists(s.dir.file("ev_Teach.zrt"))) {
                    EXPECT_TRUE(s.ui.messages.empty());
                    continue;
                }
                EXPECT_EQ(testing::referenceMismatch(s.dir.path(), coded, std::nullopt), "");
                EXPECT_TRUE(s.ui.messages.back().starts_with(
                    "Program finished\r\nFind results in:\r\n\"" + s.dir.file("ev_Teach.zrt")));
            }
}

}  // namespace
}  // namespace zortan
