// The current local date and time, and the texts and day counts the outputs
// record of them.
#pragma once

#include <string>

namespace zortan {

struct LocalDateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

LocalDateTime currentLocalDateTime();

// Whole days since 30 December 1899.
double toTDate(const LocalDateTime& t);
// The fraction of the day.
double toTTime(const LocalDateTime& t);
// The short date and long time texts of the system: "2026-12-06", "21:05:09".
std::string shortDateText(const LocalDateTime& t);
std::string longTimeText(const LocalDateTime& t);

}  // namespace zortan
