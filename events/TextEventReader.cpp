#include "events/TextEventReader.h"

#include <charconv>
#include <optional>
#include <string>
#include <utility>

#include "events/FvsReader.h"
#include "platform/Errors.h"
#include "plots/EventPictures.h"
#include "shell/Program.h"
#include "shell/ShellState.h"

namespace zortan {

namespace {

// Offset of the fifth feature vector in the fvs record buffer, where the
// pictures look for the selected feature.
// The slot of the fifth feature vector (mel cepstrum) in the record buffer.
constexpr size_t kTextFeatureSlot = kFvsFeatureVectors + 4 * kFvsFeatureVectorSize;

// A fault in the header or in a row that the reader reports itself.
struct FormatFault {};

TextReader& openTextFile(EventSeries& series) {
    if (!series.textFile || !series.textFile->isOpen()) throw InOutError(103, "File not open");
    return *series.textFile;
}

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

// What the header yields; items not reached after a fault keep the values
// given here.
struct TextHeader {
    int32_t nc;
    int16_t nc16;
    std::string lastLine;  // the category names come from here
};

void readHeaderItems(Program& program, EventSeries& series, TextReader& in, TextHeader& h) {
    // Count line.
    for (;;) {
        if (in.eof()) throw FormatFault{};
        h.lastLine = in.readLine(255);
        if (auto count = countLineValue(h.lastLine)) {
            program.eventNbr = *count;
            series.eventsCountText = std::to_string(*count);
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
    series.plotParameters[2] = range * 64.0 / 32767.0;
    in.readLn();
    // Header row.
    h.lastLine = in.readLine(255);
    if (in.hitEnd()) throw FormatFault{};
}

}  // namespace

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

void OpenTextHeader(Program& program, EventSeries& series, const std::string& path) {
    TextReader& in = openTextFile(series);
    in.clearHitEnd();
    TextHeader h{series.nc, series.settings.lifterThreshold, {}};
    try {
        readHeaderItems(program, series, in, h);
    } catch (const FormatFault&) {
        program.ui.showMessage(error100Message(path));
    } catch (const InOutError& e) {
        // A number that is no number is the table's fault; a device that
        // fails is not, and stops the command with its own error.
        if (e.code() != kInvalidNumericInput) throw;
        program.ui.showMessage(error100Message(path));
    }
    // The fourth plot parameter follows the third for a table.
    series.plotParameters[3] = series.plotParameters[2];

    program.cathLabel1 = NextCategoryName(h.lastLine, 1);
    program.cathLabel2 = NextCategoryName(h.lastLine, 2);
    program.cathLabel3 = NextCategoryName(h.lastLine, 3);

    // Checked before anything below changes, so that a refused nc leaves the
    // window's settings as they were.
    const uint16_t drawn = fitOrRangeError<uint16_t>(h.nc);

    series.nc = h.nc;
    series.settings.lifterThreshold = h.nc16;
    ShellState& shell = program.shell;
    changeClustersText(shell, program.ui, std::to_string(h.nc), program.tree.treeSizesNb());
    shell.drawnComponents = drawn;

    // A table says nothing of how its events were analysed.
    AnalysisSettings& training = program.tree.training;
    training.filter = -1;
    training.scalingConstants = -1;
    training.windowShape = -1;
    training.preemphasisIndeterminate = true;
    training.preemphasis = false;  // an indeterminate box is not ticked
    shell.treeTexts.lifterThreshold = "xxx";
    training.frameStep = 1.0;
    training.rate = 10000.0;
    training.averagingFrames = 10;

    shell.stretchCepstra = true;
    shell.stretchLocked = true;
    shell.sliderVisible = false;
}

RowStatus ReadTextRow(Program& program, EventSeries& series, const std::string& path) {
    TextReader& in = openTextFile(series);
    if (program.shell.compareMode) program.fvsRecord.fill(0);

    // Blank lines hold no event; only blanks left means the data are done.
    std::string& row = series.rowBuffer;
    do {
        if (in.eof()) return RowStatus::EndOfData;
        in.readLineInto(row, std::string::npos);
    } while (isBlank(row));

    // A row is one line: a faulty row is reported, its remaining fields keep
    // their earlier values, and the next row starts on the next line.
    EventRecord& event = program.event;
    try {
        size_t pos = 0;
        event.cath1 = qualifier(row, pos);
        event.cath2 = qualifier(row, pos);
        event.cath3 = qualifier(row, pos);
        TokenScanner values(std::string_view(row).substr(pos));
        const int32_t count = program.tree.consideredComponentsNb;
        for (int32_t i = 0; i < count; ++i) {
            const int32_t v = values.readInt32();
            if (values.hitEnd()) throw FormatFault{};
            checkedAt(event.components, i) = lowBits<int16_t>(v);
        }
    } catch (const FormatFault&) {
        program.ui.showMessage(error100Message(path));
    } catch (const InOutError&) {
        program.ui.showMessage(error100Message(path));
    }

    for (size_t i = 0; i < kComponents; ++i) {
        event.reals[i] = event.components[i];
        storeLittleEndian(program.fvsRecord, kTextFeatureSlot + 2 * i, event.components[i]);
    }
    PictureDesk desk = pictureDesk(program);
    DrawInputPicture(desk, series, program.fvsRecord);
    return RowStatus::Read;
}

}  // namespace zortan
