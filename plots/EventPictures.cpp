#include "plots/EventPictures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/EventRecord.h"
#include "events/EventSeries.h"
#include "events/FvsReader.h"
#include "platform/Errors.h"
#include "shell/ShellState.h"
#include "tree/TreeCoding.h"

namespace zortan {

namespace {

constexpr int kSignalSamples = 256;
constexpr int kSpectrumPoints = 128;  // components 0..127 of each spectrum

// Rounds to the nearest integer, halves to the even neighbour.
int roundToInt(double value) {
    return fitOrRangeError<int32_t>(std::nearbyint(value));
}

int16_t recordWord(const FvsRecord& r, size_t offset) {
    return static_cast<int16_t>(static_cast<uint16_t>(r[offset] | (r[offset + 1] << 8)));
}

// `count` signed words of the record buffer from `offset`.
std::vector<double> recordWords(const FvsRecord& r, size_t offset, int count) {
    std::vector<double> values(static_cast<size_t>(count));
    for (size_t i = 0; i < values.size(); ++i) values[i] = recordWord(r, offset + 2 * i);
    return values;
}

// Feature vector `slot` (1..5) of the record buffer, its first `count`
// components.
std::vector<double> featureVector(const FvsRecord& r, int slot, int count) {
    const size_t offset =
        kFvsFeatureVectors + kFvsFeatureVectorSize * static_cast<size_t>(slot - 1);
    return recordWords(r, offset, count);
}

// What a frame establishes for the curves of its area.
struct Frame {
    int middle = 0;
    double xScale = 0.0;  // not finite when the frame spans fewer than 2 points
};

struct Curve {
    const std::vector<double>& data;
    int baseline = 0;
    double yScale = 0.0;
    Colour colour;
    bool clear = false;
    bool marker = false;
    bool startAtBaseline = false;  // the signal starts its first segment at (left, baseline)
};

class Painter {
  public:
    Painter(PictureDesk& desk, Canvas& canvas) : desk_(desk), canvas_(canvas) {}

    // Frame of an area whose curves span `points` points.
    Frame frame(const PlotArea& a, int points) {
        Frame f;
        f.middle = roundToInt(a.top + a.height / 2.0);
        f.xScale = points >= 2 ? a.width / static_cast<double>(points - 1)
                               : std::numeric_limits<double>::infinity();
        const Colour back = desk_.pictures.background;
        canvas_.rectangle({a.left - 2, a.top - 2, a.left + a.width + 2, a.top + a.height + 2},
                          kFrameDark, back);
        canvas_.rectangle({a.left - 1, a.top - 1, a.left + a.width + 2, a.top + a.height + 2},
                          kFrameLight, back);
        canvas_.rectangle({a.left, a.top, a.left + a.width, a.top + a.height}, kFrameLight, back);
        canvas_.setPenColour(kFrameLight);
        canvas_.moveTo({a.left, f.middle});
        canvas_.lineTo({a.left + a.width, f.middle});
        pending();
        return f;
    }

    // Draws the first `points` values of the curve's data.
    void curve(const PlotArea& a, const Frame& f, const Curve& c, int points) {
        if (!std::isfinite(f.xScale)) return;  // nothing to spread over the width
        const int bottom = a.top + a.height;
        const double t = f.xScale;
        if (c.clear) canvas_.erase({a.left, a.top, a.left + a.width + 1, bottom + 1});
        if (a.top <= c.baseline && c.baseline <= bottom) {
            if (c.marker) {
                const int64_t K = desk_.consideredComponentsNb;
                const int x = roundToInt(a.left + static_cast<double>(K - 1) * t);
                canvas_.setPenColour(kMarkerLine);
                canvas_.moveTo({x, a.top});
                canvas_.lineTo({x, bottom});
            }
            canvas_.moveTo({a.left, c.baseline});
            canvas_.lineTo({a.left + a.width, c.baseline});
        }
        canvas_.setPenColour(c.colour);
        for (int i = 0; i < points; ++i) {
            const double value = checkedAt(c.data, i);
            const int y = std::clamp(roundToInt(c.baseline - value * c.yScale), a.top, bottom);
            const Point point{roundToInt(a.left + i * t), y};
            if (i == 0 && !c.startAtBaseline) {
                canvas_.moveTo(point);
                continue;
            }
            if (i == 0) canvas_.moveTo({a.left, c.baseline});
            canvas_.lineTo(point);
            pending();
        }
    }

  private:
    void pending() {
        if (desk_.pendingEvents != nullptr) desk_.pendingEvents->process();
    }

    PictureDesk& desk_;
    Canvas& canvas_;
};

}  // namespace

LegendLayout LegendBelow(int bottom) {
    LegendLayout l;
    l.outputCodes = bottom + 16;
    l.cathNames = l.outputCodes + 35;
    l.given = l.cathNames + 15;
    l.recognized = l.given + 15;
    l.totalError = l.recognized + 28;
    l.runButtons = l.totalError + 22;
    l.stepwiseBox = l.totalError + 31;
    l.warningLine = l.runButtons + 30;
    return l;
}

void PlacePlotsOnActivation(EventPictures& pictures) {
    if (pictures.originTaken) return;
    pictures.originTaken = true;
    pictures.plotsLeftOrigin = pictures.signalArea.left;
    const PlotArea& lowest =
        pictures.averagingAreaPlaced ? pictures.averagingArea : pictures.featuresArea;
    pictures.legend = LegendBelow(lowest.bottom());
}

void PlaceAveragingArea(EventPictures& pictures) {
    pictures.averagingArea.left = pictures.featuresArea.left;
    pictures.averagingArea.top = pictures.featuresArea.bottom() + 16;
    pictures.averagingAreaPlaced = true;
    pictures.legend = LegendBelow(pictures.averagingArea.bottom());
}

bool DrawsInputPictures(const PictureDesk& desk) {
    return desk.canvas != nullptr;
}

void DrawInputPicture(PictureDesk& desk, const EventSeries& series, const FvsRecord& r) {
    Canvas* canvas = desk.canvas;
    if (canvas == nullptr) return;
    EventPictures& pic = desk.pictures;
    // Settings changed while this picture grows apply to the next one.
    const int perRow = desk.picturesPerRow;
    const int drawn = desk.drawnComponents;
    if (perRow < 1) throw RangeError();

    // Column placement.
    const int64_t column = desk.stepCounter % perRow;
    if (column == 0 && perRow > 1)
        pic.background = pic.background == kRowColour1 ? kRowColour2 : kRowColour1;
    const int left = fitOrRangeError<uint16_t>(column * (kPlotAreaWidth + kPictureGap) +
                                               int64_t{pic.plotsLeftOrigin});
    pic.signalArea.left = pic.spectraArea.left = pic.featuresArea.left = left;

    const double signalRange = series.plotParameters[0];
    const double spectraRange = series.plotParameters[1];
    const double featureRange = series.plotParameters[2];
    Painter painter(desk, *canvas);
    const PlotArea sig = pic.signalArea, spe = pic.spectraArea, fea = pic.featuresArea;
    const Frame sigFrame = painter.frame(sig, kSignalSamples);
    const Frame speFrame = painter.frame(spe, kSpectrumPoints);
    const Frame feaFrame = painter.frame(fea, drawn);

    // Vectors end at index 128: a wider picture shows the existing
    // components at the picture's scale.
    const int features = std::min(drawn, kComponents);
    const auto signal = recordWords(r, kFvsSignal, kSignalSamples);
    const auto power = featureVector(r, 1, kSpectrumPoints);
    const auto smoothed = featureVector(r, 2, kSpectrumPoints);
    const auto mel = featureVector(r, 3, kSpectrumPoints);
    const auto cepstrum = featureVector(r, 4, features);
    const auto melCepstrum = featureVector(r, 5, features);

    const auto base = [](const Frame& f, const PlotArea& a, double divisor) {
        return roundToInt(f.middle + a.height / divisor);
    };
    const double sh = sig.height, ph = spe.height, fh = fea.height;
    painter.curve(sig, sigFrame,
                  {signal, sigFrame.middle, 1.5 * sh / signalRange, kBlue, false, false, true},
                  kSignalSamples);
    painter.curve(spe, speFrame,
                  {power, base(speFrame, spe, 4.4), ph / spectraRange / 950, kPlotColours[0], true,
                   false, false},
                  kSpectrumPoints);
    painter.curve(spe, speFrame,
                  {smoothed, base(speFrame, spe, 4.5), ph / spectraRange / 1600, kPlotColours[1],
                   false, false, false},
                  kSpectrumPoints);
    painter.curve(spe, speFrame,
                  {mel, base(speFrame, spe, 5.5), ph / spectraRange / 1000, kPlotColours[2], false,
                   false, false},
                  kSpectrumPoints);
    painter.curve(fea, feaFrame,
                  {cepstrum, base(feaFrame, fea, 5.5), fh / featureRange / 512, kPlotColours[3],
                   true, true, false},
                  features);
    painter.curve(fea, feaFrame,
                  {melCepstrum, base(feaFrame, fea, 5.5), fh / featureRange / 512, kPlotColours[4],
                   false, true, false},
                  features);

    if (desk.compareMode)
        canvas->text({spe.left, spe.top}, series.number == 1 ? "1-th data" : "2-nd data", kBlack,
                     pic.background);
}

void DrawAveragingPicture(PictureDesk& desk, const EventSeries& series,
                          const EventRecord& transformed) {
    Canvas* canvas = desk.canvas;
    if (canvas == nullptr) return;
    EventPictures& pic = desk.pictures;
    const int drawn = desk.drawnComponents;
    const int64_t K = desk.consideredComponentsNb;
    // The curves read components 0..K-1 of 129.
    if (K > kComponents) throw RangeError();
    const int points = static_cast<int>(std::max<int64_t>(K, 0));

    pic.averagingArea.left = pic.featuresArea.left;
    const PlotArea a = pic.averagingArea;
    const double range = series.plotParameters[3];
    std::vector<double> average(static_cast<size_t>(points)), centred(average.size());
    for (size_t i = 0; i < average.size(); ++i) {
        average[i] = std::nearbyint(series.averaging.timeAverage[i]);
        centred[i] = transformed.components[i];
    }

    Painter painter(desk, *canvas);
    const Frame f = painter.frame(a, drawn);
    const int baseline = roundToInt(f.middle + a.height / 5.5);
    const double yScale = a.height / range / 512;
    painter.curve(a, f, {average, baseline, yScale, kBlack, true, true, false}, points);
    painter.curve(a, f, {centred, baseline, yScale, kCentredVector, false, true, false}, points);
}

char CategoryLookup(const TcharList& list, int index, bool active,
                    std::vector<std::string>& messages) {
    if (!active) return '-';
    const long long last = static_cast<long long>(list.size()) - 1;
    if (index <= last) return checkedAt(list, index);
    const std::string lastText = std::to_string(last);
    messages.push_back("Some error in data processing occured.\r\nThe code list contain \"" +
                       lastText + "\", while index is \"" + std::to_string(index) +
                       "\r\nNow the index will be lowered to the \"" + lastText +
                       "\" value to continue, but it is highly erronous situation!. Turn to the "
                       "author");
    return checkedAt(list, last);
}

std::string ErrorPercentagesText(uint32_t cath1Errors, uint32_t cath2Errors, uint32_t cath3Errors,
                                 int64_t steps) {
    const auto percent = [steps](uint32_t errors) {
        return std::to_string(fitOrRangeError<int64_t>(
            std::nearbyint(static_cast<double>(errors) * 100.0 / static_cast<double>(steps))));
    };
    std::string text =
        percent(cath1Errors) + ",  " + percent(cath2Errors) + ",  " + percent(cath3Errors);
    if (text.size() < 18) text.resize(18, ' ');
    return text;
}

namespace {

// Clears the cell of one event text: over the width the longest text of its
// kind can take (`fixed` and `wide` characters of any kind), never into the
// next column, so that no character of an earlier, longer text stays.
void clearTextCell(Canvas& canvas, Point at, const std::string& fixed, int wide, Colour back) {
    const int width = std::min(canvas.textWidth(fixed) + wide * canvas.widestCharacterWidth(),
                               kPlotAreaWidth + kPictureGap);
    canvas.fillRect({at.x, at.y, at.x + width, at.y + canvas.textHeight()}, back);
}

}  // namespace

std::vector<std::string> WriteEventText(PictureDesk& desk, uint16_t code,
                                        const std::array<char, 3>& given, const EncodeResult& leaf,
                                        const QuantizationTree& tree, const CoderState& c) {
    std::vector<std::string> messages;
    Canvas* canvas = desk.canvas;
    if (canvas == nullptr) return messages;
    const EventPictures& pic = desk.pictures;
    const Colour back = pic.background;
    const int x0 = pic.featuresArea.left + 5;
    const LegendLayout& rows = pic.legend;
    const std::string codeIndent(8, ' '), categoryIndent(12, ' ');

    // Codes are 16-bit: at most five digits.
    clearTextCell(*canvas, {x0, rows.outputCodes}, codeIndent, 5, back);
    canvas->text({x0, rows.outputCodes}, codeIndent + std::to_string(code), kBlack, back);
    clearTextCell(*canvas, {x0, rows.given}, categoryIndent + ", , ", 3, back);
    canvas->text({x0, rows.given}, categoryIndent + given[0] + ", " + given[1] + ", " + given[2],
                 kBlack, back);

    const std::string recognised =
        std::string(
            1, CategoryLookup(tree.cath[0].list, leaf.cath1, tree.cath[0].active != 0, messages)) +
        ", " + CategoryLookup(tree.cath[1].list, leaf.cath2, tree.cath[1].active != 0, messages) +
        ", " + CategoryLookup(tree.cath[2].list, leaf.cath3, tree.cath[2].active != 0, messages);
    const int recognisedRow = rows.recognized + 8;
    clearTextCell(*canvas, {x0, recognisedRow}, categoryIndent + ", , ", 3, back);
    const int after = canvas->text({x0, recognisedRow}, categoryIndent, kBlack, back);
    canvas->text({after, recognisedRow}, recognised, kRecognisedText, back);

    // Three percentages of up to three digits, padded to 18 characters.
    const int errorRow = rows.recognized + 28;
    clearTextCell(*canvas, {x0, errorRow}, ",  ,     ", 9, back);
    canvas->text({x0, errorRow},
                 ErrorPercentagesText(c.cath1ErrorCount, c.cath2ErrorCount, c.cath3ErrorCount,
                                      desk.stepCounter),
                 kBlack, back);
    return messages;
}

}  // namespace zortan
