// Runs the microbenchmarks and ends with the figures that the targets of the
// coder are stated in: events per second of EncodeEvent and its speed-up over
// a brute-force search, from the medians when repetitions are asked for.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    // Items per second by "function/args"; a median replaces a single run.
    std::map<std::string, double> rates;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.error_occurred || (r.run_type == Run::RT_Aggregate && !median)) continue;
            const auto rate = r.counters.find("items_per_second");
            if (rate == r.counters.end()) continue;
            const std::string name = r.run_name.function_name + "/" + r.run_name.args;
            if (median || rates.count(name) == 0 || !medians_[name]) rates[name] = rate->second;
            if (median) medians_[name] = true;
        }
        ConsoleReporter::ReportRuns(runs);
    }

  private:
    std::map<std::string, bool> medians_;
};

double rate(const SummaryReporter& r, const std::string& name) {
    const auto it = r.rates.find(name);
    return it == r.rates.end() ? 0.0 : it->second;
}

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

    const double walk = rate(reporter, "encodeEvent/Centroids/256");
    const double brute = rate(reporter, "bruteForce/Double/256");
    const double bruteExtended = rate(reporter, "bruteForce/EuclidDist/256");
    const double extendedOnly = rate(reporter, "encodeEvent/CentroidsExtendedOnly/256");
    if (walk <= 0.0) return 0;  // filtered out
    std::printf("\nEncodeEvent, centroid rule, K = 256 balanced, 129 components:\n");
    std::printf("  %.0f events/s (target >= 2000000: %s)\n", walk, verdict(walk >= 2e6));
    if (brute > 0.0)
        std::printf(
            "  %.1f times a brute-force nearest-leaf search, double sums (target >= 10: %s)\n",
            walk / brute, verdict(walk / brute >= 10.0));
    if (bruteExtended > 0.0)
        std::printf("  %.1f times a brute-force nearest-leaf search with EuclidDist\n",
                    walk / bruteExtended);
    if (extendedOnly > 0.0)
        std::printf("  %.1f times the same walk deciding every split by extended sums\n",
                    walk / extendedOnly);
    return 0;
}
