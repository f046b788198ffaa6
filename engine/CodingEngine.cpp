#include "engine/CodingEngine.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <optional>
#include <utility>

#include "base/TextReader.h"
#include "engine/EventLoop.h"
#include "engine/EventSources.h"
#include "engine/SettingsCheck.h"
#include "engine/TimeAveraging.h"
#include "events/EventSeries.h"
#include "events/TextEventReader.h"
#include "output/CombinedOutput.h"
#include "output/CompareReport.h"
#include "output/OutFile.h"
#include "output/TextOutputs.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "shell/InitFile.h"
#include "tree/TreeCoding.h"
#include "tree/fast/FastCoder.h"

namespace zortan {

namespace {

// The coder of one number of clusters: working arrays of its own and the
// fast coder on them, prepared once for the tree.
struct ClusterCoder {
    ClusterCoder(const QuantizationTree& tree, int K) : clusters(K) {
        SizeCoderArrays(tree, state);
        state.distanceFunction = &EuclidDist;
        fast = std::make_unique<FastCoder>(tree, state);
    }
    int clusters;
    CoderState state;
    std::unique_ptr<FastCoder> fast;
};

void clearCounts(const QuantizationTree& tree, CoderState& c) {
    c.cath1ErrorCount = c.cath2ErrorCount = c.cath3ErrorCount = 0;
    for (int k = 0; k < tree.treeSizesNb(); ++k) {
        checkedAt(c.errorRecords1, k) = TErrorRecord{};
        checkedAt(c.errorRecords2, k) = TErrorRecord{};
        checkedAt(c.groupDiff, k) = 0;
        checkedAt(c.cath1Diff, k) = 0;
        checkedAt(c.cath2Diff, k) = 0;
        checkedAt(c.cath3Diff, k) = 0;
    }
}

// What stopped a run, for its message.
std::string failureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const OutputFileError& e) {
        return e.describe();
    } catch (const CoderHalt& halt) {
        return halt.message;
    } catch (const WalkBeyondTree& walk) {
        return walk.message();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "an error";
}

// The outputs of one number of clusters, as a window run holds them.
struct ClusterOutputs {
    ShellState choices;
    InitFileOptions names;
    OutputState files;
    CodingRun run;
    OutFile codesCsv;  // open when asked for
    OutputFiles view() { return OutputFiles{choices, files, run}; }
    std::vector<OutFile*> all() {
        std::vector<OutFile*> every;
        for (OutFile* f : files.files()) every.push_back(f);
        every.push_back(&codesCsv);
        return every;
    }
};

// Creates a run's outputs where they are named, as a window run creates
// them: each group's files, then the error file; then the codes CSV.
void createOutputs(ClusterOutputs& o, const QuantizationTree& tree, const HeaderSources& sources,
                   const std::array<std::string, 3>& labels, bool compare, bool staged,
                   const std::string& codesCsv) {
    if (staged)
        for (OutFile* f : o.all()) f->stageUntilCommit();
    NamedChooser named;
    OutputOpening opening{
        named,  o.choices, o.names, o.files, o.run, tree, {&labels[0], &labels[1], &labels[2]},
        sources};
    if (!compare) {
        OpenTeachOutputs(opening);
        OpenRecogOutputs(opening);
    }
    TextOutputDesk desk{named, sources};
    CreateTextOutput(desk, o.files.errorFile, o.names.errorFileName, 8, "Error file saving",
                     "The final error vector file will not be created.", "Classification Error.",
                     TextOutputKind::Error, "error", tree.cath[0].set, o.files.cathTables[0]);
    if (codesCsv.empty()) return;
    o.codesCsv.create(codesCsv);
    std::string head = "event,code";
    for (const std::string& label : labels) head += "," + label;
    for (const std::string& label : labels) head += ",recognized_" + label;
    o.codesCsv.line(head);
}

// One number of clusters during a run.
struct ClusterSlot {
    ClusterRun* result = nullptr;
    ClusterCoder* coder = nullptr;
    std::unique_ptr<ClusterOutputs> outputs;
    bool live = false;
    bool stopped = false;  // an error stopped it at an event
    uint16_t clusters = 0;
};

}  // namespace

std::array<std::string, kOutputChoices.size() + 2> OutputNamesFor(
    const std::array<std::string, 3>& labels, const std::string& stem, const std::string& folder) {
    InitFileOptions n;
    BuildOutputNames(n, {&labels[0], &labels[1], &labels[2]}, stem, joinPath(folder, "_Teach.zrt"));
    return {n.teachFileName,      n.codeFileName,       n.teachCath1FileName,
            n.teachCath2FileName, n.teachCath3FileName, n.recogFileName,
            n.codeFileName,       n.recogCath1FileName, n.recogCath2FileName,
            n.recogCath3FileName, n.errorFileName,      joinPath(folder, stem + "_codes.csv")};
}

struct CodingEngine::Coders {
    std::vector<std::unique_ptr<ClusterCoder>> ofClusters;  // in the order of clusters_

    Coders(const QuantizationTree& tree, const std::vector<int>& clusters) {
        for (int k : clusters) ofClusters.push_back(std::make_unique<ClusterCoder>(tree, k));
    }
    ClusterCoder* find(int K) {
        for (auto& c : ofClusters)
            if (c->clusters == K) return c.get();
        return nullptr;
    }
};

CodingEngine::CodingEngine(Codebook book, std::vector<int> clusters)
    : book_(std::move(book)), clusters_(std::move(clusters)) {
    for (int k : clusters_)
        if (k < 1 || k > book_.tree.treeSizesNb())
            throw TreeLoadError(
                "The tree \"" + book_.path + "\" has " + std::to_string(book_.tree.treeSizesNb()) +
                " clusters at most: it cannot be coded at " + std::to_string(k) + ".");
    coders_ = std::make_unique<Coders>(book_.tree, clusters_);
}

CodingEngine::~CodingEngine() = default;

std::array<std::string, 3> CodingEngine::labelsFor(const std::vector<std::string>& inputs) const {
    std::array<std::string, 3> labels = book_.labels;
    for (const std::string& input : inputs) {
        if (isFvsPath(input) || !fileExists(input)) continue;
        try {
            TextReader in(input);
            TextHeaderFields h = ParseTextHeader(in, std::numeric_limits<int32_t>::max(), 0);
            for (int i = 0; i < 3; ++i)
                labels[static_cast<size_t>(i)] = NextCategoryName(h.lastLine, i + 1);
        } catch (const InOutError&) {
            // The run says what is wrong with it.
        } catch (const RangeError&) {
        }
    }
    return labels;
}

RunReport CodingEngine::code(const RunOptions& options, const std::vector<std::string>& inputs,
                             RunObserver* observer) {
    RunReport report;
    report.runs.resize(options.clusters.size());
    for (size_t k = 0; k < options.clusters.size(); ++k)
        report.runs[k].clusters = options.clusters[k];
    const auto refuseAll = [&](const std::string& why) {
        for (ClusterRun& r : report.runs)
            if (r.message.empty()) r.message = why;
        report.end = RunEnd::Refused;
        return report;
    };
    if (inputs.size() != (options.compare ? 2u : 1u))
        return refuseAll(options.compare ? "Compare mode codes a pair of event files."
                                         : "One event file is coded at a time.");

    // The inputs and what their headers change, in the order the window
    // reads them.
    std::vector<std::unique_ptr<EventSource>> sources;
    try {
        for (const std::string& input : inputs) sources.push_back(OpenEventFile(input));
    } catch (const SourceRefusal& refusal) {
        return refuseAll(refusal.what());
    }
    InitFileOptions base;
    base.treeFileDir = book_.path;
    base.treeTrainingFileDir = book_.trainingFile;
    base.waveFileDir = book_.waveFile;
    EventSeries series1(1), series2(2);
    std::array<EventSeries*, 2> series = {&series1, &series2};
    QuantizationTree runTree;  // the tree as the run's headers leave it
    const QuantizationTree* tree = &book_.tree;
    TreeDataTexts texts = book_.texts;
    std::array<std::string, 3> labels = book_.labels;
    int64_t eventNbr = kLargestEventCount;
    std::optional<int> tableClusters;
    const bool anyTable =
        std::any_of(sources.begin(), sources.end(), [](const auto& s) { return !s->info().fvs; });
    if (anyTable) {
        runTree = book_.tree;
        tree = &runTree;
    }
    for (size_t i = 0; i < sources.size(); ++i) {
        const SourceInfo& info = sources[i]->info();
        EventSeries& s = *series[i];
        for (const std::string& remark : info.remarks) report.warnings.push_back(remark);
        if (info.recordsHeld && info.declaredEvents && *info.recordsHeld > *info.declaredEvents) {
            report.countMismatch = true;
            report.warnings.push_back(
                "The fvs file \"" + info.path + "\" holds " + std::to_string(*info.recordsHeld) +
                " event records, but its header declares " + std::to_string(*info.declaredEvents) +
                ": only those declared are coded.");
        }
        if (info.fvs) {
            (i == 0 ? base.data1IsFvs : base.data2IsFvs) = 1;
            (i == 0 ? base.fvsEventsFileDir1 : base.fvsEventsFileDir2) = info.path;
            (i == 0 ? base.waveFileDir1 : base.waveFileDir2) = info.waveName;
            s.settings = info.settings;
            s.cathNbr = info.cathNbr;
            s.lifterThresholdText = std::to_string(s.settings.lifterThreshold);
            if (info.declaredEvents && eventNbr > *info.declaredEvents)
                eventNbr = *info.declaredEvents;
            continue;
        }
        (i == 0 ? base.txtEventsFileDir1 : base.txtEventsFileDir2) = info.path;
        if (info.declaredEvents) eventNbr = *info.declaredEvents;
        labels = info.labels;
        if (info.nc < 0 || info.nc > std::numeric_limits<uint16_t>::max())
            return refuseAll("The table \"" + info.path + "\" declares " + std::to_string(info.nc) +
                             " components: " + RangeError().what());
        s.nc = info.nc;
        s.settings.lifterThreshold = info.settings.lifterThreshold;
        // The number of clusters becomes the components count, within the
        // tree's size.
        if (info.nc > 0) tableClusters = std::min(info.nc, book_.tree.treeSizesNb());
        // A table says nothing of how its events were analysed.
        AnalysisSettings& training = runTree.training;
        training.filter = -1;
        training.scalingConstants = -1;
        training.windowShape = -1;
        training.preemphasisIndeterminate = true;
        training.preemphasis = false;
        texts.lifterThreshold = "xxx";
        training.frameStep = 1.0;
        training.rate = 10000.0;
        training.averagingFrames = 10;
    }
    const AnalysisSettings& training = tree->training;
    const int kind = training.featureKind;
    const bool anyFvs =
        std::any_of(sources.begin(), sources.end(), [](const auto& s) { return s->info().fvs; });
    if (anyFvs && (kind < 0 || kind >= static_cast<int>(kFeatureKindNames.size())))
        return refuseAll(
            "The tree names no coded feature kind (\"Coded feature vectors\"): it can only be "
            "chosen in the window.");
    if (training.averaging &&
        (training.averagingFrames < 1 || training.averagingFrames > kAveragingRows))
        return refuseAll("The tree was trained with time averaging over " +
                         std::to_string(training.averagingFrames) +
                         " frames, but the averaging window must hold 1 to 401 frames.");

    // The settings check, then the components a table or a pair declares.
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string warning =
            settingsWarning(*tree, base.treeTrainingFileDir, series[i]->settings,
                            sources[i]->info().path, series[i]->nc, sources[i]->info().fvs);
        if (!warning.empty()) report.warnings.push_back(warning);
    }
    const int32_t declared = options.compare && !sources[1]->info().fvs ? series2.nc : series1.nc;
    const bool lowers = !sources.back()->info().fvs || options.compare;
    int32_t considered = tree->consideredComponentsNb;
    if (lowers) considered = std::min(considered, declared);
    std::unique_ptr<Coders> ownCoders;
    Coders* coders = coders_.get();
    if (considered != book_.tree.consideredComponentsNb) {
        if (!anyTable) {
            runTree = book_.tree;
            tree = &runTree;
        }
        runTree.consideredComponentsNb = considered;
        ownCoders = std::make_unique<Coders>(runTree, clusters_);
        coders = ownCoders.get();
    }

    // The outputs of every number of clusters.
    const std::string stem = options.stem.empty() ? outputStemOf(inputs[0]) : options.stem;
    std::array<CathTables, 3> tables;
    for (size_t k = 0; k < 3; ++k) FillCathTables(book_.tree.cath[k].set, tables[k]);
    std::vector<ClusterSlot> slots(options.clusters.size());
    for (size_t k = 0; k < slots.size(); ++k) {
        ClusterSlot& slot = slots[k];
        ClusterRun& r = report.runs[k];
        slot.result = &r;
        slot.coder = coders->find(r.clusters);
        if (slot.coder == nullptr) {
            r.message =
                "The engine was not prepared for " + std::to_string(r.clusters) + " clusters.";
            continue;
        }
        if (tableClusters && *tableClusters != r.clusters) {
            r.message = "A text table sets the number of clusters to its components count: \"" +
                        sources.back()->info().path + "\" is coded at " +
                        std::to_string(*tableClusters) + " clusters, not at " +
                        std::to_string(r.clusters) + ".";
            continue;
        }
        slot.outputs = std::make_unique<ClusterOutputs>();
        ClusterOutputs& o = *slot.outputs;
        for (size_t i = 0; i < kOutputChoices.size(); ++i)
            o.choices.*kOutputChoices[i].chosen = !options.compare && options.outputs[i];
        o.names = base;
        const std::string folder = k < options.folders.size() ? options.folders[k] : ".";
        BuildOutputNames(o.names, {&labels[0], &labels[1], &labels[2]}, stem,
                         joinPath(folder, "_Teach.zrt"));
        o.files.outputStem = stem;
        o.files.cathTables = tables;
        const HeaderSources headers{o.names, *tree,      series1,         series2,
                                    texts,   r.clusters, options.compare, clock};
        try {
            createOutputs(o, *tree, headers, labels, options.compare, options.staged,
                          options.codesCsv && !options.compare
                              ? OutputNamesFor(labels, stem, folder).back()
                              : std::string());
        } catch (const InOutError&) {
            r.message = failureText(std::current_exception());
            for (OutFile* file : o.all()) file->discard();
            slot.outputs.reset();
            continue;
        }
        clearCounts(*tree, slot.coder->state);
        slot.live = true;
    }
    const auto anyLive = [&] {
        return std::any_of(slots.begin(), slots.end(), [](const ClusterSlot& s) { return s.live; });
    };
    if (!anyLive()) {
        report.end = RunEnd::Refused;
        return report;
    }

    // The events.
    report.end = RunEnd::Whole;
    const int64_t totalSteps =
        options.compare ? (eventNbr > kLargestEventCount / 2 ? kLargestEventCount : 2 * eventNbr)
                        : eventNbr;
    int64_t steps = 0, stepAtHand = 0;
    EventRecord event;  // shared by both series, as the window's current event
    AveragingState averaging1, averaging2;
    std::vector<LoopSlot> loopSlots(slots.size());
    for (size_t k = 0; k < slots.size(); ++k) {
        LoopSlot& l = loopSlots[k];
        ClusterSlot& slot = slots[k];
        l.live = slot.live;
        if (!slot.live) continue;
        slot.clusters = static_cast<uint16_t>(slot.result->clusters);
        l.clusters = &slot.clusters;
        l.coder = slot.coder->fast.get();
        l.state = &slot.coder->state;
        if (!options.compare) {
            l.choices = &slot.outputs->choices;
            l.outputs = &slot.outputs->files;
            l.run = &slot.outputs->run;
            if (slot.outputs->codesCsv.isOpen()) l.codesCsv = &slot.outputs->codesCsv;
        }
    }
    // Ends a slot's run: its counts settled, the error table appended
    // (unless `withTable` is false), every file closed; the first failure.
    const auto finishSlot = [&](ClusterSlot& slot, bool withTable) {
        slot.live = false;
        slot.coder->fast->settle();
        slot.result->steps = steps;
        slot.result->events = options.compare ? steps / 2 : steps;
        std::exception_ptr failure;
        if (withTable) {
            try {
                CompareReport(slot.outputs->files.errorFile, slot.coder->state,
                              ReportHeading{options.compare,
                                            slot.result->clusters,
                                            eventNbr,
                                            labels,
                                            {inputs[0], inputs.size() > 1 ? inputs[1] : ""}},
                              static_cast<uint32_t>(std::min<int64_t>(steps, UINT32_MAX)));
            } catch (const InOutError&) {
                failure = std::current_exception();
            }
        }
        try {
            CloseOutputs(slot.outputs->view());
        } catch (const InOutError&) {
            if (!failure) failure = std::current_exception();
        }
        try {
            slot.outputs->codesCsv.close();
        } catch (const InOutError&) {
            if (!failure) failure = std::current_exception();
        }
        return failure;
    };
    // A slot an error stopped: it says where and why; its files are closed
    // as they stand.
    const auto stopSlot = [&](ClusterSlot& slot, const std::exception_ptr& failure) {
        const int64_t at = options.compare ? (stepAtHand + 1) / 2 : stepAtHand;
        slot.result->message =
            "The run stopped " +
            (at > 0 ? "at event " + std::to_string(at) : std::string("before its first event")) +
            ": " + failureText(failure) + ".";
        slot.stopped = true;
        finishSlot(slot, true);
    };

    // What a run without a window does around each event: warnings kept,
    // a failing number of clusters stopped alone, progress and cancellation.
    class Hooks : public LoopHooks {
      public:
        Hooks(RunReport& report, const std::vector<std::string>& inputs,
              std::vector<ClusterSlot>& slots, std::vector<LoopSlot>& loopSlots,
              const std::function<void(ClusterSlot&, const std::exception_ptr&)>& stop,
              RunObserver* observer, const int64_t& steps, const int64_t& total)
            : report_(report),
              inputs_(inputs),
              slots_(slots),
              loopSlots_(loopSlots),
              stop_(stop),
              observer_(observer),
              steps_(steps),
              total_(total) {}
        void faultyRow(size_t series) override {
            ++report_.faultyRows;
            ++faultyRows_[series];
            if (faulty_[series]) return;
            faulty_[series] = true;
            report_.warnings.push_back(error100Message(inputs_[series]));
        }
        void coded(size_t series, const EventRecord& event, const EncodeResult&) override {
            const std::array<char, 3> given = {event.cath1, event.cath2, event.cath3};
            for (size_t k = 0; k < 3; ++k)
                if (tree_->cath[k].active != 0 &&
                    !tree_->cath[k].set.contains(static_cast<unsigned char>(given[k])))
                    ++outside_[series][k];
        }
        void warning(const std::string& text) override { report_.warnings.push_back(text); }
        // Qualifiers the tree has never seen count as errors at every tree
        // size: said once per input and category.
        void tellOutside(const std::array<std::string, 3>& labels) {
            for (size_t i = 0; i < inputs_.size(); ++i)
                for (size_t k = 0; k < 3; ++k)
                    if (outside_[i][k] > 0)
                        report_.warnings.push_back(
                            (outside_[i][k] == 1
                                 ? std::string("1 event of \"")
                                 : std::to_string(outside_[i][k]) + " events of \"") +
                            inputs_[i] + "\" " + (outside_[i][k] == 1 ? "carries" : "carry") +
                            " a " + labels[k] +
                            " qualifier outside the tree's value list; each counts as an error "
                            "at every number of clusters.");
            for (size_t i = 0; i < inputs_.size(); ++i)
                if (faultyRows_[i] > 0)
                    report_.warnings.push_back(
                        std::to_string(faultyRows_[i]) + (faultyRows_[i] == 1 ? " row" : " rows") +
                        " of \"" + inputs_[i] +
                        "\" had bad fields (Error 100); each was coded, the fields it lacked "
                        "keeping the row before's values.");
        }
        void watch(const QuantizationTree& tree) { tree_ = &tree; }
        void slotFailed(LoopSlot& slot, const std::exception_ptr& failure) override {
            stop_(slots_[static_cast<size_t>(&slot - loopSlots_.data())], failure);
        }
        bool between() override {
            if (observer_ == nullptr) return true;
            observer_->progress(steps_, total_);
            if (!observer_->cancelled()) return true;
            report_.end = RunEnd::Cancelled;
            return false;
        }

      private:
        RunReport& report_;
        const std::vector<std::string>& inputs_;
        std::vector<ClusterSlot>& slots_;
        std::vector<LoopSlot>& loopSlots_;
        const std::function<void(ClusterSlot&, const std::exception_ptr&)>& stop_;
        RunObserver* observer_;
        const int64_t& steps_;
        const int64_t& total_;
        std::array<bool, 2> faulty_{};
        std::array<int64_t, 2> faultyRows_{};
        const QuantizationTree* tree_ = nullptr;
        std::array<std::array<int64_t, 3>, 2> outside_{};
    };
    const std::function<void(ClusterSlot&, const std::exception_ptr&)> stop = stopSlot;
    Hooks hooks(report, inputs, slots, loopSlots, stop, observer, steps, totalSteps);
    hooks.watch(*tree);
    EventLoop loop{*tree,
                   {sources[0].get(), options.compare ? sources[1].get() : nullptr},
                   {&averaging1, &averaging2},
                   options.compare,
                   loopSlots,
                   event};
    LoopCounters counters{steps, stepAtHand, totalSteps, eventNbr};
    try {
        if (loop.run(counters, hooks) == LoopEnd::EndOfData) {
            report.end = RunEnd::EndOfData;
            report.countMismatch = true;
        }
    } catch (const InOutError&) {
        // An input failed: every run still under way stops at this event.
        const std::exception_ptr failure = std::current_exception();
        for (size_t k = 0; k < slots.size(); ++k)
            if (loopSlots[k].live) stopSlot(slots[k], failure);
        report.end = RunEnd::Stopped;
    }
    for (size_t k = 0; k < slots.size(); ++k)
        if (!loopSlots[k].live) slots[k].live = false;
    hooks.tellOutside(labels);

    // The finish of every run still under way: the error table, every file
    // closed.
    for (ClusterSlot& slot : slots) {
        if (slot.outputs == nullptr) continue;
        ClusterRun& r = *slot.result;
        if (slot.live) {
            const bool cancelled = report.end == RunEnd::Cancelled;
            if (cancelled)
                r.message = "The run was interrupted after " +
                            std::to_string(options.compare ? steps / 2 : steps) + " events.";
            // A cancelled run, as Halt!, writes no error table.
            if (const std::exception_ptr failure = finishSlot(slot, !cancelled))
                r.message = failureText(failure);
            else if (r.message.empty())
                r.coded = true;
        } else if (slot.stopped) {
            report.end = RunEnd::Stopped;
        }
        // Staged outputs take their names when the run went to the end of its
        // data; otherwise none is left.
        if (options.staged) {
            try {
                if (r.coded)
                    for (OutFile* file : slot.outputs->all()) file->commit();
            } catch (const InOutError&) {
                r.coded = false;
                r.message = failureText(std::current_exception());
            }
            if (!r.coded)
                for (OutFile* file : slot.outputs->all()) file->discard();
        }
        for (OutFile* file : slot.outputs->all())
            if (!file->path().empty() && !file->failed()) r.files.push_back(file->path());
        if (!r.coded) r.events = 0;
        const CoderState& c = slot.coder->state;
        for (int t = 0; t < r.clusters && r.coded; ++t) {
            const TErrorRecord& e1 = checkedAt(c.errorRecords1, t);
            const TErrorRecord& e2 = checkedAt(c.errorRecords2, t);
            r.rows.push_back({e1.cath1, e1.cath2, e1.cath3, e2.cath1, e2.cath2, e2.cath3,
                              checkedAt(c.cath1Diff, t), checkedAt(c.cath2Diff, t),
                              checkedAt(c.cath3Diff, t), checkedAt(c.groupDiff, t)});
        }
    }
    return report;
}

}  // namespace zortan
