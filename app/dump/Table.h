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
    // The most characters a cell of each column takes, where that is known
    // before the records are read (0: not known).
    std::vector<size_t> widths;
    std::vector<std::vector<std::string>> rows;  // each as many cells as columns
};

// "key:   value" lines with the values lined up after the longest key.
void writeFields(std::ostream& out, const std::vector<Field>& fields);

// Writes a table row by row as its records come. Text: each column
// right-aligned to the width of its name or of its cells as the table
// gives it, columns two blanks apart (a wider cell pushes the rest of its
// line on). CSV: a cell holding a comma, a double quote, a blank or a line
// end is quoted. Lines end with LF.
class RowWriter {
  public:
    RowWriter(std::ostream& out, bool csv) : out_(out), csv_(csv) {}
    void header(const Table& table);
    void row(const std::vector<std::string>& cells);

  private:
    std::ostream& out_;
    bool csv_;
    std::vector<size_t> widths_;
};

// The widths of a table's columns from its rows, for a table whose widths
// are not known beforehand.
std::vector<size_t> widthsOfRows(const Table& table);

// A qualifier or list character as text: itself when it is printable and
// not a blank, else "#" and its code ("#0", "#32").
std::string characterText(char c);

}  // namespace zortan::dump
