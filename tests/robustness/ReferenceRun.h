// The reference input that window and console runs share, and an
// independent check of every output of a run on it, worked out from the
// input alone. RunSession keeps a whole run's outputs aside, for failing or
// interrupted runs to be held against.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "robustness/WindowSession.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tools/fixtures/TreeFileWriter.h"

namespace zortan::testing {

// The outputs of a run on "ev.txt" or "ev.fvs", by their name after "ev".
inline const std::vector<std::string> kOutputs = {
    "_Teach.zrt",   "_Recog.zrt",   "_code.txt",    "_teach_V.txt", "_teach_S.txt",
    "_teach_G.txt", "_recog_V.txt", "_recog_S.txt", "_recog_G.txt", "_error.txt"};

// Three leaves over three components, only component 0 telling the nodes
// apart: -20 codes as 0 (node 3), 90 as 1 (node 2) and 5 as 2 (node 4). The
// category names are those the table's header row gives.
inline const fixtures::TreeFileContents& referenceTree() {
    static const fixtures::TreeFileContents tree = [] {
        const std::vector<double> c0 = {0, 0, 100, -10, 10};
        auto t = fixtures::makeTree(3, 3, fixtures::SplitOrder::Balanced,
                                    [c0](int n, int i) { return i == 0 ? c0.at(size_t(n)) : 0.0; });
        t.tree.training.lifterThreshold = 3;
        t.cathLabel1 = "V", t.cathLabel2 = "S", t.cathLabel3 = "G";
        return t;
    }();
    return tree;
}
// Event i: component 0, its code, and qualifiers cycling through the tree's lists.
inline int16_t referenceValue(int64_t i) {
    return std::array<int16_t, 3>{-20, 5, 90}[size_t(i % 3)];
}
inline uint16_t referenceCode(int64_t i) {
    return std::array<uint16_t, 3>{0, 2, 1}[size_t(i % 3)];
}
inline std::string referenceQualifiers(int64_t i) {
    return {"ab"[i % 2], "aeiou"[i % 5], "fm"[i / 7 % 2]};
}

// The table, written without the program's writers. Its header takes 48
// bytes and each row 16, so that a reader's buffer of a power of two of at
// least 16 bytes ends between rows.
inline void writeReferenceTable(const std::string& path, int64_t events) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "%-20s\r\n3\r\n32767\r\nV S G c0 c1 c2\r\n",
                 (std::to_string(events) + " events").c_str());
    for (int64_t i = 0; i < events; ++i) {
        const std::string q = referenceQualifiers(i);
        std::fprintf(f, "%c\t%c %c\t%4d\t0\t0\r\n", q[0], q[1], q[2], referenceValue(i));
    }
    ASSERT_EQ(std::fclose(f), 0);
}
// The same events as an fvs file whose settings match the tree's; the
// cepstrum (kind 3) is coded.
inline void writeReferenceFvs(const std::string& path, int events,
                              const std::function<void(fixtures::FvsHeader&)>& damage = {}) {
    fixtures::FvsHeader h;
    h.recordCount = static_cast<uint32_t>(events);
    h.windowShape = h.preemphasis = 1;
    h.lifterThreshold = 3;
    if (damage) damage(h);
    std::vector<fixtures::FvsEvent> e(static_cast<size_t>(events));
    for (size_t i = 0; i < e.size(); ++i) {
        const std::string q = referenceQualifiers(int64_t(i));
        e[i].features[3][0] = referenceValue(int64_t(i));
        e[i].cath1 = q[0], e[i].cath2 = q[1], e[i].cath3 = q[2];
    }
    fixtures::writeFvsFile(path, h, e);
}

// Every output of a run on the reference input in `dir` holds exactly events
// 0..n-1. The error file's report names n events when `reported`, is missing
// when not (a halted run writes none), and may be either when unknown.
inline void expectReferenceOutputs(const TempDir& dir, int64_t n, std::optional<bool> reported) {
    const QuantizationTree& t = referenceTree().tree;
    const std::array<const TcharList*, 3> lists = {&t.cath1List, &t.cath2List, &t.cath3List};
    const auto indexIn = [](const TcharList* l, char c) {
        return int(std::find(l->begin(), l->end(), c) - l->begin());
    };
    // What the outputs must hold; a code's readings are those of its leaf.
    std::vector<std::pair<uint16_t, std::string>> teach, recog;
    std::string codes;
    std::array<std::vector<int>, 6> positions;  // teaching, then recognition categories
    for (int64_t i = 0; i < n; ++i) {
        const uint16_t c = referenceCode(i);
        const TreeNode& leaf = t.nodeHeap.at(size_t(std::array{3, 2, 4}[c]));
        const std::string q = referenceQualifiers(i),
                          r = {lists[0]->at(leaf.treeCath1), lists[1]->at(leaf.treeCath2),
                               lists[2]->at(leaf.treeCath3)};
        teach.push_back({c, q}), recog.push_back({c, r}), codes += char(c);
        for (size_t k = 0; k < 3; ++k)
            positions[k].push_back(indexIn(lists[k], q[k])),
                positions[k + 3].push_back(indexIn(lists[k], r[k]));
    }
    const auto file = [&](size_t o) { return readFileBytes(dir.file("ev" + kOutputs[o])); };
    const CombinedFile gotTeach = readCombinedFile(file(0)), gotRecog = readCombinedFile(file(1));
    EXPECT_TRUE(gotTeach.wellFormed && gotTeach.records == teach) << gotTeach.records.size();
    EXPECT_TRUE(gotRecog.wellFormed && gotRecog.records == recog) << gotRecog.records.size();
    EXPECT_TRUE(codeCharacters(file(2)) == codes);
    for (size_t k = 0; k < 6; ++k) {
        const std::string text = file(3 + k);
        EXPECT_TRUE(categoryPositions(text) == positions[k]) << kOutputs[3 + k];
        // The header lists the tree's values in order (the first list ends
        // with a terminator).
        for (size_t v = 0; v + (k % 3 ? 0 : 1) < lists[k % 3]->size(); ++v) {
            char line[40];
            std::snprintf(line, sizeof line, "%6zu%6c\r\n", v, lists[k % 3]->at(v));
            EXPECT_NE(text.find(line), std::string::npos) << kOutputs[3 + k] << " " << line;
        }
    }
    const std::string error = file(9);
    const bool named =
        error.find("Events number=" + std::to_string(n) + "\r\n") != std::string::npos;
    EXPECT_EQ(error.find("Events number=") != std::string::npos, reported.value_or(named));
    EXPECT_EQ(named, reported.value_or(named));
}

// A session with every output on and the tree read, after a whole run of
// the input whose outputs are kept aside as the reference.
struct RunSession : WindowSession {
    int events;
    std::string input;
    std::vector<std::string> reference;  // by kOutputs

    explicit RunSession(bool fvs = false, int events = 6)
        : events(events), input(dir.file(fvs ? "ev.fvs" : "ev.txt")) {
        allOutputs();
        if (fvs)
            writeReferenceFvs(input, events);
        else
            writeReferenceTable(input, events);
        fixtures::writeTreeFile(dir.file("t.vq"), referenceTree());
        readTree(dir.file("t.vq"));
        setStepwiseProceeding(p.shell, events <= 100);
        readData1(input);
        EXPECT_TRUE(ui.errors.empty());
        expectReferenceOutputs(dir, events, true);
        for (const std::string& o : kOutputs) {
            reference.push_back(bytes("ev" + o));
            std::filesystem::remove(dir.file("ev" + o));
        }
        readTree(dir.file("t.vq"));
        clearShown();
    }
};

}  // namespace zortan::testing
