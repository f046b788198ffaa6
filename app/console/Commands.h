// The console's input language: one action a line, the commands of the
// window's controls, `set NAME VALUE` and `state`.
#pragma once

#include <string>

#include "app/console/ConsoleOutput.h"
#include "window/MainWindow.h"

namespace zortan::console {

// Runs one line of input as the user's action. Empty lines and lines that
// begin with '#' do nothing; a disabled control prints "[disabled] ...", an
// unknown line or setting "[refused] ...". ProgramEnd passes through.
void executeLine(TForm1& form, Program& program, ConsoleOutput& out, const std::string& line);

// The body of the state block: one name=value line per setting and
// run-control flag, then statusCaption with CR LF written as "\n".
std::string stateText(const ShellState& s);

// Leading and trailing blanks (spaces, tabs) removed.
std::string trimmed(const std::string& text);
std::string lowerCase(std::string text);

}  // namespace zortan::console
