#include "bench/BenchData.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "tree/TreeCoding.h"
#include "tree/TreeReader.h"

namespace zortan::bench {

namespace {

constexpr double kRootLevel = 4000.0;    // centroid values stay well inside 16 bits
constexpr double kFirstSpread = 3000.0;  // distance of the first split's sons from the root
constexpr double kShrink = 0.8;          // per depth
constexpr double kEventNoise = 60.0;

// A random direction of unit length.
ComponentVector direction(std::mt19937& random) {
    std::normal_distribution<double> normal(0.0, 1.0);
    ComponentVector d{};
    double norm = 0.0;
    for (double& x : d) {
        x = normal(random);
        norm += x * x;
    }
    for (double& x : d) x /= std::sqrt(norm);
    return d;
}

}  // namespace

fixtures::TreeFileContents codebookTree(int leaves, uint32_t seed) {
    std::mt19937 random(seed);
    const size_t nodes = static_cast<size_t>(2 * leaves - 1);
    std::vector<ComponentVector> centroid(nodes);
    std::vector<int> depth(nodes, 0);
    std::uniform_real_distribution<double> level(-kRootLevel, kRootLevel);
    for (double& x : centroid[0]) x = std::round(level(random));

    // The split order of the fixtures' balanced trees: split s takes the
    // oldest leaf and makes nodes 2s-1 and 2s.
    std::deque<int> oldest{0};
    for (int s = 1; s < leaves; ++s) {
        const int father = oldest.front();
        oldest.pop_front();
        const auto f = static_cast<size_t>(father);
        const double spread = kFirstSpread * std::pow(kShrink, depth[f]);
        const ComponentVector d = direction(random);
        for (int son : {2 * s - 1, 2 * s}) {
            const auto k = static_cast<size_t>(son);
            const double sign = son == 2 * s - 1 ? 1.0 : -1.0;
            for (size_t i = 0; i < d.size(); ++i)
                centroid[k][i] = centroid[f][i] + sign * spread * d[i];
            depth[k] = depth[f] + 1;
            oldest.push_back(son);
        }
    }
    return fixtures::makeTree(
        leaves, kComponents, fixtures::SplitOrder::Balanced, [&centroid](int node, int component) {
            return centroid[static_cast<size_t>(node)][static_cast<size_t>(component)];
        });
}

fixtures::TreeFileContents closeCallTree(int leaves, const ComponentVector& centre, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> difference(-4.0, 4.0);
    ComponentVector differences{};
    for (double& d : differences) d = difference(random);
    const size_t nodes = static_cast<size_t>(2 * leaves - 1);
    std::vector<ComponentVector> centroid(nodes);
    for (ComponentVector& c : centroid) {
        std::shuffle(differences.begin(), differences.end(), random);
        for (size_t i = 0; i < c.size(); ++i) c[i] = centre[i] - differences[i];
        double& moved = c[std::uniform_int_distribution<size_t>(0, c.size() - 1)(random)];
        for (int ulps = std::uniform_int_distribution<int>(-2, 2)(random); ulps != 0;
             ulps += ulps > 0 ? -1 : 1)
            moved = std::nextafter(moved, ulps > 0 ? 1e300 : -1e300);
    }
    return fixtures::makeTree(
        leaves, kComponents, fixtures::SplitOrder::Balanced, [&centroid](int node, int component) {
            return centroid[static_cast<size_t>(node)][static_cast<size_t>(component)];
        });
}

std::vector<int> leavesOf(const QuantizationTree& tree) {
    std::vector<int> leaves;
    for (size_t k = 0; k < tree.nodeHeap.size(); ++k)
        if (tree.nodeHeap[k].son <= 0) leaves.push_back(static_cast<int>(k));
    return leaves;
}

EventRecord eventNear(const QuantizationTree& tree, const std::vector<int>& leaves,
                      std::mt19937& random) {
    std::uniform_int_distribution<size_t> pick(0, leaves.size() - 1);
    std::normal_distribution<double> noise(0.0, kEventNoise);
    const TreeNode& leaf = tree.nodeHeap[static_cast<size_t>(leaves[pick(random)])];
    EventRecord e;
    for (size_t i = 0; i < e.components.size(); ++i) {
        const double v =
            std::clamp(std::round(leaf.centroid[i] + noise(random)), -32768.0, 32767.0);
        e.components[i] = static_cast<int16_t>(v);
        e.reals[i] = e.components[i];
    }
    const auto qualifier = [&random](const TcharList& list, int16_t last) {
        std::uniform_int_distribution<int> at(0, std::max<int>(last, 0));
        return list.empty() ? 'a' : list[static_cast<size_t>(at(random))];
    };
    e.cath1 = qualifier(tree.cath[0].list, tree.cath[0].nbr);
    e.cath2 = qualifier(tree.cath[1].list, tree.cath[1].nbr);
    e.cath3 = qualifier(tree.cath[2].list, tree.cath[2].nbr);
    return e;
}

std::vector<EventRecord> eventsNear(const QuantizationTree& tree, int count, uint32_t seed) {
    std::mt19937 random(seed);
    const std::vector<int> leaves = leavesOf(tree);
    std::vector<EventRecord> events;
    events.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) events.push_back(eventNear(tree, leaves, random));
    return events;
}

CoderState coderFor(const QuantizationTree& tree) {
    CoderState coder;
    SizeCoderArrays(tree, coder);
    coder.distanceFunction = &EuclidDist;
    return coder;
}

}  // namespace zortan::bench
