// The coding engine without a window: several numbers of clusters in one
// read give each run's own bytes, files that are no event files of their
// kind are refused with the reason, and what the window would have said
// along the way comes back as warnings.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "engine/CodingEngine.h"
#include "engine/TreeLoading.h"
#include "support/TempDir.h"
#include "tools/fixtures/TreeFileWriter.h"

namespace zortan {
namespace {

using testing::readFileBytes;
using testing::TempDir;
namespace fs = std::filesystem;

const std::string kSamples = ZORTAN_SAMPLES_DIR;
const std::string kTree = kSamples + "/vowels-cep16-centroids32.vq";
const std::string kFvs = kSamples + "/vowels.fvs";
const std::string kTable = kSamples + "/vowels-melcep16.txt";
const std::string kTableTree = kSamples + "/vowels-melcep16-cart32.vq";

std::string noise(size_t bytes) {
    std::mt19937 random(1812);
    std::string text(bytes, '\0');
    for (char& c : text) c = static_cast<char>(random());
    return text;
}

// Files of a folder whose names a staged output takes before its own.
size_t stagedCopies(const std::string& folder) {
    size_t n = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        n += entry.path().filename().string().rfind(".zortan-", 0) == 0;
    return n;
}

LocalDateTime fixedClock() {
    return LocalDateTime{2026, 12, 8, 10, 30, 0, 0};
}

RunOptions everyOutput(const std::vector<int>& clusters, const std::string& folder) {
    RunOptions o;
    o.clusters = clusters;
    for (int k : clusters) o.folders.push_back(folder + "/K" + std::to_string(k));
    for (const std::string& f : o.folders) fs::create_directories(f);
    o.outputs.fill(true);
    return o;
}

RunReport codeWith(const std::string& tree, const std::vector<int>& clusters,
                   const RunOptions& options, const std::vector<std::string>& inputs) {
    CodingEngine engine(LoadTreeFile(tree), clusters);
    engine.clock = fixedClock;
    return engine.code(options, inputs);
}

TEST(CodingEngine, SeveralClustersInOneReadWriteWhatSeparateRunsWrite) {
    TempDir dir;
    const RunReport together =
        codeWith(kTree, {2, 8, 32}, everyOutput({2, 8, 32}, dir.file("one")), {kFvs});
    EXPECT_EQ(together.end, RunEnd::Whole);
    EXPECT_TRUE(together.warnings.empty());
    for (size_t k = 0; k < 3; ++k) {
        const ClusterRun& run = together.runs[k];
        SCOPED_TRACE(run.clusters);
        ASSERT_TRUE(run.coded) << run.message;
        EXPECT_EQ(run.events, 477);
        EXPECT_EQ(run.rows.size(), static_cast<size_t>(run.clusters));
        EXPECT_EQ(run.files.size(), 10u);  // one code file for both groups
        const std::string alone = dir.file("alone" + std::to_string(k));
        const RunReport single =
            codeWith(kTree, {run.clusters}, everyOutput({run.clusters}, alone), {kFvs});
        ASSERT_TRUE(single.runs[0].coded);
        EXPECT_EQ(single.runs[0].rows, run.rows);
        const std::string folder = "/K" + std::to_string(run.clusters);
        for (const auto& entry : fs::directory_iterator(alone + folder)) {
            const std::string name = entry.path().filename().string();
            EXPECT_EQ(readFileBytes(entry.path().string()),
                      readFileBytes(dir.file("one" + folder + "/" + name)))
                << name;
        }
    }
    // At one cluster every event counts as an error, whatever its reading.
    EXPECT_EQ(together.runs[0].rows[0][0], 477u);
}

TEST(CodingEngine, RefusesFilesThatAreNoEventFilesOfTheirKind) {
    TempDir dir;
    const std::string fvs = readFileBytes(kFvs);
    fs::create_directories(dir.file("folder.fvs"));
    std::vector<std::pair<std::string, std::string>> cases = {
        {dir.file("missing.fvs"), "does not exist."},
        {dir.file("folder.fvs"), "is a directory, not an event file."},
        {dir.write("empty.fvs", ""), "holds no header record (1812 bytes): Read beyond end"},
        {dir.write("cut.fvs", fvs.substr(0, 1812 * 10 + 900)),
         "holds 19020 bytes, no whole number of 1812-byte records."},
        {dir.write("tree.fvs", readFileBytes(kTree)), "no whole number of 1812-byte records"},
        {dir.write("words.txt", "no table here\r\nat all\r\n"), "holds no events count line"},
        // Whole records of noise, and a tree file taken for a table.
        {dir.write("noise.fvs", noise(1812 * 10)), "its header cannot be an fvs header"},
        {dir.write("tree.vq1", readFileBytes(kTree)), "value range line does not hold one number"},
        {dir.write("short-names.txt", "1 event\r\n3\r\n100\r\na b c x\r\na b c 1 2 3\r\n"),
         "names row holds 4 names, not 3 categories and 3 components"},
    };
#ifndef _WIN32
    mkfifo(dir.file("pipe.fvs").c_str(), 0600);
    cases.emplace_back(dir.file("pipe.fvs"), "is not a regular file");
#endif
    for (const auto& [path, says] : cases) {
        SCOPED_TRACE(path);
        const RunReport r = codeWith(kTree, {4}, everyOutput({4}, dir.file("out")), {path});
        EXPECT_EQ(r.end, RunEnd::Refused);
        ASSERT_EQ(r.runs.size(), 1u);
        EXPECT_FALSE(r.runs[0].coded);
        EXPECT_NE(r.runs[0].message.find(says), std::string::npos) << r.runs[0].message;
    }
    EXPECT_TRUE(fs::is_empty(dir.file("out/K4")));
}

TEST(CodingEngine, SaysWhatTheWindowWouldHaveSaidAsWarnings) {
    TempDir dir;
    const std::string fvs = readFileBytes(kFvs);
    // Whole records, fewer than the header declares: coded up to the end.
    const std::string shortFile = dir.write("short.fvs", fvs.substr(0, 1812 * 61));
    RunReport r = codeWith(kTree, {4}, everyOutput({4}, dir.file("a")), {shortFile});
    EXPECT_EQ(r.end, RunEnd::EndOfData);
    EXPECT_TRUE(r.runs[0].coded);
    EXPECT_EQ(r.runs[0].events, 60);
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find("holds no further event.\r\n60 events of it were coded"),
              std::string::npos);
    EXPECT_NE(readFileBytes(dir.file("a/K4/short_error.txt")).find("Events number=60\r\n"),
              std::string::npos);

    // Qualifiers outside the tree's value lists, and a table with faulty rows.
    std::string odd = fvs;
    odd[1812 + 1806] = '#';
    odd[2 * 1812 + 1806] = '#';
    r = codeWith(kTree, {4}, everyOutput({4}, dir.file("b")), {dir.write("odd.fvs", odd)});
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0].find("2 events of \"" + dir.file("odd.fvs") + "\" carry a Vowel"), 0u)
        << r.warnings[0];

    std::string table = readFileBytes(kTable);
    const size_t row = table.find("\r\ne\t3\tv\t") + 2;
    table.insert(table.find('\t', row + 6) + 1, "12abc");
    r = codeWith(kTableTree, {16}, everyOutput({16}, dir.file("c")),
                 {dir.write("faulty.txt", table)});
    EXPECT_TRUE(r.runs[0].coded) << r.runs[0].message;
    EXPECT_EQ(r.faultyRows, 1);
    ASSERT_FALSE(r.warnings.empty());
    EXPECT_EQ(r.warnings[0].find("Error 100."), 0u);

    // A table's header sets the number of clusters of its run.
    r = codeWith(kTableTree, {8, 16}, everyOutput({8, 16}, dir.file("d")), {kTable});
    EXPECT_FALSE(r.runs[0].coded);
    EXPECT_NE(r.runs[0].message.find("is coded at 16 clusters, not at 8."), std::string::npos);
    EXPECT_TRUE(r.runs[1].coded);
}

// Cancels after a number of events.
class CancelAfter : public RunObserver {
  public:
    explicit CancelAfter(int64_t steps) : steps_(steps) {}
    void progress(int64_t steps, int64_t) override { seen_ = steps; }
    bool cancelled() override { return seen_ >= steps_; }

  private:
    int64_t steps_, seen_ = 0;
};

TEST(CodingEngine, ACancelledRunClosesItsFilesWholeAfterTheLastEvent) {
    TempDir dir;
    CodingEngine engine(LoadTreeFile(kTree), {8});
    CancelAfter observer(10);
    const RunReport r = engine.code(everyOutput({8}, dir.file("out")), {kFvs}, &observer);
    EXPECT_EQ(r.end, RunEnd::Cancelled);
    EXPECT_FALSE(r.runs[0].coded);
    EXPECT_EQ(r.runs[0].message, "The run was interrupted after 10 events.");
    EXPECT_EQ(readFileBytes(dir.file("out/K8/vowels_Teach.zrt")).size(), 6u * (1 + 253 + 10));
    EXPECT_EQ(readFileBytes(dir.file("out/K8/vowels_error.txt")).find("Events number="),
              std::string::npos);
}

// A walk that leaves the tree stops the run at the event it reads (a table
// codes at its components count of clusters); in
// compare mode the event is the pair's, whichever series reached it.
TEST(CodingEngine, AStoppedCompareRunNamesThePairItStoppedAt) {
    TempDir dir;
    fixtures::TreeFileContents tree = fixtures::makeTree(
        3, 2, fixtures::SplitOrder::Balanced, [](int n, int i) { return 100 + n + i / 8.0; });
    tree.tree.nodeHeap[2].son = 5;
    fixtures::writeTreeFile(dir.file("bad.vq"), tree);
    // Events near 101 stay by node 1; one near 102 walks into node 2's son.
    const auto table = [&](const std::string& name, const std::vector<std::string>& values) {
        std::string text =
            std::to_string(values.size()) + " events\r\n2\r\n32767\r\nV S G c1 c2\r\n";
        for (const std::string& v : values) text += "x p r " + v + " " + v + "\r\n";
        return dir.write(name, text);
    };
    struct Case {
        std::vector<std::string> first, second;
        std::string at;
    };
    for (const Case& c : std::vector<Case>{
             {{"101", "101", "102", "101"}, {"101", "101", "101", "101"}, "at event 3"},
             {{"101", "101", "101", "101"}, {"101", "102", "101", "101"}, "at event 2"},
             {{"102", "101"}, {"101", "101"}, "at event 1"}}) {
        SCOPED_TRACE(c.at);
        RunOptions options = everyOutput({2}, dir.file("out"));
        options.compare = true;
        const RunReport r = codeWith(dir.file("bad.vq"), {2}, options,
                                     {table("a.txt", c.first), table("b.txt", c.second)});
        ASSERT_EQ(r.runs.size(), 1u);
        EXPECT_FALSE(r.runs[0].coded);
        EXPECT_EQ(r.runs[0].message, "The run stopped " + c.at + ": Range check error.");
    }
    // The same walk outside compare mode counts the series' own events.
    const RunReport single = codeWith(dir.file("bad.vq"), {2}, everyOutput({2}, dir.file("one")),
                                      {table("c.txt", {"101", "101", "101", "101", "102"})});
    EXPECT_EQ(single.runs[0].message, "The run stopped at event 5: Range check error.");
}

TEST(CodingEngine, StagedOutputsAreWholeOrAbsent) {
    TempDir dir;
    RunOptions options = everyOutput({4}, dir.file("out"));
    options.staged = true;
    const std::string errorFile = dir.file("out/K4/vowels_error.txt");
    dir.write("out/K4/vowels_error.txt", "earlier");
    CodingEngine engine(LoadTreeFile(kTree), {4});
    engine.clock = fixedClock;

    // Interrupted: nothing of the run is left, the earlier file is kept.
    CancelAfter cancel(10);
    RunReport r = engine.code(options, {kFvs}, &cancel);
    EXPECT_EQ(r.end, RunEnd::Cancelled);
    EXPECT_FALSE(r.runs[0].coded);
    EXPECT_EQ(r.runs[0].events, 0);
    EXPECT_TRUE(r.runs[0].files.empty());
    EXPECT_EQ(readFileBytes(errorFile), "earlier");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("out/K4")), {}), 1);

    // Whole: the outputs take their names, byte for byte those written
    // under their names at once.
    r = engine.code(options, {kFvs});
    ASSERT_TRUE(r.runs[0].coded) << r.runs[0].message;
    EXPECT_EQ(stagedCopies(dir.file("out/K4")), 0u);
    const RunReport direct = codeWith(kTree, {4}, everyOutput({4}, dir.file("direct")), {kFvs});
    for (const auto& entry : fs::directory_iterator(dir.file("direct/K4")))
        EXPECT_EQ(readFileBytes(entry.path().string()),
                  readFileBytes(dir.file("out/K4/" + entry.path().filename().string())));

    // A name the folder cannot take fails before anything is coded.
    options.stem = std::string(300, 'n');
    r = engine.code(options, {kFvs});
    EXPECT_FALSE(r.runs[0].coded);
    EXPECT_NE(r.runs[0].message.find("could not be created"), std::string::npos)
        << r.runs[0].message;
    EXPECT_EQ(stagedCopies(dir.file("out/K4")), 0u);
}

TEST(CodingEngine, CodesCsvHoldsEveryCodeInDecimal) {
    TempDir dir;
    RunOptions options = everyOutput({32}, dir.file("out"));
    options.codesCsv = true;
    const RunReport r = codeWith(kTree, {32}, options, {kFvs});
    ASSERT_TRUE(r.runs[0].coded) << r.runs[0].message;
    std::istringstream csv(readFileBytes(dir.file("out/K32/vowels_codes.csv")));
    // The code file's last bytes: a character per event.
    std::string codes = readFileBytes(dir.file("out/K32/vowels_code.txt"));
    ASSERT_GE(codes.size(), 477u);
    codes.erase(0, codes.size() - 477);
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line,
              "event,code,Vowel,Speaker,Voicing,recognized_Vowel,recognized_Speaker,"
              "recognized_Voicing\r");
    size_t rows = 0;
    std::set<int> seen;
    while (std::getline(csv, line)) {
        ASSERT_EQ(line.back(), '\r');
        int event = 0, code = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%d,", &event, &code), 2) << line;
        EXPECT_EQ(event, static_cast<int>(++rows));
        ASSERT_LT(rows - 1, codes.size());
        // The code file keeps the low byte of the same code.
        EXPECT_EQ(static_cast<unsigned char>(codes[rows - 1]), code & 0xFF);
        seen.insert(code);
    }
    EXPECT_EQ(rows, 477u);
    EXPECT_GT(seen.size(), 16u);
}

#ifndef _WIN32
// An output of one number of clusters fails (its code file is a full
// device): that run fails alone, and the other holds every event.
TEST(CodingEngine, AnOutputFailingAloneLeavesTheOtherRunsWhole) {
    TempDir dir;
    RunOptions options = everyOutput({8, 32}, dir.file("out"));
    options.staged = true;
    fs::create_symlink("/dev/full", dir.file("out/K8/vowels_code.txt"));
    const RunReport r = codeWith(kTree, {8, 32}, options, {kFvs});
    EXPECT_FALSE(r.runs[0].coded);
    EXPECT_NE(r.runs[0].message.find("vowels_code.txt\" could not be written"), std::string::npos)
        << r.runs[0].message;
    EXPECT_EQ(stagedCopies(dir.file("out/K8")), 0u);
    ASSERT_TRUE(r.runs[1].coded) << r.runs[1].message;
    EXPECT_EQ(r.runs[1].events, 477);
    const RunReport alone = codeWith(kTree, {32}, everyOutput({32}, dir.file("alone")), {kFvs});
    EXPECT_EQ(r.runs[1].rows, alone.runs[0].rows);
    EXPECT_EQ(readFileBytes(dir.file("out/K32/vowels_Teach.zrt")).size(),
              readFileBytes(dir.file("alone/K32/vowels_Teach.zrt")).size());
}
#endif

TEST(CodingEngine, ATreeLoadedFromItsTextCodesAsItsFile) {
    TempDir dir;
    const std::string text = readFileBytes(kTree);
    const RunReport fromFile = codeWith(kTree, {8}, everyOutput({8}, dir.file("file")), {kFvs});
    CodingEngine engine(LoadTreeText(text, kTree), {8});
    engine.clock = fixedClock;
    const RunReport fromText = engine.code(everyOutput({8}, dir.file("text")), {kFvs});
    ASSERT_TRUE(fromText.runs[0].coded) << fromText.runs[0].message;
    EXPECT_EQ(fromText.runs[0].rows, fromFile.runs[0].rows);
    for (const auto& entry : fs::directory_iterator(dir.file("file/K8"))) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(readFileBytes(entry.path().string()), readFileBytes(dir.file("text/K8/" + name)))
            << name;
    }
    // A text that is no whole tree is refused as its file would be, under
    // the name it was given.
    const auto refusal = [](const std::string& t) {
        try {
            LoadTreeText(t, "made.vq");
        } catch (const TreeLoadError& e) {
            return std::string(e.what());
        }
        return std::string("loaded");
    };
    EXPECT_EQ(refusal("no tree\r\n"), notATreeFileMessage("made.vq"));
    EXPECT_EQ(refusal(text.substr(0, text.size() / 2))
                  .rfind("The tree file \"made.vq\" ends too early", 0),
              0u);
}

}  // namespace
}  // namespace zortan
