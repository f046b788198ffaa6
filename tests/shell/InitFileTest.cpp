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

// Line 1 and the 17 path lines of a file (lines 2 to 18), blanks around one.
std::string initText(const std::string& first) {
    std::string text = first + "\r\n";
    for (int i = 2; i <= 18; ++i)
        text += (i == 4 ? "  D:\\saved tree " : "D:\\saved\\line") + std::to_string(i) + "\r\n";
    return text;
}
const std::string kLine7 = "D:\\saved\\line7", kLine8 = "D:\\saved\\line8";

#ifdef _WIN32
constexpr const char *kVariable = "APPDATA", *kSubfolder = "Zortan";
#else
constexpr const char *kVariable = "XDG_CONFIG_HOME", *kSubfolder = "zortan";
#endif

// Every test gets its own configuration folder, so that a fallback never
// reaches the real one.
class InitFileTest : public ::testing::Test {
  protected:
    static void set(const char* value) {
#ifdef _WIN32
        _putenv_s(kVariable, value ? value : "");
#else
        value ? setenv(kVariable, value, 1) : unsetenv(kVariable);
#endif
    }
    void SetUp() override {
        if (const char* old = std::getenv(kVariable)) saved_ = old;
        set(configHome.path().c_str());
    }
    void TearDown() override {
        set(saved_ ? saved_->c_str() : nullptr);
    }
    std::string configFolder() const {
        return configHome.file(kSubfolder);
    }
    std::string configInitFile() const {
        return (fs::path(configFolder()) / "Init.txt").string();
    }

    TempDir programDir, configHome;
    ScriptedUi ui;

  private:
    std::optional<std::string> saved_;
};

// (The order of the lines is checked with the damaged files found at start-up.)
TEST_F(InitFileTest, MissingFileChangesNothingAndASaveReplacesTheWholeContent) {
    InitFileOptions o;
    ReadInitFile(o, ui, programDir.path());
    EXPECT_EQ(o.initFilePath, programDir.file("Init.txt"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(fs::exists(o.initFilePath));
    o.errorFileName = std::string(5000, 'e');
    WriteInitFile(o);
    o.errorFileName = "E";
    WriteInitFile(o);
    const std::string bytes = readFileBytes(o.initFilePath);
    EXPECT_TRUE(bytes.starts_with("0 0 0\r\n" + o.waveFileDir + "\r\n"));
    EXPECT_NE(bytes.find("\r\nE\r\n" + o.codeFileName + "\r\n"), std::string::npos);
    EXPECT_TRUE(bytes.ends_with("\r\n" + o.recogCath3FileName + "\r\n"));
    EXPECT_LT(bytes.size(), 1000u);  // no trace of the longer content
}

// Lines 7 and 8 go to the fvs or the text path of each input by the flags,
// and back to lines 7 and 8: the file is written as it was read.
TEST_F(InitFileTest, FlagsRouteLinesSevenAndEight) {
    const InitFileOptions defaults;
    for (const char* first : {"0 1 1", "0 1 0", "0 0 1", "0 2 0"}) {
        SCOPED_TRACE(first);
        const bool fvs1 = first[2] != '0', fvs2 = first[4] != '0';
        programDir.write("Init.txt", initText(first));
        InitFileOptions o;
        ReadInitFile(o, ui, programDir.path());
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(o.treeFileDir, "  D:\\saved tree 4");
        EXPECT_EQ(o.fvsEventsFileDir1, fvs1 ? kLine7 : defaults.fvsEventsFileDir1);
        EXPECT_EQ(o.txtEventsFileDir1, fvs1 ? defaults.txtEventsFileDir1 : kLine7);
        EXPECT_EQ(o.fvsEventsFileDir2, fvs2 ? kLine8 : defaults.fvsEventsFileDir2);
        EXPECT_EQ(o.txtEventsFileDir2, fvs2 ? defaults.txtEventsFileDir2 : kLine8);
        WriteInitFile(o);
        EXPECT_EQ(readFileBytes(o.initFilePath), initText(first));
    }
}

TEST_F(InitFileTest, TheFileStaysBesideAWritableProgramOrMovesToTheConfigFolder) {
    fs::create_directories(configFolder());
    const std::string configBytes = initText("0 0 1");
    std::ofstream(configInitFile(), std::ios::binary) << configBytes;
    programDir.write("Init.txt", initText("0 1 0"));
    InitFileOptions o;
    ReadInitFile(o, ui, programDir.path());
    EXPECT_EQ(o.initFilePath, programDir.file("Init.txt"));
    EXPECT_EQ(o.fvsEventsFileDir1, kLine7);
    // The writability probe leaves nothing behind.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(programDir.path()))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"Init.txt"});
    EXPECT_EQ(readFileBytes(configInitFile()), configBytes);

    // A program folder that cannot hold a file: missing, or not a folder.
    programDir.write("notAFolder", "");
    for (const std::string& folder : {programDir.file("missing"), programDir.file("notAFolder")}) {
        SCOPED_TRACE(folder);
        fs::remove_all(configFolder());
        InitFileOptions f;
        ReadInitFile(f, ui, folder);
        EXPECT_EQ(f.initFilePath, configInitFile());
        EXPECT_TRUE(fs::is_directory(configFolder()));
        f.treeFileDir = "C:\\chosen tree.vq";
        WriteInitFile(f);
        EXPECT_FALSE(fs::exists(programDir.file("missing")));
        InitFileOptions back;
        ReadInitFile(back, ui, folder);
        EXPECT_EQ(back.initFilePath, configInitFile());
        EXPECT_EQ(back.treeFileDir, "C:\\chosen tree.vq");
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(InitFileTest, WriteFailuresAreInputOutputErrors) {
    fs::create_directory(programDir.file("Init.txt"));
    // A missing folder, a folder in the file's place, and a device that
    // accepts the open and fails only when the data reach it.
    std::vector<std::pair<std::string, int>> cases = {
        {programDir.file("no such folder/Init.txt"), 2}, {programDir.file("Init.txt"), 0}};
    if (fs::exists("/dev/full")) cases.push_back({"/dev/full", 101});
    for (const auto& [path, code] : cases) {
        InitFileOptions o;
        o.initFilePath = path;
        try {
            WriteInitFile(o);
            ADD_FAILURE() << "no error writing " << path;
        } catch (const InOutError& e) {
            EXPECT_TRUE(code == 0 || e.code() == code) << path << ": " << e.code();
        }
    }
}

}  // namespace
}  // namespace zortan
