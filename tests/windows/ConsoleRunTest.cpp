// zortan-console on Windows, end to end: a copy of the program in a fresh
// folder (whose name leaves ASCII) codes the bundled samples, with
// drive-letter paths throughout.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace zortan {
namespace {

using testing::readFileBytes;

std::string fullPath(const std::string& path) {
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return std::string(full, n);
}

// A folder name with an é when the code page has one.
std::string folderName() {
    char name[MAX_PATH];
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, 0, L"zortan caf\u00e9", -1, name, MAX_PATH, nullptr, &lost);
    return lost ? "zortan cafe" : name;
}

// Every line ends with CR LF and no CR stands alone.
bool crlfOnly(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
    }
    return true;
}

struct ConsoleResult {
    DWORD status = 0;
    std::string output;
};

// Runs <folder>\zortan-console.exe in `folder`, `script` on its standard
// input from a file, its standard output into a file.
ConsoleResult runConsole(const std::string& folder, const std::string& script) {
    const std::string scriptPath = folder + "\\..\\script.txt";
    const std::string outputPath = folder + "\\..\\console-output.txt";
    std::FILE* f = std::fopen(scriptPath.c_str(), "wb");
    std::fwrite(script.data(), 1, script.size(), f);
    std::fclose(f);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = CreateFileA(scriptPath.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit,
                                    OPEN_EXISTING, 0, nullptr);
    startup.hStdOutput = startup.hStdError = CreateFileA(
        outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    const std::string exe = folder + "\\zortan-console.exe";
    std::string commandLine = "\"" + exe + "\"";
    PROCESS_INFORMATION process{};
    ConsoleResult run;
    if (CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       folder.c_str(), &startup, &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.status);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    } else {
        ADD_FAILURE() << "cannot start " << exe << ": " << GetLastError();
    }
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    run.output = readFileBytes(outputPath);
    return run;
}

class ConsoleRun : public ::testing::Test {
  protected:
    void SetUp() override {
        // The options may not fall back to the real configuration folder.
        appData = fullPath(dir.path()) + "\\appdata";
        if (const char* old = std::getenv("APPDATA")) savedAppData = old;
        _putenv_s("APPDATA", appData.c_str());
    }
    void TearDown() override { _putenv_s("APPDATA", savedAppData.c_str()); }

    // A fresh folder with a copy of the program and an empty out\.
    std::string programFolder() {
        const std::string folder = fullPath(dir.path()) + "\\" + folderName();
        EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        EXPECT_TRUE(CreateDirectoryA((folder + "\\out").c_str(), nullptr));
        EXPECT_TRUE(CopyFileA(ZORTAN_CONSOLE_EXE, (folder + "\\zortan-console.exe").c_str(), TRUE));
        return folder;
    }

    testing::TempDir dir;
    std::string appData, savedAppData;
    const std::string samples = fullPath(ZORTAN_SAMPLES);
    const std::string tree = samples + "\\vowels-cep16-centroids32.vq";
};

// The codes of the records that end a combined file.
std::string recordCodes(const std::string& zrt, size_t count) {
    std::string codes;
    for (size_t i = zrt.size() - 6 * count; i < zrt.size(); i += 6) {
        if (zrt[i + 1] != 0) return "(code above 255)";
        codes += zrt[i];
    }
    return codes;
}

TEST_F(ConsoleRun, CodesTheSamplesAndKeepsItsOptionsBesideItself) {
    const std::string folder = programFolder();
    const std::string script = "read tree\r\n" + tree +
                               "\r\n"
                               "set stepwiseProceeding off\r\nset showInputRecords off\n"
                               "set hibernateOnFinish on\r\n"
                               "set outputTeachCombined on\r\nset outputTeachCodes on\r\n"
                               "set outputTeachCath1 on\r\nset outputRecogCombined on\r\n"
                               "set outputRecogCath1 on\r\n"
                               "read data_1\r\n" +
                               samples + "\\vowels.fvs\r\n" + folder +
                               "\\out\\vowels_Teach.zrt\r\n"
                               "halt!\r\n";
    const std::string out = folder + "\\out\\vowels_";
    const ConsoleResult run = runConsole(folder, script);
    EXPECT_EQ(run.status, 0u);
    EXPECT_TRUE(crlfOnly(run.output));
    for (const char* line : {"\n[beep]\r\n", "\n[hibernate]\r\n", "\nProgram Finished!\r\n"})
        EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;

    // The options beside the program, in CR LF lines, the tree's path on
    // line 4; nothing in the configuration folder.
    const std::string init = readFileBytes(folder + "\\Init.txt");
    EXPECT_TRUE(crlfOnly(init));
    EXPECT_NE(init.find("\r\n" + tree + "\r\n"), std::string::npos) << init;
    EXPECT_EQ(GetFileAttributesA((appData + "\\Zortan").c_str()), INVALID_FILE_ATTRIBUTES);

    // Every output named in the finish message, text in CR LF lines.
    for (const char* name : {"Teach.zrt", "Recog.zrt", "code.txt", "teach_Vowel.txt",
                             "recog_Vowel.txt", "error.txt"}) {
        EXPECT_NE(run.output.find("\"" + out + name + "\""), std::string::npos) << name;
        const std::string bytes = readFileBytes(out + name);
        EXPECT_FALSE(bytes.empty()) << name;
        // (The code file ends in the codes, one byte each.)
        if (std::string(name).ends_with(".txt")) {
            EXPECT_TRUE(crlfOnly(bytes.substr(0, bytes.find("Output codes:")))) << name;
        }
    }

    // One record a coded event in each combined file, with the code the
    // code file has for it.
    const std::string error = readFileBytes(out + "error.txt");
    const size_t at = error.find("Events number=");
    ASSERT_NE(at, std::string::npos);
    const size_t events = std::strtoul(error.c_str() + at + 14, nullptr, 10);
    const std::string code = readFileBytes(out + "code.txt");
    const std::string header = "Output codes:\r\n";
    const std::string codes = code.substr(code.find(header) + header.size());
    ASSERT_EQ(codes.size(), events);
    for (const char* name : {"Teach.zrt", "Recog.zrt"}) {
        const std::string zrt = readFileBytes(out + name);
        ASSERT_EQ(zrt.size() % 6, 0u) << name;
        ASSERT_GT(zrt.size(), 6 * events);
        EXPECT_EQ(recordCodes(zrt, events), codes) << name;
    }
}

// An options file beside the program that cannot be opened for writing (here
// another program holds it without sharing): the options go to %APPDATA%.
TEST_F(ConsoleRun, OptionsGoToAppDataWhenTheProgramsFolderCannotKeepThem) {
    const std::string folder = programFolder();
    const std::string beside = folder + "\\Init.txt";
    HANDLE held = CreateFileA(beside.c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const ConsoleResult run = runConsole(folder, "read tree\n" + tree + "\nhalt!\n");
    CloseHandle(held);
    EXPECT_EQ(run.status, 0u);
    const std::string init = readFileBytes(appData + "\\Zortan\\Init.txt");
    EXPECT_TRUE(init.starts_with("0 0 0\r\n")) << init;
    EXPECT_NE(init.find("\r\n" + tree + "\r\n"), std::string::npos);
    EXPECT_EQ(readFileBytes(beside), "");
}

}  // namespace
}  // namespace zortan
