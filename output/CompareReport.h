// The statistics table appended to the error file at the end of a run.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "output/Outputs.h"
#include "tree/QuantizationTree.h"

namespace zortan {

// After a pair of events in compare mode: counts, per tree size, the pairs
// that fall into different nodes or carry different readings.
void CountCompareDifferences(const QuantizationTree& tree, CoderState& coder);

// What the table is about: the run's mode, its K and events count, the
// category labels and the inputs' paths.
struct ReportHeading {
    bool compareMode = false;
    int clusters = 0;
    int64_t eventNbr = 0;
    std::array<std::string, 3> labels;
    std::array<std::string, 2> inputPaths;
};

// A count as a percentage of the events of one series (of `steps` coding
// steps: the events, or twice the pairs in compare mode), 3 decimals right
// in 8; "n/a" when no step was done.
std::string ErrorPercent(uint64_t count, int64_t steps, bool compareMode);
// The same by the number format of every other output (formatFixed): the
// readable definition, which ErrorPercent's integer arithmetic equals and
// falls back on for counts too large for it.
std::string ErrorPercentByFormat(uint64_t count, int64_t steps, bool compareMode);

// The width of the error table's rules.
size_t ErrorTableWidth(bool compareMode);

// The error table's column heading between its rules, with the category
// labels (one line each).
void WriteErrorTableHeading(OutFile& file, bool compareMode,
                            const std::array<std::string, 3>& labels);

// Appends the table for `N` coding steps to the error file, when it is open.
void CompareReport(OutFile& errorFile, const CoderState& coder, const ReportHeading& heading,
                   uint32_t N);

}  // namespace zortan
