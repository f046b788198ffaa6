// The text event table: a preamble, the count line, nc, the value range, the
// header row with the category names, then one event per row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/TextReader.h"
#include "core/EventRecord.h"
#include "events/EventSeries.h"
#include "events/FvsFile.h"

namespace zortan {

// What a table's header yields. Items not reached after a fault keep the
// values given to the parse.
struct TextHeaderFields {
    std::optional<int64_t> count;        // the events count, when its line was found
    int32_t nc = 0;                      // the components count as read
    int16_t nc16 = 0;                    // ... and its 16-bit copy
    std::optional<double> featureRange;  // from the value range, when it was read
    std::string lastLine;                // the category names come from here
    bool faulty = false;                 // the Error 100 message is due
};

// Why the file at `path` cannot be a text table, or empty when it can: after
// the comment lines, the events count line, then a line holding the
// components count alone, a line holding the value range alone, and the
// names row, with the three category names and a name per component.
// Stricter than the window's reading, which takes the first number of each
// line: a file of another kind passes that by chance.
std::string TableHeaderImplausible(const std::string& path);

// Reads a table's header from the start of `in`; `nc` and `nc16` are what
// the fields keep when the header ends first.
TextHeaderFields ParseTextHeader(TextReader& in, int32_t nc, int16_t nc16);

// Reads the next row that holds an event into `event`: its three qualifiers
// and the first `components` components (the reals follow them). A faulty
// row sets `faulty` and leaves the fields it did not reach as they were.
RowStatus ParseTextRow(TextReader& in, std::string& row, int32_t components, EventRecord& event,
                       bool& faulty);

// The event's components in the record buffer's slot that the pictures read
// for a table's event.
void StoreTextEvent(const EventRecord& event, FvsRecord& record);

// Removes and returns the next word of `line`; "Y" + number when none is left.
std::string NextCategoryName(std::string& line, int number);

// The Error 100 message for the file at `path`.
std::string error100Message(const std::string& path);

}  // namespace zortan
