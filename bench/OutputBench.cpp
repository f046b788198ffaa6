// The per-event writes of every output of both groups, into /dev/null so
// that the figure is the program's own cost.
#include <benchmark/benchmark.h>

#include <array>

#include "bench/QuietUi.h"
#include "output/CombinedOutput.h"
#include "window/Program.h"

namespace zortan::bench {

namespace {

void writeEveryOutput(benchmark::State& state) {
    QuietUi ui;
    Program program(ui, "/tmp");
    ShellState& s = program.shell;
    s.outputTeachCombined = s.outputTeachCodes = true;
    s.outputTeachCath1 = s.outputTeachCath2 = s.outputTeachCath3 = true;
    s.outputRecogCombined = s.outputRecogCodes = true;
    s.outputRecogCath1 = s.outputRecogCath2 = s.outputRecogCath3 = true;
    OutputState& out = program.outputs;
    for (OutFile* f : {&out.teachCombined, &out.recogCombined, &out.codeFile})
        f->create("/dev/null");
    for (size_t k = 0; k < 3; ++k) {
        out.teachCath[k].create("/dev/null");
        out.recogCath[k].create("/dev/null");
    }
    // Value lists as a tree of the benchmarks has them: "ab", "aeiou", "fm".
    const std::array<const char*, 3> values = {"ab", "aeiou", "fm"};
    for (size_t k = 0; k < 3; ++k)
        for (int i = 0; values[k][i] != '\0'; ++i) {
            out.cathTables[k].indexToChar[static_cast<size_t>(i)] = values[k][i];
            out.cathTables[k].charToIndex[static_cast<unsigned char>(values[k][i])] =
                static_cast<uint8_t>(i);
        }

    CodingRun& run = program.run;
    OutputsDesk outputs = outputsDesk(program);
    uint16_t code = 0;
    for (auto _ : state) {
        code = static_cast<uint16_t>((code + 97) & 255);
        run.teachRecord = TOutputRecord{code, 'a', "aeiou"[code % 5], 'f', 0};
        run.recogRecord = TOutputRecord{code, 'b', "aeiou"[code % 3], 'm', 0};
        WriteTeachRecord(outputs);
        WriteRecogRecord(outputs);
    }
    state.SetItemsProcessed(state.iterations());
    run.teachOutputActive = run.recogOutputActive = true;
    CloseOutputs(outputs);
}

}  // namespace

BENCHMARK(writeEveryOutput);

}  // namespace zortan::bench
