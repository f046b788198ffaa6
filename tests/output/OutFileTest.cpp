#include "output/OutFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Errors.h"
#include "support/TempDir.h"

// The clock's day count and texts are checked through the certificate and
// the text headers.
namespace zortan {
namespace {

TEST(OutFile, BuffersAcrossItsBufferAndEmptiesAnExistingFile) {
    testing::TempDir dir;
    const std::string path = dir.write("out.txt", "old content that must go");
    OutFile f;
    f.create(path);
    std::string expected;
    // Writes of every length from 0 to 20, so that short copies fall at
    // every place in the buffer and across its end.
    const std::string source = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int i = 0; i < 20000; ++i) {
        f.put(static_cast<char>('a' + i % 26));
        f.line(" x");
        const std::string piece =
            source.substr(static_cast<size_t>(i % 7), static_cast<size_t>(i % 21));
        f.write(piece.data(), piece.size());
        expected += std::string(1, static_cast<char>('a' + i % 26)) + " x\r\n" + piece;
    }
    f.close();
    EXPECT_FALSE(f.isOpen());
    EXPECT_EQ(testing::readFileBytes(path), expected);
    f.close();  // closing twice does nothing
}

TEST(OutFile, FailuresAreInputOutputErrors) {
    testing::TempDir dir;
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

}  // namespace
}  // namespace zortan
