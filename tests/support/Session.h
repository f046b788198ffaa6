// A started program in a fresh folder, driven at its main window; the
// reference inputs; readers of the outputs independent of the program's code.
#pragma once

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "tools/fixtures/FvsFileWriter.h"
#include "tools/fixtures/TreeFileWriter.h"
#include "window/MainWindow.h"
#include "window/Program.h"

namespace zortan::testing {

// One event: its component 0 (the others are 0) and its three qualifiers.
struct Event {
    int x = 0;
    std::string cath = "aaf";
};

// Three leaves over three components, told apart by component 0: the root
// splits into nodes 1 (0) and 2 (100), node 1 into 3 (-10) and 4 (10). At
// K = 3, -20 codes as 0 (node 3, readings b o m), 5 as 2 (node 4, a u f), 90
// as 1 (node 2, a i m); value lists ab, aeiou, fm; categories V, S, G;
// trained as the default fvs header tells, coding the cepstrum.
struct TreeRecipe {
    int leaves = 3;
    int featureKind = 3;                       // -1: none, asked for at the first fvs event
    std::optional<int32_t> averagingFrames{};  // trained with time averaging over as many
    int64_t trainingEvents = 3000;
};
inline fixtures::TreeFileContents referenceTree(const TreeRecipe& given = {}) {
    auto t = fixtures::makeTree(given.leaves, 3, fixtures::SplitOrder::Balanced, [](int n, int i) {
        return i != 0 ? 0.0 : n < 5 ? std::array{0, 0, 100, -10, 10}[size_t(n)] : 10.0 * n;
    });
    AnalysisSettings& a = t.tree.training;
    a.windowShape = 0, a.preemphasis = false, a.lifterThreshold = 0;
    a.featureKind = given.featureKind;
    a.averaging = given.averagingFrames.has_value();
    a.averagingFrames = given.averagingFrames.value_or(0);
    t.tree.trainingEventsNb = given.trainingEvents;
    t.cathLabel1 = "V", t.cathLabel2 = "S", t.cathLabel3 = "G";
    return t;
}
// Component 0 cycles through -20, 5, 90, the qualifiers through the value lists.
inline Event referenceEvent(int64_t i) {
    return {std::array{-20, 5, 90}[size_t(i % 3)], {"ab"[i % 2], "aeiou"[i % 5], "fm"[i / 7 % 2]}};
}
inline std::vector<Event> referenceEvents(int64_t n) {
    std::vector<Event> e;
    for (int64_t i = 0; i < n; ++i) e.push_back(referenceEvent(i));
    return e;
}

// A text table (categories V S G, three components a row; `nc` in its
// header): with nc 3 its header takes 48 bytes and a row of a small value 16.
// An fvs file matching the reference tree, component 0 in the cepstrum.
struct FvsRecipe {
    std::optional<uint32_t> count{};
    int16_t realTypeSize = 4;
    std::string waveName{};
};

inline size_t occurrences(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

// A combined output file: a count record (253), the certificate records,
// then a 6-byte record (code, three characters, tag) per event.
using Records = std::vector<std::pair<uint16_t, std::string>>;
struct CombinedFile {
    bool wellFormed = false;  // count record, whole certificate, whole records
    Records records;
};
constexpr size_t kCombinedHeader = 6 + 253 * 6;
inline CombinedFile readCombinedFile(const std::string& bytes) {
    CombinedFile f;
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    if (bytes.size() < kCombinedHeader || byte(0) != 253 || byte(1) != 0) return f;
    for (size_t at = kCombinedHeader; at + 6 <= bytes.size(); at += 6)
        f.records.push_back({uint16_t(byte(at) | byte(at + 1) << 8), bytes.substr(at + 2, 3)});
    f.wellFormed = (bytes.size() - kCombinedHeader) % 6 == 0;
    return f;
}

// The codes of a code file: one character each after the header's last line.
inline std::string codeCharacters(const std::string& text) {
    const size_t at = text.find("Output codes:\r\n");
    return at == std::string::npos ? std::string() : text.substr(at + 15);
}

// A category file's positions after its header (a blank and a number; else -1).
inline std::vector<int> categoryPositions(const std::string& text) {
    std::vector<int> positions;
    const size_t body = text.find("\" values\r\n");
    std::istringstream rest(body == std::string::npos ? "?" : text.substr(body + 10));
    for (int position; rest.peek() != EOF;)
        positions.push_back(
            rest.get() == ' ' && std::isdigit(rest.peek()) && rest >> position ? position : -1);
    return positions;
}

// The outputs of a run on "ev.txt" or "ev.fvs", by their name after "ev".
inline const std::vector<std::string> kOutputs = {
    "_Teach.zrt",   "_Recog.zrt",   "_code.txt",    "_teach_V.txt", "_teach_S.txt",
    "_teach_G.txt", "_recog_V.txt", "_recog_S.txt", "_recog_G.txt", "_error.txt"};

// What is wrong with the outputs of a run on the reference input in
// `folder`, "" when every output holds exactly events 0..n-1 and the error
// file's report of n events is there as `reported` says (either when unknown).
inline std::string referenceMismatch(const std::string& folder, int64_t n,
                                     std::optional<bool> reported) {
    // Value lists, and the readings of the leaves by code.
    const std::array<std::string, 3> lists = {"ab", "aeiou", "fm"},
                                     readings = {"bom", "aim", "auf"};
    Records teach, recog;
    std::string codes;
    std::array<std::vector<int>, 6> positions;  // teaching, then recognition categories
    for (int64_t i = 0; i < n; ++i) {
        const uint16_t c = std::array<uint16_t, 3>{0, 2, 1}[size_t(i % 3)];
        const std::string q = referenceEvent(i).cath, r = readings[c];
        teach.push_back({c, q}), recog.push_back({c, r}), codes += char(c);
        for (size_t k = 0; k < 6; ++k)
            positions[k].push_back(int(lists[k % 3].find((k < 3 ? q : r)[k % 3])));
    }
    const auto file = [&](size_t o) { return readFileBytes(folder + "/ev" + kOutputs[o]); };
    for (size_t o = 0; o < 2; ++o) {
        const CombinedFile f = readCombinedFile(file(o));
        if (!f.wellFormed || f.records != (o ? recog : teach))
            return kOutputs[o] + " holds " + std::to_string(f.records.size()) + " records";
    }
    if (codeCharacters(file(2)) != codes) return "the code file";
    for (size_t k = 0; k < 6; ++k)
        if (categoryPositions(file(3 + k)) != positions[k]) return kOutputs[3 + k];
    const std::string error = file(9);
    const bool report = error.find("Events number=") != std::string::npos;
    if (report != reported.value_or(report) ||
        (report && error.find("Events number=" + std::to_string(n) + "\r\n") == std::string::npos))
        return "the error file's report";
    return "";
}

// The folder and the user of a session; the program is the derived one's.
struct Workspace {
    TempDir dir;
    ScriptedUi ui;
    int hibernations = 0;

    std::string bytes(const std::string& name) const { return readFileBytes(dir.file(name)); }
    Records records(const std::string& name) const { return readCombinedFile(bytes(name)).records; }
    // Inputs written into the folder; each returns its path.
    std::string tree(const fixtures::TreeFileContents& c = referenceTree(),
                     const std::string& name = "t.vq") const {
        fixtures::writeTreeFile(dir.file(name), c);
        return dir.file(name);
    }
    std::string table(const std::string& name, const std::vector<Event>& events,
                      int32_t nc = 3) const {
        char line[64];
        std::snprintf(line, sizeof line, "%-20s\r\n%d\r\n32767\r\nV S G c0 c1 c2\r\n",
                      (std::to_string(events.size()) + " events").c_str(), nc);
        std::string text = line;
        for (const Event& e : events) {
            std::snprintf(line, sizeof line, "%c\t%c %c\t%4d\t0\t0\r\n", e.cath[0], e.cath[1],
                          e.cath[2], e.x);
            text += line;
        }
        return dir.write(name, text);
    }
    std::string fvs(const std::string& name, const std::vector<Event>& events,
                    const FvsRecipe& given = {}) const {
        fixtures::FvsHeader h;
        h.recordCount = given.count.value_or(uint32_t(events.size()));
        h.realTypeSize = given.realTypeSize, h.lifterThreshold = 0;
        if (!given.waveName.empty()) h.waveName = given.waveName;
        std::vector<fixtures::FvsEvent> records(events.size());
        for (size_t i = 0; i < events.size(); ++i) {
            records[i].features[3][0] = static_cast<int16_t>(events[i].x);
            const std::string& q = events[i].cath;
            records[i].cath1 = q[0], records[i].cath2 = q[1], records[i].cath3 = q[2];
        }
        fixtures::writeFvsFile(dir.file(name), h, records);
        return dir.file(name);
    }

    // A fixed clock, and hibernation only counted.
    void standIn(Program& p) {
        p.clock = [] { return LocalDateTime{2024, 3, 1, 12, 0, 0, 0}; };
        p.hibernate = [this](bool, bool) { ++hibernations; };
    }
    void clearShown() { ui.messages.clear(), ui.errors.clear(), ui.log.clear(); }
    // A letter per message: E Error 100, D no further event, F the finish list,
    // C the clusters box, W the settings warning, S the realType size, ? other.
    std::string kinds() const {
        std::string k;
        for (const std::string& m : ui.messages)
            k += m.starts_with("Error 100.\r\n")                               ? 'E'
                 : m.find("holds no further event") != std::string::npos       ? 'D'
                 : m.starts_with("Program finished\r\nFind results in:\r\n\"") ? 'F'
                 : m == "Do not change centroids number during processing!!!"  ? 'C'
                 : m.starts_with("WARNING!\r\n")                               ? 'W'
                 : m.starts_with("The realType size declaread")                ? 'S'
                                                                               : '?';
        return k;
    }
};

// The program started in the folder; the user presses "Next" whenever the run waits.
struct Session : Workspace {
    Program p{ui, dir.path()};
    TForm1 window{p};
    int exitStatus = -1;           // set when the program ended
    InitFileOptions startOptions;  // as start-up left them

    // Start-up, with an options file beside the program when given.
    explicit Session(const std::optional<std::string>& initFile = std::nullopt) {
        if (initFile) dir.write("Init.txt", *initFile);
        ui.user = [this] {
            if (p.shell.waiting) window.click(Command::Next);
        };
        standIn(p);
        window.FormCreate();
        startOptions = p.options;
        p.options.teachFileName = dir.file("x_Teach.zrt");
    }

    // A click, answered from `answers`; false when it ended the program.
    bool click(Command command, const std::vector<std::string>& answers = {}) {
        ui.answers.insert(ui.answers.end(), answers.begin(), answers.end());
        try {
            window.click(command);
        } catch (const ProgramEnd& e) {
            exitStatus = e.exitStatus;
            return false;
        }
        return true;
    }
    bool readTree(const std::string& path) { return click(Command::ReadTree, {path}); }
    bool readTree(const fixtures::TreeFileContents& c = referenceTree()) {
        return readTree(tree(c));
    }
    bool readData1(const std::string& path) { return click(Command::ReadData1, {path}); }
    bool readData2(const std::string& path) { return click(Command::ReadData2, {path}); }

    void allOutputs(bool on = true) {
        for (const OutputChoice& c : kOutputChoices) p.shell.*c.chosen = on;
    }
    // The error file's report covers `n` events.
    bool reported(const std::string& stem, int64_t n) const {
        return bytes(stem + "_error.txt").find("Events number=" + std::to_string(n) + "\r\n") !=
               std::string::npos;
    }
};

// Every output on, after a whole run of the reference input (stepwise when
// short) whose outputs are kept aside in kOutputs' order; the tree read again.
struct RunSession : Session {
    int64_t events;
    std::string input;
    std::vector<std::string> reference;

    explicit RunSession(bool fvs = false, int64_t eventCount = 6)
        : events(eventCount),
          input(fvs ? Session::fvs("ev.fvs", referenceEvents(eventCount))
                    : table("ev.txt", referenceEvents(eventCount))) {
        allOutputs();
        readTree();
        setStepwiseProceeding(p.shell, events <= 100);
        readData1(input);
        const std::string wrong = referenceMismatch(dir.path(), events, true);
        if (!ui.errors.empty() || !wrong.empty())
            throw std::runtime_error("the whole run went wrong: " + wrong);
        for (const std::string& o : kOutputs) {
            reference.push_back(bytes("ev" + o));
            std::filesystem::remove(dir.file("ev" + o));
        }
        readTree();
        clearShown();
    }
};

}  // namespace zortan::testing
