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
#include "support/TempDir.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tools/fixtures/TreeFileWriter.h"

namespace zortan::dump {
namespace {

using testing::TempDir;

// What `find` gives for each of the names in `names` ("a|b"), joined the
// same way; "-" where it gives nothing.
template <typename Find>
std::string joined(const std::string& names, Find find) {
    std::string text;
    std::istringstream in(names);
    for (std::string name; std::getline(in, name, '|');) {
        const std::string* value = find(name);
        text += (text.empty() ? "" : "|") + (value ? *value : "-");
    }
    return text;
}

std::string values(const Dump& d, const std::string& keys) {
    return joined(keys, [&](const std::string& key) -> const std::string* {
        for (const Field& f : d.fields)
            if (f.key == key) return &f.value;
        return nullptr;
    });
}

// The cells of record `row` in the columns named.
std::string cells(const Dump& d, size_t row, const std::string& names) {
    return joined(names, [&](const std::string& name) -> const std::string* {
        for (size_t c = 0; c < d.table.columns.size(); ++c)
            if (d.table.columns[c] == name) return &d.table.rows.at(row).at(c);
        return nullptr;
    });
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
    const auto c = sixGroups();
    const std::string path = dir.file("six.vq");
    fixtures::writeTreeFile(path, c);
    const Dump d = dumpTree(path, {});
    EXPECT_EQ(d.problem, "");
    EXPECT_EQ(values(d, "heading|groups|nodes|feature kind|rate|cath2 label"),
              c.tree.treeHeading + "|6|11 (0..10)|3 (cepstrum)|22050 Hz|Vowel, spoken");
    std::string list;
    for (int i = 0; i <= c.tree.cath1Nbr; ++i)
        list += (i ? " " : "") + characterText(c.tree.cath1List[size_t(i)]);
    EXPECT_EQ(values(d, "cath1 list"), list);

    ASSERT_EQ(d.table.rows.size(), 11u);
    ASSERT_EQ(d.table.columns.size(), 12u + 4u);
    for (size_t k = 0; k < 11; ++k) {
        const TreeNode& n = c.tree.nodeHeap[k];
        EXPECT_EQ(cells(d, k, "node|type|son|brother|code|val2"),
                  std::to_string(k) + (n.son > 0 ? "|split|" : "|leaf|") + std::to_string(n.son) +
                      "|" + std::to_string(n.brother) + "|" + std::to_string(n.code) + "|" +
                      characterText(c.tree.cath2List[n.treeCath2]));
        EXPECT_EQ(std::stod(cells(d, k, "c3")), n.centroid[3]) << k;  // exactly
    }

    // Ranges are 0-based with both ends included; a malformed one is refused.
    for (const char* bad : {"4:2", "a:3", "1:b", "-1:3", "1:2:3", "", " 3"})
        EXPECT_FALSE(parseRecordRange(bad)) << bad;
    const struct {
        const char* range;
        const char* nodes;
    } cases[] = {{"2:4", "2 3 4"}, {"9:", "9 10"}, {":1", "0 1"},
                 {"10", "10"},     {"11:", ""},    {"10:99", "10"}};
    for (const auto& c : cases) {
        std::string nodes;
        for (const auto& row : dumpTree(path, range(c.range)).table.rows)
            nodes += (nodes.empty() ? "" : " ") + row[0];
        EXPECT_EQ(nodes, c.nodes) << c.range;
    }
}

// A file cut short shows the lines and nodes read whole and says where it
// ended; a file that is no tree says so.
TEST(DumpTree, ADamagedFileShowsWhatWasRead) {
    TempDir dir;
    const std::string text = fixtures::treeFileText(sixGroups());
    const auto firstLines = [&](size_t n) {
        size_t at = 0;
        for (size_t i = 0; i < n; ++i) at = text.find('\n', at) + 1;
        return text.substr(0, at);
    };
    // A node block: two headings, the numbers, and one line per component.
    const Dump nodes = dumpTree(dir.write("a.vq", firstLines(46 + 7 * 3 + 2)), {});
    EXPECT_NE(nodes.problem.find("node block 4 of 11"), std::string::npos) << nodes.problem;
    EXPECT_EQ(nodes.table.rows.size(), 3u);
    EXPECT_EQ(values(nodes, "cath3 label"), "Gender");

    const Dump early = dumpTree(dir.write("b.vq", firstLines(12)), {});
    EXPECT_NE(early.problem.find("line 13"), std::string::npos) << early.problem;
    EXPECT_EQ(values(early, "active categories|averaging"), "1 1 1|-");
    EXPECT_TRUE(early.table.rows.empty());

    const Dump numbers = dumpTree(dir.write("c.vq", firstLines(50) + "x y\r\n"), {});
    EXPECT_EQ(numbers.problem, "in the node blocks: Invalid numeric input");

    const Dump none = dumpTree(dir.write("d.vq", "tree\r\n" + text), {});
    EXPECT_NE(none.problem.find("\"date\""), std::string::npos);
    EXPECT_TRUE(none.table.columns.empty());
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
        ev.cath1 = char('a' + e);
        ev.cath3 = ',';
    }
    return events;
}

TEST(DumpFvs, HeaderAndEventsAreThoseWritten) {
    TempDir dir;
    const std::string path = dir.file("e.fvs");
    fixtures::writeFvsFile(path, threeEventHeader(), threeEvents());
    const Dump d = dumpFvs(path, {}, 3, false);
    EXPECT_EQ(d.problem, "");
    EXPECT_TRUE(d.notes.empty());
    EXPECT_EQ(values(d,
                     "declared events|events in the file|filter|window shape|preemphasis|"
                     "frame step|wave name|category counts"),
              "3|3|2 (1000)|1 (Gauss)|yes|12.5 ms|take 1.wav|5 3 2");
    ASSERT_EQ(d.table.columns.size(), 4u + 2u + 129u);
    ASSERT_EQ(d.table.rows.size(), 3u);
    for (int e = 0; e < 3; ++e)
        EXPECT_EQ(cells(d, size_t(e), "cath1|smin|smax|v3_128"),
                  std::string(1, char('a' + e)) + "|" + std::to_string(-7 * e) + "|" +
                      std::to_string(255 - 7 * e) + "|" + std::to_string(1000 * e - 428));

    // All five kinds and the signal, of the last event only.
    const Dump last = dumpFvs(path, range("2:"), std::nullopt, true);
    ASSERT_EQ(last.table.rows.size(), 1u);
    EXPECT_EQ(last.table.columns.size(), 4u + 256u + 5u * 129u);
    EXPECT_EQ(cells(last, 0, "event|s0|s255|v0_0|v4_1"), "2|-14|241|2000|1599");
}

TEST(DumpFvs, ADamagedFileShowsWhatWasRead) {
    TempDir dir;
    const std::string path = dir.file("e.fvs");
    auto header = threeEventHeader();
    header.realTypeSize = 3;
    fixtures::writeFvsFile(path, header, threeEvents());
    std::filesystem::resize_file(path, 4 * kFvsRecordSize - 900);
    const Dump d = dumpFvs(path, {}, 0, false);
    EXPECT_EQ(d.problem, "");
    EXPECT_EQ(d.table.rows.size(), 2u);
    ASSERT_EQ(d.notes.size(), 4u);  // the size message for the step and the rate
    EXPECT_NE(d.notes[0].find("realType size"), std::string::npos);
    EXPECT_EQ(d.notes[2], "the header declares 3 events, the file holds 2");
    EXPECT_EQ(d.notes[3], "the file ends with a partial record of 912 bytes");
    EXPECT_EQ(values(d, "frame step"), "0 ms");

    std::filesystem::resize_file(path, 1000);
    EXPECT_NE(dumpFvs(path, {}, 0, false).problem.find("no whole header"), std::string::npos);
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
    tree.cath1Set.insert('e');
    tree.cath1Set.insert('a');
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

TEST(DumpZrt, CertificateAndRecordsAreThoseWritten) {
    TempDir dir;
    const std::string bytes = combinedFile();
    const Dump d = dumpZrt(dir.write("r.zrt", bytes), {});
    EXPECT_EQ(d.problem, "");
    EXPECT_TRUE(d.notes.empty());
    EXPECT_EQ(values(d,
                     "date|time|file heading|clusters|coded feature kind|training rate|"
                     "input rate|training lifter threshold|input lifter threshold|cath1 set|"
                     "input cath2 count|training window caption|events"),
              "2026-12-06|21:05:09| teaching output file |255|4 (mel cepstrum)|16000 Hz|"
              "8000 Hz|-5|24|a e|3|Widows shape|2");
    EXPECT_EQ(values(d, "tree file"), "/data/trees/" + std::string(51, 'x'));  // 63 characters
    ASSERT_EQ(d.table.rows.size(), 2u);
    EXPECT_EQ(d.table.rows[0], (std::vector<std::string>{"0", "7", "a", "1", "v"}));
    EXPECT_EQ(d.table.rows[1], (std::vector<std::string>{"1", "258", "e", "#32", "#0"}));
    EXPECT_EQ(dumpZrt(dir.write("s.zrt", bytes), range("1:")).table.rows.size(), 1u);

    // Cut inside the certificate: the fields of its whole records only.
    const Dump cut = dumpZrt(dir.write("c.zrt", bytes.substr(0, 992)), {});
    EXPECT_NE(cut.problem.find("ends inside the certificate"), std::string::npos);
    EXPECT_EQ(values(cut, "training window shape|set choice criterion"), "-1 (none)|-");
    EXPECT_TRUE(cut.table.columns.empty());

    const Dump tail = dumpZrt(dir.write("t.zrt", bytes + "ab"), {});
    EXPECT_EQ(tail.problem, "");
    EXPECT_EQ(tail.notes,
              std::vector<std::string>{"the file ends with a partial record of 2 bytes"});
    EXPECT_EQ(tail.table.rows.size(), 2u);
    EXPECT_NE(dumpZrt(dir.write("u.zrt", "ab"), {}).problem, "");
}

TEST(DumpRun, KindFromTheNameOrTheContentCsvAndText) {
    TempDir dir;
    const std::string tree = fixtures::treeFileText(sixGroups()), fvs = dir.file("f.fvs");
    fixtures::writeFvsFile(fvs, threeEventHeader(), threeEvents());
    const struct {
        std::string path;
        FileKind kind;
    } cases[] = {{dir.write("t.dat", tree), FileKind::Tree},
                 {dir.write("z.bin", combinedFile()), FileKind::Zrt},
                 {dir.write("f.dat", testing::readFileBytes(fvs)), FileKind::Fvs},
                 {dir.write("e.VQ2", ""), FileKind::Tree},
                 {dir.write("e.Zrt", tree), FileKind::Zrt},
                 {dir.write("x.fvs", tree), FileKind::Fvs}};
    for (const auto& c : cases) EXPECT_EQ(fileKind(c.path), c.kind) << c.path;

    // The CSV holds one header row and one row per record, all as wide; the
    // text starts with the file's settings, the records after a blank line.
    std::ostringstream csv, text, err;
    EXPECT_EQ(run({fvs, range("1:"), true, {}}, csv, err) + run({fvs, {}, false, 0}, text, err), 0);
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
    const std::string t = text.str();
    EXPECT_EQ(t.substr(0, t.find('\n', t.find('\n') + 1)),
              "file:                " + fvs + "\nkind:                fvs event file");
    EXPECT_NE(t.find("\n\nevent  cath1  cath2  cath3    smin    smax    v0_0"), std::string::npos);
}

// Wrong command lines are status 2; a file that cannot be read, or not
// whole, is named on standard error with the reader's message, status 1.
TEST(DumpProgram, CommandLinesAndTheSamples) {
    TempDir dir;
    const std::string samples = ZORTAN_SAMPLES, none = dir.file("none.fvs");
    const std::string cut = dir.write("cut.vq", fixtures::treeFileText(sixGroups()).substr(0, 900));
    const struct {
        std::string args;
        int status;
        std::string printed;  // in the output or on standard error
    } cases[] = {
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
    for (const auto& c : cases) {
        const std::string out = dir.file("out"), err = dir.file("err");
        const int status = std::system(
            ("\"" ZORTAN_DUMP_EXE "\" " + c.args + " >\"" + out + "\" 2>\"" + err + "\"").c_str());
        const std::string printed = testing::readFileBytes(out) + testing::readFileBytes(err);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status) << c.args;
        EXPECT_NE(printed.find(c.printed), std::string::npos) << c.args << "\n"
                                                              << printed.substr(0, 2000);
    }
}

}  // namespace
}  // namespace zortan::dump
