// The real window driven by a scripted user: dialogs are answered from the
// script, and `user` clicks the window's controls from inside a run.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "app/desktop/DesktopWindow.h"
#include "robustness/WindowSession.h"

namespace zortan::desktop::testing {

inline const std::string kCentroidsTree = ZORTAN_SAMPLES_DIR "/vowels-cep16-centroids32.vq";
inline const std::string kVowels = ZORTAN_SAMPLES_DIR "/vowels.fvs";

struct Session {
    zortan::testing::TempDir dir;
    zortan::testing::WindowUi ui;  // `user` acts as the window processes its events
    std::unique_ptr<DesktopWindow> window;
    std::optional<int> endedWith;

    // Init.txt sends every output into the temporary folder; the screen's
    // free area is `screen`.
    explicit Session(QSize screen = QSize(1680, 1010)) {
        InitFileOptions o;
        o.initFilePath = dir.file("Init.txt");
        for (std::string* path :
             {&o.errorFileName, &o.codeFileName, &o.teachFileName, &o.teachCath1FileName,
              &o.teachCath2FileName, &o.teachCath3FileName, &o.recogFileName, &o.recogCath1FileName,
              &o.recogCath2FileName, &o.recogCath3FileName})
            *path = dir.file(extractFileName(*path));
        WriteInitFile(o);
        window = std::make_unique<DesktopWindow>(ui, dir.path());
        window->onEnd = [this](int status) { endedWith = status; };
        window->availableScreen = [screen] { return screen; };
        program().hibernate = [](bool, bool) { ADD_FAILURE() << "hibernated"; };
        program().clock = [] { return LocalDateTime{2024, 3, 1, 12, 0, 0, 0}; };
        window->start();
        // Shortcuts reach only the active window.
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    ~Session() { EXPECT_TRUE(window->failures().empty()) << window->failures().front(); }

    Program& program() { return window->program(); }
    ShellState& shell() { return program().shell; }
    QPushButton* button(Command c) { return window->button(c); }
    QCheckBox* box(Toggle t) { return window->box(t); }
    template <typename W = QWidget>
    W* find(const char* name) {
        W* w = window->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::string text(const char* label) { return find<QLabel>(label)->text().toStdString(); }
    void click(Command c) { button(c)->click(); }
    void readTree() {
        ui.answers.push_back(kCentroidsTree);
        click(Command::ReadTree);
    }
    void readData1() {
        ui.answers.push_back(kVowels);
        click(Command::ReadData1);
    }
    // The run waits for "Next" or "Continue".
    bool runWaits() { return shell().waiting && shell().controls.stopContinueEnabled; }
    // Records in a combined output file after its certificate.
    size_t outputRecords(const std::string& name) {
        return zortan::testing::readFileBytes(dir.file(name)).size() / 6 - 254;
    }
};

// Pixels of `colour` in the rectangle.
inline int pixelsOf(const ImageCanvas& c, const QRect& r, Colour colour) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += c.pixel(x, y) == colour;
    return n;
}

}  // namespace zortan::desktop::testing
