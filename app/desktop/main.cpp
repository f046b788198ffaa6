// zortan: the Qt 6 Widgets main window of the coder.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ZortanVersion.h"
#include "app/desktop/DesktopWindow.h"
#include "app/desktop/QtUi.h"
#include "app/desktop/Screenshot.h"
#include "platform/Host.h"

namespace {

constexpr const char* kUsage =
    "Usage: zortan\n"
    "       zortan --screenshot FILE [--events N | --finished] [--samples DIR]\n"
    "       zortan --help | --version\n"
    "\n"
    "Opens the Zortan main window. Its options file Init.txt is kept beside\n"
    "the executable, or where that folder cannot be written and always for an\n"
    "installed program, in ~/.config/zortan (%APPDATA%\\Zortan on Windows).\n"
    "\n"
    "  --screenshot FILE  reads the bundled sample tree and fvs file, codes N\n"
    "                     events stepwise (12 unless --events says otherwise),\n"
    "                     writes the window as PNG to FILE and exits; without\n"
    "                     QT_QPA_PLATFORM it runs on the offscreen platform\n"
    "  --finished         codes the whole sample straight through instead and\n"
    "                     writes the window with the chart of its error table\n"
    "  --samples DIR      where the samples are (default: the installed ones,\n"
    "                     else the source tree's)\n"
    "  --help             print this text and exit\n"
    "  --version          print the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace zortan::desktop;
    // The samples installed with the program (PREFIX/share/zortan/samples),
    // else those of the checkout it was built from.
    const std::string program = zortan::runningProgramFolder();
    const std::string installed = zortan::installedDataFolder(program);
    const std::string samples = installed.empty() ? std::string(ZORTAN_SAMPLES_DIR)
                                                  : zortan::joinPath(installed, "samples");
    ScreenshotRequest screenshot;
    screenshot.samplesDir = samples;
    bool takeScreenshot = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("zortan " ZORTAN_VERSION);
            return 0;
        }
        if (arg == "--screenshot" && hasValue) {
            takeScreenshot = true;
            screenshot.file = argv[++i];
        } else if (arg == "--finished") {
            screenshot.finished = true;
        } else if (arg == "--events" && hasValue) {
            screenshot.events = std::atoi(argv[++i]);
        } else if (arg == "--samples" && hasValue) {
            screenshot.samplesDir = argv[++i];
        } else {
            std::fprintf(stderr, "zortan: unknown argument \"%s\"\n\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (takeScreenshot && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (takeScreenshot) {
        std::string error;
        const int status = writeScreenshot(screenshot, error);
        if (status != 0) std::fprintf(stderr, "zortan: %s\n", error.c_str());
        return status;
    }

    QtDialogs dialogs;
    if (zortan::folderExists(samples)) dialogs.setFirstFolder(samples);
    DesktopWindow window(dialogs, program);
    dialogs.setParent(&window);
    window.start();
    if (window.ended()) return window.exitStatus();
    return app.exec();
}
