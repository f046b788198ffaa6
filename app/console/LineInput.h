// Standard input, read one line at a time without blocking the check for a
// pending SIGINT: the console waits on the input with a short timeout and
// looks at the signals in between.
#pragma once

#include <signal.h>

#include <functional>
#include <optional>
#include <string>

namespace zortan::console {

// SIGINT, SIGTERM and SIGHUP are blocked for the whole program run and
// collected by polling, so no signal handler and no global flag are needed
// (on Windows: Ctrl-C and Ctrl-Break).
class Interrupts {
  public:
    Interrupts();  // blocks the three for the process
    // Takes one pending SIGINT; true when there was one.
    bool take();
    // Takes a pending SIGTERM or SIGHUP: the program is asked to end.
    bool takeTermination();

  private:
#ifdef _WIN32
    // Set by the console's handler (LineInputWindows.cpp): Ctrl-C, and
    // Ctrl-Break, which asks the program to end.
    void* event_;
    void* termination_;
#else
    sigset_t set_, termination_;
#endif
};

class LineInput {
  public:
    explicit LineInput(int fd) : fd_(fd) {}
    // The next line without its line end (LF or CR LF); nothing at the end
    // of input. `idle` runs before each look at the input, so a signal is
    // served before any line that arrived after it.
    std::optional<std::string> readLine(const std::function<void()>& idle);

  private:
    // The next line of what was read (LF or CR LF ends it; at the end of
    // input, what is left); nothing while a line is incomplete. Shared by
    // the POSIX and the Windows readLine.
    std::optional<std::string> takeLine() {
        const size_t end = buffer_.find('\n');
        if (end == std::string::npos && (!ended_ || buffer_.empty())) return std::nullopt;
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end == std::string::npos ? end : end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }

    int fd_;
    std::string buffer_;
    bool ended_ = false;
};

}  // namespace zortan::console
