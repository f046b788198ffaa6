#include "train/Training.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <system_error>
#include <thread>

#include "tree/TreeCoding.h"

namespace zortan::train {

namespace {

constexpr int kLloydRounds = 300;
constexpr int kPowerRounds = 6;

// The events as the growing reads them: the components that count, packed,
// with their squared norms, and the supervising category's reading of each.
struct Data {
    const TrainingEvents& events;
    std::vector<int> counted;  // the components that count, ascending
    size_t width = 0;          // counted.size()
    std::vector<double> x;     // events x width
    std::vector<double> norm2;
    std::vector<uint16_t> reading;  // of the supervising category; empty when none
    int readings = 0;               // values of that category
    QuantizationTree walk;          // what the coder's distance reads
    std::vector<double> xLogX;      // c*log2(c) for c = 0..events

    const double* row(size_t e) const { return x.data() + e * width; }
};

double dot(const double* a, const double* b, size_t n) {
    double s = 0.0;
    for (size_t i = 0; i < n; ++i) s += a[i] * b[i];
    return s;
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
        const double* r = d.row(e);
        for (size_t i = 0; i < d.width; ++i) sums[i] += r[i];
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

std::array<double, 3> gainsOf(const Data& d, const std::vector<uint32_t>& order, Range r,
                              const std::vector<uint8_t>& first) {
    Tally all(d), a(d), b(d);
    for (size_t i = r.begin; i < r.end; ++i) {
        const size_t e = order[i];
        all.add(d, e);
        (first[i - r.begin] ? a : b).add(d, e);
    }
    return {all.distortion() - a.distortion() - b.distortion(),
            all.errors() - a.errors() - b.errors(), all.entropy(d) - a.entropy(d) - b.entropy(d)};
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
        slack_ = 1e-13 * static_cast<double>(d.width + 2);
        wNorm_ = wNorm;
        scale_ = n1 + n2;
        for (size_t i = 0; i < d.width; ++i) {
            full1_[static_cast<size_t>(d.counted[i])] = c1[i];
            full2_[static_cast<size_t>(d.counted[i])] = c2[i];
        }
    }
    bool first(size_t e) const {
        const double gap = dot(d_.row(e), w_.data(), w_.size()) - t_;
        const double bound = slack_ * (std::sqrt(d_.norm2[e]) * wNorm_ + scale_) + 1e-300;
        if (gap > bound) return true;
        if (gap < -bound) return false;
        std::vector<std::string> remarks;
        const ComponentVector& x = d_.events.reals[e];
        return EuclidDist(d_.walk, x, full1_, remarks) < EuclidDist(d_.walk, x, full2_, remarks);
    }

  private:
    const Data& d_;
    std::vector<double> w_;
    double t_ = 0.0, slack_ = 0.0, wNorm_ = 0.0, scale_ = 0.0;
    ComponentVector full1_{}, full2_{};
};

std::vector<double> meanOf(const Data& d, const std::vector<uint32_t>& order, Range r,
                           const std::vector<uint8_t>* first, uint8_t side) {
    std::vector<double> sums(d.width, 0.0);
    size_t n = 0;
    for (size_t i = r.begin; i < r.end; ++i) {
        if (first && (*first)[i - r.begin] != side) continue;
        const double* row = d.row(order[i]);
        for (size_t j = 0; j < d.width; ++j) sums[j] += row[j];
        ++n;
    }
    if (n == 0) return {};
    for (double& s : sums) s /= static_cast<double>(n);
    return sums;
}

// Two-means from the centroids given, until the assignment settles: the
// centroids are then the means of the sons' events. Empty when a son is
// left without events.
std::optional<Candidate> twoMeans(const Data& d, const std::vector<uint32_t>& order, Range r,
                                  std::vector<double> c1, std::vector<double> c2) {
    Candidate c;
    std::vector<uint8_t> last;
    for (int round = 0; round < kLloydRounds; ++round) {
        const NearerTest nearer(d, c1, c2);
        std::vector<uint8_t> first(r.size());
        size_t ones = 0;
        for (size_t i = r.begin; i < r.end; ++i)
            ones += first[i - r.begin] = nearer.first(order[i]);
        if (ones == 0 || ones == r.size()) return std::nullopt;
        if (first == last) break;
        last = std::move(first);
        std::vector<double> m1 = meanOf(d, order, r, &last, 1);
        std::vector<double> m2 = meanOf(d, order, r, &last, 0);
        if (m1 == c1 && m2 == c2) break;
        c1 = std::move(m1);
        c2 = std::move(m2);
    }
    // After the last round the assignment is the one these centroids make.
    c.first = std::move(last);
    c.c1 = std::move(c1);
    c.c2 = std::move(c2);
    c.possible = true;
    return c;
}

size_t farthestFrom(const Data& d, const std::vector<uint32_t>& order, Range r,
                    const std::vector<double>& point) {
    size_t best = order[r.begin];
    double bestDistance = -1.0;
    for (size_t i = r.begin; i < r.end; ++i) {
        const double* row = d.row(order[i]);
        double s = 0.0;
        for (size_t j = 0; j < d.width; ++j) s += (row[j] - point[j]) * (row[j] - point[j]);
        if (s > bestDistance) {
            bestDistance = s;
            best = order[i];
        }
    }
    return best;
}

// The starts of two-means: the means of the halves either side of the
// principal axis, the farthest pair, and the most frequent reading of the
// supervising category against the others.
std::vector<std::pair<std::vector<double>, std::vector<double>>> startsOf(
    const Data& d, const std::vector<uint32_t>& order, Range r, bool supervised) {
    std::vector<std::pair<std::vector<double>, std::vector<double>>> starts;
    const std::vector<double> mean = meanOf(d, order, r, nullptr, 0);
    const size_t far = farthestFrom(d, order, r, mean);
    std::vector<double> axis(d.width);
    for (size_t j = 0; j < d.width; ++j) axis[j] = d.row(far)[j] - mean[j];
    std::vector<double> centred(d.width);
    for (int round = 0; round < kPowerRounds; ++round) {
        std::vector<double> next(d.width, 0.0);
        for (size_t i = r.begin; i < r.end; ++i) {
            const double* row = d.row(order[i]);
            for (size_t j = 0; j < d.width; ++j) centred[j] = row[j] - mean[j];
            const double p = dot(centred.data(), axis.data(), d.width);
            for (size_t j = 0; j < d.width; ++j) next[j] += p * centred[j];
        }
        const double norm = std::sqrt(dot(next.data(), next.data(), d.width));
        if (!(norm > 0.0)) break;
        for (size_t j = 0; j < d.width; ++j) axis[j] = next[j] / norm;
    }
    std::vector<uint8_t> side(r.size());
    for (size_t i = r.begin; i < r.end; ++i) {
        const double* row = d.row(order[i]);
        for (size_t j = 0; j < d.width; ++j) centred[j] = row[j] - mean[j];
        side[i - r.begin] = dot(centred.data(), axis.data(), d.width) > 0.0;
    }
    std::vector<double> a = meanOf(d, order, r, &side, 1), b = meanOf(d, order, r, &side, 0);
    if (!a.empty() && !b.empty()) starts.emplace_back(std::move(a), std::move(b));
    const size_t other =
        farthestFrom(d, order, r, std::vector<double>(d.row(far), d.row(far) + d.width));
    starts.emplace_back(std::vector<double>(d.row(far), d.row(far) + d.width),
                        std::vector<double>(d.row(other), d.row(other) + d.width));
    if (supervised && !d.reading.empty()) {
        std::vector<uint32_t> counts(static_cast<size_t>(d.readings), 0);
        for (size_t i = r.begin; i < r.end; ++i) ++counts[d.reading[order[i]]];
        const auto most =
            static_cast<uint16_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
        for (size_t i = r.begin; i < r.end; ++i) side[i - r.begin] = d.reading[order[i]] == most;
        a = meanOf(d, order, r, &side, 1);
        b = meanOf(d, order, r, &side, 0);
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

Candidate centroidSplit(const Data& d, const std::vector<uint32_t>& order, Range r,
                        Measure splitBy) {
    Candidate best;
    const bool supervised = splitBy != Measure::Distortion;
    for (auto& [a, b] : startsOf(d, order, r, supervised)) {
        std::optional<Candidate> c = twoMeans(d, order, r, std::move(a), std::move(b));
        if (!c) continue;
        c->gain = gainsOf(d, order, r, c->first);
        if (!best.possible || better(c->gain, best.gain, splitBy)) best = std::move(*c);
    }
    return best;
}

// The CART split of a range by one pass over each counted component's
// members in ascending value.
class CartScan {
  public:
    CartScan(const Data& d, Measure splitBy) : d_(d), splitBy_(splitBy) {}

    Candidate best(const std::vector<uint32_t>& order, Range r) const {
        Candidate best;
        std::vector<uint32_t> sorted(order.begin() + static_cast<std::ptrdiff_t>(r.begin),
                                     order.begin() + static_cast<std::ptrdiff_t>(r.end));
        Tally all(d_);
        for (uint32_t e : sorted) all.add(d_, e);
        double bestKey[2] = {0.0, 0.0};
        const bool distortion = splitBy_ == Measure::Distortion;
        for (size_t k = 0; k < d_.width; ++k) {
            const auto f = static_cast<size_t>(d_.counted[k]);
            const auto value = [&](uint32_t e) { return d_.events.coded[e][f]; };
            std::stable_sort(sorted.begin(), sorted.end(),
                             [&](uint32_t a, uint32_t b) { return value(a) < value(b); });
            if (value(sorted.front()) == value(sorted.back())) continue;
            Tally below(d_);
            double belowDot = 0.0;   // sums(below) . sums(all)
            double belowNorm = 0.0;  // |sums(below)|^2
            const double allNorm = dot(all.sums.data(), all.sums.data(), d_.width);
            uint32_t belowMost = 0;
            std::vector<uint32_t> above = all.readings;
            for (size_t i = 0; i + 1 < sorted.size(); ++i) {
                const uint32_t e = sorted[i];
                if (distortion) {
                    const double* row = d_.row(e);
                    belowNorm += 2.0 * dot(below.sums.data(), row, d_.width) + d_.norm2[e];
                    belowDot += dot(all.sums.data(), row, d_.width);
                }
                below.add(d_, e);
                if (!above.empty()) {
                    --above[d_.reading[e]];
                    belowMost = std::max(belowMost, below.readings[d_.reading[e]]);
                }
                if (value(e) == value(sorted[i + 1])) continue;
                const double nb = static_cast<double>(below.count);
                const double na = static_cast<double>(all.count - below.count);
                double key[2];
                if (distortion) {
                    const double aboveNorm = allNorm - 2.0 * belowDot + belowNorm;
                    key[0] = -((below.squares - belowNorm / nb) +
                               (all.squares - below.squares - aboveNorm / na));
                    key[1] = 0.0;
                } else {
                    double aboveLog = 0.0;
                    uint32_t aboveMost = 0;
                    for (uint32_t c : above) {
                        aboveLog += d_.xLogX[c];
                        aboveMost = std::max(aboveMost, c);
                    }
                    const double info = all.entropy(d_) - below.entropy(d_) -
                                        (d_.xLogX[all.count - below.count] - aboveLog);
                    const double errors = (nb - belowMost) + (na - aboveMost);
                    if (splitBy_ == Measure::RecognitionError) {
                        key[0] = -errors;
                        key[1] = info;
                    } else {
                        key[0] = info;
                        key[1] = 0.0;
                    }
                }
                if (!best.possible || key[0] > bestKey[0] ||
                    (key[0] == bestKey[0] && key[1] > bestKey[1])) {
                    best.possible = true;
                    bestKey[0] = key[0];
                    bestKey[1] = key[1];
                    best.component = static_cast<int>(f);
                    best.threshold = (value(e) + value(sorted[i + 1])) / 2.0;
                }
            }
        }
        if (!best.possible) return best;
        best.first.resize(r.size());
        const auto f = static_cast<size_t>(best.component);
        for (size_t i = r.begin; i < r.end; ++i)
            best.first[i - r.begin] = d_.events.coded[order[i]][f] < best.threshold;
        best.gain = gainsOf(d_, order, r, best.first);
        return best;
    }

  private:
    const Data& d_;
    Measure splitBy_;
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
    Data d{events, {}, 0, {}, {}, {}, 0, {}, {}};
    for (int i = 0; i < o.components; ++i)
        if (o.constrained.contains(static_cast<unsigned>(i))) d.counted.push_back(i);
    d.width = d.counted.size();
    d.x.resize(n * d.width);
    d.norm2.resize(n);
    for (size_t e = 0; e < n; ++e) {
        double* row = d.x.data() + e * d.width;
        for (size_t j = 0; j < d.width; ++j)
            row[j] = events.reals[e][static_cast<size_t>(d.counted[j])];
        d.norm2[e] = dot(row, row, d.width);
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
    std::vector<Range> ranges(1, Range{0, n});
    std::vector<int32_t> father(1, -1);
    std::vector<Candidate> candidates(1);
    const CartScan cart(d, o.splitBy);
    const auto candidateOf = [&](Range r) {
        if (r.size() < 2) return Candidate{};
        return o.rule == Rule::CART ? cart.best(order, r) : centroidSplit(d, order, r, o.splitBy);
    };
    candidates[0] = candidateOf(ranges[0]);

    std::vector<TreeNode> nodes(1);
    std::vector<int32_t> leaves{0};
    struct Made {
        int32_t father;
        Candidate split;
    };
    std::vector<Made> splits;
    for (int s = 1; s < o.clusters; ++s) {
        int32_t chosen = -1;
        for (int32_t leaf : leaves) {
            const Candidate& c = candidates[static_cast<size_t>(leaf)];
            if (!c.possible) continue;
            if (chosen < 0 ||
                better(c.gain, candidates[static_cast<size_t>(chosen)].gain, o.nextSplit))
                chosen = leaf;
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
        const int32_t a = 2 * s - 1, b = 2 * s;
        nodes.resize(static_cast<size_t>(b) + 1);
        ranges.resize(nodes.size());
        father.resize(nodes.size(), chosen);
        candidates.resize(nodes.size());
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
    for (size_t k = 0; k < nodes.size(); ++k) {
        TreeNode& node = nodes[k];
        const Range r = ranges[k];
        std::array<double, kComponents> sums{};
        std::array<std::array<uint32_t, 256>, 3> counts{};
        for (size_t i = r.begin; i < r.end; ++i) {
            const size_t e = order[i];
            for (int j = 0; j < o.components; ++j)
                sums[static_cast<size_t>(j)] += events.reals[e][static_cast<size_t>(j)];
            for (size_t c = 0; c < 3; ++c)
                ++counts[c][static_cast<size_t>(
                    readingOf[c][static_cast<unsigned char>(events.cath[e][c])])];
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
