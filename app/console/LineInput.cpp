#include "app/console/LineInput.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace zortan::console {

namespace {
constexpr int kPollMilliseconds = 50;
}

Interrupts::Interrupts() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigemptyset(&termination_);
    sigaddset(&termination_, SIGTERM);
    sigaddset(&termination_, SIGHUP);
    sigset_t all = set_;
    sigaddset(&all, SIGTERM);
    sigaddset(&all, SIGHUP);
    sigprocmask(SIG_BLOCK, &all, nullptr);
}

bool Interrupts::take() {
    const timespec zero{0, 0};
    return sigtimedwait(&set_, nullptr, &zero) == SIGINT;
}

bool Interrupts::takeTermination() {
    const timespec zero{0, 0};
    return sigtimedwait(&termination_, nullptr, &zero) > 0;
}

std::optional<std::string> LineInput::readLine(const std::function<void()>& idle) {
    for (;;) {
        idle();
        if (std::optional<std::string> line = takeLine()) return line;
        if (ended_) return std::nullopt;
        pollfd p{fd_, POLLIN, 0};
        const int ready = poll(&p, 1, kPollMilliseconds);
        if (ready < 0 && errno != EINTR) {
            ended_ = true;
            continue;
        }
        if (ready <= 0) continue;
        char chunk[4096];
        const ssize_t n = read(fd_, chunk, sizeof chunk);
        if (n > 0)
            buffer_.append(chunk, static_cast<size_t>(n));
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            ended_ = true;
    }
}

}  // namespace zortan::console
