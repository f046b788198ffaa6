#include "events/TextEventReader.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "base/Format.h"
#include "events/FvsReader.h"
#include "platform/Errors.h"

namespace zortan {

namespace {

// The slot of the fifth feature vector (mel cepstrum) in the record buffer,
// where the pictures look for a table's event.
constexpr size_t kTextFeatureSlot = kFvsFeatureVectors + 4 * kFvsFeatureVectorSize;

// A fault in the header or in a row that the reader reports itself.
struct FormatFault {};

// The text is a decimal integer, digits only, that fits 64 bits.
std::optional<int64_t> decimalInteger(const std::string& text) {
    if (text.empty()) return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The text before the first `separator`; empty when the line holds none.
std::string before(const std::string& line, char separator) {
    const size_t at = line.find(separator);
    return at == std::string::npos ? std::string() : line.substr(0, at);
}

// The events count of a count line, or nothing for a comment line: leading
// characters below "0" are dropped, and the number must end at a space or,
// failing that, at a tab.
std::optional<int64_t> countLineValue(std::string line) {
    size_t skip = 0;
    while (skip < line.size() && static_cast<unsigned char>(line[skip]) < '0') ++skip;
    line.erase(0, skip);
    if (auto v = decimalInteger(before(line, ' '))) return v;
    return decimalInteger(before(line, '\t'));
}

bool isBlank(const std::string& line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) > 32) return false;
    return true;
}

// The next qualifier of a row: the first character that is neither a tab nor
// a space. A row that ends first is faulty.
char qualifier(const std::string& row, size_t& pos) {
    while (pos < row.size() && (row[pos] == '\t' || row[pos] == ' ')) ++pos;
    if (pos >= row.size()) throw FormatFault{};
    return row[pos++];
}

void storeLittleEndian(FvsRecord& record, size_t offset, int16_t value) {
    const auto bits = static_cast<uint16_t>(value);
    record[offset] = static_cast<uint8_t>(bits & 0xFF);
    record[offset + 1] = static_cast<uint8_t>(bits >> 8);
}

void readHeaderItems(TextReader& in, TextHeaderFields& h) {
    // Count line.
    for (;;) {
        if (in.eof()) throw FormatFault{};
        h.lastLine = in.readLine(255);
        if (auto count = countLineValue(h.lastLine)) {
            h.count = *count;
            break;
        }
    }
    // nc: the value read is kept even when its 16-bit copy cannot take it.
    h.nc = in.readInt32();
    if (in.hitEnd()) throw FormatFault{};
    if (!std::in_range<int16_t>(h.nc)) throw FormatFault{};
    h.nc16 = static_cast<int16_t>(h.nc);
    in.readLn();
    // Value range.
    const double range = in.readReal();
    if (in.hitEnd()) throw FormatFault{};
    h.featureRange = range * 64.0 / 32767.0;
    in.readLn();
    // Header row.
    h.lastLine = in.readLine(255);
    if (in.hitEnd()) throw FormatFault{};
}

}  // namespace

std::string TableHeaderImplausible(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    const auto next = [&] {
        if (!std::getline(in, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    };
    const auto fields = [](const std::string& text) {
        std::vector<std::string> out;
        std::istringstream words(text);
        for (std::string w; words >> w;) out.push_back(w);
        return out;
    };
    const auto lone = [&](const char* what) -> std::string {
        if (!next()) return std::string("it ends before its ") + what + " line";
        const auto f = fields(line);
        char* end = nullptr;
        if (f.size() != 1 || (std::strtod(f[0].c_str(), &end), *end != '\0'))
            return std::string("its ") + what + " line does not hold one number";
        return {};
    };
    for (;;) {
        if (!next()) return "it holds no events count line";
        if (countLineValue(line)) break;
    }
    if (std::string why = lone("components count"); !why.empty()) return why;
    const long nc = std::strtol(line.c_str(), nullptr, 10);
    if (std::string why = lone("value range"); !why.empty()) return why;
    if (!next()) return "it ends before its names row";
    const size_t names = fields(line).size();
    if (nc < 0 || names < 3 + static_cast<size_t>(nc))
        return "its names row holds " + std::to_string(names) + " names, not 3 categories and " +
               std::to_string(nc) + " components";
    return {};
}

std::string error100Message(const std::string& path) {
    return "Error 100.\r\nError probably caused by erronous data format.\r\nCheck whether "
           "following conditions for the file\r\n" +
           path +
           "\r\nwere fullfilled:\r\n"
           "All introductory comments appearing at the beginning  will be skipped until the first "
           "integer value.\r\n"
           "Each row contains description of one event: features vector and its classification "
           "according to values of three cathegorical variables.\r\n"
           "Values of the cathegorical variables can be proceeded by any number of spaces and "
           "tabs; they will be skipped.\r\n"
           "Remember! All cathegorical variable values can be encoded with ONLY ONE "
           "character!!\r\n"
           "First integer number greater than 0 will be interpreted as number of events "
           "(eventNbr). Every trailing nonvisual\r\n"
           "signs, spaces and other chars proceeding 0 (#48) will be skipped here.\r\n"
           "Second one, in the next row, will be interpreted as number of vectors components  "
           "(nc).\r\n"
           "Third one, in the next row, will be interpreted as  components values range.\r\n"
           "Next row is the table header; cathegorical variable names are read from here.\r\n"
           "First three column will be interpreted as cathegory, classyfing values (values of "
           "three dependent variables)\r\n"
           "Next nc columns will be read as vectors components\r\n"
           "Prepare data file with MS Excel and export it as a txt file to avoid unnecessary "
           "characters.\r\n"
           "End of the error 100 description";
}

std::string NextCategoryName(std::string& line, int number) {
    size_t start = 0;
    while (start < line.size() && static_cast<unsigned char>(line[start]) <= 32) ++start;
    size_t end = start;
    while (end < line.size() && static_cast<unsigned char>(line[end]) > 32) ++end;
    std::string word = line.substr(start, end - start);
    line.erase(0, end);
    if (word.empty()) return "Y" + std::to_string(number);
    return word;
}

TextHeaderFields ParseTextHeader(TextReader& in, int32_t nc, int16_t nc16) {
    in.clearHitEnd();
    TextHeaderFields h;
    h.nc = nc;
    h.nc16 = nc16;
    try {
        readHeaderItems(in, h);
    } catch (const FormatFault&) {
        h.faulty = true;
    } catch (const InOutError& e) {
        // A number that is no number is the table's fault; a device that
        // fails is not, and stops the command with its own error.
        if (e.code() != kInvalidNumericInput) throw;
        h.faulty = true;
    }
    return h;
}

RowStatus ParseTextRow(TextReader& in, std::string& row, int32_t components, EventRecord& event,
                       bool& faulty) {
    faulty = false;
    // Blank lines hold no event; only blanks left means the data are done.
    do {
        if (in.eof()) return RowStatus::EndOfData;
        in.readLineInto(row, std::string::npos);
    } while (isBlank(row));

    // A row is one line: a faulty row leaves its remaining fields as they
    // were, and the next row starts on the next line.
    try {
        size_t pos = 0;
        event.cath1 = qualifier(row, pos);
        event.cath2 = qualifier(row, pos);
        event.cath3 = qualifier(row, pos);
        TokenScanner values(std::string_view(row).substr(pos));
        for (int32_t i = 0; i < components; ++i) {
            const int32_t v = values.readInt32();
            if (values.hitEnd()) throw FormatFault{};
            checkedAt(event.components, i) = lowBits<int16_t>(v);
        }
    } catch (const FormatFault&) {
        faulty = true;
    } catch (const InOutError&) {
        faulty = true;
    }
    for (size_t i = 0; i < kComponents; ++i) event.reals[i] = event.components[i];
    return RowStatus::Read;
}

void StoreTextEvent(const EventRecord& event, FvsRecord& record) {
    for (size_t i = 0; i < kComponents; ++i)
        storeLittleEndian(record, kTextFeatureSlot + 2 * i, event.components[i]);
}

}  // namespace zortan
