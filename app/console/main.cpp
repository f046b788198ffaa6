// zortan-console: the window model driven from standard input and output,
// for scripts, tests and machines without a display.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string_view>

#include "ZortanVersion.h"
#include "app/console/ConsoleOutput.h"
#include "app/console/ConsoleUi.h"
#include "app/console/LineInput.h"
#include "platform/Errors.h"
#include "platform/Host.h"
#include "platform/Power.h"
#include "window/CodingDriver.h"
#include "window/MainWindow.h"
#include "window/Program.h"

namespace {

constexpr const char* kUsage =
    "Usage: zortan-console [--allow-hibernate]\n"
    "       zortan-console --help | --version\n"
    "\n"
    "Drives the Zortan main window from standard input, one action a line\n"
    "(\"read tree\", \"read data_1\", \"set NAME VALUE\", \"state\", ...), and prints\n"
    "what the window shows as blocks on standard output. Its options file\n"
    "Init.txt is kept beside the executable, or where that folder cannot be\n"
    "written and always for an installed program, in ~/.config/zortan\n"
    "(%APPDATA%\\Zortan on Windows).\n"
    "\n"
    "  --allow-hibernate  hibernate the machine when a run asks for it\n"
    "                     (otherwise only \"[hibernate]\" is printed)\n"
    "  --help             print this text and exit\n"
    "  --version          print the version and exit\n";

// 3 when the last coding run was stopped by an error, else 0.
int exitStatusOf(const zortan::Program& program) {
    return program.run.stoppedByError ? 3 : 0;
}

int runConsole(bool allowHibernate) {
    using namespace zortan;
    console::Interrupts interrupts;
    console::LineInput input(STDIN_FILENO);
    console::ConsoleOutput out(stdout);
    console::ConsoleUi ui(input, interrupts, out);
    Program program(ui, runningProgramFolder());
    program.hibernate = [&out, allowHibernate](bool suspend, bool force) {
        out.line("[hibernate]");
        if (allowHibernate) hibernateMachine(suspend, force);
    };
    TForm1 form(program);
    ui.attach(program, form);
    try {
        form.FormCreate();
        form.FormActivate();
        // End of input closes the window.
        while (std::optional<std::string> line = ui.nextCommandLine()) ui.execute(*line);
    } catch (const ProgramEnd& end) {
        // Whatever ended the program, a run under way keeps what it coded.
        CloseOutputsAtEnd(program);
        return end.exitStatus == 0 ? exitStatusOf(program) : end.exitStatus;
    }
    return exitStatusOf(program);
}

}  // namespace

int main(int argc, char** argv) {
    bool allowHibernate = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("zortan-console " ZORTAN_VERSION);
            return 0;
        }
        if (arg == "--allow-hibernate") {
            allowHibernate = true;
            continue;
        }
        std::fprintf(stderr, "zortan-console: unknown argument \"%s\"\n\n%s", argv[i], kUsage);
        return 2;
    }
    try {
        return runConsole(allowHibernate);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zortan-console: %s\n", e.what());
        return 3;
    }
}
