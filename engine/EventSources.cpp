#include "engine/EventSources.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "base/TextReader.h"
#include "events/FvsFile.h"
#include "events/FvsReader.h"
#include "events/TextEventReader.h"
#include "platform/Errors.h"
#include "platform/Host.h"

namespace zortan {

namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

class FvsSource : public EventSource {
  public:
    explicit FvsSource(const std::string& path) {
        std::error_code sizeError;
        const uintmax_t bytes = fs::file_size(path, sizeError);
        file_.open(path);
        const uint8_t* header = file_.nextRecord();
        if (header == nullptr)
            throw SourceRefusal("The fvs file " + quoted(path) + " holds no header record (" +
                                std::to_string(kFvsRecordSize) +
                                " bytes): Read beyond end of file");
        if (!sizeError && bytes % kFvsRecordSize != 0)
            throw SourceRefusal("The fvs file " + quoted(path) + " holds " + std::to_string(bytes) +
                                " bytes, no whole number of " + std::to_string(kFvsRecordSize) +
                                "-byte records.");
        if (const std::string why = FvsHeaderImplausible(header); !why.empty())
            throw SourceRefusal("The file " + quoted(path) + " is no fvs file: " + why + ".");
        FvsHeaderFields f = ParseFvsHeader(header);
        info_.path = path;
        info_.fvs = true;
        info_.declaredEvents = f.records;
        if (!sizeError) info_.recordsHeld = static_cast<int64_t>(bytes / kFvsRecordSize) - 1;
        info_.settings = f.settings;
        // The feature kind and averaging are the tree's, not the header's.
        info_.settings.featureKind = -1;
        info_.settings.averaging = false;
        info_.settings.averagingFrames = 0;
        info_.cathNbr = f.cathNbr;
        info_.waveName = std::move(f.waveName);
        info_.remarks = std::move(f.remarks);
    }

    bool next(EventRecord& event, int featureKind, int32_t, bool& faulty) override {
        faulty = false;
        const uint8_t* r = file_.nextRecord();
        if (r == nullptr) return false;
        const auto kind = static_cast<size_t>(featureKind);
        // The next event's vector may sit in another processor's cache:
        // fetch it while this one is coded.
        if (const uint8_t* next = file_.peekNext()) PrefetchFeatureVector(next, kind);
        DecodeFvsEvent(r, kind, event);
        return true;
    }
    FvsFile* fvsFile() override { return &file_; }

  private:
    FvsFile file_;
};

class TextSource : public EventSource {
  public:
    explicit TextSource(const std::string& path) : reader_(path) {
        if (const std::string why = TableHeaderImplausible(path); !why.empty())
            throw SourceRefusal("The file " + quoted(path) + " is no text table: " + why + ".");
        TextHeaderFields h = ParseTextHeader(reader_, info_.nc, info_.settings.lifterThreshold);
        if (h.faulty) throw SourceRefusal(error100Message(path));
        info_.path = path;
        info_.declaredEvents = h.count;
        info_.nc = h.nc;
        info_.settings.lifterThreshold = h.nc16;
        for (int i = 0; i < 3; ++i)
            info_.labels[static_cast<size_t>(i)] = NextCategoryName(h.lastLine, i + 1);
    }

    bool next(EventRecord& event, int, int32_t components, bool& faulty) override {
        return ParseTextRow(reader_, row_, components, event, faulty) == RowStatus::Read;
    }

  private:
    TextReader reader_;
    std::string row_;
};

}  // namespace

bool isFvsPath(const std::string& path) {
    std::string ext = extractFileExt(path);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".fvs") return true;
    if (ext == ".txt" || !fileExists(path)) return false;
    std::ifstream in(path, std::ios::binary);
    std::array<char, kFvsRecordSize> head{};
    in.read(head.data(), head.size());
    const auto got = static_cast<size_t>(in.gcount());
    return std::find(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(got), '\0') !=
           head.begin() + static_cast<std::ptrdiff_t>(got);
}

std::unique_ptr<EventSource> OpenEventFile(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status))
        throw SourceRefusal("The event file " + quoted(path) + " does not exist.");
    if (fs::is_directory(status))
        throw SourceRefusal(quoted(path) + " is a directory, not an event file.");
    if (!fs::is_regular_file(status))
        throw SourceRefusal(quoted(path) + " is not a regular file (a pipe or a device).");
    try {
        if (isFvsPath(path)) return std::make_unique<FvsSource>(path);
        return std::make_unique<TextSource>(path);
    } catch (const InOutError& e) {
        throw SourceRefusal("The event file " + quoted(path) + " cannot be read: " + e.what());
    } catch (const std::system_error& e) {
        // The fvs file's reading thread could not be started.
        throw SourceRefusal("The event file " + quoted(path) +
                            " cannot be read: no thread could be started to read it (" + e.what() +
                            ").");
    }
}

}  // namespace zortan
