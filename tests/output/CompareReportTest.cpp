#include "output/CompareReport.h"

#include <gtest/gtest.h>

#include <string>

#include "support/DataText.h"
#include "support/Session.h"
#include "support/TreeBuilders.h"
#include "window/CodingDriver.h"
#include "window/Program.h"

namespace zortan {
namespace {

// A tree of `sizes` tree sizes and an error file holding one header line.
struct Fixture : testing::Workspace {
    Program program{ui, dir.path()};
    explicit Fixture(int sizes, bool compare) {
        program.tree = testing::balancedTree(sizes).tree;
        program.coder = testing::coderFor(program.tree);
        program.shell.clustersNb = static_cast<uint16_t>(sizes);
        program.shell.compareMode = compare;
        InitFileOptions& o = program.options;
        o.data1IsFvs = 1, o.fvsEventsFileDir1 = "C:\\d\\a.fvs",
        o.txtEventsFileDir2 = "C:\\d\\b.txt";
        program.outputs.errorFile.create(dir.file("e.txt"));
        program.outputs.errorFile.write("HEAD\r\n");
    }
    // The report (after the header line) for N steps; the report flushes the file.
    std::string report(uint32_t N) {
        CompareReport(program.outputs.errorFile, program.coder, ReportHeadingOf(program), N);
        return bytes("e.txt").substr(6);
    }
};

TEST(CompareReport, SingleModeTable) {
    Fixture f(3, false);
    f.program.coder.errorRecords1 = {{200, 200, 200}, {50, 20, 0}, {1, 0, 100}};
    EXPECT_EQ(f.report(200), testing::dataText("compare-report-single.txt"));
}

// A label longer than its column pushes the rest on; counts times 200
// beyond 32 bits still give their percentage.
TEST(CompareReport, CompareModeTableWithLargeCounts) {
    Fixture f(2, true);
    Program& p = f.program;
    p.eventNbr = 50000000, p.cathLabel1 = "phonemes";
    p.coder.errorRecords1 = {{200, 200, 200}, {30000000, 0, 0}};
    p.coder.errorRecords2 = {{200, 200, 200}, {0, 0, 1}}, p.coder.cath2Diff[0] = 20;
    p.coder.groupDiff[1] = 30000000;
    EXPECT_EQ(f.report(400), testing::dataText("compare-report-two.txt"));
}

TEST(CompareReport, NoEventsAndNoFile) {
    Fixture f(2, true);  // no coding step: no percentage, no division
    std::string row = "       2";
    for (int i = 0; i < 10; ++i) row += "     n/a";
    EXPECT_NE(f.report(0).find("\r\n" + row + "\r\n"), std::string::npos);
    Fixture g(2, false);  // a refused error file gets nothing
    g.program.outputs.errorFile.close();
    EXPECT_EQ(g.report(10), "");
}

}  // namespace
}  // namespace zortan
