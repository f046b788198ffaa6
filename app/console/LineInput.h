// Standard input, read one line at a time without blocking the check for a
// pending SIGINT: the console waits on the input with a short timeout and
// looks at the signals in between.
#pragma once

#include <signal.h>

#include <functional>
#include <optional>
#include <string>

namespace zortan::console {

// SIGINT is blocked for the whole program run and collected by polling, so
// no signal handler and no global flag are needed.
class Interrupts {
  public:
    Interrupts();  // blocks SIGINT for the process
    // Takes one pending SIGINT; true when there was one.
    bool take();

  private:
#ifdef _WIN32
    void* event_;  // set by the console's Ctrl-C handler (LineInputWindows.cpp)
#else
    sigset_t set_;
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
    int fd_;
    std::string buffer_;
    bool ended_ = false;
};

}  // namespace zortan::console
