// Coding a corpus without a window: each event file (or pair of files in
// compare mode) is coded at every number of clusters asked for, in one read,
// by the coding engine, into the outputs a window run writes. Used by
// zortan-batch and the Python package.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/CodingEngine.h"
#include "shell/ShellState.h"

namespace zortan::batch {

// The names of the ten output choices on a command line, in the order of
// kOutputChoices.
inline constexpr std::array<const char*, kOutputChoices.size()> kOutputNames{
    "teach-combined", "teach-codes", "teach-cath1", "teach-cath2", "teach-cath3",
    "recog-combined", "recog-codes", "recog-cath1", "recog-cath2", "recog-cath3"};

// A corpus cannot be coded at all (its tree cannot be read, a setting is
// wrong); the text is the message to show.
class CorpusError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct CorpusSettings {
    std::string tree;
    std::vector<int> clusters;  // ascending, each at least 1
    std::array<bool, kOutputChoices.size()> outputs{};
    std::string outDir;    // outputs of K clusters go to outDir/K<K>/
    bool compare = false;  // inputs are pairs coded side by side
    bool overwrite = false;
};

// One run: one input (or pair) at one number of clusters.
using RunResult = ClusterRun;

struct FileResult {
    std::vector<std::string> inputs;    // one file, or a pair
    std::vector<RunResult> runs;        // one per number of clusters
    std::vector<std::string> warnings;  // what the window would have told along the way
    bool ok() const;
    // The first failure's message, or empty.
    std::string failure() const;
};

// The corpus error table of one number of clusters: the counts of every
// file coded whole summed.
struct CorpusTable {
    int clusters = 0;
    int files = 0;
    int64_t steps = 0;
    int64_t events = 0;
    std::vector<TableRow> rows;
};

// What a job reports while it codes: the coding steps of the run at hand
// done, and how many it is to do.
struct StepsDone {
    std::atomic<int64_t> done{0}, total{0};
};

// One coder: reads the tree once, then codes inputs one after another. One
// per thread.
class CorpusJob {
  public:
    explicit CorpusJob(const CorpusSettings& settings);
    ~CorpusJob();
    CorpusJob(const CorpusJob&) = delete;
    CorpusJob& operator=(const CorpusJob&) = delete;

    // The tree's category labels.
    std::array<std::string, 3> labels() const;

    // Codes one input (a pair in compare mode) at every number of clusters.
    // `steps`, when given, follows the run at hand.
    FileResult code(const std::vector<std::string>& inputs, StepsDone* steps = nullptr);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Checks the settings and the inputs before anything is coded: the output
// folders are made, and inputs whose outputs would share names are refused.
// Throws CorpusError.
void PrepareCorpus(const CorpusSettings& settings,
                   const std::vector<std::vector<std::string>>& inputs);

// The corpus tables, one per number of clusters.
std::vector<CorpusTable> SumTables(const CorpusSettings& settings,
                                   const std::vector<FileResult>& results);

// Writes outDir/K<K>/corpus_error.txt and .csv for every table.
void WriteCorpusTables(const CorpusSettings& settings, const std::array<std::string, 3>& labels,
                       const std::vector<CorpusTable>& tables);

struct CorpusProgress {
    size_t filesDone = 0, filesFailed = 0, files = 0;
    int64_t stepsDone = 0;
    double fractionDone = 0;               // by the inputs' sizes
    const FileResult* finished = nullptr;  // the file just finished, if any
};
using ProgressReport = std::function<void(const CorpusProgress&)>;

struct CorpusOutcome {
    std::vector<FileResult> results;  // in the order of the inputs
    std::vector<CorpusTable> tables;
    std::array<std::string, 3> labels;
};

// Codes every input with `jobs` threads (0: one per core), each with its own
// CorpusJob, then writes the corpus tables. `progress` is called from the
// calling thread about every `interval` and when a file finishes.
CorpusOutcome CodeCorpus(const CorpusSettings& settings,
                         const std::vector<std::vector<std::string>>& inputs, unsigned jobs,
                         const ProgressReport& progress = {}, double interval = 0.25);

}  // namespace zortan::batch
