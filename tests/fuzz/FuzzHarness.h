// The four readers driven as a session at the window drives them: the bytes
// become the file the user chooses, and the window's commands run on it.
// Shared by the libFuzzer targets and by the test that replays their corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace zortan::fuzz {

// The session ended in a way no user could get out of, or left its outputs
// inconsistent: a fault the fuzzer must report.
struct HarnessFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A tree file: "Read tree", then, when it was read, a short run of a fixed
// text table against it. A text event table or an fvs file: "Read data_1"
// on it after a fixed tree (the bytes choose compare mode, with "Read
// data_2" on the same file, and the tree's time averaging). An options
// file: what start-up read must survive a save and a second read unchanged.
void fuzzTreeFile(const uint8_t* data, size_t size);
void fuzzTextTable(const uint8_t* data, size_t size);
void fuzzFvsFile(const uint8_t* data, size_t size);
void fuzzInitFile(const uint8_t* data, size_t size);

}  // namespace zortan::fuzz
