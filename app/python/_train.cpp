// The training functions of zortan._zortan: trees grown from arrays by the
// training library, and trees put together from given nodes. Both come back
// as their tree file's text, which the package loads as a file is loaded
// (tree_from_text), so that the tree Python holds is the one its file gives.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "engine/TimeAveraging.h"
#include "events/EventSeries.h"
#include "platform/Errors.h"
#include "train/TrainingFiles.h"

namespace py = pybind11;

namespace zortan::python {

namespace {

using train::TrainingError;

using Words = py::array_t<int16_t, py::array::c_style>;
using Reals = py::array_t<double, py::array::c_style>;
using Bytes = py::array_t<uint8_t, py::array::c_style>;

// What a tree file records of a tree grown or put together here.
constexpr const char* kHeading = "not recorded";

std::string real(double v) {
    std::ostringstream o;
    o << v;
    return o.str();
}

template <size_t N>
int choiceOf(const py::dict& settings, const char* key, const std::array<const char*, N>& names) {
    if (!settings.contains(key)) return -1;
    const int v = settings[key].cast<int>();
    if (v < -1 || v >= static_cast<int>(names.size()))
        throw TrainingError("settings[\"" + std::string(key) + "\"] must be -1 (no choice) to " +
                            std::to_string(names.size() - 1) + ", not " + std::to_string(v) + ".");
    return v;
}

// The analysis settings, wave file name, active categories and category
// names a tree records, from the package's checked settings (the keys of an
// fvs header, and feature_kind); what is not given is no choice or 0.
struct Recorded {
    train::TrainingSource source;
    int featureKind = -1;
};

Recorded recordedOf(const py::dict& settings, const std::vector<std::string>& labels) {
    Recorded r;
    AnalysisSettings& a = r.source.settings;
    a.filter = choiceOf(settings, "filter", kFilterNames);
    a.scalingConstants = choiceOf(settings, "scaling_constants", kScalingConstantsNames);
    a.windowShape = choiceOf(settings, "window_shape", kWindowShapeNames);
    r.featureKind = choiceOf(settings, "feature_kind", kFeatureKindNames);
    if (settings.contains("preemphasis")) a.preemphasis = settings["preemphasis"].cast<bool>();
    if (settings.contains("lifter_threshold"))
        a.lifterThreshold = settings["lifter_threshold"].cast<int16_t>();
    if (settings.contains("fft_window_width"))
        a.fftWindowWidth = settings["fft_window_width"].cast<int64_t>();
    if (settings.contains("frame_step")) a.frameStep = settings["frame_step"].cast<double>();
    if (settings.contains("rate")) a.rate = settings["rate"].cast<double>();
    if (settings.contains("wave_name"))
        r.source.waveName = settings["wave_name"].cast<std::string>();
    // As zortan-train takes an fvs header's: a category with values is active.
    if (settings.contains("cath_nbr")) {
        const auto counts = settings["cath_nbr"].cast<std::vector<int>>();
        for (size_t c = 0; c < 3 && c < counts.size(); ++c) r.source.active[c] = counts[c] > 0;
    }
    for (size_t c = 0; c < 3 && c < labels.size(); ++c) r.source.labels[c] = labels[c];
    return r;
}

// The frames of an averaging window of `ms`, as zortan-train takes it for an
// fvs file; 0 for none.
int32_t averagingFramesOf(int32_t ms, double frameStep) {
    if (ms <= 0) return 0;
    if (!(frameStep > 0.0))
        throw TrainingError(
            "The rows are averaged over a time only when their frame step is known: give "
            "settings={\"frame_step\": MS}.");
    const double frames = std::nearbyint(ms / frameStep);
    if (frames < 1 || frames > kAveragingRows)
        throw TrainingError("An averaging window of " + std::to_string(ms) + " ms is " +
                            real(frames) + " frames of " + real(frameStep) +
                            " ms; it must hold 1 to " + std::to_string(kAveragingRows) +
                            " frames.");
    return static_cast<int32_t>(frames);
}

// The rows as Tree.encode hands them to the coder: 16-bit rows with reals
// equal to them, rows of reals with their components rounded half to even,
// the components beyond the rows' 0; time-averaged in row order when the
// tree averages, as encode averages them.
train::TrainingEvents eventsOf(const int16_t* words, const double* reals, const uint8_t* cath,
                               size_t n, size_t m, int32_t considered, int32_t frames) {
    train::TrainingEvents events;
    events.reals.reserve(n);
    events.coded.reserve(n);
    events.cath.reserve(n);
    AveragingState averaging;
    for (size_t row = 0; row < n; ++row) {
        EventRecord e;
        try {
            for (size_t i = 0; i < m; ++i) {
                if (words != nullptr) {
                    e.components[i] = words[row * m + i];
                    e.reals[i] = e.components[i];
                } else {
                    e.reals[i] = reals[row * m + i];
                    e.components[i] = fitOrRangeError<int16_t>(std::nearbyint(e.reals[i]));
                }
            }
        } catch (const RangeError&) {
            throw TrainingError("Range check error: row " + std::to_string(row) +
                                " holds a component that rounds outside the 16-bit components.");
        }
        if (frames > 0) {
            try {
                AveragingTransform(e, averaging, frames, considered, static_cast<int64_t>(row),
                                   false);
            } catch (const RangeError&) {
                throw TrainingError("The averaging takes a component of row " +
                                    std::to_string(row) + " beyond the 16-bit range.");
            }
        }
        events.reals.push_back(e.reals);
        events.coded.push_back(e.components);
        events.cath.push_back({static_cast<char>(cath[3 * row]),
                               static_cast<char>(cath[3 * row + 1]),
                               static_cast<char>(cath[3 * row + 2])});
    }
    return events;
}

// Grows a tree from (n, m) rows (int16 or float64, C order) and their (n, 3)
// qualifiers. Returns the tree file's text and the full tree's leaf (node)
// of each row.
py::tuple grow(const py::array& vectors, const Bytes& cath, int clusters, const std::string& rule,
               const std::string& nextSplit, const std::string& splitBy, int supervisedBy,
               const std::string& components, int32_t averagingMs, int jobs,
               const std::vector<std::string>& labels, const py::dict& settings) {
    if (vectors.ndim() != 2) throw TrainingError("The vectors must be a two-dimensional array.");
    const auto n = static_cast<size_t>(vectors.shape(0));
    const auto m = static_cast<size_t>(vectors.shape(1));
    if (cath.ndim() != 2 || static_cast<size_t>(cath.shape(0)) != n || cath.shape(1) != 3)
        throw TrainingError("cath must be (n, 3) qualifiers, one row per vector.");
    Words words;
    Reals reals;
    const int16_t* w = nullptr;
    const double* x = nullptr;
    if (py::isinstance<Words>(vectors)) {
        words = Words::ensure(vectors);
        w = words.data();
    } else {
        reals = Reals::ensure(vectors);
        if (!reals) throw py::error_already_set();
        x = reals.data();
    }
    train::TrainingOptions options;
    options.clusters = clusters;
    options.rule = train::RuleNamed(rule);
    options.nextSplit = train::MeasureNamed(nextSplit);
    options.splitBy = train::MeasureNamed(splitBy);
    options.supervisedBy = supervisedBy;
    options.jobs = jobs;
    const train::ComponentChoice chosen = train::ComponentsNamed(components);
    if (static_cast<size_t>(chosen.considered) > m)
        throw TrainingError("The components named go up to component " +
                            std::to_string(chosen.considered - 1) + ", but the rows hold " +
                            std::to_string(m) + ".");
    options.components = chosen.considered;
    options.constrained = chosen.set;
    Recorded recorded = recordedOf(settings, labels);
    train::TrainingSource& source = recorded.source;
    source.components = chosen.considered;
    source.averagingFrames = averagingFramesOf(averagingMs, source.settings.frameStep);

    const uint8_t* q = cath.data();
    py::array_t<int32_t> leaves(static_cast<py::ssize_t>(n));
    int32_t* leaf = leaves.mutable_data();
    std::string text;
    {
        py::gil_scoped_release released;
        const train::TrainingEvents events =
            eventsOf(w, x, q, n, m, chosen.considered, source.averagingFrames);
        train::GrownTree grown = train::GrowTree(events, options, source.active);
        std::copy(grown.leafOf.begin(), grown.leafOf.end(), leaf);
        TreeFileContents contents = train::TreeFileOf(std::move(grown), source,
                                                      recorded.featureKind, averagingMs, kHeading);
        contents.line2Text = "teaching sample of " + std::to_string(n) + " events given as arrays";
        text = treeFileText(contents);
    }
    return py::make_tuple(py::bytes(text), leaves);
}

// The tree file's text of a tree whose nodes are given as they are numbered
// in a tree file: sons, brothers, codes, split components, centroids (n, m)
// and each node's reading of the three categories as characters (n, 3); the
// category value lists are made of the characters read.
py::bytes assemble(const Reals& centroids, const std::vector<int16_t>& son,
                   const std::vector<int16_t>& brother, const std::vector<uint16_t>& code,
                   const std::vector<uint8_t>& split, const Bytes& readings,
                   const std::vector<int>& counted, int rule,
                   const std::vector<std::string>& labels, const py::dict& settings) {
    if (centroids.ndim() != 2) throw TrainingError("The centroids must be (nodes, m) rows.");
    const auto n = static_cast<size_t>(centroids.shape(0));
    const auto m = static_cast<size_t>(centroids.shape(1));
    if (n == 0 || n % 2 == 0 || m < 1 || m > static_cast<size_t>(kComponents) || son.size() != n ||
        brother.size() != n || code.size() != n || split.size() != n || readings.ndim() != 2 ||
        static_cast<size_t>(readings.shape(0)) != n || readings.shape(1) != 3)
        throw TrainingError("The nodes' arrays do not describe one tree.");
    train::GrownTree grown;
    QuantizationTree& t = grown.tree;
    std::vector<std::array<char, 3>> chars(n);
    const uint8_t* r = readings.data();
    for (size_t k = 0; k < n; ++k)
        for (size_t c = 0; c < 3; ++c) chars[k][c] = static_cast<char>(r[3 * k + c]);
    t.cath = train::CategoriesOf(chars, {true, true, true});
    t.nodeHeap.resize(n);
    const double* x = centroids.data();
    for (size_t k = 0; k < n; ++k) {
        TreeNode& node = t.nodeHeap[k];
        node.son = son[k];
        node.brother = brother[k];
        node.code = code[k];
        node.splitComponent = split[k];
        std::copy(x + k * m, x + (k + 1) * m, node.centroid.begin());
        uint8_t* reading[3] = {&node.treeCath1, &node.treeCath2, &node.treeCath3};
        for (size_t c = 0; c < 3; ++c) {
            const TcharList& list = t.cath[c].list;
            const auto last = list.begin() + (t.cath[c].nbr + 1);
            *reading[c] =
                static_cast<uint8_t>(std::find(list.begin(), last, chars[k][c]) - list.begin());
        }
    }
    t.HeapTop = static_cast<uint16_t>(n - 1);
    t.centroidsNb = static_cast<uint16_t>((n + 1) / 2);
    t.groupTable.assign(static_cast<size_t>(t.centroidsNb) + 1, 0);
    t.consideredComponentsNb = static_cast<int32_t>(m);
    for (int i : counted) t.constrainedSet.insert(static_cast<unsigned>(i));
    t.treeTraining.setsDividingMethod = rule;
    Recorded recorded = recordedOf(settings, labels);
    TreeFileContents contents =
        train::TreeFileOf(std::move(grown), recorded.source, recorded.featureKind, 0, kHeading);
    contents.line2Text = "teaching sample not recorded: a tree put together from its splits";
    return py::bytes(treeFileText(contents));
}

}  // namespace

void defineTraining(py::module_& m) {
    // A training refused: its text says why (the package raises it as
    // InvalidArgument).
    py::register_exception<TrainingError>(m, "TrainingRefused", m.attr("Error"));
    m.def("grow", &grow, py::arg("vectors"), py::arg("cath"), py::arg("clusters"), py::arg("rule"),
          py::arg("next_split"), py::arg("split_by"), py::arg("supervised_by"),
          py::arg("components"), py::arg("averaging_ms"), py::arg("jobs"), py::arg("labels"),
          py::arg("settings"));
    m.def("assemble", &assemble, py::arg("centroids"), py::arg("son"), py::arg("brother"),
          py::arg("code"), py::arg("split"), py::arg("readings"), py::arg("counted"),
          py::arg("rule"), py::arg("labels"), py::arg("settings"));
    m.def(
        "components_named",
        [](const std::string& text) {
            const train::ComponentChoice c = train::ComponentsNamed(text);
            std::vector<int> members;
            for (int i = 0; i < c.considered; ++i)
                if (c.set.contains(static_cast<unsigned>(i))) members.push_back(i);
            return py::make_tuple(c.considered, members);
        },
        py::arg("text"));
    m.attr("LARGEST_CLUSTERS") = train::kLargestClusters;
}

}  // namespace zortan::python
