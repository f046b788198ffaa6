#include "shell/ShellState.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Errors.h"
#include "support/ScriptedUi.h"
#include "window/ShellRules.h"

namespace zortan {
namespace {

using testing::ScriptedUi;
using Messages = std::vector<std::string>;

const std::string kNotNumeric = "Not a numeric format!";
const std::string kPicturesRange =
    "Number of  pictures in series must be >0 and <=255!, but keep in  1 to 8 range...";

// Typed texts are read (a bad one's leading digits), clamped to the tree sizes
// and stored; 0 and below keep the value. Ticking the box rereads the edit
// unclamped: a non-numeric one keeps the value, one above 65535 is a range
// error before any message.
TEST(ShellStateClusters, EditTextIsReadClampedAndStoredAndRereadByTheBox) {
    using C = std::tuple<std::string, std::string, uint16_t, Messages>;
    for (const auto& [text, editAfter, clustersAfter, messages] :
         {C{"300", "256", 256, {}}, C{"12a", "12a", 12, {kNotNumeric}},
          C{"999x", "256", 256, {kNotNumeric}}, C{"0", "0", 77, {}}, C{"", "", 77, {}}}) {
        SCOPED_TRACE("text \"" + text + "\"");
        ShellState s;
        s.clustersNb = 77;
        ScriptedUi ui;
        changeClustersText(s, ui, text, 256);
        EXPECT_EQ(s.clustersEditText, editAfter);
        EXPECT_EQ(s.clustersNb, clustersAfter);
        EXPECT_EQ(s.actualClustersLabel,
                  text.empty() ? ShellState{}.actualClustersLabel : std::to_string(clustersAfter));
        EXPECT_EQ(ui.messages, messages);
    }

    const std::string warning = "Do not change centroids number during processing!!!";
    ShellState s;
    ScriptedUi ui;
    setClustersChangeable(s, ui, false);
    EXPECT_TRUE(!s.clustersEditEnabled && s.clustersEditRed);
    for (const auto& [text, after] : {std::pair{"300", 300}, {"65535", 65535}, {"12a", 65535}}) {
        s.clustersEditText = text;
        setClustersChangeable(s, ui, true);
        EXPECT_EQ(s.clustersNb, after);
        EXPECT_TRUE(s.clustersEditEnabled && !s.clustersEditRed);
    }
    EXPECT_EQ(ui.messages, (Messages{warning, warning, "It is not a numeric format!", warning}));
    ui.messages.clear();
    s.clustersEditText = "65536";
    EXPECT_THROW(setClustersChangeable(s, ui, true), RangeError);
    EXPECT_EQ(s.clustersNb, 65535);
    EXPECT_TRUE(ui.messages.empty());
}

// The typed count is limited by the fitting count (9 at first), the edit kept.
// Resizing writes the fitting count, 0 to 255, into the edit; above 255 it
// does not fit its field.
TEST(ShellStatePictures, ValueIsLimitedByTheFittingCount) {
    using C = std::tuple<std::string, int, Messages>;
    for (const auto& [text, after, messages] :
         {C{"20", 9, {}}, C{"3", 3, {}}, C{"0", 5, {kPicturesRange}},
          C{"z", 5, {kNotNumeric, kPicturesRange}}, C{"", 5, {}}}) {
        SCOPED_TRACE("text \"" + text + "\"");
        ShellState s;
        s.picturesPerRow = 5;
        ScriptedUi ui;
        changePicturesText(s, ui, text);
        EXPECT_EQ(s.picturesEditText, text);
        EXPECT_EQ(s.picturesPerRow, after);
        EXPECT_EQ(ui.messages, messages);
    }
    ShellState s;
    ScriptedUi ui;
    using W = std::tuple<int, std::string, int>;
    for (const auto& [width, edit, perRow] :
         {W{232 + 3 * 140 + 139, "3", 3}, W{300, "0", 3}, W{232 + 255 * 140, "255", 255}}) {
        resizeWindow(s, ui, width);
        EXPECT_EQ(s.picturesEditText, edit);
        EXPECT_EQ(s.picturesPerRow, perRow);
    }
    EXPECT_EQ(ui.messages, Messages{kPicturesRange});
    EXPECT_THROW(resizeWindow(s, ui, 232 + 256 * 140), RangeError);
    EXPECT_EQ(s.picturesPerRow, 255);
}

TEST(ShellStateStretch, BoxAndSliderDeriveTheDrawnComponents) {
    ShellState s;
    // Before a tree the count of components does not fit: the box stays as it was.
    EXPECT_THROW(setStretchCepstra(s, true, 2147483647), RangeError);
    EXPECT_TRUE(s.drawnComponents == 128 && !s.sliderVisible && !s.stretchCepstra);
    s.nextEnabled = true, s.focus = Focus::Other;
    moveStretchSlider(s, 3, 15);
    setStretchCepstra(s, true, 15);
    EXPECT_TRUE(s.drawnComponents == 15 && s.sliderVisible && s.focus == Focus::Next);
    EXPECT_EQ(s.stretchPosition, 10);
    // Halves go to the even neighbour: 19.5 -> 20, 7.5 -> 8, 8.5 -> 8, 28.5 -> 28.
    using T = std::tuple<int, int32_t, int>;
    for (auto [position, k, drawn] :
         {T{7, 15, 20}, T{5, 5, 8}, T{3, 5, 8}, T{1, 15, 28}, T{0, 15, 30}, T{5, 128, 192}}) {
        moveStretchSlider(s, position, k);
        EXPECT_EQ(s.drawnComponents, drawn) << position << " " << k;
    }
    EXPECT_THROW(moveStretchSlider(s, 0, 40000), RangeError);
    EXPECT_EQ(s.drawnComponents, 192);
    setStretchCepstra(s, false, 15);
    EXPECT_TRUE(s.drawnComponents == 128 && !s.sliderVisible);
}

}  // namespace
}  // namespace zortan
