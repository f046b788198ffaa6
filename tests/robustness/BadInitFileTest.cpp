// Damaged options files found at start-up: the message, the options they
// leave, and the repair at the next file choice.
#include "robustness/ReferenceRun.h"

namespace zortan {
namespace {

using testing::WindowSession;
using Lines = std::vector<std::string>;

// The flags, then lines 2 to 18 of the options file in file order.
Lines options(const InitFileOptions& o) {
    return {std::to_string(o.reservedFlag) + " " + std::to_string(o.data1IsFvs) + " " +
                std::to_string(o.data2IsFvs),
            o.waveFileDir,
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
Lines withFlags(const std::string& flags, Lines paths) {
    paths.insert(paths.begin(), flags);
    return paths;
}
std::string fileOf(const Lines& lines, const std::string& end = "\r\n") {
    std::string text;
    for (const std::string& l : lines) text += l + end;
    return text;
}
std::string corrupted(const WindowSession& s) {
    return "Be carefull!\r\nFile of last used options, i.e.\r\n\"" + s.dir.file("Init.txt") +
           "\"\r\nis corrupted\r\nIt will be restored with actual options, next time this error "
           "should not appear.";
}

TEST(BadInitFile, DamagedOrOddFilesAtStartUp) {
    Lines paths;
    for (int i = 2; i <= 18; ++i) paths.push_back("p" + std::to_string(i));
    const Lines defaults = options(InitFileOptions{}), none(17);
    Lines withBinary = paths, some(paths.begin(), paths.begin() + 5);
    withBinary[3] = std::string("\0\xff\x1a\x7f path", 9);
    withBinary[4] = std::string(100000, 'w');
    some.resize(17);
    struct Case {
        std::string text;
        Lines options;  // as start-up leaves them
        bool damaged = false;
    };
    const std::vector<Case> cases = {
        // A damaged first line keeps every option and says so.
        {fileOf(withFlags("a b c", paths)), defaults, true},
        {fileOf(withFlags("0 1 x", paths)), defaults, true},
        {fileOf(withFlags(std::string("\x00\x01\x02", 3), paths)), defaults, true},
        // Signs and a low-byte wrap; words after the flags are skipped.
        {fileOf(withFlags("+1 -1 256 more words", paths)), withFlags("1 255 0", paths)},
        // The third flag at the end of the file reads 0; no path follows.
        {"0 1", withFlags("0 1 0", none)},
        // A file ending after line 6; blank lines only.
        {fileOf(withFlags("2 0 1", Lines(paths.begin(), paths.begin() + 5))),
         withFlags("2 0 1", some)},
        {"\r\n\r\n \t\r\n", withFlags("0 0 0", none)},
        // Bare CR line ends.
        {fileOf(withFlags("0 0 0", paths), "\r"), withFlags("0 0 0", paths)},
        // Control characters, code 26, a long path: kept byte for byte.
        {fileOf(withFlags("0 0 0", withBinary)), withFlags("0 0 0", withBinary)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        WindowSession s(c.text);
        EXPECT_EQ(s.ui.messages, c.damaged ? Lines{corrupted(s)} : Lines{});
        EXPECT_EQ(options(s.startOptions), c.options);
        EXPECT_EQ(s.startOptions.initFilePath, s.dir.file("Init.txt"));
        // A save and a read give them back unchanged.
        WriteInitFile(s.startOptions);
        WindowSession again(s.bytes("Init.txt"));
        EXPECT_TRUE(again.ui.messages.empty());
        EXPECT_EQ(options(again.startOptions), c.options);
    }
}

TEST(BadInitFile, DamageIsShownAgainByReadTreeUntilAFileChoiceRewritesTheFile) {
    WindowSession s("a b c\r\n");
    const std::string tree = s.dir.write("t.vq", fixtures::treeFileText(fixtures::makeTree(2, 1)));
    s.readTree(tree);
    EXPECT_TRUE(s.p.shell.treeRead);
    EXPECT_EQ(s.ui.messages, Lines(2, corrupted(s)));
    // The file now holds every option, the chosen tree among them.
    InitFileOptions want;
    want.treeFileDir = tree;
    want.teachFileName = s.p.options.teachFileName;
    EXPECT_EQ(s.bytes("Init.txt"), fileOf(options(want)));
    s.ui.messages.clear();
    s.readTree(tree);
    EXPECT_TRUE(s.ui.messages.empty());
}

}  // namespace
}  // namespace zortan
