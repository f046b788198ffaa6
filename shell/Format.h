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
std::string formatFixed(double value, int decimals);

// Result of reading an edit's text as an integer: decimal with optional
// leading blanks and sign; "$", "x" or "0x" make it hexadecimal.
struct ParsedInteger {
    bool wholeText = false;  // the whole text is such a number (and fits 32 bits)
    int64_t value = 0;       // its value, or the value of its leading digits
};
ParsedInteger parseEditInteger(const std::string& text);

}  // namespace zortan
