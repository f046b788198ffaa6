// A text event table as the coding run takes it in: its header applied to
// the series and the program, and each row read into the current event and
// handed to the pictures.
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

}  // namespace zortan
