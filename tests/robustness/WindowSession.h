// A started program at its main window in a fresh folder, driven as a user
// drives it, and readers of the outputs that do not use the program's code.
#pragma once

#include <cctype>
#include <cstdint>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/Host.h"
#include "shell/MainWindow.h"
#include "shell/Program.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

namespace zortan::testing {

// The user at the window: `user` runs whenever the window processes its
// pending events; by default it presses "Next" whenever the run waits.
class WindowUi : public ScriptedUi {
  public:
    std::function<void()> user;
    void processPendingEvents() override {
        ScriptedUi::processPendingEvents();
        if (user) user();
    }
};

struct WindowSession {
    TempDir dir;
    WindowUi ui;
    Program p{ui, dir.path()};
    TForm1 window{p};
    int exitStatus = -1;           // set when the program ended
    InitFileOptions startOptions;  // as start-up left them

    // Start-up, with an options file beside the program when given.
    explicit WindowSession(const std::optional<std::string>& initFile = std::nullopt) {
        if (initFile) dir.write("Init.txt", *initFile);
        ui.user = [this] {
            if (p.shell.waiting) window.click(Command::Next);
        };
        p.clock = [] { return LocalDateTime{2024, 3, 1, 12, 0, 0, 0}; };
        p.hibernate = [](bool, bool) { throw std::logic_error("hibernated"); };
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
    bool readData1(const std::string& path) { return click(Command::ReadData1, {path}); }
    void clearShown() { ui.messages.clear(), ui.errors.clear(), ui.log.clear(); }

    void allOutputs() {
        ShellState& s = p.shell;
        s.outputTeachCombined = s.outputTeachCodes = s.outputTeachCath1 = s.outputTeachCath2 =
            s.outputTeachCath3 = s.outputRecogCombined = s.outputRecogCodes = s.outputRecogCath1 =
                s.outputRecogCath2 = s.outputRecogCath3 = true;
    }
    std::string bytes(const std::string& name) const { return readFileBytes(dir.file(name)); }

    // One letter per message shown: E Error 100, D an input without further
    // events, F the finish list, C the clusters box ticked again, W the
    // settings warning, S the realType size, ? any other.
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

inline size_t occurrences(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

// A combined output file read without the program's code: a count record
// naming 253 certificate records, the certificate, then one 6-byte record
// (code, three characters, tag) per event.
struct CombinedFile {
    bool wellFormed = false;  // count record, whole certificate, whole records
    std::vector<std::pair<uint16_t, std::string>> records;  // code and characters
};
inline CombinedFile readCombinedFile(const std::string& bytes) {
    CombinedFile f;
    constexpr size_t kHeader = 6 + 253 * 6;
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    if (bytes.size() < kHeader || byte(0) != 253 || byte(1) != 0) return f;
    for (size_t at = kHeader; at + 6 <= bytes.size(); at += 6)
        f.records.push_back({uint16_t(byte(at) | byte(at + 1) << 8), bytes.substr(at + 2, 3)});
    f.wellFormed = (bytes.size() - kHeader) % 6 == 0;
    return f;
}

// The codes of a code file: one character each after the header's last line.
inline std::string codeCharacters(const std::string& text) {
    const size_t at = text.find("Output codes:\r\n");
    return at == std::string::npos ? std::string() : text.substr(at + 15);
}

// The positions of a category file's events after its header, each written
// as a blank and the number; -1 stands for anything else found.
inline std::vector<int> categoryPositions(const std::string& text) {
    std::vector<int> positions;
    const size_t body = text.find("\" values\r\n");
    std::istringstream rest(body == std::string::npos ? "?" : text.substr(body + 10));
    for (int position; rest.peek() != EOF;)
        positions.push_back(
            rest.get() == ' ' && std::isdigit(rest.peek()) && rest >> position ? position : -1);
    return positions;
}

}  // namespace zortan::testing
