// Every committed fuzz input, the crashing ones among them, replayed through
// the harness of its target: no fault may escape, none may be reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzHarness.h"
#include "support/TempDir.h"

namespace zortan::fuzz {
namespace {

namespace fs = std::filesystem;

TEST(FuzzCorpus, EveryInputOfEveryTarget) {
    using Harness = void (*)(const uint8_t*, size_t);
    for (const auto& [target, harness] : {std::pair<std::string, Harness>{"tree", fuzzTreeFile},
                                          {"text", fuzzTextTable},
                                          {"fvs", fuzzFvsFile},
                                          {"init", fuzzInitFile}}) {
        std::vector<fs::path> inputs;
        for (const auto& entry : fs::directory_iterator(fs::path(ZORTAN_FUZZ_CORPUS) / target))
            if (entry.is_regular_file()) inputs.push_back(entry.path());
        std::sort(inputs.begin(), inputs.end());
        EXPECT_FALSE(inputs.empty()) << target;
        for (const fs::path& input : inputs) {
            SCOPED_TRACE(target + "/" + input.filename().string());
            const std::string bytes = testing::readFileBytes(input.string());
            try {
                harness(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what();
            }
        }
    }
}

}  // namespace
}  // namespace zortan::fuzz
