#include "fuzz/FuzzHarness.h"

#include <filesystem>
#include <numeric>

#include "platform/Host.h"
#include "support/Session.h"
#include "tools/fixtures/TextEventFileWriter.h"

namespace zortan::fuzz {

namespace {

// More calls than any finite input can cause: the window waits for ever.
constexpr long kPendingEventsLimit = 5'000'000;
constexpr int kSaveDialogsLimit = 100;

// A drawing surface that draws nothing: the pictures are computed as the
// window computes them.
class NullCanvas : public Canvas {
  public:
    void fillRect(const Rect&, Colour) override {}
    void frameRect(const Rect&, Colour) override {}
    void line(Point, Point, Colour) override {}
    int text(Point at, const std::string& text, Colour, Colour) override {
        return at.x + 6 * static_cast<int>(text.size());
    }
    void erase(const Rect&) override {}
    int textWidth(const std::string& text) override { return 6 * static_cast<int>(text.size()); }
    int textHeight() override { return 13; }
    int widestCharacterWidth() override { return 6; }
};

// A started program with every output on and the pictures drawn. The user
// picks the scripted files, cancels save dialogs, says Yes to every question
// (which ends the program at "Hang up with it?"), presses "Next" whenever
// the run waits and chooses a feature kind when asked.
struct Session : testing::Session {
    NullCanvas canvas;
    long pendingEvents = 0;
    int saveDialogs = 0;

    Session() : testing::Session() {
        p.canvas = &canvas;
        allOutputs();
        ui.whenUnscripted = [this](const std::string& asked) -> std::string {
            if (asked.starts_with("open")) throw HarnessFault("open dialog without end: " + asked);
            if (!asked.starts_with("save")) return "yes";
            if (++saveDialogs > kSaveDialogsLimit)
                throw HarnessFault("save dialog without end: " + asked);
            return "";
        };
        ui.user = [this] {
            if (++pendingEvents > kPendingEventsLimit)
                throw HarnessFault("the window waits without end: " + lastShown());
            const int kind = p.tree.training.featureKind;
            if (p.shell.controls.featureKindChoiceEnabled && (kind < 0 || kind > 4))
                window.chooseFeatureKind(3);
            if (p.shell.waiting) window.click(Command::Next);
        };
    }
    std::string lastShown() const { return ui.log.empty() ? "" : ui.log.back(); }
    std::string write(const std::string& name, const uint8_t* data, size_t size) {
        return dir.write(name, std::string(reinterpret_cast<const char*>(data), size));
    }

    // "Read data_1" on `path`, and "Read data_2" on the same file in compare
    // mode; then the outputs must hold one record per coded event.
    void code(const std::string& path, bool compare) {
        if (!p.shell.treeRead) return;
        if (compare) window.setToggle(Toggle::CompareMode, true);
        if (!readData1(path) || (compare && !readData2(path))) return;
        checkOutputs();
    }

    // Only after a run that no platform error stopped: what such an error
    // leaves behind is for the fault-injection tests to judge.
    void checkOutputs() const {
        if (!p.run.runFinished || p.shell.compareMode || !ui.errors.empty()) return;
        const int64_t steps = p.run.stepCounter;
        for (const std::string* name : {&p.options.teachFileName, &p.options.recogFileName}) {
            if (!fileExists(*name)) continue;
            const auto size = std::filesystem::file_size(*name);
            if (size != testing::kCombinedHeader + 6 * static_cast<uintmax_t>(steps))
                throw HarnessFault(*name + " holds " + std::to_string(size) + " bytes after " +
                                   std::to_string(steps) + " coded events");
        }
    }
};

// The trees an event input is coded against: three leaves over twenty
// components, trained on cepstra (the kind an fvs input is read as), with
// or without time averaging.
std::string fixedTreeText(bool averaging) {
    fixtures::TreeFileContents c = fixtures::makeTree(3, 20);
    c.tree.training.averaging = averaging;
    c.tree.training.averagingFrames = 10;
    return fixtures::treeFileText(c);
}

// The table a read tree is tried on: four events of 129 components.
std::string fixedTableText() {
    fixtures::TextEventTable t;
    t.eventCount = 4;
    t.nc = 129;
    for (int e = 0; e < 4; ++e) {
        fixtures::TextEventRow row;
        row.qualifiers = std::string{"ab"[e % 2], '\t', "aeiou"[e], '\t', "fm"[e / 2]};
        for (int i = 0; i < 129; ++i) row.components.push_back((e * 37 + i * 11) % 200 - 100);
        t.rows.push_back(row);
    }
    return fixtures::textEventFileText(t);
}

// Every option, flags first.
std::vector<std::string> optionTexts(const InitFileOptions& o) {
    std::vector<std::string> texts = {std::to_string(o.reservedFlag) + " " +
                                      std::to_string(o.data1IsFvs) + " " +
                                      std::to_string(o.data2IsFvs)};
    for (const std::string* path :
         {&o.waveFileDir,        &o.treeTrainingFileDir, &o.treeFileDir,
          &o.waveFileDir1,       &o.waveFileDir2,        &o.fvsEventsFileDir1,
          &o.txtEventsFileDir1,  &o.fvsEventsFileDir2,   &o.txtEventsFileDir2,
          &o.errorFileName,      &o.codeFileName,        &o.teachFileName,
          &o.teachCath1FileName, &o.teachCath2FileName,  &o.teachCath3FileName,
          &o.recogFileName,      &o.recogCath1FileName,  &o.recogCath2FileName,
          &o.recogCath3FileName, &o.initFilePath})
        texts.push_back(*path);
    return texts;
}

// The session's variant, from the bytes: bit 0 compare mode, bit 1 a tree
// with time averaging; the pictures, the costliest part, for one in four.
unsigned variantOf(const uint8_t* data, size_t size) {
    return std::accumulate(data, data + size, 0u) % 16;
}

void fuzzEvents(const uint8_t* data, size_t size, const char* name) {
    static const std::string plainTree = fixedTreeText(false);
    static const std::string averagingTree = fixedTreeText(true);
    const unsigned variant = variantOf(data, size);
    Session s;
    s.p.shell.showInputRecords = variant / 4 == 0;
    s.readTree(s.dir.write("tree.vq", variant & 2 ? averagingTree : plainTree));
    if (!s.p.shell.treeRead) throw HarnessFault("the fixed tree was not read: " + s.lastShown());
    s.code(s.write(name, data, size), (variant & 1) != 0);
}

}  // namespace

void fuzzTreeFile(const uint8_t* data, size_t size) {
    static const std::string table = fixedTableText();
    Session s;
    const std::string tree = s.write("tree.vq", data, size);
    // Two tries, then "Hang up with it?" is answered Yes.
    s.click(Command::ReadTree, {tree, tree});
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
    // Whatever start-up took from the file is saved and read back unchanged.
    const testing::Session s(std::string(reinterpret_cast<const char*>(data), size));
    WriteInitFile(s.startOptions);
    testing::ScriptedUi ui;
    InitFileOptions again;
    ReadInitFile(again, ui, s.dir.path());
    if (!ui.log.empty()) throw HarnessFault("a saved file is damaged: " + ui.log.back());
    if (optionTexts(again) != optionTexts(s.startOptions))
        throw HarnessFault("the options changed on their way through the file");
}

}  // namespace zortan::fuzz
