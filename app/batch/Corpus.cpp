#include "app/batch/Corpus.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "base/Format.h"
#include "engine/TreeLoading.h"
#include "output/CombinedOutput.h"
#include "output/CompareReport.h"
#include "output/OutFile.h"
#include "output/TextOutputs.h"
#include "platform/Errors.h"
#include "platform/Host.h"

namespace zortan::batch {

namespace {

namespace fs = std::filesystem;

std::string clusterFolder(const CorpusSettings& settings, int clusters) {
    return joinPath(settings.outDir, "K" + std::to_string(clusters));
}

Codebook loadTree(const CorpusSettings& settings) {
    try {
        return LoadTreeFile(settings.tree);
    } catch (const TreeLoadError& e) {
        throw CorpusError("The tree \"" + settings.tree + "\" cannot be read: " + e.what());
    } catch (const RangeError& e) {
        throw CorpusError("The tree \"" + settings.tree + "\" cannot be read: " + e.what());
    }
}

CodingEngine prepare(const CorpusSettings& settings) {
    try {
        return CodingEngine(loadTree(settings), settings.clusters);
    } catch (const TreeLoadError& e) {
        throw CorpusError(e.what());
    }
}

// Follows the run at hand for the progress line.
class StepsObserver : public RunObserver {
  public:
    explicit StepsObserver(StepsDone* steps) : steps_(steps) {}
    void progress(int64_t steps, int64_t total) override {
        steps_->done.store(steps, std::memory_order_relaxed);
        steps_->total.store(total, std::memory_order_relaxed);
    }

  private:
    StepsDone* steps_;
};

}  // namespace

bool FileResult::ok() const {
    return std::all_of(runs.begin(), runs.end(), [](const RunResult& r) { return r.coded; });
}

std::string FileResult::failure() const {
    for (const RunResult& r : runs)
        if (!r.coded) return r.message;
    return {};
}

// The codebook, read once and prepared for every number of clusters.
struct CorpusJob::State {
    CorpusSettings settings;
    CodingEngine engine;

    explicit State(const CorpusSettings& s) : settings(s), engine(prepare(s)) {}
};

CorpusJob::CorpusJob(const CorpusSettings& settings) : state_(std::make_unique<State>(settings)) {}

CorpusJob::~CorpusJob() = default;

std::array<std::string, 3> CorpusJob::labels() const {
    return state_->engine.codebook().labels;
}

FileResult CorpusJob::code(const std::vector<std::string>& inputs, StepsDone* steps) {
    const CorpusSettings& settings = state_->settings;
    CodingEngine& engine = state_->engine;
    FileResult result;
    result.inputs = inputs;
    result.runs.resize(settings.clusters.size());
    const std::array<std::string, 3> labels = engine.labelsFor(inputs);

    // The numbers of clusters whose outputs may be written.
    RunOptions options;
    options.outputs = settings.outputs;
    options.compare = settings.compare;
    std::vector<size_t> coded;
    for (size_t k = 0; k < settings.clusters.size(); ++k) {
        RunResult& r = result.runs[k];
        r.clusters = settings.clusters[k];
        const std::string folder = clusterFolder(settings, r.clusters);
        if (!settings.overwrite) {
            const auto names = OutputNamesFor(labels, inputs.at(0), folder);
            const auto taken = std::find_if(names.begin(), names.end(), [&](const auto& name) {
                const size_t i = static_cast<size_t>(&name - names.data());
                const bool chosen =
                    i == names.size() - 1 || (!settings.compare && settings.outputs[i]);
                return chosen && (fileExists(name) || otherFileExists(name));
            });
            if (taken != names.end()) {
                r.message =
                    "The file \"" + *taken + "\" exists; it is kept (--overwrite replaces it).";
                continue;
            }
        }
        options.clusters.push_back(r.clusters);
        options.folders.push_back(folder);
        coded.push_back(k);
    }
    if (coded.empty()) return result;
    if (steps != nullptr) {
        steps->done.store(0, std::memory_order_relaxed);
        steps->total.store(0, std::memory_order_relaxed);
    }
    StepsObserver observer(steps);
    RunReport report = engine.code(options, inputs, steps != nullptr ? &observer : nullptr);
    for (size_t i = 0; i < coded.size(); ++i) result.runs[coded[i]] = std::move(report.runs[i]);
    result.warnings = std::move(report.warnings);
    return result;
}

void PrepareCorpus(const CorpusSettings& settings,
                   const std::vector<std::vector<std::string>>& inputs) {
    if (settings.clusters.empty()) throw CorpusError("No number of clusters is given.");
    // Outputs are named after the (first) input's name: two inputs of the
    // same name would write the same files.
    std::map<std::string, std::string> stems;
    for (const auto& input : inputs) {
        const std::string stem = outputStemOf(input.at(0));
        const auto [at, fresh] = stems.emplace(stem, input[0]);
        if (!fresh)
            throw CorpusError("\"" + at->second + "\" and \"" + input[0] +
                              "\" would write outputs of the same names (\"" + stem +
                              "_...\"): code them into different folders.");
    }
    for (int k : settings.clusters) {
        const std::string folder = clusterFolder(settings, k);
        if (!makeFolders(folder) || !folderExists(folder))
            throw CorpusError("The folder \"" + folder + "\" cannot be made.");
    }
}

std::vector<CorpusTable> SumTables(const CorpusSettings& settings,
                                   const std::vector<FileResult>& results) {
    std::vector<CorpusTable> tables;
    for (size_t k = 0; k < settings.clusters.size(); ++k) {
        CorpusTable& table = tables.emplace_back();
        table.clusters = settings.clusters[k];
        table.rows.assign(static_cast<size_t>(table.clusters), TableRow{});
        for (const FileResult& file : results) {
            if (k >= file.runs.size() || !file.runs[k].coded) continue;
            const RunResult& run = file.runs[k];
            ++table.files;
            table.steps += run.steps;
            table.events += run.events;
            for (size_t t = 0; t < table.rows.size() && t < run.rows.size(); ++t)
                for (size_t c = 0; c < kTableColumns; ++c) table.rows[t][c] += run.rows[t][c];
        }
    }
    return tables;
}

namespace {

// A count as a percentage of the events of one series, as the error file
// gives it, from 64-bit sums.
std::string percentOf(uint64_t count, int64_t steps, bool compare) {
    return ErrorPercent(count, steps, compare);
}

size_t columnsOf(bool compare) {
    return compare ? kTableColumns : 3;
}

void writeText(const CorpusSettings& settings, const std::array<std::string, 3>& labels,
               const CorpusTable& table, const std::string& path) {
    const bool compare = settings.compare;
    const size_t W = ErrorTableWidth(compare);
    OutFile f;
    f.create(path);
    f.line("Corpus Classification Error.");
    f.line(std::string(W, '='));
    f.line(padRight("Tree:", 22) + "\"" + oneLine(settings.tree) + "\"");
    f.line(padRight("Coded event files:", 22) + std::to_string(table.files) +
           (compare ? " pairs" : ""));
    f.line(padLeft(std::to_string(table.clusters), 8) + " - Number of used groups");
    f.line("");
    f.line("Events number=" + std::to_string(compare ? table.events : table.steps));
    f.line(compare ? "Differeces between classifications of events in the pairs of the corpus."
                   : "Erronous recognitions for " + oneLine(labels[0]) + " " + oneLine(labels[1]) +
                         " " + oneLine(labels[2]) + " over the corpus; results in %:");
    WriteErrorTableHeading(f, compare, labels);
    for (size_t t = 0; t < table.rows.size(); ++t) {
        std::string row = padLeft(std::to_string(t + 1), 8);
        for (size_t c = 0; c < columnsOf(compare); ++c)
            row += percentOf(table.rows[t][c], table.steps, compare);
        f.line(row);
    }
    f.line(std::string(W, '_'));
    f.close();
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

void writeCsv(const CorpusSettings& settings, const std::array<std::string, 3>& labels,
              const CorpusTable& table, const std::string& path) {
    const bool compare = settings.compare;
    std::vector<std::string> columns;
    for (const char* series : {"", "second_"})
        for (const std::string& label : labels) columns.push_back(series + label);
    for (const std::string& label : labels) columns.push_back("diff_" + label);
    columns.push_back("diff_group");
    columns.resize(columnsOf(compare));

    OutFile f;
    f.create(path);
    std::string head = "clusters,files,events,steps";
    for (const std::string& c : columns) head += "," + csvField(c + "_errors");
    for (const std::string& c : columns) head += "," + csvField(c + "_percent");
    f.line(head);
    for (size_t t = 0; t < table.rows.size(); ++t) {
        std::string row = std::to_string(t + 1) + "," + std::to_string(table.files) + "," +
                          std::to_string(table.events) + "," + std::to_string(table.steps);
        for (size_t c = 0; c < columns.size(); ++c) row += "," + std::to_string(table.rows[t][c]);
        for (size_t c = 0; c < columns.size(); ++c) {
            std::string p = percentOf(table.rows[t][c], table.steps, compare);
            p.erase(0, p.find_first_not_of(' '));
            row += "," + (p == "n/a" ? std::string() : p);
        }
        f.line(row);
    }
    f.close();
}

}  // namespace

void WriteCorpusTables(const CorpusSettings& settings, const std::array<std::string, 3>& labels,
                       const std::vector<CorpusTable>& tables) {
    for (const CorpusTable& table : tables) {
        const std::string folder = clusterFolder(settings, table.clusters);
        writeText(settings, labels, table, joinPath(folder, "corpus_error.txt"));
        writeCsv(settings, labels, table, joinPath(folder, "corpus_error.csv"));
    }
}

CorpusOutcome CodeCorpus(const CorpusSettings& settings,
                         const std::vector<std::vector<std::string>>& inputs, unsigned jobs,
                         const ProgressReport& progress, double interval) {
    PrepareCorpus(settings, inputs);
    if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
    jobs = static_cast<unsigned>(std::min<size_t>(jobs, std::max<size_t>(inputs.size(), 1)));

    // The first job reads the tree here, so that a tree that cannot be read
    // stops the corpus before any thread starts.
    std::vector<std::unique_ptr<CorpusJob>> coders;
    coders.push_back(std::make_unique<CorpusJob>(settings));
    CorpusOutcome outcome;
    outcome.labels = coders.front()->labels();
    outcome.results.resize(inputs.size());

    // Sizes weigh the files for the time left.
    std::vector<double> sizes(inputs.size(), 1.0);
    double totalSize = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        double size = 0;
        for (const std::string& file : inputs[i]) {
            std::error_code unreadable;
            const uintmax_t bytes = fs::file_size(file, unreadable);
            if (!unreadable) size += static_cast<double>(bytes);
        }
        sizes[i] = std::max(size, 1.0);
        totalSize += sizes[i];
    }

    std::mutex lock;
    std::condition_variable changed;
    size_t next = 0, running = 0;
    std::vector<size_t> finished;  // indices not yet reported
    std::vector<StepsDone> steps(jobs);
    std::vector<size_t> current(jobs, SIZE_MAX);
    std::exception_ptr failure;

    const auto work = [&](unsigned j) {
        try {
            if (!coders[j]) coders[j] = std::make_unique<CorpusJob>(settings);
            for (;;) {
                size_t i;
                {
                    std::lock_guard<std::mutex> guard(lock);
                    if (next >= inputs.size() || failure) break;
                    i = next++;
                    current[j] = i;
                }
                FileResult result = coders[j]->code(inputs[i], &steps[j]);
                std::lock_guard<std::mutex> guard(lock);
                outcome.results[i] = std::move(result);
                current[j] = SIZE_MAX;
                finished.push_back(i);
                changed.notify_all();
            }
        } catch (...) {
            std::lock_guard<std::mutex> guard(lock);
            if (!failure) failure = std::current_exception();
        }
        std::lock_guard<std::mutex> guard(lock);
        --running;
        changed.notify_all();
    };

    coders.resize(jobs);
    std::vector<std::thread> threads;
    running = jobs;
    for (unsigned j = 0; j < jobs; ++j) threads.emplace_back(work, j);

    CorpusProgress state;
    state.files = inputs.size();
    double doneSize = 0;
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        const bool over = running == 0;
        for (size_t i : finished) {
            const FileResult& result = outcome.results[i];
            ++state.filesDone;
            if (!result.ok()) ++state.filesFailed;
            for (const RunResult& run : result.runs) state.stepsDone += run.steps;
            doneSize += sizes[i];
            state.finished = &result;
            state.fractionDone = doneSize / totalSize;
            if (progress) progress(state);
        }
        finished.clear();
        state.finished = nullptr;
        if (over) break;
        if (progress) {
            // The runs at hand, by their steps done of those they are to do.
            CorpusProgress now = state;
            double partialSize = 0;
            for (unsigned j = 0; j < jobs; ++j) {
                if (current[j] == SIZE_MAX) continue;
                const int64_t done = steps[j].done.load(std::memory_order_relaxed);
                const int64_t total = steps[j].total.load(std::memory_order_relaxed);
                now.stepsDone += done;
                if (total > 0)
                    partialSize +=
                        sizes[current[j]] *
                        std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
            }
            now.fractionDone = (doneSize + partialSize) / totalSize;
            progress(now);
        }
        changed.wait_for(guard, std::chrono::duration<double>(interval));
    }
    guard.unlock();
    for (std::thread& t : threads) t.join();
    if (failure) std::rethrow_exception(failure);

    outcome.tables = SumTables(settings, outcome.results);
    WriteCorpusTables(settings, outcome.labels, outcome.tables);
    return outcome;
}

}  // namespace zortan::batch
