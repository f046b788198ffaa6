// A whole run of a small input with every output on, kept as the reference
// that interrupted and failing runs of the same input are held against.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "robustness/WindowSession.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tools/fixtures/TextEventFileWriter.h"
#include "tools/fixtures/TreeFileWriter.h"

namespace zortan::testing {

// The outputs of a run on "ev.txt" or "ev.fvs", by their name after "ev".
inline const std::vector<std::string> kOutputs = {
    "_Teach.zrt",   "_Recog.zrt",   "_code.txt",    "_teach_V.txt", "_teach_S.txt",
    "_teach_G.txt", "_recog_V.txt", "_recog_S.txt", "_recog_G.txt", "_error.txt"};

// Three leaves over three components, only component 0 telling the nodes
// apart: -20 codes as 0, 5 as 2 and 90 as 1.
inline fixtures::TreeFileContents referenceTree() {
    const std::vector<double> c0 = {0, 0, 100, -10, 10};
    fixtures::TreeFileContents t =
        fixtures::makeTree(3, 3, fixtures::SplitOrder::Balanced,
                           [c0](int n, int i) { return i == 0 ? c0.at(n) : 0.0; });
    t.tree.training.lifterThreshold = 3;
    // The names a text table gives, so that both kinds name the same files.
    t.cathLabel1 = "V";
    t.cathLabel2 = "S";
    t.cathLabel3 = "G";
    return t;
}

// Component 0 of event i.
inline int16_t referenceValue(int i) {
    return std::array<int16_t, 3>{-20, 5, 90}[static_cast<size_t>(i % 3)];
}

inline std::string referenceTable(int events) {
    fixtures::TextEventTable t;
    t.eventCount = events;
    t.nc = 3;
    t.headerRow = "V S G";
    for (int i = 0; i < events; ++i)
        t.rows.push_back({std::string{"ab"[i % 2], ' ', "aeiou"[i % 5], ' ', "fm"[i / 3 % 2]},
                          {referenceValue(i), 0, 0}});
    return fixtures::textEventFileText(t);
}

inline void writeReferenceFvs(const std::string& path, int events) {
    fixtures::FvsHeader h;
    h.recordCount = static_cast<uint32_t>(events);
    h.windowShape = h.preemphasis = 1;
    h.lifterThreshold = 3;
    std::vector<fixtures::FvsEvent> e(static_cast<size_t>(events));
    for (int i = 0; i < events; ++i) {
        e[size_t(i)].features[3][0] = referenceValue(i);
        e[size_t(i)].cath1 = "ab"[i % 2];
    }
    fixtures::writeFvsFile(path, h, e);
}

// A session with every output on and the tree read, after a whole run of
// the input whose outputs are kept aside as the reference.
struct RunSession : WindowSession {
    int events;
    std::vector<std::string> reference;  // by kOutputs
    std::string input;

    explicit RunSession(bool fvs = false, int events = 6) : events(events) {
        allOutputs(true);
        input = dir.file(fvs ? "ev.fvs" : "ev.txt");
        if (fvs)
            writeReferenceFvs(input, events);
        else
            dir.write("ev.txt", referenceTable(events));
        readTree(dir.write("t.vq", fixtures::treeFileText(referenceTree())));
        setStepwiseProceeding(p.shell, events <= 100);
        readData1(input);
        EXPECT_TRUE(ui.errors.empty());
        for (const std::string& o : kOutputs) {
            reference.push_back(bytes("ev" + o));
            EXPECT_TRUE(std::filesystem::remove(dir.file("ev" + o))) << o;
        }
        EXPECT_EQ(readCombinedFile(reference[0]).records.size(), size_t(events));
        readTree(dir.file("t.vq"));
        ui.messages.clear();
        ui.errors.clear();
        ui.log.clear();
    }

    // Every output holds the first `n` events of the reference, after the
    // same header; the error file has its report when `reported`.
    void expectCompleteUpTo(int64_t n, bool reported) const {
        ASSERT_LE(n, events);
        const auto n_ = static_cast<size_t>(n);
        for (size_t i = 0; i < 2; ++i) {
            const auto got = readCombinedFile(bytes("ev" + kOutputs[i]));
            const auto want = readCombinedFile(reference[i]);
            EXPECT_TRUE(got.wellFormed) << kOutputs[i];
            EXPECT_TRUE(got.certificate == want.certificate) << kOutputs[i];
            ASSERT_EQ(got.records.size(), n_) << kOutputs[i];
            EXPECT_TRUE(std::equal(got.records.begin(), got.records.end(), want.records.begin()))
                << kOutputs[i];
        }
        const std::string code = bytes("ev_code.txt");
        EXPECT_EQ(codeCharacters(code), codeCharacters(reference[2]).substr(0, n_));
        EXPECT_EQ(code.substr(0, code.size() - n_),
                  reference[2].substr(0, reference[2].size() - size_t(events)));
        for (size_t i = 3; i < 9; ++i) {
            const CategoryFile got = readCategoryFile(bytes("ev" + kOutputs[i]));
            const CategoryFile want = readCategoryFile(reference[i]);
            EXPECT_TRUE(got.wellFormed) << kOutputs[i];
            EXPECT_EQ(got.positionOf, want.positionOf) << kOutputs[i];
            EXPECT_EQ(got.positions,
                      std::vector<int>(want.positions.begin(), want.positions.begin() + n))
                << kOutputs[i];
        }
        // The report, when the run got to write it, covers the `n` events;
        // without it the file holds the header, as the reference begins.
        const std::string error = bytes("ev_error.txt");
        const size_t report = error.find("Events number=");
        EXPECT_TRUE(report != std::string::npos || !reported);
        if (report == std::string::npos) {
            const size_t header = reference[9].find("Events number=");
            EXPECT_EQ(error, reference[9].substr(0, std::min(header, error.size())));
        } else {
            EXPECT_EQ(error.substr(report, 14 + std::to_string(n).size() + 2),
                      "Events number=" + std::to_string(n) + "\r\n");
            if (n == events) {
                EXPECT_EQ(error, reference[9]);
            }
        }
    }
};

}  // namespace zortan::testing
