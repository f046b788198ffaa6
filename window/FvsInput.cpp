#include "window/FvsInput.h"

#include <cstring>
#include <string>

#include "events/FvsReader.h"
#include "platform/Errors.h"
#include "plots/EventPictures.h"
#include "shell/ShellState.h"
#include "window/Program.h"
#include "window/ShellRules.h"

namespace zortan {

namespace {

// Copies a record into the shared buffer, which is only overwritten by a
// whole record: a partial one at the end of the file leaves it intact.
void keepRecord(Program& program, const uint8_t* record) {
    std::memcpy(program.fvsRecord.data(), record, kFvsRecordSize);
}

bool featureKindChosen(const Program& program) {
    const int kind = program.tree.training.featureKind;
    return kind >= 0 && kind < static_cast<int>(kFeatureKindNames.size());
}

// Asks until a coded feature kind is chosen; the front end sets it while it
// processes its pending events.
void awaitFeatureKind(Program& program) {
    ShellState& shell = program.shell;
    while (!featureKindChosen(program)) {
        shell.controls.turnToPage(SettingsPage::Trb);
        shell.controls.featureKindChoiceEnabled = true;
        shell.controls.featureKindChoiceRed = true;
        setStatusCaption(shell, program.ui, "Choose \"Coded feature vectors\"!");
        program.ui.processPendingEvents();
    }
}

}  // namespace

void OpenFvsHeader(Program& program, EventSeries& series) {
    const uint8_t* header = series.fvsFile.nextRecord();
    if (header == nullptr) throw InOutError(100, "Read beyond end of file");
    keepRecord(program, header);
    const FvsHeaderFields f = ParseFvsHeader(program.fvsRecord.data());
    for (const std::string& remark : f.remarks) program.ui.showMessage(remark);

    series.eventsCountText = std::to_string(f.records);
    if (program.eventNbr > static_cast<int64_t>(f.records)) program.eventNbr = f.records;
    series.cathNbr = f.cathNbr;
    // The header's own settings; the others (the feature kind, averaging)
    // keep what the series holds.
    AnalysisSettings& s = series.settings;
    s.fftWindowWidth = f.settings.fftWindowWidth;
    s.filter = f.settings.filter;
    s.scalingConstants = f.settings.scalingConstants;
    s.windowShape = f.settings.windowShape;
    s.preemphasis = f.settings.preemphasis;
    s.preemphasisIndeterminate = false;
    s.frameStep = f.settings.frameStep;
    s.rate = f.settings.rate;
    s.lifterThreshold = f.settings.lifterThreshold;
    series.lifterThresholdText = std::to_string(s.lifterThreshold);
    (series.number == 2 ? program.options.waveFileDir2 : program.options.waveFileDir1) = f.waveName;
}

RowStatus ReadFvsRecord(Program& program, EventSeries& series) {
    const uint8_t* r = series.fvsFile.nextRecord();
    if (r == nullptr) return RowStatus::EndOfData;
    // Only the pictures read the whole record; the event is decoded where
    // the file's reader holds it, unless the window must wait for a choice
    // first.
    if (DrawsInputPictures(pictureDesk(program)) || !featureKindChosen(program)) {
        keepRecord(program, r);
        r = program.fvsRecord.data();
    }
    awaitFeatureKind(program);
    const auto kind = static_cast<size_t>(program.tree.training.featureKind);
    // The next event's vector may sit in another processor's cache: fetch it
    // while this one is coded.
    if (const uint8_t* next = series.fvsFile.peekNext()) PrefetchFeatureVector(next, kind);
    DecodeFvsEvent(r, kind, program.event);
    // The same name event after event: compared, not copied again.
    if (series.featureText != kFeatureKindNames[kind]) series.featureText = kFeatureKindNames[kind];
    PictureDesk desk = pictureDesk(program);
    DrawInputPicture(desk, series, program.fvsRecord);
    return RowStatus::Read;
}

}  // namespace zortan
