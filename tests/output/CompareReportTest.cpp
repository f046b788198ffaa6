#include "output/CompareReport.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Errors.h"
#include "run/CodingDriver.h"
#include "shell/Program.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/TreeBuilders.h"

namespace zortan {
namespace {

// A program with a tree of `sizes` tree sizes and an error file that holds
// one header line.
struct Fixture {
    testing::ScriptedUi ui;
    testing::TempDir dir;
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
    // The report without the header line; the file is flushed by the report.
    std::string report() { return testing::readFileBytes(dir.file("e.txt")).substr(6); }
};

const std::string kWhere =
    "Where:\r\n"
    "k - tree size, k=1...K, where K - maximal tree size, i - event number, i=1...N, where N - "
    "number of events,\r\n"
    "treeCath - an i-th event cathegory read from tree.\r\n";

TEST(CompareReport, SingleModeTable) {
    Fixture f(3, false);
    f.program.coder.errorRecords1 = {{200, 200, 200}, {50, 20, 0}, {1, 0, 100}};
    CompareReport(f.program.outputs.errorFile, f.program.coder, ReportHeadingOf(f.program), 200);
    EXPECT_EQ(f.report(),
              "\r\n"
              "Events number=200\r\n"
              "Erronous recognitions for Y1 Y2 Y3 for \"C:\\d\\a.fvs\"; results in %:\r\n" +
                  std::string(34, '-') +
                  "\r\n"
                  "  Nbr of \r\n"
                  "  groups        Y1      Y2      Y3\r\n" +
                  std::string(34, '=') +
                  "\r\n"
                  "       1 100.000 100.000 100.000\r\n"
                  "       2  25.000  10.000   0.000\r\n"
                  "       3   0.500   0.000  50.000\r\n" +
                  std::string(34, '_') +
                  "\r\n"
                  "Explanatory notes\r\n"
                  " data-tree differences\r\n"
                  " cath[1,2,3](k)=sum{cath[1,2,3](k,i)<>treeCath[1,2,3](k)}\r\n" +
                  kWhere);
}

// Counts times 200 beyond 32 bits still give their percentage.
TEST(CompareReport, CompareModeTableWithLargeCounts) {
    Fixture f(2, true);
    Program& p = f.program;
    p.eventNbr = 50000000;
    p.cathLabel1 = "phonemes";  // longer than its column: pushes the rest right
    p.coder.errorRecords1 = {{200, 200, 200}, {30000000, 0, 0}};
    p.coder.errorRecords2 = {{200, 200, 200}, {0, 0, 1}};
    p.coder.cath2Diff[0] = 20;
    p.coder.groupDiff[1] = 30000000;  // x 200 does not fit 32 bits
    CompareReport(p.outputs.errorFile, p.coder, ReportHeadingOf(p), 400);
    const std::string row1 =
        "       1 100.000 100.000 100.000 100.000 100.000 100.000   0.000  10.000   0.000   0.000";
    const std::string row2 =
        "       215000000.000   0.000   0.000   0.000   0.000   0.500   0.000   0.000   0.000"
        "15000000.000";
    EXPECT_EQ(f.report(),
              "\r\n"
              "Events number=50000000\r\n"
              "Differeces between classifications of events in signals:\r\n"
              "      \"C:\\d\\a.fvs\" and\r\n"
              "      \"C:\\d\\b.txt\".\r\n"
              "Results for phonemes Y2 Y3\r\n" +
                  std::string(88, '-') +
                  "\r\n"
                  "  Nbr of First source            Second source           Differences in "
                  "classifications:\r\n"
                  "  groups   phonemes      Y2      Y3 phonemes      Y2      Y3 phonemes      Y2"
                  "      Y3 group \r\n" +
                  std::string(88, '=') + "\r\n" + row1 + "\r\n" + row2 + "\r\n" +
                  std::string(88, '_') +
                  "\r\n"
                  "Explanatory notes\r\n"
                  "1) data-tree differences:\r\n"
                  "    cath[1,2,3](k)=sum{cath[1,2,3](k,i)<>treeCath[1,2,3](k)}\r\n"
                  "2) tree data-data differences:\r\n"
                  "   (a) cath[1,2,3](k)=sum{data_1_treeCath[1,2,3](k,i)<>data_2_treeCath[1,2,"
                  "3](k,i)}\r\n"
                  "   (b) group(k)=sum{g(data_1(k,i))<>g(data_2(k,i))}\r\n" +
                  kWhere +
                  "g - group, where i-th event drops in,\r\n"
                  "data_#_treeCah - a cathegory of an event read from tree\r\n");
}

TEST(CompareReport, NoEventsAndNoFile) {
    {  // no coding step: no percentage, no division
        Fixture f(2, true);
        CompareReport(f.program.outputs.errorFile, f.program.coder, ReportHeadingOf(f.program), 0);
        std::string row = "       2";
        for (int i = 0; i < 10; ++i) row += "     n/a";
        EXPECT_NE(f.report().find("\r\n" + row + "\r\n"), std::string::npos);
    }
    Fixture f(2, false);  // a refused error file gets nothing
    f.program.outputs.errorFile.close();
    CompareReport(f.program.outputs.errorFile, f.program.coder, ReportHeadingOf(f.program), 10);
    EXPECT_EQ(f.report(), "");
}

TEST(CompareReport, CountsPairsInDifferentNodesAndReadings) {
    Fixture f(3, true);  // nodes 1, 2 split the root; 3, 4 split node 1
    Program& p = f.program;
    p.tree.nodeHeap[1].treeCath1 = 1;
    p.tree.nodeHeap[2].treeCath1 = 2;
    p.tree.nodeHeap[3].treeCath3 = 5;
    p.tree.nodeHeap[2].treeCath3 = 5;  // same reading in different nodes
    p.coder.nodePath1 = {0, 1, 3, 0, 0};
    p.coder.nodePath2 = {0, 2, 2, 0, 0};
    CountCompareDifferences(p.tree, p.coder);
    CountCompareDifferences(p.tree, p.coder);
    EXPECT_EQ(p.coder.groupDiff, (std::vector<uint32_t>{0, 2, 2, 0, 0}));
    EXPECT_EQ(p.coder.cath1Diff, (std::vector<uint32_t>{0, 2, 2, 0, 0}));
    EXPECT_EQ(p.coder.cath2Diff, (std::vector<uint32_t>{0, 0, 0, 0, 0}));
    EXPECT_EQ(p.coder.cath3Diff, (std::vector<uint32_t>{0, 2, 0, 0, 0}));

    p.coder.nodePath2[2] = 9;  // beyond the heap
    EXPECT_THROW(CountCompareDifferences(p.tree, p.coder), RangeError);
}

}  // namespace
}  // namespace zortan
