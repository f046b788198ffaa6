#include "app/batch/Corpus.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "base/Format.h"
#include "events/TextEventReader.h"
#include "output/CombinedOutput.h"
#include "output/OutFile.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "run/CodingDriver.h"
#include "shell/MainWindow.h"
#include "shell/Program.h"

namespace zortan::batch {

namespace {

namespace fs = std::filesystem;

// The run waits for an answer nobody will give: it cannot be coded here.
struct Refused {
    std::string message;
};

// The window's user, played from the settings: the dialogs are answered with
// the tree and the inputs, a file to overwrite only with --overwrite, and
// every box is kept for the report.
class BatchUi : public Ui {
  public:
    BatchUi(std::string tree, bool overwrite) : tree_(std::move(tree)), overwrite_(overwrite) {}

    void startRun(const std::vector<std::string>& inputs, Program* program, StepsDone* steps) {
        inputs_ = inputs;
        program_ = program;
        steps_ = steps;
        asked_.clear();
        messages.clear();
        error.clear();
    }

    std::vector<std::string> messages;
    std::string error;  // a platform error that stopped a command

    void showMessage(const std::string& text) override { messages.push_back(text); }
    void showError(const std::string& text) override {
        if (error.empty()) error = text;
        messages.push_back(text);
    }
    // The only yes/no question of a run is whether to give up after failed
    // tree choices; it is never reached, as a second choice is refused.
    bool askYesNo(const std::string&, const std::string&) override { return false; }
    Answer askYesNoCancel(const std::string&, const std::string&) override {
        return overwrite_ ? Answer::Yes : Answer::Cancel;
    }
    std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) override {
        askedOnce(request.title, "");
        if (request.title == "Open first event data file" && !inputs_.empty()) return inputs_[0];
        if (request.title == "Open second event data file" && inputs_.size() > 1) return inputs_[1];
        return tree_;
    }
    std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) override {
        askedOnce(request.title, request.path);
        return request.path;
    }
    void processPendingEvents() override {
        if (program_ == nullptr) return;
        const ShellState& s = program_->shell;
        if (s.controls.featureKindChoiceRed)
            throw Refused{
                "The tree names no coded feature kind (\"Coded feature vectors\"): it "
                "can only be chosen in the window."};
        if (s.waiting) throw Refused{"The run waits for Next."};
        if (steps_ != nullptr) {
            steps_->done.store(program_->run.stepCounter, std::memory_order_relaxed);
            steps_->total.store(program_->run.totalSteps, std::memory_order_relaxed);
        }
    }
    void beep() override {}
    ScreenSize screenSize() override { return {1680, 1050}; }

    // What the window showed last: the reason a run did not go on.
    std::string lastWords() const {
        if (!error.empty()) return error;
        return messages.empty() ? std::string("nothing was coded") : messages.back();
    }

  private:
    // A dialog that comes back for the same file means the window did not
    // take the answer: the user would have to choose again, which no one can
    // here.
    void askedOnce(const std::string& title, const std::string& file) {
        if (asked_.insert(title + '\n' + file).second) return;
        throw Refused{lastWords()};
    }

    std::string tree_;
    bool overwrite_;
    std::vector<std::string> inputs_;
    Program* program_ = nullptr;
    StepsDone* steps_ = nullptr;
    std::set<std::string> asked_;
};

// A folder of the job's own for Init.txt, which the window model reads and
// writes: the user's options file is neither read nor changed.
std::string makeJobFolder() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int i = 0; i < 100; ++i) {
        const fs::path folder =
            fs::temp_directory_path() / ("zortan-batch-" + std::to_string(random()));
        if (fs::create_directory(folder)) return folder.string();
    }
    throw CorpusError("No temporary folder could be made for the options file.");
}

std::string clusterFolder(const CorpusSettings& settings, int clusters) {
    return joinPath(settings.outDir, "K" + std::to_string(clusters));
}

// The output choices as the window holds them.
void chooseOutputs(TForm1& form, const CorpusSettings& settings) {
    for (size_t i = 0; i < kOutputChoices.size(); ++i)
        form.setToggle(outputToggle(i), settings.outputs[i]);
}

// What a text table's header changes before its run: the number of clusters
// becomes its components count (within the tree's size) and the categories
// take its names.
struct TableHeader {
    std::string path;
    int clusters = 0;
    std::array<std::string, 3> labels;
};

std::optional<TableHeader> tableHeader(const std::string& path, const Program& program) {
    if (extractFileExt(path) == ".fvs" || !fileExists(path)) return std::nullopt;
    try {
        TextReader in(path);
        TextHeaderFields h =
            ParseTextHeader(in, program.data1.nc, program.data1.settings.lifterThreshold);
        TableHeader header;
        header.path = path;
        header.clusters =
            h.nc > 0 ? std::min(h.nc, program.tree.treeSizesNb()) : program.shell.clustersNb;
        for (int i = 0; i < 3; ++i)
            header.labels[static_cast<size_t>(i)] = NextCategoryName(h.lastLine, i + 1);
        return header;
    } catch (const InOutError&) {
        return std::nullopt;  // the run says what is wrong with it
    } catch (const RangeError&) {
        return std::nullopt;
    }
}

// The names a run over `input` writes into `folder`, chosen or not, with the
// category names the run will have.
std::vector<std::string> outputNames(const Program& program, const std::string& input,
                                     const std::string& folder,
                                     const std::array<std::string, 3>& labels) {
    InitFileOptions names = program.options;
    BuildOutputNames(names, {&labels[0], &labels[1], &labels[2]}, outputStemOf(input),
                     joinPath(folder, "_Teach.zrt"));
    return {names.teachFileName,      names.codeFileName,       names.teachCath1FileName,
            names.teachCath2FileName, names.teachCath3FileName, names.recogFileName,
            names.codeFileName,       names.recogCath1FileName, names.recogCath2FileName,
            names.recogCath3FileName, names.errorFileName};
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

// The program as it stands after "Read tree", kept to start every run from.
struct CorpusJob::State {
    CorpusSettings settings;
    std::string folder;
    BatchUi ui;
    Program program;

    explicit State(const CorpusSettings& s)
        : settings(s), folder(makeJobFolder()), ui(s.tree, s.overwrite), program(ui, folder) {}
    ~State() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

CorpusJob::CorpusJob(const CorpusSettings& settings) : state_(std::make_unique<State>(settings)) {
    Program& p = state_->program;
    p.hibernate = [](bool, bool) {};
    TForm1 form(p);
    form.FormCreate();
    form.FormActivate();
    form.setToggle(Toggle::ShowInputRecords, false);
    form.setToggle(Toggle::StepwiseProceeding, false);
    chooseOutputs(form, settings);
    state_->ui.startRun({}, nullptr, nullptr);
    try {
        form.click(Command::ReadTree);
    } catch (const Refused& refused) {
        throw CorpusError("The tree \"" + settings.tree + "\" cannot be read: " + refused.message);
    } catch (const ProgramEnd&) {
        throw CorpusError("The tree \"" + settings.tree +
                          "\" cannot be read: " + state_->ui.lastWords());
    }
    if (!p.shell.treeRead)
        throw CorpusError("The tree \"" + settings.tree +
                          "\" cannot be read: " + state_->ui.lastWords());
    for (int k : settings.clusters)
        if (k < 1 || k > p.tree.treeSizesNb())
            throw CorpusError(
                "The tree \"" + settings.tree + "\" has " + std::to_string(p.tree.treeSizesNb()) +
                " clusters at most: it cannot be coded at " + std::to_string(k) + ".");
}

CorpusJob::~CorpusJob() = default;

std::array<std::string, 3> CorpusJob::labels() const {
    const Program& p = state_->program;
    return {p.cathLabel1, p.cathLabel2, p.cathLabel3};
}

namespace {

// One run of an input at one number of clusters, with a user and a program
// of its own, started from the program as "Read tree" left it.
struct RunSlot {
    RunSlot(const Program& base, const CorpusSettings& settings, const std::string& folder,
            RunResult& result)
        : ui(settings.tree, settings.overwrite), program(ui, folder), result(result) {
        Program& p = program;
        p.hibernate = base.hibernate;
        p.options = base.options;
        p.shell = base.shell;
        p.tree = base.tree;
        p.coder = base.coder;
        p.pictures = base.pictures;
        p.fvsRecord = base.fvsRecord;
        p.cathLabel1 = base.cathLabel1;
        p.cathLabel2 = base.cathLabel2;
        p.cathLabel3 = base.cathLabel3;
        p.eventNbr = base.eventNbr;
    }
    BatchUi ui;
    Program program;
    RunResult& result;
    std::vector<std::string> names;  // every output's name, chosen or not
};

// Reads the input as a user would: the number of clusters typed, the
// outputs' folder chosen, "Read data_1" (and "Read data_2") clicked.
void startRun(RunSlot& slot, const CorpusSettings& settings, const std::vector<std::string>& inputs,
              StepsDone* steps) {
    Program& p = slot.program;
    BatchUi& ui = slot.ui;
    ui.startRun(inputs, &p, steps);
    if (steps != nullptr) {
        steps->done.store(0, std::memory_order_relaxed);
        steps->total.store(0, std::memory_order_relaxed);
    }
    TForm1 form(p);
    try {
        if (settings.compare) form.setToggle(Toggle::CompareMode, true);
        form.typeClusters(std::to_string(slot.result.clusters));
        if (p.shell.clustersNb != slot.result.clusters)
            throw Refused{"The number of clusters " + std::to_string(slot.result.clusters) +
                          " was not taken: " + ui.lastWords()};
        p.options.teachFileName =
            joinPath(clusterFolder(settings, slot.result.clusters), "_Teach.zrt");
        form.click(Command::ReadData1);
        if (settings.compare) form.click(Command::ReadData2);
    } catch (const Refused& refused) {
        slot.result.message = refused.message;
    } catch (const ProgramEnd&) {
        slot.result.message = ui.lastWords();
    }
}

// What the run left: whether it was coded whole, its counts and files.
void collect(RunSlot& slot, const CorpusSettings& settings) {
    Program& p = slot.program;
    BatchUi& ui = slot.ui;
    RunResult& r = slot.result;
    ui.startRun({}, nullptr, nullptr);
    if (r.message.empty()) {
        if (!p.run.runFinished || p.run.stoppedByError || !ui.error.empty())
            r.message = ui.lastWords();
        else
            r.coded = true;
    }
    r.steps = p.run.stepCounter;
    r.events = p.eventNbr;
    for (OutFile* file : p.outputs.files())
        if (!file->path().empty() && !file->failed()) r.files.push_back(file->path());
    // Every output asked for must have been written.
    for (size_t i = 0; i < kOutputChoices.size() && r.coded; ++i) {
        if (settings.compare || !settings.outputs[i]) continue;
        if (std::find(r.files.begin(), r.files.end(), slot.names[i]) == r.files.end()) {
            r.coded = false;
            r.message = "\"" + slot.names[i] + "\" was not written: " + ui.lastWords();
        }
    }
    const CoderState& c = p.coder;
    for (int t = 0; t < r.clusters && r.coded; ++t) {
        const auto at = static_cast<size_t>(t);
        const TErrorRecord& e1 = c.errorRecords1.at(at);
        const TErrorRecord& e2 = c.errorRecords2.at(at);
        r.rows.push_back({e1.cath1, e1.cath2, e1.cath3, e2.cath1, e2.cath2, e2.cath3,
                          c.cath1Diff.at(at), c.cath2Diff.at(at), c.cath3Diff.at(at),
                          c.groupDiff.at(at)});
    }
}

}  // namespace

FileResult CorpusJob::code(const std::vector<std::string>& inputs, StepsDone* steps) {
    const CorpusSettings& settings = state_->settings;
    const Program& base = state_->program;
    FileResult result;
    result.inputs = inputs;
    result.runs.resize(settings.clusters.size());
    // A text table fixes the number of clusters of its run (the second input
    // reads its header last) and the category names.
    std::optional<TableHeader> table;
    for (const std::string& input : inputs)
        if (std::optional<TableHeader> h = tableHeader(input, base)) table = h;
    const std::array<std::string, 3> categories = table ? table->labels : labels();

    std::vector<std::unique_ptr<RunSlot>> slots;
    for (size_t k = 0; k < settings.clusters.size(); ++k) {
        RunResult& r = result.runs[k];
        r.clusters = settings.clusters[k];
        if (table && table->clusters != r.clusters) {
            r.message = "A text table sets the number of clusters to its components count: \"" +
                        table->path + "\" is coded at " + std::to_string(table->clusters) +
                        " clusters, not at " + std::to_string(r.clusters) + ".";
            continue;
        }
        const std::vector<std::string> names =
            outputNames(base, inputs[0], clusterFolder(settings, r.clusters), categories);
        if (!settings.overwrite) {
            const auto taken = std::find_if(names.begin(), names.end(), [&](const auto& name) {
                const size_t i = static_cast<size_t>(&name - names.data());
                const bool chosen = i == names.size() - 1 || settings.outputs[i];
                return chosen && (fileExists(name) || otherFileExists(name));
            });
            if (taken != names.end()) {
                r.message =
                    "The file \"" + *taken + "\" exists; it is kept (--overwrite replaces it).";
                continue;
            }
        }
        slots.push_back(std::make_unique<RunSlot>(base, settings, state_->folder, r));
        slots.back()->names = names;
    }
    if (slots.empty()) return result;

    // Outside compare mode every number of clusters is coded in one read of
    // the input: the run at the largest reads, the others follow it.
    RunSlot& lead = *slots.back();
    if (!settings.compare) {
        for (size_t i = 0; i + 1 < slots.size(); ++i) {
            RunSlot& follower = *slots[i];
            follower.program.followsAnotherRun = true;
            startRun(follower, settings, inputs, nullptr);
            if (follower.result.message.empty() && !follower.program.run.runFinished)
                lead.program.followers.push_back(&follower.program);
        }
    } else {
        for (size_t i = 0; i + 1 < slots.size(); ++i) {
            startRun(*slots[i], settings, inputs, steps);
            if (!slots[i]->result.message.empty()) CloseOutputsAtEnd(slots[i]->program);
        }
    }
    startRun(lead, settings, inputs, steps);
    if (!lead.result.message.empty()) {
        // The run that reads did not go to its end: neither did its followers.
        for (const auto& slot : slots) {
            if (slot->program.run.runFinished) continue;
            CloseOutputsAtEnd(slot->program);
            if (slot->result.message.empty()) slot->result.message = lead.result.message;
        }
    }
    for (const auto& slot : slots) collect(*slot, settings);
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

std::string rightIn(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string leftIn(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// A count as a percentage of the events of one series, as the error file
// gives it, from 64-bit sums.
std::string percentOf(uint64_t count, int64_t steps, bool compare) {
    if (steps <= 0) return "     n/a";
    const long double value = static_cast<long double>(count) * (compare ? 200 : 100) / steps;
    return rightIn(formatFixed(value, 3), 8);
}

size_t columnsOf(bool compare) {
    return compare ? kTableColumns : 3;
}

void writeText(const CorpusSettings& settings, const std::array<std::string, 3>& labels,
               const CorpusTable& table, const std::string& path) {
    const bool compare = settings.compare;
    const size_t W = compare ? 88 : 34;
    OutFile f;
    f.create(path);
    f.line("Corpus Classification Error.");
    f.line(std::string(W, '='));
    f.line(leftIn("Tree:", 22) + "\"" + oneLine(settings.tree) + "\"");
    f.line(leftIn("Coded event files:", 22) + std::to_string(table.files) +
           (compare ? " pairs" : ""));
    f.line(rightIn(std::to_string(table.clusters), 8) + " - Number of used groups");
    f.line("");
    f.line("Events number=" + std::to_string(compare ? table.events : table.steps));
    f.line(compare ? "Differeces between classifications of events in the pairs of the corpus."
                   : "Erronous recognitions for " + oneLine(labels[0]) + " " + oneLine(labels[1]) +
                         " " + oneLine(labels[2]) + " over the corpus; results in %:");
    f.line(std::string(W, '-'));
    f.line(compare ? "  Nbr of First source            Second source           Differences in "
                     "classifications:"
                   : "  Nbr of ");
    const std::string names = rightIn(oneLine(labels[0]), 7) + " " +
                              rightIn(oneLine(labels[1]), 7) + " " + rightIn(oneLine(labels[2]), 7);
    f.line("  groups   " + names + (compare ? " " + names + " " + names + " group " : ""));
    f.line(std::string(W, '='));
    for (size_t t = 0; t < table.rows.size(); ++t) {
        std::string row = rightIn(std::to_string(t + 1), 8);
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
