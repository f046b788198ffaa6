#include "analysis/Elementary.h"

#include <cmath>

// Keep every a*b+c as two rounded operations, whatever the target offers, so
// that fused multiply-adds cannot change the numbers.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace zortan::analysis {

namespace {
constexpr double kLn2 = 0.6931471805599453;
constexpr double kPi = 3.141592653589793;
}  // namespace

double detExp(double x) {
    if (x < -700.0) return 0.0;
    const double k = std::nearbyint(x / kLn2);
    const double r = x - k * kLn2;  // |r| <= ln2 / 2
    double term = 1.0, sum = 1.0;
    for (int n = 1; n < 24; ++n) {
        term = term * r / n;
        sum += term;
    }
    return std::ldexp(sum, static_cast<int>(k));
}

double detLog(double x) {
    int e = 0;
    double m = std::frexp(x, &e);  // exact: x = m * 2^e, 0.5 <= m < 1
    if (m < 0.7071067811865476) {
        m *= 2.0;
        --e;
    }
    const double s = (m - 1.0) / (m + 1.0), s2 = s * s;
    double power = s, sum = 0.0;
    for (int n = 1; n < 40; n += 2) {
        sum += power / n;
        power *= s2;
    }
    return 2.0 * sum + e * kLn2;
}

double detCosTurns(double turns) {
    double t = turns - std::floor(turns);  // [0, 1)
    if (t > 0.5) t = 1.0 - t;              // cos is even and periodic
    const double x = 2.0 * kPi * t, x2 = x * x;
    double term = 1.0, sum = 1.0;
    for (int n = 1; n < 30; ++n) {
        term = -term * x2 / ((2 * n - 1) * (2 * n));
        sum += term;
    }
    return sum;
}

}  // namespace zortan::analysis
