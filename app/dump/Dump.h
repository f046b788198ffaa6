// zortan-dump: the settings and records of a tree, fvs or combined (.zrt)
// file, read with the program's own readers.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/dump/Table.h"

namespace zortan::dump {

enum class FileKind { Tree, Fvs, Zrt };

// The records to show, by 0-based index, both ends included.
struct RecordRange {
    uint64_t from = 0;
    std::optional<uint64_t> to;  // none: to the last record
    bool contains(uint64_t index) const { return index >= from && (!to || index <= *to); }
    bool pastEnd(uint64_t index) const { return to && index > *to; }
};

// "FROM:TO", "FROM:", ":TO" or a single "N"; nothing when malformed or when
// FROM is beyond TO.
std::optional<RecordRange> parseRecordRange(const std::string& text);

// What was read of a file. `problem` is the reader's message when the file
// could not be read whole (the fields and records then hold what was read);
// `notes` are the readers' remarks on a file read whole.
struct Dump {
    std::vector<Field> fields;
    Table table;
    std::vector<std::string> notes;
    std::string problem;
};

// Takes the records one by one as they are read, instead of the table.
class RecordSink {
  public:
    virtual ~RecordSink() = default;
    // Before the first record: the fields and the table's columns (no rows).
    virtual void start(const Dump& d) = 0;
    virtual void record(const std::vector<std::string>& cells) = 0;
};

// Hands a record to `sink`, or keeps it in the table when there is none.
inline void take(Dump& d, RecordSink* sink, std::vector<std::string> cells) {
    if (sink != nullptr)
        sink->record(cells);
    else
        d.table.rows.push_back(std::move(cells));
}

// The kind by the name's extension (".vq*", ".fvs", ".zrt", any case), else
// by the content: a first line beginning "date" is a tree, a count record
// of 253 a combined file, anything else an fvs file. An input/output error
// when the file cannot be opened.
FileKind fileKind(const std::string& path);

// `kind` restricts the fvs vectors to one feature kind (0..4); the signal
// is left out of the records unless `withSignal`. The records of an fvs or
// combined file, which may be many, go to `sink` when one is given.
Dump dumpTree(const std::string& path, const RecordRange& range);
Dump dumpFvs(const std::string& path, const RecordRange& range, std::optional<int> kind,
             bool withSignal, RecordSink* sink = nullptr);
Dump dumpZrt(const std::string& path, const RecordRange& range, RecordSink* sink = nullptr);

struct Request {
    std::string path;
    RecordRange range;
    bool csv = false;
    std::optional<int> kind;
};

// Prints the file to `out` (CSV: the records only), the records of an fvs
// or combined file as they are read, and the problems to `err`; the exit
// status: 0 when the file was read whole, 1 otherwise.
int run(const Request& request, std::ostream& out, std::ostream& err);

}  // namespace zortan::dump
