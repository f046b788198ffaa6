// The statistics table appended to the error file at the end of a run.
#pragma once

#include <cstdint>

namespace zortan {

struct Program;

// After a pair of events in compare mode: counts, per tree size, the pairs
// that fall into different nodes or carry different readings.
void CountCompareDifferences(Program& program);

// Appends the table for `N` coding steps to the error file, when it is open.
void CompareReport(Program& program, uint32_t N);

}  // namespace zortan
