// Bad trees, text tables and fvs files: the message or error each gives,
// what is read or coded, and a window that stays usable.
#include "events/TextEventReader.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "support/DataText.h"
#include "support/Session.h"

namespace zortan {
namespace {

namespace fs = std::filesystem;
using fixtures::makeTree;
using fixtures::TreeFileContents;
using Lines = std::vector<std::string>;
using namespace zortan::testing;
using namespace std::string_literals;

Lines lines(const std::string& text) {
    Lines out;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        out.push_back(text.substr(at, end - at));
    return out;
}
std::string join(const Lines& ls) {
    std::string text;
    for (const std::string& l : ls) text += l + "\r\n";
    return text;
}
// Three leaves over two components: 46 lines, then node block k from line
// 47 + 5k (a heading, the integers, a heading and two centroid lines).
TreeFileContents goodTree() {
    TreeFileContents c = makeTree(3, 2, fixtures::SplitOrder::Balanced,
                                  [](int n, int i) { return 100 + n + i / 8.0; });
    c.cathLabel1 = "Sp-B";
    return c;
}
const Lines good = lines(fixtures::treeFileText(goodTree()));

// `text` with the session's folder named "@".
std::string atFolder(std::string text, const Session& s) {
    for (size_t at; (at = text.find(s.dir.path())) != std::string::npos;)
        text.replace(at, s.dir.path().size(), "@");
    return text;
}

// A session that read a good tree (two leaves, one component), then `file`.
std::unique_ptr<Session> readBad(const Lines& file) {
    auto s = std::make_unique<Session>();
    s->readTree(makeTree(2, 1));
    s->clearShown();
    s->readTree(s->dir.write("bad.vq", join(file)));
    return s;
}

// What reading it gave: the errors, the messages, whether the tree counts as read.
std::string outcome(const Session& s) {
    std::string o;
    for (const std::string& e : s.ui.errors) o += " error: " + e;
    for (const std::string& m : s.ui.messages) o += " message: " + m;
    return atFolder(o, s) + (s.p.shell.treeRead ? " read" : "");
}

// What the lines before the cut gave stays, the rest is the earlier tree's
// (two leaves, "Speaker", its own centroids); the window stays usable.
TEST(BadTreeFile, FileCutAfterAnyLine) {
    ASSERT_EQ(good.size(), 46u + 5 * 5);
    std::string cuts;
    for (int n = 1; n < int(good.size()); ++n) {
        SCOPED_TRACE("cut after line " + std::to_string(n));
        auto s = readBad(Lines(good.begin(), good.begin() + n));
        cuts += std::to_string(n) + ":" + outcome(*s) + " | " +
                std::to_string(s->p.tree.centroidsNb) + " " + s->p.cathLabel1 + " " +
                (s->p.tree.nodeHeap.at(0).centroid[0] == 100 ? "100" : "not 100") + "\r\n";
        EXPECT_TRUE(s->readTree(goodTree()) && s->p.shell.treeRead);
    }
    EXPECT_EQ(cuts, dataText("tree-file-cuts.txt"));
}

// What each damaged line gave, with the FFT width, HeapTop and the number
// of cath3 values after it, is in the file.
TEST(BadTreeFile, DamagedItems) {
    const std::pair<int, std::string> cases[] = {
        // 16-bit sizes keep their low 16 bits: 65539 groups are 3, 65540
        // nodes 4; -1 is 65535: its node blocks are missing.
        {4, "65539 65540 477 30 w"},
        {4, "3 -1 477 30 w"},
        {4, "3 4 9223372036854775808 30 w"},
        {4, "3 4 477 2147483648 w"},
        // Category counts: -1 is an empty list, below -1 no list can be made,
        // 40000 is -25536 in 16 bits.
        {34, "2 1 -2 counts"},
        {34, "40000 1 1 counts"},
        {34, "2 1 -1 counts"},
        // A negative count of components reads no centroid lines: the next
        // block's heading is taken from a centroid line, its integers from a real.
        {5, "2147483648 512"},
        {5, "-1 512"},
        // The FFT width after the components is reported; reading goes on
        // and the width stays the earlier tree's.
        {5, "2 x considered components"},
        {5, "2"},
        {5, "2 2.5E2"},
    };
    std::string items;
    for (const auto& [line, text] : cases) {
        Lines file = good;
        file.at(size_t(line - 1)) = text;
        auto s = readBad(file);
        items += std::to_string(line) + " " + text + ":" + outcome(*s) + " | " +
                 std::to_string(s->p.tree.training.fftWindowWidth) + " " +
                 std::to_string(s->p.tree.HeapTop) + " " +
                 std::to_string(s->p.tree.cath[2].list.size()) + "\r\n";
    }
    EXPECT_EQ(items, dataText("tree-file-damaged-items.txt"));

    // The first item of each line of numbers is no number; 1e5 is a fine real.
    std::vector<int> numberLines = {31, 32, 34};
    for (int line = 2; line <= 29; ++line) numberLines.push_back(line);
    for (int k = 0; k < 5; ++k) numberLines.insert(numberLines.end(), {48 + 5 * k, 50 + 5 * k});
    for (int line : numberLines)
        for (const std::string word : {"7q", "x", "--1", "1e5", "0x10"}) {
            const bool real = line == 14 || line == 15 || (line > 46 && line % 5 == 0);
            if (real && word == "1e5") continue;
            SCOPED_TRACE(std::to_string(line) + ": " + word);
            Lines file = good;
            const std::string& numbers = good[size_t(line - 1)];
            file[size_t(line - 1)] =
                word + numbers.substr(std::min(numbers.find(' '), numbers.size()));
            EXPECT_EQ(outcome(*readBad(file)), " error: Invalid numeric input");
        }
}

// Two refusals, then the question: Yes ends the program, No gives one more choice.
TEST(BadTreeFile, WrongFirstLineIsRefusedTwiceThenTheUserIsAsked) {
    std::string logs;
    for (const std::string& first : {" date"s, ""s, "DATE"s, "\0\x01\x02 binary"s}) {
        SCOPED_TRACE(first);
        Session s;
        s.readTree(makeTree(2, 1));
        s.clearShown();
        Lines file = good;
        file[0] = first;
        const std::string bad = s.dir.write("bad.vq", join(file));
        const bool yes = first != "DATE";
        EXPECT_EQ(s.click(Command::ReadTree, {bad, bad, yes ? "yes" : "no", s.tree(goodTree())}),
                  !yes);
        EXPECT_EQ(s.exitStatus, yes ? 1 : -1);
        for (const std::string& entry : s.ui.log) logs += atFolder(entry, s) + "\r\n";
        EXPECT_EQ(s.p.shell.treeRead, !yes);
        EXPECT_EQ(s.p.tree.centroidsNb, yes ? 2 : 3);
    }
    EXPECT_EQ(logs, dataText("wrong-first-line.log"));
}

// More than 129 components stop at the 130th value of the first node. A son
// index at HeapTop+1 is a range error of the walk; beyond it the walk first
// tells what is wrong, naming k. The stopped run says where and why.
TEST(BadTreeFile, TooManyComponentsAndSonIndicesBeyondHeapTop) {
    for (int components : {130, 1000}) {
        auto s = readBad(lines(fixtures::treeFileText(makeTree(2, components))));
        EXPECT_EQ(outcome(*s), " error: Range check error");
        s->readData1(s->table("ev.txt", {{}}));  // a run cannot start on what was left
        EXPECT_EQ(s->ui.messages, Lines{"Read tree first!"});
    }
    // Events near node 1 code without node 2, the third reaches its son
    // (none: node 2 is a leaf). What each run showed and wrote is in the file.
    std::string runs;
    for (int son : {5, 6, 32767, -32768}) {
        TreeFileContents c = goodTree();
        c.tree.nodeHeap[2].son = static_cast<int16_t>(son);
        auto s = readBad(lines(fixtures::treeFileText(c)));
        EXPECT_EQ(outcome(*s), " read");
        s->allOutputs();
        s->readData1(s->dir.write("ev.txt",
                                  "3 events\r\n2\r\n32767\r\nV S G\r\nx p r 101 101\r\n"
                                  "y q s 101 101\r\nz p r 102 102\r\n"));
        std::string run = std::to_string(son) + ": " + s->p.shell.statusCaption +
                          (s->p.run.stoppedByError ? " (error)" : "");
        for (const std::string& e : s->ui.errors) run += " error: " + e;
        for (const char* name : {"ev_Teach.zrt", "ev_Recog.zrt"}) {
            const auto f = readCombinedFile(s->bytes(name));
            run += " " + std::to_string(f.wellFormed ? f.records.size() : 999);
        }
        for (const std::string& m : s->ui.messages) run += "\r\n" + m;
        runs += atFolder(run, *s) + "\r\n";
        EXPECT_TRUE(s->p.shell.controls.readTreeEnabled && s->p.shell.controls.inputGroupEnabled);
    }
    EXPECT_EQ(runs, dataText("son-index-runs.txt"));
}

// A session that has read the reference tree, with both combined outputs on.
struct EventSession : Session {
    EventSession() {
        p.shell.outputRecogCombined = true;
        readTree();
        clearShown();
    }
    // "Read data_1" on `path` summed up: the messages' kinds, the errors, the
    // category names and each event's qualifiers and code; "-" when nothing
    // was created, and then the window is as before and a good table runs.
    std::string run(const std::string& path) {
        readData1(path);
        std::string sum = kinds() + "|";
        for (const std::string& e : ui.errors) sum += e + "|";
        if (!fs::exists(dir.file("ev_Teach.zrt"))) {
            EXPECT_FALSE(fs::exists(dir.file("ev_error.txt")));
            EXPECT_TRUE(window.enabled(Command::ReadTree) && window.enabled(Command::ReadData1));
            EXPECT_TRUE(p.shell.clustersEditEnabled && !p.shell.clustersEditRed &&
                        p.shell.clustersEditText == "3");
            readData1(table("good.txt", {{}}));
            EXPECT_EQ(records("good_Teach.zrt").size(), 1u);
            return sum + "-";
        }
        const auto teach = readCombinedFile(bytes("ev_Teach.zrt"));
        const std::string n = std::to_string(teach.records.size());
        EXPECT_TRUE(teach.wellFormed && records("ev_Recog.zrt").size() == teach.records.size());
        EXPECT_TRUE(reported("ev", int64_t(teach.records.size())));
        for (const std::string& m : ui.messages)  // the texts of kinds E and D
            EXPECT_TRUE((!m.starts_with("Error 100.\r\n") || m == error100Message(path)) &&
                        (m.find("holds no further") == std::string::npos ||
                         m == "The event file \"" + path + "\" holds no further event.\r\n" + n +
                                  " events of it were coded; the run ends here."))
                << m;
        sum += p.cathLabel1 + " " + p.cathLabel2 + " " + p.cathLabel3 + ":";
        for (const auto& [code, q] : teach.records) sum += " " + q + std::to_string(code);
        return sum;
    }
};

// What each table gave, one line each, is in the file.
TEST(BadEventFile, TextTables) {
    const std::string header = "3\r\n32767\r\nV S G\r\n", row = "a e f 1 2 3\r\n";
    // Rows 2-6: a word among the values, too few values, only qualifiers,
    // overlong qualifiers, a value beyond 32 bits; a faulty row keeps the
    // earlier row's components from where it failed. Rows 7 "abc" and 8 "ab c"
    // give three qualifiers; 70000 keeps its low 16 bits (4464).
    const std::string badRows =
        "a e f -20 0 0\r\nb i m 5 x 0\r\na o f 90 0\r\nb u m\r\naa ee ff 1 2 3\r\n"
        "a e f 3000000000 0 0\r\nabc 90 0 0\r\n\r\n   \t\r\nab c 70000 0 0\r\n";
    // Header faults before nc stop the command before the run. After it the
    // lines after the fault are rows, the names come from the count line: nc
    // beyond 16 bits (warned of), a bad value range, no header row (no names
    // at all). Fewer rows than counted give one message; more: the count wins.
    const std::string tables[] = {"only a comment\r\nand another\r\n",
                                  "",
                                  "4 events\r\nabc\r\n1\r\nV S G\r\na b c 1 2 3\r\n",
                                  "4 events\r\n-3\r\n1\r\nV S G\r\n",
                                  "4 events\r\n70000\r\n1\r\nV S G\r\n",
                                  "4 events\r\n40000\r\n32767\r\nV S G\r\na b c 1 2 3\r\n",
                                  "4 events\r\n3\r\nwide\r\nV S G\r\na b c 1 2 3\r\n",
                                  "4 events\r\n3\r\n32767",
                                  "8 events\r\n" + header + badRows,
                                  "10 events\r\n" + header,
                                  "10 events\r\n" + header + row + row + row,
                                  "2 events\r\n" + header + row + "b e f 1 2 3\r\nc e f\r\n"};
    std::string runs;
    for (const std::string& text : tables) {
        EventSession s;
        runs += s.run(s.dir.write("ev.txt", text)) + "\r\n";
    }
    EXPECT_EQ(runs, dataText("bad-text-tables.txt"));
}

// Records declared, realType size, bytes cut off a file of three events: a
// length no multiple of 1812 bytes (the whole records are coded), a record
// count larger or smaller than the file, a wrong realType size (step and rate
// read as zero, a warning each), no whole header (nothing runs). What each
// run gave, the count shown, step and rate and the size warnings are in the file.
TEST(BadEventFile, FvsFiles) {
    std::string runs;
    const std::tuple<uint32_t, int16_t, size_t> cases[] = {
        {3, 4, 1}, {3, 4, 1811}, {4294967295u, 4, 0}, {1, 4, 0},        {0, 4, 0},
        {3, 0, 0}, {3, 8, 0},    {3, -1, 0},          {3, 4, 4 * 1812}, {3, 4, 3 * 1812 + 1}};
    for (const auto& [count, size, cut] : cases) {
        EventSession s;
        const std::string path =
            s.fvs("ev.fvs", referenceEvents(3), {.count = count, .realTypeSize = size});
        fs::resize_file(path, 4 * 1812 - cut);
        const std::string sum = s.run(path);
        runs += std::to_string(count) + " " + std::to_string(size) + " " + std::to_string(cut) +
                ": " + sum + " | " + s.p.data1.eventsCountText + " | " +
                std::to_string(s.p.data1.settings.frameStep) + " " +
                std::to_string(s.p.data1.settings.rate) + "\r\n";
        for (const std::string& m : s.ui.messages)
            if (m.starts_with("The realType size")) runs += m + "\r\n";
    }
    EXPECT_EQ(runs, dataText("bad-fvs-files.txt"));
}

// A wave name holding line ends keeps text outputs' lines whole; same or
// empty labels get files of their own; a pipe is refused, saying why.
TEST(BadEventFile, LineEndsInTextsSameLabelsAndPipes) {
    Session s;
    s.allOutputs();
    s.readTree();
    s.readData1(s.fvs("ev.fvs", referenceEvents(4), {.waveName = "a\r\nb\rc\nd"}));
    for (const char* name : {"ev_code.txt", "ev_teach_V.txt", "ev_recog_G.txt", "ev_error.txt"}) {
        const std::string text = s.bytes(name);
        ASSERT_FALSE(text.empty()) << name;
        // Every CR and every LF in a CR LF.
        EXPECT_EQ(occurrences(text, "\r") + occurrences(text, "\n"), 2 * occurrences(text, "\r\n"))
            << name;
    }
    EXPECT_NE(s.bytes("ev_code.txt").find("\"a  b c d\""), std::string::npos);

    for (const auto& [labels, names] : std::vector<std::pair<Lines, Lines>>{
             {{"", "", ""}, {"cath1", "cath2", "cath3"}}, {{"V", "v", "G"}, {"V_1", "v_2", "G"}}}) {
        auto tree = referenceTree();
        tree.cathLabel1 = labels[0], tree.cathLabel2 = labels[1], tree.cathLabel3 = labels[2];
        s.readTree(tree);
        s.readData1(s.fvs("t" + names[0] + ".fvs", referenceEvents(3)));
        for (const std::string group : {"teach", "recog"})
            for (const std::string& n : names) {
                const std::string file = "t" + names[0] + "_" + group + "_" + n + ".txt";
                EXPECT_EQ(categoryPositions(s.bytes(file)).size(), 3u) << file;
            }
    }

    const std::string pipe = s.dir.file("pipe.fvs");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    s.readTree();
    s.clearShown();
    s.click(Command::ReadData1, {pipe, s.fvs("p.fvs", referenceEvents(1))});
    EXPECT_EQ(s.ui.messages.at(0), dataText("not-a-regular-file.txt", pipe));
}

}  // namespace
}  // namespace zortan
