// The tree file: read by the program's tree reader; its settings as fields,
// one record per node.
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <exception>
#include <utility>

#include "app/dump/Dump.h"
#include "app/dump/Fields.h"
#include "platform/Errors.h"
#include "tree/TreeReader.h"

namespace zortan::dump {

namespace {

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : " ") + item;
    return text;
}

// Component numbers as ranges: "0-15 20".
std::string componentSetText(const Set256& set) {
    std::vector<std::string> ranges;
    for (unsigned c = 0; c < 256; ++c) {
        if (!set.contains(c)) continue;
        unsigned last = c;
        while (last + 1 < 256 && set.contains(last + 1)) ++last;
        ranges.push_back(last == c ? std::to_string(c)
                                   : std::to_string(c) + "-" + std::to_string(last));
        c = last;
    }
    return ranges.empty() ? "(empty)" : joined(ranges);
}

std::string listText(const TcharList& list, int16_t nbr) {
    std::vector<std::string> items;
    for (int i = 0; i <= nbr && i < static_cast<int>(list.size()); ++i)
        items.push_back(characterText(list[static_cast<size_t>(i)]));
    return joined(items);
}

// The fields of the lines read whole, in the order of the file.
std::vector<Field> treeFields(const TreeFileItems& items) {
    const QuantizationTree& t = items.tree;
    const AnalysisSettings& a = t.training;
    const TreeTrainingSettings& g = t.treeTraining;
    std::vector<Field> f;
    const auto read = [&](int line) { return items.linesRead >= line; };
    f.push_back({"heading", t.treeHeading});
    if (read(2)) f.push_back({"source", items.source});
    if (read(3))
        f.push_back(
            {"sets dividing method", choiceText(g.setsDividingMethod, kSetsDividingMethodNames)});
    if (read(4)) {
        f.push_back({"groups", std::to_string(t.centroidsNb)});
        f.push_back(
            {"nodes", std::to_string(t.HeapTop + 1) + " (0.." + std::to_string(t.HeapTop) + ")"});
        f.push_back({"tree sizes", std::to_string(t.treeSizesNb())});
        f.push_back({"training events", std::to_string(t.trainingEventsNb)});
        f.push_back({"lifter threshold", std::to_string(a.lifterThreshold)});
        f.push_back({"wave file", items.waveFileDir});
    }
    if (read(5)) {
        f.push_back({"considered components", std::to_string(t.consideredComponentsNb)});
        f.push_back({"FFT window width", items.fftWindowWidthRead ? std::to_string(a.fftWindowWidth)
                                                                  : std::string("(not recorded)")});
    }
    if (read(6)) f.push_back({"feature kind", choiceText(a.featureKind, kFeatureKindNames)});
    if (read(7)) {
        f.push_back({"cath1 set", characterSetText(t.cath[0].set)});
        f.push_back({"cath2 set", characterSetText(t.cath[1].set)});
        f.push_back({"cath3 set", characterSetText(t.cath[2].set)});
    }
    if (read(8)) {
        f.push_back({"constrained components", componentSetText(t.constrainedSet)});
        f.push_back({"features set", t.featuresSetText});
    }
    if (read(9))
        f.push_back({"active categories", std::to_string(t.cath[0].active) + " " +
                                              std::to_string(t.cath[1].active) + " " +
                                              std::to_string(t.cath[2].active)});
    if (read(15)) {
        f.push_back({"averaging", yesNo(a.averaging)});
        f.push_back({"averaging window shape", g.averagingWindowShape == 0
                                                   ? "0 (rectangle)"
                                                   : std::to_string(g.averagingWindowShape)});
        f.push_back({"averaging window", std::to_string(g.averagingWindowMs) + " ms"});
        f.push_back({"averaging frames", std::to_string(a.averagingFrames)});
        f.push_back({"frame step", realText(a.frameStep, "ms")});
        f.push_back({"rate", realText(a.rate, "Hz")});
    }
    if (read(29)) {
        f.push_back({"scaling constants", choiceText(a.scalingConstants, kScalingConstantsNames)});
        f.push_back({"filter", choiceText(a.filter, kFilterNames)});
        f.push_back({"window shape", choiceText(a.windowShape, kWindowShapeNames)});
        f.push_back(
            {"set choice criterion", choiceText(g.setChoiceCriterion, kSetChoiceCriterionNames)});
        f.push_back({"features choice criterion",
                     choiceText(g.featuresChoiceCriterion, kFeaturesChoiceCriterionNames)});
        std::array<const char*, 3> classifiers{};
        for (size_t i = 0; i < 3; ++i) classifiers[i] = g.classifierNames[i].c_str();
        f.push_back({"set choice classifier", choiceText(g.setChoiceClassifier, classifiers)});
        f.push_back(
            {"features choice classifier", choiceText(g.featuresChoiceClassifier, classifiers)});
        f.push_back({"set choice training", choiceText(g.setChoiceTraining, kTrainingNames)});
        f.push_back(
            {"features choice training", choiceText(g.featuresChoiceTraining, kTrainingNames)});
        f.push_back({"preemphasis", yesNo(a.preemphasis)});
        f.push_back({"CART-like", yesNo(g.cartLike)});
    }
    if (read(31)) {
        std::vector<std::string> groups;
        for (int32_t n : t.groupTable) groups.push_back(std::to_string(n));
        f.push_back({"group table", joined(groups)});
    }
    if (read(32)) f.push_back({"excluded set size", std::to_string(t.excludeSetCard)});
    if (read(34))
        f.push_back({"list last indexes", std::to_string(t.cath[0].nbr) + " " +
                                              std::to_string(t.cath[1].nbr) + " " +
                                              std::to_string(t.cath[2].nbr)});
    if (read(37)) f.push_back({"cath2 list", listText(t.cath[1].list, t.cath[1].nbr)});
    if (read(39)) f.push_back({"cath1 list", listText(t.cath[0].list, t.cath[0].nbr)});
    if (read(41)) f.push_back({"cath3 list", listText(t.cath[2].list, t.cath[2].nbr)});
    for (int i = 0; i < 3; ++i)
        if (read(43 + i))
            f.push_back(
                {"cath" + std::to_string(i + 1) + " label", items.labels[static_cast<size_t>(i)]});
    if (read(46)) f.push_back({"reading text", items.readingText});
    return f;
}

// The shortest text that reads back as `value`.
std::string exactText(double value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// A reading and the character the tree's value list gives it.
std::string readingValue(const TcharList& list, int16_t nbr, uint8_t reading) {
    return reading <= nbr && reading < list.size() ? characterText(list[reading]) : "?";
}

Table nodeTable(const QuantizationTree& t, size_t nodes, const RecordRange& range) {
    Table table;
    table.columns = {"node",  "type", "son",   "brother", "code",  "split",
                     "cath1", "val1", "cath2", "val2",    "cath3", "val3"};
    const int components = std::clamp(t.consideredComponentsNb, 0, kComponents);
    for (int c = 0; c < components; ++c) table.columns.push_back("c" + std::to_string(c));
    for (size_t k = 0; k < nodes && !range.pastEnd(k); ++k) {
        if (!range.contains(k)) continue;
        const TreeNode& n = t.nodeHeap[k];
        std::vector<std::string> row = {
            std::to_string(k),           n.son > 0 ? "split" : "leaf",
            std::to_string(n.son),       std::to_string(n.brother),
            std::to_string(n.code),      std::to_string(n.splitComponent),
            std::to_string(n.treeCath1), readingValue(t.cath[0].list, t.cath[0].nbr, n.treeCath1),
            std::to_string(n.treeCath2), readingValue(t.cath[1].list, t.cath[1].nbr, n.treeCath2),
            std::to_string(n.treeCath3), readingValue(t.cath[2].list, t.cath[2].nbr, n.treeCath3)};
        for (int c = 0; c < components; ++c)
            row.push_back(exactText(n.centroid[static_cast<size_t>(c)]));
        table.rows.push_back(std::move(row));
    }
    return table;
}

// How many node blocks were read whole before the reader stopped at `where`
// ("node block 3 of 7" leaves two).
size_t nodesBefore(const std::string& where) {
    const std::string prefix = "node block ";
    if (where.rfind(prefix, 0) != 0) return 0;
    return static_cast<size_t>(std::max(0, std::atoi(where.c_str() + prefix.size()) - 1));
}

}  // namespace

std::string characterSetText(const Set256& set) {
    std::vector<std::string> members;
    for (unsigned c = 0; c < 256; ++c)
        if (set.contains(c)) members.push_back(characterText(static_cast<char>(c)));
    return members.empty() ? "(empty)" : joined(members);
}

Dump dumpTree(const std::string& path, const RecordRange& range) {
    Dump d;
    TextReader reader(path);
    TreeFileItems items;
    items.tree.treeHeading = reader.readLine(255);
    if (items.tree.treeHeading.rfind("date", 0) != 0) {
        d.problem = "not a tree file: its first line does not begin with \"date\"";
        return d;
    }
    size_t nodes = 0;
    try {
        ParseTreeFile(reader, items);
        nodes = items.tree.nodeHeap.size();
    } catch (const TreeFileEnded& ended) {
        d.problem = "the file ends too early: " + ended.where + " is missing or incomplete";
        if (items.linesRead >= 46) nodes = nodesBefore(ended.where);
    } catch (const BadTreeFile& bad) {
        d.problem = "a bad tree: " + bad.what;
        nodes = items.tree.nodeHeap.size();
    } catch (const std::exception& e) {
        // A number that does not read, or a count beyond what the tree holds.
        d.problem = (items.linesRead >= 46 ? std::string("in the node blocks")
                                           : "in line " + std::to_string(items.linesRead + 1)) +
                    ": " + e.what();
    }
    d.fields = treeFields(items);
    nodes = std::min(nodes, items.tree.nodeHeap.size());
    d.table = nodeTable(items.tree, nodes, range);
    if (d.problem.empty()) d.recordCount = nodes;
    return d;
}

}  // namespace zortan::dump
