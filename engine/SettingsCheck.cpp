#include "engine/SettingsCheck.h"

#include <array>
#include <string>

#include "base/Format.h"

namespace zortan {

namespace {

const std::string Q = "\"";
const std::string kLineEnd = "\r\n";

// The value name of a choice; "Unknown" for no choice.
template <size_t N>
std::string choiceText(int index, const std::array<const char*, N>& names) {
    if (index < 0 || static_cast<size_t>(index) >= N) return "Unknown";
    return names[static_cast<size_t>(index)];
}

// Indexes outside the list all mean no choice.
template <size_t N>
int normalised(int index, const std::array<const char*, N>&) {
    return index >= 0 && static_cast<size_t>(index) < N ? index : -1;
}

template <size_t N>
void compareChoice(std::string& list, int training, int input,
                   const std::array<const char*, N>& names, const std::string& trainingPiece,
                   const std::string& inputPiece) {
    if (normalised(training, names) == normalised(input, names)) return;
    list += trainingPiece + " " + Q + choiceText(training, names) + Q + "," + inputPiece + " " + Q +
            choiceText(input, names) + Q + kLineEnd;
}

const char* flagText(bool flag) {
    return flag ? "True" : "False";
}

// The coded feature kinds whose vector length follows the lifter threshold.
bool lifterMatters(int featureKind) {
    return featureKind == 1 || featureKind == 2 || featureKind == 4;
}

}  // namespace

std::string settingsDifferences(const QuantizationTree& tree, const std::string& trainingPath,
                                const AnalysisSettings& input, const std::string& inputPath,
                                int32_t nc, bool inputIsFvs) {
    const AnalysisSettings& training = tree.training;
    std::string list;
    compareChoice(list, training.filter, input.filter, kFilterNames,
                  "Training data were filtered with setting",
                  "and input data were filtered with setting");
    compareChoice(list, training.scalingConstants, input.scalingConstants, kScalingConstantsNames,
                  "Training data were scaled with setting",
                  "and input data were scaled with setting");
    compareChoice(list, training.windowShape, input.windowShape, kWindowShapeNames,
                  "Training data were analysed with", "window and input data were scaled with");
    if (training.preemphasis != input.preemphasis)
        list += std::string("Training data were analysed with preemphase=") +
                flagText(training.preemphasis) +
                " and input data were analysed with preemphase=" + flagText(input.preemphasis) +
                kLineEnd;

    if (inputIsFvs) {
        if (training.frameStep != input.frameStep)
            list += "Training data were analysed with step=" + formatGeneral(training.frameStep) +
                    "[ms], and input data with step=" + formatGeneral(input.frameStep) + "[ms]\r\n";
        if (training.rate != input.rate)
            list += "Training data were sampled with rate=" + formatGeneral(training.rate) +
                    "[Hz], and input data with rate=" + formatGeneral(input.rate) + "[Hz]\r\n";
        if (training.lifterThreshold != input.lifterThreshold &&
            lifterMatters(training.featureKind))
            list +=
                "Training data cepstral liftering treshold and also features vector length differs "
                "from the input data one (LifterTreshold0=" +
                std::to_string(training.lifterThreshold) +
                "<>lifterTreshold1=" + std::to_string(input.lifterThreshold) +
                "). Unacceptable error! It will result in erronous encoding the data events.\r\n";
        if (training.fftWindowWidth != input.fftWindowWidth)
            list +=
                "The quatization tree training data and actually coded data were analysed with "
                "different FFT windows width. It is high erronous situation!\r\n";
    } else if (tree.consideredComponentsNb != nc) {
        list += "Features vectors length between training sample, i.e.\r\n" + Q + trainingPath + Q +
                "\r\nand the encoded data events, i.e.\r\n" + Q + inputPath + Q +
                "\r\nwere different, namely " + std::to_string(tree.consideredComponentsNb) + "<>" +
                std::to_string(nc) +
                ". It influences distances computing and is unacceptable. It will result in "
                "erronous encoding the data events.\r\n\r\n";
    }
    return list;
}

std::string settingsWarning(const QuantizationTree& tree, const std::string& trainingPath,
                            const AnalysisSettings& input, const std::string& inputPath, int32_t nc,
                            bool inputIsFvs) {
    const std::string list =
        settingsDifferences(tree, trainingPath, input, inputPath, nc, inputIsFvs);
    if (list.empty()) return {};
    return (
        "WARNING!\r\nTraining and input data, namely the\r\n" + Q + trainingPath + Q +
        "\r\nand the" + kLineEnd + Q + inputPath + Q +
        "\r\nwere analysed with different settings, i.e.\r\n" + list +
        "\r\nMay be you are using a quantization tree produced by the TRB program version older "
        "then v. 2.6\r\n"
        "or you have applied a quantization tree obtained on the basis of the text data to the "
        "*.fvs data.\r\n"
        "Be sure, that the coded events features were prepared exactly in the same way as in  a "
        "training  sample ! !");
}

}  // namespace zortan
