#include "app/dump/Dump.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "events/FvsReader.h"
#include "output/RunRecords.h"
#include "platform/Errors.h"

namespace zortan::dump {

namespace {

std::optional<uint64_t> parseIndex(const std::string& text) {
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

std::string lowerExtension(const std::string& path) {
    const size_t name = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (name != std::string::npos && dot < name)) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

const char* kindName(FileKind kind) {
    switch (kind) {
        case FileKind::Tree:
            return "quantization tree";
        case FileKind::Fvs:
            return "fvs event file";
        case FileKind::Zrt:
            return "combined output file";
    }
    return "";
}

// What a path names when it is not a regular file.
std::string otherFileText(std::filesystem::file_type type) {
    using std::filesystem::file_type;
    switch (type) {
        case file_type::directory:
            return "a folder";
        case file_type::fifo:
            return "a pipe (FIFO)";
        case file_type::character:
            return "a character device";
        case file_type::block:
            return "a block device";
        case file_type::socket:
            return "a socket";
        default:
            return "no regular file";
    }
}

std::string countText(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::optional<RecordRange> parseRecordRange(const std::string& text) {
    RecordRange range;
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        const auto only = parseIndex(text);
        if (!only) return std::nullopt;
        range.from = *only;
        range.to = *only;
        return range;
    }
    const std::string from = text.substr(0, colon), to = text.substr(colon + 1);
    if (!from.empty()) {
        const auto value = parseIndex(from);
        if (!value) return std::nullopt;
        range.from = *value;
    }
    if (!to.empty()) {
        range.to = parseIndex(to);
        if (!range.to || *range.to < range.from) return std::nullopt;
    }
    return range;
}

KindOfFile fileKind(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) throw ioErrorFromErrno(ENOENT);
    // Opening a pipe waits for a writer and a device may never end: neither
    // is opened.
    if (!ec && status.type() != fs::file_type::regular)
        return {std::nullopt, false,
                "not a regular file but " + otherFileText(status.type()) +
                    ": only regular files are read"};

    const std::string ext = lowerExtension(path);
    if (ext.rfind(".vq", 0) == 0) return {FileKind::Tree, true, {}};
    if (ext == ".fvs") return {FileKind::Fvs, true, {}};
    if (ext == ".zrt") return {FileKind::Zrt, true, {}};

    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) throw ioErrorFromErrno(errno);
    unsigned char head[12] = {};
    const size_t n = std::fread(head, 1, sizeof head, file.get());
    if (std::ferror(file.get())) throw ioErrorFromErrno(errno);
    const uintmax_t bytes = fs::file_size(path, ec);
    if (n >= 4 && std::equal(head, head + 4, "date")) return {FileKind::Tree, false, {}};
    const unsigned char count[kOutputRecordSize] = {253, 0, 0, 0, 0, 0};
    if (n >= kOutputRecordSize && std::equal(count, count + kOutputRecordSize, head))
        return {FileKind::Zrt, false, {}};
    const std::string none = "not a tree, fvs or .zrt file: ";
    if (n == 0) return {std::nullopt, false, none + "the file is empty"};
    if (n == sizeof head && std::equal(head, head + 4, "RIFF") &&
        std::equal(head + 8, head + 12, "WAVE"))
        return {std::nullopt, false, none + "a WAV file (RIFF WAVE)"};
    if (!ec && bytes % kFvsRecordSize == 0) return {FileKind::Fvs, false, {}};
    return {std::nullopt, false,
            none +
                "its first line does not begin with \"date\", it does not begin with a count "
                "record of 253 certificate records, and its " +
                (ec ? std::string("bytes") : countText(bytes, "byte", "bytes")) +
                " are no whole number of " + std::to_string(kFvsRecordSize) + "-byte records"};
}

namespace {

// The CSV table that several files share: the columns of the first file
// dumped, each row led by its file's name.
struct CsvTable {
    bool withFile = false;
    std::optional<std::vector<std::string>> columns;
    std::string firstPath;
};

// A file's records refused before the first was printed.
struct Refused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Prints a dump: in text its fields with the file's name and kind first,
// then, after a blank line, its records; in CSV the records only.
class Printer : public RecordSink {
  public:
    Printer(std::ostream& out, const Request& request, const std::string& path, CsvTable& csv)
        : out_(out), request_(request), path_(path), csv_(csv) {}

    void start(const Dump& d) override {
        if (request_.csv) {
            std::vector<std::string> columns = d.table.columns;
            if (csv_.withFile) columns.insert(columns.begin(), "file");
            if (csv_.columns) {
                if (*csv_.columns != columns)
                    throw Refused("its records have other columns than those of " + csv_.firstPath +
                                  ": several files make one CSV table only when their records' "
                                  "columns are the same");
                started_ = true;
                return;
            }
            csv_.columns = columns;
            csv_.firstPath = path_;
            writer_.header(Table{columns, {}, {}});
        } else {
            printFields(d);
            out_ << '\n';
            writer_.header(d.table);
        }
        started_ = true;
    }
    void record(const std::vector<std::string>& cells) override {
        if (!csv_.withFile) return writer_.row(cells);
        std::vector<std::string> row = {path_};
        row.insert(row.end(), cells.begin(), cells.end());
        writer_.row(row);
    }

    // What the dump kept, where its records were not printed as they came.
    void finish(Dump& d) {
        if (started_) return;
        if (d.table.columns.empty()) {
            if (!request_.csv) printFields(d);
            return;
        }
        if (d.table.widths.empty()) d.table.widths = widthsOfRows(d.table);
        start(d);
        for (const auto& row : d.table.rows) record(row);
    }
    KindOfFile kind;

  private:
    void printFields(const Dump& d) {
        std::vector<Field> fields = {{"file", path_}};
        if (kind.kind)
            fields.push_back(
                {"kind", std::string(kindName(*kind.kind)) +
                             (kind.byExtension ? ", by its extension" : ", by its content")});
        fields.insert(fields.end(), d.fields.begin(), d.fields.end());
        writeFields(out_, fields);
    }

    std::ostream& out_;
    const Request& request_;
    const std::string& path_;
    CsvTable& csv_;
    RowWriter writer_{out_, request_.csv};
    bool started_ = false;
};

// The range's records the file does not hold: a range that begins past the
// end fails the file, one that ends past it is remarked.
std::optional<std::string> pastTheEnd(const RecordRange& range, uint64_t count, bool& fails) {
    const std::string held = "the file holds " + countText(count, "record", "records") +
                             (count > 0 ? " (0 to " + std::to_string(count - 1) + ")" : "");
    fails = range.from >= count;
    if (fails) return "no record from " + std::to_string(range.from) + " on: " + held;
    if (range.to && *range.to >= count)
        return "records " + std::to_string(count) + " to " + std::to_string(*range.to) +
               " are past the end: " + held;
    return std::nullopt;
}

// Dumps one file; whether it was read whole.
bool dumpFile(const std::string& path, const Request& request, CsvTable& csv, std::ostream& out,
              std::ostream& err) {
    const auto say = [&](const std::string& text) {
        out.flush();
        err << "zortan-dump: " << path << ": " << text << '\n';
    };
    Printer printer(out, request, path, csv);
    Dump d;
    try {
        printer.kind = fileKind(path);
        if (!printer.kind.kind) {
            if (!request.csv) printer.finish(d);
            say(printer.kind.refusal);
            return false;
        }
        switch (*printer.kind.kind) {
            case FileKind::Tree:
                d = dumpTree(path, request.range);
                break;
            case FileKind::Fvs:
                d = dumpFvs(path, request.range, request.kind, request.csv, &printer);
                break;
            case FileKind::Zrt:
                d = dumpZrt(path, request.range, &printer);
                break;
        }
        printer.finish(d);
    } catch (const std::exception& e) {
        say(e.what());
        return false;
    }
    for (const std::string& note : d.notes) say(note);
    if (!d.problem.empty()) {
        say(d.problem);
        return false;
    }
    bool fails = false;
    if (request.range.narrows() && d.recordCount)
        if (const auto remark = pastTheEnd(request.range, *d.recordCount, fails)) say(*remark);
    return !fails;
}

}  // namespace

int run(const Request& request, std::ostream& out, std::ostream& err) {
    const size_t files = request.paths.size();
    CsvTable csv;
    csv.withFile = request.csv && files > 1;
    std::vector<std::string> failed;
    for (size_t i = 0; i < files; ++i) {
        const std::string& path = request.paths[i];
        if (files > 1 && !request.csv) out << (i > 0 ? "\n" : "") << "==> " << path << " <==\n";
        if (!dumpFile(path, request, csv, out, err)) failed.push_back(path);
    }
    out.flush();
    if (files > 1 && !failed.empty()) {
        err << "zortan-dump: " << failed.size() << " of " << files << " files not read whole:\n";
        for (const std::string& path : failed) err << "  " << path << '\n';
    }
    return failed.empty() ? 0 : 1;
}

}  // namespace zortan::dump
