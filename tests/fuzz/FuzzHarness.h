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

// A tree is read and, when read, codes a fixed table. A table or fvs file is
// read as data_1 (and data_2 in compare mode) after a fixed tree. What
// start-up read from an options file survives a save and a second read.
void fuzzTreeFile(const uint8_t* data, size_t size);
void fuzzTextTable(const uint8_t* data, size_t size);
void fuzzFvsFile(const uint8_t* data, size_t size);
void fuzzInitFile(const uint8_t* data, size_t size);

}  // namespace zortan::fuzz
