#include "output/OutFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Clock.h"
#include "platform/Errors.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

using testing::readFileBytes;
using testing::TempDir;

TEST(OutFile, BuffersAcrossItsBufferAndEmptiesAnExistingFile) {
    TempDir dir;
    const std::string path = dir.write("out.txt", "old content that must go");
    OutFile f;
    f.create(path);
    std::string expected;
    for (int i = 0; i < 20000; ++i) {
        f.put(static_cast<char>('a' + i % 26));
        expected.push_back(static_cast<char>('a' + i % 26));
        f.line(" x");
        expected += " x\r\n";
    }
    f.close();
    EXPECT_FALSE(f.isOpen());
    EXPECT_EQ(readFileBytes(path), expected);
    f.close();  // closing twice does nothing
}

TEST(OutFile, FailuresAreInputOutputErrors) {
    TempDir dir;
    OutFile f;
    EXPECT_THROW(f.create(dir.file("missing/folder/x.txt")), InOutError);
    EXPECT_FALSE(f.isOpen());
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    f.create("/dev/full");
    f.write(std::string(100, 'x'));
    try {
        f.close();
        FAIL() << "a full disk went unnoticed";
    } catch (const InOutError& e) {
        EXPECT_EQ(e.code(), 101);
    }
    EXPECT_FALSE(f.isOpen());
}

TEST(Clock, DayCountsFrom30December1899) {
    LocalDateTime t;
    t.year = 1899, t.month = 12, t.day = 31, t.hour = 6;
    EXPECT_EQ(toTDate(t), 1.0);
    EXPECT_EQ(toTTime(t), 0.25);
    t.year = 2026, t.month = 12, t.day = 6, t.hour = 21, t.minute = 5, t.second = 9;
    EXPECT_EQ(toTDate(t), 46362.0);
    EXPECT_EQ(shortDateText(t), "2026-12-06");
    EXPECT_EQ(longTimeText(t), "21:05:09");
}

}  // namespace
}  // namespace zortan
