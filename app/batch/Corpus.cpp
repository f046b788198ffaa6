#include "app/batch/Corpus.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>
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

std::array<std::string, 3> CorpusJob::labelsFor(const std::vector<std::string>& inputs) const {
    return state_->engine.labelsFor(inputs);
}

namespace {

// Stops the run at hand when the corpus is interrupted, and follows it for
// the progress line.
class JobObserver : public RunObserver {
  public:
    JobObserver(StepsDone* steps, const std::atomic<bool>* cancel)
        : steps_(steps), cancel_(cancel) {}
    void progress(int64_t steps, int64_t total) override {
        if (steps_ == nullptr) return;
        steps_->done.store(steps, std::memory_order_relaxed);
        steps_->total.store(total, std::memory_order_relaxed);
    }
    bool cancelled() override {
        return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed);
    }

  private:
    StepsDone* steps_;
    const std::atomic<bool>* cancel_;
};

}  // namespace

FileResult CorpusJob::code(const CorpusInput& input, StepsDone* steps,
                           const std::atomic<bool>* cancel) {
    const CorpusSettings& settings = state_->settings;
    CodingEngine& engine = state_->engine;
    FileResult result;
    result.inputs = input.inputs;
    result.subfolder = input.subfolder;
    result.stem = input.stem;
    result.skipped = input.skipped;
    result.runs.resize(settings.clusters.size());
    RunOptions options;
    options.outputs = settings.outputs;
    options.compare = settings.compare;
    options.codesCsv = settings.codesCsv;
    options.staged = true;
    options.stem = input.stem;
    std::vector<size_t> coded;
    for (size_t k = 0; k < settings.clusters.size(); ++k) {
        RunResult& r = result.runs[k];
        r.clusters = settings.clusters[k];
        if (input.skipped) {
            r.coded = true;
            continue;
        }
        if (k < input.refused.size() && !input.refused[k].empty()) {
            r.message = input.refused[k];
            continue;
        }
        options.clusters.push_back(r.clusters);
        options.folders.push_back(joinPath(clusterFolder(settings, r.clusters), input.subfolder));
        coded.push_back(k);
    }
    if (coded.empty()) return result;
    if (cancel != nullptr && cancel->load()) {
        result.interrupted = true;
        for (size_t k : coded) result.runs[k].message = "The corpus was interrupted before it.";
        return result;
    }
    if (steps != nullptr) {
        steps->done.store(0, std::memory_order_relaxed);
        steps->total.store(0, std::memory_order_relaxed);
    }
    JobObserver observer(steps, cancel);
    RunReport report = engine.code(options, input.inputs, &observer);
    for (size_t i = 0; i < coded.size(); ++i) result.runs[coded[i]] = std::move(report.runs[i]);
    result.warnings = std::move(report.warnings);
    result.faultyRows = report.faultyRows;
    result.countMismatch = report.countMismatch;
    result.interrupted = report.end == RunEnd::Cancelled;
    return result;
}

namespace {

fs::path folderOf(const std::string& input) {
    return fs::absolute(fs::path(input)).lexically_normal().parent_path();
}

// The folder of `folder` under `root`, or nothing when it is not under it.
std::optional<fs::path> under(const fs::path& folder, const fs::path& root) {
    const fs::path relative = folder.lexically_relative(root);
    if (relative.empty() || *relative.begin() == "..") return std::nullopt;
    return relative == "." ? fs::path() : relative;
}

// Where each input's outputs go under outDir/K<K>/: its folder under the
// root, or, for inputs outside it, under the folder those have in common.
std::vector<std::string> subfoldersOf(const std::vector<std::vector<std::string>>& inputs,
                                      const std::string& rootFolder) {
    const fs::path root =
        fs::absolute(rootFolder.empty() ? fs::current_path() : fs::path(rootFolder))
            .lexically_normal();
    std::optional<fs::path> common;
    for (const auto& input : inputs) {
        const fs::path folder = folderOf(input.at(0));
        if (under(folder, root)) continue;
        if (!common) {
            common = folder;
            continue;
        }
        fs::path shared;
        for (auto a = common->begin(), b = folder.begin();
             a != common->end() && b != folder.end() && *a == *b; ++a, ++b)
            shared /= *a;
        common = shared;
    }
    std::vector<std::string> subfolders;
    for (const auto& input : inputs) {
        const fs::path folder = folderOf(input.at(0));
        const std::optional<fs::path> inRoot = under(folder, root);
        const fs::path sub = inRoot ? *inRoot : under(folder, *common).value_or(fs::path());
        subfolders.push_back(sub.string());
    }
    return subfolders;
}

// The outputs are named as the window names them, after the input's name up
// to its first dot; a name without a dot (which the window would name
// "_error.txt") is named after all of it.
std::string stemOf(const std::string& input) {
    const std::string stem = outputStemOf(input);
    return stem.empty() ? extractFileName(input) : stem;
}

}  // namespace

std::vector<CorpusInput> PrepareCorpus(const CorpusSettings& settings, const CorpusJob& job,
                                       const std::vector<std::vector<std::string>>& inputs) {
    if (settings.clusters.empty()) throw CorpusError("No number of clusters is given.");
    if (inputs.empty()) throw CorpusError("No event file is given.");
    for (int k : settings.clusters) {
        const std::string folder = clusterFolder(settings, k);
        if (settings.overwrite || settings.skipExisting) continue;
        for (const char* name : kCorpusFiles)
            if (fs::exists(fs::path(joinPath(folder, name))))
                throw CorpusError("The corpus file \"" + joinPath(folder, name) +
                                  "\" exists; it is kept (--overwrite replaces the outputs, "
                                  "--skip-existing codes only the files not coded there yet).");
    }
    const std::vector<CorpusList> earlier = ReadCorpusLists(settings);
    const std::vector<std::string> subfolders = subfoldersOf(inputs, settings.inputRoot);
    std::vector<CorpusInput> plans;
    // Two inputs of the same name in one folder would write the same files.
    std::map<std::string, std::string> placed;
    for (const auto& files : inputs) {
        CorpusInput& plan = plans.emplace_back();
        plan.inputs = files;
        plan.subfolder = subfolders[plans.size() - 1];
        plan.stem = stemOf(files[0]);
        const std::string key = joinPath(plan.subfolder, plan.stem);
        const auto [at, fresh] = placed.emplace(key, files[0]);
        if (!fresh)
            throw CorpusError("\"" + at->second + "\" and \"" + files[0] +
                              "\" would write outputs of the same names (\"" + key +
                              "_...\"): code them into different folders.");
        const std::array<std::string, 3> labels = job.labelsFor(files);
        plan.refused.resize(settings.clusters.size());
        bool allThere = settings.skipExisting;
        for (size_t k = 0; k < settings.clusters.size(); ++k) {
            const std::string out =
                joinPath(clusterFolder(settings, settings.clusters[k]), plan.subfolder);
            const auto names = OutputNamesFor(labels, plan.stem, out);
            for (size_t i = 0; i < names.size(); ++i) {
                const bool chosen = i == kOutputChoices.size() ? true
                                    : i == kOutputChoices.size() + 1
                                        ? settings.codesCsv && !settings.compare
                                        : !settings.compare && settings.outputs[i];
                if (!chosen) continue;
                // An input named as the corpus tables would lose its own.
                if (plan.subfolder.empty())
                    for (const char* corpusFile : kCorpusFiles)
                        if (extractFileName(names[i]) == corpusFile && plan.refused[k].empty())
                            plan.refused[k] = "Its output \"" + names[i] +
                                              "\" would be the corpus table of that name: "
                                              "rename the input to code it.";
                const bool there = fileExists(names[i]) || otherFileExists(names[i]);
                if (!there) allThere = false;
                if (there && !settings.overwrite && !settings.skipExisting &&
                    plan.refused[k].empty())
                    plan.refused[k] = "The file \"" + names[i] +
                                      "\" exists; it is kept (--overwrite replaces it).";
            }
            if (earlier.at(k).count(key) == 0) allThere = false;
        }
        // Skipped only where the tables can count it from the earlier list.
        plan.skipped = allThere && std::all_of(plan.refused.begin(), plan.refused.end(),
                                               [](const std::string& r) { return r.empty(); });
    }
    // The folders only now, so that a corpus refused leaves none.
    for (int k : settings.clusters) {
        for (const CorpusInput& plan : plans) {
            const std::string folder = joinPath(clusterFolder(settings, k), plan.subfolder);
            if (!makeFolders(folder) || !folderExists(folder))
                throw CorpusError("The folder \"" + folder + "\" cannot be made.");
        }
    }
    return plans;
}

namespace {

size_t columnsOf(bool compare) {
    return compare ? kTableColumns : 3;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// The fields of a CSV line, quotes taken off.
std::vector<std::string> csvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

constexpr const char* kListHeading = "outputs,file,second_file,steps,events,errors";

// The error file of a listed file, which must still be there for the
// tables to describe it.
std::string errorFileOf(const std::string& folder, const std::string& key) {
    return joinPath(folder, key + "_error.txt");
}

}  // namespace

std::vector<CorpusList> ReadCorpusLists(const CorpusSettings& settings) {
    std::vector<CorpusList> lists(settings.clusters.size());
    const size_t columns = columnsOf(settings.compare);
    for (size_t k = 0; k < settings.clusters.size(); ++k) {
        const int K = settings.clusters[k];
        const std::string path = joinPath(clusterFolder(settings, K), kCorpusFiles[2]);
        if (!fs::exists(fs::path(path))) continue;
        const auto damaged = [&](size_t line, const std::string& why) {
            return CorpusError("The corpus list \"" + path + "\" cannot be read (line " +
                               std::to_string(line) + ": " + why +
                               "); remove it with the corpus tables to code the folder anew.");
        };
        std::ifstream in(path, std::ios::binary);
        if (!in) throw damaged(0, "it cannot be opened");
        std::string line;
        size_t number = 0;
        while (std::getline(in, line)) {
            ++number;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (number == 1) {
                if (line != kListHeading) throw damaged(1, "not a corpus list");
                continue;
            }
            const std::vector<std::string> f = csvFields(line);
            if (f.size() != 6) throw damaged(number, "6 fields expected");
            ListedFile file;
            file.inputs.push_back(f[1]);
            if (!f[2].empty()) file.inputs.push_back(f[2]);
            if ((file.inputs.size() == 2) != settings.compare)
                throw damaged(number, settings.compare ? "written by a run of single files"
                                                       : "written by a run of pairs");
            try {
                file.steps = std::stoll(f[3]);
                file.events = std::stoll(f[4]);
            } catch (const std::exception&) {
                throw damaged(number, "a count that is no number");
            }
            std::istringstream counts(f[5]);
            for (int t = 0; t < K; ++t) {
                TableRow& row = file.rows.emplace_back();
                for (size_t c = 0; c < columns; ++c)
                    if (!(counts >> row[c])) throw damaged(number, "fewer error counts than K");
            }
            std::string extra;
            if (counts >> extra) throw damaged(number, "more error counts than K");
            lists[k][f[0]] = std::move(file);
        }
    }
    return lists;
}

std::vector<CorpusTable> SumTables(const CorpusSettings& settings,
                                   const std::vector<FileResult>& results) {
    std::vector<CorpusList> lists = ReadCorpusLists(settings);
    std::vector<CorpusTable> tables;
    for (size_t k = 0; k < settings.clusters.size(); ++k) {
        CorpusTable& table = tables.emplace_back();
        table.clusters = settings.clusters[k];
        const std::string folder = clusterFolder(settings, table.clusters);
        // The files of earlier runs whose outputs are still there ...
        for (auto& [key, file] : lists[k])
            if (fileExists(errorFileOf(folder, key))) table.listed[key] = std::move(file);
        // ... and this run's, coded whole.
        for (const FileResult& file : results) {
            if (k >= file.runs.size() || !file.runs[k].coded || file.skipped) continue;
            const RunResult& run = file.runs[k];
            ListedFile& listed = table.listed[joinPath(file.subfolder, file.stem)];
            listed.inputs = file.inputs;
            listed.steps = run.steps;
            listed.events = run.events;
            listed.rows = run.rows;
        }
        table.rows.assign(static_cast<size_t>(table.clusters), TableRow{});
        for (const auto& [key, file] : table.listed) {
            ++table.files;
            table.steps += file.steps;
            table.events += file.events;
            for (size_t t = 0; t < table.rows.size() && t < file.rows.size(); ++t)
                for (size_t c = 0; c < kTableColumns; ++c) table.rows[t][c] += file.rows[t][c];
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

void writeText(const CorpusSettings& settings, const std::array<std::string, 3>& labels,
               const CorpusTable& table, const std::string& path) {
    const bool compare = settings.compare;
    const size_t W = ErrorTableWidth(compare);
    OutFile f;
    f.stageUntilCommit();
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
    f.commit();
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
    f.stageUntilCommit();
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
    f.commit();
}

}  // namespace

namespace {

void writeList(const CorpusSettings& settings, const CorpusTable& table, const std::string& path) {
    OutFile f;
    f.stageUntilCommit();
    f.create(path);
    f.line(kListHeading);
    const size_t columns = columnsOf(settings.compare);
    for (const auto& [key, file] : table.listed) {
        std::string counts;
        for (const TableRow& row : file.rows)
            for (size_t c = 0; c < columns; ++c)
                counts += (counts.empty() ? "" : " ") + std::to_string(row[c]);
        f.line(csvField(key) + "," + csvField(file.inputs.at(0)) + "," +
               csvField(file.inputs.size() > 1 ? file.inputs[1] : "") + "," +
               std::to_string(file.steps) + "," + std::to_string(file.events) + "," + counts);
    }
    f.commit();
}

}  // namespace

std::vector<std::string> WriteCorpusTables(const CorpusSettings& settings,
                                           const std::array<std::string, 3>& labels,
                                           const std::vector<CorpusTable>& tables) {
    std::vector<std::string> failures;
    for (const CorpusTable& table : tables) {
        const std::string folder = clusterFolder(settings, table.clusters);
        const auto attempt = [&](const auto& write, const char* name) {
            try {
                write(joinPath(folder, name));
            } catch (const OutputFileError& e) {
                failures.push_back(e.describe());
            } catch (const InOutError& e) {
                failures.push_back("the file \"" + joinPath(folder, name) +
                                   "\" could not be written: " + e.what());
            }
        };
        attempt([&](const std::string& path) { writeText(settings, labels, table, path); },
                kCorpusFiles[0]);
        attempt([&](const std::string& path) { writeCsv(settings, labels, table, path); },
                kCorpusFiles[1]);
        attempt([&](const std::string& path) { writeList(settings, table, path); },
                kCorpusFiles[2]);
    }
    return failures;
}

CorpusOutcome CodeCorpus(const CorpusSettings& settings,
                         const std::vector<std::vector<std::string>>& inputs, unsigned jobs,
                         const ProgressReport& progress, double interval,
                         const std::atomic<bool>* cancel) {
    if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
    jobs = static_cast<unsigned>(std::min<size_t>(jobs, std::max<size_t>(inputs.size(), 1)));

    // The first job reads the tree here, so that a tree that cannot be read
    // stops the corpus before any thread starts or folder is made.
    std::vector<std::unique_ptr<CorpusJob>> coders;
    coders.push_back(std::make_unique<CorpusJob>(settings));
    const std::vector<CorpusInput> plans = PrepareCorpus(settings, *coders.front(), inputs);
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
                FileResult result = coders[j]->code(plans[i], &steps[j], cancel);
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
    for (unsigned j = 0; j < jobs; ++j) {
        try {
            threads.emplace_back(work, j);
        } catch (const std::system_error& e) {
            // The jobs started stop after their file; none is left running.
            {
                std::lock_guard<std::mutex> guard(lock);
                running -= jobs - j;
                if (!failure)
                    failure = std::make_exception_ptr(CorpusError(
                        "Only " + std::to_string(j) + " of " + std::to_string(jobs) +
                        " jobs could be started (" + e.what() + "): give fewer with --jobs."));
            }
            break;
        }
    }

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

    outcome.interrupted = cancel != nullptr && cancel->load();
    outcome.tables = SumTables(settings, outcome.results);
    outcome.tableFailures = WriteCorpusTables(settings, outcome.labels, outcome.tables);
    return outcome;
}

}  // namespace zortan::batch
