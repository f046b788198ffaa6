// The Windows side of the platform: code-page paths, the configuration
// folder, files, and hibernation through fakes of its calls.
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
#include "window/ShellRules.h"

namespace zortan {
namespace {

namespace fs = std::filesystem;

// Folders named beyond ASCII (é the same byte in Latin-1, € and œ not) are
// created, found and hold the options file under the name meant.
TEST(WindowsPaths, FoldersNamedInTheCodePageHoldTheOptionsFile) {
    testing::TempDir dir;
    for (const wchar_t* wide : {L"caf\u00e9", L"\u20acuro", L"c\u0153ur et \u00e2me"}) {
        char name[MAX_PATH];
        BOOL lost = FALSE;
        WideCharToMultiByte(CP_ACP, 0, wide, -1, name, MAX_PATH, nullptr, &lost);
        if (lost) continue;  // the code page cannot spell it
        SCOPED_TRACE(name);
        const std::string folder = dir.path() + "\\" + name;
        ASSERT_TRUE(makeFolders(folder + "\\sub"));
        EXPECT_TRUE(folderExists(folder));
        InitFileOptions options;
        testing::ScriptedUi ui;
        ReadInitFile(options, ui, folder);
        EXPECT_EQ(options.initFilePath, folder + "\\Init.txt");
        WriteInitFile(options);
        EXPECT_TRUE(fileExists(options.initFilePath));
        EXPECT_TRUE(fs::is_regular_file(fs::path(dir.path()) / wide / L"Init.txt"));
    }
}

// The configuration folder is in %APPDATA%; an options file held by another
// program without sharing moves there.
TEST(WindowsPaths, TheConfigurationFolderIsInAppData) {
    testing::TempDir dir;
    const std::string before = std::getenv("APPDATA") ? std::getenv("APPDATA") : "";
    for (const auto& [appData, folder] : {std::pair{"D:\\", "D:\\Zortan"}, {"", ".\\Zortan"}}) {
        _putenv_s("APPDATA", appData);
        EXPECT_EQ(userConfigFolder(), folder) << appData;
    }
    _putenv_s("APPDATA", dir.file("appdata").c_str());
    HANDLE held =
        CreateFileA(dir.file("Init.txt").c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    InitFileOptions options;
    testing::ScriptedUi ui;
    ReadInitFile(options, ui, dir.path());
    CloseHandle(held);
    _putenv_s("APPDATA", before.c_str());
    EXPECT_EQ(options.initFilePath, dir.file("appdata") + "\\Zortan\\Init.txt");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(joinPath("C:", "Init.txt"), "C:\\Init.txt");
    EXPECT_TRUE(fileExists(joinPath(runningProgramFolder(), "zortan_windows_tests.exe")));
}

TEST(WindowsFiles, CutBackAndRegularOrNot) {
    testing::TempDir dir;
    std::FILE* f = std::fopen(dir.file("cut.bin").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite("0123456789", 1, 10, f);
    std::fflush(f);
    EXPECT_TRUE(isRegularFile(f) && cutFileTo(f, 4));
    std::fclose(f);
    EXPECT_EQ(fs::file_size(dir.file("cut.bin")), 4u);
    HANDLE readEnd, writeEnd;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    std::FILE* pipe =
        _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY), "rb");
    EXPECT_FALSE(isRegularFile(pipe));
    std::fclose(pipe);
    CloseHandle(writeEnd);
}

// Hibernation with faked calls: the steps, their arguments, a failing one's error.
TEST(WindowsPower, HibernationStepsAndTheirFailures) {
    const std::vector<std::string> all = {"version", "token", "lookup", "adjust", "close", "power"};
    const struct {
        std::string failing;  // the step that fails, or ""
        DWORD platform;
        std::vector<std::string> steps;
    } cases[] = {
        {"", VER_PLATFORM_WIN32_NT, all},
        {"", VER_PLATFORM_WIN32_WINDOWS, {"version", "power"}},
        {"token", VER_PLATFORM_WIN32_NT, {"version", "token"}},
        {"lookup", VER_PLATFORM_WIN32_NT, {"version", "token", "lookup", "close"}},
        {"adjust", VER_PLATFORM_WIN32_NT, {"version", "token", "lookup", "adjust", "close"}},
        {"power", VER_PLATFORM_WIN32_NT, all},
    };
    const HANDLE token = reinterpret_cast<HANDLE>(0x5a5a);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing + " " + std::to_string(c.platform));
        std::vector<std::string> steps;
        const auto step = [&](bool right, const std::string& name) -> BOOL {
            steps.push_back(right ? name : name + " (wrong arguments)");
            return c.failing != name;
        };
        WindowsPowerCalls calls;
        calls.getVersionEx = [&](OSVERSIONINFOA* v) {
            v->dwPlatformId = c.platform;
            return step(v->dwOSVersionInfoSize == sizeof *v, "version");
        };
        calls.openProcessToken = [&](HANDLE, DWORD access, HANDLE* out) {
            *out = token;
            return step(access == (TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY), "token");
        };
        calls.lookupPrivilegeValue = [&](const char* system, const char* name, LUID* luid) {
            *luid = LUID{7, 0};
            return step(!system && std::string(name) == "SeShutdownPrivilege", "lookup");
        };
        calls.adjustTokenPrivileges = [&](HANDLE h, BOOL disableAll, TOKEN_PRIVILEGES* p, DWORD,
                                          TOKEN_PRIVILEGES*, DWORD*) {
            const LUID_AND_ATTRIBUTES& a = p->Privileges[0];
            return step(h == token && !disableAll && p->PrivilegeCount == 1 &&
                            a.Luid.LowPart == 7 && a.Attributes == SE_PRIVILEGE_ENABLED,
                        "adjust");
        };
        calls.closeHandle = [&](HANDLE h) { return step(h == token, "close"); };
        calls.setSystemPowerState = [&](BOOL suspend, BOOL force) {
            return step(!suspend && force, "power");
        };
        calls.getLastError = [] { return static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD); };
        try {
            hibernateWith(calls, false, true);
            EXPECT_TRUE(c.failing.empty());
        } catch (const InOutError& e) {
            EXPECT_FALSE(c.failing.empty());
            EXPECT_EQ(e.code(), ERROR_PRIVILEGE_NOT_HELD);
            const std::string text = e.what();
            EXPECT_TRUE(!text.empty() && text.find_first_of("\r\n") == std::string::npos) << text;
        }
        EXPECT_EQ(steps, c.steps);
    }
}

}  // namespace
}  // namespace zortan
