#include "app/console/Commands.h"

#include <array>
#include <cctype>
#include <charconv>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/Errors.h"

namespace zortan::console {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

struct NamedCommand {
    std::string_view words;
    Command command;
};

constexpr std::array<NamedCommand, 13> kCommands{{
    {"read tree", Command::ReadTree},
    {"read data_1", Command::ReadData1},
    {"read data_2", Command::ReadData2},
    {"read tree&data", Command::ReadTreeAndData},
    {"halt!", Command::Halt},
    {"stop", Command::StopContinue},
    {"break", Command::Break},
    {"next", Command::Next},
    {"about", Command::About},
    {"options", Command::Options},
    {"ok", Command::OutputsOk},
    {"reverse teach", Command::ReverseTeach},
    {"reverse recog", Command::ReverseRecog},
}};

struct NamedToggle {
    std::string_view name;
    Toggle toggle;
};

// The settings before the output choices, which follow in kOutputChoices.
constexpr std::array<NamedToggle, 6> kToggles{{
    {"clustersChangeable", Toggle::ClustersChangeable},
    {"showInputRecords", Toggle::ShowInputRecords},
    {"stretchCepstra", Toggle::StretchCepstra},
    {"compareMode", Toggle::CompareMode},
    {"stepwiseProceeding", Toggle::StepwiseProceeding},
    {"hibernateOnFinish", Toggle::HibernateOnFinish},
}};

// The words of a line, lower case, joined by single blanks.
std::string normalisedWords(const std::string& line) {
    std::string words;
    bool gap = false;
    for (char c : line) {
        if (isBlank(c)) {
            gap = true;
            continue;
        }
        if (gap && !words.empty()) words += ' ';
        gap = false;
        words += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return words;
}

// A plain decimal number within [low, high], or nothing.
std::optional<int> boundedNumber(const std::string& text, int low, int high) {
    if (text.empty()) return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    int value = 0;
    const auto [end, err] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (err != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<bool> onOff(const std::string& text) {
    const std::string word = lowerCase(text);
    if (word == "on") return true;
    if (word == "off") return false;
    return std::nullopt;
}

// `set NAME VALUE`; `rest` is what follows the word "set".
void executeSet(TForm1& form, Program& program, ConsoleOutput& out, const std::string& line,
                const std::string& rest) {
    const ShellState& s = program.shell;
    const auto refused = [&] { out.line("[refused] " + line); };
    const auto disabled = [&] { out.line("[disabled] " + line); };

    size_t start = 0;
    while (start < rest.size() && isBlank(rest[start])) ++start;
    size_t stop = start;
    while (stop < rest.size() && !isBlank(rest[stop])) ++stop;
    const std::string name = rest.substr(start, stop - start);
    if (stop == rest.size()) return refused();  // no value
    // The edits take their text verbatim after the one blank behind the name.
    const std::string typed = rest.substr(stop + 1);
    const std::string value = trimmed(typed);

    if (name == "clustersNb") {
        if (!s.clustersEditEnabled) return disabled();
        return form.typeClusters(typed);
    }
    if (name == "picturesPerRow") return form.typePicturesPerRow(typed);
    std::optional<Toggle> toggle;
    for (const NamedToggle& t : kToggles)
        if (name == t.name) toggle = t.toggle;
    for (size_t i = 0; i < kOutputChoices.size(); ++i)
        if (name == kOutputChoices[i].setting) toggle = outputToggle(i);
    if (toggle) {
        const std::optional<bool> on = onOff(value);
        if (!on) return refused();
        if (!form.enabled(*toggle)) return disabled();
        // Ticking a ticked box changes nothing and runs no handling.
        if (form.toggleValue(*toggle) != *on) form.setToggle(*toggle, *on);
        return;
    }
    if (name == "stretchPosition") {
        const std::optional<int> position = boundedNumber(value, 0, 10);
        if (!position) return refused();
        if (!s.sliderVisible) return disabled();
        return form.moveSlider(*position);
    }
    if (name == "featureKind") {
        const std::optional<int> kind = boundedNumber(value, 0, 4);
        if (!kind) return refused();
        if (!s.controls.featureKindChoiceEnabled) return disabled();
        return form.chooseFeatureKind(*kind);
    }
    if (name == "windowWidth") {
        const std::optional<int> width = boundedNumber(value, 0, 1000000);
        if (!width) return refused();
        return form.resize(*width);
    }
    refused();
}

}  // namespace

std::string trimmed(const std::string& text) {
    size_t start = 0, stop = text.size();
    while (start < stop && isBlank(text[start])) ++start;
    while (stop > start && isBlank(text[stop - 1])) --stop;
    return text.substr(start, stop - start);
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string stateText(const ShellState& s) {
    std::string text;
    const auto number = [&](const char* name, long long value) {
        text += std::string(name) + "=" + std::to_string(value) + "\n";
    };
    const auto flag = [&](const char* name, bool value) {
        text += std::string(name) + (value ? "=on\n" : "=off\n");
    };
    number("clustersNb", s.clustersNb);
    flag("clustersChangeable", s.clustersChangeable);
    flag("showInputRecords", s.showInputRecords);
    number("picturesPerRow", s.picturesPerRow);
    flag("stretchCepstra", s.stretchCepstra);
    number("stretchPosition", s.stretchPosition);
    number("drawnComponents", s.drawnComponents);
    flag("compareMode", s.compareMode);
    flag("stepwiseProceeding", s.stepwiseProceeding);
    flag("hibernateOnFinish", s.hibernateOnFinish);
    for (const OutputChoice& c : kOutputChoices) flag(c.setting, s.*c.chosen);
    flag("waiting", s.waiting);
    flag("breakRequested", s.breakRequested);
    flag("treeRead", s.treeRead);
    text += "statusCaption=";
    for (size_t i = 0; i < s.statusCaption.size(); ++i) {
        if (s.statusCaption.compare(i, 2, "\r\n") == 0) {
            text += "\\n";
            ++i;
        } else {
            text += s.statusCaption[i];
        }
    }
    return text;
}

void executeLine(TForm1& form, Program& program, ConsoleOutput& out, const std::string& input) {
    const std::string line = trimmed(input);
    if (line.empty() || line[0] == '#') return;
    // The window model shows its own errors; these come from outside it.
    catchPlatformErrors(
        [&] {
            const std::string words = normalisedWords(line);
            for (const NamedCommand& c : kCommands) {
                if (words != c.words) continue;
                if (!form.enabled(c.command)) return out.line("[disabled] " + std::string(c.words));
                form.click(c.command);
                if (c.command == Command::About && program.shell.controls.aboutVisible)
                    out.block("about", "", TForm1::aboutText());
                return;
            }
            if (words == "state") return out.block("state", "", stateText(program.shell));
            size_t word = 0;
            while (word < line.size() && !isBlank(line[word])) ++word;
            if (lowerCase(line.substr(0, word)) == "set" && word < line.size())
                return executeSet(form, program, out, line, line.substr(word));
            out.line("[refused] " + line);
        },
        [&](const std::string& what) { program.ui.showError(what); });
}

}  // namespace zortan::console
