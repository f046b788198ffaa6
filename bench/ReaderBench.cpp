// The per-event readers of both input formats, from files in the page cache.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/BenchData.h"
#include "bench/EventFiles.h"
#include "bench/QuietUi.h"
#include "bench/Scratch.h"
#include "events/FvsReader.h"
#include "events/TextEventReader.h"
#include "window/FvsInput.h"
#include "window/Program.h"
#include "window/TextInput.h"

namespace zortan::bench {

namespace {

constexpr int kFileEvents = 20000;
constexpr int kFeatureKind = 3;

std::vector<EventRecord> someEvents() {
    const fixtures::TreeFileContents contents = codebookTree(64, 3);
    return eventsNear(contents.tree, kFileEvents, 5);
}

void readFvsRecords(benchmark::State& state) {
    ScratchFolder folder;
    const std::string path = folder.file("events.fvs");
    {
        FvsStream out(path, kFileEvents, kFeatureKind);
        for (const EventRecord& e : someEvents()) out.add(e);
        out.close();
    }
    QuietUi ui;
    Program program(ui, folder.file(""));
    program.tree.training.featureKind = kFeatureKind;
    EventSeries& series = program.data1;
    const auto open = [&] {
        series.fvsFile.close();
        series.fvsFile.open(path);
        OpenFvsHeader(program, series);
    };
    open();
    for (auto _ : state) {
        if (ReadFvsRecord(program, series) == RowStatus::EndOfData) {
            state.PauseTiming();
            open();
            state.ResumeTiming();
            ReadFvsRecord(program, series);
        }
        benchmark::DoNotOptimize(program.event);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kFvsRecordSize));
}

void readTextRows(benchmark::State& state) {
    ScratchFolder folder;
    const std::string path = folder.file("events.txt");
    {
        TextTableStream out(path, kFileEvents, kComponents);
        for (const EventRecord& e : someEvents()) out.add(e);
        out.close();
    }
    QuietUi ui;
    Program program(ui, folder.file(""));
    program.tree.consideredComponentsNb = kComponents;
    EventSeries& series = program.data1;
    const auto open = [&] {
        series.textFile.emplace(path);
        OpenTextHeader(program, series, path);
    };
    open();
    for (auto _ : state) {
        if (ReadTextRow(program, series, path) == RowStatus::EndOfData) {
            state.PauseTiming();
            open();
            state.ResumeTiming();
            ReadTextRow(program, series, path);
        }
        benchmark::DoNotOptimize(program.event);
    }
    state.SetItemsProcessed(state.iterations());
    if (ui.messages != 0) state.SkipWithError("the text reader reported an error");
}

}  // namespace

// Wall time: the file's own thread does the reading.
BENCHMARK(readFvsRecords)->UseRealTime();
BENCHMARK(readTextRows);

}  // namespace zortan::bench
