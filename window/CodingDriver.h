// The coding run: opening the inputs, coding every event, serving the
// stepwise and Break controls, and the finish sequence.
#pragma once

#include <cstdint>
#include <string>

#include "events/EventSeries.h"
#include "output/CompareReport.h"
#include "tree/QuantizationTree.h"

namespace zortan {

struct Program;

// The "Read data_1" and "Read data_2" procedures.
void ReadData1(Program& program);
void ReadData2(Program& program);

// Lets the user choose the input's file, decides its kind from the exact
// ".fvs" extension and opens it.
void ChooseAndOpenInput(Program& program, EventSeries& series, const std::string& title);

// The run proper: `declaredCount` is the input's declared component count.
// A platform error stops it after the finish sequence has closed every
// output and given the window back; the error is then raised again.
void Run(Program& program, int32_t declaredCount, bool inputIsFvs);

// The heading of the error file's table for the run as it stands.
ReportHeading ReportHeadingOf(const Program& program);

// "Halt!": closes what a run left open, shows where the results are and
// ends the program.
[[noreturn]] void Halt(Program& program);

// The program ends without "Halt!" (end of input, the window closed): the
// outputs of a run under way are closed whole up to the last coded event,
// without the closing messages; a close that fails is reported.
void CloseOutputsAtEnd(Program& program);

// The input's current event file path and kind.
const std::string& inputPath(const Program& program, int seriesNumber);
bool inputIsFvs(const Program& program, int seriesNumber);

}  // namespace zortan
