#include "tools/samplegen/TreeGrowing.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "platform/Errors.h"

namespace zortan::samplegen {

namespace {

using Members = std::vector<int>;

// Sums over a set of events, held exactly in integers.
struct Moments {
    int64_t count = 0;
    int64_t squares = 0;  // sum of squared components
    std::array<int64_t, kComponents> sums{};

    void add(const TrainingEvent& e, int components) {
        ++count;
        for (int i = 0; i < components; ++i) {
            const int64_t x = e.components[static_cast<size_t>(i)];
            sums[static_cast<size_t>(i)] += x;
            squares += x * x;
        }
    }
    void remove(const TrainingEvent& e, int components) {
        --count;
        for (int i = 0; i < components; ++i) {
            const int64_t x = e.components[static_cast<size_t>(i)];
            sums[static_cast<size_t>(i)] -= x;
            squares -= x * x;
        }
    }
    // Sum of squared distances to the mean. Built from exact integers with
    // one division and one subtraction, so it is the same on every machine.
    double distortion(int components) const {
        if (count == 0) return 0.0;
        int64_t sumSquares = 0;
        for (int i = 0; i < components; ++i)
            sumSquares += sums[static_cast<size_t>(i)] * sums[static_cast<size_t>(i)];
        return static_cast<double>(squares) -
               static_cast<double>(sumSquares) / static_cast<double>(count);
    }
};

Moments momentsOf(const std::vector<TrainingEvent>& events, const Members& m, int components) {
    Moments mo;
    for (int e : m) mo.add(events[static_cast<size_t>(e)], components);
    return mo;
}

// The distance comparisons of the two-means clustering run on integers: the
// centroid is rounded to 1/256 and the squared distance is exact.
using ScaledCentroid = std::array<int64_t, kComponents>;

ScaledCentroid scaledMean(const Moments& mo, int components) {
    ScaledCentroid c{};
    for (int i = 0; i < components; ++i)
        c[static_cast<size_t>(i)] = static_cast<int64_t>(
            std::nearbyint(static_cast<double>(mo.sums[static_cast<size_t>(i)]) * 256.0 /
                           static_cast<double>(mo.count)));
    return c;
}

ScaledCentroid scaledEvent(const TrainingEvent& e, int components) {
    ScaledCentroid c{};
    for (int i = 0; i < components; ++i)
        c[static_cast<size_t>(i)] = int64_t{256} * e.components[static_cast<size_t>(i)];
    return c;
}

int64_t squaredDistance(const TrainingEvent& e, const ScaledCentroid& c, int components) {
    int64_t sum = 0;
    for (int i = 0; i < components; ++i) {
        const int64_t d =
            int64_t{256} * e.components[static_cast<size_t>(i)] - c[static_cast<size_t>(i)];
        sum += d * d;
    }
    return sum;
}

struct Split {
    Members first, second;
    int component = 0;
    double threshold = 0.0;
};

// The event of `m` farthest from `c` (the first among equals).
int farthest(const std::vector<TrainingEvent>& events, const Members& m, const ScaledCentroid& c,
             int components) {
    int best = m.front();
    int64_t bestDistance = -1;
    for (int e : m) {
        const int64_t d = squaredDistance(events[static_cast<size_t>(e)], c, components);
        if (d > bestDistance) {
            bestDistance = d;
            best = e;
        }
    }
    return best;
}

// Two-means clustering, started from the event farthest from the mean and
// the event farthest from that one.
Split twoMeans(const std::vector<TrainingEvent>& events, const Members& m, int components) {
    const int a =
        farthest(events, m, scaledMean(momentsOf(events, m, components), components), components);
    const int b =
        farthest(events, m, scaledEvent(events[static_cast<size_t>(a)], components), components);
    ScaledCentroid c1 = scaledEvent(events[static_cast<size_t>(a)], components);
    ScaledCentroid c2 = scaledEvent(events[static_cast<size_t>(b)], components);
    Split split;
    for (int round = 0; round < 100; ++round) {
        Split next;
        for (int e : m) {
            const TrainingEvent& ev = events[static_cast<size_t>(e)];
            (squaredDistance(ev, c1, components) < squaredDistance(ev, c2, components)
                 ? next.first
                 : next.second)
                .push_back(e);
        }
        if (next.first.empty() || next.second.empty()) break;
        const bool settled = next.first == split.first;
        split = std::move(next);
        if (settled) break;
        c1 = scaledMean(momentsOf(events, split.first, components), components);
        c2 = scaledMean(momentsOf(events, split.second, components), components);
    }
    return split;
}

// The single-component threshold that leaves the least distortion.
Split bestThreshold(const std::vector<TrainingEvent>& events, const Members& m, int components) {
    const Moments all = momentsOf(events, m, components);
    double bestCost = 0.0;
    bool found = false;
    Split best;
    for (int f = 0; f < components; ++f) {
        Members order = m;
        const auto value = [&](int e) {
            return events[static_cast<size_t>(e)].components[static_cast<size_t>(f)];
        };
        std::stable_sort(order.begin(), order.end(),
                         [&](int x, int y) { return value(x) < value(y); });
        Moments below, above = all;
        for (size_t i = 0; i + 1 < order.size(); ++i) {
            below.add(events[static_cast<size_t>(order[i])], components);
            above.remove(events[static_cast<size_t>(order[i])], components);
            if (value(order[i]) == value(order[i + 1])) continue;
            const double cost = below.distortion(components) + above.distortion(components);
            if (!found || cost < bestCost) {
                found = true;
                bestCost = cost;
                best.component = f;
                best.threshold = (value(order[i]) + value(order[i + 1])) / 2.0;
            }
        }
    }
    if (!found) return best;
    for (int e : m) {
        const double x =
            events[static_cast<size_t>(e)].components[static_cast<size_t>(best.component)];
        (x < best.threshold ? best.first : best.second).push_back(e);
    }
    return best;
}

// Centroid and category readings of a node from its events.
void describeNode(TreeNode& node, const std::vector<TrainingEvent>& events, const Members& m,
                  int components) {
    const Moments mo = momentsOf(events, m, components);
    for (int i = 0; i < components; ++i)
        node.centroid[static_cast<size_t>(i)] =
            static_cast<double>(mo.sums[static_cast<size_t>(i)]) / static_cast<double>(mo.count);
    uint8_t* readings[3] = {&node.treeCath1, &node.treeCath2, &node.treeCath3};
    for (size_t c = 0; c < 3; ++c) {
        std::array<int, 256> counts{};
        for (int e : m) ++counts[events[static_cast<size_t>(e)].readings[c]];
        *readings[c] =
            static_cast<uint8_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
    }
}

}  // namespace

void growTree(QuantizationTree& tree, const std::vector<TrainingEvent>& events,
              DividingMethod method, int components, int leaves) {
    if (leaves < 1 || components < 0 || components > kComponents || events.empty())
        throw RangeError();
    std::vector<TreeNode> nodes(1);
    std::vector<Members> members(1, Members(events.size()));
    std::iota(members[0].begin(), members[0].end(), 0);
    describeNode(nodes[0], events, members[0], components);

    std::vector<int> open{0};  // the leaves, in ascending node index
    std::vector<bool> unsplittable(1, false);
    for (int t = 1; t < leaves;) {
        int worst = -1;
        double worstDistortion = 0.0;
        for (int leaf : open) {
            if (unsplittable[static_cast<size_t>(leaf)]) continue;
            const Members& m = members[static_cast<size_t>(leaf)];
            const double d = momentsOf(events, m, components).distortion(components);
            if (m.size() >= 2 && d > worstDistortion) {
                worst = leaf;
                worstDistortion = d;
            }
        }
        if (worst < 0) break;
        Split split = method == DividingMethod::Centroids
                          ? twoMeans(events, members[static_cast<size_t>(worst)], components)
                          : bestThreshold(events, members[static_cast<size_t>(worst)], components);
        if (split.first.empty() || split.second.empty()) {
            unsplittable[static_cast<size_t>(worst)] = true;
            continue;
        }
        const int first = 2 * t - 1, second = 2 * t;
        nodes.resize(static_cast<size_t>(second) + 1);
        members.resize(nodes.size());
        unsplittable.resize(nodes.size(), false);
        TreeNode& father = nodes[static_cast<size_t>(worst)];
        father.son = fitOrRangeError<int16_t>(first);
        if (method == DividingMethod::CART) {
            father.splitComponent = fitOrRangeError<uint8_t>(split.component);
            father.centroid[static_cast<size_t>(split.component)] = split.threshold;
        }
        TreeNode& a = nodes[static_cast<size_t>(first)];
        TreeNode& b = nodes[static_cast<size_t>(second)];
        a.brother = fitOrRangeError<int16_t>(second);
        a.code = father.code;
        b.code = fitOrRangeError<uint16_t>(t);
        members[static_cast<size_t>(first)] = std::move(split.first);
        members[static_cast<size_t>(second)] = std::move(split.second);
        describeNode(a, events, members[static_cast<size_t>(first)], components);
        describeNode(b, events, members[static_cast<size_t>(second)], components);
        open.erase(std::find(open.begin(), open.end(), worst));
        open.push_back(first);
        open.push_back(second);
        std::sort(open.begin(), open.end());
        ++t;
    }

    tree.nodeHeap = std::move(nodes);
    tree.HeapTop = fitOrRangeError<uint16_t>(tree.nodeHeap.size() - 1);
    tree.centroidsNb = fitOrRangeError<uint16_t>(open.size());
    tree.trainingEventsNb = static_cast<int64_t>(events.size());
    tree.groupTable.assign(open.size() + 1, 0);
    for (int leaf : open)
        checkedAt(tree.groupTable, tree.nodeHeap[static_cast<size_t>(leaf)].code) =
            fitOrRangeError<int32_t>(members[static_cast<size_t>(leaf)].size());
    tree.groupTable.back() = fitOrRangeError<int32_t>(events.size());
}

}  // namespace zortan::samplegen
