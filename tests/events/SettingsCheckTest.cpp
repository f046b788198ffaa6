#include "events/SettingsCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ExpectedText.h"
#include "support/ScriptedUi.h"

namespace zortan {
namespace {

struct Session {
    QuantizationTree tree;
    AnalysisSettings& training = tree.training;
    AnalysisSettings input;

    Session() {
        training = {1, 0, 1, 2, true, false, 24, 10.0, 16000.0, 256, false, 0, false, 1.0};
        tree.consideredComponentsNb = 24;
        input = training;
        input.featureKind = -1;  // an input's own kind plays no part
    }
    std::string differences(bool fvs, int32_t nc = 0) {
        return settingsDifferences(tree, "C:\\train\\t.fvs", input,
                                   fvs ? "D:\\in.fvs" : "D:\\t.txt", nc, fvs);
    }
};

TEST(SettingsCheck, ListsEveryFvsDifferenceInOrder) {
    Session s;
    s.training.windowShape = -1;
    s.training.frameStep = 12.5;
    s.input = {-1, -1, 0, 4, false, false, 20, 0.0, 0.0, 512, false, 0, false, 1.0};
    EXPECT_EQ(s.differences(true), testing::dataText("settings-fvs-differences.txt"));
    testing::ScriptedUi ui;
    CheckSettings(ui, s.tree, "C:\\train\\t.fvs", s.input, "D:\\in.fvs", 0, true);
    EXPECT_EQ(ui.messages,
              std::vector<std::string>{testing::dataText("settings-fvs-warning.txt")});
    // Identical settings: no message at all.
    CheckSettings(ui, s.tree, "C:\\train\\t.fvs", s.tree.training, "D:\\in.fvs", 0, true);
    EXPECT_EQ(ui.messages.size(), 1u);
}

// A table compares the vector length, not steps, rates, lifters or FFT
// widths; its choices differ only when the input's hold values from an
// earlier fvs read.
TEST(SettingsCheck, TextInputComparesTheVectorLength) {
    Session s;
    s.training.filter = -1;
    s.input.filter = 2;
    s.input.frameStep = 3.0;
    s.input.lifterThreshold = 1;
    s.input.fftWindowWidth = 1;
    EXPECT_EQ(s.differences(false, 12), testing::dataText("settings-text-differences.txt"));
    s.input.filter = -1;
    EXPECT_EQ(s.differences(false, 24), "");
}

// An index past the last name is no choice, as -1 is; the lifter matters
// only for the smoothed kinds 1, 2 and 4.
TEST(SettingsCheck, ChoicesAtTheEdgesOfTheirNamesAndTheLifter) {
    const std::string filtered = "Training data were filtered with setting ";
    const std::string lifter =
        "Training data cepstral liftering treshold and also features "
        "vector length differs from the input data one "
        "(LifterTreshold0=24<>lifterTreshold1=12). Unacceptable error! "
        "It will result in erronous encoding the data events.\r\n";
    const struct {
        int training, input, kind, lifter;
        std::string list;
    } cases[] = {
        {4, 4, 1, 24, ""},
        {4, 5, 1, 24,
         filtered + "\"summ\",and input data were filtered with setting \"Unknown\"\r\n"},
        {5, -1, 1, 24, ""},
        {-1, 0, 1, 24,
         filtered + "\"Unknown\",and input data were filtered with setting \"no\"\r\n"},
        {0, 0, 0, 12, ""},
        {0, 0, 1, 12, lifter},
        {0, 0, 2, 12, lifter},
        {0, 0, 3, 12, ""},
        {0, 0, 4, 12, lifter},
    };
    for (const auto& c : cases) {
        Session s;
        s.training.filter = c.training;
        s.input.filter = c.input;
        s.training.featureKind = c.kind;
        s.input.lifterThreshold = c.lifter;
        EXPECT_EQ(s.differences(true), c.list) << c.training << " " << c.input << " " << c.kind;
    }
}

}  // namespace
}  // namespace zortan
