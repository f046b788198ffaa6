// Event sources of a run without a window: an fvs file or a text table.
// Each opens with a typed refusal when the file is not
// of its kind, says what it holds, and hands out one event at a time.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/EventRecord.h"
#include "events/FvsFile.h"
#include "tree/QuantizationTree.h"

namespace zortan {

// The file cannot be an event file of the kind its name gives; what() says
// why, naming the file.
class SourceRefusal : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What a source holds, as its header declares it.
struct SourceInfo {
    std::string path;
    bool fvs = false;
    // The events its header declares: an fvs header's count, a table's count
    // line when it has one.
    std::optional<int64_t> declaredEvents;
    // fvs: the events its size holds.
    std::optional<int64_t> recordsHeld;
    // The analysis settings it records (an fvs header's; a table records only
    // its components count, as the lifter threshold).
    AnalysisSettings settings;
    std::array<uint8_t, 3> cathNbr{};  // category value counts (fvs)
    std::string waveName;              // fvs
    // A table's components count (as declared) and its category names.
    int32_t nc = std::numeric_limits<int32_t>::max();
    std::array<std::string, 3> labels;
    // What the window would tell about the header, in order.
    std::vector<std::string> remarks;
};

class EventSource {
  public:
    virtual ~EventSource() = default;
    const SourceInfo& info() const { return info_; }
    // The next event: its qualifiers and, of an fvs record, the vector of
    // `featureKind`, of a table row its first `components` components.
    // False at the end; `faulty` tells of a row with bad fields, coded as far
    // as it was read. Platform errors pass through.
    virtual bool next(EventRecord& event, int featureKind, int32_t components, bool& faulty) = 0;
    // The fvs file it reads, whose reading thread may work ahead on its
    // records; null for other sources.
    virtual FvsFile* fvsFile() { return nullptr; }

  protected:
    SourceInfo info_;
};

// Whether the file at `path` is read as an fvs file: its extension is
// ".fvs" in any case; ".txt" is a text table; otherwise the content tells
// (an fvs header holds zero bytes, a table's preamble is text).
bool isFvsPath(const std::string& path);

// Opens the event file at `path` and reads its header. A file that does not
// exist, is a folder, cannot be opened, or cannot be an event file of its
// kind (an fvs file with no whole header record or whose size is no whole
// number of records; a table whose header rows are not a table's) is
// refused with the reason, and so is anything but a regular file.
std::unique_ptr<EventSource> OpenEventFile(const std::string& path);

}  // namespace zortan
