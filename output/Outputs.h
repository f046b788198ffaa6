// The output files of a run and the category value lists they use.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "output/OutFile.h"

namespace zortan {

// The value list of one category: position <-> character.
struct CathTables {
    std::array<char, 256> indexToChar{};
    std::array<uint8_t, 256> charToIndex{};
    int count = 0;
};

constexpr size_t kCertificateSize = 1520;

struct OutputState {
    std::string outputStem;
    OutFile teachCombined, recogCombined;
    OutFile codeFile;
    std::array<OutFile, 3> teachCath, recogCath;
    OutFile errorFile;
    std::array<CathTables, 3> cathTables;  // categories 1, 2, 3
    // Labels of the ten output choices in the window: teaching combined,
    // code, cath1..3, then the same for recognition.
    std::array<std::string, 10> choiceLabels;

    // Every output file: teaching combined, codes, teaching categories,
    // recognition combined, recognition categories, the error file.
    std::array<OutFile*, 10> files() {
        return {&teachCombined, &codeFile,     &teachCath[0], &teachCath[1], &teachCath[2],
                &recogCombined, &recogCath[0], &recogCath[1], &recogCath[2], &errorFile};
    }
};

}  // namespace zortan
