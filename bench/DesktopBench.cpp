// The desktop window with pictures on, on Qt's offscreen platform: how many
// events a free run codes and draws per second, and how soon the window
// asks "Break coding?" after "Break" is pressed during such a run.
//
//   zortan-desktop-bench [EVENTS [BREAKS]]
//
// Generates a K = 256 codebook over 129 components and an fvs file in a
// temporary folder, then runs the real window over them twice, with
// stepwise proceeding off, input records shown and every output on:
// once straight through EVENTS events (1,000 by default), timing the run;
// once pressing "Break" BREAKS times (20 by default) at moments spread over
// a few frames, each time measuring from the moment the press was due to
// the question, answering No until the last, which ends the run.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/desktop/DesktopWindow.h"
#include "app/desktop/Screenshot.h"
#include "bench/EventFiles.h"
#include "platform/Host.h"
#include "shell/InitFile.h"

namespace zortan::bench {
namespace {

using desktop::DesktopWindow;

// Answers like a user who lets the run go on: outputs are overwritten, and
// "Break coding?" is answered by `onBreakQuestion`.
class BenchUi : public desktop::SessionUi {
  public:
    std::function<bool()> onBreakQuestion;
    bool askYesNo(const std::string& text, const std::string&) override {
        return text == "Break coding?" && onBreakQuestion ? onBreakQuestion() : false;
    }
    Answer askYesNoCancel(const std::string&, const std::string&) override { return Answer::Yes; }
};

// Init.txt in `dir` that sends every output there.
void writeOptions(const std::string& dir) {
    InitFileOptions o;
    o.initFilePath = joinPath(dir, "Init.txt");
    o.data1IsFvs = 1;
    for (std::string* path :
         {&o.errorFileName, &o.codeFileName, &o.teachFileName, &o.teachCath1FileName,
          &o.teachCath2FileName, &o.teachCath3FileName, &o.recogFileName, &o.recogCath1FileName,
          &o.recogCath2FileName, &o.recogCath3FileName})
        *path = joinPath(dir, extractFileName(*path));
    WriteInitFile(o);
}

// A window with the tree read, stepwise proceeding off, input records
// shown and every output chosen, ready for "Read data_1".
void prepare(DesktopWindow& window, BenchUi& ui, const std::string& dir) {
    ui.openAnswers = {joinPath(dir, "tree.vq1"), joinPath(dir, "events.fvs")};
    window.onEnd = [](int) {};
    window.program().hibernate = [](bool, bool) {};
    window.start();
    window.button(Command::ReadTree)->click();
    const ShellState& s = window.program().shell;
    if (s.stepwiseProceeding) window.box(Toggle::StepwiseProceeding)->click();
    if (!s.showInputRecords) window.box(Toggle::ShowInputRecords)->click();
    for (Toggle t :
         {Toggle::OutputTeachCombined, Toggle::OutputTeachCodes, Toggle::OutputTeachCath1,
          Toggle::OutputTeachCath2, Toggle::OutputTeachCath3, Toggle::OutputRecogCombined,
          Toggle::OutputRecogCodes, Toggle::OutputRecogCath1, Toggle::OutputRecogCath2,
          Toggle::OutputRecogCath3}) {
        QCheckBox* box = window.box(t);
        if (!box->isChecked()) box->click();
    }
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int run(int events, int breaks) {
    QTemporaryDir folder;
    if (!folder.isValid()) throw std::runtime_error("no temporary folder");
    const std::string dir = folder.path().toStdString();
    // The Break run must not reach the end of its file first.
    writeCodebookInputs(dir, std::max(events, 100 * breaks), 0, 256);
    writeOptions(dir);

    // Straight through `events` events.
    double seconds = 0;
    int64_t coded = 0;
    {
        BenchUi ui;
        DesktopWindow window(ui, dir);
        prepare(window, ui, dir);
        ui.user = [&] {
            if (window.program().run.stepCounter >= events) window.button(Command::Break)->click();
        };
        ui.onBreakQuestion = [] { return true; };
        QElapsedTimer clock;
        clock.start();
        window.button(Command::ReadData1)->click();
        seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        coded = window.program().run.stepCounter;
        if (!window.failures().empty()) throw std::runtime_error(window.failures().front());
    }

    // "Break" pressed `breaks` times; the press is due `delay` after the
    // last answer, the question timed from then.
    std::vector<double> latencies;
    {
        BenchUi ui;
        DesktopWindow window(ui, dir);
        prepare(window, ui, dir);
        QElapsedTimer clock;
        clock.start();
        qint64 due = 0;
        bool pending = false;
        const auto press = [&] {
            const int delay = 20 + 7 * static_cast<int>(latencies.size() % 11);
            due = clock.nsecsElapsed() + qint64{delay} * 1000000;
            pending = true;
            QTimer::singleShot(delay, Qt::PreciseTimer, &window,
                               [&] { window.button(Command::Break)->click(); });
        };
        ui.user = [&] {
            if (!pending && window.program().run.stepCounter > 0) press();
        };
        ui.onBreakQuestion = [&] {
            latencies.push_back(static_cast<double>(clock.nsecsElapsed() - due) / 1e6);
            pending = false;
            return static_cast<int>(latencies.size()) >= breaks;
        };
        window.button(Command::ReadData1)->click();
        if (!window.failures().empty()) throw std::runtime_error(window.failures().front());
    }

    const double rate = static_cast<double>(coded) / seconds;
    const double longest =
        latencies.empty() ? 0.0 : *std::max_element(latencies.begin(), latencies.end());
    std::printf(
        "Desktop window, offscreen, K = 256, 129 components, pictures on, every output on:\n");
    std::printf(
        "  free run: %lld events in %.3f s, %.1f events (pictures) per second "
        "(target >= 25: %s)\n",
        static_cast<long long>(coded), seconds, rate, rate >= 25 ? "met" : "MISSED");
    std::printf(
        "  \"Break\" pressed %zu times: question after %.1f ms median, %.1f ms at most "
        "(target <= 100 ms: %s)\n",
        latencies.size(), median(latencies), longest,
        !latencies.empty() && longest <= 100 ? "met" : "MISSED");
    return coded >= events && static_cast<int>(latencies.size()) == breaks ? 0 : 1;
}

}  // namespace
}  // namespace zortan::bench

int main(int argc, char** argv) {
    // No display is needed; an explicit choice of platform is kept.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    try {
        const int events = argc > 1 ? std::stoi(argv[1]) : 1000;
        const int breaks = argc > 2 ? std::stoi(argv[2]) : 20;
        if (events < 1 || breaks < 1) {
            std::fprintf(stderr, "usage: zortan-desktop-bench [EVENTS [BREAKS]]\n");
            return 2;
        }
        return zortan::bench::run(events, breaks);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zortan-desktop-bench: %s\n", e.what());
        return 1;
    }
}
