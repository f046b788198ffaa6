// Number texts as the program shows and writes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zortan {

// General notation: at most `digits` significant digits, no trailing zeros,
// exponent form ("1.5E20", "1E-5") only for very large or small magnitudes.
std::string formatGeneral(double value, int digits = 15);

// Fixed notation with `decimals` decimals; "NAN", "INF", "-INF" for those.
// The value is first taken to 18 significant digits, then rounded with
// halves away from zero, so 12.5 gives "13" and 0.0625 gives "0.063".
std::string formatFixed(long double value, int decimals);

// The text right-aligned (padLeft) or left-aligned (padRight) in `width`
// characters; a longer text is kept whole.
inline std::string padLeft(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}
inline std::string padRight(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// Result of reading an edit's text as an integer: decimal with optional
// leading blanks and sign; "$", "x" or "0x" make it hexadecimal.
struct ParsedInteger {
    bool wholeText = false;  // the whole text is such a number (and fits 32 bits)
    int64_t value = 0;       // its value, or the value of its leading digits
};
ParsedInteger parseEditInteger(const std::string& text);

}  // namespace zortan
