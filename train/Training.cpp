#include "train/Training.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <system_error>
#include <thread>
#include <type_traits>

#include "train/NarrowDot.h"
#include "tree/TreeCoding.h"

namespace zortan::train {

namespace {

constexpr int kLloydRounds = 300;
constexpr int kPowerRounds = 4;
constexpr size_t kAxisSample = 8192;
constexpr size_t kWarmSample = 4096;
constexpr int kWarmRounds = 300;

// The events as the growing reads them: the components that count, packed,
// with their squared norms, and the supervising category's reading of each,
// by position: the members of a node hold the positions of its range, so
// that the passes over a node read its rows one after the other.
struct Data {
    explicit Data(const TrainingEvents& e) : events(e) {}
    const TrainingEvents& events;
    std::vector<int> counted;  // the components that count, ascending
    size_t width = 0;          // counted.size()
    std::vector<double> x;     // events x width
    // The same in single precision, which the decisions read at half the
    // memory traffic: exact for the integers of fvs files; otherwise within
    // kNarrowError of each value, which the decisions' bounds allow for.
    std::vector<float> narrowX;
    bool narrowExact = true;
    std::vector<double> norm2;
    std::vector<uint16_t> reading;                 // of the supervising category; empty when none
    int readings = 0;                              // values of that category
    QuantizationTree walk;                         // what the coder's distance reads
    const std::vector<uint32_t>* order = nullptr;  // the event at each position
    std::vector<uint32_t> positionOf;              // of each event
    std::vector<double> xLogX;                     // c*log2(c) for c = 0..events

    NarrowDot fastDot = narrowDotFor();  // for decisions only: their bounds allow its rounding
    const double* row(size_t e) const { return x.data() + e * width; }
    const float* narrow(size_t e) const { return narrowX.data() + e * width; }
    std::vector<double> rowCopy(size_t i) const {
        std::vector<double> v(width);
        forRow(i, [&](size_t j, double value) { v[j] = value; });
        return v;
    }
    // f(j, component j) over the row at position i, read from the narrow
    // rows where they hold the values exactly (half the memory traffic).
    template <class F>
    void forRow(size_t i, F f) const {
        if (narrowExact) {
            const float* r = narrow(i);
            for (size_t j = 0; j < width; ++j) f(j, static_cast<double>(r[j]));
        } else {
            const double* r = row(i);
            for (size_t j = 0; j < width; ++j) f(j, r[j]);
        }
    }

    // Moves the rows of range [begin, end) as its members moved: those with
    // first[i] first, each side in the order it had.
    void regroup(size_t begin, size_t end, const std::vector<uint8_t>& first) {
        const auto move = [&](auto& values, size_t per) {
            using T = typename std::decay_t<decltype(values)>::value_type;
            std::vector<T> copy(values.begin() + static_cast<std::ptrdiff_t>(begin * per),
                                values.begin() + static_cast<std::ptrdiff_t>(end * per));
            size_t to = begin * per;
            for (const uint8_t side : {uint8_t{1}, uint8_t{0}})
                for (size_t i = 0; i < end - begin; ++i)
                    if (first[i] == side)
                        for (size_t j = 0; j < per; ++j) values[to++] = copy[i * per + j];
        };
        if (!narrowExact) move(x, width);
        move(narrowX, width);
        move(norm2, 1);
        if (!reading.empty()) move(reading, 1);
        for (size_t i = begin; i < end; ++i) positionOf[(*order)[i]] = static_cast<uint32_t>(i);
    }
};

constexpr double kNarrowError = 1.0 / (1 << 23);

// Four running sums, added in a fixed order at the end: the compiler keeps
// them in vector lanes, and the result is the same on every machine.
double dot(const double* a, const double* b, size_t n) {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        s0 += a[i] * b[i];
        s1 += a[i + 1] * b[i + 1];
        s2 += a[i + 2] * b[i + 2];
        s3 += a[i + 3] * b[i + 3];
    }
    for (; i < n; ++i) s0 += a[i] * b[i];
    return (s0 + s1) + (s2 + s3);
}

double dot(const float* a, const double* b, size_t n) {
    return narrowDotPortable(a, b, n);
}

// Members of a node: a range of the event order, ascending event numbers.
struct Range {
    size_t begin = 0, end = 0;
    size_t size() const { return end - begin; }
};

// A leaf's split as it would be made, and what it would gain.
struct Candidate {
    bool possible = false;
    std::vector<uint8_t> first;  // per member of the range: 1 goes to the first son
    std::vector<double> c1, c2;  // centroids of the counted components (centroid rule)
    int component = 0;           // CART
    double threshold = 0.0;
    std::array<double, 3> gain{};  // by Measure
    std::array<double, 2> sons{};  // the distortions of the two sons
};

// Sums over a set of members, enough for the three measures.
struct Tally {
    size_t count = 0;
    std::vector<double> sums;
    double squares = 0.0;
    std::vector<uint32_t> readings;

    Tally(const Data& d) : sums(d.width, 0.0), readings(static_cast<size_t>(d.readings), 0) {}
    void add(const Data& d, size_t e) {
        ++count;
        d.forRow(e, [&](size_t j, double v) { sums[j] += v; });
        squares += d.norm2[e];
        if (!readings.empty()) ++readings[d.reading[e]];
    }
    double distortion() const {
        if (count == 0) return 0.0;
        return std::max(
            0.0, squares - dot(sums.data(), sums.data(), sums.size()) / static_cast<double>(count));
    }
    double errors() const {
        if (readings.empty()) return 0.0;
        return static_cast<double>(count - *std::max_element(readings.begin(), readings.end()));
    }
    // count * entropy in bits of the readings.
    double entropy(const Data& d) const {
        if (readings.empty() || count == 0) return 0.0;
        double s = 0.0;
        for (uint32_t c : readings) s += d.xLogX[c];
        return d.xLogX[count] - s;
    }
};

// What the split of `c.first` gains by each measure, and its sons'
// distortions (each the one the son's own tally gives).
void scoreSplit(const Data& d, Range r, Candidate& c) {
    Tally all(d), a(d), b(d);
    for (size_t i = r.begin; i < r.end; ++i) {
        all.add(d, i);
        (c.first[i - r.begin] ? a : b).add(d, i);
    }
    c.sons = {a.distortion(), b.distortion()};
    c.gain = {all.distortion() - c.sons[0] - c.sons[1], all.errors() - a.errors() - b.errors(),
              all.entropy(d) - a.entropy(d) - b.entropy(d)};
}

// Whether the coder, walking a split between centroids c1 and c2 (counted
// components) at this event, goes to the first son: its distance to c1 is
// less than to c2. Decided by one dot product; one too close to call is
// left to the coder's own distance.
class NearerTest {
  public:
    NearerTest(const Data& d, const std::vector<double>& c1, const std::vector<double>& c2)
        : d_(d), w_(d.width) {
        double n1 = 0.0, n2 = 0.0;
        for (size_t i = 0; i < d.width; ++i) {
            w_[i] = c1[i] - c2[i];
            n1 += c1[i] * c1[i];
            n2 += c2[i] * c2[i];
        }
        t_ = (n1 - n2) / 2.0;
        const double wNorm = std::sqrt(dot(w_.data(), w_.data(), w_.size()));
        slack_ = 1e-13 * static_cast<double>(d.width + 2) + (d.narrowExact ? 0.0 : kNarrowError);
        wNorm_ = wNorm;
        scale_ = n1 + n2;
        for (size_t i = 0; i < d.width; ++i) {
            full1_[static_cast<size_t>(d.counted[i])] = c1[i];
            full2_[static_cast<size_t>(d.counted[i])] = c2[i];
        }
    }
    bool first(size_t e) const {
        double gap = 0.0;
        return decide(e, gap);
    }
    // The decision, and the gap it was read from: 0 when the coder's own
    // distance decided.
    bool decide(size_t e, double& gap) const {
        gap = d_.fastDot(d_.narrow(e), w_.data(), w_.size()) - t_;
        const double b = bound(e);
        if (gap > b) return true;
        if (gap < -b) return false;
        gap = 0.0;
        std::vector<std::string> remarks;
        const ComponentVector& x = d_.events.reals[(*d_.order)[e]];
        return EuclidDist(d_.walk, x, full1_, remarks) < EuclidDist(d_.walk, x, full2_, remarks);
    }
    // How far the computed gap may be from the true one.
    double bound(size_t e) const {
        return slack_ * (std::sqrt(d_.norm2[e]) * wNorm_ + scale_) + 1e-300;
    }

  private:
    const Data& d_;
    std::vector<double> w_;
    double t_ = 0.0, slack_ = 0.0, wNorm_ = 0.0, scale_ = 0.0;
    ComponentVector full1_{}, full2_{};
};

std::vector<double> meanOf(const Data& d, Range r, const std::vector<uint8_t>* first,
                           uint8_t side) {
    std::vector<double> sums(d.width, 0.0);
    size_t n = 0;
    for (size_t i = r.begin; i < r.end; ++i) {
        if (first && (*first)[i - r.begin] != side) continue;
        d.forRow(i, [&](size_t j, double v) { sums[j] += v; });
        ++n;
    }
    if (n == 0) return {};
    for (double& s : sums) s /= static_cast<double>(n);
    return sums;
}

// Two-means from the centroids given, until the assignment settles: the
// centroids are then the means of the sons' events, and they assign every
// event as its son holds it. Empty when a son is left without events. After
// kLloydRounds rounds without settling the centroids are those that made the
// last assignment.
std::optional<Candidate> twoMeansPlain(const Data& d, Range r, std::vector<double> c1,
                                       std::vector<double> c2) {
    std::vector<uint8_t> last;
    for (int round = 0;; ++round) {
        const NearerTest nearer(d, c1, c2);
        std::vector<uint8_t> first(r.size());
        size_t ones = 0;
        for (size_t i = r.begin; i < r.end; ++i) ones += first[i - r.begin] = nearer.first(i);
        if (ones == 0 || ones == r.size()) return std::nullopt;
        const bool settled = first == last;
        last = std::move(first);
        if (settled || round + 1 == kLloydRounds) break;
        std::vector<double> m1 = meanOf(d, r, &last, 1);
        std::vector<double> m2 = meanOf(d, r, &last, 0);
        if (m1 == c1 && m2 == c2) break;
        c1 = std::move(m1);
        c2 = std::move(m2);
    }
    Candidate c;
    c.first = std::move(last);
    c.c1 = std::move(c1);
    c.c2 = std::move(c2);
    c.possible = true;
    return c;
}

// The same rounds, each event's decision taken again only when the
// centroids have moved far enough since it was last taken to change it.
// With w = c1 - c2 and t = (|c1|^2 - |c2|^2) / 2 the test reads the gap
// x.w - t; between the round k that took it and now, with x = m + y for the
// node's mean m, the gap moves by y.dw + (m.dw - dt), at most
// |y| |w - w_k| + |m.(w - w_k) - (t - t_k)|. The sons' sums follow the
// events that change sides; once the means of those sums no longer move the
// centroids, the sums are taken afresh in position order (the readable
// version's means), and the rounds go on if those move an event.
std::optional<Candidate> twoMeans(const Data& d, Range r, std::vector<double> c1,
                                  std::vector<double> c2) {
    const size_t n = r.size(), width = d.width;
    std::vector<uint8_t> side(n);
    std::vector<double> gap(n), taken(n), spread(n);
    std::vector<int32_t> roundOf(n);
    std::vector<double> s1(width, 0.0), s2(width, 0.0);
    size_t n1 = 0;
    // The directions and offsets of the rounds so far.
    std::vector<std::vector<double>> ws;
    std::vector<double> ts;
    const auto direction = [&](const std::vector<double>& a, const std::vector<double>& b) {
        std::vector<double> w(width);
        double t = 0.0;
        for (size_t j = 0; j < width; ++j) {
            w[j] = a[j] - b[j];
            t += a[j] * a[j] - b[j] * b[j];
        }
        ws.push_back(std::move(w));
        ts.push_back(t / 2.0);
    };
    const auto decide = [&](const NearerTest& nearer, size_t i) {
        double g = 0.0;
        const bool first = nearer.decide(r.begin + i, g);
        gap[i] = g;
        taken[i] = nearer.bound(r.begin + i);
        roundOf[i] = static_cast<int32_t>(ws.size() - 1);
        return first;
    };
    const auto freshSums = [&] {
        std::fill(s1.begin(), s1.end(), 0.0);
        std::fill(s2.begin(), s2.end(), 0.0);
        for (size_t i = 0; i < n; ++i) {
            double* s = side[i] ? s1.data() : s2.data();
            d.forRow(r.begin + i, [&](size_t j, double v) { s[j] += v; });
        }
    };
    {
        direction(c1, c2);
        const NearerTest nearer(d, c1, c2);
        for (size_t i = 0; i < n; ++i) n1 += side[i] = decide(nearer, i);
    }
    freshSums();
    std::vector<double> mean(width);
    for (size_t j = 0; j < width; ++j) mean[j] = (s1[j] + s2[j]) / static_cast<double>(n);
    for (size_t i = 0; i < n; ++i) {
        double s = 0.0;
        d.forRow(r.begin + i, [&](size_t j, double v) { s += (v - mean[j]) * (v - mean[j]); });
        spread[i] = std::sqrt(s) * (1.0 + 1e-12);
    }
    bool fresh = true;  // the sums are taken afresh
    std::vector<double> dws, dts;
    for (int round = 1;; ++round) {
        if (n1 == 0 || n1 == n) return std::nullopt;
        if (round + 1 >= kLloydRounds) break;
        std::vector<double> m1(width), m2(width);
        for (size_t j = 0; j < width; ++j) {
            m1[j] = s1[j] / static_cast<double>(n1);
            m2[j] = s2[j] / static_cast<double>(n - n1);
        }
        if (m1 == c1 && m2 == c2) {
            if (fresh) break;
            freshSums();
            fresh = true;
            continue;
        }
        c1 = std::move(m1);
        c2 = std::move(m2);
        direction(c1, c2);
        // How far the gaps of each earlier round may have moved.
        const std::vector<double>& w = ws.back();
        const double t = ts.back();
        dws.assign(ws.size(), 0.0);
        dts.assign(ws.size(), 0.0);
        for (size_t k = 0; k + 1 < ws.size(); ++k) {
            double dw = 0.0, along = 0.0;
            for (size_t j = 0; j < width; ++j) {
                const double delta = w[j] - ws[k][j];
                dw += delta * delta;
                along += mean[j] * delta;
            }
            dws[k] = std::sqrt(dw) * (1.0 + 1e-12);
            dts[k] = std::abs(along - (t - ts[k])) * (1.0 + 1e-12) +
                     1e-12 * (std::abs(t) + std::abs(ts[k]));
        }
        const NearerTest nearer(d, c1, c2);
        for (size_t i = 0; i < n; ++i) {
            const auto k = static_cast<size_t>(roundOf[i]);
            const double moved = spread[i] * dws[k] + dts[k];
            if (std::abs(gap[i]) - taken[i] - moved > 2.0 * nearer.bound(r.begin + i)) continue;
            const uint8_t now = decide(nearer, i);
            if (now == side[i]) continue;
            double* from = side[i] ? s1.data() : s2.data();
            double* to = side[i] ? s2.data() : s1.data();
            d.forRow(r.begin + i, [&](size_t j, double v) {
                from[j] -= v;
                to[j] += v;
            });
            n1 = now ? n1 + 1 : n1 - 1;
            side[i] = now;
            fresh = false;
        }
    }
    Candidate c;
    c.first = std::move(side);
    c.c1 = std::move(c1);
    c.c2 = std::move(c2);
    c.possible = true;
    return c;
}

size_t farthestFrom(const Data& d, Range r, const std::vector<double>& point) {
    size_t best = r.begin;
    double bestDistance = -1.0;
    // |x - p|^2 less |p|^2, which all share.
    for (size_t i = r.begin; i < r.end; ++i) {
        const double s = d.norm2[i] - 2.0 * dot(d.narrow(i), point.data(), d.width);
        if (s > bestDistance) {
            bestDistance = s;
            best = i;
        }
    }
    return best;
}

// The starts of two-means: the means of the halves either side of the
// principal axis, the farthest pair, and the most frequent reading of the
// supervising category against the others.
std::vector<std::pair<std::vector<double>, std::vector<double>>> startsOf(const Data& d, Range r,
                                                                          bool supervised) {
    std::vector<std::pair<std::vector<double>, std::vector<double>>> starts;
    const std::vector<double> mean = meanOf(d, r, nullptr, 0);
    const size_t far = farthestFrom(d, r, mean);
    std::vector<double> axis(d.width);
    const std::vector<double> farRow = d.rowCopy(far);
    for (size_t j = 0; j < d.width; ++j) axis[j] = farRow[j] - mean[j];
    // The axis from at most kAxisSample members, evenly spread.
    const size_t stride = std::max<size_t>(1, r.size() / kAxisSample);
    for (int round = 0; round < kPowerRounds; ++round) {
        // The sum of p (x - mean) with p = (x - mean).axis, as sum p x less
        // mean sum p.
        std::vector<double> next(d.width, 0.0);
        const double meanAlong = dot(mean.data(), axis.data(), d.width);
        double weights = 0.0;
        for (size_t i = r.begin; i < r.end; i += stride) {
            const float* row = d.narrow(i);
            const double p = dot(row, axis.data(), d.width) - meanAlong;
            for (size_t j = 0; j < d.width; ++j) next[j] += p * row[j];
            weights += p;
        }
        for (size_t j = 0; j < d.width; ++j) next[j] -= weights * mean[j];
        const double norm = std::sqrt(dot(next.data(), next.data(), d.width));
        if (!(norm > 0.0)) break;
        for (size_t j = 0; j < d.width; ++j) axis[j] = next[j] / norm;
    }
    std::vector<uint8_t> side(r.size());
    const double meanAlong = dot(mean.data(), axis.data(), d.width);
    for (size_t i = r.begin; i < r.end; ++i)
        side[i - r.begin] = dot(d.narrow(i), axis.data(), d.width) > meanAlong;
    std::vector<double> a = meanOf(d, r, &side, 1), b = meanOf(d, r, &side, 0);
    if (!a.empty() && !b.empty()) starts.emplace_back(std::move(a), std::move(b));
    if (!starts.empty() && !supervised) return starts;
    const size_t other = farthestFrom(d, r, farRow);
    starts.emplace_back(farRow, d.rowCopy(other));
    if (supervised && !d.reading.empty()) {
        std::vector<uint32_t> counts(static_cast<size_t>(d.readings), 0);
        for (size_t i = r.begin; i < r.end; ++i) ++counts[d.reading[i]];
        const auto most =
            static_cast<uint16_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
        for (size_t i = r.begin; i < r.end; ++i) side[i - r.begin] = d.reading[i] == most;
        a = meanOf(d, r, &side, 1);
        b = meanOf(d, r, &side, 0);
        if (!a.empty() && !b.empty()) starts.emplace_back(std::move(a), std::move(b));
    }
    return starts;
}

// Whether gains `a` beat gains `b` under the measure.
bool better(const std::array<double, 3>& a, const std::array<double, 3>& b, Measure m) {
    const auto i = static_cast<size_t>(m);
    if (a[i] != b[i]) return a[i] > b[i];
    if (m == Measure::RecognitionError) return a[2] > b[2];
    if (m == Measure::InfoRadius) return a[0] > b[0];
    return false;
}

// Two-means on an evenly spread sample of a large range, from the start
// given, so that the rounds over the whole range begin near where they end:
// plain rounds in double sums, at most kWarmRounds, until the sample's
// assignment settles.
void warmUp(const Data& d, Range r, std::vector<double>& c1, std::vector<double>& c2) {
    const size_t stride = r.size() / kWarmSample;
    if (stride < 4) return;
    std::vector<uint8_t> side, last;
    for (int round = 0; round < kWarmRounds; ++round) {
        std::vector<double> w(d.width), s1(d.width, 0.0), s2(d.width, 0.0);
        double t = 0.0;
        for (size_t j = 0; j < d.width; ++j) {
            w[j] = c1[j] - c2[j];
            t += (c1[j] * c1[j] - c2[j] * c2[j]) / 2.0;
        }
        side.clear();
        size_t n1 = 0, n2 = 0;
        for (size_t i = r.begin; i < r.end; i += stride) {
            const bool first = dot(d.narrow(i), w.data(), d.width) > t;
            side.push_back(first);
            double* s = first ? s1.data() : s2.data();
            d.forRow(i, [&](size_t j, double v) { s[j] += v; });
            (first ? n1 : n2) += 1;
        }
        if (n1 == 0 || n2 == 0 || side == last) return;
        last = side;
        for (size_t j = 0; j < d.width; ++j) {
            c1[j] = s1[j] / static_cast<double>(n1);
            c2[j] = s2[j] / static_cast<double>(n2);
        }
    }
}

Candidate centroidSplit(const Data& d, Range r, Measure splitBy, bool plain) {
    Candidate best;
    const bool supervised = splitBy != Measure::Distortion;
    for (auto& [a, b] : startsOf(d, r, supervised)) {
        warmUp(d, r, a, b);
        std::optional<Candidate> c = plain ? twoMeansPlain(d, r, std::move(a), std::move(b))
                                           : twoMeans(d, r, std::move(a), std::move(b));
        if (!c) continue;
        scoreSplit(d, r, *c);
        if (!best.possible || better(c->gain, best.gain, splitBy)) best = std::move(*c);
    }
    return best;
}

// One member in a component's ascending order: its value there, its
// reading of the supervising category and its event.
struct SortedEntry {
    int16_t value = 0;
    uint16_t reading = 0;
    uint32_t event = 0;
};

// The CART split of a range by one pass over each counted component's
// members in ascending value (ties in event order), the best threshold by
// the split measure (the first among equals). The members come in that
// order either sorted for each node (the readable way) or from lists sorted
// once and kept partitioned node by node as the tree grows.
class CartScan {
  public:
    CartScan(const Data& d, Measure splitBy, bool indexed) : d_(d), splitBy_(splitBy) {
        if (!indexed) return;
        const size_t n = d.events.size();
        index_.resize(d.width);
        for (size_t k = 0; k < d.width; ++k) {
            std::vector<SortedEntry>& list = index_[k];
            list.resize(n);
            for (size_t e = 0; e < n; ++e) list[e] = entryOf(e, k);
            std::stable_sort(
                list.begin(), list.end(),
                [](const SortedEntry& a, const SortedEntry& b) { return a.value < b.value; });
        }
    }

    // Keeps each component's list in node order after the range was split:
    // the first son's members, then the second's, each in ascending value.
    void split(Range r, const std::vector<uint8_t>& firstOfEvent) {
        std::vector<SortedEntry> second;
        for (std::vector<SortedEntry>& list : index_) {
            second.clear();
            size_t to = r.begin;
            for (size_t i = r.begin; i < r.end; ++i) {
                if (firstOfEvent[list[i].event])
                    list[to++] = list[i];
                else
                    second.push_back(list[i]);
            }
            std::copy(second.begin(), second.end(), list.begin() + static_cast<std::ptrdiff_t>(to));
        }
    }

    Candidate best(const std::vector<uint32_t>& order, Range r) const {
        Tally all(d_);
        for (size_t i = r.begin; i < r.end; ++i) all.add(d_, i);
        Best best;
        std::vector<SortedEntry> sorted;
        for (size_t k = 0; k < d_.width; ++k) {
            const SortedEntry* entries = nullptr;
            if (index_.empty()) {
                sorted.clear();
                for (size_t i = r.begin; i < r.end; ++i) sorted.push_back(entryOf(i, k));
                std::stable_sort(
                    sorted.begin(), sorted.end(),
                    [](const SortedEntry& a, const SortedEntry& b) { return a.value < b.value; });
                entries = sorted.data();
            } else {
                entries = index_[k].data() + r.begin;
            }
            scan(entries, r.size(), static_cast<size_t>(d_.counted[k]), all, best);
        }
        Candidate c;
        if (!best.found) return c;
        c.possible = true;
        c.component = best.component;
        c.threshold = best.threshold;
        c.first.resize(r.size());
        const auto f = static_cast<size_t>(c.component);
        for (size_t i = r.begin; i < r.end; ++i)
            c.first[i - r.begin] = d_.events.coded[order[i]][f] < c.threshold;
        scoreSplit(d_, r, c);
        return c;
    }

  private:
    struct Best {
        bool found = false;
        double key[2] = {0.0, 0.0};
        int component = 0;
        double threshold = 0.0;
    };

    // The entry of the member at position i.
    SortedEntry entryOf(size_t i, size_t k) const {
        SortedEntry entry;
        const uint32_t e = (*d_.order)[i];
        entry.value = d_.events.coded[e][static_cast<size_t>(d_.counted[k])];
        entry.reading = d_.reading.empty() ? 0 : d_.reading[i];
        entry.event = e;
        return entry;
    }

    void scan(const SortedEntry* sorted, size_t count, size_t f, const Tally& all,
              Best& best) const {
        if (count < 2 || sorted[0].value == sorted[count - 1].value) return;
        const bool distortion = splitBy_ == Measure::Distortion;
        std::vector<double> belowSums(distortion ? d_.width : 0, 0.0);
        double belowSquares = 0.0;
        double belowDot = 0.0;   // sums(below) . sums(all)
        double belowNorm = 0.0;  // |sums(below)|^2
        const double allNorm = dot(all.sums.data(), all.sums.data(), d_.width);
        std::vector<uint32_t> below(all.readings.size(), 0), above = all.readings;
        uint32_t belowMost = 0;
        double belowLog = 0.0;  // sum of c log c over the readings below
        double aboveLog = 0.0;
        for (uint32_t c : above) aboveLog += d_.xLogX[c];
        const double allEntropy = all.entropy(d_);
        for (size_t i = 0; i + 1 < count; ++i) {
            const SortedEntry& s = sorted[i];
            if (distortion) {
                const size_t at = d_.positionOf[s.event];
                const std::vector<double> row = d_.rowCopy(at);
                belowNorm += 2.0 * dot(belowSums.data(), row.data(), d_.width) + d_.norm2[at];
                belowDot += dot(all.sums.data(), row.data(), d_.width);
                for (size_t j = 0; j < d_.width; ++j) belowSums[j] += row[j];
                belowSquares += d_.norm2[at];
            } else if (!above.empty()) {
                uint32_t& b = below[s.reading];
                uint32_t& a = above[s.reading];
                belowLog += d_.xLogX[b + 1] - d_.xLogX[b];
                aboveLog += d_.xLogX[a - 1] - d_.xLogX[a];
                ++b;
                --a;
                belowMost = std::max(belowMost, b);
            }
            if (s.value == sorted[i + 1].value) continue;
            const size_t nb = i + 1, na = count - nb;
            double key[2] = {0.0, 0.0};
            if (distortion) {
                const double aboveNorm = allNorm - 2.0 * belowDot + belowNorm;
                key[0] = -((belowSquares - belowNorm / static_cast<double>(nb)) +
                           (all.squares - belowSquares - aboveNorm / static_cast<double>(na)));
            } else {
                const double info =
                    allEntropy - (d_.xLogX[nb] - belowLog) - (d_.xLogX[na] - aboveLog);
                if (splitBy_ == Measure::RecognitionError) {
                    const uint32_t aboveMost = *std::max_element(above.begin(), above.end());
                    key[0] = -static_cast<double>((nb - belowMost) + (na - aboveMost));
                    key[1] = info;
                } else {
                    key[0] = info;
                }
            }
            if (!best.found || key[0] > best.key[0] ||
                (key[0] == best.key[0] && key[1] > best.key[1])) {
                best.found = true;
                best.key[0] = key[0];
                best.key[1] = key[1];
                best.component = static_cast<int>(f);
                best.threshold = (s.value + sorted[i + 1].value) / 2.0;
            }
        }
    }

    const Data& d_;
    Measure splitBy_;
    std::vector<std::vector<SortedEntry>> index_;  // per counted component, in node order
};

void checkOptions(const TrainingEvents& events, const TrainingOptions& o) {
    if (events.size() == 0) throw TrainingError("There are no training events.");
    if (o.clusters < 1 || o.clusters > kLargestClusters)
        throw TrainingError(
            "The number of clusters must be 1 to " + std::to_string(kLargestClusters) +
            " (the tree file holds no more leaves), not " + std::to_string(o.clusters) + ".");
    if (o.components < 1 || o.components > kComponents)
        throw TrainingError("The considered components must be 1 to " +
                            std::to_string(kComponents) + ", not " + std::to_string(o.components) +
                            ".");
    bool any = false;
    for (int i = 0; i < o.components; ++i) any |= o.constrained.contains(static_cast<unsigned>(i));
    if (!any) throw TrainingError("No component of the considered ones is in the set that counts.");
    const bool supervised = o.nextSplit != Measure::Distortion || o.splitBy != Measure::Distortion;
    if (supervised && (o.supervisedBy < 1 || o.supervisedBy > 3))
        throw TrainingError(
            "Recognition error and info radius measure one category: give it (1, 2 or 3).");
    if (static_cast<size_t>(o.clusters) > events.size())
        throw TrainingError(std::to_string(o.clusters) +
                            " clusters need at least as many events; there are " +
                            std::to_string(events.size()) + ".");
}

}  // namespace

std::array<Category, 3> CategoriesOf(const std::vector<std::array<char, 3>>& cath,
                                     const std::array<bool, 3>& active) {
    std::array<Category, 3> out;
    for (size_t c = 0; c < 3; ++c) {
        Category& cat = out[c];
        for (const auto& q : cath) cat.set.insert(static_cast<unsigned char>(q[c]));
        for (unsigned v = 0; v < 256; ++v)
            if (cat.set.contains(v)) cat.list.push_back(static_cast<char>(v));
        cat.nbr = static_cast<int16_t>(static_cast<int>(cat.list.size()) - 1);
        cat.active = active[c] ? 1 : 0;
    }
    out[0].list.push_back('\0');  // the reader gives category 1 one entry more
    return out;
}

GrownTree GrowTree(const TrainingEvents& events, const TrainingOptions& o,
                   const std::array<bool, 3>& activeCategories) {
    checkOptions(events, o);
    const size_t n = events.size();
    Data d(events);
    for (int i = 0; i < o.components; ++i)
        if (o.constrained.contains(static_cast<unsigned>(i))) d.counted.push_back(i);
    d.width = d.counted.size();
    // The wide rows only where the narrow ones do not hold the values exactly.
    d.narrowX.resize(n * d.width);
    d.norm2.resize(n);
    std::vector<double> row(d.width);
    for (size_t e = 0; e < n; ++e) {
        for (size_t j = 0; j < d.width; ++j) {
            row[j] = events.reals[e][static_cast<size_t>(d.counted[j])];
            const auto narrow = static_cast<float>(row[j]);
            d.narrowX[e * d.width + j] = narrow;
            d.narrowExact &= narrow == row[j];
        }
        d.norm2[e] = dot(row.data(), row.data(), d.width);
    }
    if (!d.narrowExact) {
        d.x.resize(n * d.width);
        for (size_t e = 0; e < n; ++e)
            for (size_t j = 0; j < d.width; ++j)
                d.x[e * d.width + j] = events.reals[e][static_cast<size_t>(d.counted[j])];
    }
    d.walk.consideredComponentsNb = o.components;
    d.walk.constrainedSet = o.constrained;

    GrownTree g;
    QuantizationTree& t = g.tree;
    t.cath = CategoriesOf(events.cath, activeCategories);
    std::array<std::array<int16_t, 256>, 3> readingOf{};
    for (size_t c = 0; c < 3; ++c)
        for (size_t i = 0; i < t.cath[c].list.size(); ++i)
            if (c != 0 || i + 1 < t.cath[c].list.size())
                readingOf[c][static_cast<unsigned char>(t.cath[c].list[i])] =
                    static_cast<int16_t>(i);
    if (o.supervisedBy >= 1 && o.supervisedBy <= 3) {
        const auto c = static_cast<size_t>(o.supervisedBy - 1);
        d.readings = t.cath[c].nbr + 1;
        d.reading.resize(n);
        for (size_t e = 0; e < n; ++e)
            d.reading[e] =
                static_cast<uint16_t>(readingOf[c][static_cast<unsigned char>(events.cath[e][c])]);
    }
    d.xLogX.resize(n + 1);
    for (size_t c = 1; c <= n; ++c)
        d.xLogX[c] = static_cast<double>(c) * std::log2(static_cast<double>(c));

    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    d.order = &order;
    d.positionOf.assign(order.begin(), order.end());
    std::vector<Range> ranges(1, Range{0, n});
    std::vector<int32_t> father(1, -1);
    std::vector<Candidate> candidates(1);
    CartScan cart(d, o.splitBy, o.rule == Rule::CART && !o.reference);
    const auto candidateOf = [&](Range r) {
        if (r.size() < 2) return Candidate{};
        return o.rule == Rule::CART ? cart.best(order, r)
                                    : centroidSplit(d, r, o.splitBy, o.reference);
    };
    candidates[0] = candidateOf(ranges[0]);

    std::vector<uint8_t> firstOfEvent(o.rule == Rule::CART ? n : 0);
    std::vector<TreeNode> nodes(1);
    std::vector<int32_t> leaves{0};
    struct Made {
        int32_t father;
        Candidate split;
    };
    std::vector<Made> splits;
    // On one thread, by distortion, a leaf's split is made only when it
    // could be the one chosen: a split lowers the distortion by at most the
    // leaf's own (its father's split measured it). The leaf chosen is the
    // same as when every leaf's split is made.
    const bool lazy = o.jobs <= 1 && o.nextSplit == Measure::Distortion && !o.reference;
    std::vector<uint8_t> pending(1, 0);
    std::vector<double> bound(1, 0.0);
    for (int s = 1; s < o.clusters; ++s) {
        int32_t chosen = -1;
        for (;;) {
            chosen = -1;
            for (int32_t leaf : leaves) {
                const Candidate& c = candidates[static_cast<size_t>(leaf)];
                if (pending[static_cast<size_t>(leaf)] || !c.possible) continue;
                if (chosen < 0 ||
                    better(c.gain, candidates[static_cast<size_t>(chosen)].gain, o.nextSplit))
                    chosen = leaf;
            }
            const double gained =
                chosen < 0 ? -1.0 : candidates[static_cast<size_t>(chosen)].gain[0];
            int32_t next = -1;
            for (int32_t leaf : leaves) {
                const auto l = static_cast<size_t>(leaf);
                if (!pending[l]) continue;
                if (!(bound[l] > gained || (bound[l] == gained && leaf < chosen))) continue;
                if (next < 0 || bound[l] > bound[static_cast<size_t>(next)]) next = leaf;
            }
            if (next < 0) break;
            candidates[static_cast<size_t>(next)] = candidateOf(ranges[static_cast<size_t>(next)]);
            pending[static_cast<size_t>(next)] = 0;
        }
        if (chosen < 0)
            throw TrainingError("These events give only " + std::to_string(leaves.size()) +
                                " leaves, not " + std::to_string(o.clusters) +
                                ": every leaf holds one event or events all alike. Ask for " +
                                std::to_string(leaves.size()) + " clusters or fewer.");
        Candidate c = std::move(candidates[static_cast<size_t>(chosen)]);
        const Range r = ranges[static_cast<size_t>(chosen)];
        // The first son's members first, each side in ascending event order.
        std::vector<uint32_t> firsts, seconds;
        for (size_t i = r.begin; i < r.end; ++i)
            (c.first[i - r.begin] ? firsts : seconds).push_back(order[i]);
        std::copy(firsts.begin(), firsts.end(),
                  order.begin() + static_cast<std::ptrdiff_t>(r.begin));
        std::copy(seconds.begin(), seconds.end(),
                  order.begin() + static_cast<std::ptrdiff_t>(r.begin + firsts.size()));
        d.regroup(r.begin, r.end, c.first);
        if (o.rule == Rule::CART) {
            for (size_t i = r.begin; i < r.end; ++i)
                firstOfEvent[order[i]] = i < r.begin + firsts.size();
            cart.split(r, firstOfEvent);
        }
        const int32_t a = 2 * s - 1, b = 2 * s;
        nodes.resize(static_cast<size_t>(b) + 1);
        ranges.resize(nodes.size());
        father.resize(nodes.size(), chosen);
        candidates.resize(nodes.size());
        pending.resize(nodes.size(), 0);
        bound.resize(nodes.size(), 0.0);
        ranges[static_cast<size_t>(a)] = Range{r.begin, r.begin + firsts.size()};
        ranges[static_cast<size_t>(b)] = Range{r.begin + firsts.size(), r.end};
        nodes[static_cast<size_t>(chosen)].son = static_cast<int16_t>(a);
        nodes[static_cast<size_t>(a)].brother = static_cast<int16_t>(b);
        nodes[static_cast<size_t>(a)].code = nodes[static_cast<size_t>(chosen)].code;
        nodes[static_cast<size_t>(b)].code = static_cast<uint16_t>(s);
        c.first.clear();
        c.first.shrink_to_fit();
        splits.push_back(Made{chosen, std::move(c)});
        leaves.erase(std::find(leaves.begin(), leaves.end(), chosen));
        leaves.push_back(a);
        leaves.push_back(b);
        std::sort(leaves.begin(), leaves.end());
        if (s + 1 == o.clusters) break;
        if (lazy) {
            const Candidate& made = splits.back().split;
            for (const int32_t son : {a, b}) {
                pending[static_cast<size_t>(son)] = 1;
                bound[static_cast<size_t>(son)] = made.sons[son == a ? 0 : 1];
            }
            continue;
        }
        // The sons' own splits, side by side when there are jobs for both:
        // each reads only its own members, so the tree is the same.
        std::exception_ptr failed;
        const auto prepare = [&](int32_t node, std::exception_ptr& failure) {
            try {
                candidates[static_cast<size_t>(node)] =
                    candidateOf(ranges[static_cast<size_t>(node)]);
            } catch (...) {
                failure = std::current_exception();
            }
        };
        std::exception_ptr otherFailed;
        std::optional<std::thread> other;
        if (o.jobs > 1) {
            try {
                other.emplace(prepare, b, std::ref(otherFailed));
            } catch (const std::system_error&) {
            }
        }
        prepare(a, failed);
        if (other)
            other->join();
        else
            prepare(b, otherFailed);
        if (failed) std::rethrow_exception(failed);
        if (otherFailed) std::rethrow_exception(otherFailed);
    }

    // Each node: the mean of its events over the considered components and
    // the most frequent reading of each category (the lower among equals).
    // A leaf sums its events in position order, a father its sons' sums
    // (sons come after their fathers in the heap).
    struct Sums {
        std::array<double, kComponents> components{};
        std::array<std::array<uint32_t, 256>, 3> readings{};
    };
    std::vector<Sums> sumsOf(nodes.size());
    for (size_t k = nodes.size(); k-- > 0;) {
        TreeNode& node = nodes[k];
        const Range r = ranges[k];
        auto& [sums, counts] = sumsOf[k];
        if (node.son > 0) {
            for (const size_t son :
                 {static_cast<size_t>(node.son),
                  static_cast<size_t>(nodes[static_cast<size_t>(node.son)].brother)}) {
                for (int j = 0; j < o.components; ++j)
                    sums[static_cast<size_t>(j)] += sumsOf[son].components[static_cast<size_t>(j)];
                for (size_t c = 0; c < 3; ++c)
                    for (size_t v = 0; v < 256; ++v) counts[c][v] += sumsOf[son].readings[c][v];
            }
        } else {
            for (size_t i = r.begin; i < r.end; ++i) {
                const size_t e = order[i];
                for (int j = 0; j < o.components; ++j)
                    sums[static_cast<size_t>(j)] += events.reals[e][static_cast<size_t>(j)];
                for (size_t c = 0; c < 3; ++c)
                    ++counts[c][static_cast<size_t>(
                        readingOf[c][static_cast<unsigned char>(events.cath[e][c])])];
            }
        }
        for (int j = 0; j < o.components; ++j)
            node.centroid[static_cast<size_t>(j)] =
                sums[static_cast<size_t>(j)] / static_cast<double>(r.size());
        uint8_t* readings[3] = {&node.treeCath1, &node.treeCath2, &node.treeCath3};
        for (size_t c = 0; c < 3; ++c)
            *readings[c] = static_cast<uint8_t>(
                std::max_element(counts[c].begin(), counts[c].end()) - counts[c].begin());
    }
    // The split's own values: the centroids the coder compares (the means
    // of the sons' events once two-means settled), or the threshold in the
    // father's centroid at the split component.
    for (const Made& m : splits) {
        TreeNode& f = nodes[static_cast<size_t>(m.father)];
        if (o.rule == Rule::CART) {
            f.splitComponent = static_cast<uint8_t>(m.split.component);
            f.centroid[static_cast<size_t>(m.split.component)] = m.split.threshold;
            continue;
        }
        TreeNode& first = nodes[static_cast<size_t>(f.son)];
        TreeNode& second = nodes[static_cast<size_t>(first.brother)];
        for (size_t j = 0; j < d.width; ++j) {
            first.centroid[static_cast<size_t>(d.counted[j])] = m.split.c1[j];
            second.centroid[static_cast<size_t>(d.counted[j])] = m.split.c2[j];
        }
    }

    g.leafOf.assign(n, 0);
    t.groupTable.assign(leaves.size() + 1, 0);
    for (int32_t leaf : leaves) {
        const Range r = ranges[static_cast<size_t>(leaf)];
        for (size_t i = r.begin; i < r.end; ++i) g.leafOf[order[i]] = leaf;
        t.groupTable[nodes[static_cast<size_t>(leaf)].code] = static_cast<int32_t>(r.size());
    }
    t.groupTable.back() = static_cast<int32_t>(std::min<size_t>(n, INT32_MAX));
    t.nodeHeap = std::move(nodes);
    t.HeapTop = static_cast<uint16_t>(t.nodeHeap.size() - 1);
    t.centroidsNb = static_cast<uint16_t>(leaves.size());
    t.trainingEventsNb = static_cast<int64_t>(n);
    t.consideredComponentsNb = o.components;
    t.constrainedSet = o.constrained;
    TreeTrainingSettings& trb = t.treeTraining;
    trb.setsDividingMethod = static_cast<int>(o.rule);
    trb.setChoiceCriterion = static_cast<int>(o.nextSplit);
    trb.featuresChoiceCriterion = static_cast<int>(o.splitBy);
    const bool setSupervised = o.nextSplit != Measure::Distortion;
    const bool featuresSupervised = o.splitBy != Measure::Distortion;
    trb.setChoiceTraining = setSupervised ? 1 : 0;
    trb.featuresChoiceTraining = featuresSupervised ? 1 : 0;
    trb.setChoiceClassifier = setSupervised ? o.supervisedBy - 1 : -1;
    trb.featuresChoiceClassifier = featuresSupervised ? o.supervisedBy - 1 : -1;
    g.father = std::move(father);
    return g;
}

int32_t NodeAtClusters(const GrownTree& grown, int32_t leaf, int clusters) {
    int32_t node = leaf;
    while (node > 0 && (node + 1) / 2 >= clusters) node = grown.father[static_cast<size_t>(node)];
    return node;
}

}  // namespace zortan::train
