// The analysis functions of zortan._zortan: samples analysed into fvs
// records by the analysis library (AnalyseRecording over the frame
// analyser), annotations read by its label readers and their labels made
// qualifiers by its LabelMap, as zortan-analyse does; recordings read
// through libsndfile and libsoxr where the module is built with them. Text
// crosses as bytes (labels as the files hold them, paths as the system
// names them); the package decodes it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/Audio.h"
#include "analysis/Labels.h"
#include "analysis/Recording.h"
#include "events/FvsWriter.h"

namespace py = pybind11;

namespace zortan::python {

namespace {

using analysis::Annotation;
using analysis::LabelMap;

using Samples = py::array_t<int16_t, py::array::c_style | py::array::forcecast>;

py::bytes bytesOf(const std::string& s) {
    return py::bytes(s.data(), s.size());
}

char charOf(int code) {
    if (code < 0 || code > 255) throw std::invalid_argument("a qualifier is one byte");
    return static_cast<char>(static_cast<unsigned char>(code));
}

int codeOf(char c) {
    return static_cast<unsigned char>(c);
}

// The interval tiers as (name, [(start, end, label), ...]).
py::list tiersOf(const Annotation& a) {
    py::list tiers;
    for (const analysis::Tier& t : a.tiers) {
        py::list intervals;
        for (const analysis::Interval& i : t.intervals)
            intervals.append(py::make_tuple(i.start, i.end, bytesOf(i.label)));
        tiers.append(py::make_tuple(bytesOf(t.name), intervals));
    }
    return tiers;
}

Annotation readAnnotation(const std::string& path, double rate) {
    py::gil_scoped_release released;
    return analysis::ReadAnnotation(path, rate);
}

// The index in a.tiers of the tier `name` names, as zortan-analyse's
// --cathN finds it (a name, else a 1-based number).
size_t tierIndex(const Annotation& a, const std::string& name) {
    return static_cast<size_t>(&analysis::TierNamed(a, name) - a.tiers.data());
}

py::bytes labelAt(const Annotation& a, size_t tier, double seconds) {
    if (tier >= a.tiers.size()) throw std::out_of_range("no such tier");
    const analysis::Interval* in = analysis::IntervalAt(a.tiers[tier], seconds);
    return bytesOf(in != nullptr ? in->label : std::string());
}

// Every assigned character with its label, by character code.
py::list mapItems(const LabelMap& map) {
    py::list items;
    for (int c = 0; c < 256; ++c) {
        const std::string label = map.labelOf(charOf(c));
        if (!label.empty()) items.append(py::make_tuple(c, bytesOf(label)));
    }
    return items;
}

// Where the qualifiers of the frames come from: one triple for every frame,
// a Python callable (seconds -> three bytes), or the tiers of an annotation
// through a label map. The map takes every label of the tiers first, tier
// by tier in the order of the qualifiers, as zortan-analyse assigns them,
// so that the map does not depend on which frames fall where.
struct QualifierSource {
    std::array<char, 3> constant{'-', '-', '-'};
    py::object at;  // None, or the callable
    const Annotation* annotation = nullptr;
    std::array<const analysis::Tier*, 3> tiers{};
    LabelMap* map = nullptr;

    // `indexes`: the tier of each qualifier in annotation->tiers, -1 for none.
    void prepare(const std::vector<int>& indexes) {
        if (annotation == nullptr) return;
        for (size_t c = 0; c < 3; ++c) {
            if (indexes[c] < 0) continue;
            tiers[c] = &annotation->tiers.at(static_cast<size_t>(indexes[c]));
            for (const analysis::Interval& in : tiers[c]->intervals)
                if (!in.label.empty()) map->charFor(in.label);
        }
    }

    analysis::QualifiersAt qualifiersAt() {
        if (!at.is_none())
            return [this](double seconds) {
                const std::string q = at(seconds).cast<std::string>();
                if (q.size() != 3) throw std::invalid_argument("cath gave no three qualifiers");
                return std::array<char, 3>{q[0], q[1], q[2]};
            };
        if (annotation == nullptr) return [this](double) { return constant; };
        return [this](double seconds) {
            std::array<char, 3> q{constant};
            for (size_t c = 0; c < 3; ++c)
                if (tiers[c] != nullptr)
                    if (const analysis::Interval* in = analysis::IntervalAt(*tiers[c], seconds))
                        q[c] = map->charFor(in->label);
            return q;
        };
    }
};

// Analyses the samples (int16, one dimension) at `rate` Hz. Returns the
// records as (n, 1812) bytes, as the fvs writer encodes them, the header
// record and the number of components clamped.
py::tuple analyse(const Samples& samples, double rate, double stepMs, int window,
                  double preemphasis, int lifter, double gaussWidth, double kaiserBeta, bool exact,
                  const std::string& name, const std::string& constant, const py::object& at,
                  const Annotation* annotation, const std::vector<int>& tiers, LabelMap* map) {
    if (samples.ndim() != 1) throw std::invalid_argument("the samples are one dimension");
    if (constant.size() != 3 || tiers.size() != 3 || (annotation != nullptr && map == nullptr) ||
        window < 0 || window > static_cast<int>(analysis::Window::FlatTop))
        throw std::invalid_argument("analyse: arguments as the package gives them");
    analysis::RecordingOptions options;
    options.stepMs = stepMs;
    options.frame.preemphasis = preemphasis;
    options.frame.window = static_cast<analysis::Window>(window);
    options.frame.gaussWidth = gaussWidth;
    options.frame.kaiserBeta = kaiserBeta;
    options.frame.lifter = lifter;
    options.frame.exact = exact;

    QualifierSource source;
    std::copy(constant.begin(), constant.end(), source.constant.begin());
    source.at = at;
    source.annotation = annotation;
    source.map = map;
    source.prepare(tiers);

    analysis::Audio audio;
    audio.path = name.empty() ? "signal" : name;
    audio.rate = rate;
    audio.sourceRate = rate;
    audio.channels = 1;
    audio.samples.assign(samples.data(), samples.data() + samples.size());
    analysis::AnalysedRecording r;
    {
        // A Python callable is called for each frame: the lock is kept.
        std::optional<py::gil_scoped_release> released;
        if (at.is_none()) released.emplace();
        r = analysis::AnalyseRecording(audio, options, source.qualifiersAt());
    }
    r.header.waveName = name.substr(0, 255);
    py::array_t<uint8_t> records(
        {static_cast<py::ssize_t>(r.events.size()), static_cast<py::ssize_t>(kFvsRecordSize)});
    uint8_t* out = records.mutable_data();
    for (const FvsEvent& e : r.events) {
        const FvsRecord bytes = encodeFvsEvent(e);
        std::memcpy(out, bytes.data(), bytes.size());
        out += bytes.size();
    }
    const FvsRecord header = encodeFvsHeader(r.header);
    return py::make_tuple(
        records, py::bytes(reinterpret_cast<const char*>(header.data()), header.size()), r.clamped);
}

#ifdef ZORTAN_HAVE_AUDIO
// The recording at `path`, one channel (-1 mixes them) at `rate` Hz (0: its
// own). Returns the samples, their rate, the samples clipped, the rate and
// channels as recorded.
py::tuple readAudio(const std::string& path, double rate, int channel) {
    analysis::Audio a;
    {
        py::gil_scoped_release released;
        a = analysis::ReadAudio(path, analysis::AudioOptions{rate, channel});
    }
    py::array_t<int16_t> samples(static_cast<py::ssize_t>(a.samples.size()));
    std::copy(a.samples.begin(), a.samples.end(), samples.mutable_data());
    return py::make_tuple(samples, a.rate, a.clipped, a.sourceRate, a.channels);
}
#endif

}  // namespace

void defineAnalysis(py::module_& m) {
    // A recording, an annotation, a label map or an analysis refused: the
    // text is the library's, which names the file and what is wrong (the
    // package raises it as InvalidArgument). A label that is no UTF-8 text
    // is shown with replacement characters.
    static py::exception<analysis::LabelError> refused(m, "AnalysisRefused", m.attr("Error"));
    py::register_exception_translator([](std::exception_ptr p) {
        const auto raise = [](const char* what) {
            py::str text = py::reinterpret_steal<py::str>(
                PyUnicode_DecodeUTF8(what, static_cast<Py_ssize_t>(std::strlen(what)), "replace"));
            PyErr_SetObject(refused.ptr(), text.ptr());
        };
        try {
            if (p) std::rethrow_exception(p);
        } catch (const analysis::LabelError& e) {
            raise(e.what());
        } catch (const analysis::AudioError& e) {
            raise(e.what());
        }
    });

    py::class_<Annotation>(m, "Annotation")
        .def_readonly("format", &Annotation::format)
        .def_property_readonly("tiers", &tiersOf)
        .def_property_readonly("point_tiers",
                               [](const Annotation& a) {
                                   py::list names;
                                   for (const std::string& n : a.pointTiers)
                                       names.append(bytesOf(n));
                                   return names;
                               })
        .def_property_readonly("end", &Annotation::end)
        .def("tier_index", &tierIndex, py::arg("name"))
        .def("label_at", &labelAt, py::arg("tier"), py::arg("seconds"));
    m.def("read_annotation", &readAnnotation, py::arg("path"), py::arg("rate"));

    py::class_<LabelMap>(m, "LabelMap")
        .def(py::init([](int outside) { return LabelMap(charOf(outside)); }), py::arg("outside"))
        .def_static(
            "read",
            [](const std::string& path) {
                py::gil_scoped_release released;
                return LabelMap::Read(path);
            },
            py::arg("path"))
        .def("write", &LabelMap::Write, py::arg("path"))
        .def(
            "char_for",
            [](LabelMap& map, const std::string& label) { return codeOf(map.charFor(label)); },
            py::arg("label"))
        .def(
            "label_of", [](const LabelMap& map, int c) { return bytesOf(map.labelOf(charOf(c))); },
            py::arg("char"))
        .def_property_readonly("outside", [](const LabelMap& map) { return codeOf(map.outside()); })
        .def_property_readonly("size", &LabelMap::size)
        .def("items", &mapItems);

    m.def("analyse", &analyse, py::arg("samples"), py::arg("rate"), py::arg("step"),
          py::arg("window"), py::arg("preemphasis"), py::arg("lifter"), py::arg("gauss_width"),
          py::arg("kaiser_beta"), py::arg("exact"), py::arg("name"), py::arg("constant"),
          py::arg("at"), py::arg("annotation"), py::arg("tiers"), py::arg("map"));
#ifdef ZORTAN_HAVE_AUDIO
    m.def("read_audio", &readAudio, py::arg("path"), py::arg("rate"), py::arg("channel"));
    m.attr("READS_AUDIO") = true;
#else
    m.attr("READS_AUDIO") = false;
#endif
#ifdef ZORTAN_HAVE_FFTW
    m.attr("FAST_ANALYSIS") = true;
#else
    m.attr("FAST_ANALYSIS") = false;
#endif
    m.attr("FRAME_LENGTH") = analysis::kFrameLength;
    m.attr("LOWEST_RATE") = analysis::kLowestRate;
    m.attr("HIGHEST_RATE") = analysis::kHighestRate;
}

}  // namespace zortan::python
