#include "output/CompareReport.h"

#include <gtest/gtest.h>

#include <string>

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
    // The report (after the header line) for N steps; the report flushes the file.
    std::string report(uint32_t N) {
        CompareReport(program.outputs.errorFile, program.coder, ReportHeadingOf(program), N);
        return testing::readFileBytes(dir.file("e.txt")).substr(6);
    }
};

// Text written out with its lines ended by CR LF; a "|" marks the end of a
// line whose last characters are blanks.
std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? "\r\n" : std::string(1, c);
    for (size_t at; (at = out.find("|\r\n")) != std::string::npos;) out.erase(at, 1);
    return out;
}

const std::string kWhere = R"(Where:
k - tree size, k=1...K, where K - maximal tree size, i - event number, i=1...N, where N - number of events,
treeCath - an i-th event cathegory read from tree.
)";

TEST(CompareReport, SingleModeTable) {
    Fixture f(3, false);
    f.program.coder.errorRecords1 = {{200, 200, 200}, {50, 20, 0}, {1, 0, 100}};
    EXPECT_EQ(f.report(200), crlf(R"(
Events number=200
Erronous recognitions for Y1 Y2 Y3 for "C:\d\a.fvs"; results in %:
----------------------------------
  Nbr of |
  groups        Y1      Y2      Y3
==================================
       1 100.000 100.000 100.000
       2  25.000  10.000   0.000
       3   0.500   0.000  50.000
__________________________________
Explanatory notes
 data-tree differences
 cath[1,2,3](k)=sum{cath[1,2,3](k,i)<>treeCath[1,2,3](k)}
)" + kWhere));
}

// A label longer than its column pushes the rest on; counts times 200
// beyond 32 bits still give their percentage.
TEST(CompareReport, CompareModeTableWithLargeCounts) {
    Fixture f(2, true);
    Program& p = f.program;
    p.eventNbr = 50000000;
    p.cathLabel1 = "phonemes";
    p.coder.errorRecords1 = {{200, 200, 200}, {30000000, 0, 0}};
    p.coder.errorRecords2 = {{200, 200, 200}, {0, 0, 1}};
    p.coder.cath2Diff[0] = 20;
    p.coder.groupDiff[1] = 30000000;
    EXPECT_EQ(f.report(400), crlf(R"(
Events number=50000000
Differeces between classifications of events in signals:
      "C:\d\a.fvs" and
      "C:\d\b.txt".
Results for phonemes Y2 Y3
----------------------------------------------------------------------------------------
  Nbr of First source            Second source           Differences in classifications:
  groups   phonemes      Y2      Y3 phonemes      Y2      Y3 phonemes      Y2      Y3 group |
========================================================================================
       1 100.000 100.000 100.000 100.000 100.000 100.000   0.000  10.000   0.000   0.000
       215000000.000   0.000   0.000   0.000   0.000   0.500   0.000   0.000   0.00015000000.000
________________________________________________________________________________________
Explanatory notes
1) data-tree differences:
    cath[1,2,3](k)=sum{cath[1,2,3](k,i)<>treeCath[1,2,3](k)}
2) tree data-data differences:
   (a) cath[1,2,3](k)=sum{data_1_treeCath[1,2,3](k,i)<>data_2_treeCath[1,2,3](k,i)}
   (b) group(k)=sum{g(data_1(k,i))<>g(data_2(k,i))}
)" + kWhere + R"(g - group, where i-th event drops in,
data_#_treeCah - a cathegory of an event read from tree
)"));
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
