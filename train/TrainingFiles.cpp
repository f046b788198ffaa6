#include "train/TrainingFiles.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <sstream>

#include "engine/EventSources.h"
#include "engine/TimeAveraging.h"
#include "platform/Errors.h"

namespace zortan::train {

namespace {

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string real(double v) {
    std::ostringstream o;
    o << v;
    return o.str();
}

std::string choice(int index, const char* const* names, size_t count) {
    if (index < 0 || static_cast<size_t>(index) >= count) return "none";
    return names[index];
}

// The first analysis field in which two inputs differ, as "name (a against
// b)", or empty.
std::string firstDifference(const AnalysisSettings& a, const AnalysisSettings& b) {
    struct Field {
        const char* name;
        std::function<std::string(const AnalysisSettings&)> text;
    };
    const Field fields[] = {
        {"filter",
         [](const AnalysisSettings& s) {
             return choice(s.filter, kFilterNames.data(), kFilterNames.size());
         }},
        {"scaling constants",
         [](const AnalysisSettings& s) {
             return choice(s.scalingConstants, kScalingConstantsNames.data(),
                           kScalingConstantsNames.size());
         }},
        {"window shape",
         [](const AnalysisSettings& s) {
             return choice(s.windowShape, kWindowShapeNames.data(), kWindowShapeNames.size());
         }},
        {"preemphasis",
         [](const AnalysisSettings& s) { return std::string(s.preemphasis ? "on" : "off"); }},
        {"lifter threshold",
         [](const AnalysisSettings& s) { return std::to_string(s.lifterThreshold); }},
        {"frame step", [](const AnalysisSettings& s) { return real(s.frameStep) + " ms"; }},
        {"sampling rate", [](const AnalysisSettings& s) { return real(s.rate) + " Hz"; }},
        {"FFT window width",
         [](const AnalysisSettings& s) { return std::to_string(s.fftWindowWidth); }},
    };
    for (const Field& f : fields) {
        const std::string x = f.text(a), y = f.text(b);
        if (x != y) return std::string(f.name) + " (" + y + " against " + x + ")";
    }
    return {};
}

// "0-15", "0-3,5,9-12": the members of the set below `count`.
std::string componentsText(const Set256& set, int32_t count) {
    std::string text;
    for (int32_t i = 0; i < count; ++i) {
        if (!set.contains(static_cast<unsigned>(i))) continue;
        int32_t last = i;
        while (last + 1 < count && set.contains(static_cast<unsigned>(last + 1))) ++last;
        if (!text.empty()) text += ",";
        text += std::to_string(i) + (last > i ? "-" + std::to_string(last) : "");
        i = last;
    }
    return text;
}

int32_t averagingFramesOf(const std::string& path, const AnalysisSettings& s, bool fvs,
                          int32_t ms) {
    if (ms <= 0) return 0;
    if (!fvs) {
        // A run averages a table over 10 events whatever the tree says.
        if (ms != 10)
            throw TrainingError(
                "A text table is averaged over 10 events (1 ms each) whatever "
                "the tree records: give 10 ms, not " +
                std::to_string(ms) + ".");
        return 10;
    }
    if (!(s.frameStep > 0.0))
        throw TrainingError(quoted(path) +
                            " records no frame step: its events cannot be "
                            "averaged over a time.");
    const double frames = std::nearbyint(ms / s.frameStep);
    if (frames < 1 || frames > kAveragingRows)
        throw TrainingError("An averaging window of " + std::to_string(ms) + " ms is " +
                            real(frames) + " frames of " + real(s.frameStep) +
                            " ms; it must hold 1 to " + std::to_string(kAveragingRows) +
                            " frames.");
    return static_cast<int32_t>(frames);
}

std::string namesText(const char* const* names, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += std::string(i ? ", " : "") + names[i];
    return text;
}

size_t indexNamed(const std::string& name, const char* const* names, size_t count,
                  const char* what) {
    for (size_t i = 0; i < count; ++i)
        if (name == names[i]) return i;
    throw TrainingError("No " + std::string(what) + " is named \"" + name + "\": give one of " +
                        namesText(names, count) + ".");
}

}  // namespace

const std::array<const char*, 5> kFeatureKindOptionNames = {"power", "smoothed", "mel", "cepstrum",
                                                            "mel-cepstrum"};

Rule RuleNamed(const std::string& name) {
    static constexpr const char* names[] = {"cart", "centroids"};
    return static_cast<Rule>(indexNamed(name, names, 2, "rule"));
}

Measure MeasureNamed(const std::string& name) {
    static constexpr const char* names[] = {"distortion", "recognition-error", "info-radius"};
    return static_cast<Measure>(indexNamed(name, names, 3, "measure"));
}

int FeatureKindNamed(const std::string& name) {
    return static_cast<int>(indexNamed(name, kFeatureKindOptionNames.data(),
                                       kFeatureKindOptionNames.size(), "feature kind"));
}

ComponentChoice ComponentsNamed(const std::string& text) {
    ComponentChoice c;
    const auto refuse = [&] {
        return TrainingError("\"" + text +
                             "\" names no components: give FIRST-LAST or a list "
                             "such as 0-11,13 (components 0 to 128).");
    };
    std::istringstream in(text);
    std::string item;
    bool any = false;
    while (std::getline(in, item, ',')) {
        const size_t dash = item.find('-');
        const std::string from = item.substr(0, dash);
        const std::string to = dash == std::string::npos ? from : item.substr(dash + 1);
        const auto number = [&](const std::string& s) {
            if (s.empty() || s.size() > 3 || s.find_first_not_of("0123456789") != std::string::npos)
                throw refuse();
            const int v = std::stoi(s);
            if (v >= kComponents) throw refuse();
            return v;
        };
        const int a = number(from), b = number(to);
        if (a > b) throw refuse();
        for (int i = a; i <= b; ++i) c.set.insert(static_cast<unsigned>(i));
        c.considered = std::max(c.considered, b + 1);
        any = true;
    }
    if (!any) throw refuse();
    return c;
}

TrainingSource ReadTrainingFiles(const std::vector<std::string>& paths, const ReadingOptions& o) {
    if (paths.empty()) throw TrainingError("No training files were given.");
    if (o.components < 0 || o.components > kComponents)
        throw TrainingError("The considered components must be 1 to 129, not " +
                            std::to_string(o.components) + ".");
    TrainingSource out;
    out.components = o.components;
    for (size_t f = 0; f < paths.size(); ++f) {
        const std::string& path = paths[f];
        std::unique_ptr<EventSource> source;
        try {
            source = OpenEventFile(path);
        } catch (const SourceRefusal& refusal) {
            throw TrainingError(refusal.what());
        } catch (const InOutError& error) {
            throw TrainingError(quoted(path) + " cannot be read: " + error.what());
        }
        const SourceInfo& info = source->info();
        if (f == 0) {
            out.fvs = info.fvs;
            out.settings = info.settings;
            if (info.fvs) {
                out.waveName = info.waveName;
                for (size_t c = 0; c < 3; ++c) out.active[c] = info.cathNbr[c] > 0;
            } else {
                out.labels = info.labels;
            }
            out.averagingFrames = averagingFramesOf(path, info.settings, info.fvs, o.averagingMs);
            if (out.components == 0) out.components = info.fvs ? kComponents : info.nc;
        } else if (info.fvs != out.fvs) {
            throw TrainingError(quoted(path) + " is " +
                                (info.fvs ? "an fvs file" : "a text table") + " and " +
                                quoted(paths[0]) +
                                " is not: a tree is trained on "
                                "events of one kind.");
        } else if (const std::string d = firstDifference(out.settings, info.settings); !d.empty()) {
            throw TrainingError(quoted(path) + " was analysed otherwise than " + quoted(paths[0]) +
                                ": " + d + ". A tree is trained on events of one analysis.");
        }
        if (!info.fvs &&
            (info.nc < out.components || (o.components == 0 && info.nc != out.components)))
            throw TrainingError(
                quoted(path) + " holds " + std::to_string(info.nc) + " components a row; " +
                std::to_string(out.components) +
                (o.components == 0 ? " in " + quoted(paths[0]) + "." : " were asked for."));
        if (out.components < 1 || out.components > kComponents)
            throw TrainingError(quoted(path) + " holds " + std::to_string(out.components) +
                                " components a row; a tree considers 1 to 129.");
        out.files.push_back(path);

        AveragingState averaging;
        EventRecord event;
        int64_t step = 0, taken = 0;
        try {
            bool faulty = false;
            while (source->next(event, o.featureKind, out.components, faulty)) {
                // A faulty row still moves the averaging on, as in a run.
                if (out.averagingFrames > 0)
                    AveragingTransform(event, averaging, out.averagingFrames, out.components, step,
                                       false);
                ++step;
                if (faulty) {
                    ++out.excluded;
                    faulty = false;
                    continue;
                }
                out.events.reals.push_back(event.reals);
                out.events.coded.push_back(event.components);
                out.events.cath.push_back({event.cath1, event.cath2, event.cath3});
                ++taken;
            }
        } catch (const RangeError&) {
            throw TrainingError(quoted(path) + ": the averaging takes a component of event " +
                                std::to_string(step + 1) + " beyond the 16-bit range.");
        } catch (const InOutError& error) {
            throw TrainingError(quoted(path) + " cannot be read after event " +
                                std::to_string(step) + ": " + error.what());
        }
        if (info.declaredEvents && *info.declaredEvents != step)
            out.warnings.push_back(quoted(path) + " declares " +
                                   std::to_string(*info.declaredEvents) + " events and holds " +
                                   std::to_string(step) + "; those held were taken.");
        (void)taken;
    }
    if (out.excluded > 0)
        out.warnings.push_back(std::to_string(out.excluded) +
                               " faulty rows were left out of the training.");
    return out;
}

TreeFileContents TreeFileOf(GrownTree grown, const TrainingSource& source, int featureKind,
                            int32_t averagingMs, const std::string& heading) {
    TreeFileContents c;
    c.tree = std::move(grown.tree);
    QuantizationTree& t = c.tree;
    t.treeHeading = "date " + heading;
    t.training = source.settings;
    t.training.featureKind = featureKind;
    t.training.averaging = source.averagingFrames > 0;
    t.training.averagingFrames = source.averagingFrames;
    t.training.eventsStandardisation = false;
    t.training.scalingFactor = 1.0;
    t.treeTraining.averagingWindowShape = 0;
    t.treeTraining.averagingWindowMs = source.averagingFrames > 0 ? averagingMs : 0;
    for (size_t i = 0; i < 3; ++i)
        t.treeTraining.classifierNames[i] = source.labels[i].substr(0, 7);
    t.excludeSetCard = source.excluded;
    t.featuresSetText = " components " + componentsText(t.constrainedSet, t.consideredComponentsNb);
    c.line2Number = static_cast<int32_t>(source.files.size());
    c.line2Text = "teaching file " + (source.files.empty() ? std::string() : source.files[0]);
    if (source.files.size() > 1)
        c.line2Text += " and " + std::to_string(source.files.size() - 1) + " more";
    c.waveFileDir = " " + (source.waveName.empty() ? std::string("no wave file") : source.waveName);
    c.cathLabel1 = source.labels[0];
    c.cathLabel2 = source.labels[1];
    c.cathLabel3 = source.labels[2];
    c.line46 = "nodes of the tree";
    return c;
}

}  // namespace zortan::train
