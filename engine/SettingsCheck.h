// Warns when an input was analysed differently from the training data.
#pragma once

#include <cstdint>
#include <string>

#include "tree/QuantizationTree.h"

namespace zortan {

// The list of differences between the training settings of `tree` (whose
// training event file is `trainingPath`) and an input's; empty when they
// agree.
std::string settingsDifferences(const QuantizationTree& tree, const std::string& trainingPath,
                                const AnalysisSettings& input, const std::string& inputPath,
                                int32_t nc, bool inputIsFvs);

// The window's warning about those differences; empty when they agree.
std::string settingsWarning(const QuantizationTree& tree, const std::string& trainingPath,
                            const AnalysisSettings& input, const std::string& inputPath, int32_t nc,
                            bool inputIsFvs);

}  // namespace zortan
