#include "output/CompareReport.h"

#include <array>
#include <cstdio>
#include <string>

#include "base/Format.h"
#include "output/TextOutputs.h"
#include "platform/Errors.h"

namespace zortan {

namespace {

std::string percent(uint32_t count, bool compare, uint32_t N) {
    return ErrorPercent(count, N, compare);
}

}  // namespace

// The product is formed in extended precision, so no count can overflow it.
std::string ErrorPercentByFormat(uint64_t count, int64_t steps, bool compareMode) {
    if (steps <= 0) return "     n/a";
    const long double value = static_cast<long double>(count) * (compareMode ? 200 : 100) / steps;
    return padLeft(formatFixed(value, 3), 8);
}

// A table of 256 rows is formatted for every file of a corpus: in integers,
// the thousandths of a percent rounded half up, as formatFixed rounds the
// quotient's 18 significant digits. The two agree while the quotient's
// distance from a half is far above the extended precision's error, which
// holds for fewer than 10^10 steps (a half itself is met exactly by both).
std::string ErrorPercent(uint64_t count, int64_t steps, bool compareMode) {
    constexpr int64_t kLargestExactSteps = 10'000'000'000;
    constexpr uint64_t kLargestExactCount = 10'000'000'000;
    if (steps <= 0) return "     n/a";
    if (steps > kLargestExactSteps || count > kLargestExactCount)
        return ErrorPercentByFormat(count, steps, compareMode);
    const uint64_t scaled = count * (compareMode ? 200'000u : 100'000u);
    const auto N = static_cast<uint64_t>(steps);
    uint64_t thousandths = scaled / N;
    if (2 * (scaled % N) >= N) ++thousandths;
    const auto frac = static_cast<unsigned>(thousandths % 1000);
    std::string field = std::to_string(thousandths / 1000) + ".";
    for (unsigned digit : {frac / 100, frac / 10 % 10, frac % 10})
        field += static_cast<char>('0' + digit);
    return padLeft(field, 8);
}

size_t ErrorTableWidth(bool compareMode) {
    return compareMode ? 88 : 34;
}

void WriteErrorTableHeading(OutFile& f, bool compare, const std::array<std::string, 3>& l) {
    const size_t W = ErrorTableWidth(compare);
    f.line(std::string(W, '-'));
    f.line(compare ? "  Nbr of First source            Second source           Differences in "
                     "classifications:"
                   : "  Nbr of ");
    const std::string labels = padLeft(oneLine(l[0]), 7) + " " + padLeft(oneLine(l[1]), 7) + " " +
                               padLeft(oneLine(l[2]), 7);
    std::string header = "  groups   " + labels;
    if (compare) header += " " + labels + " " + labels + " group ";
    f.line(header);
    f.line(std::string(W, '='));
}

void CountCompareDifferences(const QuantizationTree& tree, CoderState& c) {
    for (int t = 0; t < tree.treeSizesNb(); ++t) {
        const uint16_t first = checkedAt(c.nodePath1, t);
        const uint16_t second = checkedAt(c.nodePath2, t);
        const TreeNode& a = checkedAt(tree.nodeHeap, first);
        const TreeNode& b = checkedAt(tree.nodeHeap, second);
        if (first != second) ++checkedAt(c.groupDiff, t);
        if (a.treeCath1 != b.treeCath1) ++checkedAt(c.cath1Diff, t);
        if (a.treeCath2 != b.treeCath2) ++checkedAt(c.cath2Diff, t);
        if (a.treeCath3 != b.treeCath3) ++checkedAt(c.cath3Diff, t);
    }
}

void CompareReport(OutFile& f, const CoderState& c, const ReportHeading& heading, uint32_t N) {
    if (!f.isOpen()) return;
    const bool compare = heading.compareMode;
    const size_t W = ErrorTableWidth(compare);
    const std::string l1 = oneLine(heading.labels[0]);
    const std::string l2 = oneLine(heading.labels[1]);
    const std::string l3 = oneLine(heading.labels[2]);
    const std::array<std::string, 2> paths = {oneLine(heading.inputPaths[0]),
                                              oneLine(heading.inputPaths[1])};

    f.line("");
    if (compare) {
        f.line("Events number=" + std::to_string(heading.eventNbr) +
               "\r\nDiffereces between classifications of events in signals:\r\n      \"" +
               paths[0] + "\" and\r\n      \"" + paths[1] + "\".\r\nResults for " + l1 + " " + l2 +
               " " + l3);
    } else {
        f.line("Events number=" + std::to_string(N) + "\r\nErronous recognitions for " + l1 + " " +
               l2 + " " + l3 + " for \"" + paths[0] + "\"; results in %:");
    }
    WriteErrorTableHeading(f, compare, heading.labels);

    for (int t = 0; t < heading.clusters; ++t) {
        const TErrorRecord& e1 = checkedAt(c.errorRecords1, t);
        std::string row = padLeft(std::to_string(t + 1), 8) + percent(e1.cath1, compare, N) +
                          percent(e1.cath2, compare, N) + percent(e1.cath3, compare, N);
        if (compare) {
            const TErrorRecord& e2 = checkedAt(c.errorRecords2, t);
            row += percent(e2.cath1, compare, N) + percent(e2.cath2, compare, N) +
                   percent(e2.cath3, compare, N) + percent(checkedAt(c.cath1Diff, t), compare, N) +
                   percent(checkedAt(c.cath2Diff, t), compare, N) +
                   percent(checkedAt(c.cath3Diff, t), compare, N) +
                   percent(checkedAt(c.groupDiff, t), compare, N);
        }
        f.line(row);
    }

    f.line(std::string(W, '_'));
    f.line("Explanatory notes");
    if (compare) {
        f.line(
            "1) data-tree differences:\r\n"
            "    cath[1,2,3](k)=sum{cath[1,2,3](k,i)<>treeCath[1,2,3](k)}\r\n"
            "2) tree data-data differences:\r\n"
            "   (a) "
            "cath[1,2,3](k)=sum{data_1_treeCath[1,2,3](k,i)<>data_2_treeCath[1,2,3](k,i)}\r\n"
            "   (b) group(k)=sum{g(data_1(k,i))<>g(data_2(k,i))}");
    } else {
        f.line(
            " data-tree differences\r\n"
            " cath[1,2,3](k)=sum{cath[1,2,3](k,i)<>treeCath[1,2,3](k)}");
    }
    f.line(
        "Where:\r\n"
        "k - tree size, k=1...K, where K - maximal tree size, i - event number, i=1...N, where N - "
        "number of events,\r\n"
        "treeCath - an i-th event cathegory read from tree.");
    if (compare)
        f.line(
            "g - group, where i-th event drops in,\r\n"
            "data_#_treeCah - a cathegory of an event read from tree");
    f.flush();
}

}  // namespace zortan
