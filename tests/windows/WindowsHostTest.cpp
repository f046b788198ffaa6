// The Windows side of the platform: paths in the system's code page, the
// configuration folder, files, and hibernation through fakes of its calls.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/Host.h"
#include "platform/PowerWindows.h"
#include "shell/InitFile.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

namespace zortan {
namespace {

namespace fs = std::filesystem;

// The name in the system's code page, or "" when the page cannot spell it.
std::string inCodePage(const std::wstring& name) {
    BOOL lost = FALSE;
    char text[MAX_PATH];
    const int n =
        WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, text, sizeof text, nullptr, &lost);
    return n > 0 && !lost ? std::string(text) : std::string();
}

// Folders whose names leave ASCII: é is the same byte in Latin-1, € and œ
// are not. Each is created, found, and holds the options file beside a
// program kept there; on disk it has the name the code page gives it.
TEST(WindowsPaths, FoldersNamedInTheCodePageHoldTheOptionsFile) {
    testing::TempDir dir;
    for (const std::wstring& wide : {std::wstring(L"caf\u00e9"), std::wstring(L"\u20acuro"),
                                     std::wstring(L"c\u0153ur et \u00e2me")}) {
        const std::string name = inCodePage(wide);
        if (name.empty()) continue;
        SCOPED_TRACE(name);
        const std::string folder = dir.path() + "\\" + name;
        ASSERT_TRUE(makeFolders(folder + "\\sub"));
        EXPECT_TRUE(folderExists(folder));
        EXPECT_TRUE(fs::is_directory(fs::path(dir.path()) / wide));

        InitFileOptions options;
        zortan::testing::ScriptedUi ui;
        ReadInitFile(options, ui, folder);
        EXPECT_EQ(options.initFilePath, folder + "\\Init.txt");
        WriteInitFile(options);
        EXPECT_TRUE(fileExists(options.initFilePath));
        EXPECT_TRUE(fs::is_regular_file(fs::path(dir.path()) / wide / L"Init.txt"));
    }
}

TEST(WindowsPaths, TheConfigurationFolderIsInAppData) {
    const char* saved = std::getenv("APPDATA");
    const std::string before = saved ? saved : "";
    const struct {
        const char* appData;
        std::string folder;
    } cases[] = {{"C:\\Users\\u\\AppData\\Roaming", "C:\\Users\\u\\AppData\\Roaming\\Zortan"},
                 {"D:\\", "D:\\Zortan"},
                 {"", ".\\Zortan"}};
    for (const auto& c : cases) {
        _putenv_s("APPDATA", c.appData);
        EXPECT_EQ(userConfigFolder(), c.folder) << c.appData;
    }
    _putenv_s("APPDATA", before.c_str());
    EXPECT_EQ(kPathSeparator, '\\');
    EXPECT_EQ(joinPath("C:", "Init.txt"), "C:\\Init.txt");
    EXPECT_EQ(extractFileDir(runningProgramFolder() + "\\x.exe"), runningProgramFolder());
    EXPECT_TRUE(fileExists(joinPath(runningProgramFolder(), "zortan_windows_tests.exe")));
}

TEST(WindowsFiles, CutBackAndRegularOrNot) {
    testing::TempDir dir;
    const std::string path = dir.file("cut.bin");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite("0123456789", 1, 10, f);
    std::fflush(f);
    EXPECT_TRUE(isRegularFile(f));
    EXPECT_TRUE(cutFileTo(f, 4));
    std::fclose(f);
    EXPECT_EQ(fs::file_size(path), 4u);

    HANDLE readEnd, writeEnd;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    std::FILE* pipe =
        _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY), "rb");
    ASSERT_NE(pipe, nullptr);
    EXPECT_FALSE(isRegularFile(pipe));
    std::fclose(pipe);
    CloseHandle(writeEnd);
}

// Hibernation with every system call faked: the steps taken, what each is
// given, and the error when one of them fails.
TEST(WindowsPower, HibernationStepsAndTheirFailures) {
    const std::vector<std::string> all = {"version", "token", "lookup", "adjust", "close", "power"};
    const struct {
        const char* failing;  // the step that fails, or ""
        DWORD platform;
        std::vector<std::string> steps;
    } cases[] = {
        {"", VER_PLATFORM_WIN32_NT, all},
        {"", VER_PLATFORM_WIN32_WINDOWS, {"version", "power"}},
        {"token", VER_PLATFORM_WIN32_NT, {"version", "token"}},
        {"lookup", VER_PLATFORM_WIN32_NT, {"version", "token", "lookup", "close"}},
        {"adjust", VER_PLATFORM_WIN32_NT, {"version", "token", "lookup", "adjust", "close"}},
        {"power", VER_PLATFORM_WIN32_NT, all},
        {"power", VER_PLATFORM_WIN32_WINDOWS, {"version", "power"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.failing) + " " + std::to_string(c.platform));
        std::vector<std::string> steps;
        const HANDLE token = reinterpret_cast<HANDLE>(0x5a5a);
        const LUID shutdown{7, 0};
        const std::string failing = c.failing;
        auto step = [&](const char* name) {
            steps.push_back(name);
            return failing == name ? FALSE : TRUE;
        };
        WindowsPowerCalls calls;
        calls.getVersionEx = [&](OSVERSIONINFOA* v) {
            EXPECT_EQ(v->dwOSVersionInfoSize, sizeof *v);
            v->dwPlatformId = c.platform;
            return step("version");
        };
        calls.openProcessToken = [&](HANDLE, DWORD access, HANDLE* out) {
            EXPECT_EQ(access, static_cast<DWORD>(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY));
            *out = token;
            return step("token");
        };
        calls.lookupPrivilegeValue = [&](const char* system, const char* name, LUID* luid) {
            EXPECT_EQ(system, nullptr);
            EXPECT_STREQ(name, "SeShutdownPrivilege");
            *luid = shutdown;
            return step("lookup");
        };
        calls.adjustTokenPrivileges = [&](HANDLE h, BOOL disableAll, TOKEN_PRIVILEGES* p, DWORD,
                                          TOKEN_PRIVILEGES*, DWORD*) {
            EXPECT_EQ(h, token);
            EXPECT_FALSE(disableAll);
            EXPECT_EQ(p->PrivilegeCount, 1u);
            EXPECT_EQ(p->Privileges[0].Luid.LowPart, shutdown.LowPart);
            EXPECT_EQ(p->Privileges[0].Attributes, static_cast<DWORD>(SE_PRIVILEGE_ENABLED));
            return step("adjust");
        };
        calls.closeHandle = [&](HANDLE h) {
            EXPECT_EQ(h, token);
            return step("close");
        };
        calls.setSystemPowerState = [&](BOOL suspend, BOOL force) {
            EXPECT_FALSE(suspend);
            EXPECT_TRUE(force);
            return step("power");
        };
        calls.getLastError = [] { return static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD); };
        try {
            hibernateWith(calls, false, true);
            EXPECT_TRUE(failing.empty());
        } catch (const InOutError& e) {
            EXPECT_FALSE(failing.empty());
            EXPECT_EQ(e.code(), ERROR_PRIVILEGE_NOT_HELD);
            const std::string text = e.what();
            EXPECT_FALSE(text.empty());
            EXPECT_EQ(text.find_last_of("\r\n"), std::string::npos) << text;
        }
        EXPECT_EQ(steps, c.steps);
    }
}

}  // namespace
}  // namespace zortan
