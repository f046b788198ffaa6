// zortan-dump: the three kinds of file read back against what the fixture
// writers and the outputs were given, record ranges, damaged files, the CSV
// shape and the program's exit statuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

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
    const int status = run({path, {}, false, kind}, out, err);
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
// its last whole record; one without a whole header not at all.
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

TEST(DumpRun, KindFromTheNameOrTheContentAndCsv) {
    TempDir dir;
    const std::string tree = fixtures::treeFileText(sixGroups()), fvs = dir.file("f.fvs");
    fixtures::writeFvsFile(fvs, threeEventHeader(), threeEvents());
    const std::pair<std::string, FileKind> cases[] = {
        {dir.write("t.dat", tree), FileKind::Tree},
        {dir.write("z.bin", combinedFile()), FileKind::Zrt},
        {dir.write("f.dat", testing::readFileBytes(fvs)), FileKind::Fvs},
        {dir.write("e.VQ2", ""), FileKind::Tree},
        {dir.write("e.Zrt", tree), FileKind::Zrt},
        {dir.write("x.fvs", tree), FileKind::Fvs}};
    for (const auto& [path, kind] : cases) EXPECT_EQ(fileKind(path), kind) << path;

    // The CSV holds one header row and one row per record, all as wide.
    std::ostringstream csv, err;
    EXPECT_EQ(run({fvs, range("1:"), true, {}}, csv, err), 0);
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

// Wrong command lines are status 2; a file that cannot be read, or not
// whole, is named on standard error with the reader's message, status 1.
TEST(DumpProgram, CommandLinesAndTheSamples) {
    TempDir dir;
    const std::string samples = ZORTAN_SAMPLES, none = dir.file("none.fvs");
    const std::string cut = dir.write("cut.vq", fixtures::treeFileText(sixGroups()).substr(0, 900));
    // The arguments, the exit status, a part of the output or standard error.
    const std::tuple<std::string, int, std::string> cases[] = {
        {"--version", 0, "zortan-dump 2.a\n"},
        {"--help", 0, "--records"},
        {"", 2, "FILE"},
        {"--records 5:2 x.fvs", 2, "5:2"},
        {"--kind 5 x.fvs", 2, "--kind"},
        {"--frames x.fvs", 2, "--frames"},
        {none, 1, "zortan-dump: " + none + ": File not found\n"},
        {cut, 1, "vq: the file ends too early: node block 2 of 11 is missing or incomplete\n"},
        {"--csv --records 476: " + samples + "/vowels.fvs", 0, "\n476,"},
        {"--records 476: " + samples + "/vowels.fvs", 0, "category counts:     5 3 2\n"},
        {samples + "/vowels-cep16-centroids32.vq", 0, "groups:"},
        {"--csv " + samples + "/vowels-melcep16-cart32.vq", 0, "\n62,leaf,"},
    };
    const std::string out = dir.file("out");
    for (const auto& [args, status, part] : cases) {
        const int ended =
            std::system(("\"" ZORTAN_DUMP_EXE "\" " + args + " >\"" + out + "\" 2>&1").c_str());
        const std::string printed = testing::readFileBytes(out);
        EXPECT_EQ(WIFEXITED(ended) ? WEXITSTATUS(ended) : -1, status) << args;
        EXPECT_NE(printed.find(part), std::string::npos) << args << "\n" << printed.substr(0, 2000);
    }
}

}  // namespace
}  // namespace zortan::dump
