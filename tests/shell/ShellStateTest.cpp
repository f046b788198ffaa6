#include "shell/ShellState.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "support/ScriptedUi.h"

namespace zortan {
namespace {

using testing::ScriptedUi;
using Messages = std::vector<std::string>;

constexpr int32_t kNoTreeComponents = 2147483647;
const std::string kPicturesRange =
    "Number of  pictures in series must be >0 and <=255!, but keep in  1 to 8 range...";

TEST(ShellStateClusters, StartTextIsClampedToTheLimitBeforeAnyTree) {
    ShellState s;
    ScriptedUi ui;
    changeClustersText(s, ui, s.clustersEditText, 1);
    EXPECT_EQ(s.clustersEditText, "1");
    EXPECT_EQ(s.clustersNb, 1);
    EXPECT_EQ(s.actualClustersLabel, "1");
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ShellStateClusters, EditTextIsReadClampedAndStored) {
    struct Case {
        std::string text;
        std::string editAfter;
        uint16_t clustersAfter;
        Messages messages;
    };
    const std::vector<Case> cases = {
        {"300", "256", 256, {}},
        {"12a", "12a", 12, {"Not a numeric format!"}},
        {"999x", "256", 256, {"Not a numeric format!"}},  // leading digits, then clamped
        {"0", "0", 77, {}},
        {"-5", "-5", 77, {}},
        {"abc", "abc", 77, {"Not a numeric format!"}},
        {"", "", 77, {}},
        {"  +40", "  +40", 40, {}},
        {"$1F", "$1F", 31, {}},
        {"x1F", "x1F", 31, {}},
        {"0x1F", "0x1F", 31, {}},
        {"0x", "0x", 77, {"Not a numeric format!"}},
        {"256", "256", 256, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        ShellState s;
        s.clustersNb = 77;
        ScriptedUi ui;
        changeClustersText(s, ui, c.text, 256);
        EXPECT_EQ(s.clustersEditText, c.editAfter);
        EXPECT_EQ(s.clustersNb, c.clustersAfter);
        if (!c.text.empty()) {
            EXPECT_EQ(s.actualClustersLabel, std::to_string(c.clustersAfter));
        }
        EXPECT_EQ(ui.messages, c.messages);
    }
}

TEST(ShellStateClusters, TickingTheBoxRereadsTheEditWithoutClamping) {
    ShellState s;
    ScriptedUi ui;
    setClustersChangeable(s, ui, false);
    EXPECT_FALSE(s.clustersEditEnabled);
    EXPECT_TRUE(s.clustersEditRed);

    s.clustersEditText = "300";
    setClustersChangeable(s, ui, true);
    EXPECT_EQ(s.clustersNb, 300);
    EXPECT_TRUE(s.clustersEditEnabled);
    EXPECT_EQ(ui.messages, Messages{"Do not change centroids number during processing!!!"});
}

TEST(ShellStateClusters, TickingTheBoxWithANonNumericEditKeepsTheValue) {
    ShellState s;
    ScriptedUi ui;
    changeClustersText(s, ui, "12a", 256);
    ui.messages.clear();
    setClustersChangeable(s, ui, false);
    setClustersChangeable(s, ui, true);
    EXPECT_EQ(s.clustersNb, 12);
    EXPECT_TRUE(s.clustersEditEnabled);
    EXPECT_EQ(ui.messages, (Messages{"It is not a numeric format!",
                                     "Do not change centroids number during processing!!!"}));
}

TEST(ShellStateClusters, TickingTheBoxWithAValueAbove65535IsARangeError) {
    ShellState s;
    ScriptedUi ui;
    changeClustersText(s, ui, "100", 256);
    setClustersChangeable(s, ui, false);
    s.clustersEditText = "65536";
    EXPECT_THROW(setClustersChangeable(s, ui, true), RangeError);
    EXPECT_EQ(s.clustersNb, 100);
    EXPECT_TRUE(ui.messages.empty());  // the handling stopped before its message

    s.clustersEditText = "65535";
    setClustersChangeable(s, ui, true);
    EXPECT_EQ(s.clustersNb, 65535);
}

TEST(ShellStatePictures, ValueIsLimitedByTheFittingCount) {
    struct Case {
        std::string text;
        uint8_t picturesAfter;
        Messages messages;
    };
    const std::vector<Case> cases = {
        {"20", 9, {}},
        {"9", 9, {}},
        {"3", 3, {}},
        {"0", 5, {kPicturesRange}},
        {"-2", 5, {kPicturesRange}},
        {"4z", 4, {"Not a numeric format!"}},
        {"z", 5, {"Not a numeric format!", kPicturesRange}},
        {"", 5, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        ShellState s;
        s.picturesPerRow = 5;
        ScriptedUi ui;
        EXPECT_EQ(fittingPicturesCount(s), 9);  // the start layout
        changePicturesText(s, ui, c.text);
        EXPECT_EQ(s.picturesEditText, c.text);  // the edit keeps what was typed
        EXPECT_EQ(s.picturesPerRow, c.picturesAfter);
        EXPECT_EQ(ui.messages, c.messages);
    }
}

TEST(ShellStatePictures, ResizingWritesTheFittingCountIntoTheEdit) {
    ShellState s;
    ScriptedUi ui;
    resizeWindow(s, ui, 232 + 3 * 140 + 139);
    EXPECT_EQ(s.picturesEditText, "3");
    EXPECT_EQ(s.picturesPerRow, 3);

    // Too narrow for one picture: the edit gets 0 and the range message.
    resizeWindow(s, ui, 300);
    EXPECT_EQ(s.picturesEditText, "0");
    EXPECT_EQ(s.picturesPerRow, 3);
    EXPECT_EQ(ui.messages, Messages{kPicturesRange});

    // A fitting count above 255 does not fit its field.
    EXPECT_THROW(resizeWindow(s, ui, 232 + 256 * 140), RangeError);
    EXPECT_EQ(s.picturesPerRow, 3);
    EXPECT_EQ(s.picturesEditText, "0");
    resizeWindow(s, ui, 232 + 255 * 140);
    EXPECT_EQ(s.picturesPerRow, 255);
}

TEST(ShellStateRunControl, StopContinueInFreeRunningMode) {
    ShellState s;
    setStepwiseProceeding(s, false);
    EXPECT_EQ(s.stopContinueCaption, "Stop");
    EXPECT_FALSE(s.waiting);
    EXPECT_FALSE(s.nextEnabled);

    std::vector<std::string> captions;
    std::vector<bool> waiting;
    for (int i = 0; i < 3; ++i) {
        pressStopContinue(s);
        captions.push_back(s.stopContinueCaption);
        waiting.push_back(s.waiting);
    }
    EXPECT_EQ(captions, (std::vector<std::string>{"Continue", "Stop", "Continue"}));
    EXPECT_EQ(waiting, (std::vector<bool>{true, false, true}));

    // Ticking "Stepwise proceeding" while paused keeps the run waiting.
    setStepwiseProceeding(s, true);
    EXPECT_EQ(s.stopContinueCaption, "Next");
    EXPECT_TRUE(s.waiting);
    setStepwiseProceeding(s, false);
    EXPECT_EQ(s.stopContinueCaption, "Stop");
    EXPECT_FALSE(s.waiting);
}

TEST(ShellStateRunControl, StopContinueInStepwiseModeReleasesOneEventPerPress) {
    ShellState s;
    s.showInputRecords = false;
    s.focus = Focus::Other;
    setStepwiseProceeding(s, true);
    EXPECT_TRUE(s.nextEnabled);
    EXPECT_TRUE(s.showInputRecords);
    EXPECT_EQ(s.focus, Focus::Next);
    EXPECT_TRUE(s.waiting);

    for (int event = 0; event < 2; ++event) {
        pressStopContinue(s);
        EXPECT_FALSE(s.waiting);
        EXPECT_EQ(s.stopContinueCaption, "Next");
        s.waiting = true;  // the run pauses before its next event
    }
    pressNext(s);
    EXPECT_FALSE(s.waiting);
}

TEST(ShellStateRunControl, BreakAlwaysUnticksHibernate) {
    ShellState s;
    s.hibernateOnFinish = true;
    pressBreak(s);
    EXPECT_TRUE(s.breakRequested);
    EXPECT_FALSE(s.hibernateOnFinish);
}

TEST(ShellStateStretch, TickingBeforeATreeIsARangeError) {
    ShellState s;
    EXPECT_THROW(setStretchCepstra(s, true, kNoTreeComponents), RangeError);
    EXPECT_EQ(s.drawnComponents, 128);
    EXPECT_FALSE(s.sliderVisible);
    EXPECT_FALSE(s.stretchCepstra);  // the refused tick leaves the box as it was
}

TEST(ShellStateStretch, BoxAndSliderDeriveTheDrawnComponents) {
    ShellState s;
    s.nextEnabled = true;
    s.focus = Focus::Other;
    moveStretchSlider(s, 3, 15);
    setStretchCepstra(s, true, 15);
    EXPECT_EQ(s.drawnComponents, 15);
    EXPECT_TRUE(s.sliderVisible);
    EXPECT_EQ(s.stretchPosition, 10);
    EXPECT_EQ(s.focus, Focus::Next);

    struct Case {
        int position;
        int32_t k;
        uint16_t drawn;
    };
    // Halves go to the even neighbour: 19.5 -> 20, 7.5 -> 8, 8.5 -> 8, 28.5 -> 28.
    for (const Case& c : {Case{7, 15, 20}, Case{5, 5, 8}, Case{3, 5, 8}, Case{1, 15, 28},
                          Case{10, 15, 15}, Case{0, 15, 30}, Case{5, 128, 192}}) {
        SCOPED_TRACE(std::to_string(c.position) + " " + std::to_string(c.k));
        moveStretchSlider(s, c.position, c.k);
        EXPECT_EQ(s.drawnComponents, c.drawn);
    }

    EXPECT_THROW(moveStretchSlider(s, 0, 40000), RangeError);
    EXPECT_EQ(s.drawnComponents, 192);

    setStretchCepstra(s, false, 15);
    EXPECT_EQ(s.drawnComponents, 128);
    EXPECT_FALSE(s.sliderVisible);
}

}  // namespace
}  // namespace zortan
