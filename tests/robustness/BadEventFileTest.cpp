// Bad event files given to "Read data_1": text tables and fvs files, with
// the messages each gives and what the run leaves in its outputs.
#include "events/TextEventReader.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/Session.h"

namespace zortan {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// What "Read data_1" on a damaged input must give: the messages by kind (see
// Workspace::kinds), the platform error, the qualifiers of the events
// written ("-": no run, nothing created), the category names and codes if given.
struct Expect {
    std::string kinds, error, coded, labels = "", codes = "";
};

// The qualifiers of the reference input's first n events.
std::string qualifiers(int n) {
    std::string q;
    for (int i = 0; i < n; ++i) q += (i ? " " : "") + testing::referenceEvent(i).cath;
    return q;
}

// A session that has read the reference tree, with both combined outputs on.
struct EventSession : testing::Session {
    EventSession() {
        p.shell.outputRecogCombined = true;
        EXPECT_TRUE(readTree() && p.shell.treeRead);
        ui.messages.clear();
    }

    void expectRun(const std::string& path, const Expect& e) {
        readData1(path);
        EXPECT_EQ(kinds(), e.kinds);
        EXPECT_EQ(ui.errors, e.error.empty() ? Lines{} : Lines{e.error});
        if (e.coded == "-") {
            // Nothing was created and the window is as before; a good table runs next.
            EXPECT_FALSE(fs::exists(dir.file("ev_Teach.zrt")) ||
                         fs::exists(dir.file("ev_error.txt")));
            EXPECT_TRUE(window.enabled(Command::ReadTree) && window.enabled(Command::ReadData1));
            EXPECT_TRUE(p.shell.clustersEditEnabled && !p.shell.clustersEditRed &&
                        p.shell.clustersEditText == "3");
            readData1(table("good.txt", {{}}));
            EXPECT_EQ(records("good_Teach.zrt").size(), 1u);
            return;
        }
        const auto teach = testing::readCombinedFile(bytes("ev_Teach.zrt"));
        std::string coded, codes;
        for (const auto& [code, q] : teach.records)
            coded += (coded.empty() ? "" : " ") + q, codes += std::to_string(code);
        EXPECT_TRUE(teach.wellFormed);
        EXPECT_EQ(coded, e.coded);
        EXPECT_TRUE(e.codes.empty() || codes == e.codes) << codes;
        const std::string labels = p.cathLabel1 + "|" + p.cathLabel2 + "|" + p.cathLabel3;
        EXPECT_TRUE(e.labels.empty() || labels == e.labels) << labels;
        EXPECT_EQ(records("ev_Recog.zrt").size(), teach.records.size());
        EXPECT_TRUE(reported("ev", int64_t(teach.records.size())));
        for (const std::string& m : ui.messages)
            EXPECT_TRUE((!m.starts_with("Error 100.\r\n") || m == error100Message(path)) &&
                        (m.find("holds no further") == std::string::npos ||
                         m == "The event file \"" + path + "\" holds no further event.\r\n" +
                                  std::to_string(teach.records.size()) +
                                  " events of it were coded; the run ends here."))
                << m;
    }
};

TEST(BadEventFile, TextTables) {
    const std::string header = "3\r\n32767\r\nV S G\r\n", range = "Range check error";
    // Row 2: a word among the values; row 3: too few values; row 4: only
    // qualifiers; row 5: overlong qualifiers push a letter into the values;
    // row 6: a value beyond 32 bits. Row 7 "abc" and row 8 "ab c" are taken
    // as three one-character qualifiers; 70000 keeps its low 16 bits. A
    // faulty row keeps the earlier row's components from where it failed:
    // row 2 codes its 5, rows 3 to 6 row 3's 90; 70000 is 4464.
    const std::string badRows =
        "a e f -20 0 0\r\nb i m 5 x 0\r\na o f 90 0\r\nb u m\r\naa ee ff 1 2 3\r\n"
        "a e f 3000000000 0 0\r\nabc 90 0 0\r\n\r\n   \t\r\nab c 70000 0 0\r\n";
    const std::string row = "a e f 1 2 3\r\n";
    const std::vector<std::pair<std::string, Expect>> cases = {
        // Header faults before nc stop the command before the run.
        {"only a comment\r\nand another\r\n", {"E", range, "-"}},
        {"", {"E", range, "-"}},
        {"4 events\r\nabc\r\n1\r\nV S G\r\na b c 1 2 3\r\n", {"E", range, "-"}},
        {"4 events\r\n-3\r\n1\r\nV S G\r\n", {"", range, "-"}},
        {"4 events\r\n70000\r\n1\r\nV S G\r\n", {"E", range, "-"}},
        // Later header faults: the items left are not read, the lines after
        // the fault are rows, and the names come from the count line. nc
        // beyond 16 bits (the settings check warns of it); a bad value
        // range; no header row before the end: no names at all.
        {"4 events\r\n40000\r\n32767\r\nV S G\r\na b c 1 2 3\r\n",
         {"EWEEDFC", "", "327 VSG abc", "4|events|Y3"}},
        {"4 events\r\n3\r\nwide\r\nV S G\r\na b c 1 2 3\r\n",
         {"EEDFC", "", "VSG abc", "4|events|Y3"}},
        {"4 events\r\n3\r\n32767", {"EDFC", "", "", "Y1|Y2|Y3"}},
        {"8 events\r\n" + header + badRows,
         {"EEEEEFC", "", "aef bim aof bum aae aef abc abc", "V|S|G", "02111111"}},
        // Fewer rows than counted end the run with one message; more rows:
        // the count wins, silently.
        {"10 events\r\n" + header, {"DFC", "", ""}},
        {"10 events\r\n" + header + row + row + row, {"DFC", "", "aef aef aef"}},
        {"2 events\r\n" + header + row + "b e f 1 2 3\r\nc e f\r\n", {"FC", "", "aef bef"}},
    };
    for (const auto& [text, expect] : cases) {
        SCOPED_TRACE(text);
        EventSession s;
        s.expectRun(s.dir.write("ev.txt", text), expect);
    }
}

TEST(BadEventFile, FvsFiles) {
    struct Case {
        uint32_t count;
        int16_t realTypeSize;
        size_t cut;  // bytes cut off the end of a file of three events
        Expect expect;
    };
    const std::string noHeader = "Read beyond end of file";
    const std::vector<Case> cases = {
        // A length that is no multiple of 1812 bytes: the whole records are coded.
        {3, 4, 1, {"DFC", "", qualifiers(2)}},
        {3, 4, 1811, {"DFC", "", qualifiers(2)}},
        // A record count larger or smaller than the file.
        {4294967295u, 4, 0, {"DFC", "", qualifiers(3)}},
        {1, 4, 0, {"FC", "", qualifiers(1)}},
        {0, 4, 0, {"FC", "", ""}},
        // A wrong realType size reads step and rate as zero, with a warning each.
        {3, 0, 0, {"SSWFC", "", qualifiers(3)}},
        {3, 8, 0, {"SSWFC", "", qualifiers(3)}},
        {3, -1, 0, {"SSWFC", "", qualifiers(3)}},
        // No whole header: nothing runs.
        {3, 4, 4 * 1812, {"", noHeader, "-"}},
        {3, 4, 3 * 1812 + 1, {"", noHeader, "-"}},
    };
    for (const Case& c : cases) {
        const std::string size = std::to_string(c.realTypeSize);
        SCOPED_TRACE(std::to_string(c.count) + " " + size + " " + std::to_string(c.cut));
        EventSession s;
        const std::string path = s.fvs("ev.fvs", testing::referenceEvents(3),
                                       {.count = c.count, .realTypeSize = c.realTypeSize});
        fs::resize_file(path, 4 * 1812 - c.cut);
        s.expectRun(path, c.expect);
        if (c.expect.coded == "-") continue;
        EXPECT_EQ(s.p.data1.eventsCountText, std::to_string(c.count));
        if (c.realTypeSize == 4) continue;
        for (const char* parameter : {"STEP", "RATE"})
            EXPECT_EQ(
                testing::occurrences(
                    s.ui.messages.at(parameter[0] == 'R'),
                    "(=" + size + "), differs from the realType declaread here (=4).\r\nThe " +
                        "parameter\r\n\r\n" + parameter + "\r\n\r\nwill be incorrectly"),
                1u);
        EXPECT_EQ(s.p.data1.settings.frameStep, 0.0);
        EXPECT_EQ(s.p.data1.settings.rate, 0.0);
    }
}

// A wave name holding line ends keeps every text output's lines whole;
// categories whose labels are the same or empty get files of their own; a
// pipe is refused as an input with a message that says why.
TEST(BadEventFile, LineEndsInTextsSameLabelsAndPipes) {
    testing::Session s;
    s.allOutputs();
    s.readTree();
    s.readData1(s.fvs("ev.fvs", testing::referenceEvents(4), {.waveName = "a\r\nb\rc\nd"}));
    for (const char* name : {"ev_code.txt", "ev_teach_V.txt", "ev_recog_G.txt", "ev_error.txt"}) {
        const std::string text = s.bytes(name);
        ASSERT_FALSE(text.empty()) << name;
        EXPECT_EQ(testing::occurrences(text, "\r"), testing::occurrences(text, "\r\n")) << name;
        EXPECT_EQ(testing::occurrences(text, "\n"), testing::occurrences(text, "\r\n")) << name;
    }
    EXPECT_NE(s.bytes("ev_code.txt").find("\"a  b c d\""), std::string::npos);

    for (const auto& [labels, names] : std::vector<std::pair<Lines, Lines>>{
             {{"", "", ""}, {"cath1", "cath2", "cath3"}}, {{"V", "v", "G"}, {"V_1", "v_2", "G"}}}) {
        auto tree = testing::referenceTree();
        tree.cathLabel1 = labels[0], tree.cathLabel2 = labels[1], tree.cathLabel3 = labels[2];
        s.readTree(tree);
        s.readData1(s.fvs("t" + names[0] + ".fvs", testing::referenceEvents(3)));
        for (const std::string group : {"teach", "recog"})
            for (const std::string& n : names)
                EXPECT_EQ(testing::categoryPositions(
                              s.bytes("t" + names[0] + "_" + group + "_" + n + ".txt"))
                              .size(),
                          3u)
                    << group << " " << n;
    }

    const std::string pipe = s.dir.file("pipe.fvs");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    s.readTree();
    s.clearShown();
    s.click(Command::ReadData1, {pipe, s.fvs("p.fvs", testing::referenceEvents(1))});
    EXPECT_EQ(s.ui.messages.at(0), "\"" + pipe +
                                       "\" is not a regular file: only regular files can be "
                                       "read.\r\nChoose a file from the list.");
}

}  // namespace
}  // namespace zortan
