// zortan-samplegen: writes the bundled samples (an fvs event file, a text
// event table of the same frames and quantization trees grown on them by the
// training library) into the folder named on the command line, then reads
// every tree back with the program's tree reader, codes the sample events and
// prints a summary. The output is the same, byte for byte, on every run and
// machine.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "base/TextReader.h"
#include "engine/SettingsCheck.h"
#include "engine/TimeAveraging.h"
#include "events/FvsReader.h"
#include "events/TextEventReader.h"
#include "platform/Errors.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tools/fixtures/TextEventFileWriter.h"
#include "tools/samplegen/Synthesis.h"
#include "train/TrainingFiles.h"
#include "tree/TreeCoding.h"
#include "tree/TreeFileWriter.h"
#include "window/FvsInput.h"
#include "window/Program.h"
#include "window/QuietUi.h"
#include "window/TextInput.h"
#include "window/TreeInput.h"

namespace {

using namespace zortan;
using namespace zortan::samplegen;

// The analysis settings of the samples, written into the fvs header; the
// trees grown on it take them from there, so that the settings check finds
// nothing to report.
constexpr double kFrameStepMs = 10.0;
constexpr double kRate = 16000.0;
constexpr int kLifterThreshold = 24;
constexpr int kFilter = 0;            // "no"
constexpr int kScalingConstants = 0;  // "like for no filtering"
constexpr int kWindowShape = 1;       // "Gauss"
constexpr bool kPreemphasis = true;
constexpr int kFeatureCepstrum = 3, kFeatureMelCepstrum = 4;
constexpr int kTableComponents = 16;  // mel cepstrum 0..15 in the text table

// The trees' fixed first-line date keeps the files reproducible.
const std::string kTreeDate = "2024-05-01 12:00";
const std::string kSampleFolder = "C:\\Zortan\\samples\\";
const std::string kFvsName = "vowels.fvs";
const std::string kTableName = "vowels-melcep16.txt";
const std::string kWaveName = "vowels.wav";

struct TreePlan {
    std::string file;
    std::string description;
    train::Rule rule;
    int featureKind;
    int components;
    int leaves;
    int averagingFrames;  // 0: averaging off
    bool fromTable;
};

const std::vector<TreePlan> kTrees = {
    {"vowels-cep16-centroids32.vq", "Centroids, cepstrum 0..15, 32 groups", train::Rule::Centroids,
     kFeatureCepstrum, 16, 32, 0, false},
    {"vowels-melcep16-cart32.vq", "CART, mel cepstrum 0..15, 32 groups", train::Rule::CART,
     kFeatureMelCepstrum, 16, 32, 0, false},
    {"vowels-table-centroids16.vq", "Centroids, text table (mel cepstrum 0..15), 16 groups",
     train::Rule::Centroids, kFeatureMelCepstrum, kTableComponents, 16, 0, true},
    {"vowels-cep16-cart8-avg10.vq", "CART, cepstrum 0..15 averaged over 10 frames, 8 groups",
     train::Rule::CART, kFeatureCepstrum, 16, 8, 10, false},
};

const std::string kLabels[3] = {"Vowel", "Speaker", "Voicing"};
const std::string* const kValues[3] = {&kVowels, &kSpeakers, &kVoicings};

std::string path(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

void writeFvs(const std::string& folder, const std::vector<fixtures::FvsEvent>& frames) {
    fixtures::FvsHeader h;
    h.recordCount = fitOrRangeError<uint32_t>(frames.size());
    h.fftWindowWidth = kFrameLength;
    h.filter = kFilter;
    h.scalingConstants = kScalingConstants;
    h.windowShape = kWindowShape;
    h.preemphasis = kPreemphasis ? 1 : 0;
    h.lifterThreshold = kLifterThreshold;
    h.realTypeSize = 4;
    h.frameStep = kFrameStepMs;
    h.rate = kRate;
    h.waveName = kSampleFolder + kWaveName;
    for (size_t c = 0; c < 3; ++c) h.cathNbr[c] = fitOrRangeError<uint8_t>(kValues[c]->size());
    fixtures::writeFvsFile(path(folder, kFvsName), h, frames);
}

SynthesisSettings synthesisSettings() {
    SynthesisSettings s;
    s.rate = kRate;
    s.frameStepMs = kFrameStepMs;
    s.lifterThreshold = kLifterThreshold;
    s.preemphasis = kPreemphasis ? 0.95 : 0.0;
    s.windowShape = kWindowShape;
    return s;
}

fixtures::TextEventTable makeTable(const std::vector<fixtures::FvsEvent>& frames) {
    fixtures::TextEventTable t;
    t.preamble = {"Zortan sample events: synthetic vowel frames of " + kFvsName,
                  "mel cepstrum components 0.." + std::to_string(kTableComponents - 1) +
                      " in thousandths; written by zortan-samplegen"};
    t.eventCount = static_cast<int64_t>(frames.size());
    t.countLineRest = " events";
    t.nc = kTableComponents;
    t.headerRow = kLabels[0] + "\t" + kLabels[1] + "\t" + kLabels[2];
    for (int i = 0; i < kTableComponents; ++i) t.headerRow += "\tmc" + std::to_string(i);
    int range = 0;
    for (const fixtures::FvsEvent& f : frames) {
        fixtures::TextEventRow row;
        row.qualifiers = std::string{f.cath1} + "\t" + f.cath2 + "\t" + f.cath3;
        for (int i = 0; i < kTableComponents; ++i) {
            const int v = f.features[kFeatureMelCepstrum][static_cast<size_t>(i)];
            row.components.push_back(v);
            range = std::max(range, std::abs(v));
        }
        t.rows.push_back(std::move(row));
    }
    t.valueRange = range;
    return t;
}

// Grows a tree on the events of the sample file just written, read back as
// a run reads them (time-averaged when the tree averages), unsupervised on
// distortion over components 0..components-1. The file names the samples'
// fixed folder rather than where they were written, so that the trees stay
// the same wherever they are generated.
TreeFileContents makeTreeFile(const std::string& folder, const TreePlan& plan) {
    const std::string& data = plan.fromTable ? kTableName : kFvsName;
    const int32_t averagingMs = static_cast<int32_t>(plan.averagingFrames * kFrameStepMs);
    train::ReadingOptions reading;
    reading.featureKind = plan.featureKind;
    reading.averagingMs = averagingMs;
    reading.components = plan.components;
    train::TrainingSource source = train::ReadTrainingFiles({path(folder, data)}, reading);
    for (const std::string& w : source.warnings) std::cerr << "[training] " << w << "\n";

    train::TrainingOptions options;
    options.clusters = plan.leaves;
    options.rule = plan.rule;
    options.nextSplit = train::Measure::Distortion;
    options.splitBy = train::Measure::Distortion;
    options.components = plan.components;
    for (int i = 0; i < plan.components; ++i) options.constrained.insert(static_cast<unsigned>(i));
    train::GrownTree grown = train::GrowTree(source.events, options, source.active);

    source.files = {kSampleFolder + data};
    source.waveName = kSampleFolder + kWaveName;  // the table holds the same frames
    for (size_t c = 0; c < 3; ++c) source.labels[c] = kLabels[c];
    TreeFileContents c = train::TreeFileOf(std::move(grown), source, plan.featureKind, averagingMs,
                                           kTreeDate + ", TRB sample tree: " + plan.description);
    c.line46 = std::to_string(c.tree.HeapTop + 1) + " nodes of " + plan.file;
    return c;
}

// Shows messages on the error stream and keeps them; the readers ask no
// questions of well-formed files.
class ReportingUi : public QuietUi {
  public:
    void showMessage(const std::string& text) override {
        QuietUi::showMessage(text);
        std::cerr << "[message] " << text << "\n";
    }
};

// Reads the tree and its sample events back with the program's readers,
// runs the settings check, codes every event with all clusters and prints
// how the codes spread and how often the leaves' readings miss the
// qualifiers.
void summarise(const std::string& folder, const TreePlan& plan) {
    ReportingUi ui;
    Program program(ui, folder);
    const std::string treePath = path(folder, plan.file);
    TextReader treeFile(treePath);
    program.tree.treeHeading = treeFile.readLine();
    TreeReaderDesk desk = treeReaderDesk(program);
    ReadTreeBody(desk, treeFile, treePath);
    treeFile.close();
    const int readerMessages = static_cast<int>(ui.messages.size());

    EventSeries& series = program.data1;
    const std::string dataPath = path(folder, plan.fromTable ? kTableName : kFvsName);
    program.eventNbr = std::numeric_limits<int64_t>::max();
    if (plan.fromTable) {
        series.textFile.emplace(dataPath);
        OpenTextHeader(program, series, dataPath);
    } else {
        series.fvsFile.open(dataPath);
        OpenFvsHeader(program, series);
    }
    const std::string warning =
        settingsWarning(program.tree, program.options.treeTrainingFileDir, series.settings,
                        dataPath, series.nc, !plan.fromTable);
    if (!warning.empty()) ui.showMessage(warning);
    const int settingsMessages = static_cast<int>(ui.messages.size()) - readerMessages;

    const QuantizationTree& tree = program.tree;
    const auto K = static_cast<uint16_t>(tree.treeSizesNb());
    std::vector<int> perCode(K);
    std::array<std::array<int, 256>, 3> perValue{};
    int64_t step = 0;
    for (; step < program.eventNbr; ++step) {
        const RowStatus status = plan.fromTable ? ReadTextRow(program, series, dataPath)
                                                : ReadFvsRecord(program, series);
        if (status == RowStatus::EndOfData) break;
        EventRecord& e = program.event;
        if (tree.training.averaging)
            AveragingTransform(e, series.averaging, tree.training.averagingFrames,
                               tree.consideredComponentsNb, step, false);
        const EncodeResult r = EncodeEvent(tree, program.coder, K, e, program.coder.nodePath1,
                                           program.coder.errorRecords1);
        ++checkedAt(perCode, r.code);
        ++perValue[0][static_cast<unsigned char>(e.cath1)];
        ++perValue[1][static_cast<unsigned char>(e.cath2)];
        ++perValue[2][static_cast<unsigned char>(e.cath3)];
    }

    const double n = static_cast<double>(step);
    const auto used = std::count_if(perCode.begin(), perCode.end(), [](int c) { return c > 0; });
    const int largest = *std::max_element(perCode.begin(), perCode.end());
    std::printf(
        "%s on %s: %lld events, K=%u, codes used %ld/%u, largest code %.1f%%, "
        "messages: tree %d, settings %d\n",
        plan.file.c_str(), plan.fromTable ? kTableName.c_str() : kFvsName.c_str(),
        static_cast<long long>(step), K, static_cast<long>(used), K, 100.0 * largest / n,
        readerMessages, settingsMessages);
    const uint32_t errors[3] = {program.coder.cath1ErrorCount, program.coder.cath2ErrorCount,
                                program.coder.cath3ErrorCount};
    for (size_t c = 0; c < 3; ++c) {
        const int majority = *std::max_element(perValue[c].begin(), perValue[c].end());
        std::printf("  %-8s error %5.1f%% (majority guess %5.1f%%); by clusters:",
                    kLabels[c].c_str(), 100.0 * errors[c] / n, 100.0 * (1.0 - majority / n));
        for (int k = 2; k <= K; k *= 2) {
            const TErrorRecord& rec = checkedAt(program.coder.errorRecords1, k - 1);
            const uint32_t count = c == 0 ? rec.cath1 : c == 1 ? rec.cath2 : rec.cath3;
            std::printf(" %d:%.1f%%", k, 100.0 * count / n);
        }
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: zortan-samplegen FOLDER\n";
        return 2;
    }
    const std::string folder = argv[1];
    try {
        const std::vector<fixtures::FvsEvent> frames = synthesiseFrames(synthesisSettings());
        writeFvs(folder, frames);
        const fixtures::TextEventTable table = makeTable(frames);
        fixtures::writeTextEventFile(path(folder, kTableName), table);
        for (const TreePlan& plan : kTrees)
            writeTreeFile(path(folder, plan.file), makeTreeFile(folder, plan));
        std::printf("%zu frames written to %s\n", frames.size(), folder.c_str());
        for (const TreePlan& plan : kTrees) summarise(folder, plan);
        return 0;
    } catch (const ProgramEnd& end) {
        return end.exitStatus;
    } catch (const CommandAborted&) {
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "error: " << e.what() << "\n";
        return 1;
    }
}
