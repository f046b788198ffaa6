// The error model: the platform's range and input/output errors, a checked
// store into fixed-width fields, and the exceptions that end a command or the
// whole program.
#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zortan {

// A value that does not fit its field, or an index beyond its array.
class RangeError : public std::runtime_error {
  public:
    RangeError() : std::runtime_error("Range check error") {}
};

// A failed file operation; `code` follows the classic runtime error numbers
// (2 file not found, 5 access denied, 101 disk full, 106 invalid numeric input).
class InOutError : public std::runtime_error {
  public:
    InOutError(int code, std::string text) : std::runtime_error(std::move(text)), code_(code) {}
    int code() const { return code_; }

  private:
    int code_;
};

constexpr int kInvalidNumericInput = 106;
inline InOutError invalidNumericInput() {
    return InOutError(kInvalidNumericInput, "Invalid numeric input");
}

// Builds the input/output error for a failed system call from its errno value.
InOutError ioErrorFromErrno(int err);

// Ends the whole program with the given exit status ("Hang up with it?",
// "Halt!", a gap-filler error). Deliberately not a std::exception, so that no
// handler of platform errors swallows it.
struct ProgramEnd {
    int exitStatus = 0;
};

// The running command stopped after it has shown its own message; the window
// stays usable and the command's later steps are skipped.
struct CommandAborted {};

// Runs `action`. A platform error it raises (a range or an input/output
// error) goes to `report` with its text instead, and the result is false:
// the one place where such errors are caught around a command.
template <typename Action, typename Report>
bool catchPlatformErrors(Action&& action, Report&& report) {
    try {
        action();
        return true;
    } catch (const RangeError& e) {
        report(std::string(e.what()));
    } catch (const InOutError& e) {
        report(std::string(e.what()));
    }
    return false;
}

// Every narrowing store into a fixed-width field goes through here.
template <std::integral To, typename From>
requires std::integral<From> || std::floating_point<From> To fitOrRangeError(From value) {
    if constexpr (std::floating_point<From>) {
        if (!(value >= static_cast<From>(std::numeric_limits<To>::min()) &&
              value <= static_cast<From>(std::numeric_limits<To>::max())))
            throw RangeError();
        return static_cast<To>(value);
    } else {
        if (!std::in_range<To>(value)) throw RangeError();
        return static_cast<To>(value);
    }
}

// Stores keeping only the low-order bits, as the file formats prescribe for
// some fields (two's complement wrap for signed targets).
template <std::integral To, std::integral From>
constexpr To lowBits(From value) {
    return static_cast<To>(
        static_cast<std::make_unsigned_t<To>>(static_cast<std::make_unsigned_t<From>>(value)));
}

// Index checking for growable arrays: a bad index is a range error.
template <typename Vec>
auto& checkedAt(Vec& v, long long index) {
    if (index < 0 || static_cast<unsigned long long>(index) >= v.size()) throw RangeError();
    return v[static_cast<size_t>(index)];
}

}  // namespace zortan
