// Damaged options files found at start-up: the message, the options they
// leave, and the repair at the next file choice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "robustness/WindowSession.h"
#include "tools/fixtures/TreeFileWriter.h"

namespace zortan {
namespace {

using testing::WindowSession;

// Lines 2 to 18 of the options file in file order, lines 7 and 8 by the flags.
std::vector<std::string> paths(const InitFileOptions& o) {
    return {o.waveFileDir,
            o.treeTrainingFileDir,
            o.treeFileDir,
            o.waveFileDir1,
            o.waveFileDir2,
            o.data1IsFvs ? o.fvsEventsFileDir1 : o.txtEventsFileDir1,
            o.data2IsFvs ? o.fvsEventsFileDir2 : o.txtEventsFileDir2,
            o.errorFileName,
            o.codeFileName,
            o.teachFileName,
            o.teachCath1FileName,
            o.teachCath2FileName,
            o.teachCath3FileName,
            o.recogFileName,
            o.recogCath1FileName,
            o.recogCath2FileName,
            o.recogCath3FileName};
}
std::string flags(const InitFileOptions& o) {
    return std::to_string(o.reservedFlag) + " " + std::to_string(o.data1IsFvs) + " " +
           std::to_string(o.data2IsFvs);
}

std::vector<std::string> numbered(const std::string& stem) {
    std::vector<std::string> p;
    for (int i = 2; i <= 18; ++i) p.push_back(stem + std::to_string(i));
    return p;
}
std::string fileOf(const std::string& line1, const std::vector<std::string>& lines,
                   const std::string& end = "\r\n") {
    std::string text = line1 + end;
    for (const std::string& l : lines) text += l + end;
    return text;
}

// Reads the options as start-up does, in a folder of its own.
struct Started {
    WindowSession s;
    InitFileOptions options;  // as start-up left them
    explicit Started(const std::string& init) : s(init), options(s.startOptions) {}
    std::string corrupted() const {
        return "Be carefull!\r\nFile of last used options, i.e.\r\n\"" + s.dir.file("Init.txt") +
               "\"\r\nis corrupted\r\nIt will be restored with actual options, next time this "
               "error should not appear.";
    }
};

TEST(BadInitFile, DamagedFirstLineKeepsEveryOptionAndSaysSo) {
    const InitFileOptions defaults;
    for (const std::string& line1 :
         {std::string("a b c"), std::string("0 1 x"), std::string("0 1 0x1"),
          std::string("99999999999 1 1"), std::string("1.5 1 1"), std::string("\x00\x01\x02", 3)}) {
        SCOPED_TRACE(line1);
        Started st(fileOf(line1, numbered("p")));
        EXPECT_EQ(st.s.ui.messages, std::vector<std::string>{st.corrupted()});
        EXPECT_EQ(flags(st.options), "0 0 0");
        EXPECT_EQ(paths(st.options), paths(defaults));
        EXPECT_EQ(st.options.initFilePath, st.s.dir.file("Init.txt"));
    }
}

TEST(BadInitFile, OddButReadableFilesAreTakenAsTheyStand) {
    struct Case {
        std::string text;
        std::string flags;
        std::vector<std::string> paths;
    };
    std::vector<std::string> some = numbered("p");
    some.resize(5);
    std::vector<std::string> someThenEmpty = some;
    someThenEmpty.resize(17);
    const std::string binary("\0\xff\x1a\x7f path", 9);
    std::vector<std::string> withBinary = numbered("p");
    withBinary[3] = binary;
    withBinary[4] = std::string(100000, 'w');
    const std::vector<Case> cases = {
        // Signs and a low-byte wrap; words after the flags are skipped.
        {fileOf("+1 -1 256 more words", numbered("p")), "1 255 0", numbered("p")},
        // The third flag at the end of the file reads 0; no path follows.
        {"0 1", "0 1 0", std::vector<std::string>(17)},
        // A file ending after line 6; blank lines only.
        {fileOf("2 0 1", some), "2 0 1", someThenEmpty},
        {"\r\n\r\n \t\r\n", "0 0 0", std::vector<std::string>(17)},
        // Bare CR and bare LF line ends.
        {fileOf("0 0 0", numbered("p"), "\r"), "0 0 0", numbered("p")},
        {fileOf("0 0 0", numbered("p"), "\n"), "0 0 0", numbered("p")},
        // Control characters, code 26, a long path: kept byte for byte.
        {fileOf("0 0 0", withBinary), "0 0 0", withBinary},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        Started st(c.text);
        EXPECT_TRUE(st.s.ui.messages.empty());
        EXPECT_EQ(flags(st.options), c.flags);
        EXPECT_EQ(paths(st.options), c.paths);
        // A save and a read give them back unchanged.
        WriteInitFile(st.options);
        Started again(st.s.bytes("Init.txt"));
        EXPECT_TRUE(again.s.ui.messages.empty());
        EXPECT_EQ(flags(again.options), c.flags);
        EXPECT_EQ(paths(again.options), c.paths);
    }
}

TEST(BadInitFile, DamageIsShownAgainByReadTreeUntilAFileChoiceRewritesTheFile) {
    Started st(fileOf("a b c", numbered("p")));
    const std::string tree =
        st.s.dir.write("t.vq", fixtures::treeFileText(fixtures::makeTree(2, 1)));
    st.s.readTree(tree);
    EXPECT_TRUE(st.s.p.shell.treeRead);
    EXPECT_EQ(st.s.ui.messages, std::vector<std::string>(2, st.corrupted()));
    // The file now holds every option, the chosen tree among them.
    InitFileOptions want;
    want.treeFileDir = tree;
    want.teachFileName = st.s.p.options.teachFileName;
    EXPECT_EQ(st.s.bytes("Init.txt"), fileOf("0 0 0", paths(want)));
    st.s.ui.messages.clear();
    st.s.readTree(tree);
    EXPECT_TRUE(st.s.ui.messages.empty());
}

}  // namespace
}  // namespace zortan
