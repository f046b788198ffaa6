// Signals and the end of input in the console during a run: SIGINT once is
// "Break" (answered Yes), twice "Halt!"; SIGTERM and SIGHUP are "Halt!"; the
// end of input closes the outputs without the closing messages. Every time
// every output holds exactly the events coded before, checked against the
// input by an independent reader. And the soak run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "support/ConsoleProcess.h"

namespace zortan {
namespace {

using testing::ConsoleProcess;

TEST(ConsoleInterrupt, SignalsAndEndOfInputKeepEveryEventCoded) {
    constexpr int64_t kEvents = 400000;
    // SIGINT answered Yes, SIGINT twice, SIGTERM, SIGHUP; 0: the script ends
    // while a stepwise run waits.
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
        if (signal) {
            ASSERT_TRUE(c.waitFor(broken ? "Program Finished!" : "Program Canceled!"));
        }
        EXPECT_EQ(c.finish(), 0);
        const std::string out = c.output();
        EXPECT_EQ(out.find("[error]"), std::string::npos);
        // Only the end of input lists no outputs; only a broken run writes its report.
        EXPECT_EQ(out.find("[message]\nProgram finished\nFind results in:\n\"" +
                           c.dir.file("ev_Teach.zrt")) != std::string::npos,
                  signal != 0);
        const auto coded = static_cast<int64_t>(c.records("ev_Teach.zrt").size());
        ASSERT_GT(coded, 0);
        EXPECT_LT(coded, kEvents) << "the run ended before the interrupt";
        EXPECT_EQ(testing::referenceMismatch(c.dir.path(), coded, broken), "");
    }
}

// The resident memory of a process in kB, 0 when it is gone.
long residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    return 0;
}

// A million events with every output on: the console's memory stays flat,
// and every output holds every event. Long: only when ZORTAN_SOAK=1 (make
// soak).
TEST(Soak, MillionEventsWithEveryOutputOnKeepMemoryFlatAndLoseNothing) {
    if (const char* soak = std::getenv("ZORTAN_SOAK"); !soak || std::string(soak) != "1")
        GTEST_SKIP() << "make soak runs it";
    // AddressSanitizer's quarantine of freed memory would look like growth.
    const char* asan = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS",
           ((asan ? std::string(asan) + ":" : "") +
            "quarantine_size_mb=1:thread_local_quarantine_size_kb=64")
               .c_str(),
           1);
    constexpr int64_t kEvents = 1'000'000;
    ConsoleProcess c;
    ASSERT_TRUE(c.startReferenceRun(kEvents));
    // Resident memory from a tenth of the run on (by the teaching output's size).
    std::vector<long> later;
    for (long kb; (kb = residentKb(c.pid())) && !c.waitFor("Program Finished!", 20);) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(c.dir.file("ev_Teach.zrt"), ec);
        if (!ec && size >= 1524 + 6 * kEvents / 10 && size < 1524 + 6 * kEvents)
            later.push_back(kb);
    }
    EXPECT_EQ(c.finish(), 0);
    // A byte kept per event would grow the memory by a megabyte.
    ASSERT_GE(later.size(), 5u) << "the run was too quick to watch";
    EXPECT_LT(*std::max_element(later.begin(), later.end()) - later.front(), 1024);
    EXPECT_EQ(c.output().find("[error]"), std::string::npos);
    EXPECT_EQ(testing::referenceMismatch(c.dir.path(), kEvents, true), "");
}

}  // namespace
}  // namespace zortan
