// One million events through the console with every output on: the
// console's memory stays flat during the run, and afterwards every output is
// checked event by event against the input. Long: run by `make soak`, skipped
// otherwise.
#include <algorithm>
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "support/ConsoleProcess.h"

namespace zortan {
namespace {

constexpr int64_t kEvents = 1'000'000;

// The resident memory of a process in kB, 0 when it is gone.
long residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    return 0;
}

TEST(Soak, MillionEventsWithEveryOutputOnKeepMemoryFlatAndLoseNothing) {
    // In a sanitizer build the freed memory that AddressSanitizer holds back
    // would look like growth: it holds back next to nothing here.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string options = (asan ? std::string(asan) + ":" : std::string()) +
                                "quarantine_size_mb=1:thread_local_quarantine_size_kb=64";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
    testing::ConsoleProcess c;
    ASSERT_TRUE(c.startReferenceRun(kEvents));

    // Resident memory from a tenth of the run on (by the teaching output's size).
    std::vector<long> later;
    const auto tenth = static_cast<std::uintmax_t>(1524 + 6 * kEvents / 10);
    const auto whole = static_cast<std::uintmax_t>(1524 + 6 * kEvents);
    for (;;) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(c.dir.file("ev_Teach.zrt"), ec);
        const long kb = residentKb(c.pid());
        if (c.output().find("Program Finished!") != std::string::npos || kb == 0) break;
        if (!ec && size >= tenth && size < whole) later.push_back(kb);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(c.finish(), 0);

    // Memory may not grow by more than 1 MB: a byte kept per event would
    // grow it by a megabyte.
    ASSERT_GE(later.size(), 5u) << "the run was too quick to watch";
    const long first = later.front(), peak = *std::max_element(later.begin(), later.end());
    EXPECT_LT(peak - first, 1024) << "grew from " << first << " kB to " << peak << " kB";
    std::printf("resident memory %ld kB at 10%%, at most %ld kB afterwards, %zu samples\n", first,
                peak, later.size());
    EXPECT_EQ(c.output().find("[error]"), std::string::npos);
    EXPECT_EQ(testing::referenceMismatch(c.dir.path(), kEvents, true), "");
}

}  // namespace
}  // namespace zortan

// The soak run only runs when asked for (make soak sets ZORTAN_SOAK=1); the
// status 77 tells CTest it was skipped.
int main(int argc, char** argv) {
    const char* wanted = std::getenv("ZORTAN_SOAK");
    if (wanted == nullptr || std::string(wanted) != "1") {
        std::puts("soak run skipped: make soak runs it");
        return 77;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
