#include "platform/Host.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/Errors.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

// Paths split on both separators; files and folders tested and made.
TEST(Host, PathsFilesAndFolders) {
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

    testing::TempDir dir;
    const std::string f = dir.write("a.txt", "x");
    EXPECT_TRUE(fileExists(f) && folderExists(dir.path()) && folderWritable(dir.path()));
    EXPECT_FALSE(fileExists(dir.path()) || fileExists(".vq*") || folderExists(""));
    EXPECT_TRUE(makeFolders(dir.file("x/y/z")));
    EXPECT_FALSE(runningProgramFolder().empty());
}

// A real stored into an integer field: its range's ends fit, beyond them (and
// a not-a-number) is a range error.
TEST(Errors, RealsAtTheEdgesOfAnIntegerField) {
    EXPECT_EQ(fitOrRangeError<uint16_t>(65535.0) + fitOrRangeError<uint16_t>(0.0), 65535);
    for (double bad : {65536.0, 65535.5, -0.5, std::nan("")})
        EXPECT_THROW(fitOrRangeError<uint16_t>(bad), RangeError) << bad;
}

}  // namespace
}  // namespace zortan
