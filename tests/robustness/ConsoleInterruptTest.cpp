// Signals and the end of input in the console during a run: SIGINT once is
// "Break" (answered Yes), twice "Halt!"; SIGTERM and SIGHUP are "Halt!"; the
// end of input closes the outputs without the closing messages. Every time
// every output holds exactly the events coded before, checked against the
// input by an independent reader.
#include <gtest/gtest.h>

#include "support/ConsoleProcess.h"

namespace zortan {
namespace {

using testing::ConsoleProcess;

constexpr int64_t kEvents = 400000;

TEST(ConsoleInterrupt, SigintBreaksOnceAndHaltsTwiceWithEveryOutputWhole) {
    for (bool halt : {false, true}) {
        SCOPED_TRACE(halt ? "twice" : "once");
        ConsoleProcess c;
        ASSERT_TRUE(c.startReferenceRun(kEvents));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        c.interrupt();
        ASSERT_TRUE(c.waitFor("[question Yes/No] Breaks program!\nBreak coding?\n[end]\n"));
        if (halt)
            c.interrupt();
        else
            c.send("yes\n");
        ASSERT_TRUE(c.waitFor(halt ? "Program Canceled!" : "Program Finished!"));
        EXPECT_EQ(c.finish(), 0);
        const std::string out = c.output();
        EXPECT_EQ(out.find("[error]"), std::string::npos);
        // Both list their outputs; the halted run writes no report.
        EXPECT_NE(out.find("[message]\nProgram finished\nFind results in:\n\"" +
                           c.dir.file("ev_Teach.zrt")),
                  std::string::npos);
        const auto coded =
            static_cast<int64_t>(testing::readCombinedFile(c.bytes("ev_Teach.zrt")).records.size());
        ASSERT_GT(coded, 0);
        EXPECT_LT(coded, kEvents) << "the run ended before the interrupt";
        EXPECT_EQ(testing::referenceMismatch(c.dir.path(), coded, !halt), "");
    }
}

TEST(ConsoleInterrupt, SigtermSighupAndEndOfInputKeepEveryEventCoded) {
    for (const int signal : {SIGTERM, SIGHUP, 0}) {
        SCOPED_TRACE(signal);
        ConsoleProcess c;
        // Without a signal, the script ends while a stepwise run waits.
        ASSERT_TRUE(c.startReferenceRun(kEvents, signal == 0));
        if (signal != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            kill(c.pid(), signal);
            ASSERT_TRUE(c.waitFor("Program Canceled!"));
        } else {
            c.send("next\nnext\n");
        }
        EXPECT_EQ(c.finish(), 0);
        const std::string out = c.output();
        EXPECT_EQ(out.find("[error]"), std::string::npos);
        EXPECT_EQ(out.find("Program finished\nFind results in:") != std::string::npos, signal != 0);
        const auto coded =
            static_cast<int64_t>(testing::readCombinedFile(c.bytes("ev_Teach.zrt")).records.size());
        ASSERT_GT(coded, 0);
        EXPECT_LT(coded, kEvents) << "the run ended before the signal";
        EXPECT_EQ(testing::referenceMismatch(c.dir.path(), coded, false), "");
    }
}

}  // namespace
}  // namespace zortan
