#include "app/dump/Dump.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <exception>
#include <memory>

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

FileKind fileKind(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext.rfind(".vq", 0) == 0) return FileKind::Tree;
    if (ext == ".fvs") return FileKind::Fvs;
    if (ext == ".zrt") return FileKind::Zrt;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) throw ioErrorFromErrno(errno);
    unsigned char head[6] = {};
    const size_t n = std::fread(head, 1, sizeof head, file.get());
    if (n >= 4 && std::equal(head, head + 4, "date")) return FileKind::Tree;
    const unsigned char count[6] = {253, 0, 0, 0, 0, 0};
    if (n == 6 && std::equal(head, head + 6, count)) return FileKind::Zrt;
    return FileKind::Fvs;
}

namespace {

// Prints a dump: in text its fields with the file's name and kind first,
// then, after a blank line, its records; in CSV the records only.
class Printer : public RecordSink {
  public:
    Printer(std::ostream& out, const Request& request) : out_(out), request_(request) {}

    void start(const Dump& d) override {
        if (!request_.csv) {
            printFields(d);
            out_ << '\n';
        }
        writer_.header(d.table);
        started_ = true;
    }
    void record(const std::vector<std::string>& cells) override { writer_.row(cells); }

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
    FileKind kind = FileKind::Fvs;

  private:
    void printFields(const Dump& d) {
        std::vector<Field> fields = {{"file", request_.path}, {"kind", kindName(kind)}};
        fields.insert(fields.end(), d.fields.begin(), d.fields.end());
        writeFields(out_, fields);
    }

    std::ostream& out_;
    const Request& request_;
    RowWriter writer_{out_, request_.csv};
    bool started_ = false;
};

}  // namespace

int run(const Request& request, std::ostream& out, std::ostream& err) {
    const auto say = [&](const std::string& text) {
        err << "zortan-dump: " << request.path << ": " << text << '\n';
    };
    Printer printer(out, request);
    Dump d;
    try {
        printer.kind = fileKind(request.path);
        switch (printer.kind) {
            case FileKind::Tree:
                d = dumpTree(request.path, request.range);
                break;
            case FileKind::Fvs:
                d = dumpFvs(request.path, request.range, request.kind, request.csv, &printer);
                break;
            case FileKind::Zrt:
                d = dumpZrt(request.path, request.range, &printer);
                break;
        }
    } catch (const std::exception& e) {
        say(e.what());
        return 1;
    }
    printer.finish(d);
    for (const std::string& note : d.notes) say(note);
    if (d.problem.empty()) return 0;
    say(d.problem);
    return 1;
}

}  // namespace zortan::dump
