// The four readers driven as a session at the window drives them: the bytes
// become the file the user chooses, and the window's commands run on it.
// Shared by the libFuzzer targets and by the test that replays their corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace zortan::fuzz {

// The session ended in a way no user could get out of, or left its outputs
// inconsistent: a fault the fuzzer must report.
struct HarnessFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A tree file: "Read tree", then, when the tree was read, a short run of a
// fixed text table against it with every output on.
void fuzzTreeFile(const uint8_t* data, size_t size);
// A text event table: "Read data_1" on it after a fixed tree (in compare
// mode, chosen by the bytes as is the tree's time averaging, also
// "Read data_2" on the same table).
void fuzzTextTable(const uint8_t* data, size_t size);
// An fvs event file, driven as the text table is.
void fuzzFvsFile(const uint8_t* data, size_t size);
// An options file: start-up reads it; what was read must survive a save and
// a second read unchanged and without a message.
void fuzzInitFile(const uint8_t* data, size_t size);

}  // namespace zortan::fuzz
