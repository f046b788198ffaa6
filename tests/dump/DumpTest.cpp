// zortan-dump: the three kinds of file read back against what the fixture
// writers and the outputs were given, record ranges, damaged files, the CSV
// shape and the program's exit statuses.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>

#include "ZortanVersion.h"
#include "app/dump/Dump.h"
#include "output/CombinedOutput.h"
#include "output/TextOutputs.h"
#include "shell/InitFile.h"
#include "shell/ShellState.h"
#include "support/DataText.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tools/fixtures/TreeFileWriter.h"

namespace zortan::dump {
namespace {

using testing::TempDir;

// What zortan-dump prints for the file at `path`: the output, then standard
// error and the exit status.
std::string printed(const std::string& path, std::optional<int> kind = {}) {
    std::ostringstream out, err;
    const int status = run({{path}, {}, false, kind}, out, err);
    return out.str() + err.str() + "status " + std::to_string(status) + "\n";
}

RecordRange range(const std::string& text) {
    return parseRecordRange(text).value();
}

fixtures::TreeFileContents sixGroups() {
    auto c = fixtures::makeTree(6, 4);
    c.tree.treeHeading = "date 2026-12-06 six groups";
    c.tree.training.featureKind = 3;
    c.tree.training.rate = 22050.0;
    c.cathLabel2 = "Vowel, spoken";
    return c;
}

TEST(DumpTree, SettingsAndNodesAreThoseWrittenInTheRangeAsked) {
    TempDir dir;
    const std::string path = dir.file("six.vq");
    fixtures::writeTreeFile(path, sixGroups());
    EXPECT_EQ(printed(path), testing::dataText("dump-tree.txt", path));

    // Ranges are 0-based with both ends included; a malformed one is refused.
    for (const char* bad : {"4:2", "a:3", "1:b", "-1:3", "1:2:3", "", " 3"})
        EXPECT_FALSE(parseRecordRange(bad)) << bad;
    const std::pair<const char*, const char*> ranges[] = {{"2:4", "2 3 4"}, {"9:", "9 10"},
                                                          {":1", "0 1"},    {"10", "10"},
                                                          {"11:", ""},      {"10:99", "10"}};
    for (const auto& [asked, shown] : ranges) {
        std::string nodes;
        for (const auto& row : dumpTree(path, range(asked)).table.rows)
            nodes += (nodes.empty() ? "" : " ") + row[0];
        EXPECT_EQ(nodes, shown) << asked;
    }
}

// A file cut short shows the lines and nodes read whole and says where it
// ended (a node block: two headings, the numbers, a line per component); a
// file that is no tree says so.
TEST(DumpTree, ADamagedFileShowsWhatWasRead) {
    TempDir dir;
    const std::string text = fixtures::treeFileText(sixGroups()), path = dir.file("d.vq");
    const auto firstLines = [&](size_t n) {
        size_t at = 0;
        for (size_t i = 0; i < n; ++i) at = text.find('\n', at) + 1;
        return text.substr(0, at);
    };
    std::string all;
    for (const std::string& file : {firstLines(46 + 7 * 3 + 2), firstLines(12),
                                    firstLines(50) + "x y\r\n", "tree\r\n" + text})
        all += printed(dir.write("d.vq", file));
    EXPECT_EQ(all, testing::dataText("dump-tree-damaged.txt", path));
}

// 3 events; filter 2, window shape 1, preemphasis on, lifter threshold 24,
// realType size 4, step 12.5 ms, rate 16000 Hz, category counts 5 3 2.
fixtures::FvsHeader threeEventHeader() {
    return {3, 256, 2, 0, 1, 1, 24, 4, 12.5, 16000.0, "take 1.wav", {5, 3, 2}};
}

// Signal sample i of event e is i - 7e, component c of kind k 1000e - 100k - c.
std::vector<fixtures::FvsEvent> threeEvents() {
    std::vector<fixtures::FvsEvent> events(3);
    for (int e = 0; e < 3; ++e) {
        auto& ev = events[size_t(e)];
        for (int i = 0; i < 256; ++i) ev.signal[size_t(i)] = int16_t(i - 7 * e);
        for (size_t k = 0; k < 5; ++k)
            for (size_t c = 0; c < kComponents; ++c)
                ev.features[k][c] = int16_t(1000 * e - 100 * int(k) - int(c));
        ev.cath1 = char('a' + e), ev.cath3 = ',';
    }
    return events;
}

// The header and the events of one kind; all five kinds and the signal of
// the last event. A file cut short, with a wrong realType size, is read to
// its last whole record and fails; one without a whole header is not read.
TEST(DumpFvs, HeaderAndEventsAreThoseWrittenAndADamagedFileShowsWhatWasRead) {
    TempDir dir;
    const std::string path = dir.file("e.fvs");
    fixtures::writeFvsFile(path, threeEventHeader(), threeEvents());
    EXPECT_EQ(printed(path, 3), testing::dataText("dump-fvs.txt", path));
    const Dump last = dumpFvs(path, range("2:"), std::nullopt, true);
    ASSERT_EQ(last.table.rows.size(), 1u);
    ASSERT_EQ(last.table.columns.size(), 4u + 256u + 5u * 129u);
    std::string cells;
    for (size_t c : {0, 4, 259, 260, 777, 904})
        cells += last.table.columns[c] + "=" + last.table.rows[0].at(c) + " ";
    EXPECT_EQ(cells, "event=2 s0=-14 s255=241 v0_0=2000 v4_1=1599 v4_128=1472 ");

    auto header = threeEventHeader();
    header.realTypeSize = 3;
    fixtures::writeFvsFile(path, header, threeEvents());
    std::filesystem::resize_file(path, 4 * kFvsRecordSize - 900);
    EXPECT_EQ(dumpFvs(path, {}, 0, false).table.rows.size(), 2u);
    std::string damaged = printed(path, 0);
    std::filesystem::resize_file(path, 1000);
    damaged += printed(path, 0);
    EXPECT_EQ(damaged, testing::dataText("dump-fvs-damaged.txt", path));
}

// A combined file as the outputs write it: count record, certificate, two
// events.
std::string combinedFile() {
    InitFileOptions options;
    options.treeFileDir = "/data/trees/" + std::string(60, 'x') + ".vq";
    QuantizationTree tree;
    tree.training.featureKind = 4;
    tree.training.lifterThreshold = -5;
    tree.training.rate = 16000.0;
    tree.cath[0].set.insert('e');
    tree.cath[0].set.insert('a');
    EventSeries input1(1), input2(2);
    input1.settings.rate = 8000.0;
    input1.settings.lifterThreshold = 24;
    input1.cathNbr = {5, 3, 2};
    TreeDataTexts texts;
    const std::function<LocalDateTime()> clock = [] {
        return LocalDateTime{2026, 12, 6, 21, 5, 9, 0};
    };
    const HeaderSources sources{options, tree, input1, input2, texts, 300, false, clock};
    const auto image = buildCertificate(sources, " teaching output file ");
    std::string bytes = {char(253), 0, 0, 0, 0, 0};
    bytes.append(image.begin(), image.begin() + 1518);
    for (const TOutputRecord& r : {TOutputRecord{7, 'a', '1', 'v', 0}, {258, 'e', ' ', '\0', 0}}) {
        const auto e = encodeOutputRecord(r);
        bytes.append(e.begin(), e.end());
    }
    return bytes;
}

// Whole; cut inside the certificate (the fields of its whole records only);
// with a partial record; no certificate.
TEST(DumpZrt, CertificateAndRecordsAreThoseWritten) {
    TempDir dir;
    const std::string bytes = combinedFile(), path = dir.file("r.zrt");
    EXPECT_EQ(dumpZrt(dir.write("r.zrt", bytes), range("1:")).table.rows.size(), 1u);
    std::string all;
    for (const std::string& file : {bytes, bytes.substr(0, 992), bytes + "ab", std::string("ab")})
        all += printed(dir.write("r.zrt", file));
    EXPECT_EQ(all, testing::dataText("dump-zrt.txt", path));
}

// What run() prints and returns for one request.
struct Dumped {
    int status;
    std::string out, err;
};
Dumped ran(const Request& request) {
    std::ostringstream out, err;
    const int status = run(request, out, err);
    return {status, out.str(), err.str()};
}

// A .zrt file's count record names the certificate's records: 0 and 65535
// read as 253; any other count, and a field the outputs never write, fail
// it. A range that begins past the end fails a file, one that ends past it
// is remarked; the fvs events are counted as they are read.
TEST(DumpRun, WhatFailsAFileAndWhatIsRemarked) {
    TempDir dir;
    int files = 0;
    const auto zrt = [&](size_t at, const std::string& bytes) {
        return dir.write(std::to_string(++files) + ".zrt",
                         combinedFile().replace(at, bytes.size(), bytes));
    };
    const std::string fvs = dir.file("e.fvs"), tree = dir.file("t.vq"), whole = zrt(0, "");
    fixtures::writeFvsFile(fvs, threeEventHeader(), threeEvents());
    fixtures::writeTreeFile(tree, sixGroups());
    const std::tuple<std::string, const char*, int, std::string> cases[] = {
        {zrt(0, {100, 0}), "0:", 1, "it names 100 certificate records, a certificate has 253"},
        {zrt(5, {1}), "0:", 1, "its bytes after the count are not 0"},
        {zrt(6, std::string(8, '\xff')), "0:", 1, "its date is"},
        {zrt(6 + 16, {64}), "0:", 1,
         "its file heading is a text of 64 characters in a field of 63"},
        {zrt(6 + 465, {5}), "0:", 1, "its coded feature kind is item 5 of a list of 5"},
        {zrt(6 + 1245, {2}), "0:", 1, "its input preemphasis is 2, neither 0 nor 1"},
        {whole, "2:", 1, "no record from 2 on: the file holds 2 records (0 to 1)"},
        {whole, "1:5", 0, "records 2 to 5 are past the end: the file holds 2 records (0 to 1)"},
        {dir.write("n.zrt", combinedFile().substr(0, 254 * 6)), "0", 1,
         "no record from 0 on: the file holds 0 records\n"},
        {fvs, "3:", 1, "no record from 3 on: the file holds 3 records (0 to 2)"},
        {fvs, "2:9", 0, "records 3 to 9 are past the end"},
        {fvs, ":2", 0, ""},
        {tree, "11:", 1, "no record from 11 on: the file holds 11 records"}};
    for (const auto& [path, asked, status, remark] : cases) {
        const Dumped r = ran({{path}, range(asked), false, 0});
        EXPECT_EQ(r.status, status) << remark;
        EXPECT_EQ(r.err.empty(), remark.empty()) << r.err;
        EXPECT_NE(r.err.find(remark), std::string::npos) << asked << ": " << r.err;
    }
    std::string read[2];
    for (int i = 0; i < 2; ++i) {
        const Dumped r = ran({{zrt(0, std::string(2, char(i * 255)))}, {}, false, {}});
        EXPECT_EQ(r.status, 0) << r.err;
        read[i] = r.out.substr(r.out.find("date:")) + r.err.substr(r.err.find(" certificate"));
    }
    EXPECT_EQ(read[0], read[1]);
    EXPECT_NE(read[0].find("events:                              2\n"), std::string::npos);
}

// In text each file is headed by its name; in CSV the rows of files of one
// shape make one table, a file of another shape is refused; the failures
// are listed at the end.
TEST(DumpRun, SeveralFiles) {
    TempDir dir;
    const std::string fvs = dir.file("e.fvs"), tree = dir.file("t.vq");
    const std::string zrt = dir.write("r.zrt", combinedFile()), bad = dir.write("b", "x");
    fixtures::writeFvsFile(fvs, threeEventHeader(), threeEvents());
    fixtures::writeTreeFile(tree, sixGroups());
    const Dumped text = ran({{tree, bad, fvs, zrt}, range("1:1"), false, 0});
    EXPECT_EQ(text.status, 1);
    size_t at = 0;
    for (const std::string& path : {tree, bad, fvs, zrt}) {
        at = text.out.find((at == 0 ? "==> " : "\n\n==> ") + path + " <==\nfile:", at);
        EXPECT_TRUE(path == tree ? at == 0 : at != std::string::npos) << path;
    }
    EXPECT_NE(text.err.find("zortan-dump: 1 of 4 files not read whole:\n  " + bad + "\n"),
              std::string::npos);

    const Dumped csv = ran({{fvs, zrt, fvs}, range("1:2"), true, 0});
    EXPECT_EQ(csv.status, 1);
    EXPECT_EQ(csv.err.find("zortan-dump: " + zrt + ": its records have other columns"), 0u);
    std::istringstream lines(csv.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line.substr(0, line.find(',', line.find(',') + 1)));
    EXPECT_EQ(rows, (std::vector<std::string>{"file,event", fvs + ",1", fvs + ",2", fvs + ",1",
                                              fvs + ",2"}));
}

// A WAV file's header and a few samples.
std::string waveFile() {
    std::string bytes = "RIFF" + std::string("\x64\0\0\0", 4) + "WAVEfmt ";
    return bytes + std::string(20, '\1') + "data" + std::string(76, '\0');
}

TEST(DumpRun, KindFromTheNameOrTheContentAndCsv) {
    TempDir dir;
    const std::string tree = fixtures::treeFileText(sixGroups()), fvs = dir.file("f.fvs");
    fixtures::writeFvsFile(fvs, threeEventHeader(), threeEvents());
    std::string noise(1000, '\0');
    std::mt19937 draw(7);
    for (char& c : noise) c = char(draw());
    // The path, the kind and how it was told, or a part of the refusal. (The
    // pipes are the program's cases: opening one would wait here.)
    const std::tuple<std::string, std::optional<FileKind>, bool, std::string> cases[] = {
        {dir.write("t.dat", tree), FileKind::Tree, false, ""},
        {dir.write("z.bin", combinedFile()), FileKind::Zrt, false, ""},
        {dir.write("f.dat", testing::readFileBytes(fvs)), FileKind::Fvs, false, ""},
        {dir.write("e.VQ2", ""), FileKind::Tree, true, ""},
        {dir.write("e.Zrt", tree), FileKind::Zrt, true, ""},
        {dir.write("x.fvs", tree), FileKind::Fvs, true, ""},
        {dir.write("empty", ""), {}, false, "the file is empty"},
        {dir.write("zeros", std::string(60, '\0')), {}, false, "its 60 bytes are no whole"},
        {dir.write("noise.bin", noise), {}, false, "its 1000 bytes are no whole"},
        {dir.write("take.wav", waveFile()), {}, false, "a WAV file"},
        {dir.path(), {}, false, "not a regular file but a folder"},
        {"/dev/null", {}, false, "not a regular file but a character device"}};
    for (const auto& [path, kind, byExtension, refusal] : cases) {
        const KindOfFile found = fileKind(path);
        EXPECT_EQ(found.kind, kind) << path;
        EXPECT_EQ(found.byExtension, byExtension) << path;
        EXPECT_NE(found.refusal.find(refusal), std::string::npos) << path << ": " << found.refusal;
        EXPECT_EQ(found.refusal.empty(), kind.has_value()) << path;
    }

    // The CSV holds one header row and one row per record, all as wide.
    std::ostringstream csv, err;
    EXPECT_EQ(run({{fvs}, range("1:"), true, {}}, csv, err), 0);
    EXPECT_EQ(err.str(), "");
    std::istringstream lines(csv.str());
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].substr(0, 24), "event,cath1,cath2,cath3,");
    EXPECT_EQ(rows[2].substr(0, 9), "2,c,a,\",\"");
    // 905 columns; cath3 is a quoted comma.
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(std::count(rows[i].begin(), rows[i].end(), ','), i == 0 ? 904 : 905) << i;
}

// Runs a program by the shell, its output into `out`. One that does not
// end within the time, or prints without end, is killed (timeout, a 2 MB
// file size limit), so that such a fault fails its case instead of hanging.
std::pair<int, std::string> ranProgram(const std::string& exe, const std::string& args,
                                       const std::string& out) {
    const int ended = std::system(
        ("ulimit -f 4096; timeout 20 \"" + exe + "\" " + args + " >\"" + out + "\" 2>&1").c_str());
    const int status = WIFEXITED(ended) ? WEXITSTATUS(ended) : -1;
    return {status == 124 ? -1 : status, testing::readFileBytes(out)};
}

// Wrong command lines are status 2; a file that cannot be read, or not
// whole, is named on standard error with the reader's message, status 1; a
// pipe or a device is refused, not waited on. zortan-treeinfo ends on every
// command line too: a refused file is named, status 1.
TEST(DumpProgram, CommandLinesAndTheSamples) {
    TempDir dir;
    const std::string samples = ZORTAN_SAMPLES, none = dir.file("none.fvs");
    const std::string cut = dir.write("cut.vq", fixtures::treeFileText(sixGroups()).substr(0, 900));
    const std::string pipe = dir.file("pipe.fvs"), notes = dir.write("notes.vq", "no tree\n");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    // zortan-treeinfo keeps its Init.txt beside itself: a copy runs here.
    const std::string dump = ZORTAN_DUMP_EXE, info = dir.file("zortan-treeinfo");
    std::filesystem::copy_file(ZORTAN_TREEINFO_EXE, info);
    // The program, the arguments, the exit status, a part of what it printed.
    const std::tuple<std::string, std::string, int, std::string> cases[] = {
        {dump, "--version", 0, "zortan-dump " ZORTAN_VERSION "\n"},
        {dump, "--help", 0, "Exit status: 0 when every file"},
        {dump, "", 2, "FILE"},
        {dump, "--records 5:2 x.fvs", 2, "5:2"},
        {dump, "--kind 5 x.fvs", 2, "--kind"},
        {dump, "--frames x.fvs", 2, "--frames"},
        {dump, none, 1, "zortan-dump: " + none + ": File not found\n"},
        {dump, cut, 1,
         "vq: the file ends too early: node block 2 of 11 is missing or incomplete\n"},
        {dump, "--csv --records 476: " + samples + "/vowels.fvs", 0, "\n476,"},
        {dump, "--records 476: " + samples + "/vowels.fvs", 0, "category counts:     5 3 2\n"},
        {dump, samples + "/vowels-cep16-centroids32.vq", 0, "groups:"},
        {dump, "--csv " + samples + "/vowels-melcep16-cart32.vq", 0, "\n62,leaf,"},
        {dump, pipe, 1, "zortan-dump: " + pipe + ": not a regular file but a pipe (FIFO)"},
        {dump, "--csv " + dir.file("pipe"), 1, "pipe: not a regular file but a pipe (FIFO)"},
        {dump, "/dev/zero", 1, "not a regular file but a character device"},
        {dump, "--records 477: " + samples + "/vowels.fvs", 1, "no record from 477 on"},
        {dump, "--records 0 " + samples + "/vowels.fvs " + none, 1, "1 of 2 files not read"},
        {info, "--help", 0, "usage: zortan-treeinfo [--write-sample] TREEFILE\n"},
        {info, "", 2, "usage:"},
        {info, "-x " + notes, 2, "usage:"},
        {info, none, 1, "zortan-treeinfo: " + none + ": not read: Error in file name, (" + none},
        {info, pipe, 1, "zortan-treeinfo: " + pipe + ": not read: \"" + pipe + "\" is not a"},
        {info, notes, 1, "zortan-treeinfo: " + notes + ": not read: You haven't pointed"},
        {info, samples + "/vowels-cep16-centroids32.vq", 0, "Clusters:   32\n"},
        {info, "--write-sample -- " + dir.file("-sample.vq"), 0, "Clusters:   6\n"},
    };
    const std::string out = dir.file("out");
    for (const auto& [exe, args, status, part] : cases) {
        const auto [ended, printed] = ranProgram(exe, args, out);
        EXPECT_EQ(ended, status) << exe << " " << args;
        EXPECT_NE(printed.find(part), std::string::npos) << args << "\n" << printed.substr(0, 2000);
    }
}

}  // namespace
}  // namespace zortan::dump
