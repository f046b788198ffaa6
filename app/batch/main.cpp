// zortan-batch: codes a corpus of event files against one tree at several
// numbers of clusters, with the outputs a window run writes.
#ifdef _WIN32
#include <io.h>
#define ZORTAN_ISATTY _isatty
#define ZORTAN_STDERR 2
#else
#include <unistd.h>
#define ZORTAN_ISATTY isatty
#define ZORTAN_STDERR STDERR_FILENO
#endif

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "app/batch/Corpus.h"

namespace {

using namespace zortan::batch;

// A window's message on one line of the terminal and its continuation lines.
std::string indented(const std::string& message) {
    std::string out;
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r') continue;
        out += message[i];
        if (message[i] == '\n') out += "    ";
    }
    return out;
}

std::string inputsText(const FileResult& r) {
    return r.inputs.size() == 2 ? r.inputs[0] + " + " + r.inputs[1] : r.inputs.at(0);
}

std::string duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

// Progress on standard error: a line rewritten in place on a terminal, one
// line per file otherwise.
class ProgressPrinter {
  public:
    ProgressPrinter(bool terminal, bool quiet) : terminal_(terminal), quiet_(quiet) {}

    void operator()(const CorpusProgress& p) {
        if (quiet_) return;
        if (p.finished != nullptr && !terminal_) {
            std::fprintf(stderr, "%s\n", fileLine(*p.finished).c_str());
            return;
        }
        if (p.finished != nullptr && !p.finished->ok()) {
            std::fprintf(stderr, "\r\033[K%s\n", fileLine(*p.finished).c_str());
        }
        if (!terminal_) return;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        std::string line = "files " + std::to_string(p.filesDone) + "/" + std::to_string(p.files);
        if (p.filesFailed > 0) line += " (" + std::to_string(p.filesFailed) + " failed)";
        line += ", " + std::to_string(p.stepsDone) + " events";
        if (seconds > 0.5)
            line += ", " + std::to_string(static_cast<long>(p.stepsDone / seconds)) + " events/s";
        if (p.fractionDone > 0 && p.fractionDone < 1)
            line += ", " + duration(seconds * (1 - p.fractionDone) / p.fractionDone) + " left";
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
        shown_ = true;
    }

    void end() {
        if (shown_) std::fputc('\n', stderr);
    }

  private:
    static std::string fileLine(const FileResult& r) {
        std::string line;
        if (!r.ok()) {
            line = inputsText(r) + ": failed: " + indented(r.failure());
        } else {
            line = inputsText(r) + ": coded";
            for (const RunResult& run : r.runs)
                line += (&run == &r.runs.front() ? " (K" : ", K") + std::to_string(run.clusters) +
                        " " + std::to_string(run.events) + " events";
            if (!r.runs.empty()) line += ")";
        }
        for (const std::string& warning : r.warnings) line += "\n  warning: " + indented(warning);
        return line;
    }

    bool terminal_, quiet_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// "16,64,256" into ascending distinct numbers.
std::vector<int> parseClusters(const std::string& text) {
    std::vector<int> clusters;
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        size_t used = 0;
        int value = 0;
        try {
            value = std::stoi(item, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != item.size() || value < 1)
            throw CLI::ValidationError("--clusters", "\"" + item + "\" is no number of clusters");
        clusters.push_back(value);
    }
    if (clusters.empty()) throw CLI::ValidationError("--clusters", "no number of clusters given");
    std::sort(clusters.begin(), clusters.end());
    clusters.erase(std::unique(clusters.begin(), clusters.end()), clusters.end());
    return clusters;
}

std::array<bool, kOutputNames.size()> parseOutputs(const std::string& text) {
    std::array<bool, kOutputNames.size()> chosen{};
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        if (item == "all") {
            chosen.fill(true);
            continue;
        }
        const auto at = std::find(kOutputNames.begin(), kOutputNames.end(), item);
        if (at == kOutputNames.end())
            throw CLI::ValidationError("--outputs", "\"" + item + "\" is no output");
        chosen[static_cast<size_t>(at - kOutputNames.begin())] = true;
    }
    return chosen;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Codes event files (fvs files or text tables) against a quantization tree at one or\n"
        "more numbers of clusters, writing the outputs a window run writes into OUT/K<K>/,\n"
        "and the corpus error tables OUT/K<K>/corpus_error.txt and .csv. Nothing is asked.",
        "zortan-batch"};
    // "/path" is a file, also on Windows.
    app.allow_windows_style_options(false);
    std::string tree, clustersText, outputsText, outDir;
    unsigned jobs = 0;
    bool overwrite = false, quiet = false;
    std::vector<std::string> files, compare;
    app.add_option("--tree", tree, "the quantization tree file (.vq*)")
        ->required()
        ->type_name("FILE");
    app.add_option("--clusters", clustersText, "numbers of clusters, comma-separated: 16,64,256")
        ->required()
        ->type_name("K[,K...]");
    std::string names;
    for (const char* name : kOutputNames) names += std::string(names.empty() ? "" : ", ") + name;
    app.add_option("--outputs", outputsText,
                   "outputs to write, comma-separated, or all: " + names +
                       " (the error file is always written)")
        ->type_name("LIST");
    app.add_option("--out", outDir, "the folder of the outputs")->required()->type_name("DIR");
    app.add_option("--jobs", jobs, "files coded at once (default: one per core)")
        ->check(CLI::Range(1u, 1024u))
        ->option_text("N");
    app.add_flag("--overwrite", overwrite, "replace outputs that exist");
    app.add_flag("--quiet", quiet, "no progress, only the failures");
    app.add_option("--compare", compare, "code the files A and B side by side (repeatable)")
        ->expected(2)
        ->allow_extra_args(false)
        ->option_text("A B");
    app.add_option("files", files, "event files to code")->type_name("FILE");
    app.set_version_flag("--version", "zortan-batch 2.a");

    CorpusSettings settings;
    std::vector<std::vector<std::string>> inputs;
    try {
        app.parse(argc, argv);
        settings.tree = tree;
        settings.clusters = parseClusters(clustersText);
        settings.outputs = parseOutputs(outputsText);
        settings.outDir = outDir;
        settings.overwrite = overwrite;
        settings.compare = !compare.empty();
        if (settings.compare && !files.empty())
            throw CLI::ValidationError("FILE", "give either files or --compare pairs, not both");
        if (settings.compare && !outputsText.empty())
            throw CLI::ValidationError("--outputs", "compare mode writes only the error file");
        if (!settings.compare && files.empty())
            throw CLI::ValidationError("FILE", "no event file to code");
        for (size_t i = 0; i + 1 < compare.size(); i += 2)
            inputs.push_back({compare[i], compare[i + 1]});
        for (const std::string& file : files) inputs.push_back({file});
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }

    ProgressPrinter printer(ZORTAN_ISATTY(ZORTAN_STDERR) != 0, quiet);
    CorpusOutcome outcome;
    try {
        outcome = CodeCorpus(settings, inputs, jobs, std::ref(printer));
    } catch (const CorpusError& e) {
        printer.end();
        std::fprintf(stderr, "zortan-batch: %s\n", indented(e.what()).c_str());
        return 2;
    } catch (const std::exception& e) {
        printer.end();
        std::fprintf(stderr, "zortan-batch: %s\n", indented(e.what()).c_str());
        return 1;
    }
    printer.end();

    std::vector<const FileResult*> failed;
    for (const FileResult& r : outcome.results)
        if (!r.ok()) failed.push_back(&r);
    if (failed.empty()) {
        if (!quiet)
            std::fprintf(stderr, "%zu %s coded into %s\n", outcome.results.size(),
                         settings.compare ? "pairs" : "files", outDir.c_str());
        return 0;
    }
    std::fprintf(stderr, "%zu of %zu %s failed:\n", failed.size(), outcome.results.size(),
                 settings.compare ? "pairs" : "files");
    for (const FileResult* r : failed)
        std::fprintf(stderr, "  %s: %s\n", inputsText(*r).c_str(), indented(r->failure()).c_str());
    return 1;
}
