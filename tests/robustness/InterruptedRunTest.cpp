// Runs interrupted at the window and in the console: every output holds
// exactly the events coded so far, as a whole run writes them. And the soak.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "support/ConsoleProcess.h"

namespace zortan {
namespace {

using namespace zortan::testing;

// The user acts at the `at`-th point the window takes clicks during "Read
// data_1"; run 0 only counts those points.
TEST(InterruptedRun, BreakOrHaltAtAnyPointLeavesEveryOutputComplete) {
    for (Command stop : {Command::Break, Command::Halt})
        for (bool fvs : {false, true})
            for (int at = 0, points = 0; at <= points; ++at) {
                SCOPED_TRACE(std::to_string(int(stop)) + (fvs ? " fvs " : " text ") +
                             std::to_string(at));
                RunSession s(fvs);
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
                    // Before the run starts no button takes it: all is coded.
                    EXPECT_TRUE(s.ui.answers.empty() || coded == s.events);
                    EXPECT_FALSE(ended);
                    EXPECT_EQ(s.p.shell.statusCaption, "Program Finished!");
                    EXPECT_EQ(referenceMismatch(s.dir.path(), coded, true), "");
                    continue;
                }
                ASSERT_TRUE(ended);
                EXPECT_EQ(s.exitStatus, 0);
                EXPECT_EQ(s.p.shell.statusCaption,
                          "Program Canceled!; find results in " + s.p.options.teachFileName);
                // Halted before the outputs opened, nothing is listed; the
                // report may or may not have come before a later halt.
                if (!std::filesystem::exists(s.dir.file("ev_Teach.zrt"))) {
                    EXPECT_TRUE(s.ui.messages.empty());
                    continue;
                }
                EXPECT_EQ(referenceMismatch(s.dir.path(), coded, std::nullopt), "");
                EXPECT_TRUE(s.ui.messages.back().starts_with(
                    "Program finished\r\nFind results in:\r\n\"" + s.dir.file("ev_Teach.zrt")));
                // Halt! writes no error table, and the message says so.
                EXPECT_TRUE(s.ui.messages.back().ends_with(
                    "(which holds no error table: the run was halted before its end)"))
                    << s.ui.messages.back();
            }
}

// SIGINT once is "Break" (answered Yes), twice "Halt!", as SIGTERM and
// SIGHUP are; the end of input (0) closes the outputs without messages.
TEST(ConsoleInterrupt, SignalsAndEndOfInputKeepEveryEventCoded) {
    constexpr int64_t kEvents = 400000;
    for (const auto& [signal, twice] :
         {std::pair{SIGINT, false}, std::pair{SIGINT, true}, std::pair{SIGTERM, false},
          std::pair{SIGHUP, false}, std::pair{0, false}}) {
        SCOPED_TRACE(std::to_string(signal) + (twice ? " twice" : ""));
        ConsoleProcess c;
        ASSERT_TRUE(c.startReferenceRun(kEvents, signal == 0));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        signal ? c.signal(signal) : c.send("next\nnext\n");
        if (signal == SIGINT) {
            ASSERT_TRUE(c.waitFor("[question Yes/No] Breaks program!\nBreak coding?\n[end]\n"));
            twice ? c.signal(SIGINT) : c.send("yes\n");
        }
        const bool broken = signal == SIGINT && !twice;
        ASSERT_TRUE(!signal || c.waitFor(broken ? "Program Finished!" : "Program Canceled!"));
        EXPECT_EQ(c.finish(), 0);
        const std::string out = c.output();
        EXPECT_EQ(out.find("[error]"), std::string::npos);
        // Only the end of input lists no outputs; only a broken run writes its report.
        EXPECT_EQ(out.find("[message]\nProgram finished\nFind results in:\n\"" +
                           c.dir.file("ev_Teach.zrt")) != std::string::npos,
                  signal != 0);
        EXPECT_EQ(out.find("(which holds no error table: the run was halted before its end)") !=
                      std::string::npos,
                  signal != 0 && !broken);
        const auto coded = static_cast<int64_t>(c.records("ev_Teach.zrt").size());
        ASSERT_GT(coded, 0);
        EXPECT_LT(coded, kEvents) << "the run ended before the interrupt";
        EXPECT_EQ(referenceMismatch(c.dir.path(), coded, broken), "");
    }
}

// A million events, every output on (when ZORTAN_SOAK=1): all are kept, and
// from a tenth of the run on memory grows by less than a byte per event.
TEST(Soak, MillionEventsWithEveryOutputOnKeepMemoryFlatAndLoseNothing) {
    if (const char* soak = std::getenv("ZORTAN_SOAK"); !soak || std::string(soak) != "1")
        GTEST_SKIP() << "make soak runs it";
    // AddressSanitizer's quarantine of freed memory would look like growth.
    const char* asan = std::getenv("ASAN_OPTIONS");
    setenv(
        "ASAN_OPTIONS",
        (std::string(asan ? asan : "") + ":quarantine_size_mb=1:thread_local_quarantine_size_kb=64")
            .c_str(),
        1);
    ConsoleProcess c;
    ASSERT_TRUE(c.startReferenceRun(1'000'000));
    std::vector<long> kb;  // resident, every 20 ms
    for (std::string line; !c.waitFor("Program Finished!", 20);) {
        std::ifstream status("/proc/" + std::to_string(c.pid()) + "/status");
        ASSERT_TRUE(status) << "the console is gone";
        while (std::getline(status, line))
            if (line.starts_with("VmRSS:")) kb.push_back(std::stol(line.substr(6)));
    }
    EXPECT_EQ(c.finish(), 0);
    ASSERT_GE(kb.size(), 5u) << "the run was too quick to watch";
    EXPECT_LT(*std::max_element(kb.begin() + kb.size() / 10, kb.end()) - kb[kb.size() / 10], 1024);
    EXPECT_EQ(c.output().find("[error]"), std::string::npos);
    EXPECT_EQ(referenceMismatch(c.dir.path(), 1'000'000, true), "");
}

}  // namespace
}  // namespace zortan
