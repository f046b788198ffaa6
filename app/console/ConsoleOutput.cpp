#include "app/console/ConsoleOutput.h"

namespace zortan::console {

std::string bodyLines(const std::string& text) {
    std::string lines;
    lines.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            lines += '\n';
            ++i;
        } else {
            lines += text[i];
        }
    }
    return lines;
}

void ConsoleOutput::block(const std::string& kind, const std::string& title,
                          const std::string& body) {
    std::string text = "[" + kind + "]";
    if (!title.empty()) text += " " + title;
    text += "\n" + bodyLines(body) + "\n[end]\n";
    emit(text);
}

void ConsoleOutput::line(const std::string& text) {
    emit(text + "\n");
}

void ConsoleOutput::emit(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
}

}  // namespace zortan::console
