// zortan-batch: codes a corpus of event files against one tree at several
// numbers of clusters, with the outputs a window run writes.
#ifdef _WIN32
#include <io.h>
#define ZORTAN_ISATTY _isatty
#define ZORTAN_STDERR 2
#else
#include <signal.h>
#include <unistd.h>
#define ZORTAN_ISATTY isatty
#define ZORTAN_STDERR STDERR_FILENO
#endif

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ZortanVersion.h"
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

// "1 file", "2 files".
std::string counted(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
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
        if (r.interrupted) {
            line = inputsText(r) + ": interrupted, no output left";
        } else if (!r.ok()) {
            line = inputsText(r) + ": failed: " + indented(r.failure());
        } else if (r.skipped) {
            line = inputsText(r) + ": skipped, its outputs are there";
        } else {
            line = inputsText(r) + (r.incomplete() ? ": incomplete" : ": coded");
            for (const RunResult& run : r.runs)
                line += (&run == &r.runs.front() ? " (K" : ", K") + std::to_string(run.clusters) +
                        " " + counted(static_cast<size_t>(run.events), "event", "events");
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

std::array<bool, kOutputNames.size()> parseOutputs(const std::string& text, bool& codesCsv) {
    std::array<bool, kOutputNames.size()> chosen{};
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        if (item == "codes-csv") {
            codesCsv = true;
            continue;
        }
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

// One path a line, as HTK's -S: empty lines skipped, line ends CR LF or LF.
std::vector<std::string> readFileList(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CLI::ValidationError("--file-list", "\"" + path + "\" cannot be read");
    std::vector<std::string> files;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) files.push_back(line);
    }
    return files;
}

// SIGINT, SIGTERM and SIGHUP stop the corpus: the files under way leave no
// output, the tables are written for the files coded whole. A second one
// ends the program at once. The signals are taken by a thread of their own
// (sigwait), so the coding threads never see them.
class Interruption {
  public:
    std::atomic<bool> requested{false};
    std::atomic<int> signal{0};

    void watch() {
#ifndef _WIN32
        sigset_t set;
        sigemptyset(&set);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, s);
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        std::thread([this, set] {
            for (;;) {
                int got = 0;
                if (sigwait(&set, &got) != 0) continue;
                if (requested.exchange(true)) std::_Exit(128 + got);
                signal = got;
            }
        }).detach();
#endif
    }
    std::string name() const {
#ifndef _WIN32
        switch (signal.load()) {
            case SIGINT:
                return "SIGINT";
            case SIGTERM:
                return "SIGTERM";
            case SIGHUP:
                return "SIGHUP";
        }
#endif
        return "a signal";
    }
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Codes event files (fvs files or text tables) against a quantization tree at one or\n"
        "more numbers of clusters, writing the outputs a window run writes into OUT/K<K>/\n"
        "(inputs of several folders in the same subfolders under it), and the corpus error\n"
        "tables OUT/K<K>/corpus_error.txt and .csv, with corpus_files.csv, the list of the\n"
        "files they describe: every file coded whole into that folder, by this run or an\n"
        "earlier one. Nothing is asked.\n\n"
        "A file is an fvs file when its name ends in .fvs (any case), a text table when it\n"
        "ends in .txt; otherwise its content tells. Every output is written under a name of\n"
        "its own and takes its name when its run is whole: a file that fails or is\n"
        "interrupted leaves no output (and outputs it would replace stay as they were).\n\n"
        "Outputs (in full: README.md, \"What the outputs hold\"): NAME_Teach.zrt and\n"
        "NAME_Recog.zrt, a count record, the certificate, a 6-byte record per event (code,\n"
        "qualifiers given or recognized); NAME_code.txt, each code's low byte, one byte per\n"
        "event, none skipped; NAME_teach_LABEL.txt, NAME_recog_LABEL.txt, each qualifier's\n"
        "position in the category's value list, not its character; NAME_error.txt, per tree\n"
        "size k = 1..K the % of events recognized wrongly (the row of 1 cluster counts every\n"
        "event: 100 %); NAME_codes.csv (codes-csv), the codes in decimal, the qualifiers\n"
        "given and recognized (bytes outside printable ASCII as \\xNN). Text outputs end\n"
        "their lines with CR LF.\n\n"
        "A file is reported incomplete when its events ended before its header's count,\n"
        "it holds records beyond that count, or table rows had bad fields: it is coded\n"
        "(its outputs cover the events coded), counted in the tables, and named in the\n"
        "summary. Exit status: 0 when every file was coded whole, 1 when some failed,\n"
        "were incomplete or were interrupted (SIGINT, SIGTERM, SIGHUP), or a corpus table\n"
        "could not be written, 2 for a wrong command line or a corpus that cannot be coded\n"
        "at all (the tree, the numbers of clusters, corpus tables that exist).",
        "zortan-batch"};
    // "/path" is a file, also on Windows.
    app.allow_windows_style_options(false);
    CorpusSettings settings;
    std::string tree, clustersText, outputsText, outDir;
    unsigned jobs = 0;
    bool overwrite = false, quiet = false, skipExisting = false;
    std::vector<std::string> files, compare;
    std::string fileList;
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
                       ", codes-csv (the error file is always written; all does not include "
                       "codes-csv)")
        ->type_name("LIST");
    app.add_option("--out", outDir, "the folder of the outputs")->required()->type_name("DIR");
    app.add_option("--jobs", jobs, "files coded at once (default: one per core)")
        ->check(CLI::Range(1u, 1024u))
        ->option_text("N");
    app.add_flag("--overwrite", overwrite, "replace outputs that exist");
    app.add_flag("--skip-existing,--resume", skipExisting,
                 "code only the files whose outputs are not all there yet (to go on after an "
                 "interrupted run)");
    app.add_option("--file-list", fileList, "a file naming the event files, one path a line")
        ->type_name("FILE");
    app.add_option("--input-root", settings.inputRoot,
                   "inputs under this folder (default: the working folder) have their outputs "
                   "in the same subfolders under OUT/K<K>/; others in those under the folder "
                   "they share")
        ->type_name("DIR");
    app.add_flag("--quiet", quiet, "no progress, only the failures");
    app.add_option("--compare", compare, "code the files A and B side by side (repeatable)")
        ->expected(2)
        ->allow_extra_args(false)
        ->option_text("A B");
    app.add_option("files", files, "event files to code")->type_name("FILE");
    app.set_version_flag("--version", "zortan-batch " ZORTAN_VERSION);

    std::vector<std::vector<std::string>> inputs;
    try {
        app.parse(argc, argv);
        settings.tree = tree;
        settings.clusters = parseClusters(clustersText);
        settings.outputs = parseOutputs(outputsText, settings.codesCsv);
        settings.outDir = outDir;
        settings.overwrite = overwrite;
        settings.skipExisting = skipExisting;
        if (overwrite && skipExisting)
            throw CLI::ValidationError("--skip-existing", "give --overwrite or --skip-existing");
        if (!fileList.empty()) {
            if (!compare.empty())
                throw CLI::ValidationError("--file-list", "a list names single files, not pairs");
            for (const std::string& f : readFileList(fileList)) files.push_back(f);
        }
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

    Interruption interruption;
    interruption.watch();
    ProgressPrinter printer(ZORTAN_ISATTY(ZORTAN_STDERR) != 0, quiet);
    CorpusOutcome outcome;
    try {
        outcome =
            CodeCorpus(settings, inputs, jobs, std::ref(printer), 0.25, &interruption.requested);
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

    const char* one = settings.compare ? "pair" : "file";
    const char* many = settings.compare ? "pairs" : "files";
    std::vector<const FileResult*> failed, incomplete;
    size_t coded = 0, skipped = 0, interrupted = 0;
    for (const FileResult& r : outcome.results) {
        if (r.interrupted)
            ++interrupted;
        else if (!r.ok())
            failed.push_back(&r);
        else if (r.skipped)
            ++skipped;
        else if (r.incomplete())
            incomplete.push_back(&r);
        else
            ++coded;
    }
    const bool clean =
        failed.empty() && incomplete.empty() && interrupted == 0 && outcome.tableFailures.empty();
    if (clean && quiet) return 0;
    std::string summary = counted(coded, one, many) + " coded";
    if (!incomplete.empty()) summary += ", " + std::to_string(incomplete.size()) + " incomplete";
    if (skipped > 0) summary += ", " + std::to_string(skipped) + " skipped";
    if (!failed.empty()) summary += ", " + std::to_string(failed.size()) + " failed";
    if (interrupted > 0) summary += ", " + std::to_string(interrupted) + " interrupted";
    std::fprintf(stderr, "%s, into %s\n", summary.c_str(), outDir.c_str());
    if (outcome.interrupted)
        std::fprintf(stderr,
                     "Stopped by %s: the %s under way left no output; the corpus tables describe "
                     "the %s coded whole. --skip-existing goes on where it stopped.\n",
                     interruption.name().c_str(), many, many);
    for (const FileResult* r : failed)
        std::fprintf(stderr, "  failed: %s: %s\n", inputsText(*r).c_str(),
                     indented(r->failure()).c_str());
    for (const FileResult* r : incomplete)
        std::fprintf(stderr, "  incomplete: %s\n", inputsText(*r).c_str());
    for (const std::string& failure : outcome.tableFailures)
        std::fprintf(stderr, "  corpus table: %s\n", indented(failure).c_str());
    return clean ? 0 : 1;
}
