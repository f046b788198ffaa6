// The coding engine: a codebook prepared once, then event files coded with
// it, each at several numbers of clusters in one read, into the outputs a
// window run writes for the same tree, file, K and choices (only the date
// and time differ), with no window: options in, results out.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/TreeLoading.h"
#include "platform/Clock.h"
#include "shell/ShellState.h"

namespace zortan {

// The columns of an error table row: the first series' three categories,
// then in compare mode the second series', the three categories'
// differences and the groups' difference.
inline constexpr size_t kTableColumns = 10;
using TableRow = std::array<uint64_t, kTableColumns>;

struct RunOptions {
    // Each number of clusters with the folder its outputs go to.
    std::vector<int> clusters;
    std::vector<std::string> folders;
    std::array<bool, kOutputChoices.size()> outputs{};  // in kOutputChoices' order
    bool compare = false;                               // the inputs are a pair
    // Each output is written under a name of its own and takes its name
    // only when its run ends whole (or at the end of its data): a run that
    // fails or is cancelled leaves no output, and files of those names keep
    // what they held.
    bool staged = false;
    // Per number of clusters, beside the others: one CSV row per event with
    // its code in decimal and the qualifiers given and recognized.
    bool codesCsv = false;
    // The name the outputs are named after; empty: the window's, the
    // input's name up to its first dot.
    std::string stem;
};

// Why a run ended.
enum class RunEnd {
    Whole,      // every event its header declares was coded
    EndOfData,  // an input ended before its header's count
    Stopped,    // an error stopped it at an event
    Cancelled,  // the observer asked it to stop
    Refused,    // it could not start
};

// What a run did at one number of clusters.
struct ClusterRun {
    int clusters = 0;
    bool coded = false;              // it went to the end of its events
    std::string message;             // why not, as the window says it
    int64_t steps = 0;               // coding steps (events; twice the pairs in compare mode)
    int64_t events = 0;              // events coded (pairs in compare mode); 0 when refused
    std::vector<TableRow> rows;      // error counts of tree sizes 1..clusters
    std::vector<std::string> files;  // the output files written whole
};

struct RunReport {
    RunEnd end = RunEnd::Refused;
    std::vector<ClusterRun> runs;  // one per number of clusters, in the options' order
    // What the window would tell along the way, as values: header remarks,
    // settings that differ from the training, faulty rows, an input that
    // ended before its count.
    std::vector<std::string> warnings;
    int64_t faultyRows = 0;
    // The inputs held other events than their headers declare: one ended
    // before its count, or holds records beyond it.
    bool countMismatch = false;
};

// Called between events, from the thread that codes.
class RunObserver {
  public:
    virtual ~RunObserver() = default;
    // `steps` of `total` coding steps are done.
    virtual void progress(int64_t steps, int64_t total) {
        (void)steps;
        (void)total;
    }
    // Whether the run is to stop after the event at hand.
    virtual bool cancelled() { return false; }
};

// The output files a run whose outputs are named after `stem` writes into
// `folder`, chosen or not, in kOutputChoices' order, then the error file and
// the codes CSV, with the category names of its run.
std::array<std::string, kOutputChoices.size() + 2> OutputNamesFor(
    const std::array<std::string, 3>& labels, const std::string& stem, const std::string& folder);

class CodingEngine {
  public:
    // Prepares the codebook's coders for every number of clusters in
    // `clusters` (each within the tree's size).
    CodingEngine(Codebook book, std::vector<int> clusters);
    ~CodingEngine();
    CodingEngine(const CodingEngine&) = delete;
    CodingEngine& operator=(const CodingEngine&) = delete;

    const Codebook& codebook() const { return book_; }
    // The category names a run over these inputs has: a text table's header
    // names them, else the tree.
    std::array<std::string, 3> labelsFor(const std::vector<std::string>& inputs) const;

    // Codes the input (a pair in compare mode) at each number of clusters of
    // `options` (each one the engine was prepared for).
    RunReport code(const RunOptions& options, const std::vector<std::string>& inputs,
                   RunObserver* observer = nullptr);

    // Where the outputs take their date and time from.
    std::function<LocalDateTime()> clock = currentLocalDateTime;

  private:
    struct Coders;
    Codebook book_;
    std::vector<int> clusters_;
    std::unique_ptr<Coders> coders_;
};

}  // namespace zortan
