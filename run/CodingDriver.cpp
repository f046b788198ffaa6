#include "run/CodingDriver.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <string>

#include "events/FvsReader.h"
#include "events/SettingsCheck.h"
#include "events/TextEventReader.h"
#include "output/CombinedOutput.h"
#include "output/CompareReport.h"
#include "output/TextOutputs.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "plots/EventPictures.h"
#include "run/FvsInput.h"
#include "run/TextInput.h"
#include "engine/TimeAveraging.h"
#include "shell/ChooseFile.h"
#include "shell/Program.h"
#include "tree/TreeCoding.h"
#include "tree/fast/FastCoder.h"

namespace zortan {

// While it lives, the fvs file of a series notes beside each record what the
// fast coder may take for that record's event, a buffer of records at a time:
// the file's reading thread does it or, where that thread is not well ahead,
// the program's thread as it takes the buffer. Only where the codes stay the
// same for it: the feature kind chosen and no time averaging. Otherwise it
// does nothing.
class NotesAhead {
  public:
    NotesAhead(Program& p, EventSeries& series, const FastCoder& coder) {
        const int kind = p.tree.training.featureKind;
        if (!inputIsFvs(p, series.number) || !series.fvsFile.isOpen() || kind < 0 ||
            kind >= static_cast<int>(kFeatureKindNames.size()) || p.tree.training.averaging ||
            !coder.notesHelp())
            return;
        const size_t vector = FeatureVectorOffset(static_cast<size_t>(kind));
        series.fvsFile.setRecordWork(
            [&coder, vector](const uint8_t* records, size_t count, RecordNote* notes) {
                constexpr size_t kGroup = 16;
                std::array<ComponentVector, kGroup> reals;
                std::array<FastCoder::Note, kGroup> made;
                std::array<int16_t, kComponents> words;
                for (size_t base = 0; base < count; base += kGroup) {
                    const size_t n = std::min(kGroup, count - base);
                    for (size_t j = 0; j < n; ++j) {
                        readVector(records + (base + j) * kFvsRecordSize, vector, words);
                        for (size_t i = 0; i < kComponents; ++i) reals[j][i] = words[i];
                    }
                    coder.noteAhead(reals.data(), n, made.data());
                    for (size_t j = 0; j < n; ++j) notes[base + j] = made[j].words;
                }
            },
            true);
        series_ = &series;
        kind_ = kind;
    }
    ~NotesAhead() {
        if (series_ != nullptr) series_->fvsFile.setRecordWork(nullptr);
    }
    NotesAhead(const NotesAhead&) = delete;
    NotesAhead& operator=(const NotesAhead&) = delete;

    // The note of the record read last, when it was made from the vector
    // that is coded now.
    std::optional<FastCoder::Note> noteOfLast(const Program& p) const {
        if (series_ == nullptr || p.tree.training.featureKind != kind_) return std::nullopt;
        const RecordNote* note = series_->fvsFile.noteOfLast();
        if (note == nullptr) return std::nullopt;
        return FastCoder::Note{*note};
    }

  private:
    EventSeries* series_ = nullptr;
    int kind_ = -1;
};

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

// In compare mode data_2 may end right after data_1's event of a pair was
// coded. That event has no partner: its errors are taken back and its step
// is undone, so that the report covers whole pairs only.
void withdrawUnpairedEvent(Program& p, const EncodeResult& coded) {
    CoderState& c = p.coder;
    const QuantizationTree& tree = p.tree;
    for (int t = 0; t < p.shell.clustersNb; ++t)
        addErrorFlags(checkedAt(c.errorRecords1, t), checkedAt(c.BoolErrorVector, t), ~uint32_t{0});
    const EventRecord& e = p.event;
    if (tree.cath1Active != 0 && checkedAt(tree.cath1List, coded.cath1) != e.cath1)
        --c.cath1ErrorCount;
    if (tree.cath2Active != 0 && checkedAt(tree.cath2List, coded.cath2) != e.cath2)
        --c.cath2ErrorCount;
    if (tree.cath3Active != 0 && checkedAt(tree.cath3List, coded.cath3) != e.cath3)
        --c.cath3ErrorCount;
    --p.run.stepCounter;
}

// An input ended before the events count: one message, and the count
// becomes what was coded, so the report names the events it covers.
void endOfDataReached(Program& p, int number) {
    const int64_t coded = eventsOfSeries(p);
    p.ui.showMessage("The event file \"" + inputPath(p, number) + "\" holds no further event.\r\n" +
                     std::to_string(coded) + " events of it were coded; the run ends here.");
    p.eventNbr = coded;
}

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
    const std::string rememberedStatus = s.statusCaption;
    // The tree stays as it is during the run; the counts the coder keeps
    // pending are added in when the loop ends, however it ends.
    FastCoder coder(p.tree, p.coder);
    const NotesAhead notes1(p, p.data1, coder);
    std::optional<NotesAhead> notes2;
    if (s.compareMode) notes2.emplace(p, p.data2, coder);
    OutputsDesk outputs = outputsDesk(p);
    EncodeResult coded;
    while (p.run.stepCounter < p.run.totalSteps) {
        p.run.stepAtHand = p.run.stepCounter + 1;
        const RowStatus status =
            inputIsFvs(p, 1) ? ReadFvsRecord(p, p.data1) : ReadTextRow(p, p.data1, inputPath(p, 1));
        if (status == RowStatus::EndOfData) {
            endOfDataReached(p, 1);
            return;
        }
        CodeReadEvent(p, p.data1, p.coder.nodePath1, p.coder.errorRecords1, &coder, &notes1,
                      &coded);
        if (!s.compareMode) {
            WriteEventRecords(outputs);
        } else {
            p.run.stepAtHand = p.run.stepCounter + 1;
            if (PerEventStep(p, p.data2, p.coder.nodePath2, p.coder.errorRecords2, &coder,
                             notes2 ? &*notes2 : nullptr) == RowStatus::EndOfData) {
                coder.settle();
                withdrawUnpairedEvent(p, coded);
                endOfDataReached(p, 2);
                return;
            }
            CountCompareDifferences(p.tree, p.coder);
        }
        if (s.stepwiseProceeding) s.waiting = true;
        while (s.waiting) p.ui.processPendingEvents();
        if (s.breakRequested) {
            if (p.ui.askYesNo("Break coding?", "Breaks program!")) return;
            s.breakRequested = false;
        }
        p.ui.processPendingEvents();
        s.controls.featureKindChoiceEnabled = false;
        s.controls.featureKindChoiceRed = false;
        restoreStatus(p, rememberedStatus);
    }
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
    TextOutputDesk desk{p.ui, p.options, p.shell, sources};
    CreateTextOutput(desk, p.outputs.errorFile, p.options.errorFileName, 8, "Error file saving",
                     "The final error vector file will not be created.", "Classification Error.",
                     TextOutputKind::Error, "error", p.tree.cath1Set, p.outputs.cathTables[0]);
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

    CheckSettings(p.ui, p.tree, p.options.treeTrainingFileDir, p.data1.settings, inputPath(p, 1),
                  p.data1.nc, inputIsFvs(p, 1));
    if (s.compareMode)
        CheckSettings(p.ui, p.tree, p.options.treeTrainingFileDir, p.data2.settings,
                      inputPath(p, 2), p.data2.nc, inputIsFvs(p, 2));
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

RowStatus PerEventStep(Program& p, EventSeries& series, TwordArray& path, TErrorRecordArray& errors,
                       FastCoder* coder, const NotesAhead* notes, EncodeResult* coded) {
    const RowStatus status = inputIsFvs(p, series.number)
                                 ? ReadFvsRecord(p, series)
                                 : ReadTextRow(p, series, inputPath(p, series.number));
    if (status == RowStatus::EndOfData) return status;
    CodeReadEvent(p, series, path, errors, coder, notes, coded);
    return status;
}

void CodeReadEvent(Program& p, EventSeries& series, TwordArray& path, TErrorRecordArray& errors,
                   FastCoder* coder, const NotesAhead* notes, EncodeResult* coded) {
    ShellState& s = p.shell;
    const QuantizationTree& tree = p.tree;
    if (tree.training.averaging) {
        AveragingTransform(p.event, series.averaging, tree.training.averagingFrames,
                           tree.consideredComponentsNb, p.run.stepCounter, s.compareMode);
        PictureDesk desk = pictureDesk(p);
        DrawAveragingPicture(desk, series, p.event);
    }
    EncodeResult r;
    if (coder == nullptr) {
        r = EncodeEvent(tree, p.coder, s.clustersNb, p.event, path, errors, p.ui);
    } else {
        const std::optional<FastCoder::Note> note =
            notes != nullptr ? notes->noteOfLast(p) : std::nullopt;
        r = coder->encode(s.clustersNb, p.event, path, errors, p.ui, note ? &*note : nullptr);
    }
    if (coded) *coded = r;
    const auto& tables = p.outputs.cathTables;
    p.run.teachRecord = {r.code, p.event.cath1, p.event.cath2, p.event.cath3, 0};
    p.run.recogRecord = {r.code, tables[0].indexToChar[r.cath1], tables[1].indexToChar[r.cath2],
                         tables[2].indexToChar[r.cath3], 0};
    ++p.run.stepCounter;
    PictureDesk desk = pictureDesk(p);
    WriteEventText(desk, r.code, {p.event.cath1, p.event.cath2, p.event.cath3}, r, p.tree, p.coder);
    const std::string count = std::to_string(eventsOfSeries(p));
    p.data1.readCountText = count;
    p.data2.readCountText = count;
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
        ShowFinishMessage(outputs);
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
