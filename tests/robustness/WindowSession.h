// A started program at its main window in a fresh folder, driven as a user
// drives it, and an independent reader of the outputs a run leaves.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
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

    // Start-up, with an options file beside the program when `initFile` is
    // given.
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

    void allOutputs(bool on) {
        ShellState& s = p.shell;
        for (bool* b :
             {&s.outputTeachCombined, &s.outputTeachCodes, &s.outputTeachCath1, &s.outputTeachCath2,
              &s.outputTeachCath3, &s.outputRecogCombined, &s.outputRecogCodes, &s.outputRecogCath1,
              &s.outputRecogCath2, &s.outputRecogCath3})
            *b = on;
    }
    std::string bytes(const std::string& name) const { return readFileBytes(dir.file(name)); }

    // One letter per message shown: E Error 100, D an input without further
    // events, F the finish list, N "not saved", C the clusters box ticked
    // again, W the settings warning, S the realType size, ? any other.
    std::string kinds() const {
        std::string k;
        for (const std::string& m : ui.messages)
            k += m.starts_with("Error 100.\r\n")                               ? 'E'
                 : m.find("holds no further event") != std::string::npos       ? 'D'
                 : m.starts_with("Program finished\r\nFind results in:\r\n\"") ? 'F'
                 : m.starts_with("Program finished.\r\nDue to your choice")    ? 'N'
                 : m == "Do not change centroids number during processing!!!"  ? 'C'
                 : m.starts_with("WARNING!\r\n")                               ? 'W'
                 : m.starts_with("The realType size declaread")                ? 'S'
                                                                               : '?';
        return k;
    }
};

// The events of a combined output file, read without the program's code: a
// count record naming 253 certificate records, the certificate, then one
// 6-byte record (code, three characters, tag) per event.
struct CombinedRecord {
    uint16_t code = 0;
    std::string cath;  // three characters
    friend bool operator==(const CombinedRecord&, const CombinedRecord&) = default;
};

struct CombinedFile {
    bool wellFormed = false;  // count record, whole certificate, whole records
    std::string certificate;  // 1518 bytes
    std::vector<CombinedRecord> records;
};

inline CombinedFile readCombinedFile(const std::string& bytes) {
    CombinedFile f;
    constexpr size_t kHeader = 6 + 253 * 6;
    if (bytes.size() < kHeader) return f;
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    if (byte(0) != 253 || byte(1) != 0) return f;
    f.certificate = bytes.substr(6, 253 * 6);
    for (size_t at = kHeader; at + 6 <= bytes.size(); at += 6)
        f.records.push_back(
            {static_cast<uint16_t>(byte(at) | (byte(at + 1) << 8)), bytes.substr(at + 2, 3)});
    f.wellFormed = (bytes.size() - kHeader) % 6 == 0;
    return f;
}

// The codes of a code file: one character each after the header's last line.
inline std::string codeCharacters(const std::string& text) {
    const std::string last = "Output codes:\r\n";
    const size_t at = text.find(last);
    return at == std::string::npos ? std::string() : text.substr(at + last.size());
}

// A category file: its value list (character -> position) from the header,
// and one position per event, each written as a blank and the number.
struct CategoryFile {
    bool wellFormed = false;
    std::map<char, int> positionOf;
    std::vector<int> positions;
};

inline CategoryFile readCategoryFile(const std::string& text) {
    CategoryFile f;
    const size_t list = text.find(" char values.\r\n");
    const size_t body = text.find("\" values\r\n");
    if (list == std::string::npos || body == std::string::npos) return f;
    std::istringstream entries(text.substr(list + 15, body - list - 15));
    for (std::string line; std::getline(entries, line);) {
        std::istringstream words(line);
        int position = 0;
        std::string ch;
        if (!(words >> position >> ch) || line.starts_with("Codes")) continue;
        f.positionOf[ch.size() == 1 ? ch[0] : static_cast<char>(std::stoi(ch.substr(1)))] =
            position;
    }
    const std::string rest = text.substr(body + 10);
    f.wellFormed = true;
    for (size_t at = 0; at < rest.size();) {
        size_t end = at + 1;
        while (end < rest.size() && rest[end] >= '0' && rest[end] <= '9') ++end;
        if (rest[at] != ' ' || end == at + 1) {
            f.wellFormed = false;
            break;
        }
        f.positions.push_back(std::stoi(rest.substr(at + 1, end - at - 1)));
        at = end;
    }
    return f;
}

}  // namespace zortan::testing
