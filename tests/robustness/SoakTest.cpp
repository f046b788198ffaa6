// One million events through the console with every output on: the
// console's memory stays flat during the run, and afterwards every output is
// checked event by event against the input. Long: run by `make soak`, skipped
// otherwise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "robustness/ConsoleSession.h"

namespace zortan {
namespace {

using testing::ConsoleProcess;
using testing::ConsoleReference;
using testing::residentKb;

constexpr int64_t kEvents = 1'000'000;

TEST(Soak, MillionEventsWithEveryOutputOnKeepMemoryFlatAndLoseNothing) {
    ConsoleProcess c;
    ConsoleReference ref;
    fixtures::writeTreeFile(c.dir.file("t.vq"), ref.tree);
    ConsoleReference::writeTable(c.dir.file("ev.txt"), kEvents);
    // In a sanitizer build the freed memory that AddressSanitizer holds back
    // would look like growth: it holds back next to nothing here.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string options = (asan ? std::string(asan) + ":" : std::string()) +
                                "quarantine_size_mb=1:thread_local_quarantine_size_kb=64";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
    c.start();
    c.send("read tree\n" + c.dir.file("t.vq") +
           "\nset outputTeachCodes on\nset outputTeachCath1 on\nset outputTeachCath2 on\n"
           "set outputTeachCath3 on\nset outputRecogCombined on\nset outputRecogCodes on\n"
           "set outputRecogCath1 on\nset outputRecogCath2 on\nset outputRecogCath3 on\n"
           "set stepwiseProceeding off\nread data_1\n" +
           c.dir.file("ev.txt") + "\n");
    ASSERT_TRUE(c.waitFor("Program started coding data_1"));

    // Resident memory against progress (the teaching output's size).
    struct Sample {
        double done;
        long kb;
    };
    std::vector<Sample> samples;
    const auto fullSize = static_cast<double>(1524 + 6 * kEvents);
    for (;;) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(c.dir.file("ev_Teach.zrt"), ec);
        const long kb = residentKb(c.pid());
        if (c.output().find("Program Finished!") != std::string::npos || kb == 0) break;
        if (!ec) samples.push_back({static_cast<double>(size) / fullSize, kb});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(c.finish(), 0);

    // From a tenth of the run on, memory may not grow by more than 1 MB: a
    // byte kept per event would grow it by a megabyte.
    std::vector<long> later;
    for (const Sample& s : samples)
        if (s.done >= 0.1 && s.done < 1.0) later.push_back(s.kb);
    ASSERT_GE(later.size(), 5u) << "the run was too quick to watch";
    const long first = later.front(), peak = *std::max_element(later.begin(), later.end());
    EXPECT_LT(peak - first, 1024) << "grew from " << first << " kB to " << peak << " kB";
    std::printf("resident memory %ld kB at 10%%, at most %ld kB afterwards, %zu samples\n", first,
                peak, later.size());

    EXPECT_EQ(c.output().find("[error]"), std::string::npos);
    ref.expectOutputs(c.dir, kEvents, true);
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
