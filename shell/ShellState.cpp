#include "shell/ShellState.h"

#include <cmath>
#include <string>

#include "base/Format.h"
#include "platform/Errors.h"

namespace zortan {

int fittingPicturesCount(const ShellState& s) {
    return (s.windowWidth - kTreeDataGroupLeft) / kPlotAreaWidth;
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

}  // namespace zortan
