// The corpus functions of zortan._zortan: the batch command's job (coding
// files through the window model into the window's outputs) for
// zortan.code_files and zortan.corpus.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/batch/Corpus.h"

namespace py = pybind11;

namespace zortan::python {

namespace {

using batch::CorpusSettings;

CorpusSettings settingsOf(const std::string& tree, const std::vector<int>& clusters,
                          const std::vector<std::string>& outputs, const std::string& outDir,
                          bool overwrite, bool compare) {
    CorpusSettings s;
    s.tree = tree;
    s.clusters = clusters;
    std::sort(s.clusters.begin(), s.clusters.end());
    s.clusters.erase(std::unique(s.clusters.begin(), s.clusters.end()), s.clusters.end());
    for (const std::string& name : outputs) {
        if (name == "all") {
            s.outputs.fill(true);
            continue;
        }
        const auto at = std::find(batch::kOutputNames.begin(), batch::kOutputNames.end(), name);
        if (at == batch::kOutputNames.end())
            throw batch::CorpusError("\"" + name + "\" is no output.");
        s.outputs[static_cast<size_t>(at - batch::kOutputNames.begin())] = true;
    }
    s.outDir = outDir;
    s.overwrite = overwrite;
    s.compare = compare;
    return s;
}

// Counts as a (rows, columns) array: the first series' three categories, or
// all ten columns in compare mode.
py::array_t<uint64_t> countsOf(const std::vector<TableRow>& rows, bool compare) {
    const size_t columns = compare ? kTableColumns : 3;
    py::array_t<uint64_t> counts({rows.size(), columns});
    auto at = counts.mutable_unchecked<2>();
    for (size_t t = 0; t < rows.size(); ++t)
        for (size_t c = 0; c < columns; ++c) at(t, c) = rows[t][c];
    return counts;
}

std::vector<TableRow> rowsOf(const py::array_t<uint64_t>& counts) {
    const auto at = counts.unchecked<2>();
    std::vector<TableRow> rows(static_cast<size_t>(at.shape(0)));
    for (size_t t = 0; t < rows.size(); ++t)
        for (size_t c = 0; c < static_cast<size_t>(at.shape(1)) && c < kTableColumns; ++c)
            rows[t][c] = at(static_cast<py::ssize_t>(t), static_cast<py::ssize_t>(c));
    return rows;
}

py::dict fileDict(const batch::FileResult& r, bool compare) {
    py::list runs;
    for (const batch::RunResult& run : r.runs) {
        py::dict d;
        d["clusters"] = run.clusters;
        d["coded"] = run.coded;
        d["message"] = run.message;
        d["steps"] = run.steps;
        d["events"] = run.events;
        d["counts"] = countsOf(run.rows, compare);
        d["files"] = run.files;
        runs.append(d);
    }
    py::dict d;
    d["inputs"] = r.inputs;
    d["subfolder"] = r.subfolder;
    d["stem"] = r.stem;
    d["skipped"] = r.skipped;
    d["interrupted"] = r.interrupted;
    d["incomplete"] = r.incomplete();
    d["faulty_rows"] = r.faultyRows;
    d["count_mismatch"] = r.countMismatch;
    d["ok"] = r.ok();
    d["message"] = r.failure();
    d["warnings"] = r.warnings;
    d["runs"] = runs;
    return d;
}

batch::FileResult fileOf(const py::dict& d) {
    batch::FileResult r;
    r.inputs = d["inputs"].cast<std::vector<std::string>>();
    r.subfolder = d["subfolder"].cast<std::string>();
    r.stem = d["stem"].cast<std::string>();
    r.skipped = d["skipped"].cast<bool>();
    if (d.contains("warnings")) r.warnings = d["warnings"].cast<std::vector<std::string>>();
    for (const py::handle run : d["runs"]) {
        const py::dict rd = run.cast<py::dict>();
        batch::RunResult& out = r.runs.emplace_back();
        out.clusters = rd["clusters"].cast<int>();
        out.coded = rd["coded"].cast<bool>();
        out.message = rd["message"].cast<std::string>();
        out.steps = rd["steps"].cast<int64_t>();
        out.events = rd["events"].cast<int64_t>();
        out.rows = rowsOf(rd["counts"].cast<py::array_t<uint64_t>>());
        out.files = rd["files"].cast<std::vector<std::string>>();
    }
    return r;
}

py::list tablesOf(const std::vector<batch::CorpusTable>& tables, bool compare) {
    py::list out;
    for (const batch::CorpusTable& t : tables) {
        py::dict d;
        d["clusters"] = t.clusters;
        d["files"] = t.files;
        d["steps"] = t.steps;
        d["events"] = t.events;
        d["counts"] = countsOf(t.rows, compare);
        out.append(d);
    }
    return out;
}

// Where an input's outputs go, as the corpus was prepared: sent to the
// workers, so that each codes its files as planned, and a task tried again
// replaces what it wrote before.
py::dict planDict(const batch::CorpusInput& p) {
    py::dict d;
    d["inputs"] = p.inputs;
    d["subfolder"] = p.subfolder;
    d["stem"] = p.stem;
    d["refused"] = p.refused;
    d["skipped"] = p.skipped;
    return d;
}

batch::CorpusInput planOf(const py::dict& d) {
    batch::CorpusInput p;
    p.inputs = d["inputs"].cast<std::vector<std::string>>();
    p.subfolder = d["subfolder"].cast<std::string>();
    p.stem = d["stem"].cast<std::string>();
    p.refused = d["refused"].cast<std::vector<std::string>>();
    p.skipped = d["skipped"].cast<bool>();
    return p;
}

// Corpus tables that could not be written fail the call, naming them.
void raiseTableFailures(const std::vector<std::string>& failures) {
    if (failures.empty()) return;
    std::string text = "The corpus tables could not all be written:";
    for (const std::string& f : failures) text += "\n" + f;
    throw batch::CorpusError(text);
}

// One coder kept by a worker: reads the tree once.
class Job {
  public:
    Job(const std::string& tree, const std::vector<int>& clusters,
        const std::vector<std::string>& outputs, const std::string& outDir, bool overwrite,
        bool compare)
        : settings_(settingsOf(tree, clusters, outputs, outDir, overwrite, compare)),
          job_(std::make_unique<batch::CorpusJob>(settings_)) {}

    py::dict code(const py::dict& plan) {
        const batch::CorpusInput input = planOf(plan);
        batch::FileResult result;
        {
            py::gil_scoped_release free;
            result = job_->code(input);
        }
        return fileDict(result, settings_.compare);
    }
    const batch::CorpusJob& job() const { return *job_; }
    std::vector<std::string> labels() const {
        const auto l = job_->labels();
        return {l.begin(), l.end()};
    }

  private:
    CorpusSettings settings_;
    std::unique_ptr<batch::CorpusJob> job_;
};

}  // namespace

void defineCorpus(py::module_& m) {
    // A corpus that cannot be coded at all: a zortan.Error.
    py::register_exception<batch::CorpusError>(m, "CorpusError", m.attr("Error"));
    py::class_<Job>(m, "CorpusJob")
        .def(py::init<const std::string&, const std::vector<int>&, const std::vector<std::string>&,
                      const std::string&, bool, bool>(),
             py::arg("tree"), py::arg("clusters"), py::arg("outputs"), py::arg("out_dir"),
             py::arg("overwrite"), py::arg("compare"))
        .def("code", &Job::code, py::arg("plan"))
        .def_property_readonly("labels", &Job::labels);

    m.def(
        "prepare_corpus",
        [](const std::string& tree, const std::vector<int>& clusters,
           const std::vector<std::string>& outputs, const std::string& outDir, bool overwrite,
           bool compare, const std::vector<std::vector<std::string>>& inputs) {
            const CorpusSettings s =
                settingsOf(tree, clusters, outputs, outDir, overwrite, compare);
            const batch::CorpusJob job(s);
            py::list plans;
            for (const batch::CorpusInput& p : batch::PrepareCorpus(s, job, inputs))
                plans.append(planDict(p));
            return plans;
        },
        py::arg("tree"), py::arg("clusters"), py::arg("outputs"), py::arg("out_dir"),
        py::arg("overwrite"), py::arg("compare"), py::arg("inputs"));

    m.def(
        "finish_corpus",
        [](const std::string& tree, const std::vector<int>& clusters,
           const std::vector<std::string>& outputs, const std::string& outDir, bool overwrite,
           bool compare, const std::vector<std::string>& labels, const py::list& files) {
            const CorpusSettings s =
                settingsOf(tree, clusters, outputs, outDir, overwrite, compare);
            std::vector<batch::FileResult> results;
            for (const py::handle f : files) results.push_back(fileOf(f.cast<py::dict>()));
            const auto tables = batch::SumTables(s, results);
            raiseTableFailures(
                batch::WriteCorpusTables(s, {labels.at(0), labels.at(1), labels.at(2)}, tables));
            return tablesOf(tables, compare);
        },
        py::arg("tree"), py::arg("clusters"), py::arg("outputs"), py::arg("out_dir"),
        py::arg("overwrite"), py::arg("compare"), py::arg("labels"), py::arg("files"));

    m.def(
        "code_corpus",
        [](const std::string& tree, const std::vector<int>& clusters,
           const std::vector<std::string>& outputs, const std::string& outDir, bool overwrite,
           bool compare, const std::vector<std::vector<std::string>>& inputs, unsigned jobs) {
            const CorpusSettings s =
                settingsOf(tree, clusters, outputs, outDir, overwrite, compare);
            batch::CorpusOutcome outcome;
            {
                py::gil_scoped_release free;
                outcome = batch::CodeCorpus(s, inputs, jobs);
            }
            raiseTableFailures(outcome.tableFailures);
            py::list files;
            for (const batch::FileResult& r : outcome.results) files.append(fileDict(r, compare));
            py::dict d;
            d["files"] = files;
            d["tables"] = tablesOf(outcome.tables, compare);
            d["labels"] = std::vector<std::string>(outcome.labels.begin(), outcome.labels.end());
            return d;
        },
        py::arg("tree"), py::arg("clusters"), py::arg("outputs"), py::arg("out_dir"),
        py::arg("overwrite"), py::arg("compare"), py::arg("inputs"), py::arg("jobs"));
}

}  // namespace zortan::python
