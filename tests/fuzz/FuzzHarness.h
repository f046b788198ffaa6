// The four readers driven at the window: the bytes become the file the user
// chooses. Shared by the libFuzzer targets and the corpus replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace zortan::fuzz {

// A session no user could get out of, or inconsistent outputs.
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
