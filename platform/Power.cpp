#include "platform/Power.h"

#include <string>

#include "platform/Errors.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace zortan {

#ifdef _WIN32

namespace {
[[noreturn]] void throwLastError() {
    const DWORD code = GetLastError();
    char text[512] = {0};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, sizeof text, nullptr);
    throw InOutError(static_cast<int>(code), text);
}
}  // namespace

void hibernateMachine(bool suspend, bool force) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma warning(suppress : 4996)
    if (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        HANDLE token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
            throwLastError();
        TOKEN_PRIVILEGES privileges{};
        if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
            throwLastError();
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr))
            throwLastError();
    }
    if (!SetSystemPowerState(suspend ? TRUE : FALSE, force ? TRUE : FALSE)) throwLastError();
}

#else

void hibernateMachine(bool suspend, bool force) {
    // logind performs the request; systemctl passes it on and reports why it
    // failed on its standard error, which becomes the error's text.
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw ioErrorFromErrno(errno);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::string verb = suspend ? "suspend" : "hibernate";
    std::string flag = "--check-inhibitors=no";
    char* argv[] = {const_cast<char*>("systemctl"), verb.data(), force ? flag.data() : nullptr,
                    nullptr};
    pid_t pid;
    const int spawned = posix_spawnp(&pid, "systemctl", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string text;
    if (spawned == 0) {
        char buf[256];
        ssize_t n;
        while ((n = read(pipeFds[0], buf, sizeof buf)) > 0)
            text.append(buf, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    if (spawned != 0)
        throw InOutError(spawned, std::string("Hibernation failed: ") + std::strerror(spawned));
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (text.empty()) text = "Hibernation failed";
        throw InOutError(WIFEXITED(status) ? WEXITSTATUS(status) : -1, text);
    }
}

#endif

}  // namespace zortan
