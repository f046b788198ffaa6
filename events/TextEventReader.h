// The text event table: a preamble, the count line, nc, the value range, the
// header row with the category names, then one event per row.
#pragma once

#include <string>

#include "events/EventSeries.h"

namespace zortan {

struct Program;

// Reads the header of the series' open text file and applies it to the
// program's state. `path` names the file in the Error 100 message.
void OpenTextHeader(Program& program, EventSeries& series, const std::string& path);

// Reads one event row into the current event record.
RowStatus ReadTextRow(Program& program, EventSeries& series, const std::string& path);

// Removes and returns the next word of `line`; "Y" + number when none is left.
std::string NextCategoryName(std::string& line, int number);

// The Error 100 message for the file at `path`.
std::string error100Message(const std::string& path);

}  // namespace zortan
