// Standard input and Ctrl-C on Windows (LineInput.cpp is the POSIX side).
//
// The console calls its Ctrl-C handler on a thread of its own. The handler
// sets an event named after the process, and the program's thread takes it
// with a wait that does not block, so the two share no variable. The event
// resets when taken: several Ctrl-C before a look count once, as a blocked
// SIGINT does.
#include <io.h>
#include <windows.h>

#include <string>

#include "app/console/LineInput.h"

namespace zortan::console {

namespace {

constexpr DWORD kPollMilliseconds = 50;

std::string interruptEventName(DWORD process, const char* kind) {
    return std::string("Local\\zortan-console-") + kind + "-" + std::to_string(process);
}

BOOL WINAPI onConsoleControl(DWORD type) {
    // Ctrl-C acts as SIGINT, Ctrl-Break as SIGTERM; closing the console
    // window ends the program as usual.
    const char* kind = type == CTRL_C_EVENT       ? "ctrl-c"
                       : type == CTRL_BREAK_EVENT ? "ctrl-break"
                                                  : nullptr;
    if (!kind) return FALSE;
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE,
                              interruptEventName(GetCurrentProcessId(), kind).c_str());
    if (!event) return FALSE;
    SetEvent(event);
    CloseHandle(event);
    return TRUE;
}

enum class Wait { Ready, Nothing, Ended };

// Whether a read of `in` can start without blocking the look at Ctrl-C for
// long. Files always can; a pipe when bytes wait in it; a console once a key
// was pressed (the read then takes the whole line, and Ctrl-C cuts it short).
Wait waitForInput(HANDLE in, DWORD& size) {
    switch (GetFileType(in)) {
        case FILE_TYPE_PIPE: {
            DWORD waiting = 0;
            if (!PeekNamedPipe(in, nullptr, 0, nullptr, &waiting, nullptr)) return Wait::Ended;
            if (waiting == 0) {
                Sleep(kPollMilliseconds);
                return Wait::Nothing;
            }
            if (waiting < size) size = waiting;
            return Wait::Ready;
        }
        case FILE_TYPE_CHAR: {
            DWORD mode = 0;
            if (!GetConsoleMode(in, &mode)) return Wait::Ready;  // NUL and other devices
            return WaitForSingleObject(in, kPollMilliseconds) == WAIT_OBJECT_0 ? Wait::Ready
                                                                               : Wait::Nothing;
        }
        default:
            return Wait::Ready;
    }
}

}  // namespace

Interrupts::Interrupts() {
    const DWORD process = GetCurrentProcessId();
    event_ = CreateEventA(nullptr, FALSE, FALSE, interruptEventName(process, "ctrl-c").c_str());
    termination_ =
        CreateEventA(nullptr, FALSE, FALSE, interruptEventName(process, "ctrl-break").c_str());
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

bool Interrupts::take() {
    return event_ && WaitForSingleObject(static_cast<HANDLE>(event_), 0) == WAIT_OBJECT_0;
}

bool Interrupts::takeTermination() {
    return termination_ &&
           WaitForSingleObject(static_cast<HANDLE>(termination_), 0) == WAIT_OBJECT_0;
}

std::optional<std::string> LineInput::readLine(const std::function<void()>& idle) {
    const HANDLE in = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    for (;;) {
        idle();
        if (std::optional<std::string> line = takeLine()) return line;
        if (ended_) return std::nullopt;
        char chunk[4096];
        DWORD size = sizeof chunk;
        const Wait wait = waitForInput(in, size);
        if (wait != Wait::Ready) {
            ended_ = wait == Wait::Ended;
            continue;
        }
        DWORD n = 0;
        SetLastError(ERROR_SUCCESS);
        if (ReadFile(in, chunk, size, &n, nullptr) && n > 0)
            buffer_.append(chunk, n);
        else if (GetLastError() != ERROR_OPERATION_ABORTED)  // Ctrl-C cut a console read
            ended_ = true;
    }
}

}  // namespace zortan::console
