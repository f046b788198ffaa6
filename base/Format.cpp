#include "base/Format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace zortan {

std::string formatGeneral(double value, int digits) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", digits, value);
    std::string s(buf);
    size_t e = s.find('e');
    if (e == std::string::npos) return s;
    // "1.5e+20" -> "1.5E20", "1e-05" -> "1E-5"
    std::string mantissa = s.substr(0, e);
    std::string exp = s.substr(e + 1);
    bool negative = exp[0] == '-';
    size_t i = (exp[0] == '-' || exp[0] == '+') ? 1 : 0;
    while (i + 1 < exp.size() && exp[i] == '0') ++i;
    return mantissa + "E" + (negative ? "-" : "") + exp.substr(i);
}

std::string formatFixed(long double value, int decimals) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (decimals < 0) decimals = 0;
    // 18 significant digits: "d.ddddddddddddddddde+XX".
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17Le", value);
    const bool negative = buf[0] == '-';
    const char* p = buf + (negative ? 1 : 0);
    std::string digits;
    for (; *p != 'e'; ++p)
        if (*p != '.') digits.push_back(*p);
    const int exponent = std::atoi(p + 1);
    int intDigits = exponent + 1;
    if (intDigits < 1) {
        digits.insert(0, static_cast<size_t>(1 - intDigits), '0');
        intDigits = 1;
    }
    const size_t keep = static_cast<size_t>(intDigits + decimals);
    if (digits.size() < keep + 1) digits.append(keep + 1 - digits.size(), '0');
    const bool roundUp = digits[keep] >= '5';
    digits.resize(keep);
    if (roundUp) {
        size_t i = keep;
        while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
        if (i == 0) {
            digits.insert(digits.begin(), '1');
            ++intDigits;
        } else {
            ++digits[i - 1];
        }
    }
    std::string intPart = digits.substr(0, static_cast<size_t>(intDigits));
    const size_t firstNonZero = intPart.find_first_not_of('0');
    intPart = firstNonZero == std::string::npos ? "0" : intPart.substr(firstNonZero);
    std::string text = intPart;
    if (decimals > 0) {
        text.push_back('.');
        text.append(digits, static_cast<size_t>(intDigits), std::string::npos);
    }
    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    if (negative && !zero) text.insert(text.begin(), '-');
    return text;
}

ParsedInteger parseEditInteger(const std::string& text) {
    ParsedInteger r;
    size_t i = 0, n = text.size();
    while (i < n && text[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < n && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i < n && (text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    size_t start = i;
    int64_t v = 0;
    bool overflow = false;
    for (; i < n; ++i) {
        char c = text[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        if (v > (std::numeric_limits<int64_t>::max() - d) / base)
            overflow = true;
        else
            v = v * base + d;
    }
    r.value = negative ? -v : v;
    r.wholeText = i == n && i > start && !overflow &&
                  r.value >= std::numeric_limits<int32_t>::min() &&
                  r.value <= std::numeric_limits<int32_t>::max();
    return r;
}

}  // namespace zortan
