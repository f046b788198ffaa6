// The options file: as found at start-up, where it lives, its saves.
#include "shell/InitFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include "support/DataText.h"
#include "support/Session.h"
#include "window/ShellRules.h"

namespace zortan {
namespace {

using testing::Session;
using testing::TempDir;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

// The three flags, then the paths in the file's order (lines 7 and 8: fvs, text).
Lines options(const InitFileOptions& o) {
    Lines l = {std::to_string(o.reservedFlag) + " " + std::to_string(o.data1IsFvs) + " " +
               std::to_string(o.data2IsFvs)};
    for (const std::string* path :
         {&o.waveFileDir, &o.treeTrainingFileDir, &o.treeFileDir, &o.waveFileDir1, &o.waveFileDir2,
          &o.fvsEventsFileDir1, &o.txtEventsFileDir1, &o.fvsEventsFileDir2, &o.txtEventsFileDir2,
          &o.errorFileName, &o.codeFileName, &o.teachFileName, &o.teachCath1FileName,
          &o.teachCath2FileName, &o.teachCath3FileName, &o.recogFileName, &o.recogCath1FileName,
          &o.recogCath2FileName, &o.recogCath3FileName})
        l.push_back(*path);
    return l;
}
// The options a file gives whose flags are stored as `flags` and whose
// lines 2 to 18 are `paths`: lines 7 and 8 go to the fvs or the text path of
// their input by its flag; the other path keeps its start value.
Lines readAs(const std::string& flags, const Lines& paths) {
    Lines o = options(InitFileOptions{});
    int reserved, fvs1, fvs2;
    std::istringstream(flags) >> reserved >> fvs1 >> fvs2;
    o[0] = flags;
    for (size_t i = 0; i < paths.size(); ++i)
        o[i < 5 ? i + 1 : i == 5 ? (fvs1 ? 6 : 7) : i == 6 ? (fvs2 ? 8 : 9) : i + 3] = paths[i];
    return o;
}
std::string fileOf(const std::string& first, const Lines& paths) {
    std::string text = first + "\r\n";
    for (const std::string& l : paths) text += l + "\r\n";
    return text;
}
std::string corrupted(const Session& s) {
    return testing::dataText("init-file-corrupted.txt", s.dir.file("Init.txt"));
}

TEST(InitFile, StartUpTakesWhatTheFileHoldsAndASaveWritesItBack) {
    Lines paths;
    for (int i = 2; i <= 18; ++i) paths.push_back("D:\\saved\\line" + std::to_string(i));
    paths[2] = "  D:\\saved tree 4";  // blanks belong to the path
    const Lines defaults = options(InitFileOptions{});
    Lines binary = paths, some(paths.begin(), paths.begin() + 5);
    binary[3] = std::string("\0\xff\x1a\x7f path", 9), binary[4] = std::string(100000, 'w');
    some.resize(17);
    struct Case {
        std::optional<std::string> text;  // none: no file
        Lines options;                    // as start-up leaves them
        bool damaged = false;
        bool rewrittenAlike = false;  // a save writes the file's very bytes
    };
    const std::vector<Case> cases = {
        {std::nullopt, defaults},
        {"", defaults},
        // Lines 7 and 8 by the flags; control characters, code 26 and a
        // long path are kept byte for byte.
        {fileOf("0 1 0", paths), readAs("0 1 0", paths), false, true},
        {fileOf("0 0 1", binary), readAs("0 0 1", binary), false, true},
        // A damaged flag keeps every option and says so.
        {fileOf("0 1 x", paths), defaults, true},
        // Signs and a low-byte wrap; words after the flags are skipped.
        {fileOf("+1 -1 256 more words", paths), readAs("1 255 0", paths)},
        // A file ending after line 6, or at the third flag, which reads 0.
        {fileOf("2 0 1", Lines(paths.begin(), paths.begin() + 5)), readAs("2 0 1", some)},
        {"0 1", readAs("0 1 0", Lines(17))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.value_or("no file").substr(0, 40));
        Session s(c.text);
        EXPECT_EQ(s.ui.messages, c.damaged ? Lines{corrupted(s)} : Lines{});
        EXPECT_EQ(options(s.startOptions), c.options);
        EXPECT_EQ(s.startOptions.initFilePath, s.dir.file("Init.txt"));
        EXPECT_EQ(fs::exists(s.dir.file("Init.txt")), c.text.has_value());  // nothing written
        // A save (over a longer file) and a read give them back unchanged.
        s.dir.write("Init.txt", std::string(200000, 'x'));
        WriteInitFile(s.startOptions);
        EXPECT_TRUE(!c.rewrittenAlike || s.bytes("Init.txt") == *c.text);
        Session again(s.bytes("Init.txt"));
        EXPECT_TRUE(again.ui.messages.empty());
        EXPECT_EQ(options(again.startOptions), c.options);
    }
}

TEST(InitFile, DamageIsShownAgainByReadTreeUntilAFileChoiceRewritesTheFile) {
    Session s("a b c\r\n");
    const std::string tree = s.tree();
    s.readTree(tree);
    EXPECT_TRUE(s.p.shell.treeRead);
    EXPECT_EQ(s.ui.messages, Lines(2, corrupted(s)));
    EXPECT_TRUE(s.bytes("Init.txt")
                    .starts_with(fileOf("0 0 0", {"C:\\wkd\\Plimo\\Results\\*.wav",
                                                  "C:\\wkd\\ondrix\\Results\\*.fvs", tree})));
    s.ui.messages.clear();
    s.readTree(tree);
    EXPECT_TRUE(s.ui.messages.empty());
}

#ifdef _WIN32
constexpr const char *kVariable = "APPDATA", *kSubfolder = "Zortan";
void setVariable(const char* value) {
    _putenv_s(kVariable, value ? value : "");
}
#else
constexpr const char *kVariable = "XDG_CONFIG_HOME", *kSubfolder = "zortan";
void setVariable(const char* value) {
    value ? setenv(kVariable, value, 1) : unsetenv(kVariable);
}
#endif

// A program folder that cannot hold the file (missing, or not a folder) puts
// it into the user's configuration folder; a failed save is an I/O error.
TEST(InitFile, WithoutAWritableProgramFolderTheFileMovesToTheConfigFolder) {
    TempDir programDir, configHome;
    const char* old = std::getenv(kVariable);
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    setVariable(configHome.path().c_str());
    const std::string configFile = (fs::path(configHome.file(kSubfolder)) / "Init.txt").string();
    programDir.write("notAFolder", "");
    testing::ScriptedUi ui;
    for (const std::string& folder : {programDir.file("missing"), programDir.file("notAFolder")}) {
        SCOPED_TRACE(folder);
        fs::remove_all(configHome.file(kSubfolder));
        InitFileOptions o, back;
        ReadInitFile(o, ui, folder);
        EXPECT_EQ(o.initFilePath, configFile);
        o.treeFileDir = "C:\\chosen tree.vq";
        WriteInitFile(o);
        ReadInitFile(back, ui, folder);
        EXPECT_EQ(back.initFilePath, configFile);
        EXPECT_EQ(back.treeFileDir, "C:\\chosen tree.vq");
    }
    // The writability probe of a writable folder leaves nothing behind.
    InitFileOptions beside;
    ReadInitFile(beside, ui, configHome.path());
    EXPECT_EQ(beside.initFilePath, configHome.file("Init.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(configHome.path()), fs::directory_iterator()),
              1);
    EXPECT_FALSE(fs::exists(programDir.file("missing")));
    EXPECT_TRUE(ui.messages.empty());
    setVariable(saved ? saved->c_str() : nullptr);
    // (A device that fails only when the data reach it: see the fault
    // injection tests.)
    beside.initFilePath = programDir.file("missing/Init.txt");
    EXPECT_THROW(WriteInitFile(beside), InOutError);
}

// An installed program (PREFIX/bin beside PREFIX/share/zortan) keeps its
// options in the user's folder even where bin/ can be written (root's run of
// /usr/bin/zortan); a bin/ without share/zortan beside it is a copy, which
// keeps them beside itself.
TEST(InitFile, AnInstalledProgramKeepsItsOptionsInTheUsersFolder) {
    TempDir prefix, configHome;
    const char* old = std::getenv(kVariable);
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    setVariable(configHome.file("made/by/it").c_str());
    fs::create_directories(prefix.file("bin"));
    testing::ScriptedUi ui;
    InitFileOptions copy;
    ReadInitFile(copy, ui, prefix.file("bin"));
    EXPECT_EQ(copy.initFilePath, (fs::path(prefix.file("bin")) / "Init.txt").string());

    fs::create_directories(prefix.file("share/zortan"));
    InitFileOptions o, back;
    ReadInitFile(o, ui, prefix.file("bin"));
    o.treeFileDir = "C:\\chosen tree.vq";
    WriteInitFile(o);
    ReadInitFile(back, ui, prefix.file("bin"));
    setVariable(saved ? saved->c_str() : nullptr);
    EXPECT_EQ(back.initFilePath,
              (fs::path(configHome.file("made/by/it")) / kSubfolder / "Init.txt").string());
    EXPECT_EQ(back.treeFileDir, "C:\\chosen tree.vq");
    EXPECT_TRUE(fs::is_empty(prefix.file("bin")));
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace zortan
