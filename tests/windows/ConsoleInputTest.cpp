// The console's standard input and Ctrl-C on Windows.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/console/LineInput.h"
#include "support/TempDir.h"

namespace zortan::console {
namespace {

// Every line a LineInput gives until the end, and how often it looked for
// Ctrl-C meanwhile.
std::vector<std::string> readAll(int fd, int& idles) {
    LineInput input(fd);
    std::vector<std::string> lines;
    while (std::optional<std::string> line = input.readLine([&idles] { ++idles; }))
        lines.push_back(*line);
    _close(fd);
    return lines;
}

const std::vector<std::string> kLines = {"read tree", "", "C:\\samples\\a b.vq", "last"};
const char* const kPieces[] = {"read tree\r\n\r\nC:\\samp", "les\\a b.vq\nlast"};

// From a pipe whose writer pauses between pieces: the reader keeps looking
// for Ctrl-C while it waits, instead of blocking in the read.
TEST(ConsoleInput, LinesFromAPipeWithPauses) {
    HANDLE readEnd, writeEnd;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    std::thread writer([writeEnd] {
        for (const char* piece : kPieces) {
            Sleep(300);
            DWORD n;
            WriteFile(writeEnd, piece, static_cast<DWORD>(strlen(piece)), &n, nullptr);
        }
        CloseHandle(writeEnd);
    });
    int idles = 0;
    const auto lines =
        readAll(_open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY), idles);
    writer.join();
    EXPECT_EQ(lines, kLines);
    EXPECT_GE(idles, 6);  // several looks during each pause of 300 ms
}

TEST(ConsoleInput, LinesFromAFile) {
    testing::TempDir dir;
    const std::string path = dir.write("script.txt", std::string(kPieces[0]) + kPieces[1]);
    int idles = 0;
    EXPECT_EQ(readAll(_open(path.c_str(), _O_RDONLY | _O_BINARY), idles), kLines);
    idles = 0;
    EXPECT_TRUE(readAll(_open("NUL", _O_RDONLY | _O_BINARY), idles).empty());
}

// Needs a console; Wine gives one under a pseudo-terminal (CTest runs this
// test so, with ZORTAN_NEEDS_CONSOLE set).
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
    for (int i = 0; i < 200 && !taken; ++i) {
        taken = interrupts.take();
        if (!taken) Sleep(10);
    }
    EXPECT_TRUE(taken);
    EXPECT_FALSE(interrupts.take());
}

}  // namespace
}  // namespace zortan::console
