// zortan-samplegen: writes the bundled samples (an fvs event file, a text
// event table of the same frames and quantization trees grown on them) into
// the folder named on the command line, then reads every tree back with the
// program's tree reader, codes the sample events and prints a summary.
// The output is the same, byte for byte, on every run and machine.
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
#include "tools/fixtures/TreeFileWriter.h"
#include "tools/samplegen/Synthesis.h"
#include "tools/samplegen/TreeGrowing.h"
#include "tree/TreeCoding.h"
#include "window/FvsInput.h"
#include "window/Program.h"
#include "window/QuietUi.h"
#include "window/TextInput.h"
#include "window/TreeInput.h"

namespace {

using namespace zortan;
using namespace zortan::samplegen;

// The analysis settings of the samples, written alike into the fvs header
// and into every tree so that the settings check finds nothing to report.
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
const std::string kTreeDate = "date 2024-05-01 12:00";
const std::string kSampleFolder = "C:\\Zortan\\samples\\";
const std::string kFvsName = "vowels.fvs";
const std::string kTableName = "vowels-melcep16.txt";
const std::string kWaveName = "vowels.wav";

struct TreePlan {
    std::string file;
    std::string description;
    DividingMethod method;
    int featureKind;
    int components;
    int leaves;
    int averagingFrames;  // 0: averaging off
    bool fromTable;
};

const std::vector<TreePlan> kTrees = {
    {"vowels-cep16-centroids32.vq", "Centroids, cepstrum 0..15, 32 groups",
     DividingMethod::Centroids, kFeatureCepstrum, 16, 32, 0, false},
    {"vowels-melcep16-cart32.vq", "CART, mel cepstrum 0..15, 32 groups", DividingMethod::CART,
     kFeatureMelCepstrum, 16, 32, 0, false},
    {"vowels-table-centroids16.vq", "Centroids, text table (mel cepstrum 0..15), 16 groups",
     DividingMethod::Centroids, kFeatureMelCepstrum, kTableComponents, 16, 0, true},
    {"vowels-cep16-cart8-avg10.vq", "CART, cepstrum 0..15 averaged over 10 frames, 8 groups",
     DividingMethod::CART, kFeatureCepstrum, 16, 8, 10, false},
};

const std::string kLabels[3] = {"Vowel", "Speaker", "Voicing"};
const std::string* const kValues[3] = {&kVowels, &kSpeakers, &kVoicings};

uint8_t readingOf(int category, char value) {
    const std::string& values = *kValues[category];
    return fitOrRangeError<uint8_t>(values.find(value));
}

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

// The events a tree is trained on: the chosen feature's components and
// the readings of the qualifiers; with averaging, transformed as the coder
// transforms them before coding.
std::vector<TrainingEvent> trainingEvents(const std::vector<fixtures::FvsEvent>& frames,
                                          const TreePlan& plan) {
    std::vector<TrainingEvent> events;
    AveragingState averaging;
    int64_t step = 0;
    for (const fixtures::FvsEvent& f : frames) {
        EventRecord e;
        const auto& feature = f.features[static_cast<size_t>(plan.featureKind)];
        std::copy(feature.begin(), feature.end(), e.components.begin());
        if (plan.averagingFrames > 0)
            AveragingTransform(e, averaging, plan.averagingFrames, plan.components, step, false);
        ++step;
        TrainingEvent t;
        t.components = e.components;
        t.readings = {readingOf(0, f.cath1), readingOf(1, f.cath2), readingOf(2, f.cath3)};
        events.push_back(t);
    }
    return events;
}

fixtures::TreeFileContents makeTreeFile(const std::vector<fixtures::FvsEvent>& frames,
                                        const TreePlan& plan) {
    fixtures::TreeFileContents c;
    QuantizationTree& t = c.tree;
    growTree(t, trainingEvents(frames, plan), plan.method, plan.components, plan.leaves);
    t.treeHeading = kTreeDate + ", TRB sample tree: " + plan.description;
    c.line2Text = "teaching sample " + kSampleFolder + (plan.fromTable ? kTableName : kFvsName);
    c.waveFileDir = " " + kSampleFolder + kWaveName;
    c.cathLabel1 = kLabels[0];
    c.cathLabel2 = kLabels[1];
    c.cathLabel3 = kLabels[2];
    c.line46 = std::to_string(t.HeapTop + 1) + " nodes of " + plan.file;

    t.consideredComponentsNb = plan.components;
    for (int i = 0; i < plan.components; ++i) t.constrainedSet.insert(static_cast<unsigned>(i));
    t.featuresSetText = " components 0.." + std::to_string(plan.components - 1);
    Set256* sets[3] = {&t.cath[0].set, &t.cath[1].set, &t.cath[2].set};
    TcharList* lists[3] = {&t.cath[0].list, &t.cath[1].list, &t.cath[2].list};
    int16_t* nbrs[3] = {&t.cath[0].nbr, &t.cath[1].nbr, &t.cath[2].nbr};
    for (size_t k = 0; k < 3; ++k) {
        for (char ch : *kValues[k]) sets[k]->insert(static_cast<unsigned char>(ch));
        lists[k]->assign(kValues[k]->begin(), kValues[k]->end());
        *nbrs[k] = fitOrRangeError<int16_t>(kValues[k]->size() - 1);
    }
    t.cath[0].active = t.cath[1].active = t.cath[2].active = 1;

    AnalysisSettings& a = t.training;
    a.featureKind = plan.featureKind;
    a.filter = kFilter;
    a.scalingConstants = kScalingConstants;
    a.windowShape = kWindowShape;
    a.preemphasis = kPreemphasis;
    a.lifterThreshold = kLifterThreshold;
    a.frameStep = kFrameStepMs;
    a.rate = kRate;
    a.fftWindowWidth = kFrameLength;
    a.averaging = plan.averagingFrames > 0;
    a.averagingFrames = plan.averagingFrames;
    TreeTrainingSettings& trb = t.treeTraining;
    trb.setsDividingMethod = static_cast<int>(plan.method);
    trb.setChoiceCriterion = 0;        // distortion
    trb.featuresChoiceCriterion = 0;   // distortion
    trb.setChoiceClassifier = 0;       // Vowel
    trb.featuresChoiceClassifier = 0;  // Vowel
    trb.setChoiceTraining = 0;         // unsupervised
    trb.featuresChoiceTraining = 0;    // unsupervised
    trb.cartLike = false;
    trb.averagingWindowShape = 0;  // rectangle
    trb.averagingWindowMs = static_cast<int32_t>(plan.averagingFrames * kFrameStepMs);
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
            fixtures::writeTreeFile(path(folder, plan.file), makeTreeFile(frames, plan));
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
