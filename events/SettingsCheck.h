// Warns when an input was analysed differently from the training data.
#pragma once

#include <cstdint>
#include <string>

#include "tree/QuantizationTree.h"

namespace zortan {

struct Program;

// The list of differences between the training settings and an input's; empty
// when they agree.
std::string settingsDifferences(const Program& program, const AnalysisSettings& input,
                                const std::string& inputPath, int32_t nc, bool inputIsFvs);

// Shows the warning when the list is not empty.
void CheckSettings(Program& program, const AnalysisSettings& input, const std::string& inputPath,
                   int32_t nc, bool inputIsFvs);

}  // namespace zortan
