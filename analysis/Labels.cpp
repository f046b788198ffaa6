#include "analysis/Labels.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

namespace zortan::analysis {

LabelError::LabelError(const std::string& path, int line, const std::string& message)
    : std::runtime_error(path + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " +
                         message) {}

namespace {

namespace fs = std::filesystem;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Removes and returns the next blank-separated word of `s`.
std::string_view nextWord(std::string_view& s) {
    size_t b = 0;
    while (b < s.size() && isBlank(s[b])) ++b;
    size_t e = b;
    while (e < s.size() && !isBlank(s[e])) ++e;
    const std::string_view word = s.substr(b, e - b);
    s.remove_prefix(e);
    return word;
}

// A text as a message quotes it: control characters shown, long texts cut.
std::string inQuotes(std::string_view s) {
    std::string q = "\"";
    for (char c : s.substr(0, 60)) {
        if (c == '\t')
            q += "\\t";
        else if (c == '\n')
            q += "\\n";
        else if (c == '\r')
            q += "\\r";
        else
            q += c;
    }
    return q + (s.size() > 60 ? "...\"" : "\"");
}

std::string seconds(double t) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, t);
    return std::string(buf, r.ptr);
}

// A real as the text formats write it: optional sign, digits, fraction, exponent.
std::optional<double> parseReal(std::string_view s) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s.front())) || s.front() == '-' ||
                       s.front() == '.'))
        return std::nullopt;  // no "inf" or "nan"
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// A whole non-negative number: digits only.
std::optional<int64_t> parseCount(std::string_view s) {
    if (s.empty() || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int64_t v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc()) return std::nullopt;
    return v;
}

std::string readBytes(const std::string& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found) throw LabelError(path, 0, "no such file");
    if (st.type() == fs::file_type::directory)
        throw LabelError(path, 0, "a folder, not a label file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LabelError(path, 0, "cannot be opened for reading");
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) throw LabelError(path, 0, "cannot be read");
    return bytes;
}

// The line `offset` is on, counting CR LF, LF and CR as line ends.
int lineAt(std::string_view text, size_t offset) {
    int line = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')))
            ++line;
    return line;
}

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The file's text in UTF-8: a UTF-8 byte order mark dropped, UTF-16 with its
// mark (as Praat writes a file that is not all ASCII) converted; any other
// bytes are taken as they are.
std::string decodeText(const std::string& path, std::string bytes) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF)
        return bytes.substr(3);
    if (bytes.size() < 2 ||
        !((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF)))
        return bytes;
    const bool little = byte(0) == 0xFF;
    std::string out;
    out.reserve(bytes.size() / 2);
    auto fault = [&](const std::string& what) {
        return LabelError(path, lineAt(out, out.size()), what);
    };
    auto unit = [&](size_t i) {
        return little ? uint32_t(byte(i)) | uint32_t(byte(i + 1)) << 8
                      : uint32_t(byte(i)) << 8 | uint32_t(byte(i + 1));
    };
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xDC00 && c < 0xE000) throw fault("UTF-16 text with a stray low surrogate");
        if (c >= 0xD800 && c < 0xDC00) {
            const uint32_t low = i + 3 < bytes.size() ? unit(i + 2) : 0;
            if (low < 0xDC00 || low >= 0xE000)
                throw fault("UTF-16 text with a high surrogate not followed by a low one");
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        appendUtf8(out, c);
    }
    if (bytes.size() % 2 != 0) throw fault("UTF-16 text ending in half a character");
    return out;
}

struct Line {
    int number;
    std::string_view text;
};

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    size_t pos = 0;
    for (int n = 1; pos < text.size(); ++n) {
        const size_t e = std::min(text.find_first_of("\r\n", pos), text.size());
        lines.push_back({n, text.substr(pos, e - pos)});
        pos = e + (text.substr(e, 2) == "\r\n" ? 2 : 1);
    }
    return lines;
}

// An interval as read, with its line for the messages.
struct Raw {
    Interval interval;
    int line;
};

struct RawTier {
    std::string name;
    std::vector<Raw> intervals;
};

std::string describe(const Raw& r) {
    const Interval& i = r.interval;
    return (i.label.empty() ? std::string("an interval with no label") : inQuotes(i.label)) + " (" +
           seconds(i.start) + " to " + seconds(i.end) + " s, line " + std::to_string(r.line) + ")";
}

void add(const std::string& path, RawTier& tier, double start, double end, std::string_view label,
         int line) {
    Raw r{{start, end, std::string(trim(label))}, line};
    if (end < start)
        throw LabelError(path, line,
                         "the interval " + inQuotes(r.interval.label) + " ends (" + seconds(end) +
                             " s) before it starts (" + seconds(start) + " s)");
    tier.intervals.push_back(std::move(r));
}

// The tier sorted by time; intervals of no duration dropped, overlaps refused.
Tier finish(const std::string& path, RawTier raw) {
    std::vector<Raw>& v = raw.intervals;
    std::erase_if(v, [](const Raw& r) { return r.interval.end == r.interval.start; });
    std::stable_sort(v.begin(), v.end(), [](const Raw& a, const Raw& b) {
        return a.interval.start < b.interval.start;
    });
    for (size_t i = 1; i < v.size(); ++i)
        if (v[i].interval.start < v[i - 1].interval.end)
            throw LabelError(path, v[i].line,
                             "in tier " + inQuotes(raw.name) + ", " + describe(v[i]) +
                                 " overlaps " + describe(v[i - 1]));
    Tier t{std::move(raw.name), {}};
    t.intervals.reserve(v.size());
    for (Raw& r : v) t.intervals.push_back(std::move(r.interval));
    return t;
}

// ---- Praat TextGrid ----
// Both text forms are one sequence of free-standing numbers, texts in double
// quotes and <flags>; the long form's other words ("xmin =", "item [1]:")
// are commentary, as Praat reads them.

struct Token {
    enum Type { Number, Text, Flag } type;
    std::string text;
    double value = 0;
    int line = 0;
};

struct Tokens {
    std::vector<Token> tokens;
    bool commentary = false;  // words beyond the header: the long form
    int lastLine = 1;         // of the last token
};

Tokens tokenize(const std::string& path, std::string_view s) {
    Tokens out;
    int line = 1;
    auto pass = [&](size_t i) {
        if (s[i] == '\n' || (s[i] == '\r' && s.substr(i, 2) != "\r\n")) ++line;
    };
    for (size_t i = 0; i < s.size();) {
        if (isBlank(s[i])) {
            pass(i++);
        } else if (s[i] == '"') {
            const int start = line;
            std::string text;
            for (++i;; ++i) {
                if (i >= s.size())
                    throw LabelError(path, start, "a text whose closing quote is missing");
                if (s[i] == '"') {
                    if (s.substr(i, 2) != "\"\"") break;
                    ++i;  // a doubled quote stands for one
                } else {
                    pass(i);
                }
                text += s[i];
            }
            ++i;
            out.tokens.push_back({Token::Text, std::move(text), 0, start});
        } else {
            size_t e = i;
            while (e < s.size() && !isBlank(s[e]) && s[e] != '"') ++e;
            const std::string_view word = s.substr(i, e - i);
            if (word.size() > 2 && word.front() == '<' && word.back() == '>') {
                out.tokens.push_back({Token::Flag, std::string(word), 0, line});
            } else if (const auto v = parseReal(word)) {
                out.tokens.push_back({Token::Number, std::string(word), *v, line});
            } else if (out.tokens.size() >= 2) {
                out.commentary = true;
            }
            i = e;
        }
    }
    if (!out.tokens.empty()) out.lastLine = out.tokens.back().line;
    return out;
}

class TextGridParser {
  public:
    TextGridParser(const std::string& path, const Tokens& t) : path_(path), t_(t) {}

    void parse(Annotation& a) {
        const Token& type = text("the file type");
        if (type.text.rfind("ooTextFile", 0) != 0)
            throw LabelError(path_, type.line, "not a Praat text file");
        const Token& cls = text("the object class");
        if (cls.text != "TextGrid")
            throw LabelError(path_, cls.line, "a Praat " + inQuotes(cls.text) + ", not a TextGrid");
        number("the start time");
        number("the end time");
        if (pos_ < t_.tokens.size() && t_.tokens[pos_].type == Token::Flag) {
            const Token& flag = next("the tiers");
            if (flag.text == "<absent>") return;
            if (flag.text != "<exists>")
                throw LabelError(path_, flag.line,
                                 "a flag " + flag.text + " where <exists> was due");
        }
        const int64_t tiers = count("the number of tiers");
        for (int64_t k = 0; k < tiers; ++k) {
            const Token& kind = text("a tier's class");
            RawTier tier{std::string(trim(text("a tier's name").text)), {}};
            where_ = " (in tier " + inQuotes(tier.name) + ")";
            number("the tier's start");
            number("the tier's end");
            const int64_t n = count("the number of intervals");
            if (kind.text == "IntervalTier") {
                for (int64_t i = 0; i < n; ++i) {
                    const int line = pos_ < t_.tokens.size() ? t_.tokens[pos_].line : 0;
                    const double s = number("an interval's start");
                    const double e = number("an interval's end");
                    add(path_, tier, s, e, text("an interval's text").text, line);
                }
                a.tiers.push_back(finish(path_, std::move(tier)));
            } else if (kind.text == "TextTier") {
                for (int64_t i = 0; i < n; ++i) {
                    number("a point's time");
                    text("a point's mark");
                }
                a.pointTiers.push_back(tier.name);
            } else {
                throw LabelError(path_, kind.line,
                                 "a tier of class " + inQuotes(kind.text) +
                                     ", neither an IntervalTier nor a TextTier");
            }
        }
    }

  private:
    const Token& next(const char* what) {
        if (pos_ >= t_.tokens.size())
            throw LabelError(path_, t_.lastLine,
                             std::string("the file ends where ") + what + " was due" + where_);
        return t_.tokens[pos_++];
    }
    const Token& expect(Token::Type type, const char* kind, const char* what) {
        const Token& t = next(what);
        if (t.type != type)
            throw LabelError(path_, t.line,
                             std::string("expected ") + kind + " (" + what + ") but found " +
                                 (t.type == Token::Text ? "the text " + inQuotes(t.text) : t.text) +
                                 where_);
        return t;
    }
    double number(const char* what) { return expect(Token::Number, "a number", what).value; }
    const Token& text(const char* what) { return expect(Token::Text, "a text in quotes", what); }
    int64_t count(const char* what) {
        const Token& t = expect(Token::Number, "a number", what);
        const auto n = parseCount(t.text);
        if (!n)
            throw LabelError(
                path_, t.line,
                std::string("expected a whole number (") + what + ") but found " + t.text + where_);
        return *n;
    }

    const std::string& path_;
    const Tokens& t_;
    size_t pos_ = 0;
    std::string where_;
};

// ---- the line formats ----

void readHtk(const std::string& path, const std::vector<Line>& lines, Annotation& a) {
    std::vector<RawTier> levels(1);
    for (const Line& line : lines) {
        std::string_view rest = trim(line.text);
        if (rest.empty()) continue;
        if (rest == "///") {
            levels.emplace_back();
            continue;
        }
        const auto start = parseCount(nextWord(rest));
        const auto end = parseCount(nextWord(rest));
        if (!start || !end)
            throw LabelError(path, line.number,
                             "expected \"start end label\", the times in whole 100 ns units, "
                             "but found " +
                                 inQuotes(trim(line.text)));
        add(path, levels.back(), static_cast<double>(*start) / 1e7, static_cast<double>(*end) / 1e7,
            nextWord(rest), line.number);
    }
    for (size_t i = 0; i < levels.size(); ++i) {
        levels[i].name = levels.size() == 1 ? "lab" : std::to_string(i + 1);
        a.tiers.push_back(finish(path, std::move(levels[i])));
    }
}

void readEsps(const std::string& path, const std::vector<Line>& lines, Annotation& a) {
    RawTier tier{"lab", {}};
    auto line =
        std::find_if(lines.begin(), lines.end(), [](const Line& l) { return trim(l.text) == "#"; });
    double previous = 0;
    for (++line; line != lines.end(); ++line) {
        std::string_view rest = trim(line->text);
        if (rest.empty()) continue;
        const auto end = parseReal(nextWord(rest));
        const auto color = parseReal(nextWord(rest));
        if (!end || !color)
            throw LabelError(
                path, line->number,
                "expected \"end-time color label\" but found " + inQuotes(trim(line->text)));
        add(path, tier, previous, *end, rest, line->number);
        previous = *end;
    }
    a.tiers.push_back(finish(path, std::move(tier)));
}

void readTimit(const std::string& path, const std::vector<Line>& lines, double rate,
               const std::string& name, Annotation& a) {
    if (!(rate > 0) || !std::isfinite(rate))
        throw LabelError(path, 0, "TIMIT sample numbers need the recording's sample rate");
    RawTier tier{name, {}};
    for (const Line& line : lines) {
        std::string_view rest = trim(line.text);
        if (rest.empty()) continue;
        const auto start = parseCount(nextWord(rest));
        const auto end = parseCount(nextWord(rest));
        if (!start || !end)
            throw LabelError(path, line.number,
                             "expected \"start-sample end-sample label\" but found " +
                                 inQuotes(trim(line.text)));
        add(path, tier, static_cast<double>(*start) / rate, static_cast<double>(*end) / rate, rest,
            line.number);
    }
    a.tiers.push_back(finish(path, std::move(tier)));
}

// Start and end of an Audacity label line, when it is one.
std::optional<std::pair<double, double>> audacityTimes(std::string_view line,
                                                       std::string_view* label = nullptr) {
    const size_t tab1 = line.find('\t');
    if (tab1 == std::string_view::npos) return std::nullopt;
    const size_t tab2 = std::min(line.find('\t', tab1 + 1), line.size());
    const auto start = parseReal(trim(line.substr(0, tab1)));
    const auto end = parseReal(trim(line.substr(tab1 + 1, tab2 - tab1 - 1)));
    if (!start || !end) return std::nullopt;
    if (label) *label = line.substr(std::min(tab2 + 1, line.size()));
    return std::pair(*start, *end);
}

void readAudacity(const std::string& path, const std::vector<Line>& lines, Annotation& a) {
    RawTier tier{"audacity", {}};
    for (const Line& line : lines) {
        const std::string_view text = trim(line.text);
        if (text.empty() || text.front() == '\\') continue;  // a label's frequency range
        std::string_view label;
        const auto times = audacityTimes(line.text, &label);
        if (!times)
            throw LabelError(
                path, line.number,
                "expected \"start<TAB>end<TAB>label\" in seconds but found " + inQuotes(text));
        add(path, tier, times->first, times->second, label, line.number);
    }
    a.tiers.push_back(finish(path, std::move(tier)));
}

// ---- which format ----

enum class Format { TextGrid, Htk, Esps, Timit, Audacity };

Format detect(const std::string& path, const std::string& ext, const std::vector<Line>& lines) {
    const bool labExt = ext == ".lab", timitExt = ext == ".phn" || ext == ".wrd";
    const auto first = std::find_if(lines.begin(), lines.end(),
                                    [](const Line& l) { return !trim(l.text).empty(); });
    if (first == lines.end()) {
        if (labExt) return Format::Htk;
        if (timitExt) return Format::Timit;
        if (ext == ".txt") return Format::Audacity;
        throw LabelError(path, 0, "empty, so of no known kind");
    }
    const std::string_view head = trim(first->text);
    if (head.rfind("File type", 0) == 0 && head.find("\"ooTextFile") != std::string_view::npos)
        return Format::TextGrid;
    if (head.rfind("ooBinaryFile", 0) == 0)
        throw LabelError(path, 0, "a binary Praat file; save the TextGrid as a text file");
    if (ext == ".textgrid") throw LabelError(path, first->number, "not a Praat TextGrid text file");
    if (head.rfind("#!MLF!#", 0) == 0)
        throw LabelError(path, first->number,
                         "an HTK master label file; give the label files it holds one by one");
    if (std::any_of(lines.begin(), lines.end(), [](const Line& l) { return trim(l.text) == "#"; }))
        return Format::Esps;
    // Audacity's times are seconds with decimals: tab-separated whole numbers
    // in a .lab or TIMIT file are that file's units.
    if (audacityTimes(first->text)) {
        std::string_view rest = first->text;
        const bool whole = parseCount(nextWord(rest)) && parseCount(nextWord(rest));
        if (!whole || !(labExt || timitExt)) return Format::Audacity;
    }
    if (labExt) return Format::Htk;
    if (timitExt) return Format::Timit;
    std::string_view rest = head;
    if (parseCount(nextWord(rest)) && parseCount(nextWord(rest)))
        throw LabelError(path, first->number,
                         "times in whole numbers, of HTK (100 ns) or TIMIT (samples): name the "
                         "file .lab or .phn to say which");
    throw LabelError(path, first->number,
                     "not a label file of a known kind (Praat TextGrid, HTK or ESPS .lab, TIMIT "
                     ".phn/.wrd, Audacity labels)");
}

std::string lowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

}  // namespace

double Annotation::end() const {
    std::optional<double> latest;
    for (const Tier& t : tiers)
        if (!t.intervals.empty())
            latest = std::max(latest.value_or(t.intervals.back().end), t.intervals.back().end);
    return latest.value_or(0);
}

Annotation ReadAnnotation(const std::string& path, double sampleRate) {
    const std::string text = decodeText(path, readBytes(path));
    const std::vector<Line> lines = splitLines(text);
    const std::string ext = lowerExtension(path);
    Annotation a;
    a.path = path;
    switch (detect(path, ext, lines)) {
        case Format::TextGrid: {
            const Tokens tokens = tokenize(path, text);
            a.format = tokens.commentary ? "textgrid-long" : "textgrid-short";
            TextGridParser(path, tokens).parse(a);
            break;
        }
        case Format::Htk:
            a.format = "htk";
            readHtk(path, lines, a);
            break;
        case Format::Esps:
            a.format = "esps";
            readEsps(path, lines, a);
            break;
        case Format::Timit:
            a.format = "timit";
            readTimit(path, lines, sampleRate, ext == ".wrd" ? "wrd" : "phn", a);
            break;
        case Format::Audacity:
            a.format = "audacity";
            readAudacity(path, lines, a);
            break;
    }
    return a;
}

const Tier& TierNamed(const Annotation& a, const std::string& name) {
    for (const Tier& t : a.tiers)
        if (t.name == name) return t;
    if (const auto n = parseCount(name); n && *n >= 1 && static_cast<size_t>(*n) <= a.tiers.size())
        return a.tiers[static_cast<size_t>(*n - 1)];
    const bool point =
        std::find(a.pointTiers.begin(), a.pointTiers.end(), name) != a.pointTiers.end();
    std::string message = point ? inQuotes(name) + " is a point tier; only interval tiers are read"
                                : "no tier " + inQuotes(name);
    if (a.tiers.empty()) {
        message += "; there are no interval tiers";
    } else {
        message += "; the tiers are";
        for (size_t i = 0; i < a.tiers.size(); ++i)
            message += (i ? ", " : " ") + std::to_string(i + 1) + " " + inQuotes(a.tiers[i].name);
    }
    if (!point && !a.pointTiers.empty()) {
        message += " (point tiers, not read:";
        for (size_t i = 0; i < a.pointTiers.size(); ++i)
            message += (i ? ", " : " ") + inQuotes(a.pointTiers[i]);
        message += ")";
    }
    throw LabelError(a.path, 0, message);
}

const Interval* IntervalAt(const Tier& t, double time) {
    auto it = std::upper_bound(t.intervals.begin(), t.intervals.end(), time,
                               [](double x, const Interval& i) { return x < i.start; });
    if (it == t.intervals.begin()) return nullptr;
    --it;
    return time < it->end && !it->label.empty() ? &*it : nullptr;
}

// ---- LabelMap ----

namespace {

constexpr size_t kAssignable = 26 + 26 + 10 + 32 + 128;

constexpr std::array<unsigned char, kAssignable> kOrder = [] {
    std::array<unsigned char, kAssignable> order{};
    size_t n = 0;
    auto take = [&](int from, int to) {
        for (int c = from; c <= to; ++c) order[n++] = static_cast<unsigned char>(c);
    };
    take('A', 'Z');
    take('a', 'z');
    take('0', '9');
    for (int c = 33; c <= 126; ++c)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            take(c, c);
    take(128, 255);
    return order;
}();

bool isPrintable(unsigned char c) {
    return c >= 33 && c <= 126;
}

// A character as the map file writes it.
std::string charText(unsigned char c) {
    if (isPrintable(c)) return std::string(1, static_cast<char>(c));
    const char* hex = "0123456789ABCDEF";
    return std::string("\\x") + hex[c >> 4] + hex[c & 15];
}

// The character a map file's line begins with, or -1 when it is not one.
int parseCharText(std::string_view s) {
    if (s.size() == 1) return static_cast<unsigned char>(s[0]);
    unsigned value = 0;
    if (s.size() != 4 || s.substr(0, 2) != "\\x") return -1;
    const auto r = std::from_chars(s.data() + 2, s.data() + 4, value, 16);
    if (r.ec != std::errc() || r.ptr != s.data() + 4) return -1;
    return static_cast<int>(value);
}

constexpr std::string_view kOutsideMark = "(outside)";

}  // namespace

LabelMap::LabelMap(char outside) : outside_(outside) {
    taken_[static_cast<unsigned char>(outside)] = true;
}

void LabelMap::assign(const std::string& label, unsigned char c) {
    charOf_.emplace(label, c);
    labelOf_[c] = label;
    taken_[c] = true;
    order_.push_back(c);
}

char LabelMap::charFor(const std::string& label) {
    if (label.empty()) return outside_;
    if (const auto it = charOf_.find(label); it != charOf_.end())
        return static_cast<char>(it->second);
    unsigned char c = static_cast<unsigned char>(label[0]);
    if (label.size() != 1 || !isPrintable(c) || taken_[c]) {
        const auto free =
            std::find_if(kOrder.begin(), kOrder.end(), [&](unsigned char k) { return !taken_[k]; });
        if (free == kOrder.end())
            throw LabelError("more than " + std::to_string(order_.size()) +
                             " distinct labels: none of the characters a qualifier can take is "
                             "left for " +
                             inQuotes(label) + " (the outside character is " +
                             charText(static_cast<unsigned char>(outside_)) + ")");
        c = *free;
    }
    assign(label, c);
    return static_cast<char>(c);
}

std::string LabelMap::labelOf(char c) const {
    return labelOf_[static_cast<unsigned char>(c)];
}

LabelMap LabelMap::Read(const std::string& path) {
    const std::string text = decodeText(path, readBytes(path));
    std::optional<LabelMap> map;
    std::array<int, 256> lineOf{};
    for (const Line& line : splitLines(text)) {
        if (trim(line.text).empty()) continue;
        const size_t tab = line.text.find('\t');
        const int code =
            tab == std::string_view::npos ? -1 : parseCharText(line.text.substr(0, tab));
        const std::string label(trim(line.text.substr(std::min(tab + 1, line.text.size()))));
        if (code < 0 || label.find('\t') != std::string::npos)
            throw LabelError(path, line.number,
                             "expected \"<character><TAB><label>\", the character itself or "
                             "\\xNN, but found " +
                                 inQuotes(line.text));
        const auto c = static_cast<unsigned char>(code);
        if (!map) {
            if (label != kOutsideMark)
                throw LabelError(path, line.number,
                                 "the first line is to give the outside character, as \"" +
                                     charText(c) + "\\t" + std::string(kOutsideMark) + "\"");
            map.emplace(static_cast<char>(c));
        } else if (label.empty()) {
            throw LabelError(path, line.number, "the character " + charText(c) + " has no label");
        } else if (map->taken_[c]) {
            throw LabelError(path, line.number,
                             "the character " + charText(c) + " is given before, on line " +
                                 std::to_string(lineOf[c]));
        } else if (const auto it = map->charOf_.find(label); it != map->charOf_.end()) {
            throw LabelError(path, line.number,
                             "the label " + inQuotes(label) + " is given before, on line " +
                                 std::to_string(lineOf[it->second]));
        } else {
            map->assign(label, c);
        }
        lineOf[c] = line.number;
    }
    if (!map)
        throw LabelError(path, 0, "empty; a label map's first line gives the outside character");
    return std::move(*map);
}

void LabelMap::Write(const std::string& path) const {
    std::string out =
        charText(static_cast<unsigned char>(outside_)) + "\t" + std::string(kOutsideMark) + "\r\n";
    for (unsigned char c : order_) {
        const std::string& label = labelOf_[c];
        if (label.find_first_of("\t\r\n") != std::string::npos)
            throw LabelError(path, 0,
                             "the label " + inQuotes(label) +
                                 " holds a tab or a line break, which a label map cannot hold");
        out += charText(c) + "\t" + label + "\r\n";
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) throw LabelError(path, 0, "cannot be opened for writing");
    file << out;
    file.close();
    if (!file) throw LabelError(path, 0, "cannot be written");
}

}  // namespace zortan::analysis
