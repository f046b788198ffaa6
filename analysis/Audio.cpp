#include "analysis/Audio.h"

#include <sndfile.h>
#include <soxr.h>

#include <cmath>
#include <memory>

namespace zortan::analysis {

namespace {

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

struct SndCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

std::string rateText(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", rate);
    return text;
}

void checkRate(const std::string& path, double rate, const char* which) {
    if (!(rate >= kLowestRate && rate <= kHighestRate))
        throw AudioError(quoted(path) + ": " + which + " " + rateText(rate) +
                         " Hz is outside the " + rateText(kLowestRate) + " to " +
                         rateText(kHighestRate) + " Hz that frames of 256 samples are taken at.");
}

}  // namespace

std::vector<double> Resample(const std::vector<double>& samples, double from, double to) {
    if (samples.empty() || from == to) return samples;
    const size_t out = static_cast<size_t>(std::ceil(samples.size() * to / from)) + 16;
    std::vector<float> in(samples.begin(), samples.end()), result(out);
    size_t done = 0;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_error_t error =
        soxr_oneshot(from, to, 1, in.data(), in.size(), nullptr, result.data(), result.size(),
                     &done, nullptr, &quality, nullptr);
    if (error) throw AudioError(std::string("The resampling failed: ") + error);
    return std::vector<double>(result.begin(), result.begin() + static_cast<std::ptrdiff_t>(done));
}

double ReadAudioRate(const std::string& path) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndCloser> file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file)
        throw AudioError(quoted(path) + " cannot be read as audio: " + sf_strerror(nullptr) + ".");
    return info.samplerate;
}

Audio ReadAudio(const std::string& path, const AudioOptions& options) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndCloser> file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file)
        throw AudioError(quoted(path) + " cannot be read as audio: " + sf_strerror(nullptr) + ".");
    Audio audio;
    audio.path = path;
    audio.sourceRate = info.samplerate;
    audio.channels = info.channels;
    checkRate(path, audio.sourceRate, "its rate");
    if (options.rate != 0.0) checkRate(path, options.rate, "the rate asked for,");
    if (options.channel >= info.channels)
        throw AudioError(quoted(path) + " has " + std::to_string(info.channels) +
                         (info.channels == 1 ? " channel" : " channels") + "; channel " +
                         std::to_string(options.channel + 1) + " was asked for.");
    audio.rate = options.rate != 0.0 ? options.rate : audio.sourceRate;
    // 16-bit samples of one channel, kept as they are: read as they are.
    if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 && audio.rate == audio.sourceRate &&
        (info.channels == 1 || options.channel >= 0)) {
        const auto channels = static_cast<size_t>(info.channels);
        const auto channel = static_cast<size_t>(std::max(options.channel, 0));
        std::vector<int16_t> block(4096 * channels);
        for (;;) {
            const sf_count_t got = sf_readf_short(file.get(), block.data(), 4096);
            if (got <= 0) break;
            for (size_t f = 0; f < static_cast<size_t>(got); ++f)
                audio.samples.push_back(block[f * channels + channel]);
        }
        if (sf_error(file.get()) != SF_ERR_NO_ERROR)
            throw AudioError(quoted(path) +
                             " could not be read to its end: " + sf_strerror(file.get()) + ".");
        return audio;
    }
    // Otherwise as reals in the 16-bit scale (libsndfile scales integers to
    // +-1.0), one channel.
    sf_command(file.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
    std::vector<double> mono;
    mono.reserve(static_cast<size_t>(std::max<sf_count_t>(info.frames, 0)));
    std::vector<double> block(4096 * static_cast<size_t>(info.channels));
    for (;;) {
        const sf_count_t got = sf_readf_double(file.get(), block.data(), 4096);
        if (got <= 0) break;
        for (sf_count_t f = 0; f < got; ++f) {
            const double* frame = block.data() + f * info.channels;
            double v = 0.0;
            if (options.channel >= 0) {
                v = frame[options.channel];
            } else {
                for (int c = 0; c < info.channels; ++c) v += frame[c];
                v /= info.channels;
            }
            mono.push_back(v * 32768.0);
        }
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        throw AudioError(quoted(path) +
                         " could not be read to its end: " + sf_strerror(file.get()) + ".");
    if (audio.rate != audio.sourceRate) mono = Resample(mono, audio.sourceRate, audio.rate);
    audio.samples.reserve(mono.size());
    for (double v : mono) {
        double r = std::nearbyint(v);
        if (r > 32767.0 || r < -32768.0) {
            ++audio.clipped;
            r = r > 0 ? 32767.0 : -32768.0;
        }
        audio.samples.push_back(static_cast<int16_t>(r));
    }
    return audio;
}

}  // namespace zortan::analysis
