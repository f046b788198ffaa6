#include "window/TextInput.h"

#include <string>

#include "events/TextEventReader.h"
#include "platform/Errors.h"
#include "plots/EventPictures.h"
#include "shell/ShellState.h"
#include "window/Program.h"
#include "window/ShellRules.h"

namespace zortan {

namespace {

TextReader& openTextFile(EventSeries& series) {
    if (!series.textFile || !series.textFile->isOpen()) throw InOutError(103, "File not open");
    return *series.textFile;
}

}  // namespace

void OpenTextHeader(Program& program, EventSeries& series, const std::string& path) {
    TextHeaderFields h =
        ParseTextHeader(openTextFile(series), series.nc, series.settings.lifterThreshold);
    if (h.count) {
        program.eventNbr = *h.count;
        series.eventsCountText = std::to_string(*h.count);
    }
    if (h.featureRange) series.plotParameters[2] = *h.featureRange;
    if (h.faulty) program.ui.showMessage(error100Message(path));
    // The fourth plot parameter follows the third for a table.
    series.plotParameters[3] = series.plotParameters[2];

    program.cathLabel1 = NextCategoryName(h.lastLine, 1);
    program.cathLabel2 = NextCategoryName(h.lastLine, 2);
    program.cathLabel3 = NextCategoryName(h.lastLine, 3);

    // Checked before anything below changes, so that a refused nc leaves the
    // window's settings as they were.
    const uint16_t drawn = fitOrRangeError<uint16_t>(h.nc);

    series.nc = h.nc;
    series.settings.lifterThreshold = h.nc16;
    ShellState& shell = program.shell;
    changeClustersText(shell, program.ui, std::to_string(h.nc), program.tree.treeSizesNb());
    shell.drawnComponents = drawn;

    // A table says nothing of how its events were analysed.
    AnalysisSettings& training = program.tree.training;
    training.filter = -1;
    training.scalingConstants = -1;
    training.windowShape = -1;
    training.preemphasisIndeterminate = true;
    training.preemphasis = false;  // an indeterminate box is not ticked
    shell.treeTexts.lifterThreshold = "xxx";
    training.frameStep = 1.0;
    training.rate = 10000.0;
    training.averagingFrames = 10;

    shell.stretchCepstra = true;
    shell.stretchLocked = true;
    shell.sliderVisible = false;
}

RowStatus ReadTextRow(Program& program, EventSeries& series, const std::string& path) {
    TextReader& in = openTextFile(series);
    if (program.shell.compareMode) program.fvsRecord.fill(0);
    bool faulty = false;
    if (ParseTextRow(in, series.rowBuffer, program.tree.consideredComponentsNb, program.event,
                     faulty) == RowStatus::EndOfData)
        return RowStatus::EndOfData;
    if (faulty) program.ui.showMessage(error100Message(path));
    StoreTextEvent(program.event, program.fvsRecord);
    PictureDesk desk = pictureDesk(program);
    DrawInputPicture(desk, series, program.fvsRecord);
    return RowStatus::Read;
}

}  // namespace zortan
