// zortan-console on Windows: its standard input, Ctrl-C, and a copy in a
// folder whose name leaves ASCII coding the samples, drive-letter paths throughout.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/console/LineInput.h"
#include "support/Session.h"

namespace zortan {
namespace {

using console::Interrupts;
using console::LineInput;
using testing::readFileBytes;

// Every line a LineInput gives, counting how often it looked for Ctrl-C.
std::vector<std::string> readAll(int fd, int& idles) {
    LineInput input(fd);
    std::vector<std::string> lines;
    while (std::optional<std::string> line = input.readLine([&idles] { ++idles; }))
        lines.push_back(*line);
    _close(fd);
    return lines;
}

// From a pipe whose writer pauses the reader keeps looking for Ctrl-C
// instead of blocking; a file and NUL are read to their end.
TEST(ConsoleInput, LinesFromAPipeWithPausesAFileAndNul) {
    const std::vector<std::string> lines = {"read tree", "", "C:\\samples\\a b.vq", "last"};
    const std::string pieces[] = {"read tree\r\n\r\nC:\\samp", "les\\a b.vq\nlast"};
    HANDLE readEnd, writeEnd;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    std::thread writer([&] {
        for (const std::string& piece : pieces) {
            Sleep(300);
            DWORD n;
            WriteFile(writeEnd, piece.data(), static_cast<DWORD>(piece.size()), &n, nullptr);
        }
        CloseHandle(writeEnd);
    });
    int idles = 0;
    EXPECT_EQ(readAll(_open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY), idles),
              lines);
    writer.join();
    EXPECT_GE(idles, 12);  // one a line, and several during each pause of 300 ms

    zortan::testing::TempDir dir;
    const std::string path = dir.write("script.txt", pieces[0] + pieces[1]);
    EXPECT_EQ(readAll(_open(path.c_str(), _O_RDONLY | _O_BINARY), idles), lines);
    EXPECT_TRUE(readAll(_open("NUL", _O_RDONLY | _O_BINARY), idles).empty());
}

// Needs a console: CTest runs it under a pseudo-terminal, ZORTAN_NEEDS_CONSOLE set.
TEST(ConsoleCtrlC, ACtrlCIsTakenOnce) {
    if (!GetConsoleWindow()) {
        if (std::getenv("ZORTAN_NEEDS_CONSOLE")) FAIL() << "no console";
        GTEST_SKIP() << "no console";
    }
    Interrupts interrupts;
    EXPECT_FALSE(interrupts.take());
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    // The handler runs on a thread of the console's.
    bool taken = false;
    for (int i = 0; i < 200 && !(taken = interrupts.take()); ++i) Sleep(10);
    EXPECT_TRUE(taken);
    EXPECT_FALSE(interrupts.take());
}

std::string fullPath(const std::string& path) {
    char full[MAX_PATH];
    return std::string(full, GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr));
}

// Every line ends with CR LF and no CR stands alone.
bool crlfOnly(const std::string& t) {
    const auto pairs = static_cast<ptrdiff_t>(testing::occurrences(t, "\r\n"));
    return std::count(t.begin(), t.end(), '\r') == pairs &&
           std::count(t.begin(), t.end(), '\n') == pairs;
}

TEST(ConsoleRun, CodesTheSamplesAndKeepsItsOptionsBesideItself) {
    testing::TempDir dir;
    const std::string top = fullPath(dir.path()), appData = top + "\\appdata";
    // The options may not fall back to the real configuration folder.
    const std::string savedAppData = std::getenv("APPDATA") ? std::getenv("APPDATA") : "";
    _putenv_s("APPDATA", appData.c_str());
    // A folder name with an é when the code page has one.
    char name[MAX_PATH];
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, 0, L"zortan caf\u00e9", -1, name, MAX_PATH, nullptr, &lost);
    const std::string folder = top + "\\" + (lost ? "zortan cafe" : name);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((folder + "\\out").c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(ZORTAN_CONSOLE_EXE, (folder + "\\zortan-console.exe").c_str(), TRUE));
    const std::string samples = fullPath(ZORTAN_SAMPLES), out = folder + "\\out\\vowels_",
                      tree = samples + "\\vowels-cep16-centroids32.vq";
    dir.write("script.txt", "read tree\r\n" + tree +
                                "\r\nset stepwiseProceeding off\r\nset showInputRecords off\n"
                                "set hibernateOnFinish on\r\nset outputTeachCombined on\r\n"
                                "set outputTeachCodes on\r\nset outputTeachCath1 on\r\n"
                                "set outputRecogCombined on\r\nset outputRecogCath1 on\r\n"
                                "read data_1\r\n" +
                                samples + "\\vowels.fvs\r\n" + out + "Teach.zrt\r\nhalt!\r\n");
    // The program run by the command interpreter from elsewhere, the script
    // its input, its output into a file.
    const int status = std::system(("\"\"" + folder + "\\zortan-console.exe\" < \"" + top +
                                    "\\script.txt\" > \"" + top + "\\output.txt\" 2>&1\"")
                                       .c_str());
    _putenv_s("APPDATA", savedAppData.c_str());
    EXPECT_EQ(status, 0);
    const std::string output = readFileBytes(top + "\\output.txt");
    EXPECT_TRUE(crlfOnly(output));
    for (const char* line : {"\n[beep]\r\n", "\n[hibernate]\r\n", "\nProgram Finished!\r\n"})
        EXPECT_NE(output.find(line), std::string::npos) << line << output;

    // The options beside the program, none in the configuration folder.
    const std::string init = readFileBytes(folder + "\\Init.txt");
    EXPECT_TRUE(crlfOnly(init));
    EXPECT_NE(init.find("\r\n" + tree + "\r\n"), std::string::npos) << init;
    EXPECT_EQ(GetFileAttributesA((appData + "\\Zortan").c_str()), INVALID_FILE_ATTRIBUTES);

    // Every output named in the finish message, text in CR LF lines.
    for (const std::string name : {"Teach.zrt", "Recog.zrt", "code.txt", "teach_Vowel.txt",
                                   "recog_Vowel.txt", "error.txt"}) {
        EXPECT_NE(output.find("\"" + out + name + "\""), std::string::npos) << name;
        const std::string bytes = readFileBytes(out + name);
        EXPECT_FALSE(bytes.empty()) << name;
        EXPECT_TRUE(name.ends_with(".zrt") ||
                    crlfOnly(bytes.substr(0, bytes.find("Output codes:"))))
            << name;
    }
    // One record a coded event in each combined file; one code a coded event.
    for (const char* name : {"Teach.zrt", "Recog.zrt"}) {
        const testing::CombinedFile zrt = testing::readCombinedFile(readFileBytes(out + name));
        EXPECT_TRUE(zrt.wellFormed && zrt.records.size() == 477) << name;
    }
    EXPECT_EQ(testing::codeCharacters(readFileBytes(out + "code.txt")).size(), 477u);
    EXPECT_NE(readFileBytes(out + "error.txt").find("Events number=477\r\n"), std::string::npos);
}

}  // namespace
}  // namespace zortan
