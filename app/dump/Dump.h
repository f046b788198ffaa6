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
    // Whether it leaves any record out: only then can it reach past the end.
    bool narrows() const { return from > 0 || to.has_value(); }
};

// "FROM:TO", "FROM:", ":TO" or a single "N"; nothing when malformed or when
// FROM is beyond TO.
std::optional<RecordRange> parseRecordRange(const std::string& text);

// What was read of a file. `problem` is the reason the file could not be
// read whole (the fields and records then hold what was read); `notes` are
// remarks on a file read whole; `recordCount` is how many records the file
// holds, where the dump came to know it.
struct Dump {
    std::vector<Field> fields;
    Table table;
    std::vector<std::string> notes;
    std::string problem;
    std::optional<uint64_t> recordCount;
};

// Takes the records one by one as they are read, instead of the table.
class RecordSink {
  public:
    virtual ~RecordSink() = default;
    // Before the first record: the fields and the table's columns (no rows).
    // May refuse the records by throwing.
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

// The kind a file was taken for and what told it, or why it is of none.
struct KindOfFile {
    std::optional<FileKind> kind;
    bool byExtension = false;
    std::string refusal;  // when there is no kind
};

// Only regular files are looked at (a pipe or a device is never opened):
// anything else is refused, and a file that is not there is an input/output
// error. The kind is that of the name's extension (".vq*", ".fvs", ".zrt",
// any case), else that of the content: a first line beginning "date" is a
// tree, a count record of 253 certificate records a combined file, a whole
// number of 1812-byte records (one at least) an fvs file; anything else
// (an empty file, a WAV file) is of no kind.
KindOfFile fileKind(const std::string& path);

// `kind` restricts the fvs vectors to one feature kind (0..4); the signal
// is left out of the records unless `withSignal`. The records of an fvs or
// combined file, which may be many, go to `sink` when one is given.
Dump dumpTree(const std::string& path, const RecordRange& range);
Dump dumpFvs(const std::string& path, const RecordRange& range, std::optional<int> kind,
             bool withSignal, RecordSink* sink = nullptr);
Dump dumpZrt(const std::string& path, const RecordRange& range, RecordSink* sink = nullptr);

struct Request {
    std::vector<std::string> paths;
    RecordRange range;
    bool csv = false;
    std::optional<int> kind;
};

// Prints the files to `out` one after the other, the records of an fvs or
// combined file as they are read, and the problems to `err`, each naming
// its file. Text: with several files each begins with a heading line
// "==> FILE <==". CSV: the records only; with several files one table, each
// row led by a "file" column, of the files whose columns are those of the
// first (the others are refused). A range that begins past a file's end
// fails it, one that ends past it is remarked. The exit status: 0 when
// every file was read whole, 1 otherwise.
int run(const Request& request, std::ostream& out, std::ostream& err);

}  // namespace zortan::dump
