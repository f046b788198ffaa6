#include "engine/SettingsCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/DataText.h"

namespace zortan {
namespace {

struct Session {
    QuantizationTree tree;
    AnalysisSettings& training = tree.training;
    AnalysisSettings input;

    Session() {
        training = {1, 0, 1, 2, true, false, 24, 10.0, 16000.0, 256, false, 0, false, 1.0};
        tree.consideredComponentsNb = 24, input = training;
        input.featureKind = -1;  // an input's own kind plays no part
    }
    std::string differences(bool fvs, int32_t nc = 0) {
        return settingsDifferences(tree, "C:\\train\\t.fvs", input,
                                   fvs ? "D:\\in.fvs" : "D:\\t.txt", nc, fvs);
    }
};

// An fvs input lists every difference in order. A table compares the vector
// length, not steps, rates, lifters or FFT widths; its choices differ only
// when the input's hold values from an earlier fvs read.
TEST(SettingsCheck, ListsEveryDifferenceInOrder) {
    Session s;
    s.training.windowShape = -1, s.training.frameStep = 12.5;
    s.input = {-1, -1, 0, 4, false, false, 20, 0.0, 0.0, 512, false, 0, false, 1.0};
    EXPECT_EQ(s.differences(true), testing::dataText("settings-fvs-differences.txt"));
    EXPECT_EQ(settingsWarning(s.tree, "C:\\train\\t.fvs", s.input, "D:\\in.fvs", 0, true),
              testing::dataText("settings-fvs-warning.txt"));
    // Identical settings: no message at all.
    EXPECT_EQ(settingsWarning(s.tree, "C:\\train\\t.fvs", s.tree.training, "D:\\in.fvs", 0, true),
              "");

    Session t;
    t.training.filter = -1, t.input.filter = 2;
    t.input.frameStep = 3.0, t.input.lifterThreshold = 1, t.input.fftWindowWidth = 1;
    EXPECT_EQ(t.differences(false, 12), testing::dataText("settings-text-differences.txt"));
    t.input.filter = -1;
    EXPECT_EQ(t.differences(false, 24), "");
}

// An index past the last name is no choice, as -1 is; the lifter matters
// only for the smoothed kinds 1, 2 and 4. Each case's list follows its
// training and input filter, feature kind and input lifter in the file.
TEST(SettingsCheck, ChoicesAtTheEdgesOfTheirNamesAndTheLifter) {
    const int cases[][4] = {{4, 4, 1, 24},  {4, 5, 1, 24}, {5, -1, 1, 24},
                            {-1, 0, 1, 24}, {0, 0, 0, 12}, {0, 0, 1, 12},
                            {0, 0, 2, 12},  {0, 0, 3, 12}, {0, 0, 4, 12}};
    std::string lists;
    for (const auto& c : cases) {
        Session s;
        s.training.filter = c[0], s.input.filter = c[1];
        s.training.featureKind = c[2], s.input.lifterThreshold = c[3];
        lists += std::to_string(c[0]) + " " + std::to_string(c[1]) + " " + std::to_string(c[2]) +
                 " " + std::to_string(c[3]) + ":\n" + s.differences(true);
    }
    EXPECT_EQ(lists, testing::dataText("settings-edges.txt"));
}

}  // namespace
}  // namespace zortan
