// The extension module zortan._zortan: the program's tree reader, coder,
// time averaging and fvs header fields, for the pure-Python package around
// it (app/python/zortan/__init__.py), which documents what users see.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ZortanVersion.h"
#include "base/TextReader.h"
#include "engine/TimeAveraging.h"
#include "engine/TreeLoading.h"
#include "events/FvsReader.h"
#include "events/FvsWriter.h"
#include "output/CombinedOutput.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "tree/TreeCoding.h"
#include "tree/TreeFileWriter.h"
#include "tree/TreeReader.h"
#include "tree/fast/FastCoder.h"

namespace py = pybind11;

namespace zortan::python {

namespace {

// A failure whose text is the message the program would show.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs `action`; whatever the program would report ends as a Failure with
// the program's text.
template <typename Action>
auto reported(Action&& action) {
    try {
        return action();
    } catch (const WalkBeyondTree& e) {
        throw Failure(e.message() + "\r\n" + e.what());
    } catch (const RangeError& e) {
        throw Failure(e.what());
    } catch (const InOutError& e) {
        throw Failure(e.what());
    } catch (const CoderHalt& halt) {
        throw Failure(halt.message);
    }
}

template <size_t N>
py::object choice(int index, const std::array<const char*, N>& names) {
    if (index < 0 || static_cast<size_t>(index) >= N) return py::none();
    return py::str(names[static_cast<size_t>(index)]);
}

std::vector<int> members(const Set256& set) {
    std::vector<int> out;
    for (unsigned i = 0; i < 256; ++i)
        if (set.contains(i)) out.push_back(static_cast<int>(i));
    return out;
}

std::string chars(const TcharList& list) {
    return std::string(list.begin(), list.end());
}

// A tree read from its file, with the coder's working arrays sized for it.
struct Tree {
    QuantizationTree tree;
    CoderState coder;
    std::array<std::string, 3> labels;
    std::string source, waveFileDir, readingText;
    int32_t line2Number = 0;  // the count that opens line 2, which the reader passes over
    bool fftWindowWidthRead = false;
    std::vector<std::string> messages;  // shown while reading, not failures

    uint16_t fullSize() const {
        return static_cast<uint16_t>(std::min<int>(tree.treeSizesNb(), tree.centroidsNb));
    }
};

Tree treeOf(Codebook book) {
    Tree t;
    t.tree = std::move(book.tree);
    t.coder = std::move(book.coder);
    t.labels = book.labels;
    t.source = book.source;
    t.waveFileDir = book.waveFile;
    t.readingText = book.readingText;
    t.fftWindowWidthRead = book.fftWindowWidthRead;
    t.messages = book.remarks;
    return t;
}

// Loads a tree file, or a tree file's text when `text` is given; `path`
// names it in the messages.
Tree loadTree(const std::string& path, const std::optional<std::string>& text = std::nullopt) {
    try {
        Tree t = treeOf(text ? LoadTreeText(*text, path) : LoadTreeFile(path));
        // Kept so that the tree writes back the file it was read from (0
        // when the file went meanwhile).
        try {
            TextReader reader = text ? TextReader::fromText(*text) : TextReader(path);
            reader.readLn();
            t.line2Number = reader.readInt32();
        } catch (const InOutError&) {
        }
        return t;
    } catch (const TreeLoadError& e) {
        // The window's words for a file that is no tree file send the user
        // to its folders; a script's user is told what is wrong.
        if (e.what() == notATreeFileMessage(path))
            throw Failure("\"" + path +
                          "\" is not a tree file: the first line of a tree file begins with "
                          "\"date\".");
        throw Failure(e.what());
    } catch (const RangeError& e) {
        throw Failure(e.what());
    }
}

Tree readTree(const std::string& path) {
    return loadTree(path);
}

Tree treeFromText(const py::bytes& text, const std::string& name) {
    return loadTree(name, std::string(text));
}

// The file a tree is written as: the tree and the texts it was read with.
// The unused items of lines 9, 16, 17 and 21 are not kept, and are written
// as 0.
TreeFileContents contentsOf(const Tree& t) {
    TreeFileContents c;
    c.tree = t.tree;
    c.line2Number = t.line2Number;
    // The text of line 2 as read begins with the blank after its number.
    c.line2Text = !t.source.empty() && t.source[0] == ' ' ? t.source.substr(1) : t.source;
    c.waveFileDir = t.waveFileDir;
    c.cathLabel1 = t.labels[0];
    c.cathLabel2 = t.labels[1];
    c.cathLabel3 = t.labels[2];
    c.line46 = t.readingText;
    c.writeFftWindowWidth = t.fftWindowWidthRead;
    return c;
}

py::bytes treeText(const Tree& t) {
    std::string text;
    {
        py::gil_scoped_release released;
        text = reported([&] { return treeFileText(contentsOf(t)); });
    }
    return py::bytes(text);
}

// Writes the tree file whole or not at all; None when it was written, else
// the input/output error's number and text, for the package to raise as
// the failure of a file.
py::object writeTree(const Tree& t, const std::string& path) {
    std::optional<InOutError> failed;
    {
        py::gil_scoped_release released;
        const TreeFileContents contents = contentsOf(t);
        try {
            writeTreeFile(path, contents);
        } catch (const InOutError& e) {
            failed = e;
        }
    }
    if (failed) return py::make_tuple(failed->code(), std::string(failed->what()));
    return py::none();
}

py::dict settingsOf(const Tree& t) {
    const QuantizationTree& q = t.tree;
    const AnalysisSettings& a = q.training;
    const TreeTrainingSettings& g = q.treeTraining;
    py::dict d;
    d["tree_heading"] = q.treeHeading;
    d["source"] = t.source;
    d["teaching_text"] = q.teachingText;
    d["wave_file_dir"] = t.waveFileDir;
    d["centroids_nb"] = q.centroidsNb;
    d["heap_top"] = q.HeapTop;
    d["training_events_nb"] = q.trainingEventsNb;
    d["considered_components_nb"] = q.consideredComponentsNb;
    d["fft_window_width"] = a.fftWindowWidth;
    d["fft_window_width_read"] = t.fftWindowWidthRead;
    d["feature_kind"] = a.featureKind;
    d["feature_kind_name"] = choice(a.featureKind, kFeatureKindNames);
    d["constrained_set"] = members(q.constrainedSet);
    d["features_set_text"] = q.featuresSetText;
    d["scaling_factor"] = a.scalingFactor;
    d["filter"] = a.filter;
    d["filter_name"] = choice(a.filter, kFilterNames);
    d["scaling_constants"] = a.scalingConstants;
    d["scaling_constants_name"] = choice(a.scalingConstants, kScalingConstantsNames);
    d["window_shape"] = a.windowShape;
    d["window_shape_name"] = choice(a.windowShape, kWindowShapeNames);
    d["preemphasis"] = a.preemphasis;
    d["lifter_threshold"] = a.lifterThreshold;
    d["frame_step"] = a.frameStep;
    d["rate"] = a.rate;
    d["averaging"] = a.averaging;
    d["averaging_frames"] = a.averagingFrames;
    d["averaging_window_shape"] = g.averagingWindowShape;
    d["averaging_window_ms"] = g.averagingWindowMs;
    d["events_standardisation"] = a.eventsStandardisation;
    d["sets_dividing_method"] = g.setsDividingMethod;
    d["sets_dividing_method_name"] = choice(g.setsDividingMethod, kSetsDividingMethodNames);
    d["set_choice_criterion"] = g.setChoiceCriterion;
    d["set_choice_criterion_name"] = choice(g.setChoiceCriterion, kSetChoiceCriterionNames);
    d["features_choice_criterion"] = g.featuresChoiceCriterion;
    d["features_choice_criterion_name"] =
        choice(g.featuresChoiceCriterion, kFeaturesChoiceCriterionNames);
    d["set_choice_classifier"] = g.setChoiceClassifier;
    d["features_choice_classifier"] = g.featuresChoiceClassifier;
    d["set_choice_training"] = g.setChoiceTraining;
    d["set_choice_training_name"] = choice(g.setChoiceTraining, kTrainingNames);
    d["features_choice_training"] = g.featuresChoiceTraining;
    d["features_choice_training_name"] = choice(g.featuresChoiceTraining, kTrainingNames);
    d["cart_like"] = g.cartLike;
    d["classifier_names"] =
        std::vector<std::string>(g.classifierNames.begin(), g.classifierNames.end());
    d["cath_active"] = std::vector<int>{q.cath[0].active, q.cath[1].active, q.cath[2].active};
    d["cath_nbr"] = std::vector<int>{q.cath[0].nbr, q.cath[1].nbr, q.cath[2].nbr};
    d["cath_sets"] = std::vector<std::vector<int>>{members(q.cath[0].set), members(q.cath[1].set),
                                                   members(q.cath[2].set)};
    d["group_table"] = q.groupTable;
    d["exclude_set_card"] = q.excludeSetCard;
    d["reading_text"] = t.readingText;
    return d;
}

py::dict nodesOf(const Tree& t) {
    const auto& heap = t.tree.nodeHeap;
    const auto n = static_cast<py::ssize_t>(heap.size());
    py::array_t<double> centroids({n, static_cast<py::ssize_t>(kComponents)});
    py::array_t<int16_t> son(n), brother(n);
    py::array_t<uint16_t> code(n);
    py::array_t<uint8_t> readings({n, py::ssize_t{3}}), split(n);
    auto c = centroids.mutable_unchecked<2>();
    auto r = readings.mutable_unchecked<2>();
    for (py::ssize_t k = 0; k < n; ++k) {
        const TreeNode& node = heap[static_cast<size_t>(k)];
        for (py::ssize_t i = 0; i < kComponents; ++i)
            c(k, i) = node.centroid[static_cast<size_t>(i)];
        son.mutable_at(k) = node.son;
        brother.mutable_at(k) = node.brother;
        code.mutable_at(k) = node.code;
        r(k, 0) = node.treeCath1;
        r(k, 1) = node.treeCath2;
        r(k, 2) = node.treeCath3;
        split.mutable_at(k) = node.splitComponent;
    }
    py::dict d;
    d["centroids"] = centroids;
    d["son"] = son;
    d["brother"] = brother;
    d["code"] = code;
    d["readings"] = readings;
    d["split_component"] = split;
    return d;
}

// Rounds the m reals of a row half to even into `words` (in the current
// rounding mode, as nearbyint does) and copies them into `reals`; false,
// the words then unset, where one is no number or rounds outside the 16-bit
// words. Adding and taking off 1.5 * 2^52 rounds |x| < 2^51 exactly; a
// larger |x| stays at least 2^51 from 0. Eight at a time with SSE2, without
// a branch or a call per component.
bool roundRow(const double* x, size_t m, int16_t* words, double* reals) {
    constexpr double kShift = 6755399441055744.0, kLow = -32768.0, kHigh = 32767.0;
    size_t i = 0;
    bool fits = true;
#if defined(__SSE2__)
    const __m128d shift = _mm_set1_pd(kShift), low = _mm_set1_pd(kLow), high = _mm_set1_pd(kHigh);
    __m128d in = _mm_cmpeq_pd(low, low);
    for (; i + 8 <= m; i += 8) {
        __m128d r[4];
        for (size_t j = 0; j < 4; ++j) {
            const __m128d v = _mm_loadu_pd(x + i + 2 * j);
            _mm_storeu_pd(reals + i + 2 * j, v);
            r[j] = _mm_sub_pd(_mm_add_pd(v, shift), shift);
            in = _mm_and_pd(in, _mm_and_pd(_mm_cmpge_pd(r[j], low), _mm_cmple_pd(r[j], high)));
        }
        // Truncation is exact on integers; a word out of range is not kept.
        const __m128i lo = _mm_unpacklo_epi64(_mm_cvttpd_epi32(r[0]), _mm_cvttpd_epi32(r[1]));
        const __m128i hi = _mm_unpacklo_epi64(_mm_cvttpd_epi32(r[2]), _mm_cvttpd_epi32(r[3]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(words + i), _mm_packs_epi32(lo, hi));
    }
    fits = _mm_movemask_pd(in) == 3;
#endif
    for (; i < m; ++i) {
        const double r = (x[i] + kShift) - kShift;
        const bool inside = r >= kLow && r <= kHigh;
        fits = fits && inside;
        words[i] = static_cast<int16_t>(static_cast<int32_t>(inside ? r : 0.0));
        reals[i] = x[i];
    }
    return fits;
}

// The rows to code, as a run holds an event: the 16-bit components (CART
// splits, averaging) and their reals (distances). A row of reals takes its
// components rounded half to even; a row of 16-bit words takes its reals
// equal to them.
struct Rows {
    const int16_t* words = nullptr;  // (n, m), or null
    const double* reals = nullptr;   // (n, m), or null
    const uint8_t* cath = nullptr;   // (n, 3), or null
    size_t n = 0, m = 0;
    // Rows of reals rounded component by component with nearbyint (for the
    // reference coder), not by roundRow.
    bool plain = false;
    // Components after the time averaging, (n, 129), when it applies.
    std::vector<int16_t> averaged;

    void event(size_t row, EventRecord& e) const {
        if (words == nullptr && !plain) {
            if (!roundRow(reals + row * m, m, e.components.data(), e.reals.data()))
                throw RangeError();
            std::fill(e.components.begin() + static_cast<std::ptrdiff_t>(m), e.components.end(),
                      int16_t{0});
            std::fill(e.reals.begin() + static_cast<std::ptrdiff_t>(m), e.reals.end(), 0.0);
        } else {
            plainEvent(row, e);
        }
        if (!averaged.empty())
            std::memcpy(e.components.data(), averaged.data() + row * kComponents,
                        sizeof e.components);
        if (cath != nullptr) {
            e.cath1 = static_cast<char>(cath[3 * row]);
            e.cath2 = static_cast<char>(cath[3 * row + 1]);
            e.cath3 = static_cast<char>(cath[3 * row + 2]);
        }
    }

    // The row's components and reals, one at a time.
    void plainEvent(size_t row, EventRecord& e) const {
        e.components.fill(0);
        e.reals.fill(0.0);
        if (words != nullptr) {
            const int16_t* w = words + row * m;
            for (size_t i = 0; i < m; ++i) {
                e.components[i] = w[i];
                e.reals[i] = w[i];
            }
        } else {
            const double* x = reals + row * m;
            for (size_t i = 0; i < m; ++i) {
                e.components[i] = fitOrRangeError<int16_t>(std::nearbyint(x[i]));
                e.reals[i] = x[i];
            }
        }
    }
};

// Where the results of the rows go; null for those not asked for.
struct Outputs {
    uint16_t* codes;
    uint8_t* categories;
    uint16_t* paths;   // (n, K)
    uint8_t* errors;   // (n, K, 3)
    uint32_t* counts;  // (K, 3), summed over the rows
};

// Codes rows [from, to) with a coder of its own, by the fast coder or, with
// `reference`, by EncodeEvent.
void codeRows(const Tree& t, const Rows& rows, size_t from, size_t to, uint16_t K, bool reference,
              const Outputs& out) {
    CoderState coder = t.coder;
    TwordArray path(static_cast<size_t>(t.tree.HeapTop) + 1);
    TErrorRecordArray errors(static_cast<size_t>(t.tree.treeSizesNb()));
    const std::array<bool, 3> active{t.tree.cath[0].active != 0, t.tree.cath[1].active != 0,
                                     t.tree.cath[2].active != 0};
    reported([&] {
        FastCoder fast(t.tree, coder, reference ? CoderKind::Reference : CoderKind::Fast);
        // A block of rows at a time: the coder makes its decisions ahead for
        // them, where they spare work, and settles its counts.
        constexpr size_t kBlock = 256;
        std::vector<EventRecord> events(std::min(kBlock, to - from));
        std::vector<EncodeResult> results(events.size());
        for (size_t base = from; base < to; base += kBlock) {
            const size_t count = std::min(kBlock, to - base);
            for (size_t j = 0; j < count; ++j) rows.event(base + j, events[j]);
            const FastCoder::EventCoded each = [&](size_t j, const TwordArray& walked,
                                                   const std::vector<ErrorFlags>& flags) {
                if (!coder.remarks.empty()) {
                    std::string said;
                    for (const std::string& r : coder.remarks)
                        said += (said.empty() ? "" : "\r\n") + r;
                    throw Failure(said);
                }
                const size_t row = base + j;
                if (out.paths != nullptr) std::copy_n(walked.begin(), K, out.paths + row * K);
                if (out.errors != nullptr)
                    for (size_t s = 0; s < K; ++s) {
                        const ErrorFlags& f = flags[s];
                        uint8_t* e = out.errors + (row * K + s) * 3;
                        e[0] = active[0] ? f.cath1 : 0;
                        e[1] = active[1] ? f.cath2 : 0;
                        e[2] = active[2] ? f.cath3 : 0;
                    }
            };
            fast.encodeMany(K, events.data(), count, path, errors, results.data(), each);
            for (size_t j = 0; j < count; ++j) {
                const size_t row = base + j;
                out.codes[row] = results[j].code;
                out.categories[3 * row] = results[j].cath1;
                out.categories[3 * row + 1] = results[j].cath2;
                out.categories[3 * row + 2] = results[j].cath3;
            }
        }
    });
    if (out.counts != nullptr)
        for (size_t s = 0; s < K; ++s) {
            out.counts[3 * s] = errors[s].cath1;
            out.counts[3 * s + 1] = errors[s].cath2;
            out.counts[3 * s + 2] = errors[s].cath3;
        }
}

// Removes the running time average from the rows' components in time
// order, as a run does from its first event on.
void averageRows(const Tree& t, Rows& rows) {
    const AnalysisSettings& a = t.tree.training;
    if (a.averagingFrames < 1 || a.averagingFrames > kAveragingRows)
        throw Failure("The tree was trained with time averaging over " +
                      std::to_string(a.averagingFrames) +
                      " frames, but the averaging window must hold 1 to 401 frames.\r\n"
                      "No event has been coded.");
    std::vector<int16_t> averaged(rows.n * kComponents);
    reported([&] {
        AveragingState state;
        EventRecord e;
        for (size_t row = 0; row < rows.n; ++row) {
            rows.event(row, e);
            AveragingTransform(e, state, a.averagingFrames, t.tree.consideredComponentsNb,
                               static_cast<int64_t>(row), false);
            std::memcpy(averaged.data() + row * kComponents, e.components.data(),
                        sizeof e.components);
        }
    });
    rows.averaged = std::move(averaged);
}

// The most threads one call codes with.
constexpr int kMostThreads = 1024;

using Words = py::array_t<int16_t, py::array::c_style>;
using Reals = py::array_t<double, py::array::c_style>;
using Bytes = py::array_t<uint8_t, py::array::c_style>;

// Codes the rows of `vectors` (int16 or float64, (n, m), C order, m <= 129)
// at K clusters. Returns codes, categories, paths, errors and error counts
// (None where not asked for).
py::tuple encode(const Tree& t, const py::array& vectors, int K, bool paths, int threads,
                 bool averaging, const py::object& cath, bool reference) {
    if (vectors.ndim() != 2) throw Failure("The vectors must be a two-dimensional array");
    Rows rows;
    rows.plain = reference;
    rows.n = static_cast<size_t>(vectors.shape(0));
    rows.m = static_cast<size_t>(vectors.shape(1));
    if (rows.m > static_cast<size_t>(kComponents))
        throw Failure("An event has at most 129 components, not " + std::to_string(rows.m));
    if (K < 1 || K > t.tree.treeSizesNb())
        throw Failure("The number of clusters must be 1 to " +
                      std::to_string(t.tree.treeSizesNb()) + ", not " + std::to_string(K));
    if (threads < 1 || threads > kMostThreads)
        throw Failure("threads must be 1 to " + std::to_string(kMostThreads) + ", not " +
                      std::to_string(threads));
    Words words;
    Reals reals;
    if (py::isinstance<Words>(vectors)) {
        words = Words::ensure(vectors);
        rows.words = words.data();
    } else {
        reals = Reals::ensure(vectors);
        if (!reals) throw py::error_already_set();
        rows.reals = reals.data();
    }
    Bytes given;
    if (!cath.is_none()) {
        given = Bytes::ensure(cath);
        if (!given || given.ndim() != 2 || static_cast<size_t>(given.shape(0)) != rows.n ||
            given.shape(1) != 3)
            throw Failure("cath must be an (n, 3) array of bytes, one row per vector");
        rows.cath = given.data();
    }
    const size_t n = rows.n;
    const auto k = static_cast<size_t>(K);
    py::array_t<uint16_t> codes(static_cast<py::ssize_t>(n));
    py::array_t<uint8_t> categories({static_cast<py::ssize_t>(n), py::ssize_t{3}});
    py::object pathsOut = py::none(), errorsOut = py::none(), countsOut = py::none();
    Outputs out{codes.mutable_data(), categories.mutable_data(), nullptr, nullptr, nullptr};
    if (paths) {
        py::array_t<uint16_t> p({static_cast<py::ssize_t>(n), static_cast<py::ssize_t>(k)});
        out.paths = p.mutable_data();
        pathsOut = p;
        if (rows.cath != nullptr) {
            py::array_t<uint8_t> e(
                {static_cast<py::ssize_t>(n), static_cast<py::ssize_t>(k), py::ssize_t{3}});
            out.errors = e.mutable_data();
            errorsOut = e;
        }
    }
    const size_t parts = std::max<size_t>(1, std::min<size_t>(static_cast<size_t>(threads), n));
    std::vector<uint32_t> counts(parts * k * 3);
    {
        py::gil_scoped_release released;
        if (averaging && t.tree.training.averaging) averageRows(t, rows);
        std::vector<std::exception_ptr> failures(parts);
        const auto work = [&](size_t part) {
            try {
                Outputs mine = out;
                mine.counts = counts.data() + part * k * 3;
                codeRows(t, rows, n * part / parts, n * (part + 1) / parts,
                         static_cast<uint16_t>(K), reference, mine);
            } catch (...) {
                failures[part] = std::current_exception();
            }
        };
        // A thread that cannot be started ends the call once the threads
        // started have done their part; nothing is left running.
        std::vector<std::thread> helpers;
        std::string notStarted;
        for (size_t part = 1; part < parts && notStarted.empty(); ++part) {
            try {
                helpers.emplace_back(work, part);
            } catch (const std::system_error& e) {
                notStarted = "Thread " + std::to_string(part + 1) + " of " + std::to_string(parts) +
                             " could not be started (" + e.what() + "): code with fewer threads.";
            }
        }
        if (notStarted.empty()) work(0);
        for (std::thread& h : helpers) h.join();
        if (!notStarted.empty()) throw Failure(notStarted);
        for (const std::exception_ptr& f : failures)
            if (f) std::rethrow_exception(f);
    }
    if (rows.cath != nullptr) {
        py::array_t<uint32_t> c({static_cast<py::ssize_t>(k), py::ssize_t{3}});
        uint32_t* sum = c.mutable_data();
        std::fill_n(sum, k * 3, 0u);
        for (size_t part = 0; part < parts; ++part)
            for (size_t i = 0; i < k * 3; ++i) sum[i] += counts[part * k * 3 + i];
        countsOut = c;
    }
    return py::make_tuple(codes, categories, pathsOut, errorsOut, countsOut);
}

// The header record's fields as the program reads them, and the messages
// reading them showed.
py::tuple fvsHeader(const py::bytes& record) {
    const std::string bytes = record;
    if (bytes.size() < kFvsRecordSize) throw Failure("Read beyond end of file");
    const auto* h = reinterpret_cast<const uint8_t*>(bytes.data());
    const FvsHeaderFields f = reported([&] { return ParseFvsHeader(h); });
    const AnalysisSettings& s = f.settings;
    py::dict d;
    d["records"] = f.records;
    d["fft_window_width"] = s.fftWindowWidth;
    d["filter"] = s.filter;
    d["scaling_constants"] = s.scalingConstants;
    d["window_shape"] = s.windowShape;
    d["preemphasis"] = s.preemphasis;
    d["lifter_threshold"] = s.lifterThreshold;
    d["real_type_size"] =
        static_cast<int16_t>(h[kFvsParameterArea + 4] | (h[kFvsParameterArea + 5] << 8));
    d["frame_step"] = s.frameStep;
    d["rate"] = s.rate;
    d["wave_name"] = py::bytes(f.waveName).attr("decode")("latin-1");
    d["cath_nbr"] = std::vector<int>(f.cathNbr.begin(), f.cathNbr.end());
    return py::make_tuple(d, f.remarks);
}

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

bool startsWith(const std::string& bytes, size_t at, const char* text) {
    return bytes.compare(at, std::strlen(text), text) == 0;
}

// Refuses a file that cannot be an fvs file: one of another kind the
// program knows (audio, a combined output, a tree), one with no whole header
// record or whose size is no whole number of records (the engine's
// refusals, in its words), one whose header record holds only text or only
// zeros. `head` is the file's first bytes (up to a record), `size` its size.
void checkFvs(const py::bytes& head, uint64_t size, const std::string& path) {
    const std::string bytes = head;
    if (bytes.size() >= 12 && startsWith(bytes, 0, "RIFF") && startsWith(bytes, 8, "WAVE"))
        throw Failure(quoted(path) +
                      " is a WAV audio file, not an fvs file: an fvs file holds the feature "
                      "vectors of an analysis of the audio.");
    const auto count = encodeOutputRecord(TOutputRecord{kCertificateSize / kOutputRecordSize});
    if (bytes.size() >= count.size() &&
        std::equal(count.begin(), count.end(), reinterpret_cast<const uint8_t*>(bytes.data())))
        throw Failure(quoted(path) +
                      " is a combined output file (.zrt), not an fvs file: read it with read_zrt.");
    if (isTreeHeading(bytes.substr(0, bytes.find_first_of("\r\n"))))
        throw Failure(quoted(path) + " is a tree file, not an fvs file: read it with read_tree.");
    if (size < kFvsRecordSize)
        throw Failure("The fvs file " + quoted(path) + " holds no header record (" +
                      std::to_string(kFvsRecordSize) + " bytes): Read beyond end of file");
    if (size % kFvsRecordSize != 0)
        throw Failure("The fvs file " + quoted(path) + " holds " + std::to_string(size) +
                      " bytes, no whole number of " + std::to_string(kFvsRecordSize) +
                      "-byte records.");
    if (bytes.size() < kFvsRecordSize) return;  // read by the caller as far as it can
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; }))
        throw Failure(quoted(path) +
                      " is not an fvs file: its header record (the first 1812 bytes) is all "
                      "zeros, where an fvs header records the analysis.");
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u == '\t' || u == '\r' || u == '\n' || (u >= 32 && u != 127);
        }))
        throw Failure(quoted(path) +
                      " holds text, not an fvs file (a text table is coded by code_files; "
                      "its rows can be read with numpy.loadtxt).");
}

// The header record for `header` (the keys fvsHeader gives; missing ones
// take the writer's defaults) declaring `records` events.
py::bytes fvsHeaderRecord(const py::dict& header, uint32_t records) {
    FvsHeader h;
    const auto get = [&header](const char* key, auto& field) {
        if (!header.contains(key)) return;
        using Field = std::decay_t<decltype(field)>;
        try {
            field = header[key].cast<Field>();
        } catch (const py::cast_error&) {
            throw Failure("The header's \"" + std::string(key) + "\" cannot be " +
                          (std::is_floating_point_v<Field> ? std::string("a real number")
                                                           : "a 16-bit integer") +
                          ": " + py::repr(header[key]).cast<std::string>());
        }
    };
    h.recordCount = records;
    get("fft_window_width", h.fftWindowWidth);
    get("filter", h.filter);
    get("scaling_constants", h.scalingConstants);
    get("window_shape", h.windowShape);
    if (header.contains("preemphasis")) {
        uint16_t flag = 0;
        get("preemphasis", flag);
        if (flag > 1) throw Failure("The header's \"preemphasis\" must be True or False");
        h.preemphasis = flag;
    }
    get("lifter_threshold", h.lifterThreshold);
    get("real_type_size", h.realTypeSize);
    get("frame_step", h.frameStep);
    get("rate", h.rate);
    if (header.contains("wave_name")) {
        const std::string name = header["wave_name"].attr("encode")("latin-1").cast<std::string>();
        if (name.size() > 255) throw Failure("The wave file name has more than 255 characters");
        h.waveName = name;
    }
    if (header.contains("cath_nbr")) {
        std::vector<int> counts;
        try {
            counts = header["cath_nbr"].cast<std::vector<int>>();
        } catch (const py::cast_error&) {
        }
        if (counts.size() != 3 ||
            std::any_of(counts.begin(), counts.end(), [](int c) { return c < 0 || c > 255; }))
            throw Failure("The header's \"cath_nbr\" must be three counts of 0 to 255");
        for (size_t i = 0; i < 3; ++i) h.cathNbr[i] = static_cast<uint8_t>(counts[i]);
    }
    const FvsRecord r = reported([&] { return encodeFvsHeader(h); });
    return py::bytes(reinterpret_cast<const char*>(r.data()), r.size());
}

}  // namespace

// The corpus functions (_corpus.cpp), the training functions (_train.cpp)
// and the analysis functions (_analysis.cpp).
void defineCorpus(py::module_& m);
void defineTraining(py::module_& m);
void defineAnalysis(py::module_& m);

}  // namespace zortan::python

PYBIND11_MODULE(_zortan, m) {
    using namespace zortan;
    using namespace zortan::python;
    m.doc() = "The program's tree reader and coder (see the package zortan).";
    m.attr("__version__") = ZORTAN_VERSION;
    static py::exception<Failure> error(m, "Error", PyExc_Exception);
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const Failure& e) {
            error(e.what());
        } catch (const RangeError& e) {
            error(e.what());
        } catch (const InOutError& e) {
            error(e.what());
        }
    });

    py::class_<Tree>(m, "Tree")
        .def_property_readonly("centroids_nb", [](const Tree& t) { return t.tree.centroidsNb; })
        .def_property_readonly("full_size", &Tree::fullSize)
        .def_property_readonly("tree_sizes", [](const Tree& t) { return t.tree.treeSizesNb(); })
        .def_property_readonly("labels",
                               [](const Tree& t) {
                                   return std::vector<std::string>(t.labels.begin(),
                                                                   t.labels.end());
                               })
        .def_property_readonly("settings", &settingsOf)
        .def_property_readonly("cath_lists",
                               [](const Tree& t) {
                                   return std::vector<std::string>{chars(t.tree.cath[0].list),
                                                                   chars(t.tree.cath[1].list),
                                                                   chars(t.tree.cath[2].list)};
                               })
        .def_property_readonly("nodes", &nodesOf)
        .def_readonly("messages", &Tree::messages)
        .def("encode", &encode, py::arg("vectors"), py::arg("K"), py::arg("paths"),
             py::arg("threads"), py::arg("averaging"), py::arg("cath"), py::arg("reference"))
        .def("text", &treeText)
        .def("write", &writeTree, py::arg("path"));

    m.def("read_tree", &readTree, py::arg("path"));
    m.def("tree_from_text", &treeFromText, py::arg("text"), py::arg("name"));
    m.def("fvs_header", &fvsHeader, py::arg("record"));
    m.def("check_fvs", &checkFvs, py::arg("head"), py::arg("size"), py::arg("path"));
    m.def("fvs_header_record", &fvsHeaderRecord, py::arg("header"), py::arg("records"));
    m.def(
        "io_error_text", [](int err) { return std::string(ioErrorFromErrno(err).what()); },
        py::arg("errno"));
    m.attr("RECORD_SIZE") = kFvsRecordSize;
    m.attr("COMPONENTS") = kComponents;
    m.attr("MOST_THREADS") = kMostThreads;
    // A combined output file: its record size, the certificate's size and
    // the count record that opens it (the number of the certificate's
    // records), as the outputs write them.
    m.attr("OUTPUT_RECORD_SIZE") = kOutputRecordSize;
    m.attr("CERTIFICATE_SIZE") = kCertificateSize;
    {
        const auto count = encodeOutputRecord(TOutputRecord{kCertificateSize / kOutputRecordSize});
        m.attr("CERTIFICATE_COUNT_RECORD") =
            py::bytes(reinterpret_cast<const char*>(count.data()), count.size());
    }
    defineCorpus(m);
    defineTraining(m);
    defineAnalysis(m);
}
