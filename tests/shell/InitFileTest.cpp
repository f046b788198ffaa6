#include "shell/InitFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

using testing::readFileBytes;
using testing::ScriptedUi;
using testing::TempDir;
namespace fs = std::filesystem;

// The 17 path lines of a file, in file order (lines 2 to 18).
std::vector<std::string> samplePaths() {
    std::vector<std::string> lines;
    for (int i = 2; i <= 18; ++i) lines.push_back("D:\\saved\\line" + std::to_string(i) + ".dat");
    return lines;
}

std::string joinLines(const std::string& first, const std::vector<std::string>& rest,
                      const std::string& end = "\r\n") {
    std::string text = first + end;
    for (const auto& l : rest) text += l + end;
    return text;
}

// Where the user's configuration folder is taken from on this host.
#ifdef _WIN32
constexpr const char* kConfigVariable = "APPDATA";
constexpr const char* kConfigSubfolder = "Zortan";
void setVariable(const char* name, const char* value) {
    _putenv_s(name, value);
}
void unsetVariable(const char* name) {
    _putenv_s(name, "");
}
#else
constexpr const char* kConfigVariable = "XDG_CONFIG_HOME";
constexpr const char* kConfigSubfolder = "zortan";
void setVariable(const char* name, const char* value) {
    setenv(name, value, 1);
}
void unsetVariable(const char* name) {
    unsetenv(name);
}
#endif

// Every test gets its own configuration folder, so that a fallback never
// reaches the real one.
class InitFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv(kConfigVariable)) savedConfigHome_ = old;
        setVariable(kConfigVariable, configHome.path().c_str());
    }
    void TearDown() override {
        if (savedConfigHome_)
            setVariable(kConfigVariable, savedConfigHome_->c_str());
        else
            unsetVariable(kConfigVariable);
    }

    std::string configFolder() const { return configHome.file(kConfigSubfolder); }
    std::string configInitFile() const { return (fs::path(configFolder()) / "Init.txt").string(); }

    TempDir programDir;
    TempDir configHome;
    ScriptedUi ui;

  private:
    std::optional<std::string> savedConfigHome_;
};

TEST_F(InitFileTest, MissingFileChangesNothingAndFirstSaveWritesDefaultsWithTheChoice) {
    InitFileOptions o;
    ReadInitFile(o, ui, programDir.path());
    EXPECT_EQ(o.initFilePath, programDir.file("Init.txt"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(fs::exists(o.initFilePath));
    EXPECT_EQ(o.treeFileDir, InitFileOptions{}.treeFileDir);

    o.treeFileDir = "C:\\trees\\chosen.vq4";
    WriteInitFile(o);
    EXPECT_EQ(readFileBytes(o.initFilePath),
              "0 0 0\r\n"
              "C:\\wkd\\Plimo\\Results\\*.wav\r\n"
              "C:\\wkd\\ondrix\\Results\\*.fvs\r\n"
              "C:\\trees\\chosen.vq4\r\n"
              "C:\\WKD\\Plimo\\results\\*.wav\r\n"
              "C:\\WKD\\Plimo\\results\\*.wav\r\n"
              "C:\\WKD\\TRB\\data\\*.txt\r\n"
              "C:\\WKD\\TRB\\data\\*.txt\r\n"
              "C:\\wkd\\Zortan\\Results\\Error.txt\r\n"
              "C:\\wkd\\Zortan\\Results\\code.txt\r\n"
              "C:\\wkd\\Zortan\\Results\\_Teach.zrt\r\n"
              "C:\\wkd\\Zortan\\Results\\_teach_Y1.txt\r\n"
              "C:\\wkd\\Zortan\\Results\\_teach_Y2.txt\r\n"
              "C:\\wkd\\Zortan\\Results\\_teach_Y3.txt\r\n"
              "C:\\wkd\\Zortan\\Results\\_recog.zrt\r\n"
              "C:\\wkd\\Zortan\\Results\\_recog_Y1.txt\r\n"
              "C:\\wkd\\Zortan\\Results\\_recog_Y2.txt\r\n"
              "C:\\wkd\\Zortan\\Results\\_recog_Y3.txt\r\n");
}

TEST_F(InitFileTest, WritingReplacesTheWholeContent) {
    InitFileOptions o;
    ReadInitFile(o, ui, programDir.path());
    o.errorFileName = std::string(5000, 'e');
    WriteInitFile(o);
    InitFileOptions shorter;
    shorter.initFilePath = o.initFilePath;
    shorter.data1IsFvs = 1;
    WriteInitFile(shorter);

    std::string bytes = readFileBytes(o.initFilePath);
    EXPECT_EQ(bytes.substr(0, 7), "0 1 0\r\n");
    EXPECT_EQ(bytes.find("eeee"), std::string::npos);  // no trace of the long name
    EXPECT_LT(bytes.size(), 1000u);
    EXPECT_TRUE(bytes.ends_with("\\_recog_Y3.txt\r\n"));
}

TEST_F(InitFileTest, FlagsRouteLinesSevenAndEight) {
    struct Case {
        std::string first;
        bool fvs1, fvs2;
    };
    for (const Case& c :
         {Case{"0 1 1", true, true}, Case{"0 1 0", true, false}, Case{"0 0 1", false, true}}) {
        SCOPED_TRACE(c.first);
        InitFileOptions o;
        const InitFileOptions defaults;
        auto paths = samplePaths();
        programDir.write("Init.txt", joinLines(c.first, paths));
        ReadInitFile(o, ui, programDir.path());
        EXPECT_TRUE(ui.messages.empty());

        EXPECT_EQ(o.fvsEventsFileDir1, c.fvs1 ? paths[5] : defaults.fvsEventsFileDir1);
        EXPECT_EQ(o.txtEventsFileDir1, c.fvs1 ? defaults.txtEventsFileDir1 : paths[5]);
        EXPECT_EQ(o.fvsEventsFileDir2, c.fvs2 ? paths[6] : defaults.fvsEventsFileDir2);
        EXPECT_EQ(o.txtEventsFileDir2, c.fvs2 ? defaults.txtEventsFileDir2 : paths[6]);

        // The selected paths go back to lines 7 and 8; the file is unchanged.
        WriteInitFile(o);
        EXPECT_EQ(readFileBytes(o.initFilePath), joinLines(c.first, paths));
    }
}

TEST_F(InitFileTest, FlagsKeepTheirLowEightBitsAndAreWrittenAsRead) {
    auto paths = samplePaths();
    programDir.write("Init.txt", joinLines("256 2 -255", paths));
    InitFileOptions o;
    ReadInitFile(o, ui, programDir.path());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(o.reservedFlag, 0);
    EXPECT_EQ(o.data1IsFvs, 2);
    EXPECT_EQ(o.data2IsFvs, 1);
    EXPECT_EQ(o.fvsEventsFileDir1, paths[5]);  // 2 counts as true
    EXPECT_EQ(o.fvsEventsFileDir2, paths[6]);

    WriteInitFile(o);
    EXPECT_EQ(readFileBytes(o.initFilePath), joinLines("0 2 1", paths));
}

TEST_F(InitFileTest, DamagedFirstLineShowsTheMessageAndKeepsEverything) {
    for (const std::string first : {"a b c", "7 1 x", "0 1 99999999999", "0 1"}) {
        SCOPED_TRACE(first);
        ScriptedUi localUi;
        // "0 1" followed by a path line: the third number reads the path.
        programDir.write("Init.txt", joinLines(first, samplePaths()));
        InitFileOptions o;
        o.reservedFlag = 5;
        o.data1IsFvs = 0;
        o.data2IsFvs = 3;
        o.waveFileDir = "previous wave";
        o.recogCath3FileName = "previous recog";
        InitFileOptions before = o;

        ReadInitFile(o, localUi, programDir.path());
        ASSERT_EQ(localUi.messages.size(), 1u);
        EXPECT_EQ(localUi.messages[0],
                  "Be carefull!\r\nFile of last used options, i.e.\r\n\"" +
                      programDir.file("Init.txt") +
                      "\"\r\nis corrupted\r\nIt will be restored with actual options, next "
                      "time this error should not appear.");
        EXPECT_EQ(o.reservedFlag, 5);
        EXPECT_EQ(o.data1IsFvs, 0);
        EXPECT_EQ(o.data2IsFvs, 3);
        EXPECT_EQ(o.waveFileDir, before.waveFileDir);
        EXPECT_EQ(o.fvsEventsFileDir2, before.fvsEventsFileDir2);
        EXPECT_EQ(o.recogCath3FileName, before.recogCath3FileName);
        // The damaged file is left for the next save.
        EXPECT_EQ(readFileBytes(programDir.file("Init.txt")), joinLines(first, samplePaths()));
    }
}

TEST_F(InitFileTest, MissingLinesAtTheEndGiveEmptyTexts) {
    auto paths = samplePaths();
    // Ten lines, the last without its line end.
    std::string text = joinLines("0 0 0", {paths.begin(), paths.begin() + 9});
    text.resize(text.size() - 2);
    programDir.write("Init.txt", text);

    InitFileOptions o;
    ReadInitFile(o, ui, programDir.path());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(o.waveFileDir, paths[0]);
    EXPECT_EQ(o.txtEventsFileDir2, paths[6]);
    EXPECT_EQ(o.codeFileName, paths[8]);
    for (const std::string* s :
         {&o.teachFileName, &o.teachCath1FileName, &o.teachCath2FileName, &o.teachCath3FileName,
          &o.recogFileName, &o.recogCath1FileName, &o.recogCath2FileName, &o.recogCath3FileName})
        EXPECT_EQ(*s, "");
}

TEST_F(InitFileTest, EmptyFileIsIgnored) {
    programDir.write("Init.txt", "");
    InitFileOptions o;
    o.data1IsFvs = 1;
    o.treeFileDir = "kept";
    ReadInitFile(o, ui, programDir.path());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(o.data1IsFvs, 1);
    EXPECT_EQ(o.treeFileDir, "kept");
    EXPECT_EQ(o.recogCath3FileName, InitFileOptions{}.recogCath3FileName);
}

TEST_F(InitFileTest, PathsSurviveASaveAndAReadByteForByte) {
    InitFileOptions o;
    ReadInitFile(o, ui, programDir.path());
    o.reservedFlag = 9;
    o.data1IsFvs = 1;
    o.waveFileDir = "C:\\My Documents\\wave files\\a b.wav";
    o.treeFileDir = "  leading and trailing blanks  ";
    o.fvsEventsFileDir1 =
        "/home/user/\xC3\xA9v\xC3\xA9nements/\xE9t\xE9.fvs";  // UTF-8 and code page
    o.txtEventsFileDir2 = std::string(1000, 'p') + ".txt";    // no length limit
    o.recogCath3FileName = "";
    WriteInitFile(o);

    InitFileOptions back;
    ReadInitFile(back, ui, programDir.path());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(back.reservedFlag, 9);
    EXPECT_EQ(back.data1IsFvs, 1);
    EXPECT_EQ(back.waveFileDir, o.waveFileDir);
    EXPECT_EQ(back.treeFileDir, o.treeFileDir);
    EXPECT_EQ(back.fvsEventsFileDir1, o.fvsEventsFileDir1);
    EXPECT_EQ(back.txtEventsFileDir2, o.txtEventsFileDir2);
    EXPECT_EQ(back.recogCath3FileName, "");
}

TEST_F(InitFileTest, BareLineFeedsReadLikeCrLf) {
    auto paths = samplePaths();
    programDir.write("Init.txt", joinLines("0 1 0", paths, "\n"));
    InitFileOptions o;
    ReadInitFile(o, ui, programDir.path());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(o.data1IsFvs, 1);
    EXPECT_EQ(o.waveFileDir, paths[0]);
    EXPECT_EQ(o.fvsEventsFileDir1, paths[5]);
    EXPECT_EQ(o.txtEventsFileDir2, paths[6]);
    EXPECT_EQ(o.recogCath3FileName, paths[16]);

    WriteInitFile(o);
    EXPECT_EQ(readFileBytes(o.initFilePath), joinLines("0 1 0", paths));
}

TEST_F(InitFileTest, WritableProgramFolderKeepsTheFileBesideTheProgram) {
    auto paths = samplePaths();
    fs::create_directories(configFolder());
    std::string configBytes = joinLines("0 0 0", std::vector<std::string>(17, "config"));
    std::ofstream(configInitFile(), std::ios::binary) << configBytes;
    programDir.write("Init.txt", joinLines("0 0 0", paths));

    InitFileOptions o;
    ReadInitFile(o, ui, programDir.path());
    EXPECT_EQ(o.initFilePath, programDir.file("Init.txt"));
    EXPECT_EQ(o.waveFileDir, paths[0]);
    // The writability probe leaves nothing behind.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(programDir.path()))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"Init.txt"});
    EXPECT_EQ(readFileBytes(configInitFile()), configBytes);
}

TEST_F(InitFileTest, UnwritableProgramFolderFallsBackToTheConfigFolder) {
    // A program folder that cannot hold a file: missing, or not a folder.
    programDir.write("notAFolder", "");
    for (const std::string& folder : {programDir.file("missing"), programDir.file("notAFolder")}) {
        SCOPED_TRACE(folder);
        fs::remove_all(configFolder());
        InitFileOptions o;
        ReadInitFile(o, ui, folder);
        EXPECT_EQ(o.initFilePath, configInitFile());
        EXPECT_TRUE(fs::is_directory(configFolder()));
        EXPECT_TRUE(ui.messages.empty());

        o.treeFileDir = "C:\\chosen tree.vq";
        WriteInitFile(o);
        EXPECT_FALSE(fs::exists(programDir.file("missing")));

        InitFileOptions back;
        ReadInitFile(back, ui, folder);
        EXPECT_EQ(back.initFilePath, configInitFile());
        EXPECT_EQ(back.treeFileDir, "C:\\chosen tree.vq");
    }
}

TEST_F(InitFileTest, WriteFailuresAreInputOutputErrors) {
    InitFileOptions o;
    o.initFilePath = programDir.file("no such folder/Init.txt");
    try {
        WriteInitFile(o);
        ADD_FAILURE() << "no error for a missing folder";
    } catch (const InOutError& e) {
        EXPECT_EQ(e.code(), 2);
    }

    fs::create_directory(programDir.file("Init.txt"));
    o.initFilePath = programDir.file("Init.txt");
    EXPECT_THROW(WriteInitFile(o), InOutError);

    // The device accepts the open and fails when the data reach it, so only
    // the flush or close reports the failure.
    if (fs::exists("/dev/full")) {
        o.initFilePath = "/dev/full";
        try {
            WriteInitFile(o);
            ADD_FAILURE() << "no error for a full disk";
        } catch (const InOutError& e) {
            EXPECT_EQ(e.code(), 101);
        }
    }
}

}  // namespace
}  // namespace zortan
