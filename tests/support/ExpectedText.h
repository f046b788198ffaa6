// Expected outputs kept byte for byte in files under tests/data/texts.
#pragma once

#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace zortan::testing {

inline std::string expectedText(const std::string& name) {
    const std::filesystem::path dir = std::filesystem::path(ZORTAN_SAMPLES_DIR).parent_path();
    return readFileBytes((dir / "tests" / "data" / "texts" / name).string());
}

}  // namespace zortan::testing
