#include "events/SettingsCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    const std::string list =
        "Training data were filtered with setting \"no\",and input data were filtered with "
        "setting \"Unknown\"\r\n"
        "Training data were scaled with setting \"like for filtered\",and input data were scaled "
        "with setting \"like for no filtering\"\r\n"
        "Training data were analysed with \"Unknown\",window and input data were scaled with "
        "\"FlatTop\"\r\n"
        "Training data were analysed with preemphase=True and input data were analysed with "
        "preemphase=False\r\n"
        "Training data were analysed with step=12.5[ms], and input data with step=0[ms]\r\n"
        "Training data were sampled with rate=16000[Hz], and input data with rate=0[Hz]\r\n"
        "Training data cepstral liftering treshold and also features vector length differs from "
        "the input data one (LifterTreshold0=24<>lifterTreshold1=20). Unacceptable error! It "
        "will result in erronous encoding the data events.\r\n"
        "The quatization tree training data and actually coded data were analysed with different "
        "FFT windows width. It is high erronous situation!\r\n";
    EXPECT_EQ(s.differences(true), list);
    testing::ScriptedUi ui;
    CheckSettings(ui, s.tree, "C:\\train\\t.fvs", s.input, "D:\\in.fvs", 0, true);
    EXPECT_EQ(ui.messages,
              std::vector<std::string>{
                  "WARNING!\r\nTraining and input data, namely the\r\n\"C:\\train\\t.fvs\"\r\nand "
                  "the\r\n\"D:\\in.fvs\"\r\nwere analysed with different settings, i.e.\r\n" +
                  list +
                  "\r\nMay be you are using a quantization tree produced by the TRB program "
                  "version older then v. 2.6\r\nor you have applied a quantization tree obtained "
                  "on the basis of the text data to the *.fvs data.\r\nBe sure, that the coded "
                  "events features were prepared exactly in the same way as in  a training  "
                  "sample ! !"});
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
    EXPECT_EQ(s.differences(false, 12),
              "Training data were filtered with setting \"Unknown\",and input data were filtered "
              "with setting \"1000\"\r\n"
              "Features vectors length between training sample, i.e.\r\n\"C:\\train\\t.fvs\"\r\n"
              "and the encoded data events, i.e.\r\n\"D:\\t.txt\"\r\nwere different, namely "
              "24<>12. It influences distances computing and is unacceptable. It will result in "
              "erronous encoding the data events.\r\n\r\n");
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
