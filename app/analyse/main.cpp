// zortan-analyse: recordings and their annotations into fvs files, the
// events the other programs code.
#include <CLI/CLI.hpp>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ZortanVersion.h"
#include "analysis/Labels.h"
#include "analysis/Recording.h"
#include "platform/Errors.h"
#include "platform/Host.h"

namespace {

using namespace zortan;
using namespace zortan::analysis;
namespace fs = std::filesystem;

const std::vector<std::string> kWindowNames = {"rectangle", "gauss", "kaiser-bessel",
                                               "blackman-harris", "flattop"};

// One recording: where its labels come from and where its events go.
struct Job {
    std::string audio, labels, out;
    std::optional<Annotation> annotation;
    std::array<const Tier*, 3> tiers{};
    std::string failure;
    std::vector<std::string> warnings;
    size_t frames = 0;
};

// The annotation beside a recording: the same name with the extension of
// one of the formats read.
std::string annotationBeside(const std::string& audio) {
    for (const char* ext : {".TextGrid", ".textgrid", ".lab", ".phn", ".wrd", ".txt"}) {
        fs::path p(audio);
        p.replace_extension(ext);
        std::error_code ec;
        if (fs::is_regular_file(p, ec)) return p.string();
    }
    return {};
}

int kindOf(const std::string& name) {
    const std::vector<std::string> kinds = {"power", "smoothed", "mel", "cepstrum", "mel-cepstrum"};
    return static_cast<int>(std::find(kinds.begin(), kinds.end(), name) - kinds.begin());
}

// Writes an fvs file under a name of its own, renamed when whole: `write`
// adds the events and returns the header.
AnalysedRecording writeWhole(const std::string& path,
                             const std::function<AnalysedRecording(FvsFileWriter&)>& write) {
    const std::string staged = siblingTempName(path);
    try {
        AnalysedRecording r;
        {
            FvsFileWriter writer(staged);
            r = write(writer);
            writer.finish(r.header);
        }
        replaceFile(staged, path);
        return r;
    } catch (...) {
        std::error_code ec;
        fs::remove(staged, ec);
        throw;
    }
}

std::string seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", s);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Analyses recordings (any format libsndfile reads: WAV, FLAC, Ogg, ...) into fvs\n"
        "files DIR/<name>.fvs: a frame of 256 samples every --step ms, each with its samples,\n"
        "the five feature vectors of 129 components (power spectrum, cepstrally smoothed\n"
        "spectrum and mel smoothed spectrum in 0.01 dB; cepstrum and mel cepstrum in\n"
        "thousandths) and three qualifiers: the labels at the frame's centre of the tiers\n"
        "--cath1..3 of its annotation (Praat TextGrid, HTK/ESPS .lab, TIMIT .phn/.wrd,\n"
        "Audacity labels), found beside it by name or given with --labels. Labels of\n"
        "several characters are mapped to one character each; the map is written to\n"
        "DIR/labels.map and read back with --label-map. Frames outside every labelled\n"
        "interval take '-'. Several channels are mixed (their mean) unless --channel.\n"
        "Each file is written under a name of its own and renamed when whole.\n"
        "With --from htk|npy the inputs are features of another program (HTK parameter\n"
        "files, e.g. from Kaldi's copy-feats --htk-in=false --write-htk, or NumPy arrays of\n"
        "frames x dims, e.g. librosa's features transposed): each frame's values times\n"
        "--scale plus --offset, rounded, fill the vector --kind; HTK files give their step,\n"
        "arrays take --step; frame f is labelled at (f + 0.5) * step.\n\n"
        "Exit status: 0 every file written, 1 some failed (the summary names them), 2 a\n"
        "wrong command line.",
        "zortan-analyse"};
    app.allow_windows_style_options(false);
    std::string outDir, window = "gauss", preemphasisText = "0.95", labelMapIn, channelText = "mix";
    double rate = 0.0, step = 10.0, gaussWidth = 0.4, kaiserBeta = 8.0;
    int lifter = 24;
    unsigned jobs = 1;
    bool overwrite = false, quiet = false;
    std::vector<std::string> audio, labels;
    std::string from, kindName = "mel-cepstrum";
    double scale = 1.0, offset = 0.0;
    std::array<std::string, 3> cathTiers;
    app.add_option("--out", outDir, "the folder of the fvs files")->required()->option_text("DIR");
    app.add_option("--rate", rate, "resample to this rate (default: the recording's)")
        ->check(CLI::Range(kLowestRate, kHighestRate))
        ->option_text("HZ");
    app.add_option("--step", step, "ms between frames")
        ->check(CLI::Range(0.01, 10000.0))
        ->option_text("MS")
        ->capture_default_str();
    app.add_option("--window", window, "the window")
        ->check(CLI::IsMember(kWindowNames))
        ->option_text("rectangle|gauss|kaiser-bessel|blackman-harris|flattop")
        ->capture_default_str();
    app.add_option("--gauss-width", gaussWidth,
                   "the Gauss window's standard deviation, as a share of half the frame")
        ->check(CLI::Range(0.01, 10.0))
        ->capture_default_str();
    app.add_option("--kaiser-beta", kaiserBeta, "the Kaiser-Bessel window's beta")
        ->check(CLI::Range(0.0, 50.0))
        ->capture_default_str();
    app.add_option("--preemphasis", preemphasisText, "x[n] - COEF x[n-1], or off")
        ->option_text("COEF|off")
        ->capture_default_str();
    app.add_option("--lifter", lifter, "cepstral coefficients kept by the smoothed spectrum")
        ->check(CLI::Range(1, 129))
        ->capture_default_str();
    app.add_option("--channel", channelText, "the channel taken (1 = the first), or mix")
        ->option_text("N|mix")
        ->capture_default_str();
    app.add_option("--labels", labels, "the annotation of each recording, in their order")
        ->option_text("FILE");
    for (size_t c = 0; c < 3; ++c)
        app.add_option("--cath" + std::to_string(c + 1), cathTiers[c],
                       "the tier (name or number) that gives qualifier " + std::to_string(c + 1) +
                           (c == 0 ? " (default: the first tier)" : " (default: none, '-')"))
            ->option_text("TIER");
    app.add_option("--label-map", labelMapIn, "a map written by an earlier run, extended")
        ->option_text("FILE");
    app.add_option("--from", from,
                   "the inputs are features of another program, HTK parameter files or NumPy "
                   ".npy arrays (frames x dims), not recordings")
        ->check(CLI::IsMember({"htk", "npy"}))
        ->option_text("htk|npy");
    app.add_option("--kind", kindName, "with --from: the vector slot the features fill")
        ->check(CLI::IsMember({"power", "smoothed", "mel", "cepstrum", "mel-cepstrum"}))
        ->capture_default_str();
    app.add_option("--scale", scale, "with --from: each value times SCALE plus OFFSET, rounded")
        ->capture_default_str();
    app.add_option("--offset", offset, "with --from: see --scale")->capture_default_str();
    app.add_option("--jobs", jobs, "recordings analysed at once")->check(CLI::Range(1u, 64u));
    app.add_flag("--overwrite", overwrite, "replace fvs files that exist");
    app.add_flag("--quiet", quiet, "print nothing but failures and warnings");
    app.add_option("audio", audio, "the recordings")->required()->type_name("AUDIO");
    app.set_version_flag("--version", "zortan-analyse " ZORTAN_VERSION);

    RecordingOptions options;
    AudioOptions audioOptions;
    try {
        app.parse(argc, argv);
        if (!labels.empty() && labels.size() != audio.size())
            throw CLI::ValidationError("--labels", "give one annotation per recording, in order");
        if (preemphasisText == "off") {
            options.frame.preemphasis = 0.0;
        } else {
            size_t used = 0;
            options.frame.preemphasis = std::stod(preemphasisText, &used);
            if (used != preemphasisText.size() || !(std::fabs(options.frame.preemphasis) <= 1.0))
                throw CLI::ValidationError("--preemphasis", "a coefficient of -1 to 1, or off");
        }
        if (channelText != "mix") {
            size_t used = 0;
            const int channel = std::stoi(channelText, &used);
            if (used != channelText.size() || channel < 1)
                throw CLI::ValidationError("--channel", "a channel from 1, or mix");
            audioOptions.channel = channel - 1;
        }
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    } catch (const std::logic_error&) {
        std::fprintf(stderr, "zortan-analyse: --preemphasis and --channel take numbers\n");
        return 2;
    }
    options.stepMs = step;
    options.frame.window = static_cast<Window>(
        std::find(kWindowNames.begin(), kWindowNames.end(), window) - kWindowNames.begin());
    options.frame.gaussWidth = gaussWidth;
    options.frame.kaiserBeta = kaiserBeta;
    options.frame.lifter = lifter;
    audioOptions.rate = rate;

    if (!makeFolders(outDir) || !folderExists(outDir)) {
        std::fprintf(stderr, "zortan-analyse: the folder \"%s\" cannot be made\n", outDir.c_str());
        return 1;
    }
    // The annotations are read, and their labels mapped, in the order of the
    // recordings, so the map does not depend on --jobs.
    LabelMap map;
    try {
        if (!labelMapIn.empty()) map = LabelMap::Read(labelMapIn);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zortan-analyse: %s\n", e.what());
        return 1;
    }
    std::map<std::string, char> chars;  // the map's characters, read by the jobs
    std::vector<Job> work(audio.size());
    for (size_t i = 0; i < audio.size(); ++i) {
        Job& job = work[i];
        job.audio = audio[i];
        job.out = (fs::path(outDir) / fs::path(audio[i]).stem()).string() + ".fvs";
        job.labels = labels.empty() ? annotationBeside(audio[i]) : labels[i];
        if (!overwrite && (fileExists(job.out) || folderExists(job.out))) {
            job.failure = "\"" + job.out + "\" exists; it is kept (--overwrite replaces it).";
            continue;
        }
        if (job.labels.empty()) continue;
        try {
            // TIMIT's sample positions need the recording's rate: it is
            // read from the file's header before the samples.
            const double sourceRate =
                !from.empty() ? (rate > 0 ? rate : 16000.0) : ReadAudioRate(job.audio);
            job.annotation = ReadAnnotation(job.labels, sourceRate);
            for (size_t c = 0; c < 3; ++c) {
                const std::string tier = !cathTiers[c].empty() ? cathTiers[c] : c == 0 ? "1" : "";
                if (tier.empty() || (cathTiers[c].empty() && job.annotation->tiers.empty()))
                    continue;
                job.tiers[c] = &TierNamed(*job.annotation, tier);
                for (const Interval& in : job.tiers[c]->intervals)
                    if (!in.label.empty()) chars[in.label] = map.charFor(in.label);
            }
        } catch (const std::exception& e) {
            job.failure = e.what();
        }
    }

    const char outside = map.outside();
    std::atomic<size_t> next{0};
    std::mutex printing;
    const auto analyse = [&] {
        for (size_t i; (i = next++) < work.size();) {
            Job& job = work[i];
            if (!job.failure.empty()) continue;
            try {
                const QualifiersAt qualifiersAt = [&](double at) {
                    std::array<char, 3> q{outside, outside, outside};
                    for (size_t c = 0; c < 3; ++c)
                        if (job.tiers[c] != nullptr)
                            if (const Interval* in = IntervalAt(*job.tiers[c], at))
                                q[c] = chars.at(in->label);
                    return q;
                };
                if (!from.empty()) {
                    const FeatureMatrix m = from == "htk" ? ReadHtk(job.audio) : ReadNpy(job.audio);
                    // An HTK file gives its period; an array takes --step.
                    const double stepMs =
                        m.framePeriodSeconds > 0 ? m.framePeriodSeconds * 1000.0 : options.stepMs;
                    const AnalysedRecording r =
                        ImportFeatures(m, Conversion{scale, offset}, kindOf(kindName), stepMs,
                                       rate > 0 ? rate : 16000.0, job.audio, qualifiersAt);
                    if (r.clamped > 0)
                        job.warnings.push_back(std::to_string(r.clamped) +
                                               " values were clamped to the 16-bit range.");
                    writeWhole(job.out, [&](FvsFileWriter& w) {
                        for (const FvsEvent& e : r.events) w.add(e);
                        return r;
                    });
                    job.frames = r.events.size();
                } else {
                    const Audio a = ReadAudio(job.audio, audioOptions);
                    if (a.clipped > 0)
                        job.warnings.push_back(std::to_string(a.clipped) +
                                               " samples beyond the 16-bit range were clipped.");
                    // Each record written as it is made.
                    const AnalysedRecording r = writeWhole(job.out, [&](FvsFileWriter& w) {
                        return AnalyseRecording(a, options, qualifiersAt,
                                                [&](const FvsEvent& e) { w.add(e); });
                    });
                    if (job.annotation) {
                        const double duration = static_cast<double>(a.samples.size()) / a.rate;
                        const double gap = job.annotation->end() - duration;
                        if (std::fabs(gap) > options.stepMs / 1000.0)
                            job.warnings.push_back("the annotation \"" + job.labels + "\" is " +
                                                   seconds(std::fabs(gap)) +
                                                   (gap > 0 ? " longer" : " shorter") +
                                                   " than the recording.");
                    }
                    if (r.clamped > 0)
                        job.warnings.push_back(
                            std::to_string(r.clamped) +
                            " feature components were clamped to the 16-bit range.");
                    job.frames = r.header.recordCount;
                }
            } catch (const std::exception& e) {
                job.failure = e.what();
            }
            if (!quiet || !job.failure.empty() || !job.warnings.empty()) {
                std::lock_guard<std::mutex> lock(printing);
                if (job.failure.empty())
                    std::fprintf(stderr, "%s: %zu frames into %s\n", job.audio.c_str(), job.frames,
                                 job.out.c_str());
                else
                    std::fprintf(stderr, "%s: failed: %s\n", job.audio.c_str(),
                                 job.failure.c_str());
                for (const std::string& w : job.warnings)
                    std::fprintf(stderr, "    warning: %s\n", w.c_str());
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < jobs && t < work.size(); ++t) {
        try {
            threads.emplace_back(analyse);
        } catch (const std::system_error&) {
            break;
        }
    }
    analyse();
    for (std::thread& t : threads) t.join();

    size_t failed = 0;
    for (const Job& job : work) failed += !job.failure.empty();
    const std::string mapPath = (fs::path(outDir) / "labels.map").string();
    try {
        map.Write(mapPath);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zortan-analyse: the label map \"%s\" could not be written: %s\n",
                     mapPath.c_str(), e.what());
        ++failed;
    }
    if (failed > 0) {
        std::fprintf(stderr, "%zu of %zu recordings failed:\n", failed, work.size());
        for (const Job& job : work)
            if (!job.failure.empty())
                std::fprintf(stderr, "  %s: %s\n", job.audio.c_str(), job.failure.c_str());
        return 1;
    }
    if (!quiet)
        std::printf("%zu %s analysed into %s\n", work.size(),
                    work.size() == 1 ? "recording" : "recordings", outDir.c_str());
    return 0;
}
