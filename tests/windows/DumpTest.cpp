// zortan-dump on Windows, end to end: the sample tree's first nodes as CSV,
// and a file that is not there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace zortan {
namespace {

TEST(DumpProgram, PrintsTheSampleTreeAndNamesAMissingFile) {
    testing::TempDir dir;
    const std::string out = dir.file("out.txt"), missing = dir.file("none.fvs");
    const std::string tree = std::string(ZORTAN_SAMPLES) + "/vowels-cep16-centroids32.vq";
    // Run by the command interpreter, standard output and error into `out`.
    const auto dump = [&](const std::string& args) {
        return std::system(
            ("\"\"" ZORTAN_DUMP_EXE "\" " + args + " > \"" + out + "\" 2>&1\"").c_str());
    };
    EXPECT_EQ(dump("--csv --records 0:1 \"" + tree + "\""), 0);
    const std::string csv = testing::readFileBytes(out);
    EXPECT_EQ(csv.rfind("node,type,son,brother,code,split,cath1,val1,", 0), 0u) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);
    EXPECT_NE(csv.find("\n1,"), std::string::npos) << csv;

    EXPECT_EQ(dump("\"" + missing + "\""), 1);
    EXPECT_NE(testing::readFileBytes(out).find(missing + ": File not found"), std::string::npos);
}

}  // namespace
}  // namespace zortan
