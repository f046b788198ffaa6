#include "window/ShellRules.h"

#include <optional>
#include <string>

#include "base/Format.h"
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

void setStatusCaption(ShellState& s, Ui& ui, const std::string& text) {
    s.statusCaption = text;
    ui.statusCaptionChanged(text);
}

void ReadInitFile(InitFileOptions& options, Ui& ui, const std::string& programFolder) {
    if (const std::optional<std::string> message = ReadInitFile(options, programFolder))
        ui.showMessage(*message);
}

}  // namespace zortan
