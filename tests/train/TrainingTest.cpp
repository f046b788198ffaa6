// Trees grown from events: read back by the tree reader, every training
// event walks to the leaf the training gave it, at every number of clusters
// and under both rules; the file says what the events and choices were; the
// same events give the same file; what cannot be grown is refused.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/CodingEngine.h"
#include "engine/TreeLoading.h"
#include "events/FvsWriter.h"
#include "support/TempDir.h"
#include "train/TrainingFiles.h"
#include "tree/TreeCoding.h"

namespace zortan::train {
namespace {

using testing::readFileBytes;
using testing::TempDir;
namespace fs = std::filesystem;

const std::string kSamples = ZORTAN_SAMPLES_DIR;
const std::string kFvs = kSamples + "/vowels.fvs";
const std::string kTable = kSamples + "/vowels-melcep16.txt";

TrainingOptions optionsOf(int clusters, Rule rule, int32_t components, int jobs = 1) {
    TrainingOptions o;
    o.clusters = clusters;
    o.rule = rule;
    o.components = components;
    for (int32_t i = 0; i < components; ++i) o.constrained.insert(static_cast<unsigned>(i));
    o.jobs = jobs;
    return o;
}

// Events of `n` random binary vectors of `m` components: many equal
// distances, so that the walk's ties decide.
TrainingEvents binaryEvents(size_t n, int m, unsigned seed) {
    std::mt19937 random(seed);
    TrainingEvents e;
    for (size_t i = 0; i < n; ++i) {
        ComponentVector reals{};
        std::array<int16_t, kComponents> coded{};
        for (int j = 0; j < m; ++j) {
            coded[static_cast<size_t>(j)] = static_cast<int16_t>(random() % 2);
            reals[static_cast<size_t>(j)] = coded[static_cast<size_t>(j)];
        }
        e.reals.push_back(reals);
        e.coded.push_back(coded);
        e.cath.push_back(
            {static_cast<char>('a' + random() % 3), static_cast<char>('p' + coded[0]), 'x'});
    }
    return e;
}

// Codes every event with the reference coder of a tree read back from its
// file and expects, at every number of clusters, the node the training put
// it in.
void expectEveryEventAtItsLeaf(const GrownTree& grown, const TrainingEvents& events,
                               const TempDir& dir, const std::string& name) {
    TrainingSource source;
    source.labels = {"A", "B", "C"};
    const std::string path = dir.file(name);
    writeTreeFile(path, TreeFileOf(grown, source, 3, 0, "test"));
    Codebook book = LoadTreeFile(path);
    ASSERT_EQ(book.tree.centroidsNb, grown.tree.centroidsNb);
    for (int k = 1; k <= book.tree.centroidsNb; ++k) {
        size_t wrong = 0;
        for (size_t e = 0; e < events.size(); ++e) {
            EventRecord event;
            event.components = events.coded[e];
            event.reals = events.reals[e];
            event.cath1 = events.cath[e][0];
            event.cath2 = events.cath[e][1];
            event.cath3 = events.cath[e][2];
            const EncodeResult r =
                EncodeEvent(book.tree, book.coder, static_cast<uint16_t>(k), event,
                            book.coder.nodePath1, book.coder.errorRecords1);
            const int32_t node = NodeAtClusters(grown, grown.leafOf[e], k);
            wrong += r.code != grown.tree.nodeHeap[static_cast<size_t>(node)].code;
        }
        EXPECT_EQ(wrong, 0u) << name << " at " << k << " clusters";
    }
}

TEST(Training, EveryTrainingEventWalksToItsLeafAtEveryNumberOfClusters) {
    TempDir dir;
    const TrainingSource vowels = ReadTrainingFiles({kFvs}, ReadingOptions{3, 0, 16});
    for (const Rule rule : {Rule::Centroids, Rule::CART}) {
        for (const Measure m :
             {Measure::Distortion, Measure::RecognitionError, Measure::InfoRadius}) {
            SCOPED_TRACE(static_cast<int>(rule) * 10 + static_cast<int>(m));
            TrainingOptions o = optionsOf(24, rule, 16);
            o.nextSplit = o.splitBy = m;
            o.supervisedBy = 1;
            expectEveryEventAtItsLeaf(GrowTree(vowels.events, o), vowels.events, dir, "v.vq");
        }
        // Ties: binary vectors hold many events at equal distances from
        // both sons and many duplicates.
        const TrainingEvents binary = binaryEvents(400, 8, 7);
        expectEveryEventAtItsLeaf(GrowTree(binary, optionsOf(40, rule, 8)), binary, dir, "b.vq");
    }
    // Components outside the constrained set never count.
    TrainingOptions o = optionsOf(16, Rule::Centroids, 16);
    o.constrained = {};
    for (unsigned i : {1u, 3u, 4u, 9u, 15u}) o.constrained.insert(i);
    const GrownTree sparse = GrowTree(vowels.events, o);
    expectEveryEventAtItsLeaf(sparse, vowels.events, dir, "s.vq");
}

// The tree coded by a run without a window (the fast coder, time averaging
// as a run does it) gives each event its training leaf's code.
TEST(Training, ARunCodesTheTrainingEventsAsTheTrainingPlacedThem) {
    TempDir dir;
    for (const int32_t averagingMs : {0, 100}) {
        SCOPED_TRACE(averagingMs);
        const TrainingSource source = ReadTrainingFiles({kFvs}, ReadingOptions{4, averagingMs, 16});
        const GrownTree grown = GrowTree(source.events, optionsOf(32, Rule::CART, 16));
        const std::string tree = dir.file("t.vq");
        writeTreeFile(tree, TreeFileOf(grown, source, 4, averagingMs, "test"));
        CodingEngine engine(LoadTreeFile(tree), {1, 5, 32});
        RunOptions run;
        run.clusters = {1, 5, 32};
        for (int k : run.clusters) {
            run.folders.push_back(dir.file("K" + std::to_string(k)));
            fs::create_directories(run.folders.back());
        }
        run.codesCsv = true;
        const RunReport report = engine.code(run, {kFvs});
        ASSERT_EQ(report.end, RunEnd::Whole);
        for (size_t i = 0; i < run.clusters.size(); ++i) {
            std::istringstream csv(readFileBytes(run.folders[i] + "/vowels_codes.csv"));
            std::string line;
            std::getline(csv, line);  // the titles
            size_t e = 0, wrong = 0;
            while (std::getline(csv, line)) {
                const size_t comma = line.find(',');
                const int code = std::stoi(line.substr(comma + 1));
                const int32_t node = NodeAtClusters(grown, grown.leafOf[e], run.clusters[i]);
                wrong += code != grown.tree.nodeHeap[static_cast<size_t>(node)].code;
                ++e;
            }
            EXPECT_EQ(e, source.events.size());
            EXPECT_EQ(wrong, 0u) << run.clusters[i];
        }
    }
}

TEST(Training, TheTreeFileSaysWhatTheEventsAndChoicesWere) {
    TempDir dir;
    const TrainingSource source = ReadTrainingFiles({kFvs}, ReadingOptions{3, 100, 16});
    TrainingOptions o = optionsOf(8, Rule::Centroids, 16);
    o.constrained = {};
    for (unsigned i = 2; i < 16; ++i) o.constrained.insert(i);
    o.nextSplit = Measure::RecognitionError;
    o.supervisedBy = 2;
    const GrownTree grown = GrowTree(source.events, o, source.active);
    writeTreeFile(dir.file("t.vq"), TreeFileOf(grown, source, 3, 100, "2026-12-08"));
    const Codebook b = LoadTreeFile(dir.file("t.vq"));
    const QuantizationTree& t = b.tree;
    EXPECT_EQ(t.treeHeading, "date 2026-12-08");
    EXPECT_EQ(t.centroidsNb, 8);
    EXPECT_EQ(t.HeapTop, 14);
    EXPECT_EQ(t.trainingEventsNb, 477);
    EXPECT_EQ(t.consideredComponentsNb, 16);
    EXPECT_FALSE(t.constrainedSet.contains(1));
    EXPECT_TRUE(t.constrainedSet.contains(2) && t.constrainedSet.contains(15));
    EXPECT_EQ(t.featuresSetText, " components 2-15");
    // The training settings are the fvs header's, with the kind and the
    // averaging of this training (100 ms of 10 ms frames).
    EXPECT_EQ(t.training.featureKind, 3);
    EXPECT_EQ(t.training.windowShape, 1);
    EXPECT_TRUE(t.training.preemphasis);
    EXPECT_EQ(t.training.lifterThreshold, 24);
    EXPECT_EQ(t.training.frameStep, 10.0);
    EXPECT_EQ(t.training.rate, 16000.0);
    EXPECT_EQ(t.training.fftWindowWidth, 256);
    EXPECT_TRUE(t.training.averaging);
    EXPECT_EQ(t.training.averagingFrames, 10);
    EXPECT_EQ(t.treeTraining.averagingWindowMs, 100);
    EXPECT_EQ(t.treeTraining.setsDividingMethod, 1);
    EXPECT_EQ(t.treeTraining.setChoiceCriterion, 1);
    EXPECT_EQ(t.treeTraining.featuresChoiceCriterion, 0);
    EXPECT_EQ(t.treeTraining.setChoiceClassifier, 1);
    EXPECT_EQ(t.treeTraining.setChoiceTraining, 1);
    EXPECT_EQ(t.treeTraining.featuresChoiceTraining, 0);
    EXPECT_NE(b.trainingFile.find("vowels.fvs"), std::string::npos);
    // Value lists: the characters of the events in ascending code.
    EXPECT_EQ(std::string(t.cath[0].list.begin(), t.cath[0].list.end() - 1), "aeiou");
    EXPECT_EQ(std::string(t.cath[1].list.begin(), t.cath[1].list.end()), "123");
    EXPECT_EQ(std::string(t.cath[2].list.begin(), t.cath[2].list.end()), "uv");
    // Each node's readings are its events' most frequent, the lower on a
    // tie; the group table counts each leaf's events.
    std::vector<std::map<char, int>> counts(grown.tree.nodeHeap.size() * 3);
    for (size_t e = 0; e < source.events.size(); ++e)
        for (int32_t node = grown.leafOf[e];; node = grown.father[static_cast<size_t>(node)]) {
            for (size_t c = 0; c < 3; ++c)
                ++counts[static_cast<size_t>(node) * 3 + c][source.events.cath[e][c]];
            if (node == 0) break;
        }
    for (size_t k = 0; k < t.nodeHeap.size(); ++k) {
        const uint8_t readings[3] = {t.nodeHeap[k].treeCath1, t.nodeHeap[k].treeCath2,
                                     t.nodeHeap[k].treeCath3};
        for (size_t c = 0; c < 3; ++c) {
            char most = 0;
            int mostCount = -1;
            for (const auto& [ch, n] : counts[k * 3 + c])
                if (n > mostCount) most = ch, mostCount = n;  // ascending: the lower wins ties
            EXPECT_EQ(t.cath[c].list[readings[c]], most) << k << " " << c;
        }
    }
    int64_t grouped = 0;
    for (size_t c = 0; c < 8; ++c) grouped += t.groupTable[c];
    EXPECT_EQ(grouped, 477);
    EXPECT_EQ(t.groupTable[8], 477);
}

TEST(Training, TheSameEventsGiveTheSameFileForAnyNumberOfJobs) {
    const TrainingSource source = ReadTrainingFiles({kFvs}, ReadingOptions{4, 0, 129});
    for (const Rule rule : {Rule::Centroids, Rule::CART}) {
        std::set<std::string> texts;
        for (int jobs : {1, 2, 1, 4}) {
            const GrownTree g = GrowTree(source.events, optionsOf(20, rule, 129, jobs));
            texts.insert(treeFileText(TreeFileOf(g, source, 4, 0, "x")));
        }
        EXPECT_EQ(texts.size(), 1u);
    }
}

// The fast two-means and CART scan grow the tree the readable ones grow,
// for every measure, on the components of fvs files (integers).
TEST(Training, TheFastWaysGrowWhatTheReadableOnesGrow) {
    const TrainingSource source = ReadTrainingFiles({kFvs}, ReadingOptions{3, 0, 24});
    const TrainingEvents binary = binaryEvents(300, 6, 5);
    for (const Rule rule : {Rule::Centroids, Rule::CART})
        for (const Measure m :
             {Measure::Distortion, Measure::RecognitionError, Measure::InfoRadius})
            for (const TrainingEvents* events : {&source.events, &binary}) {
                SCOPED_TRACE(static_cast<int>(rule) * 10 + static_cast<int>(m));
                TrainingOptions o =
                    optionsOf(events == &binary ? 20 : 40, rule, events == &binary ? 6 : 24);
                o.splitBy = m;
                o.supervisedBy = 1;
                const std::string fast =
                    treeFileText(TreeFileOf(GrowTree(*events, o), source, 3, 0, "x"));
                o.reference = true;
                EXPECT_EQ(fast, treeFileText(TreeFileOf(GrowTree(*events, o), source, 3, 0, "x")));
            }
}

// Supervision finds what distortion does not: a category told by one
// component of small spread among components of large noise.
TEST(Training, SupervisedMeasuresFollowTheirCategory) {
    std::mt19937 random(11);
    TrainingEvents e;
    for (int i = 0; i < 600; ++i) {
        const bool upper = i % 2 == 1;
        ComponentVector reals{};
        std::array<int16_t, kComponents> coded{};
        coded[0] = static_cast<int16_t>(upper ? 100 : -100);
        for (size_t j = 1; j < 4; ++j) coded[j] = static_cast<int16_t>(random() % 400) - 200;
        for (size_t j = 0; j < 4; ++j) reals[j] = coded[j];
        e.reals.push_back(reals);
        e.coded.push_back(coded);
        e.cath.push_back({upper ? 'u' : 'l', 'x', 'y'});
    }
    const auto errorsAtTwo = [&](Rule rule, Measure m) {
        TrainingOptions o = optionsOf(2, rule, 4);
        o.splitBy = m;
        o.supervisedBy = 1;
        const GrownTree g = GrowTree(e, o);
        int wrong = 0;
        for (size_t i = 0; i < e.size(); ++i) {
            const TreeNode& leaf = g.tree.nodeHeap[static_cast<size_t>(g.leafOf[i])];
            wrong += g.tree.cath[0].list[leaf.treeCath1] != e.cath[i][0];
        }
        return wrong;
    };
    for (const Rule rule : {Rule::Centroids, Rule::CART}) {
        EXPECT_GT(errorsAtTwo(rule, Measure::Distortion), 100);
        EXPECT_EQ(errorsAtTwo(rule, Measure::RecognitionError), 0);
        EXPECT_EQ(errorsAtTwo(rule, Measure::InfoRadius), 0);
    }
}

std::string failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const TrainingError& e) {
        return e.what();
    }
    return "(nothing refused)";
}

TEST(Training, RefusesWhatCannotBeGrownAndSaysWhy) {
    TempDir dir;
    const TrainingEvents few = binaryEvents(5, 1, 3);  // two distinct events at most
    EXPECT_NE(failureOf([&] {
                  GrowTree(few, optionsOf(3, Rule::Centroids, 1));
              }).find("give only 2 leaves, not 3"),
              std::string::npos);
    EXPECT_NE(failureOf([&] {
                  GrowTree(few, optionsOf(6, Rule::CART, 1));
              }).find("6 clusters need at least as many events; there are 5"),
              std::string::npos);
    EXPECT_NE(failureOf([&] {
                  GrowTree(TrainingEvents{}, optionsOf(2, Rule::CART, 1));
              }).find("no training events"),
              std::string::npos);
    EXPECT_NE(failureOf([&] { GrowTree(few, optionsOf(16385, Rule::CART, 1)); }).find("16384"),
              std::string::npos);
    TrainingOptions supervised = optionsOf(2, Rule::CART, 1);
    supervised.splitBy = Measure::InfoRadius;
    EXPECT_NE(failureOf([&] { GrowTree(few, supervised); }).find("give it (1, 2 or 3)"),
              std::string::npos);
    // Files: components beyond a table's, two analyses, two kinds, no event file.
    EXPECT_NE(failureOf([&] {
                  ReadTrainingFiles({kTable}, ReadingOptions{3, 0, 17});
              }).find("holds 16 components a row; 17 were asked for"),
              std::string::npos);
    FvsHeader header;
    writeFvsFile(dir.file("ten.fvs"), header, {FvsEvent{}});
    header.frameStep = 5.0;
    writeFvsFile(dir.file("five.fvs"), header, {FvsEvent{}});
    EXPECT_NE(failureOf([&] {
                  ReadTrainingFiles({dir.file("ten.fvs"), dir.file("five.fvs")}, {});
              }).find("frame step (5 ms against 10 ms)"),
              std::string::npos);
    EXPECT_NE(failureOf([&] {
                  ReadTrainingFiles({kFvs, kTable}, {});
              }).find("of one kind"),
              std::string::npos);
    EXPECT_NE(
        failureOf([&] { ReadTrainingFiles({dir.write("x.fvs", "nothing")}, {}); }).find("x.fvs"),
        std::string::npos);
    EXPECT_NE(failureOf([&] {
                  ReadTrainingFiles({kFvs}, ReadingOptions{3, 5000, 16});
              }).find("1 to 401 frames"),
              std::string::npos);
    EXPECT_NE(failureOf([&] { ComponentsNamed("3-1"); }).find("names no components"),
              std::string::npos);
    const ComponentChoice c = ComponentsNamed("0-3,7,10-11");
    EXPECT_EQ(c.considered, 12);
    EXPECT_TRUE(c.set.contains(7) && !c.set.contains(8) && c.set.contains(11));
}

#ifndef _WIN32
int run(const std::string& line) {
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The command: a tree written whole or nothing, and the statuses it gives.
TEST(Training, TheCommandWritesATreeOrNothing) {
    TempDir dir;
    const std::string exe = ZORTAN_TRAIN_EXE;
    const std::string tree = dir.file("t.vq");
    EXPECT_EQ(run(exe + " --clusters 8 --out " + tree + " --components 0-15 --quiet " + kFvs), 0);
    const std::string first = readFileBytes(tree);
    EXPECT_TRUE(first.starts_with("date not recorded\r\n"));
    // An existing tree is kept unless --overwrite; refusals write nothing.
    EXPECT_EQ(run(exe + " --clusters 8 --out " + tree + " --quiet " + kFvs + " 2>/dev/null"), 1);
    EXPECT_EQ(run(exe + " --clusters 8 --out " + tree + " --overwrite --quiet --jobs 2 " +
                  "--components 0-15 " + kFvs),
              0);
    EXPECT_EQ(readFileBytes(tree), first);
    EXPECT_EQ(
        run(exe + " --clusters 600 --out " + dir.file("big.vq") + " " + kFvs + " 2>/dev/null"), 1);
    EXPECT_EQ(run(exe + " --clusters 8 --rule nearest --out " + dir.file("x.vq") + " " + kFvs +
                  " 2>/dev/null"),
              2);
    EXPECT_FALSE(fs::exists(dir.file("big.vq")) || fs::exists(dir.file("x.vq")));
    // A table's names row names the categories.
    EXPECT_EQ(run(exe + " --clusters 4 --rule cart --kind mel-cepstrum --out " +
                  dir.file("table.vq") + " --quiet " + kTable),
              0);
    EXPECT_EQ(LoadTreeFile(dir.file("table.vq")).labels[1], "Speaker");
}
#endif

}  // namespace
}  // namespace zortan::train
