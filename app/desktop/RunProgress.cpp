#include "app/desktop/RunProgress.h"

#include <cstdio>
#include <limits>

namespace zortan::desktop {

namespace {
// A total this large is the "unknown" events count of the data commands.
constexpr int64_t kUnknownTotal = std::numeric_limits<int64_t>::max() / 2;
// Events that must have flowed before their rate is taken as known: the
// first ones carry the run's start.
constexpr int64_t kEventsForRate = 10;
}  // namespace

void RunProgress::note(int64_t done, int64_t total, bool waiting, Clock::time_point now) {
    if (!running_) {
        running_ = true;
        busy_ = {};
        busyDone_ = 0;
        shown_ = false;
    } else if (!waiting_) {
        busy_ += now - last_;
        busyDone_ += done - done_;
    }
    last_ = now;
    done_ = done;
    total_ = total;
    waiting_ = waiting;
}

void RunProgress::pause(int64_t done, Clock::time_point now) {
    if (!running_) return;
    note(done, total_, true, now);
}

void RunProgress::resume(bool waiting, Clock::time_point now) {
    if (!running_) return;
    last_ = now;
    waiting_ = waiting;
}

int64_t RunProgress::toDo() const {
    if (total_ >= kUnknownTotal) return -1;
    return total_ > done_ ? total_ - done_ : 0;
}

int RunProgress::permille() const {
    if (total_ <= 0 || total_ >= kUnknownTotal) return 0;
    const long double share = static_cast<long double>(done_) / static_cast<long double>(total_);
    return static_cast<int>(share >= 1 ? 1000 : share * 1000);
}

std::chrono::milliseconds RunProgress::timeLeft() const {
    const int64_t left = toDo();
    if (busyDone_ < kEventsForRate || busy_.count() <= 0 || left < 0)
        return std::chrono::milliseconds(-1);
    const auto busy = std::chrono::duration_cast<std::chrono::duration<long double>>(busy_);
    const long double seconds = busy.count() / static_cast<long double>(busyDone_) * left;
    return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
}

std::string RunProgress::text() const {
    const int64_t left = toDo();
    const auto time = timeLeft();
    return "Events done: " + std::to_string(done_) +
           ", to do: " + (left < 0 ? std::string("?") : std::to_string(left)) +
           ", time left: " + (time.count() < 0 ? std::string("?") : durationText(time));
}

bool RunProgress::due(Clock::time_point now) {
    if (shown_ && now - lastShown_ < kRefreshPeriod) return false;
    shown_ = true;
    lastShown_ = now;
    return true;
}

std::string durationText(std::chrono::milliseconds duration) {
    const int64_t total = duration.count() / 1000;
    const int64_t hours = total / 3600, minutes = total / 60 % 60, seconds = total % 60;
    char text[48];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(hours),
                      static_cast<long long>(minutes), static_cast<long long>(seconds));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes),
                      static_cast<long long>(seconds));
    return text;
}

}  // namespace zortan::desktop
