// Runs the microbenchmarks and ends with the figures that the targets of the
// coder are stated in: events per second of EncodeEvent and its speed-up over
// a brute-force search, from the medians when repetitions are asked for.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    // Colours only on a terminal.
    SummaryReporter() : ConsoleReporter(isatty(1) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const auto rate = r.counters.find("items_per_second");
            if (r.error_occurred || rate == r.counters.end()) continue;
            const std::string name = r.run_name.function_name + "/" + r.run_name.args;
            if (r.run_type == Run::RT_Iteration)
                single_[name] = rate->second;
            else if (r.aggregate_name == "median")
                median_[name] = rate->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Items per second of benchmark "function/args": the median of its
    // repetitions, else its one run; 0 when it did not run.
    double rate(const std::string& name) const {
        if (const auto m = median_.find(name); m != median_.end()) return m->second;
        if (const auto s = single_.find(name); s != single_.end()) return s->second;
        return 0.0;
    }

  private:
    std::map<std::string, double> single_, median_;
};

const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // A coding run's coder: the notes made ahead (on the reading thread) and
    // the walk that takes them, timed apart and added up as on one core.
    const double noted = reporter.rate("encodeEvent/CentroidsNoted/256");
    const double notes = reporter.rate("noteAhead/256");
    const double walk = noted > 0.0 && notes > 0.0 ? 1.0 / (1.0 / noted + 1.0 / notes) : 0.0;
    const double brute = reporter.rate("bruteForce/Double/256");
    const double bruteExtended = reporter.rate("bruteForce/EuclidDist/256");
    const double reference = reporter.rate("encodeEvent/CentroidsReference/256");
    if (walk <= 0.0) return 0;  // filtered out
    std::printf(
        "\nThe fast coder as a coding run uses it (notes made ahead, then the walk), on one\n"
        "core, centroid rule, K = 256 balanced, 129 components:\n");
    std::printf("  %.0f events/s (target >= 2000000: %s)\n", walk, verdict(walk >= 2e6));
    // The brute force is measured twice: with the system's own distance, and
    // with double sums vectorised as the coder's fast path is.
    if (bruteExtended > 0.0)
        std::printf(
            "  %.1f times a brute-force nearest-leaf search with EuclidDist (target >= 10: %s)\n",
            walk / bruteExtended, verdict(walk / bruteExtended >= 10.0));
    if (brute > 0.0)
        std::printf(
            "  %.1f times a brute-force nearest-leaf search with vectorised double sums (target >= "
            "10: %s)\n",
            walk / brute, verdict(walk / brute >= 10.0));
    if (reference > 0.0)
        std::printf("  %.1f times EncodeEvent, every split by extended sums\n", walk / reference);
    return 0;
}
