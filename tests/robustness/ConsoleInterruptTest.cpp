// SIGINT in the console during a free run: once it is "Break" (answered
// Yes), twice it is "Halt!". Either way every output holds exactly the
// events coded before, checked against the input by an independent reader.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "robustness/ConsoleSession.h"

namespace zortan {
namespace {

using testing::ConsoleProcess;
using testing::ConsoleReference;
using testing::readFileBytes;

constexpr int64_t kEvents = 400000;

const char* const kAllOutputs =
    "set outputTeachCodes on\nset outputTeachCath1 on\nset outputTeachCath2 on\n"
    "set outputTeachCath3 on\nset outputRecogCombined on\nset outputRecogCodes on\n"
    "set outputRecogCath1 on\nset outputRecogCath2 on\nset outputRecogCath3 on\n"
    "set stepwiseProceeding off\n";

// Starts a free run of the reference table with every output on.
void startRun(ConsoleProcess& c, const ConsoleReference& ref) {
    fixtures::writeTreeFile(c.dir.file("t.vq"), ref.tree);
    ConsoleReference::writeTable(c.dir.file("ev.txt"), kEvents);
    c.start();
    c.send("read tree\n" + c.dir.file("t.vq") + "\n" + kAllOutputs + "read data_1\n" +
           c.dir.file("ev.txt") + "\n");
    ASSERT_TRUE(c.waitFor("Program started coding data_1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

int64_t reportedEvents(const std::string& errorFile) {
    std::smatch m;
    if (!std::regex_search(errorFile, m, std::regex("Events number=([0-9]+)\r\n"))) return -1;
    return std::stoll(m[1]);
}

TEST(ConsoleInterrupt, OneSigintBreaksTheRunWithEveryOutputWhole) {
    ConsoleProcess c;
    ConsoleReference ref;
    startRun(c, ref);
    c.interrupt();
    ASSERT_TRUE(c.waitFor("[question Yes/No] Breaks program!\nBreak coding?\n[end]\n"));
    c.send("yes\n");
    ASSERT_TRUE(c.waitFor("Program Finished!"));
    EXPECT_EQ(c.finish(), 0);
    const int64_t coded = reportedEvents(readFileBytes(c.dir.file("ev_error.txt")));
    ASSERT_GT(coded, 0);
    EXPECT_LT(coded, kEvents) << "the run ended before the interrupt";
    ref.expectOutputs(c.dir, coded, true);
    EXPECT_EQ(c.output().find("[error]"), std::string::npos);
}

TEST(ConsoleInterrupt, SecondSigintAtTheQuestionHaltsWithEveryOutputWhole) {
    ConsoleProcess c;
    ConsoleReference ref;
    startRun(c, ref);
    c.interrupt();
    ASSERT_TRUE(c.waitFor("[question Yes/No] Breaks program!"));
    c.interrupt();
    ASSERT_TRUE(c.waitFor("Program Canceled!"));
    EXPECT_EQ(c.finish(), 0);
    const std::string out = c.output();
    EXPECT_NE(
        out.find("[message]\nProgram finished\nFind results in:\n\"" + c.dir.file("ev_Teach.zrt")),
        std::string::npos);
    const auto teach = testing::readCombinedFile(readFileBytes(c.dir.file("ev_Teach.zrt")));
    const auto coded = static_cast<int64_t>(teach.records.size());
    ASSERT_GT(coded, 0);
    EXPECT_LT(coded, kEvents);
    ref.expectOutputs(c.dir, coded, false);
}

}  // namespace
}  // namespace zortan
