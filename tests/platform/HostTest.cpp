#include "platform/Host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/Errors.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

TEST(Paths, SplitOnBothSeparators) {
    const struct {
        const char *path, *dir, *name, *ext;
    } cases[] = {
        {"C:\\wkd\\TRB\\Results\\*.vq*", "C:\\wkd\\TRB\\Results", "*.vq*", ".vq*"},
        {"/tmp/a.d/file", "/tmp/a.d", "file", ""},
        {"/b.txt", "/", "b.txt", ".txt"},
        {"name", "", "name", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            extractFileDir(c.path) + "|" + extractFileName(c.path) + "|" + extractFileExt(c.path),
            std::string(c.dir) + "|" + c.name + "|" + c.ext);
    EXPECT_EQ(joinPath("/tmp/", "x") + joinPath("", "y"), "/tmp/xy");
}

TEST(Host, FileAndFolderTests) {
    testing::TempDir dir;
    const std::string f = dir.write("a.txt", "x");
    EXPECT_TRUE(fileExists(f) && folderExists(dir.path()) && folderWritable(dir.path()));
    EXPECT_FALSE(fileExists(dir.path()) || fileExists(".vq*") || folderExists(""));
    EXPECT_TRUE(makeFolders(dir.file("x/y/z")));
    EXPECT_FALSE(runningProgramFolder().empty());
}

// Stores at the edges of their widths; low bits where the file formats keep them.
TEST(Errors, CheckedStoresAndLowBits) {
    EXPECT_EQ(fitOrRangeError<uint16_t>(65535), 65535);
    EXPECT_EQ(fitOrRangeError<int8_t>(-128), -128);
    for (double bad : {65536.0, -1.0, std::nan("")})
        EXPECT_THROW(fitOrRangeError<uint16_t>(bad), RangeError) << bad;
    EXPECT_THROW(fitOrRangeError<int8_t>(128), RangeError);
    EXPECT_EQ(lowBits<uint8_t>(255) + lowBits<uint8_t>(256) + lowBits<uint8_t>(258), 257);
    EXPECT_EQ(lowBits<int16_t>(65535), -1);
    EXPECT_EQ(lowBits<uint32_t>(int64_t{-1}), 0xFFFFFFFFu);
    std::vector<int> v(3);
    EXPECT_NO_THROW(checkedAt(v, 2));
    EXPECT_THROW(checkedAt(v, 3), RangeError);
    EXPECT_THROW(checkedAt(v, -1), RangeError);
    EXPECT_EQ(ioErrorFromErrno(ENOSPC).code(), 101);
}

}  // namespace
}  // namespace zortan
