// Coding a corpus without a window: each event file (or pair of files in
// compare mode) is coded at every number of clusters asked for, in one read,
// by the coding engine, into the outputs a window run writes. Used by
// zortan-batch and the Python package.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
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
    bool codesCsv = false;  // the codes in decimal, a CSV row per event
    std::string outDir;     // outputs of K clusters go to outDir/K<K>/
    bool compare = false;   // inputs are pairs coded side by side
    bool overwrite = false;
    // Inputs whose outputs are all there, and which the corpus tables
    // already describe, are not coded again.
    bool skipExisting = false;
    // Inputs under this folder (empty: the working folder) have their
    // outputs in the same subfolders under outDir/K<K>/; the others in
    // those under the folder they have in common.
    std::string inputRoot{};
};

// The corpus tables' and their list's names in each outDir/K<K>/.
inline constexpr std::array<const char*, 3> kCorpusFiles{"corpus_error.txt", "corpus_error.csv",
                                                         "corpus_files.csv"};

// One input (or pair) of a corpus as it is to be coded: where its outputs
// go, under outDir/K<K>/, and what stands in their way.
struct CorpusInput {
    std::vector<std::string> inputs;  // one file, or a pair
    std::string subfolder;  // the input's folder under the inputs' common folder ("" for it)
    std::string stem;       // the outputs' names start with it
    // Per number of clusters: why it is not coded (its outputs exist), or
    // empty.
    std::vector<std::string> refused;
    bool skipped = false;  // every output is there: not coded again
};

// One run: one input (or pair) at one number of clusters.
using RunResult = ClusterRun;

struct FileResult {
    std::vector<std::string> inputs;    // one file, or a pair
    std::vector<RunResult> runs;        // one per number of clusters
    std::vector<std::string> warnings;  // what the window would have told along the way
    std::string subfolder, stem;        // where its outputs are
    bool skipped = false;               // its outputs were there: not coded again
    bool interrupted = false;           // the corpus was stopped before it was coded whole
    int64_t faultyRows = 0;             // table rows with bad fields
    bool countMismatch = false;         // events other than its header declares
    bool ok() const;
    // Coded, but not every event was as its header or rows declare (an
    // input ended early, held more, had faulty rows).
    bool incomplete() const { return ok() && !skipped && (faultyRows > 0 || countMismatch); }
    // The first failure's message, or empty.
    std::string failure() const;
};

// A file the corpus tables of a folder describe, as their list keeps it:
// the error counts its run left.
struct ListedFile {
    std::vector<std::string> inputs;
    int64_t steps = 0, events = 0;
    std::vector<TableRow> rows;  // tree sizes 1..K
};
// By the outputs' place under outDir/K<K>/: subfolder and stem.
using CorpusList = std::map<std::string, ListedFile>;

// The list of the files the corpus tables of each number of clusters
// describe, as earlier runs left it (empty where there is none). Throws
// CorpusError for a list that cannot be read or was written for another
// mode.
std::vector<CorpusList> ReadCorpusLists(const CorpusSettings& settings);

// The corpus error table of one number of clusters: the counts of every
// file it describes summed.
struct CorpusTable {
    int clusters = 0;
    int files = 0;
    int64_t steps = 0;
    int64_t events = 0;
    std::vector<TableRow> rows;
    CorpusList listed;  // the files it describes
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
    // The category names of a run over these inputs.
    std::array<std::string, 3> labelsFor(const std::vector<std::string>& inputs) const;

    // Codes one input (a pair in compare mode) at every number of clusters
    // it is not refused at. `steps`, when given, follows the run at hand;
    // `cancel`, when given and set, interrupts it: it leaves no output.
    FileResult code(const CorpusInput& input, StepsDone* steps = nullptr,
                    const std::atomic<bool>* cancel = nullptr);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Checks the settings and the inputs before anything is coded, once the
// tree and the numbers of clusters are known good (`job` read them): the
// corpus tables that exist are refused without --overwrite or
// --skip-existing, inputs whose outputs would share names are refused, each
// input is placed under the folder of the inputs in common, outputs that
// exist are marked, and then the output folders are made. Throws
// CorpusError.
std::vector<CorpusInput> PrepareCorpus(const CorpusSettings& settings, const CorpusJob& job,
                                       const std::vector<std::vector<std::string>>& inputs);

// The corpus tables, one per number of clusters: the files of this run
// coded whole, and those the folder's list names from earlier runs whose
// error files are still there.
std::vector<CorpusTable> SumTables(const CorpusSettings& settings,
                                   const std::vector<FileResult>& results);

// Writes outDir/K<K>/corpus_error.txt, .csv and the list of the files they
// describe for every table; each under a name of its own until it is whole.
// The failures, each naming its file, are returned.
std::vector<std::string> WriteCorpusTables(const CorpusSettings& settings,
                                           const std::array<std::string, 3>& labels,
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
    bool interrupted = false;                // `cancel` was set
    std::vector<std::string> tableFailures;  // the corpus tables that could not be written
};

// Codes every input with `jobs` threads (0: one per core), each with its own
// CorpusJob, then writes the corpus tables. `progress` is called from the
// calling thread about every `interval` and when a file finishes. When
// `cancel` is set the files under way are left without outputs, no other is
// begun, and the tables are written for the files coded whole.
CorpusOutcome CodeCorpus(const CorpusSettings& settings,
                         const std::vector<std::vector<std::string>>& inputs, unsigned jobs,
                         const ProgressReport& progress = {}, double interval = 0.25,
                         const std::atomic<bool>* cancel = nullptr);

}  // namespace zortan::batch
