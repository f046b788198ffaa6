// The event pictures: every event's signal, spectra and features (and in
// averaging mode its time average and centred vector) drawn in columns,
// `picturesPerRow` to a row, with the event's code, categories and running
// error percentages written underneath.
#pragma once

#include <vector>

#include <array>
#include <string>

#include "events/FvsFile.h"
#include "plots/Skribo.h"
#include "tree/QuantizationTree.h"

namespace zortan {

struct EventSeries;
struct EventRecord;
struct EncodeResult;

// A plot area in window coordinates.
struct PlotArea {
    int left = 0, top = 0, width = 0, height = 0;
    int bottom() const { return top + height; }
};

// Tops of the legend rows below the lowest plot area, and of the controls
// placed under them.
struct LegendLayout {
    int outputCodes = 0;  // "Output codes"
    int cathNames = 0;    // "cath1, cath2, cath3: "
    int given = 0;        // "given"
    int recognized = 0;   // "reco- gnized"
    int totalError = 0;   // "Total error"
    int runButtons = 0;   // "Next", Stop/Continue, "Break", "Halt!"
    int stepwiseBox = 0;  // "Stepwise proceeding"
    int warningLine = 0;
};

// The legend rows below a lowest plot area whose bottom is `bottom`.
LegendLayout LegendBelow(int bottom);

constexpr int kPictureGap = 8;  // between two columns
constexpr int kPlotsLeftOrigin = 233;

// The pictures' state for the whole program run.
struct EventPictures {
    // The current row's background; the window's face until the first row.
    Colour background = kWindowFace;
    // Left edge of column 0: the signal area's left edge when the window was
    // first activated.
    int plotsLeftOrigin = kPlotsLeftOrigin;
    bool originTaken = false;
    PlotArea signalArea{kPlotsLeftOrigin, 332, 140, 55};
    PlotArea spectraArea{kPlotsLeftOrigin, 400, 140, 81};
    PlotArea featuresArea{kPlotsLeftOrigin, 498, 140, 81};
    PlotArea averagingArea{kPlotsLeftOrigin, 498 + 81 + 16, 140, 81};
    bool averagingAreaPlaced = false;
    LegendLayout legend = LegendBelow(498 + 81);
};

// The window was activated: the first time, the signal area's left edge
// becomes the plots' left origin and the legend goes below the lowest area in
// use. Later activations keep the layout, so that pictures do not drift to
// the column the last event was drawn in.
void PlacePlotsOnActivation(EventPictures& pictures);

// A tree trained with averaging was read: the averaging area goes below the
// features area and the legend below the averaging area.
void PlaceAveragingArea(EventPictures& pictures);

// What processes the window's pending events between two segments of a
// picture.
class PendingEvents {
  public:
    virtual ~PendingEvents() = default;
    virtual void process() = 0;
};

// What the pictures of an event are drawn with: the surface (none while
// input records are not shown), the pictures' layout, the settings that
// shape them, the steps done, and what processes the window's pending
// events between two segments.
struct PictureDesk {
    Canvas* canvas = nullptr;
    EventPictures& pictures;
    PendingEvents* pendingEvents = nullptr;
    int picturesPerRow = 0;
    int drawnComponents = 0;
    bool compareMode = false;
    int32_t consideredComponentsNb = 0;  // where the marker line stands
    int64_t stepCounter = 0;
};

// Whether DrawInputPicture draws anything now (input records are shown).
bool DrawsInputPictures(const PictureDesk& desk);

// Draws the event just read into `record`: places the picture's column, then
// the signal, spectra and features areas. To be called right after an event
// has been read, before it is averaged or coded (the desk's stepCounter
// still counts the steps before it).
void DrawInputPicture(PictureDesk& desk, const EventSeries& series, const FvsRecord& record);

// Draws the averaging area: the series' time average and the event's
// transformed components.
void DrawAveragingPicture(PictureDesk& desk, const EventSeries& series,
                          const EventRecord& transformed);

// Writes the event's code and given categories, the recognised categories
// (the leaf's readings in `leaf`, shown by the tree's lists) and the running
// error percentages of `coder` under its picture. The desk's stepCounter
// includes this event.
// Returns the messages the window is to show (a reading beyond its list).
std::vector<std::string> WriteEventText(PictureDesk& desk, uint16_t code,
                                        const std::array<char, 3>& given, const EncodeResult& leaf,
                                        const QuantizationTree& tree, const CoderState& coder);

// The character to show for reading `index` of a category: "-" when the
// category is not active, else the list's entry; an index beyond the list
// is lowered to the last index, with the message that says so in `messages`.
char CategoryLookup(const TcharList& list, int index, bool active,
                    std::vector<std::string>& messages);

// e1 ",  " e2 ",  " e3, the error counts in percent of `steps`, padded with
// blanks to 18 characters.
std::string ErrorPercentagesText(uint32_t cath1Errors, uint32_t cath2Errors, uint32_t cath3Errors,
                                 int64_t steps);

}  // namespace zortan
