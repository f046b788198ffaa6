// Annotations of recordings, read from the label files of the common tools,
// and the map that turns their labels into one-character qualifiers.
//
// Formats read (the content decides, the extension settles what the content
// cannot tell):
// - Praat TextGrid, long and short text forms, UTF-8 or UTF-16 with a byte
//   order mark; interval tiers only (point tiers are listed as not read);
// - HTK .lab: "start end label [score ...]" in 100 ns units, transcriptions
//   separated by "///" lines becoming tiers "1", "2", ...;
// - ESPS/xwaves .lab: a header up to a line "#", then "end-time color label"
//   lines, each interval starting where the one before ended;
// - TIMIT .phn/.wrd: "start-sample end-sample label";
// - Audacity label tracks: "start<TAB>end<TAB>label" in seconds, a line
//   beginning with "\" (a frequency range) skipped.
// A tier of a single-tier format is named after it: "lab", "phn" (or "wrd"),
// "audacity". Labels are trimmed of surrounding blanks; an empty label is an
// interval outside every label. Intervals of no duration cover no time and
// are dropped; each tier is sorted by time and refused when two overlap.
#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace zortan::analysis {

// A fault in an annotation or a label map; the text names the file and, where
// there is one, the line ("path:line: what is wrong").
class LabelError : public std::runtime_error {
  public:
    explicit LabelError(const std::string& message) : std::runtime_error(message) {}
    LabelError(const std::string& path, int line, const std::string& message);
};

struct Interval {
    double start = 0, end = 0;  // seconds
    std::string label;          // empty: no label
};

struct Tier {
    std::string name;
    std::vector<Interval> intervals;  // sorted, not overlapping
};

struct Annotation {
    std::string path;
    // "textgrid-long", "textgrid-short", "htk", "esps", "timit", "audacity"
    std::string format;
    std::vector<Tier> tiers;
    std::vector<std::string> pointTiers;  // TextGrid point tiers, not read
    // The latest end of an interval in any tier, 0 when there is none.
    double end() const;
};

// Reads the annotation at `path`. `sampleRate` (Hz) converts the sample
// numbers of a TIMIT file and must then be above 0; the other formats
// ignore it.
Annotation ReadAnnotation(const std::string& path, double sampleRate);

// The tier called `name`, else the interval tier of that 1-based number.
// A missing tier's error lists the tiers there are.
const Tier& TierNamed(const Annotation& a, const std::string& name);

// The interval with start <= time < end and a label, or nullptr.
const Interval* IntervalAt(const Tier& t, double time);

// Labels to one-byte qualifiers. The empty label, a frame outside every
// labelled interval, has a reserved character. A label of one printable
// character (33..126) is its own qualifier unless that character is reserved
// or already taken; any other label takes the first free character in the
// order 'A'..'Z', 'a'..'z', '0'..'9', the other printable ASCII characters
// by code, then 128..255 — so labels met in the same order get the same map.
// Those are 222 characters, one of them the reserved one when it is among
// them; one label more is refused.
//
// The map file: text, CR LF lines "<char><TAB><label>" in the order of
// assignment, the first line the reserved character with "(outside)"; a
// character outside printable ASCII is written "\xNN". A map read back keeps
// every assignment and goes on assigning as the map it was written from.
class LabelMap {
  public:
    explicit LabelMap(char outside = '-');

    // The qualifier of `label`, assigned now when the label is new.
    char charFor(const std::string& label);
    // The label of `c`: empty for the reserved character and for a
    // character not assigned.
    std::string labelOf(char c) const;
    char outside() const { return outside_; }
    size_t size() const { return order_.size(); }  // labels assigned

    static LabelMap Read(const std::string& path);
    void Write(const std::string& path) const;

  private:
    void assign(const std::string& label, unsigned char c);

    char outside_;
    std::unordered_map<std::string, unsigned char> charOf_;
    std::array<std::string, 256> labelOf_;
    std::array<bool, 256> taken_{};
    std::vector<unsigned char> order_;  // characters in the order assigned
};

}  // namespace zortan::analysis
