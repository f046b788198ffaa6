// The progress of a coding run for the status bar: events done, events to
// do and the time left, estimated from the coding rate: the events coded
// while they flowed over the time that took. Time spent waiting ("Next",
// "Continue", a feature kind) or in a box or dialog counts for neither.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace zortan::desktop {

class RunProgress {
  public:
    using Clock = std::chrono::steady_clock;
    // At most this often the status bar is redrawn.
    static constexpr std::chrono::milliseconds kRefreshPeriod{33};

    // The run's state at `now`: steps done of `total`, and whether it waits.
    void note(int64_t done, int64_t total, bool waiting, Clock::time_point now);
    // A box or dialog opens at `now` with `done` steps done; nothing counts
    // until it closes and the run goes on, waiting or not.
    void pause(int64_t done, Clock::time_point now);
    void resume(bool waiting, Clock::time_point now);
    // The run ended; the next note starts a new one.
    void stop() { running_ = false; }
    bool running() const { return running_; }

    int64_t done() const { return done_; }
    // Steps still to do; -1 while the total is unknown.
    int64_t toDo() const;
    // Per mille of the run done (0 while the total is unknown).
    int permille() const;
    // Estimated time left; negative until a coding rate is known.
    std::chrono::milliseconds timeLeft() const;
    // "Events done: 12, to do: 465, time left: 0:03".
    std::string text() const;

    // True, and remembers `now`, when the status bar may be redrawn.
    bool due(Clock::time_point now);

  private:
    bool running_ = false;
    int64_t done_ = 0, total_ = 0;
    bool waiting_ = false;  // since the last note, or paused
    Clock::time_point last_{};
    Clock::duration busy_{};
    int64_t busyDone_ = 0;  // steps done in busy_
    Clock::time_point lastShown_{};
    bool shown_ = false;
};

// "m:ss", or "h:mm:ss" from an hour on.
std::string durationText(std::chrono::milliseconds duration);

}  // namespace zortan::desktop
