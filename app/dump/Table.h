// What zortan-dump prints: a file's settings as key and value lines, and
// its records as a table, aligned for a person or as CSV.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zortan::dump {

struct Field {
    std::string key;
    std::string value;
};

struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;  // each as many cells as columns
};

// "key:   value" lines with the values lined up after the longest key.
void writeFields(std::ostream& out, const std::vector<Field>& fields);

// The header and the rows, each column right-aligned to its widest cell,
// columns two blanks apart.
void writeAligned(std::ostream& out, const Table& table);

// One header row and one row per record, LF line ends; a cell holding a
// comma, a double quote, a blank or a line end is quoted.
void writeCsv(std::ostream& out, const Table& table);

// A qualifier or list character as text: itself when it is printable and
// not a blank, else "#" and its code ("#0", "#32").
std::string characterText(char c);

}  // namespace zortan::dump
