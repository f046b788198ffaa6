#include "platform/Host.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

TEST(Paths, SplitOnBothSeparators) {
    EXPECT_EQ(extractFileDir("C:\\wkd\\TRB\\Results\\*.vq*"), "C:\\wkd\\TRB\\Results");
    EXPECT_EQ(extractFileName("C:\\wkd\\TRB\\Results\\*.vq*"), "*.vq*");
    EXPECT_EQ(extractFileExt("C:\\wkd\\TRB\\Results\\*.vq*"), ".vq*");
    EXPECT_EQ(extractFileDir("/tmp/a/b.txt"), "/tmp/a");
    EXPECT_EQ(extractFileExt("/tmp/a.d/file"), "");
    EXPECT_EQ(extractFileExt("name"), "");
    EXPECT_EQ(extractFileDir("name"), "");
    EXPECT_EQ(joinPath("/tmp/", "x"), "/tmp/x");
    EXPECT_EQ(joinPath("", "x"), "x");
}

TEST(Host, FileAndFolderTests) {
    testing::TempDir dir;
    auto f = dir.write("a.txt", "x");
    EXPECT_TRUE(fileExists(f));
    EXPECT_FALSE(fileExists(dir.path()));
    EXPECT_FALSE(fileExists(".vq*"));
    EXPECT_TRUE(folderExists(dir.path()));
    EXPECT_TRUE(folderWritable(dir.path()));
    EXPECT_TRUE(makeFolders(dir.file("x/y/z")));
    EXPECT_FALSE(runningProgramFolder().empty());
}

TEST(Errors, CheckedStoresAndLowBits) {
    EXPECT_EQ(fitOrRangeError<uint16_t>(65535), 65535);
    EXPECT_THROW(fitOrRangeError<uint16_t>(65536), RangeError);
    EXPECT_THROW(fitOrRangeError<uint16_t>(-1), RangeError);
    EXPECT_THROW(fitOrRangeError<uint8_t>(256.0), RangeError);
    EXPECT_THROW(fitOrRangeError<int32_t>(std::nan("")), RangeError);
    EXPECT_EQ(lowBits<uint8_t>(256), 0);
    EXPECT_EQ(lowBits<uint8_t>(258), 2);
    EXPECT_EQ(lowBits<int16_t>(65535), -1);
    EXPECT_EQ(lowBits<uint32_t>(int64_t{-1}), 0xFFFFFFFFu);
    std::vector<int> v(3);
    EXPECT_THROW(checkedAt(v, 3), RangeError);
    EXPECT_THROW(checkedAt(v, -1), RangeError);
    EXPECT_NO_THROW(checkedAt(v, 2));
    EXPECT_EQ(ioErrorFromErrno(ENOSPC).code(), 101);
}

}  // namespace
}  // namespace zortan
