// zortan-train: grows a quantization tree from event files and writes it as
// a tree file that every face of the program reads and codes with.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "ZortanVersion.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "train/TrainingFiles.h"

namespace {

using namespace zortan;
using namespace zortan::train;

// The share of events whose reading of each category differs from their
// leaf's, in per cent.
std::string recognitionErrors(const GrownTree& g, const TrainingEvents& events,
                              const std::array<std::string, 3>& labels) {
    std::string text;
    for (size_t c = 0; c < 3; ++c) {
        size_t wrong = 0;
        for (size_t e = 0; e < events.size(); ++e) {
            const TreeNode& leaf = g.tree.nodeHeap[static_cast<size_t>(g.leafOf[e])];
            const uint8_t readings[3] = {leaf.treeCath1, leaf.treeCath2, leaf.treeCath3};
            wrong += g.tree.cath[c].list[readings[c]] != events.cath[e][c];
        }
        char share[32];
        std::snprintf(share, sizeof share, "%.1f%%",
                      100.0 * static_cast<double>(wrong) / static_cast<double>(events.size()));
        text += (c ? ", " : "") + labels[c] + " " + share;
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Grows a quantization tree from event files (fvs files or text tables, all of one\n"
        "kind and one analysis) and writes it as a tree file. Split t makes nodes 2t-1 and\n"
        "2t, the second son's code is t, so the tree cut at K clusters has leaves coded\n"
        "0..K-1; a tree grown here codes every training event to the leaf the training\n"
        "gave it. The leaf split next is the one whose split lowers --next-split most; a\n"
        "leaf is split by --rule, chosen by --split-by: distortion (sum of squared\n"
        "distances to the node's centroid), recognition-error (events whose reading of\n"
        "the --supervised-by category is not their node's most frequent) or info-radius\n"
        "(the Jensen-Shannon divergence between the sons' readings, weighted by events).\n"
        "Nodes carry the mean of their events and the most frequent reading of each\n"
        "category (the lower among equals); the group table counts the training events of\n"
        "each leaf by code, its last entry all events; the exclude set card counts the\n"
        "faulty table rows left out. The same events and choices give the same file on\n"
        "every machine and for any --jobs.\n\n"
        "Exit status: 0 the tree was written, 1 nothing was written (the reason on\n"
        "standard error), 2 a wrong command line.",
        "zortan-train"};
    app.allow_windows_style_options(false);
    int clusters = 0, supervisedBy = 0;
    unsigned jobs = 1;
    int32_t averagingMs = 0;
    std::string out, rule = "centroids", kind = "cepstrum", components, nextSplit = "distortion",
                     splitBy = "distortion", heading, names;
    bool overwrite = false, quiet = false;
    std::vector<std::string> files;
    app.add_option("--clusters", clusters, "leaves of the tree (1 to 16384)")
        ->required()
        ->option_text("K");
    app.add_option("--out", out, "the tree file to write")->required()->option_text("TREE.vq");
    app.add_option("--rule", rule,
                   "how an event goes down the tree: centroids (the nearer of the sons' "
                   "centroids) or cart (one component against a threshold)")
        ->check(CLI::IsMember({"centroids", "cart"}))
        ->option_text("centroids|cart")
        ->capture_default_str();
    app.add_option("--kind", kind, "the vector of fvs records that is trained on and coded")
        ->check(CLI::IsMember({"power", "smoothed", "mel", "cepstrum", "mel-cepstrum"}))
        ->option_text("power|smoothed|mel|cepstrum|mel-cepstrum")
        ->capture_default_str();
    app.add_option("--components", components,
                   "the components that count, FIRST-LAST or a list (0-11,13); the tree "
                   "considers the components up to the last one named (default: all the "
                   "vectors hold)")
        ->option_text("FIRST-LAST|LIST");
    const std::string measures = "distortion|recognition-error|info-radius";
    app.add_option("--next-split", nextSplit, "which leaf is split next")
        ->check(CLI::IsMember({"distortion", "recognition-error", "info-radius"}))
        ->option_text(measures)
        ->capture_default_str();
    app.add_option("--split-by", splitBy, "how a leaf's split is chosen")
        ->check(CLI::IsMember({"distortion", "recognition-error", "info-radius"}))
        ->option_text(measures)
        ->capture_default_str();
    app.add_option("--supervised-by", supervisedBy,
                   "the category that recognition-error and info-radius measure")
        ->check(CLI::Range(1, 3))
        ->option_text("1|2|3");
    app.add_option("--averaging-ms", averagingMs,
                   "remove the running average of this window from each event before the "
                   "CART rule reads it, as a run of the tree does (recorded in the file)")
        ->check(CLI::Range(1, 100000))
        ->option_text("MS");
    app.add_option("--jobs", jobs, "threads (the tree is the same for any number)")
        ->check(CLI::Range(1u, 64u))
        ->option_text("N");
    app.add_option("--names", names,
                   "the three category names, comma-separated (default: a table's names "
                   "row; cath1,cath2,cath3 for fvs files)")
        ->option_text("A,B,C");
    app.add_option("--heading", heading,
                   "the text after \"date \" on the file's first line (default: none recorded)")
        ->option_text("TEXT");
    app.add_flag("--overwrite", overwrite, "replace the tree file if it exists");
    app.add_flag("--quiet", quiet, "print nothing but failures");
    app.add_option("files", files, "the training event files")->required()->type_name("FILE");
    app.set_version_flag("--version", "zortan-train " ZORTAN_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }

    try {
        if (!overwrite && (fileExists(out) || folderExists(out)))
            throw TrainingError("\"" + out + "\" exists; it is kept (--overwrite replaces it).");
        TrainingOptions options;
        options.clusters = clusters;
        options.rule = RuleNamed(rule);
        options.nextSplit = MeasureNamed(nextSplit);
        options.splitBy = MeasureNamed(splitBy);
        options.supervisedBy = supervisedBy;
        options.jobs = static_cast<int>(jobs);
        ReadingOptions reading;
        reading.featureKind = FeatureKindNamed(kind);
        reading.averagingMs = averagingMs;
        ComponentChoice chosen;
        if (!components.empty()) {
            chosen = ComponentsNamed(components);
            reading.components = chosen.considered;
        }
        TrainingSource source = ReadTrainingFiles(files, reading);
        if (components.empty()) {
            // All the components the vectors hold: an fvs record's 129, a
            // table's declared count.
            chosen.considered = source.components;
            for (int32_t i = 0; i < chosen.considered; ++i)
                chosen.set.insert(static_cast<unsigned>(i));
        }
        options.components = chosen.considered;
        options.constrained = chosen.set;
        if (!names.empty()) {
            std::vector<std::string> parts;
            size_t from = 0;
            for (size_t comma; (comma = names.find(',', from)) != std::string::npos;
                 from = comma + 1)
                parts.push_back(names.substr(from, comma - from));
            parts.push_back(names.substr(from));
            if (parts.size() != 3)
                throw CLI::ValidationError("--names", "give three names, comma-separated");
            for (size_t i = 0; i < 3; ++i) source.labels[i] = parts[i];
        }
        for (const std::string& w : source.warnings)
            std::fprintf(stderr, "zortan-train: warning: %s\n", w.c_str());
        GrownTree grown = GrowTree(source.events, options, source.active);
        const std::string errors = recognitionErrors(grown, source.events, source.labels);
        const TreeFileContents contents =
            TreeFileOf(std::move(grown), source, reading.featureKind, averagingMs,
                       heading.empty() ? "not recorded" : heading);
        writeTreeFile(out, contents);
        if (!quiet)
            std::printf("%s: %d groups from %zu events of %zu %s; recognition error at %d: %s\n",
                        out.c_str(), clusters, source.events.size(), source.files.size(),
                        source.files.size() == 1 ? "file" : "files", clusters, errors.c_str());
        return 0;
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    } catch (const TrainingError& e) {
        std::fprintf(stderr, "zortan-train: %s\n", e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zortan-train: \"%s\" could not be written: %s\n", out.c_str(),
                     e.what());
    }
    return 1;
}
