#include "output/TextOutputs.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "base/Format.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "shell/InitFile.h"

namespace zortan {

namespace {

// Column titles of the settings table.
const char* const kTitlesOneInput =
    "Settings numer. codes  TRB                     Training TRB file       Input file (coded "
    "events)     Explanatory notes";
const char* const kTitlesTwoInputs =
    "Settings numer. codes       TRB                     Training TRB file       Input1 file    "
    "         Input2 file             Explanatory notes";
constexpr size_t kRuleOneInput = 211;
constexpr size_t kRuleTwoInputs = 248;
constexpr size_t kAveragingRule = 48;

// Captions of the window's settings.
const char* const kFeatureKindCaption = "Coded feature vectors";
const char* const kDividingMethodCaption = "Sets  dividing method";
const char* const kSetCriterionCaption = "Set choice criteria";
const char* const kClassifierCaption = "Classifier";
const char* const kFeaturesCriterionCaption = "Features choice crit.";
const char* const kAveragingCaption = "Averaging";
const char* const kFilterCaption = "Filter";
const char* const kScalingCaption = "Scaling constants";
const char* const kWindowShapeCaption = "Widows shape";
const char* const kPreemphasisCaption = "Preemphase";
const char* const kPreprocessingCaption = "Preprocessing";
const char* const kNoValue = "xxx";
const char* const kLifterNote = "cepstrum lifter treshold";

// --- width rules ---

std::string B(size_t n) {
    return std::string(n, ' ');
}

size_t distance(size_t a, size_t b) {
    return a > b ? a - b : b - a;
}

// The text followed by |w - length| blanks: never cut, a long text pushes on.
std::string fit(const std::string& t, size_t w) {
    return t + B(distance(w, t.size()));
}

std::string right(const std::string& t, size_t w) {
    return padLeft(t, w);
}

std::string num(long long x, size_t w) {
    return right(std::to_string(x), w);
}

std::string fix(double x, size_t w, int decimals) {
    return right(formatFixed(x, decimals), w);
}

std::string cellOf(const std::string& itemText) {
    return itemText + "," + B(distance(22, itemText.size()));
}

std::string capt(const std::string& caption) {
    return caption + "," + B(distance(28, caption.size()));
}

std::string truthWord(bool on) {
    return on ? "TRUE" : "FALSE";
}

// A radio group as the header prints it: its code, its value cell and its
// caption. A column without a value for the setting prints code 0 and "xxx".
struct Column {
    int code = 0;
    std::string cell;
    std::string caption;
};

template <typename Names>
Column radio(const char* caption, int index, const Names& names) {
    Column c;
    c.code = index;
    c.caption = caption;
    if (index == -1)
        c.cell = "Checked off," + B(11);
    else
        c.cell = cellOf(std::string(checkedAt(names, index)));
    return c;
}

Column noValue() {
    return Column{0, cellOf(kNoValue), kNoValue};
}

// One setting row: the codes, the value cells, "radiogroups:" and the
// captions, the last one bare. With four columns the fourth code is narrow
// and the notes follow the last cell directly.
std::string settingRow(const std::vector<Column>& columns) {
    const bool compare = columns.size() == 4;
    std::string row;
    for (size_t i = 0; i < 3; ++i) row += num(columns[i].code, 7);
    row += B(2);
    if (compare) row += num(columns[3].code, 3) + B(2);
    for (const Column& c : columns) row += c.cell + " ";
    if (!compare) row += B(6);
    row += "radiogroups:" + B(1);
    for (size_t i = 0; i + 1 < columns.size(); ++i) row += capt(columns[i].caption);
    row += columns.back().caption;
    return row;
}

// A text shown with its unit ("40ms") without the unit; other texts as they are.
std::string withoutUnit(const std::string& text, std::string_view unit) {
    if (text.size() >= unit.size() &&
        text.compare(text.size() - unit.size(), unit.size(), unit.data(), unit.size()) == 0)
        return text.substr(0, text.size() - unit.size());
    return text;
}

// The declared category counts of the tree as the certificate records them:
// a byte each, 255 standing for 255 or more.
int treeCount(int16_t declared) {
    return std::clamp<int>(declared, 0, 255);
}

// Everything the header prints, gathered once.
struct HeaderValues {
    Column featureKind, dividingMethod, setCriterion, setClassifier, featuresCriterion,
        featuresClassifier;
    std::array<Column, 3> filter, scaling, windowShape;  // training, input 1, input 2
    bool averaging = false;
    std::array<bool, 3> preemphasis{};
    std::array<int, 3> t{}, f{}, g{};
    std::array<double, 3> step{}, rate{};
    std::string lt, l1, l2;
};

HeaderValues gatherHeaderValues(const HeaderSources& p) {
    HeaderValues v;
    const AnalysisSettings& tr = p.tree.training;
    const TreeTrainingSettings& trb = p.tree.treeTraining;
    v.featureKind = radio(kFeatureKindCaption, tr.featureKind, kFeatureKindNames);
    v.dividingMethod =
        radio(kDividingMethodCaption, trb.setsDividingMethod, kSetsDividingMethodNames);
    v.setCriterion = radio(kSetCriterionCaption, trb.setChoiceCriterion, kSetChoiceCriterionNames);
    v.setClassifier = radio(kClassifierCaption, trb.setChoiceClassifier, trb.classifierNames);
    v.featuresCriterion = radio(kFeaturesCriterionCaption, trb.featuresChoiceCriterion,
                                kFeaturesChoiceCriterionNames);
    v.featuresClassifier =
        radio(kClassifierCaption, trb.featuresChoiceClassifier, trb.classifierNames);

    const std::array<const AnalysisSettings*, 3> sources = {&tr, &p.input1.settings,
                                                            &p.input2.settings};
    for (size_t i = 0; i < 3; ++i) {
        const AnalysisSettings& s = *sources[i];
        v.filter[i] = radio(kFilterCaption, s.filter, kFilterNames);
        v.scaling[i] = radio(kScalingCaption, s.scalingConstants, kScalingConstantsNames);
        v.windowShape[i] = radio(kWindowShapeCaption, s.windowShape, kWindowShapeNames);
        v.preemphasis[i] = s.preemphasis;
        v.step[i] = s.frameStep;
        v.rate[i] = s.rate;
    }
    v.averaging = tr.averaging;
    v.t = {treeCount(p.tree.cath[0].nbr), treeCount(p.tree.cath[1].nbr),
           treeCount(p.tree.cath[2].nbr)};
    for (size_t i = 0; i < 3; ++i) {
        v.f[i] = p.input1.cathNbr[i];
        v.g[i] = p.input2.cathNbr[i];
    }
    v.lt = p.treeTexts.lifterThreshold;
    v.l1 = p.input1.lifterThresholdText;
    v.l2 = p.input2.lifterThresholdText;
    return v;
}

// Lines 1 to 11: date, heading, sources, settings summary.
void writeHeaderOpening(const HeaderSources& p, OutFile& file, const std::string& heading) {
    const InitFileOptions& o = p.options;
    const LocalDateTime now = p.clock();
    auto quoted = [](const std::string& path) { return "\"" + oneLine(path) + "\""; };
    file.line("date: " + shortDateText(now) + " time: " + longTimeText(now));
    file.line(heading +
              " Output from Zortan; data sources: wave files, spectrum files, quantization tree "
              "and quantized events data and certificates.");
    file.line(fit("Wave, training file:", 22) + quoted(o.waveFileDir));
    file.line(fit("Training TRB file:", 22) + quoted(o.treeTrainingFileDir));
    file.line(fit("Tree:", 22) + quoted(o.treeFileDir));
    file.line(fit("Wave, coded signal:", 22) + quoted(o.waveFileDir1));
    file.line(fit("Coded events:", 22) +
              quoted(o.data1IsFvs ? o.fvsEventsFileDir1 : o.txtEventsFileDir1));
    file.line("");
    file.line("Settings:");
    file.line(oneLine(p.treeTexts.featuresSet) + " - " + "Constraining set");
    file.line(num(p.clustersNb, 8) + " - Number of used groups");
}

// The first part of the check-box row's notes, common to both forms.
std::string checkBoxNotesOpening() {
    const std::string averaging = std::string(kPreprocessingCaption) + ": " + kAveragingCaption;
    return "checkBoxes:" + B(2) + averaging + "," + B(distance(28, averaging.size())) +
           kPreemphasisCaption + "," + B(18);
}

// After the table: the closing rule, an empty line, the averaging block when
// the tree was trained with averaging, and "Output codes:" except in the
// error file.
void writeHeaderClosing(const HeaderSources& p, OutFile& file, TextOutputKind kind, size_t rule) {
    file.line(std::string(rule, '_'));
    file.line("");
    if (p.tree.training.averaging) {
        const auto& captions = p.treeTexts.averagingCaptions;
        file.line("Averaging parameters:");
        file.line(std::string(kAveragingRule, '-'));
        file.line(fit("Window", 12) + fit("time [ms]", 12) + fit("frames", 12) +
                  fit("step [ms]", 12));
        file.line(std::string(kAveragingRule, '='));
        file.line(fit(captions[0], 12) + fit(withoutUnit(captions[1], "ms"), 12) +
                  fit(withoutUnit(captions[2], "frames"), 12) +
                  fit(withoutUnit(captions[3], "ms"), 12));
        file.line(std::string(kAveragingRule, '-'));
    }
    if (kind != TextOutputKind::Error) file.line("Output codes:");
}

}  // namespace

bool OutputChoiceNeeded(const std::string& fileName) {
    const std::string folder = extractFileDir(fileName);
    return fileExists(fileName) || !folderExists(folder.empty() ? "." : folder);
}

bool CreateTextOutput(TextOutputDesk& desk, OutFile& file, std::string& fileName, int filterIndex,
                      const std::string& title, const std::string& refusal,
                      const std::string& heading, TextOutputKind kind, const std::string& name,
                      const Set256& valueSet, CathTables& tables) {
    if (!desk.chooser.settle(fileName, filterIndex, title)) {
        desk.chooser.refused(refusal + " The old one, namely \"" + fileName + "\" remains");
        return false;
    }
    file.create(fileName);
    WriteTextOutputHeader(desk.sources, file, heading, kind);
    if (kind != TextOutputKind::Category) return true;
    BuildCathList(desk.chooser, name, valueSet, tables);
    WriteCathList(file, name, tables);
    return true;
}

void WriteTextOutputHeader(const HeaderSources& sources, OutFile& file, const std::string& heading,
                           TextOutputKind kind) {
    if (sources.compareMode)
        WriteCompareTextHeader(sources, file, heading, kind);
    else
        WriteTextHeader(sources, file, heading, kind);
}

void WriteCathList(OutFile& file, const std::string& name, const CathTables& tables) {
    const int count = tables.count;
    file.line(std::to_string(count) + " Ynbr - count of alphabet Y");
    file.line("#list for " + oneLine(name) + " char values.");
    for (int i = 0; i < count; ++i) {
        const auto c = static_cast<unsigned char>(tables.indexToChar[static_cast<size_t>(i)]);
        const std::string text = c >= 33 ? std::string(1, static_cast<char>(c))
                                         : "#" + std::to_string(static_cast<int>(c));
        file.line(num(tables.charToIndex[c], 6) + right(text, 6));
    }
    file.line("Codes of the cathegory \"" + oneLine(name) + "\" values");
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

void WriteTextHeader(const HeaderSources& sources, OutFile& file, const std::string& heading,
                     TextOutputKind kind) {
    const HeaderValues v = gatherHeaderValues(sources);
    writeHeaderOpening(sources, file, heading);
    file.line(std::string(kRuleOneInput, '-'));
    file.line(kTitlesOneInput);
    file.line(std::string(kRuleOneInput, '='));

    file.line(settingRow({v.featureKind, v.filter[0], v.filter[1]}));
    file.line(settingRow({v.dividingMethod, v.scaling[0], v.scaling[1]}));
    file.line(settingRow({noValue(), v.windowShape[0], v.windowShape[1]}));
    for (const Column* g :
         {&v.setCriterion, &v.setClassifier, &v.featuresCriterion, &v.featuresClassifier})
        file.line(settingRow({*g, noValue(), noValue()}));

    const std::array<bool, 3> flags = {v.averaging, v.preemphasis[0], v.preemphasis[1]};
    std::string checks;
    for (bool on : flags) checks += num(on ? 1 : 0, 7);
    checks += B(2);
    for (size_t i = 0; i < 2; ++i) {
        const std::string w = truthWord(flags[i]);
        checks += w + "," + B(distance(22, w.size())) + " ";
    }
    const std::string w3 = truthWord(flags[2]);
    checks += w3 + "," + B(distance(29, w3.size()));
    checks += checkBoxNotesOpening() + kPreemphasisCaption;
    file.line(checks);

    const auto& t = v.t;
    const auto& f = v.f;
    file.line(num(t[0], 7) + num(t[1], 7) + num(t[2], 7) + B(2) + kNoValue + B(16) + num(t[0], 8) +
              num(t[1], 8) + num(t[2], 8) + B(5) + kNoValue + B(6) + kNoValue + B(6) + kNoValue +
              B(9) + "numbers of train file cathegory values,   " + kNoValue + B(26) + kNoValue);
    file.line(num(f[0], 7) + num(f[1], 7) + num(f[2], 7) + B(2) + kNoValue + B(21) + kNoValue +
              B(6) + kNoValue + B(6) + kNoValue + num(f[0], 6) + num(f[1], 8) + num(f[2], 8) +
              B(11) + "numbers of encoded file cathegory values, " + kNoValue + B(26) + kNoValue);

    const double s = v.step[0], r = v.rate[0], s1 = v.step[1], r1 = v.rate[1];
    file.line(fix(s, 7, 0) + fix(r, 7, 0) + num(0, 7) + B(2) + kNoValue + B(15) + fix(s, 9, 1) +
              fix(r, 9, 1) + B(12) + kNoValue + B(6) + kNoValue + B(18) + "frame step[ms], " +
              B(26) + "rate[Hz] for training file," + B(2) + kNoValue);
    file.line(fix(s1, 7, 0) + fix(r1, 7, 0) + num(0, 7) + B(2) + kNoValue + B(21) + kNoValue +
              B(5) + kNoValue + B(7) + fix(s1, 9, 1) + fix(r1, 9, 1) + B(18) + "frame step[ms], " +
              B(26) + "rate[Hz] for encoded file," + B(3) + kNoValue);

    file.line(right(v.lt, 7) + right(v.l1, 7) + num(0, 7) + B(2) + kNoValue + B(16) +
              right(v.lt, 8) + B(22) + fit(v.l1, 29) + kNoValue + B(39) + fit(kLifterNote, 29) +
              kLifterNote);

    writeHeaderClosing(sources, file, kind, kRuleOneInput);
}

void WriteCompareTextHeader(const HeaderSources& sources, OutFile& file, const std::string& heading,
                            TextOutputKind kind) {
    const HeaderValues v = gatherHeaderValues(sources);
    writeHeaderOpening(sources, file, heading);
    file.line(std::string(kRuleTwoInputs, '-'));
    file.line(kTitlesTwoInputs);
    file.line(std::string(kRuleTwoInputs, '='));

    file.line(settingRow({v.featureKind, v.filter[0], v.filter[1], v.filter[2]}));
    file.line(settingRow({v.dividingMethod, v.scaling[0], v.scaling[1], v.scaling[2]}));
    file.line(settingRow({noValue(), v.windowShape[0], v.windowShape[1], v.windowShape[2]}));
    for (const Column* g :
         {&v.setCriterion, &v.setClassifier, &v.featuresCriterion, &v.featuresClassifier})
        file.line(settingRow({*g, noValue(), noValue(), noValue()}));

    const std::array<bool, 4> flags = {v.averaging, v.preemphasis[0], v.preemphasis[1],
                                       v.preemphasis[2]};
    std::string checks;
    for (size_t i = 0; i < 3; ++i) checks += num(flags[i] ? 1 : 0, 7);
    checks += B(2) + num(flags[3] ? 1 : 0, 3) + B(2);
    for (size_t i = 0; i < 4; ++i) {
        const std::string w = truthWord(flags[i]);
        checks += w + "," + (i < 2 ? B(distance(22, w.size())) + " " : B(distance(23, w.size())));
    }
    checks += checkBoxNotesOpening() + fit(kPreemphasisCaption, 29) + kPreemphasisCaption;
    file.line(checks);

    const std::string x = kNoValue;
    const std::string ending = x + B(26) + x + B(26) + x;
    auto counts = [](const std::array<int, 3>& c) {
        return num(c[0], 7) + num(c[1], 7) + num(c[2], 7) + num(0, 5) + B(2);
    };
    auto repeat = [](const std::string& piece, int times) {
        std::string s;
        for (int i = 0; i < times; ++i) s += piece;
        return s;
    };
    const auto& t = v.t;
    const auto& f = v.f;
    const auto& g = v.g;
    file.line(counts(t) + x + B(16) + num(t[0], 8) + num(t[1], 8) + num(t[2], 8) + B(5) +
              repeat(x + B(5), 6) + "numbers of train file cathegory values,   " + ending);
    file.line(counts(f) + x + B(21) + x + B(5) + x + B(5) + x + num(f[0], 8) + num(f[1], 8) +
              num(f[2], 8) + B(5) + repeat(x + B(5), 3) +
              "numbers of 1-th file file cath. values,   " + ending);
    file.line(counts(g) + x + B(21) + repeat(x + B(5), 5) + x + B(2) + num(g[0], 6) + num(g[1], 8) +
              num(g[2], 8) + B(5) + "numbers of 2-nd file file cath. values,   " + ending);

    auto steps = [&](size_t i) {
        return fix(v.step[i], 7, 0) + fix(v.rate[i], 7, 0) + num(0, 7) + num(0, 5) + B(2);
    };
    // The frame-step rows end with two "xxx", one fewer than the count rows.
    const std::string stepEnding = x + B(26) + x;
    const std::string notesTraining =
        "frame step[ms], " + B(26) + "rate[Hz] for training file," + B(2) + stepEnding;
    const std::string notesEncoded =
        "frame step[ms], " + B(26) + "rate[Hz] for encoded file," + B(3) + stepEnding;
    file.line(steps(0) + x + B(15) + fix(v.step[0], 9, 1) + fix(v.rate[0], 9, 1) + B(12) + x +
              B(5) + x + B(13) + x + B(5) + x + B(13) + notesTraining);
    file.line(steps(1) + x + B(21) + x + B(5) + x + B(8) + fix(v.step[1], 8, 1) +
              fix(v.rate[1], 8, 1) + B(13) + x + B(5) + x + B(13) + notesEncoded);
    file.line(steps(2) + x + B(21) + x + B(5) + x + B(13) + x + B(5) + x + B(8) +
              fix(v.step[2], 8, 1) + fix(v.rate[2], 8, 1) + B(13) + notesEncoded);

    file.line(right(v.lt, 7) + right(v.l1, 7) + right(v.l2, 7) + num(0, 5) + B(2) + x + B(16) +
              right(v.lt, 8) + B(22) + v.l1 + B(distance(24, v.l1.size())) + v.l2 +
              B(distance(23, v.l2.size())) + x + B(39) + fit(kLifterNote, 29) +
              fit(kLifterNote, 29) + kLifterNote);

    writeHeaderClosing(sources, file, kind, kRuleTwoInputs);
}

int BuildCathList(OutputChooser& chooser, const std::string& name, const Set256& valueSet,
                  CathTables& tables) {
    chooser.buildingList(name, false);
    FillCathTables(valueSet, tables);
    chooser.buildingList(name, true);
    return tables.count;
}

int FillCathTables(const Set256& valueSet, CathTables& tables) {
    tables.indexToChar.fill('\0');
    // A fresh table for every build, so that a qualifier outside the set never
    // finds a position left over from an earlier tree.
    tables.charToIndex.fill(0);
    // The count is a byte: a set of all 256 characters lists its first 255.
    int count = 0;
    for (unsigned c = 0; c < 256 && count < 255; ++c) {
        if (!valueSet.contains(c)) continue;
        tables.indexToChar[static_cast<size_t>(count)] = static_cast<char>(c);
        tables.charToIndex[c] = lowBits<uint8_t>(count);
        ++count;
    }
    tables.count = count;
    return count;
}

}  // namespace zortan
