#include "shell/ShellState.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/Errors.h"
#include "support/ScriptedUi.h"

namespace zortan {
namespace {

using testing::ScriptedUi;
using Messages = std::vector<std::string>;

const std::string kNotNumeric = "Not a numeric format!";
const std::string kPicturesRange =
    "Number of  pictures in series must be >0 and <=255!, but keep in  1 to 8 range...";

// The messages shown, joined by "|".
std::string shown(const ScriptedUi& ui) {
    std::string s;
    for (const std::string& m : ui.messages) s += (s.empty() ? "" : "|") + m;
    return s;
}

// Typed texts are read (the leading digits of a bad text; the notations are
// checked with the parsing itself), clamped to the tree sizes (1 before any
// tree) and stored; 0 and below keep the value.
TEST(ShellStateClusters, EditTextIsReadClampedAndStored) {
    struct C {
        std::string text, editAfter;
        int limit;
        uint16_t clustersAfter;
        std::string messages;
    };
    for (const C& c : {C{"256", "1", 1, 1, ""}, C{"300", "256", 256, 256, ""},
                       C{"256", "256", 256, 256, ""}, C{"12a", "12a", 256, 12, kNotNumeric},
                       C{"999x", "256", 256, 256, kNotNumeric}, C{"0", "0", 256, 77, ""},
                       C{"abc", "abc", 256, 77, kNotNumeric}, C{"", "", 256, 77, ""}}) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        ShellState s;
        s.clustersNb = 77;
        ScriptedUi ui;
        changeClustersText(s, ui, c.text, c.limit);
        EXPECT_EQ(s.clustersEditText, c.editAfter);
        EXPECT_EQ(s.clustersNb, c.clustersAfter);
        if (!c.text.empty()) {
            EXPECT_EQ(s.actualClustersLabel, std::to_string(c.clustersAfter));
        }
        EXPECT_EQ(shown(ui), c.messages);
    }
}

// Ticking the box rereads the edit without clamping; a non-numeric edit keeps
// the value, one above 65535 is a range error before any message.
TEST(ShellStateClusters, TickingTheBoxRereadsTheEdit) {
    const std::string warning = "Do not change centroids number during processing!!!";
    ShellState s;
    ScriptedUi ui;
    setClustersChangeable(s, ui, false);
    EXPECT_FALSE(s.clustersEditEnabled);
    EXPECT_TRUE(s.clustersEditRed);
    using P = std::pair<const char*, int>;
    for (const auto& [text, after] : {P{"300", 300}, P{"65535", 65535}, P{"12a", 65535}}) {
        s.clustersEditText = text;
        setClustersChangeable(s, ui, true);
        EXPECT_EQ(s.clustersNb, after);
        EXPECT_TRUE(s.clustersEditEnabled);
        EXPECT_FALSE(s.clustersEditRed);
    }
    EXPECT_EQ(ui.messages, (Messages{warning, warning, "It is not a numeric format!", warning}));
    ui.messages.clear();
    s.clustersEditText = "65536";
    EXPECT_THROW(setClustersChangeable(s, ui, true), RangeError);
    EXPECT_EQ(s.clustersNb, 65535);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ShellStatePictures, ValueIsLimitedByTheFittingCount) {
    struct C {
        std::string text;
        uint8_t picturesAfter;
        std::string messages;
    };
    for (const C& c :
         {C{"20", 9, ""}, C{"9", 9, ""}, C{"3", 3, ""}, C{"0", 5, kPicturesRange},
          C{"4z", 4, kNotNumeric}, C{"z", 5, kNotNumeric + "|" + kPicturesRange}, C{"", 5, ""}}) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        ShellState s;
        s.picturesPerRow = 5;
        ScriptedUi ui;
        EXPECT_EQ(fittingPicturesCount(s), 9);  // the start layout
        changePicturesText(s, ui, c.text);
        EXPECT_EQ(s.picturesEditText, c.text);  // the edit keeps what was typed
        EXPECT_EQ(s.picturesPerRow, c.picturesAfter);
        EXPECT_EQ(shown(ui), c.messages);
    }

    // Resizing writes the fitting count into the edit: 3; 0 for a window too
    // narrow for one; 255 at most, above it the count does not fit its field.
    ShellState s;
    ScriptedUi ui;
    struct W {
        int width;
        std::string edit;
        int perRow;
    };
    for (W w : {W{232 + 3 * 140 + 139, "3", 3}, W{300, "0", 3}, W{232 + 255 * 140, "255", 255}}) {
        resizeWindow(s, ui, w.width);
        EXPECT_EQ(s.picturesEditText, w.edit);
        EXPECT_EQ(s.picturesPerRow, w.perRow);
    }
    EXPECT_EQ(ui.messages, Messages{kPicturesRange});
    EXPECT_THROW(resizeWindow(s, ui, 232 + 256 * 140), RangeError);
    EXPECT_EQ(s.picturesPerRow, 255);
}

// Free running, Stop and Continue alternate; stepwise, the caption stays
// Next. Break always unticks hibernation.
TEST(ShellStateRunControl, StopContinueAndBreak) {
    ShellState s;
    std::string seen;
    for (int press = 0; press < 5; ++press) {
        if (press == 0 || press == 3) setStepwiseProceeding(s, press == 3);
        pressStopContinue(s);
        seen += s.stopContinueCaption + (s.waiting ? "+ " : "- ");
    }
    // Ticking "Stepwise proceeding" makes the run wait: each press releases one event.
    EXPECT_EQ(seen, "Continue+ Stop- Continue+ Next- Next+ ");
    s.hibernateOnFinish = true;
    pressBreak(s);
    EXPECT_TRUE(s.breakRequested && !s.hibernateOnFinish);
}

TEST(ShellStateStretch, BoxAndSliderDeriveTheDrawnComponents) {
    ShellState s;
    // Before a tree the count of components does not fit: the box stays as it was.
    EXPECT_THROW(setStretchCepstra(s, true, 2147483647), RangeError);
    EXPECT_EQ(s.drawnComponents, 128);
    EXPECT_FALSE(s.sliderVisible || s.stretchCepstra);

    s.nextEnabled = true;
    s.focus = Focus::Other;
    moveStretchSlider(s, 3, 15);
    setStretchCepstra(s, true, 15);
    EXPECT_EQ(s.drawnComponents, 15);
    EXPECT_TRUE(s.sliderVisible && s.focus == Focus::Next);
    EXPECT_EQ(s.stretchPosition, 10);
    // Halves go to the even neighbour: 19.5 -> 20, 7.5 -> 8, 8.5 -> 8, 28.5 -> 28.
    using T = std::tuple<int, int32_t, int>;
    for (auto [position, k, drawn] : {T{7, 15, 20}, T{5, 5, 8}, T{3, 5, 8}, T{1, 15, 28},
                                      T{10, 15, 15}, T{0, 15, 30}, T{5, 128, 192}}) {
        moveStretchSlider(s, position, k);
        EXPECT_EQ(s.drawnComponents, drawn) << position << " " << k;
    }
    EXPECT_THROW(moveStretchSlider(s, 0, 40000), RangeError);
    EXPECT_EQ(s.drawnComponents, 192);
    setStretchCepstra(s, false, 15);
    EXPECT_EQ(s.drawnComponents, 128);
    EXPECT_FALSE(s.sliderVisible);
}

}  // namespace
}  // namespace zortan
