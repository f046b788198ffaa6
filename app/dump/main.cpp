// zortan-dump [--csv] [--records FROM:TO] [--kind K] FILE: prints a tree,
// fvs or combined output file for a person, or its records as CSV.
#include <CLI/CLI.hpp>

#include <iostream>

#include "app/dump/Dump.h"

int main(int argc, char** argv) {
    using namespace zortan::dump;
    CLI::App app{
        "Prints a quantization tree (.vq*), an fvs event file or a combined output file (.zrt):\n"
        "its settings, then its records (tree: nodes; fvs and .zrt: events), numbered from 0.",
        "zortan-dump"};
    // Options are "--" ones everywhere: on Windows too a "/" begins a path.
    app.allow_windows_style_options(false);
    Request request;
    std::string records;
    int kind = -1;
    app.add_flag("--csv", request.csv,
                 "records only, as CSV: one header row and one row per record");
    app.add_option("--records", records,
                   "records FROM to TO, both included, 0-based: FROM:TO, FROM:, :TO or N")
        ->type_name("FROM:TO");
    app.add_option("--kind", kind, "fvs: only the feature vectors of kind K")
        ->check(CLI::Range(0, 4))
        ->type_name("K");
    app.add_option("FILE", request.path, "the file to print")->required();
    app.set_version_flag("--version", "zortan-dump 2.a");
    try {
        app.parse(argc, argv);
        if (!records.empty()) {
            const auto range = parseRecordRange(records);
            if (!range)
                throw CLI::ValidationError("--records", "not FROM:TO, FROM:, :TO or N: " + records);
            request.range = *range;
        }
    } catch (const CLI::ParseError& e) {
        // --help and --version end here with 0, a wrong command line with 2.
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }
    if (kind >= 0) request.kind = kind;
    return run(request, std::cout, std::cerr);
}
