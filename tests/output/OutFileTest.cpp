#include "output/OutFile.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

// (Failures to create or write: see the fault injection tests.)
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

}  // namespace
}  // namespace zortan
