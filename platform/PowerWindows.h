// The Windows calls that hibernation makes, gathered in one table so that a
// test can put fakes in their place and never hibernate the machine.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <functional>

namespace zortan {

struct WindowsPowerCalls {
    std::function<BOOL(OSVERSIONINFOA*)> getVersionEx;
    std::function<BOOL(HANDLE, DWORD, HANDLE*)> openProcessToken;
    std::function<BOOL(const char*, const char*, LUID*)> lookupPrivilegeValue;
    std::function<BOOL(HANDLE, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*, DWORD*)>
        adjustTokenPrivileges;
    std::function<BOOL(BOOL, BOOL)> setSystemPowerState;
    std::function<BOOL(HANDLE)> closeHandle;
    std::function<DWORD()> getLastError;
};

// The system's own calls.
WindowsPowerCalls systemPowerCalls();

// What hibernateMachine does on Windows, through `calls`: on an NT-family
// system the shutdown privilege is enabled first; a failed call raises an
// input/output error with the system's text for its error code.
void hibernateWith(const WindowsPowerCalls& calls, bool suspend, bool force);

}  // namespace zortan

#endif
