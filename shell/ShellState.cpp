#include "shell/ShellState.h"

#include <cmath>
#include <string>

#include "base/Format.h"
#include "base/Ui.h"
#include "platform/Errors.h"

namespace zortan {

namespace {
const char* const kNotNumeric = "Not a numeric format!";
const char* const kPicturesLabel = "Number of  pictures in series";

// Reads an edit's text as an integer; a text that is not entirely a number
// is reported and its leading digits are used.
int64_t editValue(Ui& ui, const std::string& text) {
    ParsedInteger p = parseEditInteger(text);
    if (!p.wholeText) ui.showMessage(kNotNumeric);
    return p.value;
}
}  // namespace

void changeClustersText(ShellState& s, Ui& ui, const std::string& text, int treeSizesNb) {
    s.clustersEditText = text;
    if (text.empty()) return;
    int64_t value = editValue(ui, text);
    const int64_t limit = treeSizesNb;
    if (value > limit) {
        value = limit;
        // Writing the clamped value back into the edit runs this handling again.
        changeClustersText(s, ui, std::to_string(limit), treeSizesNb);
    }
    if (value > 0) s.clustersNb = fitOrRangeError<uint16_t>(value);
    s.actualClustersLabel = std::to_string(s.clustersNb);
}

void setClustersChangeable(ShellState& s, Ui& ui, bool on) {
    s.clustersChangeable = on;
    if (!on) {
        s.clustersEditEnabled = false;
        s.clustersEditRed = true;
        return;
    }
    ParsedInteger p = parseEditInteger(s.clustersEditText);
    if (p.wholeText)
        s.clustersNb = fitOrRangeError<uint16_t>(p.value);
    else
        ui.showMessage("It is not a numeric format!");
    s.clustersEditEnabled = true;
    s.clustersEditRed = false;
    ui.showMessage("Do not change centroids number during processing!!!");
}

int fittingPicturesCount(const ShellState& s) {
    return (s.windowWidth - kTreeDataGroupLeft) / kPlotAreaWidth;
}

void changePicturesText(ShellState& s, Ui& ui, const std::string& text) {
    s.picturesEditText = text;
    if (text.empty()) return;
    int64_t value = editValue(ui, text);
    const int fitting = fittingPicturesCount(s);
    if (fitting < value) value = fitting;
    if (value >= 1 && value <= 255) {
        s.picturesPerRow = static_cast<uint8_t>(value);
    } else {
        ui.showMessage(std::string(kPicturesLabel) +
                       " must be >0 and <=255!, but keep in  1 to 8 range...");
    }
}

void resizeWindow(ShellState& s, Ui& ui, int width) {
    const int oldWidth = s.windowWidth;
    s.windowWidth = width;
    uint8_t fitting;
    try {
        fitting = fitOrRangeError<uint8_t>(fittingPicturesCount(s));
    } catch (const RangeError&) {
        s.windowWidth = oldWidth;
        throw;
    }
    changePicturesText(s, ui, std::to_string(fitting));
}

void setStepwiseProceeding(ShellState& s, bool on) {
    s.stepwiseProceeding = on;
    s.nextEnabled = on;
    if (on) s.showInputRecords = true;
    s.waiting = on;
    if (on) {
        s.stopContinueCaption = "Next";
        s.focus = Focus::Next;
    } else {
        s.stopContinueCaption = "Stop";
    }
}

void setStretchCepstra(ShellState& s, bool on, int32_t consideredComponentsNb) {
    // A count that does not fit refuses the change: the box keeps its value.
    s.drawnComponents = on ? fitOrRangeError<uint16_t>(consideredComponentsNb) : uint16_t{128};
    s.stretchCepstra = on;
    if (s.nextEnabled) s.focus = Focus::Next;
    s.sliderVisible = on;
    s.stretchPosition = 10;
}

void moveStretchSlider(ShellState& s, int position, int32_t consideredComponentsNb) {
    s.stretchPosition = position;
    const double k = consideredComponentsNb;
    // nearbyint rounds halves to the even neighbour in the default mode.
    const double drawn = std::nearbyint(2.0 * k - position * k / 10.0);
    s.drawnComponents = fitOrRangeError<uint16_t>(drawn);
}

void pressStopContinue(ShellState& s) {
    s.waiting = !s.waiting;
    if (s.stepwiseProceeding)
        s.stopContinueCaption = "Next";
    else
        s.stopContinueCaption = s.waiting ? "Continue" : "Stop";
}

void pressBreak(ShellState& s) {
    s.breakRequested = true;
    s.hibernateOnFinish = false;
}

void pressNext(ShellState& s) {
    s.waiting = false;
}

void setStatusCaption(ShellState& s, Ui& ui, const std::string& text) {
    s.statusCaption = text;
    ui.statusCaptionChanged(text);
}

}  // namespace zortan
