#include "bench/EventFiles.h"

#include <cerrno>
#include <filesystem>
#include <random>
#include <vector>

#include "bench/BenchData.h"
#include "platform/Errors.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tools/fixtures/TextEventFileWriter.h"
#include "tools/fixtures/TreeFileWriter.h"

namespace zortan::bench {

namespace {

constexpr size_t kRowsPerChunk = 1000;

std::FILE* create(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw ioErrorFromErrno(errno);
    return f;
}

void put(std::FILE* f, const void* data, size_t size) {
    if (std::fwrite(data, 1, size, f) != size) throw ioErrorFromErrno(errno ? errno : EIO);
}

void finish(std::FILE*& f) {
    if (!f) return;
    std::FILE* closing = f;
    f = nullptr;
    if (std::fclose(closing) != 0) throw ioErrorFromErrno(errno ? errno : EIO);
}

// The text the fixture writes for `table`, from its first event row on: the
// fixture's header lines (count, nc, range, header row) are dropped.
std::string rowsText(const fixtures::TextEventTable& table) {
    const std::string text = fixtures::textEventFileText(table);
    size_t at = 0;
    for (int line = 0; line < 4; ++line) at = text.find("\r\n", at) + 2;
    return text.substr(at);
}

}  // namespace

FvsStream::FvsStream(const std::string& path, uint32_t events, int featureKind)
    : featureKind_(featureKind) {
    fixtures::FvsHeader header;
    header.recordCount = events;
    header.lifterThreshold = 24;
    header.windowShape = 1;
    header.preemphasis = 1;
    header.cathNbr = {2, 5, 2};
    header.waveName = "bench.wav";
    file_ = create(path);
    const FvsRecord record = fixtures::encodeFvsHeader(header);
    put(file_, record.data(), record.size());
}

FvsStream::~FvsStream() {
    if (file_) std::fclose(file_);
}

void FvsStream::add(const EventRecord& event) {
    fixtures::FvsEvent e;
    e.features[static_cast<size_t>(featureKind_)] = event.components;
    e.cath1 = event.cath1;
    e.cath2 = event.cath2;
    e.cath3 = event.cath3;
    const FvsRecord record = fixtures::encodeFvsEvent(e);
    put(file_, record.data(), record.size());
}

void FvsStream::close() {
    finish(file_);
}

TextTableStream::TextTableStream(const std::string& path, int64_t events, int nc)
    : nc_(nc), events_(events) {
    fixtures::TextEventTable table;
    table.preamble = {"Events for the throughput benchmark"};
    table.eventCount = events;
    table.nc = nc;
    table.headerRow = "Speaker Vowel Gender";
    const std::string text = fixtures::textEventFileText(table);
    file_ = create(path);
    put(file_, text.data(), text.size());
}

TextTableStream::~TextTableStream() {
    if (file_) std::fclose(file_);
}

void TextTableStream::add(const EventRecord& event) {
    pending_.push_back(event);
    if (pending_.size() == kRowsPerChunk) flushRows();
}

void TextTableStream::flushRows() {
    if (pending_.empty()) return;
    fixtures::TextEventTable table;
    table.eventCount = events_;
    table.nc = nc_;
    for (const EventRecord& e : pending_) {
        fixtures::TextEventRow row;
        row.qualifiers = std::string{e.cath1, '\t', e.cath2, '\t', e.cath3};
        row.components.assign(e.components.begin(), e.components.begin() + nc_);
        table.rows.push_back(std::move(row));
    }
    const std::string text = rowsText(table);
    put(file_, text.data(), text.size());
    pending_.clear();
}

void TextTableStream::close() {
    if (file_) flushRows();
    finish(file_);
}

void writeCodebookInputs(const std::string& dir, long fvsEvents, long textEvents, int leaves) {
    std::filesystem::create_directories(dir);
    const fixtures::TreeFileContents contents = codebookTree(leaves, 7);
    fixtures::writeTreeFile(dir + "/tree.vq1", contents);
    const QuantizationTree& tree = contents.tree;
    const std::vector<int> leafNodes = leavesOf(tree);
    std::mt19937 random(11);
    if (fvsEvents > 0) {
        FvsStream out(dir + "/events.fvs", static_cast<uint32_t>(fvsEvents),
                      tree.training.featureKind);
        for (long i = 0; i < fvsEvents; ++i) out.add(eventNear(tree, leafNodes, random));
        out.close();
    }
    if (textEvents > 0) {
        TextTableStream out(dir + "/events.txt", textEvents, kComponents);
        for (long i = 0; i < textEvents; ++i) out.add(eventNear(tree, leafNodes, random));
        out.close();
    }
}

}  // namespace zortan::bench
