// An fvs event file as the coding run takes it in: its header applied to the
// series and the program, and each event record decoded into the current
// event and handed to the pictures.
#pragma once

#include "events/EventSeries.h"

namespace zortan {

struct Program;

// Reads record 0 of the series' open fvs file and applies it: the series'
// settings, counts and texts, the wave file's name and the events count.
void OpenFvsHeader(Program& program, EventSeries& series);

// Reads the next event record into the current event (and into the shared
// record buffer when the pictures or a feature-kind question need it).
RowStatus ReadFvsRecord(Program& program, EventSeries& series);

}  // namespace zortan
