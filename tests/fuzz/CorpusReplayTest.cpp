// Every committed fuzz input replayed through its target's harness: no fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fuzz/FuzzHarness.h"
#include "support/TempDir.h"

namespace zortan::fuzz {
namespace {

TEST(FuzzCorpus, EveryInputOfEveryTarget) {
    using Harness = void (*)(const uint8_t*, size_t);
    for (const auto& [target, harness] : {std::pair<std::string, Harness>{"tree", fuzzTreeFile},
                                          {"text", fuzzTextTable},
                                          {"fvs", fuzzFvsFile},
                                          {"init", fuzzInitFile}}) {
        std::vector<std::filesystem::path> inputs;
        for (const auto& entry : std::filesystem::directory_iterator(
                 std::filesystem::path(ZORTAN_FUZZ_CORPUS) / target))
            inputs.push_back(entry.path());
        std::sort(inputs.begin(), inputs.end());
        EXPECT_FALSE(inputs.empty()) << target;
        for (const auto& input : inputs) {
            SCOPED_TRACE(input.string());
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
