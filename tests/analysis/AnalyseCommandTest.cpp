// zortan-analyse end to end: a recording and its TextGrid into an fvs file
// the engine reads, its frames labelled at their centres, the label map
// written and taken back, and what it refuses.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/EventSources.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

using testing::readFileBytes;
using testing::TempDir;

int run(const std::string& line) {
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One second of a tone at 16 kHz.
std::string writeTone(const TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    SF_INFO info{};
    info.samplerate = 16000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<short> s(16000);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] =
            static_cast<short>(std::lrint(3000.0 * std::sin(2 * 3.14159265 * 220.0 * i / 16000.0)));
    sf_writef_short(f, s.data(), static_cast<sf_count_t>(s.size()));
    sf_close(f);
    return path;
}

// The short text form: a word tier and a phone tier.
const char* kTextGrid =
    "File type = \"ooTextFile\"\nObject class = \"TextGrid\"\n\n0\n1\n<exists>\n2\n"
    "\"IntervalTier\"\n\"words\"\n0\n1\n2\n0\n0.5\n\"yes\"\n0.5\n1\n\"no\"\n"
    "\"IntervalTier\"\n\"phones\"\n0\n1\n3\n0\n0.3\n\"j\"\n0.3\n0.6\n\"eh\"\n0.6\n1\n\"\"\n";

std::vector<EventRecord> eventsOf(const std::string& path, SourceInfo& info) {
    auto source = OpenEventFile(path);
    info = source->info();
    std::vector<EventRecord> events;
    EventRecord e;
    bool faulty = false;
    while (source->next(e, 0, 129, faulty)) events.push_back(e);
    return events;
}

TEST(AnalyseCommand, ARecordingAndItsAnnotationBecomeLabelledFrames) {
    TempDir dir;
    const std::string exe = ZORTAN_ANALYSE_EXE;
    const std::string wav = writeTone(dir, "say.wav");
    dir.write("say.TextGrid", kTextGrid);
    ASSERT_EQ(
        run(exe + " --out " + dir.file("out") + " --cath1 words --cath2 phones --quiet " + wav), 0);
    SourceInfo info;
    const std::vector<EventRecord> events = eventsOf(dir.file("out/say.fvs"), info);
    // Frames of 256 samples every 10 ms: (16000 - 256) / 160 + 1.
    ASSERT_EQ(events.size(), 99u);
    EXPECT_EQ(info.declaredEvents, 99);
    EXPECT_EQ(info.settings.frameStep, 10.0);
    EXPECT_EQ(info.settings.rate, 16000.0);
    EXPECT_EQ(info.settings.windowShape, 1);
    EXPECT_TRUE(info.settings.preemphasis);
    EXPECT_EQ(info.settings.lifterThreshold, 24);
    EXPECT_EQ(info.settings.fftWindowWidth, 256);
    // Frame f is centred at (160 f + 128) / 16000 s: words change at 0.5 s
    // (frame 49 is centred at 0.498), phones at 0.3 and 0.6, none after.
    const std::string map = readFileBytes(dir.file("out/labels.map"));
    const auto charOf = [&](const std::string& label) {
        const size_t at = map.find("\t" + label + "\r\n");
        EXPECT_NE(at, std::string::npos) << label;
        return at == std::string::npos ? '?' : map[at - 1];
    };
    EXPECT_EQ(events[49].cath1, charOf("yes"));
    EXPECT_EQ(events[50].cath1, charOf("no"));
    EXPECT_EQ(events[29].cath2, 'j');
    EXPECT_EQ(events[30].cath2, charOf("eh"));
    EXPECT_EQ(events[60].cath2, '-');
    EXPECT_EQ(events[10].cath3, '-');
    EXPECT_NE(charOf("yes"), charOf("no"));

    // A second part of the corpus keeps the map's characters.
    const std::string second = writeTone(dir, "again.wav");
    dir.write("again.TextGrid", kTextGrid);
    ASSERT_EQ(run(exe + " --out " + dir.file("out2") + " --cath1 words --label-map " +
                  dir.file("out/labels.map") + " --quiet " + second),
              0);
    EXPECT_EQ(eventsOf(dir.file("out2/again.fvs"), info)[60].cath1, charOf("no"));

    // An existing file is kept; a missing recording fails alone (exit 1); a
    // tier that is not there names the tiers; a wrong option is exit 2.
    EXPECT_EQ(run(exe + " --out " + dir.file("out") + " --quiet " + wav + " 2>/dev/null"), 1);
    EXPECT_EQ(run(exe + " --out " + dir.file("out3") + " --quiet " + wav + " " +
                  dir.file("missing.wav") + " 2>" + dir.file("err.txt")),
              1);
    EXPECT_NE(readFileBytes(dir.file("err.txt")).find("missing.wav"), std::string::npos);
    EXPECT_EQ(run(exe + " --out " + dir.file("out4") + " --cath1 vowels --quiet " + wav + " 2>" +
                  dir.file("err.txt")),
              1);
    EXPECT_NE(readFileBytes(dir.file("err.txt")).find("phones"), std::string::npos);
    EXPECT_EQ(run(exe + " --out " + dir.file("out5") + " --window hann " + wav + " 2>/dev/null"),
              2);
}

// Features of another program: a NumPy array of 10 frames of 13 values
// fills the mel cepstrum's slot, scaled and rounded, at the step given.
TEST(AnalyseCommand, FeaturesOfAnotherProgramFillTheVectorAsked) {
    TempDir dir;
    std::string header = "{'descr': '<f4', 'fortran_order': False, 'shape': (10, 13), }";
    header.resize(118 - 1, ' ');
    header += '\n';
    std::string npy = std::string("\x93NUMPY\x01\x00", 8);
    npy += static_cast<char>(header.size() & 0xFF);
    npy += static_cast<char>(header.size() >> 8);
    npy += header;
    for (int f = 0; f < 10; ++f)
        for (int d = 0; d < 13; ++d) {
            const float v = static_cast<float>(f) + static_cast<float>(d) / 8.0f;
            char bytes[4];
            std::memcpy(bytes, &v, 4);  // the test machine is little-endian, as '<f4'
            npy.append(bytes, 4);
        }
    const std::string path = dir.write("mfcc.npy", npy);
    ASSERT_EQ(run(std::string(ZORTAN_ANALYSE_EXE) + " --from npy --kind mel-cepstrum --scale 100 " +
                  "--step 12.5 --quiet --out " + dir.file("out") + " " + path),
              0);
    SourceInfo info;
    auto source = OpenEventFile(dir.file("out/mfcc.fvs"));
    info = source->info();
    EXPECT_EQ(info.settings.frameStep, 12.5);
    EventRecord e;
    bool faulty = false;
    for (int f = 0; f < 10; ++f) {
        ASSERT_TRUE(source->next(e, 4, 129, faulty));
        EXPECT_EQ(e.components[3], std::lrint(100.0 * (f + 3 / 8.0)));
        EXPECT_EQ(e.components[13], 0);
    }
    EXPECT_FALSE(source->next(e, 4, 129, faulty));
}

}  // namespace
}  // namespace zortan
