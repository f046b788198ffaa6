#include "fuzz/FuzzHarness.h"

#include <filesystem>
#include <numeric>

#include "platform/Host.h"
#include "support/Session.h"
#include "tools/fixtures/TextEventFileWriter.h"
#include "window/ShellRules.h"

namespace zortan::fuzz {

namespace {

// A surface that draws nothing: the pictures are computed all the same.
struct NullCanvas : Canvas {
    void fillRect(const Rect&, Colour) override {}
    void frameRect(const Rect&, Colour) override {}
    void line(Point, Point, Colour) override {}
    int text(Point at, const std::string& t, Colour, Colour) override {
        return at.x + textWidth(t);
    }
    void erase(const Rect&) override {}
    int textWidth(const std::string& t) override { return 6 * static_cast<int>(t.size()); }
    int textHeight() override { return 13; }
    int widestCharacterWidth() override { return 6; }
};

// A started program, every output on, pictures drawn. The user picks the
// scripted files, cancels save dialogs, says Yes to every question, presses
// "Next" and chooses a feature kind when asked. An open dialog beyond the
// script, a hundredth save dialog or endless pending events are a fault.
struct Session : testing::Session {
    NullCanvas canvas;
    long pendingEvents = 0;
    int saveDialogs = 0;

    Session() {
        p.canvas = &canvas;
        allOutputs();
        ui.whenUnscripted = [this](const std::string& asked) -> std::string {
            const bool save = asked.starts_with("save");
            if (asked.starts_with("open") || (save && ++saveDialogs > 100))
                throw HarnessFault("dialog without end: " + asked);
            return save ? "" : "yes";
        };
        ui.user = [this] {
            if (++pendingEvents > 5'000'000)
                throw HarnessFault("the window waits without end: " +
                                   (ui.log.empty() ? "" : ui.log.back()));
            const int kind = p.tree.training.featureKind;
            if (p.shell.controls.featureKindChoiceEnabled && (kind < 0 || kind > 4))
                window.chooseFeatureKind(3);
            if (p.shell.waiting) window.click(Command::Next);
        };
    }
    std::string write(const std::string& name, const uint8_t* data, size_t size) {
        return dir.write(name, std::string(reinterpret_cast<const char*>(data), size));
    }

    // "Read data_1" on `path`, and "Read data_2" on the same file in compare
    // mode. After a run that no platform error stopped (what such an error
    // leaves is for the fault-injection tests), a combined output holds one
    // record per coded event.
    void code(const std::string& path, bool compare) {
        if (!p.shell.treeRead) return;
        if (compare) window.setToggle(Toggle::CompareMode, true);
        if (!readData1(path) || (compare && !readData2(path))) return;
        if (!p.run.runFinished || p.shell.compareMode || !ui.errors.empty()) return;
        const auto steps = static_cast<uintmax_t>(p.run.stepCounter);
        for (const std::string* name : {&p.options.teachFileName, &p.options.recogFileName})
            if (fileExists(*name) &&
                std::filesystem::file_size(*name) != testing::kCombinedHeader + 6 * steps)
                throw HarnessFault(*name + " does not hold " + std::to_string(steps) + " records");
    }
};

// The tree the inputs are coded against: three leaves over twenty components,
// trained on cepstra (as fvs inputs are read), with or without averaging.
std::string fixedTreeText(bool averaging) {
    fixtures::TreeFileContents c = fixtures::makeTree(3, 20);
    c.tree.training.averaging = averaging, c.tree.training.averagingFrames = 10;
    return fixtures::treeFileText(c);
}

// The table a read tree is tried on: four events of 129 components.
std::string fixedTableText() {
    fixtures::TextEventTable t;
    t.eventCount = 4, t.nc = 129;
    for (int e = 0; e < 4; ++e) {
        t.rows.push_back({{"ab"[e % 2], '\t', "aeiou"[e], '\t', "fm"[e / 2]}, {}});
        for (int i = 0; i < 129; ++i) t.rows[e].components.push_back((e * 37 + i * 11) % 200 - 100);
    }
    return fixtures::textEventFileText(t);
}

// The session's variant, from the bytes: bit 0 compare mode, bit 1 a tree
// with time averaging; the pictures, the costliest part, for one in four.
void fuzzEvents(const uint8_t* data, size_t size, const char* name) {
    static const std::string trees[2] = {fixedTreeText(false), fixedTreeText(true)};
    const unsigned variant = std::accumulate(data, data + size, 0u) % 16;
    Session s;
    s.p.shell.showInputRecords = variant / 4 == 0;
    s.readTree(s.dir.write("tree.vq", trees[variant / 2 % 2]));
    if (!s.p.shell.treeRead) throw HarnessFault("the fixed tree was not read");
    s.code(s.write(name, data, size), (variant & 1) != 0);
}

}  // namespace

void fuzzTreeFile(const uint8_t* data, size_t size) {
    static const std::string table = fixedTableText();
    Session s;
    const std::string tree = s.write("tree.vq", data, size);
    s.click(Command::ReadTree, {tree, tree});  // refused twice, the question is answered Yes
    s.ui.answers.clear();
    if (!s.p.shell.treeRead) return;
    const QuantizationTree& t = s.p.tree;
    if (t.nodeHeap.size() != size_t{t.HeapTop} + 1 || t.consideredComponentsNb > 129)
        throw HarnessFault("a tree read with " + std::to_string(t.nodeHeap.size()) +
                           " nodes for HeapTop " + std::to_string(t.HeapTop) + " and " +
                           std::to_string(t.consideredComponentsNb) + " components");
    s.code(s.dir.write("events.txt", table), false);
}

void fuzzTextTable(const uint8_t* data, size_t size) {
    fuzzEvents(data, size, "events.txt");
}

void fuzzFvsFile(const uint8_t* data, size_t size) {
    fuzzEvents(data, size, "events.fvs");
}

void fuzzInitFile(const uint8_t* data, size_t size) {
    // Whatever start-up took from the file is saved, read back and saved
    // again unchanged.
    const testing::Session s(std::string(reinterpret_cast<const char*>(data), size));
    WriteInitFile(s.startOptions);
    const std::string saved = testing::readFileBytes(s.startOptions.initFilePath);
    testing::ScriptedUi ui;
    InitFileOptions again;
    ReadInitFile(again, ui, s.dir.path());
    if (!ui.log.empty()) throw HarnessFault("a saved file is damaged: " + ui.log.back());
    WriteInitFile(again);
    if (again.initFilePath != s.startOptions.initFilePath ||
        testing::readFileBytes(again.initFilePath) != saved)
        throw HarnessFault("the options changed on their way through the file");
}

}  // namespace zortan::fuzz
