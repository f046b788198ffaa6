#include "output/CombinedOutput.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <limits>

#include "output/TextOutputs.h"
#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/Host.h"

namespace zortan {

namespace {

// Field offsets of the certificate image.
namespace cert {
constexpr size_t cDate = 0, cTime = 8, cFileHeading = 16, cGivenGroupNbr = 80;
constexpr size_t cWaveFileDir = 81, ctreeTrainingFileDir = 145, cTreeFileDir = 209;
constexpr size_t cWaveFileDir1 = 273, cWaveFileDir2 = 337, cfvsEventsFileDir1 = 401;
constexpr size_t radiogroup2itemIndex = 465, radiogroup10itemIndex = 466;
constexpr size_t radiogroup4itemIndex = 467, radiogroup2caption = 468;
constexpr size_t radiogroup10caption = 532, radiogroup4caption = 596;
constexpr size_t radiogroup9itemIndex = 660, radiogroup6itemIndex = 661;
constexpr size_t radiogroup9caption = 662, radiogroup6caption = 726;
constexpr size_t radiogroup5itemIndex = 790, radiogroup8itemIndex = 791;
constexpr size_t radiogroup7itemIndex = 792, radiogroup5caption = 793;
constexpr size_t radiogroup8caption = 857, radiogroup7caption = 921;
constexpr size_t radiogroup16itemIndex = 985, radiogroup29itemIndex = 986;
constexpr size_t radiogroup16caption = 987, radiogroup29caption = 1051;
constexpr size_t radiogroup30itemIndex = 1115, radiogroup31itemIndex = 1116;
constexpr size_t radiogroup30caption = 1117, radiogroup31caption = 1181;
constexpr size_t checkBox6Checked = 1245, checkBox7Checked = 1246;
constexpr size_t checkbox7caption = 1247, checkbox6caption = 1311;
constexpr size_t cCath1Set = 1375, cCath2Set = 1407, cCath3Set = 1439;
constexpr std::array<size_t, 3> cCathSets = {cCath1Set, cCath2Set, cCath3Set};
constexpr size_t cCath1Nbr = 1471, cF1cath1Nbr = 1474;
constexpr size_t cframeStep = 1480, cRate = 1488, cF1frameStep = 1496, cF1rate = 1504;
constexpr size_t cLifterTreshold0 = 1512, cLifterTreshold1 = 1516;
constexpr size_t kShortStringChars = 63;
}  // namespace cert

// The records of the certificate in a combined file: its whole 6-byte pieces.
constexpr uint16_t kCertificateRecords = kCertificateSize / kOutputRecordSize;  // 253

using Image = std::array<uint8_t, kCertificateSize>;

void putShortString(Image& image, size_t offset, const std::string& text) {
    const size_t n = std::min(text.size(), cert::kShortStringChars);
    image[offset] = static_cast<uint8_t>(n);
    std::memcpy(image.data() + offset + 1, text.data(), n);
}

void putItemIndex(Image& image, size_t offset, int index) {
    image[offset] = static_cast<uint8_t>(fitOrRangeError<int8_t>(index));
}

// A count byte: 255 stands for "255 or more", a negative count is stored as 0.
void putCount(Image& image, size_t offset, long long count) {
    image[offset] = static_cast<uint8_t>(std::clamp<long long>(count, 0, 255));
}

void putLittleEndian(Image& image, size_t offset, uint64_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) image[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void putReal(Image& image, size_t offset, double value) {
    putLittleEndian(image, offset, std::bit_cast<uint64_t>(value), 8);
}

void putLongint(Image& image, size_t offset, int32_t value) {
    putLittleEndian(image, offset, static_cast<uint32_t>(value), 4);
}

// Character c is bit (c mod 8) of byte (c div 8).
void putCharSet(Image& image, size_t offset, const Set256& set) {
    for (size_t byte = 0; byte < 32; ++byte)
        image[offset + byte] = static_cast<uint8_t>(set.words[byte / 8] >> (8 * (byte % 8)));
}

// The folder of `path` as the output names use it, and the separator that
// joins names to it.
struct NameFolder {
    std::string folder;
    char separator = '\\';
};

NameFolder nameFolder(const std::string& path) {
    NameFolder f;
    const size_t last = path.find_last_of("\\/:");
    if (last == std::string::npos) return f;  // no folder: the current one
    f.folder = path.substr(0, last + 1);
    const size_t sep = f.folder.find_last_of("\\/");
    if (sep != std::string::npos) f.separator = f.folder[sep];
    const char end = f.folder.back();
    if (end == '\\' || end == '/') {
        // A root ("C:\", "/", a doubled separator) keeps its separator.
        const bool root = f.folder.size() == 1 || f.folder[f.folder.size() - 2] == ':' ||
                          f.folder[f.folder.size() - 2] == '\\' ||
                          f.folder[f.folder.size() - 2] == '/';
        if (!root) f.folder.pop_back();
    }
    return f;
}

std::string joinName(const NameFolder& f, const std::string& name) {
    if (f.folder.empty()) return name;
    const char end = f.folder.back();
    if (end == '\\' || end == '/') return f.folder + name;
    return f.folder + f.separator + name;
}

std::array<const Set256*, 3> cathSets(const QuantizationTree& t) {
    return {&t.cath[0].set, &t.cath[1].set, &t.cath[2].set};
}

// One output group, teaching or recognition, as data: where its choices,
// file names, files, record and active flag live. The code file is one for
// both: the teaching group writes it when it is chosen there, else the
// recognition group.
struct OutputGroup {
    const char* description;  // in the certificate and the save dialog
    const char* notSaved;     // the finish message when the group wrote nothing
    bool ShellState::*combined;
    bool ShellState::*codes;
    std::array<bool ShellState::*, 3> cath;
    std::string InitFileOptions::*combinedName;
    std::array<std::string InitFileOptions::*, 3> cathNames;
    OutFile OutputState::*combinedFile;
    std::array<OutFile, 3> OutputState::*cathFiles;
    TOutputRecord CodingRun::*record;
    bool CodingRun::*active;
    size_t firstLabel;  // its five entries in OutputState::choiceLabels
};

constexpr size_t kTeach = 0, kRecog = 1;
const std::array<OutputGroup, 2> kGroups = {{
    {" teaching output file ",
     "Program finished.\r\nDue to your choice teach results were not saved...",
     &ShellState::outputTeachCombined,
     &ShellState::outputTeachCodes,
     {&ShellState::outputTeachCath1, &ShellState::outputTeachCath2, &ShellState::outputTeachCath3},
     &InitFileOptions::teachFileName,
     {&InitFileOptions::teachCath1FileName, &InitFileOptions::teachCath2FileName,
      &InitFileOptions::teachCath3FileName},
     &OutputState::teachCombined,
     &OutputState::teachCath,
     &CodingRun::teachRecord,
     &CodingRun::teachOutputActive,
     0},
    {" recognition output file ",
     "Program finished.\r\nDue to your choice recognition results were not saved...",
     &ShellState::outputRecogCombined,
     &ShellState::outputRecogCodes,
     {&ShellState::outputRecogCath1, &ShellState::outputRecogCath2, &ShellState::outputRecogCath3},
     &InitFileOptions::recogFileName,
     {&InitFileOptions::recogCath1FileName, &InitFileOptions::recogCath2FileName,
      &InitFileOptions::recogCath3FileName},
     &OutputState::recogCombined,
     &OutputState::recogCath,
     &CodingRun::recogRecord,
     &CodingRun::recogOutputActive,
     5},
}};
constexpr size_t kCodeLabel = 1;  // within a group's five labels

// Whether group `g` writes the code file.
bool writesCodes(const ShellState& s, size_t g) {
    return g == kTeach ? s.outputTeachCodes : !s.outputTeachCodes && s.outputRecogCodes;
}

bool createCodeFile(OutputOpening& d) {
    TextOutputDesk desk{d.chooser, d.sources};
    return CreateTextOutput(desk, d.outputs.codeFile, d.options.codeFileName, 4,
                            "Out codes file saving", "The final out code file will not be created.",
                            "Events codes.", TextOutputKind::Codes, "code", d.tree.cath[0].set,
                            d.outputs.cathTables[0]);
}

// Step 4 of opening a group: the three category files.
void openCathFiles(OutputOpening& d, const OutputGroup& g) {
    const auto& labels = d.labels;
    const auto sets = cathSets(d.tree);
    for (size_t k = 0; k < 3; ++k) {
        const std::string& L = *labels[k];
        bool& chosen = d.shell.*g.cath[k];
        std::string& name = d.options.*g.cathNames[k];
        TextOutputDesk desk{d.chooser, d.sources};
        if (chosen)
            chosen = CreateTextOutput(
                desk, (d.outputs.*g.cathFiles)[k], name, 4 + static_cast<int>(k) + 1,
                "Out " + L + " annotation file saving",
                "The final " + L + " annotation file will not be created.", L + " classification.",
                TextOutputKind::Category, L, *sets[k], d.outputs.cathTables[k]);
        d.outputs.choiceLabels[g.firstLabel + 2 + k] = chosen ? name : std::string();
    }
}

bool anyOutputChosen(const ShellState& s) {
    return std::any_of(kOutputChoices.begin(), kOutputChoices.end(),
                       [&](const OutputChoice& c) { return s.*c.chosen; });
}

// " " and the qualifier's position, as one unit of the file.
void writeCathPosition(OutFile& file, const CathTables& tables, char qualifier) {
    char item[1 + std::numeric_limits<int>::digits10 + 2] = {' '};
    const auto end = std::to_chars(item + 1, item + sizeof item,
                                   tables.charToIndex[static_cast<uint8_t>(qualifier)]);
    file.write(item, static_cast<size_t>(end.ptr - item));
}

}  // namespace

std::array<uint8_t, kOutputRecordSize> encodeOutputRecord(const TOutputRecord& record) {
    return {static_cast<uint8_t>(record.vectorCode & 0xFF),
            static_cast<uint8_t>(record.vectorCode >> 8),
            static_cast<uint8_t>(record.cath1),
            static_cast<uint8_t>(record.cath2),
            static_cast<uint8_t>(record.cath3),
            record.tag};
}

std::array<uint8_t, kCertificateSize> buildCertificate(const HeaderSources& sources,
                                                       const std::string& description) {
    Image image{};  // fields never filled stay zero bytes
    const InitFileOptions& o = sources.options;
    const QuantizationTree& tree = sources.tree;
    const AnalysisSettings& training = tree.training;
    const AnalysisSettings& input = sources.input1.settings;
    const TreeTrainingSettings& growing = tree.treeTraining;

    const LocalDateTime now = sources.clock();
    putReal(image, cert::cDate, toTDate(now));
    putReal(image, cert::cTime, toTTime(now));
    putShortString(image, cert::cFileHeading, description);
    putCount(image, cert::cGivenGroupNbr, sources.clustersNb);
    putShortString(image, cert::cWaveFileDir, o.waveFileDir);
    putShortString(image, cert::ctreeTrainingFileDir, o.treeTrainingFileDir);
    putShortString(image, cert::cTreeFileDir, o.treeFileDir);
    putShortString(image, cert::cWaveFileDir1, o.waveFileDir1);
    putShortString(image, cert::cWaveFileDir2, "");
    putShortString(image, cert::cfvsEventsFileDir1, o.fvsEventsFileDir1);

    putItemIndex(image, cert::radiogroup2itemIndex, training.featureKind);
    putItemIndex(image, cert::radiogroup10itemIndex, training.filter);
    putItemIndex(image, cert::radiogroup4itemIndex, input.filter);
    putShortString(image, cert::radiogroup2caption, "Coded feature vectors");
    putShortString(image, cert::radiogroup10caption, "Filter");
    putShortString(image, cert::radiogroup4caption, "Filter");

    putItemIndex(image, cert::radiogroup9itemIndex, training.scalingConstants);
    putItemIndex(image, cert::radiogroup6itemIndex, input.scalingConstants);
    putShortString(image, cert::radiogroup9caption, "Scaling constants");
    putShortString(image, cert::radiogroup6caption, "Scaling constants");

    putItemIndex(image, cert::radiogroup5itemIndex, 0);
    putItemIndex(image, cert::radiogroup8itemIndex, training.windowShape);
    putItemIndex(image, cert::radiogroup7itemIndex, input.windowShape);
    putShortString(image, cert::radiogroup5caption, "");
    putShortString(image, cert::radiogroup8caption, "Widows shape");
    putShortString(image, cert::radiogroup7caption, "Widows shape");

    putItemIndex(image, cert::radiogroup16itemIndex, growing.setChoiceCriterion);
    putItemIndex(image, cert::radiogroup29itemIndex, growing.setChoiceClassifier);
    putShortString(image, cert::radiogroup16caption, "Set choice criteria");
    putShortString(image, cert::radiogroup29caption, "Classifier");
    putItemIndex(image, cert::radiogroup30itemIndex, growing.featuresChoiceCriterion);
    putItemIndex(image, cert::radiogroup31itemIndex, growing.featuresChoiceClassifier);
    putShortString(image, cert::radiogroup30caption, "Features choice crit.");
    putShortString(image, cert::radiogroup31caption, "Classifier");

    image[cert::checkBox6Checked] = input.preemphasis ? 1 : 0;
    image[cert::checkBox7Checked] = training.preemphasis ? 1 : 0;
    putShortString(image, cert::checkbox7caption, "Preemphase");
    putShortString(image, cert::checkbox6caption, "Preemphase");

    for (size_t k = 0; k < 3; ++k) {
        putCharSet(image, cert::cCathSets[k], tree.cath[k].set);
        putCount(image, cert::cCath1Nbr + k, tree.cath[k].nbr);
    }
    for (size_t k = 0; k < 3; ++k)
        putCount(image, cert::cF1cath1Nbr + k, sources.input1.cathNbr[k]);

    putReal(image, cert::cframeStep, training.frameStep);
    putReal(image, cert::cRate, training.rate);
    putReal(image, cert::cF1frameStep, input.frameStep);
    putReal(image, cert::cF1rate, input.rate);
    putLongint(image, cert::cLifterTreshold0, training.lifterThreshold);
    putLongint(image, cert::cLifterTreshold1, input.lifterThreshold);
    return image;
}

std::string outputStemOf(const std::string& eventFilePath) {
    const std::string name = extractFileName(eventFilePath);
    const size_t dot = name.find('.');
    return dot == std::string::npos ? std::string() : name.substr(0, dot);
}

namespace {
// Whether two names are one file's name where case does not count (as on
// Windows).
bool sameFileName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}
}  // namespace

void BuildOutputNames(InitFileOptions& o, const CathLabels& labels, const std::string& stem,
                      const std::string& path) {
    const NameFolder F = nameFolder(path);
    const auto name = [&](const std::string& suffix) { return joinName(F, stem + suffix); };
    // Categories whose labels are the same (or empty) would share a file
    // name, one file overwriting the other: those take their number too.
    std::array<std::string, 3> cath;
    for (size_t k = 0; k < 3; ++k) {
        cath[k] = *labels[k];
        for (size_t j = 0; j < 3; ++j)
            if (j != k && sameFileName(*labels[j], *labels[k]))
                cath[k] = (labels[k]->empty() ? "cath" : *labels[k] + "_") + std::to_string(k + 1);
    }
    o.teachFileName = name("_Teach.zrt");
    o.errorFileName = name("_error.txt");
    o.codeFileName = name("_code.txt");
    o.teachCath1FileName = name("_teach_" + cath[0] + ".txt");
    o.teachCath2FileName = name("_teach_" + cath[1] + ".txt");
    o.teachCath3FileName = name("_teach_" + cath[2] + ".txt");
    o.recogFileName = name("_Recog.zrt");
    o.recogCath1FileName = name("_recog_" + cath[0] + ".txt");
    o.recogCath2FileName = name("_recog_" + cath[1] + ".txt");
    o.recogCath3FileName = name("_recog_" + cath[2] + ".txt");
}

bool OpenCombinedOutput(OutputOpening& d, std::string& fileName, OutFile& file,
                        const std::string& description) {
    if (!d.chooser.settle(fileName, 3, description + " saving")) {
        d.chooser.refused("The final, " + description +
                          " will not be created. The old one, namely \"" + fileName + "\" remains");
        return false;
    }
    file.create(fileName);
    WriteCertificate(d.sources, file, description);
    return true;
}

void WriteCertificate(const HeaderSources& sources, OutFile& file, const std::string& description) {
    const Image image = buildCertificate(sources, description);
    TOutputRecord countRecord;
    countRecord.vectorCode = kCertificateRecords;
    const auto head = encodeOutputRecord(countRecord);
    file.write(head.data(), head.size());
    // The image's whole records; its last two bytes are not written.
    static_assert(kCertificateSize / kOutputRecordSize == kCertificateRecords);
    for (size_t offset = 0; offset + kOutputRecordSize <= image.size(); offset += kOutputRecordSize)
        file.write(image.data() + offset, kOutputRecordSize);
}

namespace {

void openGroup(OutputOpening& d, size_t index) {
    const OutputGroup& g = kGroups[index];
    ShellState& s = d.shell;
    InitFileOptions& o = d.options;
    OutputState& out = d.outputs;
    std::string& combinedName = o.*g.combinedName;
    std::string& combinedLabel = out.choiceLabels[g.firstLabel];

    bool& combined = s.*g.combined;
    if (combined) {
        combined = OpenCombinedOutput(d, combinedName, out.*g.combinedFile, g.description);
        combinedLabel = combinedName;
    } else {
        combinedLabel.clear();
    }

    // The names are rebuilt from the folder of the first combined file the
    // run names; a name the user picked in the save dialog stays the name
    // of that file.
    if (index == kTeach || !d.run.teachOutputActive) {
        const std::string written = combinedName;
        BuildOutputNames(o, d.labels, out.outputStem, combinedName);
        if (combined) {
            combinedName = written;
            combinedLabel = written;
        }
    }

    // The code file, shared: both groups show the same label for it.
    if (index == kTeach || !s.outputTeachCodes) {
        bool& codes = s.*g.codes;
        if (codes) codes = createCodeFile(d);
        const std::string label = codes ? o.codeFileName : std::string();
        for (const OutputGroup& each : kGroups)
            out.choiceLabels[each.firstLabel + kCodeLabel] = label;
    }

    openCathFiles(d, g);

    d.run.*g.active = combined || s.*g.codes || s.*g.cath[0] || s.*g.cath[1] || s.*g.cath[2];
}

// Writes the current event's records to the group's files. A file whose
// write fails does not keep the event from the others, so that every file
// still named holds every counted event; the first failure is kept.
void writeGroupRecord(const OutputFiles& d, size_t index, std::exception_ptr& failure) {
    const OutputGroup& g = kGroups[index];
    const ShellState& s = d.choices;
    OutputState& out = d.outputs;
    const TOutputRecord& r = d.run.*g.record;
    const auto each = [&failure](auto&& write) {
        try {
            write();
        } catch (const InOutError&) {
            if (!failure) failure = std::current_exception();
        }
    };
    if (s.*g.combined) {
        const auto bytes = encodeOutputRecord(r);
        each([&] { (out.*g.combinedFile).write(bytes.data(), bytes.size()); });
    }
    if (writesCodes(s, index))
        each([&] { out.codeFile.put(static_cast<char>(lowBits<uint8_t>(r.vectorCode))); });
    const std::array<char, 3> qualifiers = {r.cath1, r.cath2, r.cath3};
    for (size_t k = 0; k < 3; ++k)
        if (s.*g.cath[k])
            each([&] {
                writeCathPosition((out.*g.cathFiles)[k], out.cathTables[k], qualifiers[k]);
            });
}

void writeGroups(const OutputFiles& d, std::initializer_list<size_t> groups) {
    std::exception_ptr failure;
    for (size_t index : groups) writeGroupRecord(d, index, failure);
    if (failure) std::rethrow_exception(failure);
}

}  // namespace

void OpenTeachOutputs(OutputOpening& d) {
    // The recognition record takes its characters from the value lists, so
    // they are built for every run that writes anything, not only when a
    // category file is created.
    if (anyOutputChosen(d.shell)) {
        const auto& labels = d.labels;
        const auto sets = cathSets(d.tree);
        for (size_t k = 0; k < 3; ++k)
            BuildCathList(d.chooser, *labels[k], *sets[k], d.outputs.cathTables[k]);
    }
    openGroup(d, kTeach);
}

void OpenRecogOutputs(OutputOpening& d) {
    openGroup(d, kRecog);
}

void WriteTeachRecord(const OutputFiles& d) {
    writeGroups(d, {kTeach});
}

void WriteRecogRecord(const OutputFiles& d) {
    writeGroups(d, {kRecog});
}

void WriteEventRecords(const OutputFiles& d) {
    if (d.run.teachOutputActive && d.run.recogOutputActive)
        writeGroups(d, {kTeach, kRecog});
    else if (d.run.teachOutputActive)
        writeGroups(d, {kTeach});
    else if (d.run.recogOutputActive)
        writeGroups(d, {kRecog});
}

void CloseOutputs(const OutputFiles& d) {
    const ShellState& s = d.choices;
    OutputState& out = d.outputs;

    // Every file gets closed; the first failure is raised once all are done.
    std::exception_ptr firstFailure;
    const auto close = [&](OutFile& file) {
        if (!file.isOpen()) return;
        try {
            file.close();
        } catch (...) {
            if (!firstFailure) firstFailure = std::current_exception();
        }
    };

    for (size_t index = 0; index < kGroups.size(); ++index) {
        const OutputGroup& g = kGroups[index];
        if (!(d.run.*g.active)) continue;
        if (s.*g.combined) close(out.*g.combinedFile);
        if (writesCodes(s, index)) close(out.codeFile);
        for (size_t k = 0; k < 3; ++k)
            if (s.*g.cath[k]) close((out.*g.cathFiles)[k]);
    }
    // A group whose opening failed part-way has no active flag, but the files
    // it did create are open: they are closed all the same.
    for (OutFile* file : {&out.teachCombined, &out.recogCombined, &out.codeFile}) close(*file);
    for (size_t k = 0; k < 3; ++k) {
        close(out.teachCath[k]);
        close(out.recogCath[k]);
    }
    close(out.errorFile);

    if (firstFailure) std::rethrow_exception(firstFailure);
}

std::vector<std::string> FinishMessages(const OutputFiles& d, const InitFileOptions& o,
                                        bool tableWritten) {
    const ShellState& s = d.choices;
    const OutputState& out = d.outputs;
    std::vector<std::string> messages;

    // A file whose writing failed is not among the results.
    const auto kept = [](bool chosen, const OutFile& file) { return chosen && !file.failed(); };
    const std::string nextEntry = "\",\r\n\"";  // after a combined, code, cath1 or cath2 path
    const std::string lastEntry = "\"\r\n";     // after a cath3 path
    // An error file whose writing failed is said to be so, not named; so
    // is every other output that failed.
    std::string errorEntry =
        out.errorFile.failed() ? "The error file \"" + o.errorFileName + "\" could not be written."
                               : " and in\r\n\"" + o.errorFileName + "\"" +
                                     (tableWritten ? ""
                                                   : " (which holds no error table: the run was "
                                                     "halted before its end)");
    for (OutFile* file : d.outputs.files())
        if (file != &out.errorFile && file->failed() && !file->path().empty())
            errorEntry += "\r\nThe file \"" + file->path() + "\" could not be written.";
    const auto show = [&](const std::string& list) {
        messages.push_back("Program finished\r\nFind results in:\r\n\"" + list + errorEntry);
    };

    // The teaching group's list is shown alone when the recognition group
    // wrote nothing; otherwise both groups' lists are shown together.
    std::string list;
    for (size_t index = 0; index < kGroups.size(); ++index) {
        const OutputGroup& g = kGroups[index];
        if (!(d.run.*g.active)) {
            messages.push_back(g.notSaved);
            continue;
        }
        if (kept(s.*g.combined, out.*g.combinedFile)) list += o.*g.combinedName + nextEntry;
        if (kept(s.*g.codes, out.codeFile)) list += o.codeFileName + nextEntry;
        for (size_t k = 0; k < 3; ++k)
            if (kept(s.*g.cath[k], (out.*g.cathFiles)[k]))
                list += o.*g.cathNames[k] + (k < 2 ? nextEntry : lastEntry);
        if (index == kRecog || !d.run.recogOutputActive) show(list);
    }
    return messages;
}

std::string StopMessage(OutputState& outputs, const std::string& where, const std::string& why,
                        int64_t coded) {
    std::string kept;
    for (const OutFile* file : outputs.files())
        if (!file->path().empty() && !file->failed())
            kept += (kept.empty() ? "\"" : "\",\r\n\"") + file->path();
    std::string text = "The run stopped " + where + ": " + why + ".\r\n";
    if (kept.empty())
        text += "No output file was kept.";
    else
        text += "Find the " + std::to_string(coded) + " events coded in:\r\n" + kept + "\"";
    return text;
}

}  // namespace zortan
