// zortan-dump [--csv] [--records FROM:TO] [--kind K] FILE...: prints trees,
// fvs or combined output files for a person, or their records as CSV.
#include <CLI/CLI.hpp>

#include <iostream>

#include "ZortanVersion.h"
#include "app/dump/Dump.h"

int main(int argc, char** argv) {
    using namespace zortan::dump;
    CLI::App app{
        "Prints quantization trees (.vq*), fvs event files or combined output files (.zrt):\n"
        "each file's settings, then its records (tree: nodes; fvs and .zrt: events), numbered\n"
        "from 0.",
        "zortan-dump"};
    // Options are "--" ones everywhere: on Windows too a "/" begins a path.
    app.allow_windows_style_options(false);
    Request request;
    std::string records;
    int kind = -1;
    app.add_flag("--csv", request.csv,
                 "records only, as CSV: one header row and one row\n"
                 "per record; several files make one table whose\n"
                 "rows begin with a \"file\" column, of the files\n"
                 "whose columns are the first's (any other fails)");
    app.add_option("--records", records,
                   "records FROM to TO, both included, 0-based:\n"
                   "FROM:TO, FROM:, :TO or N; a FROM past a file's\n"
                   "last record fails the file, a TO past it is\n"
                   "remarked")
        ->type_name("FROM:TO");
    app.add_option("--kind", kind, "fvs: only the feature vectors of kind K")
        ->check(CLI::Range(0, 4))
        ->type_name("K");
    app.add_option("FILE", request.paths, "the files to print, one after the other")->required();
    app.set_version_flag("--version", "zortan-dump " ZORTAN_VERSION);
    app.footer(
        "The kind of a file follows from its extension, else from its content: a first line\n"
        "beginning \"date\" is a tree, a count record of 253 certificate records a .zrt file,\n"
        "a whole number of 1812-byte records an fvs file; the text says which it took and\n"
        "why. A file of none of these kinds, one whose content is not of the kind its\n"
        "extension names (an fvs or .zrt file that ends with a partial record, a\n"
        "certificate whose fields are impossible), a file cut short and anything that is\n"
        "not a regular file (a folder, a pipe, a device) fail, named with the reason on\n"
        "standard error, after what could be read. A .zrt file whose count record names 0\n"
        "or 65535 certificate records is read as one naming 253: its events are counted\n"
        "from its size. With several files, in text each begins with a line \"==> FILE <==\".\n"
        "\n"
        "Exit status: 0 when every file was read whole (and held the records FROM on),\n"
        "1 when some were not (standard error lists them), 2 for a wrong command line.");
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
