// All program-wide state, owned by one object and passed by reference.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "core/EventRecord.h"
#include "events/EventSeries.h"
#include "output/CombinedOutput.h"
#include "output/Outputs.h"
#include "output/RunRecords.h"
#include "output/TextOutputs.h"
#include "platform/Clock.h"
#include "platform/Power.h"
#include "plots/EventPictures.h"
#include "shell/InitFile.h"
#include "shell/ShellState.h"
#include "tree/QuantizationTree.h"
#include "window/OutputDialogs.h"
#include "window/Ui.h"

namespace zortan {

struct Program {
    explicit Program(Ui& user, std::string folder)
        : ui(user), programFolder(std::move(folder)), pendingEvents(user) {}

    Ui& ui;
    std::string programFolder;  // where Init.txt lives
    InitFileOptions options;
    ShellState shell;
    QuantizationTree tree;
    CoderState coder;
    EventRecord event;
    EventSeries data1{1}, data2{2};
    // The record buffer of the fvs format, shared by both inputs and the
    // pictures.
    FvsRecord fvsRecord{};
    CodingRun run;
    OutputState outputs;
    // The pictures' drawing surface (not owned; none in the console, where
    // nothing is drawn) and their layout and row colour.
    Canvas* canvas = nullptr;
    EventPictures pictures;
    // The window's pending events, processed while a picture is drawn.
    struct UiPendingEvents : PendingEvents {
        explicit UiPendingEvents(Ui& user) : ui(user) {}
        void process() override { ui.processPendingEvents(); }
        Ui& ui;
    } pendingEvents;
    // The clock the outputs take their date and time from (a fixed one in tests).
    std::function<LocalDateTime()> clock = currentLocalDateTime;
    // Hibernation at the end of a run (suspend, force); a front end or a test
    // replaces it.
    std::function<void(bool, bool)> hibernate = hibernateMachine;

    // Category names: start values, then the tree and the text event file.
    std::string cathLabel1 = "Y1", cathLabel2 = "Y2", cathLabel3 = "Y3";
    // The shared events count.
    int64_t eventNbr = 0;
};

// The pictures' desk as the program stands: drawn on only while input
// records are shown.
inline PictureDesk pictureDesk(Program& p) {
    return PictureDesk{p.shell.showInputRecords ? p.canvas : nullptr,
                       p.pictures,
                       &p.pendingEvents,
                       p.shell.picturesPerRow,
                       p.shell.drawnComponents,
                       p.shell.compareMode,
                       p.tree.consideredComponentsNb,
                       p.run.stepCounter};
}

// Where the text outputs' header takes what it prints from, as the program
// stands.
inline HeaderSources headerSources(const Program& p) {
    return HeaderSources{
        p.options,           p.tree, p.data1, p.data2, p.shell.treeTexts, p.shell.clustersNb,
        p.shell.compareMode, p.clock};
}

// The outputs' desk as the program stands.
inline OutputsDesk outputsDesk(Program& p) {
    return OutputsDesk{p.ui,
                       p.shell,
                       p.options,
                       p.outputs,
                       p.run,
                       p.tree,
                       {&p.cathLabel1, &p.cathLabel2, &p.cathLabel3},
                       headerSources(p)};
}

}  // namespace zortan
