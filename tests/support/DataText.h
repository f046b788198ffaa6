// Texts kept byte for byte in files under tests/data/texts: long expected
// outputs and messages, and hand-written inputs.
#pragma once

#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace zortan::testing {

// The file's text, each "@" in it replaced by `at`.
inline std::string dataText(const std::string& name, const std::string& at = "@") {
    const std::filesystem::path dir = std::filesystem::path(ZORTAN_SAMPLES_DIR).parent_path();
    std::string text = readFileBytes((dir / "tests" / "data" / "texts" / name).string());
    for (size_t i = text.find('@'); i != std::string::npos; i = text.find('@', i + at.size()))
        text.replace(i, 1, at);
    return text;
}

}  // namespace zortan::testing
