#include "events/SettingsCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/Program.h"
#include "support/ScriptedUi.h"

namespace zortan {
namespace {

struct Session {
    testing::ScriptedUi ui;
    Program program{ui, "."};
    AnalysisSettings& training = program.tree.training;
    AnalysisSettings input;

    Session() {
        training = {1, 0, 1, 2, true, false, 24, 10.0, 16000.0, 256, false, 0, false, 1.0};
        program.tree.consideredComponentsNb = 24;
        program.options.treeTrainingFileDir = "C:\\train\\t.fvs";
        input = training;
        input.featureKind = -1;  // an input's own kind plays no part
    }
    std::string fvs() {
        return settingsDifferences(program.tree, program.options.treeTrainingFileDir, input,
                                   "D:\\in.fvs", 0, true);
    }
    std::string text(int32_t nc) {
        return settingsDifferences(program.tree, program.options.treeTrainingFileDir, input,
                                   "D:\\t.txt", nc, false);
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
    EXPECT_EQ(s.fvs(), list);
    CheckSettings(s.ui, s.program.tree, s.program.options.treeTrainingFileDir, s.input,
                  "D:\\in.fvs", 0, true);
    EXPECT_EQ(s.ui.messages,
              std::vector<std::string>{
                  "WARNING!\r\nTraining and input data, namely the\r\n\"C:\\train\\t.fvs\"\r\nand "
                  "the\r\n\"D:\\in.fvs\"\r\nwere analysed with different settings, i.e.\r\n" +
                  list +
                  "\r\nMay be you are using a quantization tree produced by the TRB program "
                  "version older then v. 2.6\r\nor you have applied a quantization tree obtained "
                  "on the basis of the text data to the *.fvs data.\r\nBe sure, that the coded "
                  "events features were prepared exactly in the same way as in  a training  "
                  "sample ! !"});
}

TEST(SettingsCheck, LifterMattersOnlyForSmoothedKinds) {
    for (int kind = 0; kind < 5; ++kind) {
        Session s;
        s.training.featureKind = kind;
        s.training.filter = s.input.filter = -1;  // both without a choice: no difference
        EXPECT_EQ(s.fvs(), "");
        s.input.lifterThreshold = 12;
        EXPECT_EQ(s.fvs().find("LifterTreshold0=24<>lifterTreshold1=12") != std::string::npos,
                  kind == 1 || kind == 2 || kind == 4)
            << kind;
        CheckSettings(s.ui, s.program.tree, s.program.options.treeTrainingFileDir, s.input,
                      "D:\\in.txt", 24, false);
        EXPECT_TRUE(s.ui.messages.empty());
    }
}

TEST(SettingsCheck, TextInputComparesTheVectorLength) {
    Session s;
    // Left from an earlier fvs read of the input; the table cleared the training choices.
    s.training.filter = -1;
    s.input.filter = 2;
    s.input.frameStep = 3.0;  // steps, rates, lifters and FFT widths are not compared
    s.input.lifterThreshold = 1;
    s.input.fftWindowWidth = 1;
    EXPECT_EQ(s.text(12),
              "Training data were filtered with setting \"Unknown\",and input data were filtered "
              "with setting \"1000\"\r\n"
              "Features vectors length between training sample, i.e.\r\n\"C:\\train\\t.fvs\"\r\n"
              "and the encoded data events, i.e.\r\n\"D:\\t.txt\"\r\nwere different, namely "
              "24<>12. It influences distances computing and is unacceptable. It will result in "
              "erronous encoding the data events.\r\n\r\n");
    s.input.filter = -1;
    EXPECT_EQ(s.text(24), "");
}

}  // namespace
}  // namespace zortan
