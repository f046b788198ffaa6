// One libFuzzer target; ZORTAN_FUZZ_ENTRY names the harness it feeds.
#include "fuzz/FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zortan::fuzz::ZORTAN_FUZZ_ENTRY(data, size);
    return 0;
}
