// What the console prints: blocks ("[kind] title", body, "[end]") and
// single-line notices, each flushed at once so that a script reading the
// other end of a pipe sees a question before it has to answer it.
#pragma once

#include <cstdio>
#include <string>

namespace zortan::console {

class ConsoleOutput {
  public:
    explicit ConsoleOutput(std::FILE* out) : out_(out) {}

    // Prints "[kind]" or "[kind] title", the body with every CR LF turned
    // into a line break, and "[end]".
    void block(const std::string& kind, const std::string& title, const std::string& body);
    // Prints one line as it stands.
    void line(const std::string& text);

  private:
    void emit(const std::string& text);
    std::FILE* out_;
};

// The body of a block: every CR LF becomes one line break.
std::string bodyLines(const std::string& text);

}  // namespace zortan::console
