#include "platform/Power.h"

#include <string>

#include "platform/Errors.h"

#ifdef _WIN32
#include "platform/PowerWindows.h"
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

// The system's text for an error code, without the line end it comes with.
std::string systemErrorText(DWORD code) {
    char text[512] = {0};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) --n;
    if (n == 0) return "System error " + std::to_string(code);
    return std::string(text, n);
}

[[noreturn]] void throwError(DWORD code) {
    throw InOutError(static_cast<int>(code), systemErrorText(code));
}

}  // namespace

WindowsPowerCalls systemPowerCalls() {
    // GetVersionExA is deprecated, but it is how an NT-family system is told
    // from the others.
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    return {GetVersionExA,       OpenProcessToken, LookupPrivilegeValueA, AdjustTokenPrivileges,
            SetSystemPowerState, CloseHandle,      GetLastError};
}

void hibernateWith(const WindowsPowerCalls& calls, bool suspend, bool force) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (calls.getVersionEx(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        HANDLE token = nullptr;
        if (!calls.openProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                    &token))
            throwError(calls.getLastError());
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        const bool enabled =
            calls.lookupPrivilegeValue(nullptr, "SeShutdownPrivilege",
                                       &privileges.Privileges[0].Luid) &&
            calls.adjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        // The error code is taken before the token is closed, which may change it.
        const DWORD error = enabled ? ERROR_SUCCESS : calls.getLastError();
        calls.closeHandle(token);
        if (!enabled) throwError(error);
    }
    if (!calls.setSystemPowerState(suspend ? TRUE : FALSE, force ? TRUE : FALSE))
        throwError(calls.getLastError());
}

void hibernateMachine(bool suspend, bool force) {
    hibernateWith(systemPowerCalls(), suspend, force);
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
