#include "window/CodingDriver.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <string>

#include "engine/EventLoop.h"
#include "engine/SettingsCheck.h"
#include "engine/TimeAveraging.h"
#include "events/FvsReader.h"
#include "events/TextEventReader.h"
#include "output/CombinedOutput.h"
#include "output/CompareReport.h"
#include "output/TextOutputs.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "plots/EventPictures.h"
#include "tree/TreeCoding.h"
#include "tree/fast/FastCoder.h"
#include "window/ChooseFile.h"
#include "window/FvsInput.h"
#include "window/Program.h"
#include "window/ShellRules.h"
#include "window/TextInput.h"

namespace zortan {

namespace {

template <typename Options>
auto& inputPathOption(Options& o, int number, bool fvs) {
    if (number == 1) return fvs ? o.fvsEventsFileDir1 : o.txtEventsFileDir1;
    return fvs ? o.fvsEventsFileDir2 : o.txtEventsFileDir2;
}

uint8_t& kindFlag(Program& p, int number) {
    return number == 1 ? p.options.data1IsFvs : p.options.data2IsFvs;
}

// Setting a check box from the program runs its handling, as a click would,
// but only when the box changes.
void setClustersBox(Program& p, bool on) {
    if (p.shell.clustersChangeable != on) setClustersChangeable(p.shell, p.ui, on);
}
void tickStepwise(ShellState& s) {
    if (!s.stepwiseProceeding) setStepwiseProceeding(s, true);
}

// The clusters entry is locked (and red) while a run is prepared or runs.
void lockClusters(Program& p) {
    p.shell.clustersEditEnabled = false;
    p.shell.clustersEditRed = true;
    setClustersBox(p, false);
}

// What "Read data_1"/"Read data_2" changed before a platform error stopped
// them: given back, so that the window is not left half locked.
struct OpeningControls {
    bool readTreeEnabled, readData2Enabled, nextEnabled;
    bool clustersChangeable, clustersEditEnabled, clustersEditRed;
    Focus focus;
};
OpeningControls openingControls(const ShellState& s) {
    return {s.controls.readTreeEnabled,
            s.controls.readData2Enabled,
            s.nextEnabled,
            s.clustersChangeable,
            s.clustersEditEnabled,
            s.clustersEditRed,
            s.focus};
}
void restore(ShellState& s, const OpeningControls& c) {
    s.controls.readTreeEnabled = c.readTreeEnabled;
    s.controls.readData2Enabled = c.readData2Enabled;
    s.nextEnabled = c.nextEnabled;
    s.clustersChangeable = c.clustersChangeable;
    s.clustersEditEnabled = c.clustersEditEnabled;
    s.clustersEditRed = c.clustersEditRed;
    s.focus = c.focus;
}

// Opens an input; a platform error on the way gives back the controls the
// opening had changed before it stops the command.
template <typename Opening>
void openInput(ShellState& s, Opening opening) {
    const OpeningControls before = openingControls(s);
    try {
        opening();
    } catch (const RangeError&) {
        restore(s, before);
        throw;
    } catch (const InOutError&) {
        restore(s, before);
        throw;
    }
}

// Restores the status caption without telling the front end when it did not
// change.
void restoreStatus(Program& p, const std::string& caption) {
    if (p.shell.statusCaption != caption) setStatusCaption(p.shell, p.ui, caption);
}

void clearCounts(Program& p) {
    CoderState& c = p.coder;
    c.cath1ErrorCount = c.cath2ErrorCount = c.cath3ErrorCount = 0;
    for (int k = 0; k < p.tree.treeSizesNb(); ++k) {
        checkedAt(c.errorRecords1, k) = TErrorRecord{};
        checkedAt(c.errorRecords2, k) = TErrorRecord{};
        checkedAt(c.groupDiff, k) = 0;
        checkedAt(c.cath1Diff, k) = 0;
        checkedAt(c.cath2Diff, k) = 0;
        checkedAt(c.cath3Diff, k) = 0;
    }
}

int64_t eventsOfSeries(const Program& p) {
    return p.shell.compareMode ? p.run.stepCounter / 2 : p.run.stepCounter;
}

void readHeader(Program& p, EventSeries& series) {
    if (inputIsFvs(p, series.number))
        OpenFvsHeader(p, series);
    else
        OpenTextHeader(p, series, inputPath(p, series.number));
}

// An input of the window's run as the coding loop reads it: its fvs file or
// table through the window's readers, which draw what they read and wait
// for a feature kind to be chosen.
class SeriesSource : public EventSource {
  public:
    SeriesSource(Program& p, EventSeries& series) : p_(p), series_(series) {
        info_.path = inputPath(p, series.number);
        info_.fvs = inputIsFvs(p, series.number);
    }
    bool next(EventRecord&, int, int32_t, bool& faulty) override {
        faulty = false;  // the reader has shown its message
        return (info_.fvs ? ReadFvsRecord(p_, series_) : ReadTextRow(p_, series_, info_.path)) ==
               RowStatus::Read;
    }
    FvsFile* fvsFile() override {
        return info_.fvs && series_.fvsFile.isOpen() ? &series_.fvsFile : nullptr;
    }

  private:
    Program& p_;
    EventSeries& series_;
};

// What the window does around each event: the pictures and texts of what
// was read and coded, the messages, and between events the user's Next,
// Stop/Continue, Break and settings.
class WindowHooks : public LoopHooks {
  public:
    explicit WindowHooks(Program& p) : p_(p), rememberedStatus_(p.shell.statusCaption) {}

    void averaged(size_t series, const EventRecord& event) override {
        PictureDesk desk = pictureDesk(p_);
        DrawAveragingPicture(desk, series == 0 ? p_.data1 : p_.data2, event);
    }
    void coded(size_t, const EventRecord&, const EncodeResult& r) override {
        if (p_.canvas != nullptr && p_.shell.showInputRecords) {
            PictureDesk desk = pictureDesk(p_);
            const EventRecord& e = p_.event;
            for (const std::string& message :
                 WriteEventText(desk, r.code, {e.cath1, e.cath2, e.cath3}, r, p_.tree, p_.coder))
                p_.ui.showMessage(message);
        }
        const std::string count = std::to_string(eventsOfSeries(p_));
        p_.data1.readCountText = count;
        p_.data2.readCountText = count;
    }
    void warning(const std::string& text) override { p_.ui.showMessage(text); }
    // The coder's faults are shown before they take their course: a walk
    // beyond the tree stops the run as a range error, a gap beyond the
    // working arrays ends the program.
    void slotFailed(LoopSlot&, const std::exception_ptr& failure) override {
        try {
            std::rethrow_exception(failure);
        } catch (const WalkBeyondTree& walk) {
            p_.ui.showMessage(walk.message());
            throw;
        } catch (const CoderHalt& halt) {
            p_.ui.showMessage(halt.message);
            throw ProgramEnd{1};
        }
    }
    bool between() override {
        ShellState& s = p_.shell;
        if (s.stepwiseProceeding) s.waiting = true;
        while (s.waiting) p_.ui.processPendingEvents();
        if (s.breakRequested) {
            if (p_.ui.askYesNo("Break coding?", "Breaks program!")) return false;
            s.breakRequested = false;
        }
        p_.ui.processPendingEvents();
        s.controls.featureKindChoiceEnabled = false;
        s.controls.featureKindChoiceRed = false;
        restoreStatus(p_, rememberedStatus_);
        return true;
    }

  private:
    Program& p_;
    const std::string rememberedStatus_;
};

// Codes every event; returns at the end of the data, after Break, or when
// the run cannot start.
void codingLoop(Program& p) {
    ShellState& s = p.shell;
    const AnalysisSettings& training = p.tree.training;
    if (training.averaging &&
        (training.averagingFrames < 1 || training.averagingFrames > kAveragingRows)) {
        p.ui.showMessage("The tree was trained with time averaging over " +
                         std::to_string(training.averagingFrames) +
                         " frames, but the averaging window must hold 1 to 401 frames.\r\n"
                         "No event has been coded.");
        return;
    }
    WindowHooks hooks(p);
    // The tree stays as it is during the run; the counts the coder keeps
    // pending are added in when the loop ends, however it ends.
    FastCoder coder(p.tree, p.coder);
    SeriesSource input1(p, p.data1), input2(p, p.data2);
    std::vector<LoopSlot> slots(1);
    LoopSlot& slot = slots[0];
    slot.clusters = &s.clustersNb;
    slot.coder = &coder;
    slot.state = &p.coder;
    slot.choices = &p.shell;
    slot.outputs = &p.outputs;
    slot.run = &p.run;
    EventLoop loop{p.tree,
                   {&input1, s.compareMode ? &input2 : nullptr},
                   {&p.data1.averaging, &p.data2.averaging},
                   s.compareMode,
                   slots,
                   p.event};
    LoopCounters counters{p.run.stepCounter, p.run.stepAtHand, p.run.totalSteps, p.eventNbr};
    loop.run(counters, hooks);
}

// Runs one step of the finish sequence. After a failure the remaining steps
// still run, so that every file gets closed and the window is given back;
// the first failure is kept for the caller.
template <typename Step>
void attempt(std::exception_ptr& failure, Step step) {
    try {
        step();
    } catch (const RangeError&) {
        if (!failure) failure = std::current_exception();
    } catch (const InOutError&) {
        if (!failure) failure = std::current_exception();
    } catch (const CommandAborted&) {
        if (!failure) failure = std::current_exception();
    }
}

// Whether `failure` is an error (a command that stopped after its own
// message is none).
bool isError(const std::exception_ptr& failure) {
    if (!failure) return false;
    try {
        std::rethrow_exception(failure);
    } catch (const CommandAborted&) {
        return false;
    } catch (...) {
    }
    return true;
}

// What stopped a run, for its message.
std::string failureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const OutputFileError& e) {
        return e.describe();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "an error";
}

// The finish sequence; `failure` is the error that stopped the run, if any.
// A run stopped by an error closes its outputs as they stand and says where
// it stopped instead of announcing a finished run. Rethrows the first
// failure once the controls are given back.
void finishRun(Program& p, std::exception_ptr failure) {
    ShellState& s = p.shell;
    WindowControls& w = s.controls;
    const bool stopped = isError(failure);
    const std::string stoppedWhy = stopped ? failureText(failure) : std::string();
    attempt(failure, [&] {
        CompareReport(p.outputs.errorFile, p.coder, ReportHeadingOf(p),
                      static_cast<uint32_t>(std::min<int64_t>(p.run.stepCounter, UINT32_MAX)));
    });
    s.breakRequested = false;
    s.nextEnabled = false;
    w.featureKindChoiceEnabled = false;
    w.windowMaximized = true;
    p.ui.processPendingEvents();
    p.ui.beep();
    attempt(failure, [&] {
        OutputsDesk outputs = outputsDesk(p);
        CloseOutputs(outputs);
    });
    if (p.data1.fvsFile.isOpen()) p.data1.fvsFile.close();
    // A machine is not put to sleep over a run that failed.
    if (s.hibernateOnFinish && !failure) {
        // A machine that cannot hibernate must not leave the run unfinished.
        catchPlatformErrors([&] { p.hibernate(false, true); },
                            [&](const std::string& what) { p.ui.showMessage(what); });
    }
    attempt(failure, [&] {
        OutputsDesk outputs = outputsDesk(p);
        if (!stopped) return ShowFinishMessage(outputs);
        const int64_t at = s.compareMode ? (p.run.stepAtHand + 1) / 2 : p.run.stepAtHand;
        ShowStopMessage(outputs,
                        at > 0 ? "at event " + std::to_string(at) : "before its first event",
                        stoppedWhy, eventsOfSeries(p));
    });
    p.run.stoppedByError = isError(failure);
    p.data2.fvsFile.close();
    p.run.runFinished = true;
    w.readTreeEnabled = true;
    w.stopContinueEnabled = false;
    w.breakEnabled = false;
    s.nextEnabled = false;
    w.compareEnabled = true;
    w.readData2Enabled = s.compareMode;
    attempt(failure, [&] { setClustersBox(p, true); });
    tickStepwise(s);
    s.clustersEditEnabled = true;
    s.clustersEditRed = false;
    w.inputGroupEnabled = true;
    w.inputGroupGrey = false;
    setStatusCaption(s, p.ui, stopped ? "Program stopped by an error!" : "Program Finished!");
    if (failure) std::rethrow_exception(failure);
}

// Steps 2 to 12 of a run: outputs, error file, counts, settings checks.
void prepareRun(Program& p, int32_t declaredCount, bool isFvs) {
    ShellState& s = p.shell;
    WindowControls& w = s.controls;
    CodingRun& run = p.run;
    run.stepAtHand = 0;
    // No file of an earlier run is an output of this one.
    for (OutFile* file : p.outputs.files()) file->forget();
    if (!s.compareMode) {
        // Until a group has been opened whole, nothing of it counts as saved.
        run.teachOutputActive = false;
        run.recogOutputActive = false;
        OutputsDesk outputs = outputsDesk(p);
        OpenTeachOutputs(outputs);
        OpenRecogOutputs(outputs);
    } else {
        run.teachOutputActive = false;
        run.recogOutputActive = false;
        p.ui.showMessage("No output file for the teaching sample will be created");
    }
    const HeaderSources sources = headerSources(p);
    DialogChooser chooser(p.ui, p.options, p.shell);
    TextOutputDesk desk{chooser, sources};
    CreateTextOutput(desk, p.outputs.errorFile, p.options.errorFileName, 8, "Error file saving",
                     "The final error vector file will not be created.", "Classification Error.",
                     TextOutputKind::Error, "error", p.tree.cath[0].set, p.outputs.cathTables[0]);
    w.vectorsCountCaption = "Vectors count = ";
    s.statusBarText = "EventsRead; data reading";
    clearCounts(p);
    run.stepCounter = 0;
    w.stopContinueEnabled = true;
    w.breakEnabled = true;
    s.nextEnabled = true;
    run.totalSteps =
        s.compareMode ? (p.eventNbr > kLargestEventCount / 2 ? kLargestEventCount : 2 * p.eventNbr)
                      : p.eventNbr;
    w.outputFilesVisible = false;
    setStatusCaption(s, p.ui,
                     s.compareMode ? "Program started coding data_1 and data_2 and comparing them"
                                   : "Program started coding data_1");
    w.compareEnabled = false;

    for (EventSeries* series : {&p.data1, &p.data2}) {
        if (series == &p.data2 && !s.compareMode) break;
        const int n = series->number;
        const std::string warning =
            settingsWarning(p.tree, p.options.treeTrainingFileDir, series->settings,
                            inputPath(p, n), series->nc, inputIsFvs(p, n));
        if (!warning.empty()) p.ui.showMessage(warning);
    }
    if (!isFvs || s.compareMode)
        p.tree.consideredComponentsNb = std::min(p.tree.consideredComponentsNb, declaredCount);
    w.perEventDisplayVisible = true;
    w.averagingPicturesVisible = p.tree.training.averaging;
}

}  // namespace

const std::string& inputPath(const Program& p, int number) {
    return inputPathOption(p.options, number, inputIsFvs(p, number));
}

bool inputIsFvs(const Program& p, int number) {
    return (number == 1 ? p.options.data1IsFvs : p.options.data2IsFvs) != 0;
}

void ChooseAndOpenInput(Program& p, EventSeries& series, const std::string& title) {
    const int n = series.number;
    const bool wasFvs = kindFlag(p, n) != 0;
    std::string path = inputPathOption(p.options, n, wasFvs);
    ChooseExistingFile(p.ui, p.options, title, wasFvs ? 4 : 2, "...\\Ondrix\\Results", path,
                       series.eventsFileCaption);
    const bool fvs = extractFileExt(path) == ".fvs";
    kindFlag(p, n) = fvs ? 1 : 0;
    inputPathOption(p.options, n, fvs) = path;
    series.fvsFile.close();
    series.textFile.reset();
    if (fvs)
        series.fvsFile.open(path);
    else
        series.textFile.emplace(path);
    WriteInitFile(p.options);
}

void ReadData1(Program& p) {
    ShellState& s = p.shell;
    WindowControls& w = s.controls;
    w.turnToPage(SettingsPage::Input1);
    w.inputDescriptionVisible = true;
    if (!s.treeRead) {
        p.ui.showMessage("Read tree first!");
        s.focus = Focus::ReadTree;
        return;
    }
    openInput(s, [&] {
        if (!s.compareMode) {
            setStatusCaption(s, p.ui, "Program started initial processing data_1");
            s.nextEnabled = true;
            s.focus = Focus::Next;
            w.readTreeEnabled = false;
            lockClusters(p);
            p.ui.processPendingEvents();
        } else {
            setStatusCaption(s, p.ui, "First data opening and handling parameters showing; Click ");
            w.readData2Enabled = true;
            s.focus = Focus::ReadData2;
        }
        p.data1.plotParameters = {65535.0, 13.0, 64.0, 64.0};
        w.input2TabVisible = s.compareMode;
        p.ui.processPendingEvents();

        ChooseAndOpenInput(p, p.data1, "Open first event data file");
        p.outputs.outputStem = outputStemOf(inputPath(p, 1));
        BuildOutputNames(p.options, {&p.cathLabel1, &p.cathLabel2, &p.cathLabel3},
                         p.outputs.outputStem, p.options.teachFileName);
        readHeader(p, p.data1);
        p.data1.waveText = "\"" + p.options.waveFileDir1 + "\"";
    });

    if (!s.compareMode) {
        Run(p, p.data1.nc, inputIsFvs(p, 1));
        s.clustersEditEnabled = true;
        s.clustersEditRed = false;
        setClustersBox(p, true);
        tickStepwise(s);
    } else {
        setStatusCaption(s, p.ui, "Click Read data_2 to read next events series");
    }
    w.readData1Enabled = false;
    w.compareEnabled = false;
}

void ReadData2(Program& p) {
    ShellState& s = p.shell;
    WindowControls& w = s.controls;
    w.turnToPage(SettingsPage::Input2);
    if (!s.treeRead) {
        p.ui.showMessage("Read tree first!");
        s.focus = Focus::ReadTree;
        return;
    }
    openInput(s, [&] {
        setStatusCaption(s, p.ui, "Program started coding");
        s.nextEnabled = true;
        s.focus = Focus::Next;
        lockClusters(p);
        p.ui.processPendingEvents();
        p.data2.plotParameters = {65535.0, 13.0, 64.0, 64.0};

        ChooseAndOpenInput(p, p.data2, "Open second event data file");
        readHeader(p, p.data2);
        p.data2.waveText = "\"" + p.options.waveFileDir2 + "\"";
    });
    w.readData2Enabled = false;
    w.data2FieldsVisible = s.compareMode;

    Run(p, inputIsFvs(p, 2) ? p.data1.nc : p.data2.nc, inputIsFvs(p, 2));
    w.compareEnabled = true;
    w.readData2Enabled = false;
}

void Run(Program& p, int32_t declaredCount, bool isFvs) {
    WindowControls& w = p.shell.controls;
    p.run.runFinished = false;
    p.run.stoppedByError = false;
    w.readTreeEnabled = false;
    w.treeDataVisible = true;
    w.inputGroupEnabled = false;
    w.inputGroupGrey = true;

    // A platform error that stops the run still completes and closes every
    // output written so far and gives the window back, then stops the
    // command.
    std::exception_ptr failure;
    attempt(failure, [&] {
        try {
            prepareRun(p, declaredCount, isFvs);
        } catch (const CommandAborted&) {
            throw;
        } catch (...) {
            // Nothing was coded: what was created of the outputs is removed
            // rather than left half made.
            for (OutFile* file : p.outputs.files()) file->discard();
            throw;
        }
        codingLoop(p);
    });
    finishRun(p, failure);
}

ReportHeading ReportHeadingOf(const Program& p) {
    return ReportHeading{p.shell.compareMode,
                         p.shell.clustersNb,
                         p.eventNbr,
                         {p.cathLabel1, p.cathLabel2, p.cathLabel3},
                         {inputPath(p, 1), inputPath(p, 2)}};
}

void Halt(Program& p) {
    setStatusCaption(p.shell, p.ui,
                     "Program Canceled!; find results in " + p.options.teachFileName);
    if (!p.run.runFinished) {
        // The program ends in any case; a failing close is reported first.
        OutputsDesk outputs = outputsDesk(p);
        try {
            CloseOutputs(outputs);
        } catch (const InOutError& e) {
            p.ui.showMessage(e.what());
        }
        if (p.data1.fvsFile.isOpen()) p.data1.fvsFile.close();
        // Halt! writes no error table: the message says so where it names
        // the error file.
        ShowFinishMessage(outputs, false);
    }
    throw ProgramEnd{0};
}

void CloseOutputsAtEnd(Program& p) {
    OutputsDesk outputs = outputsDesk(p);
    catchPlatformErrors([&] { CloseOutputs(outputs); },
                        [&](const std::string& what) { p.ui.showMessage(what); });
    p.data1.fvsFile.close();
    p.data2.fvsFile.close();
}

}  // namespace zortan
